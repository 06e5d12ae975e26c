// The edit window's two latencies a person feels, on the real window drawn
// offscreen:
// - playing: a pointer move while dragging along a path over a 640 x 480
//   H.264 clip, until the new picture is on the back buffer;
// - scrubbing: a new slide-bar position over a 1920 x 1080 H.264 clip with a
//   key frame every 60 frames, until its picture is on the back buffer, in
//   random and in sequential order.
// Each case reports the median and the 99th percentile in milliseconds as
// counters (p50_ms, p99_ms). The clips are made with the ffmpeg program.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/edit/edit_window.h"
#include "app/edit/slide_bar.h"
#include "document/document.h"
#include "document/media_cache.h"
#include "document/movie_object.h"
#include "image/image_format.h"
#include "movie/standard_movie_formats.h"
#include "services/resources.h"
#include "services/settings.h"

namespace veltro {
namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "edit_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        auto* created = new QApplication(argc, argv);
        registerStandardImageFormats();
        registerStandardMovieFormats();
        const char* dist = std::getenv("VELTRO_DIST_DIR");
        const std::string res = dist ? std::string(dist) + "/res" : "build-bench/dist/res";
        setResources(std::make_unique<Resources>(res));
        return created;
    }();
    return *app;
}

std::filesystem::path benchDirectory() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("veltro_edit_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

// An H.264 MP4 of the test pattern, made once; empty when ffmpeg failed.
std::string h264Clip(int width, int height, int frames, int keyInterval) {
    const std::string file = (benchDirectory() / ("clip_" + std::to_string(width) + "x" + std::to_string(height) +
                                                  "_" + std::to_string(keyInterval) + ".mp4"))
                                 .string();
    if (!std::filesystem::exists(file)) {
        const std::string command = "ffmpeg -v error -y -f lavfi -i testsrc2=size=" + std::to_string(width) + "x" +
                                    std::to_string(height) + ":rate=30 -frames:v " + std::to_string(frames) +
                                    " -c:v libx264 -preset veryfast -pix_fmt yuv420p -g " +
                                    std::to_string(keyInterval) + " -keyint_min " + std::to_string(keyInterval) +
                                    " -sc_threshold 0 -bf 2 '" + file + "'";
        if (std::system(command.c_str()) != 0)
            return "";
    }
    return file;
}

std::unique_ptr<Document> documentWithClip(const std::string& path) {
    auto document = std::make_unique<Document>(320, 240);
    MediaEntry* entry = document->movieCache.find(path);
    if (entry == nullptr || !entry->movie)
        return nullptr;
    auto movie = std::make_unique<MovieObject>(*document);
    movie->attachMovie(entry);
    document->insertObject(std::move(movie));
    document->setEditing(true);
    return document;
}

void reportPercentiles(benchmark::State& state, std::vector<double> ms) {
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<size_t>(q * (ms.size() - 1) + 0.5))]; };
    state.counters["p50_ms"] = at(0.50);
    state.counters["p99_ms"] = at(0.99);
    state.counters["max_ms"] = ms.back();
    state.counters["samples"] = static_cast<double>(ms.size());
}

template <class F>
double timeMs(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Dragging back and forth along a path drawn across the whole picture.
void BM_PlayDrag640x480(benchmark::State& state) {
    application();
    const std::string clip = h264Clip(640, 480, 300, 30);
    auto document = clip.empty() ? nullptr : documentWithClip(clip);
    if (!document) {
        state.SkipWithError("no clip (ffmpeg with libx264 needed)");
        return;
    }
    EditWindow window(nullptr, *document);
    window.show(true);
    // Show the clip at its own size: the largest zoom whose picture fits.
    window.zoom(kZoomOneLevel, false);
    // The whole clip is the span; draw one path left to right.
    window.onCommand(kEditStepOn);
    window.onCommand(kEditStepBack);
    window.onCommand(kEditMarkIn);
    window.showFrame(document->length - 1);
    window.onCommand(kEditMarkOut);
    const int left = window.pictureLeft();
    const int top = window.pictureTop();
    const int width = document->width;
    const int y = top + document->height / 2;
    window.onLeftDown(left + 10, y, 0);
    for (int x = 10; x < width - 10; x += 4)
        window.onMouseMove(left + x, y, 0);
    window.onLeftUp(left + width - 10, y, 0);

    std::vector<double> ms;
    for (auto _ : state) {
        window.onMouseMove(left + 10, y + 20, 0);
        window.onLeftDown(left + 10, y + 20, 0);
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = 0; i <= 200; ++i) {
                const int x = pass == 0 ? 10 + i * (width - 20) / 200 : width - 10 - i * (width - 20) / 200;
                ms.push_back(timeMs([&] { window.onMouseMove(left + x, y + 20, 0); }));
            }
        }
        window.onLeftUp(left + 10, y + 20, 0);
    }
    state.counters["picture_w"] = document->width;
    state.counters["flagged"] = document->flaggedCount;
    reportPercentiles(state, ms);
}
BENCHMARK(BM_PlayDrag640x480)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Slide-bar positions over a 600-frame 1080p clip, from opening the window.
void scrub(benchmark::State& state, bool random) {
    application();
    const std::string clip = h264Clip(1920, 1080, 600, 60);
    if (clip.empty()) {
        state.SkipWithError("no clip (ffmpeg with libx264 needed)");
        return;
    }
    std::vector<double> ms;
    for (auto _ : state) {
        state.PauseTiming();
        auto document = documentWithClip(clip);
        EditWindow window(nullptr, *document);
        window.show(true);
        std::vector<int> positions;
        const int frames = document->length;
        if (random) {
            std::mt19937 rng(42);
            std::uniform_int_distribution<int> pick(0, frames - 1);
            for (int i = 0; i < 300; ++i)
                positions.push_back(pick(rng));
        } else {
            // A slide-bar drag: a few frames per pointer move, forward and back.
            for (int f = 0; f < frames; f += 3)
                positions.push_back(f);
            for (int f = frames - 1; f >= 0; f -= 3)
                positions.push_back(f);
        }
        state.ResumeTiming();
        for (int f : positions) {
            ms.push_back(timeMs([&] {
                window.slideBar()->setValue(f);
                window.onCommand(kEditSlideBar);
            }));
        }
    }
    reportPercentiles(state, ms);
}

void BM_ScrubRandom1080p(benchmark::State& state) { scrub(state, true); }
void BM_ScrubSequential1080p(benchmark::State& state) { scrub(state, false); }
BENCHMARK(BM_ScrubRandom1080p)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ScrubSequential1080p)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace veltro

BENCHMARK_MAIN();
