// Frame list files: a numbered series of still images saved in the frame
// store's index syntax (plain text, "N" entries only, a closing "-" line),
// which the frame store reader then opens as a clip.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace veltro {

// The frame size a list records for a first image of width x height: both
// divided by the smallest k from 1 to 9 with width / k <= 720 (9 when none
// is small enough), as the reader shrinks wide images.
std::pair<int, int> frameListSize(int width, int height);

// Saves the list: the header "W H n n", one "N i path" line per image and
// "-". False when the file cannot be created or the first image does not
// load; in the second case the file holds only the closing line, which no
// reader accepts. An empty list writes nothing and gives false.
bool saveFrameList(const std::string& path, const std::vector<std::string>& imagePaths);

// The image paths of a saved list, each up to its first white space, from
// every line after the header that reads "N index path".
std::vector<std::string> loadFrameListPaths(const std::string& path);

}  // namespace veltro
