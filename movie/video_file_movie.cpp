// Today's containers through the exact-seek reader.
#include "movie/video_file_movie.h"

#include "movie/direct_show_movie.h"

namespace veltro {

MovieReaderPtr VideoFileMovieFormat::createReader() const {
    return std::make_unique<DirectShowMovieReader>();
}

}  // namespace veltro
