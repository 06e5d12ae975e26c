// The viewer data file: the body's exact bytes, its stored (enciphered and
// escaped) form, reading it back into a document, the older unenciphered
// form, and refusal of malformed and hostile files.
#include "publish/viewer_data.h"

#include <gtest/gtest.h>

#include "document/document.h"
#include "document/document_test_support.h"
#include "document/image_object.h"
#include "document/movie_object.h"
#include "publish/viewer_cipher.h"
#include "dragmotion/drag_motion_kind.h"
#include "dragmotion/drag_motion_object.h"
#include "framestore/ncrf_escaping.h"

namespace veltro {
namespace {

using namespace testing_support;

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

// The test image format under the name the page lists images by.
class GifNamedTestImageFormat : public TestImageFormat {
public:
    const char* pattern() const override { return "*.gif"; }
};

class ViewerDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        registerTestFormats();
        static GifNamedTestImageFormat gifNamed;
        static bool registered = false;
        if (!registered)
            registerImageFormat(&gifNamed);
        registered = true;
        registerDragMotionObjectKind();
        installTestResources(dir);
        auto scripted = std::make_unique<ScriptedPrompts>();
        prompts_ = scripted.get();
        previous = setPrompts(std::move(scripted));
    }
    void TearDown() override { setPrompts(std::move(previous)); }

    // The older form: the body from the version on, neither enciphered nor escaped.
    static std::string olderForm(const std::string& body) { return body.substr(13); }

    TempDir dir;
    ScriptedPrompts* prompts_ = nullptr;
    std::unique_ptr<Prompts> previous;
};

TEST_F(ViewerDataTest, EmptyDocumentBodyIs31BytesAndPadsTo32) {
    Document document(320, 240);
    document.clear();
    document.setLength(100);
    document.countMediaUses();
    std::string body = viewerDataBody(document, 0);
    EXPECT_EQ(body, bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0,
                           0x01, 0x40, 0x00, 0xF0, 0x00, 0x64, 0, 0, 0, 0}));
    std::string stored = storedViewerData(body);
    EXPECT_EQ(stored.substr(0, 4), "NCRF");
    EXPECT_EQ(stored.find('\r'), std::string::npos);
    EXPECT_EQ(stored.find('\n'), std::string::npos);
    std::string enciphered = ncrfUnescape(stored);
    ASSERT_EQ(enciphered.size(), 32u);
    EXPECT_EQ(*decipherViewerBody(enciphered), body + "\x0A");

    auto data = parseViewerData(stored);
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->hasHeader);
    EXPECT_EQ(data->width, 320);
    EXPECT_EQ(data->height, 240);
    EXPECT_EQ(data->length, 100);
    EXPECT_TRUE(data->objects.empty());
}

// The file keeps the length in 16 bits; documents are never longer, so the
// longest one is read back exactly.
TEST_F(ViewerDataTest, TheLongestDocumentKeepsItsLength) {
    Document document(64, 48);
    document.clear();
    document.setLength(1000000);
    ASSERT_GT(document.length, 60000);
    document.countMediaUses();
    auto data = parseViewerData(storedViewerData(viewerDataBody(document, 0)));
    ASSERT_TRUE(data);
    EXPECT_EQ(data->length, document.length);
}

// Every count and text of the body either fits its field or the document is
// refused with the reason; nothing is cut or wraps. At the limit the values
// come back exactly.
TEST_F(ViewerDataTest, CountsAndTextsBeyondTheirFieldsAreRefusedNotCut) {
    std::string picture = dir.write("pic.timg", "4 4 00ff00");
    // Makes the many objects below without naming each against all others;
    // it outlives the document that holds them.
    Document maker(8, 8);
    Document document(64, 48);
    document.clear();
    document.setLength(20);
    auto owned = std::make_unique<DragMotionObject>(document);
    DragMotionObject& path = *owned;
    path.name = "dpath7";
    path.path.append(1, 1, 0, 1);
    path.path.append(9, 9, 5, 1);
    path.finalizePath();
    path.ranges = {{0, 5}};
    document.insertObject(std::move(owned));
    auto keysOwned = std::make_unique<TimelineEvent>(1);
    TimelineEvent& keys = *keysOwned;
    document.events.push_back(std::move(keysOwned));
    auto textsOwned = std::make_unique<TimelineEvent>(3);
    TimelineEvent& texts = *textsOwned;
    document.events.push_back(std::move(textsOwned));
    auto noteOwned = std::make_unique<TimelineEvent>(4);
    TimelineEvent& note = *noteOwned;
    document.events.push_back(std::move(noteOwned));

    auto problem = [&] {
        document.countMediaUses();
        return viewerDataLimitProblem(document);
    };
    auto readBack = [&] {
        document.countMediaUses();
        EXPECT_EQ(viewerDataLimitProblem(document), "");
        return parseViewerData(storedViewerData(viewerDataBody(document, 0)));
    };
    ASSERT_EQ(problem(), "");

    // Thumbnail pictures: an 8-bit count.
    MediaEntry* thumbnail = document.imageCache.find(picture);
    path.thumbnailImages.assign(256, thumbnail);
    EXPECT_EQ(problem(), "the path \"dpath7\" has 256 thumbnail pictures, more than the 255 a page can hold");
    path.thumbnailImages.pop_back();
    auto data = readBack();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->objects[0].thumbnailImages, std::vector<int>(255, 0));
    // A path that is not published is not written, so it is no reason.
    path.thumbnailImages.push_back(thumbnail);
    path.exported = 0;
    EXPECT_EQ(problem(), "");
    path.exported = 1;
    path.thumbnailImages.clear();

    // Visibility ranges: a 16-bit count.
    path.ranges.assign(65536, {0, 5});
    EXPECT_NE(problem().find("65536 frame ranges, more than the 65535"), std::string::npos) << problem();
    path.ranges.pop_back();
    data = readBack();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->objects[0].ranges.size(), 65535u);
    path.ranges = {{0, 5}};

    // Path points are bounded where paths are made, below their 16-bit count.
    while (path.path.append(1 + path.path.count() % 50, 1, path.path.count(), 1)) {
    }
    EXPECT_EQ(path.path.count(), kMaxPathPoints);
    data = readBack();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->objects[0].points.size(), static_cast<size_t>(kMaxPathPoints));

    // Key frame lists: a 16-bit count.
    keys.keyFrames.assign(65536, 3);
    EXPECT_NE(problem().find("lists 65536 key frames"), std::string::npos) << problem();
    keys.keyFrames.pop_back();
    data = readBack();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->events[0].frames.size(), 65535u);
    // An event of a type that is not published is no reason either.
    keys.keyFrames.push_back(3);
    document.eventTypeEnabled[1] = false;
    EXPECT_EQ(problem(), "");
    document.eventTypeEnabled[1] = true;
    keys.keyFrames.clear();

    // Texts: the first text of a type 3 event has an 8-bit length, the
    // others 16 bits. The limits hold bytes, whole UTF-8 texts come back.
    texts.text1 = std::string(254, 'a') + "\xC3";
    texts.text1 += "\xA9";  // 256 bytes: "é" would be cut in half
    EXPECT_NE(problem().find("has a text of 256 bytes, more than the 255"), std::string::npos) << problem();
    texts.text1.erase(0, 1);
    texts.text2 = std::string(65535, 'b');
    data = readBack();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->events[1].text1, texts.text1);
    EXPECT_EQ(data->events[1].text2.size(), 65535u);
    texts.text2 += "b";
    EXPECT_NE(problem().find("has a text of 65536 bytes"), std::string::npos) << problem();
    texts.text2.clear();
    note.text1 = std::string(65536, 'c');
    EXPECT_NE(problem().find("has a text of 65536 bytes, more than the 65535"), std::string::npos) << problem();
    note.text1.pop_back();
    data = readBack();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->events[2].text1.size(), 65535u);

    // Published objects: a 16-bit count.
    for (int i = 0; i < 65535; ++i) {
        document.objects.push_back(std::make_unique<ImageObject>(maker));
    }
    EXPECT_NE(problem().find("65536 published objects"), std::string::npos) << problem();
    document.objects.back()->exported = 0;
    EXPECT_EQ(problem(), "");
}

TEST_F(ViewerDataTest, EscapingKeepsLineEndsOutOfTheFile) {
    EXPECT_EQ(ncrfEscape(bytes({0x01, 0x0A, 0x41, 0x0D})), "NCRF" + bytes({0x01, 0x01, 0x01, 0x03, 0x41, 0x01, 0x02}));
    // A body of exactly 8k bytes gets no padding block.
    std::string eight(16, 'x');
    EXPECT_EQ(encipherViewerBody(eight).size(), 16u);
}

TEST_F(ViewerDataTest, DocumentRoundTripsThroughTheFile) {
    std::string clip = dir.write("clip.tmov", "12 40 30");
    std::string picture = dir.write("pic.timg", "4 4 00ff00");
    std::string hidden = dir.write("hidden.timg", "4 4 ff0000");

    Document document(320, 240);
    document.clear();
    document.setLength(50);
    // Built back to front: each insert goes to the front.
    auto dm = std::make_unique<DragMotionObject>(document);
    dm->path.append(10, 20, 0, 1);
    dm->path.append(100, 20, 5, 0);  // hand-over segment
    dm->path.append(200, 60, 11, 1);
    dm->finalizePath();
    dm->pathImage[1] = document.imageCache.find(picture);
    dm->pathColor = {0x102030, 0xff0000, 0x0000ff};
    dm->pathWidth = {1, 3, 0};
    dm->arrow = 2;
    dm->bezier = 1;
    dm->distance = 20;
    dm->fromThumbnails = 1;
    dm->thumbnailImages = {document.imageCache.find(picture), nullptr};
    dm->keep = 1;
    dm->thumbnailDir = 2;
    dm->ranges = {{0, 11}};
    document.insertObject(std::move(dm));
    auto image = std::make_unique<ImageObject>(document);
    image->attachImage(document.imageCache.find(picture));
    image->setRect(-5, -7, 40000, 3);
    image->ranges = {{2, 9}, {20, 30}};
    document.insertObject(std::move(image));
    auto withMovie = std::make_unique<MovieObject>(document);
    withMovie->attachMovie(document.movieCache.find(clip));
    document.insertObject(std::move(withMovie));
    auto noMovie = std::make_unique<MovieObject>(document);
    noMovie->setRect(1, 2, 3, 4);
    noMovie->ranges = {{0, 1}};
    document.insertObject(std::move(noMovie));
    // Not exported, in front: no record, no frame store, its image not listed.
    auto unexported = std::make_unique<ImageObject>(document);
    unexported->attachImage(document.imageCache.find(hidden));
    unexported->exported = 0;
    document.insertObject(std::move(unexported));
    auto text = std::make_unique<TimelineEvent>(3);
    text->startFrame = 3;
    text->endFrame = 4;
    text->extra = 7;
    text->text1 = "hello";
    text->text2 = "world";
    document.events.push_back(std::move(text));
    auto keys = std::make_unique<TimelineEvent>(1);
    keys->keyFrames = {1, 2, 40};
    document.events.push_back(std::move(keys));
    auto disabled = std::make_unique<TimelineEvent>(4);
    document.events.push_back(std::move(disabled));
    document.eventTypeEnabled[4] = false;
    document.countMediaUses();

    std::string stored = storedViewerData(viewerDataBody(document, 0x01020304));
    auto data = parseViewerData(stored);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->headerValue, 0x01020304u);
    EXPECT_EQ(data->movieCount, 2);
    ASSERT_EQ(data->imageNames.size(), 1u);
    EXPECT_EQ(data->imageNames[0], "i0.gif");
    ASSERT_EQ(data->objects.size(), 4u);
    EXPECT_EQ(data->objects[0].type, 0);
    EXPECT_EQ(data->objects[0].mediaIndex, -1);
    EXPECT_EQ(data->objects[1].mediaIndex, 0);
    EXPECT_EQ(data->objects[2].type, 1);
    EXPECT_EQ(data->objects[2].x, -5);
    EXPECT_EQ(data->objects[2].w, 40000);
    EXPECT_EQ(data->objects[2].mediaIndex, 0);
    ASSERT_EQ(data->objects[2].ranges.size(), 2u);
    EXPECT_EQ(data->objects[2].ranges[1], std::make_pair(20u, 30u));
    const ViewerObjectRecord& path = data->objects[3];
    EXPECT_EQ(path.pathImage[0], -1);
    EXPECT_EQ(path.pathImage[1], 0);
    EXPECT_EQ(path.pathColor[0], 0x102030u);
    EXPECT_EQ(path.pathWidth[1], 3);
    EXPECT_EQ(path.distanceByte, 256 - 20);  // negated: measured from the thumbnail
    EXPECT_EQ(path.thumbnailImages, (std::vector<int>{0, -1}));
    ASSERT_EQ(path.points.size(), 3u);
    EXPECT_EQ(path.points[1].normal, 0);
    EXPECT_EQ(path.points[2].frame, 11u);
    ASSERT_EQ(data->events.size(), 2u);
    EXPECT_EQ(data->events[0].text2, "world");
    EXPECT_EQ(data->events[1].frames, (std::vector<uint32_t>{1, 2, 40}));

    // Read back into a document: the image is found beside the file under
    // its listed name; the frame stores do not exist, so those are ignored.
    std::filesystem::copy_file(picture, dir.path + "/i0.gif");
    std::string file = dir.write("veltro.txt", stored);
    Document back(320, 240);
    back.clear();
    std::string error;
    ASSERT_TRUE(openViewerData(file, back, &error)) << error;
    ASSERT_EQ(back.objects.size(), 4u);
    EXPECT_EQ(back.objects[2]->x, -5);
    EXPECT_EQ(back.objects[2]->w, 40000);
    EXPECT_NE(static_cast<ImageObject&>(*back.objects[2]).image, nullptr);
    auto& readPath = static_cast<DragMotionObject&>(*back.objects[3]);
    EXPECT_EQ(readPath.distance, 236);
    EXPECT_EQ(readPath.path.count(), 3);
    EXPECT_TRUE(readPath.path.point(1)->handOver());
    EXPECT_FALSE(readPath.path.point(2)->handOver());
    EXPECT_EQ(readPath.thumbnailImages.size(), 1u);
    EXPECT_EQ(back.events.size(), 2u);
    // The written-back body equals the read one field by field.
    back.countMediaUses();
    auto again = parseViewerData(storedViewerData(viewerDataBody(back, 0x01020304)));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->objects.size(), data->objects.size());
    EXPECT_EQ(again->objects[3].points.size(), 3u);
    EXPECT_EQ(again->objects[2].ranges, data->objects[2].ranges);
}

TEST_F(ViewerDataTest, OlderFormIsReadWithoutDeciphering) {
    Document document(64, 48);
    document.clear();
    document.setLength(10);
    auto image = std::make_unique<ImageObject>(document);
    image->setRect(3, 4, 5, 6);
    image->ranges = {{0, 9}};
    document.insertObject(std::move(image));
    document.countMediaUses();
    std::string older = olderForm(viewerDataBody(document, 0));
    ASSERT_EQ(older.substr(0, 2), bytes({0, 3}));
    auto data = parseViewerData(older);
    ASSERT_TRUE(data);
    EXPECT_FALSE(data->hasHeader);
    ASSERT_EQ(data->objects.size(), 1u);
    EXPECT_EQ(data->objects[0].w, 5);
    // Escaped without enciphering works too.
    EXPECT_TRUE(parseViewerData(ncrfEscape(older)));
}

TEST_F(ViewerDataTest, MalformedAndHostileFilesAreRefused) {
    Document document(64, 48);
    document.clear();
    auto dm = std::make_unique<DragMotionObject>(document);
    dm->path.append(1, 1, 0, 1);
    dm->path.append(9, 9, 5, 1);
    dm->ranges = {{0, 5}};
    document.insertObject(std::move(dm));
    document.countMediaUses();
    const std::string older = olderForm(viewerDataBody(document, 0));
    ASSERT_TRUE(parseViewerData(older));

    // Every truncation fails cleanly.
    for (size_t n = 2; n < older.size(); ++n)
        EXPECT_FALSE(parseViewerData(older.substr(0, n))) << n;
    // Bytes after the last event.
    EXPECT_FALSE(parseViewerData(older + "zz"));
    // Wrong version (enciphered form whose version field is 2).
    std::string body = viewerDataBody(document, 0);
    body[14] = 2;
    std::string error;
    EXPECT_FALSE(parseViewerData(storedViewerData(body), &error));
    EXPECT_NE(error.find("version"), std::string::npos);
    // An enciphered body cut inside a block.
    EXPECT_FALSE(parseViewerData(ncrfEscape(encipherViewerBody(body).substr(0, 13))));

    // A lying object count.
    std::string lying = older;
    lying[14] = '\xFF';  // objectCount high byte (version 2 + counts 6 + size 6)
    EXPECT_FALSE(parseViewerData(lying, &error));
    // Names that would leave the page directory.
    for (const std::string& name : {std::string("../x.gif"), std::string("a/b.gif"), std::string("a\\b.gif"),
                                    std::string("..")}) {
        std::string hostile = bytes({0, 3, 0, 0, 0, 1, static_cast<int>(name.size())}) + name +
                              bytes({0, 0, 0, 8, 0, 8, 0, 1, 0, 0, 0, 0});
        EXPECT_FALSE(parseViewerData(hostile, &error)) << name;
        EXPECT_NE(error.find("page directory"), std::string::npos) << error;
    }
    // A movie count with no movie object behind it.
    std::string movies = older;
    movies[3] = 5;
    EXPECT_FALSE(parseViewerData(movies));
    // Unknown object type.
    std::string unknown = bytes({0, 3, 0, 0, 0, 0, 0, 0, 0, 8, 0, 8, 0, 1, 0, 1, 7});
    EXPECT_FALSE(parseViewerData(unknown));

    EXPECT_FALSE(openViewerData(dir.path + "/missing.txt", document, &error));
    EXPECT_FALSE(openViewerData(dir.write("bad.txt", "NCRF" + std::string(13, 'q')), document));
}

}  // namespace
}  // namespace veltro
