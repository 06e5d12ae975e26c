// Hostile movie files: each input is opened from memory (FFmpeg's custom I/O,
// no file in between) by the AVI, QuickTime and exact-seek readers; opening
// must fail cleanly or give a reader whose frames (the first few, the last,
// one past the end) either decode at the opened size or give none. Seeds
// (fuzz/seeds/movie_open) are tiny clips the ffmpeg program made from its
// lavfi test pattern: MJPEG, packed-B-frame MPEG-4 and raw 24- and 8-bit
// AVI, H.264 MP4 with open groups of pictures, MPEG-1, MJPEG QuickTime, VP8
// WebM and Theora Ogg, plus damaged files from the reader tests.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "movie/avi_movie.h"
#include "movie/direct_show_movie.h"
#include "movie/quick_time_movie.h"

namespace {

void exercise(veltro::MovieReader& reader) {
    if (!reader.frame || reader.frame->width <= 0 || reader.frame->height <= 0 ||
        reader.frame->width > veltro::kMaxMovieDimension ||
        reader.frame->height > veltro::kMaxMovieDimension || reader.frameCount < 0)
        std::abort();
    const int width = reader.frame->width, height = reader.frame->height;
    for (int index : {0, 1, 2, reader.frameCount - 1, 1, reader.frameCount}) {
        const veltro::ImageBuffer* image = reader.frameAt(index);
        if (image && (image->width != width || image->height != height))
            std::abort();
        if (image && index >= reader.frameCount)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        veltro::AviMovieReader avi;
        if (avi.openMemory(data, size))
            exercise(avi);
    }
    {
        veltro::QuickTimeMovieReader quickTime;
        if (quickTime.openMemory(data, size))
            exercise(quickTime);
    }
    {
        veltro::DirectShowMovieReader exact;
        if (exact.openMemory(data, size))
            exercise(exact);
    }
    return 0;
}
