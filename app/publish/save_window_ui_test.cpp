// The save window over a document made from a generated clip: the fields and
// lists it starts with, the template strip (scrolling, clicks, the clamp of
// the stored index), the live preview, the colour choosers, and publishing:
// success, the progress window's Stop with a second publish ignored while
// the first runs, and failures that keep the earlier page byte for byte and
// say why.
#include "app/publish/save_window.h"

#include <gtest/gtest.h>

#include <QColorDialog>
#include <QTimer>

#include <map>

#include "app/base/settings_window.h"
#include "app/publish/app_publish_test_support.h"
#include "document/document.h"
#include "publish/output_file.h"
#include "publish/publish_page.h"
#include "services/canvas.h"
#include "ui/native_control.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

using namespace testing;

// Every file below dir (relative name -> bytes).
std::map<std::string, std::string> snapshotTree(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        files[fs::relative(entry.path(), dir).string()] = entry.is_regular_file() ? readBytes(entry.path()) : "<dir>";
    return files;
}

// The messages shown, without the notice about the absent Java viewer
// archive (the shipped resource set has none; pages play through veltro.js).
std::vector<std::string> shownMessages(const RecordMessages& messages) {
    std::vector<std::string> shown;
    for (const std::string& text : messages.messages())
        if (text != "No jar resource")
            shown.push_back(text);
    return shown;
}

class SaveWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testing::app();
        registerProgramFormats();
    }
    void SetUp() override {
        if (!haveShippedResources())
            GTEST_SKIP() << "the resource set has not been built";
        fixture = std::make_unique<AlbumFixture>();
        clip = fixture->root + "/clips/clip.avi";
        ASSERT_TRUE(makeClip(clip, 20));
        document = documentWithPath(clip);
        ASSERT_TRUE(document);
        // Five plain templates, each a 20 x 20 tile of its own colour.
        for (int i = 0; i < 5; ++i) {
            ImageBuffer tile(20, 20);
            for (uint32_t& pixel : tile.pixels)
                pixel = 0xFF000000u | kTemplateColours[i];
            const std::string path = fixture->root + "/template/t" + std::to_string(i) + ".png";
            fs::create_directories(fs::path(path).parent_path());
            findImageFormat(path)->save(path, tile);
            thumbnails.push_back(scaleNearest(tile, 70, 70));
            templates.push_back({path, thumbnails.back().get()});
        }
    }
    void TearDown() override {
        closeProgress();
        document.reset();
        fixture.reset();
        testing::settle();
    }

    std::unique_ptr<SaveWindow> openWindow(std::vector<SaveTemplate> offered) {
        auto window = std::make_unique<SaveWindow>(nullptr, *document, std::move(offered));
        window->drawWidgets();
        window->drawStrip();
        window->drawPreview();
        return window;
    }
    static void setField(SaveWindow& window, int id, const std::string& text) {
        static_cast<NativeControl*>(window.widgetById(id))->setText(text);
        window.onCommand(id);
    }
    static ComboList& list(SaveWindow& window, int id) { return *static_cast<ComboList*>(window.widgetById(id)); }

    static constexpr uint32_t kTemplateColours[5] = {0xE0E0FF, 0xFFE0E0, 0xE0FFE0, 0xFFFFC0, 0xC0FFFF};
    std::unique_ptr<AlbumFixture> fixture;
    std::string clip;
    std::unique_ptr<Document> document;
    std::vector<ImagePtr> thumbnails;
    std::vector<SaveTemplate> templates;
};

TEST_F(SaveWindowTest, OpensWithTheStoredChoicesAndTheDocumentsQualities) {
    settings().set("color0", "102030");
    settings().set("color1", "ff");
    settings().set("message0", "My page");
    settings().set("message1", "Drag along the line");
    settings().set("bg_ind", "9");  // beyond the five templates
    document->jpegQuality = 90;
    document->diffQuality = 75;
    auto window = openWindow(templates);
    EXPECT_EQ(window->platformWindow()->windowTitle().toStdString(), "Publish");
    EXPECT_EQ(window->helpPage(), "save.html");
    EXPECT_EQ(window->titleColour(), 0x102030u);
    EXPECT_EQ(window->commentColour(), 0x0000FFu);
    EXPECT_EQ(static_cast<NativeControl*>(window->widgetById(kSaveTitle))->text(), "My page");
    EXPECT_EQ(static_cast<NativeControl*>(window->widgetById(kSaveComment))->text(), "Drag along the line");
    EXPECT_EQ(window->backgroundIndex(), 4);
    EXPECT_EQ(window->firstVisible(), 4);

    ComboList& key = list(*window, kSaveKeyQuality);
    ASSERT_EQ(key.itemCount(), 25);
    EXPECT_EQ(key.itemText(0), "0" + resources().text("lowestq"));
    EXPECT_EQ(key.itemText(15), "75" + resources().text("normalq"));
    EXPECT_EQ(key.itemText(19), "95");
    EXPECT_EQ(key.itemText(20), "96");
    EXPECT_EQ(key.itemText(24), "100" + resources().text("highestq"));
    EXPECT_EQ(key.itemText(key.selectedIndex()), "90");
    ComboList& diff = list(*window, kSaveDiffQuality);
    EXPECT_EQ(diff.itemText(diff.selectedIndex()), "75" + resources().text("normalq"));

    // The strip fills 280 pixels from the left scroll button, 70 above it.
    Widget* left = window->widgetById(kSaveStripLeft);
    Widget* right = window->widgetById(kSaveStripRight);
    Widget* bar = window->widgetById(kSaveStripBar);
    EXPECT_EQ(window->stripX(), left->x());
    EXPECT_EQ(window->stripY(), left->y() - 70);
    EXPECT_EQ(right->x() + right->width(), left->x() + 280);
    EXPECT_EQ(bar->x(), left->x() + left->width());
    EXPECT_EQ(bar->x() + bar->width(), right->x());
    saveScreenshot(*window, "save_window");
}

TEST_F(SaveWindowTest, TheStripScrollsSelectsByClickAndKeepsTheSelectionInView) {
    settings().set("bg_ind", "0");
    auto window = openWindow(templates);
    const int sx = window->stripX(), sy = window->stripY();
    // The first cell is framed in red, the others are not.
    EXPECT_EQ(pixelAt(*window, sx, sy + 35), 0xFF0000u);
    EXPECT_NE(pixelAt(*window, sx + 70, sy + 35), 0xFF0000u);
    window->onLeftDown(sx + 2 * 70 + 10, sy + 30, 0);
    EXPECT_EQ(window->backgroundIndex(), 2);
    EXPECT_EQ(pixelAt(*window, sx + 140, sy + 35), 0xFF0000u);
    EXPECT_EQ(pixelAt(*window, sx + 140 + 35, sy + 35), kTemplateColours[2]);

    // Scrolling right past the selection pulls it along.
    window->onCommand(kSaveStripRight);
    window->onCommand(kSaveStripRight);
    window->onCommand(kSaveStripRight);
    EXPECT_EQ(window->firstVisible(), 3);
    EXPECT_EQ(window->backgroundIndex(), 3);
    for (int i = 0; i < 5; ++i)
        window->onCommand(kSaveStripRight);
    EXPECT_EQ(window->firstVisible(), 4);
    EXPECT_EQ(window->backgroundIndex(), 4);
    // Only one template is left to show: the other cells stay white.
    EXPECT_EQ(pixelAt(*window, sx + 70 + 35, sy + 35), 0xFFFFFFu);
    // A click on an empty cell takes the last template.
    window->onLeftDown(sx + 3 * 70 + 10, sy + 30, 0);
    EXPECT_EQ(window->backgroundIndex(), 4);
    for (int i = 0; i < 8; ++i)
        window->onCommand(kSaveStripLeft);
    EXPECT_EQ(window->firstVisible(), 0);
    EXPECT_EQ(window->backgroundIndex(), 3);
    // The preview is tiled with the chosen template.
    EXPECT_EQ(pixelAt(*window, window->previewX() + 2, window->previewY() + window->previewHeight() - 3),
              kTemplateColours[3]);
}

TEST_F(SaveWindowTest, ThePreviewShowsTitleCommentAndTheHalfSizedPicture) {
    settings().set("bg_ind", "0");
    settings().set("color0", "ff0000");
    settings().set("color1", "0000ff");
    settings().set("message0", "WWWWWWWW");
    settings().set("message1", "MMMMMMMM");
    auto window = openWindow({});
    EXPECT_EQ(window->backgroundIndex(), -1);
    const int px = window->previewX(), py = window->previewY(), pw = window->previewWidth();
    auto countColour = [&](int top, int height, uint32_t colour) {
        int n = 0;
        for (int y = py + top; y < py + top + height; ++y)
            for (int x = px; x < px + pw; ++x)
                n += pixelAt(*window, x, y) == colour;
        return n;
    };
    EXPECT_GT(countColour(10, 20, 0xFF0000), 20);
    const int commentTop = document->height / 2 + 60;
    EXPECT_GT(countColour(commentTop, 20, 0x0000FF), 20);
    // The document's picture at half size, centred, from y 50.
    Canvas& page = document->canvas();
    const int left = px + (pw - page.width() / 2) / 2;
    for (auto [dx, dy] : {std::pair{10, 10}, {80, 60}, {150, 110}}) {
        const uint32_t expected = page.surface().pixel(dx * 2, dy * 2) & 0xFFFFFF;
        EXPECT_EQ(pixelAt(*window, left + dx, py + 50 + dy), expected) << dx << "," << dy;
    }
    // Outside the picture and the texts the page is white without a template.
    EXPECT_EQ(pixelAt(*window, px + 2, py + 300), 0xFFFFFFu);

    // Editing the title redraws the preview.
    setField(*window, kSaveTitle, "");
    EXPECT_EQ(countColour(10, 20, 0xFF0000), 0);
    saveScreenshot(*window, "save_window_preview");
}

TEST_F(SaveWindowTest, TheColourButtonsOpenTheChooserOnTheCurrentColour) {
    settings().set("color0", "123456");
    QColor offered;
    QColor answer(0xAB, 0xCD, 0xEF);
    bool accept = true;
    DialogScript script([&](ShownDialog& shown) {
        if (shown.kind != DialogKind::Colour)
            return;
        auto* dialog = static_cast<QColorDialog*>(shown.dialog);
        offered = dialog->currentColor();
        dialog->setCurrentColor(answer);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    });
    auto window = openWindow(templates);
    window->onCommand(kSaveTitleColour);
    EXPECT_EQ(offered, QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(window->titleColour(), 0xABCDEFu);
    accept = false;
    window->onCommand(kSaveCommentColour);
    EXPECT_EQ(window->commentColour(), 0u) << "a cancelled chooser changes nothing";
}

TEST_F(SaveWindowTest, PublishWritesThePageWithTheChosenQualitiesAndEndsWithOne) {
    RecordMessages messages;
    settings().set("bg_ind", "1");
    auto window = openWindow(templates);
    setField(*window, kSaveTitle, "Title <b>bold</b>");
    setField(*window, kSaveComment, "Drag me");
    list(*window, kSaveKeyQuality).select(22);  // 98
    ASSERT_TRUE(window->publish()) << window->lastError();
    EXPECT_EQ(window->modalResult(), 1);
    EXPECT_TRUE(shownMessages(messages).empty());
    const std::string page = fixture->album + "/new0";
    EXPECT_EQ(document->name, page);
    for (const char* name : {"v0.txt", "veltro.txt", "index.html", "data.txt", "thumb.jpg", "new0.zip", "t1.png"})
        EXPECT_TRUE(fs::exists(page + "/" + name)) << name;
    EXPECT_EQ(document->jpegQuality, 98);
    EXPECT_EQ(settings().find("jpeg_quality", ""), "98");
    EXPECT_EQ(settings().find("bg_ind", ""), "1");
    EXPECT_EQ(settings().find("message0", ""), "Title <b>bold</b>");
    const std::string html = readBytes(page + "/index.html");
    EXPECT_NE(html.find("<TITLE>Title <b>bold</b></TITLE>"), std::string::npos);
    EXPECT_NE(html.find("background=\"t1.png\""), std::string::npos);
    EXPECT_NE(readBytes(page + "/data.txt").find("src=" + clip), std::string::npos);
}

TEST_F(SaveWindowTest, WithoutTemplatesThePageHasNoBackgroundAndStoresMinusOne) {
    auto window = openWindow({});
    ASSERT_TRUE(window->publish()) << window->lastError();
    EXPECT_EQ(settings().find("bg_ind", ""), "-1");
    EXPECT_NE(readBytes(fixture->album + "/new0/index.html").find("<BODY>"), std::string::npos);
}

TEST_F(SaveWindowTest, StopEndsThePublishWithoutAMessageAndASecondPublishWaits) {
    RecordMessages messages;
    auto window = openWindow(templates);
    ASSERT_TRUE(window->publish());
    const std::string page = fixture->album + "/new0";
    const auto before = snapshotTree(page);

    // A changed quality rebuilds the frame stores, under the progress window.
    list(*window, kSaveDiffQuality).select(5);
    bool sawProgress = false, secondRefused = false, buttonsOff = false;
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        Window* progress = progressWindow();
        if (!progress || sawProgress)
            return;
        sawProgress = true;
        buttonsOff = !window->widgetById(kSavePublish)->isEnabled();
        secondRefused = window->isPublishing() && !window->publish();
        window->onCommand(kSaveBack);  // waits too
        progress->onCommand(0);        // "Stop"
    });
    timer.start();
    window->endModal(42);
    EXPECT_FALSE(window->publish());
    timer.stop();
    EXPECT_TRUE(sawProgress);
    EXPECT_TRUE(buttonsOff);
    EXPECT_TRUE(secondRefused);
    EXPECT_EQ(window->modalResult(), 42) << "neither published nor sent back";
    EXPECT_TRUE(shownMessages(messages).empty());
    EXPECT_FALSE(window->isPublishing());
    EXPECT_TRUE(window->widgetById(kSavePublish)->isEnabled());
    EXPECT_EQ(snapshotTree(page), before);
    EXPECT_EQ(progressWindow(), nullptr);
}

TEST_F(SaveWindowTest, AReadOnlyAlbumKeepsTheEarlierPageAndTheWindowSaysWhy) {
    RecordMessages messages;
    // The settings window is offered; the author cancels it.
    std::vector<std::string> offered;
    DialogScript script([&offered](ShownDialog& shown) {
        if (shown.kind == DialogKind::ModalWindow) {
            offered.push_back(shown.text);
            shown.window->onCommand(kSettingsCancel);
        }
    });
    auto window = openWindow(templates);
    ASSERT_TRUE(window->publish());
    const std::string page = fixture->album + "/new0";
    const auto before = snapshotTree(page);
    window->endModal(0);

    list(*window, kSaveKeyQuality).select(3);
    setField(*window, kSaveTitle, "Changed");
    {
        ReadOnlyFolder readOnly(fixture->album);
        if (!readOnly.effective())
            GTEST_SKIP() << "folder permissions cannot be made to apply to this process";
        EXPECT_FALSE(window->publish());
    }
    EXPECT_EQ(window->modalResult(), 0) << "the window stays open";
    EXPECT_EQ(snapshotTree(page), before);
    ASSERT_EQ(shownMessages(messages).size(), 1u);
    const std::string message = shownMessages(messages)[0];
    EXPECT_EQ(message.find(resources().text("e_set_folder")), 0u) << message;
    EXPECT_NE(message.find(window->lastError()), std::string::npos) << message;
    EXPECT_NE(window->lastError().find(fixture->album), std::string::npos) << window->lastError();
    EXPECT_EQ(offered, std::vector<std::string>{"Settings"});
    // The album did not change, so the page keeps its name for the next try.
    EXPECT_EQ(document->name, page);

    // Once the folder is writable again the same window publishes.
    ASSERT_TRUE(window->publish()) << window->lastError();
    EXPECT_NE(readBytes(page + "/index.html").find("Changed"), std::string::npos);
}

TEST_F(SaveWindowTest, AnotherAlbumChosenAfterAFailureGetsThePageUnderANewName) {
    RecordMessages messages;
    const std::string otherAlbum = fixture->root + "/other";
    fs::create_directories(otherAlbum + "/new0");
    writeBytes(otherAlbum + "/new0/veltro.txt", "taken");
    DialogScript script([&otherAlbum](ShownDialog& shown) {
        if (shown.kind == DialogKind::ModalWindow && shown.text == "Settings") {
            static_cast<NativeControl*>(shown.window->widgetById(kSettingsAlbumField))->setText(otherAlbum);
            shown.window->onCommand(kSettingsConfirm);
        }
    });
    auto window = openWindow(templates);
    {
        ReadOnlyFolder readOnly(fixture->album);
        if (!readOnly.effective())
            GTEST_SKIP() << "folder permissions cannot be made to apply to this process";
        EXPECT_FALSE(window->publish());
    }
    EXPECT_EQ(settings().find("album_dir", ""), otherAlbum);
    EXPECT_EQ(document->name, otherAlbum + "/new1");
    ASSERT_TRUE(window->publish()) << window->lastError();
    EXPECT_TRUE(fs::exists(otherAlbum + "/new1/index.html"));
    EXPECT_EQ(readBytes(otherAlbum + "/new0/veltro.txt"), "taken");
}

TEST_F(SaveWindowTest, AnyOtherFailureNamesWhatFailedWithoutBlamingTheAlbum) {
    RecordMessages messages;
    auto window = openWindow(templates);
    ASSERT_TRUE(window->publish());
    const std::string page = fixture->album + "/new0";
    const auto before = snapshotTree(page);
    window->endModal(0);
    list(*window, kSaveKeyQuality).select(3);
    messages.clear();
    // The disk fills up while the frame stores are written.
    simulateDiskFullAfter(20000);
    const bool published = window->publish();
    simulateDiskFullAfter(-1);
    EXPECT_FALSE(published);
    EXPECT_EQ(window->modalResult(), 0);
    ASSERT_EQ(shownMessages(messages).size(), 1u);
    EXPECT_FALSE(window->lastError().empty());
    EXPECT_EQ(shownMessages(messages)[0], formatText(resources().text("e_publish"), {window->lastError()}));
    EXPECT_EQ(snapshotTree(page), before);
}

}  // namespace
}  // namespace veltro
