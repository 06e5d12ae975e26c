// The process-wide image format registry: formats in registration order, the
// extension lookup, and the cached "All Image" filter list for file dialogs.
#include "image/image_format.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "image/file_utils.h"
#include "image/jpeg_format.h"
#include "image/png_format.h"

namespace veltro {

namespace {

// Growable arrays start with room for 10 entries and grow by 20.
constexpr size_t kInitialCapacity = 10;
constexpr size_t kCapacityStep = 20;

struct Registry {
    std::vector<ImageFormat*> formats;
    std::string filter;
    bool filterBuilt = false;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

void registerImageFormat(ImageFormat* format) {
    if (!format)
        return;
    Registry& r = registry();
    if (r.formats.capacity() == 0)
        r.formats.reserve(kInitialCapacity);
    else if (r.formats.size() == r.formats.capacity())
        r.formats.reserve(r.formats.capacity() + kCapacityStep);
    r.formats.push_back(format);
    r.filter.clear();
    r.filterBuilt = false;
}

void clearImageFormats() {
    Registry& r = registry();
    r.formats.clear();
    r.filter.clear();
    r.filterBuilt = false;
}

ImageFormat* findImageFormat(const std::string& path) {
    if (path.empty())
        return nullptr;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return nullptr;
    std::string extension = lowerCase(path.substr(dot));
    for (ImageFormat* format : registry().formats) {
        if (lowerCase(format->pattern()).find(extension) != std::string::npos)
            return format;
    }
    return nullptr;
}

ImagePtr loadImage(const std::string& path) {
    ImageFormat* format = findImageFormat(path);
    return format ? format->load(path) : nullptr;
}

ImagePtr loadImage(const std::string& path, std::string* error) {
    ImageFormat* format = findImageFormat(path);
    if (!format) {
        if (error)
            *error = "no image format reads \"" + extensionOf(path) + "\" files";
        return nullptr;
    }
    ImagePtr image = format->load(path);
    if (!image && error)
        *error = imageError();
    return image;
}

namespace {
thread_local std::string t_imageError;
}  // namespace

const std::string& imageError() { return t_imageError; }

void setImageError(std::string text) { t_imageError = std::move(text); }

const std::string& imageFilter() {
    Registry& r = registry();
    if (r.filterBuilt)
        return r.filter;
    std::string text = "All Image";
    text.push_back('\0');
    for (ImageFormat* format : r.formats) {
        text += format->pattern();
        text.push_back(';');
    }
    text.push_back('\0');
    for (ImageFormat* format : r.formats) {
        text += format->description();
        text.push_back('\0');
        text += format->pattern();
        text.push_back('\0');
    }
    text.push_back('\0');
    r.filter = std::move(text);
    r.filterBuilt = true;
    return r.filter;
}

void registerStandardImageFormats() {
    // The formats live for the whole process; registering again (after
    // clearImageFormats) re-enters the same objects, never a second copy.
    static PngFormat png;
    static JpegFormat jpeg;
    const auto& formats = registry().formats;
    for (ImageFormat* format : {static_cast<ImageFormat*>(&png), static_cast<ImageFormat*>(&jpeg)}) {
        if (std::find(formats.begin(), formats.end(), format) == formats.end())
            registerImageFormat(format);
    }
}

}  // namespace veltro
