// JPEG load and save over libjpeg-turbo (libjpeg 6b API). Library errors jump
// back through setjmp, so the work that libjpeg may abandon lives in small
// functions whose locals are plain C data; buffers with destructors belong to
// the callers.
#include "image/jpeg_format.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "image/file_utils.h"

namespace veltro {

namespace {

// libjpeg's own working memory is capped too: a progressive file keeps every
// coefficient in memory, and a hostile header must not make it take more.
constexpr long kMaxLibraryMemory = 512L * 1024 * 1024;
// A progressive file may repeat scans without end; real files use a dozen.
constexpr int kMaxScans = 1000;

struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// Keeps libjpeg's text of the message being raised, for imageError.
void keepMessage(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
}

[[noreturn]] void jumpOnError(j_common_ptr info) {
    keepMessage(info);
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Warnings are tolerated (many cameras write slightly odd files), except a
// premature end of file: a truncated JPEG is refused rather than shown with a
// grey lower part.
void filterWarning(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF)
        jumpOnError(info);
}

// Nothing goes to stderr: the text of a failure reaches imageError.
void discardMessage(j_common_ptr) {}

void installErrorManager(ErrorManager& errors) {
    errors.message[0] = '\0';
    jpeg_std_error(&errors.base);
    errors.base.error_exit = jumpOnError;
    errors.base.emit_message = filterWarning;
    errors.base.output_message = discardMessage;
}

void limitScans(j_common_ptr info) {
    auto* decompressor = reinterpret_cast<j_decompress_ptr>(info);
    if (decompressor->input_scan_number > kMaxScans) {
        std::snprintf(reinterpret_cast<ErrorManager*>(info->err)->message, JMSG_LENGTH_MAX,
                      "more than %d progressive scans", kMaxScans);
        std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
    }
}

uint32_t greyPixel(JSAMPLE g) { return 0xFF000000u | uint32_t(g) << 16 | uint32_t(g) << 8 | g; }

uint32_t rgbPixel(const JSAMPLE* s) {
    return 0xFF000000u | uint32_t(s[0]) << 16 | uint32_t(s[1]) << 8 | s[2];
}

// Files written by Adobe applications store CMYK inverted (0 = full ink).
uint32_t cmykPixel(const JSAMPLE* s, bool inverted) {
    unsigned c = s[0], m = s[1], y = s[2], k = s[3];
    if (!inverted) {
        c = 255 - c;
        m = 255 - m;
        y = 255 - y;
        k = 255 - k;
    }
    return 0xFF000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (y * k / 255);
}

// A reduced decode: the least size wanted, and the full size found.
struct Reduction {
    int minWidth = 1;
    int minHeight = 1;
    int fullWidth = 0;
    int fullHeight = 0;
};

// The numerator over 8 of the smallest scale keeping at least the wanted size.
unsigned reducedScale(unsigned width, unsigned height, const Reduction& want) {
    unsigned eighths = 1;
    while (eighths < 8 && ((width * eighths + 7) / 8 < unsigned(want.minWidth) ||
                           (height * eighths + 7) / 8 < unsigned(want.minHeight)))
        ++eighths;
    return eighths;
}

// Decodes the size bytes at data, refusing pictures of more than maxPixels;
// with reduce, at the smallest scale that keeps the size it asks for.
bool decode(const uint8_t* data, size_t size, int64_t maxPixels, ImagePtr& out, Reduction* reduce = nullptr) {
    jpeg_decompress_struct info;
    ErrorManager errors;
    jpeg_progress_mgr progress;
    info.err = &errors.base;
    installErrorManager(errors);
    if (setjmp(errors.jump)) {
        setImageError(errors.message);
        jpeg_destroy_decompress(&info);
        out.reset();
        return false;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = kMaxLibraryMemory;
    progress.progress_monitor = limitScans;
    info.progress = &progress;
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    if (info.image_width == 0 || info.image_height == 0 || info.image_width > unsigned(kMaxImageDimension) ||
        info.image_height > unsigned(kMaxImageDimension) ||
        int64_t{info.image_width} * info.image_height > maxPixels) {
        setImageError("the picture's size is out of range");
        jpeg_destroy_decompress(&info);
        return false;
    }
    if (reduce) {
        reduce->fullWidth = int(info.image_width);
        reduce->fullHeight = int(info.image_height);
        info.scale_num = reducedScale(info.image_width, info.image_height, *reduce);
        info.scale_denom = 8;
        info.dct_method = JDCT_IFAST;
        info.do_fancy_upsampling = FALSE;
    }
    bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    if (cmyk)
        info.out_color_space = JCS_CMYK;
    else if (info.jpeg_color_space != JCS_GRAYSCALE)
        info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    int components = info.output_components;
    if (!(components == 1 || (components == 3 && !cmyk) || (components == 4 && cmyk))) {
        setImageError("unsupported colour components");
        jpeg_destroy_decompress(&info);
        return false;
    }
    bool inverted = info.saw_Adobe_marker;
    out = std::make_unique<ImageBuffer>(int(info.output_width), int(info.output_height));
    JSAMPARRAY line = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                info.output_width * components, 1);
    while (info.output_scanline < info.output_height) {
        uint32_t* row = out->row(int(info.output_scanline));
        jpeg_read_scanlines(&info, line, 1);
        const JSAMPLE* s = line[0];
        for (unsigned x = 0; x < info.output_width; ++x, s += components) {
            if (components == 1)
                row[x] = greyPixel(s[0]);
            else if (components == 3)
                row[x] = rgbPixel(s);
            else
                row[x] = cmykPixel(s, inverted);
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// Puts table into one of libjpeg's table slots as it is (entries of 0 as 1).
void addTable(jpeg_compress_struct& info, int slot, const std::array<uint8_t, 64>& table) {
    unsigned int values[64];
    for (int k = 0; k < 64; ++k)
        values[k] = table[size_t(k)] ? table[size_t(k)] : 1;
    jpeg_add_quant_table(&info, slot, values, 100, TRUE);
}

// Encodes with the standard tables scaled by quality, or with tables when
// they are given.
bool encode(FILE* file, const ImageBuffer& image, int quality, const JpegQuantTables* tables, JSAMPLE* line) {
    jpeg_compress_struct info;
    ErrorManager errors;
    info.err = &errors.base;
    installErrorManager(errors);
    if (setjmp(errors.jump)) {
        setImageError(errors.message);
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(image.width);
    info.image_height = JDIMENSION(image.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    info.optimize_coding = TRUE;
    // Full-resolution colour: the first component's sampling matches the others'.
    info.comp_info[0].h_samp_factor = 1;
    info.comp_info[0].v_samp_factor = 1;
    if (tables) {
        addTable(info, 0, tables->luma);
        addTable(info, 1, tables->chroma);
    } else {
        jpeg_set_quality(&info, quality, TRUE);
    }
    jpeg_start_compress(&info, TRUE);
    JSAMPROW rows[1] = {line};
    while (info.next_scanline < info.image_height) {
        const uint32_t* src = image.row(int(info.next_scanline));
        JSAMPLE* d = line;
        for (int x = 0; x < image.width; ++x) {
            uint32_t p = src[x];
            *d++ = JSAMPLE(p >> 16);
            *d++ = JSAMPLE(p >> 8);
            *d++ = JSAMPLE(p);
        }
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

ImagePtr JpegFormat::load(const std::string& path) {
    std::string bytes;
    if (!readWholeFile(path, kMaxImageFileBytes, bytes)) {
        setImageError("cannot read \"" + path + "\"");
        return nullptr;
    }
    ImagePtr image;
    return decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), kMaxImagePixels, image)
               ? std::move(image)
               : nullptr;
}

ImagePtr decodeJpeg(const uint8_t* data, size_t size, int64_t maxPixels) {
    if (!data || size == 0)
        return nullptr;
    ImagePtr image;
    return decode(data, size, maxPixels, image) ? std::move(image) : nullptr;
}

ImagePtr loadJpegReduced(const std::string& path, int minWidth, int minHeight, int* fullWidth, int* fullHeight) {
    std::string bytes;
    if (!readWholeFile(path, kMaxImageFileBytes, bytes)) {
        setImageError("cannot read \"" + path + "\"");
        return nullptr;
    }
    Reduction reduce;
    reduce.minWidth = minWidth > 0 ? minWidth : 1;
    reduce.minHeight = minHeight > 0 ? minHeight : 1;
    ImagePtr image;
    if (!decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), kMaxImagePixels, image, &reduce))
        return nullptr;
    if (fullWidth)
        *fullWidth = reduce.fullWidth;
    if (fullHeight)
        *fullHeight = reduce.fullHeight;
    return image;
}

bool JpegFormat::save(const std::string& path, const ImageBuffer& image) {
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
    std::vector<JSAMPLE> line(static_cast<size_t>(image.width) * 3);
    if (!encode(out.stream(), image, quality, tables ? &*tables : nullptr, line.data()))
        return false;
    if (!out.commit()) {
        setImageError("cannot write \"" + path + "\" (disk full?)");
        return false;
    }
    return true;
}

bool JpegFormat::encodeBytes(const ImageBuffer& image, std::string& bytes) {
    bytes.clear();
    if (image.width <= 0 || image.height <= 0 ||
        image.pixelCount() < static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
        return false;
    char* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    if (!stream)
        return false;
    std::vector<JSAMPLE> line(static_cast<size_t>(image.width) * 3);
    const bool encoded = encode(stream, image, quality, tables ? &*tables : nullptr, line.data());
    const bool closed = std::fclose(stream) == 0;
    if (encoded && closed && buffer)
        bytes.assign(buffer, size);
    std::free(buffer);
    return encoded && closed;
}

}  // namespace veltro
