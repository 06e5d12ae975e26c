// ImageBuffer and its pixel operations: allocation, copies, the three resizes
// with their shared shortcuts, and the opaque overlay.
#include "image/image_buffer.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

ImageBuffer fromPixels(int width, int height, std::vector<uint32_t> pixels, int hasAlpha = 0) {
    ImageBuffer image(width, height);
    image.pixels = std::move(pixels);
    image.hasAlpha = hasAlpha;
    return image;
}

TEST(ImageBuffer, AllocationGivesOpaqueWhiteAndZeroSizesTouchNothing) {
    ImageBuffer fresh;
    EXPECT_EQ(fresh.hasAlpha, 0);
    EXPECT_TRUE(fresh.empty());
    fresh.allocate(2, 2);
    EXPECT_EQ(fresh.pixels, std::vector<uint32_t>(4, 0xFFFFFFFFu));

    ImageBuffer narrow;
    narrow.allocate(0, 5);
    EXPECT_EQ(narrow.width, 0);
    EXPECT_EQ(narrow.height, 5);
    EXPECT_TRUE(narrow.empty());

    // A zero size neither allocates nor frees existing storage.
    fresh.at(1, 1) = 0x12345678;
    fresh.allocate(3, 0);
    EXPECT_EQ(fresh.width, 3);
    EXPECT_EQ(fresh.height, 0);
    EXPECT_EQ(fresh.pixelCount(), 4u);

    // Reallocating replaces the pixels with white ones.
    fresh.allocate(3, 1);
    EXPECT_EQ(fresh.pixels, std::vector<uint32_t>(3, 0xFFFFFFFFu));
    fresh.release();
    EXPECT_TRUE(fresh.empty());
}

TEST(ImageBuffer, CopyIsDeepAndKeepsTheAlphaFlag) {
    ImageBuffer source = fromPixels(2, 1, {0x00000000, 0xFF102030}, 1);
    ImagePtr copy = copyImage(source);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->width, 2);
    EXPECT_EQ(copy->height, 1);
    EXPECT_EQ(copy->hasAlpha, 1);
    EXPECT_EQ(copy->pixels, source.pixels);
    copy->at(0, 0) = 0xFFFFFFFF;
    EXPECT_EQ(source.at(0, 0), 0x00000000u);
}

using Resize = ImagePtr (*)(const ImageBuffer&, int, int);
class EveryResize : public ::testing::TestWithParam<Resize> {};

TEST_P(EveryResize, SameSizeIsAnExactCopy) {
    ImageBuffer source = fromPixels(3, 2, {1, 0xFF000002, 3, 0x80FFFFFF, 5, 6}, 1);
    ImagePtr result = GetParam()(source, 3, 2);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->pixels, source.pixels);
    EXPECT_EQ(result->hasAlpha, 1);
}

TEST_P(EveryResize, ZeroTargetGivesOneOpaqueWhitePixel) {
    ImageBuffer source = fromPixels(3, 2, {1, 2, 3, 4, 5, 6}, 1);
    for (auto [w, h] : {std::pair{0, 4}, std::pair{4, 0}, std::pair{0, 0}}) {
        ImagePtr result = GetParam()(source, w, h);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->width, 1);
        EXPECT_EQ(result->height, 1);
        EXPECT_EQ(result->pixels, std::vector<uint32_t>{0xFFFFFFFFu});
        EXPECT_EQ(result->hasAlpha, 0);
    }
}

TEST_P(EveryResize, CarriesTheAlphaFlagAndLeavesTheSourceAlone) {
    ImageBuffer source = fromPixels(2, 2, {0xFF010101, 0x00000000, 0xFF030303, 0xFF040404}, 1);
    const std::vector<uint32_t> before = source.pixels;
    ImagePtr result = GetParam()(source, 5, 3);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->width, 5);
    EXPECT_EQ(result->height, 3);
    EXPECT_EQ(result->pixelCount(), 15u);
    EXPECT_EQ(result->hasAlpha, 1);
    EXPECT_EQ(source.pixels, before);
}

INSTANTIATE_TEST_SUITE_P(ImageBuffer, EveryResize, ::testing::Values(&scaleNearest, &scaleAverage, &resizeCanvas));

TEST(ScaleNearest, PicksTruncatedSourcePositions) {
    ImageBuffer row = fromPixels(4, 1, {0xA, 0xB, 0xC, 0xD});
    EXPECT_EQ(scaleNearest(row, 2, 1)->pixels, (std::vector<uint32_t>{0xA, 0xC}));
    EXPECT_EQ(scaleNearest(row, 8, 1)->pixels, (std::vector<uint32_t>{0xA, 0xA, 0xB, 0xB, 0xC, 0xC, 0xD, 0xD}));
    EXPECT_EQ(scaleNearest(row, 3, 1)->pixels, (std::vector<uint32_t>{0xA, 0xB, 0xC}));
    ImageBuffer column = fromPixels(1, 3, {0x1, 0x2, 0x3});
    EXPECT_EQ(scaleNearest(column, 2, 2)->pixels, (std::vector<uint32_t>{0x1, 0x1, 0x2, 0x2}));
    // Alpha goes along unchanged.
    ImageBuffer clear = fromPixels(2, 1, {0x00123456, 0x7F000000});
    EXPECT_EQ(scaleNearest(clear, 4, 1)->pixels, (std::vector<uint32_t>{0x00123456, 0x00123456, 0x7F000000, 0x7F000000}));
}

TEST(ScaleAverage, AveragesSetPixelsWithTruncation) {
    EXPECT_EQ(scaleAverage(fromPixels(2, 1, {0xFF0A141E, 0xFF141E28}), 1, 1)->pixels,
              std::vector<uint32_t>{0xFF0F1923u});
    EXPECT_EQ(scaleAverage(fromPixels(2, 1, {0x00000000, 0xFF102030}), 1, 1)->pixels,
              std::vector<uint32_t>{0xFF102030u});
    EXPECT_EQ(scaleAverage(fromPixels(2, 1, {0x00000000, 0x00000000}), 1, 1)->pixels,
              std::vector<uint32_t>{0x00000000u});
    EXPECT_EQ(scaleAverage(fromPixels(2, 1, {0xFF010101, 0xFF020202}), 1, 1)->pixels,
              std::vector<uint32_t>{0xFF010101u});
    // Any set alpha counts as opaque and the result is 0xFF.
    EXPECT_EQ(scaleAverage(fromPixels(2, 1, {0x01000000, 0x01FFFFFF}), 1, 1)->pixels,
              std::vector<uint32_t>{0xFF7F7F7Fu});
}

TEST(ScaleAverage, ShrinksBothAxesInBoxes) {
    // 4x2 to 2x1: each result is the mean of a 2x2 box.
    ImageBuffer source = fromPixels(4, 2, {0xFF000000, 0xFF000004, 0xFF000010, 0xFF000020,  //
                                           0xFF000008, 0xFF00000C, 0xFF000030, 0x00FFFFFF});
    EXPECT_EQ(scaleAverage(source, 2, 1)->pixels, (std::vector<uint32_t>{0xFF000006, 0xFF000020}));
    // 3 to 2 columns: destination positions 0, 2/3, 4/3 fall in cells 0, 0, 1.
    EXPECT_EQ(scaleAverage(fromPixels(3, 1, {0xFF000002, 0xFF000004, 0xFF000009}), 2, 1)->pixels,
              (std::vector<uint32_t>{0xFF000003, 0xFF000009}));
}

TEST(ScaleAverage, EnlargesByRepetitionAndMixesAxes) {
    EXPECT_EQ(scaleAverage(fromPixels(2, 1, {0xFF112233, 0xFF445566}), 4, 1)->pixels,
              (std::vector<uint32_t>{0xFF112233, 0xFF112233, 0xFF445566, 0xFF445566}));
    // Wider but shorter: rows are averaged, columns repeated.
    ImageBuffer source = fromPixels(1, 2, {0xFF000010, 0xFF000020});
    EXPECT_EQ(scaleAverage(source, 2, 1)->pixels, (std::vector<uint32_t>{0xFF000018, 0xFF000018}));
    // Enlarging a transparent pixel leaves empty cells.
    EXPECT_EQ(scaleAverage(fromPixels(2, 1, {0x00FFFFFF, 0xFF000001}), 4, 1)->pixels,
              (std::vector<uint32_t>{0, 0, 0xFF000001, 0xFF000001}));
}

TEST(ResizeCanvas, CropsOrPadsAtTheTopLeft) {
    ImageBuffer source = fromPixels(2, 2, {1, 2, 3, 4});
    EXPECT_EQ(resizeCanvas(source, 3, 1)->pixels, (std::vector<uint32_t>{1, 2, 0}));
    EXPECT_EQ(resizeCanvas(source, 1, 3)->pixels, (std::vector<uint32_t>{1, 3, 0}));
    EXPECT_EQ(resizeCanvas(source, 3, 3)->pixels, (std::vector<uint32_t>{1, 2, 0, 3, 4, 0, 0, 0, 0}));
}

TEST(OverlayOpaque, CopiesOnlySetPixels) {
    ImageBuffer target = fromPixels(4, 1, {0xA, 0xB, 0xC, 0xD});
    overlayOpaque(target, fromPixels(4, 1, {0x00FFFFFF, 0x01000000, 0x00000000, 0xFFABCDEF}));
    EXPECT_EQ(target.pixels, (std::vector<uint32_t>{0xA, 0x01000000, 0xC, 0xFFABCDEF}));
}

}  // namespace
}  // namespace veltro
