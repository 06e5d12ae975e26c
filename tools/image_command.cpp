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
#include <cstdio>
#include <memory>
#include <optional>

#include "image/file_utils.h"
#include "image/gif_format.h"
#include "image/image_format.h"
#include "image/jpeg_format.h"
#include "image/png_format.h"
#include "tools/command_options.h"

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

// A malformed value: one line naming it, and the usage status.
int refuse(const std::string& message) {
    std::fprintf(stderr, "veltrotool: %s\n", message.c_str());
    return kUsageStatus;
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
    CommandOptions options("image info", "Prints a picture's size and whether it has alpha: "
                                         "\"WIDTHxHEIGHT alpha=0|1\".");
    options.argument("FILE", "The picture (.png, .jpg/.jpeg or .gif).");
    if (std::optional<int> status = options.parse(args))
        return *status;
    if (options.arguments().size() != 1)
        return usage();
    const std::string& file = options.arguments()[0];
    ImagePtr image = readImage(file);
    if (!image)
        return cannotRead(file);
    std::printf("%dx%d alpha=%d\n", image->width, image->height, image->hasAlpha ? 1 : 0);
    return 0;
}

int convert(const Args& args) {
    CommandOptions options("image convert", "Converts a picture to the type its output name's extension gives.");
    options.argument("IN", "The picture to read (.png, .jpg/.jpeg or .gif).")
        .argument("OUT", "The picture to write (.png, .jpg/.jpeg or .gif).")
        .value("quality", "Q", "JPEG quality, 0 to 100 (default 75).");
    if (std::optional<int> status = options.parse(args))
        return *status;
    int quality = 75;
    std::string message;
    if (!options.integer("quality", 0, 100, quality, message))
        return refuse(message);
    const Args& files = options.arguments();
    if (files.size() != 2)
        return usage();
    ImagePtr image = readImage(files[0]);
    if (!image)
        return cannotRead(files[0]);
    return writeImage(files[1], *image, quality);
}

int scale(const Args& args) {
    CommandOptions options("image scale", "Resizes a picture to W x H pixels in one of three ways.");
    options.flag("nearest", "Nearest neighbour.")
        .flag("average", "Box average when shrinking, repetition when enlarging.")
        .flag("canvas", "Crop or pad at the top-left corner without scaling; padding is transparent.")
        .argument("IN", "The picture to read.")
        .argument("OUT", "The picture to write (.png, .jpg/.jpeg or .gif).")
        .argument("W", "The new width, 0 to " + std::to_string(kMaxImageDimension) + ".")
        .argument("H", "The new height, 0 to " + std::to_string(kMaxImageDimension) + ".");
    if (std::optional<int> status = options.parse(args))
        return *status;
    const int modes = options.isSet("nearest") + options.isSet("average") + options.isSet("canvas");
    const Args& files = options.arguments();
    if (modes != 1 || files.size() != 4)
        return usage();
    ImagePtr (*resize)(const ImageBuffer&, int, int) = options.isSet("nearest")   ? scaleNearest
                                                       : options.isSet("average") ? scaleAverage
                                                                                  : resizeCanvas;
    int width = 0, height = 0;
    if (!parseInteger(files[2], 0, kMaxImageDimension, width))
        return refuse(numberMessage("W", 0, kMaxImageDimension, files[2]));
    if (!parseInteger(files[3], 0, kMaxImageDimension, height))
        return refuse(numberMessage("H", 0, kMaxImageDimension, files[3]));
    ImagePtr image = readImage(files[0]);
    if (!image)
        return cannotRead(files[0]);
    ImagePtr result = resize(*image, width, height);
    return writeImage(files[1], *result, 75);
}

}  // namespace

int runImage(const Args& args) {
    std::string actions = kUsage;
    actions.pop_back();  // Qt ends the description with its own line end.
    CommandOptions options("image", "Inspects, converts and resizes single pictures with the product's own "
                                    "codecs:\n\n" + actions);
    options.argument("ACTION", "info, convert or scale (veltrotool image ACTION --help lists its options).",
                     "ACTION [ARGS...]")
        .stopAtFirstArgument();
    if (std::optional<int> status = options.parse(args))
        return *status;
    const Args& words = options.arguments();
    if (words.empty())
        return usage();
    const Args rest(words.begin() + 1, words.end());
    if (words[0] == "info")
        return info(rest);
    if (words[0] == "convert")
        return convert(rest);
    if (words[0] == "scale")
        return scale(rest);
    return usage();
}

}  // namespace veltro::tool
