// The common dialogs answered through the test seam: message boxes, the
// choice window, file, colour and folder choosers, the progress window, the
// Qt filter conversion and the prompts seam with real dialogs.
#include "ui/dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QColorDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "ui/native_control.h"
#include "ui/qt_prompts.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

using testing::pixelAt;

// Installs a handler for the lifetime of the object.
class Answer {
public:
    explicit Answer(DialogHandler handler) : m_previous(setDialogHandler(std::move(handler))) {}
    ~Answer() { setDialogHandler(std::move(m_previous)); }

private:
    DialogHandler m_previous;
};

std::vector<PushButton*> buttonsOf(Window& window) {
    std::vector<PushButton*> buttons;
    for (Widget* w : window.widgets())
        if (auto* b = dynamic_cast<PushButton*>(w))
            buttons.push_back(b);
    return buttons;
}

class DialogsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::app(); }
    void TearDown() override {
        closeProgress();
        testing::settle();
    }
};

TEST_F(DialogsTest, AskChoiceShowsAtMostTenMeasuredButtons) {
    std::vector<std::string> captions;
    for (int i = 0; i < 12; ++i)
        captions.push_back("Choice " + std::to_string(i));
    int shown = 0;
    std::vector<int> widths;
    Answer answer([&](ShownDialog& dialog) {
        ASSERT_EQ(dialog.kind, DialogKind::Choice);
        EXPECT_EQ(dialog.text, "Pick one");
        std::vector<PushButton*> buttons = buttonsOf(*dialog.window);
        shown = static_cast<int>(buttons.size());
        int x = 10;
        for (PushButton* b : buttons) {
            EXPECT_EQ(b->x(), x);
            EXPECT_EQ(b->y(), 65);
            EXPECT_EQ(b->height(), 35);
            x += b->width() + 20;
        }
        EXPECT_EQ(dialog.window->backBuffer()->height(), 120);
        EXPECT_EQ(dialog.window->platformWindow()->width(), x + 30) << "40 + the sum of (caption + 40)";
        testing::saveScreenshot(*dialog.window, "choice_window");
        // A person clicks the eighth button.
        QTest::mouseClick(buttons[7]->nativeHandle(), Qt::LeftButton);
    });
    EXPECT_EQ(askChoice(nullptr, "Pick one", captions), 7);
    EXPECT_EQ(shown, kMaxChoiceButtons);
}

TEST_F(DialogsTest, AskChoiceWithoutCaptionsOrClosedWindow) {
    int shown = 0;
    Answer answer([&](ShownDialog& dialog) {
        ++shown;
        QTimer::singleShot(0, [window = dialog.window] { window->platformWindow()->close(); });
    });
    EXPECT_EQ(askChoice(nullptr, "Nothing to pick", {}), 0);
    EXPECT_EQ(shown, 0) << "no window without captions";
    EXPECT_EQ(askChoice(nullptr, "Close me", {"Yes", "No"}), -1);
    EXPECT_EQ(shown, 1);
}

TEST_F(DialogsTest, ProgressShowsItsTextAndABarOfDoneOutOfTotal) {
    Window owner(nullptr, 0, 0, 100, 100, WindowFrame::FramePopup);
    ASSERT_TRUE(showProgress(&owner, "Saving frames"));
    Window* window = progressWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->platformWindow()->size(), QSize(250, 120));
    EXPECT_TRUE(owner.platformWindow()->isEnabled()) << "the progress window is not modal";
    auto* stop = dynamic_cast<PushButton*>(window->widgetById(0));
    ASSERT_NE(stop, nullptr);
    EXPECT_EQ(stop->text(), "Stop");
    EXPECT_EQ(QRect(stop->x(), stop->y(), stop->width(), stop->height()), QRect(90, 75, 70, 35));

    EXPECT_TRUE(updateProgress(7, 9));
    EXPECT_EQ(progressText(7, 9), "7/9 (77%)");
    int blueEnd = -1;
    for (int x = 10; x < 240; ++x)
        if (pixelAt(*window, x, 62) == 0x0000FFu)
            blueEnd = x;
    EXPECT_EQ(blueEnd - 10 + 1, 178) << "7 * 230 / 9 pixels of bar";
    EXPECT_EQ(pixelAt(*window, 10, 50), 0x000000u) << "outlined";
    bool red = false;
    for (int y = 51; y < 64 && !red; ++y)
        for (int x = 11; x < 120 && !red; ++x)
            red = pixelAt(*window, x, y) == 0xFF0000u;
    EXPECT_TRUE(red) << "the text is drawn in red over the bar";
    testing::saveScreenshot(*window, "progress_window");

    EXPECT_TRUE(updateProgress(3, 0));
    EXPECT_EQ(progressText(3, 0), "");
    for (int x = 11; x < 239; x += 7)
        EXPECT_NE(pixelAt(*window, x, 57), 0x0000FFu) << "total 0: an empty outlined bar";
    EXPECT_EQ(pixelAt(*window, 239, 57), 0x000000u);

    EXPECT_TRUE(updateProgress(20, 9)) << "more than total fills the bar and no more";
    EXPECT_NE(pixelAt(*window, 241, 57), 0x0000FFu);
}

TEST_F(DialogsTest, StopEndsTheProgressAndALaterOneWorksAgain) {
    ASSERT_TRUE(showProgress(nullptr, "Loading images"));
    auto* stop = static_cast<PushButton*>(progressWindow()->widgetById(0));
    QTest::mouseClick(stop->nativeHandle(), Qt::LeftButton);
    EXPECT_EQ(progressWindow(), nullptr);
    EXPECT_FALSE(updateProgress(1, 2)) << "the caller learns that the user stopped";
    closeProgress();
    EXPECT_FALSE(updateProgress(1, 2)) << "no progress window";

    ASSERT_TRUE(showProgress(nullptr, "Again"));
    EXPECT_TRUE(updateProgress(1, 2));
    progressWindow()->platformWindow()->close();
    testing::settle();
    EXPECT_FALSE(updateProgress(2, 2)) << "closing the window stops too";

    WindowProgress sink;
    EXPECT_TRUE(sink.begin("Through the interface"));
    EXPECT_TRUE(sink.update(1, 3));
    sink.end();
    EXPECT_EQ(progressWindow(), nullptr);
}

TEST_F(DialogsTest, MessageBoxesCarryCaptionTextAndIcon) {
    std::vector<std::pair<std::string, QMessageBox::Icon>> seen;
    Answer answer([&](ShownDialog& dialog) {
        ASSERT_EQ(dialog.kind, DialogKind::Message);
        auto* box = qobject_cast<QMessageBox*>(dialog.dialog);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle().toStdString(), "Message");
        seen.push_back({box->text().toStdString(), box->icon()});
        if (box->icon() == QMessageBox::Information)
            QDir().mkpath("screenshots"), box->grab().save("screenshots/message_box.png");
        box->button(QMessageBox::Ok)->click();
    });
    Window window(nullptr, 0, 0, 100, 100, WindowFrame::FramePopup);
    window.show(true);
    EXPECT_EQ(window.showMessage(std::string(600, 'x')), 1);
    showFocusedMessage("Saved & done");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first.size(), 511u) << "a window's own message box holds 511 characters";
    EXPECT_EQ(seen[0].second, QMessageBox::NoIcon);
    EXPECT_EQ(seen[1].first, "Saved & done");
    EXPECT_EQ(seen[1].second, QMessageBox::Information);
}

TEST_F(DialogsTest, FilterListsBecomeQtFilters) {
    using namespace std::string_literals;
    EXPECT_EQ(toQtFilter("PNG\0*.png\0\0"s), "PNG (*.png)");
    EXPECT_EQ(toQtFilter("All Image (*.png;*.jpg)\0*.png;*.jpg\0JPEG\0*.jpg;*.jpeg\0\0"s),
              "All Image (*.png *.jpg);;JPEG (*.jpg *.jpeg)");
    EXPECT_EQ(toQtFilter("Odd;;name\0*.x\0"s), "Odd; name (*.x)");
    EXPECT_EQ(toQtFilter("No pattern\0"s), "No pattern");
    EXPECT_EQ(toQtFilter("\0\0"s), "");
    EXPECT_EQ(toQtFilter("Movies (*.avi)"), "Movies (*.avi)") << "a Qt filter passes as it is";
}

TEST_F(DialogsTest, FileChoosersKeepTheirChoice) {
    testing::ResourceDir dir;
    dir.writeText("clip.avi", "x");
    std::string existing = dir.path() + "/clip.avi";
    std::string answerPath;
    std::vector<DialogKind> kinds;
    std::string filterSeen;
    Answer answer([&](ShownDialog& dialog) {
        kinds.push_back(dialog.kind);
        auto* files = qobject_cast<QFileDialog*>(dialog.dialog);
        ASSERT_NE(files, nullptr);
        filterSeen = files->nameFilters().join(";;").toStdString();
        files->selectFile(QString::fromStdString(answerPath));
        dialog.dialog->accept();
    });
    using namespace std::string_literals;
    answerPath = existing;
    std::optional<std::string> chosen = chooseOpenFile(nullptr, "AVI movie\0*.avi\0\0"s);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, existing);
    EXPECT_EQ(filterSeen, "AVI movie (*.avi)");

    // The default buffer keeps the last choice as the next starting name.
    std::string startedOn;
    {
        Answer cancel([&](ShownDialog& dialog) {
            kinds.push_back(dialog.kind);
            auto* files = qobject_cast<QFileDialog*>(dialog.dialog);
            EXPECT_EQ(files->fileMode(), QFileDialog::ExistingFile) << "the file must exist";
            startedOn = files->directory().absolutePath().toStdString();
            dialog.dialog->reject();
        });
        EXPECT_FALSE(chooseOpenFile(nullptr, "AVI movie\0*.avi\0\0"s)) << "cancelled";
    }
    EXPECT_EQ(startedOn, dir.path());

    std::string buffer = dir.path() + "/out.txt";
    answerPath = buffer;
    std::optional<std::string> saved = chooseSaveFile(nullptr, "Frame list\0*.txt\0\0"s, &buffer);
    ASSERT_TRUE(saved);
    EXPECT_EQ(buffer, dir.path() + "/out.txt");
    EXPECT_EQ(kinds, (std::vector<DialogKind>{DialogKind::OpenFile, DialogKind::OpenFile, DialogKind::SaveFile}));
}

TEST_F(DialogsTest, BrowseFolderReturnsTheChosenFolder) {
    testing::ResourceDir dir;
    std::filesystem::create_directory(dir.path() + "/pages");
    Answer answer([&](ShownDialog& dialog) {
        ASSERT_EQ(dialog.kind, DialogKind::Folder);
        auto* files = qobject_cast<QFileDialog*>(dialog.dialog);
        EXPECT_EQ(files->fileMode(), QFileDialog::Directory);
        EXPECT_EQ(files->directory().absolutePath().toStdString(), dir.path());
        files->selectFile(QString::fromStdString(dir.path() + "/pages"));
        dialog.dialog->accept();
    });
    std::string buffer = dir.path();
    std::optional<std::string> folder = browseFolder(nullptr, &buffer);
    ASSERT_TRUE(folder);
    EXPECT_EQ(*folder, dir.path() + "/pages");
    EXPECT_EQ(buffer, *folder);
}

TEST_F(DialogsTest, ColourChooserReturnsOpaqueColoursAndKeepsCustomColours) {
    EXPECT_EQ(customColours()[1], 0xFF0000u);
    EXPECT_EQ(customColours()[15], 0xC0C0C0u);
    int calls = 0;
    Answer answer([&](ShownDialog& dialog) {
        ++calls;
        auto* colours = qobject_cast<QColorDialog*>(dialog.dialog);
        ASSERT_NE(colours, nullptr);
        if (calls == 1) {
            EXPECT_EQ(colours->currentColor().rgb() & 0xFFFFFF, 0x123456u);
            EXPECT_EQ(QColorDialog::customColor(9).rgb() & 0xFFFFFF, 0x800000u);
            QColorDialog::setCustomColor(3, QColor(0x10, 0x20, 0x30));
            QDir().mkpath("screenshots"), colours->grab().save("screenshots/colour_chooser.png");
            colours->accept();
        } else {
            colours->reject();
        }
    });
    std::optional<uint32_t> colour = chooseColour(nullptr, 0x123456);
    ASSERT_TRUE(colour);
    EXPECT_EQ(*colour, 0xFF123456u);
    EXPECT_EQ(customColours()[3], 0x102030u) << "the user's custom colours persist for the run";
    EXPECT_FALSE(chooseColour(nullptr, 0xFFFFFF));
}

TEST_F(DialogsTest, WithoutAHandlerOffscreenDialogsNeverWait) {
    ASSERT_EQ(QGuiApplication::platformName(), "offscreen");
    showFocusedMessage("printed, not shown");
    EXPECT_EQ(askChoice(nullptr, "Nobody answers", {"A", "B"}), -1);
    EXPECT_FALSE(chooseOpenFile(nullptr, std::string("PNG\0*.png\0\0", 12)));
    EXPECT_FALSE(chooseColour(nullptr, 0x123456));
    EXPECT_FALSE(browseFolder(nullptr));
}

TEST_F(DialogsTest, QtPromptsShowRealDialogs) {
    std::vector<DialogKind> kinds;
    Answer answer([&](ShownDialog& dialog) {
        kinds.push_back(dialog.kind);
        if (dialog.kind == DialogKind::Choice)
            QTest::mouseClick(buttonsOf(*dialog.window)[1]->nativeHandle(), Qt::LeftButton);
        else if (dialog.dialog)
            dialog.dialog->reject();
    });
    QtPrompts prompts;
    prompts.showMessage("Hello");
    EXPECT_EQ(prompts.askChoice("Quit?", {"Quit", "Stay"}), 1);
    EXPECT_EQ(prompts.chooseOpenFile(std::string("PNG\0*.png\0\0", 12), ""), "");
    EXPECT_EQ(prompts.chooseSaveFile(std::string("PNG\0*.png\0\0", 12), "a.png"), "");
    EXPECT_EQ(kinds, (std::vector<DialogKind>{DialogKind::Message, DialogKind::Choice, DialogKind::OpenFile,
                                              DialogKind::SaveFile}));
}

}  // namespace
}  // namespace veltro
