// libFuzzer harness for the PNG decoder: any bytes must give a picture of the
// size it claims, opaque unless it says it has alpha, or none; never a crash,
// a hang or an unbounded allocation. The pixel bound is lower than the
// product's so that each run stays quick; the size checks are the same code.
#include <cstddef>
#include <cstdint>

#include "image/png_format.h"

namespace {
constexpr int64_t kFuzzMaxPixels = 4 * 1024 * 1024;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    veltro::ImagePtr image = veltro::decodePng(data, size, kFuzzMaxPixels);
    if (!image)
        return 0;
    if (image->width <= 0 || image->height <= 0 ||
        image->pixelCount() != static_cast<size_t>(image->width) * static_cast<size_t>(image->height))
        __builtin_trap();
    if (!image->hasAlpha)
        for (uint32_t pixel : image->pixels)
            if ((pixel >> 24) != 0xFF)
                __builtin_trap();
    return 0;
}
