// The album: a directory of page directories, each a page when it holds the
// viewer data file "veltro.txt", plus the "trash" directory that deleted pages
// are moved into.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// One page of the album.
struct AlbumPage {
    std::string directory;  // full path of the page directory
    std::string name;       // its last path component
    std::time_t time = 0;   // modification time of its "veltro.txt"
    long timeNanoseconds = 0;  // the same time's fraction, so pages of one second still sort
};

// The pages of albumDir, newest first by the time their viewer data file was
// written. Names beginning with "." and directories without "veltro.txt" are
// not pages. An unreadable album gives an empty list.
std::vector<AlbumPage> listAlbumPages(const std::string& albumDir);

// The first "new%d" (n from 0) that does not exist in albumDir, joined to it.
// The directory itself is created only when the page is published.
std::string newPageDirectory(const std::string& albumDir);

// Moves a page directory into albumDir/trash under the first free "del%d",
// creating "trash" on demand. The new path, or none when the move failed.
std::optional<std::string> movePageToTrash(const std::string& albumDir, const std::string& pageDir);

// Size of the page's archive ("<page>/<name>.zip") in bytes, or none when the
// page has no archive.
std::optional<long long> pageArchiveSize(const AlbumPage& page);

}  // namespace veltro
