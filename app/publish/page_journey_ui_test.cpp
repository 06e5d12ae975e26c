// The whole road of a page, offscreen, with every window answered through the
// dialog seam as a person would answer it: a new document from a generated
// clip -> edit (a path drawn with real pointer events) -> save (publish) ->
// the album lists it with its size -> view (the desktop gets the page's
// file:///.../index.html) -> edit (reopened) -> publish again -> delete to the
// trash. The published page is kept in "journey/" for the browser test,
// which plays it in Chromium along the drawn path.
#include <gtest/gtest.h>

#include <QDialog>
#include <QTest>
#include <QTimer>

#include "app/base/app_state.h"
#include "app/edit/edit_window.h"
#include "app/publish/album_window.h"
#include "app/publish/app_publish_test_support.h"
#include "app/publish/page_flow_window.h"
#include "app/publish/save_window.h"
#include "document/document.h"
#include "dragmotion/drag_motion_object.h"
#include "ui/native_control.h"
#include "ui/qt_prompts.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

using namespace testing;

// The drawn path, in picture coordinates (the clip shows at 1:1).
const std::vector<QPoint> kStroke = {{30, 200}, {100, 60}, {180, 180}, {290, 50}};

class PageJourneyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testing::app();
        registerProgramFormats();
    }
    void SetUp() override {
        if (!haveShippedResources())
            GTEST_SKIP() << "the resource set has not been built";
        fixture = std::make_unique<AlbumFixture>();
        previousPrompts = setPrompts(std::make_unique<QtPrompts>());
        const char* dist = std::getenv("VELTRO_DIST_DIR");
        setExecutableDirectory(dist ? dist : "dist");
        setTemplateThumbnails(loadTemplateThumbnails(shippedTemplateDir()));
        setQuitConfirmed(false);
    }
    void TearDown() override {
        setTemplateThumbnails({});
        setQuitConfirmed(false);
        if (previousPrompts)
            setPrompts(std::move(previousPrompts));
        fixture.reset();
        testing::settle();
    }

    // Drags through picture points of the edit window with real events.
    static void stroke(EditWindow& window, const std::vector<QPoint>& points) {
        QWidget* platform = window.platformWindow();
        auto at = [&](QPoint p) { return QPoint(window.pictureLeft() + p.x(), window.pictureTop() + p.y()); };
        QTest::mouseMove(platform, at(points.front()));
        QTest::mousePress(platform, Qt::LeftButton, {}, at(points.front()));
        for (size_t i = 1; i < points.size(); ++i) {
            const QPoint a = points[i - 1], b = points[i];
            const int steps = std::max(1, std::max(std::abs(b.x() - a.x()), std::abs(b.y() - a.y())) / 8);
            for (int s = 1; s <= steps; ++s)
                QTest::mouseMove(platform, at(a + (b - a) * s / steps));
        }
        QTest::mouseRelease(platform, Qt::LeftButton, {}, at(points.back()));
    }
    // Presses a layout button of window (its command, as the button fires it).
    static void press(Window& window, int id) {
        ASSERT_NE(window.widgetById(id), nullptr) << id;
        window.onCommand(id);
    }
    static int pathCount(const Document& document) {
        int n = 0;
        for (const auto& object : document.objects)
            n += object->type() == ObjectType::DragMotion;
        return n;
    }

    std::unique_ptr<AlbumFixture> fixture;
    std::unique_ptr<Prompts> previousPrompts;
};

TEST_F(PageJourneyTest, FromAClipToAPublishedPageAndBackThroughTheAlbumToTheTrash) {
    const std::string clip = fixture->root + "/clips/journey.avi";
    ASSERT_TRUE(makeClip(clip, 40));
    std::unique_ptr<Document> document = newDocumentFromSource(clip);
    ASSERT_TRUE(document);
    const std::string page = fixture->album + "/new0";
    ASSERT_EQ(document->name, page);

    AppWindow mainWindow(nullptr, 0, 0, 720, 540);
    mainWindow.show(true);
    std::vector<std::string> road;
    std::vector<std::string> messages;
    int edits = 0, saves = 0, albums = 0;
    std::string albumLabel, albumTitle, keptPage;
    int reopenedPaths = -1;

    DialogScript script([&](ShownDialog& shown) {
        if (shown.kind == DialogKind::Message) {
            messages.push_back(shown.text);
            shown.dialog->accept();
            return;
        }
        if (shown.kind == DialogKind::Choice) {
            road.push_back("choice:" + shown.text);
            shown.window->onCommand(0);  // "Delete"
            return;
        }
        if (shown.kind != DialogKind::ModalWindow)
            return;
        road.push_back(shown.text);
        Window* window = shown.window;
        if (auto* edit = dynamic_cast<EditWindow*>(window)) {
            const int visit = edits++;
            QTimer::singleShot(0, [&, edit, visit] {
                if (visit == 0) {
                    // Mark the span the path plays (frames 1 to 38), then draw.
                    press(*edit, kEditStepOn);
                    press(*edit, kEditMarkIn);
                    for (int i = 0; i < 37; ++i)
                        press(*edit, kEditStepOn);
                    press(*edit, kEditMarkOut);
                    stroke(*edit, kStroke);
                    EXPECT_EQ(pathCount(edit->editedDocument()), 1);
                    saveScreenshot(*edit, "journey_edit_drawn");
                }
                else
                    reopenedPaths = pathCount(edit->editedDocument());
                press(*edit, kEditAccept);
            });
        } else if (auto* save = dynamic_cast<SaveWindow*>(window)) {
            const int visit = saves++;
            QTimer::singleShot(0, [&, save, visit] {
                auto* title = static_cast<NativeControl*>(save->widgetById(kSaveTitle));
                auto* comment = static_cast<NativeControl*>(save->widgetById(kSaveComment));
                title->setText(visit == 0 ? "Journey" : "Journey again");
                comment->setText("Drag along the line");
                save->onCommand(kSaveTitle);
                saveScreenshot(*save, "journey_save_" + std::to_string(visit));
                press(*save, kSavePublish);
            });
        } else if (auto* album = dynamic_cast<AlbumWindow*>(window)) {
            const int visit = albums++;
            QTimer::singleShot(0, [&, album, visit] {
                saveScreenshot(*album, "journey_album_" + std::to_string(visit));
                if (visit == 0) {
                    ASSERT_EQ(album->entries().size(), 1u);
                    albumLabel = album->entries()[0].label;
                    albumTitle = album->entries()[0].title;
                    press(*album, kAlbumView);
                    press(*album, kAlbumEdit);
                    return;
                }
                // Keep the page for the browser before it goes to the trash.
                std::error_code ignored;
                fs::remove_all("journey", ignored);
                fs::create_directories("journey");
                fs::copy(page, "journey/page", fs::copy_options::recursive);
                keptPage = fs::absolute("journey/page").string();
                press(*album, kAlbumDelete);
                EXPECT_TRUE(album->entries().empty());
                press(*album, kAlbumMenu);
            });
        }
    });

    EXPECT_EQ(runPageFlow(&mainWindow, std::move(document)), 1);
    EXPECT_TRUE(mainWindow.exists());
    EXPECT_EQ(road, (std::vector<std::string>{"Edit", "Publish", "Album", "Edit", "Publish", "Album",
                                              "choice:" + resources().text("delete?")}));
    // A page of a clip that did not change reopens without a message; the
    // only notice is the one about the absent Java archive.
    for (const std::string& text : messages)
        EXPECT_EQ(text, "No jar resource");
    EXPECT_EQ(reopenedPaths, 1) << "the reopened page has the drawn path";
    EXPECT_EQ(albumTitle, "Journey");
    EXPECT_NE(albumLabel.find("new0 ("), std::string::npos) << albumLabel;
    EXPECT_NE(albumLabel.find("KB)"), std::string::npos) << albumLabel;
    ASSERT_EQ(fixture->opened.size(), 1u);
    EXPECT_EQ(fixture->opened[0], "file://" + page + "/index.html");

    // The second publish replaced the page; then it went to the trash.
    EXPECT_FALSE(fs::exists(page));
    EXPECT_TRUE(fs::exists(fixture->album + "/trash/del0/index.html"));
    ASSERT_FALSE(keptPage.empty());
    const std::string html = readBytes(keptPage + "/index.html");
    EXPECT_NE(html.find("<TITLE>Journey again</TITLE>"), std::string::npos);
    EXPECT_NE(readBytes(keptPage + "/data.txt").find("src=" + clip), std::string::npos);

    // The stroke for the browser test, in picture coordinates.
    std::ofstream out("journey/stroke.txt");
    for (const QPoint& p : kStroke)
        out << p.x() << "," << p.y() << " ";
}

}  // namespace
}  // namespace veltro
