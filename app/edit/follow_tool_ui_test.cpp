// The follow button of the edit window with real pointer events: usable once
// both frames are marked, a click on the moving object makes a path on it
// over the marked frames with one undo step, a dragged box does too, and
// following that finds nothing leaves the document as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "app/edit/edit_test_support.h"
#include "dragmotion/drag_motion_object.h"
#include "dragmotion/path_shape.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

using edit_testing::EditWindowTest;

// A textured square crossing a noisy picture, its centre at (44 + 4 f, 120)
// in frame f; made once per test program.
std::string movingClip() {
    static std::string path;
    if (!path.empty())
        return path;
    const auto dir = std::filesystem::temp_directory_path() / ("veltro_follow_ui_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string object = (dir / "object.png").string();
    const std::string clip = (dir / "moving.avi").string();
    const std::string make =
        "ffmpeg -v error -y -f lavfi -i 'life=s=48x48:mold=10:ratio=0.5:seed=3:death_color=#203040:"
        "life_color=#f0c020' -frames:v 1 '" + object + "' && ffmpeg -v error -y -f lavfi -i "
        "'color=c=0x808080:s=320x240:r=25,noise=alls=40:allf=u' -loop 1 -i '" + object +
        "' -filter_complex \"[0][1]overlay=x='20+4*n':y=96\" -frames:v 50 -c:v mjpeg -q:v 3 '" + clip + "'";
    if (std::system(make.c_str()) == 0)
        path = clip;
    return path;
}

class FollowToolTest : public EditWindowTest {
protected:
    void SetUp() override {
        EditWindowTest::SetUp();
        if (IsSkipped())
            return;
        recorder = std::make_unique<testing::RecordMessages>();
        ASSERT_FALSE(movingClip().empty());
        open(movingClip());
    }
    void TearDown() override {
        recorder.reset();
        EditWindowTest::TearDown();
    }
    const std::vector<std::string>& messages() const { return recorder->messages(); }

    DragMotionObject* onlyPath() {
        if (document->objects.size() != 2 || document->objects.front()->type() != ObjectType::DragMotion)
            return nullptr;
        return static_cast<DragMotionObject*>(document->objects.front().get());
    }

    void expectOnTheObject(const DragPath& path, int first, int last) {
        ASSERT_GE(path.count(), 2);
        EXPECT_EQ(path.point(0)->frame, first);
        EXPECT_EQ(path.point(path.count() - 1)->frame, last);
        for (int f = first; f <= last; ++f) {
            PathPosition p;
            ASSERT_TRUE(polylineShape().positionAt(path, f, p));
            EXPECT_LE(std::hypot(p.x - (44 + 4 * f), p.y - 120), 3.0) << "frame " << f;
        }
    }

    std::unique_ptr<testing::RecordMessages> recorder;
};

TEST_F(FollowToolTest, AClickOnTheObjectMakesItsPathWithOneUndoStep) {
    Widget* follow = window->widgetById(kEditFollow);
    ASSERT_NE(follow, nullptr);
    EXPECT_FALSE(follow->isEnabled()) << "nothing to follow before both frames are marked";
    markSpan(10, 40);
    ASSERT_EQ(window->workflowStep(), 5);
    EXPECT_TRUE(follow->isEnabled());
    // From frame 25, inside the span: followed both ways.
    stepTo(25);
    click(kEditFollow);
    EXPECT_TRUE(window->following());
    line(QPoint(144, 120), QPoint(145, 120));
    EXPECT_FALSE(window->following());
    DragMotionObject* path = onlyPath();
    ASSERT_NE(path, nullptr);
    EXPECT_TRUE(path->selected);
    expectOnTheObject(path->path, 10, 40);
    EXPECT_EQ(window->workflowStep(), 6);
    EXPECT_TRUE(messages().empty()) << messages().front();
    window->onKey(26);
    EXPECT_EQ(document->objects.size(), 1u) << "one undo step removes the followed path";
}

TEST_F(FollowToolTest, ADraggedBoxAroundTheObjectIsFollowedToo) {
    markSpan(0, 30);
    stepTo(0);
    click(kEditFollow);
    stroke({QPoint(22, 98), QPoint(66, 142)});
    DragMotionObject* path = onlyPath();
    ASSERT_NE(path, nullptr);
    expectOnTheObject(path->path, 0, 30);
}

TEST_F(FollowToolTest, NothingFollowedLeavesTheDocumentAsItWas) {
    markSpan(0, 49);
    // The button toggles the tool off again.
    click(kEditFollow);
    click(kEditFollow);
    EXPECT_FALSE(window->following());
    // A span of a single frame cannot make a path: a message, no object, no
    // undo step, still the drawing step.
    click(kEditMarkIn);  // frame 49 is now both marks
    click(kEditStepBack);
    click(kEditStepOn);
    click(kEditMarkOut);
    ASSERT_EQ(window->workflowStep(), 5);
    click(kEditFollow);
    line(QPoint(240, 120), QPoint(240, 120));
    EXPECT_EQ(document->objects.size(), 1u);
    EXPECT_FALSE(document->canUndo());
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_NE(messages().front().find("could not be followed"), std::string::npos) << messages().front();
    EXPECT_EQ(window->workflowStep(), 5);
}

}  // namespace
}  // namespace veltro
