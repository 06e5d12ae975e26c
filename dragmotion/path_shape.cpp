// Polyline and Bézier shapes of a path: positions, distances, coverage masks
// and direct drawing. Stamping and thick lines walk a segment in steps of at
// most one pixel per axis; segments far outside the mask or canvas (positions
// from hostile files) are clipped to the part that can touch it, so the work
// stays bounded by the picture's size.
#include "dragmotion/path_shape.h"

#include "dragmotion/path_math.h"
#include "services/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace veltro {

namespace {

// Widest line (and largest stamp radius in picture pixels) that is drawn; a
// wider request from a file is narrowed to it.
constexpr int kMaxLineWidth = 256;
// Beyond this degree the binomial coefficients overflow doubles, so the
// Bernstein weights are taken in the log domain instead.
constexpr int kDirectBezierDegree = 1000;

// One-pixel lines are handed to the canvas while their ends stay within this
// distance of the origin; no picture comes near it.
constexpr int64_t kLineReach = 1 << 24;

bool withinLineReach(int v) { return v >= -kLineReach && v <= kLineReach; }

// The positions a segment is walked through: steps + 1 of them, starting at
// (x0 + 0.5, y0 + 0.5) and adding (dx/steps, dy/steps) each time, truncated.
// visit(x, y) is called for each position that can reach the box
// [-margin, width + margin) x [-margin, height + margin).
template <typename Visit>
void walkSegment(int x0, int y0, int x1, int y1, int width, int height, int margin, Visit visit,
                 bool includeEnd = true) {
    const int64_t ddx = static_cast<int64_t>(x1) - x0;
    const int64_t ddy = static_cast<int64_t>(y1) - y0;
    const int64_t steps = std::max(std::llabs(ddx), std::llabs(ddy));
    if (steps == 0) return;
    const int64_t lastStep = includeEnd ? steps : steps - 1;
    const double sx = static_cast<double>(ddx) / static_cast<double>(steps);
    const double sy = static_cast<double>(ddy) / static_cast<double>(steps);
    const double startX = x0 + 0.5;
    const double startY = y0 + 0.5;
    auto inBox = [&](int64_t x, int64_t y) {
        return x >= -margin && x < static_cast<int64_t>(width) + margin && y >= -margin &&
               y < static_cast<int64_t>(height) + margin;
    };

    // Ordinary segments are walked by accumulation from their start.
    const int64_t shortLimit = 4 * (static_cast<int64_t>(width) + height + margin) + 64;
    if (steps <= shortLimit) {
        double px = startX;
        double py = startY;
        for (int64_t k = 0; k <= lastStep; ++k) {
            const int64_t x = static_cast<int64_t>(std::trunc(px));
            const int64_t y = static_cast<int64_t>(std::trunc(py));
            if (inBox(x, y)) visit(static_cast<int>(x), static_cast<int>(y));
            px += sx;
            py += sy;
        }
        return;
    }

    // A huge segment: only the steps whose positions fall near the box.
    double kLo = 0.0;
    double kHi = static_cast<double>(steps);
    auto clip = [&](double start, double step, double lo, double hi) {
        if (step == 0.0) {
            if (start < lo || start > hi) kHi = -1.0;
            return;
        }
        double a = (lo - start) / step;
        double b = (hi - start) / step;
        if (a > b) std::swap(a, b);
        kLo = std::max(kLo, a);
        kHi = std::min(kHi, b);
    };
    clip(startX, sx, -margin - 2.0, width + margin + 2.0);
    clip(startY, sy, -margin - 2.0, height + margin + 2.0);
    if (kHi < kLo) return;
    const int64_t first = std::max<int64_t>(0, static_cast<int64_t>(std::floor(kLo)) - 1);
    const int64_t last = std::min<int64_t>(lastStep, static_cast<int64_t>(std::ceil(kHi)) + 1);
    for (int64_t k = first; k <= last; ++k) {
        const int64_t x = static_cast<int64_t>(std::trunc(startX + static_cast<double>(k) * sx));
        const int64_t y = static_cast<int64_t>(std::trunc(startY + static_cast<double>(k) * sy));
        if (inBox(x, y)) visit(static_cast<int>(x), static_cast<int>(y));
    }
}

void stampAt(uint8_t* mask, int width, int height, int x, int y, int r) {
    if (r <= 1) {
        if (x >= 0 && x < width && y >= 0 && y < height) mask[static_cast<size_t>(y) * width + x] = 1;
        return;
    }
    if (r == 2) {
        for (int j = 0; j <= 1; ++j)
            for (int k = 0; k <= 1; ++k)
                if (x + k >= 0 && x + k < width && y + j >= 0 && y + j < height)
                    mask[static_cast<size_t>(y + j) * width + x + k] = 1;
        return;
    }
    // Every (x+k, y+j) with |j|, |k| <= r-1 and j² + k² <= (r-1)² + 1: one
    // span per row.
    const int64_t reach = r - 1;
    const int64_t limit = reach * reach + 1;
    for (int64_t j = -reach; j <= reach; ++j) {
        const int64_t row = y + j;
        if (row < 0 || row >= height) continue;
        int64_t half = static_cast<int64_t>(std::sqrt(static_cast<double>(limit - j * j)));
        while (half * half + j * j > limit) --half;
        while ((half + 1) * (half + 1) + j * j <= limit) ++half;
        half = std::min(half, reach);
        const int64_t from = std::max<int64_t>(0, x - half);
        const int64_t to = std::min<int64_t>(width - 1, x + half);
        if (from > to) continue;
        std::memset(mask + row * width + from, 1, static_cast<size_t>(to - from + 1));
    }
}

// The Bernstein form of one curve, with its coefficients computed once.
class BezierCurve {
public:
    explicit BezierCurve(const DragPath& path) : points_(path.points()) {
        const int n = static_cast<int>(points_.size());
        const int degree = n - 1;
        coefficients_.resize(points_.size());
        logDomain_ = degree > kDirectBezierDegree;
        for (int i = 0; i < n; ++i) {
            const int k = std::min(i, degree - i);
            if (logDomain_) {
                coefficients_[i] = std::lgamma(degree + 1.0) - std::lgamma(i + 1.0) -
                                   std::lgamma(degree - i + 1.0);
            } else {
                // The running product over the smaller of i and degree - i.
                double c = 1.0;
                for (int j = 1; j <= k; ++j) c = c * (degree - k + j) / j;
                coefficients_[i] = c;
            }
        }
    }

    void evaluate(double t, double& x, double& y) const {
        x = 0.0;
        y = 0.0;
        const int n = static_cast<int>(points_.size());
        if (n == 0) return;
        const int degree = n - 1;
        if (logDomain_) {
            if (t <= 0.0 || t >= 1.0) {
                const PathPoint& p = t <= 0.0 ? points_.front() : points_.back();
                x = p.x;
                y = p.y;
                return;
            }
            const double lt = std::log(t);
            const double lu = std::log1p(-t);
            for (int i = 0; i < n; ++i) {
                const double wgt = std::exp(coefficients_[i] + (degree - i) * lu + i * lt);
                x += wgt * points_[i].x;
                y += wgt * points_[i].y;
            }
            return;
        }
        // Powers of (1 - t) from the high end, powers of t as we go.
        oneMinusPowers_.resize(static_cast<size_t>(n));
        double power = 1.0;
        for (int j = 0; j < n; ++j) {
            oneMinusPowers_[static_cast<size_t>(j)] = power;
            power *= 1.0 - t;
        }
        double tPower = 1.0;
        for (int i = 0; i < n; ++i) {
            const double wgt = coefficients_[i] * oneMinusPowers_[static_cast<size_t>(degree - i)] * tPower;
            x += wgt * points_[i].x;
            y += wgt * points_[i].y;
            tPower *= t;
        }
    }

private:
    const std::vector<PathPoint>& points_;
    std::vector<double> coefficients_;
    mutable std::vector<double> oneMinusPowers_;
    bool logDomain_ = false;
};

// u of the frame value inside segment i (A = point i-1, B = point i).
double segmentParameter(const PathPoint& a, const PathPoint& b, double frame) {
    if (a.frame == b.frame) return 0.0;
    return (frame - a.frame) / (static_cast<double>(b.frame) - a.frame);
}

int roundedAlong(int from, int to, double u) {
    return truncToInt((1.0 - u) * from + u * to + 0.5);
}

double segmentLength(const PathPoint& a, const PathPoint& b) {
    return std::hypot(static_cast<double>(b.x) - a.x, static_cast<double>(b.y) - a.y);
}

// The N = 10 * count chords of a Bézier curve; point(k) converts samples.
template <typename Chord>
void bezierChords(const DragPath& path, Chord chord, double scale) {
    const BezierCurve curve(path);
    const int n = 10 * path.count();
    double vx = 0.0;
    double vy = 0.0;
    curve.evaluate(0.0, vx, vy);
    int px = truncToInt(scale * vx + 0.5);
    int py = truncToInt(scale * vy + 0.5);
    for (int k = 1; k <= n; ++k) {
        curve.evaluate(static_cast<double>(k) / n, vx, vy);
        const int qx = truncToInt(scale * vx + 0.5);
        const int qy = truncToInt(scale * vy + 0.5);
        chord(px, py, qx, qy);
        px = qx;
        py = qy;
    }
}

}  // namespace

void stampSegment(uint8_t* mask, int maskWidth, int maskHeight, int x0, int y0, int x1, int y1,
                  int r) {
    if (!mask || maskWidth <= 0 || maskHeight <= 0) return;
    r = std::min(r, 2 * kMaxLineWidth);
    walkSegment(x0, y0, x1, y1, maskWidth, maskHeight, std::max(r, 1) + 1,
                [&](int x, int y) { stampAt(mask, maskWidth, maskHeight, x, y, r); });
}

void drawThickLine(Canvas& canvas, int x0, int y0, int x1, int y1, int w, uint32_t color) {
    if (w <= 0) return;
    if (w == 1) {
        if (withinLineReach(x0) && withinLineReach(y0) && withinLineReach(x1) && withinLineReach(y1)) {
            canvas.drawLine(x0, y0, x1, y1, color);
        } else {
            // Far beyond any picture (positions from a hostile file): only the
            // visible pixels, the end point left out as a canvas line does.
            walkSegment(
                x0, y0, x1, y1, canvas.width(), canvas.height(), 0,
                [&](int x, int y) { canvas.fillRect(x, y, 1, 1, color); }, false);
        }
        return;
    }
    w = std::min(w, kMaxLineWidth);
    walkSegment(x0, y0, x1, y1, canvas.width(), canvas.height(), w + 1,
                [&](int x, int y) { canvas.drawEllipse(x - w, y - w, 2 * w, 2 * w, color); });
}

bool PolylineShape::positionAt(const DragPath& path, double frame, PathPosition& out) const {
    const int i = path.segmentForFrame(frame);
    if (i <= 0) return false;
    const PathPoint& a = *path.point(i - 1);
    const PathPoint& b = *path.point(i);
    const double u = segmentParameter(a, b, frame);
    if (!(u >= 0.0 && u <= 1.0)) return false;
    out.x = roundedAlong(a.x, b.x, u);
    out.y = roundedAlong(a.y, b.y, u);
    out.dx = clampToInt(static_cast<int64_t>(b.x) - a.x);
    out.dy = clampToInt(static_cast<int64_t>(b.y) - a.y);
    return true;
}

int PolylineShape::distanceTo(const DragPath& path, int x, int y) const {
    if (path.count() < 2) return kFarAway;
    double best = kFarAway;
    for (const PathPoint& p : path.points())
        best = std::min(best, std::hypot(static_cast<double>(x) - p.x, static_cast<double>(y) - p.y));
    for (int i = 1; i < path.count(); ++i) {
        const PathPoint& a = *path.point(i - 1);
        const PathPoint& b = *path.point(i);
        const double u = projectionParameter(x, y, a, b);
        if (u >= 0.0 && u <= 1.0) best = std::min(best, lineDistance(x, y, a, b));
    }
    return truncToInt(best);
}

void PolylineShape::rasterize(uint8_t* mask, int maskWidth, int maskHeight, const DragPath& path,
                              int halfWidth) const {
    if (path.count() <= 1 || halfWidth <= 0) return;
    const int r = 2 * std::min(halfWidth, kMaxLineWidth);
    for (int i = 1; i < path.count(); ++i) {
        const PathPoint& a = *path.point(i - 1);
        const PathPoint& b = *path.point(i);
        stampSegment(mask, maskWidth, maskHeight, clampToInt(2 * static_cast<int64_t>(a.x)),
                     clampToInt(2 * static_cast<int64_t>(a.y)), clampToInt(2 * static_cast<int64_t>(b.x)),
                     clampToInt(2 * static_cast<int64_t>(b.y)), r);
    }
}

void PolylineShape::draw(Canvas& canvas, const DragPath& path, int width, uint32_t color) const {
    if (path.count() < 2 || width < 1) return;
    for (int i = 1; i < path.count(); ++i) {
        const PathPoint& a = *path.point(i - 1);
        const PathPoint& b = *path.point(i);
        drawThickLine(canvas, a.x, a.y, b.x, b.y, width, color);
    }
}

void BezierShape::evaluate(const DragPath& path, double t, double& x, double& y) {
    BezierCurve(path).evaluate(t, x, y);
}

bool BezierShape::positionAt(const DragPath& path, double frame, PathPosition& out) const {
    const int i = path.segmentForFrame(frame);
    if (i <= 0) return false;
    double total = 0.0;
    double before = 0.0;
    for (int s = 1; s < path.count(); ++s) {
        const double len = segmentLength(*path.point(s - 1), *path.point(s));
        if (s < i) before += len;
        total += len;
    }
    if (!(total > 0.0)) return false;
    const PathPoint& a = *path.point(i - 1);
    const PathPoint& b = *path.point(i);
    const double u = segmentParameter(a, b, frame);
    if (!(u >= 0.0 && u <= 1.0)) return false;
    const double partial = std::hypot(static_cast<double>(roundedAlong(a.x, b.x, u)) - a.x,
                                      static_cast<double>(roundedAlong(a.y, b.y, u)) - a.y);
    const double t = (before + partial) / total;
    const BezierCurve curve(path);
    double x = 0.0, y = 0.0;
    curve.evaluate(t, x, y);
    out.x = truncToInt(x);
    out.y = truncToInt(y);
    double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
    if (t >= 0.9) {
        curve.evaluate(t - 0.05, x0, y0);
        x1 = x;
        y1 = y;
    } else {
        x0 = x;
        y0 = y;
        curve.evaluate(t + 0.05, x1, y1);
    }
    out.dx = truncToInt(x1 - x0);
    out.dy = truncToInt(y1 - y0);
    return true;
}

int BezierShape::distanceTo(const DragPath& path, int x, int y) const {
    if (path.count() < 2) return kFarAway;
    const BezierCurve curve(path);
    double best = kFarAway;
    // t = 0, 0.01, … 1, both ends included.
    for (int k = 0; k <= 100; ++k) {
        double bx = 0.0, by = 0.0;
        curve.evaluate(k / 100.0, bx, by);
        const double dx = std::trunc(bx - x);
        const double dy = std::trunc(by - y);
        best = std::min(best, std::sqrt(dx * dx + dy * dy));
    }
    return truncToInt(best);
}

void BezierShape::rasterize(uint8_t* mask, int maskWidth, int maskHeight, const DragPath& path,
                            int halfWidth) const {
    if (halfWidth <= 0 || path.count() < 2) return;
    const int r = 2 * std::min(halfWidth, kMaxLineWidth);
    bezierChords(
        path,
        [&](int x0, int y0, int x1, int y1) { stampSegment(mask, maskWidth, maskHeight, x0, y0, x1, y1, r); },
        2.0);
}

void BezierShape::draw(Canvas& canvas, const DragPath& path, int width, uint32_t color) const {
    if (width <= 0 || path.count() < 2) return;
    bezierChords(
        path, [&](int x0, int y0, int x1, int y1) { drawThickLine(canvas, x0, y0, x1, y1, width, color); },
        1.0);
}

const PolylineShape& polylineShape() {
    static const PolylineShape shape;
    return shape;
}

const BezierShape& bezierShape() {
    static const BezierShape shape;
    return shape;
}

const PathShape& shapeFor(const DragPath& path, bool bezier) {
    if (bezier && path.count() > 2) return bezierShape();
    return polylineShape();
}

}  // namespace veltro
