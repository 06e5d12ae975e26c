// Thumbnails of a folder's pictures, built on worker threads so the browser
// stays usable while a folder of several hundred photos fills in: the
// pictures on screen go first, the rest follow in order, and the UI thread
// collects what is finished whenever it likes.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "image/image_buffer.h"

namespace veltro {

// Largest thumbnail: 80 pixels wide or 60 high.
inline constexpr int kThumbnailWidth = 80;
inline constexpr int kThumbnailHeight = 60;

// The thumbnail size of a width x height picture: 80 x (h * 80 / w) when that
// height is at most 60, else (w * 60 / h) x 60 (integer divisions, at least 1).
void browserThumbnailSize(int width, int height, int* thumbWidth, int* thumbHeight);

// A built thumbnail: the picture's own size and its reduced image, or no image
// and 1 x 1 for a file that does not load.
struct Thumbnail {
    ImagePtr image;
    int pictureWidth = 1;
    int pictureHeight = 1;
};

// Builds the thumbnail of one picture file. JPEG files are decoded at a
// reduced scale; other formats load whole and are scaled down.
Thumbnail makeThumbnail(const std::string& path);

class ThumbnailLoader {
public:
    // With threads <= 0, one worker per core, at most two.
    explicit ThumbnailLoader(int threads = 0);
    // Stops the work and joins the workers.
    ~ThumbnailLoader();
    ThumbnailLoader(const ThumbnailLoader&) = delete;
    ThumbnailLoader& operator=(const ThumbnailLoader&) = delete;

    // Forgets earlier work (results still being built are dropped) and starts
    // on these files; result indexes are positions in this list.
    void start(std::vector<std::string> paths);
    // Makes the pictures first .. first + count - 1 the next to be built.
    void prefer(int first, int count);
    // Builds nothing more; finished thumbnails can still be taken.
    void stop();

    struct Finished {
        int index = 0;
        Thumbnail thumbnail;
    };
    // The thumbnails finished since the last call.
    std::vector<Finished> takeFinished();
    // Thumbnails finished since start, and the number of files.
    int builtCount() const;
    int total() const;
    // True while files are left to build and stop was not called.
    bool busy() const;
    // Waits until nothing is left to build (or stop was called).
    void waitIdle();

private:
    void work();
    // The next index to build, or -1; called with the lock held.
    int nextIndex();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::vector<std::string> m_paths;
    std::vector<char> m_taken;
    std::deque<int> m_preferred;
    size_t m_cursor = 0;
    unsigned m_generation = 0;
    int m_built = 0;
    int m_inProgress = 0;
    bool m_stopped = true;
    bool m_quit = false;
    std::vector<Finished> m_finished;
    std::vector<std::thread> m_workers;
};

}  // namespace veltro
