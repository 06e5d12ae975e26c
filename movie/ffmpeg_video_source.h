// The FFmpeg engine under every movie file reader: opens a container, picks
// its video stream, indexes the stream's frames once at opening (demuxing
// only, no decoding) and then hands out any frame by presentation index,
// exactly: the frame whose timestamp is the indexed one, never a neighbour.
//
// Random access keeps the demuxer and decoder open, and the pictures decoded
// on the way stay in a small cache. A frame ahead of the
// current decode position that needs no key frame beyond it is reached by
// decoding forward; any other frame by seeking to the key frame at or before
// it and decoding from there. Every read is bounded: the index holds at most
// kMaxIndexedFrames frames, and one request reads at most a packet budget
// derived from the distance to its key frame.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "image/image_buffer.h"

struct AVBSFContext;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct AVStream;
struct SwsContext;

namespace veltro {

// Largest frame a movie reader delivers, in either direction.
inline constexpr int kMaxMovieDimension = 8192;
// Most frames one clip may index (about nine hours at 30 frames per second);
// frames past this are not offered.
inline constexpr int kMaxIndexedFrames = 1 << 20;
// Fewest and most bytes of decoded pictures a source keeps for revisits.
// Within those bounds a source keeps two of its longest key-frame intervals,
// so scrubbing back and forth through a group of pictures decodes it once
// even for high-resolution clips with sparse key frames.
inline constexpr size_t kPictureCacheBytes = size_t{64} << 20;
inline constexpr size_t kMaxPictureCacheBytes = size_t{512} << 20;

// a + b for timestamps, held at the ends of the range instead of overflowing
// (a damaged file may carry any 64-bit time).
inline int64_t addTimes(int64_t a, int64_t b) {
    int64_t sum;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}

// Which of a file's video streams a reader takes.
enum class VideoStreamChoice {
    // The last video stream among the first ten streams (the AVI rule).
    LastOfFirstTen,
    // The stream FFmpeg ranks best.
    Best,
};

// One video packet of the stream as found by the opening scan.
struct VideoFrameEntry {
    int64_t pts = 0;        // presentation timestamp, stream time base
    int64_t dts = 0;        // decoding timestamp, stream time base
    int decodeOrder = 0;    // position among the stream's packets in file order
    bool key = false;       // a key frame: decoding may start here
    bool empty = false;     // a zero-size sample: shows the previous picture
    bool damaged = false;   // cut short or flagged corrupt by the demuxer
    bool timed = false;     // the packet carried its own presentation time
};

// The bytes of one stored sample, for readers that convert raw pictures
// themselves.
struct RawSample {
    std::vector<uint8_t> bytes;
    // The palette the sample came with (AV_PKT_DATA_PALETTE), else empty.
    std::vector<uint32_t> palette;
};

// The picture cache budget for a stream: two of its longest key-frame
// intervals of width x height pictures, held between kPictureCacheBytes and
// kMaxPictureCacheBytes.
size_t pictureCacheBudgetFor(const std::vector<VideoFrameEntry>& frames, int width, int height);

class FfmpegVideoSource {
public:
    FfmpegVideoSource();
    ~FfmpegVideoSource();
    FfmpegVideoSource(const FfmpegVideoSource&) = delete;
    FfmpegVideoSource& operator=(const FfmpegVideoSource&) = delete;

    // Opens the file, chooses the stream, checks its size (1 .. 8192 each
    // way) and indexes its frames. With a demuxer name ("avi", "mov") only
    // files of that container open; without one the container is probed.
    // False on any failure.
    bool open(const std::string& path, VideoStreamChoice choice, const char* demuxer = nullptr);
    // open for a file held in memory (size bytes at data, which must stay
    // unchanged while the source is open), read through FFmpeg's custom I/O.
    bool openMemory(const uint8_t* data, size_t size, VideoStreamChoice choice,
                    const char* demuxer = nullptr);
    // Opens the stream's decoder, needed by decodeFrame (readSample needs
    // none). False when no decoder takes the stream.
    bool openDecoder();
    // Releases everything; the source is closed afterwards.
    void close();

    int width() const { return m_width; }
    int height() const { return m_height; }
    // Number of indexed frames (0 .. kMaxIndexedFrames).
    int frameCount() const { return static_cast<int>(m_frames.size()); }
    // The indexed frames in presentation order.
    const std::vector<VideoFrameEntry>& frames() const { return m_frames; }

    // The opened container and stream, for readers that apply their own
    // counting and timing rules; none while closed.
    const AVFormatContext* format() const { return m_format; }
    const AVStream* stream() const { return m_stream; }

    // Decodes frame index (presentation order) into target, scaled to the
    // size target was allocated at (the source's size or any other). Every pixel comes out opaque. False, with target left as
    // it was, when the frame cannot be decoded.
    bool decodeFrame(int index, ImageBuffer& target);
    // Reads the stored bytes of frame index without decoding them. False when
    // the sample cannot be read.
    bool readSample(int index, RawSample& sample);
    // A file held in memory, and where its custom I/O reads next.
    struct MemoryFile {
        const uint8_t* data = nullptr;
        size_t size = 0;
        size_t position = 0;
    };

    // Sets how many bytes of decoded pictures may be kept (by default what
    // pictureCacheBudgetFor gives at opening; 0 keeps none) and drops what is
    // kept now.
    void setPictureCacheBytes(size_t bytes);

private:
    bool openWith(const std::string* path, VideoStreamChoice choice, const char* demuxer);
    bool openContainer(const std::string* path, const char* demuxer);
    bool chooseStream(VideoStreamChoice choice);
    bool indexFrames();
    bool openUnpacker();
    bool decideTiming();
    void primeDecoder();
    int readPacket();
    void resetUnpacker();
    void timeBySlots(std::vector<VideoFrameEntry>& found,
                     const std::vector<bool>& bidirectional) const;
    void inferMissingTimes(std::vector<VideoFrameEntry>& found) const;
    int keyFor(int index) const;
    int presentationIndexOf(const AVPacket& packet) const;
    // Where one decoding attempt starts: where the decoder stands, at the key
    // frame (sought by its presentation time), at or before it (sought by its
    // decoding time, for demuxers that index those), or at the stream start.
    enum class Approach { Forward, AtKey, BeforeKey, FromStart };
    bool seekTo(int64_t time, bool anyFrame);
    bool seekToStart();
    bool decodeAttempt(int index, Approach approach, ImageBuffer& target);
    bool receiveUntil(int64_t targetPts, ImageBuffer& target, bool& passed);
    bool convert(const AVFrame& picture, ImageBuffer& target);
    void invalidatePosition();
    int pictureIndexOf(int64_t pts) const;
    const AVFrame* cachedPicture(int index);
    void keepPicture(int index, const AVFrame& picture);
    void clearCache();

    // A decoded picture kept for revisits, and when it was last used.
    struct CachedPicture {
        int index = 0;
        AVFrame* picture = nullptr;
        size_t bytes = 0;
        uint64_t lastUse = 0;
    };

    AVFormatContext* m_format = nullptr;
    // The custom I/O of a file held in memory.
    AVIOContext* m_memoryIo = nullptr;
    MemoryFile m_memory;
    AVStream* m_stream = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVPacket* m_packet = nullptr;
    // The stream's first packet in decoding order (see primeDecoder).
    AVPacket* m_firstPacket = nullptr;
    AVFrame* m_picture = nullptr;
    SwsContext* m_scaler = nullptr;
    // MPEG-4 Part 2 streams pass through FFmpeg's mpeg4_unpack_bframes
    // filter: DivX and XviD stored a P-frame and the B-frame shown before it
    // in one sample, followed by a placeholder sample; the filter gives each
    // picture a packet of its own. None for other codecs.
    AVBSFContext* m_unpacker = nullptr;
    bool m_unpackerAtEnd = false;
    // The container gives sample slots, not presentation times (MPEG-4 in
    // AVI, bare MPEG video streams): a picture's time is the slot it is
    // shown in, found from the order the pictures are shown in, and packets
    // are looked up by their slot (decoding time).
    bool m_slotTimes = false;
    int m_width = 0;
    int m_height = 0;
    std::vector<VideoFrameEntry> m_frames;
    // Presentation index of each frame in decoding order.
    std::vector<int> m_byDecodeOrder;
    // (time, presentation index) sorted by time: packets that carry their
    // presentation time by it, the others by their decoding time.
    std::vector<std::pair<int64_t, int>> m_timedLookup;
    std::vector<std::pair<int64_t, int>> m_untimedLookup;
    // (decoding time, presentation index) of every frame, sorted.
    std::vector<std::pair<int64_t, int>> m_decodeTimeLookup;
    // Decoding position of the next packet the demuxer yields; -1 unknown.
    int m_nextDecode = -1;
    // Presentation timestamp of the last picture the decoder gave out since
    // the last seek; INT64_MIN when none.
    int64_t m_lastOutputPts = INT64_MIN;
    // Presentation timestamp of the key frame decoding started from since
    // the last seek; INT64_MIN when it started at the stream's beginning.
    int64_t m_startPts = INT64_MIN;
    bool m_drained = false;
    std::vector<CachedPicture> m_cache;
    size_t m_cacheBytes = 0;
    size_t m_cacheBudget = kPictureCacheBytes;
    // Set once a caller chose the budget; opening then keeps it.
    bool m_budgetChosen = false;
    uint64_t m_useClock = 0;
};

}  // namespace veltro
