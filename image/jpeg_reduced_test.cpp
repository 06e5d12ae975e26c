// Reduced JPEG decoding for thumbnails: the scale chosen keeps at least the
// wanted size, the full size is reported, the picture stays the same picture,
// and damaged files fail as a full load does.
#include <gtest/gtest.h>

#include "image/image_test_support.h"
#include "image/jpeg_format.h"

namespace veltro {
namespace {

using testing::TempDir;

// Left half red, right half blue.
ImageBuffer halves(int width, int height) {
    ImageBuffer image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.at(x, y) = x < width / 2 ? 0xFFFF0000u : 0xFF0000FFu;
    return image;
}

TEST(JpegReduced, PicksTheSmallestScaleThatKeepsTheWantedSize) {
    TempDir dir;
    JpegFormat jpeg;
    ASSERT_TRUE(jpeg.save(dir.file("big.jpg"), halves(1600, 1200)));
    int width = 0, height = 0;
    ImagePtr eighth = loadJpegReduced(dir.file("big.jpg"), 80, 60, &width, &height);
    ASSERT_TRUE(eighth);
    EXPECT_EQ(width, 1600);
    EXPECT_EQ(height, 1200);
    EXPECT_EQ(eighth->width, 200);
    EXPECT_EQ(eighth->height, 150);
    // 300 wide needs 2/8 (400 x 300); 150 x 301 is held by the height: 3/8 (450).
    ImagePtr quarter = loadJpegReduced(dir.file("big.jpg"), 300, 10, nullptr, nullptr);
    ASSERT_TRUE(quarter);
    EXPECT_EQ(quarter->width, 400);
    ImagePtr tall = loadJpegReduced(dir.file("big.jpg"), 150, 301, nullptr, nullptr);
    ASSERT_TRUE(tall);
    EXPECT_EQ(tall->height, 450);
    // A small picture is decoded whole.
    ASSERT_TRUE(jpeg.save(dir.file("small.jpg"), halves(64, 48)));
    ImagePtr whole = loadJpegReduced(dir.file("small.jpg"), 80, 60, &width, &height);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->width, 64);
    EXPECT_EQ(width, 64);
    // Colours survive: red on the left, blue on the right.
    const uint32_t left = eighth->at(20, 75), right = eighth->at(180, 75);
    EXPECT_GT((left >> 16) & 0xFF, 200u);
    EXPECT_LT(left & 0xFF, 60u);
    EXPECT_GT(right & 0xFF, 200u);
    EXPECT_LT((right >> 16) & 0xFF, 60u);
}

TEST(JpegReduced, DamagedAndMissingFilesGiveNone) {
    TempDir dir;
    JpegFormat jpeg;
    ASSERT_TRUE(jpeg.save(dir.file("ok.jpg"), halves(320, 240)));
    std::vector<uint8_t> bytes = testing::readBytes(dir.file("ok.jpg"));
    bytes.resize(bytes.size() / 2);
    ASSERT_TRUE(testing::writeBytes(dir.file("cut.jpg"), bytes));
    ASSERT_TRUE(testing::writeBytes(dir.file("junk.jpg"), {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'g'}));
    int width = -1;
    EXPECT_FALSE(loadJpegReduced(dir.file("cut.jpg"), 80, 60, &width, nullptr));
    EXPECT_FALSE(loadJpegReduced(dir.file("junk.jpg"), 80, 60, &width, nullptr));
    EXPECT_FALSE(loadJpegReduced(dir.file("missing.jpg"), 80, 60, &width, nullptr));
    EXPECT_EQ(width, -1);
}

}  // namespace
}  // namespace veltro
