// PNG codec: round trips checked by PIL, the load transformations on files
// written by PIL and ImageMagick (palettes with and without transparency,
// low-depth and 16-bit samples, grey, interlace), and damaged or hostile files.
#include "image/png_format.h"

#include <gtest/gtest.h>

#include <random>

#include <zlib.h>

#include "image/image_test_support.h"

namespace veltro {
namespace {

using testing::TempDir;

// Runs a PIL script with the output path as its only argument.
bool writeWithPil(const TempDir& dir, const std::string& body, const std::string& path) {
    std::string script = dir.file("make.py");
    {
        std::ofstream out(script);
        out << "import sys\nfrom PIL import Image\n" << body << "\n";
    }
    return testing::runCommand("/usr/bin/python3 '" + script + "' '" + path + "'");
}

TEST(PngFormat, RoundTripKeepsEveryWordAlphaIncluded) {
    TempDir dir;
    PngFormat png;
    ImageBuffer image(31, 17);
    std::mt19937 random(4);
    for (uint32_t& p : image.pixels)
        p = random();
    image.hasAlpha = 0;  // alpha is stored whatever the flag says
    ASSERT_TRUE(png.save(dir.file("r.png"), image));
    ImagePtr back = png.load(dir.file("r.png"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 31);
    EXPECT_EQ(back->height, 17);
    EXPECT_EQ(back->pixels, image.pixels);
    EXPECT_EQ(back->hasAlpha, 1) << "the file has an alpha channel";
    // An independent decoder sees the same colours: the byte order is right.
    EXPECT_EQ(testing::pixelsSeenByPil(dir.file("r.png")), image.pixels);
}

TEST(PngFormat, PaletteWithTransparencyChunkLoadsWithAlpha) {
    TempDir dir;
    PngFormat png;
    const std::string palette =
        "im = Image.new('P', (4, 2))\n"
        "im.putpalette([10, 20, 30, 200, 100, 50, 0, 255, 0] + [0] * 759)\n"
        "im.putdata([0, 1, 2, 1, 0, 0, 2, 1])\n";
    ASSERT_TRUE(writeWithPil(dir, palette + "im.save(sys.argv[1], transparency=1)", dir.file("trns.png")));
    ASSERT_TRUE(writeWithPil(dir, palette + "im.save(sys.argv[1])", dir.file("opaque.png")));

    ImagePtr withChunk = png.load(dir.file("trns.png"));
    ASSERT_TRUE(withChunk);
    EXPECT_EQ(withChunk->hasAlpha, 1);
    EXPECT_EQ(withChunk->pixels, (std::vector<uint32_t>{0xFF0A141E, 0x00C86432, 0xFF00FF00, 0x00C86432, 0xFF0A141E,
                                                        0xFF0A141E, 0xFF00FF00, 0x00C86432}));
    ImagePtr without = png.load(dir.file("opaque.png"));
    ASSERT_TRUE(without);
    EXPECT_EQ(without->hasAlpha, 0);
    EXPECT_EQ(without->at(1, 0), 0xFFC86432u);
}

TEST(PngFormat, GreyAndLowDepthFilesWidenToOpaqueRgb) {
    TempDir dir;
    PngFormat png;
    ASSERT_TRUE(writeWithPil(dir,
                             "im = Image.new('L', (3, 1))\nim.putdata([0, 0x7F, 0xFF])\nim.save(sys.argv[1])",
                             dir.file("grey.png")));
    ImagePtr grey = png.load(dir.file("grey.png"));
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->hasAlpha, 0);
    EXPECT_EQ(grey->pixels, (std::vector<uint32_t>{0xFF000000, 0xFF7F7F7F, 0xFFFFFFFF}));

    ASSERT_TRUE(writeWithPil(dir, "im = Image.new('1', (9, 1))\nim.putdata([0, 255] * 4 + [255])\nim.save(sys.argv[1])",
                             dir.file("bits.png")));
    ImagePtr bits = png.load(dir.file("bits.png"));
    ASSERT_TRUE(bits);
    ASSERT_EQ(bits->width, 9);
    EXPECT_EQ(bits->at(0, 0), 0xFF000000u);
    EXPECT_EQ(bits->at(1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(bits->at(8, 0), 0xFFFFFFFFu);

    ASSERT_TRUE(writeWithPil(dir, "im = Image.new('LA', (2, 1))\nim.putdata([(50, 0), (60, 255)])\nim.save(sys.argv[1])",
                             dir.file("greyalpha.png")));
    ImagePtr greyAlpha = png.load(dir.file("greyalpha.png"));
    ASSERT_TRUE(greyAlpha);
    EXPECT_EQ(greyAlpha->hasAlpha, 1);
    EXPECT_EQ(greyAlpha->pixels, (std::vector<uint32_t>{0x00323232, 0xFF3C3C3C}));
}

TEST(PngFormat, SixteenBitSamplesKeepTheirHighByte) {
    TempDir dir;
    std::string path = dir.file("deep.png");
    ASSERT_TRUE(testing::runCommand("convert -size 3x2 xc:'#1234ABCD5678' -depth 16 'png48:" + path + "'"));
    std::vector<uint8_t> b = testing::readBytes(path);
    ASSERT_GT(b.size(), 26u);
    ASSERT_EQ(b[24], 16) << "ImageMagick wrote 16-bit samples";
    ImagePtr image = PngFormat().load(path);
    ASSERT_TRUE(image);
    for (uint32_t p : image->pixels)
        EXPECT_EQ(p, 0xFF12AB56u);
}

TEST(PngFormat, InterlacedFileMatchesItsPlainTwin) {
    TempDir dir;
    std::string plain = dir.file("plain.png"), interlaced = dir.file("adam7.png");
    ASSERT_TRUE(testing::runCommand("convert -size 21x13 -seed 2 plasma:fractal -interlace none '" + plain + "'"));
    ASSERT_TRUE(testing::runCommand("convert '" + plain + "' -interlace PNG '" + interlaced + "'"));
    ASSERT_EQ(testing::readBytes(interlaced)[28], 1) << "Adam7";
    ImagePtr a = PngFormat().load(plain), b = PngFormat().load(interlaced);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->pixels, b->pixels);
    EXPECT_EQ(a->pixels, testing::pixelsSeenByPil(plain));
}

TEST(PngFormat, MissingTruncatedAndMalformedFilesGiveNone) {
    TempDir dir;
    PngFormat png;
    EXPECT_FALSE(png.load(dir.file("missing.png")));
    ImageBuffer image(40, 40);
    std::mt19937 random(9);
    for (uint32_t& p : image.pixels)
        p = random();
    ASSERT_TRUE(png.save(dir.file("whole.png"), image));
    std::vector<uint8_t> whole = testing::readBytes(dir.file("whole.png"));
    for (size_t keep : {size_t(0), size_t(8), size_t(30), whole.size() / 2, whole.size() - 12}) {
        ASSERT_TRUE(testing::writeBytes(dir.file("cut.png"), std::vector<uint8_t>(whole.begin(), whole.begin() + long(keep))));
        EXPECT_FALSE(png.load(dir.file("cut.png"))) << "kept " << keep;
    }
    std::vector<uint8_t> flipped = whole;
    flipped[whole.size() / 2] ^= 0x55;  // inside the image data: CRC mismatch
    ASSERT_TRUE(testing::writeBytes(dir.file("flipped.png"), flipped));
    EXPECT_FALSE(png.load(dir.file("flipped.png")));
}

TEST(PngFormat, HeaderClaimingAHugePictureIsRefused) {
    TempDir dir;
    PngFormat png;
    ASSERT_TRUE(png.save(dir.file("small.png"), ImageBuffer(4, 4)));
    std::vector<uint8_t> b = testing::readBytes(dir.file("small.png"));
    // IHDR data starts at byte 16: width, height (big-endian), then its CRC.
    const uint32_t side = 20000;
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < 4; ++i)
            b[size_t(16 + 4 * k + i)] = uint8_t(side >> (24 - 8 * i));
    uint32_t crc = uint32_t(crc32(0, b.data() + 12, 17));
    for (int i = 0; i < 4; ++i)
        b[size_t(29 + i)] = uint8_t(crc >> (24 - 8 * i));
    ASSERT_TRUE(testing::writeBytes(dir.file("huge.png"), b));
    EXPECT_FALSE(png.load(dir.file("huge.png")));
}

// 69 bytes claiming 16000 x 16000 pixels (sides within the side cap, a
// gigabyte of pixels) are refused before any pixel is allocated.
TEST(PngFormat, AHeaderClaimingMorePixelsThanTheCapAllocatesNothing) {
    const std::vector<uint8_t> hostile = testing::fuzzSeed("png", "hostile-16000x16000.png");
    ASSERT_FALSE(hostile.empty());
    TempDir dir;
    ASSERT_TRUE(testing::writeBytes(dir.file("hostile.png"), hostile));
    const size_t before = testing::peakResidentBytes();
    EXPECT_FALSE(PngFormat().load(dir.file("hostile.png")));
    EXPECT_FALSE(decodePng(hostile.data(), hostile.size()));
    EXPECT_LT(testing::peakResidentBytes() - before, size_t{128} << 20);
}

TEST(PngFormat, MemoryLoadMatchesTheFileAndHonoursItsPixelBound) {
    TempDir dir;
    PngFormat png;
    ImageBuffer image(13, 7);
    std::mt19937 random(4);
    for (uint32_t& p : image.pixels)
        p = random();
    ASSERT_TRUE(png.save(dir.file("p.png"), image));
    const std::vector<uint8_t> bytes = testing::readBytes(dir.file("p.png"));
    ImagePtr fromMemory = decodePng(bytes.data(), bytes.size());
    ASSERT_TRUE(fromMemory);
    EXPECT_EQ(fromMemory->pixels, image.pixels);
    EXPECT_TRUE(decodePng(bytes.data(), bytes.size(), 91));
    EXPECT_FALSE(decodePng(bytes.data(), bytes.size(), 90));
    for (size_t keep : {size_t(0), size_t(8), size_t(40), bytes.size() - 1})
        EXPECT_FALSE(decodePng(bytes.data(), keep)) << "kept " << keep;
}

TEST(PngFormat, FailedSaveKeepsTheFileItWouldHaveReplaced) {
    TempDir dir;
    PngFormat png;
    std::string path = dir.file("keep.png");
    ASSERT_TRUE(testing::writeBytes(path, {9, 8, 7}));
    EXPECT_FALSE(png.save(path, ImageBuffer()));
    ImageBuffer broken(4, 4);
    broken.pixels.resize(3);  // fewer pixels than its size claims
    EXPECT_FALSE(png.save(path, broken));
    EXPECT_EQ(testing::readBytes(path), (std::vector<uint8_t>{9, 8, 7}));
    EXPECT_TRUE(png.save(path, ImageBuffer(2, 2)));
    ImagePtr back = png.load(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixels, std::vector<uint32_t>(4, 0xFFFFFFFFu));
}

}  // namespace
}  // namespace veltro
