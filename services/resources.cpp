// The resource set: string table lookups with their cache, cached interface
// images through the image format registry, whole-file reads, and the safe
// filling of message formats.
#include "services/resources.h"

#include <algorithm>
#include <cstdio>

#include "image/file_utils.h"
#include "image/image_format.h"
#include "services/prompts.h"

namespace veltro {

namespace {

constexpr std::string_view kStringTableName = "res.txt";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads at most limit bytes of a regular file (limit + 1 tells "too big"
// apart from "exactly the limit"). None when it cannot be opened or read.
std::optional<std::vector<uint8_t>> readBounded(const std::string& path, size_t limit) {
    std::string bytes;
    if (!readFileStart(path, limit + 1, bytes))
        return std::nullopt;
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

void Resources::setDirectory(std::string dir) { m_directory = std::move(dir); }

std::string Resources::pathOf(std::string_view name) const {
    return joinPath(m_directory, std::string(name));
}

const ImageBuffer* Resources::image(std::string_view name) {
    auto cached = m_images.find(name);
    if (cached != m_images.end())
        return cached->second.get();
    ImagePtr loaded;
    if (!m_directory.empty())
        loaded = loadImage(pathOf(name));
    if (!loaded) {
        showMessage(formatText("Cannot read image resource (%s)", {std::string(name)}));
        return nullptr;
    }
    const ImageBuffer* result = loaded.get();
    m_images.emplace(std::string(name), std::move(loaded));
    return result;
}

const std::string& Resources::text(std::string_view key) {
    auto cached = m_texts.find(key);
    if (cached != m_texts.end())
        return cached->second;
    bool tableMissing = false;
    std::optional<std::string> found = readText(key, &tableMissing);
    if (found)
        return m_texts.emplace(std::string(key), std::move(*found)).first->second;
    if (!tableMissing)
        showMessage(formatText("Cannot read string resource (%s)", {std::string(key)}));
    return m_nullText;
}

bool Resources::hasText(std::string_view key) {
    if (m_texts.count(key))
        return true;
    bool tableMissing = false;
    std::optional<std::string> found = readText(key, &tableMissing);
    if (!found)
        return false;
    m_texts.emplace(std::string(key), std::move(*found));
    return true;
}

std::optional<std::string> Resources::readText(std::string_view key, bool* tableMissing) const {
    *tableMissing = false;
    std::optional<std::vector<uint8_t>> data;
    if (!m_directory.empty())
        data = readBounded(pathOf(kStringTableName), kMaxStringTableSize);
    if (!data) {
        *tableMissing = true;
        return std::nullopt;
    }
    std::string_view table(reinterpret_cast<const char*>(data->data()),
                           std::min(data->size(), kMaxStringTableSize));
    return lookUp(table, key);
}

std::optional<std::string> Resources::lookUp(std::string_view table, std::string_view key) {
    if (key.empty())
        return std::nullopt;
    // A table saved by an editor that marks UTF-8 files still finds its first key.
    if (table.substr(0, kUtf8Mark.size()) == kUtf8Mark)
        table.remove_prefix(kUtf8Mark.size());

    std::optional<std::string> found;
    size_t pos = 0;
    while (pos < table.size()) {
        size_t end = table.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = table.size();
        std::string_view line = table.substr(pos, end - pos);
        pos = end + 1;

        size_t last = line.size();
        while (last > 0 && isWhite(line[last - 1]))
            --last;
        line = line.substr(0, last);
        size_t keyEnd = 0;
        while (keyEnd < line.size() && !isWhite(line[keyEnd]))
            ++keyEnd;
        if (keyEnd == 0 || line.substr(0, keyEnd) != key)
            continue;
        size_t textStart = keyEnd;
        while (textStart < line.size() && isWhite(line[textStart]))
            ++textStart;
        found = std::string(line.substr(textStart));
    }
    return found;
}

std::optional<std::vector<uint8_t>> Resources::readFile(std::string_view name) const {
    if (m_directory.empty())
        return std::nullopt;
    std::optional<std::vector<uint8_t>> data = readBounded(pathOf(name), kMaxResourceFileSize);
    if (data && data->size() > kMaxResourceFileSize)
        return std::nullopt;
    return data;
}

std::string formatText(std::string_view format, const std::vector<std::string>& args) {
    std::string result;
    result.reserve(format.size());
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            char spec = format[i + 1];
            if (spec == 's' || spec == 'd') {
                if (next < args.size())
                    result += args[next];
                ++next;
                ++i;
                continue;
            }
            if (spec == '%') {
                result += '%';
                ++i;
                continue;
            }
        }
        result += c;
    }
    return result;
}

namespace {
std::unique_ptr<Resources>& currentResources() {
    static std::unique_ptr<Resources> instance =
        std::make_unique<Resources>(joinPath(programDirectory(), "res"));
    return instance;
}
}  // namespace

Resources& resources() { return *currentResources(); }

std::unique_ptr<Resources> setResources(std::unique_ptr<Resources> replacement) {
    std::unique_ptr<Resources> previous = std::move(currentResources());
    currentResources() = replacement ? std::move(replacement) : std::make_unique<Resources>();
    return previous;
}

}  // namespace veltro
