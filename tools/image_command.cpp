// veltrotool image. Pictures are read through the image format registry (PNG,
// JPEG), or by the GIF codec for ".gif", and written by the codec their
// extension names. Output lines are stable: scripts and checks read them.
//
//   image info FILE                      -> "WIDTHxHEIGHT alpha=0|1"
//   image convert IN OUT [--quality Q]   -> JPEG at quality Q (default 75)
//   image scale --nearest|--average|--canvas IN OUT W H
#include "tools/image_command.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <memory>

#include "image/file_utils.h"
#include "image/gif_format.h"
#include "image/image_format.h"
#include "image/jpeg_format.h"
#include "image/png_format.h"

namespace veltro::tool {

namespace {

constexpr const char* kUsage =
    "usage: veltrotool image info FILE\n"
    "       veltrotool image convert IN OUT [--quality Q]\n"
    "       veltrotool image scale --nearest|--average|--canvas IN OUT W H\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

std::string lowerExtension(const std::string& path) {
    std::string extension = extensionOf(path);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

bool parseInt(const std::string& text, int low, int high, int& value) {
    const char* end = text.data() + text.size();
    auto [ptr, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && ptr == end && value >= low && value <= high;
}

// ": <reason>" from the codec that just failed, or nothing when it gave none.
std::string reason() { return imageError().empty() ? std::string() : ": " + imageError(); }

ImagePtr readImage(const std::string& path) {
    setImageError(std::string());
    if (lowerExtension(path) == ".gif")
        return GifFormat().load(path);
    return loadImage(path);
}

// The codec for an output name, or none for an extension we cannot write.
std::unique_ptr<ImageFormat> writerFor(const std::string& path, int quality) {
    std::string extension = lowerExtension(path);
    if (extension == ".png")
        return std::make_unique<PngFormat>();
    if (extension == ".gif")
        return std::make_unique<GifFormat>();
    if (extension == ".jpg" || extension == ".jpeg") {
        auto jpeg = std::make_unique<JpegFormat>();
        jpeg->quality = quality;
        return jpeg;
    }
    return nullptr;
}

int writeImage(const std::string& path, const ImageBuffer& image, int quality) {
    std::unique_ptr<ImageFormat> writer = writerFor(path, quality);
    if (!writer)
        return fail("cannot write \"" + path + "\": unknown image type (use .png, .jpg, .jpeg or .gif)");
    setImageError(std::string());
    if (!writer->save(path, image))
        return fail("cannot write image \"" + path + "\"" + reason());
    return 0;
}

int cannotRead(const std::string& path) { return fail("cannot read image \"" + path + "\"" + reason()); }

int info(const Args& args) {
    if (args.size() != 1)
        return usage();
    ImagePtr image = readImage(args[0]);
    if (!image)
        return cannotRead(args[0]);
    std::printf("%dx%d alpha=%d\n", image->width, image->height, image->hasAlpha ? 1 : 0);
    return 0;
}

int convert(const Args& args) {
    Args files;
    int quality = 75;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--quality") {
            if (i + 1 >= args.size() || !parseInt(args[i + 1], 0, 100, quality))
                return usage();
            ++i;
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2)
        return usage();
    ImagePtr image = readImage(files[0]);
    if (!image)
        return cannotRead(files[0]);
    return writeImage(files[1], *image, quality);
}

int scale(const Args& args) {
    if (args.size() != 5)
        return usage();
    ImagePtr (*resize)(const ImageBuffer&, int, int) = nullptr;
    if (args[0] == "--nearest")
        resize = scaleNearest;
    else if (args[0] == "--average")
        resize = scaleAverage;
    else if (args[0] == "--canvas")
        resize = resizeCanvas;
    int width = 0, height = 0;
    if (!resize || !parseInt(args[3], 0, kMaxImageDimension, width) ||
        !parseInt(args[4], 0, kMaxImageDimension, height))
        return usage();
    ImagePtr image = readImage(args[1]);
    if (!image)
        return cannotRead(args[1]);
    ImagePtr result = resize(*image, width, height);
    return writeImage(args[2], *result, 75);
}

}  // namespace

int runImage(const Args& args) {
    if (args.empty())
        return usage();
    Args rest(args.begin() + 1, args.end());
    if (args[0] == "info")
        return info(rest);
    if (args[0] == "convert")
        return convert(rest);
    if (args[0] == "scale")
        return scale(rest);
    return usage();
}

}  // namespace veltro::tool
