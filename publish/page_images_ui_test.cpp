// The pictures of a published page: every image the viewer data file lists is
// written into the page under its listed name (JPEG and GIF sources byte for
// byte, other pictures through our GIF codec), the indices of image objects,
// path images and thumbnails name the right files, the archive carries them,
// a full disk fails the publish and keeps the earlier page, a reopened page
// finds its pictures and republishes them unchanged, and documents beyond the
// data file's fields are refused instead of cut.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "document/document.h"
#include "document/document_test_support.h"
#include "document/image_object.h"
#include "document/movie_object.h"
#include "dragmotion/drag_motion_kind.h"
#include "dragmotion/drag_motion_object.h"
#include "image/file_utils.h"
#include "image/gif_format.h"
#include "image/image_format.h"
#include "image/jpeg_format.h"
#include "image/png_format.h"
#include "movie/frame_store_movie.h"
#include "publish/page_flow.h"
#include "publish/publish_page.h"
#include "publish/viewer_data.h"
#include "services/progress.h"

namespace veltro {
namespace {

using namespace testing_support;
namespace fs = std::filesystem;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return "popen failed";
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    pclose(pipe);
    return output;
}

// The page's picture files (names starting with "i" and a hex digit) and
// their bytes.
std::map<std::string, std::string> pagePictures(const std::string& page) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(page)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 1 && name[0] == 'i' && std::isxdigit(static_cast<unsigned char>(name[1])))
            files[name] = readFile(entry.path().string());
    }
    return files;
}

// Pictures with a size of their own, so that a file tells which one it is.
ImagePtr gradient(int w, int h) {
    auto image = std::make_unique<ImageBuffer>(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image->at(x, y) = 0xFF000000u | static_cast<uint32_t>((x * 255 / w) << 16) |
                              static_cast<uint32_t>((y * 255 / h) << 8) | static_cast<uint32_t>((x + y) & 0xFF);
    return image;
}

// A few colours, with a transparent top-left quarter.
ImagePtr cutOut(int w, int h, uint32_t colour) {
    auto image = std::make_unique<ImageBuffer>(w, h);
    image->hasAlpha = 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image->at(x, y) = (x < w / 2 && y < h / 2) ? 0x00000000u : ((x + y) % 2 ? colour : 0xFF000000u);
    return image;
}

ImagePtr flat(int w, int h, uint32_t colour) {
    auto image = std::make_unique<ImageBuffer>(w, h);
    std::fill(image->pixels.begin(), image->pixels.end(), colour);
    return image;
}

class PageImagesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(testing_support::testApplication());
        static TestMovieFormat testMovies;
        static FrameStoreMovieFormat frameStores;
        clearMovieFormats();
        registerMovieFormat(&testMovies);
        registerMovieFormat(&frameStores);
        clearImageFormats();
        registerStandardImageFormats();
        registerDragMotionObjectKind();
    }

    void SetUp() override {
        dir.write("res/res.txt",
                  "newdoc Untitled\n"
                  "e_cant_open Cannot open %s\n"
                  "b_open_another Open another\n"
                  "b_ignore Ignore\n"
                  "e_bad_zipdir Bad folder\n"
                  "nosrcfile The source movie is gone\n"
                  "e_pub_write Cannot write %s\n"
                  "e_pub_stores Cannot write the frame stores\n"
                  "e_pub_build Cannot build %s\n"
                  "e_pub_copy Cannot copy %s\n"
                  "e_pub_swap Cannot replace %s\n"
                  "e_pub_image Cannot write the picture %s from %s\n"
                  "e_pub_limit Too large: %s\n"
                  "e_zip_write Cannot write the page archive\n");
        dir.write("res/veltro.js", "// viewer\n");
        setResources(std::make_unique<Resources>(dir.path + "/res"));
        auto scripted = std::make_unique<ScriptedPrompts>();
        prompts_ = scripted.get();
        previousPrompts = setPrompts(std::move(scripted));
        previousSettings = setSettings(std::make_unique<Settings>());
        album = dir.path + "/album";
        settings().set("album_dir", album);
        clip = dir.write("clips/clip.tmov", "12 32 24");

        // The sources: a JPEG (upper-case extension), a PNG with a cut-out,
        // a GIF, a PNG of many colours and one for an object not published.
        JpegFormat jpeg;
        jpeg.quality = 80;
        ASSERT_TRUE(jpeg.save(dir.path + "/photo.JPEG", *gradient(40, 30)));
        ASSERT_TRUE(PngFormat().save(dir.path + "/cutout.png", *cutOut(24, 20, 0xFFFF0000u)));
        ASSERT_TRUE(GifFormat().save(dir.path + "/anim.gif", *cutOut(16, 12, 0xFF0000FFu)));
        ASSERT_TRUE(PngFormat().save(dir.path + "/many.png", *gradient(50, 44)));
        ASSERT_TRUE(PngFormat().save(dir.path + "/hidden.png", *flat(8, 8, 0xFF00FF00u)));
    }
    void TearDown() override {
        simulateDiskFullAfter(-1);
        setPrompts(std::move(previousPrompts));
        setSettings(std::move(previousSettings));
    }

    // An image in the document's cache, loaded as the program loads one; GIF
    // sources through the GIF codec (no format of the registry reads them).
    MediaEntry* picture(Document& document, const std::string& name) {
        const std::string path = dir.path + "/" + name;
        if (extensionOf(path) == ".gif") {
            auto entry = std::make_unique<MediaEntry>();
            entry->fileName = path;
            entry->modificationTime = fileModificationTime(path);
            entry->image = GifFormat().load(path);
            return entry->image ? document.imageCache.add(std::move(entry)) : nullptr;
        }
        return document.imageCache.find(path);
    }

    // The clip, an image object (JPEG) over it, a path over both with a
    // path image (PNG with a cut-out) and two thumbnails (GIF, many-colour
    // PNG), and an image object that is not published.
    std::unique_ptr<Document> newDocument() {
        std::unique_ptr<Document> document = newDocumentFromSource(clip);
        if (!document)
            return nullptr;
        document->setLength(12);
        MediaEntry* photo = picture(*document, "photo.JPEG");
        MediaEntry* cut = picture(*document, "cutout.png");
        MediaEntry* anim = picture(*document, "anim.gif");
        MediaEntry* many = picture(*document, "many.png");
        MediaEntry* hidden = picture(*document, "hidden.png");
        if (!photo || !cut || !anim || !many || !hidden)
            return nullptr;
        auto image = std::make_unique<ImageObject>(*document);
        image->attachImage(photo);
        image->setRect(2, 2, 20, 15);
        image->ranges = {{0, 11}};
        document->insertObject(std::move(image));
        auto path = std::make_unique<DragMotionObject>(*document);
        path->ranges = {{0, 11}};
        path->path.append(2, 4, 0, 1);
        path->path.append(30, 20, 0, 1);
        path->path.distributeFrames(0, 11);
        path->finalizePath();
        path->fitRectToPath();
        path->pathImage = {cut, cut, nullptr};
        path->thumbnailImages = {anim, many};
        document->insertObject(std::move(path));
        auto unpublished = std::make_unique<ImageObject>(*document);
        unpublished->attachImage(hidden);
        unpublished->exported = 0;
        document->insertObject(std::move(unpublished));
        document->recomputeFlags();
        document->render();
        return document;
    }

    bool publish(Document& document, int quality = 75) {
        SilentProgress progress;
        PublishChoices choices;
        choices.jpegQuality = quality;
        choices.diffQuality = quality;
        lastError.clear();
        return publishPage(document, choices, progress, &lastError);
    }

    TempDir dir;
    std::string album;
    std::string clip;
    std::string lastError;
    ScriptedPrompts* prompts_ = nullptr;
    std::unique_ptr<Prompts> previousPrompts;
    std::unique_ptr<Settings> previousSettings;
};

TEST_F(PageImagesTest, EveryListedPictureIsWrittenUnderItsNameAndTheIndicesNameTheRightFiles) {
    auto document = newDocument();
    ASSERT_TRUE(document);
    ASSERT_TRUE(publish(*document)) << lastError;
    const std::string page = album + "/new0";
    auto data = readViewerDataFile(page + "/veltro.txt");
    ASSERT_TRUE(data);
    // Cache order: the JPEG keeps its extension as written, the others are
    // GIF; the unpublished picture is neither listed nor written.
    EXPECT_EQ(data->imageNames, (std::vector<std::string>{"i0.JPEG", "i1.gif", "i2.gif", "i3.gif"}));
    const auto files = pagePictures(page);
    EXPECT_EQ(files.size(), 4u);
    for (const std::string& name : data->imageNames)
        EXPECT_TRUE(files.count(name)) << name;

    // JPEG and GIF sources are copied byte for byte.
    EXPECT_EQ(files.at("i0.JPEG"), readFile(dir.path + "/photo.JPEG"));
    EXPECT_EQ(files.at("i2.gif"), readFile(dir.path + "/anim.gif"));
    // The PNG with a cut-out becomes a GIF89a with its exact colours and
    // its transparency.
    ASSERT_EQ(files.at("i1.gif").substr(0, 6), "GIF89a");
    ImagePtr cut = GifFormat().load(page + "/i1.gif");
    ImagePtr cutSource = PngFormat().load(dir.path + "/cutout.png");
    ASSERT_TRUE(cut && cutSource);
    EXPECT_EQ(cut->hasAlpha, 1);
    EXPECT_EQ(cut->pixels, cutSource->pixels);
    // The PNG of more than 256 colours becomes an opaque GIF87a with
    // channels reduced to multiples of 16 (the codec's popularity palette).
    EXPECT_EQ(files.at("i3.gif").substr(0, 6), "GIF87a");
    ImagePtr many = GifFormat().load(page + "/i3.gif");
    ImagePtr manySource = PngFormat().load(dir.path + "/many.png");
    ASSERT_TRUE(many && manySource);
    ASSERT_EQ(many->pixelCount(), manySource->pixelCount());
    for (size_t i = 0; i < many->pixelCount(); ++i) {
        const uint32_t got = many->pixels[i];
        const uint32_t want = manySource->pixels[i];
        ASSERT_EQ(got >> 24, 0xFFu) << i;
        for (int shift : {0, 8, 16}) {
            EXPECT_EQ((got >> shift) & 0x0F, 0u) << i;
            EXPECT_LT(std::abs(int((got >> shift) & 0xFF) - int((want >> shift) & 0xFF)), 32) << i;
        }
    }

    // Each index names the file of its own picture (told apart by size).
    auto sizeOf = [&](int index) {
        EXPECT_GE(index, 0);
        if (index < 0 || static_cast<size_t>(index) >= data->imageNames.size())
            return std::make_pair(-1, -1);
        const std::string file = page + "/" + data->imageNames[static_cast<size_t>(index)];
        ImagePtr image = extensionOf(file) == ".gif" ? GifFormat().load(file) : loadImage(file);
        return image ? std::make_pair(image->width, image->height) : std::make_pair(-1, -1);
    };
    ASSERT_EQ(data->objects.size(), 3u);
    const ViewerObjectRecord& path = data->objects[0];
    const ViewerObjectRecord& image = data->objects[1];
    ASSERT_EQ(path.type, 2);
    ASSERT_EQ(image.type, 1);
    EXPECT_EQ(sizeOf(image.mediaIndex), std::make_pair(40, 30));
    EXPECT_EQ(sizeOf(path.pathImage[0]), std::make_pair(24, 20));
    EXPECT_EQ(sizeOf(path.pathImage[1]), std::make_pair(24, 20));
    EXPECT_EQ(path.pathImage[2], -1);
    ASSERT_EQ(path.thumbnailImages.size(), 2u);
    EXPECT_EQ(sizeOf(path.thumbnailImages[0]), std::make_pair(16, 12));
    EXPECT_EQ(sizeOf(path.thumbnailImages[1]), std::make_pair(50, 44));

    // The page's archive carries the pictures with the page's other files.
    const std::string listed = run("unzip -Z1 '" + page + "/new0.zip'");
    for (const std::string& name : data->imageNames)
        EXPECT_NE(listed.find("new0/" + name + "\n"), std::string::npos) << listed;
}

TEST_F(PageImagesTest, SourcesThatChangedOrVanishedAreWrittenFromThePictureShown) {
    auto document = newDocument();
    ASSERT_TRUE(document);
    // After loading, the JPEG is replaced by another picture and the GIF is
    // deleted; the document still shows what it loaded.
    JpegFormat jpeg;
    ASSERT_TRUE(jpeg.save(dir.path + "/photo.JPEG", *flat(40, 30, 0xFF00FF00u)));
    fs::remove(dir.path + "/anim.gif");
    ASSERT_TRUE(publish(*document)) << lastError;
    const std::string page = album + "/new0";
    EXPECT_NE(readFile(page + "/i0.JPEG"), readFile(dir.path + "/photo.JPEG"));
    ImagePtr photo = loadImage(page + "/i0.JPEG");
    ImagePtr original = gradient(40, 30);
    ASSERT_TRUE(photo);
    ASSERT_EQ(photo->pixelCount(), original->pixelCount());
    long long difference = 0;
    for (size_t i = 0; i < photo->pixelCount(); ++i)
        for (int shift : {0, 8, 16})
            difference += std::abs(int((photo->pixels[i] >> shift) & 0xFF) - int((original->pixels[i] >> shift) & 0xFF));
    EXPECT_LT(difference / (3 * static_cast<long long>(photo->pixelCount())), 6) << "the gradient, not the green";
    // The GIF is encoded again from its picture, exactly.
    ImagePtr anim = GifFormat().load(page + "/i2.gif");
    ASSERT_TRUE(anim);
    EXPECT_EQ(anim->pixels, cutOut(16, 12, 0xFF0000FFu)->pixels);
}

TEST_F(PageImagesTest, AFullDiskWhileWritingAPictureFailsThePublishAndKeepsTheEarlierPage) {
    auto document = newDocument();
    ASSERT_TRUE(document);
    ASSERT_TRUE(publish(*document)) << lastError;
    const std::string page = album + "/new0";
    const auto before = pagePictures(page);
    const std::string beforeData = readFile(page + "/veltro.txt");

    // The disk fills up ever later; some limit falls inside the pictures.
    std::set<std::string> reasons;
    bool succeeded = false;
    for (long long limit = 0; limit < (1 << 20) && !succeeded; limit += 512) {
        simulateDiskFullAfter(limit);
        succeeded = publish(*document, 40);
        simulateDiskFullAfter(-1);
        if (succeeded)
            break;
        reasons.insert(lastError);
        EXPECT_EQ(pagePictures(page), before) << limit;
        EXPECT_EQ(readFile(page + "/veltro.txt"), beforeData) << limit;
        EXPECT_EQ(std::distance(fs::directory_iterator(album), fs::directory_iterator()), 1) << limit;
    }
    EXPECT_TRUE(succeeded);
    std::string pictures;
    for (const std::string& reason : reasons)
        if (reason.rfind("Cannot write the picture ", 0) == 0)
            pictures += reason + "; ";
    // The message names the page file and where its picture came from.
    EXPECT_NE(pictures.find("Cannot write the picture i0.JPEG from " + dir.path + "/photo.JPEG"), std::string::npos)
        << pictures;
    EXPECT_NE(pictures.find("i3.gif from " + dir.path + "/many.png"), std::string::npos) << pictures;
}

TEST_F(PageImagesTest, AReopenedPageFindsItsPicturesAndRepublishesThemUnchanged) {
    auto document = newDocument();
    ASSERT_TRUE(document);
    ASSERT_TRUE(publish(*document)) << lastError;
    const std::string page = album + "/new0";
    const auto first = pagePictures(page);

    std::string error;
    std::unique_ptr<Document> reopened = reopenPage(page, &error);
    ASSERT_TRUE(reopened) << error;
    EXPECT_TRUE(prompts_->questions.empty()) << prompts_->questions.front();
    ASSERT_EQ(reopened->objects.size(), 3u);
    auto& path = static_cast<DragMotionObject&>(*reopened->objects[0]);
    auto& image = static_cast<ImageObject&>(*reopened->objects[1]);
    ASSERT_NE(image.image, nullptr);
    EXPECT_EQ(image.image->fileName, page + "/i0.JPEG");
    ASSERT_NE(path.pathImage[0], nullptr);
    EXPECT_EQ(path.pathImage[0]->image->hasAlpha, 1);
    EXPECT_EQ(path.pathImage[0]->image->pixels, PngFormat().load(dir.path + "/cutout.png")->pixels);
    ASSERT_EQ(path.thumbnailImages.size(), 2u);
    EXPECT_EQ(path.thumbnailImages[1]->image->width, 50);

    // Republished after an edit, and again with every source gone: the
    // pictures come from the page itself, byte for byte.
    reopened->undoHistory.push();
    ASSERT_TRUE(publish(*reopened)) << lastError;
    EXPECT_EQ(pagePictures(page), first);
    for (const char* source : {"photo.JPEG", "cutout.png", "anim.gif", "many.png"})
        fs::remove(dir.path + "/" + source);
    reopened->undoHistory.push();
    ASSERT_TRUE(publish(*reopened)) << lastError;
    EXPECT_EQ(pagePictures(page), first);

    // Without the image object the listed pictures move up one place; the
    // page keeps them under their new names, and so does the next publish,
    // which reads them from the new page.
    reopened->removeObject(&image);
    reopened->undoHistory.push();
    ASSERT_TRUE(publish(*reopened)) << lastError;
    const auto shifted = pagePictures(page);
    EXPECT_EQ(shifted, (std::map<std::string, std::string>{
                           {"i0.gif", first.at("i1.gif")}, {"i1.gif", first.at("i2.gif")}, {"i2.gif", first.at("i3.gif")}}));
    reopened->undoHistory.push();
    ASSERT_TRUE(publish(*reopened)) << lastError;
    EXPECT_EQ(pagePictures(page), shifted);
    EXPECT_EQ(path.thumbnailImages[0]->fileName, page + "/i1.gif");
}

// A picture of a reopened page that changed on disk is written afresh from
// the picture shown, under a name that moved up one place; its entry follows
// it there, and does not keep the old name, which now holds another picture.
TEST_F(PageImagesTest, APictureWrittenAfreshUnderAMovedNameIsFollowedByItsEntry) {
    auto document = newDocument();
    ASSERT_TRUE(document);
    ASSERT_TRUE(publish(*document)) << lastError;
    const std::string page = album + "/new0";
    std::string error;
    std::unique_ptr<Document> reopened = reopenPage(page, &error);
    ASSERT_TRUE(reopened) << error;
    auto& path = static_cast<DragMotionObject&>(*reopened->objects[0]);
    auto& image = static_cast<ImageObject&>(*reopened->objects[1]);
    ASSERT_EQ(path.thumbnailImages.size(), 2u);
    MediaEntry* anim = path.thumbnailImages[0];
    ASSERT_EQ(anim->fileName, page + "/i2.gif");
    const std::vector<uint32_t> shown = anim->image->pixels;

    // Someone paints over the page's copy; the entry still shows its picture.
    ImageBuffer other(anim->image->width, anim->image->height);
    std::fill(other.pixels.begin(), other.pixels.end(), 0xFF123456u);
    ASSERT_TRUE(GifFormat().save(page + "/i2.gif", other));
    reopened->removeObject(&image);
    reopened->undoHistory.push();
    ASSERT_TRUE(publish(*reopened)) << lastError;

    EXPECT_EQ(anim->fileName, page + "/i1.gif");
    ImagePtr written = GifFormat().load(anim->fileName);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->pixels, shown) << "the new page holds the picture shown, not the painted one";
    EXPECT_NE(path.thumbnailImages[1]->fileName, anim->fileName);
}

TEST_F(PageImagesTest, DocumentsBeyondTheDataFileAreRefusedBeforeAnythingIsWritten) {
    auto document = newDocument();
    ASSERT_TRUE(document);
    ASSERT_TRUE(publish(*document)) << lastError;
    const std::string page = album + "/new0";
    const std::string earlier = readFile(page + "/veltro.txt");
    auto& path = static_cast<DragMotionObject&>(*document->objects[1]);
    ASSERT_EQ(path.type(), ObjectType::DragMotion);
    MediaEntry* thumbnail = path.thumbnailImages[0];
    path.thumbnailImages.assign(256, thumbnail);
    document->undoHistory.push();
    TestMovieReader::requested.clear();
    EXPECT_FALSE(publish(*document));
    EXPECT_TRUE(TestMovieReader::requested.empty()) << "the clip was encoded for a page that cannot be written";
    EXPECT_EQ(lastError.rfind("Too large: the path \"" + path.name + "\" has 256 thumbnail pictures", 0), 0u)
        << lastError;
    EXPECT_EQ(readFile(page + "/veltro.txt"), earlier);
    path.thumbnailImages.resize(255);
    ASSERT_TRUE(publish(*document)) << lastError;
    auto data = readViewerDataFile(page + "/veltro.txt");
    ASSERT_TRUE(data);
    EXPECT_EQ(data->objects[0].thumbnailImages.size(), 255u);
}

}  // namespace
}  // namespace veltro
