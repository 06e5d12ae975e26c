// The two text files of a published page: index.html, which embeds the viewer,
// and data.txt, the key=value record the album reads back.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace veltro {

// What the author chose in the save window, as the page shows it.
struct PageLook {
    std::string title;
    std::string comment;
    uint32_t titleColor = 0;    // 0xRRGGBB
    uint32_t commentColor = 0;  // 0xRRGGBB
    std::string background;     // file name of the background picture, empty for none
    int width = 0;              // canvas size
    int height = 0;
};

// The source clip of the first movie object, recorded so a reopened page can
// tell whether the clip is still the one it was made from.
struct PageSource {
    std::string path;        // empty when the first movie object has no movie file
    long long size = 0;
    unsigned long mtime = 0; // seconds since 1970-01-01 UTC
};

// The text of index.html. Title and comment go in raw (authors may use HTML in
// them); colours are lower-case "%02x" triples. Besides the applet element the
// page loads veltro.js, which plays the page in browsers without Java.
std::string indexHtmlText(const PageLook& look);
// The text of data.txt, with the local publishing time.
std::string dataTxtText(const PageLook& look, const PageSource& source, std::time_t publishedAt);

}  // namespace veltro
