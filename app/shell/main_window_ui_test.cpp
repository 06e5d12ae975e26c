// The main window on the offscreen platform: every command, the open-file
// journey with the sample clip and with a picture, hiding during a flow,
// the quit chain from inside a flow, and the keys it ignores.
#include "app/shell/main_window.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/base/app_state.h"
#include "app/base/app_test_support.h"
#include "app/edit/edit_window.h"
#include "app/publish/album_window.h"
#include "app/shell/document_flows.h"
#include "app/shell/sample_clip.h"
#include "document/document.h"
#include "image/file_utils.h"
#include "image/image_format.h"
#include "movie/capture_device.h"
#include "movie/movie_format.h"
#include "movie/standard_movie_formats.h"
#include "publish/page_flow.h"
#include "services/settings.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

using testing::Answer;

// Splits a double-NUL list into its parts.
std::vector<std::string> listParts(const std::string& list) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at < list.size()) {
        size_t end = list.find('\0', at);
        if (end == at || end == std::string::npos)
            break;
        parts.push_back(list.substr(at, end - at));
        at = end + 1;
    }
    return parts;
}

void pressButton(Window& window, int id) {
    Widget* button = window.widgetById(id);
    ASSERT_NE(button, nullptr) << id;
    QPoint centre(button->x() + button->width() / 2, button->y() + button->height() / 2);
    QTest::mouseClick(window.platformWindow(), Qt::LeftButton, {}, centre);
}

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testing::app();
        registerStandardMovieFormats();
    }
    void SetUp() override {
        setWorkDirectory(m_shipped.scratch.path + "/tmp");
        makeDirectories(workDirectory());
        setSampleDirectory(testing::distDirectory() + "/samples");
        settings().set("album_dir", m_shipped.scratch.path + "/pages");
    }
    void TearDown() override {
        setSampleDirectory("");
        setWorkDirectory("");
        testing::settle();
    }

    // Flows that record what reaches them; sources answer from the real
    // functions unless replaced.
    MainWindowFlows recordingFlows() {
        MainWindowFlows flows = programFlows();
        flows.pageFlow = [this](Window* main, std::unique_ptr<Document> document) {
            ++flowRuns;
            hiddenDuringFlow = !main->platformWindow()->isVisible();
            flowDocument = std::move(document);
            return 1;
        };
        return flows;
    }

    testing::ShippedResources m_shipped;
    testing::RecordMessages m_messages;
    int flowRuns = 0;
    bool hiddenDuringFlow = false;
    std::unique_ptr<Document> flowDocument;
};

TEST_F(MainWindowTest, ShowsItsLayoutWithEveryCommandButton) {
    MainWindow main(recordingFlows());
    main.show(true);
    EXPECT_EQ(main.platformWindow()->windowTitle().toStdString(), "VELTRO Lite");
    EXPECT_EQ(main.platformWindow()->width(), 720);
    EXPECT_EQ(main.platformWindow()->height(), 540);
    for (int id = 0; id <= 8; ++id)
        EXPECT_NE(main.widgetById(id), nullptr) << id;
    EXPECT_EQ(main.helpPage(), "index.html");
    testing::saveScreenshot(main, "main_window");
    EXPECT_TRUE(m_messages.messages().empty());
}

TEST_F(MainWindowTest, TheFilterOffersEveryMovieAndPictureFormat) {
    std::vector<std::string> parts = listParts(sourceFileFilter());
    ASSERT_GE(parts.size(), 4u);
    EXPECT_EQ(parts[0], "All Clips and Pictures");
    for (const char* pattern : {"*.avi", "*.mov", "*.txt", "*.mpg", "*.png", "*.jpg"})
        EXPECT_NE(parts[1].find(pattern), std::string::npos) << pattern;
    // Every format keeps its own entry too.
    size_t movieEntries = (listParts(movieFilter()).size() - 2) / 2;
    size_t imageEntries = (listParts(imageFilter()).size() - 2) / 2;
    EXPECT_EQ(parts.size(), 2 + 2 * (movieEntries + imageEntries));
}

TEST_F(MainWindowTest, OpeningTheSampleClipStartsInItsFolderAndMakesADocument) {
    std::string startedIn;
    Answer answer([&](ShownDialog& dialog) {
        if (dialog.kind != DialogKind::OpenFile)
            return;
        auto* chooser = static_cast<QFileDialog*>(dialog.dialog);
        startedIn = chooser->directory().absolutePath().toStdString();
        chooser->selectFile(QString::fromStdString(sampleDirectory() + "/" + kSampleFileName));
        static_cast<QDialog*>(chooser)->accept();
    });
    MainWindow main(recordingFlows());
    main.show(true);
    pressButton(main, kCommandNewFromFile);
    EXPECT_EQ(startedIn, std::filesystem::canonical(sampleDirectory()).string());
    ASSERT_EQ(flowRuns, 1);
    EXPECT_TRUE(hiddenDuringFlow);
    EXPECT_TRUE(main.platformWindow()->isVisible()) << "shown again after the flow";
    ASSERT_TRUE(flowDocument);
    EXPECT_EQ(flowDocument->objects.size(), 1u);
    EXPECT_EQ(flowDocument->name, m_shipped.scratch.path + "/pages/new0");
    EXPECT_TRUE(m_messages.messages().empty()) << m_messages.messages().front();

    // The next time the dialog starts where the last source was.
    EXPECT_EQ(sourceStartDirectory(), sampleDirectory());
    settings().set("tmp_dir", m_shipped.scratch.path);
    EXPECT_EQ(sourceStartDirectory(), m_shipped.scratch.path);
}

TEST_F(MainWindowTest, APictureBecomesAOneFrameClip) {
    std::string picture = m_shipped.scratch.path + "/still.png";
    ImageBuffer image(64, 48);
    ASSERT_TRUE(findImageFormat(picture)->save(picture, image));
    Answer answer([&](ShownDialog& dialog) {
        if (dialog.kind != DialogKind::OpenFile)
            return;
        auto* chooser = static_cast<QFileDialog*>(dialog.dialog);
        chooser->selectFile(QString::fromStdString(picture));
        static_cast<QDialog*>(chooser)->accept();
    });
    MainWindow main(recordingFlows());
    main.onCommand(kCommandNewFromFile);
    ASSERT_TRUE(flowDocument) << (m_messages.messages().empty() ? "" : m_messages.messages().front());
    int frames = 0;
    for (const auto& entry : flowDocument->movieCache.entries())
        if (entry->movie)
            frames = entry->movie->frameCount;
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(settings().find("tmp_dir", ""), m_shipped.scratch.path);
}

TEST_F(MainWindowTest, CancellingOrAnUnreadableFileRunsNoFlow) {
    std::string broken = m_shipped.scratch.path + "/broken.avi";
    std::ofstream(broken) << "not a movie";
    bool pickBroken = false;
    Answer answer([&](ShownDialog& dialog) {
        if (dialog.kind != DialogKind::OpenFile)
            return;
        auto* chooser = static_cast<QFileDialog*>(dialog.dialog);
        if (pickBroken) {
            chooser->selectFile(QString::fromStdString(broken));
            static_cast<QDialog*>(chooser)->accept();
        }
    });
    MainWindow main(recordingFlows());
    main.show(true);
    main.onCommand(kCommandNewFromFile);
    EXPECT_EQ(flowRuns, 0);
    EXPECT_TRUE(m_messages.messages().empty());
    pickBroken = true;
    main.onCommand(kCommandNewFromFile);
    EXPECT_EQ(flowRuns, 0);
    // The user hears which file failed (the media cache and the document
    // flow each say so today).
    ASSERT_FALSE(m_messages.messages().empty());
    for (const std::string& m : m_messages.messages())
        EXPECT_NE(m.find(broken), std::string::npos) << m;
    EXPECT_TRUE(main.platformWindow()->isVisible());
}

TEST_F(MainWindowTest, TheCameraWithoutADeviceMakesNoDocumentAndTheAlbumRunsTheFlowWithoutADocument) {
    CaptureDeviceLister previous = setCaptureDeviceLister([] { return std::vector<CaptureDeviceInfo>{}; });
    Answer closeCapture([](ShownDialog& dialog) {
        if (dialog.kind == DialogKind::ModalWindow && dialog.text == "Capture")
            QTimer::singleShot(0, [window = dialog.window] { window->platformWindow()->close(); });
    });
    MainWindow main(recordingFlows());
    main.show(true);
    pressButton(main, kCommandNewFromCamera);
    setCaptureDeviceLister(std::move(previous));
    EXPECT_EQ(flowRuns, 0);
    ASSERT_EQ(m_messages.messages().size(), 1u);
    EXPECT_EQ(m_messages.messages()[0], "Error: No driver");
    pressButton(main, kCommandAlbum);
    EXPECT_EQ(flowRuns, 1);
    EXPECT_FALSE(flowDocument);
    EXPECT_TRUE(hiddenDuringFlow);
}

TEST_F(MainWindowTest, ThePageFlowOpensTheAlbumOrTheEditWindow) {
    std::string album = m_shipped.scratch.path + "/pages";
    for (const char* page : {"one", "two"}) {
        makeDirectories(album + "/" + page);
        std::ofstream(album + "/" + page + "/veltro.txt") << "x";
    }
    std::vector<std::string> shown;
    size_t listed = 0;
    Answer answer([&](ShownDialog& dialog) {
        if (dialog.kind != DialogKind::ModalWindow)
            return;
        shown.push_back(dialog.text);
        if (auto* albumWindow = dynamic_cast<AlbumWindow*>(dialog.window)) {
            listed = albumWindow->entries().size();
            dialog.window->onCommand(kAlbumMenu);
        } else if (dialog.text == "Edit") {
            dialog.window->onCommand(kEditDiscard);
        }
    });
    MainWindow main;  // the program's own flows
    EXPECT_EQ(runDocumentFlow(&main, nullptr), 1);
    EXPECT_EQ(listed, 2u);

    std::unique_ptr<Document> document = newDocumentFromSource(sampleDirectory() + "/" + kSampleFileName);
    ASSERT_TRUE(document);
    EXPECT_EQ(runDocumentFlow(&main, std::move(document)), 1);
    EXPECT_EQ(shown, (std::vector<std::string>{"Album", "Edit"}));
    EXPECT_TRUE(m_messages.messages().empty());
}

TEST_F(MainWindowTest, SettingsOpenOverTheMainWindow) {
    std::string title;
    Answer answer([&](ShownDialog& dialog) {
        if (dialog.kind == DialogKind::ModalWindow) {
            title = dialog.window->platformWindow()->windowTitle().toStdString();
            EXPECT_EQ(dialog.window->owner(), currentMainWindow());
            dialog.window->onCommand(4);  // cancel
        }
    });
    MainWindow main;
    setCurrentMainWindow(&main);
    main.show(true);
    pressButton(main, kCommandSettings);
    setCurrentMainWindow(nullptr);
    EXPECT_EQ(title, "Settings");
}

TEST_F(MainWindowTest, QuittingInsideAFlowClosesTheMainWindowAfterOneQuestion) {
    int questions = 0;
    Answer answer([&](ShownDialog& dialog) {
        if (dialog.kind == DialogKind::Choice) {
            ++questions;
            dialog.window->onCommand(0);  // "Quit"
        } else if (dialog.kind == DialogKind::ModalWindow) {
            pressButton(*dialog.window, kCommandQuit);
        }
    });
    MainWindowFlows flows = recordingFlows();
    int editResult = 0;
    flows.pageFlow = [&](Window* main, std::unique_ptr<Document>) {
        AppWindow edit(main, 0, 0, 100, 100);
        editResult = edit.runModal();
        return 0;
    };
    MainWindow main(flows);
    main.show(true);
    main.onCommand(kCommandAlbum);
    EXPECT_EQ(editResult, -1);
    EXPECT_FALSE(main.exists());
    EXPECT_EQ(questions, 1);
    // The destruction's own close notification changes nothing.
    main.onClose();
    EXPECT_EQ(questions, 1);
}

TEST_F(MainWindowTest, TheQuitButtonAsksAndStayingKeepsTheWindow) {
    int answerIndex = 1;
    int questions = 0;
    Answer answer([&](ShownDialog& dialog) {
        if (dialog.kind == DialogKind::Choice) {
            ++questions;
            dialog.window->onCommand(answerIndex);
        }
    });
    MainWindow main(recordingFlows());
    main.show(true);
    pressButton(main, kCommandQuit);
    EXPECT_TRUE(main.exists());
    EXPECT_FALSE(quitConfirmed());
    // Keys, the quit key included, are ignored by the main window.
    QTest::keyClick(main.platformWindow(), 'q');
    EXPECT_TRUE(main.exists());
    answerIndex = 0;
    pressButton(main, kCommandQuit);
    EXPECT_FALSE(main.exists());
    EXPECT_EQ(questions, 2);
}

}  // namespace
}  // namespace veltro
