// The format and source dialogs of a capture device, laid out from
// "lmcapformat" and "lmcapsource".
#include "app/capture/capture_dialogs.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "movie/capture_device.h"
#include "services/resources.h"
#include "ui/dialog_window.h"
#include "ui/native_control.h"

namespace veltro {

namespace {

bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A value typed for a control: a number, "on"/"off" for a switch, or the
// name of a menu item. None for anything else.
std::optional<int> controlValue(const CaptureControl& control, const std::string& typed) {
    const std::string text = trimmed(typed);
    if (control.type == CaptureControl::Type::Boolean) {
        if (sameText(text, "on") || text == "1")
            return 1;
        if (sameText(text, "off") || text == "0")
            return 0;
        return std::nullopt;
    }
    if (control.type == CaptureControl::Type::Menu)
        for (const auto& [value, name] : control.menu)
            if (sameText(text, name))
                return value;
    if (text.empty() || text.size() > 11)
        return std::nullopt;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size() || text.find_first_not_of("0123456789", i) != std::string::npos)
        return std::nullopt;
    const long long value = std::stoll(text);
    if (value < control.minimum || value > control.maximum)
        return std::nullopt;
    if (control.type == CaptureControl::Type::Menu &&
        std::none_of(control.menu.begin(), control.menu.end(), [&](const auto& item) { return item.first == value; }))
        return std::nullopt;
    return static_cast<int>(value);
}

// The text the value field shows for a control's current value.
std::string valueText(const CaptureControl& control) {
    if (control.type == CaptureControl::Type::Boolean)
        return control.value ? "on" : "off";
    for (const auto& [value, name] : control.menu)
        if (value == control.value)
            return name;
    return std::to_string(control.value);
}

class FormatDialog : public DialogWindow {
public:
    FormatDialog(Window* owner, CaptureDevice& device)
        : DialogWindow(owner, "lmcapformat"), m_device(device), m_formats(device.formats()) {
        m_list = dynamic_cast<ListBox*>(widgetById(kFormatList));
        if (!m_list)
            return;
        for (const CaptureFormat& format : m_formats)
            m_list->addItem(format.label());
        const auto current = std::find(m_formats.begin(), m_formats.end(), device.format());
        m_list->select(current == m_formats.end() ? -1 : static_cast<int>(current - m_formats.begin()));
    }
    void onCommand(int id) override {
        if (id == kFormatOk) {
            const int chosen = m_list ? m_list->selectedIndex() : -1;
            const bool changed = chosen >= 0 && m_formats[static_cast<size_t>(chosen)] != m_device.format() &&
                                 m_device.setFormat(m_formats[static_cast<size_t>(chosen)]);
            finish(changed ? 1 : 0);
        } else if (id == kFormatCancel) {
            finish(0);
        }
    }

private:
    void finish(int result) {
        if (owner())
            owner()->enable(true);
        destroy();
        endModal(result);
    }

    CaptureDevice& m_device;
    std::vector<CaptureFormat> m_formats;
    ListBox* m_list = nullptr;
};

class SourceDialog : public DialogWindow {
public:
    SourceDialog(Window* owner, CaptureDevice& device) : DialogWindow(owner, "lmcapsource"), m_device(device) {
        m_list = dynamic_cast<ListBox*>(widgetById(kSourceList));
        m_value = dynamic_cast<EditField*>(widgetById(kSourceValue));
        reload(0);
    }
    void onCommand(int id) override {
        const int selected = m_list ? m_list->selectedIndex() : -1;
        const CaptureControl* control =
            selected >= 0 && selected < static_cast<int>(m_controls.size()) ? &m_controls[static_cast<size_t>(selected)]
                                                                            : nullptr;
        switch (id) {
        case kSourceList:
            if (control && m_value)
                m_value->setText(valueText(*control));
            break;
        case kSourceSet:
        case kSourceDefault:
            if (control) {
                const std::optional<int> value = id == kSourceDefault
                                                     ? std::optional<int>(control->defaultValue)
                                                     : controlValue(*control, m_value ? m_value->text() : "");
                if (!value || !m_device.setControl(control->id, *value))
                    showMessage(formatText(resources().text("e_bad_control"), {control->name}));
                reload(selected);
            }
            break;
        case kSourceClose:
            if (owner())
                owner()->enable(true);
            destroy();
            endModal(0);
            break;
        default: break;
        }
    }

private:
    void reload(int selected) {
        m_controls = m_device.controls();
        if (!m_list)
            return;
        while (m_list->itemCount() > 0)
            m_list->deleteItem(0);
        for (const CaptureControl& control : m_controls)
            m_list->addItem(control.label());
        if (selected >= 0 && selected < static_cast<int>(m_controls.size())) {
            m_list->select(selected);
            if (m_value)
                m_value->setText(valueText(m_controls[static_cast<size_t>(selected)]));
        }
    }

    CaptureDevice& m_device;
    std::vector<CaptureControl> m_controls;
    ListBox* m_list = nullptr;
    EditField* m_value = nullptr;
};

}  // namespace

bool runCaptureFormatDialog(Window* owner, CaptureDevice& device) {
    FormatDialog dialog(owner, device);
    dialog.center();
    return dialog.runModal() == 1;
}

void runCaptureSourceDialog(Window* owner, CaptureDevice& device) {
    SourceDialog dialog(owner, device);
    dialog.center();
    dialog.runModal();
}

}  // namespace veltro
