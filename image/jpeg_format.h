// JPEG over libjpeg-turbo: optimised Huffman tables, no chroma subsampling,
// baseline quality tables; greyscale files load as grey opaque pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/image_format.h"

namespace veltro {

class JpegFormat : public ImageFormat {
public:
    const char* description() const override { return "JPEG image (*.jpg;*.jpeg)"; }
    const char* pattern() const override { return "*.jpg;*.jpeg"; }
    ImagePtr load(const std::string& path) override;
    bool save(const std::string& path, const ImageBuffer& image) override;

    // Quality 0-100 used by save.
    int quality = 75;
};

// Decodes a JPEG held in memory as load does, refusing pictures of more than
// maxPixels pixels; none on failure.
ImagePtr decodeJpeg(const uint8_t* data, size_t size, int64_t maxPixels = kMaxImagePixels);

}  // namespace veltro
