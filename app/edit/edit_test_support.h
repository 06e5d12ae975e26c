// Shared by the edit window tests: the shipped resource set, a bar-coded clip
// made with FFmpeg (every picture carries its frame number), a document
// holding it as a new document does, and reading the shown frame number back
// from the window's picture.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/edit/edit_window.h"
#include "document/document.h"
#include "document/media_cache.h"
#include "document/movie_object.h"
#include "image/image_format.h"
#include "movie/ffmpeg_test_fixtures.h"
#include "movie/standard_movie_formats.h"
#include "services/canvas.h"
#include "services/resources.h"
#include "services/settings.h"
#include "ui/ui_test_support.h"

namespace veltro::edit_testing {

// The resource set the build put beside the programs, or empty.
inline std::string shippedResourceDir() {
    const char* dist = std::getenv("VELTRO_DIST_DIR");
    std::string dir = dist ? std::string(dist) + "/res" : std::string();
    if (dir.empty() || !std::filesystem::exists(dir + "/dialog.txt") ||
        !std::filesystem::exists(dir + "/slidebar_rail.png"))
        return {};
    return dir;
}

// A Motion JPEG AVI of frames pictures, width x height, each carrying its
// number as a bar code; made once per test program.
inline std::string barCodedClip(int frames, int width, int height) {
    const std::string dir = fixtures::scratchDirectory("edit");
    fixtures::ClipSpec spec;
    spec.path = dir + "/clip_" + std::to_string(frames) + "_" + std::to_string(width) + "x" +
                std::to_string(height) + ".avi";
    if (std::filesystem::exists(spec.path))
        return spec.path;
    spec.codec = AV_CODEC_ID_MJPEG;
    spec.pixelFormat = AV_PIX_FMT_YUVJ420P;
    spec.width = width;
    spec.height = height;
    spec.frames = frames;
    spec.options = {{"q:v", "2"}};
    return fixtures::writeClip(spec) ? spec.path : std::string();
}

// A document holding the clip as its only object, as a new document from a
// movie file has it.
inline std::unique_ptr<Document> documentWithClip(const std::string& path) {
    auto document = std::make_unique<Document>(320, 240);
    MediaEntry* entry = document->movieCache.find(path);
    if (entry == nullptr || !entry->movie)
        return nullptr;
    auto movie = std::make_unique<MovieObject>(*document);
    movie->attachMovie(entry);
    movie->flagL = 1;
    document->insertObject(std::move(movie));
    document->setEditing(true);
    return document;
}

// The frame number the window's picture shows now, -1 when unreadable.
inline int shownFrame(EditWindow& window) {
    const Document& document = window.editedDocument();
    const QImage picture = window.backBuffer()->surface().copy(window.pictureLeft(), window.pictureTop(),
                                                               document.width, document.height);
    ImageBuffer image(picture.width(), picture.height());
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            image.pixels[static_cast<size_t>(y) * picture.width() + x] = picture.pixel(x, y);
    return fixtures::readCode(image);
}

// The test fixture: the shipped resources, the movie formats, a 60-frame
// 320 x 240 clip, and a fresh document and window per test.
class EditWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::app(); }

    void SetUp() override {
        resourceDir = shippedResourceDir();
        if (resourceDir.empty())
            GTEST_SKIP() << "the resource set is not built (VELTRO_DIST_DIR/res)";
        registerStandardImageFormats();
        registerStandardMovieFormats();
        previousResources = setResources(std::make_unique<Resources>(resourceDir));
        previousSettings = setSettings(std::make_unique<Settings>());
        clip = barCodedClip(60, 320, 240);
        ASSERT_FALSE(clip.empty());
    }

    void TearDown() override {
        window.reset();
        document.reset();
        if (previousResources)
            setResources(std::move(previousResources));
        if (previousSettings)
            setSettings(std::move(previousSettings));
        testing::settle();
    }

    // Opens the window on a fresh document of path (the standard clip when
    // empty).
    void open(const std::string& path = {}) {
        document = documentWithClip(path.empty() ? clip : path);
        ASSERT_TRUE(document);
        window = std::make_unique<EditWindow>(nullptr, *document);
        window->show(true);
    }

    QWidget* platform() { return window->platformWindow(); }
    // Window coordinates of a picture point.
    QPoint at(int x, int y) { return QPoint(window->pictureLeft() + x, window->pictureTop() + y); }
    // Presses the button with that id as a person would.
    void click(int id) {
        Widget* button = window->widgetById(id);
        ASSERT_NE(button, nullptr) << id;
        const QPoint centre(button->x() + button->width() / 2, button->y() + button->height() / 2);
        QTest::mouseMove(platform(), centre);
        QTest::mouseClick(platform(), Qt::LeftButton, {}, centre);
    }
    // Drags through picture points with real pointer events, with a move
    // every few pixels.
    void stroke(const std::vector<QPoint>& points, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseMove(platform(), at(points.front().x(), points.front().y()));
        QTest::mousePress(platform(), Qt::LeftButton, modifiers, at(points.front().x(), points.front().y()));
        for (size_t i = 1; i < points.size(); ++i) {
            const QPoint a = points[i - 1];
            const QPoint b = points[i];
            const int steps = std::max(1, std::max(std::abs(b.x() - a.x()), std::abs(b.y() - a.y())) / 8);
            for (int s = 1; s <= steps; ++s)
                QTest::mouseMove(platform(), at(a.x() + (b.x() - a.x()) * s / steps,
                                                 a.y() + (b.y() - a.y()) * s / steps));
        }
        QTest::mouseRelease(platform(), Qt::LeftButton, modifiers, at(points.back().x(), points.back().y()));
    }
    // A straight two-point stroke from a to b: press, one move, release.
    void line(QPoint a, QPoint b) {
        QTest::mouseMove(platform(), at(a.x(), a.y()));
        QTest::mousePress(platform(), Qt::LeftButton, {}, at(a.x(), a.y()));
        QTest::mouseMove(platform(), at(b.x(), b.y()));
        QTest::mouseRelease(platform(), Qt::LeftButton, {}, at(b.x(), b.y()));
    }
    // Steps the clip with the step-on button until frame f is shown.
    void stepTo(int f) {
        while (document->currentFrame < f)
            click(kEditStepOn);
        while (document->currentFrame > f)
            click(kEditStepBack);
    }
    // Marks frames first and last and leaves the window in the drawing step.
    void markSpan(int first, int last) {
        click(kEditStepOn);  // a step through the clip makes the mark button usable
        stepTo(first);
        click(kEditMarkIn);
        stepTo(last);
        click(kEditMarkOut);
    }

    std::string resourceDir;
    std::string clip;
    std::unique_ptr<Resources> previousResources;
    std::unique_ptr<Settings> previousSettings;
    std::unique_ptr<Document> document;
    std::unique_ptr<EditWindow> window;
};

}  // namespace veltro::edit_testing
