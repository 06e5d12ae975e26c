// Loading, reloading and recovering media for a document's caches.
#include "document/media_cache.h"

#include <sys/stat.h>

#include <optional>

#include "document/file_search_path.h"
#include "image/file_utils.h"
#include "image/image_format.h"
#include "services/prompts.h"
#include "services/resources.h"

namespace veltro {

int64_t fileModificationTime(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return -1;
    return static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

namespace {

const std::string& soundFilter() {
    static const std::string filter = std::string("Sound (*.au;*.wav)\0*.au;*.wav\0", 30) + '\0';
    return filter;
}

// Moves the loaded content of from into to (their names stay).
void takeContent(MediaEntry& to, MediaEntry& from) {
    to.image = std::move(from.image);
    to.movie = std::move(from.movie);
    to.sound = std::move(from.sound);
    to.modificationTime = from.modificationTime;
}

}  // namespace

bool MediaCache::loadInto(MediaEntry& entry, const std::string& path) const {
    switch (m_kind) {
    case MediaKind::Image: {
        ImagePtr image = loadImage(path);
        if (!image || image->empty())
            return false;
        entry.image = std::move(image);
        break;
    }
    case MediaKind::Movie: {
        MovieReaderPtr movie = openMovie(path);
        if (!movie || !movie->frame || movie->frameCount <= 0)
            return false;
        entry.movie = std::move(movie);
        break;
    }
    case MediaKind::Sound: {
        std::string bytes;
        if (!readWholeFile(path, kMaxSoundFileSize, bytes))
            return false;
        entry.sound.assign(bytes.begin(), bytes.end());
        break;
    }
    }
    entry.fileName = path;
    entry.modificationTime = fileModificationTime(path);
    return true;
}

std::unique_ptr<MediaEntry> MediaCache::load(const std::string& path) const {
    auto entry = std::make_unique<MediaEntry>();
    if (path.empty() || !loadInto(*entry, path))
        return nullptr;
    return entry;
}

MediaEntry* MediaCache::findLoaded(const std::string& fileName) const {
    for (const auto& entry : m_entries) {
        if (entry->fileName == fileName || (!entry->requestedName.empty() && entry->requestedName == fileName))
            return entry.get();
    }
    return nullptr;
}

MediaEntry* MediaCache::add(std::unique_ptr<MediaEntry> entry) {
    if (!entry)
        return nullptr;
    m_entries.push_back(std::move(entry));
    return m_entries.back().get();
}

MediaEntry* MediaCache::find(const std::string& fileName) {
    if (fileName.empty())
        return nullptr;

    if (MediaEntry* cached = findLoaded(fileName)) {
        // A file changed on disk is loaded again; when the new content cannot
        // be loaded (the file is gone or broken) the entry keeps what it has.
        int64_t now = fileModificationTime(cached->fileName);
        if (now >= 0 && now != cached->modificationTime) {
            MediaEntry fresh;
            if (loadInto(fresh, cached->fileName))
                takeContent(*cached, fresh);
        }
        return cached;
    }

    auto entry = std::make_unique<MediaEntry>();
    std::optional<std::string> resolved = fileSearchPath().resolve(fileName);
    for (;;) {
        if (resolved && loadInto(*entry, *resolved)) {
            if (entry->fileName != fileName)
                entry->requestedName = fileName;
            return add(std::move(entry));
        }
        std::string message = formatText(resources().text("e_cant_open"), {resolved ? *resolved : fileName});
        int choice = prompts().askChoice(message, {resources().textCopy("b_open_another"),
                                                   resources().textCopy("b_ignore")});
        if (choice != 0)
            return nullptr;
        const std::string& filter = m_kind == MediaKind::Image   ? imageFilter()
                                    : m_kind == MediaKind::Movie ? movieFilter()
                                                                 : soundFilter();
        std::string chosen = prompts().chooseOpenFile(filter, fileName);
        if (chosen.empty())
            return nullptr;
        resolved = fileSearchPath().resolve(chosen);
    }
}

void MediaCache::collectMedia() {
    std::vector<std::unique_ptr<MediaEntry>> published;
    std::vector<std::unique_ptr<MediaEntry>> others;
    for (auto& entry : m_entries) {
        if (entry->useCount == 0)
            continue;  // destroyed with the old array
        if (entry->publishCount > 0)
            published.push_back(std::move(entry));
        else
            others.push_back(std::move(entry));
    }
    m_entries = std::move(published);
    for (auto& entry : others)
        m_entries.push_back(std::move(entry));
}

}  // namespace veltro
