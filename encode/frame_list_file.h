// Frame list files: a numbered series of still images saved in the frame
// store's index syntax (plain text, "N" entries only, a closing "-" line),
// which the frame store reader then opens as a clip.
//
// Each entry line is "N index path" with the path written as it is, up to the
// end of the line. The frame store reader has always taken an entry's name as
// the rest of its line, so paths holding spaces need no quoting or escaping,
// and every list written before (which never escaped anything) still reads the
// same. The few paths that cannot be kept this way (one holding a line break,
// or too long for the reader's lines) are refused when the list is saved.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace veltro {

// The frame size a list records for a first image of width x height: both
// divided by the smallest k from 1 to 9 with width / k <= 720 (9 when none
// is small enough), as the reader shrinks wide images.
std::pair<int, int> frameListSize(int width, int height);

// The path an image is listed under: made absolute against the current
// directory (so the list reads the same from any folder) and lexically
// normalised. Empty when the path cannot be kept in a list: empty, holding a
// line break, or longer than an entry line can carry.
std::string frameListEntryPath(const std::string& imagePath);

// Saves the list: the header "W H n n", one "N i path" line per image (paths
// as frameListEntryPath gives them) and "-". Nothing is written unless every
// path can be kept and the first image loads, and the file is replaced only
// once complete, so a failed save leaves no file the reader refuses and never
// destroys an earlier list. False with the reason in error on failure (an
// empty list, an unusable path, an unreadable first image, a file that cannot
// be written).
bool saveFrameList(const std::string& path, const std::vector<std::string>& imagePaths,
                   std::string* error = nullptr);

// The image paths of a saved list in file order: every line after the header
// that begins with "N" and a number, each path taken up to the end of its line
// exactly as the frame store reader takes it (a carriage return ends it).
// Empty when the file cannot be read.
std::vector<std::string> loadFrameListPaths(const std::string& path);

}  // namespace veltro
