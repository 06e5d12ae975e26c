// PNG load and save over libpng 1.6. Decoded rows land directly in the
// ImageBuffer: besides the usual expansions libpng is asked for blue-green-red
// order and an opaque filler byte, which is exactly how 0xAARRGGBB words lie
// in memory. Library errors jump back through setjmp without a message.
#include "image/png_format.h"

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

#include "image/file_utils.h"

namespace veltro {

static_assert(std::endian::native == std::endian::little,
              "pixel words are handed to libpng as blue, green, red, alpha bytes");

namespace {

// Largest ancillary chunk libpng may allocate for (text, profiles).
constexpr png_alloc_size_t kMaxChunkBytes = 8 * 1024 * 1024;

// libpng's text of the failure reaches imageError; nothing goes to stderr.
[[noreturn]] void jumpOnError(png_structp png, png_const_charp message) {
    setImageError(message ? message : "libpng error");
    png_longjmp(png, 1);
}
void ignoreWarning(png_structp, png_const_charp) {}

// The unread rest of the PNG's bytes as libpng reads them.
struct MemorySource {
    const uint8_t* data;
    size_t left;
};

void readFromMemory(png_structp png, png_bytep target, png_size_t length) {
    auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (length > source->left)
        png_error(png, "Read Error: the file ends early");
    std::memcpy(target, source->data, length);
    source->data += length;
    source->left -= length;
}

// Decodes the PNG in source, refusing pictures of more than maxPixels.
bool decode(MemorySource source, int64_t maxPixels, ImagePtr& out, std::vector<png_bytep>& rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpOnError, ignoreWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        out.reset();
        return false;
    }
    png_set_user_limits(png, kMaxImageDimension, kMaxImageDimension);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_read_fn(png, &source, readFromMemory);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, nullptr, nullptr, nullptr);
    if (int64_t{width} * height > maxPixels) {
        setImageError("the picture's size is out of range");
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    bool transparencyChunk = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (colourType == PNG_COLOR_TYPE_PALETTE || (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) ||
        transparencyChunk)
        png_set_expand(png);
    if (depth == 16)
        png_set_strip_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    bool alpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 || transparencyChunk;
    png_set_bgr(png);
    if (!alpha)
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    if (png_get_rowbytes(png, info) != png_size_t(width) * 4 || png_get_bit_depth(png, info) != 8) {
        setImageError("unsupported pixel layout");
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    out = std::make_unique<ImageBuffer>(int(width), int(height));
    out->hasAlpha = alpha ? 1 : 0;
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = reinterpret_cast<png_bytep>(out->row(int(y)));
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool encode(FILE* file, const ImageBuffer& image, std::vector<png_bytep>& rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpOnError, ignoreWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    // libpng only reads the rows; the cast drops a const its API lacks.
    rows.resize(size_t(image.height));
    for (int y = 0; y < image.height; ++y)
        rows[size_t(y)] = reinterpret_cast<png_bytep>(const_cast<uint32_t*>(image.row(y)));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

ImagePtr PngFormat::load(const std::string& path) {
    std::string bytes;
    if (!readWholeFile(path, kMaxImageFileBytes, bytes)) {
        setImageError("cannot read \"" + path + "\"");
        return nullptr;
    }
    ImagePtr image;
    std::vector<png_bytep> rows;
    return decode(MemorySource{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()},
                  kMaxImagePixels, image, rows)
               ? std::move(image)
               : nullptr;
}

ImagePtr decodePng(const uint8_t* data, size_t size, int64_t maxPixels) {
    if (!data)
        return nullptr;
    ImagePtr image;
    std::vector<png_bytep> rows;
    return decode(MemorySource{data, size}, maxPixels, image, rows) ? std::move(image) : nullptr;
}

bool PngFormat::save(const std::string& path, const ImageBuffer& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixelCount() < static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
        setImageError("the picture is empty");
        return false;
    }
    ReplacementFile out(path);
    if (!out.stream()) {
        setImageError("cannot create \"" + path + "\"");
        return false;
    }
    std::vector<png_bytep> rows;
    if (!encode(out.stream(), image, rows))
        return false;
    if (!out.commit()) {
        setImageError("cannot write \"" + path + "\" (disk full?)");
        return false;
    }
    return true;
}

}  // namespace veltro
