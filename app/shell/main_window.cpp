// The main window and its commands.
#include "app/shell/main_window.h"

#include "app/base/app_state.h"
#include "app/base/settings_window.h"
#include "app/shell/document_flows.h"
#include "document/document.h"
#include "services/prompts.h"
#include "services/resources.h"
#include "ui/layout.h"

namespace veltro {

namespace {

constexpr const char* kSection = "lmmenuwin";

}  // namespace

MainWindowFlows programFlows() {
    return MainWindowFlows{newDocumentFromFile, newDocumentFromCamera, newDocumentFromFrameList, runDocumentFlow,
                           openSettingsWindow};
}

MainWindow::MainWindow(MainWindowFlows flows) : AppWindow(nullptr, 0, 0, 100, 100), m_flows(std::move(flows)) {
    if (!loadLayout(*this, kSection))
        veltro::showMessage(formatText(resources().text("e_no_dialog"), {kSection}));
    // The strip buttons were laid out before the panel was drawn over them.
    drawWidgets();
}

void MainWindow::onCommand(int id) {
    std::function<std::unique_ptr<Document>(Window*)>* source = nullptr;
    switch (id) {
    case kCommandSettings:
        if (m_flows.settings)
            m_flows.settings(this);
        return;
    case kCommandNewFromFile: source = &m_flows.fromFile; break;
    case kCommandNewFromCamera: source = &m_flows.fromCamera; break;
    case kCommandNewFromFrameList: source = &m_flows.fromFrameList; break;
    case kCommandAlbum:
        runFlow(nullptr);
        return;
    default:
        AppWindow::onCommand(id);
        return;
    }
    if (!*source)
        return;
    std::unique_ptr<Document> document = (*source)(this);
    if (document)
        runFlow(std::move(document));
}

void MainWindow::runFlow(std::unique_ptr<Document> document) {
    if (!m_flows.pageFlow)
        return;
    show(false);
    m_flows.pageFlow(this, std::move(document));
    if (!exists())
        return;
    // A quit confirmed inside the flow closes the main window too.
    if (quitConfirmed()) {
        onClose();
        return;
    }
    show(true);
}

void MainWindow::onClose() {
    if (m_closing || !exists())
        return;
    if (!confirmQuit(this))
        return;
    m_closing = true;
    destroy();
}

void MainWindow::onKey(int) {}

}  // namespace veltro
