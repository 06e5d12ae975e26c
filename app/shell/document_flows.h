// What the main window's commands start: one function per source of a new
// document, and the page flow that takes a document (or none, for the album)
// through the edit, save and album windows. Each is a single function so the
// windows of those flows replace its body and nothing else.
#pragma once

#include <memory>
#include <string>

namespace veltro {

class Document;
class Window;

// The open-file filter of a new document: every registered movie format and
// every registered image format, led by one entry holding all their patterns
// (a double-NUL list of description/pattern pairs).
std::string sourceFileFilter();

// Where the open-file dialog starts: the folder of the last source
// ("tmp_dir"); before any, the sample folder when there is one, else the
// working folder.
std::string sourceStartDirectory();

// A new document from a movie or image file the user picks; none when the
// user cancels or the file cannot be opened (the reason is shown). A still
// image becomes a one-frame clip through a frame list in the working folder.
std::unique_ptr<Document> newDocumentFromFile(Window* mainWindow);
// A new document from a camera recording; none when nothing was recorded.
std::unique_ptr<Document> newDocumentFromCamera(Window* mainWindow);
// A new document from a frame list of still images; none when cancelled.
std::unique_ptr<Document> newDocumentFromFrameList(Window* mainWindow);

// Takes the document (or, without one, the album) through the page flow; 1
// when the user came back to the main window, 0 when the program is closing.
int runDocumentFlow(Window* mainWindow, std::unique_ptr<Document> document);

}  // namespace veltro
