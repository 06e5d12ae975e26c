// The FFmpeg engine under the readers: the frame index in presentation order,
// exact decoding by index in every order with and without the picture cache
// (so seeking and decoding forward are exercised on their own), raw sample
// reading and the demuxer restriction.
#include "movie/ffmpeg_video_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <random>

#include "movie/ffmpeg_test_fixtures.h"

namespace veltro {
namespace {

class FfmpegVideoSourceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = fixtures::scratchDirectory("source");
        clips.clear();
        fixtures::ClipSpec h264;
        h264.path = dir + "/h264.mp4";
        h264.codec = AV_CODEC_ID_H264;
        h264.pixelFormat = AV_PIX_FMT_YUV420P;
        h264.gop = 12;
        h264.options = {{"preset", "veryfast"}, {"x264-params", "bframes=3:b-pyramid=normal"}};
        clips.push_back(h264);
        fixtures::ClipSpec mpeg1;
        mpeg1.path = dir + "/mpeg1.mpg";
        mpeg1.container = "mpeg";
        mpeg1.codec = AV_CODEC_ID_MPEG1VIDEO;
        mpeg1.pixelFormat = AV_PIX_FMT_YUV420P;
        mpeg1.gop = 12;
        mpeg1.bFrames = 2;
        clips.push_back(mpeg1);
        fixtures::ClipSpec vp9;
        vp9.path = dir + "/vp9.webm";
        vp9.codec = AV_CODEC_ID_VP9;
        vp9.pixelFormat = AV_PIX_FMT_YUV420P;
        vp9.options = {{"deadline", "realtime"}, {"cpu-used", "8"}, {"crf", "10"}, {"b", "1M"}};
        clips.push_back(vp9);
        fixtures::ClipSpec mjpeg;
        mjpeg.path = dir + "/mjpeg.avi";
        clips.push_back(mjpeg);
        for (const auto& clip : clips)
            ASSERT_TRUE(fixtures::writeClip(clip)) << clip.path;
    }
    static inline std::string dir;
    static inline std::vector<fixtures::ClipSpec> clips;
};

std::vector<int> everyOrder(int frames) {
    std::vector<int> forward(frames);
    std::iota(forward.begin(), forward.end(), 0);
    std::vector<int> all = forward;
    std::vector<int> shuffled = forward;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(3));
    all.insert(all.end(), shuffled.begin(), shuffled.end());
    all.insert(all.end(), forward.rbegin(), forward.rend());
    // Jumps within a group of pictures, forwards and back.
    for (int n : {5, 6, 8, 7, 13, 12, 11, 29, 0, 28, 1})
        all.push_back(n);
    return all;
}

TEST_F(FfmpegVideoSourceTest, TheIndexListsEveryFrameInPresentationOrder) {
    for (const auto& clip : clips) {
        FfmpegVideoSource source;
        ASSERT_TRUE(source.open(clip.path, VideoStreamChoice::Best)) << clip.path;
        EXPECT_EQ(source.width(), 64);
        EXPECT_EQ(source.height(), 48);
        ASSERT_EQ(source.frameCount(), 30) << clip.path;
        const auto& frames = source.frames();
        EXPECT_TRUE(frames[0].key) << clip.path;
        for (size_t i = 1; i < frames.size(); ++i)
            EXPECT_LT(frames[i - 1].pts, frames[i].pts) << clip.path;
        // Every decoding position appears once.
        std::vector<int> order;
        for (const auto& e : frames)
            order.push_back(e.decodeOrder);
        std::sort(order.begin(), order.end());
        for (int i = 0; i < 30; ++i)
            EXPECT_EQ(order[i], i);
    }
}

TEST_F(FfmpegVideoSourceTest, EveryIndexDecodesToItsOwnPictureWithAndWithoutTheCache) {
    for (size_t cache : {size_t{0}, kPictureCacheBytes}) {
        for (const auto& clip : clips) {
            FfmpegVideoSource source;
            ASSERT_TRUE(source.open(clip.path, VideoStreamChoice::Best));
            ASSERT_TRUE(source.openDecoder());
            source.setPictureCacheBytes(cache);
            ImageBuffer picture(source.width(), source.height());
            for (int n : everyOrder(30)) {
                ASSERT_TRUE(source.decodeFrame(n, picture)) << clip.path << " frame " << n;
                ASSERT_EQ(fixtures::readCode(picture), n) << clip.path << " cache " << cache;
                ASSERT_TRUE(std::all_of(picture.pixels.begin(), picture.pixels.end(),
                                        [](uint32_t p) { return (p >> 24) == 0xFF; }));
            }
            EXPECT_FALSE(source.decodeFrame(30, picture));
            EXPECT_FALSE(source.decodeFrame(-1, picture));
        }
    }
}

// H.264 with open groups of pictures: later key frames are recovery points,
// not IDR pictures, and the B-frames that follow them in decoding order lead
// them in presentation and refer back into the previous group.
fixtures::ClipSpec openGopH264(const std::string& path, AVPixelFormat format) {
    fixtures::ClipSpec spec;
    spec.path = path;
    spec.codec = AV_CODEC_ID_H264;
    spec.pixelFormat = format;
    spec.frames = 60;
    spec.gop = 12;
    spec.options = {{"preset", "veryfast"},
                    {"x264-params",
                     "open-gop=1:keyint=12:min-keyint=12:scenecut=0:bframes=3:b-pyramid=normal"}};
    return spec;
}

TEST_F(FfmpegVideoSourceTest, OpenGopH264GivesEveryFrameWhenJumpedToDirectly) {
    std::vector<fixtures::ClipSpec> specs = {openGopH264(dir + "/open444.mp4", AV_PIX_FMT_YUV444P),
                                             openGopH264(dir + "/open420.mp4", AV_PIX_FMT_YUV420P)};
    for (const fixtures::ClipSpec& spec : specs) {
        ASSERT_TRUE(fixtures::writeClip(spec)) << spec.path;
        FfmpegVideoSource probe;
        ASSERT_TRUE(probe.open(spec.path, VideoStreamChoice::Best));
        ASSERT_EQ(probe.frameCount(), spec.frames);
        // The fixture has what it is meant to have: key frames that lead
        // frames decoded after them.
        int leadingFrames = 0;
        for (const VideoFrameEntry& key : probe.frames())
            if (key.key && key.pts > probe.frames()[0].pts)
                for (const VideoFrameEntry& e : probe.frames())
                    leadingFrames += e.decodeOrder > key.decodeOrder && e.pts < key.pts;
        ASSERT_GT(leadingFrames, 0) << spec.path;
        for (size_t cache : {size_t{0}, kPictureCacheBytes}) {
            // Each frame straight after opening.
            for (int n = 0; n < spec.frames; ++n) {
                FfmpegVideoSource source;
                ASSERT_TRUE(source.open(spec.path, VideoStreamChoice::Best));
                ASSERT_TRUE(source.openDecoder());
                source.setPictureCacheBytes(cache);
                ImageBuffer picture(source.width(), source.height());
                ASSERT_TRUE(source.decodeFrame(n, picture)) << spec.path << " frame " << n;
                ASSERT_EQ(fixtures::readCode(picture), n) << spec.path << " cache " << cache;
            }
            // Jumps back and forth through one source: past a key frame,
            // then back to the frames that lead it.
            FfmpegVideoSource source;
            ASSERT_TRUE(source.open(spec.path, VideoStreamChoice::Best));
            ASSERT_TRUE(source.openDecoder());
            source.setPictureCacheBytes(cache);
            ImageBuffer picture(source.width(), source.height());
            for (int n : {13, 10, 9, 11, 40, 25, 59, 37, 34, 35, 33, 0, 47, 23, 24, 12, 10}) {
                ASSERT_TRUE(source.decodeFrame(n, picture)) << spec.path << " frame " << n;
                ASSERT_EQ(fixtures::readCode(picture), n) << spec.path << " cache " << cache;
            }
        }
    }
}

// A stream whose picture area starts right of the coded picture's left edge
// (H.264 cropped on the left; Theora pictures with an offset) gives exactly
// that area: the same pixels as the uncropped stream's columns beside it.
TEST_F(FfmpegVideoSourceTest, PicturesCroppedOnTheLeftKeepTheirPixels) {
    fixtures::ClipSpec whole;
    whole.path = dir + "/uncropped.mp4";
    whole.codec = AV_CODEC_ID_H264;
    whole.pixelFormat = AV_PIX_FMT_YUV444P;
    whole.frames = 3;
    whole.options = {{"preset", "veryfast"}};
    fixtures::ClipSpec cropped = whole;
    cropped.path = dir + "/cropped.mp4";
    cropped.options.push_back({"x264-params", "crop-rect=6,0,0,0"});
    ASSERT_TRUE(fixtures::writeClip(whole));
    ASSERT_TRUE(fixtures::writeClip(cropped));
    FfmpegVideoSource a, b;
    ASSERT_TRUE(a.open(whole.path, VideoStreamChoice::Best));
    ASSERT_TRUE(b.open(cropped.path, VideoStreamChoice::Best));
    ASSERT_EQ(b.width(), 58);
    ASSERT_TRUE(a.openDecoder());
    ASSERT_TRUE(b.openDecoder());
    ImageBuffer full(a.width(), a.height()), part(b.width(), b.height());
    for (int n : {2, 0}) {
        ASSERT_TRUE(a.decodeFrame(n, full));
        ASSERT_TRUE(b.decodeFrame(n, part));
        for (int y = 0; y < part.height; ++y)
            for (int x = 0; x < part.width; ++x)
                ASSERT_EQ(part.at(x, y), full.at(x + 6, y)) << "frame " << n << " at " << x << "," << y;
    }
}

TEST_F(FfmpegVideoSourceTest, DecodingNeedsAnOpenDecoderAndTheNamedDemuxer) {
    FfmpegVideoSource source;
    ASSERT_TRUE(source.open(clips[0].path, VideoStreamChoice::Best));
    ImageBuffer picture(64, 48);
    EXPECT_FALSE(source.decodeFrame(0, picture));
    EXPECT_FALSE(source.open(clips[0].path, VideoStreamChoice::Best, "avi"));
    EXPECT_EQ(source.frameCount(), 0);
    EXPECT_TRUE(source.open(clips[3].path, VideoStreamChoice::LastOfFirstTen, "avi"));
}

TEST_F(FfmpegVideoSourceTest, FilesHeldInMemoryOpenAndDecodeLikeTheirFiles) {
    for (const auto& clip : clips) {
        const std::vector<uint8_t> bytes = fixtures::detail::readAll(clip.path);
        FfmpegVideoSource source;
        ASSERT_TRUE(source.openMemory(bytes.data(), bytes.size(), VideoStreamChoice::Best))
            << clip.path;
        ASSERT_EQ(source.frameCount(), 30) << clip.path;
        ASSERT_TRUE(source.openDecoder());
        ImageBuffer picture(source.width(), source.height());
        for (int n : {29, 0, 17, 3}) {
            ASSERT_TRUE(source.decodeFrame(n, picture)) << clip.path << " frame " << n;
            EXPECT_EQ(fixtures::readCode(picture), n) << clip.path;
        }
    }
    FfmpegVideoSource source;
    EXPECT_FALSE(source.openMemory(nullptr, 0, VideoStreamChoice::Best));
    const std::string text = "not a movie";
    EXPECT_FALSE(source.openMemory(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                   VideoStreamChoice::Best));
    // A file in memory may not make the library open any other file.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    const std::string concat = "ffconcat version 1.0\nfile 'mpeg1.mpg'\n";
    EXPECT_FALSE(source.openMemory(reinterpret_cast<const uint8_t*>(concat.data()), concat.size(),
                                   VideoStreamChoice::Best));
    std::filesystem::current_path(previous);
    const std::string playlist = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nfile:" +
                                 clips[1].path + "\n#EXT-X-ENDLIST\n";
    EXPECT_FALSE(source.openMemory(reinterpret_cast<const uint8_t*>(playlist.data()),
                                   playlist.size(), VideoStreamChoice::Best));
}

TEST_F(FfmpegVideoSourceTest, RawSamplesAreReadByIndexWithoutDecoding) {
    fixtures::RawAviSpec spec;
    spec.path = dir + "/raw.avi";
    spec.width = 10;
    spec.height = 4;
    spec.frames = 20;
    spec.sample = [](int n) { return std::vector<uint8_t>(32 * 4, static_cast<uint8_t>(n)); };
    ASSERT_TRUE(fixtures::writeRawAvi(spec));
    FfmpegVideoSource source;
    ASSERT_TRUE(source.open(spec.path, VideoStreamChoice::LastOfFirstTen, "avi"));
    RawSample sample;
    for (int n : {0, 1, 2, 19, 7, 8, 3}) {
        ASSERT_TRUE(source.readSample(n, sample));
        ASSERT_EQ(sample.bytes.size(), 32u * 4);
        EXPECT_EQ(sample.bytes[0], n);
    }
    EXPECT_FALSE(source.readSample(20, sample));
}

}  // namespace
}  // namespace veltro

namespace veltro {
namespace {

std::vector<VideoFrameEntry> framesWithKeyEvery(int count, int interval) {
    std::vector<VideoFrameEntry> frames(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        frames[static_cast<size_t>(i)].key = i % interval == 0;
    return frames;
}

TEST(PictureCacheBudget, HoldsTwoOfTheLongestKeyIntervalsWithinItsBounds) {
    // Small pictures and frequent key frames: the floor.
    EXPECT_EQ(pictureCacheBudgetFor(framesWithKeyEvery(300, 30), 320, 240), kPictureCacheBytes);
    // 1080p with a key frame every 60 frames: two intervals of pictures.
    const size_t hd = pictureCacheBudgetFor(framesWithKeyEvery(600, 60), 1920, 1080);
    EXPECT_GT(hd, kPictureCacheBytes);
    EXPECT_GE(hd, size_t{2} * 60 * 1920 * 1080 * 3 / 2) << "room for two groups of 4:2:0 pictures";
    // One long interval decides, not the count of frames.
    auto uneven = framesWithKeyEvery(600, 10);
    for (size_t i = 201; i < 300; ++i)
        uneven[i].key = false;
    EXPECT_GT(pictureCacheBudgetFor(uneven, 1920, 1080), pictureCacheBudgetFor(framesWithKeyEvery(600, 10), 1920, 1080));
    // Huge pictures or a clip without key frames: the ceiling.
    EXPECT_EQ(pictureCacheBudgetFor(framesWithKeyEvery(5000, 5000), 8192, 8192), kMaxPictureCacheBytes);
    EXPECT_EQ(pictureCacheBudgetFor({}, 1920, 1080), kPictureCacheBytes);
}

}  // namespace
}  // namespace veltro
