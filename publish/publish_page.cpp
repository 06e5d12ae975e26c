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
#include <fstream>
#include <system_error>

#include "document/document.h"
#include "document/movie_object.h"
#include "publish/output_file.h"
#include "publish/page_text.h"
#include "publish/publish_context.h"
#include "image/file_utils.h"
#include "services/progress.h"
#include "services/prompts.h"
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

// Copies a file through OutputFile, so a full disk shows as a failure.
bool copyFileThrough(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    if (!in)
        return false;
    OutputFile out;
    if (!out.open(to))
        return false;
    char buffer[1 << 16];
    while (in) {
        in.read(buffer, sizeof buffer);
        std::streamsize got = in.gcount();
        if (got > 0 && !out.write(buffer, static_cast<size_t>(got)))
            break;
    }
    bool readAll = in.eof();
    return out.close() && readAll;
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
    for (const auto& entry : fs::directory_iterator(pageDir, ec)) {
        const std::string file = entry.path().filename().string();
        if (entry.is_directory(ec)) {
            fs::copy(entry.path(), fs::path(stage) / file, fs::copy_options::recursive, ec);
            if (ec)
                return false;
        } else if (entry.is_regular_file(ec) && file != name + ".zip" && file != name + ".zip.part") {
            if (!copyFileThrough(entry.path().string(), joinPath(stage, file)))
                return false;
        }
    }
    return !ec;
}

// Subdirectories of the earlier page stay when its frame stores are rebuilt.
bool keepEarlierDirectories(const std::string& pageDir, const std::string& stage) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(pageDir, ec)) {
        if (!entry.is_directory(ec))
            continue;
        fs::copy(entry.path(), fs::path(stage) / entry.path().filename(), fs::copy_options::recursive, ec);
        if (ec)
            return false;
    }
    return true;
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

bool publishPage(Document& document, const PublishChoices& choices, Progress& progress, std::string* error) {
    auto failWith = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
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
        return failWith("the document has no page directory");
    if (!parent.empty() && !makeDirectories(parent))
        return failWith("cannot create the album directory \"" + parent + "\"");

    std::optional<std::string> buildPath = uniqueName(parent, "." + name + ".tmp", "");
    if (!buildPath)
        return failWith("no free name for building the page beside \"" + pageDir + "\"");
    BuildDirectory build(*buildPath);
    const std::string stage = joinPath(build.path(), name);
    if (!makeDirectories(stage))
        return failWith("cannot create a directory in \"" + (parent.empty() ? std::string(".") : parent) + "\"");

    PublishContext context(stage, document);
    const bool earlierStores = fileExists(joinPath(pageDir, "v0.txt"));
    if (!qualityChanged && document.undoHistory.count() == 0 && earlierStores) {
        if (!keepEarlierFiles(pageDir, name, stage))
            return failWith("cannot copy the frame stores of \"" + pageDir + "\"");
    } else {
        if (isDirectory(pageDir) && !keepEarlierDirectories(pageDir, stage))
            return failWith("cannot copy the folders of \"" + pageDir + "\"");
        if (!context.writeFrameStores(progress))
            return failWith("the frame stores could not be written (disk full or stopped)");
    }

    if (!context.writeViewerData(0))
        return failWith("cannot write veltro.txt");
    // A missing viewer archive has been reported; the page plays without it
    // in browsers.
    if (!context.copyViewerArchive() && resources().readFile("veltro.jar"))
        return failWith("cannot write veltro.jar");
    if (!context.copyViewerScript())
        return failWith("cannot write veltro.js");
    if (!context.writeBrowserData())
        return failWith("cannot write veltro-data.js");
    if (!context.writeThumbnail())
        return failWith("cannot write thumb.jpg");

    PageLook look;
    look.title = choices.title;
    look.comment = choices.comment;
    look.titleColor = choices.titleColor;
    look.commentColor = choices.commentColor;
    look.width = document.width;
    look.height = document.height;
    if (!choices.backgroundPath.empty() && fileExists(choices.backgroundPath)) {
        look.background = fileName(choices.backgroundPath);
        if (!copyFileThrough(choices.backgroundPath, joinPath(stage, look.background)))
            return failWith("cannot copy the background picture");
    }
    if (!writeWholeFile(joinPath(stage, "index.html"), indexHtmlText(look)))
        return failWith("cannot write index.html");
    if (!writeWholeFile(joinPath(stage, "data.txt"), dataTxtText(look, pageSource(document), std::time(nullptr))))
        return failWith("cannot write data.txt");
    // The archive is made of the hidden copy, whose entries already carry the
    // page's name; a page directory without a parent is refused as such.
    if (parent.find_first_of(kPathSeparators) == std::string::npos)
        showMessage(resources().text("e_bad_zipdir"));
    else if (!context.writeZip())
        return failWith("cannot write the page archive");
    if (!swapIn(stage, pageDir, build.path()))
        return failWith("cannot put the new page in place of \"" + pageDir + "\"");

    restore.keep = true;
    Settings& store = settings();
    store.set("color0", hexText(choices.titleColor));
    store.set("color1", hexText(choices.commentColor));
    store.set("message0", choices.title);
    store.set("message1", choices.comment);
    store.set("bg_ind", std::to_string(choices.backgroundIndex));
    store.set("jpeg_quality", std::to_string(document.jpegQuality));
    store.set("diff_quality", std::to_string(document.diffQuality));
    if (!store.path().empty())
        store.save();
    document.undoHistory.clear();
    return true;
}

}  // namespace veltro
