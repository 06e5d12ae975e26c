// Publishing a document as an album page and reading it back: the page's
// files, the archive checked by other ZIP readers, the viewer data file
// deciphered by openssl, the kept frame stores on an unchanged republish, a
// failed or stopped republish leaving the earlier page byte for byte, and the
// publish-reopen-publish round trip.
#include "publish/publish_page.h"

#include <gtest/gtest.h>

#include <sys/time.h>

#include <cstdio>
#include <map>
#include <set>

#include "document/document.h"
#include "document/document_test_support.h"
#include "document/movie_object.h"
#include "publish/album.h"
#include "image/file_utils.h"
#include "publish/page_flow.h"
#include "publish/publish_context.h"
#include "publish/viewer_cipher.h"
#include "publish/viewer_data.h"
#include "publish/zip_archive.h"
#include "dragmotion/drag_motion_kind.h"
#include "dragmotion/drag_motion_object.h"
#include "framestore/ncrf_escaping.h"
#include "image/file_utils.h"
#include "image/image_format.h"
#include "movie/frame_store_movie.h"
#include "services/font.h"
#include "services/progress.h"

namespace veltro {
namespace {

using namespace testing_support;
namespace fs = std::filesystem;

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return "popen failed";
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    int status = pclose(pipe);
    return status == 0 ? output : "FAILED(" + std::to_string(status) + "): " + output;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every file below dir (relative name -> bytes).
std::map<std::string, std::string> snapshotTree(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        files[fs::relative(entry.path(), dir).string()] = entry.is_regular_file() ? readFile(entry.path()) : "<dir>";
    return files;
}

// The names of files that differ between two snapshots (empty when equal).
std::string differences(const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b) {
    std::string names;
    for (const auto& [name, bytes] : a)
        if (!b.count(name) || b.at(name) != bytes)
            names += name + " ";
    for (const auto& [name, bytes] : b)
        if (!a.count(name))
            names += name + "(new) ";
    return names;
}

class StoppingProgress : public Progress {
public:
    explicit StoppingProgress(int after) : m_after(after) {}
    bool begin(const std::string&) override { return true; }
    bool update(int, int) override { return m_after-- > 0; }
    void end() override {}

private:
    int m_after;
};

class PublishTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(ensureGuiApplication());
        static TestMovieFormat testMovies;
        static FrameStoreMovieFormat frameStores;
        clearMovieFormats();
        registerMovieFormat(&testMovies);
        registerMovieFormat(&frameStores);
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
                  "e_no_jar No jar resource\n"
                  "e_no_viewer_js No viewer script resource\n"
                  "e_pub_write Cannot write %s\n"
                  "e_pub_stores Cannot write the frame stores\n"
                  "e_pub_build Cannot build %s\n"
                  "e_pub_copy Cannot copy %s\n"
                  "e_pub_swap Cannot replace %s\n"
                  "e_cant_mkdir Cannot create %s\n"
                  "e_zip_write Cannot write the page archive\n"
                  "e_save_settings Cannot save %s\n");
        dir.write("res/veltro.jar", "PK-jar-bytes");
        dir.write("res/veltro.js", "// viewer\n");
        setResources(std::make_unique<Resources>(dir.path + "/res"));
        auto scripted = std::make_unique<ScriptedPrompts>();
        prompts_ = scripted.get();
        previousPrompts = setPrompts(std::move(scripted));
        previousSettings = setSettings(std::make_unique<Settings>());
        album = dir.path + "/album";
        settings().set("album_dir", album);
        clip = dir.write("clips/clip.tmov", "24 32 24");
        TestMovieReader::requested.clear();
    }
    void TearDown() override {
        simulateDiskFullAfter(-1);
        setPrompts(std::move(previousPrompts));
        setSettings(std::move(previousSettings));
    }

    // A new document from the clip with one path drawn across it.
    std::unique_ptr<Document> newDocument() {
        std::unique_ptr<Document> document = newDocumentFromSource(clip);
        if (!document)
            return nullptr;
        document->setLength(24);
        auto path = std::make_unique<DragMotionObject>(*document);
        path->ranges = {{0, 23}};
        path->path.append(2, 12, 0, 1);
        path->path.append(16, 12, 0, 1);
        path->path.append(30, 12, 0, 1);
        path->path.distributeFrames(0, 23);
        path->finalizePath();
        path->fitRectToPath();
        document->insertObject(std::move(path));
        document->frameStep = 2;
        document->recomputeFlags();
        document->render();
        return document;
    }

    PublishChoices choices() const {
        PublishChoices c;
        c.title = "A <b>page</b>";
        c.comment = "Drag me";
        c.titleColor = 0x102030;
        c.commentColor = 0x0000ff;
        c.jpegQuality = 75;
        c.diffQuality = 75;
        return c;
    }

    bool publish(Document& document, const PublishChoices& c) {
        SilentProgress progress;
        std::string error;
        lastNotices.clear();
        bool ok = publishPage(document, c, progress, &error, &lastNotices);
        lastError = error;
        return ok;
    }

    TempDir dir;
    std::string album;
    std::string clip;
    std::string lastError;
    std::vector<std::string> lastNotices;
    ScriptedPrompts* prompts_ = nullptr;
    std::unique_ptr<Prompts> previousPrompts;
    std::unique_ptr<Settings> previousSettings;
};

TEST_F(PublishTest, PublishWritesACompletePageAndStoresTheChoices) {
    auto document = newDocument();
    ASSERT_TRUE(document);
    EXPECT_EQ(document->name, album + "/new0");
    EXPECT_EQ(settings().find("tmp_dir", ""), dir.path + "/clips");
    document->undoHistory.push();
    ASSERT_TRUE(publish(*document, choices())) << lastError;
    const std::string page = album + "/new0";
    for (const char* name : {"v0.txt", "veltro.txt", "veltro.jar", "veltro.js", "veltro-data.js", "thumb.jpg",
                             "index.html", "data.txt", "new0.zip"})
        EXPECT_TRUE(fs::is_regular_file(page + "/" + name)) << name;
    EXPECT_EQ(readFile(page + "/veltro.jar"), "PK-jar-bytes");
    // Nothing but the page is left in the album (no build directories).
    EXPECT_EQ(std::distance(fs::directory_iterator(album), fs::directory_iterator()), 1);
    EXPECT_EQ(document->undoHistory.count(), 0);
    EXPECT_EQ(settings().find("color0", ""), "102030");
    EXPECT_EQ(settings().find("color1", ""), "ff");
    EXPECT_EQ(settings().find("message0", ""), "A <b>page</b>");
    EXPECT_EQ(settings().find("bg_ind", ""), "-1");
    EXPECT_EQ(settings().find("jpeg_quality", ""), "75");

    std::string html = readFile(page + "/index.html");
    EXPECT_NE(html.find("<TITLE>A <b>page</b></TITLE>"), std::string::npos);
    EXPECT_NE(html.find("#102030"), std::string::npos);
    EXPECT_NE(html.find("<APPLET width=320 height=240 "), std::string::npos);
    std::string data = readFile(page + "/data.txt");
    EXPECT_NE(data.find("src=" + clip + "\n"), std::string::npos);
    EXPECT_NE(data.find("src_size=" + std::to_string(fs::file_size(clip)) + "\n"), std::string::npos);

    // The archive passes two other ZIP readers and holds exactly the page's files.
    EXPECT_EQ(run("unzip -tq '" + page + "/new0.zip'").rfind("No errors detected", 0), 0u);
    std::string listed = run("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                             "assert z.testzip() is None; print('\\n'.join(sorted(z.namelist())))\" '" +
                             page + "/new0.zip'");
    std::string expected = "new0/\n";
    for (const auto& [name, bytes] : snapshotTree(page))
        if (name != "new0.zip")
            expected += "new0/" + name + "\n";
    EXPECT_EQ(listed, expected);

    // openssl deciphers the stored file into the body our reader parses.
    std::string enciphered = ncrfUnescape(readFile(page + "/veltro.txt"));
    std::string cipherFile = dir.write("cipher.bin", enciphered);
    std::string key;
    for (unsigned char c : viewerKeyBytes()) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", c);
        key += hex;
    }
    std::string plain = run("openssl enc -d -des-cbc -nopad -provider legacy -provider default -K " + key +
                            " -iv 0000000000000000 -in '" + cipherFile + "'");
    ASSERT_EQ(plain.size(), enciphered.size()) << plain;
    auto parsed = parseViewerBody(plain);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->movieCount, 1);
    ASSERT_EQ(parsed->objects.size(), 2u);
    EXPECT_EQ(parsed->objects[0].type, 2);
    EXPECT_EQ(parsed->objects[0].points.size(), 3u);

    // veltro-data.js carries the stored bytes of veltro.txt and v0.txt.
    std::string check = run("python3 -c \"import re,base64,sys; t=open(sys.argv[1]).read(); "
                            "m=re.fullmatch(r'window.VELTRO_DATA = (\\{.*\\});\\n', t, re.S); import json; "
                            "d=json.loads(m.group(1)); "
                            "print(sorted(d), base64.b64decode(d['veltro.txt'])==open(sys.argv[2],'rb').read(), "
                            "base64.b64decode(d['v0.txt'])==open(sys.argv[3],'rb').read())\" '" +
                            page + "/veltro-data.js' '" + page + "/veltro.txt' '" + page + "/v0.txt'");
    EXPECT_EQ(check, "['v0.txt', 'veltro.txt'] True True\n");
}

TEST_F(PublishTest, RepublishWithoutChangesKeepsTheFrameStores) {
    auto document = newDocument();
    ASSERT_TRUE(document);
    ASSERT_TRUE(publish(*document, choices())) << lastError;
    const std::string page = album + "/new0";
    const auto first = snapshotTree(page);
    TestMovieReader::requested.clear();
    PublishChoices c = choices();
    c.title = "Second";
    ASSERT_TRUE(publish(*document, c)) << lastError;
    EXPECT_TRUE(TestMovieReader::requested.empty()) << "the clip was encoded again";
    const auto second = snapshotTree(page);
    EXPECT_EQ(second.at("v0.txt"), first.at("v0.txt"));
    EXPECT_NE(second.at("index.html"), first.at("index.html"));
    // A changed quality encodes again.
    c.diffQuality = 50;
    ASSERT_TRUE(publish(*document, c)) << lastError;
    EXPECT_FALSE(TestMovieReader::requested.empty());
}

TEST_F(PublishTest, AFailedOrStoppedRepublishLeavesTheEarlierPageByteForByte) {
    auto document = newDocument();
    ASSERT_TRUE(document);
    ASSERT_TRUE(publish(*document, choices())) << lastError;
    const std::string page = album + "/new0";
    const auto before = snapshotTree(page);
    long long total = 0;
    for (const auto& [name, bytes] : before)
        total += static_cast<long long>(bytes.size());

    PublishChoices changed = choices();
    changed.jpegQuality = 40;  // forces the frame stores to be written again
    for (int updates : {0, 3}) {
        StoppingProgress stop(updates);
        EXPECT_FALSE(publishPage(*document, changed, stop));
        EXPECT_EQ(differences(snapshotTree(page), before), "");
    }
    // The disk fills up ever later: in the viewer data, the browser data, the
    // page's texts, the archive. Every failure leaves the earlier page as it
    // was and nothing beside it, until the space suffices.
    int failures = 0;
    bool succeeded = false;
    std::set<std::string> reasons;
    const long long step = std::max(1LL, total / 40);
    for (long long limit = 0; limit <= 4 * total && !succeeded; limit += step) {
        simulateDiskFullAfter(limit);
        succeeded = publish(*document, changed);
        simulateDiskFullAfter(-1);
        if (succeeded)
            break;
        ++failures;
        EXPECT_FALSE(lastError.empty());
        reasons.insert(lastError);
        EXPECT_EQ(differences(snapshotTree(page), before), "") << "disk full after " << limit;
        EXPECT_EQ(std::distance(fs::directory_iterator(album), fs::directory_iterator()), 1) << limit;
        // Settings are stored only by a publish that succeeded.
        EXPECT_EQ(settings().find("jpeg_quality", ""), "75");
    }
    EXPECT_TRUE(succeeded);
    EXPECT_GT(failures, 10);
    std::string seen;
    for (const std::string& reason : reasons)
        seen += reason + "; ";
    // (The frame store writer has its own files; its failures are the
    // stops above.)
    EXPECT_NE(seen.find("veltro.txt"), std::string::npos) << seen;
    EXPECT_NE(seen.find("index.html"), std::string::npos) << seen;
    EXPECT_NE(seen.find("archive"), std::string::npos) << seen;
    EXPECT_NE(seen.find("veltro-data.js"), std::string::npos) << seen;
    EXPECT_NE(differences(snapshotTree(page), before), "");
    EXPECT_EQ(settings().find("jpeg_quality", ""), "40");
}

TEST_F(PublishTest, PublishReopenPublishRoundTripsTheDocument) {
    auto document = newDocument();
    ASSERT_TRUE(document);
    ASSERT_TRUE(publish(*document, choices())) << lastError;
    const std::string page = album + "/new0";
    const std::string firstBody = *decipherViewerBody(ncrfUnescape(readFile(page + "/veltro.txt")));

    settings().set("message0", "");
    std::string notice;
    std::unique_ptr<Document> reopened = reopenPage(page, nullptr, &notice);
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(notice.empty()) << notice;
    EXPECT_TRUE(prompts_->messages.empty()) << prompts_->messages.front();
    EXPECT_EQ(reopened->name, page);
    EXPECT_TRUE(reopened->editing);
    EXPECT_EQ(settings().find("message0", ""), "A <b>page</b>");
    EXPECT_EQ(settings().find("message1", ""), "Drag me");
    auto& movie = static_cast<MovieObject&>(*reopened->objects[1]);
    ASSERT_NE(movie.movie, nullptr);
    EXPECT_EQ(movie.movie->fileName, clip);  // the source clip replaces the frame store

    reopened->undoHistory.push();  // an edit: the frame stores are written again
    ASSERT_TRUE(publish(*reopened, choices())) << lastError;
    const std::string secondBody = *decipherViewerBody(ncrfUnescape(readFile(page + "/veltro.txt")));
    EXPECT_EQ(secondBody, firstBody);

    // A source edited after publishing: the page's own frame stores are used.
    struct timeval times[2] = {{1000000, 0}, {1000000, 0}};
    ASSERT_EQ(utimes(clip.c_str(), times), 0);
    std::unique_ptr<Document> fromStores = reopenPage(page, nullptr, &notice);
    ASSERT_TRUE(fromStores);
    EXPECT_TRUE(prompts_->messages.empty()) << "shown by the flow that reopens, not here";
    EXPECT_EQ(notice, "The source movie is gone");
    auto& stored = static_cast<MovieObject&>(*fromStores->objects[1]);
    ASSERT_NE(stored.movie, nullptr);
    EXPECT_EQ(stored.movie->fileName, page + "/v0.txt");
    // Publishing from the page's own frame stores keeps the page whole.
    fromStores->undoHistory.push();
    ASSERT_TRUE(publish(*fromStores, choices())) << lastError;
    EXPECT_EQ(*decipherViewerBody(ncrfUnescape(readFile(page + "/veltro.txt"))), firstBody);
    EXPECT_NE(reopenPage(page), nullptr);
}

TEST_F(PublishTest, NewPagesTakeTheFirstFreeNameAndBadInputIsReported) {
    auto first = newDocument();
    ASSERT_TRUE(first);
    ASSERT_TRUE(publish(*first, choices())) << lastError;
    auto second = newDocument();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->name, album + "/new1");
    ASSERT_TRUE(publish(*second, choices())) << lastError;
    EXPECT_EQ(listAlbumPages(album).size(), 2u);

    std::string error;
    EXPECT_EQ(newDocumentFromSource(dir.path + "/missing.tmov", &error), nullptr);
    EXPECT_EQ(error, "Cannot open " + dir.path + "/missing.tmov");
    EXPECT_EQ(reopenPage(dir.path + "/nowhere", &error), nullptr);
    EXPECT_EQ(error.rfind("Cannot open " + dir.path + "/nowhere", 0), 0u) << error;
    EXPECT_TRUE(prompts_->messages.empty()) << "the flow that asked shows the error once";

    // An album that cannot be created fails the publish and writes nothing.
    dir.write("file", "x");
    auto blocked = newDocument();
    ASSERT_TRUE(blocked);
    blocked->setName(dir.path + "/file/new0");
    EXPECT_FALSE(publish(*blocked, choices()));
    EXPECT_EQ(readFile(dir.path + "/file"), "x");
}

TEST_F(PublishTest, AMissingViewerArchiveIsReportedAndThePageStillPublished) {
    fs::remove(dir.path + "/res/veltro.jar");
    fs::remove(dir.path + "/res/veltro.js");
    auto document = newDocument();
    ASSERT_TRUE(document);
    ASSERT_TRUE(publish(*document, choices())) << lastError;
    EXPECT_EQ(lastNotices, (std::vector<std::string>{"No jar resource", "No viewer script resource"}));
    EXPECT_TRUE(prompts_->messages.empty());
    EXPECT_FALSE(fs::exists(album + "/new0/veltro.jar"));
    EXPECT_FALSE(fs::exists(album + "/new0/veltro.js"));
    EXPECT_TRUE(fs::exists(album + "/new0/veltro.txt"));
}

TEST_F(PublishTest, PageArchiveNeedsAParentWithASeparator) {
    fs::create_directories(dir.path + "/pages/new0");
    dir.write("pages/new0/index.html", "x");
    const std::string previous = currentDirectory();
    ASSERT_TRUE(setCurrentDirectory(dir.path));
    std::vector<std::string> refusals(2);
    EXPECT_FALSE(writePageZip("pages/new0", nullptr, &refusals[0]));
    EXPECT_FALSE(writePageZip("new0", nullptr, &refusals[1]));
    // Publishing such a page goes on without the archive.
    auto document = newDocument();
    ASSERT_TRUE(document);
    document->setName("pages/new2");
    EXPECT_TRUE(publish(*document, choices())) << lastError;
    EXPECT_TRUE(fs::exists(dir.path + "/pages/new2/veltro.txt"));
    EXPECT_FALSE(fs::exists(dir.path + "/pages/new2/new2.zip"));
    ASSERT_TRUE(setCurrentDirectory(previous));
    refusals.insert(refusals.end(), lastNotices.begin(), lastNotices.end());
    EXPECT_EQ(refusals, (std::vector<std::string>{"Bad folder", "Bad folder", "Bad folder"}));
    EXPECT_TRUE(prompts_->messages.empty());
    EXPECT_FALSE(fs::exists(dir.path + "/pages/new0/new0.zip"));
    ZipStatus status = ZipStatus::Memory;
    EXPECT_TRUE(writePageZip(dir.path + "/pages/new0", &status));
    EXPECT_EQ(status, ZipStatus::Ok);
    EXPECT_EQ(run("unzip -Z1 '" + dir.path + "/pages/new0/new0.zip'"), "new0/\nnew0/index.html\n");
}

}  // namespace
}  // namespace veltro
