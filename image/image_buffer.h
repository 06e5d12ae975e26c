// The one in-memory picture type: 32-bit words 0xAARRGGBB, row-major, top row
// first, no row padding. Alpha is two-state: byte 0 is transparent, anything
// else is set. Fresh buffers are opaque white.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace veltro {

// Largest picture any decoder in the program will produce; a clip never needs
// more, and a hostile header claiming more must not make us allocate it.
inline constexpr int kMaxImageDimension = 16384;
// Most pixels any decoder produces (64 Mi, a 256 MiB buffer: 8192 x 8192, the
// largest movie frame): a header may claim both sides at their cap, and a few
// bytes of it must not make the program allocate and fill gigabytes.
inline constexpr int64_t kMaxImagePixels = int64_t{8192} * 8192;
// Largest picture file a codec reads (far beyond any real interface picture,
// frame sheet or template).
inline constexpr size_t kMaxImageFileBytes = size_t{256} << 20;

class ImageBuffer {
public:
    ImageBuffer() = default;
    ImageBuffer(int width, int height) { allocate(width, height); }

    // Sets the size; with a zero dimension no pixel storage is touched,
    // otherwise storage is replaced by width x height opaque white pixels.
    void allocate(int width, int height);
    // Frees the pixel storage.
    void release();

    uint32_t* data() { return pixels.data(); }
    const uint32_t* data() const { return pixels.data(); }
    uint32_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * width; }
    const uint32_t* row(int y) const { return pixels.data() + static_cast<size_t>(y) * width; }
    uint32_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool empty() const { return pixels.empty(); }
    size_t pixelCount() const { return pixels.size(); }

    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    // 1 when the picture carries real transparency that drawing must honour.
    int hasAlpha = 0;
};

using ImagePtr = std::unique_ptr<ImageBuffer>;

// A pixel is set when its alpha byte is not 0.
inline bool isSetPixel(uint32_t word) { return word > 0x00FFFFFFu; }

// A deep copy: size, hasAlpha and every pixel.
ImagePtr copyImage(const ImageBuffer& source);
// Nearest-neighbour resize (thumbnails and previews).
ImagePtr scaleNearest(const ImageBuffer& source, int newWidth, int newHeight);
// Box average when shrinking, repetition when enlarging, per axis; transparent
// pixels are never counted, so they never darken an average.
ImagePtr scaleAverage(const ImageBuffer& source, int newWidth, int newHeight);
// Crop or pad anchored at the top-left corner; padding is 0x00000000.
ImagePtr resizeCanvas(const ImageBuffer& source, int newWidth, int newHeight);
// Copies every set pixel of source onto target (same size; the target's pixel
// count is used).
void overlayOpaque(ImageBuffer& target, const ImageBuffer& source);

}  // namespace veltro
