// The AVI movie source: the first format tried for ".avi" files. It takes the
// last video stream among the file's first ten streams, counts frames by the
// stream's own length and gives sample n as frame n. Uncompressed 8-, 16- and
// 24-bit samples are converted by the bitmap pixel rules; every other stream
// goes through its FFmpeg decoder.
#pragma once

#include <cstdint>
#include <vector>

#include "movie/avi_movie_pixels.h"
#include "movie/ffmpeg_video_source.h"
#include "movie/movie_format.h"

namespace veltro {

// Reads the video of an AVI file frame by frame into one reused buffer.
class AviMovieReader : public MovieReader {
public:
    // Opens the file (AVI only); a second call discards the first clip.
    bool open(const std::string& path) override;
    // open for a file held in memory (which must outlive the reader).
    bool openMemory(const uint8_t* data, size_t size);
    // Sample index of the video stream; none past the end or when the sample
    // does not decode, leaving frame as it was.
    const ImageBuffer* frameAt(int index) override;
    // Decoded streams are scaled straight from the decoded picture to
    // target; raw samples are converted at their size and averaged down.
    bool frameAtSize(int index, ImageBuffer& target) override;
    void setDecodedPictureBytes(size_t bytes) override { m_source.setPictureCacheBytes(bytes); }

private:
    void reset();
    bool finishOpen();
    int sourceIndexOf(int sample) const;

    FfmpegVideoSource m_source;
    bool m_raw = false;
    DibLayout m_layout;
    std::vector<uint32_t> m_palette;
    RawSample m_sample;
};

// "AVI video (*.avi)".
class AviMovieFormat : public MovieFormat {
public:
    const char* description() const override { return "AVI video (*.avi)"; }
    const char* pattern() const override { return "*.avi"; }

protected:
    MovieReaderPtr createReader() const override;
};

}  // namespace veltro
