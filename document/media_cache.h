// The media a document's objects show: one cache each for images, movies and
// sounds. Entries own what they loaded; objects and events refer to entries
// without owning them, so an entry stays at one address for its whole life
// and a reload (the file changed on disk) swaps its content in place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/image_buffer.h"
#include "movie/movie_format.h"

namespace veltro {

// What a cache holds; decides how entries load and which file filter the
// recovery file chooser offers.
enum class MediaKind { Image, Movie, Sound };

// Largest sound file the sound cache loads (it keeps the bytes as they are).
inline constexpr int64_t kMaxSoundFileSize = 64 * 1024 * 1024;

// One loaded medium.
struct MediaEntry {
    // The file it was loaded from; snapshots name the entry by it.
    std::string fileName;
    // The name it was asked for under, when that differs (a file found in
    // another directory or picked by the user); lookups match either.
    std::string requestedName;
    // Modification time of fileName at load (nanoseconds), to see changes.
    int64_t modificationTime = 0;
    // References from any object or event, and from published ones only;
    // filled by Document::countMediaUses.
    int useCount = 0;
    int publishCount = 0;

    // The content: image for the image cache, movie for the movie cache,
    // sound bytes for the sound cache.
    ImagePtr image;
    MovieReaderPtr movie;
    std::vector<uint8_t> sound;
};

class MediaCache {
public:
    explicit MediaCache(MediaKind kind) : m_kind(kind) {}

    // What the cache holds.
    MediaKind kind() const { return m_kind; }
    // The entries in cache order (publishing numbers media by this order).
    const std::vector<std::unique_ptr<MediaEntry>>& entries() const { return m_entries; }
    // Number of entries.
    size_t size() const { return m_entries.size(); }

    // The entry for fileName, loading it when needed. An empty name gives
    // none. A cached entry whose file changed on disk is loaded again (it
    // keeps its old content when the new one cannot be loaded). A new name is
    // resolved through the process-wide FileSearchPath; when that fails the
    // user is asked ("e_cant_open") to open another file or ignore it, and
    // ignoring gives none.
    MediaEntry* find(const std::string& fileName);
    // The cached entry loaded from or asked for under fileName, without
    // touching the disk; none when there is no such entry.
    MediaEntry* findLoaded(const std::string& fileName) const;
    // Takes an entry loaded elsewhere (a camera recording, a new frame list).
    MediaEntry* add(std::unique_ptr<MediaEntry> entry);
    // Loads path into a new entry without asking anyone; none on failure.
    std::unique_ptr<MediaEntry> load(const std::string& path) const;

    // Drops entries nobody uses (useCount 0) and orders the rest: published
    // entries (publishCount > 0) first, then the others, each group in its
    // previous order.
    void collectMedia();
    // Unloads and drops every entry.
    void clear() { m_entries.clear(); }

private:
    bool loadInto(MediaEntry& entry, const std::string& path) const;

    MediaKind m_kind;
    std::vector<std::unique_ptr<MediaEntry>> m_entries;
};

// Modification time of a file in nanoseconds, or -1 when it cannot be read.
int64_t fileModificationTime(const std::string& path);

}  // namespace veltro
