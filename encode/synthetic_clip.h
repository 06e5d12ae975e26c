// Generated clips for the frame store's tests and benchmarks: a textured
// background with shapes moving over it, held by an in-memory movie reader,
// and the picture-difference measure the round trips are judged by.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "image/image_buffer.h"
#include "movie/movie_format.h"

namespace veltro::synthetic {

// A movie reader over frames in memory; frames listed in missing are not
// delivered (frameAt gives none), as a damaged source would do.
class MemoryMovieReader : public MovieReader {
public:
    // Owns the frames.
    explicit MemoryMovieReader(std::vector<ImageBuffer> frames, std::vector<int> missing = {})
        : m_owned(std::move(frames)), m_frames(&m_owned), m_missing(std::move(missing)) {
        frameCount = static_cast<int>(m_frames->size());
        frameRate = 25.0;
    }
    // Reads frames kept by the caller, without copying them (benchmarks).
    explicit MemoryMovieReader(const std::vector<ImageBuffer>* frames) : m_frames(frames) {
        frameCount = static_cast<int>(m_frames->size());
        frameRate = 25.0;
    }
    bool open(const std::string&) override { return true; }
    const ImageBuffer* frameAt(int index) override {
        ++calls;
        if (index < 0 || index >= frameCount)
            return nullptr;
        for (int m : m_missing)
            if (m == index)
                return nullptr;
        requested.push_back(index);
        return &(*m_frames)[index];
    }
    const std::vector<ImageBuffer>& frames() const { return *m_frames; }

    int calls = 0;
    std::vector<int> requested;  // indices delivered, in call order

private:
    std::vector<ImageBuffer> m_owned;
    const std::vector<ImageBuffer>* m_frames;
    std::vector<int> m_missing;
};

inline uint32_t rgb(int r, int g, int b) {
    auto c = [](int v) { return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    return 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b);
}

// A small deterministic pseudo-random generator (the same numbers everywhere).
class Random {
public:
    explicit Random(uint32_t seed) : m_state(seed * 2654435761u + 1u) {}
    uint32_t next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    int range(int lo, int hi) { return lo + static_cast<int>(next() % uint32_t(hi - lo + 1)); }

private:
    uint32_t m_state;
};

// A smooth, busy texture: stripes, rings and a fixed grain, like a street
// scene's brick, foliage and asphalt seen by a fixed camera.
inline ImageBuffer texturedBackground(int width, int height) {
    ImageBuffer image(width, height);
    Random grain(7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double s = std::sin(x * 0.21) * std::cos(y * 0.17);
            const double r = std::sin(std::hypot(x - width * 0.3, y - height * 0.6) * 0.15);
            const int g = grain.range(-12, 12);
            image.at(x, y) = rgb(120 + int(60 * s) + g, 110 + int(50 * r) + g, 90 + int(40 * (s - r)) + g);
        }
    return image;
}

// Options of a generated clip.
struct ClipOptions {
    int width = 320;
    int height = 240;
    int frames = 30;
    int shapes = 3;       // moving shapes; 0 gives a clip with no motion at all
    int speed = 3;        // pixels per frame
    int noise = 0;        // per-frame sensor noise amplitude (0: none)
    int minShapeSize = 0; // half-size range of the shapes in pixels (0: width / 20 .. width / 8)
    int maxShapeSize = 0;
    uint32_t seed = 1;
};

// Shapes (discs and boxes of their own colour and shading) moving across a
// textured background.
inline std::vector<ImageBuffer> movingShapesClip(const ClipOptions& options) {
    const ImageBuffer background = texturedBackground(options.width, options.height);
    struct Shape { double x, y, dx, dy; int size; bool disc; int r, g, b; };
    Random random(options.seed);
    std::vector<Shape> shapes;
    for (int i = 0; i < options.shapes; ++i) {
        Shape s;
        s.x = random.range(0, options.width - 1);
        s.y = random.range(0, options.height - 1);
        const double angle = random.range(0, 359) * 3.14159265 / 180.0;
        s.dx = std::cos(angle) * options.speed;
        s.dy = std::sin(angle) * options.speed;
        const int lo = options.minShapeSize > 0 ? options.minShapeSize : std::max(4, options.width / 20);
        const int hi = options.maxShapeSize > 0 ? options.maxShapeSize : std::max(6, options.width / 8);
        s.size = random.range(lo, std::max(lo, hi));
        s.disc = random.next() & 1;
        s.r = random.range(0, 255);
        s.g = random.range(0, 255);
        s.b = random.range(0, 255);
        shapes.push_back(s);
    }
    std::vector<ImageBuffer> frames;
    Random noise(options.seed + 99);
    for (int f = 0; f < options.frames; ++f) {
        ImageBuffer image = background;
        for (Shape& s : shapes) {
            for (int y = int(s.y) - s.size; y <= int(s.y) + s.size; ++y)
                for (int x = int(s.x) - s.size; x <= int(s.x) + s.size; ++x) {
                    if (x < 0 || y < 0 || x >= options.width || y >= options.height)
                        continue;
                    const double ux = x - s.x, uy = y - s.y;
                    if (s.disc && ux * ux + uy * uy > double(s.size) * s.size)
                        continue;
                    const int shade = int(30 * std::sin((ux + uy) * 0.3));
                    image.at(x, y) = rgb(s.r + shade, s.g + shade, s.b - shade);
                }
            s.x += s.dx;
            s.y += s.dy;
            if (s.x < 0 || s.x >= options.width)
                s.dx = -s.dx;
            if (s.y < 0 || s.y >= options.height)
                s.dy = -s.dy;
        }
        if (options.noise > 0)
            for (uint32_t& p : image.pixels) {
                const int n = noise.range(-options.noise, options.noise);
                p = rgb(int((p >> 16) & 0xFF) + n, int((p >> 8) & 0xFF) + n, int(p & 0xFF) + n);
            }
        frames.push_back(std::move(image));
    }
    return frames;
}

// Peak signal-to-noise ratio of two same-sized pictures over R, G and B, in
// dB (1000 for identical pictures, 0 for different sizes).
inline double psnr(const ImageBuffer& a, const ImageBuffer& b) {
    if (a.width != b.width || a.height != b.height || a.pixelCount() != b.pixelCount())
        return 0.0;
    double sum = 0.0;
    for (size_t i = 0; i < a.pixelCount(); ++i)
        for (int shift = 0; shift <= 16; shift += 8) {
            const double d = double((a.pixels[i] >> shift) & 0xFF) - double((b.pixels[i] >> shift) & 0xFF);
            sum += d * d;
        }
    if (sum == 0.0)
        return 1000.0;
    const double mse = sum / (3.0 * a.pixelCount());
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace veltro::synthetic
