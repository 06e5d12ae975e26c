// The QuickTime source: sample counting, the rate rule, frames located by
// proportional time (uneven sample durations) over the picture's own span,
// pictures held at the end, and damaged files.
#include "movie/quick_time_movie.h"

#include <gtest/gtest.h>

#include "movie/ffmpeg_test_fixtures.h"

namespace veltro {
namespace {

class QuickTimeMovieTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dir = fixtures::scratchDirectory("mov"); }
    static std::string path(const std::string& name) { return dir + "/" + name; }
    static MovieReaderPtr openMov(const std::string& file) {
        return QuickTimeMovieFormat().open(file);
    }
    static inline std::string dir;
};

fixtures::ClipSpec movClip(const std::string& file) {
    fixtures::ClipSpec spec;
    spec.path = file;
    spec.codec = AV_CODEC_ID_MJPEG;
    spec.pixelFormat = AV_PIX_FMT_YUVJ420P;
    return spec;
}

TEST_F(QuickTimeMovieTest, TenEqualSamplesGiveTenFramesAtElevenOverTheDuration) {
    fixtures::ClipSpec spec = movClip(path("ten.mov"));
    spec.frames = 10;
    spec.rate = {10, 1};
    ASSERT_TRUE(fixtures::writeClip(spec));
    MovieReaderPtr reader = openMov(spec.path);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameCount, 10);
    // 10 samples of 0.1 s: (10 + 1) / 1.0 s.
    EXPECT_NEAR(reader->frameRate, 11.0, 1e-6);
    for (int n : {9, 0, 5, 4, 9, 1})
        EXPECT_EQ(fixtures::readCode(*reader->frameAt(n)), n);

    // At 30 per second the movie header rounds 1/3 s up to 0.334 s; the last
    // sample still keeps its frame.
    spec.path = path("ten30.mov");
    spec.rate = {30, 1};
    ASSERT_TRUE(fixtures::writeClip(spec));
    reader = openMov(spec.path);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameCount, 10);
    EXPECT_NEAR(reader->frameRate, 33.0, 1e-6);
    EXPECT_EQ(fixtures::readCode(*reader->frameAt(9)), 9);
}

TEST_F(QuickTimeMovieTest, UnevenSamplesAreLocatedByProportionalTime) {
    // Sample times in 1/100 s; the last sample lasts 10, so the movie lasts
    // 110 and frame i of 10 is the first sample at or after 11 i.
    fixtures::ClipSpec spec = movClip(path("uneven.mov"));
    spec.frames = 10;
    spec.times = {0, 5, 10, 15, 20, 25, 30, 35, 40, 100};
    spec.timeScale = 100;
    spec.lastDuration = 10;
    ASSERT_TRUE(fixtures::writeClip(spec));
    MovieReaderPtr reader = openMov(spec.path);
    ASSERT_TRUE(reader);
    ASSERT_EQ(reader->frameCount, 10);
    EXPECT_NEAR(reader->frameRate, 11 / 1.1, 1e-6);
    const int expectedSample[10] = {0, 3, 5, 7, 9, 9, 9, 9, 9, 9};
    for (int n = 9; n >= 0; --n) {
        const ImageBuffer* image = reader->frameAt(n);
        ASSERT_NE(image, nullptr) << n;
        EXPECT_EQ(fixtures::readCode(*image), expectedSample[n]) << "frame " << n;
    }
    EXPECT_EQ(fixtures::readCode(*reader->frameAt(9)), 9);
    EXPECT_EQ(reader->frameAt(10), nullptr);
    EXPECT_EQ(reader->frameAt(-1), nullptr);
}

TEST_F(QuickTimeMovieTest, SoundThatOutlastsThePictureLosesNoFrame) {
    // Ten video samples of 0.1 s in a movie that an audio track makes
    // 1.04 s long: frame numbers are spread over the picture's 1.0 s, so
    // every sample keeps its frame.
    fixtures::ClipSpec spec = movClip(path("long_audio.mov"));
    spec.frames = 10;
    spec.rate = {10, 1};
    spec.audioStreamsFirst = 1;
    spec.audioSamples = 8320;
    ASSERT_TRUE(fixtures::writeClip(spec));
    MovieReaderPtr reader = openMov(spec.path);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameCount, 10);
    EXPECT_NEAR(reader->frameRate, 11.0, 1e-3);
    for (int n = 9; n >= 0; --n)
        EXPECT_EQ(fixtures::readCode(*reader->frameAt(n)), n) << "frame " << n;
}

TEST_F(QuickTimeMovieTest, APictureHeldAtTheEndKeepsEveryFrame) {
    // Ten samples 1/10 s apart, the last held for 0.9 s: the movie lasts
    // 1.8 s and frame i of 10 falls at 0.18 i s. Frames from 1.08 s on lie
    // inside the held picture and show it; none is dropped.
    fixtures::ClipSpec spec = movClip(path("held.mov"));
    spec.frames = 10;
    spec.times = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90};
    spec.timeScale = 100;
    spec.lastDuration = 90;
    ASSERT_TRUE(fixtures::writeClip(spec));
    MovieReaderPtr reader = openMov(spec.path);
    ASSERT_TRUE(reader);
    ASSERT_EQ(reader->frameCount, 10);
    EXPECT_NEAR(reader->frameRate, 11 / 1.8, 1e-3);
    const int expectedSample[10] = {0, 2, 4, 6, 8, 9, 9, 9, 9, 9};
    for (int n = 0; n < 10; ++n)
        EXPECT_EQ(fixtures::readCode(*reader->frameAt(n)), expectedSample[n]) << "frame " << n;
    EXPECT_EQ(reader->frameAt(10), nullptr);
}

TEST_F(QuickTimeMovieTest, FilesThatAreNotQuickTimeMoviesFailToOpen) {
    fixtures::writeBytes(path("empty.mov"), "");
    EXPECT_FALSE(openMov(path("empty.mov")));
    fixtures::writeBytes(path("text.mov"), "moov? no, just text\n");
    EXPECT_FALSE(openMov(path("text.mov")));

    fixtures::ClipSpec avi = movClip(path("really_avi.mov"));
    avi.container = "avi";
    ASSERT_TRUE(fixtures::writeClip(avi));
    EXPECT_FALSE(openMov(avi.path));

    // The index comes last, so cutting the movie loses it.
    fixtures::ClipSpec spec = movClip(path("whole.mov"));
    ASSERT_TRUE(fixtures::writeClip(spec));
    const std::string cut = path("cut.mov");
    std::filesystem::copy_file(spec.path, cut, std::filesystem::copy_options::overwrite_existing);
    fixtures::truncateFile(cut, fixtures::fileSize(spec.path) - 40);
    if (MovieReaderPtr reader = openMov(cut)) {
        for (int n = 0; n < reader->frameCount; ++n)
            reader->frameAt(n);
    }
}

}  // namespace
}  // namespace veltro
