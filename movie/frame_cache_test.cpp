// Display-size frames: every reader scales straight to the display size, the
// cache hands out exact frames, neighbours stand in while the worker decodes
// and the ready callback follows, the memory budget holds with prefetched
// frames kept first, a new size starts over, frames that fail are given up on,
// and the worker is joined however the cache ends.
#include "movie/frame_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "movie/ffmpeg_test_fixtures.h"
#include "movie/movie_format.h"
#include "movie/standard_movie_formats.h"

namespace veltro {
namespace {

using namespace std::chrono_literals;

// Frames of one colour each (the frame number in the low bits); frames in
// failing do not decode. Readers after the first one a format makes (the
// cache's worker readers) wait at every decode while the gate is closed.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = true;
    std::atomic<int> workerDecodes{0};
    std::atomic<int> waiting{0};

    void set(bool value) {
        {
            std::lock_guard lock(mutex);
            open = value;
        }
        changed.notify_all();
    }
    void pass() {
        std::unique_lock lock(mutex);
        ++waiting;
        changed.wait(lock, [&] { return open; });
        --waiting;
    }
};

constexpr int kColourFrames = 100;

class ColourReader : public MovieReader {
public:
    ColourReader(Gate* gate, std::set<int> failing) : m_gate(gate), m_failing(std::move(failing)) {}
    bool open(const std::string&) override {
        frameCount = kColourFrames;
        frame = std::make_unique<ImageBuffer>(40, 30);
        return true;
    }
    const ImageBuffer* frameAt(int index) override {
        if (m_gate != nullptr) {
            m_gate->pass();
            ++m_gate->workerDecodes;
        }
        if (index < 0 || index >= frameCount || m_failing.count(index))
            return nullptr;
        std::fill(frame->pixels.begin(), frame->pixels.end(), 0xFF000000u | static_cast<uint32_t>(index));
        frame->hasAlpha = 0;
        if (patterned) {
            // Every channel in use, and a see-through corner on frame 77.
            for (int y = 0; y < frame->height; ++y)
                for (int x = 1; x < frame->width; ++x)
                    frame->at(x, y) = 0xFF000000u | static_cast<uint32_t>(x * 37 + index) << 16 |
                                      static_cast<uint32_t>(y * 53 + index) << 8 | static_cast<uint32_t>(x * y);
            if (index == 77) {
                frame->hasAlpha = 1;
                frame->at(5, 5) = 0x00123456;
            }
        }
        return frame.get();
    }

    bool patterned = false;

private:
    Gate* m_gate;
    std::set<int> m_failing;
};

class ColourFormat : public MovieFormat {
public:
    const char* description() const override { return "colours"; }
    const char* pattern() const override { return "*.colours"; }
    Gate gate;
    std::set<int> failing;
    mutable std::atomic<int> made{0};

protected:
    MovieReaderPtr createReader() const override {
        return std::make_unique<ColourReader>(made++ == 0 ? nullptr : const_cast<Gate*>(&gate), failing);
    }
};

int colourOf(const ImageBuffer* picture) {
    if (picture == nullptr || picture->empty())
        return -1;
    return static_cast<int>(picture->pixels[0] & 0xFFFFFF);
}

// Waits up to five seconds for done().
template <class F>
bool eventually(F&& done) {
    for (int i = 0; i < 500 && !done(); ++i)
        std::this_thread::sleep_for(10ms);
    return done();
}

TEST(DisplayFrameCacheTest, HandsOutExactFramesAtTheDisplaySize) {
    ColourFormat format;
    MovieReaderPtr reader = format.open("a.colours");
    ASSERT_TRUE(reader);
    DisplayFrameCache& cache = reader->startDisplayFrames();
    EXPECT_EQ(reader->displayFrames(), &cache);
    EXPECT_EQ(cache.frame(3), nullptr) << "no size yet";
    EXPECT_FALSE(cache.setSize(0, 10));
    ASSERT_TRUE(cache.setSize(20, 15));
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        const int index = static_cast<int>(random() % kColourFrames);
        const ImageBuffer* picture = cache.frame(index);
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->width, 20);
        EXPECT_EQ(picture->height, 15);
        EXPECT_EQ(colourOf(picture), index) << "without stand-ins every frame is exact";
        EXPECT_FALSE(cache.showingStandIn());
    }
    EXPECT_EQ(cache.frame(-1), nullptr);
    EXPECT_EQ(cache.frame(kColourFrames), nullptr);
    // The worker fills the whole clip: 100 small pictures fit the budget.
    EXPECT_TRUE(eventually([&] { return cache.keptCount() == kColourFrames; })) << cache.keptCount();
    reader->stopDisplayFrames();
    EXPECT_EQ(reader->displayFrames(), nullptr);
}

TEST(DisplayFrameCacheTest, ANeighbourStandsInUntilTheWorkerHasTheFrame) {
    ColourFormat format;
    format.gate.set(false);  // the worker waits at its first decode
    MovieReaderPtr reader = format.open("a.colours");
    ASSERT_TRUE(reader);
    DisplayFrameCache& cache = reader->startDisplayFrames();
    std::atomic<int> ready{0};
    cache.setReadyCallback([&] { ++ready; });
    ASSERT_TRUE(cache.setSize(8, 6));
    cache.setStandIns(true);
    // Nothing kept yet: frame 10 is decoded on the caller's reader.
    EXPECT_EQ(colourOf(cache.frame(10)), 10);
    EXPECT_FALSE(cache.showingStandIn());
    ASSERT_TRUE(eventually([&] { return format.gate.waiting == 1; })) << "the worker decodes on its own reader";
    EXPECT_EQ(format.made, 2);
    // Frame 14 is not kept: kept frame 10 stands in at once.
    EXPECT_EQ(colourOf(cache.frame(14)), 10);
    EXPECT_TRUE(cache.showingStandIn());
    EXPECT_EQ(ready, 0);
    format.gate.set(true);
    ASSERT_TRUE(eventually([&] { return ready > 0; })) << "the worker tells when frame 14 is there";
    EXPECT_TRUE(cache.isKept(14));
    EXPECT_EQ(colourOf(cache.frame(14)), 14);
    EXPECT_FALSE(cache.showingStandIn());
    // The nearest kept frame stands in; the worker went on ahead of 14.
    ASSERT_TRUE(eventually([&] { return cache.keptCount() == kColourFrames; }));
    cache.setReadyCallback(nullptr);
    const int readyBefore = ready;
    format.gate.set(false);
    ASSERT_TRUE(cache.setSize(4, 3));  // a new size starts over
    EXPECT_EQ(cache.keptCount(), 0u);
    EXPECT_EQ(colourOf(cache.frame(50)), 50) << "decoded here: nothing can stand in";
    const ImageBuffer* standIn = cache.frame(52);
    EXPECT_TRUE(cache.showingStandIn());
    EXPECT_EQ(colourOf(standIn), 50);
    EXPECT_EQ(standIn->width, 4);
    // Without stand-ins the frame is decoded here even while the worker waits.
    cache.setStandIns(false);
    EXPECT_EQ(colourOf(cache.frame(53)), 53);
    format.gate.set(true);
    EXPECT_TRUE(eventually([&] { return cache.isKept(52); }));
    EXPECT_EQ(ready, readyBefore) << "no calls after the callback was taken away";
}

TEST(DisplayFrameCacheTest, StaysInItsBudgetAndKeepsPrefetchedFramesFirst) {
    ColourFormat format;
    MovieReaderPtr reader = format.open("a.colours");
    ASSERT_TRUE(reader);
    // Room for ten pictures of 10 x 10.
    const size_t picture = DisplayFrameCache::pictureCost(10, 10);
    DisplayFrameCache cache(*reader, [&] { return format.open("a.colours"); }, picture * 10 + picture / 2);
    ASSERT_TRUE(cache.setSize(10, 10));
    cache.prefetch({90, 95, -4, 400});
    ASSERT_EQ(colourOf(cache.frame(20)), 20);
    ASSERT_TRUE(eventually([&] { return cache.keptCount() == 10; }));
    // The frame asked for, the prefetched ones and the frames after it (the
    // direction of travel).
    for (int f : {20, 21, 22, 23, 24, 25, 26, 27, 90, 95})
        EXPECT_TRUE(cache.isKept(f)) << f;
    EXPECT_LE(cache.keptBytes(), cache.budget());
    // On to 60: the old neighbours make room, the prefetched frames stay.
    cache.setStandIns(true);
    cache.frame(60);
    ASSERT_TRUE(eventually([&] { return cache.isKept(60) && cache.isKept(67); }));
    for (int f : {60, 61, 62, 63, 64, 65, 66, 67, 90, 95})
        EXPECT_TRUE(cache.isKept(f)) << f;
    EXPECT_FALSE(cache.isKept(20));
    EXPECT_EQ(cache.keptCount(), 10u);
    EXPECT_LE(cache.keptBytes(), cache.budget());
    // A budget below one picture keeps nothing and still shows frames.
    DisplayFrameCache tiny(*reader, nullptr, 16);
    ASSERT_TRUE(tiny.setSize(10, 10));
    EXPECT_EQ(colourOf(tiny.frame(5)), 5);
    EXPECT_EQ(tiny.keptCount(), 0u);
}

TEST(DisplayFrameCacheTest, FramesThatFailAreGivenUpOn) {
    ColourFormat format;
    format.failing = {30, 31, 32};
    MovieReaderPtr reader = format.open("a.colours");
    ASSERT_TRUE(reader);
    DisplayFrameCache& cache = reader->startDisplayFrames();
    std::atomic<int> ready{0};
    cache.setReadyCallback([&] { ++ready; });
    ASSERT_TRUE(cache.setSize(5, 5));
    EXPECT_EQ(cache.frame(31), nullptr);
    ASSERT_TRUE(eventually([&] { return cache.keptCount() == kColourFrames - 3; }));
    const int decodes = format.gate.workerDecodes;
    cache.setStandIns(true);
    EXPECT_EQ(cache.frame(30), nullptr) << "a failed frame is not stood in for";
    EXPECT_EQ(colourOf(cache.frame(33)), 33);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(format.gate.workerDecodes, decodes) << "failed frames are not tried again and again";
}

TEST(DisplayFrameCacheTest, EndsWhileTheWorkerIsBusy) {
    ColourFormat format;
    format.gate.set(false);
    MovieReaderPtr reader = format.open("a.colours");
    ASSERT_TRUE(reader);
    DisplayFrameCache& cache = reader->startDisplayFrames();
    ASSERT_TRUE(cache.setSize(6, 6));
    ASSERT_TRUE(eventually([&] { return format.gate.waiting == 1; }));
    std::thread release([&] {
        std::this_thread::sleep_for(30ms);
        format.gate.set(true);
    });
    reader.reset();  // joins the worker, which finishes its decode first
    release.join();
}

// Kept pictures come back exactly as they were decoded, transparency and
// all.
TEST(DisplayFrameCacheTest, KeptPicturesComeBackAsDecoded) {
    ColourReader reader(nullptr, {});
    reader.patterned = true;
    ASSERT_TRUE(reader.open("x"));
    DisplayFrameCache cache(reader, nullptr);
    ASSERT_TRUE(cache.setSize(40, 30));
    for (int index : {12, 77}) {
        const ImageBuffer first = *cache.frame(index);
        ASSERT_TRUE(cache.isKept(index));
        cache.frame(index + 1);
        const ImageBuffer* again = cache.frame(index);
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again->pixels, first.pixels) << index;
        EXPECT_EQ(again->hasAlpha, index == 77 ? 1 : 0);
        EXPECT_EQ(again->pixels, reader.frameAt(index)->pixels);
    }
}

// A reader made without a format has no second reader: the cache decodes on
// the caller's reader and lets nothing stand in.
TEST(DisplayFrameCacheTest, WithoutAWorkerEveryFrameIsDecodedHere) {
    ColourReader reader(nullptr, {});
    ASSERT_TRUE(reader.open("x"));
    EXPECT_EQ(reader.reopen(), nullptr);
    DisplayFrameCache& cache = reader.startDisplayFrames();
    ASSERT_TRUE(cache.setSize(4, 4));
    cache.setStandIns(true);
    EXPECT_EQ(colourOf(cache.frame(1)), 1);
    EXPECT_EQ(colourOf(cache.frame(9)), 9);
    EXPECT_FALSE(cache.showingStandIn());
}

// Every FFmpeg reader decodes straight to a smaller size, and the cache over a
// real clip with B-frames gives each frame exactly, in any order.
class DisplayFramesOfClipsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = fixtures::scratchDirectory("display");
        registerStandardMovieFormats();
    }
    static std::string dir;
};
std::string DisplayFramesOfClipsTest::dir;

TEST_F(DisplayFramesOfClipsTest, EveryReaderScalesToTheDisplaySize) {
    std::vector<fixtures::ClipSpec> specs(3);
    specs[0].path = dir + "/clip.avi";
    specs[1].path = dir + "/clip.mov";
    specs[1].container = "mov";
    specs[2].path = dir + "/clip.mp4";
    specs[2].codec = AV_CODEC_ID_H264;
    specs[2].pixelFormat = AV_PIX_FMT_YUV420P;
    specs[2].gop = 12;
    specs[2].options = {{"preset", "veryfast"}, {"x264-params", "bframes=3:b-pyramid=normal"}};
    for (fixtures::ClipSpec& spec : specs) {
        spec.width = 128;
        spec.height = 96;
        spec.frames = 40;
        ASSERT_TRUE(fixtures::writeClip(spec)) << spec.path;
        MovieReaderPtr reader = openMovie(spec.path);
        ASSERT_TRUE(reader) << spec.path;
        ASSERT_EQ(reader->frameCount, 40) << spec.path;
        for (int i : {0, 17, 5, 39, 38, 12}) {
            ImageBuffer small(64, 48);
            ASSERT_TRUE(reader->frameAtSize(i, small)) << spec.path << " " << i;
            EXPECT_EQ(small.width, 64);
            EXPECT_EQ(fixtures::readCode(small), i) << spec.path;
            EXPECT_TRUE(isSetPixel(small.at(63, 47)));
        }
        MovieReaderPtr twin = reader->reopen();
        ASSERT_TRUE(twin) << spec.path;
        EXPECT_EQ(twin->frameCount, 40);
        EXPECT_EQ(fixtures::readCode(*twin->frameAt(21)), 21);
    }
}

TEST_F(DisplayFramesOfClipsTest, StandInsAreFollowedByTheExactFrame) {
    fixtures::ClipSpec spec;
    spec.path = dir + "/scrub.mp4";
    spec.codec = AV_CODEC_ID_H264;
    spec.pixelFormat = AV_PIX_FMT_YUV420P;
    spec.width = 128;
    spec.height = 96;
    spec.frames = 120;
    spec.gop = 30;
    spec.options = {{"preset", "veryfast"}, {"x264-params", "bframes=2"}};
    ASSERT_TRUE(fixtures::writeClip(spec));
    MovieReaderPtr reader = openMovie(spec.path);
    ASSERT_TRUE(reader);
    DisplayFrameCache& cache = reader->startDisplayFrames();
    std::mutex mutex;
    std::condition_variable told;
    int ready = 0;
    cache.setReadyCallback([&] {
        std::lock_guard lock(mutex);
        ++ready;
        told.notify_all();
    });
    ASSERT_TRUE(cache.setSize(64, 48));
    cache.setStandIns(true);
    std::mt19937 random(3);
    for (int step = 0; step < 40; ++step) {
        const int index = static_cast<int>(random() % spec.frames);
        int before = 0;
        {
            std::lock_guard lock(mutex);
            before = ready;
        }
        const ImageBuffer* picture = cache.frame(index);
        ASSERT_NE(picture, nullptr);
        const int shown = fixtures::readCode(*picture);
        if (!cache.showingStandIn()) {
            EXPECT_EQ(shown, index);
            continue;
        }
        EXPECT_NE(shown, index);
        EXPECT_GE(shown, 0) << "a stand-in is a real frame of the clip";
        std::unique_lock lock(mutex);
        ASSERT_TRUE(told.wait_for(lock, 10s, [&] { return ready > before; }));
        lock.unlock();
        EXPECT_TRUE(cache.isKept(index));
        EXPECT_EQ(fixtures::readCode(*cache.frame(index)), index);
        EXPECT_FALSE(cache.showingStandIn());
    }
    cache.setReadyCallback(nullptr);
}

}  // namespace
}  // namespace veltro
