// The QuickTime movie source: ".mov" files through FFmpeg's QuickTime
// demuxer. Frames are located by time, as a QuickTime movie is: frame i of n
// is the first video sample at or after i/n of the movie's duration, so a
// movie with uneven sample durations maps frames by proportional time.
#pragma once

#include <cstdint>

#include "movie/ffmpeg_video_source.h"
#include "movie/movie_format.h"

namespace veltro {

// Reads a QuickTime movie frame by frame into one reused buffer.
class QuickTimeMovieReader : public MovieReader {
public:
    // Opens the movie: counts its video samples, drops trailing frame numbers
    // whose time has no sample left, and sets the rate to
    // (frameCount + 1) x timeScale / duration (0 without a duration).
    bool open(const std::string& path) override;
    // open for a file held in memory (which must outlive the reader).
    bool openMemory(const uint8_t* data, size_t size);
    // The picture of the first video sample at or after the frame's time;
    // none when there is none, leaving frame as it was.
    const ImageBuffer* frameAt(int index) override;
    // The same picture scaled straight from the decoded picture to target.
    bool frameAtSize(int index, ImageBuffer& target) override;
    void setDecodedPictureBytes(size_t bytes) override { m_source.setPictureCacheBytes(bytes); }

    // Movie duration in time-scale units (the video stream's time base).
    int64_t duration() const { return m_duration; }

private:
    void reset();
    bool finishOpen();
    int64_t frameTime(int index) const;
    int sampleAtOrAfter(int64_t time) const;

    FfmpegVideoSource m_source;
    // Movie time of 0, in the stream's time base.
    int64_t m_origin = 0;
    int64_t m_duration = 0;
    int64_t m_videoEnd = 0;  // end of the last picture, movie time; 0 unknown
};

// "QuickTime movie (*.mov)".
class QuickTimeMovieFormat : public MovieFormat {
public:
    const char* description() const override { return "QuickTime movie (*.mov)"; }
    const char* pattern() const override { return "*.mov"; }

protected:
    MovieReaderPtr createReader() const override;
};

}  // namespace veltro
