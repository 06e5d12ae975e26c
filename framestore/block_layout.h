// The block grid that frame stores are built on: 8x8 blocks numbered row by
// row, and difference sheets 320 pixels (40 cells) wide. The writer packs
// changed blocks on this grid and every reader unpacks them on the same one.
#pragma once

namespace veltro {

inline constexpr int kBlockSize = 8;
// Difference sheets are 320 pixels wide: 40 cells per row.
inline constexpr int kDiffSheetWidth = 320;
inline constexpr int kDiffSheetCellsPerRow = kDiffSheetWidth / kBlockSize;

// Blocks per row / column of a frame dimension (the last one clipped).
inline int blocksAcross(int pixels) { return (pixels + kBlockSize - 1) / kBlockSize; }

}  // namespace veltro
