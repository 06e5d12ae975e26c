// File and path helpers used by every part that reads or writes files.
// Paths are byte strings; both "\" and "/" separate components when a path is
// split, and new paths are joined with "/". Under a double-byte code page the
// trail byte of a double-byte character is never taken for a separator; on
// UTF-8 (the default) no such skip happens, since it would hide real
// separators.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// The text of both separators, for callers that search paths themselves.
inline constexpr const char* kPathSeparators = "\\/";

// Whether path scanning treats bytes 0x81-0x9F and 0xE0-0xEF as lead bytes of
// double-byte characters (a process setting, off by default).
void setDoubleByteCodePage(bool enabled);
// The current setting of setDoubleByteCodePage.
bool doubleByteCodePage();

// The directory, a "/" unless it already ends with a separator, and the name;
// the name alone when the directory is empty.
std::string joinPath(const std::string& directory, const std::string& name);
// The path up to its last separator (not included); empty without one.
std::string directoryOf(const std::string& path);
// The part after the last separator; the whole path without one.
std::string fileName(const std::string& path);
// From the last "." of fileName to the end, dot included; empty without one.
std::string extensionOf(const std::string& path);
// fileName without its extension.
std::string baseName(const std::string& path);
// The path with the extension after its last separator replaced by extension
// (which brings its own dot), or extension appended when there is none.
std::string replaceExtension(const std::string& path, const std::string& extension);
// The first directory/prefixNsuffix (N = 0 ... 99999) that does not exist;
// none when all exist.
std::optional<std::string> uniqueName(const std::string& directory, const std::string& prefix,
                                      const std::string& suffix);
// Creates the directory and every missing parent; true when it exists after.
// A "\" between components is created as "/" (both separate components).
bool makeDirectories(const std::string& path);
// Full paths (directory joined with each name) of the entries whose names
// match the wildcard pattern ("*" and "?", letter case ignored; "*.*" matches
// every name, "." and ".." included), in the order the system lists them. The
// current directory is left alone.
std::vector<std::string> listDirectory(const std::string& directory,
                                       const std::string& pattern = "*.*");

// The one bounded reader of files. Reads a whole file of at most maxBytes
// bytes into bytes; false (and bytes empty) when it cannot be opened or read,
// is not a regular file, or holds more than maxBytes. Every reader of files
// goes through it (or readFileStart), so none allocates without bound.
bool readWholeFile(const std::string& path, size_t maxBytes, std::string& bytes);
// Like readWholeFile, but a longer file gives its first maxBytes bytes and
// sets *more (when given) instead of failing; for formats that use what fits
// and ignore the rest.
bool readFileStart(const std::string& path, size_t maxBytes, std::string& bytes, bool* more = nullptr);

// True when the path's status can be read.
bool fileExists(const std::string& path);
// True when the path exists and is a directory.
bool isDirectory(const std::string& path);
// Size in bytes; 0 when the path does not exist.
int64_t fileSize(const std::string& path);
// Last modification time in seconds since the epoch; 0 when the path does not exist.
int64_t modificationTime(const std::string& path);
// The process's current directory.
std::string currentDirectory();
// Changes the current directory; true on success.
bool setCurrentDirectory(const std::string& path);
// Removes an empty directory; true on success.
bool removeDirectory(const std::string& path);
// Renames or moves a file or directory; never replaces an existing target.
bool moveFile(const std::string& from, const std::string& to);
// The directory holding the running program.
std::string programDirectory();

// The one safe writer of files. A file written beside its final path and
// moved over it only when complete (flushed, closed, renamed), so a failed
// save neither leaves a half-written file nor destroys the file it was meant
// to replace. Discarded unless commit succeeds. Every writer of files goes
// through it, so simulateDiskFullAfter reaches them all.
class ReplacementFile {
public:
    explicit ReplacementFile(const std::string& path);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // The stream to write to (codecs write through it); null when the
    // temporary file could not be created.
    FILE* stream() const { return m_stream; }
    // Writes every byte or fails; once failed, every later write fails too.
    bool write(const void* data, size_t size);
    bool write(const std::string& text) { return write(text.data(), text.size()); }
    // The permission bits the file gets (before commit); false when they
    // could not be set.
    bool setMode(unsigned mode);
    // Hands the file to another owner (before commit); false on failure.
    bool setOwner(unsigned user, unsigned group);
    // Makes commit wait until the bytes are on the disk (fsync) before the
    // rename, for files whose loss would cost the user (settings).
    void setDurable(bool durable) { m_durable = durable; }
    // Flushes and closes the stream and moves the file into place; false
    // (and nothing changed at the final path) when any step or any earlier
    // write failed.
    bool commit();
    // Closes and deletes the temporary file.
    void discard();

private:
    std::string m_path;
    std::string m_temporary;
    FILE* m_stream = nullptr;
    int m_fd = -1;
    bool m_durable = false;
};

// Writes the whole text to path through ReplacementFile; false on any
// failure, with nothing changed at path.
bool writeWholeFile(const std::string& path, const std::string& bytes);

// Copies a file of at most maxBytes bytes through readWholeFile and
// ReplacementFile; false on any failure.
bool copyFile(const std::string& from, const std::string& to, size_t maxBytes);

// Test seam: after this many more bytes have been written through any
// ReplacementFile, writes fail as on a full disk. A negative value (the
// default) turns the simulation off.
void simulateDiskFullAfter(long long bytes);

}  // namespace veltro
