// The tracker on generated clips whose trajectory is known: how close it
// stays, both directions from a frame inside the span, and that it ends at
// the last frame it was sure of when the object leaves or is covered.
#include "track/object_tracker.h"

#include <gtest/gtest.h>

#include <cmath>

#include "services/progress.h"
#include "track/track_test_support.h"

namespace veltro {
namespace {

using testing::ClipOptions;
using testing::SyntheticClip;
using testing::trackError;

// Counts updates and asks to stop after a number of them.
class StoppingProgress : public Progress {
public:
    explicit StoppingProgress(int stopAfter) : m_stopAfter(stopAfter) {}
    bool begin(const std::string&) override { return true; }
    bool update(int done, int total) override {
        lastDone = done;
        lastTotal = total;
        return ++updates <= m_stopAfter;
    }
    void end() override {}
    int updates = 0;
    int lastDone = -1;
    int lastTotal = -1;

private:
    int m_stopAfter;
};

TrackTarget targetAt(const SyntheticClip& clip, int frame, int box = 0) {
    const TrackPoint t = clip.truth(frame);
    return {t.x, t.y, box, box, frame};
}

TEST(ObjectTracker, FollowsTheObjectThroughSpeedChangeOcclusionAndGrowth) {
    SyntheticClip clip;
    SilentProgress progress;
    TrackOutcome outcome;
    std::string error;
    ASSERT_TRUE(trackObject(clip.supplier(), clip.frameCount(), targetAt(clip, 0), 0, clip.frameCount() - 1,
                            progress, outcome, &error))
        << error;
    EXPECT_EQ(outcome.forwardEnd, TrackEnd::Reached);
    ASSERT_EQ(outcome.points.size(), static_cast<size_t>(clip.frameCount()));
    for (size_t i = 0; i < outcome.points.size(); ++i)
        EXPECT_EQ(outcome.points[i].frame, static_cast<int>(i));
    const auto e = trackError(clip, outcome.points);
    EXPECT_LE(e.mean, 3.0);
    EXPECT_LE(e.worst, 8.0);
}

TEST(ObjectTracker, ABoxAroundTheObjectFollowsItToo) {
    SyntheticClip clip;
    SilentProgress progress;
    TrackOutcome outcome;
    const int side = static_cast<int>(2 * clip.radius(0));
    ASSERT_TRUE(trackObject(clip.supplier(), clip.frameCount(), targetAt(clip, 0, side), 0, clip.frameCount() - 1,
                            progress, outcome, nullptr));
    EXPECT_EQ(outcome.forwardEnd, TrackEnd::Reached);
    const auto e = trackError(clip, outcome.points);
    EXPECT_LE(e.mean, 3.0);
    EXPECT_LE(e.worst, 8.0);
}

TEST(ObjectTracker, TracksBothWaysFromAFrameInsideTheSpan) {
    SyntheticClip clip;
    StoppingProgress progress(1000000);
    TrackOutcome outcome;
    ASSERT_TRUE(trackObject(clip.supplier(), clip.frameCount(), targetAt(clip, 50), 10, 80, progress, outcome,
                            nullptr));
    EXPECT_EQ(outcome.forwardEnd, TrackEnd::Reached);
    EXPECT_EQ(outcome.backwardEnd, TrackEnd::Reached);
    ASSERT_EQ(outcome.points.size(), 71u);
    EXPECT_EQ(outcome.points.front().frame, 10);
    EXPECT_EQ(outcome.points.back().frame, 80);
    EXPECT_EQ(outcome.points[40].frame, 50);
    const auto e = trackError(clip, outcome.points);
    EXPECT_LE(e.mean, 3.0);
    EXPECT_LE(e.worst, 8.0);
    // One update per followed frame, then the final one.
    EXPECT_EQ(progress.lastTotal, 70);
    EXPECT_EQ(progress.lastDone, 70);
}

TEST(ObjectTracker, AReversedSpanAndAStartBeforeItGiveTheSpanOnly) {
    SyntheticClip clip;
    SilentProgress progress;
    TrackOutcome outcome;
    ASSERT_TRUE(trackObject(clip.supplier(), clip.frameCount(), targetAt(clip, 5), 60, 20, progress, outcome,
                            nullptr));
    ASSERT_EQ(outcome.points.size(), 41u);
    EXPECT_EQ(outcome.points.front().frame, 20);
    EXPECT_EQ(outcome.points.back().frame, 60);
    EXPECT_LE(trackError(clip, outcome.points).worst, 8.0);
}

TEST(ObjectTracker, StopsAtTheLastFrameBeforeTheObjectLeavesThePicture) {
    ClipOptions options;
    options.toX = 1.3;  // runs out of the right edge
    options.postWidth = 0;
    SyntheticClip clip(options);
    SilentProgress progress;
    TrackOutcome outcome;
    ASSERT_TRUE(trackObject(clip.supplier(), clip.frameCount(), targetAt(clip, 0), 0, clip.frameCount() - 1,
                            progress, outcome, nullptr));
    EXPECT_EQ(outcome.forwardEnd, TrackEnd::Left);
    ASSERT_FALSE(outcome.points.empty());
    EXPECT_EQ(outcome.forwardMissed, outcome.points.back().frame + 1);
    // Never a position the object was not at, and not given up long before
    // the object's centre reached the edge.
    EXPECT_LE(trackError(clip, outcome.points).worst, 8.0);
    EXPECT_GT(clip.truth(outcome.points.back().frame).x, options.width - clip.radius(0) * 2);
}

TEST(ObjectTracker, FollowsAnObjectThatDipsPartlyOutOfThePictureAndComesBack) {
    ClipOptions options;
    // At an even, brisk pace the object's centre comes within a few pixels
    // of the bottom and then the top edge, a third of it out of the picture.
    options.swing = 0.47;
    options.slowFrames = 0.01;
    options.slowWay = 0.01;
    options.frames = 60;
    options.postWidth = 0;
    SyntheticClip clip(options);
    SilentProgress progress;
    TrackOutcome outcome;
    ASSERT_TRUE(trackObject(clip.supplier(), clip.frameCount(), targetAt(clip, 0), 0, clip.frameCount() - 1,
                            progress, outcome, nullptr));
    EXPECT_EQ(outcome.forwardEnd, TrackEnd::Reached) << "missed at frame " << outcome.forwardMissed;
    ASSERT_EQ(outcome.points.size(), static_cast<size_t>(clip.frameCount()));
    // Half hidden at the edge the object is only guessed; the guesses stay
    // on the part of it that shows.
    const auto e = trackError(clip, outcome.points);
    EXPECT_LE(e.mean, 3.0);
    EXPECT_LE(e.worst, clip.radius(clip.frameCount() - 1));
}

TEST(ObjectTracker, EndsWhenTheObjectIsCoveredAndNeverInventsAPath) {
    ClipOptions options;
    options.postX = 0.45;
    options.postWidth = 0.25;  // wider than the object: it disappears
    SyntheticClip clip(options);
    SilentProgress progress;
    TrackOutcome outcome;
    ASSERT_TRUE(trackObject(clip.supplier(), clip.frameCount(), targetAt(clip, 0), 0, clip.frameCount() - 1,
                            progress, outcome, nullptr));
    EXPECT_EQ(outcome.forwardEnd, TrackEnd::Lost);
    ASSERT_FALSE(outcome.points.empty());
    EXPECT_LE(trackError(clip, outcome.points).worst, 8.0);
    // It ends before the object has gone fully behind the post.
    const double postLeft = options.width * options.postX;
    EXPECT_LT(clip.truth(outcome.points.back().frame).x, postLeft + clip.radius(outcome.points.back().frame));
}

TEST(ObjectTracker, StoppingEndsBothPasses) {
    SyntheticClip clip;
    StoppingProgress progress(5);
    TrackOutcome outcome;
    ASSERT_TRUE(trackObject(clip.supplier(), clip.frameCount(), targetAt(clip, 40), 0, 89, progress, outcome,
                            nullptr));
    EXPECT_TRUE(outcome.stopped());
    EXPECT_EQ(outcome.forwardEnd, TrackEnd::Stopped);
    EXPECT_EQ(outcome.backwardEnd, TrackEnd::Stopped);
    EXPECT_LE(progress.updates, 7);
}

TEST(ObjectTracker, RefusesWhatCannotBeTracked) {
    SyntheticClip clip;
    SilentProgress progress;
    TrackOutcome outcome;
    std::string error;
    EXPECT_FALSE(trackObject(clip.supplier(), 0, targetAt(clip, 0), 0, 10, progress, outcome, &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(trackObject(clip.supplier(), clip.frameCount(), {400, 10, 0, 0, 0}, 0, 10, progress, outcome,
                             &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(trackObject(clip.supplier(), clip.frameCount(), {10, 10, 0, 0, 200}, 0, 10, progress, outcome,
                             &error));
    FrameSupplier nothing = [](int) -> const ImageBuffer* { return nullptr; };
    EXPECT_FALSE(trackObject(nothing, 10, {10, 10, 0, 0, 0}, 0, 9, progress, outcome, &error));

    // A frame that cannot be read ends the pass there.
    FrameSupplier gap = [&clip](int f) { return f == 30 ? nullptr : clip.frame(f); };
    ASSERT_TRUE(trackObject(gap, clip.frameCount(), targetAt(clip, 0), 0, 89, progress, outcome, &error));
    EXPECT_EQ(outcome.forwardEnd, TrackEnd::Unreadable);
    EXPECT_EQ(outcome.forwardMissed, 30);
    EXPECT_EQ(outcome.points.back().frame, 29);
}

TEST(ObjectTracker, SingleStepsKeepThePointAndRejectOtherSizes) {
    SyntheticClip clip;
    ObjectTracker tracker;
    ImageBuffer tiny(4, 4);
    EXPECT_FALSE(tracker.start(tiny, 1, 1));
    ASSERT_TRUE(tracker.start(*clip.frame(0), clip.truth(0).x, clip.truth(0).y));
    EXPECT_DOUBLE_EQ(tracker.x(), clip.truth(0).x);
    ImageBuffer other(100, 80);
    EXPECT_FALSE(tracker.step(other));
    EXPECT_DOUBLE_EQ(tracker.y(), clip.truth(0).y);
    ASSERT_TRUE(tracker.step(*clip.frame(1)));
    EXPECT_NEAR(tracker.x(), clip.truth(1).x, 2.0);
}

}  // namespace
}  // namespace veltro
