#include "encode/frame_list_file.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "framestore/frame_store_index.h"
#include "image/file_utils.h"
#include "image/image_format.h"

namespace veltro {

namespace {
constexpr int kMaxListWidth = 720;
constexpr int kMaxListShrink = 9;
// Room an entry line needs besides its path: "N ", the index and a blank.
constexpr size_t kEntryPrefixRoom = 16;

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
}  // namespace

std::pair<int, int> frameListSize(int width, int height) {
    int k = 1;
    while (k < kMaxListShrink && width / k > kMaxListWidth)
        ++k;
    return {width / k, height / k};
}

std::string frameListEntryPath(const std::string& imagePath) {
    if (imagePath.empty() || imagePath.find_first_of("\n\r") != std::string::npos)
        return std::string();
    std::error_code failed;
    std::filesystem::path full = std::filesystem::absolute(imagePath, failed);
    if (failed)
        return std::string();
    std::string entry = full.lexically_normal().string();
    // The reader skips blanks before a name; an absolute path starts with "/".
    if (entry.empty() || isBlank(entry.front()) || entry.size() + kEntryPrefixRoom > kMaxIndexLineLength)
        return std::string();
    return entry;
}

bool saveFrameList(const std::string& path, const std::vector<std::string>& imagePaths, std::string* error) {
    auto fail = [error](const std::string& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (imagePaths.empty())
        return fail("The list holds no pictures.");
    if (imagePaths.size() > size_t(kMaxIndexEntries))
        return fail("A list holds at most " + std::to_string(kMaxIndexEntries) + " pictures.");
    std::vector<std::string> entries;
    entries.reserve(imagePaths.size());
    for (const std::string& image : imagePaths) {
        entries.push_back(frameListEntryPath(image));
        if (entries.back().empty())
            return fail("The picture path \"" + image + "\" cannot be kept in a list.");
    }
    ImagePtr first = loadImage(entries.front());
    if (!first)
        return fail("The first picture \"" + entries.front() + "\" could not be read" +
                    (imageError().empty() ? std::string(".") : " (" + imageError() + ")."));
    const auto [width, height] = frameListSize(first->width, first->height);
    first.reset();

    ReplacementFile out(path);
    if (!out.stream())
        return fail("The file \"" + path + "\" could not be created.");
    const std::string count = std::to_string(entries.size());
    std::string text = std::to_string(width) + " " + std::to_string(height) + " " + count + " " + count + "\n";
    for (size_t i = 0; i < entries.size(); ++i)
        text += "N " + std::to_string(i) + " " + entries[i] + "\n";
    text += "-\n";
    if (!out.write(text) || !out.commit())
        return fail("The file \"" + path + "\" could not be written.");
    return true;
}

std::vector<std::string> loadFrameListPaths(const std::string& path) {
    std::vector<std::string> paths;
    std::string bytes;
    if (!readWholeFile(path, kMaxIndexFileBytes, bytes))
        return paths;
    std::string_view text(bytes);
    size_t at = text.find('\n');  // the header
    while (at != std::string_view::npos && at + 1 < text.size()) {
        const size_t start = at + 1;
        at = text.find('\n', start);
        std::string_view line = text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start);
        line = line.substr(0, line.find('\r'));
        if (line.size() < 2 || line[0] != 'N')
            continue;
        size_t pos = 1;
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        if (pos < line.size() && (line[pos] == '-' || line[pos] == '+'))
            ++pos;
        const size_t digits = pos;
        while (pos < line.size() && std::isdigit(static_cast<unsigned char>(line[pos])))
            ++pos;
        if (pos == digits)
            continue;
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        if (pos < line.size())
            paths.emplace_back(line.substr(pos));
    }
    return paths;
}

}  // namespace veltro
