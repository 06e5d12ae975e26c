// From tracked positions to a drag path and into a document: the kept points
// lie on the object at their own frames, the path's position at every frame
// stays within the tolerance, sharp turns are eased with real positions, and
// following in a document adds one selected path with one undo step.
#include "track/follow_path.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "document/document.h"
#include "document/media_cache.h"
#include "document/movie_object.h"
#include "dragmotion/drag_motion_kind.h"
#include "dragmotion/drag_motion_object.h"
#include "dragmotion/path_shape.h"
#include "services/progress.h"
#include "track/follow_object.h"
#include "track/track_test_support.h"

namespace veltro {
namespace {

using testing::SyntheticClip;

std::vector<TrackPoint> trackOf(const SyntheticClip& clip) {
    std::vector<TrackPoint> track;
    for (int f = 0; f < clip.frameCount(); ++f)
        track.push_back(clip.truth(f));
    return track;
}

TEST(FollowPath, KeepsFewPointsEachOnTheObjectAtItsFrame) {
    SyntheticClip clip;
    const auto track = trackOf(clip);
    DragPath path;
    ASSERT_TRUE(followPath(track, 1.0, 1.0, path));
    EXPECT_GT(path.count(), 3);
    EXPECT_LT(path.count(), clip.frameCount() / 3);
    EXPECT_EQ(path.point(0)->frame, 0);
    EXPECT_EQ(path.point(path.count() - 1)->frame, clip.frameCount() - 1);
    for (const PathPoint& p : path.points()) {
        const TrackPoint t = clip.truth(p.frame);
        EXPECT_LE(std::hypot(p.x - t.x, p.y - t.y), 0.75) << "frame " << p.frame;
        EXPECT_EQ(p.flags, 0);
    }
    // Between the kept points the path keeps to the object at every frame.
    for (int f = 0; f < clip.frameCount(); ++f) {
        PathPosition at;
        ASSERT_TRUE(polylineShape().positionAt(path, f, at));
        const TrackPoint t = clip.truth(f);
        EXPECT_LE(std::hypot(at.x - t.x, at.y - t.y), kFollowTolerance + 1.5) << "frame " << f;
    }
}

TEST(FollowPath, ASpeedChangeOnAStraightLineKeepsTheFrameWhereItHappens) {
    // Slow for 20 frames, then three times as fast, along one straight line.
    std::vector<TrackPoint> track;
    double x = 10;
    for (int f = 0; f <= 40; ++f) {
        track.push_back({x, 50, f});
        x += f < 20 ? 1.0 : 3.0;
    }
    DragPath path;
    ASSERT_TRUE(followPath(track, 1.0, 1.0, path));
    ASSERT_EQ(path.count(), 3);
    EXPECT_EQ(path.point(1)->frame, 20);
    EXPECT_EQ(path.point(1)->x, 30);
    // At even speed a straight line needs only its ends.
    std::vector<TrackPoint> even;
    for (int f = 0; f <= 40; ++f)
        even.push_back({10.0 + 2 * f, 50, f});
    ASSERT_TRUE(followPath(even, 1.0, 1.0, path));
    EXPECT_EQ(path.count(), 2);
}

TEST(FollowPath, ScalesToThePictureAndEasesTurnsBack) {
    // Out along a line and straight back: a 180 degree turn at frame 10.
    std::vector<TrackPoint> track;
    for (int f = 0; f <= 20; ++f)
        track.push_back({f <= 10 ? 20.0 + 8 * f : 100.0 - 8 * (f - 10), 40.0 + f * 0.5, f});
    DragPath path;
    ASSERT_TRUE(followPath(track, 0.5, 0.5, path));
    // More than out, turn and back: the turn is eased with tracked points.
    EXPECT_GT(path.count(), 3);
    for (const PathPoint& p : path.points()) {
        const TrackPoint& t = track[static_cast<size_t>(p.frame)];
        EXPECT_LE(std::abs(p.x - t.x * 0.5), 0.5);
        EXPECT_LE(std::abs(p.y - t.y * 0.5), 0.5);
    }
}

TEST(FollowPath, NeedsTwoPositions) {
    DragPath path;
    path.append(1, 1, 0, 1);
    EXPECT_FALSE(followPath({}, 1, 1, path));
    EXPECT_EQ(path.count(), 0);
    EXPECT_FALSE(followPath({{5, 5, 3}}, 1, 1, path));
    EXPECT_TRUE(followPath({{5, 5, 3}, {5, 5, 4}}, 1, 1, path));
    EXPECT_EQ(path.count(), 2);
}

// A clip of the document served from a generated clip.
class ClipReader : public MovieReader {
public:
    explicit ClipReader(SyntheticClip& clip) : m_clip(clip) {}
    bool open(const std::string&) override {
        frame = copyImage(*m_clip.frame(0));
        frameCount = m_clip.frameCount();
        return true;
    }
    const ImageBuffer* frameAt(int index) override { return m_clip.frame(index); }

private:
    SyntheticClip& m_clip;
};

struct ClipDocument {
    explicit ClipDocument(SyntheticClip& clip, int width, int height) {
        registerDragMotionObjectKind();
        auto entry = std::make_unique<MediaEntry>();
        entry->fileName = "clip.avi";
        entry->movie = std::make_unique<ClipReader>(clip);
        entry->movie->open("clip.avi");
        MediaEntry* added = document.movieCache.add(std::move(entry));
        auto movie = std::make_unique<MovieObject>(document);
        movie->attachMovie(added);
        document.insertObject(std::move(movie));
        document.setLength(clip.frameCount());
        document.objects.back()->setRect(0, 0, width, height);
        document.setSize(width, height);
        document.undoHistory.clear();
    }
    Document document;
};

TEST(FollowObject, AddsOneSelectedPathOnTheObjectWithOneUndoStep) {
    SyntheticClip clip;
    // The picture shown at half the clip's size.
    ClipDocument fixture(clip, 160, 120);
    Document& document = fixture.document;
    const TrackPoint start = clip.truth(30);
    FollowRequest request{static_cast<int>(start.x / 2), static_cast<int>(start.y / 2), 0, 0, 30, 70, 10};
    SilentProgress progress;
    FollowResult result;
    ASSERT_TRUE(followObject(document, request, progress, result)) << result.error;
    ASSERT_NE(result.object, nullptr);
    ASSERT_EQ(document.objects.size(), 2u);
    EXPECT_EQ(document.objects.front().get(), result.object);
    EXPECT_TRUE(result.object->selected);
    EXPECT_EQ(result.object->bezier, 0);
    const DragPath& path = result.object->path;
    EXPECT_EQ(path.point(0)->frame, 10);
    EXPECT_EQ(path.point(path.count() - 1)->frame, 70);
    for (int f = 10; f <= 70; ++f) {
        PathPosition at;
        ASSERT_TRUE(polylineShape().positionAt(path, f, at));
        const TrackPoint t = clip.truth(f);
        EXPECT_LE(std::hypot(at.x - t.x / 2, at.y - t.y / 2), 3.0) << "frame " << f;
    }
    EXPECT_GT(document.flaggedCount, 0);
    ASSERT_TRUE(document.canUndo());
    document.undoHistory.undo();
    EXPECT_EQ(document.objects.size(), 1u);
    EXPECT_FALSE(document.canUndo());
}

TEST(FollowObject, ChangesNothingWhenStoppedOrWhenThereIsNothingToFollow) {
    SyntheticClip clip;
    ClipDocument fixture(clip, 320, 240);
    Document& document = fixture.document;
    class Stop : public SilentProgress {
    public:
        bool update(int, int) override { return false; }
    } stop;
    FollowResult result;
    const TrackPoint start = clip.truth(0);
    FollowRequest request{static_cast<int>(start.x), static_cast<int>(start.y), 0, 0, 0, 0, 89};
    EXPECT_FALSE(followObject(document, request, stop, result));
    EXPECT_TRUE(result.outcome.stopped());
    EXPECT_TRUE(result.error.empty());
    EXPECT_EQ(document.objects.size(), 1u);
    EXPECT_FALSE(document.canUndo());

    // A span of one frame gives no path.
    SilentProgress progress;
    request.last = 0;
    EXPECT_FALSE(followObject(document, request, progress, result));
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(document.objects.size(), 1u);

    Document empty;
    EXPECT_FALSE(followObject(empty, request, progress, result));
    EXPECT_FALSE(result.error.empty());
}

}  // namespace
}  // namespace veltro
