// The album window over pages made on disk: listing (newest first, only
// directories with a viewer data file, archive sizes), drawing of the rows
// and the selection, clicks and double clicks, viewing through the desktop
// seam, deleting to the trash, scrolling and the result codes of runAlbum.
#include "app/publish/album_window.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <chrono>
#include <cstdio>

#include <unistd.h>

#include "app/base/app_state.h"
#include "app/publish/app_publish_test_support.h"
#include "publish/album.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

using namespace testing;

class AlbumWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::app(); }
    void SetUp() override {
        if (!haveShippedResources())
            GTEST_SKIP() << "the resource set has not been built";
        fixture = std::make_unique<AlbumFixture>();
    }
    void TearDown() override {
        setProcessClock({});
        setQuitConfirmed(false);
        fixture.reset();
        testing::settle();
    }

    // A left click at (x, y) of the window's client area.
    static void click(AlbumWindow& window, int x, int y) {
        window.onLeftDown(x, y, 0);
        window.onLeftUp(x, y, 0);
    }
    static int rowY(const AlbumWindow& window, int row) {
        return window.listY() + row * kAlbumRowHeight + kAlbumRowHeight / 2;
    }

    std::unique_ptr<AlbumFixture> fixture;
};

TEST_F(AlbumWindowTest, ListsPagesNewestFirstWithArchiveSizesTitlesAndDates) {
    fixture->makePage("new0", 1000, "Oldest", 0x00FF00, 2047);
    fixture->makePage("new1", 3000, "Newest", 0x0000FF, -1);
    fixture->makePage("new2", 2000, "Middle", 0xFF0000, 4096);
    fs::create_directories(fixture->album + "/notapage");  // no veltro.txt
    fixture->makePage(".hidden", 4000, "Hidden", 0);
    fs::create_directories(fixture->album + "/trash/del0");

    AlbumWindow window(nullptr);
    window.drawWidgets();
    window.drawList();
    ASSERT_EQ(window.entries().size(), 3u);
    EXPECT_EQ(window.entries()[0].label, "new1");  // no archive: the name alone
    EXPECT_EQ(window.entries()[1].label, "new2 (4KB)");
    EXPECT_EQ(window.entries()[2].label, "new0 (1KB)");  // 2047 bytes
    EXPECT_EQ(window.entries()[0].title, "Newest");
    EXPECT_EQ(window.entries()[2].title, "Oldest");
    EXPECT_FALSE(window.entries()[0].date.empty());
    EXPECT_EQ(window.selection(), 0);
    for (int id : {kAlbumView, kAlbumDelete, kAlbumEdit, kAlbumFolder})
        EXPECT_TRUE(window.widgetById(id)->isEnabled()) << id;
    saveScreenshot(window, "album_window");
}

TEST_F(AlbumWindowTest, AnEmptyOrUnreadableAlbumShowsNoRowsAndDisablesThePageButtons) {
    settings().set("album_dir", fixture->root + "/does-not-exist");
    AlbumWindow window(nullptr);
    window.drawWidgets();
    window.drawList();
    EXPECT_TRUE(window.entries().empty());
    for (int id : {kAlbumView, kAlbumDelete, kAlbumEdit, kAlbumFolder})
        EXPECT_FALSE(window.widgetById(id)->isEnabled()) << id;
    // Nothing to view, edit or delete: the commands do nothing.
    window.onCommand(kAlbumView);
    window.onCommand(kAlbumEdit);
    EXPECT_TRUE(fixture->opened.empty());
    EXPECT_EQ(window.modalResult(), 0);
    EXPECT_EQ(pixelAt(window, window.listX() + 40, rowY(window, 0)), 0xFFFFFFu);
}

TEST_F(AlbumWindowTest, RowsShowTheThumbnailCentredAndTheSelectionFrame) {
    fixture->makePage("wide", 3000, "Wide", 0x0000FF, 10, 160, 60);  // scaled to 80 x 30
    fixture->makePage("nothumb", 2000, "None", 0);
    AlbumWindow window(nullptr);
    window.drawWidgets();
    window.drawList();
    const int x = window.listX();
    const int top0 = window.listY();
    // The wide thumbnail fills 80 x 30 in the middle of its 80 x 60 box.
    const uint32_t middle = pixelAt(window, x + 40, top0 + 30);
    EXPECT_LT(middle >> 16 & 0xFF, 0x30u);
    EXPECT_GT(middle & 0xFF, 0xC0u);
    EXPECT_EQ(pixelAt(window, x + 40, top0 + 10), 0xFFFFFFu);
    // A page without a thumbnail gets a black box.
    EXPECT_EQ(pixelAt(window, x + 40, top0 + kAlbumRowHeight + 30), 0x000000u);
    // The selected first row is framed in red, the line under it is grey.
    EXPECT_EQ(pixelAt(window, x + 200, top0), 0xFF0000u);
    EXPECT_EQ(pixelAt(window, x + window.listWidth() - 1, top0 + 30), 0xFF0000u);
    click(window, x + 200, rowY(window, 1));
    EXPECT_EQ(window.selection(), 1);
    EXPECT_EQ(pixelAt(window, x + 200, top0), 0xFFFFFFu);
    EXPECT_EQ(pixelAt(window, x + 200, top0 + kAlbumRowHeight), 0xFF0000u);
    EXPECT_EQ(pixelAt(window, x + 200, top0 + 2 * kAlbumRowHeight), 0xFF0000u);
    saveScreenshot(window, "album_window_selection");
}

TEST_F(AlbumWindowTest, ASecondClickWithin500MsOpensThePageAndOneAfter600MsOnlySelects) {
    const std::string page = fixture->makePage("new0", 2000, "A", 0x00FF00);
    fixture->makePage("new1", 1000, "B", 0x00FF00);
    AlbumWindow window(nullptr);
    int64_t now = 10000;
    setProcessClock([&now] { return now; });
    window.drawWidgets();
    window.drawList();

    click(window, window.listX() + 200, rowY(window, 1));
    now += 600;
    click(window, window.listX() + 200, rowY(window, 1));
    EXPECT_EQ(window.selection(), 1);
    EXPECT_TRUE(fixture->opened.empty());

    // A click on another row in between breaks the pair.
    now += 100;
    click(window, window.listX() + 200, rowY(window, 0));
    now += 100;
    click(window, window.listX() + 200, rowY(window, 1));
    EXPECT_TRUE(fixture->opened.empty());

    click(window, window.listX() + 200, rowY(window, 0));
    now += 400;
    click(window, window.listX() + 200, rowY(window, 0));
    ASSERT_EQ(fixture->opened.size(), 1u);
    EXPECT_EQ(fixture->opened[0], "file://" + page + "/index.html");
    // Clicks below the last page select nothing.
    click(window, window.listX() + 200, rowY(window, 5));
    EXPECT_EQ(window.selection(), 0);
}

TEST_F(AlbumWindowTest, ViewAndOpenFolderHandTheSelectedPageToTheDesktop) {
    const std::string older = fixture->makePage("my page", 1000, "A", 0x00FF00);
    fixture->makePage("new1", 2000, "B", 0x00FF00);
    AlbumWindow window(nullptr);
    window.drawWidgets();
    window.drawList();
    window.select(1);
    window.onCommand(kAlbumView);
    window.onCommand(kAlbumFolder);
    ASSERT_EQ(fixture->opened.size(), 2u);
    // The blank in the folder name is escaped in the URL.
    EXPECT_EQ(fixture->opened[0], "file://" + fixture->album + "/my%20page/index.html");
    EXPECT_EQ(fixture->opened[1], older);
}

TEST_F(AlbumWindowTest, DeleteAsksAndMovesThePageIntoTheTrash) {
    fixture->makePage("new0", 1000, "A", 0x00FF00);
    fixture->makePage("new1", 2000, "B", 0x00FF00);
    int answer = 1;  // "Keep" first
    DialogScript script([&answer](ShownDialog& shown) {
        if (shown.kind == DialogKind::Choice)
            shown.window->onCommand(answer);
    });
    AlbumWindow window(nullptr);
    window.drawWidgets();
    window.drawList();
    window.onCommand(kAlbumDelete);
    ASSERT_EQ(script.seen.size(), 1u);
    EXPECT_EQ(script.seen[0], resources().text("delete?"));
    EXPECT_EQ(window.entries().size(), 2u);
    EXPECT_TRUE(fs::exists(fixture->album + "/new1"));

    answer = 0;  // "Delete"
    window.onCommand(kAlbumDelete);
    ASSERT_EQ(window.entries().size(), 1u);
    EXPECT_EQ(window.entries()[0].page.name, "new0");
    EXPECT_FALSE(fs::exists(fixture->album + "/new1"));
    EXPECT_TRUE(fs::exists(fixture->album + "/trash/del0/veltro.txt"));
    // The next new page takes the freed name.
    EXPECT_EQ(newPageDirectory(fixture->album), fixture->album + "/new1");

    window.onCommand(kAlbumDelete);
    EXPECT_TRUE(window.entries().empty());
    EXPECT_TRUE(fs::exists(fixture->album + "/trash/del1"));
    EXPECT_FALSE(window.widgetById(kAlbumDelete)->isEnabled());
}

TEST_F(AlbumWindowTest, APageThatCannotBeMovedIsNamedInAMessageAndStays) {
    fixture->makePage("new0", 1000, "A", 0x00FF00);
    fs::create_directories(fixture->album + "/trash");
    ReadOnlyFolder readOnly(fixture->album + "/trash");
    if (!readOnly.effective())
        GTEST_SKIP() << "folder permissions cannot be made to apply to this process";
    RecordMessages messages;
    DialogScript script([](ShownDialog& shown) {
        if (shown.kind == DialogKind::Choice)
            shown.window->onCommand(0);
    });
    AlbumWindow window(nullptr);
    window.onCommand(kAlbumDelete);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0], formatText(resources().text("e_cant_mv"), {"new0"}));
    EXPECT_EQ(window.entries().size(), 1u);
    EXPECT_TRUE(fs::exists(fixture->album + "/new0/veltro.txt"));
}

TEST_F(AlbumWindowTest, ScrollingMovesByRowsWithinTheList) {
    for (int i = 0; i < 12; ++i)
        fixture->makePage("new" + std::to_string(i), 1000 + i, "P" + std::to_string(i), 0x808080);
    AlbumWindow window(nullptr);
    window.drawWidgets();
    window.drawList();
    EXPECT_EQ(window.visibleRows(), 8);
    window.onCommand(kAlbumUp);
    EXPECT_EQ(window.firstVisible(), 0);
    window.onCommand(kAlbumDown);
    window.onCommand(kAlbumDown);
    EXPECT_EQ(window.firstVisible(), 2);
    // Clicking the top row now selects the third page.
    click(window, window.listX() + 200, rowY(window, 0));
    EXPECT_EQ(window.selection(), 2);
    EXPECT_EQ(window.entries()[2].page.name, "new9");
    for (int i = 0; i < 20; ++i)
        window.onCommand(kAlbumDown);
    EXPECT_EQ(window.firstVisible(), 11);
    // The wheel scrolls too: away from the user goes up.
    window.onWheel(3, window.listX() + 100, rowY(window, 0));
    EXPECT_EQ(window.firstVisible(), 8);
    // Keys move the selection and keep it in view.
    window.select(0);
    EXPECT_EQ(window.firstVisible(), 0);
    for (int i = 0; i < 9; ++i)
        window.onKey(kKeyDown);
    EXPECT_EQ(window.selection(), 9);
    EXPECT_EQ(window.firstVisible(), 2);
}

TEST_F(AlbumWindowTest, RunAlbumReturnsEachResultCode) {
    const std::string page = fixture->makePage("new0", 1000, "A", 0x00FF00);
    int command = kAlbumEdit;
    DialogScript script([&command](ShownDialog& shown) {
        if (shown.kind == DialogKind::ModalWindow && shown.text == "Album") {
            Window* window = shown.window;
            const int id = command;
            QTimer::singleShot(0, [window, id] { window->onCommand(id); });
        }
    });
    std::string chosen;
    EXPECT_EQ(runAlbum(nullptr, &chosen), 2);
    EXPECT_EQ(chosen, page);
    command = kAlbumBack;
    EXPECT_EQ(runAlbum(nullptr, &chosen), 0);
    command = kAlbumMenu;
    EXPECT_EQ(runAlbum(nullptr, &chosen), 1);
    // Closing the window is a quit, confirmed in the question it asks.
    Window owner(nullptr, 0, 0, 720, 540, WindowFrame::FramePopup);
    script.setHandler([](ShownDialog& shown) {
        if (shown.kind == DialogKind::ModalWindow && shown.text == "Album") {
            Window* window = shown.window;
            QTimer::singleShot(0, [window] { window->onClose(); });
        } else if (shown.kind == DialogKind::Choice) {
            shown.window->onCommand(0);
        }
    });
    EXPECT_EQ(runAlbum(&owner, &chosen), -1);
    EXPECT_TRUE(quitConfirmed());
}

// How long a 200-page album takes until its first screen of rows is drawn
// (printed for people; the benchmark measures it properly).
TEST_F(AlbumWindowTest, ALargeAlbumListsEveryPageAndReadsOnlyTheRowsShown) {
    for (int i = 0; i < 200; ++i)
        fixture->makePage("new" + std::to_string(i), 100000 + i, "Page " + std::to_string(i), 0x336699, 30000);
    const auto start = std::chrono::steady_clock::now();
    AlbumWindow window(nullptr);
    window.drawWidgets();
    window.drawList();
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    std::printf("200-page album: first screen drawn after %.1f ms\n", elapsed / 1000.0);
    ASSERT_EQ(window.entries().size(), 200u);
    int loaded = 0;
    for (const AlbumEntry& entry : window.entries())
        loaded += entry.loaded ? 1 : 0;
    EXPECT_EQ(loaded, window.visibleRows());
    EXPECT_EQ(window.entries()[0].title, "Page 199");
    EXPECT_EQ(window.entries()[0].label, "new199 (29KB)");
    window.onCommand(kAlbumDown);
    loaded = 0;
    for (const AlbumEntry& entry : window.entries())
        loaded += entry.loaded ? 1 : 0;
    EXPECT_EQ(loaded, window.visibleRows() + 1);
    saveScreenshot(window, "album_window_200");
}

}  // namespace
}  // namespace veltro
