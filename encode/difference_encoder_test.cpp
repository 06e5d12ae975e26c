#include "encode/difference_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "encode/synthetic_clip.h"
#include "image/jpeg_format.h"

namespace veltro {
namespace {

using synthetic::rgb;

// An image format that keeps what it was asked to save.
class CapturingFormat : public ImageFormat {
public:
    const char* description() const override { return "capture"; }
    const char* pattern() const override { return "*.jpg"; }
    ImagePtr load(const std::string&) override { return nullptr; }
    bool save(const std::string& path, const ImageBuffer& image) override {
        lastPath = path;
        saved = copyImage(image);
        return succeed;
    }
    std::string lastPath;
    ImagePtr saved;
    bool succeed = true;
};

ImageBuffer filled(int w, int h, uint32_t colour) {
    ImageBuffer image(w, h);
    std::fill(image.pixels.begin(), image.pixels.end(), colour);
    return image;
}

// Which blocks of a mask are set (by their top-left pixel).
std::vector<int> setBlocks(const ImageBuffer& mask) {
    std::vector<int> blocks;
    const int across = blocksAcross(mask.width);
    for (int by = 0; by < blocksAcross(mask.height); ++by)
        for (int bx = 0; bx < across; ++bx)
            if (isSetPixel(mask.at(bx * 8, by * 8)))
                blocks.push_back(by * across + bx);
    return blocks;
}

TEST(ChangeMaskTest, IdenticalFramesChangeNothingAndQuality100SendsAll) {
    const ImageBuffer frame = synthetic::texturedBackground(40, 24);
    ImagePtr mask = changeMask(frame, &frame, 75);
    for (uint32_t p : mask->pixels)
        ASSERT_EQ(p, 0u);
    SpriteRecords records;
    ImagePtr sheet = packBlocks(newDifferenceSheet(16), records, *mask, 1);
    EXPECT_TRUE(records.empty());

    ImagePtr all = changeMask(frame, &frame, 100);
    EXPECT_EQ(setBlocks(*all).size(), 15u);
    EXPECT_EQ(all->at(3, 3), frame.at(3, 3) | 0xFF000000u);
}

TEST(ChangeMaskTest, ThresholdAndDilationAtQuality75) {
    // 5 x 5 blocks; four black pixels turn white in the centre block.
    const ImageBuffer reference = filled(40, 40, rgb(0, 0, 0));
    ImageBuffer four = reference;
    for (int i = 0; i < 4; ++i)
        four.at(16 + i, 16) = rgb(255, 255, 255);
    EXPECT_EQ(setBlocks(*changeMask(four, &reference, 75)),
              (std::vector<int>{6, 7, 8, 11, 12, 13, 16, 17, 18}));

    ImageBuffer three = reference;
    for (int i = 0; i < 3; ++i)
        three.at(16 + i, 16) = rgb(255, 255, 255);
    EXPECT_TRUE(setBlocks(*changeMask(three, &reference, 75)).empty());
    // At quality 76 the threshold is 2304 and three pixels (2295) still do not count.
    EXPECT_TRUE(setBlocks(*changeMask(three, &reference, 76)).empty());
    EXPECT_FALSE(setBlocks(*changeMask(three, &reference, 77)).empty());

    // A corner block dilates only into the neighbours that exist.
    ImageBuffer corner = reference;
    for (int i = 0; i < 4; ++i)
        corner.at(i, 0) = rgb(255, 255, 255);
    EXPECT_EQ(setBlocks(*changeMask(corner, &reference, 75)), (std::vector<int>{0, 1, 5, 6}));
}

TEST(ChangeMaskTest, NoReferenceGivesACopy) {
    ImageBuffer frame = synthetic::texturedBackground(17, 9);
    frame.at(0, 0) = 0x00123456u;
    ImagePtr mask = changeMask(frame, nullptr, 75);
    EXPECT_EQ(mask->pixels, frame.pixels);
    const ImageBuffer other(16, 9);
    EXPECT_EQ(changeMask(frame, &other, 75)->pixels, frame.pixels);
}

TEST(ChangeMaskTest, BlockFlagsPackAndOverlayLikeTheMask) {
    synthetic::ClipOptions options;
    options.width = 77;  // clipped edge blocks
    options.height = 45;
    options.frames = 6;
    options.shapes = 3;
    options.speed = 5;
    const std::vector<ImageBuffer> frames = synthetic::movingShapesClip(options);
    for (int quality : {0, 50, 75, 90, 100}) {
        for (size_t f = 1; f < frames.size(); ++f) {
            const ImageBuffer& frame = frames[f];
            const ImageBuffer& reference = frames[f - 1];
            ImagePtr mask = changeMask(frame, &reference, quality);
            const std::vector<uint8_t> changed = changedBlocks(frame, reference, quality);
            std::vector<int> flagged;
            for (size_t b = 0; b < changed.size(); ++b)
                if (changed[b])
                    flagged.push_back(static_cast<int>(b));
            ASSERT_EQ(flagged, setBlocks(*mask)) << quality;

            SpriteRecords fromMask, fromFlags;
            ImagePtr a = packBlocks(newDifferenceSheet(8), fromMask, *mask, 7);
            ImagePtr b = packChangedBlocks(newDifferenceSheet(8), fromFlags, frame, changed, 7);
            ASSERT_EQ(a->pixels, b->pixels);
            ASSERT_EQ(fromMask.size(), fromFlags.size());
            for (size_t i = 0; i < fromMask.size(); ++i) {
                EXPECT_EQ(fromMask[i].brightness, fromFlags[i].brightness);
                EXPECT_EQ(fromMask[i].block, fromFlags[i].block);
            }

            ImageBuffer viaMask = reference, viaFlags = reference;
            overlayOpaque(viaMask, *mask);
            overlayChangedBlocks(viaFlags, frame, changed);
            ASSERT_EQ(viaMask.pixels, viaFlags.pixels);
        }
    }
}

TEST(PackBlocksTest, ClippedEdgeBlocksKeepWhiteInTheirCells) {
    // 20 x 12: 3 x 2 blocks, the right column 4 wide and the bottom row 4 high.
    const ImageBuffer frame = filled(20, 12, rgb(10, 20, 30));
    SpriteRecords records;
    ImagePtr sheet = packBlocks(newDifferenceSheet(16), records, frame, 5);
    ASSERT_EQ(records.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(records[i].block, i);
        EXPECT_EQ(records[i].cell, i);
        EXPECT_EQ(records[i].value, 5);
    }
    EXPECT_EQ(records[0].brightness, 64 * 60);
    EXPECT_EQ(records[2].brightness, 32 * 60);  // 4 x 8 pixels
    EXPECT_EQ(records[5].brightness, 16 * 60);  // 4 x 4 pixels
    // Cell 2 (block 2) covers x 16..23 of the sheet; columns 20..23 stay white.
    EXPECT_EQ(sheet->at(19, 0), rgb(10, 20, 30));
    EXPECT_EQ(sheet->at(20, 0), 0xFFFFFFFFu);
    // Cell 5 (block 5): x 40..47, rows 0..7; only 4 x 4 covered.
    EXPECT_EQ(sheet->at(43, 3), rgb(10, 20, 30));
    EXPECT_EQ(sheet->at(44, 3), 0xFFFFFFFFu);
    EXPECT_EQ(sheet->at(43, 4), 0xFFFFFFFFu);
}

TEST(PackBlocksTest, CellsFillRowsAndTheSheetDoublesWhenFull) {
    const ImageBuffer frame = filled(320, 8, rgb(1, 2, 3));  // 40 blocks in one row
    const ImageBuffer single = filled(8, 8, rgb(200, 100, 50));
    SpriteRecords records;
    ImagePtr sheet = packBlocks(newDifferenceSheet(16), records, frame, 0);
    sheet = packBlocks(std::move(sheet), records, single, 1);
    // The 41st sprite goes to cell 40: x 0, y 8.
    EXPECT_EQ(records.back().cell, 40);
    EXPECT_EQ(sheet->at(0, 8), rgb(200, 100, 50));
    EXPECT_EQ(sheet->height, 16);

    // Fill to 80 sprites (two full rows); the sheet is still 16 rows high.
    ImageBuffer rest = filled(320, 8, rgb(4, 5, 6));
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y)
            rest.at(x, y) = 0;  // 39 set blocks after an empty one
    sheet = packBlocks(std::move(sheet), records, rest, 2);
    ASSERT_EQ(records.size(), 80u);
    EXPECT_EQ(sheet->height, 16);
    // The next block visited doubles the sheet even though it is empty.
    const ImageBuffer empty = filled(8, 8, 0);
    sheet = packBlocks(std::move(sheet), records, empty, 3);
    EXPECT_EQ(records.size(), 80u);
    EXPECT_EQ(sheet->height, 32);
    EXPECT_EQ(sheet->at(0, 16), 0xFFFFFFFFu);
    EXPECT_EQ(sheet->at(0, 0), rgb(1, 2, 3));  // old content kept at the top
    sheet = packBlocks(std::move(sheet), records, single, 4);
    EXPECT_EQ(records.back().cell, 80);
    EXPECT_EQ(sheet->at(0, 16), rgb(200, 100, 50));
}

TEST(SortSheetTest, BrightestFirstWithEveryBlockIntact) {
    ImageBuffer frame = synthetic::texturedBackground(48, 16);
    for (int y = 0; y < 8; ++y)
        for (int x = 16; x < 24; ++x)
            frame.at(x, y) = rgb(255, 255, 255);  // block 2 is the brightest
    SpriteRecords records;
    ImagePtr sheet = packBlocks(newDifferenceSheet(16), records, frame, 0);
    ImagePtr sorted = sortSheet(*sheet, records);
    ASSERT_EQ(records.size(), 12u);
    EXPECT_EQ(records[0].block, 2);
    for (size_t i = 1; i < records.size(); ++i)
        EXPECT_GE(records[i - 1].brightness, records[i].brightness);
    for (size_t i = 0; i < records.size(); ++i) {
        const int bx = records[i].block % 6, by = records[i].block / 6;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(sorted->at(int(i) % 40 * 8 + x, int(i) / 40 * 8 + y), frame.at(bx * 8 + x, by * 8 + y));
    }
}

TEST(SortSheetTest, ColourChainKeepsLikeColoursTogetherWithEveryBlockIntact) {
    // Twelve blocks: red and blue of equal brightness in turn, block 5 white.
    ImageBuffer frame(96, 8);
    for (int b = 0; b < 12; ++b)
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                frame.at(b * 8 + x, y) = b == 5 ? rgb(255, 255, 255) : b % 2 ? rgb(0, x, 200) : rgb(200, x, 0);
    auto colourChanges = [](const SpriteRecords& r) {
        int changes = 0;
        for (size_t i = 2; i < r.size(); ++i)
            changes += (r[i].block % 2) != (r[i - 1].block % 2);
        return changes;
    };
    SpriteRecords byBrightness, byColour;
    ImagePtr sheet = packBlocks(newDifferenceSheet(16), byBrightness, frame, 0);
    packBlocks(newDifferenceSheet(16), byColour, frame, 0);
    sortSheet(*sheet, byBrightness);
    ImagePtr chained = sortSheet(*sheet, byColour, SheetOrder::ColourChain);
    ASSERT_EQ(byColour.size(), 12u);
    EXPECT_EQ(byColour[0].block, 5);  // the brightest still starts
    EXPECT_EQ(colourChanges(byBrightness), 9);  // brightness alone keeps them interleaved
    EXPECT_EQ(colourChanges(byColour), 1);
    std::vector<int> blocks;
    for (size_t i = 0; i < byColour.size(); ++i) {
        blocks.push_back(byColour[i].block);
        EXPECT_EQ(byColour[i].cell, int(i));
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(chained->at(int(i) * 8 + x, y), frame.at(byColour[i].block * 8 + x, y));
    }
    std::sort(blocks.begin(), blocks.end());
    for (int b = 0; b < 12; ++b)
        EXPECT_EQ(blocks[size_t(b)], b);
}

TEST(SortSheetTest, ColourChainMakesSheetsOfScatteredBlocksSmaller) {
    // Blocks of a busy picture in scrambled order, more than one chain window.
    synthetic::ClipOptions options;
    options.frames = 1;
    options.shapes = 12;
    options.noise = 2;
    const ImageBuffer frame = synthetic::movingShapesClip(options).front();
    std::vector<uint8_t> changed(size_t(blocksAcross(320) * blocksAcross(240)), 0);
    synthetic::Random random(9);
    for (uint8_t& c : changed)
        c = random.range(0, 9) < 6;
    SpriteRecords records;
    ImagePtr sheet = packChangedBlocks(newDifferenceSheet(16), records, frame, changed, 0);
    ASSERT_GT(records.size(), size_t(kChainWindow) * 2);
    SpriteRecords chainRecords = records;
    JpegFormat jpeg;
    std::string brightness, chain;
    ASSERT_TRUE(jpeg.encodeBytes(*sortSheet(*sheet, records), brightness));
    ASSERT_TRUE(jpeg.encodeBytes(*sortSheet(*sheet, chainRecords, SheetOrder::ColourChain), chain));
    EXPECT_LT(double(chain.size()), 0.97 * double(brightness.size()));
    // The same sprites, each once.
    auto blocksOf = [](SpriteRecords r) {
        std::vector<int> b;
        for (const SpriteRecord& s : r)
            b.push_back(s.block);
        std::sort(b.begin(), b.end());
        return b;
    };
    EXPECT_EQ(blocksOf(chainRecords), blocksOf(records));
}

TEST(CompleteSheetTest, CropsSortsSavesAndListsTheSprites) {
    SpriteRecords records;
    ImagePtr sheet = packBlocks(newDifferenceSheet(16), records, synthetic::texturedBackground(320, 8), 3);
    sheet = packBlocks(std::move(sheet), records, filled(8, 8, rgb(255, 255, 255)), 4);
    ASSERT_EQ(records.size(), 41u);
    CapturingFormat jpeg;
    BlockNumberList list;
    ASSERT_TRUE(completeSheet(*sheet, records, "out/vd2.jpg", jpeg, list));
    EXPECT_EQ(jpeg.lastPath, "out/vd2.jpg");
    ASSERT_TRUE(jpeg.saved);
    EXPECT_EQ(jpeg.saved->width, 320);
    EXPECT_EQ(jpeg.saved->height, 16);
    EXPECT_EQ(jpeg.saved->at(0, 0), rgb(255, 255, 255));  // the white sprite sorts first
    ASSERT_EQ(list.size(), 1 + 41 * 2);
    EXPECT_EQ(list.next(), 41);
    EXPECT_EQ(list.next(), 4);  // its entry number
    EXPECT_EQ(list.next(), 0);  // and block
    int pairs = 1;
    for (int v; (v = list.next()) >= 0; ++pairs) {
        EXPECT_EQ(v, 3);
        EXPECT_GE(list.next(), 0);
    }
    EXPECT_EQ(pairs, 41);

    jpeg.succeed = false;
    records.clear();
    BlockNumberList none;
    EXPECT_FALSE(completeSheet(*sheet, records, "x.jpg", jpeg, none));
    ASSERT_TRUE(jpeg.saved);
    EXPECT_EQ(jpeg.saved->width, 1);
    EXPECT_EQ(jpeg.saved->height, 1);
    EXPECT_EQ(jpeg.saved->at(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(none.values(), (std::vector<int32_t>{0}));
}

class SortedKeySheetTest : public ::testing::TestWithParam<SheetOrder> {};

TEST_P(SortedKeySheetTest, UnscramblesBackToTheFrame) {
    const ImageBuffer frame = synthetic::texturedBackground(37, 21);  // 5 x 3 blocks, clipped edges
    BlockNumberList list;
    ImagePtr sheet = sortedKeySheet(frame, list, GetParam());
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->width, 40);
    EXPECT_EQ(sheet->height, 24);
    ASSERT_EQ(list.next(), 15);
    ImageBuffer rebuilt(37, 21);
    for (int k = 0; k < 15; ++k) {
        const int block = list.next();
        ASSERT_GE(block, 0);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const int fx = block % 5 * 8 + x, fy = block / 5 * 8 + y;
                if (fx < 37 && fy < 21)
                    rebuilt.at(fx, fy) = sheet->at(k % 5 * 8 + x, k / 5 * 8 + y);
            }
    }
    EXPECT_EQ(list.next(), -1);
    EXPECT_EQ(rebuilt.pixels, frame.pixels);
}

INSTANTIATE_TEST_SUITE_P(BothOrders, SortedKeySheetTest,
                         ::testing::Values(SheetOrder::Brightness, SheetOrder::ColourChain));

}  // namespace
}  // namespace veltro
