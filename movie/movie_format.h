// The interface every clip source implements, and the process-wide registry
// that picks readers for a path by its extension. Readers report failure by
// return values only (false / none).
#pragma once

#include <memory>
#include <string>

#include "image/image_buffer.h"

namespace veltro {

// A source of frames: reports its frame count and rate and hands out any frame
// by index. A reader is constructed empty, opened once by its format, used and
// destroyed.
class MovieReader {
public:
    virtual ~MovieReader() = default;
    // Opens the clip; on success frame, frameCount and frameRate are set.
    virtual bool open(const std::string& path) = 0;
    // Decodes frame index (0 .. frameCount - 1) into a buffer the reader keeps
    // (normally frame, refilled in place), valid until the next call; none
    // when the frame cannot be decoded. The caller copies what it keeps.
    virtual const ImageBuffer* frameAt(int index) = 0;

    // The current-frame buffer, created by open at the clip's frame size.
    ImagePtr frame;
    int frameCount = 0;
    // Frames per second; 0.0 when the source does not tell.
    double frameRate = 0.0;
};

using MovieReaderPtr = std::unique_ptr<MovieReader>;

// A kind of clip: names itself for file dialogs, claims extensions, opens.
class MovieFormat {
public:
    virtual ~MovieFormat() = default;
    virtual const char* description() const = 0;
    // Semicolon-separated wildcard patterns, e.g. "*.avi;*.mpg;*.mpeg".
    virtual const char* pattern() const = 0;
    // Creates a reader and opens the path with it; none when that fails.
    MovieReaderPtr open(const std::string& path) const;

protected:
    // A new, unopened reader of this format.
    virtual MovieReaderPtr createReader() const = 0;
};

// Appends a format (registration order is lookup order) and drops the cached
// filter text. The registry does not own the format.
void registerMovieFormat(const MovieFormat* format);
// Forgets every registered format (start-up and tests).
void clearMovieFormats();
// The next registered format after previous (from the first when previous is
// none) whose pattern contains the path's extension, ignoring case; none when
// the path has no "." or the candidates run out.
const MovieFormat* nextMovieFormat(const std::string& path, const MovieFormat* previous);
// Tries each candidate format in turn; the first reader that opens, or none.
// When formatOut is given it receives the format that opened the file.
MovieReaderPtr openMovie(const std::string& path, const MovieFormat** formatOut = nullptr);
// The double-NUL-terminated "All Video" filter list for file dialogs.
const std::string& movieFilter();

// Why the last movie that failed to open on this thread failed, in the
// decoding library's words where it gave any (openMovie clears it first);
// empty when no reader said more than no.
const std::string& movieError();
// Sets movieError (for readers).
void setMovieError(std::string text);

}  // namespace veltro
