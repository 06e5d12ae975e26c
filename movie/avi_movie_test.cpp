// The AVI source: raw 24-, 16- and 8-bit samples converted by the bitmap
// rules, compressed streams decoded exactly by frame index, the stream rules
// (last video stream of the first ten, audio ignored) and damaged files.
#include "movie/avi_movie.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "movie/ffmpeg_test_fixtures.h"

namespace veltro {
namespace {

using fixtures::RawAviSpec;

class AviMovieTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dir = fixtures::scratchDirectory("avi"); }
    static std::string path(const std::string& name) { return dir + "/" + name; }

    static MovieReaderPtr openAvi(const std::string& file) { return AviMovieFormat().open(file); }

    static inline std::string dir;
};

// One raw sample: rows padded to four bytes with 0xEE (never pixel data),
// written bottom row first when bottomUp; pixel(x, y, out) fills the bytes of
// picture pixel (x, y), y counted from the top.
std::vector<uint8_t> rawSample(const RawAviSpec& spec,
                               const std::function<void(int, int, uint8_t*)>& pixel) {
    const size_t bytesPerPixel = spec.bitCount / 8;
    const size_t rowBytes = (spec.width * bytesPerPixel + 3) & ~size_t{3};
    std::vector<uint8_t> bytes(rowBytes * spec.height, 0xEE);
    for (int y = 0; y < spec.height; ++y) {
        const int fileRow = spec.bottomUp ? spec.height - 1 - y : y;
        for (int x = 0; x < spec.width; ++x)
            pixel(x, y, &bytes[fileRow * rowBytes + x * bytesPerPixel]);
    }
    return bytes;
}

uint32_t expected24(int x, int y, int n) {
    const uint32_t r = (n * 20 + x) & 255, g = (y * 5) & 255, b = (x * 4 + n) & 255;
    return 0xFF000000u | r << 16 | g << 8 | b;
}

RawAviSpec spec24(const std::string& file, int width, bool bottomUp) {
    RawAviSpec spec;
    spec.path = file;
    spec.width = width;
    spec.bitCount = 24;
    spec.bottomUp = bottomUp;
    spec.sample = [spec](int n) mutable {
        return rawSample(spec, [n](int x, int y, uint8_t* out) {
            const uint32_t p = expected24(x, y, n);
            out[0] = p & 255;  // B, G, R
            out[1] = (p >> 8) & 255;
            out[2] = (p >> 16) & 255;
        });
    };
    return spec;
}

void expectPicture(const ImageBuffer* image, int width, int height,
                   const std::function<uint32_t(int, int)>& expected, const std::string& what) {
    ASSERT_NE(image, nullptr) << what;
    ASSERT_EQ(image->width, width) << what;
    ASSERT_EQ(image->height, height) << what;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(image->at(x, y), expected(x, y)) << what << " at " << x << "," << y;
}

TEST_F(AviMovieTest, Raw24BitRowsConvertExactlyAtAWidthNotDivisibleByFour) {
    for (bool bottomUp : {true, false}) {
        const std::string file = path(bottomUp ? "raw24_up.avi" : "raw24_down.avi");
        RawAviSpec spec = spec24(file, 65, bottomUp);
        ASSERT_TRUE(fixtures::writeRawAvi(spec));
        MovieReaderPtr reader = openAvi(file);
        ASSERT_TRUE(reader);
        EXPECT_EQ(reader->frameCount, 12);
        EXPECT_DOUBLE_EQ(reader->frameRate, 30.0);
        ASSERT_TRUE(reader->frame);
        EXPECT_EQ(reader->frame->width, 65);
        EXPECT_EQ(reader->frame->height, 48);
        for (int n : {0, 7, 3, 11, 4, 5}) {
            const ImageBuffer* image = reader->frameAt(n);
            EXPECT_EQ(image, reader->frame.get());
            expectPicture(image, 65, 48, [n](int x, int y) { return expected24(x, y, n); },
                          file + " frame " + std::to_string(n));
        }
    }
}

TEST_F(AviMovieTest, Raw16BitSamplesKeepFiveBitsPerChannelAndIgnoreTheTopBit) {
    RawAviSpec spec;
    spec.path = path("raw16.avi");
    spec.width = 63;
    spec.bitCount = 16;
    auto word = [](int x, int y, int n) {
        return static_cast<uint16_t>(((x + n) & 31) << 10 | (y & 31) << 5 | ((x * y + n) & 31) |
                                     (x & 1) << 15);
    };
    spec.sample = [spec, word](int n) {
        return rawSample(spec, [&](int x, int y, uint8_t* out) {
            const uint16_t v = word(x, y, n);
            out[0] = v & 255;
            out[1] = v >> 8;
        });
    };
    ASSERT_TRUE(fixtures::writeRawAvi(spec));
    MovieReaderPtr reader = openAvi(spec.path);
    ASSERT_TRUE(reader);
    for (int n : {5, 0, 11}) {
        expectPicture(reader->frameAt(n), 63, 48,
                      [n](int x, int y) {
                          const uint32_t r = ((x + n) & 31) << 3, g = (y & 31) << 3,
                                         b = ((x * y + n) & 31) << 3;
                          return 0xFF000000u | r << 16 | g << 8 | b;
                      },
                      "16-bit frame " + std::to_string(n));
    }
}

std::vector<uint32_t> testPalette() {
    std::vector<uint32_t> palette(256);
    for (uint32_t i = 0; i < 256; ++i)
        palette[i] = ((i * 7) & 255) << 16 | (255 - i) << 8 | ((i * 13) & 255);
    return palette;
}

RawAviSpec spec8(const std::string& file, int entries) {
    RawAviSpec spec;
    spec.path = file;
    spec.width = 61;
    spec.bitCount = 8;
    spec.palette = testPalette();
    spec.paletteEntries = entries;
    spec.sample = [spec](int n) {
        return rawSample(spec, [n](int x, int y, uint8_t* out) { *out = (x + y * 3 + n) & 255; });
    };
    return spec;
}

TEST_F(AviMovieTest, Raw8BitSamplesUseTheWholeColourTable) {
    RawAviSpec spec = spec8(path("raw8.avi"), 256);
    ASSERT_TRUE(fixtures::writeRawAvi(spec));
    MovieReaderPtr reader = openAvi(spec.path);
    ASSERT_TRUE(reader);
    const std::vector<uint32_t> palette = testPalette();
    for (int n : {9, 2}) {
        expectPicture(reader->frameAt(n), 61, 48,
                      [&](int x, int y) { return 0xFF000000u | palette[(x + y * 3 + n) & 255]; },
                      "8-bit frame " + std::to_string(n));
    }
}

TEST_F(AviMovieTest, Raw8BitIndexesBeyondAShortColourTableReadAsIndexZero) {
    RawAviSpec spec = spec8(path("raw8_short.avi"), 16);
    ASSERT_TRUE(fixtures::writeRawAvi(spec));
    MovieReaderPtr reader = openAvi(spec.path);
    ASSERT_TRUE(reader);
    const std::vector<uint32_t> palette = testPalette();
    expectPicture(reader->frameAt(1), 61, 48,
                  [&](int x, int y) {
                      const int index = (x + y * 3 + 1) & 255;
                      return 0xFF000000u | palette[index < 16 ? index : 0];
                  },
                  "short table");
}

TEST_F(AviMovieTest, FramesPastTheEndGiveNoneAndLeaveThePreviousPicture) {
    RawAviSpec spec = spec24(path("end.avi"), 32, true);
    ASSERT_TRUE(fixtures::writeRawAvi(spec));
    MovieReaderPtr reader = openAvi(spec.path);
    ASSERT_TRUE(reader);
    ASSERT_TRUE(reader->frameAt(4));
    const std::vector<uint32_t> before = reader->frame->pixels;
    EXPECT_EQ(reader->frameAt(reader->frameCount), nullptr);
    EXPECT_EQ(reader->frameAt(-1), nullptr);
    EXPECT_EQ(reader->frameAt(1 << 30), nullptr);
    EXPECT_EQ(reader->frame->pixels, before);
}

TEST_F(AviMovieTest, OpeningAgainReplacesTheClip) {
    RawAviSpec first = spec24(path("first.avi"), 32, true);
    RawAviSpec second = spec24(path("second.avi"), 20, false);
    second.frames = 3;
    ASSERT_TRUE(fixtures::writeRawAvi(first));
    ASSERT_TRUE(fixtures::writeRawAvi(second));
    AviMovieReader reader;
    ASSERT_TRUE(reader.open(first.path));
    ASSERT_TRUE(reader.frameAt(8));
    ASSERT_TRUE(reader.open(second.path));
    EXPECT_EQ(reader.frameCount, 3);
    EXPECT_EQ(reader.frame->width, 20);
    expectPicture(reader.frameAt(2), 20, 48, [](int x, int y) { return expected24(x, y, 2); },
                  "reopened");
    EXPECT_FALSE(reader.open(path("missing.avi")));
    EXPECT_EQ(reader.frameAt(0), nullptr);
}

TEST_F(AviMovieTest, ALengthThatLiesIsCutToTheSamplesTheFileHolds) {
    RawAviSpec spec = spec24(path("liar.avi"), 32, true);
    ASSERT_TRUE(fixtures::writeRawAvi(spec));
    ASSERT_TRUE(fixtures::patchAviVideoLength(spec.path, 1000000));
    MovieReaderPtr reader = openAvi(spec.path);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameCount, 12);
    EXPECT_TRUE(reader->frameAt(11));
    EXPECT_EQ(reader->frameAt(12), nullptr);

    // A shorter claim is kept: frames past it are not offered.
    ASSERT_TRUE(fixtures::patchAviVideoLength(spec.path, 5));
    reader = openAvi(spec.path);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameCount, 5);
    EXPECT_EQ(reader->frameAt(5), nullptr);
}

TEST_F(AviMovieTest, AStreamWhoseFramesTakeNoMillisecondHasRateZero) {
    RawAviSpec spec = spec24(path("instant.avi"), 16, true);
    ASSERT_TRUE(fixtures::writeRawAvi(spec));
    // Ten million samples a second: twelve of them last 1.2 microseconds.
    ASSERT_TRUE(fixtures::patchAviVideoRate(spec.path, 1, 10000000));
    MovieReaderPtr reader = openAvi(spec.path);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameCount, 12);
    EXPECT_EQ(reader->frameRate, 0.0);
    expectPicture(reader->frameAt(11), 16, 48, [](int x, int y) { return expected24(x, y, 11); },
                  "instant frame 11");

    // 12 samples at 1001/30000 s last 400 ms: 12 x 1000 / 400.
    ASSERT_TRUE(fixtures::patchAviVideoRate(spec.path, 1001, 30000));
    reader = openAvi(spec.path);
    ASSERT_TRUE(reader);
    EXPECT_DOUBLE_EQ(reader->frameRate, 30.0);
}

fixtures::ClipSpec mjpegAvi(const std::string& file) {
    fixtures::ClipSpec spec;
    spec.path = file;
    spec.codec = AV_CODEC_ID_MJPEG;
    spec.pixelFormat = AV_PIX_FMT_YUVJ420P;
    return spec;
}

void expectEveryFrameInShuffledOrder(MovieReader& reader, int frames) {
    std::vector<int> order(frames);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    for (int n : order) {
        const ImageBuffer* image = reader.frameAt(n);
        ASSERT_NE(image, nullptr) << "frame " << n;
        EXPECT_EQ(fixtures::readCode(*image), n);
    }
}

TEST_F(AviMovieTest, MotionJpegFramesComeBackByIndexInAnyOrder) {
    fixtures::ClipSpec spec = mjpegAvi(path("mjpeg.avi"));
    ASSERT_TRUE(fixtures::writeClip(spec));
    MovieReaderPtr reader = openAvi(spec.path);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameCount, 30);
    EXPECT_DOUBLE_EQ(reader->frameRate, 30.0);
    expectEveryFrameInShuffledOrder(*reader, 30);
}

// MPEG-4 Part 2 as DivX and XviD wrote it for Video for Windows: a P-frame
// and the B-frame shown before it share one sample, and a near-empty
// placeholder sample follows ("packed B-frames").
TEST_F(AviMovieTest, PackedMpeg4BFramesGiveEverySampleItsOwnPicture) {
    for (int bFrames : {1, 2}) {
        SCOPED_TRACE(bFrames);
        fixtures::ClipSpec spec;
        spec.path = path("packed" + std::to_string(bFrames) + ".avi");
        spec.codec = AV_CODEC_ID_MPEG4;
        spec.pixelFormat = AV_PIX_FMT_YUV420P;
        spec.gop = 12;
        spec.bFrames = bFrames;
        ASSERT_TRUE(fixtures::writePackedMpeg4Avi(spec));
        MovieReaderPtr reader = openAvi(spec.path);
        ASSERT_TRUE(reader);
        EXPECT_EQ(reader->frameCount, 30);
        EXPECT_DOUBLE_EQ(reader->frameRate, 30.0);
        expectEveryFrameInShuffledOrder(*reader, 30);
        for (int n : {29, 0, 14, 13, 12, 27, 28}) {
            MovieReaderPtr fresh = openAvi(spec.path);
            ASSERT_TRUE(fresh);
            const ImageBuffer* image = fresh->frameAt(n);
            ASSERT_NE(image, nullptr) << "frame " << n;
            EXPECT_EQ(fixtures::readCode(*image), n);
        }
    }
}

TEST_F(AviMovieTest, AnAudioStreamBeforeTheVideoIsIgnored) {
    fixtures::ClipSpec spec = mjpegAvi(path("audio_first.avi"));
    spec.audioStreamsFirst = 1;
    ASSERT_TRUE(fixtures::writeClip(spec));
    MovieReaderPtr reader = openAvi(spec.path);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameCount, 30);
    expectEveryFrameInShuffledOrder(*reader, 30);
}

TEST_F(AviMovieTest, AVideoStreamPastTheTenthIsNeverExamined) {
    fixtures::ClipSpec spec = mjpegAvi(path("eleven.avi"));
    spec.frames = 3;
    spec.audioStreamsFirst = 10;
    ASSERT_TRUE(fixtures::writeClip(spec));
    EXPECT_FALSE(openAvi(spec.path));

    spec.path = path("tenth.avi");
    spec.audioStreamsFirst = 9;
    ASSERT_TRUE(fixtures::writeClip(spec));
    EXPECT_TRUE(openAvi(spec.path));
}

TEST_F(AviMovieTest, FilesThatAreNotUsableAviFailToOpen) {
    fixtures::writeBytes(path("empty.avi"), "");
    EXPECT_FALSE(openAvi(path("empty.avi")));
    fixtures::writeBytes(path("text.avi"), "This is a text file, not a movie.\n");
    EXPECT_FALSE(openAvi(path("text.avi")));
    EXPECT_FALSE(openAvi(path("missing.avi")));

    // An MPEG program stream named .avi is not an AVI file.
    fixtures::ClipSpec mpeg;
    mpeg.path = path("mpeg.avi");
    mpeg.container = "mpeg";
    mpeg.codec = AV_CODEC_ID_MPEG1VIDEO;
    mpeg.pixelFormat = AV_PIX_FMT_YUV420P;
    ASSERT_TRUE(fixtures::writeClip(mpeg));
    EXPECT_FALSE(openAvi(mpeg.path));
}

TEST_F(AviMovieTest, TruncatedFilesGiveTheirIntactFramesOrNone) {
    fixtures::ClipSpec spec = mjpegAvi(path("whole.avi"));
    ASSERT_TRUE(fixtures::writeClip(spec));
    const size_t size = fixtures::fileSize(spec.path);
    for (size_t keep : {size_t{100}, size / 3, size / 2, size - 200}) {
        const std::string cut = path("cut" + std::to_string(keep) + ".avi");
        std::filesystem::copy_file(spec.path, cut, std::filesystem::copy_options::overwrite_existing);
        fixtures::truncateFile(cut, keep);
        MovieReaderPtr reader = openAvi(cut);
        // Once the headers are whole the file opens and keeps most frames.
        if (keep >= size / 2) {
            ASSERT_TRUE(reader) << cut;
        }
        if (!reader)
            continue;
        int delivered = 0;
        for (int n = reader->frameCount - 1; n >= 0; --n) {
            if (const ImageBuffer* image = reader->frameAt(n)) {
                EXPECT_EQ(fixtures::readCode(*image), n) << cut;
                ++delivered;
            }
        }
        if (keep >= size / 2) {
            EXPECT_GE(delivered, 5) << cut;
        }
    }
}

}  // namespace
}  // namespace veltro
