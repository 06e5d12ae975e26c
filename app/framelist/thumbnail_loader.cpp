#include "app/framelist/thumbnail_loader.h"

#include <algorithm>
#include <cctype>

#include "image/file_utils.h"
#include "image/image_format.h"
#include "image/jpeg_format.h"

namespace veltro {

namespace {

bool isJpegName(const std::string& path) {
    std::string extension = extensionOf(path);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".jpg" || extension == ".jpeg";
}

}  // namespace

void browserThumbnailSize(int width, int height, int* thumbWidth, int* thumbHeight) {
    int w = kThumbnailWidth, h = 1;
    if (width > 0 && height > 0) {
        const long long c = static_cast<long long>(height) * kThumbnailWidth / width;
        if (c <= kThumbnailHeight) {
            h = static_cast<int>(c);
        } else {
            w = static_cast<int>(static_cast<long long>(width) * kThumbnailHeight / height);
            h = kThumbnailHeight;
        }
    }
    *thumbWidth = std::max(1, w);
    *thumbHeight = std::max(1, h);
}

Thumbnail makeThumbnail(const std::string& path) {
    Thumbnail result;
    ImagePtr picture;
    int width = 0, height = 0;
    if (isJpegName(path) && findImageFormat(path)) {
        picture = loadJpegReduced(path, kThumbnailWidth, kThumbnailHeight, &width, &height);
    } else {
        picture = loadImage(path);
        if (picture) {
            width = picture->width;
            height = picture->height;
        }
    }
    if (!picture || width <= 0 || height <= 0)
        return result;
    int thumbWidth = 0, thumbHeight = 0;
    browserThumbnailSize(width, height, &thumbWidth, &thumbHeight);
    result.image = scaleAverage(*picture, thumbWidth, thumbHeight);
    if (!result.image)
        return result;
    result.pictureWidth = width;
    result.pictureHeight = height;
    return result;
}

ThumbnailLoader::ThumbnailLoader(int threads) {
    if (threads <= 0)
        threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 2u));
    for (int i = 0; i < threads; ++i)
        m_workers.emplace_back([this] { work(); });
}

ThumbnailLoader::~ThumbnailLoader() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
        m_stopped = true;
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

void ThumbnailLoader::start(std::vector<std::string> paths) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_generation;
        m_paths = std::move(paths);
        m_taken.assign(m_paths.size(), 0);
        m_preferred.clear();
        m_cursor = 0;
        m_built = 0;
        m_finished.clear();
        m_stopped = m_paths.empty();
    }
    m_wake.notify_all();
}

void ThumbnailLoader::prefer(int first, int count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const int end = std::min<int>(first + std::max(count, 0), static_cast<int>(m_paths.size()));
    // The requested ones go to the front in their own order.
    for (int i = end - 1; i >= std::max(first, 0); --i)
        if (!m_taken[static_cast<size_t>(i)])
            m_preferred.push_front(i);
}

void ThumbnailLoader::stop() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopped = true;
    m_idle.notify_all();
}

std::vector<ThumbnailLoader::Finished> ThumbnailLoader::takeFinished() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<Finished> out;
    out.swap(m_finished);
    return out;
}

int ThumbnailLoader::builtCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_built;
}

int ThumbnailLoader::total() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_paths.size());
}

bool ThumbnailLoader::busy() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_stopped && m_built < static_cast<int>(m_paths.size());
}

void ThumbnailLoader::waitIdle() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] {
        return (m_stopped && m_inProgress == 0) || m_built >= static_cast<int>(m_paths.size());
    });
}

int ThumbnailLoader::nextIndex() {
    while (!m_preferred.empty()) {
        const int index = m_preferred.front();
        m_preferred.pop_front();
        if (!m_taken[static_cast<size_t>(index)])
            return index;
    }
    while (m_cursor < m_paths.size() && m_taken[m_cursor])
        ++m_cursor;
    return m_cursor < m_paths.size() ? static_cast<int>(m_cursor) : -1;
}

void ThumbnailLoader::work() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        int index = -1;
        m_wake.wait(lock, [&] {
            if (m_quit)
                return true;
            if (m_stopped)
                return false;
            index = nextIndex();
            return index >= 0;
        });
        if (m_quit)
            return;
        m_taken[static_cast<size_t>(index)] = 1;
        const unsigned generation = m_generation;
        const std::string path = m_paths[static_cast<size_t>(index)];
        ++m_inProgress;
        lock.unlock();
        Thumbnail thumbnail = makeThumbnail(path);
        lock.lock();
        --m_inProgress;
        if (generation == m_generation) {
            m_finished.push_back({index, std::move(thumbnail)});
            ++m_built;
        }
        m_idle.notify_all();
    }
}

}  // namespace veltro
