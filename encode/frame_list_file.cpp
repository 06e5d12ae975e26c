#include "encode/frame_list_file.h"

#include <cstdio>
#include <sstream>

#include "framestore/frame_store_index.h"
#include "image/file_utils.h"
#include "image/image_format.h"

namespace veltro {

namespace {
constexpr int kMaxListWidth = 720;
constexpr int kMaxListShrink = 9;
}  // namespace

std::pair<int, int> frameListSize(int width, int height) {
    int k = 1;
    while (k < kMaxListShrink && width / k > kMaxListWidth)
        ++k;
    return {width / k, height / k};
}

bool saveFrameList(const std::string& path, const std::vector<std::string>& imagePaths) {
    if (imagePaths.empty())
        return false;
    ReplacementFile file(path);
    if (!file.stream())
        return false;
    std::string text;
    ImagePtr first = loadImage(imagePaths.front());
    if (first) {
        const auto [width, height] = frameListSize(first->width, first->height);
        const int count = static_cast<int>(imagePaths.size());
        text = std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(count) + " " +
               std::to_string(count) + "\n";
        for (int i = 0; i < count; ++i)
            text += "N " + std::to_string(i) + " " + imagePaths[i] + "\n";
    }
    text += "-\n";
    return file.write(text) && file.commit() && first;
}

std::vector<std::string> loadFrameListPaths(const std::string& path) {
    std::vector<std::string> paths;
    std::string bytes;
    if (!readWholeFile(path, kMaxIndexFileBytes, bytes))
        return paths;
    std::istringstream lines(bytes);
    std::string line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string kind, name;
        int index = 0;
        if (fields >> kind >> index >> name && kind == "N")
            paths.push_back(name);
    }
    return paths;
}

}  // namespace veltro
