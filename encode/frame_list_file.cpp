#include "encode/frame_list_file.h"

#include <cstdio>
#include <sstream>

#include "framestore/frame_store_index.h"
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
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return false;
    bool ok = false;
    if (ImagePtr first = loadImage(imagePaths.front())) {
        const auto [width, height] = frameListSize(first->width, first->height);
        const int count = static_cast<int>(imagePaths.size());
        std::fprintf(file, "%d %d %d %d\n", width, height, count, count);
        for (int i = 0; i < count; ++i)
            std::fprintf(file, "N %d %s\n", i, imagePaths[i].c_str());
        ok = true;
    }
    std::fputs("-\n", file);
    if (std::fclose(file) != 0)
        ok = false;
    return ok;
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
