// The pixel rules for raw AVI samples. They are written out here rather than
// left to a generic scaler because the rules are exact: row padding, palette
// bounds and the zero low bits of 5-5-5 channels.
#include "movie/avi_movie_pixels.h"

namespace veltro {

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

uint32_t paletteColour(const std::vector<uint32_t>& palette, uint8_t index) {
    if (index >= palette.size())
        index = 0;
    return palette.empty() ? kOpaque : kOpaque | (palette[index] & 0x00FFFFFFu);
}

}  // namespace

size_t dibRowBytes(const DibLayout& layout) {
    const size_t bytesPerPixel = static_cast<size_t>(layout.bitCount) / 8;
    return (static_cast<size_t>(layout.width) * bytesPerPixel + 3) & ~size_t{3};
}

bool convertDib(const uint8_t* bytes, size_t size, const DibLayout& layout,
                const std::vector<uint32_t>& palette, ImageBuffer& target) {
    if (layout.bitCount != 8 && layout.bitCount != 16 && layout.bitCount != 24)
        return false;
    if (layout.width <= 0 || layout.height <= 0 || target.width != layout.width ||
        target.height != layout.height || target.empty())
        return false;
    const size_t rowBytes = dibRowBytes(layout);
    if (!bytes || size / rowBytes < static_cast<size_t>(layout.height))
        return false;
    for (int y = 0; y < layout.height; ++y) {
        const int sourceRow = layout.bottomUp ? layout.height - 1 - y : y;
        const uint8_t* in = bytes + static_cast<size_t>(sourceRow) * rowBytes;
        uint32_t* out = target.row(y);
        switch (layout.bitCount) {
        case 24:
            for (int x = 0; x < layout.width; ++x, in += 3)
                out[x] = kOpaque | uint32_t{in[2]} << 16 | uint32_t{in[1]} << 8 | in[0];
            break;
        case 16:
            for (int x = 0; x < layout.width; ++x, in += 2) {
                const uint32_t v = in[0] | uint32_t{in[1]} << 8;
                const uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
                out[x] = kOpaque | (r << 3) << 16 | (g << 3) << 8 | (b << 3);
            }
            break;
        default:
            for (int x = 0; x < layout.width; ++x)
                out[x] = paletteColour(palette, in[x]);
            break;
        }
    }
    return true;
}

}  // namespace veltro
