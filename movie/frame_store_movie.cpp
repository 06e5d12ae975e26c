// Opening rebuilds everything up front: the entries' images are loaded, the
// block-number list is spread into per-entry sprite maps, the maps are
// propagated so that each difference entry knows every block changed since
// its key entry, and sorted key sheets are unscrambled into whole frames.
// frameAt then only copies a base frame and paints sprites.
//
// Memory: the frame, every entry's maps and rebuilt frames and the block
// numbers are counted before anything is allocated, loaded images as they
// arrive; the reader refuses to open beyond its limit (1 GiB by default).
// Each single image is bounded by the image codecs. Key frames stored as
// JPEGs of the store's size are checked by decoding them once on opening,
// then kept as their file bytes (a tenth of the pixels or less) and decoded
// again when shown, a few kept decoded: a long store of key frames so costs
// its size on disk, not a full picture per entry. The bytes are read on
// opening, as before, so a store rewritten in place (publishing a page that
// was opened for editing) never mixes into what this reader shows.
#include "movie/frame_store_movie.h"

#include <algorithm>

#include "framestore/block_layout.h"
#include "image/file_utils.h"
#include "image/image_format.h"
#include "image/jpeg_format.h"

namespace veltro {

namespace {

constexpr int kMaxShrinkFactor = 9;

size_t imageBytes(const ImageBuffer& image) { return image.pixelCount() * sizeof(uint32_t); }

bool isAbsolute(const std::string& name) { return !name.empty() && name[0] == '/'; }

}  // namespace

MovieReaderPtr FrameStoreMovieFormat::createReader() const {
    return std::make_unique<FrameStoreMovieReader>();
}

bool FrameStoreMovieReader::reserve(size_t bytes) {
    if (bytes > m_memoryLimit || m_committed > m_memoryLimit - bytes)
        return false;
    m_committed += bytes;
    return true;
}

bool FrameStoreMovieReader::open(const std::string& path) {
    FrameStoreIndex index;
    if (!readFrameStoreIndex(path, index))
        return false;

    // Each side is bounded by the index format; the picture as a whole by
    // the pixel cap every decoder keeps.
    if (int64_t{index.width} * index.height > kMaxImagePixels)
        return false;
    m_width = index.width;
    m_height = index.height;
    m_blocksPerRow = blocksAcross(m_width);
    m_blockRows = blocksAcross(m_height);
    m_blockCount = m_blocksPerRow * m_blockRows;

    // What the header and the entry lines commit us to, before any of it exists.
    const size_t frameBytes = size_t(m_width) * size_t(m_height) * sizeof(uint32_t);
    const size_t mapBytes = size_t(m_blockCount) * 2 * sizeof(uint16_t);
    if (!reserve(frameBytes) || !reserve(size_t(index.blocks.size()) * sizeof(int32_t)))
        return false;
    for (const IndexEntry& line : index.entries) {
        if (line.kind != EntryKind::Key && !reserve(mapBytes))
            return false;
        if (line.kind == EntryKind::SortedKey && !reserve(frameBytes))
            return false;
    }

    frame = std::make_unique<ImageBuffer>(m_width, m_height);
    frameCount = index.positions;
    frameRate = 0.0;

    m_entries.resize(index.entries.size());
    for (size_t i = 0; i < m_entries.size(); ++i) {
        m_entries[i].kind = index.entries[i].kind;
        m_entries[i].position = index.entries[i].position;
        if (m_entries[i].kind != EntryKind::Key) {
            m_entries[i].sprites.assign(m_blockCount, 0);
            m_entries[i].sources.assign(m_blockCount, 0);
        }
    }
    if (!loadEntryImages(index, directoryOf(path)))
        return false;
    applyBlockNumbers(index.blocks);
    propagate();
    rebuildSortedKeys();
    return true;
}

bool FrameStoreMovieReader::loadEntryImages(const FrameStoreIndex& index, const std::string& directory) {
    int base = 0;
    size_t keptAsJpeg = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        Entry& entry = m_entries[i];
        if (entry.kind == EntryKind::Difference || entry.kind == EntryKind::DifferenceSheet)
            entry.base = base;
        if (entry.kind == EntryKind::Key || entry.kind == EntryKind::SortedKey)
            base = static_cast<int>(i);
        if (entry.kind == EntryKind::Difference)
            continue;

        const std::string& name = index.entries[i].name;
        const std::string path = isAbsolute(name) ? name : joinPath(directory, name);
        if (entry.kind == EntryKind::Key && dynamic_cast<JpegFormat*>(findImageFormat(path))) {
            std::string bytes;
            if (!readWholeFile(path, kMaxImageFileBytes, bytes))
                return false;
            ImagePtr image = decodeJpeg(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            if (!image)
                return false;
            if (image->width == m_width && image->height == m_height) {
                if (!reserve(bytes.size()))
                    return false;
                entry.jpeg = std::move(bytes);
                ++keptAsJpeg;
                continue;
            }
        }
        ImagePtr image = loadImage(path);
        if (!image || !reserve(imageBytes(*image)))
            return false;
        // Wide pictures (frame lists of photos) are shrunk like the frame list
        // header says. Pictures no wider than the header's frames are the
        // frames themselves (a store written wider than 720 pixels) and sorted
        // key sheets are cells to unscramble: shrinking either would only
        // break the rebuild, so they stay as they are.
        if (image->width > kMaxImageWidth && image->width > m_width && entry.kind != EntryKind::SortedKey) {
            for (int k = 2; k <= kMaxShrinkFactor; ++k) {
                if (image->width / k > kMaxImageWidth)
                    continue;
                ImagePtr shrunk = scaleAverage(*image, image->width / k, image->height / k);
                m_committed -= imageBytes(*image);
                if (!reserve(imageBytes(*shrunk)))
                    return false;
                image = std::move(shrunk);
                break;
            }
        }
        entry.image = std::move(image);
    }
    const size_t frameBytes = size_t(m_width) * size_t(m_height) * sizeof(uint32_t);
    return reserve(std::min(keptAsJpeg, kDecodedKeyFrames) * frameBytes);
}

const ImageBuffer* FrameStoreMovieReader::entryImage(size_t i) {
    Entry& entry = m_entries[i];
    if (entry.image || entry.jpeg.empty())
        return entry.image.get();
    for (size_t k = 0; k < m_decodedKeys.size(); ++k) {
        if (m_decodedKeys[k].entry != i)
            continue;
        std::rotate(m_decodedKeys.begin() + std::ptrdiff_t(k), m_decodedKeys.begin() + std::ptrdiff_t(k) + 1,
                    m_decodedKeys.end());
        return m_decodedKeys.back().image.get();
    }
    ImagePtr image = decodeJpeg(reinterpret_cast<const uint8_t*>(entry.jpeg.data()), entry.jpeg.size());
    if (!image)
        return nullptr;
    if (m_decodedKeys.size() >= kDecodedKeyFrames)
        m_decodedKeys.erase(m_decodedKeys.begin());
    m_decodedKeys.push_back({i, std::move(image)});
    return m_decodedKeys.back().image.get();
}

void FrameStoreMovieReader::applyBlockNumbers(BlockNumberList& blocks) {
    blocks.rewind();
    const int count = static_cast<int>(m_entries.size());
    for (int i = 0; i < count; ++i) {
        Entry& entry = m_entries[i];
        if (entry.kind == EntryKind::SortedKey) {
            const int m = blocks.next();
            if (m < 0)
                return;
            for (int k = 0; k < m; ++k) {
                const int block = blocks.next();
                if (block < 0)
                    return;
                if (block < m_blockCount)
                    entry.sprites[block] = static_cast<uint16_t>(k + 1);
            }
        } else if (entry.kind == EntryKind::DifferenceSheet) {
            const int m = blocks.next();
            if (m < 0)
                return;
            for (int k = 0; k < m; ++k) {
                const int target = blocks.next();
                const int block = blocks.next();
                if (target < 0 || block < 0)
                    return;
                if (target < count && block < m_blockCount && !m_entries[target].sprites.empty())
                    m_entries[target].sprites[block] = static_cast<uint16_t>(k + 1);
            }
        }
    }
}

void FrameStoreMovieReader::propagate() {
    int latestSheet = 0;
    for (size_t i = 1; i < m_entries.size(); ++i) {
        Entry& entry = m_entries[i];
        if (entry.kind == EntryKind::Key)
            continue;
        if (entry.kind == EntryKind::DifferenceSheet)
            latestSheet = static_cast<int>(i);
        const Entry& previous = m_entries[i - 1];
        const bool inherit = previous.kind != EntryKind::SortedKey && !previous.sprites.empty();
        for (int b = 0; b < m_blockCount; ++b) {
            if (entry.sprites[b]) {
                entry.sources[b] = static_cast<uint16_t>(latestSheet);
            } else if (inherit) {
                entry.sprites[b] = previous.sprites[b];
                entry.sources[b] = previous.sources[b];
            }
        }
    }
}

void FrameStoreMovieReader::rebuildSortedKeys() {
    for (Entry& entry : m_entries) {
        if (entry.kind != EntryKind::SortedKey)
            continue;
        paintSprites(entry);
        m_committed -= imageBytes(*entry.image);  // the rebuilt frame was reserved on opening
        entry.image = copyImage(*frame);
    }
}

void FrameStoreMovieReader::paintSprites(const Entry& entry) {
    for (int b = 0; b < m_blockCount; ++b) {
        const int k = entry.sprites[b];
        if (k == 0)
            continue;
        const ImageBuffer* sheet =
            entry.kind == EntryKind::SortedKey ? entry.image.get() : entryImage(entry.sources[b]);
        if (!sheet || sheet->empty())
            continue;
        const int cellsPerRow = blocksAcross(sheet->width);
        const int sx = ((k - 1) % cellsPerRow) * kBlockSize;
        const int sy = ((k - 1) / cellsPerRow) * kBlockSize;
        const int dx = (b % m_blocksPerRow) * kBlockSize;
        const int dy = (b / m_blocksPerRow) * kBlockSize;
        const int w = std::min({kBlockSize, sheet->width - sx, m_width - dx});
        const int h = std::min({kBlockSize, sheet->height - sy, m_height - dy});
        for (int y = 0; y < h; ++y) {
            const uint32_t* from = sheet->row(sy + y) + sx;
            std::copy(from, from + w, frame->row(dy + y) + dx);
        }
    }
}

void FrameStoreMovieReader::copyBase(const Entry& entry) {
    const ImageBuffer* base = entryImage(size_t(entry.base));
    if (base && base->width == m_width && base->height == m_height && !base->empty()) {
        std::copy(base->pixels.begin(), base->pixels.end(), frame->pixels.begin());
    } else if (base && !base->empty()) {
        frame->pixels = resizeCanvas(*base, m_width, m_height)->pixels;
    } else {
        std::fill(frame->pixels.begin(), frame->pixels.end(), 0xFFFFFFFFu);
    }
}

const ImageBuffer* FrameStoreMovieReader::frameAt(int index) {
    if (m_entries.empty())
        return nullptr;
    size_t chosen = m_entries.size() - 1;
    for (size_t i = 1; i < m_entries.size(); ++i) {
        if (m_entries[i].position > index) {
            chosen = i - 1;
            break;
        }
    }
    const Entry& entry = m_entries[chosen];
    if (m_width == 0 || m_height == 0)
        return frame.get();
    if (entry.kind == EntryKind::Key || entry.kind == EntryKind::SortedKey) {
        const ImageBuffer* image = entryImage(chosen);
        if (!image) {
            std::fill(frame->pixels.begin(), frame->pixels.end(), 0xFFFFFFFFu);
            return frame.get();
        }
        if (image->width == m_width && image->height == m_height)
            return image;
        frame->pixels = resizeCanvas(*image, m_width, m_height)->pixels;
        return frame.get();
    }
    copyBase(entry);
    paintSprites(entry);
    return frame.get();
}

}  // namespace veltro
