// The resource set: one directory holding the string table "res.txt" (every
// message, caption and label by key), the interface images (PNG and JPEG by
// file name), the dialog layouts and the viewer archive. Found texts and
// loaded images are cached for the rest of the run; misses are looked for
// again on the next request and leave their text in lastError for the flow
// that tells the user.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/image_buffer.h"

namespace veltro {

// The text every failed string lookup yields, so callers can always use the
// result as a message.
inline constexpr const char* kNullStringResource = "(null string resource)";
// Largest "res.txt" that is read; the bytes beyond are ignored.
inline constexpr size_t kMaxStringTableSize = 4 << 20;
// Largest file readFile hands out (the viewer archive is far smaller).
inline constexpr size_t kMaxResourceFileSize = 64 << 20;

class Resources {
public:
    // A resource set without a directory: no text or image is found.
    Resources() = default;
    // A resource set reading from dir.
    explicit Resources(std::string dir) { setDirectory(std::move(dir)); }

    // Points the set at a directory; the disk is not consulted here.
    void setDirectory(std::string dir);
    // The resource directory, empty before setDirectory.
    const std::string& directory() const { return m_directory; }
    // The full path of a file of the set (directory joined with name).
    std::string pathOf(std::string_view name) const;

    // The image with this file name, loaded through the image format registry
    // and owned by the cache for the rest of the run; nullptr when it cannot be
    // loaded, with lastError "Cannot read image resource (name)".
    const ImageBuffer* image(std::string_view name);

    // The text of key in "res.txt", owned by the cache for the rest of the
    // run. A missing key yields kNullStringResource with lastError "Cannot
    // read string resource (key)"; a missing "res.txt" yields it silently.
    const std::string& text(std::string_view key);
    // text, as the caller's own copy.
    std::string textCopy(std::string_view key) { return text(key); }
    // True when key has a text (looks it up like text, leaving lastError alone).
    bool hasText(std::string_view key);

    // The message of the latest image or text that could not be found, kept
    // until clearError or the next miss; empty when none was missed.
    const std::string& lastError() const { return m_lastError; }
    void clearError() { m_lastError.clear(); }

    // The whole file, read in binary; none when it cannot be opened, cannot be
    // read or is larger than kMaxResourceFileSize.
    std::optional<std::vector<uint8_t>> readFile(std::string_view name) const;

    // The text of key in string table text: lines end in CR LF, LF or CR; the
    // key runs to the first white space, the text follows the white space after
    // it, trailing white space is cut, lines starting with white space never
    // match, and the last line with the key wins. None when no line has it.
    static std::optional<std::string> lookUp(std::string_view table, std::string_view key);

private:
    // Looks key up in "res.txt".
    std::optional<std::string> readText(std::string_view key, bool* tableMissing) const;

    std::string m_directory;
    std::map<std::string, ImagePtr, std::less<>> m_images;
    std::map<std::string, std::string, std::less<>> m_texts;
    const std::string m_nullText = kNullStringResource;
    std::string m_lastError;
};

// Fills a resource text used as a message format: each "%s" or "%d" takes the
// next argument as it stands, "%%" gives "%", anything else is kept as it is.
// Missing arguments give the empty text, so a hostile or mistaken text can
// never read beyond what the caller passed.
std::string formatText(std::string_view format, const std::vector<std::string>& args);

// The process-wide resource set; until start-up points it elsewhere it reads
// the "res" directory beside the running program.
Resources& resources();
// Replaces the process-wide set (tests and tools) and returns the previous one.
std::unique_ptr<Resources> setResources(std::unique_ptr<Resources> replacement);

}  // namespace veltro
