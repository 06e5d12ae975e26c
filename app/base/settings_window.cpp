// The settings window.
#include "app/base/settings_window.h"

#include <climits>
#include <memory>

#include "image/file_utils.h"
#include "services/resources.h"
#include "services/settings.h"
#include "ui/dialogs.h"
#include "ui/native_control.h"

namespace veltro {

namespace {

constexpr const char* kSection = "lmsetting";

}  // namespace

int frameLimitFromText(const std::string& text) {
    // decimalValue clamps to the int range instead of wrapping, so a long row
    // of digits means "as many as possible", never a negative limit.
    int value = decimalValue(text);
    return value < 1 ? 1 : value;
}

SettingsWindow::SettingsWindow(Window* caller) : DialogWindow(caller, kSection) {
    m_albumField = dynamic_cast<EditField*>(widgetById(kSettingsAlbumField));
    m_frameField = dynamic_cast<EditField*>(widgetById(kSettingsFrameField));
    if (m_albumField)
        m_albumField->setText(settings().find("album_dir", "/pages"));
    if (m_frameField)
        m_frameField->setText(settings().find("max_frame", "50"));
    m_adaptiveKeys = dynamic_cast<CheckButton*>(widgetById(kSettingsAdaptiveKeys));
    if (m_adaptiveKeys)
        m_adaptiveKeys->setChecked(settings().findNumber("adaptive_keys", "0") != 0);
}

void SettingsWindow::onCommand(int id) {
    switch (id) {
    case kSettingsBrowse: browse(); break;
    case kSettingsConfirm: confirm(); break;
    case kSettingsCancel: endModal(0); break;
    case kSettingsAdaptiveKeys:
        // The box only reports the click; the window sets the mark.
        if (m_adaptiveKeys)
            m_adaptiveKeys->setChecked(!m_adaptiveKeys->isChecked());
        break;
    default: break;
    }
}

void SettingsWindow::onKey(int) {}

void SettingsWindow::browse() {
    if (!m_albumField)
        return;
    std::string start = m_albumField->text();
    if (std::optional<std::string> folder = browseFolder(this, &start))
        m_albumField->setText(*folder);
}

void SettingsWindow::confirm() {
    if (!m_albumField)
        return;
    std::string path = m_albumField->text();
    if (path.empty()) {
        showMessage(resources().textCopy("e_invalid_dir"));
        return;
    }
    if (!fileExists(path)) {
        // The captions are looked up once and kept for the run.
        static const std::vector<std::string> captions = {resources().textCopy("b_create"),
                                                          resources().textCopy("b_cancel")};
        if (askChoice(this, resources().textCopy("create_dir?"), captions) != 0)
            return;
        if (!makeDirectories(path)) {
            showMessage(formatText(resources().text("e_cant_mkdir"), {path}));
            return;
        }
    }
    settings().set("album_dir", path);
    int limit = frameLimitFromText(m_frameField ? m_frameField->text() : std::string());
    settings().set("max_frame", std::to_string(limit));
    if (m_adaptiveKeys)
        settings().set("adaptive_keys", m_adaptiveKeys->isChecked() ? "1" : "0");
    // Written now, so the choice survives even if the program does not end
    // normally; a failed write keeps the values for this run.
    settings().save();
    endModal(1);
}

int openSettingsWindow(Window* caller) {
    auto window = std::make_unique<SettingsWindow>(caller);
    window->center();
    return window->runModal();
}

}  // namespace veltro
