// The page archive: a standard ZIP file (local headers, central directory,
// end record, CRC-32) holding a page directory, written by our own container
// code over zlib's deflate.
#pragma once

#include <string>
#include <vector>

namespace veltro {

// What the archive engine is told; only the switches the publisher uses.
struct ZipOptions {
    // The directory that the listed names are relative to.
    std::string rootDir;
    // 1 descends into listed directories.
    int recurse = 0;
    // Compression level '0'..'9'; 0 (no character) keeps the default, 6.
    char level = 0;
};

// Status values of zipArchive.
enum class ZipStatus {
    Ok = 0,
    Memory = 4,   // a file too large to hold in memory
    Create = 15,  // the archive could not be created or written
    Read = 18,    // a listed file could not be read
    Missing = 12, // nothing to archive
};

// Writes a new archive at archivePath holding the listed names (relative to
// options.rootDir, a leading "rootDir/" is removed) and, with recurse, every
// directory and file below them; hidden (dot) files are skipped. The list is
// complete before the archive is created, and an earlier archive at
// archivePath is left out, so the archive never contains itself. Entry names use "/"; directories are stored entries ending in "/";
// files are deflated or stored when deflating does not make them smaller. On
// failure no partial archive is left behind.
ZipStatus zipArchive(const ZipOptions& options, const std::string& archivePath,
                     const std::vector<std::string>& names);

// Packs the page directory into "<page>/<name>.zip" (name = its last path
// component), entries named "<name>/...", replacing an earlier archive only
// with a complete new one. True when the archive was written. False when the
// page directory's parent holds no separator ("/" or "\\"; error gets the
// text of "e_bad_zipdir") or the archive could not be made (error gets the
// text of "e_zip_write"); status, when given, receives the engine's status.
bool writePageZip(const std::string& pageDir, ZipStatus* status = nullptr, std::string* error = nullptr);

}  // namespace veltro
