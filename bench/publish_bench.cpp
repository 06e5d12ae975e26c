// Publishing a page end to end from a generated 300-frame 320 x 240 clip
// (moving shapes over a textured background, light sensor noise), with one
// path across the clip and the frame step chosen for "max_frame" 50, as
// `veltrotool publish` does. The phases are measured apart (frame stores,
// thumbnail, archive, the rest), and the page's bytes are set against the
// clip's frames saved as one JPEG each at the same quality (the usual way of
// shipping drag-to-spin frames).
#include <benchmark/benchmark.h>

#include <filesystem>

#include <QGuiApplication>

#include "document/document.h"
#include "document/movie_object.h"
#include "publish/publish_context.h"
#include "publish/publish_page.h"
#include "dragmotion/drag_motion_kind.h"
#include "dragmotion/drag_motion_object.h"
#include "encode/synthetic_clip.h"
#include "image/file_utils.h"
#include "image/image_format.h"
#include "image/jpeg_format.h"
#include "services/font.h"
#include "services/progress.h"
#include "services/settings.h"

namespace veltro {
namespace {

namespace fs = std::filesystem;

constexpr int kFrames = 300;
constexpr int kQuality = 75;

const std::vector<ImageBuffer>& benchClip() {
    static const std::vector<ImageBuffer> clip = [] {
        synthetic::ClipOptions options;
        options.frames = kFrames;
        options.shapes = 4;
        options.speed = 2;
        options.noise = 2;
        options.seed = 11;
        return synthetic::movingShapesClip(options);
    }();
    return clip;
}

std::string scratch(const std::string& name) {
    const std::string dir = (fs::temp_directory_path() / ("veltro-bench-" + name)).string();
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

int64_t treeBytes(const std::string& dir, const std::string& skip = {}) {
    int64_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().filename() != skip)
            total += static_cast<int64_t>(entry.file_size());
    return total;
}

// The document `veltrotool publish` makes: the clip, a horizontal path across
// the middle over every frame, the frame step for max_frame 50.
std::unique_ptr<Document> benchDocument(const std::string& pageDir) {
    registerStandardImageFormats();
    registerDragMotionObjectKind();
    auto document = std::make_unique<Document>(320, 240);
    auto entry = std::make_unique<MediaEntry>();
    entry->fileName = "synthetic clip";
    entry->movie = std::make_unique<synthetic::MemoryMovieReader>(benchClip());
    entry->movie->frameAt(0);
    MediaEntry* movieEntry = document->movieCache.add(std::move(entry));
    auto movie = std::make_unique<MovieObject>(*document);
    movie->attachMovie(movieEntry);
    movie->setRect(0, 0, 320, 240);
    movie->flagL = 1;
    document->insertObject(std::move(movie));
    document->setLength(kFrames);
    auto path = std::make_unique<DragMotionObject>(*document);
    path->ranges = {{0, kFrames - 1}};
    for (int x = 32; x <= 288; x += 4)
        path->path.append(x, 120, 0, 1);
    path->path.distributeFrames(0, kFrames - 1);
    path->path.simplify(32);
    path->path.distributeFrames(0, kFrames - 1);
    path->finalizePath();
    path->fitRectToPath();
    document->insertObject(std::move(path));
    for (int s = 0; s <= 999; ++s) {
        document->frameStep = s;
        document->recomputeFlags();
        if (document->flaggedCount <= 50)
            break;
    }
    document->setCurrentFrame(0);
    document->render();
    document->setName(pageDir);
    document->jpegQuality = kQuality;
    document->diffQuality = kQuality;
    return document;
}

void BM_PublishPage(benchmark::State& state) {
    const std::string album = scratch("publish");
    auto document = benchDocument(album + "/new0");
    PublishChoices choices;
    choices.jpegQuality = kQuality;
    choices.diffQuality = kQuality;
    SilentProgress progress;
    for (auto _ : state) {
        document->undoHistory.push();  // an edit: the frame stores are written again
        if (!publishPage(*document, choices, progress))
            state.SkipWithError("publish failed");
    }
    state.counters["page_bytes"] = static_cast<double>(treeBytes(album + "/new0", "new0.zip"));
    state.counters["zip_bytes"] = static_cast<double>(fs::file_size(album + "/new0/new0.zip"));
    state.counters["flagged"] = document->flaggedCount;
}
BENCHMARK(BM_PublishPage)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PublishFrameStores(benchmark::State& state) {
    const std::string page = scratch("stores") + "/new0";
    fs::create_directories(page);
    auto document = benchDocument(page);
    PublishContext context(page, *document);
    SilentProgress progress;
    for (auto _ : state)
        if (!context.writeFrameStores(progress))
            state.SkipWithError("frame stores failed");
    state.counters["store_bytes"] = static_cast<double>(treeBytes(page));
}
BENCHMARK(BM_PublishFrameStores)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PublishThumbnail(benchmark::State& state) {
    const std::string page = scratch("thumb") + "/new0";
    fs::create_directories(page);
    auto document = benchDocument(page);
    PublishContext context(page, *document);
    for (auto _ : state)
        if (!context.writeThumbnail())
            state.SkipWithError("thumbnail failed");
}
BENCHMARK(BM_PublishThumbnail)->Unit(benchmark::kMillisecond);

void BM_PublishZip(benchmark::State& state) {
    const std::string album = scratch("zip");
    auto document = benchDocument(album + "/new0");
    PublishChoices choices;
    SilentProgress progress;
    publishPage(*document, choices, progress);
    PublishContext context(album + "/new0", *document);
    for (auto _ : state)
        if (!context.writeZip())
            state.SkipWithError("archive failed");
}
BENCHMARK(BM_PublishZip)->Unit(benchmark::kMillisecond);

// The page's pictures: a 320 x 240 JPEG (copied after a decode that checks
// it still holds the picture), the same frame as a PNG (more than 256
// colours, written with the GIF codec's popularity palette) and a 64 x 64
// cut-out PNG (few colours and a transparent corner, written as GIF89a).
// range(0) 1: the sources are gone, so the JPEG is encoded again too.
void BM_PublishImages(benchmark::State& state) {
    const std::string dir = scratch(state.range(0) ? "images-gone" : "images");
    const std::string page = dir + "/new0";
    fs::create_directories(page);
    auto document = benchDocument(page);
    JpegFormat jpeg;
    jpeg.quality = kQuality;
    const ImageBuffer& frame = benchClip()[0];
    ImageBuffer cutOut(64, 64);
    cutOut.hasAlpha = 1;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            cutOut.at(x, y) = (x < 24 && y < 24) ? 0u : ((x / 8 + y / 8) % 2 ? 0xFFFF0000u : 0xFF000000u);
    ImageFormat* png = findImageFormat("x.png");
    if (!jpeg.save(dir + "/photo.jpg", frame) || !png || !png->save(dir + "/photo.png", frame) ||
        !png->save(dir + "/cutout.png", cutOut)) {
        state.SkipWithError("sources could not be written");
        return;
    }
    std::vector<MediaEntry*> pictures;
    for (const char* name : {"photo.jpg", "photo.png", "cutout.png"})
        pictures.push_back(document->imageCache.add(document->imageCache.load(dir + "/" + name)));
    auto& path = static_cast<DragMotionObject&>(*document->objects.front());
    path.pathImage = {pictures[2], pictures[2], pictures[2]};
    path.thumbnailImages = {pictures[0], pictures[1]};
    if (state.range(0))
        for (const char* name : {"photo.jpg", "photo.png", "cutout.png"})
            fs::remove(dir + "/" + name);
    PublishContext context(page, *document);
    for (auto _ : state)
        if (!context.writeImages())
            state.SkipWithError("pictures failed");
    int64_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(page))
        bytes += static_cast<int64_t>(entry.file_size());
    state.counters["picture_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_PublishImages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Baseline: every frame of the clip as its own JPEG at the same quality.
void BM_OneJpegPerFrame(benchmark::State& state) {
    const std::string dir = scratch("jpegs");
    JpegFormat jpeg;
    jpeg.quality = kQuality;
    for (auto _ : state)
        for (int f = 0; f < kFrames; ++f)
            jpeg.save(joinPath(dir, std::to_string(f) + ".jpg"), benchClip()[static_cast<size_t>(f)]);
    state.counters["jpeg_bytes"] = static_cast<double>(treeBytes(dir));
}
BENCHMARK(BM_OneJpegPerFrame)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace veltro

int main(int argc, char** argv) {
    // Text is drawn with the application's font database; nothing is shown,
    // so the offscreen platform serves unless the caller chose another.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
