// JPEG over libjpeg-turbo: optimised Huffman tables, no chroma subsampling,
// baseline quality tables; greyscale files load as grey opaque pixels.
#pragma once

#include <string>

#include "image/image_format.h"

namespace veltro {

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
};

}  // namespace veltro
