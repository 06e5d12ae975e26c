// libFuzzer harness for the GIF decoder: any bytes must give an image or
// none, never a crash, a hang or an unbounded allocation. The pixel bound is
// lower than the product's (16384 x 16384) so that each run stays quick; the
// size checks themselves are the same code.
#include <cstddef>
#include <cstdint>

#include "image/gif_format.h"

namespace {
constexpr int64_t kFuzzMaxPixels = 4 * 1024 * 1024;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    veltro::ImagePtr image = veltro::decodeGif(data, size, kFuzzMaxPixels);
    if (image && image->pixelCount() != static_cast<size_t>(image->width) * static_cast<size_t>(image->height))
        __builtin_trap();
    return 0;
}
