// Common dialogs over Qt: QMessageBox, QFileDialog and QColorDialog for the
// platform's own dialogs; the choice window and the progress window are our
// own windows built from Window, DialogWindow and PushButton.
#include "ui/dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <memory>

#include "services/canvas.h"
#include "services/font.h"
#include "ui/dialog_seam.h"
#include "ui/dialog_window.h"
#include "ui/native_control.h"
#include "ui/platform_widget.h"

namespace veltro {

namespace {

QWidget* ownerWidget(Window* owner) { return owner ? owner->platformWindow() : nullptr; }

// A path as Qt spells it, from the bytes the file system uses.
QString qtPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
// A path from Qt, as the bytes the file system uses.
std::string localPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The width and height of text in the default font.
void measureText(const std::string& text, int* width, int* height) {
    Canvas measure(1, 1);
    measure.selectFont(Font::defaultFont());
    measure.textExtent(text, width, height);
}

// ---- choice window ----

// A dialog whose buttons end its modal run with their id.
class ChoiceWindow : public DialogWindow {
public:
    ChoiceWindow(Window* owner, int width, int height)
        : DialogWindow(owner, 10, 10, width, height, WindowFrame::FrameTool) {}
    void onCommand(int id) override { endModal(id); }
};

// ---- progress window ----

constexpr int kProgressWidth = 250;
constexpr int kProgressHeight = 120;
constexpr int kBarX = 10, kBarY = 50, kBarW = 230, kBarH = 15;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kBarBlue = 0x0000FF;
constexpr uint32_t kBarTextRed = 0xFF0000;

class ProgressWindow;

struct ProgressState {
    std::unique_ptr<ProgressWindow> current;
    // A window the user stopped: its platform part is gone, the object waits
    // for closeProgress (it cannot delete itself inside its own handler).
    std::unique_ptr<ProgressWindow> stopped;
};

ProgressState& progress() {
    static ProgressState state;
    return state;
}

// The single progress window: caption, bar and a "Stop" button (id 0).
class ProgressWindow : public DialogWindow {
public:
    explicit ProgressWindow(Window* owner)
        : DialogWindow(owner, 50, 50, kProgressWidth, kProgressHeight, WindowFrame::FrameTool) {
        addWidget(std::make_unique<PushButton>(this, 90, 75, 70, 35, 0, "Stop"));
    }

    void onCommand(int id) override {
        if (id == 0)
            stop();
    }
    void onClose() override { stop(); }

private:
    void stop() {
        destroy();
        ProgressState& state = progress();
        if (state.current.get() == this) {
            state.stopped = std::move(state.current);
        }
    }
};

std::string& defaultOpenBuffer() {
    static std::string buffer;
    return buffer;
}
std::string& defaultSaveBuffer() {
    static std::string buffer;
    return buffer;
}
std::string& defaultFolderBuffer() {
    static std::string buffer;
    return buffer;
}

std::array<uint32_t, 16>& customColourTable() {
    static std::array<uint32_t, 16> colours = {0x000000, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF,
                                               0x00FFFF, 0xFFFFFF, 0x808080, 0x800000, 0x008000, 0x808000,
                                               0x000080, 0x800080, 0x008080, 0xC0C0C0};
    return colours;
}

// Starts a file dialog on the name held in buffer (a path or a bare name).
void startOn(QFileDialog& dialog, const std::string& buffer) {
    if (buffer.empty())
        return;
    QFileInfo info(qtPath(buffer));
    if (info.isDir()) {
        dialog.setDirectory(info.absoluteFilePath());
        return;
    }
    if (info.dir().exists())
        dialog.setDirectory(info.absolutePath());
    dialog.selectFile(info.fileName());
}

std::optional<std::string> runFileDialog(Window* owner, const std::string& filter, std::string* buffer, bool save) {
    QFileDialog dialog(ownerWidget(owner));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialogHandlerInstalled())
        dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    std::string qtFilter = toQtFilter(filter);
    if (!qtFilter.empty())
        dialog.setNameFilter(QString::fromStdString(qtFilter));
    startOn(dialog, *buffer);
    if (runQtDialog(dialog, save ? DialogKind::SaveFile : DialogKind::OpenFile, std::string()) != QDialog::Accepted)
        return std::nullopt;
    QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    *buffer = localPath(files.front());
    return *buffer;
}

// One description/pattern pair as a Qt filter entry: "Images (*.png *.jpg)".
std::string filterEntry(std::string description, std::string pattern) {
    std::replace(pattern.begin(), pattern.end(), ';', ' ');
    size_t open = description.rfind('(');
    if (!description.empty() && description.back() == ')' && open != std::string::npos) {
        std::string inside = description.substr(open + 1, description.size() - open - 2);
        std::replace(inside.begin(), inside.end(), ';', ' ');
        if (inside == pattern) {
            description.erase(open);
            while (!description.empty() && description.back() == ' ')
                description.pop_back();
        }
    }
    // ";;" separates Qt filter entries, so it cannot stay inside one.
    for (size_t at; (at = description.find(";;")) != std::string::npos;)
        description.replace(at, 2, "; ");
    if (pattern.empty())
        return description;
    return description.empty() ? "(" + pattern + ")" : description + " (" + pattern + ")";
}

}  // namespace

void showMessageBox(Window* owner, const std::string& text, bool informationIcon) {
    showQtMessageBox(ownerWidget(owner), text, informationIcon);
}

Window* focusedWindow() {
    QWidget* active = QApplication::activeWindow();
    if (!active) {
        if (QWidget* focus = QApplication::focusWidget())
            active = focus->window();
    }
    auto* platform = dynamic_cast<PlatformWidget*>(active);
    return platform ? platform->window_() : nullptr;
}

void showFocusedMessage(const std::string& text) { showMessageBox(focusedWindow(), text, true); }

int askChoice(Window* owner, const std::string& text, const std::vector<std::string>& input) {
    if (input.empty())
        return 0;
    if (nobodyCanAnswer(text))
        return -1;
    std::vector<std::string> captions(input.begin(),
                                      input.begin() + std::min<size_t>(input.size(), kMaxChoiceButtons));
    int textWidth = 0;
    measureText(text, &textWidth, nullptr);
    std::vector<int> widths;
    int row = 40;
    for (const std::string& caption : captions) {
        int w = 0;
        measureText(caption, &w, nullptr);
        widths.push_back(w);
        row += w + 40;
    }
    int width = std::max(textWidth + 40, row);
    constexpr int kHeight = 120;

    auto window = std::make_unique<ChoiceWindow>(owner, width, kHeight);
    Canvas* canvas = window->backBuffer();
    canvas->fillButtonFace(0, 0, width, kHeight);
    canvas->selectFont(Font::defaultFont());
    canvas->drawText(20, 20, width - 40, 20, text, kBlack);
    int x = 10;
    for (size_t i = 0; i < captions.size(); ++i) {
        window->addWidget(std::make_unique<PushButton>(window.get(), x, 65, widths[i] + 20, 35,
                                                       static_cast<int>(i), captions[i]));
        x += widths[i] + 40;
    }
    window->setTitle("Message");
    window->drawWidgets();
    window->center();
    window->flush();
    window->show(true);
    announceModal(DialogKind::Choice, text);
    int result = window->runModal();
    window->show(false);
    window.reset();
    return result;
}

std::string toQtFilter(const std::string& list) {
    if (list.find('\0') == std::string::npos)
        return list;
    std::string result;
    size_t at = 0;
    while (at < list.size()) {
        size_t end = list.find('\0', at);
        if (end == std::string::npos)
            end = list.size();
        std::string description = list.substr(at, end - at);
        if (description.empty())
            break;
        at = end + 1;
        std::string pattern;
        if (at < list.size()) {
            size_t patternEnd = list.find('\0', at);
            if (patternEnd == std::string::npos)
                patternEnd = list.size();
            pattern = list.substr(at, patternEnd - at);
            at = patternEnd + 1;
        }
        if (!result.empty())
            result += ";;";
        result += filterEntry(std::move(description), std::move(pattern));
    }
    return result;
}

std::optional<std::string> chooseOpenFile(Window* owner, const std::string& filter, std::string* buffer) {
    return runFileDialog(owner, filter, buffer ? buffer : &defaultOpenBuffer(), false);
}

std::optional<std::string> chooseSaveFile(Window* owner, const std::string& filter, std::string* buffer) {
    return runFileDialog(owner, filter, buffer ? buffer : &defaultSaveBuffer(), true);
}

std::optional<uint32_t> chooseColour(Window* owner, uint32_t initial) {
    static uint32_t lastColour = 0;
    std::array<uint32_t, 16>& custom = customColourTable();
    for (int i = 0; i < 16; ++i)
        QColorDialog::setCustomColor(i, QColor(QRgb(custom[i] | 0xFF000000u)));
    QColorDialog dialog(QColor(QRgb((initial & 0xFFFFFF) | 0xFF000000u)), ownerWidget(owner));
    // Qt's own chooser shows the custom colours (the desktop's does not).
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    int result = runQtDialog(dialog, DialogKind::Colour, std::string());
    for (int i = 0; i < 16; ++i)
        custom[i] = QColorDialog::customColor(i).rgb() & 0xFFFFFF;
    if (result != QDialog::Accepted)
        return std::nullopt;
    lastColour = 0xFF000000u | (dialog.selectedColor().rgb() & 0xFFFFFF);
    return lastColour;
}

const std::array<uint32_t, 16>& customColours() { return customColourTable(); }

std::optional<std::string> browseFolder(Window* owner, std::string* buffer) {
    std::string* target = buffer ? buffer : &defaultFolderBuffer();
    QFileDialog dialog(ownerWidget(owner));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialogHandlerInstalled())
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (!target->empty())
        dialog.setDirectory(qtPath(*target));
    if (runQtDialog(dialog, DialogKind::Folder, std::string()) != QDialog::Accepted)
        return std::nullopt;
    QStringList folders = dialog.selectedFiles();
    if (folders.isEmpty())
        return std::nullopt;
    *target = localPath(folders.front());
    return *target;
}

std::string progressText(int done, int total) {
    if (total <= 0)
        return std::string();
    long long percent = static_cast<long long>(done) * 100 / total;
    return std::to_string(done) + "/" + std::to_string(total) + " (" + std::to_string(percent) + "%)";
}

bool showProgress(Window* owner, const std::string& caption) {
    closeProgress();
    auto window = std::make_unique<ProgressWindow>(owner);
    if (!window->exists())
        return false;
    Canvas* canvas = window->backBuffer();
    canvas->fillButtonFace(0, 0, kProgressWidth, kProgressHeight);
    window->center();
    canvas->selectFont(Font::defaultFont());
    canvas->drawText(10, 10, 230, 40, caption, kBlack);
    window->setTitle(caption);
    window->show(true);
    window->flush();
    progress().current = std::move(window);
    return true;
}

bool updateProgress(int done, int total) {
    ProgressWindow* window = progress().current.get();
    if (!window || !window->backBuffer())
        return false;
    Canvas* canvas = window->backBuffer();
    canvas->fillButtonFace(kBarX, kBarY, kBarW, kBarH);
    if (total > 0) {
        long long filled = static_cast<long long>(done) * kBarW / total;
        filled = std::clamp<long long>(filled, 0, kBarW);
        if (filled > 0)
            canvas->fillRect(kBarX, kBarY, static_cast<int>(filled), kBarH, kBarBlue);
    }
    canvas->frameRect(kBarX, kBarY, kBarW, kBarH, kBlack);
    if (total > 0)
        canvas->drawText(kBarX, kBarY, kBarW, kBarH, progressText(done, total), kBarTextRed);
    window->flushRect(kBarX, kBarY, kBarW, kBarH);
    pumpMessages(window);
    return true;
}

void closeProgress() {
    ProgressState& state = progress();
    state.current.reset();
    state.stopped.reset();
}

Window* progressWindow() { return progress().current.get(); }

}  // namespace veltro
