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

#include "document/document.h"
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
#include "services/font.h"
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

}  // namespace

int runPublish(const Args& args) {
    const char* usage =
        "usage: veltrotool publish SOURCE --album DIR [--path \"x,y x,y ...\"] [--first F] [--last L] "
        "[--follow x,y [--box w,h]] [--title T] [--comment C] [--quality Q] [--diff-quality Q] [--max-frame M] [--template IMAGE]";
    std::string source, album, stroke, title, comment, templatePath, follow, box;
    bool haveTitle = false, haveComment = false;
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
        else if (source.empty() && (a.empty() || a[0] != '-')) source = a;
        else ok = false;
        if (!ok)
            return fail(std::string("bad argument \"") + a + "\"\n" + usage);
    }
    if (source.empty() || album.empty())
        return fail(usage);
    if (!fileExists(source))
        return fail("\"" + source + "\" does not exist");
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
    std::string out = "{\n";
    out += "  \"header\": " + std::string(d.hasHeader ? "true" : "false") + ",\n";
    out += "  \"reserved0\": " + std::to_string(d.reserved0) + ",\n";
    out += "  \"headerValue\": " + std::to_string(d.headerValue) + ",\n";
    out += "  \"reserved1\": " + std::to_string(d.reserved1) + ",\n";
    out += "  \"modeFlag\": " + std::to_string(d.modeFlag) + ",\n";
    out += "  \"version\": " + std::to_string(d.version) + ",\n";
    out += "  \"movieCount\": " + std::to_string(d.movieCount) + ",\n";
    auto names = [](const std::vector<std::string>& list) {
        std::string text = "[";
        for (size_t i = 0; i < list.size(); ++i)
            text += (i ? ", " : "") + jsonString(list[i]);
        return text + "]";
    };
    out += "  \"images\": " + names(d.imageNames) + ",\n";
    out += "  \"sounds\": " + names(d.soundNames) + ",\n";
    out += "  \"width\": " + std::to_string(d.width) + ",\n";
    out += "  \"height\": " + std::to_string(d.height) + ",\n";
    out += "  \"length\": " + std::to_string(d.length) + ",\n";
    out += "  \"objects\": [";
    for (size_t i = 0; i < d.objects.size(); ++i) {
        const ViewerObjectRecord& o = d.objects[i];
        out += i ? ",\n    {" : "\n    {";
        out += "\"type\": " + std::to_string(o.type) + ", \"x\": " + std::to_string(o.x) +
               ", \"y\": " + std::to_string(o.y) + ", \"w\": " + std::to_string(o.w) +
               ", \"h\": " + std::to_string(o.h) + ", \"ranges\": [";
        for (size_t r = 0; r < o.ranges.size(); ++r)
            out += (r ? ", [" : "[") + std::to_string(o.ranges[r].first) + ", " +
                   std::to_string(o.ranges[r].second) + "]";
        out += "]";
        if (o.type == 0)
            out += ", \"movieIndex\": " + std::to_string(o.mediaIndex);
        else if (o.type == 1)
            out += ", \"imageIndex\": " + std::to_string(o.mediaIndex);
        else {
            out += ", \"paths\": [";
            for (int s = 0; s < 3; ++s) {
                char colour[16];
                std::snprintf(colour, sizeof colour, "%06x", o.pathColor[s]);
                out += std::string(s ? ", " : "") + "{\"imageIndex\": " + std::to_string(o.pathImage[s]) +
                       ", \"width\": " + std::to_string(o.pathWidth[s]) + ", \"color\": \"" + colour + "\"}";
            }
            out += "], \"arrow\": " + std::to_string(o.arrow) + ", \"bezier\": " + std::to_string(o.bezier) +
                   ", \"distance\": " + std::to_string(o.distanceByte) + ", \"thumbnails\": [";
            for (size_t t = 0; t < o.thumbnailImages.size(); ++t)
                out += (t ? ", " : "") + std::to_string(o.thumbnailImages[t]);
            out += "], \"keep\": " + std::to_string(o.keep) +
                   ", \"thumbnailDir\": " + std::to_string(o.thumbnailDir) + ", \"points\": [";
            for (size_t p = 0; p < o.points.size(); ++p)
                out += (p ? ", [" : "[") + std::to_string(o.points[p].x) + ", " + std::to_string(o.points[p].y) +
                       ", " + std::to_string(o.points[p].frame) + ", " + std::to_string(o.points[p].normal) + "]";
            out += "]";
        }
        out += "}";
    }
    out += d.objects.empty() ? "],\n" : "\n  ],\n";
    out += "  \"events\": [";
    for (size_t i = 0; i < d.events.size(); ++i) {
        const ViewerEventRecord& e = d.events[i];
        out += i ? ",\n    {" : "\n    {";
        out += "\"type\": " + std::to_string(e.type) + ", \"start\": " + std::to_string(e.start) +
               ", \"end\": " + std::to_string(e.end) + ", \"extra\": " + std::to_string(e.extra);
        if (e.type == 0 || e.type == 2)
            out += ", \"value\": " + std::to_string(e.byteValue);
        if (e.type == 1) {
            out += ", \"frames\": [";
            for (size_t f = 0; f < e.frames.size(); ++f)
                out += (f ? ", " : "") + std::to_string(e.frames[f]);
            out += "]";
        }
        if (e.type == 2)
            out += ", \"soundIndex\": " + std::to_string(e.soundIndex);
        if (e.type == 3 || e.type == 4)
            out += ", \"text1\": " + jsonString(e.text1);
        if (e.type == 3)
            out += ", \"text2\": " + jsonString(e.text2);
        out += "}";
    }
    out += d.events.empty() ? "]\n}\n" : "\n  ]\n}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

}  // namespace veltro::tool
