// The settings window: the album folder (where published pages go), the
// frame limit (how many frames the edit window aims to keep) and whether
// pages store a key frame wherever that costs fewer bytes than the changed
// blocks ("adaptive_keys"), from the "lmsetting" layout. Confirming stores
// them and writes the settings file at once; a missing album folder is
// created, with its missing parents, after a question.
#pragma once

#include <string>

#include "ui/dialog_window.h"

namespace veltro {

class CheckButton;
class EditField;

// Command ids of the "lmsetting" layout.
inline constexpr int kSettingsAlbumField = 0;
inline constexpr int kSettingsBrowse = 1;
inline constexpr int kSettingsFrameField = 2;
inline constexpr int kSettingsConfirm = 3;
inline constexpr int kSettingsCancel = 4;
inline constexpr int kSettingsAdaptiveKeys = 5;

// The frame limit a field's text stands for: its leading decimal number, at
// least 1; a number beyond the int range counts as the largest int.
int frameLimitFromText(const std::string& text);

class SettingsWindow : public DialogWindow {
public:
    // The window owned by caller, its fields filled from the settings.
    explicit SettingsWindow(Window* caller);

    // Browse (1), confirm (3), cancel (4) and the adaptive key frames box (5).
    void onCommand(int id) override;
    // The platform's quit key is ignored: the window may sit over open work.
    void onKey(int code) override;

    EditField* albumField() const { return m_albumField; }
    EditField* frameField() const { return m_frameField; }
    CheckButton* adaptiveKeysBox() const { return m_adaptiveKeys; }

private:
    void browse();
    void confirm();

    EditField* m_albumField = nullptr;
    EditField* m_frameField = nullptr;
    CheckButton* m_adaptiveKeys = nullptr;
};

// Runs the settings window modally over caller, centred on the screen: 1 when
// the settings were stored, 0 when cancelled, -1 when closed.
int openSettingsWindow(Window* caller);

}  // namespace veltro
