// Which 8x8 blocks of a frame changed against the reference (the change
// mask), and the sprite sheets that collect changed blocks: packing, sorting
// by brightness (or chained by colour), and completing a sheet into a JPEG plus
// its block numbers. The same packing and sorting make the sorted key sheet of
// an "S" entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framestore/block_layout.h"
#include "framestore/block_number_list.h"
#include "image/image_buffer.h"
#include "image/image_format.h"

namespace veltro {

// One packed block: where it came from and where it sits in the sheet.
struct SpriteRecord {
    int32_t brightness = 0;  // sum of red + green + blue over the block's pixels
    int32_t value = 0;       // entry number of the frame the block came from
    int32_t block = 0;       // block index in the frame: row * blocksPerRow + column
    int32_t cell = 0;        // cell number in the sheet, row by row
};
using SpriteRecords = std::vector<SpriteRecord>;

// The frame's pixels (alpha forced to 0xFF) in every block that changed
// against the reference, or has a neighbour that did, by more than the
// threshold of the difference quality (0-100); 0x00000000 elsewhere. Without
// a reference, or one of another size, a copy of the frame.
ImagePtr changeMask(const ImageBuffer& frame, const ImageBuffer* reference, int quality);

// The change mask as one flag per block (1: changed), row by row: the same
// sums, dilation and threshold as changeMask. Frame and reference must have
// the same size.
std::vector<uint8_t> changedBlocks(const ImageBuffer& frame, const ImageBuffer& reference, int quality);

// The two steps of changedBlocks, for callers that threshold the same
// differences more than once: the sum of |dR| + |dG| + |dB| of every block
// (row by row), and the flags those sums give at a quality for a frame of
// width x height (no flags set when the sums are not of that grid).
std::vector<int32_t> blockDifferenceSums(const ImageBuffer& frame, const ImageBuffer& reference);
std::vector<uint8_t> changedBlocksFromSums(const std::vector<int32_t>& sums, int width, int height, int quality);

// packBlocks for the blocks flagged in changed (as changedBlocks gives them)
// instead of the set blocks of a mask: the frame's pixels are packed with
// alpha forced to 0xFF, exactly as from changeMask's mask.
ImagePtr packChangedBlocks(ImagePtr sheet, SpriteRecords& records, const ImageBuffer& frame,
                           const std::vector<uint8_t>& changed, int value);

// Copies the flagged blocks of frame (alpha forced to 0xFF) onto the
// reference: what overlaying changeMask's mask does.
void overlayChangedBlocks(ImageBuffer& reference, const ImageBuffer& frame, const std::vector<uint8_t>& changed);

// A fresh white difference sheet, 320 pixels wide and height rows high.
ImagePtr newDifferenceSheet(int height);
// A fresh white key sheet: the frame size rounded up to whole blocks.
ImagePtr newKeySheet(int frameWidth, int frameHeight);

// Appends every set block of image to the sheet, one record each with value;
// returns the sheet, replaced by one of twice the height whenever the next
// free cell lies below its bottom.
ImagePtr packBlocks(ImagePtr sheet, SpriteRecords& records, const ImageBuffer& image, int value);

// The order of the cells in a completed sheet; readers follow the block list
// whatever it is.
enum class SheetOrder {
    Brightness,   // brightest first (the designed writer)
    ColourChain,  // from the brightest, each next cell the one of mean colour
                  // nearest the cell before, among the next kChainWindow in
                  // brightness order (adaptive keys): JPEG codes each block's
                  // mean as its difference from the block before, so close
                  // neighbours cost fewer bits
};

// How many cells ahead (in brightness order) a colour chain looks for the
// nearest next cell; bounds the work to that many comparisons a cell.
constexpr int kChainWindow = 16;

// A new sheet of the same size with the cells in the given order; the records
// are sorted into the same order (cell numbers keep naming the cells of the
// old sheet).
ImagePtr sortSheet(const ImageBuffer& sheet, SpriteRecords& records, SheetOrder order = SheetOrder::Brightness);

// Crops the difference sheet to the rows its records use, sorts it, saves it
// as JPEG at path and appends the sprite count and each sprite's (value,
// block) to list; with no records saves a 1 x 1 white image and appends 0.
// False when the save fails or a number does not fit the list.
bool completeSheet(const ImageBuffer& sheet, SpriteRecords& records, const std::string& path,
                   ImageFormat& jpeg, BlockNumberList& list, SheetOrder order = SheetOrder::Brightness);

// The sorted key frame: every block of frame packed into a key sheet and
// sorted in order. The sheet is returned; list receives the block count and
// the block indices in sorted order. None when a number does not fit the list.
ImagePtr sortedKeySheet(const ImageBuffer& frame, BlockNumberList& list, SheetOrder order = SheetOrder::Brightness);

}  // namespace veltro
