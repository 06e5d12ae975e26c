// Conversion of uncompressed AVI samples (device-independent bitmaps) into
// the reader's frame: 8-bit palettised, 16-bit 5-5-5 and 24-bit rows, each
// padded to a multiple of four bytes, bottom row first unless the stream
// says its rows run top-down. Every output pixel is opaque.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/image_buffer.h"

namespace veltro {

// The shape of one raw sample.
struct DibLayout {
    int width = 0;
    int height = 0;
    int bitCount = 24;     // 8, 16 or 24
    bool bottomUp = true;  // the file's usual order: the last row comes first
};

// Bytes in one padded row of a sample.
size_t dibRowBytes(const DibLayout& layout);

// Converts one sample into target (already width x height). For 8-bit samples
// palette holds the colour table as 0x??RRGGBB words (the RGBQUAD bytes B, G,
// R, reserved); an index at or beyond its size reads as index 0, and with an
// empty table every pixel is black. False, with target untouched, when the
// sample is shorter than its rows or the layout is not one of the three.
bool convertDib(const uint8_t* bytes, size_t size, const DibLayout& layout,
                const std::vector<uint32_t>& palette, ImageBuffer& target);

}  // namespace veltro
