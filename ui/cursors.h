// The pointer shapes windows show: the built-in table of 17 cursors and the
// image cursors the program adds after them.
#pragma once

#include "image/image_buffer.h"

class QCursor;

namespace veltro {

// Indexes of the built-in cursor table (17 entries; image cursors follow).
enum CursorIndex {
    kCursorArrowRight = 0,
    kCursorArrowLeft = 1,
    kCursorBlank = 2,
    kCursorWatch = 4,
    kCursorCross = 7,
    kCursorPointer = 8,
    kCursorHand = 9,
    kCursorText = 10,
    kCursorMove = 11,
    kCursorSizeHorizontal = 12,
    kCursorSizeVertical = 13,
    kCursorSizeUpRight = 14,
    kCursorSizeUpLeft = 15,
    kCursorNotAllowed = 16,
    kBuiltinCursorCount = 17,
};

// Appends a cursor made from image (black stays black, other set pixels
// white, transparent pixels transparent) with the given hot spot; returns
// its index in the cursor table (17 for the first one).
int addImageCursor(const ImageBuffer& image, int hotX, int hotY);
// Number of entries in the cursor table.
int cursorCount();
// The pointer shape at index of the table; a blank pointer for an index
// outside it.
QCursor cursorShape(int index);

}  // namespace veltro
