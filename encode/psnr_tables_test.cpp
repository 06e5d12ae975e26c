// The PSNR-tuned quantisation tables: their shape over every quality (baseline
// entries, finer with quality, nearly flat), the files written with them,
// and what they are for, measured on a generated
// busy picture: about the standard tables' PSNR at the same quality in fewer
// bytes.
#include "encode/psnr_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "encode/synthetic_clip.h"

namespace veltro {
namespace {

// A busy picture: the textured background with shapes and sensor noise.
ImageBuffer busyPicture() {
    synthetic::ClipOptions options;
    options.frames = 1;
    options.shapes = 8;
    options.noise = 2;
    options.seed = 3;
    return synthetic::movingShapesClip(options).front();
}

struct Encoded {
    double psnr = 0;
    size_t bytes = 0;
};

Encoded encodeAndMeasure(JpegFormat& jpeg, const ImageBuffer& picture) {
    std::string bytes;
    EXPECT_TRUE(jpeg.encodeBytes(picture, bytes));
    ImagePtr back = decodeJpeg(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_TRUE(back);
    return {back ? synthetic::psnr(*back, picture) : 0.0, bytes.size()};
}

// The frame marker of an encoded file: 0xC0 baseline, 0xC2 progressive.
int frameMarker(const std::string& bytes) {
    for (size_t i = 2; i + 1 < bytes.size(); ++i)
        if (uint8_t(bytes[i]) == 0xFF && (uint8_t(bytes[i + 1]) == 0xC0 || uint8_t(bytes[i + 1]) == 0xC2))
            return uint8_t(bytes[i + 1]);
    return 0;
}

TEST(PsnrTablesTest, EveryQualityGivesBaselineTablesThatGetFinerWithQuality) {
    JpegQuantTables previous = psnrQuantTables(0);
    for (uint8_t v : previous.luma)
        EXPECT_EQ(v, 255);
    for (int q = 0; q <= 100; ++q) {
        const JpegQuantTables t = psnrQuantTables(q);
        for (size_t k = 0; k < 64; ++k) {
            ASSERT_GE(t.luma[k], 1) << "quality " << q;
            ASSERT_GE(t.chroma[k], t.luma[k]) << "quality " << q << " entry " << k;
            ASSERT_LE(t.luma[k], previous.luma[k]) << "quality " << q << " entry " << k;
            ASSERT_LE(t.chroma[k], previous.chroma[k]) << "quality " << q << " entry " << k;
            // Steps never shrink towards higher frequencies, along rows and columns.
            if (k % 8 != 7) {
                ASSERT_LE(t.luma[k], t.luma[k + 1]) << "quality " << q << " entry " << k;
            }
            if (k < 56) {
                ASSERT_LE(t.luma[k], t.luma[k + 8]) << "quality " << q << " entry " << k;
            }
        }
        // Nearly flat: the finest and the coarsest luminance step stay within
        // 2.5 times of each other, where the standard table spans 12 times.
        EXPECT_LE(double(t.luma[63]), 2.5 * double(t.luma[0])) << "quality " << q;
        if (q > 0) {
            EXPECT_LE(psnrTableStep(q), psnrTableStep(q - 1)) << "quality " << q;
        }
        previous = t;
    }
    // Quality 100 quantises nothing away that 8-bit tables can keep.
    for (size_t k = 0; k < 64; ++k) {
        EXPECT_EQ(psnrQuantTables(100).luma[k], 1);
        EXPECT_EQ(psnrQuantTables(100).chroma[k], 1);
    }
    // Qualities outside 0-100 are held to it.
    EXPECT_EQ(psnrQuantTables(-20).luma, psnrQuantTables(0).luma);
    EXPECT_EQ(psnrQuantTables(250).chroma, psnrQuantTables(100).chroma);
    // Between fitted qualities the step lies between theirs.
    EXPECT_LT(psnrTableStep(77), psnrTableStep(75));
    EXPECT_GT(psnrTableStep(77), psnrTableStep(80));
}

TEST(PsnrTablesTest, WrittenFilesCarryTheTablesInOneBaselineScan) {
    const ImageBuffer picture = busyPicture();
    for (int q : {-5, 0, 50, 75, 100, 120}) {
        JpegFormat jpeg;
        usePsnrTables(jpeg, q);
        EXPECT_EQ(jpeg.quality, std::clamp(q, 0, 100));
        ASSERT_TRUE(jpeg.tables);
        EXPECT_EQ(jpeg.tables->luma, psnrQuantTables(q).luma);
        EXPECT_EQ(jpeg.tables->chroma, psnrQuantTables(q).chroma);
        std::string bytes;
        ASSERT_TRUE(jpeg.encodeBytes(picture, bytes));
        EXPECT_EQ(frameMarker(bytes), 0xC0) << "quality " << q;
        // The first table of the file is the luminance table, in zig-zag
        // order: its first two entries are (0, 0) and (1, 0).
        const size_t dqt = bytes.find("\xFF\xDB");
        ASSERT_NE(dqt, std::string::npos);
        EXPECT_EQ(uint8_t(bytes[dqt + 5]), jpeg.tables->luma[0]);
        EXPECT_EQ(uint8_t(bytes[dqt + 6]), jpeg.tables->luma[1]);
    }
}

TEST(PsnrTablesTest, SameQualityKeepsThePictureErrorInFewerBytes) {
    const ImageBuffer picture = busyPicture();
    for (int q : {30, 50, 75, 90}) {
        JpegFormat standard;
        standard.quality = q;
        JpegFormat tuned;
        usePsnrTables(tuned, q);
        const Encoded s = encodeAndMeasure(standard, picture);
        const Encoded t = encodeAndMeasure(tuned, picture);
        // About the PSNR the quality stood for ...
        EXPECT_NEAR(t.psnr, s.psnr, 1.0) << "quality " << q;
        // ... and, at no less PSNR, clearly fewer bytes; where the tuned
        // tables land lower, fewer bytes by more than the PSNR difference
        // could buy (about 12 % a dB at these qualities).
        const double slack = t.psnr >= s.psnr ? 1.0 : 1.0 - 0.12 * (s.psnr - t.psnr);
        EXPECT_LT(double(t.bytes), 0.95 * slack * double(s.bytes))
            << "quality " << q << ": " << t.bytes << " bytes at " << t.psnr << " dB against " << s.bytes
            << " bytes at " << s.psnr << " dB";
    }
}

}  // namespace
}  // namespace veltro
