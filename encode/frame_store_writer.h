// Writes a clip as a frame store: JPEG key frames ("N"), sorted key sheets
// ("S") and difference sheets of changed 8x8 blocks ("D"/"d"), listed in one
// escaped index file that says how to rebuild every stored position.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "movie/movie_format.h"
#include "services/progress.h"

namespace veltro {

// Low two bits of a position's flag byte: what that position stores.
enum class FrameFlag : uint8_t {
    Skip = 0,        // nothing
    Key = 1,         // "N" key frame
    SortedKey = 2,   // "S" sorted key frame
    Difference = 3,  // "D"/"d" difference frame ("S" while there is no reference yet)
};

// Everything one save needs besides the progress, the index path and the reader.
struct FrameStoreSettings {
    int width = 320;   // output size of every stored frame
    int height = 240;
    int step = 0;      // stores every (step + 1)-th source frame
    int jpegQuality = 75;
    int diffQuality = 75;  // change threshold of the difference encoder
    std::vector<uint8_t> flags;  // one per output position; missing ones count as 0
    int sheetHeight = 16;  // starting rows of a difference sheet, a positive multiple of 8
    std::string caption = "Saving";  // progress caption
    // Under adaptive keys a difference frame whose changed blocks would cost
    // more than a key frame of the same picture is stored as an "N" key frame
    // (the new reference), and every image carries quantisation tables tuned
    // for picture error (encode/psnr_tables.h); off, the writer stores exactly
    // what the flags say with the standard tables.
    bool adaptiveKeys = false;
};

// What a save produced, for callers that report it.
struct FrameStoreSummary {
    int positions = 0;                // P
    int entries = 0;                  // E
    std::vector<std::string> files;   // every file written, index last
    int adaptiveKeyFrames = 0;        // difference frames stored as key frames (adaptive keys)
    int adaptiveKeyTrials = 0;        // of all choices, those decided by a trial encode
};

// Number of output positions for a clip of frameCount frames sampled with step.
int frameStorePositions(int frameCount, int step);

// Stores the reader's clip under indexPath; its directory receives the
// images, its name without extension prefixes theirs. True when every
// position was stored and every file written. Once the index file could be
// created it is written in every case, also after a failure or a cancel
// through progress, holding what was stored up to then; only when the block
// numbers kept aside while writing cannot be read back is there no index at
// all (an earlier one is removed: its pictures were overwritten, and a
// partial list would not open). Memory does not
// grow with the clip's length: the block numbers wait in an unnamed
// temporary file until the index is written. Sizes whose block
// numbers would not fit the index (more than 65535 blocks, or above 10000
// pixels), negative steps and more than 10000 entries are refused.
bool writeFrameStore(Progress& progress, const std::string& indexPath, MovieReader& reader,
                     const FrameStoreSettings& settings, FrameStoreSummary* summary = nullptr);

// writeFrameStore with the progress caption "saving" and the sheet height
// "diff_sum_h" taken from the resource set (16 when missing or unusable).
bool writeFrameStore(Progress& progress, const std::string& indexPath, MovieReader& reader, int width,
                     int height, int step, int jpegQuality, int diffQuality, const std::vector<uint8_t>& flags,
                     FrameStoreSummary* summary = nullptr, bool adaptiveKeys = false);

// The sheet height a "diff_sum_h" text gives: its decimal value when that is a
// positive multiple of 8 (up to 4096), else 16.
int sheetHeightFromText(const std::string& text);

}  // namespace veltro
