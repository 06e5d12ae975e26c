// The interface every clip source implements, and the process-wide registry
// that picks readers for a path by its extension. Readers report failure by
// return values only (false / none).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "image/image_buffer.h"

namespace veltro {

class DisplayFrameCache;
class MovieFormat;
class MovieReader;
using MovieReaderPtr = std::unique_ptr<MovieReader>;

// A source of frames: reports its frame count and rate and hands out any frame
// by index. A reader is constructed empty, opened once by its format, used and
// destroyed.
class MovieReader {
public:
    MovieReader();
    // Stops the display frames first (their worker thread is joined).
    virtual ~MovieReader();
    MovieReader(const MovieReader&) = delete;
    MovieReader& operator=(const MovieReader&) = delete;
    // Opens the clip; on success frame, frameCount and frameRate are set.
    virtual bool open(const std::string& path) = 0;
    // Decodes frame index (0 .. frameCount - 1) into a buffer the reader keeps
    // (normally frame, refilled in place), valid until the next call; none
    // when the frame cannot be decoded. The caller copies what it keeps.
    virtual const ImageBuffer* frameAt(int index) = 0;
    // Decodes frame index scaled to target's size (the caller allocates
    // target at the size it wants). False, with target undefined, when the
    // frame cannot be decoded. Readers that can scale while converting do;
    // by default the frame is decoded at its own size and averaged down.
    virtual bool frameAtSize(int index, ImageBuffer& target);
    // How many bytes of decoded full-size pictures the reader may keep for
    // revisits (0: none); readers that keep none ignore it.
    virtual void setDecodedPictureBytes(size_t) {}

    // A second reader of the same clip, independent of this one (for another
    // thread); none when the clip was not opened through a format or no
    // longer opens.
    MovieReaderPtr reopen() const;

    // Display-size frames of this clip for a window that moves through it
    // (see movie/frame_cache.h): started on first use, with a worker thread
    // decoding on its own reader; stopped (the thread joined, the pictures
    // freed) by stopDisplayFrames or with the reader.
    DisplayFrameCache& startDisplayFrames();
    void stopDisplayFrames();
    // The running display frames, or none.
    DisplayFrameCache* displayFrames() const { return m_displayFrames.get(); }

    // The current-frame buffer, created by open at the clip's frame size.
    ImagePtr frame;
    int frameCount = 0;
    // Frames per second; 0.0 when the source does not tell.
    double frameRate = 0.0;

private:
    friend class MovieFormat;
    // The format and the path this reader was opened with, for reopen.
    const MovieFormat* m_openedBy = nullptr;
    std::string m_path;
    std::unique_ptr<DisplayFrameCache> m_displayFrames;
};

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
