// Frame list files as the frame-list dialog reads them back: any bytes give a
// list of paths (each the rest of an "N index path" line after the header,
// spaces included), never a crash or more paths than the file has lines.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "encode/frame_list_file.h"

namespace {

struct ScratchDirectory {
    ScratchDirectory() {
        char pattern[] = "/tmp/veltro-fuzz-framelist-XXXXXX";
        if (!::mkdtemp(pattern))
            std::abort();
        path = pattern;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ScratchDirectory scratch;
    const std::string list = scratch.path + "/list.txt";
    if (std::FILE* file = std::fopen(list.c_str(), "wb")) {
        if (size)
            std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    const std::vector<std::string> paths = veltro::loadFrameListPaths(list);
    const size_t lines = static_cast<size_t>(std::count(data, data + size, '\n')) + 1;
    if (paths.size() > lines)
        std::abort();
    for (const std::string& path : paths)
        if (path.empty() || path.find_first_of("\r\n") != std::string::npos)
            std::abort();
    // frameListSize takes any size the first image may have.
    if (size >= 8) {
        int w, h;
        std::memcpy(&w, data, 4);
        std::memcpy(&h, data + 4, 4);
        const auto [fw, fh] = veltro::frameListSize(w, h);
        (void)fw;
        (void)fh;
    }
    return 0;
}
