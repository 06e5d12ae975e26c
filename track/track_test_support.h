// Generated clips with a known trajectory, for the tracker's tests and
// benchmark: a textured disc moving along a curve over a textured, noisy
// background, slowly at first and then faster, growing as it goes, passing
// behind a post that covers part of it. Every frame is drawn from scratch,
// so any frame can be asked for in any order.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "image/image_buffer.h"
#include "track/object_tracker.h"

namespace veltro::testing {

struct ClipOptions {
    int width = 320;
    int height = 240;
    int frames = 90;
    // The post in front of the object: its left edge and width, as fractions
    // of the picture width (width 0: no post).
    double postX = 0.47;
    double postWidth = 0.04;
    // The object's radius at the first and the last frame, as fractions of
    // the picture height.
    double radius0 = 0.07;
    double radius1 = 0.10;
    // Where the object goes: from this x (fraction of the width) to that one,
    // and how far up and down it swings (fraction of the height either way
    // from the middle; 0.5 reaches the top and bottom edges).
    double fromX = 0.15;
    double toX = 0.85;
    double swing = 0.22;
    // Share of the frames the first, slow part of the motion takes, and the
    // share of the way it covers.
    double slowFrames = 0.55;
    double slowWay = 0.3;
    // Amplitude of the background noise (grey levels, either way).
    int noise = 12;
    uint32_t seed = 7;
};

class SyntheticClip {
public:
    explicit SyntheticClip(const ClipOptions& options = {}) : o(options) {
        // A background of random blocks at three sizes, fixed for the clip.
        background.resize(static_cast<size_t>(o.width) * o.height);
        uint32_t state = o.seed;
        std::vector<int> coarse(64 * 64), middle(256 * 256);
        for (int& v : coarse)
            v = static_cast<int>(next(state) % 120);
        for (int& v : middle)
            v = static_cast<int>(next(state) % 80);
        const double unit = o.height / 240.0;
        for (int y = 0; y < o.height; ++y) {
            for (int x = 0; x < o.width; ++x) {
                const int c = coarse[(static_cast<int>(y / (24 * unit)) % 64) * 64 + static_cast<int>(x / (24 * unit)) % 64];
                const int m = middle[(static_cast<int>(y / (6 * unit)) % 256) * 256 + static_cast<int>(x / (6 * unit)) % 256];
                background[static_cast<size_t>(y) * o.width + x] = static_cast<uint8_t>(40 + c + m / 2);
            }
        }
    }

    int frameCount() const { return o.frames; }
    const ClipOptions& options() const { return o; }

    // The way done at frame f (0 .. 1): slow, then fast.
    double way(int f) const {
        const double t = o.frames > 1 ? static_cast<double>(f) / (o.frames - 1) : 0.0;
        if (t <= o.slowFrames)
            return o.slowWay * t / o.slowFrames;
        return o.slowWay + (1.0 - o.slowWay) * (t - o.slowFrames) / (1.0 - o.slowFrames);
    }
    // The object's centre at frame f: along a wave across the picture.
    TrackPoint truth(int f) const {
        const double s = way(f);
        const double x = o.width * (o.fromX + (o.toX - o.fromX) * s);
        const double y = o.height * (0.5 + o.swing * std::sin(2.0 * std::numbers::pi * 1.1 * s));
        return {x, y, f};
    }
    double radius(int f) const {
        const double t = o.frames > 1 ? static_cast<double>(f) / (o.frames - 1) : 0.0;
        return o.height * (o.radius0 + (o.radius1 - o.radius0) * t);
    }

    // Draws frame f into the clip's buffer.
    const ImageBuffer* frame(int f) {
        if (f < 0 || f >= o.frames)
            return nullptr;
        picture.allocate(o.width, o.height);
        uint32_t state = o.seed * 7919u + static_cast<uint32_t>(f) * 104729u + 1u;
        const TrackPoint c = truth(f);
        const double r = radius(f);
        const double r0 = o.height * o.radius0;
        const int postLeft = static_cast<int>(o.width * o.postX);
        const int postRight = postLeft + static_cast<int>(o.width * o.postWidth);
        for (int y = 0; y < o.height; ++y) {
            uint32_t* row = picture.row(y);
            for (int x = 0; x < o.width; ++x) {
                int red, green, blue;
                const double dx = x + 0.5 - c.x, dy = y + 0.5 - c.y;
                if (x >= postLeft && x < postRight) {
                    // The post: plain, slightly striped.
                    red = green = blue = 200 + ((y / 8) % 2) * 20;
                } else if (dx * dx + dy * dy <= r * r) {
                    // The object's own texture, scaled with it: rings and spokes.
                    const double u = dx * r0 / r, v = dy * r0 / r;
                    const double rho = std::hypot(u, v), phi = std::atan2(v, u);
                    const int ring = static_cast<int>(rho / (r0 / 4.0)) % 2;
                    const int spoke = static_cast<int>((phi + std::numbers::pi) / (std::numbers::pi / 4)) % 2;
                    const int level = ring ^ spoke ? 230 : 60;
                    red = level;
                    green = level / 2 + 40;
                    blue = 255 - level;
                } else {
                    red = green = blue = background[static_cast<size_t>(y) * o.width + x];
                }
                const int n = o.noise > 0 ? static_cast<int>(next(state) % (2 * o.noise + 1)) - o.noise : 0;
                red = std::clamp(red + n, 0, 255);
                green = std::clamp(green + n, 0, 255);
                blue = std::clamp(blue + n, 0, 255);
                row[x] = 0xFF000000u | static_cast<uint32_t>(red) << 16 | static_cast<uint32_t>(green) << 8 |
                         static_cast<uint32_t>(blue);
            }
        }
        return &picture;
    }

    FrameSupplier supplier() {
        return [this](int f) { return frame(f); };
    }

private:
    static uint32_t next(uint32_t& state) {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }

    ClipOptions o;
    std::vector<uint8_t> background;
    ImageBuffer picture;
};

// Mean and worst distance between positions and the clip's truth at their frames.
struct TrackError {
    double mean = 0.0;
    double worst = 0.0;
    int frames = 0;
};

inline TrackError trackError(const SyntheticClip& clip, const std::vector<TrackPoint>& points) {
    TrackError e;
    for (const TrackPoint& p : points) {
        const TrackPoint t = clip.truth(p.frame);
        const double d = std::hypot(p.x - t.x, p.y - t.y);
        e.mean += d;
        e.worst = std::max(e.worst, d);
        ++e.frames;
    }
    if (e.frames > 0)
        e.mean /= e.frames;
    return e;
}

}  // namespace veltro::testing
