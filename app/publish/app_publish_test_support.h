// Shared by the tests of the save window, the album window and the page flow:
// the shipped resource set, a scratch album in a fresh settings store, pages
// made on disk the way publishing leaves them, and the dialog seam answered
// by a scripted handler.
#pragma once

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utime.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/movie_object.h"
#include "dragmotion/drag_motion_kind.h"
#include "dragmotion/drag_motion_object.h"
#include "image/image_buffer.h"
#include "image/image_format.h"
#include "movie/standard_movie_formats.h"
#include "publish/page_flow.h"
#include "services/desktop.h"
#include "services/resources.h"
#include "services/settings.h"
#include "ui/dialogs.h"
#include "ui/ui_test_support.h"

namespace veltro::testing {

namespace fs = std::filesystem;

// The resource set the build lays out in the distribution folder.
inline std::string shippedResourceDir() {
    const char* dist = std::getenv("VELTRO_DIST_DIR");
    return dist ? std::string(dist) + "/res" : std::string();
}

// The shipped page templates.
inline std::string shippedTemplateDir() {
    const char* dist = std::getenv("VELTRO_DIST_DIR");
    return dist ? std::string(dist) + "/template" : std::string();
}

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Sets a file's modification time (seconds since 1970).
inline void setFileTime(const std::string& path, long seconds) {
    struct utimbuf times{static_cast<time_t>(seconds), static_cast<time_t>(seconds)};
    ::utime(path.c_str(), &times);
}

// A scratch directory with the shipped resource set and a fresh settings
// store whose album is "<dir>/album"; all restored afterwards.
class AlbumFixture {
public:
    AlbumFixture() {
        std::string pattern = (fs::temp_directory_path() / "veltro-album-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data()))
            root = buffer.data();
        album = root + "/album";
        fs::create_directories(album);
        registerStandardImageFormats();
        m_previousResources = setResources(std::make_unique<Resources>(shippedResourceDir()));
        m_previousSettings = setSettings(std::make_unique<Settings>());
        settings().set("album_dir", album);
        m_previousOpener = setDocumentOpener([this](const std::string& path) {
            opened.push_back(path);
            return true;
        });
    }
    ~AlbumFixture() {
        setDocumentOpener(std::move(m_previousOpener));
        setSettings(std::move(m_previousSettings));
        setResources(std::move(m_previousResources));
        std::error_code ignored;
        // Read-only folders a test left behind must not keep their contents.
        for (auto it = fs::recursive_directory_iterator(root, ignored); it != fs::recursive_directory_iterator();
             it.increment(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root, ignored);
    }
    AlbumFixture(const AlbumFixture&) = delete;
    AlbumFixture& operator=(const AlbumFixture&) = delete;

    // A page directory as publishing leaves it: "veltro.txt" written at
    // time, "data.txt", a thumbnail of colour (0xRRGGBB; none when 0) and an
    // archive of archiveBytes (none when negative).
    std::string makePage(const std::string& name, long time, const std::string& title, uint32_t colour,
                         long archiveBytes = 100, int thumbWidth = 80, int thumbHeight = 60) const {
        const std::string dir = album + "/" + name;
        fs::create_directories(dir);
        writeBytes(dir + "/veltro.txt", "NCRF");
        writeBytes(dir + "/index.html", "<HTML></HTML>\n");
        writeBytes(dir + "/data.txt", "title=" + title + "\ncomment=c\ndate=2024-01-0" + std::to_string(time % 9 + 1) +
                                          " 10:00:00\n");
        if (colour) {
            ImageBuffer thumb(thumbWidth, thumbHeight);
            for (uint32_t& pixel : thumb.pixels)
                pixel = 0xFF000000u | colour;
            findImageFormat("thumb.jpg")->save(dir + "/thumb.jpg", thumb);
        }
        if (archiveBytes >= 0)
            writeBytes(dir + "/" + name + ".zip", std::string(static_cast<size_t>(archiveBytes), 'z'));
        setFileTime(dir + "/veltro.txt", time);
        return dir;
    }

    std::string root;
    std::string album;
    // What the program handed to the desktop (browser, file manager).
    std::vector<std::string> opened;

private:
    std::unique_ptr<Resources> m_previousResources;
    std::unique_ptr<Settings> m_previousSettings;
    DocumentOpener m_previousOpener;
};

// Registers the picture, movie and drag-motion formats the program uses.
inline void registerProgramFormats() {
    static bool done = [] {
        registerStandardImageFormats();
        registerStandardMovieFormats();
        registerDragMotionObjectKind();
        return true;
    }();
    (void)done;
}

// A generated clip of frames 320 x 240 frames (a moving test pattern) as an
// MJPEG AVI at path; false when FFmpeg could not make it.
inline bool makeClip(const std::string& path, int frames = 30) {
    fs::create_directories(fs::path(path).parent_path());
    const std::string command = "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25 -frames:v " +
                                std::to_string(frames) + " -c:v mjpeg -q:v 3 '" + path + "' </dev/null";
    return std::system(command.c_str()) == 0 && fs::exists(path);
}

// Draws a path through points over the whole clip, as the draw tool leaves
// it: frames spread along the path, simplified, flags recomputed.
inline void drawPath(Document& document, const std::vector<std::pair<int, int>>& points) {
    document.undoHistory.push();
    auto path = std::make_unique<DragMotionObject>(document);
    DragMotionObject* drawn = path.get();
    drawn->ranges = {{0, std::max(document.length - 1, 0)}};
    for (const auto& [x, y] : points)
        drawn->path.append(x, y, 0, 1);
    document.insertObject(std::move(path));
    document.selectAll(false);
    drawn->selected = true;
    const int span = std::max(document.length - 1, 0);
    drawn->path.distributeFrames(0, span);
    drawn->path.simplify(32);
    drawn->path.distributeFrames(0, span);
    drawn->finalizePath();
    drawn->fitRectToPath();
    document.recomputeFlags();
}

// A new document from the clip with one path drawn across the picture.
inline std::unique_ptr<Document> documentWithPath(const std::string& clip) {
    std::unique_ptr<Document> document = newDocumentFromSource(clip);
    if (!document)
        return nullptr;
    auto& movie = static_cast<MovieObject&>(*document->objects.back());
    document->setLength(movie.movie->movie->frameCount);
    movie.setRect(0, 0, document->width, document->height);
    document->undoHistory.clear();
    std::vector<std::pair<int, int>> points;
    for (int x = 20; x <= 300; x += 10)
        points.emplace_back(x, 120);
    drawPath(*document, points);
    document->setCurrentFrame(0);
    document->render();
    return document;
}

// Makes a folder read-only for the lifetime of the object. A test running as
// root would still write into it, so this thread also gives up the rights to
// override file permissions until the object goes (they stay permitted and
// come back).
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::string path) : m_path(std::move(path)) {
        fs::permissions(m_path, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        if (::geteuid() == 0 && readCaps(m_saved)) {
            __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
            for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
                lowered[cap / 32].effective &= ~(1u << (cap % 32));
            m_lowered = writeCaps(lowered);
        }
    }
    ~ReadOnlyFolder() {
        if (m_lowered)
            writeCaps(m_saved);
        std::error_code ignored;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    // True when writing into the folder really fails now.
    bool effective() const { return ::faccessat(AT_FDCWD, m_path.c_str(), W_OK, AT_EACCESS) != 0; }

private:
    static bool readCaps(__user_cap_data_struct* data) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capget, &header, data) == 0;
    }
    static bool writeCaps(__user_cap_data_struct* data) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capset, &header, data) == 0;
    }

    std::string m_path;
    __user_cap_data_struct m_saved[2]{};
    bool m_lowered = false;
};

// Installs a dialog handler for the lifetime of the object and records what
// was shown.
class DialogScript {
public:
    explicit DialogScript(std::function<void(ShownDialog&)> handler = {})
        : m_handler(std::move(handler)) {
        m_previous = setDialogHandler([this](ShownDialog& shown) {
            seen.push_back(shown.text);
            kinds.push_back(shown.kind);
            if (m_handler)
                m_handler(shown);
        });
    }
    ~DialogScript() { setDialogHandler(std::move(m_previous)); }
    void setHandler(std::function<void(ShownDialog&)> handler) { m_handler = std::move(handler); }

    std::vector<std::string> seen;
    std::vector<DialogKind> kinds;

private:
    std::function<void(ShownDialog&)> m_handler;
    DialogHandler m_previous;
};

// True when the shipped resource set has been built.
inline bool haveShippedResources() {
    const std::string dir = shippedResourceDir();
    return !dir.empty() && fs::exists(dir + "/dialog.txt") && fs::exists(dir + "/aviewn.png");
}

}  // namespace veltro::testing
