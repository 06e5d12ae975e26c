// Start-up and exit on the offscreen platform, in a program folder of the
// test's own: the first run writes "veltrolt.rc" with the album beside the
// program, the album default rules, the template thumbnails and the main
// window that the quit button closes.
#include "app/shell/startup.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/base/app_state.h"
#include "app/base/app_test_support.h"
#include "app/shell/main_window.h"
#include "image/file_utils.h"
#include "movie/movie_format.h"
#include "services/settings.h"
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

// A program folder: the shipped res, doc, template and samples linked in.
class ProgramFolder {
public:
    ProgramFolder() {
        for (const char* part : {"res", "doc", "template", "samples"})
            std::filesystem::create_directory_symlink(
                std::filesystem::absolute(testing::distDirectory() + "/" + part), dir.path + "/" + part);
    }
    testing::ScratchDir dir;
};

class StartupTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::app(); }
    void SetUp() override {
        m_previousSettings = setSettings(std::make_unique<Settings>());
        setQuitConfirmed(false);
    }
    void TearDown() override {
        setQuitConfirmed(false);
        setSettings(std::move(m_previousSettings));
        testing::settle();
    }

    // Starts the program in folder, lets test look at it, quits through the
    // quit button and its question, and writes the settings back.
    void runOnce(const std::string& folder, const std::function<void(MainWindow&)>& test) {
        int questions = 0;
        Answer answer([&](ShownDialog& dialog) {
            if (dialog.kind == DialogKind::Choice) {
                ++questions;
                dialog.window->onCommand(0);
            }
        });
        StartupOptions options;
        options.executableDirectory = folder;
        options.splashMilliseconds = 0;
        std::unique_ptr<MainWindow> main = startProgram(options);
        ASSERT_TRUE(main);
        EXPECT_EQ(currentMainWindow(), main.get());
        test(*main);
        if (main->exists()) {
            Widget* quit = main->widgetById(kCommandQuit);
            QTest::mouseClick(main->platformWindow(), Qt::LeftButton, {}, QPoint(quit->x() + 5, quit->y() + 5));
            EXPECT_EQ(questions, 1);
        }
        EXPECT_FALSE(main->exists());
        main.reset();
        finishProgram();
        EXPECT_EQ(currentMainWindow(), nullptr);
        setQuitConfirmed(false);
    }

private:
    std::unique_ptr<Settings> m_previousSettings;
};

TEST_F(StartupTest, AFirstRunWritesTheSettingsWithTheAlbumBesideTheProgram) {
    ProgramFolder program;
    const std::string& folder = program.dir.path;
    ASSERT_FALSE(fileExists(folder + "/veltrolt.rc"));
    runOnce(folder, [&](MainWindow& main) {
        EXPECT_TRUE(main.platformWindow()->isVisible());
        EXPECT_EQ(main.platformWindow()->windowTitle().toStdString(), "VELTRO Lite");
        EXPECT_EQ(executableDirectory(), folder);
        EXPECT_EQ(workDirectory(), folder + "/tmp");
        EXPECT_TRUE(isDirectory(folder + "/tmp"));
        EXPECT_EQ(sampleDirectory(), folder + "/samples");
        // Only the main window is a top-level window: the splash is gone.
        EXPECT_EQ(topLevelWindows().size(), 1u);
        // Every picture of the template folder has its thumbnail, in byte order.
        std::vector<std::string> pictures;
        for (const std::string& path : listDirectory(folder + "/template", "*.*"))
            if (!isDirectory(path))
                pictures.push_back(path);
        ASSERT_FALSE(pictures.empty());
        EXPECT_EQ(templateThumbnails().size(), pictures.size());
        for (size_t i = 1; i < templateThumbnails().size(); ++i)
            EXPECT_LT(templateThumbnails()[i - 1].path, templateThumbnails()[i].path);
        for (const TemplateThumbnail& entry : templateThumbnails())
            EXPECT_TRUE(entry.thumbnail) << entry.path;
        // The movie formats are registered for the first source.
        EXPECT_NE(nextMovieFormat("clip.avi", nullptr), nullptr);
        testing::saveScreenshot(main, "startup_main_window");
    });
    std::string onDisk = readFile(folder + "/veltrolt.rc");
    EXPECT_NE(onDisk.find("album_dir=" + folder + "/pages\n"), std::string::npos) << onDisk;
}

TEST_F(StartupTest, AnEmptyAlbumIsReplacedAndASetOneIsKeptEvenWhenMissing) {
    ProgramFolder program;
    const std::string& folder = program.dir.path;
    std::ofstream(folder + "/veltrolt.rc") << "max_frame=30\nalbum_dir=\n";
    runOnce(folder, [](MainWindow&) {});
    std::string onDisk = readFile(folder + "/veltrolt.rc");
    EXPECT_NE(onDisk.find("album_dir=" + folder + "/pages\n"), std::string::npos) << onDisk;
    EXPECT_NE(onDisk.find("max_frame=30\n"), std::string::npos) << onDisk;

    std::ofstream(folder + "/veltrolt.rc") << "album_dir=/no/such/album\n";
    runOnce(folder, [](MainWindow&) {});
    EXPECT_NE(readFile(folder + "/veltrolt.rc").find("album_dir=/no/such/album\n"), std::string::npos);
}

TEST_F(StartupTest, OnlyClosingTheMainWindowEndsTheLoop) {
    ProgramFolder program;
    runOnce(program.dir.path, [](MainWindow& main) {
        // A dialog's quit key stops the loop; the program's loop goes on.
        bool stillRunning = false;
        QTimer::singleShot(0, main.platformWindow(), [] { quitEventLoop(); });
        QTimer::singleShot(300, main.platformWindow(), [&] {
            stillRunning = eventLoopRunning();
            main.destroy();
        });
        runMainLoop(main);
        EXPECT_TRUE(stillRunning);
        EXPECT_FALSE(main.exists());
    });
}

TEST_F(StartupTest, AFolderWithoutTemplatesOrSamplesStillStarts) {
    testing::ScratchDir folder;
    std::filesystem::create_directory_symlink(std::filesystem::absolute(testing::distDirectory() + "/res"),
                                              folder.path + "/res");
    runOnce(folder.path, [](MainWindow&) {
        EXPECT_TRUE(templateThumbnails().empty());
        EXPECT_TRUE(sampleDirectory().empty());
    });
    EXPECT_TRUE(fileExists(folder.path + "/veltrolt.rc"));
}

}  // namespace
}  // namespace veltro
