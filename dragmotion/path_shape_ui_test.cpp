// Direct drawing of paths on a canvas: thick lines made of filled circles,
// one-pixel lines for width 1, and the Bézier chords.
#include "dragmotion/path_shape.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <climits>
#include <cmath>
#include <vector>

#include "services/canvas.h"

namespace veltro {
namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kInk = 0x2040A0;

uint32_t pixel(const Canvas& canvas, int x, int y) { return canvas.toImage()->at(x, y); }

int inkCount(const Canvas& canvas) {
    ImagePtr image = canvas.toImage();
    int n = 0;
    for (uint32_t p : image->pixels) n += (p & 0xFFFFFF) == kInk;
    return n;
}

TEST(ThickLine, WidthOneIsTheCanvasLineWithoutItsEndPoint) {
    Canvas canvas(40, 20);
    drawThickLine(canvas, 5, 10, 15, 10, 1, kInk);
    for (int x = 5; x < 15; ++x) EXPECT_EQ(pixel(canvas, x, 10) & 0xFFFFFF, kInk) << x;
    EXPECT_EQ(pixel(canvas, 15, 10), kWhite);
    EXPECT_EQ(inkCount(canvas), 10);
}

TEST(ThickLine, WiderLinesAreCirclesOfRadiusWidthAlongTheLine) {
    const int w = 3;
    Canvas canvas(60, 40);
    drawThickLine(canvas, 10, 20, 40, 20, w, kInk);
    ImagePtr image = canvas.toImage();
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 60; ++x) {
            // Distance from the segment (10, 20)-(40, 20).
            const double cx = std::clamp<double>(x + 0.5, 10.5, 40.5);
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - 20.5);
            const bool ink = (image->at(x, y) & 0xFFFFFF) == kInk;
            if (d <= w - 1.0) {
                EXPECT_TRUE(ink) << x << "," << y;
            }
            if (d >= w + 1.0) {
                EXPECT_FALSE(ink) << x << "," << y;
            }
        }
    }
}

TEST(ThickLine, NothingForZeroLengthOrWidth) {
    Canvas canvas(30, 30);
    drawThickLine(canvas, 10, 10, 10, 10, 4, kInk);
    drawThickLine(canvas, 10, 10, 20, 20, 0, kInk);
    drawThickLine(canvas, 10, 10, 10, 10, 1, kInk);
    EXPECT_EQ(inkCount(canvas), 0);
}

TEST(ThickLine, FarAwayLinesDrawOnlyTheirVisiblePart) {
    Canvas canvas(50, 50);
    drawThickLine(canvas, -2000000000, 25, 2000000000, 25, 2, kInk);
    for (int x = 0; x < 50; ++x) EXPECT_EQ(pixel(canvas, x, 25) & 0xFFFFFF, kInk) << x;
    EXPECT_EQ(pixel(canvas, 10, 10), kWhite);
    // One pixel wide, from far away to a visible end point that stays out.
    Canvas thin(50, 50);
    drawThickLine(thin, INT_MIN, 10, 20, 10, 1, kInk);
    drawThickLine(thin, 2147483647, -2147483647 - 1, -2147483647 - 1, 2147483647, 1, kInk);
    for (int x = 0; x < 20; ++x) EXPECT_EQ(pixel(thin, x, 10) & 0xFFFFFF, kInk) << x;
    EXPECT_EQ(pixel(thin, 20, 10), kWhite);
}

TEST(ShapeDraw, PolylineDrawsEverySegment) {
    DragPath path;
    path.append(5, 5, 0, 1);
    path.append(35, 5, 1, 1);
    path.append(35, 35, 2, 1);
    Canvas canvas(50, 50);
    polylineShape().draw(canvas, path, 2, kInk);
    EXPECT_EQ(pixel(canvas, 20, 5) & 0xFFFFFF, kInk);
    EXPECT_EQ(pixel(canvas, 35, 20) & 0xFFFFFF, kInk);
    EXPECT_EQ(pixel(canvas, 20, 20), kWhite);

    Canvas untouched(50, 50);
    polylineShape().draw(untouched, path, 0, kInk);
    DragPath single;
    single.append(5, 5, 0, 1);
    polylineShape().draw(untouched, single, 3, kInk);
    EXPECT_EQ(inkCount(untouched), 0);
}

TEST(ShapeDraw, BezierFollowsTheCurveNotTheControlPolygon) {
    DragPath path;
    path.append(10, 90, 0, 1);
    path.append(50, 10, 1, 1);
    path.append(90, 90, 2, 1);
    Canvas canvas(100, 100);
    bezierShape().draw(canvas, path, 2, kInk);
    // The curve's top is at t = 0.5: (50, 50). The control point stays clear.
    EXPECT_EQ(pixel(canvas, 50, 50) & 0xFFFFFF, kInk);
    EXPECT_EQ(pixel(canvas, 50, 12), kWhite);
    double x, y;
    BezierShape::evaluate(path, 0.25, x, y);
    EXPECT_EQ(pixel(canvas, static_cast<int>(x + 0.5), static_cast<int>(y + 0.5)) & 0xFFFFFF, kInk);
}

}  // namespace
}  // namespace veltro

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
