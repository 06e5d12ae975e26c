// Image file formats and the process-wide registry that picks one by a path's
// extension. Formats fail silently (none / false) and leave the reason in
// imageError; callers report failures with their own messages.
#pragma once

#include <string>

#include "image/image_buffer.h"

namespace veltro {

class ImageFormat {
public:
    virtual ~ImageFormat() = default;
    // Text naming the format and its patterns, shown in file dialogs.
    virtual const char* description() const = 0;
    // Semicolon-separated wildcard patterns, e.g. "*.jpg;*.jpeg".
    virtual const char* pattern() const = 0;
    // Reads the file; a new buffer, or none on any failure.
    virtual ImagePtr load(const std::string& path) = 0;
    // Writes the image, replacing the file; false on failure.
    virtual bool save(const std::string& path, const ImageBuffer& image) = 0;
};

// Appends a format (registration order is lookup order) and drops the cached
// filter text. The registry does not own the format; it must outlive its use.
void registerImageFormat(ImageFormat* format);
// Forgets every registered format (start-up and tests).
void clearImageFormats();
// The first registered format whose pattern contains the path's extension
// (from its last "." on), ignoring case; none without a ".".
ImageFormat* findImageFormat(const std::string& path);
// findImageFormat, then that format's load.
ImagePtr loadImage(const std::string& path);
// loadImage, with error set to the reason when it fails (no format for the
// extension, or imageError of the format's load).
ImagePtr loadImage(const std::string& path, std::string* error);
// Why the last load or save that failed on this thread failed: the codec
// library's own message where it gave one. Codecs set it on every failure.
const std::string& imageError();
// Sets imageError (for codecs).
void setImageError(std::string text);
// The double-NUL-terminated "All Image" filter list for file dialogs.
const std::string& imageFilter();

// Registers the program's standard formats, PNG then JPEG (quality 75), each
// once per process. GIF is never registered.
void registerStandardImageFormats();

}  // namespace veltro
