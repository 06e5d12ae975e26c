// The two ways a path is shown and measured: PolylineShape (the points joined
// by straight segments) and BezierShape (the points as control points of one
// Bézier curve). Each gives the on-path position for a frame, the distance of
// a point from the path, a coverage mask at twice the picture's resolution
// (for the antialiased drawing) and a direct drawing with thick lines.
#pragma once

#include <cstdint>

#include "dragmotion/drag_path.h"

namespace veltro {

class Canvas;

// Distance reported when there is nothing to measure against.
inline constexpr int kFarAway = 10000000;

// A position on the path and the direction of motion there.
struct PathPosition {
    int x = 0;
    int y = 0;
    int dx = 0;
    int dy = 0;
};

class PathShape {
public:
    virtual ~PathShape() = default;
    // The position at a frame value; false when no segment holds the frame.
    virtual bool positionAt(const DragPath& path, double frame, PathPosition& out) const = 0;
    // Distance in pixels (truncated) from (x, y) to the path.
    virtual int distanceTo(const DragPath& path, int x, int y) const = 0;
    // Sets to 1 the bytes of a maskWidth x maskHeight mask (row-major) that
    // a path of the given half width covers, at twice the picture's scale.
    virtual void rasterize(uint8_t* mask, int maskWidth, int maskHeight, const DragPath& path,
                           int halfWidth) const = 0;
    // Paints the path with thick lines of width w in colour 0xRRGGBB.
    virtual void draw(Canvas& canvas, const DragPath& path, int width, uint32_t color) const = 0;
};

// The points joined by straight segments.
class PolylineShape : public PathShape {
public:
    bool positionAt(const DragPath& path, double frame, PathPosition& out) const override;
    int distanceTo(const DragPath& path, int x, int y) const override;
    void rasterize(uint8_t* mask, int maskWidth, int maskHeight, const DragPath& path,
                   int halfWidth) const override;
    void draw(Canvas& canvas, const DragPath& path, int width, uint32_t color) const override;
};

// One Bézier curve of degree count-1 over the points.
class BezierShape : public PathShape {
public:
    bool positionAt(const DragPath& path, double frame, PathPosition& out) const override;
    int distanceTo(const DragPath& path, int x, int y) const override;
    void rasterize(uint8_t* mask, int maskWidth, int maskHeight, const DragPath& path,
                   int halfWidth) const override;
    void draw(Canvas& canvas, const DragPath& path, int width, uint32_t color) const override;

    // The curve's point at parameter t in [0, 1]; (0, 0) for an empty path.
    static void evaluate(const DragPath& path, double t, double& x, double& y);
};

// The program's shared shape instances.
const PolylineShape& polylineShape();
const BezierShape& bezierShape();
// The shape a path is measured with: Bézier only when asked for and the
// path has more than 2 points.
const PathShape& shapeFor(const DragPath& path, bool bezier);

// Stamps the segment (x0, y0) → (x1, y1), both ends included, with round
// stamps of radius r into the mask; bytes outside the mask are skipped. A
// zero-length segment stamps nothing.
void stampSegment(uint8_t* mask, int maskWidth, int maskHeight, int x0, int y0, int x1, int y1,
                  int r);
// Draws a line of width w: a one-pixel canvas line for w = 1, filled circles
// of radius w along it for w >= 2; nothing for w <= 0 or a zero-length line.
void drawThickLine(Canvas& canvas, int x0, int y0, int x1, int y1, int w, uint32_t color);

}  // namespace veltro
