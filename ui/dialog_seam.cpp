// The dialog seam: the installed handler, the announcement of the next modal
// run, and the runner every Qt dialog goes through.
#include "ui/dialog_seam.h"

#include <QDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QWidget>
#include <cstdio>

namespace veltro {

namespace {

DialogHandler& handler() {
    static DialogHandler current;
    return current;
}

// What the next modal run reports to the handler when it is not a plain
// modal window (the choice window says so just before its run).
struct PendingModal {
    DialogKind kind = DialogKind::ModalWindow;
    std::string text;
    bool set = false;
};

PendingModal& pendingModal() {
    static PendingModal pending;
    return pending;
}

}  // namespace

DialogHandler setDialogHandler(DialogHandler replacement) {
    DialogHandler previous = std::move(handler());
    handler() = std::move(replacement);
    return previous;
}

bool dialogHandlerInstalled() { return static_cast<bool>(handler()); }

void announceModal(DialogKind kind, const std::string& text) { pendingModal() = PendingModal{kind, text, true}; }

void notifyModalShown(Window& window, const std::string& title) {
    PendingModal pending = std::move(pendingModal());
    pendingModal() = PendingModal{};
    if (!handler())
        return;
    ShownDialog shown{pending.kind, &window, nullptr, pending.set ? pending.text : title};
    DialogHandler current = handler();
    current(shown);
}

bool nobodyCanAnswer(const std::string& text) {
    if (handler() || QGuiApplication::platformName() != QLatin1String("offscreen"))
        return false;
    if (!text.empty())
        std::fprintf(stderr, "%s\n", text.c_str());
    return true;
}

int runQtDialog(QDialog& dialog, DialogKind kind, const std::string& text) {
    if (nobodyCanAnswer(text))
        return QDialog::Rejected;
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    if (!handler())
        return dialog.exec();
    dialog.show();
    ShownDialog shown{kind, nullptr, &dialog, text};
    DialogHandler current = handler();
    current(shown);
    if (dialog.isVisible())
        dialog.reject();
    return dialog.result();
}

void showQtMessageBox(QWidget* owner, const std::string& text, bool informationIcon) {
    QMessageBox box(informationIcon ? QMessageBox::Information : QMessageBox::NoIcon, "Message",
                    QString::fromStdString(text), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    runQtDialog(box, DialogKind::Message, text);
}

}  // namespace veltro
