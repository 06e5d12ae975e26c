// The settings window on the offscreen platform, driven as a person would:
// typed fields, the folder browser, the creation question, confirm and
// cancel, and the settings file on disk right after confirming.
#include "app/base/settings_window.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QTest>
#include <climits>
#include <fstream>
#include <sstream>

#include "app/base/app_test_support.h"
#include "image/file_utils.h"
#include "ui/native_control.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

using testing::Answer;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Replaces a field's text the way typing does.
void typeInto(EditField* field, const std::string& text) {
    QWidget* control = field->nativeHandle();
    control->setFocus();
    QTest::keyClick(control, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(control, Qt::Key_Delete);
    QTest::keyClicks(control, QString::fromStdString(text));
}

void click(Window& window, int id) {
    QTest::mouseClick(window.widgetById(id)->nativeHandle(), Qt::LeftButton);
}

class SettingsWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::app(); }
    void TearDown() override { testing::settle(); }

    // Opens the settings window; script runs once it is shown.
    int run(std::function<void(SettingsWindow&)> script, std::function<int(const std::string&)> choice = {}) {
        Answer answer([&](ShownDialog& dialog) {
            if (dialog.kind == DialogKind::Choice) {
                ++questions;
                dialog.window->onCommand(choice ? choice(dialog.text) : -1);
            } else if (dialog.kind == DialogKind::ModalWindow) {
                auto* window = dynamic_cast<SettingsWindow*>(dialog.window);
                ASSERT_NE(window, nullptr);
                script(*window);
                if (window->isModalRunning()) {
                    stayedOpen = true;
                    window->endModal(7);
                }
            } else if (dialog.kind == DialogKind::Folder && folderAnswer) {
                folderAnswer(*static_cast<QFileDialog*>(dialog.dialog));
            }
        });
        return openSettingsWindow(nullptr);
    }

    testing::ShippedResources m_shipped;
    testing::RecordMessages m_messages;
    int questions = 0;
    bool stayedOpen = false;
    std::function<void(QFileDialog&)> folderAnswer;
};

TEST(FrameLimit, ReadsTheLeadingNumberAtLeastOneAndNeverWraps) {
    EXPECT_EQ(frameLimitFromText("0"), 1);
    EXPECT_EQ(frameLimitFromText("-5"), 1);
    EXPECT_EQ(frameLimitFromText("abc"), 1);
    EXPECT_EQ(frameLimitFromText(""), 1);
    EXPECT_EQ(frameLimitFromText("120abc"), 120);
    EXPECT_EQ(frameLimitFromText("  75"), 75);
    EXPECT_EQ(frameLimitFromText("2147483647"), INT_MAX);
    EXPECT_EQ(frameLimitFromText("2147483648"), INT_MAX);
    EXPECT_EQ(frameLimitFromText("99999999999999999999"), INT_MAX);
}

TEST_F(SettingsWindowTest, ShowsTheStoredValuesOrTheirDefaults) {
    std::string album, frames, title;
    run([&](SettingsWindow& window) {
        album = window.albumField()->text();
        frames = window.frameField()->text();
        title = window.platformWindow()->windowTitle().toStdString();
        testing::saveScreenshot(window, "settings_window");
        click(window, kSettingsCancel);
    });
    EXPECT_EQ(album, "/pages");
    EXPECT_EQ(frames, "50");
    EXPECT_EQ(title, "Settings");

    settings().set("album_dir", m_shipped.scratch.path);
    settings().set("max_frame", "80");
    run([&](SettingsWindow& window) {
        album = window.albumField()->text();
        frames = window.frameField()->text();
        click(window, kSettingsCancel);
    });
    EXPECT_EQ(album, m_shipped.scratch.path);
    EXPECT_EQ(frames, "80");
}

TEST_F(SettingsWindowTest, FrameLimitsAreStoredAsTheirNumberAtLeastOne) {
    struct Case {
        const char* typed;
        const char* stored;
    };
    for (Case c : {Case{"0", "1"}, Case{"-5", "1"}, Case{"abc", "1"}, Case{"120abc", "120"},
                   Case{"123456789012", "2147483647"}}) {
        int result = run([&](SettingsWindow& window) {
            typeInto(window.albumField(), m_shipped.scratch.path);
            typeInto(window.frameField(), c.typed);
            click(window, kSettingsConfirm);
        });
        EXPECT_EQ(result, 1) << c.typed;
        EXPECT_EQ(settings().find("max_frame", ""), c.stored) << c.typed;
        EXPECT_NE(readFile(m_shipped.settingsPath()).find(std::string("max_frame=") + c.stored + "\n"),
                  std::string::npos)
            << "written at once: " << c.typed;
    }
    EXPECT_EQ(questions, 0) << "an existing folder needs no question";
}

// The adaptive key frames box shows the stored choice; a click turns it over,
// OK stores it (and writes the file at once), Cancel leaves it as it was.
TEST_F(SettingsWindowTest, TheAdaptiveKeyFramesBoxFollowsClicksAndIsStoredOnlyOnConfirm) {
    bool shown = true;
    run([&](SettingsWindow& window) {
        ASSERT_NE(window.adaptiveKeysBox(), nullptr);
        shown = window.adaptiveKeysBox()->isChecked();
        typeInto(window.albumField(), m_shipped.scratch.path);
        click(window, kSettingsAdaptiveKeys);
        EXPECT_TRUE(window.adaptiveKeysBox()->isChecked());
        click(window, kSettingsConfirm);
    });
    EXPECT_FALSE(shown) << "off unless chosen";
    EXPECT_EQ(settings().find("adaptive_keys", ""), "1");
    EXPECT_NE(readFile(m_shipped.settingsPath()).find("adaptive_keys=1\n"), std::string::npos);

    run([&](SettingsWindow& window) {
        shown = window.adaptiveKeysBox()->isChecked();
        click(window, kSettingsAdaptiveKeys);
        click(window, kSettingsAdaptiveKeys);
        click(window, kSettingsAdaptiveKeys);
        EXPECT_FALSE(window.adaptiveKeysBox()->isChecked());
        click(window, kSettingsCancel);
    });
    EXPECT_TRUE(shown) << "the stored choice is shown";
    EXPECT_EQ(settings().find("adaptive_keys", ""), "1") << "cancel keeps it";

    run([&](SettingsWindow& window) {
        click(window, kSettingsAdaptiveKeys);
        click(window, kSettingsConfirm);
    });
    EXPECT_EQ(settings().find("adaptive_keys", ""), "0");
}

TEST_F(SettingsWindowTest, ANewFolderTwoLevelsDownIsCreatedAfterOneQuestion) {
    std::string album = m_shipped.scratch.path + "/new/pages";
    std::string asked;
    int result = run(
        [&](SettingsWindow& window) {
            typeInto(window.albumField(), album);
            typeInto(window.frameField(), "40");
            click(window, kSettingsConfirm);
        },
        [&](const std::string& text) {
            asked = text;
            return 0;  // "Create"
        });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(asked, "The album folder does not exist. Create it now?");
    EXPECT_TRUE(isDirectory(album));
    std::string onDisk = readFile(m_shipped.settingsPath());
    EXPECT_NE(onDisk.find("album_dir=" + album + "\n"), std::string::npos) << onDisk;
    EXPECT_NE(onDisk.find("max_frame=40\n"), std::string::npos) << onDisk;
}

TEST_F(SettingsWindowTest, RefusingTheFolderKeepsTheWindowOpenAndStoresNothing) {
    std::string album = m_shipped.scratch.path + "/refused";
    run(
        [&](SettingsWindow& window) {
            typeInto(window.albumField(), album);
            click(window, kSettingsConfirm);
        },
        [](const std::string&) { return 1; });  // "Cancel"
    EXPECT_TRUE(stayedOpen);
    EXPECT_FALSE(fileExists(album));
    EXPECT_FALSE(settings().contains("album_dir"));
    EXPECT_FALSE(fileExists(m_shipped.settingsPath()));
}

TEST_F(SettingsWindowTest, AnEmptyOrUncreatableFolderIsReportedAndTheWindowStays) {
    run([&](SettingsWindow& window) {
        typeInto(window.albumField(), "");
        click(window, kSettingsConfirm);
    });
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(m_messages.messages().size(), 1u);
    EXPECT_EQ(m_messages.messages()[0], "The album folder does not exist.");

    // A folder below an ordinary file cannot be made.
    std::ofstream(m_shipped.scratch.path + "/file.txt") << "x";
    std::string album = m_shipped.scratch.path + "/file.txt/pages";
    stayedOpen = false;
    m_messages.clear();
    run(
        [&](SettingsWindow& window) {
            typeInto(window.albumField(), album);
            click(window, kSettingsConfirm);
        },
        [](const std::string&) { return 0; });
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(m_messages.messages().size(), 1u);
    EXPECT_EQ(m_messages.messages()[0], "The album folder \"" + album + "\" could not be created.");
    EXPECT_FALSE(settings().contains("album_dir"));
}

TEST_F(SettingsWindowTest, AnExistingFileIsAcceptedAsItStands) {
    std::string file = m_shipped.scratch.path + "/album.txt";
    std::ofstream(file) << "x";
    int result = run([&](SettingsWindow& window) {
        typeInto(window.albumField(), file);
        click(window, kSettingsConfirm);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(questions, 0);
    EXPECT_EQ(settings().find("album_dir", ""), file);
}

TEST_F(SettingsWindowTest, CancellingAfterBrowsingLeavesTheAlbumUnchanged) {
    settings().set("album_dir", "/old/album");
    std::string chosen = m_shipped.scratch.path;
    std::string shown;
    folderAnswer = [&](QFileDialog& dialog) {
        dialog.setDirectory(QString::fromStdString(chosen));
        dialog.selectFile(QString::fromStdString(chosen));
        static_cast<QDialog&>(dialog).accept();
    };
    int result = run([&](SettingsWindow& window) {
        click(window, kSettingsBrowse);
        shown = window.albumField()->text();
        click(window, kSettingsCancel);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(shown, chosen);
    EXPECT_EQ(settings().find("album_dir", ""), "/old/album");
    EXPECT_FALSE(fileExists(m_shipped.settingsPath()));
}

TEST_F(SettingsWindowTest, ClosingTheWindowGivesMinusOneAndStoresNothing) {
    int result = run([&](SettingsWindow& window) {
        typeInto(window.frameField(), "9");
        window.platformWindow()->close();
    });
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(settings().contains("max_frame"));
}

}  // namespace
}  // namespace veltro
