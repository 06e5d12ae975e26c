// The exact-seek source behind the DirectShow and video-file formats: every
// frame index gives its own picture (never a neighbour) in any order, over
// MPEG-1 with B-frames, H.264 MP4, VP8 and VP9 WebM and MJPEG AVI, plus the
// frame size cap and damaged files.
#include "movie/direct_show_movie.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "movie/ffmpeg_test_fixtures.h"
#include "movie/video_file_movie.h"

namespace veltro {
namespace {

class DirectShowMovieTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dir = fixtures::scratchDirectory("exact"); }
    static std::string path(const std::string& name) { return dir + "/" + name; }
    static MovieReaderPtr openExact(const std::string& file) {
        return DirectShowMovieFormat().open(file);
    }
    static inline std::string dir;
};

fixtures::ClipSpec clip(const std::string& file, AVCodecID codec, AVPixelFormat format) {
    fixtures::ClipSpec spec;
    spec.path = file;
    spec.codec = codec;
    spec.pixelFormat = format;
    return spec;
}

fixtures::ClipSpec mpeg1(const std::string& file) {
    fixtures::ClipSpec spec = clip(file, AV_CODEC_ID_MPEG1VIDEO, AV_PIX_FMT_YUV420P);
    spec.container = "mpeg";
    spec.gop = 12;
    spec.bFrames = 2;
    return spec;
}

fixtures::ClipSpec h264(const std::string& file) {
    fixtures::ClipSpec spec = clip(file, AV_CODEC_ID_H264, AV_PIX_FMT_YUV420P);
    spec.gop = 12;
    spec.bFrames = 3;
    spec.options = {{"preset", "veryfast"}, {"tune", "zerolatency"}};
    // zerolatency turns B-frames off; put them back so frames are reordered.
    spec.options.push_back({"x264-params", "bframes=3:b-pyramid=normal"});
    return spec;
}

// Asks for every frame in three orders (shuffled, forwards, backwards) and
// checks each picture's bar code.
void expectExactFrames(MovieReader& reader, int frames, const std::string& what) {
    ASSERT_EQ(reader.frameCount, frames) << what;
    std::vector<int> order(frames);
    std::iota(order.begin(), order.end(), 0);
    std::vector<int> all = order;
    std::shuffle(order.begin(), order.end(), std::mt19937(11));
    all.insert(all.begin(), order.begin(), order.end());
    all.insert(all.end(), order.rbegin(), order.rend());
    for (int i = frames - 1; i >= 0; --i)
        all.push_back(i);
    for (int n : all) {
        const ImageBuffer* image = reader.frameAt(n);
        ASSERT_NE(image, nullptr) << what << " frame " << n;
        ASSERT_EQ(fixtures::readCode(*image), n) << what;
    }
}

TEST_F(DirectShowMovieTest, Mpeg1ProgramStreamWithBFramesGivesEveryFrameExactly) {
    fixtures::ClipSpec spec = mpeg1(path("clip.mpg"));
    ASSERT_TRUE(fixtures::writeClip(spec));
    MovieReaderPtr reader = openExact(spec.path);
    ASSERT_TRUE(reader);
    EXPECT_DOUBLE_EQ(reader->frameRate, 30.0);
    expectExactFrames(*reader, 30, "mpeg-1");
}

// A bare MPEG-1 video stream (no program stream around it, as some ".mpg"
// files are) times its first picture only when read from the start.
TEST_F(DirectShowMovieTest, Mpeg1ElementaryStreamGivesEveryFrameExactly) {
    fixtures::ClipSpec spec = mpeg1(path("elementary.mpg"));
    spec.container = "mpeg1video";
    ASSERT_TRUE(fixtures::writeClip(spec));
    for (int n : {0, 29, 13}) {
        MovieReaderPtr fresh = openExact(spec.path);
        ASSERT_TRUE(fresh);
        const ImageBuffer* image = fresh->frameAt(n);
        ASSERT_NE(image, nullptr) << "frame " << n;
        EXPECT_EQ(fixtures::readCode(*image), n);
    }
    MovieReaderPtr reader = openExact(spec.path);
    ASSERT_TRUE(reader);
    expectExactFrames(*reader, 30, "mpeg-1 elementary stream");
}

TEST_F(DirectShowMovieTest, H264WithReorderedFramesGivesEveryFrameExactly) {
    fixtures::ClipSpec spec = h264(path("clip.mp4"));
    ASSERT_TRUE(fixtures::writeClip(spec));
    MovieReaderPtr reader = VideoFileMovieFormat().open(spec.path);
    ASSERT_TRUE(reader);
    EXPECT_DOUBLE_EQ(reader->frameRate, 30.0);
    expectExactFrames(*reader, 30, "h264 mp4");

    // The same stream in Matroska (cues index key frames only).
    spec.path = path("clip.mkv");
    ASSERT_TRUE(fixtures::writeClip(spec));
    reader = VideoFileMovieFormat().open(spec.path);
    ASSERT_TRUE(reader);
    expectExactFrames(*reader, 30, "h264 mkv");
}

TEST_F(DirectShowMovieTest, Vp8AndVp9WebmGiveEveryFrameExactly) {
    for (AVCodecID codec : {AV_CODEC_ID_VP8, AV_CODEC_ID_VP9}) {
        fixtures::ClipSpec spec = clip(path(codec == AV_CODEC_ID_VP8 ? "vp8.webm" : "vp9.webm"),
                                       codec, AV_PIX_FMT_YUV420P);
        spec.gop = 10;
        spec.options = {{"deadline", "realtime"}, {"cpu-used", "8"}, {"crf", "10"}, {"b", "1M"}};
        ASSERT_TRUE(fixtures::writeClip(spec)) << spec.path;
        MovieReaderPtr reader = VideoFileMovieFormat().open(spec.path);
        ASSERT_TRUE(reader) << spec.path;
        expectExactFrames(*reader, 30, spec.path);
    }
}

// Ogg gives Theora no average frame rate; the stream's own rate (from the
// Theora header's frame rate, the stream time base) stands in.
TEST_F(DirectShowMovieTest, TheoraInOggTakesItsRateFromTheStream) {
    for (AVRational rate : {AVRational{15, 1}, AVRational{30000, 1001}}) {
        fixtures::ClipSpec spec = clip(path("theora" + std::to_string(rate.num) + ".ogv"),
                                       AV_CODEC_ID_THEORA, AV_PIX_FMT_YUV420P);
        spec.rate = rate;
        spec.options = {{"q", "10"}};
        ASSERT_TRUE(fixtures::writeClip(spec)) << spec.path;
        MovieReaderPtr reader = VideoFileMovieFormat().open(spec.path);
        ASSERT_TRUE(reader);
        EXPECT_NEAR(reader->frameRate, av_q2d(rate), 1e-9) << spec.path;
        expectExactFrames(*reader, 30, spec.path);
    }
}

TEST_F(DirectShowMovieTest, AnOddWidthConvertsWithoutShearing) {
    fixtures::ClipSpec spec = clip(path("odd.avi"), AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ444P);
    spec.width = 67;
    spec.height = 37;
    ASSERT_TRUE(fixtures::writeClip(spec));
    MovieReaderPtr reader = openExact(spec.path);
    ASSERT_TRUE(reader);
    ASSERT_EQ(reader->frame->width, 67);
    ASSERT_EQ(reader->frame->height, 37);
    expectExactFrames(*reader, 30, "odd width");
}

// 4:2:0 pictures whose width is not a multiple of 16 (322 and the common
// 854) must be converted up to their last column, not left white there.
TEST_F(DirectShowMovieTest, SubsampledPicturesConvertUpToTheLastColumn) {
    for (int width : {322, 854}) {
        fixtures::ClipSpec spec = clip(path("wide" + std::to_string(width) + ".mp4"), AV_CODEC_ID_H264,
                                       AV_PIX_FMT_YUV420P);
        spec.width = width;
        spec.height = 48;
        spec.frames = 2;
        spec.options = {{"preset", "veryfast"}};
        ASSERT_TRUE(fixtures::writeClip(spec));
        MovieReaderPtr reader = openExact(spec.path);
        ASSERT_TRUE(reader);
        const ImageBuffer* image = reader->frameAt(0);
        ASSERT_TRUE(image);
        for (int x = width - 8; x < width; ++x) {
            const uint32_t top = image->at(x, 4);
            const uint32_t bottom = image->at(x, 43);
            EXPECT_GE((top >> 16) & 0xFF, 160u) << width << " column " << x;
            EXPECT_LE(top & 0xFF, 96u) << width << " column " << x;
            EXPECT_LE((bottom >> 16) & 0xFF, 96u) << width << " column " << x;
            EXPECT_GE(bottom & 0xFF, 160u) << width << " column " << x;
        }
    }
}

TEST_F(DirectShowMovieTest, IndexesOutsideTheClipGiveNoneAndLeaveTheBuffer) {
    fixtures::ClipSpec spec = mpeg1(path("bounds.mpg"));
    spec.frames = 8;
    ASSERT_TRUE(fixtures::writeClip(spec));
    MovieReaderPtr reader = openExact(spec.path);
    ASSERT_TRUE(reader);
    ASSERT_TRUE(reader->frameAt(3));
    const std::vector<uint32_t> before = reader->frame->pixels;
    EXPECT_EQ(reader->frameAt(reader->frameCount), nullptr);
    EXPECT_EQ(reader->frameAt(-1), nullptr);
    EXPECT_EQ(reader->frame->pixels, before);
    EXPECT_EQ(fixtures::readCode(*reader->frameAt(7)), 7);
}

TEST_F(DirectShowMovieTest, FramesLargerThanTheCapAreRefused) {
    fixtures::ClipSpec spec = clip(path("wide.avi"), AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P);
    spec.width = 8200;
    spec.height = 16;
    spec.frames = 1;
    ASSERT_TRUE(fixtures::writeClip(spec));
    EXPECT_FALSE(openExact(spec.path));

    spec.path = path("widest.avi");
    spec.width = 8192;
    ASSERT_TRUE(fixtures::writeClip(spec));
    EXPECT_TRUE(openExact(spec.path));
}

TEST_F(DirectShowMovieTest, PathsAlwaysNameLocalFiles) {
    // "data:" would be FFmpeg's data-URI protocol; here it is part of a
    // relative file name.
    fixtures::ClipSpec spec = mpeg1(path("protocol.mpg"));
    spec.frames = 4;
    ASSERT_TRUE(fixtures::writeClip(spec));
    std::filesystem::rename(spec.path, path("data:clip.mpg"));
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    MovieReaderPtr reader = openExact("data:clip.mpg");
    std::filesystem::current_path(previous);
    ASSERT_TRUE(reader);
    EXPECT_EQ(fixtures::readCode(*reader->frameAt(3)), 3);
    // A URL is only a strange file name, and no such file exists.
    EXPECT_FALSE(openExact("http://127.0.0.1:9/clip.mpg"));
}

TEST_F(DirectShowMovieTest, DamagedFilesFailCleanly) {
    fixtures::writeBytes(path("empty.mpg"), "");
    EXPECT_FALSE(openExact(path("empty.mpg")));
    fixtures::writeBytes(path("text.mpg"), "not a movie at all\n");
    EXPECT_FALSE(openExact(path("text.mpg")));
    fixtures::writeBytes(path("garbage.mp4"), std::string(4096, '\x47'));
    EXPECT_FALSE(VideoFileMovieFormat().open(path("garbage.mp4")));

    // MP4 keeps its index at the end: cut files lose it and cannot open; cut
    // MPEG and WebM files keep the frames before the cut.
    fixtures::ClipSpec mp4 = h264(path("whole.mp4"));
    ASSERT_TRUE(fixtures::writeClip(mp4));
    fixtures::ClipSpec mpg = mpeg1(path("whole.mpg"));
    ASSERT_TRUE(fixtures::writeClip(mpg));
    fixtures::ClipSpec webm = clip(path("whole.webm"), AV_CODEC_ID_VP8, AV_PIX_FMT_YUV420P);
    webm.options = {{"deadline", "realtime"}, {"cpu-used", "8"}};
    ASSERT_TRUE(fixtures::writeClip(webm));
    for (const std::string& whole : {mp4.path, mpg.path, webm.path}) {
        const size_t size = fixtures::fileSize(whole);
        for (size_t keep : {size_t{64}, size / 2, size * 9 / 10}) {
            const std::string cut = whole + ".cut" + std::to_string(keep) +
                                    std::filesystem::path(whole).extension().string();
            std::filesystem::copy_file(whole, cut,
                                       std::filesystem::copy_options::overwrite_existing);
            fixtures::truncateFile(cut, keep);
            MovieReaderPtr reader = DirectShowMovieFormat().open(cut);
            if (!reader)
                continue;
            EXPECT_LE(reader->frameCount, 30) << cut;
            for (int n = 0; n < reader->frameCount; ++n) {
                if (const ImageBuffer* image = reader->frameAt(n)) {
                    EXPECT_EQ(fixtures::readCode(*image), n) << cut;
                }
            }
        }
    }
}

}  // namespace
}  // namespace veltro
