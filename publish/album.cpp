#include "publish/album.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace veltro {

namespace fs = std::filesystem;

namespace {

// The first "<prefix><n>" in dir that does not exist yet.
std::optional<fs::path> firstFreeName(const fs::path& dir, const std::string& prefix) {
    std::error_code ec;
    for (int n = 0; n < 100000; ++n) {
        fs::path candidate = dir / (prefix + std::to_string(n));
        if (!fs::exists(fs::symlink_status(candidate, ec)))
            return candidate;
    }
    return std::nullopt;
}

}  // namespace

std::vector<AlbumPage> listAlbumPages(const std::string& albumDir) {
    std::vector<AlbumPage> pages;
    std::error_code ec;
    for (fs::directory_iterator entry(albumDir, ec), end; !ec && entry != end; entry.increment(ec)) {
        std::string name = entry->path().filename().string();
        std::error_code kind;
        if (name.empty() || name[0] == '.' || !entry->is_directory(kind))
            continue;
        struct stat info {};
        if (::stat((entry->path() / "veltro.txt").c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        pages.push_back({entry->path().string(), name, info.st_mtim.tv_sec, info.st_mtim.tv_nsec});
    }
    std::stable_sort(pages.begin(), pages.end(), [](const AlbumPage& a, const AlbumPage& b) {
        if (a.time != b.time)
            return a.time > b.time;
        return a.timeNanoseconds != b.timeNanoseconds ? a.timeNanoseconds > b.timeNanoseconds : a.name < b.name;
    });
    return pages;
}

std::string newPageDirectory(const std::string& albumDir) {
    auto free = firstFreeName(albumDir, "new");
    return free ? free->string() : (fs::path(albumDir) / "new0").string();
}

std::optional<std::string> movePageToTrash(const std::string& albumDir, const std::string& pageDir) {
    std::error_code ec;
    fs::path trash = fs::path(albumDir) / "trash";
    fs::create_directories(trash, ec);
    if (!fs::is_directory(trash, ec))
        return std::nullopt;
    auto target = firstFreeName(trash, "del");
    if (!target)
        return std::nullopt;
    fs::rename(pageDir, *target, ec);
    if (ec)
        return std::nullopt;
    return target->string();
}

std::optional<long long> pageArchiveSize(const AlbumPage& page) {
    struct stat info {};
    std::string archive = (fs::path(page.directory) / (page.name + ".zip")).string();
    if (::stat(archive.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return static_cast<long long>(info.st_size);
}

}  // namespace veltro
