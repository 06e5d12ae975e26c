// JPEG codec: round trips, the written file's headers read back marker by
// marker (sampling, Huffman tables, baseline quantisation), files made by
// ImageMagick (greyscale, CMYK), and damaged files.
#include "image/jpeg_format.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "image/image_test_support.h"

namespace veltro {
namespace {

using testing::TempDir;

// Standard luminance quantisation table (natural order) and the zig-zag order
// in which DQT segments store it.
const int kStandardLuminance[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const int kZigZag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                         12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                         35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                         58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
// BITS of the standard DC luminance Huffman table (codes of length 1..16).
const int kStandardDcLuminanceBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};

struct Component {
    int id, h, v, table;
};
struct HuffmanTable {
    int tableClass, id;
    std::vector<int> bits;
    int symbols = 0;
};
struct QuantTable {
    int precision, id;
    std::vector<int> values;  // zig-zag order
};
struct JpegHeaders {
    int sofMarker = 0;
    int width = 0, height = 0;
    std::vector<Component> components;
    std::vector<HuffmanTable> huffman;
    std::vector<QuantTable> quant;
};

// Walks the markers of a JPEG file up to the first scan.
JpegHeaders readHeaders(const std::vector<uint8_t>& b) {
    JpegHeaders h;
    size_t i = 2;
    EXPECT_TRUE(b.size() > 4 && b[0] == 0xFF && b[1] == 0xD8);
    while (i + 4 <= b.size()) {
        EXPECT_EQ(b[i], 0xFF);
        int marker = b[i + 1];
        size_t length = size_t(b[i + 2]) << 8 | b[i + 3];
        size_t p = i + 4, end = i + 2 + length;
        if (end > b.size())
            break;
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            h.sofMarker = marker;
            h.height = b[p + 1] << 8 | b[p + 2];
            h.width = b[p + 3] << 8 | b[p + 4];
            int n = b[p + 5];
            for (int c = 0; c < n; ++c) {
                const uint8_t* s = &b[p + 6 + 3 * c];
                h.components.push_back({s[0], s[1] >> 4, s[1] & 15, s[2]});
            }
        } else if (marker == 0xC4) {
            while (p < end) {
                HuffmanTable t{b[p] >> 4, b[p] & 15, {}, 0};
                for (int k = 0; k < 16; ++k) {
                    t.bits.push_back(b[p + 1 + k]);
                    t.symbols += b[p + 1 + k];
                }
                p += 17 + t.symbols;
                h.huffman.push_back(t);
            }
        } else if (marker == 0xDB) {
            while (p < end) {
                QuantTable t{b[p] >> 4, b[p] & 15, {}};
                int size = t.precision ? 2 : 1;
                for (int k = 0; k < 64; ++k)
                    t.values.push_back(size == 1 ? b[p + 1 + k] : (b[p + 1 + 2 * k] << 8 | b[p + 2 + 2 * k]));
                p += 1 + 64 * size;
                h.quant.push_back(t);
            }
        } else if (marker == 0xDA) {
            break;
        }
        i = end;
    }
    return h;
}

// A picture with smooth gradients and a few hard edges.
ImageBuffer testPicture(int width, int height) {
    ImageBuffer image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.at(x, y) = 0xFF000000u | uint32_t(x * 255 / width) << 16 | uint32_t(y * 255 / height) << 8 |
                             uint32_t(((x / 8 + y / 8) % 2) ? 200 : 40);
    return image;
}

int channelDistance(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 24; shift += 8)
        worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return worst;
}

TEST(JpegFormat, RoundTripKeepsSizeAndColoursCloseAndOpaque) {
    TempDir dir;
    JpegFormat jpeg;
    jpeg.quality = 95;
    ImageBuffer image = testPicture(64, 48);
    image.at(5, 5) = 0x00123456;  // alpha is dropped on save
    ASSERT_TRUE(jpeg.save(dir.file("a.jpg"), image));
    ImagePtr back = jpeg.load(dir.file("a.jpg"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 64);
    EXPECT_EQ(back->height, 48);
    EXPECT_EQ(back->hasAlpha, 0);
    int worst = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            EXPECT_EQ(back->at(x, y) >> 24, 0xFFu);
            if (x > 8 || y > 8)
                worst = std::max(worst, channelDistance(back->at(x, y), image.at(x, y)));
        }
    EXPECT_LT(worst, 40);
}

TEST(JpegFormat, WrittenHeadersShowFullColourResolutionAndOptimisedTables) {
    TempDir dir;
    JpegFormat jpeg;
    ASSERT_TRUE(jpeg.save(dir.file("h.jpg"), testPicture(40, 24)));
    JpegHeaders h = readHeaders(testing::readBytes(dir.file("h.jpg")));
    EXPECT_EQ(h.sofMarker, 0xC0) << "baseline sequential";
    EXPECT_EQ(h.width, 40);
    EXPECT_EQ(h.height, 24);
    ASSERT_EQ(h.components.size(), 3u);
    for (const Component& c : h.components) {
        EXPECT_EQ(c.h, 1) << "component " << c.id;
        EXPECT_EQ(c.v, 1) << "component " << c.id;
    }
    // Optimised tables hold only the symbols the picture uses: the standard
    // AC tables have 162 symbols each and the DC luminance table has fixed BITS.
    ASSERT_FALSE(h.huffman.empty());
    for (const HuffmanTable& t : h.huffman) {
        if (t.tableClass == 1) {
            EXPECT_LT(t.symbols, 162);
        }
        if (t.tableClass == 0 && t.id == 0) {
            EXPECT_NE(t.bits, std::vector<int>(kStandardDcLuminanceBits, kStandardDcLuminanceBits + 16));
        }
    }
}

TEST(JpegFormat, QualityScalesTheStandardTablesAndStaysBaseline) {
    TempDir dir;
    for (int quality : {75, 40, 1}) {
        JpegFormat jpeg;  // 75 unless the owner changes it
        if (quality != 75)
            jpeg.quality = quality;
        std::string path = dir.file("q" + std::to_string(quality) + ".jpg");
        ASSERT_TRUE(jpeg.save(path, testPicture(16, 16)));
        JpegHeaders h = readHeaders(testing::readBytes(path));
        EXPECT_EQ(h.sofMarker, 0xC0);
        int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
        const QuantTable* luminance = nullptr;
        for (const QuantTable& t : h.quant) {
            EXPECT_EQ(t.precision, 0) << "8-bit tables only";
            if (t.id == 0)
                luminance = &t;
        }
        ASSERT_TRUE(luminance);
        for (int k = 0; k < 64; ++k) {
            int expected = std::clamp((kStandardLuminance[kZigZag[k]] * scale + 50) / 100, 1, 255);
            ASSERT_EQ(luminance->values[k], expected) << "quality " << quality << " entry " << k;
        }
    }
}

TEST(JpegFormat, GivenTablesAreWrittenAsTheyAreInsteadOfTheQualitysTables) {
    TempDir dir;
    JpegQuantTables tables;
    for (size_t k = 0; k < 64; ++k) {
        tables.luma[k] = uint8_t(3 + k);
        tables.chroma[k] = uint8_t(250 - 2 * k);
    }
    tables.luma[9] = 0;  // written as 1
    const ImageBuffer picture = testPicture(48, 40);
    JpegFormat jpeg;
    jpeg.quality = 30;  // the tables win over the quality
    jpeg.tables = tables;
    ASSERT_TRUE(jpeg.save(dir.file("t.jpg"), picture));
    const std::vector<uint8_t> bytes = testing::readBytes(dir.file("t.jpg"));
    std::string inMemory;
    ASSERT_TRUE(jpeg.encodeBytes(picture, inMemory));
    EXPECT_EQ(std::vector<uint8_t>(inMemory.begin(), inMemory.end()), bytes);

    const JpegHeaders h = readHeaders(bytes);
    EXPECT_EQ(h.sofMarker, 0xC0) << "baseline sequential";
    ASSERT_EQ(h.components.size(), 3u);
    EXPECT_EQ(h.components[0].table, 0);
    EXPECT_EQ(h.components[1].table, 1);
    EXPECT_EQ(h.components[2].table, 1);
    ASSERT_EQ(h.quant.size(), 2u);
    for (const QuantTable& t : h.quant) {
        EXPECT_EQ(t.precision, 0);
        for (int k = 0; k < 64; ++k) {
            const size_t natural = size_t(kZigZag[k]);
            const int expected = t.id == 0 ? std::max<int>(1, tables.luma[natural]) : tables.chroma[natural];
            ASSERT_EQ(t.values[size_t(k)], expected) << "table " << t.id << " entry " << k;
        }
    }
    ImagePtr back = jpeg.load(dir.file("t.jpg"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 48);
    EXPECT_EQ(back->height, 40);

    // Without tables the quality's standard tables come back, as before.
    jpeg.tables.reset();
    ASSERT_TRUE(jpeg.save(dir.file("q.jpg"), picture));
    const JpegHeaders standard = readHeaders(testing::readBytes(dir.file("q.jpg")));
    ASSERT_FALSE(standard.quant.empty());
    EXPECT_EQ(standard.quant[0].values[0], (kStandardLuminance[0] * (5000 / 30) + 50) / 100);
}

TEST(JpegFormat, GreyscaleFileLoadsAsOpaqueGrey) {
    TempDir dir;
    std::string path = dir.file("grey.jpg");
    ASSERT_TRUE(testing::runCommand("convert -size 16x16 gradient:black-white -colorspace Gray -type Grayscale '" +
                                    path + "'"));
    ASSERT_EQ(readHeaders(testing::readBytes(path)).components.size(), 1u);
    ImagePtr image = JpegFormat().load(path);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 16);
    uint32_t top = image->at(0, 0), bottom = image->at(0, 15);
    for (uint32_t p : image->pixels) {
        EXPECT_EQ(p >> 24, 0xFFu);
        EXPECT_EQ((p >> 16) & 0xFF, (p >> 8) & 0xFF);
        EXPECT_EQ((p >> 8) & 0xFF, p & 0xFF);
    }
    EXPECT_GT(bottom & 0xFF, (top & 0xFF) + 100);
}

TEST(JpegFormat, CmykFileIsConvertedToRgb) {
    TempDir dir;
    std::string path = dir.file("cmyk.jpg");
    ASSERT_TRUE(testing::runCommand("convert -size 8x8 xc:'#ff0000' -colorspace CMYK -quality 100 '" + path + "'"));
    ASSERT_EQ(readHeaders(testing::readBytes(path)).components.size(), 4u);
    ImagePtr image = JpegFormat().load(path);
    ASSERT_TRUE(image);
    EXPECT_LT(channelDistance(image->at(4, 4), 0xFFFF0000u), 12) << std::hex << image->at(4, 4);
}

TEST(JpegFormat, MissingTruncatedAndMalformedFilesGiveNone) {
    TempDir dir;
    JpegFormat jpeg;
    EXPECT_FALSE(jpeg.load(dir.file("missing.jpg")));

    ASSERT_TRUE(jpeg.save(dir.file("whole.jpg"), testPicture(64, 64)));
    std::vector<uint8_t> whole = testing::readBytes(dir.file("whole.jpg"));
    for (size_t keep : {size_t(0), size_t(2), size_t(100), whole.size() / 2, whole.size() - 2}) {
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + long(keep));
        ASSERT_TRUE(testing::writeBytes(dir.file("cut.jpg"), cut));
        EXPECT_FALSE(jpeg.load(dir.file("cut.jpg"))) << "kept " << keep << " bytes";
    }
    ASSERT_TRUE(testing::writeBytes(dir.file("text.jpg"), {'h', 'e', 'l', 'l', 'o'}));
    EXPECT_FALSE(jpeg.load(dir.file("text.jpg")));
}

TEST(JpegFormat, HeaderClaimingAHugePictureIsRefusedBeforeDecoding) {
    TempDir dir;
    JpegFormat jpeg;
    ASSERT_TRUE(jpeg.save(dir.file("small.jpg"), testPicture(16, 16)));
    std::vector<uint8_t> bytes = testing::readBytes(dir.file("small.jpg"));
    // Rewrite the frame header to claim 60000 x 60000 pixels.
    for (size_t i = 2; i + 9 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 5] = 0xEA;
            bytes[i + 6] = 0x60;
            bytes[i + 7] = 0xEA;
            bytes[i + 8] = 0x60;
            break;
        }
    }
    ASSERT_TRUE(testing::writeBytes(dir.file("huge.jpg"), bytes));
    EXPECT_FALSE(jpeg.load(dir.file("huge.jpg")));
}

// A few hundred bytes claiming 16000 x 16000 pixels (sides within the side
// cap, a gigabyte of pixels) are refused before any pixel is allocated.
TEST(JpegFormat, AHeaderClaimingMorePixelsThanTheCapAllocatesNothing) {
    const std::vector<uint8_t> hostile = testing::fuzzSeed("jpeg", "hostile-16000x16000.jpg");
    ASSERT_FALSE(hostile.empty());
    TempDir dir;
    ASSERT_TRUE(testing::writeBytes(dir.file("hostile.jpg"), hostile));
    const size_t before = testing::peakResidentBytes();
    EXPECT_FALSE(JpegFormat().load(dir.file("hostile.jpg")));
    EXPECT_FALSE(decodeJpeg(hostile.data(), hostile.size()));
    EXPECT_LT(testing::peakResidentBytes() - before, size_t{128} << 20);
}

TEST(JpegFormat, MemoryLoadMatchesTheFileAndHonoursItsPixelBound) {
    TempDir dir;
    JpegFormat jpeg;
    ASSERT_TRUE(jpeg.save(dir.file("p.jpg"), testPicture(24, 10)));
    const std::vector<uint8_t> bytes = testing::readBytes(dir.file("p.jpg"));
    ImagePtr fromFile = jpeg.load(dir.file("p.jpg"));
    ImagePtr fromMemory = decodeJpeg(bytes.data(), bytes.size());
    ASSERT_TRUE(fromFile);
    ASSERT_TRUE(fromMemory);
    EXPECT_EQ(fromMemory->width, 24);
    EXPECT_EQ(fromMemory->pixels, fromFile->pixels);
    EXPECT_TRUE(decodeJpeg(bytes.data(), bytes.size(), 240));
    EXPECT_FALSE(decodeJpeg(bytes.data(), bytes.size(), 239));
    EXPECT_FALSE(decodeJpeg(bytes.data(), bytes.size() / 2));
    EXPECT_FALSE(decodeJpeg(bytes.data(), 0));
}

TEST(JpegFormat, FailedSaveKeepsTheFileItWouldHaveReplaced) {
    TempDir dir;
    JpegFormat jpeg;
    std::string path = dir.file("keep.jpg");
    ASSERT_TRUE(testing::writeBytes(path, {1, 2, 3}));
    ImageBuffer tooWide;
    tooWide.allocate(70000, 1);  // beyond what JPEG can store
    EXPECT_FALSE(jpeg.save(path, tooWide));
    EXPECT_EQ(testing::readBytes(path), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
    EXPECT_FALSE(jpeg.save(dir.file("no/such/dir/x.jpg"), testPicture(4, 4)));
    EXPECT_FALSE(jpeg.save(dir.file("empty.jpg"), ImageBuffer()));
}

}  // namespace
}  // namespace veltro
