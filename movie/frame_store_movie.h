// Frame stores and frame list files as movies: a frame store is rebuilt from
// its key frames, sorted key sheets and difference sheets; a frame list (an
// index with only "N" entries, no escaping) simply names one image per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "framestore/frame_store_index.h"
#include "movie/movie_format.h"

namespace veltro {

// "VELTRO Video (v*.txt)": every ".txt" path reaches it through openMovie.
class FrameStoreMovieFormat : public MovieFormat {
public:
    const char* description() const override { return "VELTRO Video (v*.txt)"; }
    const char* pattern() const override { return "v*.txt"; }

protected:
    MovieReaderPtr createReader() const override;
};

// Reads a frame store index or a frame list file and rebuilds any position.
class FrameStoreMovieReader : public MovieReader {
public:
    // Most memory one reader commits for its frame, its entries' images and
    // maps and its block numbers; larger stores are refused when opened.
    static constexpr size_t kDefaultMemoryLimit = size_t(1) << 30;
    // Images wider than this are shrunk by the smallest factor 2 .. 9 that fits.
    static constexpr int kMaxImageWidth = 720;
    // Key frames that are JPEGs of the store's size stay as their file bytes
    // and are decoded when shown; this many decoded ones are kept for revisits.
    static constexpr size_t kDecodedKeyFrames = 4;

    explicit FrameStoreMovieReader(size_t memoryLimit = kDefaultMemoryLimit) : m_memoryLimit(memoryLimit) {}

    // Opens the index; relative image names resolve in the index's directory.
    bool open(const std::string& path) override;
    // The frame stored at or before position index (the first entry's before
    // its own position); none only when there are no entries.
    const ImageBuffer* frameAt(int index) override;

    int width() const { return m_width; }
    int height() const { return m_height; }
    // Number of entry lines read.
    int entryCount() const { return static_cast<int>(m_entries.size()); }
    // Bytes committed by the open reader (what the memory limit is held against).
    size_t committedBytes() const { return m_committed; }

private:
    struct Entry {
        EntryKind kind = EntryKind::Key;
        int position = 0;
        ImagePtr image;  // key frame, rebuilt sorted key frame, or difference sheet
        std::string jpeg;  // instead of image: a key frame's JPEG file, decoded on demand
        int base = 0;    // nearest N or S entry above (D and d)
        // Per block: cell + 1 of the sheet that supplies it (0: none), and
        // the entry whose image is that sheet. Empty for N entries.
        std::vector<uint16_t> sprites;
        std::vector<uint16_t> sources;
    };

    bool reserve(size_t bytes);
    // The image of entry i: its own, or its key frame decoded (kept among the
    // last few decoded); none when it has neither.
    const ImageBuffer* entryImage(size_t i);
    bool loadEntryImages(const FrameStoreIndex& index, const std::string& directory);
    void applyBlockNumbers(BlockNumberList& blocks);
    void propagate();
    void rebuildSortedKeys();
    void paintSprites(const Entry& entry);
    void copyBase(const Entry& entry);

    size_t m_memoryLimit;
    size_t m_committed = 0;
    int m_width = 0;
    int m_height = 0;
    int m_blocksPerRow = 0;
    int m_blockRows = 0;
    int m_blockCount = 0;
    std::vector<Entry> m_entries;
    struct DecodedKey {
        size_t entry;
        ImagePtr image;
    };
    std::vector<DecodedKey> m_decodedKeys;  // least recently used first
};

}  // namespace veltro
