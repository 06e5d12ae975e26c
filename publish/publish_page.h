// Publishing a document as a page of the album: the whole sequence behind the
// save window's publish button, without the window. The page is built in a
// hidden directory beside the page directory and swapped in only when every
// file of it has been written, so a failure or a stop leaves an earlier page
// of the same name exactly as it was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

class Document;
class Progress;

// What the author chose in the save window.
struct PublishChoices {
    std::string title = "Title";
    std::string comment = "Message";
    uint32_t titleColor = 0;    // 0xRRGGBB
    uint32_t commentColor = 0;  // 0xRRGGBB
    int jpegQuality = 75;       // key frames
    int diffQuality = 75;       // difference sprites
    // The page template picture, copied into the page as its background;
    // empty for none.
    std::string backgroundPath;
    // Its index in the template list (-1 for none), stored as "bg_ind".
    int backgroundIndex = -1;
};

// The 25 values of the save window's quality lists: 0, 5, ... 95, 96 ... 100.
std::vector<int> qualityListValues();

// Publishes the document into its page directory (the document's name):
// frame stores (kept from the earlier page when neither quality changed, the
// undo history is empty and the page has "v0.txt"), "veltro.txt", the
// pictures it lists (PublishContext::writeImages),
// "veltro.jar", "veltro.js", "veltro-data.js", "thumb.jpg", the background,
// "index.html", "data.txt" and the archive. On success the choices are stored
// in the settings ("color0", "color1", "message0", "message1", "bg_ind",
// "jpeg_quality", "diff_quality"), the undo history is cleared and true is
// returned; notices receives what the author should still be told (a missing
// viewer archive or script, a page folder unfit for an archive, settings that
// could not be saved). On failure (a file that cannot be written, a picture
// that cannot be written, a document whose counts or texts do not fit the
// viewer data file, a stop through the progress) nothing of the new page remains, an earlier page is
// untouched, and error receives the reason. Every text comes from the string
// resources; nothing is shown here.
bool publishPage(Document& document, const PublishChoices& choices, Progress& progress,
                 std::string* error = nullptr, std::vector<std::string>* notices = nullptr);

}  // namespace veltro
