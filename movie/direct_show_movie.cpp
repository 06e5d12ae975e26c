// The exact-seek movie source over FFmpeg, standing in for the DirectShow
// filter graph: frame count and average frame duration from the stream, frame
// n decoded exactly and converted to opaque RGB.
#include "movie/direct_show_movie.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace veltro {

bool DirectShowMovieReader::open(const std::string& path) {
    frame.reset();
    frameCount = 0;
    frameRate = 0.0;
    if (!m_source.open(path, VideoStreamChoice::Best) || !m_source.openDecoder()) {
        m_source.close();
        return false;
    }
    frameCount = m_source.frameCount();
    // The rate is one over the average frame duration; a stream that gives
    // no average duration has rate 0.
    const AVRational average = m_source.stream()->avg_frame_rate;
    if (average.num > 0 && average.den > 0)
        frameRate = av_q2d(average);
    frame = std::make_unique<ImageBuffer>(m_source.width(), m_source.height());
    return true;
}

const ImageBuffer* DirectShowMovieReader::frameAt(int index) {
    if (!frame || index < 0 || index >= frameCount)
        return nullptr;
    return m_source.decodeFrame(index, *frame) ? frame.get() : nullptr;
}

bool DirectShowMovieReader::frameAtSize(int index, ImageBuffer& target) {
    if (!frame || index < 0 || index >= frameCount)
        return false;
    return m_source.decodeFrame(index, target);
}

MovieReaderPtr DirectShowMovieFormat::createReader() const {
    return std::make_unique<DirectShowMovieReader>();
}

}  // namespace veltro
