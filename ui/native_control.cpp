// Native controls over Qt widgets: QPushButton, a QCheckBox that does not
// toggle itself, QLineEdit, QComboBox and QListWidget, children of the
// window's platform widget at absolute positions.
#include "ui/native_control.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <functional>

#include "ui/platform_widget.h"
#include "services/font.h"
#include "services/prompts.h"

namespace veltro {

namespace {

QString toQt(const std::string& text) { return QString::fromStdString(text); }

// The interface's default font, as native controls show it: the same face
// and size as the drawn texts, smoothed like the rest of the desktop's
// controls (only the back buffer needs pixel-exact text).
QFont defaultQtFont() {
    Font* font = Font::defaultFont();
    QFont qfont = font ? font->qfont() : QFont();
    qfont.setStyleStrategy(QFont::PreferAntialias);
    return qfont;
}

// A check box whose mark changes only when the program sets it.
class FixedCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {}
};

// Reports an edit field's focus changes as notifications (which the window's
// command routing drops, as it drops everything but 0, 1 and 1024).
class FocusNotifier : public QObject {
public:
    explicit FocusNotifier(std::function<void(int)> notify) : m_notify(std::move(notify)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::FocusIn)
            m_notify(kNotifySetFocus);
        else if (event->type() == QEvent::FocusOut)
            m_notify(kNotifyKillFocus);
        return false;
    }

private:
    std::function<void(int)> m_notify;
};

}  // namespace

NativeControl::NativeControl(Window* parent, int x, int y, int width, int height, int id)
    : Widget(parent, x, y, width, height, id) {}

NativeControl::~NativeControl() {
    if (!m_control)
        return;
    // The control no longer reports to this widget.
    QObject::disconnect(m_control.data(), nullptr, nullptr, nullptr);
    for (QObject* child : m_control->children())
        if (auto* notifier = dynamic_cast<FocusNotifier*>(child))
            m_control->removeEventFilter(notifier);
    // A control deleted from inside its own notification (a handler that
    // rebuilds its window) must outlive the Qt code still running for it.
    if (PlatformWidget::dispatchDepth() > 0) {
        m_control->hide();
        m_control->deleteLater();
    } else {
        delete m_control.data();
    }
}

void NativeControl::attach(QWidget* control, const char* failureMessage) {
    if (!control) {
        showMessage(failureMessage);
        return;
    }
    m_control = control;
    control->setFont(defaultQtFont());
    control->setGeometry(x(), y(), width(), height());
    control->show();
}

void NativeControl::notify(int notification) {
    if (!parent())
        return;
    PlatformWidget::DispatchGuard guard;
    parent()->dispatchControlCommand(id(), notification);
}

void NativeControl::forgetNativeHandle() { m_control = nullptr; }

void NativeControl::setPosition(int x, int y) {
    Widget::setPosition(x, y);
    if (m_control)
        m_control->move(x, y);
}

void NativeControl::setSize(int width, int height) {
    Widget::setSize(width, height);
    if (m_control)
        m_control->resize(width, height);
}

void NativeControl::setRect(int x, int y, int width, int height) {
    Widget::setRect(x, y, width, height);
    if (m_control)
        m_control->setGeometry(x, y, width, height);
}

void NativeControl::setEnabled(bool enabled) {
    Widget::setEnabled(enabled);
    if (m_control)
        m_control->setEnabled(enabled);
}

void NativeControl::setVisible(bool visible) {
    Widget::setVisible(visible);
    if (m_control)
        m_control->setVisible(visible);
}

void NativeControl::paint(Canvas&, int, int, int, int) {}
void NativeControl::refresh() {}
QWidget* NativeControl::nativeHandle() const { return m_control.data(); }
bool NativeControl::onKey(int) { return false; }
bool NativeControl::onMouseMove(int, int) { return true; }
bool NativeControl::onButtonDown(int, int) { return true; }
bool NativeControl::onButtonUp(int, int) { return true; }
void NativeControl::onEnter(int, int) {}
void NativeControl::onLeave(int, int) {}
int NativeControl::cursor() const { return kCursorPointer; }
bool NativeControl::onWheel(int) { return false; }

void NativeControl::setText(const std::string& text) {
    if (!m_control)
        return;
    if (auto* button = qobject_cast<QAbstractButton*>(m_control.data()))
        button->setText(toQt(text));
    else if (auto* edit = qobject_cast<QLineEdit*>(m_control.data()))
        edit->setText(toQt(text));
    else
        m_control->setWindowTitle(toQt(text));
}

std::string NativeControl::text() const {
    if (!m_control)
        return std::string();
    if (auto* button = qobject_cast<QAbstractButton*>(m_control.data()))
        return button->text().toStdString();
    if (auto* edit = qobject_cast<QLineEdit*>(m_control.data()))
        return edit->text().toStdString();
    if (auto* combo = qobject_cast<QComboBox*>(m_control.data()))
        return combo->currentText().toStdString();
    return m_control->windowTitle().toStdString();
}

PushButton::PushButton(Window* parent, int x, int y, int width, int height, int id, const std::string& caption)
    : NativeControl(parent, x, y, width, height, id) {
    QWidget* host = parent ? parent->platformWindow() : nullptr;
    auto* button = host ? new QPushButton(toQt(caption), host) : nullptr;
    if (button) {
        button->setAutoDefault(false);
        QObject::connect(button, &QPushButton::clicked, button, [this] { notify(kNotifyClicked); });
    }
    attach(button, "Button creation failed.");
}

CheckButton::CheckButton(Window* parent, int x, int y, int width, int height, int id,
                         const std::string& caption)
    : NativeControl(parent, x, y, width, height, id) {
    QWidget* host = parent ? parent->platformWindow() : nullptr;
    auto* box = host ? new FixedCheckBox(toQt(caption), host) : nullptr;
    if (box)
        QObject::connect(box, &QCheckBox::clicked, box, [this] { notify(kNotifyClicked); });
    attach(box, "CheckButton creation failed.");
}

void CheckButton::setChecked(bool checked) {
    if (auto* box = qobject_cast<QCheckBox*>(m_control.data()))
        box->setChecked(checked);
}

bool CheckButton::isChecked() const {
    auto* box = qobject_cast<QCheckBox*>(m_control.data());
    return box && box->isChecked();
}

EditField::EditField(Window* parent, int x, int y, int width, int height, int id)
    : NativeControl(parent, x, y, width, height, id) {
    QWidget* host = parent ? parent->platformWindow() : nullptr;
    auto* edit = host ? new QLineEdit(host) : nullptr;
    if (edit) {
        QObject::connect(edit, &QLineEdit::textChanged, edit, [this] { notify(kNotifyEditUpdated); });
        auto* watcher = new FocusNotifier([this](int n) { notify(n); });
        watcher->setParent(edit);
        edit->installEventFilter(watcher);
    }
    attach(edit, "Edit creation failed.");
}

ComboList::ComboList(Window* parent, int x, int y, int width, int height, int id)
    : NativeControl(parent, x, y, width, height, id) {
    QWidget* host = parent ? parent->platformWindow() : nullptr;
    auto* combo = host ? new QComboBox(host) : nullptr;
    if (combo) {
        combo->setEditable(false);
        QObject::connect(combo, &QComboBox::activated, combo, [this] { notify(kNotifySelectionChanged); });
    }
    attach(combo, "Combobox creation failed.");
}

void ComboList::addItem(const std::string& text) {
    if (auto* combo = qobject_cast<QComboBox*>(m_control.data())) {
        QSignalBlocker block(combo);
        combo->addItem(toQt(text));
    }
}

int ComboList::selectedIndex() const {
    auto* combo = qobject_cast<QComboBox*>(m_control.data());
    return combo ? combo->currentIndex() : -1;
}

void ComboList::select(int index) {
    if (auto* combo = qobject_cast<QComboBox*>(m_control.data())) {
        QSignalBlocker block(combo);
        combo->setCurrentIndex(index);
    }
}

int ComboList::itemCount() const {
    auto* combo = qobject_cast<QComboBox*>(m_control.data());
    return combo ? combo->count() : 0;
}

std::string ComboList::itemText(int index) const {
    if (auto* combo = qobject_cast<QComboBox*>(m_control.data()); combo && index >= 0 && index < combo->count())
        return combo->itemText(index).toStdString();
    return std::string();
}

ListBox::ListBox(Window* parent, int x, int y, int width, int height, int id)
    : NativeControl(parent, x, y, width, height, id) {
    QWidget* host = parent ? parent->platformWindow() : nullptr;
    auto* list = host ? new QListWidget(host) : nullptr;
    if (list) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        QObject::connect(list, &QListWidget::itemSelectionChanged, list,
                         [this] { notify(kNotifySelectionChanged); });
    }
    attach(list, "Listbox creation failed.");
}

namespace {
QListWidget* listOf(const QPointer<QWidget>& control) { return qobject_cast<QListWidget*>(control.data()); }
}  // namespace

int ListBox::addItem(const std::string& text) {
    QListWidget* list = listOf(m_control);
    if (!list)
        return -1;
    QSignalBlocker block(list);
    list->addItem(toQt(text));
    return list->count() - 1;
}

void ListBox::insertItem(int index, const std::string& text) {
    QListWidget* list = listOf(m_control);
    if (!list)
        return;
    QSignalBlocker block(list);
    if (index < 0 || index > list->count())
        index = list->count();
    list->insertItem(index, toQt(text));
}

void ListBox::deleteItem(int index) {
    QListWidget* list = listOf(m_control);
    if (!list || index < 0 || index >= list->count())
        return;
    QSignalBlocker block(list);
    delete list->takeItem(index);
}

int ListBox::selectedIndex() const {
    QListWidget* list = listOf(m_control);
    if (!list)
        return -1;
    QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.front());
}

void ListBox::select(int index) {
    QListWidget* list = listOf(m_control);
    if (!list)
        return;
    QSignalBlocker block(list);
    list->clearSelection();
    if (index >= 0 && index < list->count()) {
        list->setCurrentRow(index);
        list->item(index)->setSelected(true);
    }
}

int ListBox::itemCount() const {
    QListWidget* list = listOf(m_control);
    return list ? list->count() : 0;
}

std::string ListBox::itemText(int index) const {
    QListWidget* list = listOf(m_control);
    if (list && index >= 0 && index < list->count())
        return list->item(index)->text().toStdString();
    return std::string();
}

}  // namespace veltro
