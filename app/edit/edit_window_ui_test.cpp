// The edit window end to end on a bar-coded clip: marking the span, drawing a
// path, playing it by dragging and reading the shown frame back from the
// picture, undo, the step pictures and buttons, zoom, delete and how the
// window's run ends.
#include "app/edit/edit_test_support.h"

#include <set>

#include "app/base/app_state.h"
#include "app/edit/slide_bar.h"
#include "dragmotion/drag_motion_object.h"
#include "ui/dialogs.h"

namespace veltro {
namespace {

using edit_testing::EditWindowTest;
using edit_testing::shownFrame;
using testing::saveScreenshot;

DragMotionObject* pathAt(Document& document, size_t index) {
    if (index >= document.objects.size() || document.objects[index]->type() != ObjectType::DragMotion)
        return nullptr;
    return static_cast<DragMotionObject*>(document.objects[index].get());
}

// An S over the bar-coded picture that keeps clear of the pixels the bar code
// is read from: runs in the red band, between the sampled rows and in the
// blue band, turns on bar edges.
const std::vector<QPoint> kSStroke = {{280, 36}, {40, 36}, {40, 105}, {280, 105}, {280, 200}, {40, 200}};

TEST_F(EditWindowTest, JourneyMarkDrawPlayAndUndo) {
    settings().set("max_frame", "10");
    open();
    saveScreenshot(*window, "edit_01_open");
    EXPECT_EQ(window->workflowStep(), 1);
    EXPECT_EQ(window->zoomLevel(), kZoomOneLevel);
    EXPECT_EQ(shownFrame(*window), 0);
    EXPECT_FALSE(window->widgetById(kEditMarkIn)->isEnabled()) << "nothing to mark before moving";
    EXPECT_FALSE(window->widgetById(kEditAccept)->isEnabled()) << "nothing to accept without a path";

    stepTo(10);
    EXPECT_EQ(window->workflowStep(), 2);
    EXPECT_EQ(shownFrame(*window), 10);
    EXPECT_EQ(window->slideBar()->value(), 10);
    click(kEditMarkIn);
    EXPECT_EQ(window->workflowStep(), 3);
    EXPECT_EQ(document->newPathFirstFrame, 10);
    EXPECT_FALSE(window->widgetById(kEditMarkOut)->isEnabled());
    saveScreenshot(*window, "edit_02_marked_in");

    stepTo(40);
    EXPECT_EQ(window->workflowStep(), 4);
    EXPECT_EQ(shownFrame(*window), 40);
    click(kEditMarkOut);
    EXPECT_EQ(window->workflowStep(), 5);
    EXPECT_EQ(document->newPathLastFrame, 40);
    saveScreenshot(*window, "edit_03_marked_out");

    stroke(kSStroke);
    EXPECT_EQ(window->workflowStep(), 6);
    ASSERT_EQ(document->objects.size(), 2u);
    DragMotionObject* path = pathAt(*document, 0);
    ASSERT_NE(path, nullptr);
    ASSERT_GE(path->path.count(), 6) << "the corners of the S survive the clean-up";
    EXPECT_EQ(path->path.point(0)->frame, 10);
    EXPECT_EQ(path->path.point(path->path.count() - 1)->frame, 40);
    EXPECT_TRUE(window->widgetById(kEditAccept)->isEnabled());
    // At most 10 of the 31 frames stay flagged: every fourth one and the last.
    EXPECT_EQ(document->frameStep, 3);
    EXPECT_LE(document->flaggedCount, 10);
    saveScreenshot(*window, "edit_04_drawn");

    std::set<int> flagged;
    for (int f = 0; f < document->length; ++f)
        if (document->frameFlags[static_cast<size_t>(f)] & kFrameEncodeMask)
            flagged.insert(f);
    EXPECT_EQ(flagged, (std::set<int>{10, 14, 18, 22, 26, 30, 34, 38, 40}));

    // Play: press next to the start of the path (off it, so nothing is
    // edited) and drag along the S; the picture follows, frame by flagged
    // frame, and never shows an unflagged one.
    QTest::mouseMove(platform(), at(280, 28));
    EXPECT_EQ(window->cursorIndex(), kCursorHand);
    QTest::mousePress(platform(), Qt::LeftButton, {}, at(280, 28));
    EXPECT_EQ(shownFrame(*window), 10);
    std::vector<int> seen;
    for (size_t i = 1; i < kSStroke.size(); ++i) {
        const QPoint a = kSStroke[i - 1];
        const QPoint b = kSStroke[i];
        for (int s = 1; s <= 8; ++s) {
            QTest::mouseMove(platform(), at(a.x() + (b.x() - a.x()) * s / 8, a.y() + (b.y() - a.y()) * s / 8));
            const int shown = shownFrame(*window);
            ASSERT_EQ(shown, document->currentFrame) << "the picture shows the document's frame";
            ASSERT_TRUE(flagged.count(shown)) << shown;
            seen.push_back(shown);
        }
        if (i == 3)
            saveScreenshot(*window, "edit_05_playing");
    }
    QTest::mouseRelease(platform(), Qt::LeftButton, {}, at(40, 200));
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << "the drawing direction is the playing direction";
    EXPECT_EQ(seen.back(), 40);
    EXPECT_GE(std::set<int>(seen.begin(), seen.end()).size(), 7u);
    EXPECT_EQ(document->objects.size(), 2u) << "playing changes nothing";

    QTest::keyClick(platform(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(document->objects.size(), 1u) << "undo takes the drawn path away";
    EXPECT_EQ(document->objects.back()->type(), ObjectType::Movie);
    EXPECT_FALSE(window->widgetById(kEditAccept)->isEnabled());
    saveScreenshot(*window, "edit_06_undone");
}

TEST_F(EditWindowTest, ClickWithoutMovingGivesATwoPointPathAcrossTheSpan) {
    open();
    markSpan(5, 20);
    QTest::mouseMove(platform(), at(100, 100));
    EXPECT_GT(window->cursorIndex(), kBuiltinCursorCount - 1) << "the pen pointer while drawing";
    QTest::mouseClick(platform(), Qt::LeftButton, {}, at(100, 100));
    ASSERT_EQ(document->objects.size(), 2u);
    DragMotionObject* path = pathAt(*document, 0);
    ASSERT_NE(path, nullptr);
    ASSERT_EQ(path->path.count(), 2);
    EXPECT_EQ(path->path.point(0)->frame, 5);
    EXPECT_EQ(path->path.point(1)->frame, 20);
    EXPECT_EQ(path->path.point(0)->x, 100);
    EXPECT_EQ(path->path.point(1)->y, 100);
}

TEST_F(EditWindowTest, AnOutMarkBeforeTheInMarkStillSpreadsInDrawingOrder) {
    open();
    markSpan(30, 12);
    stroke({{40, 120}, {280, 120}});
    DragMotionObject* path = pathAt(*document, 0);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->path.point(0)->frame, 12);
    EXPECT_EQ(path->path.point(path->path.count() - 1)->frame, 30);
    EXPECT_EQ(path->path.point(0)->x, 40) << "drawn from left to right, played the same way";
}

TEST_F(EditWindowTest, ControlClickOnASegmentTogglesHandOverAndBack) {
    open();
    markSpan(0, 30);
    line({60, 120}, {260, 120});
    DragMotionObject* path = pathAt(*document, 0);
    ASSERT_NE(path, nullptr);
    ASSERT_EQ(path->path.count(), 2);
    QTest::mouseMove(platform(), at(160, 121));
    EXPECT_EQ(window->cursorIndex(), kCursorCross) << "over a segment";
    QTest::mouseClick(platform(), Qt::LeftButton, Qt::ControlModifier, at(160, 121));
    ASSERT_EQ(path->path.count(), 2) << "Ctrl inserts no vertex";
    EXPECT_TRUE(path->path.point(1)->handOver());
    const QPoint probe = at(120, 120);
    EXPECT_EQ(testing::pixelAt(*window, probe.x(), probe.y()), 0x000000u) << "hand-over segments show black";
    saveScreenshot(*window, "edit_07_hand_over");
    QTest::mouseClick(platform(), Qt::LeftButton, Qt::ControlModifier, at(160, 121));
    EXPECT_FALSE(path->path.point(1)->handOver());
    EXPECT_EQ(testing::pixelAt(*window, probe.x(), probe.y()), 0xFF0000u);
}

TEST_F(EditWindowTest, ClickOnASelectedSegmentInsertsAVertexThatFollowsThePointer) {
    open();
    markSpan(0, 30);
    line({60, 120}, {260, 120});
    DragMotionObject* path = pathAt(*document, 0);
    ASSERT_NE(path, nullptr);
    ASSERT_EQ(path->path.count(), 2);
    ASSERT_TRUE(path->selected);
    stroke({{160, 120}, {160, 60}});
    ASSERT_EQ(path->path.count(), 3);
    EXPECT_EQ(path->path.point(1)->x, 160);
    EXPECT_EQ(path->path.point(1)->y, 60);
    EXPECT_EQ(path->path.point(1)->frame, 15) << "the frame the click projected to";
    // One snapshot per press, taken after the insertion: undo puts the new
    // vertex back where it was inserted.
    QTest::keyClick(platform(), Qt::Key_Z, Qt::ControlModifier);
    path = pathAt(*document, 0);
    ASSERT_NE(path, nullptr);
    ASSERT_EQ(path->path.count(), 3);
    EXPECT_EQ(path->path.point(1)->y, 120);
}

TEST_F(EditWindowTest, VertexDroppedOntoItsNeighbourMergesAndShiftKeepsItOnALine) {
    open();
    markSpan(0, 50);
    stroke({{40, 60}, {280, 60}});
    DragMotionObject* path = pathAt(*document, 0);
    ASSERT_NE(path, nullptr);
    const int count = path->path.count();
    ASSERT_GE(count, 4);
    const PathPoint second = *path->path.point(2);
    const PathPoint third = *path->path.point(3);

    // Dragged elsewhere it stays a vertex of its own.
    stroke({{second.x, second.y}, {second.x + 5, second.y + 40}});
    ASSERT_EQ(path->path.count(), count);
    EXPECT_EQ(path->path.point(2)->y, second.y + 40);

    // With Shift a vertex moved mostly sideways stays level with its neighbour.
    const QPoint from = at(second.x + 5, second.y + 40);
    window->onMouseMove(from.x(), from.y(), 0);
    window->onLeftDown(from.x(), from.y(), kModShift);
    const QPoint to = at(second.x + 20, second.y + 3);
    window->onMouseMove(to.x(), to.y(), kModShift);
    window->onLeftUp(to.x(), to.y(), kModShift);
    EXPECT_EQ(path->path.point(2)->x, second.x + 20);
    EXPECT_EQ(path->path.point(2)->y, path->path.point(1)->y);

    // Dropped within 3 pixels of the next vertex: the two become one.
    const PathPoint moved = *path->path.point(2);
    stroke({{moved.x, moved.y}, {third.x + 2, third.y - 2}});
    ASSERT_EQ(path->path.count(), count - 1);
    EXPECT_EQ(path->path.point(2)->x, third.x);
    EXPECT_EQ(path->path.point(2)->y, third.y);
}

TEST_F(EditWindowTest, HoverAndPlayRespectTheCaptureDistance) {
    settings().set("dmdist", "20");
    open();
    markSpan(0, 30);
    stroke({{60, 120}, {260, 120}});
    click(kEditMarkIn);  // back to step 3: the edit tool stays active
    EXPECT_EQ(window->workflowStep(), 3);
    stepTo(7);
    QTest::mouseMove(platform(), at(160, 150));
    EXPECT_EQ(window->cursorIndex(), kCursorNotAllowed) << "30 pixels away is beyond 20";
    QTest::mousePress(platform(), Qt::LeftButton, {}, at(160, 150));
    QTest::mouseMove(platform(), at(250, 150));
    QTest::mouseRelease(platform(), Qt::LeftButton, {}, at(250, 150));
    EXPECT_EQ(document->currentFrame, 7) << "dragging away from every path changes nothing";
    QTest::mouseMove(platform(), at(160, 135));
    EXPECT_EQ(window->cursorIndex(), kCursorHand);
    QTest::mouseMove(platform(), at(60, 120));
    EXPECT_EQ(window->cursorIndex(), kCursorPointer) << "over a vertex";
}

TEST_F(EditWindowTest, ZoomKeepsThePathOnTheSamePictureFeatures) {
    open();
    markSpan(0, 40);
    stroke(kSStroke);
    DragMotionObject* path = pathAt(*document, 0);
    ASSERT_NE(path, nullptr);
    // Show the clip alone under the vertices: no overlay, no drawn path.
    path->pathWidth = {0, 0, 0};
    path->arrow = 0;
    document->selectAll(false);
    window->redrawPicture();
    auto featureAt = [&](int x, int y) {
        const uint32_t p = testing::pixelAt(*window, window->pictureLeft() + x, window->pictureTop() + y);
        const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        if (r > 160 && g < 96 && b < 96) return 'R';
        if (b > 160 && r < 96 && g < 96) return 'B';
        return (r + g + b) / 3 > 127 ? 'L' : 'D';
    };
    auto featuresNear = [&](int x, int y) {
        std::set<char> found;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                found.insert(featureAt(x + dx, y + dy));
        return found;
    };
    std::vector<PathPoint> original = path->path.points();
    std::vector<char> features;
    for (const PathPoint& p : original)
        features.push_back(featureAt(p.x, p.y));

    click(kEditZoomOut);
    EXPECT_EQ(window->zoomLevel(), kZoomOneLevel - 1);
    EXPECT_EQ(document->width, 240);
    saveScreenshot(*window, "edit_08_zoomed_out");
    path = pathAt(*document, 0);
    for (size_t i = 0; i < features.size(); ++i) {
        const PathPoint& p = path->path.points()[i];
        EXPECT_TRUE(featuresNear(p.x, p.y).count(features[i])) << "vertex " << i << " zoomed out";
    }
    click(kEditZoomIn);
    EXPECT_EQ(window->zoomLevel(), kZoomOneLevel);
    for (size_t i = 0; i < features.size(); ++i) {
        const PathPoint& p = path->path.points()[i];
        EXPECT_NEAR(p.x, original[i].x, 1);
        EXPECT_NEAR(p.y, original[i].y, 1);
        EXPECT_TRUE(featuresNear(p.x, p.y).count(features[i])) << "vertex " << i << " zoomed back";
    }
}

TEST_F(EditWindowTest, UndoAfterZoomTakesBackTheEditAndKeepsTheZoom) {
    open();
    markSpan(0, 40);
    stroke({{40, 120}, {280, 120}});
    click(kEditZoomOut);
    ASSERT_EQ(document->width, 240);
    QTest::keyClick(platform(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(document->objects.size(), 1u) << "the first undo takes the path away";
    EXPECT_EQ(document->width, 240) << "the picture stays at the zoom the window shows";
    EXPECT_EQ(document->objects.back()->w, 240);
}

TEST_F(EditWindowTest, LargeClipOpensSmallAndZoomStopsWhereThePictureFits) {
    const std::string wide = edit_testing::barCodedClip(3, 2000, 900);
    ASSERT_FALSE(wide.empty());
    open(wide);
    EXPECT_EQ(window->zoomLevel(), 0) << "240 pixels high needs a quarter";
    EXPECT_EQ(document->width, 500);
    EXPECT_EQ(document->height, 225);
    click(kEditZoomIn);
    EXPECT_EQ(window->zoomLevel(), 1);
    EXPECT_EQ(document->width, 660);
    click(kEditZoomIn);
    EXPECT_EQ(window->zoomLevel(), 1) << "half size would not fit the picture area";
    click(kEditZoomOne);
    EXPECT_EQ(window->zoomLevel(), 0);
    click(kEditZoomOut);
    EXPECT_EQ(window->zoomLevel(), 0);
}

TEST_F(EditWindowTest, DeleteRemovesSelectedPathsButNeverTheClip) {
    open();
    markSpan(0, 40);
    stroke({{40, 60}, {280, 60}});
    ASSERT_EQ(document->objects.size(), 2u);
    document->selectAll(true);
    click(kEditDelete);
    ASSERT_EQ(document->objects.size(), 1u);
    EXPECT_EQ(document->objects.back()->type(), ObjectType::Movie);
    EXPECT_EQ(document->flaggedCount, 0);
    EXPECT_FALSE(window->widgetById(kEditDelete)->isEnabled());
    window->onCommand(kEditDelete);
    ASSERT_EQ(document->objects.size(), 1u);
    EXPECT_EQ(shownFrame(*window), 40) << "the clip still shows";
    QTest::keyClick(platform(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(document->objects.size(), 2u) << "delete is undone in one step";
}

TEST_F(EditWindowTest, FrameStepLeavesAtMostMaxFrameFlagged) {
    const std::string longClip = edit_testing::barCodedClip(300, 64, 48);
    ASSERT_FALSE(longClip.empty());
    open(longClip);
    markSpan(0, 299);
    stroke({{4, 20}, {60, 20}});
    const int step = document->frameStep;
    EXPECT_LE(document->flaggedCount, 50);
    ASSERT_GT(step, 0);
    document->frameStep = step - 1;
    EXPECT_GT(document->recomputeFlags(), 50) << "the smallest step that fits";
}

TEST_F(EditWindowTest, SlideBarDrawsItsThumbAtThePosition) {
    open();
    SlideBar* bar = window->slideBar();
    EXPECT_EQ(bar->thumbWidth(), 128) << "a fifth of 640";
    stepTo(59);
    EXPECT_EQ(bar->thumbOffset(), 1 + 640 - 128);
    // Dragging the thumb moves through the clip.
    const int y = bar->y() + bar->height() / 2;
    QTest::mouseMove(platform(), QPoint(bar->x() + 64, y));
    QTest::mousePress(platform(), Qt::LeftButton, {}, QPoint(bar->x() + 64, y));
    QTest::mouseMove(platform(), QPoint(bar->x() + 320, y));
    QTest::mouseRelease(platform(), Qt::LeftButton, {}, QPoint(bar->x() + 320, y));
    EXPECT_EQ(document->currentFrame, bar->value());
    EXPECT_EQ(shownFrame(*window), bar->value());
    EXPECT_GT(bar->value(), 20);
    EXPECT_LT(bar->value(), 40);
    saveScreenshot(*window, "edit_09_scrubbed");
}

TEST_F(EditWindowTest, TheRunEndsWithAcceptDiscardOrClose) {
    std::vector<int> results;
    for (int action = 0; action < 3; ++action) {
        document = edit_testing::documentWithClip(clip);
        ASSERT_TRUE(document);
        DialogHandler previous = setDialogHandler([action](ShownDialog& shown) {
            auto* edit = dynamic_cast<EditWindow*>(shown.window);
            if (edit == nullptr)
                return;
            if (action == 0)
                edit->onCommand(kEditAccept);
            else if (action == 1)
                edit->onCommand(kEditDiscard);
            else
                edit->onClose();  // the quit was confirmed before

        });
        setQuitConfirmed(action == 2);
        results.push_back(runEditWindow(nullptr, *document));
        setQuitConfirmed(false);
        setDialogHandler(previous);
    }
    EXPECT_EQ(results, (std::vector<int>{1, 0, -1}));
}

TEST_F(EditWindowTest, IsAnApplicationWindowWithTheEditHelpPage) {
    open();
    EXPECT_EQ(window->helpPage(), "edit.html");
    EXPECT_NE(window->widgetById(kCommandQuit), nullptr) << "the strip buttons of every application window";
    // A press on the strip moves the window; it never reaches the tools.
    QTest::mousePress(platform(), Qt::LeftButton, {}, QPoint(300, 20));
    EXPECT_FALSE(document->dragging);
    EXPECT_TRUE(window->isDragging());
    QTest::mouseRelease(platform(), Qt::LeftButton, {}, QPoint(300, 20));
    EXPECT_EQ(document->objects.size(), 1u);
}

}  // namespace
}  // namespace veltro
