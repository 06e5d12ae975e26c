// The adaptive key choice. The trial builds the sheet the frame's sprites
// would fill on their own (cropped and sorted as a completed sheet is) and the
// key frame, encodes both in memory with the writer's JPEG settings and
// compares the bytes; nothing is written.
#include "encode/key_choice.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "encode/difference_encoder.h"
#include "image/jpeg_format.h"

namespace veltro {

const KeyChoiceRule& adaptiveKeyRule() {
    static const KeyChoiceRule rule;
    return rule;
}

int choiceQuality(int diffQuality, const KeyChoiceRule& rule) {
    // The threshold is 96 x (100 - quality): a part of it is the threshold of
    // 100 - part x (100 - quality).
    const int q = std::clamp(diffQuality, 0, 100);
    const double part = std::clamp(rule.thresholdPart, 0.0, 1.0);
    const int finer = 100 - static_cast<int>(std::lround(part * (100 - q)));
    return std::max(q, std::min(finer, rule.highestChoiceQuality));
}

KeyChoice choiceByChangedShare(int64_t changed, int64_t total, const KeyChoiceRule& rule) {
    if (total <= 0 || changed <= 0)
        return KeyChoice::Difference;
    // Compared as changed / total against the bounds without rounding trouble
    // at the bounds themselves: changed >= share * total.
    const double share = double(std::min(changed, total)) / double(total);
    if (share >= rule.keyShareHigh)
        return KeyChoice::Key;
    if (share < rule.keyShareLow)
        return KeyChoice::Difference;
    return KeyChoice::Trial;
}

bool keyCostsLess(int64_t keyBytes, int64_t sheetBytes, int64_t sprites, const KeyChoiceRule& rule) {
    return double(keyBytes) <= double(sheetBytes) + double(sprites) * rule.indexBytesPerSprite;
}

namespace {

// The frame's changed blocks alone in a difference sheet, cropped to the rows
// they fill and ordered as the writer orders sheets under adaptive keys.
ImagePtr trialSheet(const ImageBuffer& frame, const std::vector<uint8_t>& changed, int64_t& sprites) {
    SpriteRecords records;
    ImagePtr sheet = packChangedBlocks(newDifferenceSheet(kBlockSize), records, frame, changed, 0);
    sprites = static_cast<int64_t>(records.size());
    const int cellsPerRow = kDiffSheetWidth / kBlockSize;
    const int rows = std::min(sheet->height, int((records.size() + cellsPerRow - 1) / cellsPerRow) * kBlockSize);
    auto cropped = std::make_unique<ImageBuffer>(sheet->width, std::max(rows, kBlockSize));
    std::copy(sheet->pixels.begin(), sheet->pixels.begin() + ptrdiff_t(sheet->width) * rows,
              cropped->pixels.begin());
    return sortSheet(*cropped, records, SheetOrder::ColourChain);
}

}  // namespace

bool AdaptiveKeyChooser::storeAsKeyFrame(const ImageBuffer& frame, const std::vector<uint8_t>& changed,
                                         JpegFormat& jpeg) {
    const int64_t total = static_cast<int64_t>(changed.size());
    const int64_t count = std::count_if(changed.begin(), changed.end(), [](uint8_t c) { return c != 0; });
    KeyChoiceRule band = m_rule;
    band.keyShareLow = m_low;
    band.keyShareHigh = m_high;
    switch (choiceByChangedShare(count, total, band)) {
    case KeyChoice::Difference:
        ++m_counts.byShareDifference;
        return false;
    case KeyChoice::Key:
        ++m_counts.byShareKey;
        return true;
    case KeyChoice::Trial:
        break;
    }
    ++m_counts.trials;
    int64_t sprites = 0;
    ImagePtr sheet = trialSheet(frame, changed, sprites);
    std::string keyBytes, sheetBytes;
    if (!jpeg.encodeBytes(frame, keyBytes) || !jpeg.encodeBytes(*sheet, sheetBytes))
        return false;
    const bool key = keyCostsLess(static_cast<int64_t>(keyBytes.size()), static_cast<int64_t>(sheetBytes.size()),
                                  sprites, m_rule);
    const double share = double(count) / double(total);
    if (key) {
        ++m_counts.trialKeys;
        m_high = std::max(m_low, std::min(m_high, share - kLearnedMargin));
    } else {
        m_low = std::min(m_high, std::max(m_low, share + kLearnedMargin));
    }
    return key;
}

}  // namespace veltro
