// Path geometry: normals, zones, projection of the pointer onto frames, hit
// tests and stroke clean-up. Positions are int32 and may come from files, so
// every difference of coordinates is taken in doubles or 64-bit integers.
#include "dragmotion/drag_path.h"

#include "dragmotion/path_math.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

namespace veltro {

namespace {

constexpr size_t kInitialCapacity = 10;
constexpr double kTiny = 1e-10;

double pointDistance(double px, double py, const PathPoint& p) {
    return std::hypot(px - p.x, py - p.y);
}

bool within(int64_t a, int64_t b, int64_t tolerance) {
    return std::llabs(a - b) <= tolerance;
}

}  // namespace

double lineDistance(double px, double py, const PathPoint& a, const PathPoint& b) {
    const double dx = static_cast<double>(b.x) - a.x;
    const double dy = static_cast<double>(b.y) - a.y;
    const double len = std::hypot(dx, dy);
    if (len < kTiny) return pointDistance(px, py, b);
    return std::fabs(dx * (py - a.y) - dy * (px - a.x)) / len;
}

double projectionParameter(double px, double py, const PathPoint& a, const PathPoint& b) {
    const double dx = static_cast<double>(b.x) - a.x;
    const double dy = static_cast<double>(b.y) - a.y;
    const double len2 = dx * dx + dy * dy;
    if (len2 < kTiny) return 0.0;
    return ((px - a.x) * dx + (py - a.y) * dy) / len2;
}

DragPath::DragPath() { points_.reserve(kInitialCapacity); }

const PathPoint* DragPath::point(int i) const {
    if (i < 0 || i >= count()) return nullptr;
    return &points_[i];
}

PathPoint* DragPath::point(int i) {
    if (i < 0 || i >= count()) return nullptr;
    return &points_[i];
}

bool DragPath::append(int x, int y, int frame, int normalSegment) {
    if (count() >= kMaxPathPoints) return false;
    PathPoint p;
    p.x = x;
    p.y = y;
    p.frame = frame;
    p.flags = normalSegment != 0 ? 0 : kPathHandOverFlag;
    points_.push_back(p);
    return true;
}

bool DragPath::insert(const PathPoint& point, int index) {
    if (index < 0 || index >= kMaxPathPoints) return false;
    if (index >= count()) {
        points_.resize(static_cast<size_t>(index) + 1);
        points_[index] = point;
        return true;
    }
    if (count() >= kMaxPathPoints) return false;
    points_.insert(points_.begin() + index, point);
    return true;
}

bool DragPath::remove(int index) {
    if (index < 0 || index >= count()) return false;
    points_.erase(points_.begin() + index);
    return true;
}

void DragPath::computeNormals() {
    const int n = count();
    if (n < 2) return;
    std::vector<PathPoint>& p = points_;
    p[0].normalX = -(static_cast<double>(p[1].y) - p[0].y);
    p[0].normalY = static_cast<double>(p[1].x) - p[0].x;
    p[0].flags = p[1].flags;
    p[n - 1].normalX = -(static_cast<double>(p[n - 1].y) - p[n - 2].y);
    p[n - 1].normalY = static_cast<double>(p[n - 1].x) - p[n - 2].x;
    for (int i = 1; i < n - 1; ++i) {
        const double a = std::atan2(static_cast<double>(p[i].y) - p[i - 1].y,
                                    static_cast<double>(p[i].x) - p[i - 1].x);
        const double b = std::atan2(static_cast<double>(p[i + 1].y) - p[i].y,
                                    static_cast<double>(p[i + 1].x) - p[i].x);
        // The bisector of the turn. a - b is not wrapped, which may flip the
        // normal's sign across the ±π cut; zones and interpolation use only
        // the line along the normal, so the sign never matters.
        const double angle = a + (std::numbers::pi - (a - b)) / 2.0;
        p[i].normalX = std::cos(angle);
        p[i].normalY = std::sin(angle);
    }
}

void DragPath::markZones(int x, int y) {
    const double px = x;
    const double py = y;
    for (int i = 1; i < count(); ++i) {
        const PathPoint& a = points_[i - 1];
        const PathPoint& b = points_[i];
        // P and the far end lie on the same side of (or on) each end's normal line.
        const double sideA = ((px - a.x) * a.normalY - (py - a.y) * a.normalX) *
                             (a.normalY * (static_cast<double>(b.x) - a.x) -
                              a.normalX * (static_cast<double>(b.y) - a.y));
        const double sideB = ((px - b.x) * b.normalY - (py - b.y) * b.normalX) *
                             (b.normalY * (static_cast<double>(a.x) - b.x) -
                              b.normalX * (static_cast<double>(a.y) - b.y));
        if (sideA >= 0.0 && sideB >= 0.0)
            points_[i].flags |= kPathZoneFlag;
        else
            points_[i].flags &= ~kPathZoneFlag;
    }
}

int DragPath::segmentForFrame(double frame) const {
    for (int i = 1; i < count(); ++i) {
        if ((points_[i].frame - frame) * (points_[i - 1].frame - frame) <= 0.0) return i;
    }
    return -1;
}

double DragPath::segmentDistance(int x, int y, int segment) const {
    return lineDistance(x, y, points_[segment - 1], points_[segment]);
}

bool DragPath::project(int x, int y, double* frame, double* distance, int* index) {
    const int n = count();
    if (n < 2) return false;
    markZones(x, y);
    int o = -1;
    int chosen = -1;
    int end = 0;
    double best = 0.0;
    bool decided = false;

    if (frame) {
        o = segmentForFrame(*frame);
        // Continuity: while the pointer stays in the zone of the segment that
        // holds the current frame, that segment keeps the drag.
        if (o > 0 && zoneSet(o)) {
            best = segmentDistance(x, y, o);
            chosen = o;
            decided = true;
        }
    }
    if (!decided) {
        for (int i = 0; i < n; ++i) {
            if (points_[i].x == x && points_[i].y == y) {
                if (distance) *distance = 0.0;
                if (index) *index = i;
                if (frame) *frame = points_[i].frame;
                return true;
            }
        }
        best = pointDistance(x, y, points_[0]);
        const double toLast = pointDistance(x, y, points_[n - 1]);
        if (toLast < best) {
            best = toLast;
            end = n - 1;
        }
        bool previousWins = false;
        if (o >= 2 && zoneSet(o - 1)) {
            const double d = segmentDistance(x, y, o - 1);
            if (d < best) {
                best = d;
                chosen = o - 1;
                previousWins = true;
            }
        }
        bool nextWins = false;
        if (o >= 0 && o + 1 < n && zoneSet(o + 1)) {
            const double d = segmentDistance(x, y, o + 1);
            if (d < best) {
                best = d;
                chosen = o + 1;
                nextWins = true;
            }
        }
        if (!nextWins) {
            if (previousWins) {
                chosen = o - 1;
            } else {
                chosen = -1;
                for (int i = 1; i < n; ++i) {
                    if (!zoneSet(i)) continue;
                    const double d = segmentDistance(x, y, i);
                    if (d < best) {
                        best = d;
                        chosen = i;
                    }
                }
            }
        }
    }

    if (distance) *distance = best;
    if (chosen > 0) {
        if (index) *index = chosen;
        if (frame) *frame = interpolate(x, y, chosen);
    } else {
        if (index) *index = end;
        if (frame) *frame = points_[end].frame;
    }
    return true;
}

double DragPath::interpolate(int x, int y, int segment) const {
    if (segment < 1 || segment >= count()) return 0.0;
    const PathPoint& a = points_[segment - 1];
    const PathPoint& b = points_[segment];
    const double dx = static_cast<double>(b.x) - a.x;
    const double dy = static_cast<double>(b.y) - a.y;
    const double crossA = a.normalX * dy - a.normalY * dx;
    const double crossB = b.normalX * dy - b.normalY * dx;
    if (std::fabs(crossB) <= kTiny || std::fabs(crossA) <= kTiny) return b.frame;
    // Where the line through P parallel to A→B meets each end's normal line.
    const double px = x;
    const double py = y;
    const double tA = ((px - a.x) * dy - (py - a.y) * dx) / crossA;
    const double tB = ((px - b.x) * dy - (py - b.y) * dx) / crossB;
    const double pA = std::hypot(a.x + tA * a.normalX - px, a.y + tA * a.normalY - py);
    const double pB = std::hypot(b.x + tB * b.normalX - px, b.y + tB * b.normalY - py);
    if (!(pA + pB > kTiny)) return b.frame;
    return (pA * b.frame + pB * a.frame) / (pA + pB);
}

int DragPath::vertexAt(int x, int y, int tolerance) const {
    if (count() <= 1) return -1;
    for (int i = 0; i < count(); ++i) {
        if (within(points_[i].x, x, tolerance) && within(points_[i].y, y, tolerance)) return i;
    }
    return -1;
}

int DragPath::segmentAt(int x, int y, int tolerance) const {
    if (count() <= 1) return -1;
    for (int i = 1; i < count(); ++i) {
        const double u = projectionParameter(x, y, points_[i - 1], points_[i]);
        if (u >= 0.0 && u <= 1.0 && segmentDistance(x, y, i) <= tolerance) return i;
    }
    return -1;
}

bool DragPath::mergeDropped(int x, int y, int k) {
    const int n = count();
    if (k < 0 || k >= n) return false;
    int i = -1;
    for (int j = 0; j < n; ++j) {
        if (j != k && within(points_[j].x, x, 3) && within(points_[j].y, y, 3)) {
            i = j;
            break;
        }
    }
    if (i >= 0) {
        const bool kEnd = k == 0 || k == n - 1;
        const bool iEnd = i == 0 || i == n - 1;
        int from = 0;
        int to = -1;  // inclusive range of points to remove
        if (!kEnd) {
            if (i < k) {
                from = i + 1;
                to = k;
            } else {
                from = k;
                to = i - 1;
            }
        } else if (!iEnd) {
            if (k == n - 1) {
                from = i;
                to = k - 1;
            } else {
                from = 1;
                to = i;
            }
        }
        if (to >= from) points_.erase(points_.begin() + from, points_.begin() + to + 1);
    }
    if (count() < 2) return false;
    computeNormals();
    return true;
}

void DragPath::simplify(int minDistance) {
    const int64_t a = minDistance;
    auto near = [a](const PathPoint& p, const PathPoint& q) {
        return std::llabs(static_cast<int64_t>(p.x) - q.x) < a &&
               std::llabs(static_cast<int64_t>(p.y) - q.y) < a;
    };

    // 1. Interior points too close to the last kept one, or on its frame.
    int lastKept = 0;
    for (int i = 1; i < count() - 1;) {
        const PathPoint& kept = points_[lastKept];
        if (near(points_[i], kept) || points_[i].frame == kept.frame) {
            points_.erase(points_.begin() + i);
        } else {
            lastKept = i;
            ++i;
        }
    }
    // 2. The point before the end when it crowds the end.
    if (count() > 2) {
        const PathPoint& last = points_[count() - 1];
        const PathPoint& before = points_[count() - 2];
        if (near(before, last) || before.frame == last.frame) points_.erase(points_.end() - 2);
    }
    // 3. Corner rounding: a turn back by more than 135° gets an extra point
    // beside the corner, so the zones on either side stay apart. Each pass
    // restarts after an insertion; the number of insertions is bounded by the
    // point count at the start, which a real stroke never approaches.
    const double cosLimit = std::cos(std::numbers::pi / 4.0);
    int insertionsLeft = count() + 16;
    bool inserted = true;
    while (inserted && insertionsLeft > 0 && count() < kMaxPathPoints) {
        inserted = false;
        for (int e = 2; e < count(); ++e) {
            const PathPoint& s = points_[e - 2];
            const PathPoint& m = points_[e - 1];
            const PathPoint& g = points_[e];
            const double smx = static_cast<double>(m.x) - s.x;
            const double smy = static_cast<double>(m.y) - s.y;
            const double mgx = static_cast<double>(g.x) - m.x;
            const double mgy = static_cast<double>(g.y) - m.y;
            const double sgx = static_cast<double>(g.x) - s.x;
            const double sgy = static_cast<double>(g.y) - s.y;
            const double d1 = smx * smx + smy * smy;
            const double d2 = mgx * mgx + mgy * mgy;
            const double d3 = sgx * sgx + sgy * sgy;
            const double cosM = (d1 + d2 - d3) / 2.0 / std::sqrt(d1) / std::sqrt(d2);
            if (!(cosM > cosLimit)) continue;
            const double l1 = std::sqrt(d1);
            const double l2 = std::sqrt(d2);
            const double u1x = smx / l1, u1y = smy / l1;
            const double u2x = mgx / l2, u2y = mgy / l2;
            const double sx = u1x + u2x, sy = u1y + u2y;
            const double sl = std::hypot(sx, sy);
            double nx, ny;
            if (sl >= kTiny) {
                nx = m.x + a * sx / sl;
                ny = m.y + a * sy / sl;
            } else {
                nx = m.x + a * -u2y;
                ny = m.y + a * u2x;
            }
            PathPoint corner;
            corner.x = truncToInt(nx);
            corner.y = truncToInt(ny);
            corner.frame = truncToInt(0.1 * g.frame + 0.9 * m.frame);
            points_.insert(points_.begin() + e, corner);
            inserted = true;
            --insertionsLeft;
            break;
        }
    }
    computeNormals();
}

void DragPath::distributeFrames(int first, int span) {
    const int n = count();
    if (n < 2) return;
    for (int i = 0; i < n; ++i) {
        const int64_t f = first + static_cast<int64_t>(i) * span / (n - 1);
        points_[i].frame = clampToInt(f);
    }
}

void DragPath::reverse() {
    const int n = count();
    for (int i = 0; i < n / 2; ++i) {
        std::swap(points_[i].x, points_[n - 1 - i].x);
        std::swap(points_[i].y, points_[n - 1 - i].y);
    }
    computeNormals();
}

bool DragPath::scale(int oldWidth, int oldHeight, int newWidth, int newHeight) {
    if (oldWidth <= 0 || oldHeight <= 0) return false;
    for (PathPoint& p : points_) {
        p.x = clampToInt(static_cast<int64_t>(newWidth) * p.x / oldWidth);
        p.y = clampToInt(static_cast<int64_t>(newHeight) * p.y / oldHeight);
    }
    return true;
}

void DragPath::translate(int dx, int dy) {
    for (PathPoint& p : points_) {
        p.x = clampToInt(static_cast<int64_t>(p.x) + dx);
        p.y = clampToInt(static_cast<int64_t>(p.y) + dy);
    }
}

}  // namespace veltro
