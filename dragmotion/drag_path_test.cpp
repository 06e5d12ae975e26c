// Path geometry: projection of pointer positions onto frames on real strokes,
// the continuity rule, hit tests and the clean-up of drawn strokes.
#include "dragmotion/drag_path.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <numbers>

namespace veltro {
namespace {

DragPath makePath(std::initializer_list<std::array<int, 3>> points) {
    DragPath path;
    for (const auto& p : points) path.append(p[0], p[1], p[2], 1);
    path.computeNormals();
    return path;
}

// A stroke as a hand draws it: an S over 400 pixels, one point every 2 pixels
// of x, cleaned up and spread over frames 0..99 the way the draw tool does.
DragPath drawnSCurve() {
    DragPath path;
    for (int x = 20; x <= 420; x += 2) {
        const int y = 200 + static_cast<int>(std::lround(80.0 * std::sin((x - 20) * std::numbers::pi / 200.0)));
        path.append(x, y, 0, 1);
    }
    path.distributeFrames(0, 99);
    path.simplify(32);
    path.distributeFrames(0, 99);
    path.computeNormals();
    return path;
}

TEST(DragPathProject, PointerOnFirstPointGivesItsFrameAndNoDistance) {
    DragPath path = makePath({{{10, 10, 5}}, {{110, 10, 25}}});
    double frame = 0.0;
    double distance = -1.0;
    int index = -1;
    ASSERT_TRUE(path.project(10, 10, &frame, &distance, &index));
    EXPECT_EQ(frame, 5.0);
    EXPECT_EQ(distance, 0.0);
    EXPECT_EQ(index, 0);
}

TEST(DragPathProject, FrameVariesLinearlyAlongASegmentWhateverTheDistance) {
    DragPath path = makePath({{{0, 0, 0}}, {{100, 0, 10}}});
    for (int offset : {0, 7, -40}) {
        double frame = 0.0;
        double distance = 0.0;
        int index = 0;
        ASSERT_TRUE(path.project(25, offset, &frame, &distance, &index));
        EXPECT_NEAR(frame, 2.5, 1e-9) << offset;
        EXPECT_NEAR(distance, std::abs(offset), 1e-9);
        EXPECT_EQ(index, 1);
    }
}

TEST(DragPathProject, BeyondTheEndsGivesTheNearerEndAndTiesGoToTheFirst) {
    DragPath straight = makePath({{{100, 100, 3}}, {{200, 100, 40}}});
    double frame = 0.0;
    int index = -1;
    ASSERT_TRUE(straight.project(60, 90, &frame, nullptr, &index));
    EXPECT_EQ(frame, 3.0);
    EXPECT_EQ(index, 0);
    ASSERT_TRUE(straight.project(260, 130, &frame, nullptr, &index));
    EXPECT_EQ(frame, 40.0);
    EXPECT_EQ(index, 1);

    // A U whose open side faces up: (50, -50) lies outside every zone and
    // exactly as far from both ends.
    DragPath u = makePath({{{0, 0, 0}}, {{0, 100, 10}}, {{100, 100, 20}}, {{100, 0, 30}}});
    double distance = 0.0;
    ASSERT_TRUE(u.project(50, -50, &frame, &distance, &index));
    EXPECT_EQ(frame, 0.0);
    EXPECT_EQ(index, 0);
    EXPECT_NEAR(distance, std::hypot(50.0, 50.0), 1e-9);
}

TEST(DragPathProject, ContinuityKeepsTheCurrentSegmentWhileInItsZone) {
    // A hairpin: segment 1 runs right along y = 0, segment 3 back left along
    // y = 20. (100, 5) is nearer segment 1 but inside segment 3's zone too.
    DragPath path = makePath({{{0, 0, 0}}, {{200, 0, 10}}, {{200, 20, 20}}, {{0, 20, 30}}});
    double frame = 25.0;
    double distance = 0.0;
    int index = 0;
    ASSERT_TRUE(path.project(100, 5, &frame, &distance, &index));
    EXPECT_EQ(index, 3);
    EXPECT_NEAR(distance, 15.0, 1e-9);
    EXPECT_GT(frame, 20.0);
    EXPECT_LT(frame, 30.0);

    // Without a current frame the nearest zone wins.
    ASSERT_TRUE(path.project(100, 5, nullptr, &distance, &index));
    EXPECT_EQ(index, 1);
    EXPECT_NEAR(distance, 5.0, 1e-9);

    // A current frame on segment 1 keeps segment 1 for a point nearer segment
    // 3. The frame comes from where the pointer lies between point 0's normal
    // line (x = 0, 100 pixels away) and the corner's diagonal (83 away).
    frame = 5.0;
    ASSERT_TRUE(path.project(100, 17, &frame, &distance, &index));
    EXPECT_EQ(index, 1);
    EXPECT_NEAR(distance, 17.0, 1e-9);
    EXPECT_NEAR(frame, 100.0 * 10 / (100 + 83), 1e-9);
}

TEST(DragPathProject, MovingAlongADrawnSCurveGivesMonotonicFrames) {
    DragPath path = drawnSCurve();
    ASSERT_GE(path.count(), 5);
    EXPECT_EQ(path.point(0)->frame, 0);
    EXPECT_EQ(path.point(path.count() - 1)->frame, 99);

    // The pointer follows the stroke a few pixels off it, from before its
    // start to past its end, and each projection starts from the frame the
    // last one gave, as the play tool does.
    auto strokeY = [](int x) {
        return 200 + static_cast<int>(std::lround(80.0 * std::sin((x - 20) * std::numbers::pi / 200.0)));
    };
    double frame = 0.0;
    double previous = 0.0;
    for (int x = 10; x <= 430; ++x) {
        ASSERT_TRUE(path.project(x, strokeY(x) + 4, &frame));
        EXPECT_GE(frame, previous - 1e-9) << "at x = " << x;
        previous = frame;
    }
    EXPECT_EQ(frame, 99.0);

    // And back again on the other side of the stroke.
    for (int x = 430; x >= 10; --x) {
        ASSERT_TRUE(path.project(x, strokeY(x) - 3, &frame));
        EXPECT_LE(frame, previous + 1e-9) << "at x = " << x;
        previous = frame;
    }
    EXPECT_EQ(frame, 0.0);
}

TEST(DragPathProject, NeedsTwoPoints) {
    DragPath path;
    double frame = 7.0;
    EXPECT_FALSE(path.project(0, 0, &frame));
    path.append(5, 5, 3, 1);
    EXPECT_FALSE(path.project(5, 5, &frame));
    EXPECT_EQ(frame, 7.0);
}

TEST(DragPathProject, ExtremeCoordinatesStayFinite) {
    DragPath path = makePath({{{INT_MIN, INT_MIN, 0}}, {{INT_MAX, INT_MAX, 100}}, {{INT_MIN, INT_MAX, 200}}});
    double frame = 50.0;
    double distance = 0.0;
    ASSERT_TRUE(path.project(0, 0, &frame, &distance));
    EXPECT_TRUE(std::isfinite(frame));
    EXPECT_TRUE(std::isfinite(distance));
    EXPECT_GE(path.vertexAt(INT_MAX, INT_MAX, 3), 1);
    EXPECT_EQ(path.vertexAt(0, 0, INT_MAX), 1);
    EXPECT_EQ(path.vertexAt(0, 0, 3), -1);
}

TEST(DragPathZones, NormalsBisectCornersAndPointZeroTakesSegmentOneFlags) {
    DragPath path;
    path.append(0, 0, 0, 1);
    path.append(100, 0, 10, 0);  // hand-over segment 1
    path.append(100, 100, 20, 1);
    path.computeNormals();
    const PathPoint& corner = *path.point(1);
    EXPECT_NEAR(std::hypot(corner.normalX, corner.normalY), 1.0, 1e-12);
    // The corner's normal line runs along the diagonal through it.
    EXPECT_NEAR(std::fabs(corner.normalX), std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(corner.normalX, -corner.normalY, 1e-12);
    EXPECT_TRUE(path.point(0)->handOver());
    EXPECT_TRUE(path.point(1)->handOver());
    EXPECT_FALSE(path.point(2)->handOver());

    path.markZones(50, 10);
    EXPECT_TRUE(path.point(1)->flags & kPathZoneFlag);
    EXPECT_FALSE(path.point(2)->flags & kPathZoneFlag);
    path.markZones(90, 50);
    EXPECT_FALSE(path.point(1)->flags & kPathZoneFlag);
    EXPECT_TRUE(path.point(2)->flags & kPathZoneFlag);
    path.markZones(-10, 5);  // before the start
    EXPECT_FALSE(path.point(1)->flags & kPathZoneFlag);
    EXPECT_TRUE(path.point(1)->handOver());
}

TEST(DragPathZones, SegmentForFrameTakesTheFirstBracketingSegment) {
    DragPath path = makePath({{{0, 0, 0}}, {{10, 0, 10}}, {{20, 0, 20}}});
    EXPECT_EQ(path.segmentForFrame(10), 1);
    EXPECT_EQ(path.segmentForFrame(15), 2);
    EXPECT_EQ(path.segmentForFrame(0), 1);
    EXPECT_EQ(path.segmentForFrame(21), -1);
    EXPECT_EQ(path.segmentForFrame(-0.5), -1);
    // Frames that run backwards are bracketed as well.
    DragPath back = makePath({{{0, 0, 30}}, {{10, 0, 20}}});
    EXPECT_EQ(back.segmentForFrame(25), 1);
}

TEST(DragPathHits, VerticesAndSegmentsWithinTolerance) {
    DragPath path = makePath({{{10, 10, 0}}, {{110, 10, 10}}, {{110, 110, 20}}});
    EXPECT_EQ(path.vertexAt(113, 14, 4), 1);
    EXPECT_EQ(path.vertexAt(115, 10, 4), -1);
    EXPECT_EQ(path.segmentAt(60, 13, 4), 1);
    EXPECT_EQ(path.segmentAt(107, 60, 4), 2);
    EXPECT_EQ(path.segmentAt(60, 20, 4), -1);
    // Off the end of a segment is not on it, even on its line.
    EXPECT_EQ(path.segmentAt(5, 10, 4), -1);
    DragPath single;
    single.append(0, 0, 0, 1);
    EXPECT_EQ(single.vertexAt(0, 0, 4), -1);
    EXPECT_EQ(single.segmentAt(0, 0, 4), -1);
}

TEST(DragPathEditing, MergeDroppedRemovesThePointsBetween) {
    auto sixPoints = [] {
        return makePath({{{0, 0, 0}}, {{100, 0, 1}}, {{200, 0, 2}}, {{300, 0, 3}}, {{400, 0, 4}}, {{500, 0, 5}}});
    };
    // End point 0 dropped onto interior point 3: point 0, then the former 4.
    DragPath a = sixPoints();
    ASSERT_TRUE(a.mergeDropped(302, -2, 0));
    ASSERT_EQ(a.count(), 3);
    EXPECT_EQ(a.point(0)->frame, 0);
    EXPECT_EQ(a.point(1)->frame, 4);
    EXPECT_EQ(a.point(2)->frame, 5);

    // Interior point 1 dropped onto point 4: 1 … 3 go, 4 stays.
    DragPath b = sixPoints();
    ASSERT_TRUE(b.mergeDropped(400, 3, 1));
    ASSERT_EQ(b.count(), 3);
    EXPECT_EQ(b.point(1)->frame, 4);

    // Interior point 4 dropped onto point 2: 3 and 4 go.
    DragPath c = sixPoints();
    ASSERT_TRUE(c.mergeDropped(200, 0, 4));
    ASSERT_EQ(c.count(), 4);
    EXPECT_EQ(c.point(2)->frame, 2);
    EXPECT_EQ(c.point(3)->frame, 5);

    // The last point dropped onto interior point 2: 2 … 4 go.
    DragPath d = sixPoints();
    ASSERT_TRUE(d.mergeDropped(201, 0, 5));
    ASSERT_EQ(d.count(), 3);
    EXPECT_EQ(d.point(1)->frame, 1);
    EXPECT_EQ(d.point(2)->frame, 5);

    // One end onto the other: nothing goes. Far from every point: nothing goes.
    DragPath e = sixPoints();
    ASSERT_TRUE(e.mergeDropped(0, 0, 5));
    EXPECT_EQ(e.count(), 6);
    ASSERT_TRUE(e.mergeDropped(250, 50, 2));
    EXPECT_EQ(e.count(), 6);

    // Merging a three-point path down to its ends is still a path; a bad
    // index is refused.
    DragPath f = makePath({{{0, 0, 0}}, {{50, 0, 1}}, {{100, 0, 2}}});
    EXPECT_TRUE(f.mergeDropped(100, 0, 1));
    EXPECT_EQ(f.count(), 2);
    EXPECT_FALSE(f.mergeDropped(0, 0, 7));
}

TEST(DragPathEditing, SimplifyKeepsOnlyEndsOfATightStroke) {
    DragPath path;
    for (int i = 0; i < 30; ++i) path.append(100 + i % 20, 100 + i / 2, i, 1);
    path.simplify(32);
    ASSERT_EQ(path.count(), 2);
    EXPECT_EQ(path.point(0)->frame, 0);
    EXPECT_EQ(path.point(1)->frame, 29);
}

TEST(DragPathEditing, SimplifyDropsCrowdedPointsAndPointsOnOneFrame) {
    DragPath path;
    path.append(0, 0, 0, 1);
    path.append(10, 0, 1, 1);    // too close to point 0
    path.append(40, 0, 2, 1);    // kept
    path.append(80, 0, 2, 1);    // same frame as the kept point
    path.append(120, 0, 3, 1);   // kept
    path.append(200, 5, 4, 1);   // kept at first, then crowds the end
    path.append(220, 5, 5, 1);
    path.simplify(32);
    ASSERT_EQ(path.count(), 4);
    EXPECT_EQ(path.point(1)->x, 40);
    EXPECT_EQ(path.point(2)->x, 120);
    EXPECT_EQ(path.point(3)->x, 220);
}

TEST(DragPathEditing, SimplifyRoundsAHairpinCorner) {
    DragPath path;
    path.append(0, 0, 0, 1);
    path.append(100, 0, 10, 1);
    path.append(0, 10, 20, 1);
    path.simplify(32);
    ASSERT_EQ(path.count(), 4);
    // 32 pixels from the corner along the bisector of its two directions.
    const double u2x = -100 / std::hypot(100.0, 10.0), u2y = 10 / std::hypot(100.0, 10.0);
    const double bx = 1 + u2x, by = u2y;
    const double bl = std::hypot(bx, by);
    EXPECT_EQ(path.point(2)->x, static_cast<int>(100 + 32 * bx / bl));
    EXPECT_EQ(path.point(2)->y, static_cast<int>(32 * by / bl));
    EXPECT_EQ(path.point(2)->frame, 11);
    EXPECT_EQ(path.point(3)->x, 0);
    EXPECT_EQ(path.point(3)->y, 10);
}

TEST(DragPathEditing, DistributeFramesSpreadsByIndex) {
    DragPath path = makePath({{{0, 0, 0}}, {{1, 0, 0}}, {{2, 0, 0}}, {{3, 0, 0}}, {{4, 0, 0}}});
    path.distributeFrames(10, 7);
    const int expected[] = {10, 11, 13, 15, 17};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(path.point(i)->frame, expected[i]) << i;
}

TEST(DragPathEditing, ReversalKeepsFramesAndFlagsInPlace) {
    DragPath path;
    path.append(10, 20, 0, 1);
    path.append(30, 40, 5, 0);
    path.append(50, 60, 9, 1);
    path.append(70, 80, 12, 1);
    path.computeNormals();
    path.reverse();
    const int xs[] = {70, 50, 30, 10};
    const int ys[] = {80, 60, 40, 20};
    const int frames[] = {0, 5, 9, 12};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(path.point(i)->x, xs[i]);
        EXPECT_EQ(path.point(i)->y, ys[i]);
        EXPECT_EQ(path.point(i)->frame, frames[i]);
    }
    EXPECT_TRUE(path.point(1)->handOver());
    // Normals follow the new direction: point 0 now faces (-20, -20).
    EXPECT_EQ(path.point(0)->normalX, 20.0);
    EXPECT_EQ(path.point(0)->normalY, -20.0);
    // Dragging from the new start plays from frame 0.
    double frame = 0.0;
    ASSERT_TRUE(path.project(70, 80, &frame));
    EXPECT_EQ(frame, 0.0);
}

TEST(DragPathEditing, ScalingUsesIntegerArithmetic) {
    DragPath path = makePath({{{7, 9, 0}}, {{-7, 320, 1}}});
    ASSERT_TRUE(path.scale(320, 240, 160, 100));
    EXPECT_EQ(path.point(0)->x, 3);
    EXPECT_EQ(path.point(0)->y, 3);
    EXPECT_EQ(path.point(1)->x, -3);
    EXPECT_EQ(path.point(1)->y, 133);
    EXPECT_FALSE(path.scale(0, 240, 160, 100));
    EXPECT_EQ(path.point(0)->x, 3);
}

TEST(DragPathStorage, InsertRemoveAndBounds) {
    DragPath path;
    PathPoint p;
    p.x = 5;
    p.frame = 9;
    ASSERT_TRUE(path.insert(p, 3));
    ASSERT_EQ(path.count(), 4);
    EXPECT_EQ(path.point(0)->x, 0);
    EXPECT_EQ(path.point(3)->x, 5);
    p.x = 6;
    ASSERT_TRUE(path.insert(p, 1));
    EXPECT_EQ(path.point(1)->x, 6);
    EXPECT_EQ(path.point(4)->x, 5);
    EXPECT_TRUE(path.remove(1));
    EXPECT_EQ(path.count(), 4);
    EXPECT_FALSE(path.remove(4));
    EXPECT_FALSE(path.insert(p, -1));
    EXPECT_FALSE(path.insert(p, INT_MAX));
    EXPECT_EQ(path.point(-1), nullptr);
    EXPECT_EQ(path.point(4), nullptr);

    DragPath full;
    for (int i = 0; i < kMaxPathPoints; ++i) ASSERT_TRUE(full.append(i, 0, i, 1));
    EXPECT_FALSE(full.append(0, 0, 0, 1));
    EXPECT_FALSE(full.insert(p, 0));
    EXPECT_EQ(full.count(), kMaxPathPoints);
}

}  // namespace
}  // namespace veltro
