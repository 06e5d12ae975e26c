// The drag-motion object in its document: defaults, the antialiased path
// against an independently computed coverage, states, arrowheads, capture
// band, the riding thumbnail, hit tests, timeline row and snapshot lines.
#include "dragmotion/drag_motion_object.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <array>
#include <memory>
#include <vector>

#include "document/document.h"
#include "document/media_cache.h"
#include "dragmotion/drag_motion_kind.h"
#include "services/canvas.h"
#include "services/settings.h"

namespace veltro {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

class DragMotionTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = setSettings(std::make_unique<Settings>());
        registerDragMotionObjectKind();
    }
    void TearDown() override { setSettings(std::move(previous_)); }

    // A path object over frames 0..99 without arrowheads, inserted at the front.
    DragMotionObject* addPath(Document& doc, const std::vector<std::array<int, 3>>& points) {
        auto object = std::make_unique<DragMotionObject>(doc);
        for (const auto& p : points) object->path.append(p[0], p[1], p[2], 1);
        object->finalizePath();
        object->ranges.push_back({0, 99});
        object->arrow = 0;
        DragMotionObject* raw = object.get();
        doc.insertObject(std::move(object));
        return raw;
    }

    static uint32_t rgb(Canvas& canvas, int x, int y) { return canvas.toImage()->at(x, y) & 0xFFFFFF; }

    static std::unique_ptr<MediaEntry> solidImage(int w, int h, uint32_t color) {
        auto entry = std::make_unique<MediaEntry>();
        entry->fileName = "thumb.png";
        entry->image = std::make_unique<ImageBuffer>(w, h);
        std::fill(entry->image->pixels.begin(), entry->image->pixels.end(), 0xFF000000u | color);
        return entry;
    }

    std::unique_ptr<Settings> previous_;
};

TEST_F(DragMotionTest, DefaultsComeFromTheSettingsStore) {
    Document doc(100, 100);
    DragMotionObject plain(doc);
    EXPECT_EQ(plain.name, "dpath0");
    EXPECT_EQ(plain.pathColor[0], 0xFF8080u);
    EXPECT_EQ(plain.pathColor[1], 0xFF0000u);
    EXPECT_EQ(plain.pathColor[2], 0x000000u);
    EXPECT_EQ(plain.pathWidth[0], 1);
    EXPECT_EQ(plain.pathWidth[1], 1);
    EXPECT_EQ(plain.pathWidth[2], 0);
    EXPECT_EQ(plain.arrow, 3);
    EXPECT_EQ(plain.bezier, 0);
    EXPECT_EQ(plain.distance, 0);

    settings().set("dmcolor1", "12ab34");
    settings().set("dmlinew2", "4");
    settings().set("dmarrow", "4");
    settings().set("dmdist", "25");
    settings().set("dmthumbdir", "2");
    addPath(doc, {{0, 0, 0}, {10, 0, 10}});
    DragMotionObject custom(doc);
    EXPECT_EQ(custom.name, "dpath1");
    EXPECT_EQ(custom.pathColor[1], 0x12AB34u);
    EXPECT_EQ(custom.pathWidth[2], 4);
    EXPECT_EQ(custom.arrow, 4);
    EXPECT_EQ(custom.distance, 25);
    EXPECT_EQ(custom.thumbnailDir, 2);
}

// The antialiased path: 3 x 3 coverage of a mask at twice the resolution,
// blended with what the canvas held.
TEST_F(DragMotionTest, AntialiasedPathBlendsMaskCoverageWithTheCanvas) {
    const int W = 48, H = 24;
    const uint32_t background = 0x406080;
    Document doc(W, H);
    DragMotionObject* object = addPath(doc, {{10, 10}, {30, 10, 10}});
    object->pathWidth[0] = 1;
    object->pathColor[0] = 0xFF8020;
    Canvas& canvas = doc.canvas();
    canvas.fillRect(0, 0, W, H, background);
    object->draw(canvas, 0);

    // Width 1 stamps 2 x 2 blocks at the doubled positions (20..60, 20).
    std::vector<uint8_t> mask(static_cast<size_t>(4 * W * H), 0);
    for (int x = 20; x <= 60; ++x)
        for (int j = 0; j < 2; ++j)
            for (int k = 0; k < 2; ++k) mask[static_cast<size_t>(20 + j) * (2 * W) + x + k] = 1;
    ImagePtr shown = canvas.toImage();
    int blended = 0;
    for (int i = 0; i < H; ++i) {
        for (int j = 0; j < W; ++j) {
            uint32_t expected = background;
            if (i < H - 1 && j < W - 1) {
                int t = 0;
                for (int r = 2 * i; r <= 2 * i + 2; ++r)
                    for (int c = 2 * j; c <= 2 * j + 2; ++c) t += mask[static_cast<size_t>(r) * (2 * W) + c];
                if (t == 9) {
                    expected = 0xFF8020;
                } else if (t > 0) {
                    ++blended;
                    auto mix = [t](uint32_t a, uint32_t b) { return (a * t + b * (9 - t)) / 9; };
                    expected = mix(0xFF, 0x40) << 16 | mix(0x80, 0x60) << 8 | mix(0x20, 0x80);
                }
            }
            ASSERT_EQ(shown->at(j, i) & 0xFFFFFF, expected) << j << "," << i;
        }
    }
    EXPECT_GT(blended, 20);
}

TEST_F(DragMotionTest, DirectDrawingWhileDraggingAndEmptyStateTwo) {
    Document doc(64, 32);
    DragMotionObject* object = addPath(doc, {{10, 16, 0}, {50, 16, 10}});
    doc.dragging = true;
    object->draw(doc.canvas(), 0);
    // Default width of state 2 is 0: no path at all.
    EXPECT_EQ(rgb(doc.canvas(), 30, 16), kWhite);

    object->pathWidth[2] = 2;
    object->pathColor[2] = 0x0000FF;
    object->draw(doc.canvas(), 0);
    EXPECT_EQ(rgb(doc.canvas(), 30, 16), 0x0000FFu);
    // Direct drawing has no blended edge colours.
    ImagePtr image = doc.canvas().toImage();
    for (uint32_t p : image->pixels) EXPECT_TRUE((p & 0xFFFFFF) == kWhite || (p & 0xFFFFFF) == 0x0000FF);
}

TEST_F(DragMotionTest, StatesFollowActiveObjectAndReappearance) {
    Document doc(64, 32);
    DragMotionObject* object = addPath(doc, {{10, 16, 0}, {50, 16, 10}});
    object->ranges = {{0, 5}};
    object->pathColor = {0x00FF00, 0xFF0000, 0x0000FF};
    object->pathWidth = {2, 2, 2};
    doc.editing = true;  // direct drawing, exact colours
    EXPECT_EQ(object->drawState(), kPathStateNormal);
    object->draw(doc.canvas(), 0);
    EXPECT_EQ(rgb(doc.canvas(), 30, 16), 0x00FF00u);

    // Skipped at a frame outside its range, it comes back highlighted.
    object->draw(doc.canvas(), 8);
    EXPECT_EQ(object->reappeared, 1);
    object->draw(doc.canvas(), 3);
    EXPECT_EQ(rgb(doc.canvas(), 30, 16), 0xFF0000u);
    EXPECT_EQ(object->reappeared, 1);

    // Picked by the pointer it is active and the highlight is consumed.
    doc.activeObject = object;
    object->draw(doc.canvas(), 3);
    EXPECT_EQ(object->reappeared, 0);
    doc.activeObject = nullptr;
    object->draw(doc.canvas(), 3);
    EXPECT_EQ(rgb(doc.canvas(), 30, 16), 0x00FF00u);
    doc.dragging = true;
    object->draw(doc.canvas(), 3);
    EXPECT_EQ(rgb(doc.canvas(), 30, 16), 0x0000FFu);
}

TEST_F(DragMotionTest, UnexportedObjectsAreNeitherDrawnNorEncoded) {
    Document doc(64, 32);
    DragMotionObject* object = addPath(doc, {{10, 16, 20}, {50, 16, 30}});
    EXPECT_EQ(doc.recomputeFlags(), 11);
    object->exported = 0;
    EXPECT_EQ(doc.recomputeFlags(), 0);
    doc.editing = true;
    object->draw(doc.canvas(), 25);
    ImagePtr image = doc.canvas().toImage();
    for (uint32_t p : image->pixels) ASSERT_EQ(p & 0xFFFFFF, kWhite);
    EXPECT_EQ(object->reappeared, 1);
}

TEST_F(DragMotionTest, AutomaticArrowheadsPointAwayFromThePath) {
    Document doc(64, 32);
    DragMotionObject* object = addPath(doc, {{10, 16, 0}, {50, 16, 3}});
    object->arrow = kArrowAutomatic;
    object->pathColor[0] = 0x000000;
    // Triangles: start (10,20) (10,12) (6,16); end (50,12) (50,20) (54,16).
    doc.currentFrame = 0;
    object->draw(doc.canvas(), 0);
    EXPECT_EQ(rgb(doc.canvas(), 52, 16), 0u);
    EXPECT_EQ(rgb(doc.canvas(), 7, 16), kWhite);

    doc.canvas().fillRect(0, 0, 64, 32, kWhite);
    doc.currentFrame = 3;
    object->draw(doc.canvas(), 3);
    EXPECT_EQ(rgb(doc.canvas(), 7, 16), 0u);
    EXPECT_EQ(rgb(doc.canvas(), 52, 16), kWhite);

    // The thresholds are a third of the way in from each end, in doubles:
    // with frames 0..3 the start arrow shows from frame 2, the end arrow up
    // to frame 1.
    const bool startAt[] = {false, false, true, true};
    const bool endAt[] = {true, true, false, false};
    for (int f = 0; f <= 3; ++f) {
        doc.currentFrame = f;
        EXPECT_EQ(object->startArrowShown(), startAt[f]) << f;
        EXPECT_EQ(object->endArrowShown(), endAt[f]) << f;
    }
    // Fixed bits are taken as they are.
    object->arrow = kArrowAtStart;
    doc.currentFrame = 0;
    EXPECT_TRUE(object->startArrowShown());
    EXPECT_FALSE(object->endArrowShown());
}

TEST_F(DragMotionTest, CaptureBandWhileEditingTheSelectedPath) {
    Document doc(64, 40);
    DragMotionObject* object = addPath(doc, {{10, 16, 0}, {50, 16, 10}});
    object->distance = 6;
    doc.editing = true;
    object->draw(doc.canvas(), 0);
    EXPECT_EQ(rgb(doc.canvas(), 30, 21), kWhite);  // not selected
    object->selected = true;
    object->draw(doc.canvas(), 0);
    EXPECT_EQ(rgb(doc.canvas(), 30, 21), kCaptureBandColor);
    EXPECT_EQ(rgb(doc.canvas(), 30, 16), 0xFF8080u);  // the path on top

    // Measured from the thumbnail: a disc around the on-path position.
    doc.canvas().fillRect(0, 0, 64, 40, kWhite);
    object->fromThumbnails = 1;
    doc.currentFrame = 5;
    object->draw(doc.canvas(), 5);
    EXPECT_EQ(rgb(doc.canvas(), 30, 20), kCaptureBandColor);
    EXPECT_EQ(rgb(doc.canvas(), 12, 21), kWhite);
}

TEST_F(DragMotionTest, ThumbnailRidesAlongAndKeepDecidesOutsideTheSpan) {
    Document doc(80, 40);
    DragMotionObject* object = addPath(doc, {{10, 20, 0}, {50, 20, 40}});
    object->pathWidth = {0, 0, 0};
    auto red = solidImage(4, 4, 0xFF0000);
    object->thumbnailImages.push_back(red.get());
    Canvas& canvas = doc.canvas();

    doc.currentFrame = 20;
    object->draw(canvas, 20);
    EXPECT_EQ(object->thumbX, 30);
    EXPECT_EQ(object->thumbY, 20);
    EXPECT_EQ(rgb(canvas, 28, 18), 0xFF0000u);
    EXPECT_EQ(rgb(canvas, 31, 21), 0xFF0000u);
    EXPECT_EQ(rgb(canvas, 32, 20), kWhite);

    canvas.fillRect(0, 0, 80, 40, kWhite);
    doc.currentFrame = 60;
    object->draw(canvas, 60);
    EXPECT_EQ(rgb(canvas, 30, 20), kWhite);

    object->keep = 1;
    object->draw(canvas, 60);
    EXPECT_EQ(rgb(canvas, 30, 20), 0xFF0000u);
}

TEST_F(DragMotionTest, ThumbnailMirrorsWithTheMotion) {
    Document doc(80, 40);
    DragMotionObject* object = addPath(doc, {{10, 20, 0}, {50, 20, 40}});
    object->pathWidth = {0, 0, 0};
    object->thumbnailDir = kThumbnailMirrored;
    auto entry = solidImage(4, 1, 0x00FF00);
    entry->image->at(0, 0) = 0xFF0000FFu;  // blue on the left
    object->thumbnailImages.push_back(entry.get());
    doc.activeObject = object;
    Canvas& canvas = doc.canvas();

    doc.currentFrame = 30;  // moved right from x = 0
    object->draw(canvas, 30);
    EXPECT_EQ(object->mirrorFlag, 1);
    EXPECT_EQ(doc.lastThumbnailX, 40);
    EXPECT_EQ(rgb(canvas, 41, 20), 0x0000FFu);  // the left pixel now on the right
    EXPECT_EQ(rgb(canvas, 38, 20), 0x00FF00u);

    canvas.fillRect(0, 0, 80, 40, kWhite);
    doc.currentFrame = 10;  // moved left
    object->draw(canvas, 10);
    EXPECT_EQ(object->mirrorFlag, 0);
    EXPECT_EQ(rgb(canvas, 18, 20), 0x0000FFu);
    EXPECT_EQ(rgb(canvas, 21, 20), 0x00FF00u);
}

TEST_F(DragMotionTest, RotatedThumbnailTurnsToTheDirection) {
    ImageBuffer image(4, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) image.at(x, y) = 0xFF000000u | static_cast<uint32_t>(y * 4 + x + 1);
    EXPECT_EQ(rotatedImage(image, 0, 0), nullptr);
    // Along +x the picture sits unturned, centred on an 8 x 8 square.
    ImagePtr along = rotatedImage(image, 5, 0);
    ASSERT_TRUE(along);
    ASSERT_EQ(along->width, 8);
    EXPECT_TRUE(along->hasAlpha);
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            const int sx = 2 + (j - 4), sy = 1 + (i - 4);
            const uint32_t expected = (sx >= 0 && sx < 4 && sy >= 0 && sy < 2) ? image.at(sx, sy) : 0u;
            EXPECT_EQ(along->at(j, i), expected) << j << "," << i;
        }
    }
    // Along +y a quarter turn: output (u, v) reads source (v, -u).
    ImagePtr down = rotatedImage(image, 0, 3);
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            const int sx = 2 + (i - 4), sy = 1 - (j - 4);
            const uint32_t expected = (sx >= 0 && sx < 4 && sy >= 0 && sy < 2) ? image.at(sx, sy) : 0u;
            EXPECT_EQ(down->at(j, i), expected) << j << "," << i;
        }
    }
    ImagePtr mirrored = mirroredImage(image);
    EXPECT_EQ(mirrored->at(0, 1), image.at(3, 1));
}

TEST_F(DragMotionTest, HitTestsVerticesSegmentsAndCurves) {
    Document doc(200, 200);
    DragMotionObject* object = addPath(doc, {{20, 100, 0}, {100, 20, 10}, {180, 100, 20}});
    int index = -2;
    EXPECT_EQ(object->hitTest(102, 22, 4, index), kHitVertex);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(object->hitTest(60, 62, 4, index), kHitSegment);
    EXPECT_EQ(index, 1);
    // The curve's top is at (100, 60): only a Bézier path answers there.
    EXPECT_EQ(object->hitTest(100, 62, 4, index), kHitNone);
    object->bezier = 1;
    EXPECT_EQ(object->hitTest(100, 62, 4, index), kHitMove);
    EXPECT_EQ(index, -1);

    // A two-point path with bezier set is measured as a polyline.
    DragMotionObject* line = addPath(doc, {{20, 150, 0}, {180, 150, 10}});
    line->bezier = 1;
    EXPECT_EQ(&line->shape(), &polylineShape());
    EXPECT_EQ(line->distanceFrom(100, 160), 10);
    EXPECT_EQ(line->hitTest(100, 160, 4, index), kHitNone);

    // With a path image, the rectangle answers.
    auto entry = solidImage(10, 10, 0x123456);
    line->pathImage[0] = entry.get();
    line->setRect(0, 0, 50, 50);
    EXPECT_EQ(line->hitTest(25, 25, 4, index), kHitMove);
    EXPECT_EQ(line->hitTest(1, 1, 4, index), kHitTopLeft);
    int w = 0, h = 0;
    line->naturalSize(w, h);
    EXPECT_EQ(w, 10);
}

TEST_F(DragMotionTest, MovingTheObjectMovesItsPathAndFittingFollowsThePoints) {
    Document doc(200, 200);
    DragMotionObject* object = addPath(doc, {{20, 30, 0}, {60, 90, 10}, {40, 10, 20}});
    object->fitRectToPath();
    EXPECT_EQ(object->x, 20);
    EXPECT_EQ(object->y, 10);
    EXPECT_EQ(object->w, 41);
    EXPECT_EQ(object->h, 81);
    object->setPosition(25, 5);
    EXPECT_EQ(object->path.point(0)->x, 25);
    EXPECT_EQ(object->path.point(0)->y, 25);
    EXPECT_EQ(object->path.point(1)->x, 65);
    EXPECT_EQ(object->path.point(2)->y, 5);
}

TEST_F(DragMotionTest, TimelineRowShowsBarsSegmentsAndPointMarks) {
    Document doc(100, 100);
    DragMotionObject* object = addPath(doc, {{0, 0, 10}, {10, 0, 50}});
    object->path.point(1)->flags |= kPathHandOverFlag;
    object->ranges = {{0, 99}};
    Canvas row(400, 20);
    object->drawTimelineRow({&row, 0, 2.0, 0, 20, 400});
    EXPECT_EQ(rgb(row, 200, 10), 0x00FF00u);  // the range bar
    EXPECT_EQ(rgb(row, 200, 3), 0x000000u);   // hand-over segment in black
    EXPECT_EQ(rgb(row, 161, 5), 0x0000FFu);   // mark at frame 10: x = 160, 2 wide
    EXPECT_EQ(rgb(row, 241, 6), 0x0000FFu);
    EXPECT_EQ(rgb(row, 162, 5), 0x00FF00u);
    object->path.point(1)->flags &= ~kPathHandOverFlag;
    object->drawTimelineRow({&row, 0, 2.0, 0, 20, 400});
    EXPECT_EQ(rgb(row, 200, 3), 0xFF0000u);
}

TEST_F(DragMotionTest, SnapshotLinesRoundTrip) {
    Document doc(320, 240);
    DragMotionObject* object = addPath(doc, {{10, 20, 0}, {30, 40, 50}});
    object->path.append(70, 80, 99, 0);
    object->finalizePath();
    object->pathColor = {0xFF8080, 0x010203, 0xFFFFFF};
    object->pathWidth = {3, 1, 0};
    object->arrow = 4;
    object->bezier = 1;
    object->distance = 12;
    object->fromThumbnails = 1;
    object->keep = 1;
    object->thumbnailDir = 2;
    object->name = "my path";
    std::string text;
    ASSERT_TRUE(doc.writeSnapshot(text));
    EXPECT_NE(text.find(".ODMI0 \n.ODMW0 3\n.ODMC0 255 128 128\n.ODMI1 \n"), std::string::npos) << text;
    EXPECT_NE(text.find(".ODMA 4\n.ODMB 1\n.ODMD 12\n.ODMFT 1\n.ODMK 1\n.ODMTD 2\n"), std::string::npos) << text;
    EXPECT_NE(text.find(".P 10 20 0 1\n.P 30 40 50 1\n.P 70 80 99 0\n..\n"), std::string::npos) << text;

    Document copy(320, 240);
    ASSERT_TRUE(copy.readSnapshot(text));
    ASSERT_EQ(copy.objects.size(), 1u);
    ASSERT_EQ(copy.objects[0]->type(), ObjectType::DragMotion);
    auto* read = static_cast<DragMotionObject*>(copy.objects[0].get());
    EXPECT_EQ(read->name, "my path");
    EXPECT_EQ(read->pathColor[1], 0x010203u);
    EXPECT_EQ(read->pathWidth[0], 3);
    EXPECT_EQ(read->fromThumbnails, 1);
    ASSERT_EQ(read->path.count(), 3);
    EXPECT_TRUE(read->path.point(2)->handOver());
    EXPECT_FALSE(read->path.point(1)->handOver());
    EXPECT_EQ(read->path.point(2)->frame, 99);
    // Normals are rebuilt on reading, so projection works at once.
    double frame = 0;
    ASSERT_TRUE(read->path.project(20, 30, &frame));
    EXPECT_NEAR(frame, 25.0, 1e-9);
    std::string again;
    ASSERT_TRUE(copy.writeSnapshot(again));
    EXPECT_EQ(again, text);
}

TEST_F(DragMotionTest, HostileSnapshotLinesFailCleanly) {
    const std::string head = ".V 3\n.D 320 240\n.L 100\n.O 2\n.OP 0 0 0 0\n.ON x\n";
    {
        Document doc;
        EXPECT_FALSE(doc.readSnapshot(head + ".P 1 2 nonsense 1\n..\n"));
        EXPECT_TRUE(doc.objects.empty());
    }
    {
        Document doc;
        EXPECT_FALSE(doc.readSnapshot(head + ".ODMC0 1 2\n..\n"));
    }
    {
        // More points than a path holds.
        std::string text = head;
        for (int i = 0; i <= kMaxPathPoints; ++i) text += ".P 1 2 3 1\n";
        Document doc;
        EXPECT_FALSE(doc.readSnapshot(text + "..\n"));
        EXPECT_TRUE(doc.objects.empty());
    }
    {
        // Out-of-range index digits and huge numbers are taken without harm.
        Document doc;
        ASSERT_TRUE(doc.readSnapshot(head + ".ODMW7 3\n.ODMI9 x.png\n.ODMW0 99999999999\n.ODMC2 -1 300 7\n"
                                            ".P 2147483647 -2147483648 12.7 0\n.P 0 0 5 1\n..\n"));
        auto* object = static_cast<DragMotionObject*>(doc.objects.at(0).get());
        EXPECT_EQ(object->pathWidth[0], 2147483647);
        EXPECT_EQ(object->path.point(0)->frame, 12);
        EXPECT_EQ(object->path.count(), 2);
        doc.render();
        object->draw(doc.canvas(), 0);
    }
}

}  // namespace
}  // namespace veltro

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
