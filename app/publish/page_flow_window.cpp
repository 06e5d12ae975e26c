// The page flow between the edit window, the save window and the album.
#include "app/publish/page_flow_window.h"

#include "document/document.h"
#include "ui/window.h"

namespace veltro {

namespace {

enum class Step { Edit, Save, Album };

// Quitting from a window of the flow: the document goes, the main window
// closes (the quit was confirmed in the window that asked).
int closeApplication(Window* mainWindow, std::unique_ptr<Document>& document) {
    document.reset();
    if (mainWindow && mainWindow->exists())
        mainWindow->onClose();
    return 0;
}

}  // namespace

int runPageFlow(Window* mainWindow, std::unique_ptr<Document> document, const PageFlowSteps& steps) {
    Step step = document ? Step::Edit : Step::Album;
    for (;;) {
        switch (step) {
        case Step::Album: {
            std::string pageDir;
            const int result = steps.album(mainWindow, &pageDir);
            if (result == -1)
                return closeApplication(mainWindow, document);
            if (result == 2 && !pageDir.empty()) {
                document.reset();
                document = steps.reopen(pageDir);
                if (!document)
                    return 1;
                step = Step::Edit;
            } else if (result == 0 && document) {
                step = Step::Save;
            } else {
                // The main menu, or back without a document to go back to.
                document.reset();
                return 1;
            }
            break;
        }
        case Step::Save: {
            const int result = steps.save(mainWindow, *document);
            if (result == -1)
                return closeApplication(mainWindow, document);
            step = result == 1 ? Step::Album : Step::Edit;
            break;
        }
        case Step::Edit: {
            const int result = steps.edit(mainWindow, *document);
            if (result == -1)
                return closeApplication(mainWindow, document);
            if (result == 0) {
                document.reset();
                return 0;
            }
            step = Step::Save;
            break;
        }
        }
    }
}

}  // namespace veltro
