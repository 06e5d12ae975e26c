// The QuickTime movie source over FFmpeg's mov demuxer, keeping the sample
// counting, the trimming of frame numbers past the last sample, the
// proportional-time mapping and the rate rule of the QuickTime reader it
// stands in for.
#include "movie/quick_time_movie.h"

#include <algorithm>

extern "C" {
#include <libavformat/avformat.h>
}

namespace veltro {

namespace {

// Most the movie header's duration may exceed the video's end by rounding.
constexpr int64_t kHeaderRoundingUs = 2000;

}  // namespace

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
    const int64_t videoEnd = std::max<int64_t>(stream.duration, 0);
    m_duration = format.duration != AV_NOPTS_VALUE && format.duration > 0
                     ? av_rescale_q(format.duration, AV_TIME_BASE_Q, stream.time_base)
                     : videoEnd;
    // The movie header keeps its duration in coarse units (1/1000 or 1/600 s)
    // rounded up; a movie longer than its video by no more than that rounding
    // is as long as its video, or the last sample would lose its frame.
    const int64_t rounding = av_rescale_q(kHeaderRoundingUs, AV_TIME_BASE_Q, stream.time_base);
    if (videoEnd > 0 && m_duration > videoEnd && m_duration - videoEnd <= rounding)
        m_duration = videoEnd;

    frameCount = m_source.frameCount();
    // Frame numbers whose time lies past the last sample show nothing.
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
    return it == frames.end() ? -1 : static_cast<int>(it - frames.begin());
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
