// A clip from still pictures, the way a person makes one: the main window's
// frame-list command proposes the next free list name, the thumbnail browser
// is pointed at a folder of photos made by ImageMagick (JPEG and PNG, one of
// them damaged) through its folder chooser, a Shift range is chosen, the list
// is saved and the new document plays the pictures as its frames.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/base/app_state.h"
#include "app/base/app_test_support.h"
#include "app/framelist/frame_list_dialog.h"
#include "app/framelist/image_browser.h"
#include "app/shell/document_flows.h"
#include "app/shell/main_window.h"
#include "app/edit/edit_window.h"
#include "app/publish/album_window.h"
#include "app/publish/save_window.h"
#include "publish/page_flow.h"
#include "document/document.h"
#include "encode/frame_list_file.h"
#include "image/file_utils.h"
#include "image/image_test_support.h"
#include "movie/standard_movie_formats.h"
#include "services/settings.h"
#include "ui/native_control.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

using testing::Answer;

void pressButton(Window& window, int id) {
    Widget* button = window.widgetById(id);
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button->nativeHandle() ? button->nativeHandle() : window.platformWindow(), Qt::LeftButton, {},
                      button->nativeHandle() ? QPoint() : QPoint(button->x() + button->width() / 2,
                                                                 button->y() + button->height() / 2));
}

void clickItem(ImageBrowser& browser, int index, Qt::KeyboardModifiers modifiers = {}) {
    ASSERT_TRUE(browser.model().isVisible(index)) << index;
    const int offset = index - browser.model().firstRow() * kBrowserColumns;
    QTest::mouseClick(browser.platformWindow(), Qt::LeftButton, modifiers,
                      QPoint(offset % kBrowserColumns * kBrowserCell + 50,
                             kBrowserGridTop + offset / kBrowserColumns * kBrowserCell + 50));
}

// Near white, allowing for JPEG's losses.
bool isWhite(uint32_t pixel) {
    return ((pixel >> 16) & 0xFF) > 230 && ((pixel >> 8) & 0xFF) > 230 && (pixel & 0xFF) > 230;
}

class FrameListJourneyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testing::app();
        registerStandardMovieFormats();
    }
    void SetUp() override {
        setWorkDirectory(m_shipped.scratch.path + "/tmp");
        makeDirectories(workDirectory());
        settings().set("album_dir", m_shipped.scratch.path + "/pages");
        photos = m_shipped.scratch.path + "/turntable photos";
        makeDirectories(photos);
        // Six photos of a box turning, 640 x 480: JPEG and PNG in turn.
        for (int i = 0; i < 6; ++i) {
            const std::string name = photos + "/turn " + std::to_string(i) + (i % 2 ? ".png" : ".jpg");
            const std::string command = "convert -size 640x480 xc:'rgb(" + std::to_string(40 * i) +
                                        ",120,200)' -fill white -draw 'rectangle " + std::to_string(100 + 60 * i) +
                                        ",150 " + std::to_string(220 + 60 * i) + ",330' '" + name + "'";
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
        }
        // One photo cut short in the middle of the run.
        std::vector<uint8_t> bytes = testing::readBytes(photos + "/turn 2.jpg");
        bytes.resize(bytes.size() / 3);
        ASSERT_TRUE(testing::writeBytes(photos + "/turn 2b.jpg", bytes));
    }
    void TearDown() override {
        setWorkDirectory("");
        testing::settle();
    }

    testing::ShippedResources m_shipped;
    testing::RecordMessages m_messages;
    std::string photos;
};

TEST_F(FrameListJourneyTest, PhotosBecomeAClipThroughTheBrowserAndTheList) {
    // vn0.txt is taken, so the dialog proposes vn1.txt.
    std::ofstream(workDirectory() + "/vn0.txt") << "an older list\n";
    std::string proposed, folderStart;
    std::vector<std::string> unreadableShown;
    Answer answer([&](ShownDialog& shown) {
        if (shown.kind == DialogKind::Folder) {
            auto* chooser = static_cast<QFileDialog*>(shown.dialog);
            folderStart = chooser->directory().absolutePath().toStdString();
            chooser->setDirectory(QString::fromStdString(photos));
            chooser->selectFile(QString::fromStdString(photos));
            static_cast<QDialog*>(chooser)->accept();
            return;
        }
        if (shown.kind != DialogKind::ModalWindow)
            return;
        if (auto* browser = dynamic_cast<ImageBrowser*>(shown.window)) {
            pressButton(*browser, kBrowserFolderId);
            ASSERT_EQ(browser->model().directory(), photos);
            browser->finishThumbnails();
            // "..", then the seven pictures in name order.
            ASSERT_EQ(browser->model().count(), 8);
            EXPECT_EQ(browser->model().items()[3].name, "turn 2.jpg");
            EXPECT_EQ(browser->model().items()[4].name, "turn 2b.jpg");
            EXPECT_TRUE(browser->model().items()[4].unreadable());
            EXPECT_EQ(browser->model().items()[2].pictureWidth, 640);
            clickItem(*browser, 1);
            clickItem(*browser, 7, Qt::ShiftModifier);
            testing::saveScreenshot(*browser, "image_browser");
            pressButton(*browser, kBrowserOkId);
            return;
        }
        auto* dialog = dynamic_cast<FrameListDialog*>(shown.window);
        ASSERT_NE(dialog, nullptr);
        proposed = dialog->listPath();
        pressButton(*dialog, kListAdd);
        ASSERT_EQ(dialog->pictures().size(), 6u);
        // The last photo goes first: select it and move it to the top.
        dialog->selectRow(5);
        for (int i = 0; i < 5; ++i)
            pressButton(*dialog, kListUp);
        testing::saveScreenshot(*dialog, "frame_list_dialog");
        pressButton(*dialog, kListConfirm);
    });

    MainWindow main(programFlows());
    std::unique_ptr<Document> document = newDocumentFromFrameList(&main);
    EXPECT_EQ(proposed, workDirectory() + "/vn1.txt");
    ASSERT_EQ(m_messages.messages().size(), 1u);
    EXPECT_NE(m_messages.messages()[0].find("turn 2b.jpg"), std::string::npos);
    ASSERT_TRUE(document);

    const std::vector<std::string> listed = loadFrameListPaths(proposed);
    ASSERT_EQ(listed.size(), 6u);
    EXPECT_EQ(listed[0], photos + "/turn 5.png");
    EXPECT_EQ(listed[1], photos + "/turn 0.jpg");
    EXPECT_EQ(listed[5], photos + "/turn 4.jpg");

    // The document's clip is the list: six 640 x 480 frames in list order,
    // the white box moving right frame by frame (the first one last).
    MovieReader* movie = nullptr;
    for (const auto& entry : document->movieCache.entries())
        if (entry->movie)
            movie = entry->movie.get();
    ASSERT_NE(movie, nullptr);
    ASSERT_EQ(movie->frameCount, 6);
    const ImageBuffer* first = movie->frameAt(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->width, 640);
    EXPECT_EQ(first->height, 480);
    EXPECT_TRUE(isWhite(first->at(460, 240)));
    EXPECT_FALSE(isWhite(first->at(160, 240)));
    const ImageBuffer* second = movie->frameAt(1);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(isWhite(second->at(160, 240)));
    EXPECT_FALSE(isWhite(second->at(460, 240)));

    // On into the edit window: the clip of six photos shows there frame by
    // frame, and accepting it goes on towards publishing.
    bool edited = false;
    Answer editing([&](ShownDialog& shown) {
        auto* edit = dynamic_cast<EditWindow*>(shown.window);
        if (!edit)
            return;
        edited = true;
        // 640 x 480 opens at half size to fit 240 pixels high; the white box
        // of frame 0 sits right (x 400..520), that of frame 1 left (100..220).
        auto pictureAt = [&](int x, int y) {
            return edit->backBuffer()->toImage()->at(edit->pictureLeft() + x / 2, edit->pictureTop() + y / 2);
        };
        // A decoded neighbour may stand in for a moment after a step; wait
        // for the frame itself.
        auto showExactly = [&](int frame) {
            edit->showFrame(frame);
            for (int i = 0; i < 1000 && !edit->pictureIsExact(); ++i)
                QTest::qWait(10);
            ASSERT_TRUE(edit->pictureIsExact());
        };
        showExactly(0);
        EXPECT_TRUE(isWhite(pictureAt(460, 240)));
        EXPECT_FALSE(isWhite(pictureAt(160, 240)));
        showExactly(1);
        EXPECT_TRUE(isWhite(pictureAt(160, 240)));
        EXPECT_FALSE(isWhite(pictureAt(460, 240)));
        edit->showFrame(99);
        EXPECT_EQ(document->currentFrame, 5);
        testing::saveScreenshot(*edit, "frame_list_in_edit_window");
        edit->onCommand(kEditAccept);
    });
    EXPECT_EQ(runEditWindow(&main, *document), 1);
    EXPECT_TRUE(edited);

    // And on through the program's page flow: a path drawn over the photos in
    // the edit window, published from the save window, listed in the album.
    std::vector<std::string> road;
    std::string pageTitle;
    size_t albumPages = 0;
    Answer publishing([&](ShownDialog& shown) {
        if (shown.kind != DialogKind::ModalWindow)
            return;
        road.push_back(shown.text);
        if (auto* edit = dynamic_cast<EditWindow*>(shown.window)) {
            QTimer::singleShot(0, [edit] {
                QWidget* platform = edit->platformWindow();
                auto at = [&](int x, int y) { return QPoint(edit->pictureLeft() + x, edit->pictureTop() + y); };
                QTest::mouseMove(platform, at(40, 120));
                QTest::mousePress(platform, Qt::LeftButton, {}, at(40, 120));
                for (int x = 48; x <= 280; x += 8)
                    QTest::mouseMove(platform, at(x, 120));
                QTest::mouseRelease(platform, Qt::LeftButton, {}, at(280, 120));
                edit->onCommand(kEditAccept);
            });
        } else if (auto* save = dynamic_cast<SaveWindow*>(shown.window)) {
            QTimer::singleShot(0, [save] {
                static_cast<NativeControl*>(save->widgetById(kSaveTitle))->setText("Turntable");
                save->onCommand(kSaveTitle);
                save->onCommand(kSavePublish);
            });
        } else if (auto* album = dynamic_cast<AlbumWindow*>(shown.window)) {
            QTimer::singleShot(0, [&, album] {
                albumPages = album->entries().size();
                if (albumPages > 0)
                    pageTitle = album->entries()[0].title;
                album->onCommand(kAlbumMenu);
            });
        }
    });
    const std::string page = document->name;
    EXPECT_EQ(runDocumentFlow(&main, std::move(document)), 1);
    EXPECT_EQ(road, (std::vector<std::string>{"Edit", "Publish", "Album"}));
    EXPECT_EQ(albumPages, 1u);
    EXPECT_EQ(pageTitle, "Turntable");
    EXPECT_TRUE(fileExists(page + "/index.html"));
    EXPECT_TRUE(fileExists(page + "/veltro.txt"));
    EXPECT_TRUE(fileExists(page + "/v0.txt"));
}

TEST_F(FrameListJourneyTest, CancellingTheDialogMakesNoDocumentAndNoFile) {
    Answer answer([&](ShownDialog& shown) {
        if (auto* dialog = dynamic_cast<FrameListDialog*>(shown.window))
            pressButton(*dialog, kListCancel);
    });
    MainWindow main(programFlows());
    EXPECT_FALSE(newDocumentFromFrameList(&main));
    EXPECT_FALSE(fileExists(workDirectory() + "/vn0.txt"));
    EXPECT_TRUE(m_messages.messages().empty());
}

}  // namespace
}  // namespace veltro
