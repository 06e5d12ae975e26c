// MainWindow: the first window the user sees. Its buttons start every
// workflow: the settings window (4), a new document from a movie or picture
// file (5), from the camera (6) or from a frame list (7), and the album (8).
// While a workflow runs the main window is hidden; it comes back when the
// workflow returns, or closes when the user quit from inside it.
#pragma once

#include <functional>
#include <memory>

#include "app/base/app_window.h"

namespace veltro {

class Document;

// Command ids of the "lmmenuwin" layout.
inline constexpr int kCommandSettings = 4;
inline constexpr int kCommandNewFromFile = 5;
inline constexpr int kCommandNewFromCamera = 6;
inline constexpr int kCommandNewFromFrameList = 7;
inline constexpr int kCommandAlbum = 8;

// The workflows the main window starts (the functions of document_flows.h
// unless a test gives others).
struct MainWindowFlows {
    std::function<std::unique_ptr<Document>(Window*)> fromFile;
    std::function<std::unique_ptr<Document>(Window*)> fromCamera;
    std::function<std::unique_ptr<Document>(Window*)> fromFrameList;
    std::function<int(Window*, std::unique_ptr<Document>)> pageFlow;
    std::function<int(Window*)> settings;
};

// The program's workflows.
MainWindowFlows programFlows();

class MainWindow : public AppWindow {
public:
    // The window without an owner, laid out from "lmmenuwin".
    explicit MainWindow(MainWindowFlows flows = programFlows());

    void onCommand(int id) override;
    // Asks the quit question (at once confirmed after a quit from a workflow)
    // and then destroys the window, which ends the event loop. Runs once: the
    // close notification the destruction itself produces is absorbed.
    void onClose() override;
    // Every key is ignored here.
    void onKey(int code) override;

private:
    // Runs the page flow with document (or the album without one), hidden
    // meanwhile.
    void runFlow(std::unique_ptr<Document> document);

    MainWindowFlows m_flows;
    bool m_closing = false;
};

}  // namespace veltro
