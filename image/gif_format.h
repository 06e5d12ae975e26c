// GIF written and read by our own codec (no GIF library): at most 256 colours
// (a popularity palette above that), GIF87a, or GIF89a with a transparent
// colour for pictures with real transparency, variable-length-code LZW.
// Reading takes the first image of a GIF87a or GIF89a file, interlaced or
// not, with its local colour table and transparent colour.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/image_format.h"

namespace veltro {

class GifFormat : public ImageFormat {
public:
    const char* description() const override { return "GIF image (*.gif)"; }
    const char* pattern() const override { return "*.gif"; }
    ImagePtr load(const std::string& path) override;
    bool save(const std::string& path, const ImageBuffer& image) override;
};

// Largest picture the decoder produces, in pixels (each side is also capped at
// kMaxImageDimension); bigger images are refused before any pixel is allocated.
inline constexpr int64_t kMaxGifPixels = kMaxImagePixels;

// Decodes the first image of a GIF held in memory, refusing images of more
// than maxPixels pixels; none on failure.
ImagePtr decodeGif(const uint8_t* data, size_t size, int64_t maxPixels = kMaxGifPixels);

}  // namespace veltro
