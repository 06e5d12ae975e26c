// The FFmpeg engine under the movie file readers: container, stream choice,
// the frame index built at opening and exact random access by decoding from
// the key frame at or before the target.
#include "movie/ffmpeg_video_source.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <cstdlib>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "movie/movie_format.h"

namespace veltro {

namespace {

// Most streams examined under the AVI rule.
constexpr unsigned kAviStreamsExamined = 10;
// Most packets of all streams the opening scan reads before it gives up on
// the rest of the file.
constexpr int64_t kMaxScanPackets = int64_t{4} * kMaxIndexedFrames;
// Packets one decoding attempt may read beyond four per frame between its key
// frame and its target (room for interleaved streams and decoder delay).
constexpr int kPacketSlack = 1024;
constexpr int kPacketsPerFrame = 4;
// One more than the size up to which FFmpeg's B-frame unpacking filter
// takes a packet for a placeholder.
constexpr int kPlaceholderBytes = 20;

// FFmpeg's errors never go to stderr: the last one of the failing call is
// kept as movieError, which the flow that opened the movie shows with its own
// message.
void keepLibraryMessage(void* context, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR)
        return;
    char line[512];
    int printPrefix = 0;
    av_log_format_line2(context, level, format, args, line, sizeof line, &printPrefix);
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (!text.empty())
        setMovieError(std::move(text));
}

void quietLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(keepLibraryMessage); });
}

// The timestamp the index and the decoder agree on for a packet: its
// presentation time, else its decoding time.
int64_t packetTime(const AVPacket& packet) {
    return packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
}

int64_t pictureTime(const AVFrame& picture) {
    return picture.pts != AV_NOPTS_VALUE ? picture.pts : picture.best_effort_timestamp;
}

// The full-range ("J") formats are their plain twins with the range set
// explicitly, which is how the scaler wants them.
AVPixelFormat withoutRangeAlias(AVPixelFormat format, bool& fullRange) {
    switch (format) {
    case AV_PIX_FMT_YUVJ420P: fullRange = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: fullRange = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: fullRange = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: fullRange = true; return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: fullRange = true; return AV_PIX_FMT_YUV411P;
    default: return format;
    }
}

// The coding type of the first MPEG-4 Part 2 picture in a packet (0 I, 1 P,
// 2 B, 3 S), -1 when the packet holds none.
int vopCodingType(const AVPacket& packet) {
    for (int i = 0; i + 4 < packet.size; ++i)
        if (packet.data[i] == 0 && packet.data[i + 1] == 0 && packet.data[i + 2] == 1 &&
            packet.data[i + 3] == 0xB6)
            return packet.data[i + 4] >> 6;
    return -1;
}

// Whether the packet's first picture is a B-picture (MPEG-4 Part 2, MPEG-1
// and MPEG-2; false for other codecs).
bool isBidirectional(AVCodecID codec, const AVPacket& packet) {
    if (codec == AV_CODEC_ID_MPEG4)
        return vopCodingType(packet) == 2;
    if (codec != AV_CODEC_ID_MPEG1VIDEO && codec != AV_CODEC_ID_MPEG2VIDEO)
        return false;
    // Picture header: start code 0x00000100, 10 bits of temporal reference,
    // 3 bits of coding type (3 = B).
    for (int i = 0; i + 5 < packet.size; ++i)
        if (packet.data[i] == 0 && packet.data[i + 1] == 0 && packet.data[i + 2] == 1 &&
            packet.data[i + 3] == 0)
            return ((packet.data[i + 5] >> 3) & 7) == 3;
    return false;
}

bool isYuv(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d && !(d->flags & AV_PIX_FMT_FLAG_RGB) && d->nb_components >= 3;
}

}  // namespace

FfmpegVideoSource::FfmpegVideoSource() = default;

FfmpegVideoSource::~FfmpegVideoSource() { close(); }

void FfmpegVideoSource::close() {
    clearCache();
    sws_freeContext(m_scaler);
    m_scaler = nullptr;
    av_frame_free(&m_picture);
    av_packet_free(&m_packet);
    av_packet_free(&m_firstPacket);
    av_bsf_free(&m_unpacker);
    m_unpackerAtEnd = false;
    m_slotTimes = false;
    avcodec_free_context(&m_codec);
    avformat_close_input(&m_format);
    if (m_memoryIo) {
        av_freep(&m_memoryIo->buffer);
        avio_context_free(&m_memoryIo);
    }
    m_memory = MemoryFile{};
    m_stream = nullptr;
    m_width = m_height = 0;
    m_frames.clear();
    m_byDecodeOrder.clear();
    m_timedLookup.clear();
    m_untimedLookup.clear();
    m_decodeTimeLookup.clear();
    invalidatePosition();
}

bool FfmpegVideoSource::open(const std::string& path, VideoStreamChoice choice,
                             const char* demuxer) {
    close();
    return openWith(&path, choice, demuxer);
}

bool FfmpegVideoSource::openMemory(const uint8_t* data, size_t size, VideoStreamChoice choice,
                                   const char* demuxer) {
    close();
    if (!data && size > 0)
        return false;
    m_memory = MemoryFile{data, size, 0};
    return openWith(nullptr, choice, demuxer);
}

bool FfmpegVideoSource::openWith(const std::string* path, VideoStreamChoice choice,
                                 const char* demuxer) {
    quietLibraryLog();
    m_packet = av_packet_alloc();
    m_firstPacket = av_packet_alloc();
    m_picture = av_frame_alloc();
    if (!m_packet || !m_firstPacket || !m_picture || !openContainer(path, demuxer) ||
        !chooseStream(choice) || !openUnpacker() || !decideTiming() || !indexFrames()) {
        close();
        return false;
    }
    if (!m_budgetChosen)
        m_cacheBudget = pictureCacheBudgetFor(m_frames, m_width, m_height);
    return true;
}

namespace {

constexpr int kMemoryIoBufferBytes = 64 * 1024;

int readMemory(void* opaque, uint8_t* target, int wanted) {
    auto* file = static_cast<FfmpegVideoSource::MemoryFile*>(opaque);
    const size_t left = file->size - file->position;
    if (left == 0)
        return AVERROR_EOF;
    const size_t count = std::min(left, static_cast<size_t>(std::max(wanted, 0)));
    std::memcpy(target, file->data + file->position, count);
    file->position += count;
    return static_cast<int>(count);
}

int64_t seekMemory(void* opaque, int64_t offset, int whence) {
    auto* file = static_cast<FfmpegVideoSource::MemoryFile*>(opaque);
    const int64_t size = static_cast<int64_t>(file->size);
    int64_t target;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return size;
    case SEEK_SET: target = offset; break;
    case SEEK_CUR: target = addTimes(static_cast<int64_t>(file->position), offset); break;
    case SEEK_END: target = addTimes(size, offset); break;
    default: return AVERROR(EINVAL);
    }
    if (target < 0 || target > size)
        return AVERROR(EINVAL);
    file->position = static_cast<size_t>(target);
    return target;
}

}  // namespace

bool FfmpegVideoSource::openContainer(const std::string* path, const char* demuxer) {
    const AVInputFormat* forced = nullptr;
    if (demuxer && !(forced = av_find_input_format(demuxer)))
        return false;
    AVDictionary* options = nullptr;
    std::string url;
    if (path) {
        // Always a local file: a name with a colon is not a protocol, and a
        // container may not reach out to the network or other protocols.
        url = "file:" + *path;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
    } else {
        // A file in memory; the container may open nothing else.
        m_format = avformat_alloc_context();
        auto* buffer = static_cast<uint8_t*>(av_malloc(kMemoryIoBufferBytes));
        m_memoryIo = buffer ? avio_alloc_context(buffer, kMemoryIoBufferBytes, 0, &m_memory,
                                                 readMemory, nullptr, seekMemory)
                            : nullptr;
        if (!m_memoryIo)
            av_free(buffer);
        if (!m_format || !m_memoryIo)
            return false;
        m_format->pb = m_memoryIo;
        m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
        av_dict_set(&options, "protocol_whitelist", "", 0);
    }
    const int opened = avformat_open_input(&m_format, url.c_str(), forced, &options);
    av_dict_free(&options);
    if (opened < 0) {
        m_format = nullptr;  // freed by avformat_open_input
        return false;
    }
    return avformat_find_stream_info(m_format, nullptr) >= 0;
}

bool FfmpegVideoSource::chooseStream(VideoStreamChoice choice) {
    int chosen = -1;
    if (choice == VideoStreamChoice::LastOfFirstTen) {
        const unsigned examined = std::min(m_format->nb_streams, kAviStreamsExamined);
        for (unsigned i = 0; i < examined; ++i) {
            const AVStream* s = m_format->streams[i];
            if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
                chosen = static_cast<int>(i);
        }
    } else {
        chosen = av_find_best_stream(m_format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (chosen >= 0 && (m_format->streams[chosen]->disposition & AV_DISPOSITION_ATTACHED_PIC))
            chosen = -1;
    }
    if (chosen < 0)
        return false;
    m_stream = m_format->streams[chosen];
    // Only the chosen stream is demuxed from here on.
    for (unsigned i = 0; i < m_format->nb_streams; ++i)
        if (static_cast<int>(i) != chosen)
            m_format->streams[i]->discard = AVDISCARD_ALL;
    m_width = m_stream->codecpar->width;
    m_height = m_stream->codecpar->height;
    return m_width > 0 && m_height > 0 && m_width <= kMaxMovieDimension &&
           m_height <= kMaxMovieDimension && int64_t{m_width} * m_height <= kMaxImagePixels;
}

bool FfmpegVideoSource::openDecoder() {
    if (!m_stream)
        return false;
    avcodec_free_context(&m_codec);
    invalidatePosition();
    const AVCodec* decoder = avcodec_find_decoder(m_stream->codecpar->codec_id);
    if (!decoder)
        return false;
    m_codec = avcodec_alloc_context3(decoder);
    if (!m_codec || avcodec_parameters_to_context(m_codec, m_stream->codecpar) < 0)
        return false;
    m_codec->pkt_timebase = m_stream->time_base;
    // Pictures are cropped exactly to the stream's picture area; without this
    // FFmpeg keeps up to a few columns left of it (Theora pictures that do
    // not start at the frame's left edge, H.264 cropped on the left), which
    // the conversion would then squeeze into the frame.
    m_codec->flags |= AV_CODEC_FLAG_UNALIGNED;
    // The decoder refuses pictures beyond the cap instead of allocating them.
    m_codec->max_pixels = kMaxImagePixels;
    // Slice threads only: frame threads would add their delay to every seek.
    m_codec->thread_count = 0;
    m_codec->thread_type = FF_THREAD_SLICE;
    if (avcodec_open2(m_codec, decoder, nullptr) < 0) {
        avcodec_free_context(&m_codec);
        return false;
    }
    primeDecoder();
    return true;
}

// The stream's first packet can carry what the decoder must know for every
// picture but that no later key frame repeats: an H.264 stream from x264
// names the encoder's build there, and FFmpeg decodes the streams of older
// builds (4:4:4 ones among them) with that build's rules. A decoder that
// starts at a later key frame without it gives broken pictures (solid green
// ones with slice threads), so it decodes the first packet once; flushing
// after a seek keeps what it learnt.
void FfmpegVideoSource::primeDecoder() {
    if (m_firstPacket->size > 0 && avcodec_send_packet(m_codec, m_firstPacket) >= 0) {
        avcodec_send_packet(m_codec, nullptr);
        while (avcodec_receive_frame(m_codec, m_picture) >= 0)
            av_frame_unref(m_picture);
    }
    avcodec_flush_buffers(m_codec);
}

bool FfmpegVideoSource::indexFrames() {
    std::vector<VideoFrameEntry> found;
    // Which pictures are B-pictures (MPEG-4 Part 2 only).
    std::vector<bool> bidirectional;
    int64_t reads = 0;
    while (found.size() < static_cast<size_t>(kMaxIndexedFrames) && reads < kMaxScanPackets) {
        if (readPacket() < 0)
            break;  // end of file, or damage: the frames before it stay usable
        ++reads;
        if (m_packet->stream_index == m_stream->index &&
            !(m_packet->flags & AV_PKT_FLAG_DISCARD) && packetTime(*m_packet) != AV_NOPTS_VALUE) {
            VideoFrameEntry entry;
            entry.timed = m_packet->pts != AV_NOPTS_VALUE;
            entry.pts = packetTime(*m_packet);
            entry.dts = m_packet->dts != AV_NOPTS_VALUE ? m_packet->dts : entry.pts;
            entry.decodeOrder = static_cast<int>(found.size());
            if (found.empty() && av_packet_ref(m_firstPacket, m_packet) < 0)
                return false;
            entry.key = (m_packet->flags & AV_PKT_FLAG_KEY) != 0;
            entry.empty = m_packet->size == 0;
            entry.damaged = (m_packet->flags & AV_PKT_FLAG_CORRUPT) != 0;
            found.push_back(entry);
            if (m_slotTimes)
                bidirectional.push_back(isBidirectional(m_stream->codecpar->codec_id, *m_packet));
        }
        av_packet_unref(m_packet);
    }
    if (found.empty())
        return false;
    if (m_slotTimes)
        timeBySlots(found, bidirectional);
    else
        inferMissingTimes(found);
    std::stable_sort(found.begin(), found.end(),
                     [](const VideoFrameEntry& a, const VideoFrameEntry& b) { return a.pts < b.pts; });
    // Two samples claiming one time show one picture: the later one repeats it.
    for (size_t i = 1; i < found.size(); ++i)
        if (found[i].pts == found[i - 1].pts)
            found[i].empty = true;
    m_frames = std::move(found);
    m_byDecodeOrder.assign(m_frames.size(), 0);
    m_timedLookup.clear();
    m_untimedLookup.clear();
    m_decodeTimeLookup.clear();
    for (size_t i = 0; i < m_frames.size(); ++i) {
        const VideoFrameEntry& e = m_frames[i];
        m_byDecodeOrder[e.decodeOrder] = static_cast<int>(i);
        (e.timed ? m_timedLookup : m_untimedLookup)
            .emplace_back(e.timed ? e.pts : e.dts, static_cast<int>(i));
        m_decodeTimeLookup.emplace_back(e.dts, static_cast<int>(i));
    }
    std::sort(m_timedLookup.begin(), m_timedLookup.end());
    std::sort(m_untimedLookup.begin(), m_untimedLookup.end());
    std::sort(m_decodeTimeLookup.begin(), m_decodeTimeLookup.end());
    invalidatePosition();
    return true;
}

// MPEG program streams give no presentation time to most reference pictures
// of a stream with B-frames. Such a picture is shown when the next reference
// picture is decoded, so it takes that one's decoding time (the last one: one
// frame after everything else). Without reordering a picture is shown when it
// is decoded, which the scan already assumed.
void FfmpegVideoSource::inferMissingTimes(std::vector<VideoFrameEntry>& found) const {
    if (m_stream->codecpar->video_delay <= 0 ||
        std::all_of(found.begin(), found.end(), [](const VideoFrameEntry& e) { return e.timed; }))
        return;
    std::vector<size_t> references;
    int64_t step = 0;
    int64_t latest = INT64_MIN;
    for (size_t i = 0; i < found.size(); ++i) {
        const VideoFrameEntry& e = found[i];
        if (!e.timed || e.key || e.pts > e.dts)
            references.push_back(i);
        const int64_t gap = i > 0 ? addTimes(e.dts, -std::max(found[i - 1].dts, -INT64_MAX)) : 0;
        if (gap > 0 && (step == 0 || gap < step))
            step = gap;
        latest = std::max({latest, e.pts, e.dts});
    }
    for (size_t k = 0; k < references.size(); ++k) {
        VideoFrameEntry& e = found[references[k]];
        if (!e.timed)
            e.pts = k + 1 < references.size() ? found[references[k + 1]].dts
                                              : addTimes(latest, std::max<int64_t>(step, 1));
    }
}

// Slot-timed streams (see m_slotTimes) give each packet a slot (its
// decoding time) and no presentation time. A B-picture is shown as soon as it is
// decoded; any other picture when the next non-B picture is decoded (or at
// the end). The pictures, in the order they are shown, take the slots in
// order.
void FfmpegVideoSource::timeBySlots(std::vector<VideoFrameEntry>& found,
                                    const std::vector<bool>& bidirectional) const {
    std::vector<int64_t> slots;
    slots.reserve(found.size());
    for (const VideoFrameEntry& e : found)
        slots.push_back(e.dts);
    std::sort(slots.begin(), slots.end());
    size_t shown = 0;
    int pending = -1;
    for (size_t i = 0; i < found.size(); ++i) {
        if (i < bidirectional.size() && bidirectional[i] && pending >= 0) {
            found[i].pts = slots[shown++];
            continue;
        }
        if (pending >= 0)
            found[pending].pts = slots[shown++];
        pending = static_cast<int>(i);
    }
    if (pending >= 0)
        found[pending].pts = slots[shown++];
    for (VideoFrameEntry& e : found)
        e.timed = false;
}

// Whether pictures are timed by slots (see m_slotTimes): MPEG-4 Part 2 in
// AVI, and bare MPEG-1 and MPEG-2 video streams, whose times the library
// makes up (differently when reading from the start and after a seek).
bool FfmpegVideoSource::decideTiming() {
    const AVCodecID codec = m_stream->codecpar->codec_id;
    const char* container = m_format->iformat->name;
    m_slotTimes = (codec == AV_CODEC_ID_MPEG4 && std::strcmp(container, "avi") == 0) ||
                  ((codec == AV_CODEC_ID_MPEG1VIDEO || codec == AV_CODEC_ID_MPEG2VIDEO) &&
                   std::strcmp(container, "mpegvideo") == 0);
    return true;
}

// Packed B-pictures only occur in MPEG-4 Part 2; its other streams pass the
// filter unchanged.
bool FfmpegVideoSource::openUnpacker() {
    if (m_stream->codecpar->codec_id != AV_CODEC_ID_MPEG4)
        return true;
    const AVBitStreamFilter* filter = av_bsf_get_by_name("mpeg4_unpack_bframes");
    if (!filter || av_bsf_alloc(filter, &m_unpacker) < 0 ||
        avcodec_parameters_copy(m_unpacker->par_in, m_stream->codecpar) < 0)
        return false;
    m_unpacker->time_base_in = m_stream->time_base;
    if (av_bsf_init(m_unpacker) < 0)
        return false;
    // The filter also drops the packed mark from the stream's headers.
    if (avcodec_parameters_copy(m_stream->codecpar, m_unpacker->par_out) < 0)
        return false;
    return true;
}

// The next packet of the file (av_read_frame), video packets of an MPEG-4
// Part 2 stream passed through the unpacking filter. Negative at the end.
int FfmpegVideoSource::readPacket() {
    if (!m_unpacker) {
        const int read = av_read_frame(m_format, m_packet);
        if (read >= 0 && m_slotTimes && m_packet->stream_index == m_stream->index)
            m_packet->pts = AV_NOPTS_VALUE;
        return read;
    }
    for (;;) {
        const int taken = av_bsf_receive_packet(m_unpacker, m_packet);
        if (taken >= 0) {
            // Packets are found by their slot (see m_slotTimes).
            if (m_slotTimes)
                m_packet->pts = AV_NOPTS_VALUE;
            return 0;
        }
        if (taken != AVERROR(EAGAIN) || m_unpackerAtEnd)
            return taken == AVERROR(EAGAIN) ? AVERROR_EOF : taken;
        const int read = av_read_frame(m_format, m_packet);
        if (read < 0) {
            m_unpackerAtEnd = true;
            av_bsf_send_packet(m_unpacker, nullptr);
            continue;
        }
        if (m_packet->stream_index != m_stream->index)
            return 0;
        // The filter takes any one-picture packet of at most 19 bytes for
        // the placeholder that follows packed B-frames; a B-picture that
        // small (a still scene) is padded so that it is not dropped.
        if (m_packet->size > 0 && m_packet->size < kPlaceholderBytes &&
            vopCodingType(*m_packet) == 2) {
            const int size = m_packet->size;
            if (av_grow_packet(m_packet, kPlaceholderBytes - size) >= 0)
                std::memset(m_packet->data + size, 0, kPlaceholderBytes - size);
        }
        if (av_bsf_send_packet(m_unpacker, m_packet) < 0) {
            av_packet_unref(m_packet);
            return AVERROR_INVALIDDATA;
        }
    }
}

void FfmpegVideoSource::invalidatePosition() {
    m_nextDecode = -1;
    m_lastOutputPts = INT64_MIN;
    m_startPts = INT64_MIN;
    m_drained = false;
}

int FfmpegVideoSource::presentationIndexOf(const AVPacket& packet) const {
    const bool timed = packet.pts != AV_NOPTS_VALUE;
    const int64_t time = timed ? packet.pts : packet.dts;
    if (time == AV_NOPTS_VALUE)
        return -1;
    const auto& lookup = timed ? m_timedLookup : m_untimedLookup;
    auto it = std::lower_bound(lookup.begin(), lookup.end(), std::make_pair(time, INT_MIN));
    if (it != lookup.end() && it->first == time)
        return it->second;
    // Raw elementary streams time their first packet at the opening scan but
    // not after a seek: a packet without its presentation time is then
    // found by its decoding time, when exactly one frame has that.
    if (timed)
        return -1;
    auto first = std::lower_bound(m_decodeTimeLookup.begin(), m_decodeTimeLookup.end(),
                                  std::make_pair(time, INT_MIN));
    if (first == m_decodeTimeLookup.end() || first->first != time ||
        (first + 1 != m_decodeTimeLookup.end() && (first + 1)->first == time))
        return -1;
    return first->second;
}

// The key frame decoding must start from to reach frame index: the last one
// at or before it in decoding order that is not shown after it (a key frame
// shown later cannot rebuild frames that lead it). -1 when there is none.
int FfmpegVideoSource::keyFor(int index) const {
    const int64_t targetPts = m_frames[index].pts;
    for (int d = m_frames[index].decodeOrder; d >= 0; --d) {
        const VideoFrameEntry& e = m_frames[m_byDecodeOrder[d]];
        if (e.key && e.pts <= targetPts)
            return m_byDecodeOrder[d];
    }
    return -1;
}

void FfmpegVideoSource::resetUnpacker() {
    if (m_unpacker)
        av_bsf_flush(m_unpacker);
    m_unpackerAtEnd = false;
}

bool FfmpegVideoSource::seekTo(int64_t time, bool anyFrame) {
    const int flags = AVSEEK_FLAG_BACKWARD | (anyFrame ? AVSEEK_FLAG_ANY : 0);
    invalidatePosition();
    if (m_codec)
        avcodec_flush_buffers(m_codec);
    resetUnpacker();
    return av_seek_frame(m_format, m_stream->index, time, flags) >= 0;
}

bool FfmpegVideoSource::seekToStart() {
    invalidatePosition();
    if (m_codec)
        avcodec_flush_buffers(m_codec);
    resetUnpacker();
    const int64_t first = m_frames[m_byDecodeOrder[0]].dts;
    if (av_seek_frame(m_format, m_stream->index, first, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) >= 0)
        return true;
    return avformat_seek_file(m_format, -1, INT64_MIN, INT64_MIN, INT64_MIN, 0) >= 0;
}

bool FfmpegVideoSource::decodeFrame(int index, ImageBuffer& target) {
    if (!m_codec || index < 0 || index >= frameCount() || target.empty())
        return false;
    while (index > 0 && m_frames[index].empty)
        --index;
    // A damaged sample would show a half-decoded picture.
    if (m_frames[index].damaged)
        return false;
    if (const AVFrame* kept = cachedPicture(index))
        return convert(*kept, target);
    // Each approach costs more than the one before; a seek that lands past
    // the frame makes the next one try from further back.
    for (Approach approach : {Approach::Forward, Approach::AtKey, Approach::BeforeKey})
        if (decodeAttempt(index, approach, target))
            return true;
    return decodeAttempt(index, Approach::FromStart, target);
}

bool FfmpegVideoSource::decodeAttempt(int index, Approach approach, ImageBuffer& target) {
    const VideoFrameEntry& wanted = m_frames[index];
    const int key = keyFor(index);
    if (key < 0 && approach != Approach::FromStart)
        return false;
    const int keyDecode = key >= 0 ? m_frames[key].decodeOrder : 0;
    const bool forward = approach == Approach::Forward;
    if (forward && !(m_nextDecode >= 0 && !m_drained && keyDecode <= m_nextDecode &&
                     wanted.pts > m_lastOutputPts))
        return false;  // the decoder stands elsewhere: seeking is cheaper
    bool sought = true;
    if (approach == Approach::AtKey)
        sought = seekTo(m_frames[key].pts, false);
    else if (approach == Approach::BeforeKey)
        sought = seekTo(std::min(m_frames[key].dts, m_frames[key].pts), false);
    else if (approach == Approach::FromStart)
        sought = seekToStart();
    if (!sought) {
        invalidatePosition();
        return false;
    }
    if (!forward)
        m_startPts = approach == Approach::FromStart ? INT64_MIN : m_frames[key].pts;
    // A stream that flags no key frame before the wanted one is decoded from
    // whatever the seek reached.
    bool awaitingKey = !forward && key >= 0;
    bool passed = false;
    // A seek by decoding time or to the start may land well before the key.
    const int from = approach == Approach::Forward || approach == Approach::AtKey ? keyDecode : 0;
    const int64_t budget =
        kPacketSlack + int64_t{kPacketsPerFrame} * (wanted.decodeOrder - from + 1);
    // Pictures already waiting in the decoder come first.
    if (forward && receiveUntil(wanted.pts, target, passed))
        return true;
    for (int64_t reads = 0; !passed && reads < budget; ++reads) {
        if (readPacket() < 0) {
            // End of the file: drain the pictures the decoder still holds.
            if (!m_drained) {
                avcodec_send_packet(m_codec, nullptr);
                m_drained = true;
            }
            if (receiveUntil(wanted.pts, target, passed))
                return true;
            break;
        }
        if (m_packet->stream_index != m_stream->index) {
            av_packet_unref(m_packet);
            continue;
        }
        const bool discarded = (m_packet->flags & AV_PKT_FLAG_DISCARD) != 0;
        const bool emptySample = m_packet->size == 0;
        const int position = discarded ? -1 : presentationIndexOf(*m_packet);
        const int decodeOrder = position >= 0 ? m_frames[position].decodeOrder : -1;
        if (awaitingKey) {
            // Decoding starts at a key frame; a seek that lands past the
            // wanted frame cannot reach it.
            if (decodeOrder > wanted.decodeOrder)
                passed = true;
            if (!(m_packet->flags & AV_PKT_FLAG_KEY) || discarded || emptySample || passed) {
                av_packet_unref(m_packet);
                continue;
            }
            awaitingKey = false;
        }
        // The decoder hands the packet's time on to its picture.
        if (position >= 0 && m_packet->pts == AV_NOPTS_VALUE)
            m_packet->pts = m_frames[position].pts;
        // An empty sample repeats the picture before it; sending it would
        // mean "end of stream" to the decoder.
        const int sent = emptySample ? 0 : avcodec_send_packet(m_codec, m_packet);
        av_packet_unref(m_packet);
        if (sent == AVERROR(EAGAIN) || sent == AVERROR_EOF)
            break;  // the decoder refuses input it should accept: start over
        if (!discarded)
            m_nextDecode = decodeOrder >= 0 ? decodeOrder + 1 : -1;
        if (receiveUntil(wanted.pts, target, passed))
            return true;
    }
    invalidatePosition();
    return false;
}

// Takes pictures from the decoder until the wanted one; passed is set when a
// later picture came first (the wanted one was lost or never decoded).
bool FfmpegVideoSource::receiveUntil(int64_t targetPts, ImageBuffer& target, bool& passed) {
    while (avcodec_receive_frame(m_codec, m_picture) >= 0) {
        const int64_t time = pictureTime(*m_picture);
        bool found = false;
        if (time != AV_NOPTS_VALUE) {
            m_lastOutputPts = time;
            const bool intact =
                !m_picture->decode_error_flags && !(m_picture->flags & AV_FRAME_FLAG_CORRUPT);
            const int index = pictureIndexOf(time);
            // Pictures shown before the key frame decoding started at may
            // refer to pictures that were never decoded (open groups of
            // pictures): a decoder may still hand them out, but they are
            // not kept.
            if (intact && index >= 0 && time >= m_startPts)
                keepPicture(index, *m_picture);
            if (time == targetPts) {
                if (!intact)
                    passed = true;  // the wanted picture is damaged: give none
                else
                    found = convert(*m_picture, target);
            }
            else if (time > targetPts)
                passed = true;
        }
        av_frame_unref(m_picture);
        if (found)
            return true;
        if (passed)
            return false;
    }
    return false;
}

int FfmpegVideoSource::pictureIndexOf(int64_t pts) const {
    auto it = std::lower_bound(m_frames.begin(), m_frames.end(), pts,
                               [](const VideoFrameEntry& e, int64_t t) { return e.pts < t; });
    return it != m_frames.end() && it->pts == pts ? static_cast<int>(it - m_frames.begin()) : -1;
}

const AVFrame* FfmpegVideoSource::cachedPicture(int index) {
    for (CachedPicture& kept : m_cache)
        if (kept.index == index) {
            kept.lastUse = ++m_useClock;
            return kept.picture;
        }
    return nullptr;
}

// Keeps a reference to the decoder's picture (no copy); the least recently
// used pictures make room. Pictures above a quarter of the budget are not kept.
void FfmpegVideoSource::keepPicture(int index, const AVFrame& picture) {
    size_t bytes = 0;
    for (const AVBufferRef* buffer : picture.buf)
        if (buffer)
            bytes += buffer->size;
    if (bytes == 0 || bytes > m_cacheBudget / 4 || cachedPicture(index))
        return;
    while (!m_cache.empty() && m_cacheBytes + bytes > m_cacheBudget) {
        auto oldest = std::min_element(m_cache.begin(), m_cache.end(),
                                       [](const CachedPicture& a, const CachedPicture& b) {
                                           return a.lastUse < b.lastUse;
                                       });
        m_cacheBytes -= oldest->bytes;
        av_frame_free(&oldest->picture);
        *oldest = m_cache.back();
        m_cache.pop_back();
    }
    CachedPicture kept;
    kept.index = index;
    kept.picture = av_frame_clone(&picture);
    kept.bytes = bytes;
    kept.lastUse = ++m_useClock;
    if (!kept.picture)
        return;
    m_cache.push_back(kept);
    m_cacheBytes += bytes;
}

void FfmpegVideoSource::setPictureCacheBytes(size_t bytes) {
    clearCache();
    m_cacheBudget = bytes;
    m_budgetChosen = true;
}

size_t pictureCacheBudgetFor(const std::vector<VideoFrameEntry>& frames, int width, int height) {
    // The longest run of frames from one key frame to the next, in
    // presentation order.
    size_t longest = 0;
    size_t run = 0;
    for (const VideoFrameEntry& frame : frames) {
        run = frame.key ? 1 : run + 1;
        longest = std::max(longest, run);
    }
    // A 4:2:0 picture with room for the decoder's padding.
    const size_t picture = static_cast<size_t>(std::max(width, 0) + 64) * (std::max(height, 0) + 64) * 2;
    const size_t wanted = 2 * longest * picture;
    return std::clamp(wanted, kPictureCacheBytes, kMaxPictureCacheBytes);
}

void FfmpegVideoSource::clearCache() {
    for (CachedPicture& kept : m_cache)
        av_frame_free(&kept.picture);
    m_cache.clear();
    m_cacheBytes = 0;
}

bool FfmpegVideoSource::convert(const AVFrame& picture, ImageBuffer& target) {
    if (picture.width <= 0 || picture.height <= 0 || picture.width > kMaxMovieDimension ||
        picture.height > kMaxMovieDimension)
        return false;
    bool fullRange = picture.color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat format =
        withoutRangeAlias(static_cast<AVPixelFormat>(picture.format), fullRange);
    // Accurate rounding also keeps the scaler off its fast YUV to RGB path,
    // which leaves the last columns of 4:2:0 pictures unwritten at widths
    // that are not a multiple of 16 (322, 854).
    m_scaler = sws_getCachedContext(m_scaler, picture.width, picture.height, format, target.width,
                                    target.height, AV_PIX_FMT_BGRA, SWS_BILINEAR | SWS_ACCURATE_RND, nullptr,
                                    nullptr, nullptr);
    if (!m_scaler)
        return false;
    if (isYuv(format)) {
        // Follow the picture's own matrix and range (BT.709 for HD footage).
        sws_setColorspaceDetails(m_scaler, sws_getCoefficients(picture.colorspace), fullRange,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(target.data()), nullptr, nullptr, nullptr};
    int strides[4] = {target.width * 4, 0, 0, 0};
    if (sws_scale(m_scaler, picture.data, picture.linesize, 0, picture.height, planes, strides) <= 0)
        return false;
    for (uint32_t& pixel : target.pixels)
        pixel |= 0xFF000000u;
    return true;
}

bool FfmpegVideoSource::readSample(int index, RawSample& sample) {
    if (!m_format || index < 0 || index >= frameCount())
        return false;
    while (index > 0 && m_frames[index].empty)
        --index;
    const int wantedDecode = m_frames[index].decodeOrder;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0 || m_nextDecode != wantedDecode) {
            const VideoFrameEntry& e = m_frames[index];
            if (!(attempt == 0 ? seekTo(std::min(e.dts, e.pts), true) : seekToStart()))
                continue;
        }
        for (int reads = 0; reads < kPacketSlack + (attempt ? kPacketsPerFrame * wantedDecode : 0);
             ++reads) {
            if (av_read_frame(m_format, m_packet) < 0)
                break;
            const int position = m_packet->stream_index == m_stream->index
                                     ? presentationIndexOf(*m_packet)
                                     : -1;
            if (position < 0 || (m_packet->flags & AV_PKT_FLAG_DISCARD)) {
                av_packet_unref(m_packet);
                continue;
            }
            const int decodeOrder = m_frames[position].decodeOrder;
            m_nextDecode = decodeOrder + 1;
            if (decodeOrder == wantedDecode) {
                sample.bytes.assign(m_packet->data, m_packet->data + m_packet->size);
                size_t paletteSize = 0;
                const uint8_t* palette =
                    av_packet_get_side_data(m_packet, AV_PKT_DATA_PALETTE, &paletteSize);
                sample.palette.clear();
                for (size_t i = 0; palette && i + 4 <= std::min<size_t>(paletteSize, AVPALETTE_SIZE);
                     i += 4) {
                    uint32_t entry;
                    std::memcpy(&entry, palette + i, 4);
                    sample.palette.push_back(entry);
                }
                av_packet_unref(m_packet);
                return true;
            }
            av_packet_unref(m_packet);
            if (decodeOrder > wantedDecode)
                break;
        }
        invalidatePosition();
    }
    return false;
}

}  // namespace veltro
