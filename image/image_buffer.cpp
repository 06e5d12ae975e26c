#include "image/image_buffer.h"

#include <algorithm>

namespace veltro {

void ImageBuffer::allocate(int w, int h) {
    width = w;
    height = h;
    if (w <= 0 || h <= 0)
        return;
    pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0xFFFFFFFFu);
}

void ImageBuffer::release() {
    pixels.clear();
    pixels.shrink_to_fit();
}

ImagePtr copyImage(const ImageBuffer& source) {
    auto result = std::make_unique<ImageBuffer>();
    result->width = source.width;
    result->height = source.height;
    result->pixels = source.pixels;
    result->hasAlpha = source.hasAlpha;
    return result;
}

namespace {

// The shortcuts shared by every resize: same size copies, a zero dimension
// gives one opaque white pixel.
ImagePtr resizeShortcut(const ImageBuffer& source, int newWidth, int newHeight) {
    if (newWidth == source.width && newHeight == source.height)
        return copyImage(source);
    if (newWidth <= 0 || newHeight <= 0)
        return std::make_unique<ImageBuffer>(1, 1);
    return nullptr;
}

ImagePtr sizedLike(const ImageBuffer& source, int newWidth, int newHeight) {
    auto result = std::make_unique<ImageBuffer>(newWidth, newHeight);
    result->hasAlpha = source.hasAlpha;
    return result;
}

}  // namespace

ImagePtr scaleNearest(const ImageBuffer& source, int newWidth, int newHeight) {
    if (auto shortcut = resizeShortcut(source, newWidth, newHeight))
        return shortcut;
    auto result = sizedLike(source, newWidth, newHeight);
    if (source.empty())
        return result;
    for (int y = 0; y < newHeight; ++y) {
        const uint32_t* src = source.row(static_cast<int>(int64_t(y) * source.height / newHeight));
        uint32_t* dst = result->row(y);
        for (int x = 0; x < newWidth; ++x)
            dst[x] = src[int64_t(x) * source.width / newWidth];
    }
    return result;
}

ImagePtr scaleAverage(const ImageBuffer& source, int newWidth, int newHeight) {
    if (auto shortcut = resizeShortcut(source, newWidth, newHeight))
        return shortcut;
    auto result = sizedLike(source, newWidth, newHeight);
    if (source.empty())
        return result;

    double srcStepX = 1.0, dstStepX = 1.0, srcStepY = 1.0, dstStepY = 1.0;
    if (source.width >= newWidth)
        dstStepX = double(newWidth) / source.width;
    else
        srcStepX = double(source.width) / newWidth;
    if (source.height >= newHeight)
        dstStepY = double(newHeight) / source.height;
    else
        srcStepY = double(source.height) / newHeight;

    struct Cell { int32_t r = 0, g = 0, b = 0, count = 0; };
    std::vector<Cell> cells(static_cast<size_t>(newWidth) * newHeight);

    for (double sy = 0.0, dy = 0.0; sy < source.height && dy < newHeight; sy += srcStepY, dy += dstStepY) {
        const uint32_t* src = source.row(static_cast<int>(sy));
        Cell* dstRow = &cells[static_cast<size_t>(dy) * newWidth];
        for (double sx = 0.0, dx = 0.0; sx < source.width && dx < newWidth; sx += srcStepX, dx += dstStepX) {
            uint32_t p = src[static_cast<int>(sx)];
            if ((p >> 24) == 0)
                continue;
            Cell& c = dstRow[static_cast<int>(dx)];
            c.r += (p >> 16) & 0xFF;
            c.g += (p >> 8) & 0xFF;
            c.b += p & 0xFF;
            c.count += 1;
        }
    }

    uint32_t* out = result->data();
    for (const Cell& c : cells) {
        if (c.count == 0)
            *out++ = 0x00000000u;
        else
            *out++ = 0xFF000000u | uint32_t(c.r / c.count) << 16 | uint32_t(c.g / c.count) << 8 |
                     uint32_t(c.b / c.count);
    }
    return result;
}

ImagePtr resizeCanvas(const ImageBuffer& source, int newWidth, int newHeight) {
    if (auto shortcut = resizeShortcut(source, newWidth, newHeight))
        return shortcut;
    auto result = sizedLike(source, newWidth, newHeight);
    int copyWidth = std::min(source.width, newWidth);
    for (int y = 0; y < newHeight; ++y) {
        uint32_t* dst = result->row(y);
        std::fill(dst, dst + newWidth, 0x00000000u);
        if (y < source.height && !source.empty())
            std::copy(source.row(y), source.row(y) + copyWidth, dst);
    }
    return result;
}

void overlayOpaque(ImageBuffer& target, const ImageBuffer& source) {
    size_t count = std::min(target.pixelCount(), source.pixelCount());
    const uint32_t* src = source.data();
    uint32_t* dst = target.data();
    for (size_t i = 0; i < count; ++i)
        if (isSetPixel(src[i]))
            dst[i] = src[i];
}

}  // namespace veltro
