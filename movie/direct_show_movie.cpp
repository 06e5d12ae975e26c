// The exact-seek movie source over FFmpeg, standing in for the DirectShow
// filter graph: frame count and average frame duration from the stream, frame
// n decoded exactly and converted to opaque RGB.
#include "movie/direct_show_movie.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace veltro {

bool DirectShowMovieReader::open(const std::string& path) {
    reset();
    return m_source.open(path, VideoStreamChoice::Best) && finishOpen();
}

bool DirectShowMovieReader::openMemory(const uint8_t* data, size_t size) {
    reset();
    return m_source.openMemory(data, size, VideoStreamChoice::Best) && finishOpen();
}

void DirectShowMovieReader::reset() {
    frame.reset();
    frameCount = 0;
    frameRate = 0.0;
}

bool DirectShowMovieReader::finishOpen() {
    if (!m_source.openDecoder()) {
        m_source.close();
        return false;
    }
    frameCount = m_source.frameCount();
    // The rate is one over the average frame duration. Some containers give
    // none (Ogg for Theora): then the stream's own frame rate, which FFmpeg
    // takes from the codec header or the time base it implies. A stream that
    // gives neither has rate 0.
    const AVStream& stream = *m_source.stream();
    for (AVRational rate : {stream.avg_frame_rate, stream.r_frame_rate})
        if (rate.num > 0 && rate.den > 0) {
            frameRate = av_q2d(rate);
            break;
        }
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
