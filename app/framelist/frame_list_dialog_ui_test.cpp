// The frame-list dialog and the thumbnail browser on the offscreen platform,
// driven through their buttons and the pointer: reopening a list with spaces,
// the order commands at the ends, dropped files, the browser's Shift and
// double-click choices, and saving (a list that cannot be saved keeps the
// dialog open with the reason).
#include "app/framelist/frame_list_dialog.h"

#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <functional>

#include "app/base/app_state.h"
#include "app/base/app_test_support.h"
#include "app/framelist/image_browser.h"
#include "encode/frame_list_file.h"
#include "image/file_utils.h"
#include "image/image_test_support.h"
#include "image/jpeg_format.h"
#include "image/png_format.h"
#include "ui/native_control.h"
#include "ui/slider.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

using testing::Answer;

void pressButton(Window& window, int id) {
    Widget* button = window.widgetById(id);
    ASSERT_NE(button, nullptr) << id;
    ASSERT_TRUE(button->isEnabled()) << id;
    QTest::mouseClick(button->nativeHandle(), Qt::LeftButton);
}

// A press on the browser's cell of item index (which must be visible).
void clickItem(ImageBrowser& browser, int index, Qt::KeyboardModifiers modifiers = {}) {
    const int offset = index - browser.model().firstRow() * kBrowserColumns;
    ASSERT_TRUE(browser.model().isVisible(index)) << index;
    QPoint at(offset % kBrowserColumns * kBrowserCell + 50, kBrowserGridTop + offset / kBrowserColumns * kBrowserCell + 50);
    QTest::mouseClick(browser.platformWindow(), Qt::LeftButton, modifiers, at);
}

class FrameListDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::app(); }
    void SetUp() override {
        folder = m_shipped.scratch.path + "/my photos";
        std::filesystem::create_directories(folder + "/sub folder");
        PngFormat png;
        for (int i = 0; i < 4; ++i) {
            ImageBuffer image(160 + 40 * i, 120);
            for (uint32_t& p : image.pixels)
                p = 0xFF000000u | uint32_t(60 * i) << 16;
            pictures.push_back(folder + "/shot " + std::to_string(i) + ".png");
            ASSERT_TRUE(png.save(pictures.back(), image));
        }
        setWorkDirectory(m_shipped.scratch.path);
    }
    void TearDown() override { testing::settle(); }

    // Runs the dialog on listPath; script runs in it once it is shown, and
    // browserScript in each browser it opens.
    std::optional<std::string> run(const std::string& listPath, std::function<void(FrameListDialog&)> script) {
        Answer answer([&](ShownDialog& shown) {
            if (shown.kind != DialogKind::ModalWindow)
                return;
            if (auto* browser = dynamic_cast<ImageBrowser*>(shown.window)) {
                ++browsersShown;
                browserTitle = shown.text;
                browserScript(*browser);
                if (browser->isModalRunning())
                    browser->endModal(0);
                return;
            }
            auto* dialog = dynamic_cast<FrameListDialog*>(shown.window);
            ASSERT_NE(dialog, nullptr);
            script(*dialog);
            if (dialog->isModalRunning()) {
                stayedOpen = true;
                dialog->endModal(0);
            }
        });
        return runFrameListDialog(nullptr, listPath);
    }
    std::vector<std::string> rows(FrameListDialog& dialog) {
        auto* list = dynamic_cast<ListBox*>(dialog.widgetById(kListBox));
        std::vector<std::string> texts;
        for (int i = 0; list && i < list->itemCount(); ++i)
            texts.push_back(list->itemText(i));
        return texts;
    }
    static std::vector<std::string> rowsOf(const std::vector<std::string>& paths) {
        std::vector<std::string> texts;
        for (const std::string& path : paths)
            texts.push_back(FrameListDialog::rowText(path));
        return texts;
    }

    testing::ShippedResources m_shipped;
    testing::RecordMessages m_messages;
    std::string folder;
    std::vector<std::string> pictures;
    std::function<void(ImageBrowser&)> browserScript = [](ImageBrowser&) {};
    int browsersShown = 0;
    std::string browserTitle;
    bool stayedOpen = false;
};

TEST_F(FrameListDialogTest, ReopensAListWithSpacesWholeAndSavesItBackUnchanged) {
    const std::string list = m_shipped.scratch.path + "/list with spaces.txt";
    ASSERT_TRUE(saveFrameList(list, {pictures[2], pictures[0], pictures[3]}));
    const std::string before = [&] { std::string t; readWholeFile(list, 1 << 16, t); return t; }();
    std::optional<std::string> saved = run(list, [&](FrameListDialog& dialog) {
        EXPECT_EQ(dialog.pictures(), (std::vector<std::string>{pictures[2], pictures[0], pictures[3]}));
        EXPECT_EQ(rows(dialog), rowsOf(dialog.pictures()));
        EXPECT_EQ(dialog.selectedRow(), 0);
        EXPECT_EQ(rows(dialog)[0], "shot 2.png   (" + folder + ")");
        pressButton(dialog, kListConfirm);
    });
    ASSERT_TRUE(saved);
    EXPECT_EQ(*saved, list);
    std::string after;
    ASSERT_TRUE(readWholeFile(list, 1 << 16, after));
    EXPECT_EQ(after, before);
    EXPECT_FALSE(stayedOpen);
}

TEST_F(FrameListDialogTest, UpAndDownStopAtTheEndsAndRemoveKeepsTheIndex) {
    std::optional<std::string> saved = run(m_shipped.scratch.path + "/vn0.txt", [&](FrameListDialog& dialog) {
        EXPECT_TRUE(dialog.pictures().empty());
        EXPECT_FALSE(dialog.widgetById(kListConfirm)->isEnabled());
        EXPECT_FALSE(dialog.widgetById(kListRemove)->isEnabled());
        dialog.insertPictures({pictures[0], pictures[1], pictures[2]});
        EXPECT_EQ(dialog.selectedRow(), 2);
        EXPECT_FALSE(dialog.widgetById(kListDown)->isEnabled());
        dialog.moveSelected(1);  // down on the last row does nothing
        EXPECT_EQ(dialog.pictures(), (std::vector<std::string>{pictures[0], pictures[1], pictures[2]}));
        pressButton(dialog, kListUp);
        pressButton(dialog, kListUp);
        EXPECT_EQ(dialog.selectedRow(), 0);
        EXPECT_FALSE(dialog.widgetById(kListUp)->isEnabled());
        dialog.moveSelected(-1);  // up on the first row does nothing
        EXPECT_EQ(dialog.pictures(), (std::vector<std::string>{pictures[2], pictures[0], pictures[1]}));
        EXPECT_EQ(rows(dialog), rowsOf(dialog.pictures()));
        pressButton(dialog, kListDown);
        EXPECT_EQ(dialog.pictures(), (std::vector<std::string>{pictures[0], pictures[2], pictures[1]}));
        EXPECT_EQ(dialog.selectedRow(), 1);
        // Inserted after the selection, the last inserted selected.
        dialog.insertPictures({pictures[3]});
        EXPECT_EQ(dialog.pictures()[2], pictures[3]);
        EXPECT_EQ(dialog.selectedRow(), 2);
        pressButton(dialog, kListRemove);
        EXPECT_EQ(dialog.selectedRow(), 2);
        EXPECT_EQ(dialog.pictures(), (std::vector<std::string>{pictures[0], pictures[2], pictures[1]}));
        EXPECT_EQ(rows(dialog), rowsOf(dialog.pictures()));
        pressButton(dialog, kListRemove);
        EXPECT_EQ(dialog.selectedRow(), 1);
        pressButton(dialog, kListCancel);
    });
    EXPECT_FALSE(saved);
    EXPECT_FALSE(fileExists(m_shipped.scratch.path + "/vn0.txt"));
}

TEST_F(FrameListDialogTest, DroppedPicturesAreInsertedAndOtherFilesIgnored) {
    run(m_shipped.scratch.path + "/vn0.txt", [&](FrameListDialog& dialog) {
        dialog.onDropFile(pictures[1], 10, 10);
        dialog.onDropFile(folder + "/sub folder", 10, 10);
        dialog.onDropFile(m_shipped.settingsPath(), 10, 10);
        dialog.onDropFile(pictures[3], 10, 10);
        EXPECT_EQ(dialog.pictures(), (std::vector<std::string>{pictures[1], pictures[3]}));
        EXPECT_EQ(dialog.selectedRow(), 1);
        // The preview shows the selected picture (dark red) inside its area.
        const ImagePtr shot = dialog.backBuffer()->toImage();
        const uint32_t centre = shot->at(dialog.previewX() + dialog.previewWidth() / 2,
                                         dialog.previewY() + dialog.previewHeight() / 2);
        EXPECT_EQ(centre & 0xFFFFFFu, 0xB40000u);
        pressButton(dialog, kListCancel);
    });
}

TEST_F(FrameListDialogTest, AListThatCannotBeSavedKeepsTheDialogOpenWithTheReason) {
    const std::string unwritable = m_shipped.scratch.path + "/no such folder/vn0.txt";
    run(unwritable, [&](FrameListDialog& dialog) {
        dialog.insertPictures({pictures[0]});
        pressButton(dialog, kListConfirm);
        EXPECT_TRUE(dialog.isModalRunning());
        // A first picture that no longer loads is refused too.
        auto* name = dynamic_cast<EditField*>(dialog.widgetById(kListNameField));
        name->setText(m_shipped.scratch.path + "/vn1.txt");
        std::filesystem::remove(pictures[0]);
        pressButton(dialog, kListConfirm);
        EXPECT_TRUE(dialog.isModalRunning());
    });
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(m_messages.messages().size(), 2u);
    EXPECT_NE(m_messages.messages()[0].find("could not be created"), std::string::npos);
    EXPECT_NE(m_messages.messages()[1].find("could not be read"), std::string::npos);
    EXPECT_EQ(m_messages.messages()[1].find(resources().text("e_save_file")), 0u);
    EXPECT_FALSE(fileExists(m_shipped.scratch.path + "/vn1.txt"));
}

TEST_F(FrameListDialogTest, TheBrowserAddsAShiftRangeAfterTheSelection) {
    browserScript = [&](ImageBrowser& browser) {
        browser.finishThumbnails();
        EXPECT_EQ(browser.model().directory(), folder);
        // "..", "sub folder", then the four shots.
        ASSERT_EQ(browser.model().count(), 6);
        EXPECT_TRUE(browser.model().items()[3].thumbnail);
        EXPECT_EQ(browser.model().items()[3].pictureWidth, 200);
        clickItem(browser, 3);
        clickItem(browser, 5, Qt::ShiftModifier);
        pressButton(browser, kBrowserOkId);
    };
    std::optional<std::string> saved = run(m_shipped.scratch.path + "/vn0.txt", [&](FrameListDialog& dialog) {
        dialog.insertPictures({pictures[0], pictures[3]});
        dialog.selectRow(0);
        pressButton(dialog, kListAdd);
        EXPECT_EQ(dialog.pictures(),
                  (std::vector<std::string>{pictures[0], pictures[1], pictures[2], pictures[3], pictures[3]}));
        EXPECT_EQ(dialog.selectedRow(), 3);
        pressButton(dialog, kListConfirm);
    });
    EXPECT_EQ(browsersShown, 1);
    EXPECT_EQ(browserTitle, resources().text("openimage"));
    ASSERT_TRUE(saved);
    EXPECT_EQ(loadFrameListPaths(*saved).size(), 5u);
}

TEST_F(FrameListDialogTest, BrowserWalksIntoFoldersAndConfirmsWithADoubleClick) {
    int64_t clock = 1000;
    setProcessClock([&] { return clock; });
    ImageBrowser browser(nullptr, false);
    ASSERT_TRUE(browser.load(folder + "/sub folder"));
    browser.show(true);
    ASSERT_EQ(browser.model().count(), 1);  // only the way up
    clickItem(browser, 0);
    clock += 200;
    clickItem(browser, 0);  // a double click on a folder walks into it
    EXPECT_EQ(browser.model().directory(), folder);
    browser.finishThumbnails();
    // Single selection: Ctrl leaves only the pressed item.
    clickItem(browser, 2);
    clickItem(browser, 4, Qt::ControlModifier);
    EXPECT_FALSE(browser.model().items()[2].selected);
    EXPECT_TRUE(browser.model().items()[4].selected);
    clock += 600;  // too slow for a double click
    clickItem(browser, 4);
    EXPECT_FALSE(browser.isModalRunning());
    // A dropped file opens its folder.
    browser.onDropFile(folder + "/sub folder", 0, 0);
    EXPECT_EQ(browser.model().directory(), folder + "/sub folder");
    browser.onDropFile(pictures[0], 0, 0);
    EXPECT_EQ(browser.model().directory(), folder);
    // A damaged picture is shown as such and left out of the choice.
    ASSERT_TRUE(testing::writeBytes(folder + "/shot 9.jpg", {0xFF, 0xD8, 0xFF}));
    ASSERT_TRUE(browser.load(folder));
    browser.finishThumbnails();
    EXPECT_TRUE(browser.model().items()[6].unreadable());
    setProcessClock({});
}

TEST_F(FrameListDialogTest, BrowserSliderAndWheelScrollALargeFolder) {
    PngFormat png;
    ImageBuffer blue(30, 20);
    for (uint32_t& p : blue.pixels)
        p = 0xFF0000FFu;
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(png.save(folder + "/sub folder/n" + std::to_string(100 + i) + ".png", blue));
    ImageBrowser browser(nullptr, true);
    ASSERT_TRUE(browser.load(folder + "/sub folder"));
    browser.show(true);
    EXPECT_EQ(browser.slider()->maximum(), 5);  // 41 items in 9 rows
    browser.slider()->setValue(3);
    browser.onCommand(kBrowserSliderId);
    EXPECT_EQ(browser.model().firstRow(), 3);
    EXPECT_TRUE(browser.onWheel(-5, 100, 100));
    EXPECT_EQ(browser.model().firstRow(), 5);
    EXPECT_EQ(browser.slider()->value(), 5);
    browser.finishThumbnails();
    EXPECT_EQ(browser.loader().builtCount(), 40);
    // The last item (row 3 of the view) shows its thumbnail; above it, the
    // cell of an item on row 2 too, and right of it empty cells stay white.
    const ImagePtr shot = browser.backBuffer()->toImage();
    EXPECT_EQ(shot->at(50, kBrowserGridTop + 3 * kBrowserCell + 30) & 0xFFFFFFu, 0x0000FFu);
    EXPECT_EQ(shot->at(450, kBrowserGridTop + 2 * kBrowserCell + 30) & 0xFFFFFFu, 0x0000FFu);
    EXPECT_EQ(shot->at(150, kBrowserGridTop + 3 * kBrowserCell + 30) & 0xFFFFFFu, 0xFFFFFFu);
}

TEST_F(FrameListDialogTest, StopInTheProgressWindowKeepsTheThumbnailsBuiltSoFar) {
    JpegFormat jpeg;
    ImageBuffer photo(1600, 1200);
    for (int i = 0; i < 60; ++i)
        ASSERT_TRUE(jpeg.save(folder + "/sub folder/big" + std::to_string(100 + i) + ".jpg", photo));
    ImageBrowser browser(nullptr, true);
    browser.show(true);
    ASSERT_TRUE(browser.load(folder + "/sub folder"));
    Window* progress = progressWindow();
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->platformWindow()->windowTitle().toStdString(), resources().text("loading_image"));
    progress->onCommand(0);  // "Stop"
    browser.collectThumbnails();
    EXPECT_EQ(progressWindow(), nullptr);
    EXPECT_FALSE(browser.loader().busy());
    browser.loader().waitIdle();
    browser.collectThumbnails();
    const int built = browser.loader().builtCount();
    EXPECT_LT(built, 60);
    int withPicture = 0;
    for (const ImageBrowserItem& item : browser.model().items())
        withPicture += item.thumbnail != nullptr;
    EXPECT_EQ(withPicture, built);
    // Every item stays listed and can still be chosen.
    EXPECT_EQ(browser.model().count(), 61);
}

}  // namespace
}  // namespace veltro
