// Block differences and sprite sheets. The change mask works on one 32-bit
// sum per block, filled in a single pass over the pixels, and one more array
// of the same size for the 3 x 3 maximum; sheets grow only by doubling, so a
// sheet is copied at most a logarithmic number of times.
#include "encode/difference_encoder.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace veltro {

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

// Sum of |dR| + |dG| + |dB| of two pixels.
inline int32_t pixelDifference(uint32_t a, uint32_t b) {
    return std::abs(int32_t((a >> 16) & 0xFF) - int32_t((b >> 16) & 0xFF)) +
           std::abs(int32_t((a >> 8) & 0xFF) - int32_t((b >> 8) & 0xFF)) +
           std::abs(int32_t(a & 0xFF) - int32_t(b & 0xFF));
}

// Sum of |dR| + |dG| + |dB| over count (at most 8) pixels of two rows. A
// full block row is 32 bytes: with SSE2 two sum-of-absolute-difference
// instructions do it, alpha bytes masked out first.
inline int32_t blockRowDifference(const uint32_t* a, const uint32_t* b, int count) {
#if defined(__SSE2__)
    if (count == kBlockSize) {
        const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
        const __m128i a0 = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)), rgb);
        const __m128i a1 = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 4)), rgb);
        const __m128i b0 = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), rgb);
        const __m128i b1 = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 4)), rgb);
        const __m128i sum = _mm_add_epi64(_mm_sad_epu8(a0, b0), _mm_sad_epu8(a1, b1));
        return _mm_cvtsi128_si32(sum) + _mm_cvtsi128_si32(_mm_srli_si128(sum, 8));
    }
#endif
    int32_t sum = 0;
    for (int i = 0; i < count; ++i)
        sum += pixelDifference(a[i], b[i]);
    return sum;
}

inline int32_t pixelBrightness(uint32_t p) {
    return int32_t((p >> 16) & 0xFF) + int32_t((p >> 8) & 0xFF) + int32_t(p & 0xFF);
}

// The sheet with twice the rows: old content at the top, new rows white.
ImagePtr doubledSheet(const ImageBuffer& sheet) {
    auto grown = std::make_unique<ImageBuffer>(sheet.width, std::max(kBlockSize, sheet.height * 2));
    std::copy(sheet.pixels.begin(), sheet.pixels.end(), grown->pixels.begin());
    return grown;
}

// The top rows of an image (all of them when it has fewer).
ImagePtr topRows(const ImageBuffer& image, int rows) {
    rows = std::min(rows, image.height);
    auto result = std::make_unique<ImageBuffer>(image.width, rows);
    std::copy(image.pixels.begin(), image.pixels.begin() + ptrdiff_t(image.width) * rows,
              result->pixels.begin());
    return result;
}

// Copies the 8 x 8 cell at (sx, sy) of source to (dx, dy) of target, clipped
// by both images.
void copyCell(const ImageBuffer& source, int sx, int sy, ImageBuffer& target, int dx, int dy) {
    const int w = std::min({kBlockSize, source.width - sx, target.width - dx});
    const int h = std::min({kBlockSize, source.height - sy, target.height - dy});
    for (int y = 0; y < h; ++y) {
        const uint32_t* from = source.row(sy + y) + sx;
        std::copy(from, from + w, target.row(dy + y) + dx);
    }
}

}  // namespace

std::vector<int32_t> blockDifferenceSums(const ImageBuffer& frame, const ImageBuffer& reference) {
    const int width = frame.width, height = frame.height;
    const int across = blocksAcross(width), down = blocksAcross(height);
    std::vector<int32_t> sums(size_t(across) * down, 0);
    for (int y = 0; y < height; ++y) {
        const uint32_t* f = frame.row(y);
        const uint32_t* r = reference.row(y);
        int32_t* rowSums = &sums[size_t(y / kBlockSize) * across];
        for (int bx = 0; bx < across; ++bx) {
            const int x0 = bx * kBlockSize;
            rowSums[bx] += blockRowDifference(f + x0, r + x0, std::min(kBlockSize, width - x0));
        }
    }
    return sums;
}

std::vector<uint8_t> changedBlocksFromSums(const std::vector<int32_t>& sums, int width, int height, int quality) {
    const int across = blocksAcross(width), down = blocksAcross(height);
    if (across <= 0 || down <= 0 || sums.size() != size_t(across) * down)
        return std::vector<uint8_t>(sums.size(), 0);  // sums of another grid: nothing to flag
    // A block counts when it or one of its up to eight neighbours reaches the
    // threshold: 96 x (100 - quality), 0 at quality 100.
    const int32_t threshold = (100 - std::clamp(quality, 0, 100)) * 9600 / 100;
    // The 3 x 3 maximum taken in two passes: across each row, then down.
    std::vector<int32_t> rowMax(sums.size());
    for (int by = 0; by < down; ++by) {
        const int32_t* in = &sums[size_t(by) * across];
        int32_t* out = &rowMax[size_t(by) * across];
        for (int bx = 0; bx < across; ++bx) {
            int32_t best = in[bx];
            if (bx > 0)
                best = std::max(best, in[bx - 1]);
            if (bx + 1 < across)
                best = std::max(best, in[bx + 1]);
            out[bx] = best;
        }
    }
    std::vector<uint8_t> changed(sums.size(), 0);
    for (int by = 0; by < down; ++by) {
        const int32_t* above = &rowMax[size_t(std::max(0, by - 1)) * across];
        const int32_t* here = &rowMax[size_t(by) * across];
        const int32_t* below = &rowMax[size_t(std::min(down - 1, by + 1)) * across];
        uint8_t* out = &changed[size_t(by) * across];
        for (int bx = 0; bx < across; ++bx)
            out[bx] = std::max({above[bx], here[bx], below[bx]}) >= threshold;
    }
    return changed;
}

std::vector<uint8_t> changedBlocks(const ImageBuffer& frame, const ImageBuffer& reference, int quality) {
    return changedBlocksFromSums(blockDifferenceSums(frame, reference), frame.width, frame.height, quality);
}

ImagePtr changeMask(const ImageBuffer& frame, const ImageBuffer* reference, int quality) {
    if (!reference || reference->width != frame.width || reference->height != frame.height ||
        frame.empty() || reference->pixelCount() != frame.pixelCount())
        return copyImage(frame);

    const std::vector<uint8_t> changed = changedBlocks(frame, *reference, quality);
    const int width = frame.width, height = frame.height, across = blocksAcross(width);
    auto mask = std::make_unique<ImageBuffer>(width, height);
    mask->hasAlpha = 1;
    for (int y = 0; y < height; ++y) {
        const uint32_t* f = frame.row(y);
        uint32_t* m = mask->row(y);
        const uint8_t* rowFlags = &changed[size_t(y / kBlockSize) * across];
        for (int bx = 0; bx < across; ++bx) {
            const int x0 = bx * kBlockSize, x1 = std::min(width, x0 + kBlockSize);
            if (rowFlags[bx]) {
                for (int x = x0; x < x1; ++x)
                    m[x] = f[x] | kOpaque;
            } else {
                std::fill(m + x0, m + x1, 0u);
            }
        }
    }
    return mask;
}

void overlayChangedBlocks(ImageBuffer& reference, const ImageBuffer& frame, const std::vector<uint8_t>& changed) {
    const int width = std::min(frame.width, reference.width), height = std::min(frame.height, reference.height);
    const int across = blocksAcross(frame.width);
    for (int y = 0; y < height; ++y) {
        const uint32_t* f = frame.row(y);
        uint32_t* r = reference.row(y);
        const uint8_t* rowFlags = &changed[size_t(y / kBlockSize) * across];
        for (int bx = 0; bx * kBlockSize < width; ++bx) {
            if (!rowFlags[bx])
                continue;
            const int x0 = bx * kBlockSize, x1 = std::min(width, x0 + kBlockSize);
            for (int x = x0; x < x1; ++x)
                r[x] = f[x] | kOpaque;
        }
    }
}

ImagePtr newDifferenceSheet(int height) {
    return std::make_unique<ImageBuffer>(kDiffSheetWidth, height);
}

ImagePtr newKeySheet(int frameWidth, int frameHeight) {
    return std::make_unique<ImageBuffer>(blocksAcross(frameWidth) * kBlockSize,
                                         blocksAcross(frameHeight) * kBlockSize);
}

namespace {

// The packing loop shared by both ways of telling set blocks: every block is
// visited row by row; before each one the next free cell is made to exist,
// so a sheet that has just become full doubles even at an empty block.
template <typename IsSet, typename Pixel>
ImagePtr packEach(ImagePtr sheet, SpriteRecords& records, const ImageBuffer& image, int value, IsSet isSet,
                  Pixel pixel) {
    const int cellsPerRow = sheet->width / kBlockSize;
    if (cellsPerRow <= 0 || image.empty())
        return sheet;
    const int across = blocksAcross(image.width), down = blocksAcross(image.height);
    for (int by = 0; by < down; ++by) {
        for (int bx = 0; bx < across; ++bx) {
            const int cell = static_cast<int>(records.size());
            const int cellX = (cell % cellsPerRow) * kBlockSize;
            const int cellY = (cell / cellsPerRow) * kBlockSize;
            while (cellY >= sheet->height)
                sheet = doubledSheet(*sheet);

            const int block = by * across + bx;
            const int x0 = bx * kBlockSize, y0 = by * kBlockSize;
            if (!isSet(block, x0, y0))
                continue;
            const int w = std::min(kBlockSize, image.width - x0);
            const int h = std::min(kBlockSize, image.height - y0);
            int32_t brightness = 0;
            for (int y = 0; y < h; ++y) {
                const uint32_t* from = image.row(y0 + y) + x0;
                uint32_t* to = sheet->row(cellY + y) + cellX;
                for (int x = 0; x < w; ++x) {
                    to[x] = pixel(from[x]);
                    brightness += pixelBrightness(from[x]);
                }
            }
            records.push_back({brightness, value, block, cell});
        }
    }
    return sheet;
}

}  // namespace

ImagePtr packBlocks(ImagePtr sheet, SpriteRecords& records, const ImageBuffer& image, int value) {
    // Masks are set or empty block by block, so the top-left pixel tells.
    return packEach(
        std::move(sheet), records, image, value,
        [&image](int, int x0, int y0) { return isSetPixel(image.at(x0, y0)); }, [](uint32_t p) { return p; });
}

ImagePtr packChangedBlocks(ImagePtr sheet, SpriteRecords& records, const ImageBuffer& frame,
                           const std::vector<uint8_t>& changed, int value) {
    return packEach(
        std::move(sheet), records, frame, value, [&changed](int block, int, int) { return changed[block] != 0; },
        [](uint32_t p) { return p | kOpaque; });
}

namespace {

// The mean colour of a cell as JPEG codes it (luminance and both colour
// differences), times 64.
struct CellColour {
    int32_t y = 0, cb = 0, cr = 0;
};

CellColour cellColour(const ImageBuffer& sheet, int x0, int y0) {
    int32_t r = 0, g = 0, b = 0;
    for (int y = y0; y < std::min(y0 + kBlockSize, sheet.height); ++y)
        for (int x = x0; x < std::min(x0 + kBlockSize, sheet.width); ++x) {
            const uint32_t p = sheet.at(x, y);
            r += int32_t((p >> 16) & 0xFF);
            g += int32_t((p >> 8) & 0xFF);
            b += int32_t(p & 0xFF);
        }
    // The JFIF conversion in integers scaled by 1000.
    return {(299 * r + 587 * g + 114 * b) / 1000, (-169 * r - 331 * g + 500 * b) / 1000,
            (500 * r - 419 * g - 81 * b) / 1000};
}

int32_t colourDistance(const CellColour& a, const CellColour& b) {
    return std::abs(a.y - b.y) + std::abs(a.cb - b.cb) + std::abs(a.cr - b.cr);
}

// Reorders records (already in brightness order) into the colour chain. The
// records not yet taken form a list in brightness order, so each step looks
// at no more than the next kChainWindow of them.
void chainByColour(const ImageBuffer& sheet, SpriteRecords& records) {
    const int cellsPerRow = sheet.width / kBlockSize;
    const size_t n = records.size();
    if (n < 3 || cellsPerRow <= 0)
        return;
    std::vector<CellColour> colours(n);
    for (size_t i = 0; i < n; ++i)
        colours[i] = cellColour(sheet, (records[i].cell % cellsPerRow) * kBlockSize,
                                (records[i].cell / cellsPerRow) * kBlockSize);
    // Records 1 .. n - 1 as a doubly linked list in brightness order, n
    // standing for none at either end; record 0, the brightest, starts the
    // chain.
    std::vector<size_t> next(n), previous(n);
    for (size_t i = 1; i < n; ++i) {
        next[i] = i + 1;
        previous[i] = i == 1 ? n : i - 1;
    }
    size_t head = 1;
    auto take = [&](size_t i) {
        if (previous[i] == n)
            head = next[i];
        else
            next[previous[i]] = next[i];
        if (next[i] < n)
            previous[next[i]] = previous[i];
    };
    SpriteRecords chained;
    chained.reserve(n);
    chained.push_back(records[0]);
    size_t current = 0;
    for (size_t k = 1; k < n; ++k) {
        size_t best = head;
        int32_t bestDistance = INT32_MAX;
        int seen = 0;
        for (size_t j = head; j < n && seen < kChainWindow; j = next[j], ++seen) {
            const int32_t d = colourDistance(colours[j], colours[current]);
            if (d < bestDistance) {
                bestDistance = d;
                best = j;
                if (d == 0)
                    break;  // nothing is nearer than the same colour
            }
        }
        take(best);
        current = best;
        chained.push_back(records[best]);
    }
    records = std::move(chained);
}

}  // namespace

ImagePtr sortSheet(const ImageBuffer& sheet, SpriteRecords& records, SheetOrder order) {
    std::stable_sort(records.begin(), records.end(),
                     [](const SpriteRecord& a, const SpriteRecord& b) { return a.brightness > b.brightness; });
    if (order == SheetOrder::ColourChain)
        chainByColour(sheet, records);
    auto sorted = std::make_unique<ImageBuffer>(sheet.width, sheet.height);
    sorted->hasAlpha = sheet.hasAlpha;
    const int cellsPerRow = sheet.width / kBlockSize;
    if (cellsPerRow <= 0)
        return sorted;
    for (size_t i = 0; i < records.size(); ++i) {
        const int from = records[i].cell, to = static_cast<int>(i);
        copyCell(sheet, (from % cellsPerRow) * kBlockSize, (from / cellsPerRow) * kBlockSize, *sorted,
                 (to % cellsPerRow) * kBlockSize, (to / cellsPerRow) * kBlockSize);
        records[i].cell = to;
    }
    return sorted;
}

namespace {

// True when the sprite count and every (value, block) fit the list.
bool fitsList(const SpriteRecords& records, bool withValues) {
    if (records.size() > size_t(BlockNumberList::kMaxValue))
        return false;
    for (const SpriteRecord& r : records) {
        if (r.block < 0 || r.block > BlockNumberList::kMaxValue)
            return false;
        if (withValues && (r.value < 0 || r.value > BlockNumberList::kMaxValue))
            return false;
    }
    return true;
}

}  // namespace

bool completeSheet(const ImageBuffer& sheet, SpriteRecords& records, const std::string& path,
                   ImageFormat& jpeg, BlockNumberList& list, SheetOrder order) {
    if (records.empty()) {
        list.push(0);
        ImageBuffer blank(1, 1);
        return jpeg.save(path, blank);
    }
    if (!fitsList(records, true))
        return false;
    const int cellsPerRow = std::max(1, sheet.width / kBlockSize);
    const int rows = static_cast<int>((records.size() + cellsPerRow - 1) / cellsPerRow) * kBlockSize;
    ImagePtr cropped = topRows(sheet, rows);
    ImagePtr sorted = sortSheet(*cropped, records, order);
    list.push(static_cast<int>(records.size()));
    for (const SpriteRecord& r : records) {
        list.push(r.value);
        list.push(r.block);
    }
    return jpeg.save(path, *sorted);
}

ImagePtr sortedKeySheet(const ImageBuffer& frame, BlockNumberList& list, SheetOrder order) {
    SpriteRecords records;
    ImagePtr sheet = packBlocks(newKeySheet(frame.width, frame.height), records, frame, 0);
    if (!fitsList(records, false))
        return nullptr;
    ImagePtr sorted = sortSheet(*sheet, records, order);
    list.push(static_cast<int>(records.size()));
    for (const SpriteRecord& r : records)
        list.push(r.block);
    return sorted;
}

}  // namespace veltro
