// Playing by dragging over a document: which path the pointer picks, how a
// drag along it becomes the shown frame (snapped to flagged frames), the
// capture distance and the hand-over from one path to the next.
#include "dragmotion/play_tool.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "document/document.h"
#include "dragmotion/drag_motion_kind.h"
#include "dragmotion/drag_motion_object.h"
#include "services/settings.h"

namespace veltro {
namespace {

class PlayToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = setSettings(std::make_unique<Settings>());
        registerDragMotionObjectKind();
    }
    void TearDown() override { setSettings(std::move(previous_)); }

    // A path over the given points, visible over first..last, appended at the
    // end of the list (behind the paths added before it).
    DragMotionObject* addPath(Document& doc, const std::vector<std::array<int, 3>>& points, int first = 0,
                              int last = 99) {
        auto object = std::make_unique<DragMotionObject>(doc);
        for (const auto& p : points) object->path.append(p[0], p[1], p[2], 1);
        object->finalizePath();
        object->fitRectToPath();
        object->ranges.push_back({first, last});
        DragMotionObject* raw = object.get();
        doc.appendObject(std::move(object));
        return raw;
    }

    // Presses at the first position, drags through the rest and releases;
    // the shown frame after each position.
    static std::vector<int> replay(Document& doc, PlayTool& tool, const std::vector<std::array<int, 2>>& positions) {
        std::vector<int> frames;
        for (size_t i = 0; i < positions.size(); ++i) {
            const auto [x, y] = positions[i];
            if (i == 0) {
                tool.hover(doc, x, y);
                tool.down(doc, x, y);
            } else {
                tool.drag(doc, x, y);
            }
            frames.push_back(doc.currentFrame);
        }
        tool.up(doc);
        return frames;
    }

    std::unique_ptr<Settings> previous_;
};

TEST_F(PlayToolTest, FindObjectAtPicksTheNearestQualifyingPath) {
    Document doc(200, 100);
    EXPECT_EQ(findObjectAt(doc, 50, 50), nullptr) << "no objects";

    DragMotionObject* top = addPath(doc, {{10, 20, 0}, {190, 20, 99}});
    DragMotionObject* bottom = addPath(doc, {{10, 80, 0}, {190, 80, 99}});
    EXPECT_EQ(findObjectAt(doc, 100, 30), top);
    EXPECT_EQ(findObjectAt(doc, 100, 70), bottom);
    EXPECT_EQ(findObjectAt(doc, 100, 50), top) << "equal distances: the first in list order";

    EXPECT_EQ(findObjectAt(doc, -1, 30), nullptr);
    EXPECT_EQ(findObjectAt(doc, 200, 30), nullptr);
    EXPECT_EQ(findObjectAt(doc, 100, 100), nullptr);
    EXPECT_EQ(findObjectAt(doc, 100, -1), nullptr);

    top->exported = 0;
    EXPECT_EQ(findObjectAt(doc, 100, 21), bottom) << "unexported paths never play";
    top->exported = 1;
    top->ranges = {{50, 99}};
    doc.currentFrame = 10;
    EXPECT_EQ(findObjectAt(doc, 100, 21), bottom) << "paths not visible now are skipped";
    doc.currentFrame = 60;
    EXPECT_EQ(findObjectAt(doc, 100, 21), top);
}

TEST_F(PlayToolTest, CaptureDistanceLimitsWhichPathsQualify) {
    Document doc(200, 100);
    DragMotionObject* near = addPath(doc, {{10, 20, 0}, {190, 20, 99}});
    DragMotionObject* far = addPath(doc, {{10, 80, 0}, {190, 80, 99}});
    near->distance = 20;
    far->distance = 20;
    EXPECT_EQ(findObjectAt(doc, 100, 40), near) << "exactly the capture distance still qualifies";
    EXPECT_EQ(findObjectAt(doc, 100, 50), nullptr) << "30 pixels from both";
    far->distance = 0;
    EXPECT_EQ(findObjectAt(doc, 100, 50), far) << "0 captures at any distance";

    // Hovering 30 pixels from every path shows the no-entry circle and a drag
    // started there changes nothing.
    far->distance = 20;
    PlayTool tool;
    doc.seekFlaggedFrame(37);
    const int before = doc.currentFrame;
    EXPECT_EQ(tool.hover(doc, 100, 50), PlayPointer::NoEntry);
    EXPECT_EQ(doc.activeObject, nullptr);
    EXPECT_EQ(tool.down(doc, 100, 50), PlayPointer::Unchanged);
    EXPECT_EQ(tool.drag(doc, 150, 50), PlayPointer::Unchanged);
    EXPECT_EQ(doc.currentFrame, before);
    EXPECT_TRUE(doc.dragging);
    tool.up(doc);
    EXPECT_FALSE(doc.dragging);

    EXPECT_EQ(tool.hover(doc, 100, 25), PlayPointer::PointingHand);
    EXPECT_EQ(doc.activeObject, near);
}

TEST_F(PlayToolTest, DraggingAlongAPathShowsItsFramesSnappedToFlaggedOnes) {
    Document doc(220, 100);
    doc.frameStep = 0;
    addPath(doc, {{10, 50, 0}, {110, 50, 50}, {210, 50, 100}}, 0, 100);
    doc.recomputeFlags();
    PlayTool tool;
    EXPECT_EQ(tool.hover(doc, 10, 52), PlayPointer::PointingHand);
    // x = 209 projects onto 99.5, shown as 100.
    const std::vector<int> frames = replay(doc, tool, {{10, 52}, {30, 48}, {60, 50}, {110, 60}, {160, 40}, {209, 50}});
    EXPECT_EQ(frames, (std::vector<int>{0, 10, 25, 50, 75, 100}));

    // With every 4th frame sampled, the shown frame steps back to the nearest
    // flagged one and never lands between them.
    doc.frameStep = 3;
    doc.recomputeFlags();
    doc.seekFlaggedFrame(0);
    std::vector<std::array<int, 2>> sweep;
    for (int x = 10; x <= 208; x += 3) sweep.push_back({x, 50});
    sweep.push_back({210, 50});
    const std::vector<int> snapped = replay(doc, tool, sweep);
    int previous = -1;
    for (int f : snapped) {
        EXPECT_NE(doc.frameFlags[static_cast<size_t>(f)] & kFrameEncodeMask, 0) << "frame " << f;
        EXPECT_GE(f, previous) << "a forward drag never goes back";
        previous = f;
    }
    EXPECT_EQ(snapped.back(), 100) << "the run's last frame is always flagged";
    EXPECT_EQ(snapped[2], 0) << "x = 16 projects onto 3, shown as 0";
    EXPECT_EQ(snapped[3], 4) << "x = 19 projects onto 4.5, shown as 4";
    EXPECT_EQ(snapped[snapped.size() - 2], 96) << "x = 208 projects onto 99, shown as 96";
}

TEST_F(PlayToolTest, DraggingBeyondTheEndsKeepsTheEndFrames) {
    Document doc(300, 100);
    addPath(doc, {{50, 50, 10}, {150, 50, 40}, {250, 50, 90}}, 0, 99);
    doc.recomputeFlags();
    PlayTool tool;
    const std::vector<int> frames = replay(doc, tool, {{150, 50}, {260, 50}, {299, 70}, {200, 50}, {20, 40}, {0, 50}});
    EXPECT_EQ(frames, (std::vector<int>{40, 90, 90, 65, 10, 10}));
}

TEST_F(PlayToolTest, HandOverSegmentPassesTheDragToTheNextPath) {
    // Path A runs right along y = 30 over frames 0..50; path B then runs down
    // the right edge over frames 50..100. A's last segment hands over.
    Document doc(200, 200);
    DragMotionObject* a = addPath(doc, {{20, 30, 0}, {100, 30, 25}, {180, 30, 50}});
    DragMotionObject* b = addPath(doc, {{180, 30, 50}, {180, 110, 75}, {180, 190, 100}});
    a->path.point(2)->flags |= kPathHandOverFlag;
    doc.recomputeFlags();
    PlayTool tool;

    const std::vector<int> frames = replay(doc, tool, {{20, 30}, {100, 30}, {150, 30}, {178, 40}, {180, 110}, {181, 180}});
    EXPECT_EQ(doc.activeObject, b);
    EXPECT_EQ(frames[0], 0);
    EXPECT_EQ(frames[1], 25);
    EXPECT_EQ(frames[2], 41);  // 40.6 rounds up
    EXPECT_EQ(frames[4], 75);
    EXPECT_EQ(frames[5], 97);  // 96.9 on B's second segment

    // Without the hand-over mark the drag stays on A and holds its end frame.
    a->path.point(2)->flags &= ~kPathHandOverFlag;
    doc.seekFlaggedFrame(0);
    const std::vector<int> kept = replay(doc, tool, {{20, 30}, {100, 30}, {150, 30}, {178, 40}, {180, 110}, {181, 180}});
    EXPECT_EQ(doc.activeObject, a);
    EXPECT_EQ(kept[5], 50);
}

TEST_F(PlayToolTest, APathLeavingTheViewGivesTheDragToTheOneUnderThePointer) {
    Document doc(200, 200);
    DragMotionObject* early = addPath(doc, {{20, 50, 0}, {180, 50, 40}}, 0, 40);
    DragMotionObject* late = addPath(doc, {{20, 150, 41}, {180, 150, 99}}, 41, 99);
    doc.recomputeFlags();
    PlayTool tool;
    tool.hover(doc, 20, 50);
    ASSERT_EQ(doc.activeObject, early);
    doc.seekFlaggedFrame(60);
    ASSERT_FALSE(early->visibleAt(doc.currentFrame));
    tool.down(doc, 100, 150);
    EXPECT_EQ(doc.activeObject, late);
    EXPECT_EQ(doc.currentFrame, 70);
    tool.up(doc);
}

TEST_F(PlayToolTest, DragWithoutAnActivePathOrWithADegeneratePathIsHarmless) {
    Document doc(100, 100);
    PlayTool tool;
    EXPECT_EQ(tool.drag(doc, 10, 10), PlayPointer::Unchanged);
    DragMotionObject* single = addPath(doc, {{10, 10, 5}});
    doc.recomputeFlags();
    EXPECT_EQ(tool.hover(doc, 10, 10), PlayPointer::NoEntry) << "a one-point path measures as far away";
    doc.activeObject = single;
    doc.seekFlaggedFrame(5);
    const int before = doc.currentFrame;
    EXPECT_EQ(tool.down(doc, 90, 90), PlayPointer::Grip);
    EXPECT_EQ(doc.currentFrame, before);
    tool.up(doc);
}

}  // namespace
}  // namespace veltro
