// Display-size frames of a clip: kept pictures, stand-ins, and the worker
// that decodes the frame asked for, ahead of it, the prefetched frames and
// the rest of the clip.
#include "movie/frame_cache.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "movie/movie_format.h"

namespace veltro {

namespace {

// Bytes a kept picture costs besides its pixels.
constexpr size_t kKeptOverhead = 128;

}  // namespace

size_t DisplayFrameCache::pictureCost(int width, int height) {
    return static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0)) * 3 + kKeptOverhead;
}

DisplayFrameCache::Picture DisplayFrameCache::pack(const ImageBuffer& picture) {
    auto kept = std::make_shared<Kept>();
    if (picture.hasAlpha) {
        kept->withAlpha = picture;
        kept->bytes = picture.pixelCount() * 4 + kKeptOverhead;
        return kept;
    }
    kept->rgb.resize(picture.pixelCount() * 3);
    uint8_t* out = kept->rgb.data();
    for (uint32_t pixel : picture.pixels) {
        *out++ = static_cast<uint8_t>(pixel >> 16);
        *out++ = static_cast<uint8_t>(pixel >> 8);
        *out++ = static_cast<uint8_t>(pixel);
    }
    kept->bytes = kept->rgb.size() + kKeptOverhead;
    return kept;
}

void DisplayFrameCache::unpack(const Kept& kept, ImageBuffer& picture) {
    if (!kept.rgb.empty()) {
        picture.hasAlpha = 0;
        const uint8_t* in = kept.rgb.data();
        for (uint32_t& pixel : picture.pixels) {
            pixel = 0xFF000000u | uint32_t{in[0]} << 16 | uint32_t{in[1]} << 8 | in[2];
            in += 3;
        }
    } else {
        picture.pixels = kept.withAlpha.pixels;
        picture.hasAlpha = kept.withAlpha.hasAlpha;
    }
}

DisplayFrameCache::DisplayFrameCache(MovieReader& reader, OpenReader openWorkerReader, size_t budgetBytes)
    : m_reader(reader),
      m_openWorkerReader(std::move(openWorkerReader)),
      m_budget(budgetBytes),
      m_frameCount(std::max(reader.frameCount, 0)) {
    if (m_openWorkerReader)
        m_worker = std::thread([this] { run(); });
}

DisplayFrameCache::~DisplayFrameCache() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

bool DisplayFrameCache::setSize(int width, int height) {
    if (width < 1 || height < 1 || width > kMaxImageDimension || height > kMaxImageDimension)
        return false;
    if (width == m_width && height == m_height)
        return true;
    m_width = width;
    m_height = height;
    m_shown.allocate(width, height);
    m_standIn = false;
    {
        std::lock_guard lock(m_mutex);
        ++m_sizeGeneration;
        m_keptWidth = width;
        m_keptHeight = height;
        m_kept.clear();
        m_keptBytes = 0;
        m_failed.clear();
        m_refused.clear();
    }
    m_wake.notify_all();
    return true;
}

const ImageBuffer* DisplayFrameCache::frame(int index) {
    if (index < 0 || index >= m_frameCount || m_width == 0)
        return nullptr;
    Picture shown;
    {
        std::lock_guard lock(m_mutex);
        if (index != m_position) {
            m_direction = index > m_position ? 1 : -1;
            m_position = index;
            m_refused.clear();
        }
        auto kept = m_kept.find(index);
        if (kept != m_kept.end()) {
            shown = kept->second;
            m_standIn = false;
        } else if (m_standInsAllowed && m_workerUp && !m_kept.empty() && wantedLocked(index)) {
            // The nearest kept frame; on a tie the one the user comes from.
            auto after = m_kept.lower_bound(index);
            auto pick = after;
            if (after == m_kept.end()) {
                pick = std::prev(after);
            } else if (after != m_kept.begin()) {
                auto before = std::prev(after);
                const int below = index - before->first;
                const int above = after->first - index;
                if (below < above || (below == above && m_direction > 0))
                    pick = before;
            }
            shown = pick->second;
            m_standIn = true;
        }
    }
    m_wake.notify_all();
    if (shown) {
        unpack(*shown, m_shown);
        return &m_shown;
    }

    // Nothing can stand in: decode here, and keep it for next time.
    m_standIn = false;
    const bool decoded = decodeOn(m_reader, index, m_shown);
    Picture picture = decoded ? pack(m_shown) : nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (!decoded)
            m_failed.insert(index);
        else
            keepLocked(index, std::move(picture), m_width, m_height);
    }
    return decoded ? &m_shown : nullptr;
}

void DisplayFrameCache::prefetch(const std::vector<int>& indices) {
    {
        std::lock_guard lock(m_mutex);
        m_prefetch.clear();
        for (int index : indices)
            if (index >= 0 && index < m_frameCount)
                m_prefetch.insert(index);
        m_refused.clear();
    }
    m_wake.notify_all();
}

void DisplayFrameCache::setReadyCallback(std::function<void()> ready) {
    std::lock_guard lock(m_callbackMutex);
    m_ready = std::move(ready);
}

bool DisplayFrameCache::isKept(int index) const {
    std::lock_guard lock(m_mutex);
    return m_kept.count(index) != 0;
}

size_t DisplayFrameCache::keptCount() const {
    std::lock_guard lock(m_mutex);
    return m_kept.size();
}

size_t DisplayFrameCache::keptBytes() const {
    std::lock_guard lock(m_mutex);
    return m_keptBytes;
}

bool DisplayFrameCache::decodeOn(MovieReader& reader, int index, ImageBuffer& picture) {
    const int width = picture.width;
    const int height = picture.height;
    picture.hasAlpha = 0;
    if (reader.frameAtSize(index, picture) && picture.width == width && picture.height == height &&
        picture.pixelCount() == static_cast<size_t>(width) * height)
        return true;
    picture.allocate(width, height);  // whatever a failed decode left
    return false;
}

DisplayFrameCache::Rank DisplayFrameCache::rankLocked(int index) const {
    if (index == m_position)
        return {0, 0};
    const int distance = index > m_position ? index - m_position : m_position - index;
    return {m_prefetch.count(index) ? 1 : 2, distance};
}

std::map<int, DisplayFrameCache::Picture>::iterator DisplayFrameCache::victimLocked() {
    auto victim = m_kept.end();
    Rank worst{-1, -1};
    for (auto it = m_kept.begin(); it != m_kept.end(); ++it) {
        const Rank rank = rankLocked(it->first);
        if (rank > worst) {
            worst = rank;
            victim = it;
        }
    }
    return victim;
}

bool DisplayFrameCache::canKeepLocked(int index) {
    const size_t bytes = pictureCost(m_keptWidth, m_keptHeight);
    if (bytes > m_budget)
        return false;
    if (m_keptBytes + bytes <= m_budget)
        return true;
    auto victim = victimLocked();
    return victim != m_kept.end() && rankLocked(index) < rankLocked(victim->first);
}

bool DisplayFrameCache::keepLocked(int index, Picture picture, int width, int height) {
    if (!picture || width != m_keptWidth || height != m_keptHeight || m_kept.count(index))
        return false;
    const size_t bytes = picture->bytes;
    if (bytes > m_budget)
        return false;
    const Rank rank = rankLocked(index);
    while (m_keptBytes + bytes > m_budget) {
        auto victim = victimLocked();
        if (victim == m_kept.end() || !(rank < rankLocked(victim->first)))
            return false;
        m_keptBytes -= victim->second->bytes;
        m_kept.erase(victim);
    }
    m_kept.emplace(index, std::move(picture));
    m_keptBytes += bytes;
    return true;
}

bool DisplayFrameCache::wantedLocked(int index) const {
    return index >= 0 && index < m_frameCount && !m_kept.count(index) && !m_failed.count(index) &&
           !m_refused.count(index);
}

int DisplayFrameCache::nextJobLocked() {
    if (m_keptWidth == 0 || m_frameCount == 0)
        return -1;
    // The frame the user waits for, and the frames decoding forward to it
    // passes through.
    if (wantedLocked(m_position)) {
        if (m_lastDecoded >= 0 && m_position > m_lastDecoded && m_position - m_lastDecoded <= kDisplayPassFrames)
            for (int index = m_lastDecoded + 1; index < m_position; ++index)
                if (wantedLocked(index) && canKeepLocked(index))
                    return index;
        return m_position;
    }
    // Ahead in the direction of travel, as far as the budget lets it stay.
    for (int k = 1; k <= kDisplayAheadFrames; ++k) {
        const int index = m_position + m_direction * k;
        if (index < 0 || index >= m_frameCount)
            break;
        if (!wantedLocked(index))
            continue;
        if (!canKeepLocked(index))
            break;
        return index;
    }
    for (int index : m_prefetch)
        if (wantedLocked(index) && canKeepLocked(index))
            return index;
    // The rest of the clip, nearest first, while it fits without dropping.
    // Within this radius of the position lies a wanted frame if any does.
    if (m_keptBytes + pictureCost(m_keptWidth, m_keptHeight) > m_budget)
        return -1;
    const size_t radius = std::min<size_t>(m_kept.size() + m_failed.size() + m_refused.size() + 1,
                                           static_cast<size_t>(m_frameCount));
    for (int k = 1; k <= static_cast<int>(radius); ++k) {
        const int ahead = m_position + m_direction * k;
        const int behind = m_position - m_direction * k;
        const bool aheadIn = ahead >= 0 && ahead < m_frameCount;
        const bool behindIn = behind >= 0 && behind < m_frameCount;
        if (!aheadIn && !behindIn)
            break;
        if (aheadIn && wantedLocked(ahead))
            return ahead;
        if (behindIn && wantedLocked(behind))
            return behind;
    }
    return -1;
}

void DisplayFrameCache::run() {
    std::unique_ptr<MovieReader> reader = m_openWorkerReader();
    if (reader)
        reader->setDecodedPictureBytes(kDisplayWorkerPictureBytes);
    {
        std::lock_guard lock(m_mutex);
        m_workerUp = reader != nullptr;
    }
    if (!reader)
        return;
    ImageBuffer decoded;
    std::unique_lock lock(m_mutex);
    for (;;) {
        int job = -1;
        m_wake.wait(lock, [&] { return m_stop || (job = nextJobLocked()) >= 0; });
        if (m_stop)
            break;
        const int generation = m_sizeGeneration;
        const int width = m_keptWidth;
        const int height = m_keptHeight;
        lock.unlock();
        if (decoded.width != width || decoded.height != height)
            decoded.allocate(width, height);
        Picture picture = decodeOn(*reader, job, decoded) ? pack(decoded) : nullptr;
        lock.lock();
        m_lastDecoded = job;
        if (generation != m_sizeGeneration)
            continue;
        if (!picture)
            m_failed.insert(job);
        else if (!keepLocked(job, std::move(picture), width, height))
            m_refused.insert(job);
        if (job != m_position)
            continue;
        // The user waits for this one: tell them, outside the lock.
        lock.unlock();
        {
            std::lock_guard tell(m_callbackMutex);
            if (m_ready)
                m_ready();
        }
        lock.lock();
    }
}

}  // namespace veltro
