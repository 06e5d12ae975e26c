// The exact-seek movie source: any container FFmpeg can probe (AVI and MPEG
// files under the DirectShow format, today's containers under the video-file
// format). Frame n is the n-th picture in presentation order, found by
// seeking to the key frame at or before it and decoding forward.
#pragma once

#include "movie/ffmpeg_video_source.h"
#include "movie/movie_format.h"

namespace veltro {

// Reads a clip picture by picture into one reused buffer.
class DirectShowMovieReader : public MovieReader {
public:
    // Opens the file; the frame count is the number of pictures the stream
    // holds and the rate its average frame rate (else the stream's own
    // frame rate; 0 when it gives neither).
    bool open(const std::string& path) override;
    // open for a file held in memory (which must outlive the reader).
    bool openMemory(const uint8_t* data, size_t size);
    // Picture index, exactly; none outside 0 .. frameCount - 1 or when it
    // does not decode, leaving frame as it was.
    const ImageBuffer* frameAt(int index) override;
    // Picture index scaled straight from the decoded picture to target.
    bool frameAtSize(int index, ImageBuffer& target) override;
    void setDecodedPictureBytes(size_t bytes) override { m_source.setPictureCacheBytes(bytes); }

private:
    void reset();
    bool finishOpen();

    FfmpegVideoSource m_source;
};

// "DirectShow movie (*.avi,*.mpg,*.mpeg)": the last designed format, and the
// fallback for AVI files the AVI source cannot open.
class DirectShowMovieFormat : public MovieFormat {
public:
    const char* description() const override { return "DirectShow movie (*.avi,*.mpg,*.mpeg)"; }
    const char* pattern() const override { return "*.avi;*.mpg;*.mpeg"; }

protected:
    MovieReaderPtr createReader() const override;
};

}  // namespace veltro
