// Window layouts from "dialog.txt". Only lines starting with "." are read:
// the second character is the kind letter, the third a separator, then
// white-space separated fields; a trailing text runs to the end of the line.
// A section runs from ".D name width height title" to the first "..":
//   .B id x y w h caption   push button      .C id x y w h caption  check button
//   .E id x y w h           edit field       .M id x y w h          drop-down list
//   .T id x y w h           list box         .I id x y w h name     image button
//   .S id x y w h           slider           .L x y w h text        label
//   .P x y w h file         picture
// Other kind letters are skipped. The first section of a name wins.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltro {

class Window;

// Longest line the layout reader takes at once; longer lines are read in
// pieces, each treated as a line of its own.
inline constexpr size_t kLayoutLineLimit = 1023;
// Longest trailing text of a layout line (captions, labels, file names).
inline constexpr size_t kLayoutTextLimit = 511;
// Longest section name, and longest image file name with its suffix.
inline constexpr size_t kLayoutNameLimit = 63;
// Largest client width or height a layout may ask for; larger values are cut.
inline constexpr int kLayoutMaxSize = 4096;
// Largest "dialog.txt" that is read; the rest is ignored.
inline constexpr size_t kLayoutMaxFileSize = 1 << 20;

// One parsed layout line.
struct LayoutLine {
    char kind = 0;  // 'D', '.', 'B', 'C', 'E', 'M', 'T', 'I', 'S', 'L', 'P'
    std::string name;  // section name of a ".D" line
    int id = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::string text;  // title, caption, label, image base name or file name
};

// Parses one line (without its line end). None for comments, unknown kinds
// and lines whose numbers are missing.
std::optional<LayoutLine> parseLayoutLine(std::string_view line);

// Loads section of fileName in the resource directory into window: size,
// title, button-face background, widgets, labels and pictures. True when the
// file could be read (whether or not the section was found); false without
// a resource directory or when the file cannot be opened.
bool loadLayout(Window& window, const std::string& section, const std::string& fileName = "dialog.txt");

}  // namespace veltro
