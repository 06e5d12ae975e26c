// Frames of one clip at the size a window shows them, for moving through the
// clip interactively (the edit window's slide bar, step buttons and play
// drag). Pictures scaled down to the display size are small, so most or all
// of a clip fits; a worker thread with its own reader of the clip decodes the
// frame asked for, then ahead in the direction the user moves, then the
// frames asked to be prefetched, then the rest of the clip around the current
// position while the memory budget allows.
//
// Threads: every public function is for the thread that owns the reader (the
// UI thread); the worker touches only its own reader and, under one mutex,
// the kept frames and the work it is given. The ready callback runs on the
// worker thread. The destructor stops the worker and joins it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "image/image_buffer.h"

namespace veltro {

class MovieReader;

// Most bytes of display-size pictures one clip keeps. Opaque pictures are
// kept at three bytes a pixel: 690 frames of a clip shown at 480 x 270, 1160
// at 320 x 240.
inline constexpr size_t kDisplayFrameBytes = size_t{256} << 20;
// How far the worker decodes ahead of the last frame asked for, in frames.
inline constexpr int kDisplayAheadFrames = 90;
// When the frame asked for lies at most this far after the worker's last
// decoded frame, the frames between are decoded (and kept) on the way: the
// decoder passes through them anyway.
inline constexpr int kDisplayPassFrames = 16;
// Most bytes of full-size decoded pictures the worker's reader keeps: enough
// to step back through a stretch of a group of pictures without decoding it
// from its key frame for every frame (14 pictures of 1080p).
inline constexpr size_t kDisplayWorkerPictureBytes = size_t{64} << 20;

class DisplayFrameCache {
public:
    using OpenReader = std::function<std::unique_ptr<MovieReader>()>;

    // A cache over reader (decodes on the caller's thread when nothing kept
    // can stand in); openWorkerReader makes the worker's own reader of the
    // same clip on the worker thread (none leaves all decoding to reader).
    DisplayFrameCache(MovieReader& reader, OpenReader openWorkerReader, size_t budgetBytes = kDisplayFrameBytes);
    ~DisplayFrameCache();
    DisplayFrameCache(const DisplayFrameCache&) = delete;
    DisplayFrameCache& operator=(const DisplayFrameCache&) = delete;

    // The display size; a new size drops every kept frame. Sizes outside
    // 1 .. kMaxImageDimension are refused (false).
    bool setSize(int width, int height);
    int width() const { return m_width; }
    int height() const { return m_height; }

    // The picture of frame index at the display size, valid until the next
    // call. A kept frame is returned at once. Otherwise, with stand-ins
    // allowed and some frame kept, the kept frame nearest to index stands in
    // while the worker decodes index (the ready callback tells when); without
    // that, index is decoded now on the caller's reader. None when index is
    // outside the clip or cannot be decoded.
    const ImageBuffer* frame(int index);
    // Whether the last picture frame returned stands in for another frame.
    bool showingStandIn() const { return m_standIn; }
    // Whether frame may hand out stand-ins (off at first).
    void setStandIns(bool allowed) { m_standInsAllowed = allowed; }

    // Frames to decode once the frame asked for and the frames ahead are
    // done; they stay kept until the next prefetch list replaces them.
    void prefetch(const std::vector<int>& indices);
    // Called on the worker thread when the frame most recently asked for is
    // decoded; none stops the calls. When setReadyCallback returns, no call
    // of the previous callback is running or will run.
    void setReadyCallback(std::function<void()> ready);

    // Whether frame index is kept now.
    bool isKept(int index) const;
    // The number and the bytes of the pictures kept now.
    size_t keptCount() const;
    size_t keptBytes() const;
    size_t budget() const { return m_budget; }
    // The bytes an opaque picture of width x height costs the budget.
    static size_t pictureCost(int width, int height);

private:
    // A kept picture: opaque ones as packed RGB, others as they came.
    struct Kept {
        std::vector<uint8_t> rgb;
        ImageBuffer withAlpha;
        size_t bytes = 0;
    };
    using Picture = std::shared_ptr<const Kept>;
    // How much a frame is worth keeping: lower ranks first (the frame asked
    // for, then prefetched frames, then the rest), each by nearness.
    using Rank = std::pair<int, int>;

    void run();
    // The next frame the worker should decode, -1 when there is none.
    int nextJobLocked();
    // Neither kept nor known to fail nor refused for want of room.
    bool wantedLocked(int index) const;
    Rank rankLocked(int index) const;
    // The kept frame that goes first when room is needed, or m_kept.end().
    std::map<int, Picture>::iterator victimLocked();
    // Whether a picture of frame index would be kept now.
    bool canKeepLocked(int index);
    // Keeps picture as frame index when the budget allows, making room by
    // dropping the frames worth least. False when it was not kept.
    bool keepLocked(int index, Picture picture, int width, int height);
    // Decodes frame index into picture (allocated at the display size).
    static bool decodeOn(MovieReader& reader, int index, ImageBuffer& picture);
    static Picture pack(const ImageBuffer& picture);
    static void unpack(const Kept& kept, ImageBuffer& picture);

    MovieReader& m_reader;
    OpenReader m_openWorkerReader;
    const size_t m_budget;
    const int m_frameCount;

    // UI-thread state: the picture handed out last.
    ImageBuffer m_shown;
    bool m_standIn = false;
    bool m_standInsAllowed = false;
    int m_width = 0;
    int m_height = 0;

    // Shared with the worker, under m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    // The worker has its reader: stand-ins will be followed by the frame.
    bool m_workerUp = false;
    // Size of the kept frames; bumped with every new size so a picture the
    // worker decoded at the old size is not kept.
    int m_sizeGeneration = 0;
    int m_keptWidth = 0;
    int m_keptHeight = 0;
    std::map<int, Picture> m_kept;
    size_t m_keptBytes = 0;
    std::set<int> m_failed;
    std::set<int> m_refused;
    std::set<int> m_prefetch;
    // The frame last asked for and the direction of travel (+1 or -1).
    int m_position = 0;
    int m_direction = 1;
    // The frame the worker decoded last, -1 before any.
    int m_lastDecoded = -1;

    std::mutex m_callbackMutex;
    std::function<void()> m_ready;

    std::thread m_worker;
};

}  // namespace veltro
