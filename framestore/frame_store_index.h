// The text of a frame store index and of a frame list file, which share one
// syntax: a header "W H P E", E entry lines "K position [name]", and for frame
// stores a "C" line followed by the coded block-number list. Frame stores are
// written escaped (NCRF); frame lists are plain text with a closing "-" line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "framestore/block_number_list.h"
#include "image/file_utils.h"

namespace veltro {

// Largest width, height and entry count an index may declare.
inline constexpr int kMaxIndexDimension = 10000;
inline constexpr int kMaxIndexEntries = 10000;
// Most frame positions an index may declare: as many frames as the longest
// clip a document holds. Later positions repeat the last entry, so a lying
// count would otherwise have readers hand out billions of frames.
inline constexpr int kMaxIndexPositions = 100000;
// Largest index file read at all; real indexes are a few hundred kilobytes.
inline constexpr size_t kMaxIndexFileBytes = size_t(64) << 20;
// Lines are seen in pieces of at most this many characters.
inline constexpr size_t kMaxIndexLineLength = 2047;

// What an entry line stores at its position.
enum class EntryKind : char {
    Key = 'N',              // a key frame image
    SortedKey = 'S',        // a sorted key sheet
    DifferenceSheet = 'D',  // a difference frame that opens a new sheet
    Difference = 'd',       // a difference frame in the sheet of the "D" above
};

// One entry line.
struct IndexEntry {
    EntryKind kind = EntryKind::Key;
    int position = 0;
    std::string name;  // file name as written (empty for "d")
};

// The parsed content of an index or frame list file.
struct FrameStoreIndex {
    bool escaped = false;  // the file began with the NCRF marker
    int width = 0;
    int height = 0;
    int positions = 0;
    std::vector<IndexEntry> entries;
    bool hasBlockList = false;  // a "C" line was present
    BlockNumberList blocks;
};

// Parses the bytes of an index or frame list file. False with a reason in
// error for a missing or out-of-range header (W, H, E in 0 .. 10000, P in
// 0 .. 100000), a missing or malformed entry line, or a malformed block-number
// stream (one with more values than maxBlockNumbers, or than the entries can
// use, counts as malformed).
bool parseFrameStoreIndex(std::string_view fileBytes, FrameStoreIndex& index, std::string* error = nullptr,
                          size_t maxBlockNumbers = BlockNumberList::kDefaultMaxDecodeCount);

// readWholeFile (bounded by kMaxIndexFileBytes) and parseFrameStoreIndex.
bool readFrameStoreIndex(const std::string& path, FrameStoreIndex& index, std::string* error = nullptr);

}  // namespace veltro
