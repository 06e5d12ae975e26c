// The format for today's video containers (MP4, M4V, WebM, Matroska, Ogg),
// registered after the four classic formats. It opens files with the same exact-seek
// reader as the DirectShow format.
#pragma once

#include "movie/movie_format.h"

namespace veltro {

// "Video file (*.mp4;*.m4v;*.webm;*.mkv;*.ogv)".
class VideoFileMovieFormat : public MovieFormat {
public:
    const char* description() const override {
        return "Video file (*.mp4;*.m4v;*.webm;*.mkv;*.ogv)";
    }
    const char* pattern() const override { return "*.mp4;*.m4v;*.webm;*.mkv;*.ogv"; }

protected:
    MovieReaderPtr createReader() const override;
};

}  // namespace veltro
