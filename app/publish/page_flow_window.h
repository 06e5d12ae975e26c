// The page flow: the modal road between the edit window, the save window and
// the album that a new document or the album button starts from the main
// window. Quitting in any of its windows (-1) closes the whole chain down to
// the main window, which then closes too.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace veltro {

class Document;
class Window;

// The three windows of the flow and the page reader, as the flow calls them.
// The program uses runEditWindow, runSaveWindow, runAlbum and reopenPage.
struct PageFlowSteps {
    // 1 (or any non-zero but -1) on to the save window, 0 discard, -1 quit.
    std::function<int(Window* owner, Document& document)> edit;
    // 1 published, 0 back to editing, -1 quit.
    std::function<int(Window* owner, Document& document)> save;
    // -1 quit, 0 back, 1 main menu, 2 edit the page written to *pageDir.
    std::function<int(Window* owner, std::string* pageDir)> album;
    // The page read back for editing, or none (after its message).
    std::function<std::unique_ptr<Document>(const std::string& pageDir)> reopen;
};

// Runs the flow from the edit window with a document, or from the album
// without one. 1 when the author went back to the main window from the
// album, 0 otherwise (the document was discarded, or the application was
// closed: then the main window has been closed too).
int runPageFlow(Window* mainWindow, std::unique_ptr<Document> document);
// The same flow over the given steps.
int runPageFlow(Window* mainWindow, std::unique_ptr<Document> document, const PageFlowSteps& steps);

// The program's own steps.
PageFlowSteps standardPageFlowSteps();

}  // namespace veltro
