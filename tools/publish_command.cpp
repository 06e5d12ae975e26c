// The page subcommands. publish does, without windows, what the program does
// from choosing a movie file to pressing the save window's publish button.
#include "tools/publish_command.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

#include "document/document.h"
#include "document/image_object.h"
#include "document/media_cache.h"
#include "document/movie_object.h"
#include "publish/album.h"
#include "publish/page_flow.h"
#include "publish/publish_page.h"
#include "publish/viewer_data.h"
#include "dragmotion/drag_motion_object.h"
#include "image/file_utils.h"
#include "image/image_format.h"
#include "tools/terminal_progress.h"
#include "tools/track_command.h"
#include "tools/gui_application.h"
#include "services/prompts.h"
#include "services/settings.h"

namespace veltro::tool {

namespace {

bool parseInt(const std::string& text, int low, int high, int& value) {
    char* end = nullptr;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || parsed < low || parsed > high)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

// "x,y x,y ..." into points; false on anything else.
bool parseStroke(const std::string& text, std::vector<std::pair<int, int>>& points) {
    std::istringstream in(text);
    std::string pair;
    while (in >> pair) {
        size_t comma = pair.find(',');
        int x = 0, y = 0;
        if (comma == std::string::npos || !parseInt(pair.substr(0, comma), -100000, 100000, x) ||
            !parseInt(pair.substr(comma + 1), -100000, 100000, y))
            return false;
        points.emplace_back(x, y);
    }
    return !points.empty();
}

// The edit window's zoom to level 5 with the 240-pixel height rule.
void zoomToFit(Document& document, MovieObject& movie) {
    static const double kZoom[] = {0.25, 0.33, 0.5, 0.66, 0.75, 1.0, 1.25, 1.5, 2.0};
    int w0 = 0, h0 = 0;
    if (movie.movie && movie.movie->movie && movie.movie->movie->frame) {
        w0 = movie.movie->movie->frame->width;
        h0 = movie.movie->movie->frame->height;
    }
    int level = 5;
    while (level > 0 && static_cast<int>(std::trunc(h0 * kZoom[level])) > 240)
        --level;
    int w = static_cast<int>(std::trunc(w0 * kZoom[level]));
    int h = static_cast<int>(std::trunc(h0 * kZoom[level]));
    for (auto& object : document.objects)
        if (object->type() == ObjectType::DragMotion)
            static_cast<DragMotionObject&>(*object).path.scale(document.width, document.height, w, h);
    movie.setRect(0, 0, w, h);
    document.setSize(w, h);
}

// An image object's place and picture, from "x,y,w,h:IMAGE".
struct ImageObjectChoice {
    int x = 0, y = 0, w = 0, h = 0;
    std::string path;
};

bool parseImageObject(const std::string& text, ImageObjectChoice& choice) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon + 1 >= text.size())
        return false;
    std::vector<int> numbers;
    std::istringstream in(text.substr(0, colon));
    std::string part;
    while (std::getline(in, part, ',')) {
        int value = 0;
        if (!parseInt(part, -100000, 100000, value))
            return false;
        numbers.push_back(value);
    }
    if (numbers.size() != 4 || numbers[2] <= 0 || numbers[3] <= 0)
        return false;
    choice = {numbers[0], numbers[1], numbers[2], numbers[3], text.substr(colon + 1)};
    return true;
}

// A picture file loaded into the document's image cache (absolute, as the
// file chooser gives it), once however often it is given; none when it
// cannot be read. GIF files, which the
// program's formats do not read, are refused here too.
MediaEntry* loadPicture(Document& document, const std::string& file) {
    std::error_code ec;
    const std::string path = std::filesystem::absolute(file, ec).lexically_normal().string();
    if (MediaEntry* loaded = document.imageCache.findLoaded(path))
        return loaded;
    if (!fileExists(path) || !findImageFormat(path))
        return nullptr;
    std::unique_ptr<MediaEntry> entry = document.imageCache.load(path);
    return entry ? document.imageCache.add(std::move(entry)) : nullptr;
}

}  // namespace

int runPublish(const Args& args) {
    const char* usage =
        "usage: veltrotool publish SOURCE --album DIR [--path \"x,y x,y ...\"] [--first F] [--last L] "
        "[--follow x,y [--box w,h]] [--title T] [--comment C] [--quality Q] [--diff-quality Q] [--max-frame M] [--template IMAGE] [--adaptive-keys] "
        "[--image x,y,w,h:IMAGE]... [--path-image IMAGE]... [--thumbnail IMAGE]...";
    std::string source, album, stroke, title, comment, templatePath, follow, box;
    std::vector<std::string> imageObjects, pathImages, thumbnails;
    bool haveTitle = false, haveComment = false, adaptiveKeys = false;
    int first = -1, last = -1, quality = -1, diffQuality = -1, maxFrame = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        auto number = [&](int& out, int low, int high) {
            std::string text;
            return value(text) && parseInt(text, low, high, out);
        };
        bool ok = true;
        if (a == "--album") ok = value(album);
        else if (a == "--path") ok = value(stroke);
        else if (a == "--follow") ok = value(follow);
        else if (a == "--box") ok = value(box);
        else if (a == "--first") ok = number(first, 0, kMaxDocumentLength);
        else if (a == "--last") ok = number(last, 0, kMaxDocumentLength);
        else if (a == "--title") ok = (haveTitle = value(title));
        else if (a == "--comment") ok = (haveComment = value(comment));
        else if (a == "--quality") ok = number(quality, 0, 100);
        else if (a == "--diff-quality") ok = number(diffQuality, 0, 100);
        else if (a == "--max-frame") ok = number(maxFrame, 1, kMaxDocumentLength);
        else if (a == "--template") ok = value(templatePath);
        else if (a == "--adaptive-keys") adaptiveKeys = true;
        else if (a == "--image") ok = value(imageObjects.emplace_back());
        else if (a == "--path-image") ok = value(pathImages.emplace_back()) && pathImages.size() <= static_cast<size_t>(kPathStateCount);
        else if (a == "--thumbnail") ok = value(thumbnails.emplace_back());
        else if (source.empty() && (a.empty() || a[0] != '-')) source = a;
        else ok = false;
        if (!ok)
            return fail(std::string("bad argument \"") + a + "\"\n" + usage);
    }
    if (source.empty() || album.empty())
        return fail(usage);
    if (!fileExists(source))
        return fail("\"" + source + "\" does not exist");
    std::vector<ImageObjectChoice> imageChoices;
    for (const std::string& text : imageObjects) {
        ImageObjectChoice choice;
        if (!parseImageObject(text, choice))
            return fail("--image needs \"x,y,w,h:IMAGE\" with a positive size, not \"" + text + "\"");
        imageChoices.push_back(choice);
    }
    if (!templatePath.empty() && !fileExists(templatePath))
        return fail("template \"" + templatePath + "\" does not exist");
    if (!ensureGuiApplication())
        return fail("cannot start the drawing system");
    // Absolute paths, as the file chooser gives them: data.txt records the
    // source so that the page reopens from anywhere.
    std::error_code ec;
    source = std::filesystem::absolute(source, ec).lexically_normal().string();
    album = std::filesystem::absolute(album, ec).lexically_normal().string();
    while (album.size() > 1 && album.back() == '/')
        album.pop_back();
    settings().set("album_dir", album);
    if (adaptiveKeys)
        settings().set("adaptive_keys", "1");

    std::string opening;
    std::unique_ptr<Document> document = newDocumentFromSource(source, &opening);
    if (!document)
        return fail("cannot open \"" + source + "\" as a movie: " + opening);
    auto& movie = static_cast<MovieObject&>(*document->objects.back());
    const int n = movie.movie->movie->frameCount;
    document->setLength(n);
    document->newPathFirstFrame = 0;
    document->newPathLastFrame = std::max(n - 1, 0);
    zoomToFit(*document, movie);
    document->undoHistory.clear();

    if (first >= 0) document->newPathFirstFrame = std::min(first, std::max(n - 1, 0));
    if (last >= 0) document->newPathLastFrame = std::min(last, std::max(n - 1, 0));
    // Image objects lie over the clip and under the path, the first given
    // in front.
    for (auto choice = imageChoices.rbegin(); choice != imageChoices.rend(); ++choice) {
        MediaEntry* picture = loadPicture(*document, choice->path);
        if (!picture)
            return fail("cannot open \"" + choice->path + "\" as a picture");
        auto image = std::make_unique<ImageObject>(*document);
        image->attachImage(picture);
        image->setRect(choice->x, choice->y, choice->w, choice->h);
        image->ranges = {{0, std::max(document->length - 1, 0)}};
        document->insertObject(std::move(image));
    }

    if (!follow.empty()) {
        // The object under the point is followed instead of a drawn stroke.
        std::string message;
        if (!stroke.empty())
            return fail("--path and --follow cannot be used together");
        if (!addFollowedPath(*document, follow, box, message))
            return fail(message);
    } else {
        std::vector<std::pair<int, int>> points;
        if (!stroke.empty()) {
            if (!parseStroke(stroke, points))
                return fail("--path needs points \"x,y x,y ...\"");
        } else {
            for (int x = document->width / 10; x <= document->width - document->width / 10; x += 4)
                points.emplace_back(x, document->height / 2);
        }
        if (points.size() == 1)
            points.push_back(points.front());
        // The edit window hands the draw tool only points inside the picture,
        // inset by 4 pixels; a stroke given here is held to the same area.
        for (auto& [x, y] : points) {
            x = std::clamp(x, std::min(4, document->width - 1), std::max(document->width - 5, 0));
            y = std::clamp(y, std::min(4, document->height - 1), std::max(document->height - 5, 0));
        }

        // The draw tool: down, drags, up.
        document->dragging = true;
        auto path = std::make_unique<DragMotionObject>(*document);
        DragMotionObject* drawn = path.get();
        document->undoHistory.push();
        drawn->ranges = {{0, std::max(document->length - 1, 0)}};
        for (const auto& [x, y] : points)
            drawn->path.append(x, y, 0, 1);
        document->insertObject(std::move(path));
        document->selectAll(false);
        drawn->selected = true;
        document->dragging = false;
        const int in = std::min(document->newPathFirstFrame, document->newPathLastFrame);
        const int span = std::abs(document->newPathLastFrame - document->newPathFirstFrame);
        drawn->path.distributeFrames(in, span);
        drawn->path.simplify(32);
        drawn->path.distributeFrames(in, span);
        drawn->path.computeNormals();
        drawn->fitRectToPath();
        document->recomputeFlags();
        document->setEditing(true);
    }

    // The path's pictures: one path image for every state, or one per state
    // (0, 1, 2) when several are given; thumbnails shown in turn along it.
    if (!pathImages.empty() || !thumbnails.empty()) {
        DragMotionObject* path = nullptr;
        for (auto& object : document->objects)
            if (object->type() == ObjectType::DragMotion && !path)
                path = static_cast<DragMotionObject*>(object.get());
        if (!path)
            return fail("--path-image and --thumbnail need a path");
        for (size_t state = 0; state < pathImages.size(); ++state) {
            MediaEntry* picture = loadPicture(*document, pathImages[state]);
            if (!picture)
                return fail("cannot open \"" + pathImages[state] + "\" as a picture");
            for (size_t s = state; s < static_cast<size_t>(kPathStateCount); ++s)
                path->pathImage[s] = picture;
        }
        for (const std::string& file : thumbnails) {
            MediaEntry* picture = loadPicture(*document, file);
            if (!picture)
                return fail("cannot open \"" + file + "\" as a picture");
            path->thumbnailImages.push_back(picture);
        }
    }

    // The frame step for "max_frame".
    const int limit = maxFrame > 0 ? maxFrame : settings().findNumber("max_frame", "50");
    for (int s = 0; s <= 999; ++s) {
        document->frameStep = s;
        document->recomputeFlags();
        if (document->flaggedCount <= limit)
            break;
    }

    assignNewPage(*document);
    document->setCurrentFrame(0);
    document->render();

    PublishChoices choices;
    choices.title = haveTitle ? title : settings().find("message0", "Title");
    choices.comment = haveComment ? comment : settings().find("message1", "Message");
    choices.titleColor = settings().findColor("color0", "000000");
    choices.commentColor = settings().findColor("color1", "000000");
    choices.jpegQuality = quality >= 0 ? quality : document->jpegQuality;
    choices.diffQuality = diffQuality >= 0 ? diffQuality : document->diffQuality;
    choices.backgroundPath = templatePath;
    choices.backgroundIndex = templatePath.empty() ? -1 : 0;
    TerminalProgress progress;
    std::string error;
    std::vector<std::string> notices;
    if (!publishPage(*document, choices, progress, &error, &notices))
        return fail("publishing failed: " + error);
    for (const std::string& notice : notices)
        showMessage(notice);
    std::printf("%s\n", document->name.c_str());
    return 0;
}

int runAlbum(const Args& args) {
    if (args.size() != 1)
        return fail("usage: veltrotool album DIR");
    if (!isDirectory(args[0]))
        return fail("\"" + args[0] + "\" is not a directory");
    for (const AlbumPage& page : listAlbumPages(args[0])) {
        Settings data(joinPath(page.directory, "data.txt"));
        std::optional<long long> size = pageArchiveSize(page);
        std::string kb = size ? std::to_string(*size / 1024) + "KB" : "-";
        std::printf("%s\t%s\t%s\t%s\n", page.name.c_str(), data.find("title", "").c_str(),
                    data.find("date", "").c_str(), kb.c_str());
    }
    return 0;
}

int runReopen(const Args& args) {
    if (args.size() != 1)
        return fail("usage: veltrotool reopen PAGE");
    if (!ensureGuiApplication())
        return fail("cannot start the drawing system");
    std::string error, notice;
    std::unique_ptr<Document> document = reopenPage(args[0], &error, &notice);
    if (!document)
        return fail("cannot reopen \"" + args[0] + "\": " + error);
    if (!notice.empty())
        showMessage(notice);
    std::string out;
    if (!document->writeSnapshot(out))
        return fail("the document could not be written back completely");
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int inspectViewerData(const std::string& path) {
    std::string error;
    std::optional<ViewerData> data = readViewerDataFile(path, &error);
    if (!data)
        return fail("\"" + path + "\": " + error);
    const ViewerData& d = *data;
    // Stored numbers are unsigned 32-bit; JSON holds them exactly as 64-bit.
    auto number = [](uint32_t value) { return QJsonValue(static_cast<qint64>(value)); };
    auto names = [](const std::vector<std::string>& list) {
        QJsonArray array;
        for (const std::string& name : list)
            array.append(jsonText(name));
        return array;
    };
    QJsonArray objects;
    for (const ViewerObjectRecord& o : d.objects) {
        QJsonArray ranges;
        for (const auto& [from, to] : o.ranges)
            ranges.append(QJsonArray{number(from), number(to)});
        QJsonObject object{{"type", o.type}, {"x", o.x}, {"y", o.y}, {"w", o.w}, {"h", o.h}, {"ranges", ranges}};
        if (o.type == 0) {
            object.insert("movieIndex", o.mediaIndex);
        } else if (o.type == 1) {
            object.insert("imageIndex", o.mediaIndex);
        } else {
            QJsonArray paths;
            for (int s = 0; s < 3; ++s) {
                char colour[16];
                std::snprintf(colour, sizeof colour, "%06x", o.pathColor[s]);
                paths.append(QJsonObject{{"imageIndex", o.pathImage[s]},
                                         {"width", o.pathWidth[s]},
                                         {"color", QString::fromLatin1(colour)}});
            }
            QJsonArray thumbnails;
            for (int image : o.thumbnailImages)
                thumbnails.append(image);
            QJsonArray points;
            for (const auto& p : o.points)
                points.append(QJsonArray{p.x, p.y, number(p.frame), p.normal});
            object.insert("paths", paths);
            object.insert("arrow", o.arrow);
            object.insert("bezier", o.bezier);
            object.insert("distance", o.distanceByte);
            object.insert("thumbnails", thumbnails);
            object.insert("keep", o.keep);
            object.insert("thumbnailDir", o.thumbnailDir);
            object.insert("points", points);
        }
        objects.append(object);
    }
    QJsonArray events;
    for (const ViewerEventRecord& e : d.events) {
        QJsonObject event{{"type", e.type}, {"start", number(e.start)}, {"end", number(e.end)}, {"extra", number(e.extra)}};
        if (e.type == 0 || e.type == 2)
            event.insert("value", e.byteValue);
        if (e.type == 1) {
            QJsonArray frames;
            for (uint32_t frame : e.frames)
                frames.append(number(frame));
            event.insert("frames", frames);
        }
        if (e.type == 2)
            event.insert("soundIndex", e.soundIndex);
        if (e.type == 3 || e.type == 4)
            event.insert("text1", jsonText(e.text1));
        if (e.type == 3)
            event.insert("text2", jsonText(e.text2));
        events.append(event);
    }
    printJson({{"header", d.hasHeader},
               {"reserved0", number(d.reserved0)},
               {"headerValue", number(d.headerValue)},
               {"reserved1", number(d.reserved1)},
               {"modeFlag", d.modeFlag},
               {"version", d.version},
               {"movieCount", d.movieCount},
               {"images", names(d.imageNames)},
               {"sounds", names(d.soundNames)},
               {"width", d.width},
               {"height", d.height},
               {"length", d.length},
               {"objects", objects},
               {"events", events}},
              true);
    return 0;
}

}  // namespace veltro::tool
