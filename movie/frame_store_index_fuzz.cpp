// Hostile frame store indexes and frame lists: parsing and opening must fail
// cleanly or give a reader whose frames all have the declared size. The
// reader runs with a 16 MiB memory limit here so that lying counts near the
// format's limits are refused quickly; images named by the seeds exist in a
// scratch directory made once.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "framestore/frame_store_index.h"
#include "image/jpeg_format.h"
#include "image/png_format.h"
#include "movie/frame_store_movie.h"

namespace {

// The scratch directory, removed again when the process ends.
struct ScratchDirectory {
    ScratchDirectory();
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

ScratchDirectory::ScratchDirectory() {
    char pattern[] = "/tmp/veltro-fuzz-index-XXXXXX";
    if (!::mkdtemp(pattern))
        std::abort();
    path = pattern;
    const std::string& dir = path;
    veltro::registerStandardImageFormats();
    veltro::JpegFormat jpeg;
    veltro::PngFormat png;
    veltro::ImageBuffer frame(48, 32), sheet(320, 16);
    for (size_t i = 0; i < frame.pixelCount(); ++i)
        frame.pixels[i] = 0xFF000000u | uint32_t(i * 2654435761u >> 8);
    for (size_t i = 0; i < sheet.pixelCount(); ++i)
        sheet.pixels[i] = 0xFF000000u | uint32_t(i * 40503u);
    for (int e = 0; e < 8; ++e) {
        const std::string n = std::to_string(e);
        jpeg.save(dir + "/v0n" + n + ".jpg", frame);
        jpeg.save(dir + "/v0s" + n + ".jpg", frame);
        jpeg.save(dir + "/v0d" + n + ".jpg", sheet);
    }
    png.save(dir + "/a.png", frame);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ScratchDirectory scratch;
    const std::string& dir = scratch.path;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    veltro::FrameStoreIndex index;
    veltro::parseFrameStoreIndex(bytes, index);

    const std::string path = dir + "/v0.txt";
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    veltro::FrameStoreMovieReader reader(size_t(16) << 20);
    if (!reader.open(path))
        return 0;
    const size_t expected = size_t(reader.width()) * size_t(reader.height());
    for (int p : {-1, 0, 1, 2, 3, 5, 8, reader.frameCount - 1, reader.frameCount}) {
        const veltro::ImageBuffer* frame = reader.frameAt(p);
        if (!frame)
            continue;
        if (frame->pixelCount() != expected && !(expected == 0))
            std::abort();
    }
    return 0;
}
