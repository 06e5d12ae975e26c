// JPEG over libjpeg-turbo: optimised Huffman tables, no chroma subsampling,
// baseline quality tables (or tables the owner gives); greyscale files load as
// grey opaque pixels.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "image/image_format.h"

namespace veltro {

// Quantisation tables for the luminance and both chroma components, 64
// entries each in natural (row by row) order, 1-255 so the file stays
// baseline.
struct JpegQuantTables {
    std::array<uint8_t, 64> luma{};
    std::array<uint8_t, 64> chroma{};
};

class JpegFormat : public ImageFormat {
public:
    const char* description() const override { return "JPEG image (*.jpg;*.jpeg)"; }
    const char* pattern() const override { return "*.jpg;*.jpeg"; }
    ImagePtr load(const std::string& path) override;
    bool save(const std::string& path, const ImageBuffer& image) override;
    // The bytes save would write, kept in memory (for size trials); false on failure.
    bool encodeBytes(const ImageBuffer& image, std::string& bytes);

    // Quality 0-100 used by save.
    int quality = 75;
    // When set, save writes these tables instead of the standard ones scaled
    // by quality (entries of 0 count as 1).
    std::optional<JpegQuantTables> tables;
};

// Loads a JPEG file decoded at the smallest of libjpeg's scales (1/8, 2/8 ...
// 8/8) that still gives at least minWidth x minHeight pixels, which costs a
// fraction of a full decode: thumbnails of large photos. The picture's full
// size goes to *fullWidth and *fullHeight (either may be nullptr). None on any
// failure, as load.
ImagePtr loadJpegReduced(const std::string& path, int minWidth, int minHeight, int* fullWidth, int* fullHeight);

// Decodes a JPEG held in memory as load does, refusing pictures of more than
// maxPixels pixels; none on failure.
ImagePtr decodeJpeg(const uint8_t* data, size_t size, int64_t maxPixels = kMaxImagePixels);

}  // namespace veltro
