// Path shapes without a canvas: positions for frames, distances, and the
// coverage masks behind the antialiased path, checked against independent
// computations (de Casteljau for the curve, brute-force discs for stamps).
#include "dragmotion/path_shape.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <vector>

namespace veltro {
namespace {

DragPath makePath(const std::vector<std::array<int, 3>>& points) {
    DragPath path;
    for (const auto& p : points) path.append(p[0], p[1], p[2], 1);
    path.computeNormals();
    return path;
}

// The curve point by repeated linear interpolation of the control points.
void deCasteljau(const DragPath& path, double t, double& x, double& y) {
    std::vector<double> xs, ys;
    for (const PathPoint& p : path.points()) {
        xs.push_back(p.x);
        ys.push_back(p.y);
    }
    for (size_t level = xs.size(); level > 1; --level) {
        for (size_t i = 0; i + 1 < level; ++i) {
            xs[i] = (1 - t) * xs[i] + t * xs[i + 1];
            ys[i] = (1 - t) * ys[i] + t * ys[i + 1];
        }
    }
    x = xs[0];
    y = ys[0];
}

struct Mask {
    Mask(int w, int h) : width(w), height(h), bytes(static_cast<size_t>(w) * h, 0) {}
    uint8_t at(int x, int y) const { return bytes[static_cast<size_t>(y) * width + x]; }
    int setCount() const {
        int n = 0;
        for (uint8_t b : bytes) n += b != 0;
        return n;
    }
    int width;
    int height;
    std::vector<uint8_t> bytes;
};

// Whether a stamp of radius r centred at (cx, cy) covers (x, y).
bool stampCovers(int cx, int cy, int r, int x, int y) {
    const int k = x - cx;
    const int j = y - cy;
    if (r <= 1) return j == 0 && k == 0;
    if (r == 2) return (k == 0 || k == 1) && (j == 0 || j == 1);
    return std::abs(j) <= r - 1 && std::abs(k) <= r - 1 && j * j + k * k <= (r - 1) * (r - 1) + 1;
}

TEST(PolylinePosition, InterpolatesWithinTheSegmentHoldingTheFrame) {
    DragPath path = makePath({{10, 20, 0}, {110, 20, 10}, {110, 70, 20}});
    const PolylineShape& shape = polylineShape();
    PathPosition pos;
    ASSERT_TRUE(shape.positionAt(path, 2.5, pos));
    EXPECT_EQ(pos.x, 35);
    EXPECT_EQ(pos.y, 20);
    EXPECT_EQ(pos.dx, 100);
    EXPECT_EQ(pos.dy, 0);
    ASSERT_TRUE(shape.positionAt(path, 15.0, pos));
    EXPECT_EQ(pos.x, 110);
    EXPECT_EQ(pos.y, 45);
    EXPECT_EQ(pos.dx, 0);
    EXPECT_EQ(pos.dy, 50);
    // Positions are truncated after adding a half: 20 + 0.2 * 50 + 0.5.
    ASSERT_TRUE(shape.positionAt(path, 12.0, pos));
    EXPECT_EQ(pos.y, 30);
    EXPECT_FALSE(shape.positionAt(path, 20.5, pos));
    EXPECT_FALSE(shape.positionAt(path, -1.0, pos));
    EXPECT_FALSE(shape.positionAt(DragPath(), 0.0, pos));
}

TEST(PolylinePosition, EqualFramesGiveTheSegmentStart) {
    DragPath path = makePath({{10, 10, 4}, {90, 50, 4}});
    PathPosition pos;
    ASSERT_TRUE(polylineShape().positionAt(path, 4.0, pos));
    EXPECT_EQ(pos.x, 10);
    EXPECT_EQ(pos.y, 10);
}

TEST(PolylineDistance, NearestOfPointsAndSegmentsBetweenTheirEnds) {
    DragPath path = makePath({{0, 0, 0}, {100, 0, 10}, {100, 100, 20}});
    const PolylineShape& shape = polylineShape();
    EXPECT_EQ(shape.distanceTo(path, 50, 7), 7);
    EXPECT_EQ(shape.distanceTo(path, 90, 50), 10);
    EXPECT_EQ(shape.distanceTo(path, -30, -40), 50);  // beyond the start: to point 0
    EXPECT_EQ(shape.distanceTo(path, 103, 104), 5);   // truncated 5.0
    DragPath single = makePath({{5, 5, 0}});
    EXPECT_EQ(shape.distanceTo(single, 5, 5), kFarAway);
}

TEST(BezierCurve, EvaluationMatchesDeCasteljau) {
    const std::vector<DragPath> paths = {
        makePath({{0, 0, 0}, {100, 200, 5}, {200, 0, 10}}),
        makePath({{10, 300, 0}, {-50, 20, 3}, {400, 10, 6}, {310, 280, 9}, {150, 150, 12}}),
        makePath({{0, 0, 0}, {50, 90, 1}, {100, 0, 2}, {150, 90, 3}, {200, 0, 4}, {250, 90, 5}, {300, 0, 6},
                  {350, 90, 7}}),
    };
    for (const DragPath& path : paths) {
        for (double t : {0.0, 0.1, 0.25, 0.5, 0.77, 0.9, 1.0}) {
            double x = 0, y = 0, ex = 0, ey = 0;
            BezierShape::evaluate(path, t, x, y);
            deCasteljau(path, t, ex, ey);
            EXPECT_NEAR(x, ex, 1e-9) << path.count() << " points, t " << t;
            EXPECT_NEAR(y, ey, 1e-9) << path.count() << " points, t " << t;
        }
    }
}

TEST(BezierCurve, HighDegreeCurvesStayFiniteAndInsideTheirHull) {
    DragPath path;
    for (int i = 0; i < 1500; ++i) path.append(i, (i % 2) * 100, i, 1);
    double x = 0, y = 0;
    BezierShape::evaluate(path, 0.0, x, y);
    EXPECT_EQ(x, 0.0);
    BezierShape::evaluate(path, 1.0, x, y);
    EXPECT_EQ(x, 1499.0);
    BezierShape::evaluate(path, 0.5, x, y);
    EXPECT_NEAR(x, 749.5, 1e-6);
    EXPECT_NEAR(y, 50.0, 1e-6);
    BezierShape::evaluate(path, 0.3, x, y);
    EXPECT_NEAR(x, 0.3 * 1499, 1e-6);
}

TEST(BezierPosition, FollowsTheControlPolygonLengthToTheCurve) {
    // Symmetric control polygon: the middle point's frame sits at half its
    // length, so t = 0.5 and the position is (P0 + 2 P1 + P2) / 4.
    DragPath path = makePath({{0, 0, 0}, {100, 200, 10}, {200, 0, 20}});
    const BezierShape& shape = bezierShape();
    PathPosition pos;
    ASSERT_TRUE(shape.positionAt(path, 10.0, pos));
    EXPECT_EQ(pos.x, 100);
    EXPECT_EQ(pos.y, 100);
    // Direction over the next 0.05 of the curve.
    double x0, y0, x1, y1;
    deCasteljau(path, 0.5, x0, y0);
    deCasteljau(path, 0.55, x1, y1);
    EXPECT_EQ(pos.dx, static_cast<int>(x1 - x0));
    EXPECT_EQ(pos.dy, static_cast<int>(y1 - y0));

    ASSERT_TRUE(shape.positionAt(path, 0.0, pos));
    EXPECT_EQ(pos.x, 0);
    EXPECT_EQ(pos.y, 0);
    // At the end the direction looks back over the last 0.05.
    ASSERT_TRUE(shape.positionAt(path, 20.0, pos));
    EXPECT_EQ(pos.x, 200);
    EXPECT_EQ(pos.y, 0);
    deCasteljau(path, 0.95, x0, y0);
    EXPECT_EQ(pos.dx, static_cast<int>(200 - x0));
    EXPECT_EQ(pos.dy, static_cast<int>(0 - y0));

    // A quarter of the way along the first side.
    ASSERT_TRUE(shape.positionAt(path, 2.5, pos));
    const double side = std::hypot(100.0, 200.0);
    const double partial = std::hypot(25.0, 50.0);
    deCasteljau(path, partial / (2 * side), x0, y0);
    EXPECT_EQ(pos.x, static_cast<int>(x0));
    EXPECT_EQ(pos.y, static_cast<int>(y0));

    EXPECT_FALSE(shape.positionAt(path, 21.0, pos));
    DragPath still = makePath({{5, 5, 0}, {5, 5, 10}, {5, 5, 20}});
    EXPECT_FALSE(shape.positionAt(still, 5.0, pos));
}

TEST(BezierDistance, MatchesADenseSearchOfTheCurve) {
    DragPath path = makePath({{0, 0, 0}, {100, 200, 10}, {300, -100, 20}, {400, 100, 30}});
    const BezierShape& shape = bezierShape();
    for (auto [px, py] : std::vector<std::pair<int, int>>{{0, 0}, {400, 100}, {200, 40}, {50, 300}, {-60, 10}}) {
        double best = 1e18;
        for (int k = 0; k <= 20000; ++k) {
            double x, y;
            deCasteljau(path, k / 20000.0, x, y);
            best = std::min(best, std::hypot(x - px, y - py));
        }
        const int d = shape.distanceTo(path, px, py);
        // Sampling at 0.01 and truncating each axis may only add a little.
        EXPECT_GE(d, static_cast<int>(best) - 2) << px << "," << py;
        EXPECT_LE(d, best + 8) << px << "," << py;
    }
    EXPECT_EQ(shape.distanceTo(path, 400, 100), 0);
    EXPECT_EQ(shape.distanceTo(path, 403, 104), 5);
}

TEST(ShapeChoice, BezierOnlyWithMoreThanTwoPoints) {
    DragPath two = makePath({{0, 0, 0}, {10, 0, 1}});
    DragPath three = makePath({{0, 0, 0}, {10, 0, 1}, {20, 5, 2}});
    EXPECT_EQ(&shapeFor(two, true), &polylineShape());
    EXPECT_EQ(&shapeFor(three, true), &bezierShape());
    EXPECT_EQ(&shapeFor(three, false), &polylineShape());
}

TEST(Stamping, StampShapesByRadius) {
    for (int r : {1, 2, 3, 4, 6}) {
        Mask mask(40, 40);
        // A one-step segment: exactly two stamp centres, (10, 10) and (11, 10).
        stampSegment(mask.bytes.data(), 40, 40, 10, 10, 11, 10, r);
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 40; ++x) {
                const bool expected = stampCovers(10, 10, r, x, y) || stampCovers(11, 10, r, x, y);
                EXPECT_EQ(mask.at(x, y) != 0, expected) << "r " << r << " at " << x << "," << y;
            }
        }
    }
}

TEST(Stamping, ZeroLengthSegmentStampsNothing) {
    Mask mask(20, 20);
    stampSegment(mask.bytes.data(), 20, 20, 5, 5, 5, 5, 4);
    EXPECT_EQ(mask.setCount(), 0);
}

TEST(Stamping, ClipsAtTheMaskEdges) {
    Mask mask(10, 10);
    stampSegment(mask.bytes.data(), 10, 10, -5, 9, 20, 9, 3);
    for (int x = 0; x < 10; ++x) {
        EXPECT_TRUE(mask.at(x, 9));
        EXPECT_TRUE(mask.at(x, 7));
        EXPECT_FALSE(mask.at(x, 6));
    }
}

TEST(Stamping, HugeSegmentsTouchOnlyTheMask) {
    Mask mask(64, 32);
    stampSegment(mask.bytes.data(), 64, 32, INT_MIN / 2, 5, INT_MAX / 2, 5, 1);
    for (int x = 0; x < 64; ++x) EXPECT_TRUE(mask.at(x, 5)) << x;
    EXPECT_EQ(mask.setCount(), 64);
    Mask diagonal(64, 64);
    stampSegment(diagonal.bytes.data(), 64, 64, -1000000000, -1000000000, 1000000000, 1000000000, 1);
    for (int i = 0; i < 64; ++i) EXPECT_TRUE(diagonal.at(i, i)) << i;
    EXPECT_EQ(diagonal.setCount(), 64);
}

TEST(PolylineRaster, CoversDiscsAlongEachSegmentAtDoubleResolution) {
    // Horizontal, vertical and diagonal segments walk exact pixel positions,
    // so the expected cover is the union of discs of radius 2w at the doubled
    // positions.
    DragPath path = makePath({{10, 10, 0}, {30, 10, 1}, {30, 25, 2}, {40, 35, 3}});
    const int halfWidth = 2;
    Mask mask(100, 100);
    polylineShape().rasterize(mask.bytes.data(), 100, 100, path, halfWidth);
    std::vector<std::pair<int, int>> centres;
    for (int x = 20; x <= 60; ++x) centres.push_back({x, 20});
    for (int y = 20; y <= 50; ++y) centres.push_back({60, y});
    for (int k = 0; k <= 20; ++k) centres.push_back({60 + k, 50 + k});
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
            bool expected = false;
            for (auto [cx, cy] : centres) expected = expected || stampCovers(cx, cy, 2 * halfWidth, x, y);
            ASSERT_EQ(mask.at(x, y) != 0, expected) << x << "," << y;
        }
    }
    Mask none(100, 100);
    polylineShape().rasterize(none.bytes.data(), 100, 100, path, 0);
    EXPECT_EQ(none.setCount(), 0);
}

TEST(BezierRaster, CoversTheCurveAndNothingFarFromIt) {
    DragPath path = makePath({{20, 20, 0}, {80, 140, 5}, {160, 10, 10}, {180, 120, 15}});
    Mask mask(400, 300);
    bezierShape().rasterize(mask.bytes.data(), 400, 300, path, 1);
    // Every sample of the curve is covered at double resolution.
    for (int k = 0; k <= 40; ++k) {
        double x, y;
        deCasteljau(path, k / 40.0, x, y);
        EXPECT_TRUE(mask.at(static_cast<int>(2 * x + 0.5), static_cast<int>(2 * y + 0.5))) << k;
    }
    // No covered byte lies further than the stamp radius plus rounding from it.
    std::vector<std::pair<double, double>> dense;
    for (int k = 0; k <= 4000; ++k) {
        double x, y;
        deCasteljau(path, k / 4000.0, x, y);
        dense.push_back({2 * x, 2 * y});
    }
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 400; ++x) {
            if (!mask.at(x, y)) continue;
            double best = 1e18;
            for (auto [cx, cy] : dense) best = std::min(best, std::hypot(cx - x, cy - y));
            ASSERT_LE(best, 2 + 1.5 + 1.0) << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace veltro
