// The program's movie formats, registered in lookup order: an ".avi" file
// tries the AVI source and then DirectShow, ".mov" goes to QuickTime, any
// ".txt" to the frame store reader, ".mpg"/".mpeg" to DirectShow, and the
// containers of today to the video-file format.
#include "movie/standard_movie_formats.h"

#include "image/image_format.h"
#include "image/jpeg_format.h"
#include "image/png_format.h"
#include "movie/avi_movie.h"
#include "movie/direct_show_movie.h"
#include "movie/frame_store_movie.h"
#include "movie/quick_time_movie.h"
#include "movie/video_file_movie.h"

namespace veltro {

namespace {

// Whether format is already among the candidates for a path it claims.
bool isRegistered(const MovieFormat& format, const char* claimedPath) {
    for (const MovieFormat* f = nextMovieFormat(claimedPath, nullptr); f;
         f = nextMovieFormat(claimedPath, f))
        if (f == &format)
            return true;
    return false;
}

}  // namespace

void registerStandardMovieFormats() {
    // Formats live until the process ends; the registry only points at them.
    static const AviMovieFormat avi;
    static const QuickTimeMovieFormat quickTime;
    static const FrameStoreMovieFormat frameStore;
    static const DirectShowMovieFormat directShow;
    static const VideoFileMovieFormat videoFile;
    static const struct {
        const MovieFormat* format;
        const char* claimedPath;
    } table[] = {
        {&avi, "clip.avi"},          {&quickTime, "clip.mov"}, {&frameStore, "v0.txt"},
        {&directShow, "clip.mpg"}, {&videoFile, "clip.mp4"},
    };
    // Registering again (after the registry was cleared, or twice) adds each
    // format at most once.
    for (const auto& entry : table)
        if (!isRegistered(*entry.format, entry.claimedPath))
            registerMovieFormat(entry.format);
}

void registerStandardFormats() {
    // The formats live until the process ends; the registries only point at them.
    static PngFormat png;
    static JpegFormat jpeg;
    static const AviMovieFormat avi;
    static const QuickTimeMovieFormat quickTime;
    static const FrameStoreMovieFormat frameStore;
    static const DirectShowMovieFormat directShow;
    static const VideoFileMovieFormat videoFile;
    registerImageFormat(&png);
    registerImageFormat(&jpeg);
    const MovieFormat* const movies[] = {&avi, &quickTime, &frameStore, &directShow, &videoFile};
    for (const MovieFormat* format : movies)
        registerMovieFormat(format);
}

}  // namespace veltro
