// Frame-aware simplification of a tracked trajectory.
#include "track/follow_path.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace veltro {

namespace {

struct Position {
    double x;
    double y;
    int frame;
};

// How far the path between a and b misses position p at p's frame.
double missAt(const Position& a, const Position& b, const Position& p) {
    const double u = b.frame == a.frame ? 0.0 : static_cast<double>(p.frame - a.frame) / (b.frame - a.frame);
    return std::hypot(a.x + u * (b.x - a.x) - p.x, a.y + u * (b.y - a.y) - p.y);
}

// True when the path S -> M -> G turns back by more than 135 degrees at M,
// measured as a drawn stroke's corners are.
bool turnsBack(const Position& s, const Position& m, const Position& g) {
    const double d1 = (s.x - m.x) * (s.x - m.x) + (s.y - m.y) * (s.y - m.y);
    const double d2 = (g.x - m.x) * (g.x - m.x) + (g.y - m.y) * (g.y - m.y);
    const double d3 = (g.x - s.x) * (g.x - s.x) + (g.y - s.y) * (g.y - s.y);
    if (d1 < 1e-9 || d2 < 1e-9)
        return false;
    const double cosM = (d1 + d2 - d3) / 2.0 / std::sqrt(d1) / std::sqrt(d2);
    return cosM > std::cos(std::numbers::pi / 4);
}

}  // namespace

bool followPath(const std::vector<TrackPoint>& track, double scaleX, double scaleY, DragPath& path,
                double tolerance) {
    path.clear();
    const int n = static_cast<int>(track.size());
    if (n < 2)
        return false;
    std::vector<Position> q;
    q.reserve(track.size());
    for (const TrackPoint& t : track)
        q.push_back({t.x * scaleX, t.y * scaleY, t.frame});

    // Keep the points the straight, evenly paced segments cannot do without
    // (Douglas-Peucker, distances taken at equal frames).
    std::vector<char> keep(track.size(), 0);
    keep.front() = keep.back() = 1;
    std::vector<std::pair<int, int>> spans{{0, n - 1}};
    while (!spans.empty()) {
        const auto [a, b] = spans.back();
        spans.pop_back();
        int worst = -1;
        double worstMiss = tolerance;
        for (int k = a + 1; k < b; ++k) {
            const double miss = missAt(q[a], q[b], q[k]);
            if (miss > worstMiss) {
                worstMiss = miss;
                worst = k;
            }
        }
        if (worst >= 0) {
            keep[worst] = 1;
            spans.emplace_back(a, worst);
            spans.emplace_back(worst, b);
        }
    }

    // Round corners that turn back with tracked positions between them.
    for (bool changed = true; changed;) {
        changed = false;
        std::vector<int> kept;
        for (int i = 0; i < n; ++i)
            if (keep[i])
                kept.push_back(i);
        for (size_t e = 2; e < kept.size(); ++e) {
            const int s = kept[e - 2], m = kept[e - 1], g = kept[e];
            if (g - m > 1 && turnsBack(q[s], q[m], q[g])) {
                keep[(m + g) / 2] = 1;
                changed = true;
            }
        }
    }

    for (int i = 0; i < n; ++i) {
        if (!keep[i])
            continue;
        if (!path.append(static_cast<int>(std::lround(q[i].x)), static_cast<int>(std::lround(q[i].y)), q[i].frame,
                         1)) {
            path.clear();
            return false;
        }
    }
    path.computeNormals();
    return true;
}

}  // namespace veltro
