// The publishing sequence. The new page is assembled in
// "<album>/.<name>.tmp<N>/<name>" (a hidden directory, so the album never
// lists it, holding a directory of the page's own name, so the archive's
// entries already carry that name). When everything is written the earlier
// page directory is moved aside, the new one takes its place and the aside
// copy is removed; on any failure only the hidden directory is removed.
#include "publish/publish_page.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "document/document.h"
#include "document/media_cache.h"
#include "document/movie_object.h"
#include "publish/page_text.h"
#include "publish/publish_context.h"
#include "publish/viewer_data.h"
#include "image/file_utils.h"
#include "services/progress.h"
#include "services/resources.h"
#include "services/settings.h"

namespace veltro {

namespace fs = std::filesystem;

namespace {

std::string hexText(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

// Largest file copied into a page (frame sheets, backgrounds); the page
// archive refuses larger entries anyway.
constexpr size_t kMaxPageFileBytes = size_t{1} << 30;

// Copies a directory and everything below it (files through copyFile, so a
// full disk shows as a failure); false on any failure.
bool copyTree(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (!fs::create_directory(to, ec) && ec)
        return false;
    for (fs::directory_iterator entry(from, ec), end; !ec && entry != end; entry.increment(ec)) {
        const fs::path target = to / entry->path().filename();
        std::error_code kind;
        if (entry->is_directory(kind)) {
            if (!copyTree(entry->path(), target))
                return false;
        } else if (entry->is_regular_file(kind)) {
            if (!copyFile(entry->path().string(), target.string(), kMaxPageFileBytes))
                return false;
        }
    }
    return !ec;
}

// The source clip of the first movie object (exported or not).
PageSource pageSource(const Document& document) {
    PageSource source;
    for (const auto& object : document.objects) {
        if (object->type() != ObjectType::Movie)
            continue;
        const auto& movie = static_cast<const MovieObject&>(*object);
        if (movie.movie && !movie.movie->fileName.empty()) {
            source.path = movie.movie->fileName;
            source.size = fileSize(source.path);
            source.mtime = static_cast<unsigned long>(modificationTime(source.path));
        }
        break;
    }
    return source;
}

std::string stripTrailingSeparators(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
    return path;
}

// Carries the earlier page's frame stores (and whatever else it held besides
// its archive) and its subdirectories over into the new page.
bool keepEarlierFiles(const std::string& pageDir, const std::string& name, const std::string& stage) {
    std::error_code ec;
    for (fs::directory_iterator entry(pageDir, ec), end; !ec && entry != end; entry.increment(ec)) {
        const std::string file = entry->path().filename().string();
        std::error_code kind;
        if (entry->is_directory(kind)) {
            if (!copyTree(entry->path(), fs::path(stage) / file))
                return false;
        } else if (entry->is_regular_file(kind) && file != name + ".zip") {
            if (!copyFile(entry->path().string(), joinPath(stage, file), kMaxPageFileBytes))
                return false;
        }
    }
    return !ec;
}

// Subdirectories of the earlier page stay when its frame stores are rebuilt.
bool keepEarlierDirectories(const std::string& pageDir, const std::string& stage) {
    std::error_code ec;
    for (fs::directory_iterator entry(pageDir, ec), end; !ec && entry != end; entry.increment(ec)) {
        std::error_code kind;
        if (entry->is_directory(kind) && !copyTree(entry->path(), fs::path(stage) / entry->path().filename()))
            return false;
    }
    return !ec;
}

// Puts the finished page in place of the earlier one.
bool swapIn(const std::string& stage, const std::string& pageDir, const std::string& build) {
    std::error_code ec;
    const fs::path aside = fs::path(build) / "earlier";
    const bool hadPage = fs::exists(fs::symlink_status(pageDir, ec));
    if (hadPage) {
        fs::rename(pageDir, aside, ec);
        if (ec)
            return false;
    }
    fs::rename(stage, pageDir, ec);
    if (ec) {
        if (hadPage) {
            std::error_code back;
            fs::rename(aside, pageDir, back);
        }
        return false;
    }
    return true;
}

class BuildDirectory {
public:
    explicit BuildDirectory(std::string path) : m_path(std::move(path)) {}
    ~BuildDirectory() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace

std::vector<int> qualityListValues() {
    std::vector<int> values;
    for (int q = 0; q <= 95; q += 5)
        values.push_back(q);
    for (int q = 96; q <= 100; ++q)
        values.push_back(q);
    return values;
}

bool publishPage(Document& document, const PublishChoices& choices, Progress& progress, std::string* error,
                 std::vector<std::string>* notices) {
    auto failWith = [&](const char* key, const std::string& argument = std::string()) {
        if (error)
            *error = formatText(resources().text(key), {argument});
        return false;
    };
    auto cannotWrite = [&](const char* file) { return failWith("e_pub_write", file); };
    const bool qualityChanged =
        choices.jpegQuality != document.jpegQuality || choices.diffQuality != document.diffQuality;
    // The qualities become the document's only with a page made with them;
    // after a failure the next publish must still see them as changed.
    struct Qualities {
        Document& document;
        int jpeg, diff;
        bool keep = false;
        ~Qualities() {
            if (!keep) {
                document.jpegQuality = jpeg;
                document.diffQuality = diff;
            }
        }
    } restore{document, document.jpegQuality, document.diffQuality};
    document.jpegQuality = choices.jpegQuality;
    document.diffQuality = choices.diffQuality;

    const std::string pageDir = stripTrailingSeparators(document.name);
    const std::string name = fileName(pageDir);
    const std::string parent = directoryOf(pageDir);
    if (pageDir.empty() || name.empty() || name == "." || name == "..")
        return failWith("e_pub_nodir");
    if (!parent.empty() && !makeDirectories(parent))
        return failWith("e_cant_mkdir", parent);

    std::optional<std::string> buildPath = uniqueName(parent, "." + name + ".tmp", "");
    if (!buildPath)
        return failWith("e_pub_build", pageDir);
    BuildDirectory build(*buildPath);
    const std::string stage = joinPath(build.path(), name);
    if (!makeDirectories(stage))
        return failWith("e_pub_build", pageDir);

    PublishContext context(stage, document);
    // A document whose counts or texts do not fit the viewer data file is
    // refused before anything is encoded, rather than cut short.
    const std::string tooLarge = viewerDataLimitProblem(document);
    if (!tooLarge.empty())
        return failWith("e_pub_limit", tooLarge);
    const bool earlierStores = fileExists(joinPath(pageDir, "v0.txt"));
    if (!qualityChanged && document.undoHistory.count() == 0 && earlierStores) {
        if (!keepEarlierFiles(pageDir, name, stage))
            return failWith("e_pub_copy", pageDir);
    } else {
        if (isDirectory(pageDir) && !keepEarlierDirectories(pageDir, stage))
            return failWith("e_pub_copy", pageDir);
        if (!context.writeFrameStores(progress))
            return failWith("e_pub_stores");
    }

    if (!context.writeViewerData(0))
        return cannotWrite("veltro.txt");
    // The pictures the viewer data file names; without them the page would
    // show empty boxes and could not be reopened whole.
    std::string imageName, imageSource;
    if (!context.writeImages(&imageName, &imageSource)) {
        if (error)
            *error = formatText(resources().text("e_pub_image"), {imageName, imageSource});
        return false;
    }
    // Without the viewer archive the page plays in browsers through
    // veltro.js; only a resource set lacking both has been reported.
    if (!context.copyViewerArchive() && resources().readFile("veltro.jar"))
        return cannotWrite("veltro.jar");
    if (!context.copyViewerScript())
        return cannotWrite("veltro.js");
    if (!context.writeBrowserData())
        return cannotWrite("veltro-data.js");
    if (!context.writeThumbnail())
        return cannotWrite("thumb.jpg");

    PageLook look;
    look.title = choices.title;
    look.comment = choices.comment;
    look.titleColor = choices.titleColor;
    look.commentColor = choices.commentColor;
    look.width = document.width;
    look.height = document.height;
    if (!choices.backgroundPath.empty() && fileExists(choices.backgroundPath)) {
        look.background = fileName(choices.backgroundPath);
        if (!copyFile(choices.backgroundPath, joinPath(stage, look.background), kMaxPageFileBytes))
            return cannotWrite(look.background.c_str());
    }
    if (!writeWholeFile(joinPath(stage, "index.html"), indexHtmlText(look)))
        return cannotWrite("index.html");
    if (!writeWholeFile(joinPath(stage, "data.txt"), dataTxtText(look, pageSource(document), std::time(nullptr))))
        return cannotWrite("data.txt");
    // The archive is made of the hidden copy, whose entries already carry the
    // page's name; a page directory without a parent is refused as such.
    std::vector<std::string> told = context.notices();
    if (parent.find_first_of(kPathSeparators) == std::string::npos)
        told.push_back(resources().text("e_bad_zipdir"));
    else if (!context.writeZip())
        return failWith("e_zip_write");
    if (!swapIn(stage, pageDir, build.path()))
        return failWith("e_pub_swap", pageDir);
    // Pictures read from the earlier page (a reopened one) now live in the
    // new page, possibly under other names, copied or written afresh; their
    // entries follow them, so a later reload or republish finds the picture
    // the entry holds and not whatever took the old name.
    for (const auto& [entry, listedName] : context.writtenImages()) {
        if (directoryOf(entry->fileName) != pageDir)
            continue;
        entry->fileName = joinPath(pageDir, listedName);
        entry->requestedName.clear();
        entry->modificationTime = fileModificationTime(entry->fileName);
    }

    restore.keep = true;
    Settings& store = settings();
    store.set("color0", hexText(choices.titleColor));
    store.set("color1", hexText(choices.commentColor));
    store.set("message0", choices.title);
    store.set("message1", choices.comment);
    store.set("bg_ind", std::to_string(choices.backgroundIndex));
    store.set("jpeg_quality", std::to_string(document.jpegQuality));
    store.set("diff_quality", std::to_string(document.diffQuality));
    // The page is in place either way; settings that could not be stored
    // only cost the author the choices next time, and they are told so.
    if (!store.path().empty() && !store.save())
        told.push_back(formatText(resources().text("e_save_settings"), {store.path()}));
    document.undoHistory.clear();
    if (notices)
        *notices = std::move(told);
    return true;
}

}  // namespace veltro
