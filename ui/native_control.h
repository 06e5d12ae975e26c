// The platform's own controls wrapped as widgets, so layouts place them by id
// like drawn widgets: push button, check button, single-line edit field,
// drop-down list and list box. Each is a Qt child of its window's platform
// window at the widget's rectangle; clicks (0), selection changes (1) and
// edits (1024) reach the window as Window::onCommand with the widget's id.
#pragma once

#include <QPointer>
#include <string>

#include "ui/window.h"

class QWidget;

namespace veltro {

// A widget backed by a Qt control; the control paints itself.
class NativeControl : public Widget {
public:
    // Adds the widget to parent; the derived class creates the control.
    NativeControl(Window* parent, int x, int y, int width, int height, int id);
    // Destroys the control when it still has one.
    ~NativeControl() override;

    void setPosition(int x, int y) override;
    void setSize(int width, int height) override;
    void setRect(int x, int y, int width, int height) override;
    void setEnabled(bool enabled) override;
    void setVisible(bool visible) override;
    void paint(Canvas& canvas, int x, int y, int width, int height) override;
    void refresh() override;
    QWidget* nativeHandle() const override;
    bool onKey(int code) override;
    bool onMouseMove(int x, int y) override;
    bool onButtonDown(int x, int y) override;
    bool onButtonUp(int x, int y) override;
    void onEnter(int x, int y) override;
    void onLeave(int x, int y) override;
    int cursor() const override;
    bool onWheel(int steps) override;

    // Sets the control's text (caption of buttons, content of an edit field).
    void setText(const std::string& text);
    // The control's text (empty without a control).
    std::string text() const;

protected:
    // Places the new control, gives it the default font and shows it; when
    // control is nullptr the creation failure is reported with message.
    void attach(QWidget* control, const char* failureMessage);
    // Passes a notification of the control to the window's command routing.
    void notify(int notification);
    void forgetNativeHandle() override;

    QPointer<QWidget> m_control;
};

// A plain push button ("B" in layouts).
class PushButton : public NativeControl {
public:
    PushButton(Window* parent, int x, int y, int width, int height, int id, const std::string& caption);
};

// A check box that never changes its mark by itself ("C" in layouts); a click
// only reaches the window as a command.
class CheckButton : public NativeControl {
public:
    CheckButton(Window* parent, int x, int y, int width, int height, int id, const std::string& caption);
    // Sets or clears the check mark.
    void setChecked(bool checked);
    // True when the check mark is set.
    bool isChecked() const;
};

// A single-line edit field with a border, scrolling horizontally ("E").
class EditField : public NativeControl {
public:
    EditField(Window* parent, int x, int y, int width, int height, int id);
};

// A drop-down list ("M").
class ComboList : public NativeControl {
public:
    ComboList(Window* parent, int x, int y, int width, int height, int id);
    // Appends an item.
    void addItem(const std::string& text);
    // The selected index, or -1.
    int selectedIndex() const;
    // Selects index (no notification).
    void select(int index);
    // Number of items.
    int itemCount() const;
    // The text of item index; empty when there is no such item.
    std::string itemText(int index) const;
};

// A list box with a border and a vertical scroll bar ("T").
class ListBox : public NativeControl {
public:
    ListBox(Window* parent, int x, int y, int width, int height, int id);
    // Appends an item and returns its index.
    int addItem(const std::string& text);
    // Inserts an item before index (at the end when index is out of range).
    void insertItem(int index, const std::string& text);
    // Deletes item index.
    void deleteItem(int index);
    // The selected index, or -1 when none.
    int selectedIndex() const;
    // Selects index (no notification); -1 clears the selection.
    void select(int index);
    // Number of items.
    int itemCount() const;
    // The text of item index; empty when there is no such item.
    std::string itemText(int index) const;
};

}  // namespace veltro
