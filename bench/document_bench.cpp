// Milliseconds per frame of Document::render on a 640 x 480 document holding
// one movie object (a 320 x 240 clip stretched over the canvas) and one
// drag-motion object (a 60-point wave), with the path antialiased (the normal
// still picture) and drawn directly (while editing or dragging). The clip is
// held in memory so the figure is the document's drawing, not a decoder's; a
// second case decodes a real MJPEG AVI through the program's movie formats
// when the ffmpeg command is there to make one.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include <QGuiApplication>

#include "document/document.h"
#include "document/movie_object.h"
#include "dragmotion/drag_motion_object.h"
#include "movie/movie_format.h"
#include "movie/standard_movie_formats.h"
#include "services/canvas.h"
#include "services/font.h"

namespace veltro {
namespace {

constexpr int kClipFrames = 100;

// A clip of kClipFrames frames of 320 x 240 whose pixels depend on the index.
class MemoryMovieReader : public MovieReader {
public:
    bool open(const std::string&) override {
        frameCount = kClipFrames;
        frame = std::make_unique<ImageBuffer>(320, 240);
        return true;
    }
    const ImageBuffer* frameAt(int index) override {
        for (int y = 0; y < frame->height; ++y)
            for (int x = 0; x < frame->width; ++x)
                frame->at(x, y) = 0xFF000000u | static_cast<uint32_t>((x + index) * 0x010203 + y * 0x030100);
        return frame.get();
    }
};

std::unique_ptr<MediaEntry> memoryClip() {
    auto entry = std::make_unique<MediaEntry>();
    entry->fileName = "memory.clip";
    entry->movie = std::make_unique<MemoryMovieReader>();
    entry->movie->open(entry->fileName);
    return entry;
}

// Fills the document with the movie object and the drag-motion path.
void populate(Document& document, MediaEntry* clip) {
    auto movie = std::make_unique<MovieObject>(document);
    movie->setRect(0, 0, 640, 480);
    movie->attachMovie(clip);
    document.insertObject(std::move(movie));

    auto path = std::make_unique<DragMotionObject>(document);
    for (int i = 0; i < 60; ++i)
        path->path.append(20 + i * 10, 240 + static_cast<int>(120 * std::sin(i * 0.2)), i * (kClipFrames - 1) / 59, 1);
    path->pathWidth = {3, 3, 3};
    path->ranges.push_back({0, kClipFrames - 1});
    path->finalizePath();
    path->fitRectToPath();
    document.insertObject(std::move(path));
}

void renderFrames(benchmark::State& state, Document& document) {
    document.editing = state.range(0) == 0;
    int frame = 0;
    for (auto _ : state) {
        document.currentFrame = frame;
        document.render();
        benchmark::DoNotOptimize(document.canvas().surface().constBits());
        frame = (frame + 1) % kClipFrames;
    }
    state.SetLabel(state.range(0) ? "antialiased" : "direct");
}

void BM_RenderMemoryClip(benchmark::State& state) {
    Document document(640, 480);
    auto clip = document.movieCache.add(memoryClip());
    populate(document, clip);
    renderFrames(state, document);
}
BENCHMARK(BM_RenderMemoryClip)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_RenderDecodedClip(benchmark::State& state) {
    static const std::string path = [] {
        std::string file = (std::filesystem::temp_directory_path() / "veltro_document_bench.avi").string();
        std::string command = "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25 -frames:v " +
                              std::to_string(kClipFrames) + " -c:v mjpeg '" + file + "' >/dev/null 2>&1";
        return std::system(command.c_str()) == 0 ? file : std::string();
    }();
    registerStandardMovieFormats();
    Document document(640, 480);
    MediaEntry* clip = path.empty() ? nullptr : document.movieCache.find(path);
    if (!clip) {
        state.SkipWithError("no test clip (the ffmpeg command is missing)");
        return;
    }
    populate(document, clip);
    renderFrames(state, document);
}
BENCHMARK(BM_RenderDecodedClip)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

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
