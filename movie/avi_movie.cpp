// The AVI movie source over FFmpeg's AVI demuxer, keeping the stream rules,
// the frame count and rate rules and the raw pixel conversion of the Video
// for Windows reader it stands in for.
#include "movie/avi_movie.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
}

namespace veltro {

namespace {

// The AVI demuxer marks a stream whose rows run bottom-up (a positive
// biHeight) by appending this text to the format's extra bytes.
constexpr char kBottomUpTag[] = "BottomUp";
constexpr size_t kBottomUpTagSize = sizeof(kBottomUpTag);  // with its NUL
constexpr size_t kMaxPaletteEntries = 256;

// Whether the stream holds uncompressed bitmap samples this reader converts
// itself (BI_RGB, 8, 16 or 24 bits).
bool isRawBitmap(const AVCodecParameters& p) {
    return p.codec_id == AV_CODEC_ID_RAWVIDEO && p.codec_tag == 0 &&
           (p.bits_per_coded_sample == 8 || p.bits_per_coded_sample == 16 ||
            p.bits_per_coded_sample == 24);
}

// The colour table stored after the bitmap header: every whole entry the file
// holds, at most 256 (the table's colour count).
std::vector<uint32_t> colourTable(const AVCodecParameters& p, bool bottomUp) {
    std::vector<uint32_t> table;
    if (!p.extradata || p.extradata_size <= 0)
        return table;
    size_t size = static_cast<size_t>(p.extradata_size);
    if (bottomUp && size >= kBottomUpTagSize)
        size -= kBottomUpTagSize;
    const size_t entries = std::min(size / 4, kMaxPaletteEntries);
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* q = p.extradata + 4 * i;
        table.push_back(uint32_t{q[2]} << 16 | uint32_t{q[1]} << 8 | q[0]);
    }
    return table;
}

bool hasBottomUpTag(const AVCodecParameters& p) {
    return p.extradata && p.extradata_size >= static_cast<int>(kBottomUpTagSize) &&
           std::memcmp(p.extradata + p.extradata_size - kBottomUpTagSize, kBottomUpTag,
                       kBottomUpTagSize) == 0;
}

}  // namespace

bool AviMovieReader::open(const std::string& path) {
    reset();
    return m_source.open(path, VideoStreamChoice::LastOfFirstTen, "avi") && finishOpen();
}

bool AviMovieReader::openMemory(const uint8_t* data, size_t size) {
    reset();
    return m_source.openMemory(data, size, VideoStreamChoice::LastOfFirstTen, "avi") &&
           finishOpen();
}

void AviMovieReader::reset() {
    frame.reset();
    frameCount = 0;
    frameRate = 0.0;
    m_palette.clear();
}

bool AviMovieReader::finishOpen() {
    const AVStream& stream = *m_source.stream();
    const AVCodecParameters& params = *stream.codecpar;
    m_raw = isRawBitmap(params);
    if (m_raw) {
        m_layout.width = m_source.width();
        m_layout.height = m_source.height();
        m_layout.bitCount = params.bits_per_coded_sample;
        m_layout.bottomUp = hasBottomUpTag(params);
        if (m_layout.bitCount == 8)
            m_palette = colourTable(params, m_layout.bottomUp);
    } else if (!m_source.openDecoder()) {
        m_source.close();
        return false;
    }

    // The stream header's length, but never more samples than the file holds:
    // a length that lies would have callers walk frames that do not exist.
    const auto& frames = m_source.frames();
    const int64_t stored =
        addTimes(addTimes(frames.back().pts, -std::max(frames.front().pts, -INT64_MAX)), 1);
    int64_t length = stream.nb_frames > 0 ? stream.nb_frames : stored;
    length = std::clamp<int64_t>(std::min(length, stored), 0, kMaxIndexedFrames);
    frameCount = static_cast<int>(length);

    // frameCount x 1000 / the stream time of frameCount samples in ms.
    const int64_t ms = av_rescale_q(frameCount, stream.time_base, AVRational{1, 1000});
    if (ms > 0)
        frameRate = frameCount * 1000.0 / static_cast<double>(ms);
    frame = std::make_unique<ImageBuffer>(m_source.width(), m_source.height());
    return true;
}

// Samples are numbered from the stream's first; a sample the file stores
// empty (or not at all) shows the picture of the last one before it.
int AviMovieReader::sourceIndexOf(int sample) const {
    const auto& frames = m_source.frames();
    const int64_t time = addTimes(frames.front().pts, sample);
    auto after = std::upper_bound(frames.begin(), frames.end(), time,
                                  [](int64_t t, const VideoFrameEntry& e) { return t < e.pts; });
    return static_cast<int>(after - frames.begin()) - 1;
}

const ImageBuffer* AviMovieReader::frameAt(int index) {
    if (!frame || index < 0 || index >= frameCount)
        return nullptr;
    const int source = sourceIndexOf(index);
    if (source < 0)
        return nullptr;
    if (!m_raw)
        return m_source.decodeFrame(source, *frame) ? frame.get() : nullptr;
    if (!m_source.readSample(source, m_sample))
        return nullptr;
    if (!m_sample.palette.empty()) {
        // A palette change carried by the sample replaces the table; its
        // colour count is the run of entries it sets.
        m_palette.clear();
        for (uint32_t entry : m_sample.palette) {
            if (!(entry >> 24))
                break;
            m_palette.push_back(entry & 0x00FFFFFFu);
        }
    }
    if (!convertDib(m_sample.bytes.data(), m_sample.bytes.size(), m_layout, m_palette, *frame))
        return nullptr;
    return frame.get();
}

bool AviMovieReader::frameAtSize(int index, ImageBuffer& target) {
    if (m_raw)
        return MovieReader::frameAtSize(index, target);
    if (!frame || index < 0 || index >= frameCount)
        return false;
    const int source = sourceIndexOf(index);
    return source >= 0 && m_source.decodeFrame(source, target);
}

MovieReaderPtr AviMovieFormat::createReader() const { return std::make_unique<AviMovieReader>(); }

}  // namespace veltro
