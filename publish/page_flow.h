// Starting and reopening documents for the page flow, without windows: a new
// document from a movie file with its page directory in the album, and a
// published page read back for editing.
#pragma once

#include <memory>
#include <string>

namespace veltro {

class Document;

// The album directory: Settings "album_dir", "/pages" when absent.
std::string albumDirectory();

// A new 320 x 240 document showing the movie at moviePath in one movie object
// (unselected, flagL 1), in editing mode and with a new page directory. The
// movie's directory is stored as "tmp_dir". None, with error set to the text
// of "e_cant_open", when the movie cannot be loaded.
std::unique_ptr<Document> newDocumentFromSource(const std::string& moviePath, std::string* error = nullptr);

// Gives the document the first free "new%d" of the album directory as its
// name (the page directory; created only when publishing).
void assignNewPage(Document& document);

// Reads the page at pageDir for editing: the document from its "veltro.txt"
// and frame stores, named after the page and in editing mode; its title and
// comment go to Settings "message0" and "message1". When the source movie
// recorded in "data.txt" ("src", "src_size", "src_mtime") is still the same
// file it replaces the first movie object's frame store; otherwise the page's
// frame stores are edited and notice (when given) receives the text of
// "nosrcfile". None, with error set to the text of "e_cant_open" and the
// reason, when the page cannot be read. Nothing is shown here: the flow that
// asked shows error or notice once.
std::unique_ptr<Document> reopenPage(const std::string& pageDir, std::string* error = nullptr,
                                     std::string* notice = nullptr);

}  // namespace veltro
