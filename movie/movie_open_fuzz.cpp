// Hostile movie files: each input is written to a scratch file and opened by
// the AVI, QuickTime and exact-seek sources; opening must fail cleanly or give
// a reader whose frames (the first few, the last, one past the end) either
// decode at the opened size or give none. Seeds (fuzz/seeds/movie_open) are
// tiny clips the ffmpeg program made from its lavfi test pattern: MJPEG and
// raw 24- and 8-bit AVI, H.264 MP4, MPEG-1, MJPEG QuickTime and VP8 WebM.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "movie/avi_movie.h"
#include "movie/direct_show_movie.h"
#include "movie/quick_time_movie.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

const std::string& scratchBase() {
    static const std::string base = [] {
        char pattern[] = "/tmp/veltro-fuzz-movie-XXXXXX";
        if (!::mkdtemp(pattern))
            std::abort();
        av_log_set_level(AV_LOG_QUIET);
        return std::string(pattern) + "/input";
    }();
    return base;
}

void exercise(const veltro::MovieFormat& format, const std::string& path) {
    veltro::MovieReaderPtr reader = format.open(path);
    if (!reader)
        return;
    if (!reader->frame || reader->frame->width <= 0 || reader->frame->height <= 0 ||
        reader->frame->width > veltro::kMaxMovieDimension ||
        reader->frame->height > veltro::kMaxMovieDimension || reader->frameCount < 0)
        std::abort();
    const int width = reader->frame->width, height = reader->frame->height;
    for (int index : {0, 1, 2, reader->frameCount - 1, 1, reader->frameCount}) {
        const veltro::ImageBuffer* image = reader->frameAt(index);
        if (image && (image->width != width || image->height != height))
            std::abort();
        if (image && index >= reader->frameCount)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const veltro::AviMovieFormat avi;
    static const veltro::QuickTimeMovieFormat quickTime;
    static const veltro::DirectShowMovieFormat directShow;
    const struct {
        const veltro::MovieFormat* format;
        const char* extension;
    } formats[] = {{&avi, ".avi"}, {&quickTime, ".mov"}, {&directShow, ".mpg"}};
    for (const auto& f : formats) {
        const std::string path = scratchBase() + f.extension;
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file)
            std::abort();
        if (size)
            std::fwrite(data, 1, size, file);
        std::fclose(file);
        exercise(*f.format, path);
    }
    return 0;
}
