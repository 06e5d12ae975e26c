// GIF codec: the bytes the encoder writes, round trips, files written by
// ImageMagick (plain, interlaced, transparent, with a local colour table)
// compared with what PIL decodes from them, our files decoded by PIL, and
// damaged or hostile files.
#include "image/gif_format.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "image/image_test_support.h"

namespace veltro {
namespace {

using testing::TempDir;

ImageBuffer filled(int width, int height, std::initializer_list<uint32_t> pattern) {
    ImageBuffer image(width, height);
    std::vector<uint32_t> words(pattern);
    for (size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = words[i % words.size()];
    return image;
}

ImageBuffer noise(int width, int height, uint32_t seed) {
    ImageBuffer image(width, height);
    std::mt19937 random(seed);
    for (uint32_t& p : image.pixels)
        p = 0xFF000000u | (random() & 0xFFFFFFu);
    return image;
}

TEST(GifFormat, OpaqueThreeColourPictureIsGif87aWithItsColoursFirst) {
    TempDir dir;
    GifFormat gif;
    ImageBuffer image = filled(5, 3, {0xFF102030, 0xFFFF0000, 0xFF102030, 0xFF00FF00});
    ASSERT_TRUE(gif.save(dir.file("three.gif"), image));
    std::vector<uint8_t> b = testing::readBytes(dir.file("three.gif"));
    ASSERT_GT(b.size(), 13u + 768u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF87a");
    EXPECT_EQ(b[6] | b[7] << 8, 5);
    EXPECT_EQ(b[8] | b[9] << 8, 3);
    EXPECT_EQ(b[10], 0xF7);
    const uint8_t firstColours[9] = {0x10, 0x20, 0x30, 0xFF, 0, 0, 0, 0xFF, 0};
    EXPECT_TRUE(std::equal(firstColours, firstColours + 9, b.begin() + 13));
    EXPECT_TRUE(std::all_of(b.begin() + 13 + 9, b.begin() + 13 + 768, [](uint8_t v) { return v == 0; }));
    EXPECT_EQ(b[13 + 768], 0x2C) << "no extension in GIF87a";
    EXPECT_EQ(b.back(), 0x3B);

    ImagePtr back = gif.load(dir.file("three.gif"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 5);
    EXPECT_EQ(back->height, 3);
    EXPECT_EQ(back->hasAlpha, 0);
    EXPECT_EQ(back->pixels, image.pixels);
    EXPECT_EQ(testing::pixelsSeenByPil(dir.file("three.gif")), image.pixels);
}

TEST(GifFormat, TransparentPictureIsGif89aNamingTheFirstTransparentEntry) {
    TempDir dir;
    GifFormat gif;
    ImageBuffer image = filled(4, 4, {0xFF0000FF, 0x00ABCDEF, 0xFFFFFFFF, 0x00000000});
    image.hasAlpha = 1;
    ASSERT_TRUE(gif.save(dir.file("t.gif"), image));
    std::vector<uint8_t> b = testing::readBytes(dir.file("t.gif"));
    EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF89a");
    const size_t gce = 13 + 768;
    ASSERT_GT(b.size(), gce + 8);
    EXPECT_EQ(b[gce], 0x21);
    EXPECT_EQ(b[gce + 1], 0xF9);
    EXPECT_EQ(b[gce + 3] & 1, 1);
    EXPECT_EQ(b[gce + 6], 1) << "entry 1 (0x00ABCDEF) is the first transparent colour";

    ImagePtr back = gif.load(dir.file("t.gif"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->hasAlpha, 1);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        if (isSetPixel(image.pixels[i]))
            EXPECT_EQ(back->pixels[i], image.pixels[i]) << i;
        else
            EXPECT_EQ(back->pixels[i], 0x00ABCDEFu) << i;
    }
}

TEST(GifFormat, ManyColoursAreQuantisedToMultiplesOfSixteen) {
    TempDir dir;
    GifFormat gif;
    ImageBuffer image = noise(64, 40, 7);
    ASSERT_TRUE(gif.save(dir.file("many.gif"), image));
    ImagePtr back = gif.load(dir.file("many.gif"));
    ASSERT_TRUE(back);
    int worst = 0;
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        uint32_t p = back->pixels[i];
        EXPECT_EQ(p >> 24, 0xFFu);
        EXPECT_EQ(p & 0x0F0F0F, 0u) << std::hex << p;
        for (int shift = 0; shift < 24; shift += 8)
            worst = std::max(worst, std::abs(int((p >> shift) & 0xFF) - int((image.pixels[i] >> shift) & 0xFF)));
    }
    // Random colours fill all 4096 bins, so only 256 survive: coarse but bounded.
    EXPECT_LT(worst, 256);
    // Every pixel took the first entry of least |dR| + |dG| + |dB|, checked
    // against the colour table in the file by a plain search.
    std::vector<uint8_t> b = testing::readBytes(dir.file("many.gif"));
    std::vector<uint32_t> table;
    for (int i = 0; i < 256; ++i)
        table.push_back(0xFF000000u | uint32_t(b[size_t(13 + 3 * i)]) << 16 | uint32_t(b[size_t(14 + 3 * i)]) << 8 |
                        b[size_t(15 + 3 * i)]);
    auto distance = [](uint32_t a, uint32_t c) {
        int d = 0;
        for (int shift = 0; shift < 24; shift += 8)
            d += std::abs(int((a >> shift) & 0xFF) - int((c >> shift) & 0xFF));
        return d;
    };
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        size_t best = 0;
        for (size_t k = 1; k < table.size(); ++k)
            if (distance(table[k], image.pixels[i]) < distance(table[best], image.pixels[i]))
                best = k;
        ASSERT_EQ(back->pixels[i], table[best]) << "pixel " << i;
    }
    EXPECT_EQ(testing::pixelsSeenByPil(dir.file("many.gif")), back->pixels);
}

TEST(GifFormat, PopularityPaletteUsesTheCommonestBins) {
    TempDir dir;
    GifFormat gif;
    // 300 distinct colours, but nearly every pixel is one of two shades.
    ImageBuffer image(40, 40);
    for (size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = i < 300 ? 0xFF000000u | uint32_t(i) : (i % 2 ? 0xFF123456u : 0xFFE0C0A0u);
    ASSERT_TRUE(gif.save(dir.file("pop.gif"), image));
    ImagePtr back = gif.load(dir.file("pop.gif"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->at(5, 20), 0xFF103050u);
    EXPECT_EQ(back->at(4, 20), 0xFFE0C0A0u);
    std::vector<uint8_t> b = testing::readBytes(dir.file("pop.gif"));
    // The two commonest bins are the first two palette entries.
    std::vector<uint8_t> table(b.begin() + 13, b.begin() + 13 + 6);
    EXPECT_TRUE((table == std::vector<uint8_t>{0x10, 0x30, 0x50, 0xE0, 0xC0, 0xA0}) ||
                (table == std::vector<uint8_t>{0xE0, 0xC0, 0xA0, 0x10, 0x30, 0x50}));
}

TEST(GifFormat, OpaquePixelsNeverTakeTheTransparentEntry) {
    TempDir dir;
    GifFormat gif;
    // Near-black opaque pixels in a quantised picture with transparency: the
    // transparent entry 0 (black) is the closest colour, but must not be used.
    ImageBuffer image = noise(40, 40, 3);
    for (int x = 0; x < 40; ++x) {
        image.at(x, 0) = 0x00000000;
        image.at(x, 1) = 0xFF030303;
    }
    image.hasAlpha = 1;
    ASSERT_TRUE(gif.save(dir.file("dark.gif"), image));
    ImagePtr back = gif.load(dir.file("dark.gif"));
    ASSERT_TRUE(back);
    for (int x = 0; x < 40; ++x) {
        EXPECT_FALSE(isSetPixel(back->at(x, 0)));
        EXPECT_TRUE(isSetPixel(back->at(x, 1))) << x;
    }
    for (int y = 2; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_TRUE(isSetPixel(back->at(x, y)));
}

TEST(GifFormat, FullOpaquePaletteWithAlphaFlagKeepsEveryPixelOpaque) {
    TempDir dir;
    GifFormat gif;
    ImageBuffer image(16, 16);
    for (size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = 0xFF000000u | uint32_t(i * 0x010101);
    image.hasAlpha = 1;
    ASSERT_TRUE(gif.save(dir.file("full.gif"), image));
    ImagePtr back = gif.load(dir.file("full.gif"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixels, image.pixels);
    EXPECT_EQ(back->hasAlpha, 0);
}

TEST(GifFormat, LargeNoisyPictureSurvivesTableResetsBothWays) {
    TempDir dir;
    GifFormat gif;
    // 256 colours spread at random overflow the 4096-code table many times.
    ImageBuffer image(320, 240);
    std::mt19937 random(11);
    for (uint32_t& p : image.pixels)
        p = 0xFF000000u | uint32_t(random() % 256) * 0x010101u;
    ASSERT_TRUE(gif.save(dir.file("big.gif"), image));
    ImagePtr back = gif.load(dir.file("big.gif"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixels, image.pixels);
    EXPECT_EQ(testing::pixelsSeenByPil(dir.file("big.gif")), image.pixels);
    // A picture of one colour grows the longest strings.
    ImageBuffer flat = filled(300, 300, {0xFF445566});
    ASSERT_TRUE(gif.save(dir.file("flat.gif"), flat));
    back = gif.load(dir.file("flat.gif"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixels, flat.pixels);
    EXPECT_EQ(testing::pixelsSeenByPil(dir.file("flat.gif")), flat.pixels);
    ImageBuffer single = filled(1, 1, {0xFF010203});
    ASSERT_TRUE(gif.save(dir.file("one.gif"), single));
    back = gif.load(dir.file("one.gif"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixels, single.pixels);
}

// GIFs written by ImageMagick decode to the pixels PIL reports.
class ForeignGif : public ::testing::Test {
protected:
    void SetUp() override {
        source = dir.file("source.png");
        ASSERT_TRUE(testing::runCommand("convert -size 37x29 -seed 5 plasma:fractal -colors 200 '" + source + "'"));
    }
    void expectSameAsPil(const std::string& path) {
        ImagePtr image = GifFormat().load(path);
        ASSERT_TRUE(image) << path;
        int width = 0, height = 0;
        std::vector<uint32_t> expected = testing::pixelsSeenByPil(path, &width, &height);
        EXPECT_EQ(image->width, width);
        EXPECT_EQ(image->height, height);
        EXPECT_EQ(image->pixels, expected) << path;
    }
    TempDir dir;
    std::string source;
};

TEST_F(ForeignGif, InterlacedFileMatchesItsPlainTwin) {
    std::string plain = dir.file("plain.gif"), interlaced = dir.file("interlaced.gif");
    ASSERT_TRUE(testing::runCommand("convert '" + source + "' -interlace none '" + plain + "'"));
    ASSERT_TRUE(testing::runCommand("convert '" + source + "' -interlace GIF '" + interlaced + "'"));
    std::vector<uint8_t> b = testing::readBytes(interlaced);
    size_t descriptor = std::string(b.begin(), b.end()).find(',', 13 + 3 * (2 << (b[10] & 7)));
    ASSERT_NE(descriptor, std::string::npos);
    ASSERT_TRUE(b[descriptor + 9] & 0x40) << "ImageMagick wrote an interlaced image";
    expectSameAsPil(plain);
    expectSameAsPil(interlaced);
    ImagePtr a = GifFormat().load(plain), c = GifFormat().load(interlaced);
    ASSERT_TRUE(a && c);
    EXPECT_EQ(a->pixels, c->pixels);
}

TEST_F(ForeignGif, TransparentFile) {
    std::string path = dir.file("transparent.gif");
    ASSERT_TRUE(testing::runCommand("convert -size 12x9 xc:none -fill '#c03020' -draw 'rectangle 2,2 7,5' '" + path + "'"));
    expectSameAsPil(path);
    ImagePtr image = GifFormat().load(path);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->hasAlpha, 1);
    EXPECT_FALSE(isSetPixel(image->at(0, 0)));
    EXPECT_EQ(image->at(3, 3), 0xFFC03020u);
}

TEST_F(ForeignGif, LocalColourTableWinsOverTheGlobalOne) {
    // ImageMagick writes the image; a small script moves its colour table into
    // the image descriptor and leaves an inverted decoy as the global table.
    std::string plain = dir.file("plain.gif"), local = dir.file("local.gif");
    ASSERT_TRUE(testing::runCommand("convert '" + source + "' -interlace none '" + plain + "'"));
    std::string script = dir.file("local.py");
    {
        std::ofstream out(script);
        out << "import sys\n"
               "b = open(sys.argv[1], 'rb').read()\n"
               "packed = b[10]\n"
               "n = 3 * (2 << (packed & 7))\n"
               "table = b[13:13 + n]\n"
               "rest = b[13 + n:]\n"
               "i = rest.index(b',')\n"
               "d = bytearray(rest[i:i + 10])\n"
               "d[9] = 0x80 | (packed & 7)\n"
               "decoy = bytes(255 - v for v in table)\n"
               "out = b[:13] + decoy + rest[:i] + bytes(d) + table + rest[i + 10:]\n"
               "open(sys.argv[2], 'wb').write(out)\n";
    }
    ASSERT_TRUE(testing::runCommand("/usr/bin/python3 '" + script + "' '" + plain + "' '" + local + "'"));
    expectSameAsPil(local);
    ImagePtr a = GifFormat().load(plain), c = GifFormat().load(local);
    ASSERT_TRUE(a && c);
    EXPECT_EQ(a->pixels, c->pixels);
}

TEST(GifFormatInput, UnknownVersionsAndDamagedFilesAreRefused) {
    TempDir dir;
    GifFormat gif;
    EXPECT_FALSE(gif.load(dir.file("missing.gif")));
    ASSERT_TRUE(gif.save(dir.file("ok.gif"), filled(20, 20, {0xFF000000, 0xFFFFFFFF, 0xFF808080})));
    std::vector<uint8_t> whole = testing::readBytes(dir.file("ok.gif"));
    ASSERT_TRUE(decodeGif(whole.data(), whole.size()));

    for (const char* version : {"88a", "87b", "89A", "90a"}) {
        std::vector<uint8_t> b = whole;
        std::copy(version, version + 3, b.begin() + 3);
        EXPECT_FALSE(decodeGif(b.data(), b.size())) << version;
    }
    // Cut anywhere before the last image byte: header, colour table, image data.
    for (size_t keep : {size_t(0), size_t(6), size_t(12), size_t(300), size_t(13 + 768 + 5), whole.size() - 4}) {
        EXPECT_FALSE(decodeGif(whole.data(), keep)) << "kept " << keep;
        ASSERT_TRUE(testing::writeBytes(dir.file("cut.gif"), std::vector<uint8_t>(whole.begin(), whole.begin() + long(keep))));
        EXPECT_FALSE(gif.load(dir.file("cut.gif"))) << "kept " << keep;
    }
    // A file without an image, and an image claiming a huge size.
    const uint8_t noImage[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x21, 0xFE, 2, 'h', 'i', 0, 0x3B};
    EXPECT_FALSE(decodeGif(noImage, sizeof noImage));
    std::vector<uint8_t> huge = whole;
    size_t descriptor = 13 + 768;
    ASSERT_EQ(huge[descriptor], 0x2C);
    huge[descriptor + 5] = 0xFF;
    huge[descriptor + 6] = 0xFF;
    huge[descriptor + 7] = 0xFF;
    huge[descriptor + 8] = 0xFF;
    EXPECT_FALSE(decodeGif(huge.data(), huge.size()));
    EXPECT_FALSE(decodeGif(whole.data(), whole.size(), 399)) << "pixel bound";
}

// 35 bytes claiming 16000 x 16000 pixels (sides within the side cap) would
// otherwise give a gigabyte of white picture: refused before any pixel.
TEST(GifFormatInput, AHeaderClaimingMorePixelsThanTheCapAllocatesNothing) {
    const std::vector<uint8_t> hostile = testing::fuzzSeed("gif", "hostile-16000x16000.gif");
    ASSERT_FALSE(hostile.empty());
    TempDir dir;
    ASSERT_TRUE(testing::writeBytes(dir.file("hostile.gif"), hostile));
    const size_t before = testing::peakResidentBytes();
    EXPECT_FALSE(GifFormat().load(dir.file("hostile.gif")));
    EXPECT_FALSE(decodeGif(hostile.data(), hostile.size()));
    EXPECT_LT(testing::peakResidentBytes() - before, size_t{128} << 20);
    // The same file at a size within the cap is a picture.
    std::vector<uint8_t> small = hostile;
    small[13 + 5] = 40;
    small[13 + 6] = 0;
    small[13 + 7] = 30;
    small[13 + 8] = 0;
    ImagePtr image = decodeGif(small.data(), small.size());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 40);
    EXPECT_EQ(image->height, 30);
}

TEST(GifFormatInput, EarlyEndCodeLeavesTheRestWhite) {
    // A 3x2 image whose data holds one pixel and then the end code.
    const uint8_t bytes[] = {'G', 'I', 'F', '8', '7', 'a', 3, 0, 2, 0, 0x80, 0, 0,
                             0x10, 0x20, 0x30, 0x40, 0x50, 0x60,  // two colours
                             0x2C, 0, 0, 0, 0, 3, 0, 2, 0, 0,
                             2,        // minimum code size: clear 4, end 5, width 3
                             2, 0x4C, 0x01,  // codes 4 (clear), 1, 5 (end): 100 001 101
                             0, 0x3B};
    ImagePtr image = decodeGif(bytes, sizeof bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixels, (std::vector<uint32_t>{0xFF405060, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
                                                    0xFFFFFFFF}));
}

}  // namespace
}  // namespace veltro
