// PNG over libpng: palettes and low-depth grey expanded, 16-bit samples
// stripped to 8, grey widened to RGB; written as 8-bit RGBA.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/image_format.h"

namespace veltro {

class PngFormat : public ImageFormat {
public:
    const char* description() const override { return "PNG image (*.png)"; }
    const char* pattern() const override { return "*.png"; }
    // hasAlpha is 1 exactly when the decoded rows carry an alpha channel
    // (an alpha colour type or a transparency chunk).
    ImagePtr load(const std::string& path) override;
    // Every alpha byte is stored as it lies in the buffer, whatever hasAlpha says.
    bool save(const std::string& path, const ImageBuffer& image) override;
};

// Decodes a PNG held in memory as load does, refusing pictures of more than
// maxPixels pixels; none on failure.
ImagePtr decodePng(const uint8_t* data, size_t size, int64_t maxPixels = kMaxImagePixels);

}  // namespace veltro
