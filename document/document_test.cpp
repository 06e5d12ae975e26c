// The document model: construction, object list, frame flags, current frame
// and events, media use counts, snapshot text round trips and undo.
#include "document/document.h"

#include <gtest/gtest.h>

#include "document/document_test_support.h"
#include "document/image_object.h"
#include "document/movie_object.h"
#include "document/object_kinds.h"
#include "document/snapshot_text.h"
#include "services/canvas.h"

namespace veltro {
namespace {

using testing_support::ScriptedPrompts;
using testing_support::TempDir;

// A stand-in for the drag-motion kind: a list of points with frames, enough
// for the document's flag runs, reversal and snapshot order.
class TestPathObject : public DocumentObject {
public:
    struct Point {
        int x, y, frame;
    };
    explicit TestPathObject(Document& owner) : DocumentObject(owner, "dpath") {}
    void draw(Canvas&, int) override {}
    ObjectType type() const override { return ObjectType::DragMotion; }
    const char* icon() const override { return "bdm.png"; }
    bool pathFrameSpan(int& first, int& last) const override {
        if (points.empty())
            return false;
        first = points.front().frame;
        last = points.back().frame;
        return true;
    }
    void reversePath() override {
        for (size_t j = 0; j < points.size() / 2; ++j) {
            Point& a = points[j];
            Point& b = points[points.size() - 1 - j];
            std::swap(a.x, b.x);
            std::swap(a.y, b.y);
        }
    }
    bool readSnapshot(SnapshotLineReader& in) override {
        if (!readBaseSnapshot(in))
            return false;
        while (in.key() == "P") {
            int a, b, c, f;
            if (!parseSnapshotPathPoint(in.value(), a, b, c, f))
                return false;
            points.push_back({a, b, c});
            if (!in.next())
                return false;
        }
        return true;
    }
    bool writeSnapshot(std::string& out) const override {
        writeBaseSnapshot(out);
        for (const Point& p : points)
            appendSnapshotLine(out, "P", std::to_string(p.x) + " " + std::to_string(p.y) + " " +
                                             std::to_string(p.frame) + " 1");
        return true;
    }
    std::vector<Point> points;
};

std::unique_ptr<DocumentObject> makeTestPath(Document& document) {
    return std::make_unique<TestPathObject>(document);
}

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::registerTestFormats();
        registerObjectKind(static_cast<int>(ObjectType::DragMotion), makeTestPath);
        previousSettings = setSettings(std::make_unique<Settings>());
        testing_support::installTestResources(dir);
        auto scripted = std::make_unique<ScriptedPrompts>();
        answers = scripted.get();
        previousPrompts = setPrompts(std::move(scripted));
    }
    void TearDown() override {
        setPrompts(std::move(previousPrompts));
        setSettings(std::move(previousSettings));
    }

    TestPathObject* addPath(Document& document, std::vector<TestPathObject::Point> points, int exported = 1) {
        auto object = std::make_unique<TestPathObject>(document);
        object->points = std::move(points);
        object->exported = exported;
        TestPathObject* raw = object.get();
        document.insertObject(std::move(object));
        return raw;
    }

    std::string flagsOf(const Document& document, int from, int to) {
        std::string text;
        for (int f = from; f <= to; ++f)
            text += static_cast<char>('0' + document.frameFlags[static_cast<size_t>(f)]);
        return text;
    }

    TempDir dir;
    ScriptedPrompts* answers = nullptr;
    std::unique_ptr<Prompts> previousPrompts;
    std::unique_ptr<Settings> previousSettings;
};

TEST_F(DocumentTest, NewDocumentTakesItsDefaultsFromSettings) {
    Document plain;
    EXPECT_EQ(plain.width, 320);
    EXPECT_EQ(plain.height, 240);
    EXPECT_EQ(plain.length, 100);
    EXPECT_EQ(plain.frameFlags, std::vector<uint8_t>(100, 0));
    EXPECT_EQ(plain.recomputeFlags(), 0);
    EXPECT_EQ(plain.jpegQuality, 75);
    EXPECT_EQ(plain.name, "Untitled");
    EXPECT_FALSE(plain.canUndo());

    settings().set("def_width", "640");
    settings().set("def_length", "30");
    settings().set("jpeg_quality", "90");
    Document configured(0, 200);
    EXPECT_EQ(configured.width, 640);
    EXPECT_EQ(configured.height, 200);
    EXPECT_EQ(configured.length, 30);
    EXPECT_EQ(configured.jpegQuality, 90);
    EXPECT_EQ(configured.canvas().width(), 640);
}

TEST_F(DocumentTest, HostileSizesAndLengthsAreClamped) {
    Document document;
    document.setSize(1 << 30, -5);
    EXPECT_EQ(document.width, kMaxDocumentDimension);
    EXPECT_EQ(document.height, 1);
    document.setLength(2000000000);
    EXPECT_EQ(document.length, kMaxDocumentLength);
    EXPECT_EQ(document.frameFlags.size(), static_cast<size_t>(kMaxDocumentLength));
    document.setLength(-3);
    EXPECT_EQ(document.length, 0);
    EXPECT_TRUE(document.frameFlags.empty());
}

TEST_F(DocumentTest, RunsAreMarkedWithTheFrameStep) {
    Document document;
    addPath(document, {{0, 0, 10}, {5, 5, 14}});
    EXPECT_EQ(flagsOf(document, 9, 15), "0233330");
    EXPECT_EQ(document.flaggedCount, 5);

    document.frameStep = 1;
    EXPECT_EQ(document.recomputeFlags(), 3);
    EXPECT_EQ(flagsOf(document, 10, 14), "20303");

    // An end that the stride does not reach is still sampled.
    document.frameStep = 2;
    document.recomputeFlags();
    EXPECT_EQ(flagsOf(document, 10, 14), "20033");
}

TEST_F(DocumentTest, BrokenFrameStepsStillMarkTheRun) {
    Document document;
    addPath(document, {{0, 0, 3}, {5, 5, 6}});
    document.frameStep = -7;
    EXPECT_EQ(document.recomputeFlags(), 4);
    EXPECT_EQ(flagsOf(document, 3, 6), "2333");
    document.frameStep = 2147483647;
    EXPECT_EQ(document.recomputeFlags(), 2);
    EXPECT_EQ(flagsOf(document, 3, 6), "2003");
}

TEST_F(DocumentTest, StickyBytesSurviveRecomputation) {
    Document document;
    document.frameFlags[12] = kFrameSticky;
    document.frameFlags[40] = kFrameSticky | kFrameKey;
    document.frameFlags[50] = kFrameSampled;  // not sticky: cleared
    addPath(document, {{0, 0, 10}, {5, 5, 14}});
    EXPECT_EQ(flagsOf(document, 10, 14), "23433");
    EXPECT_EQ(document.frameFlags[40], kFrameSticky | kFrameKey);
    EXPECT_EQ(document.frameFlags[50], 0);
    // The sticky key frame counts, the bare sticky byte does not.
    EXPECT_EQ(document.flaggedCount, 5);
}

TEST_F(DocumentTest, OnlyExportedPathsMarkFrames) {
    Document document;
    addPath(document, {{0, 0, 10}, {5, 5, 14}}, 0);
    EXPECT_EQ(document.flaggedCount, 0);
    auto movie = std::make_unique<MovieObject>(document);
    movie->ranges.push_back({0, 50});
    document.insertObject(std::move(movie));
    EXPECT_EQ(document.flaggedCount, 0);
}

TEST_F(DocumentTest, RunsBeyondTheDocumentAreClampedIntoIt) {
    Document document;
    addPath(document, {{0, 0, 95}, {5, 5, 130}});
    EXPECT_EQ(document.length, 100);
    EXPECT_EQ(flagsOf(document, 94, 99), "023333");

    Document backwards;
    addPath(backwards, {{0, 0, 7}, {5, 5, 4}});
    EXPECT_EQ(flagsOf(backwards, 3, 8), "030020");

    Document outside;
    addPath(outside, {{0, 0, -20}, {5, 5, -10}});
    EXPECT_EQ(outside.frameFlags[0], kFrameRunStart);
    EXPECT_EQ(outside.flaggedCount, 1);

    Document empty(10, 10);
    empty.setLength(0);
    addPath(empty, {{0, 0, 0}, {5, 5, 3}});
    EXPECT_EQ(empty.flaggedCount, 0);
}

TEST_F(DocumentTest, EventsMarkRunsAndKeyFrames) {
    Document document;
    auto run = std::make_unique<TimelineEvent>(0);
    run->startFrame = 20;
    run->endFrame = 22;
    auto keys = std::make_unique<TimelineEvent>(1);
    keys->keyFrames = {5, 21, 99, 100, -1};
    document.events.push_back(std::move(run));
    document.events.push_back(std::move(keys));
    document.frameFlags[99] = kFrameSticky;
    EXPECT_EQ(document.recomputeFlags(), 4);
    EXPECT_EQ(document.frameFlags[5], kFrameRunStart);
    EXPECT_EQ(flagsOf(document, 20, 22), "223");
    EXPECT_EQ(document.frameFlags[99], kFrameSticky);

    document.eventTypeEnabled[0] = false;
    EXPECT_EQ(document.recomputeFlags(), 2);
}

TEST_F(DocumentTest, InsertionGoesBeforeTheFirstSelectedObjectAndCoversIt) {
    Document document;
    auto* a = addPath(document, {});
    auto* b = addPath(document, {});
    ASSERT_EQ(document.indexOf(b), 0);
    a->selected = true;
    auto movie = std::make_unique<MovieObject>(document);
    movie->ranges.push_back({100, 149});
    MovieObject* raw = movie.get();
    document.insertObject(std::move(movie));
    EXPECT_EQ(document.indexOf(raw), 1);
    EXPECT_EQ(document.indexOf(a), 2);
    EXPECT_EQ(document.length, 150);
    EXPECT_EQ(raw->document, &document);
    EXPECT_EQ(raw->name, "video0");
    EXPECT_EQ(b->name, "dpath1");

    document.removeObject(raw);
    EXPECT_EQ(document.objects.size(), 2u);
    EXPECT_EQ(document.length, 150);
    // Only the first range counts for the length.
    auto late = std::make_unique<MovieObject>(document);
    late->ranges = {{0, 1}, {0, 400}};
    document.insertObject(std::move(late));
    EXPECT_EQ(document.length, 150);
}

TEST_F(DocumentTest, NamesTakeTheFirstFreeNumber) {
    Document document;
    auto first = std::make_unique<ImageObject>(document);
    EXPECT_EQ(first->name, "image0");
    first->name = "image1";
    document.insertObject(std::move(first));
    EXPECT_EQ(ImageObject(document).name, "image0");
    auto second = std::make_unique<ImageObject>(document);
    second->name = "image0";
    document.insertObject(std::move(second));
    EXPECT_EQ(ImageObject(document).name, "image2");
}

TEST_F(DocumentTest, RectangleHitTestFindsCornersEdgesAndOutside) {
    Document document;
    ImageObject object(document);
    object.setRect(10, 20, 100, 50);  // x 10..109, y 20..69
    int index = 99;
    EXPECT_EQ(object.hitTest(7, 17, 4, index), kHitTopLeft);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(object.hitTest(109, 21, 4, index), kHitTopRight);
    EXPECT_EQ(object.hitTest(12, 67, 4, index), kHitBottomLeft);
    EXPECT_EQ(object.hitTest(112, 72, 4, index), kHitBottomRight);
    EXPECT_EQ(object.hitTest(60, 21, 4, index), kHitMove) << "an edge that is no corner moves";
    EXPECT_EQ(object.hitTest(60, 40, 4, index), kHitMove);
    EXPECT_EQ(object.hitTest(5, 40, 4, index), kHitNone);
    EXPECT_EQ(object.hitTest(114, 40, 4, index), kHitNone);
    EXPECT_EQ(object.hitTest(113, 40, 4, index), kHitMove);
    EXPECT_EQ(object.hitTest(60, 74, 4, index), kHitNone);
    object.setRect(2147483000, 0, 2147483000, 10);
    EXPECT_EQ(object.hitTest(0, 5, 4, index), kHitNone) << "edges near the int limit do not wrap";
}

TEST_F(DocumentTest, AttachingAMovieSetsTheFirstRangeAndSize) {
    Document document;
    std::string clip = dir.write("clip.tmov", "10 16 12");
    MediaEntry* entry = document.movieCache.find(clip);
    ASSERT_NE(entry, nullptr);

    document.currentFrame = 7;
    MovieObject fresh(document);
    fresh.attachMovie(entry);
    ASSERT_EQ(fresh.ranges.size(), 1u);
    EXPECT_EQ(fresh.ranges[0].start, 7);
    EXPECT_EQ(fresh.ranges[0].end, 16);
    EXPECT_EQ(fresh.w, 16);
    EXPECT_EQ(fresh.h, 12);
    int w = 0, h = 0;
    fresh.naturalSize(w, h);
    EXPECT_EQ(w, 16);

    MovieObject sized(document);
    sized.setSize(50, 0);
    sized.ranges = {{3, 3}, {40, 50}};
    sized.step = 2;  // every third of 10 frames: 4 shown
    sized.attachMovie(entry);
    EXPECT_EQ(sized.ranges[0].end, 6);
    EXPECT_EQ(sized.ranges[1].end, 50);
    EXPECT_EQ(sized.w, 50) << "a set size stays";
    EXPECT_EQ(sized.h, 0);
    EXPECT_EQ(sized.sourceFrameAt(5), 6);
    EXPECT_EQ(sized.sourceFrameAt(0), 0);
    EXPECT_EQ(sized.sourceFrameAt(1000), 9);
}

TEST_F(DocumentTest, OlderSnapshotsNameTheMovieOnItsOwnLine) {
    std::string clip = dir.write("old.tmov", "6 4 4");
    Document document;
    ASSERT_TRUE(document.readSnapshot(".V 3\n.D 5 5\n.L 5\n.O 0\n.OR 2 2\n.OV " + clip + "\n..\n"));
    auto* movie = static_cast<MovieObject*>(document.objects.at(0).get());
    ASSERT_NE(movie->movie, nullptr);
    EXPECT_EQ(movie->ranges[0].end, 7);
    EXPECT_EQ(document.length, 8) << "the document grows to cover the clip";
    std::string text;
    document.writeSnapshot(text);
    EXPECT_NE(text.find(".OVS 0 " + clip + "\n"), std::string::npos);
}

TEST_F(DocumentTest, SelectionHelpersAndDeleteSelected) {
    Document document;
    auto* a = addPath(document, {{0, 0, 1}, {1, 1, 3}});
    auto* b = addPath(document, {{0, 0, 10}, {1, 1, 12}});
    auto* c = addPath(document, {});
    EXPECT_EQ(document.firstSelectedIndex(), 0);
    EXPECT_EQ(document.selectAll(true), 3);
    EXPECT_EQ(document.selectedCount(), 3);
    c->selected = false;
    EXPECT_EQ(document.firstSelectedIndex(), 1);
    document.activeObject = b;
    document.deleteSelected();
    ASSERT_EQ(document.objects.size(), 1u);
    EXPECT_EQ(document.objects[0].get(), c);
    EXPECT_EQ(document.activeObject, nullptr);
    EXPECT_EQ(document.flaggedCount, 0);
    (void)a;
    // The deletion can be undone.
    ASSERT_TRUE(document.canUndo());
    document.undoHistory.undo();
    ASSERT_EQ(document.objects.size(), 3u);
    EXPECT_EQ(document.objects[1]->name, "dpath1");
    EXPECT_EQ(document.flaggedCount, 6);
}

TEST_F(DocumentTest, ReversalSwapsPositionsAndKeepsFrames) {
    Document document;
    auto* path = addPath(document, {{1, 2, 0}, {3, 4, 5}, {5, 6, 9}});
    auto* other = addPath(document, {{1, 1, 0}, {2, 2, 1}});
    path->selected = true;
    document.reverseSelectedPaths();
    ASSERT_EQ(path->points.size(), 3u);
    EXPECT_EQ(path->points[0].x, 5);
    EXPECT_EQ(path->points[0].y, 6);
    EXPECT_EQ(path->points[0].frame, 0);
    EXPECT_EQ(path->points[1].x, 3);
    EXPECT_EQ(path->points[1].frame, 5);
    EXPECT_EQ(path->points[2].x, 1);
    EXPECT_EQ(path->points[2].frame, 9);
    EXPECT_EQ(other->points[0].x, 1);
}

TEST_F(DocumentTest, SeekingSnapsBackToFlaggedFrames) {
    Document document;
    document.setEditing(true);
    addPath(document, {{0, 0, 10}, {5, 5, 14}});
    document.frameStep = 1;
    document.recomputeFlags();
    document.seekFlaggedFrame(13);
    EXPECT_EQ(document.currentFrame, 12);
    document.seekFlaggedFrame(500);
    EXPECT_EQ(document.currentFrame, 14);
    document.seekFlaggedFrame(9);
    EXPECT_EQ(document.currentFrame, 0);
    document.seekFlaggedFrame(-4);
    EXPECT_EQ(document.currentFrame, 0);
    document.setLength(0);
    document.seekFlaggedFrame(3);
    EXPECT_EQ(document.currentFrame, 0);
}

// Counts the calls the document makes on an event.
class CountingEvent : public TimelineEvent {
public:
    using TimelineEvent::TimelineEvent;
    void start() override {
        ++starts;
        TimelineEvent::start();
    }
    void stop() override {
        ++stops;
        TimelineEvent::stop();
    }
    bool tick() override {
        ++ticks;
        return true;
    }
    int starts = 0, stops = 0, ticks = 0;
};

TEST_F(DocumentTest, EventsStartAndStopWithTheCurrentFrame) {
    Document document;
    auto first = std::make_unique<CountingEvent>(3);
    first->startFrame = 10;
    first->endFrame = 20;
    auto second = std::make_unique<CountingEvent>(3);
    second->startFrame = 15;
    second->endFrame = 30;
    CountingEvent* a = first.get();
    CountingEvent* b = second.get();
    document.events.push_back(std::move(first));
    document.events.push_back(std::move(second));

    document.setCurrentFrame(12);
    EXPECT_EQ(document.activeEvents[3], a);
    EXPECT_EQ(a->starts, 1);
    document.setCurrentFrame(13);
    EXPECT_EQ(a->starts, 1) << "a running event is not started again";
    document.setCurrentFrame(16);  // both contain it: the later one wins
    EXPECT_EQ(document.activeEvents[3], b);
    EXPECT_EQ(a->stops, 1);
    EXPECT_TRUE(b->running);
    document.setCurrentFrame(40);
    EXPECT_EQ(document.activeEvents[3], nullptr);
    EXPECT_EQ(b->stops, 1);

    document.eventTypeEnabled[3] = false;
    document.setCurrentFrame(12);
    EXPECT_EQ(document.activeEvents[3], nullptr);
}

// An object that counts its ticks.
class TickingObject : public TestPathObject {
public:
    using TestPathObject::TestPathObject;
    bool tick() override {
        ++ticks;
        return true;
    }
    int ticks = 0;
};

TEST_F(DocumentTest, ObjectsTickAtMostEveryIntervalAndOnlyWhenVisible) {
    Document document;
    auto visible = std::make_unique<TickingObject>(document);
    visible->ranges.push_back({0, 10});
    auto hidden = std::make_unique<TickingObject>(document);
    hidden->ranges.push_back({50, 60});
    TickingObject* v = visible.get();
    TickingObject* h = hidden.get();
    document.insertObject(std::move(visible));
    document.insertObject(std::move(hidden));

    resetObjectTickClock();
    EXPECT_TRUE(document.tick());
    EXPECT_EQ(v->ticks, 1);
    EXPECT_EQ(h->ticks, 0);
    // Not due again yet: the 300 ms interval holds across calls.
    EXPECT_FALSE(document.tick());
    document.setCurrentFrame(3);
    EXPECT_EQ(v->ticks, 1);

    // Ticks are skipped while editing and while events are switched.
    resetObjectTickClock();
    document.setEditing(true);
    document.setCurrentFrame(4);
    EXPECT_EQ(v->ticks, 1);
    document.busy = true;
    EXPECT_FALSE(document.tick());
    document.busy = false;
    document.editorValueA = 7;
    document.setEditing(false);
    EXPECT_EQ(document.editorValueA, 100);
    EXPECT_EQ(v->ticks, 2);
}

TEST_F(DocumentTest, ActiveRunEventIsNotTickedDuringADrag) {
    Document document;
    auto run = std::make_unique<CountingEvent>(0);
    run->startFrame = 0;
    run->endFrame = 50;
    CountingEvent* event = run.get();
    document.events.push_back(std::move(run));
    document.setCurrentFrame(5);  // starts it
    ASSERT_EQ(document.activeEvents[0], event);
    document.dragging = true;
    document.tick();
    EXPECT_EQ(event->ticks, 0);
    document.dragging = false;
    EXPECT_TRUE(document.tick());
    EXPECT_EQ(event->ticks, 1);
}

TEST_F(DocumentTest, CollectMediaPutsPublishedMediaFirstAndDropsUnused) {
    Document document;
    std::string unused = dir.write("a.timg", "1 1 ff0000");
    std::string hidden = dir.write("b.timg", "1 1 00ff00");
    std::string shown = dir.write("c.timg", "1 1 0000ff");
    MediaEntry* a = document.imageCache.find(unused);
    MediaEntry* b = document.imageCache.find(hidden);
    MediaEntry* c = document.imageCache.find(shown);
    ASSERT_TRUE(a && b && c);

    auto hiddenObject = std::make_unique<ImageObject>(document);
    hiddenObject->attachImage(b);
    hiddenObject->exported = 0;
    auto shownObject = std::make_unique<ImageObject>(document);
    shownObject->attachImage(c);
    auto second = std::make_unique<ImageObject>(document);
    second->attachImage(c);
    document.insertObject(std::move(hiddenObject));
    document.insertObject(std::move(shownObject));
    document.insertObject(std::move(second));

    document.countMediaUses();
    ASSERT_EQ(document.imageCache.size(), 2u);
    EXPECT_EQ(document.imageCache.entries()[0].get(), c);
    EXPECT_EQ(document.imageCache.entries()[1].get(), b);
    EXPECT_EQ(c->useCount, 2);
    EXPECT_EQ(c->publishCount, 2);
    EXPECT_EQ(b->useCount, 1);
    EXPECT_EQ(b->publishCount, 0);
}

TEST_F(DocumentTest, SoundEventsCountAsMediaUses) {
    Document document;
    MediaEntry* sound = document.soundCache.find(dir.write("s.au", "abc"));
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->sound.size(), 3u);
    auto event = std::make_unique<TimelineEvent>(2);
    event->sound = sound;
    document.events.push_back(std::move(event));
    document.eventTypeEnabled[2] = false;
    document.countMediaUses();
    ASSERT_EQ(document.soundCache.size(), 1u);
    EXPECT_EQ(sound->useCount, 1);
    EXPECT_EQ(sound->publishCount, 0);
}

TEST_F(DocumentTest, EmptyDocumentSnapshotIsTheFiveHeaderLines) {
    Document document;
    std::string text;
    ASSERT_TRUE(document.writeSnapshot(text));
    EXPECT_EQ(text, ".V 3\n.D 320 240\n.L 100\n.SF 0\n..\n");
}

TEST_F(DocumentTest, SnapshotCarriesEveryObjectInListOrder) {
    Document document;
    document.frameStep = 2;
    std::string clip = dir.write("clip.tmov", "40 8 6");
    auto movie = std::make_unique<MovieObject>(document);
    movie->ranges.push_back({5, 5});
    movie->step = 1;
    movie->attachMovie(document.movieCache.find(clip));
    movie->t0 = 1;
    movie->t1 = -2;
    movie->flagL = 1;
    document.insertObject(std::move(movie));
    auto image = std::make_unique<ImageObject>(document);
    image->attachImage(document.imageCache.find(dir.write("pic.timg", "3 2 123456")));
    image->ranges = {{0, 9}, {20, 29}};
    image->name = "a name with blanks";
    document.insertObject(std::move(image));
    addPath(document, {{1, 2, 3}, {4, 5, 6}})->exported = 0;
    // List order now: path, image, movie (each inserted at the front).

    std::string text;
    ASSERT_TRUE(document.writeSnapshot(text));
    const std::string expected =
        ".V 3\n.D 320 240\n.L 100\n.SF 2\n"
        ".O 0\n.OP 0 0 8 6\n.OR 5 24\n.ON video0\n.OE 1\n.OL 1\n.OVS 1 " + clip + "\n.OT 1 -2 0 0 \n"
        ".O 1\n.OP 0 0 3 2\n.OR 0 9\n.OR 20 29\n.ON a name with blanks\n.OE 1\n.OL 0\n.OI " +
        dir.path + "/pic.timg\n"
        ".O 2\n.OP 0 0 0 0\n.ON dpath0\n.OE 0\n.OL 0\n.P 1 2 3 1\n.P 4 5 6 1\n"
        "..\n";
    EXPECT_EQ(text, expected);

    Document copy;
    ASSERT_TRUE(copy.readSnapshot(text));
    ASSERT_EQ(copy.objects.size(), 3u);
    EXPECT_EQ(copy.objects[0]->type(), ObjectType::DragMotion);
    EXPECT_EQ(copy.objects[1]->name, "a name with blanks");
    EXPECT_EQ(copy.objects[2]->name, "video0");
    auto* readMovie = static_cast<MovieObject*>(copy.objects[2].get());
    EXPECT_EQ(readMovie->step, 1);
    EXPECT_EQ(readMovie->t1, -2);
    ASSERT_NE(readMovie->movie, nullptr);
    EXPECT_EQ(readMovie->movie->fileName, clip);
    EXPECT_EQ(copy.frameStep, 2);
    std::string again;
    ASSERT_TRUE(copy.writeSnapshot(again));
    EXPECT_EQ(again, text);
}

TEST_F(DocumentTest, MovieWithoutMovieKeepsItsStep) {
    Document document;
    auto movie = std::make_unique<MovieObject>(document);
    movie->step = 3;
    document.insertObject(std::move(movie));
    std::string text;
    document.writeSnapshot(text);
    EXPECT_NE(text.find("\n.OVS \n.OT 0 0 0 0 \n"), std::string::npos);

    Document copy;
    ASSERT_TRUE(copy.readSnapshot(".V 3\n.D 10 10\n.L 5\n.O 0\n.OVS \n.OT 1 2 3 4 \n..\n"));
    auto* read = static_cast<MovieObject*>(copy.objects.at(0).get());
    EXPECT_EQ(read->movie, nullptr);
    EXPECT_EQ(read->step, 0);
    EXPECT_EQ(read->t0, 1);
    EXPECT_EQ(read->t3, 4);
    EXPECT_TRUE(answers->questions.empty());
}

TEST_F(DocumentTest, ReaderToleratesOddButValidText) {
    Document document;
    document.frameStep = 9;
    ASSERT_TRUE(document.readSnapshot("garbage first\n.V 3x\nno dot here\n.Dx 200 100\n.L 20\n"
                                      ".O 2\n.ON \r\n.XX unknown\n"));
    EXPECT_EQ(document.width, 200);
    EXPECT_EQ(document.length, 20);
    EXPECT_EQ(document.frameStep, 9) << "no SF line: the step stays";
    ASSERT_EQ(document.objects.size(), 1u);
    EXPECT_EQ(document.objects[0]->name, "\r") << "a CR is part of the value";
}

TEST_F(DocumentTest, MalformedSnapshotsFailAndKeepWhatWasRead) {
    struct Case {
        const char* text;
        size_t objects;
    };
    const Case cases[] = {
        {"", 0},
        {".V 2\n.D 1 1\n.L 1\n..\n", 0},
        {".V 3\n.D 1\n.L 1\n..\n", 0},
        {".V 3\n.D 1 1\n.L x\n..\n", 0},
        {".V 3\n.D 1 1\n.L 99999999999\n..\n", 0},
        {".V 3\n.D 1 1\n.L 1\n.O 7\n..\n", 0},
        {".V 3\n.D 1 1\n.L 1\n.O 2\n.OP 1 2 3\n..\n", 0},
        {".V 3\n.D 1 1\n.L 1\n.O 2\n.ON a\n.O 2\n.OR 1 99999999999\n..\n", 1},
        {".V 3\n.D 1 1\n.L 1\n.O 2\n.ON a\n.O 0\n.OT 1 2 3\n..\n", 1},
        {".V 3\n.D 1 1\n.L 1\n.O 2\n.ON a\n.O 2\n.P 1 2 nan 0\n..\n", 1},
        {".V 3\n.D 1 1\n.L 1\n.O 2\n.ON a\n.O 2\n.ON b", 1},  // cut off mid-line
        {".V 3\n.D 1 1\n.L 1\n.O 2\n.ON a\n.O 2\n", 1},      // cut off after a line
    };
    for (const Case& c : cases) {
        Document document;
        EXPECT_FALSE(document.readSnapshot(c.text)) << c.text;
        EXPECT_EQ(document.objects.size(), c.objects) << c.text;
    }
}

TEST_F(DocumentTest, BaseLinesAfterSubclassLinesStartANewObject) {
    Document document;
    // ".OP" after ".OVS" is not taken back by the movie: it starts an object
    // of type atoi("1 1 1 1") = 1.
    ASSERT_TRUE(document.readSnapshot(".V 3\n.D 5 5\n.L 5\n.O 0\n.OVS \n.OP 1 1 1 1\n.OI \n..\n"));
    ASSERT_EQ(document.objects.size(), 2u);
    EXPECT_EQ(document.objects[0]->type(), ObjectType::Image);
    EXPECT_EQ(document.objects[1]->x, 0);
}

TEST_F(DocumentTest, TooManyObjectsFailInsteadOfGrowing) {
    std::string text = ".V 3\n.D 5 5\n.L 5\n";
    for (int i = 0; i <= kMaxSnapshotObjects; ++i)
        text += ".O 2\n";
    text += "..\n";
    Document document;
    EXPECT_FALSE(document.readSnapshot(text));
    EXPECT_EQ(document.objects.size(), static_cast<size_t>(kMaxSnapshotObjects));
}

TEST_F(DocumentTest, MissingMediaCanBeIgnoredAndTheObjectStays) {
    Document document;
    answers->choices = {1};
    ASSERT_TRUE(document.readSnapshot(".V 3\n.D 5 5\n.L 5\n.O 0\n.OVS 0 /nowhere/gone.tmov\n.OT 0 0 0 0 \n"
                                      ".O 1\n.OI /nowhere/gone.timg\n..\n"));
    ASSERT_EQ(document.objects.size(), 2u);
    EXPECT_EQ(static_cast<ImageObject*>(document.objects[0].get())->image, nullptr);
    EXPECT_EQ(static_cast<MovieObject*>(document.objects[1].get())->movie, nullptr);
    ASSERT_EQ(answers->questions.size(), 2u);
    EXPECT_EQ(answers->questions[0], "Cannot open /nowhere/gone.tmov");
    EXPECT_EQ(answers->lastCaptions, (std::vector<std::string>{"Open another", "Ignore"}));
}

TEST_F(DocumentTest, UndoGoesBackOneChangeAtATime) {
    Document document;
    UndoHistory& undo = document.undoHistory;
    undo.undo();  // nothing recorded: nothing happens
    EXPECT_EQ(undo.top(), 0);
    EXPECT_EQ(undo.count(), 0);

    undo.push();  // the empty document
    addPath(document, {{0, 0, 0}, {1, 1, 4}});
    undo.push();  // one path
    addPath(document, {{0, 0, 10}, {1, 1, 14}});
    ASSERT_EQ(document.objects.size(), 2u);

    undo.undo();
    EXPECT_EQ(undo.top(), 1);
    EXPECT_EQ(undo.count(), 3);
    ASSERT_EQ(document.objects.size(), 1u);
    EXPECT_EQ(document.flaggedCount, 5);
    undo.undo();
    EXPECT_EQ(undo.top(), 0);
    EXPECT_TRUE(document.objects.empty());
    EXPECT_FALSE(document.canUndo());

    // No redo: the next push overwrites what lay above the top.
    addPath(document, {});
    undo.push();
    EXPECT_EQ(undo.top(), 1);
    EXPECT_EQ(undo.count(), 3);
    EXPECT_NE(undo.text(0).find(".O 2"), std::string::npos);
}

TEST_F(DocumentTest, TwoPushesAndUndoRestoreTheStateBeforeTheLastChange) {
    Document document;
    UndoHistory& undo = document.undoHistory;
    addPath(document, {{0, 0, 0}, {1, 1, 4}});
    undo.push();
    document.objects.front()->name = "second";
    undo.push();
    const std::string beforeLastChange = undo.text(1);
    document.objects.front()->name = "third";
    undo.undo();
    EXPECT_EQ(undo.top(), 1);
    std::string now;
    document.writeSnapshot(now);
    EXPECT_EQ(now, beforeLastChange);
    EXPECT_EQ(document.objects.front()->name, "second");
    undo.undo();
    EXPECT_EQ(undo.top(), 0);
    EXPECT_EQ(document.objects.front()->name, "dpath0");
}

TEST_F(DocumentTest, UndoKeepsImageObjects) {
    Document document;
    auto image = std::make_unique<ImageObject>(document);
    MediaEntry* entry = document.imageCache.find(dir.write("pic.timg", "4 4 ff00ff"));
    image->attachImage(entry);
    image->ranges.push_back({0, 10});
    document.insertObject(std::move(image));
    addPath(document, {{0, 0, 0}, {1, 1, 4}});
    document.undoHistory.push();
    document.selectAll(true);
    document.deleteSelected();
    ASSERT_TRUE(document.objects.empty());
    document.undoHistory.undo();
    ASSERT_EQ(document.objects.size(), 2u);
    auto* back = static_cast<ImageObject*>(document.objects[1].get());
    EXPECT_EQ(back->type(), ObjectType::Image);
    EXPECT_EQ(back->image, entry) << "the cached image is reused";
    EXPECT_EQ(back->w, 4);
    ASSERT_EQ(back->ranges.size(), 1u);
    EXPECT_EQ(back->ranges[0].end, 10);
}

TEST_F(DocumentTest, UndoHistoryIsBounded) {
    Document document;
    for (int i = 0; i < kMaxUndoSnapshots + 10; ++i) {
        document.undoHistory.push();
        document.setLength(i + 1);
    }
    EXPECT_EQ(document.undoHistory.count(), kMaxUndoSnapshots);
    EXPECT_EQ(document.undoHistory.top(), kMaxUndoSnapshots);
    document.undoHistory.undo();
    EXPECT_EQ(document.length, kMaxUndoSnapshots + 9);
    EXPECT_TRUE(document.canUndo());
}

}  // namespace
}  // namespace veltro
