// The QuickTime movie source over FFmpeg's mov demuxer: frames are counted
// by video samples and located by proportional time over the picture's span
// (the first sample at or after a frame's time, or the picture still showing
// at the end), with the rate rule of the QuickTime reader it stands in for.
#include "movie/quick_time_movie.h"

#include <algorithm>

extern "C" {
#include <libavformat/avformat.h>
}

namespace veltro {

bool QuickTimeMovieReader::open(const std::string& path) {
    reset();
    return m_source.open(path, VideoStreamChoice::Best, "mov") && finishOpen();
}

bool QuickTimeMovieReader::openMemory(const uint8_t* data, size_t size) {
    reset();
    return m_source.openMemory(data, size, VideoStreamChoice::Best, "mov") && finishOpen();
}

void QuickTimeMovieReader::reset() {
    frame.reset();
    frameCount = 0;
    frameRate = 0.0;
}

bool QuickTimeMovieReader::finishOpen() {
    if (!m_source.openDecoder()) {
        m_source.close();
        return false;
    }
    const AVFormatContext& format = *m_source.format();
    const AVStream& stream = *m_source.stream();
    // Movie times are kept in the video stream's time base; the movie
    // starts at the container's start time.
    m_origin = format.start_time != AV_NOPTS_VALUE
                   ? av_rescale_q(format.start_time, AV_TIME_BASE_Q, stream.time_base)
                   : 0;
    // Where the video ends, in movie time: the end of its last sample.
    const int64_t videoStart = stream.start_time != AV_NOPTS_VALUE
                                   ? addTimes(stream.start_time, -std::max(m_origin, -INT64_MAX))
                                   : 0;
    m_videoEnd = stream.duration > 0 ? addTimes(std::max<int64_t>(videoStart, 0), stream.duration) : 0;
    m_duration = format.duration != AV_NOPTS_VALUE && format.duration > 0
                     ? av_rescale_q(format.duration, AV_TIME_BASE_Q, stream.time_base)
                     : m_videoEnd;
    // Frame numbers are spread over the picture's own span. A movie longer
    // than its video (a sound track that runs on, or the header's duration
    // rounded up to its coarse units) would otherwise give its later frame
    // numbers no picture, and trimming those would shrink the clip to a few
    // frames: 51 pictures over 5 s became 5 frames.
    if (m_videoEnd > 0 && m_duration > m_videoEnd)
        m_duration = m_videoEnd;

    frameCount = m_source.frameCount();
    // Frame numbers whose time lies past the last picture show nothing.
    while (frameCount > 1 && sampleAtOrAfter(frameTime(frameCount - 1)) < 0)
        --frameCount;
    if (m_duration > 0) {
        const double timeScale = av_q2d(av_inv_q(stream.time_base));
        frameRate = (frameCount + 1) * timeScale / static_cast<double>(m_duration);
    }
    frame = std::make_unique<ImageBuffer>(m_source.width(), m_source.height());
    return true;
}

// duration x index div frameCount, without overflow.
int64_t QuickTimeMovieReader::frameTime(int index) const {
    return av_rescale_rnd(m_duration, index, frameCount, AV_ROUND_DOWN);
}

int QuickTimeMovieReader::sampleAtOrAfter(int64_t time) const {
    const auto& frames = m_source.frames();
    const int64_t pts = addTimes(m_origin, time);
    auto it = std::lower_bound(frames.begin(), frames.end(), pts,
                               [](const VideoFrameEntry& e, int64_t t) { return e.pts < t; });
    if (it != frames.end())
        return static_cast<int>(it - frames.begin());
    // Past the last sample's start but before the video ends, the last
    // picture is still showing (a picture held for a while at the end).
    return !frames.empty() && time < m_videoEnd ? static_cast<int>(frames.size()) - 1 : -1;
}

const ImageBuffer* QuickTimeMovieReader::frameAt(int index) {
    if (!frame || frameCount <= 0 || index < 0 || index >= frameCount)
        return nullptr;
    const int sample = sampleAtOrAfter(frameTime(index));
    if (sample < 0)
        return nullptr;
    return m_source.decodeFrame(sample, *frame) ? frame.get() : nullptr;
}

bool QuickTimeMovieReader::frameAtSize(int index, ImageBuffer& target) {
    if (!frame || frameCount <= 0 || index < 0 || index >= frameCount)
        return false;
    const int sample = sampleAtOrAfter(frameTime(index));
    return sample >= 0 && m_source.decodeFrame(sample, target);
}

MovieReaderPtr QuickTimeMovieFormat::createReader() const {
    return std::make_unique<QuickTimeMovieReader>();
}

}  // namespace veltro
