// The program's own windows as the steps of the page flow.
#include "app/edit/edit_window.h"
#include "app/publish/album_window.h"
#include "app/publish/page_flow_window.h"
#include "app/publish/save_window.h"
#include "document/document.h"
#include "publish/page_flow.h"

namespace veltro {

PageFlowSteps standardPageFlowSteps() {
    PageFlowSteps steps;
    steps.edit = runEditWindow;
    steps.save = runSaveWindow;
    steps.album = runAlbum;
    steps.reopen = [](const std::string& pageDir) { return reopenPage(pageDir); };
    return steps;
}

int runPageFlow(Window* mainWindow, std::unique_ptr<Document> document) {
    return runPageFlow(mainWindow, std::move(document), standardPageFlowSteps());
}

}  // namespace veltro
