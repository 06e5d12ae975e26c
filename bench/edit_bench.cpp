// The edit window's two latencies a person feels, on the real window drawn
// offscreen:
// - playing: a pointer move while dragging along a path over a 640 x 480
//   H.264 clip, until the new picture is on the back buffer;
// - scrubbing: a new slide-bar position over a 1920 x 1080 H.264 clip with a
//   key frame every 60 frames, until its picture is on the back buffer, in
//   random and in sequential order.
// Each case reports the median and the 99th percentile in milliseconds as
// counters (p50_ms, p99_ms). A scrub shows a decoded neighbour at once when
// its own frame is not decoded yet: the plain scrub cases time the first
// picture (stand_ins counts the neighbours shown), the "Exact" cases wait
// for the frame itself, delivered through the event loop, right after the
// window opened ("Exact") or once the background decoding has filled the
// cache ("WarmExact"; fill_ms: how long that took from opening the window). max_rss_mb is the
// process's peak resident memory so far (run one case alone to read its
// own). The clips are made with the ffmpeg program.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include "app/edit/edit_window.h"
#include "app/edit/slide_bar.h"
#include "document/document.h"
#include "document/media_cache.h"
#include "document/movie_object.h"
#include "image/image_format.h"
#include "movie/frame_cache.h"
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

// Wall-clock and UI-thread CPU milliseconds of each sample. On a shared
// machine the CPU figures show the work itself, the wall figures also the
// waits for a core.
struct Samples {
    std::vector<double> wall;
    std::vector<double> cpu;
};

void reportPercentiles(benchmark::State& state, Samples samples) {
    if (samples.wall.empty())
        return;
    auto at = [](std::vector<double>& ms, double q) {
        std::sort(ms.begin(), ms.end());
        return ms[std::min(ms.size() - 1, static_cast<size_t>(q * (ms.size() - 1) + 0.5))];
    };
    state.counters["p50_ms"] = at(samples.wall, 0.50);
    state.counters["p99_ms"] = at(samples.wall, 0.99);
    state.counters["max_ms"] = samples.wall.back();
    state.counters["cpu_p50_ms"] = at(samples.cpu, 0.50);
    state.counters["cpu_p99_ms"] = at(samples.cpu, 0.99);
    state.counters["samples"] = static_cast<double>(samples.wall.size());
}

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void reportMemory(benchmark::State& state, const Document& document) {
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) == 0)
        state.counters["max_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    if (document.objects.empty() || document.objects.back()->type() != ObjectType::Movie)
        return;
    const auto& clip = static_cast<const MovieObject&>(*document.objects.back());
    if (clip.movie == nullptr || !clip.movie->movie)
        return;
    if (const DisplayFrameCache* frames = clip.movie->movie->displayFrames()) {
        state.counters["kept_frames"] = static_cast<double>(frames->keptCount());
        state.counters["kept_mb"] = static_cast<double>(frames->keptBytes()) / (1 << 20);
    }
}

// Runs the event loop until done() holds or seconds pass; false on timeout.
template <class F>
bool processEventsUntil(F&& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// The clip's display frames in the window's document.
const DisplayFrameCache* displayFrames(const Document& document) {
    const auto& clip = static_cast<const MovieObject&>(*document.objects.back());
    return clip.movie->movie->displayFrames();
}

template <class F>
void time(Samples& samples, F&& f) {
    const double cpu = threadCpuMs();
    const auto start = std::chrono::steady_clock::now();
    f();
    samples.wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    samples.cpu.push_back(threadCpuMs() - cpu);
}

// Dragging back and forth along a path drawn across the whole picture; warm:
// after the flagged frames were decoded ahead (prefetch_ms: how long that
// took from the end of the stroke), cold: right after the stroke.
void playDrag(benchmark::State& state, bool warm) {
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
    if (warm) {
        const auto& clip = static_cast<const MovieObject&>(*document->objects.back());
        const auto start = std::chrono::steady_clock::now();
        const bool all = processEventsUntil(
            [&] {
                for (int f = 0; f < document->length; ++f)
                    if ((document->frameFlags[static_cast<size_t>(f)] & kFrameEncodeMask) &&
                        !displayFrames(*document)->isKept(clip.sourceFrameAt(f)))
                        return false;
                return true;
            },
            30.0);
        state.counters["prefetch_ms"] =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (!all)
            state.counters["prefetch_timed_out"] = 1;
    }

    Samples ms;
    for (auto _ : state) {
        window.onMouseMove(left + 10, y + 20, 0);
        window.onLeftDown(left + 10, y + 20, 0);
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = 0; i <= 200; ++i) {
                const int x = pass == 0 ? 10 + i * (width - 20) / 200 : width - 10 - i * (width - 20) / 200;
                time(ms, [&] { window.onMouseMove(left + x, y + 20, 0); });
            }
        }
        window.onLeftUp(left + 10, y + 20, 0);
    }
    state.counters["picture_w"] = document->width;
    state.counters["flagged"] = document->flaggedCount;
    reportPercentiles(state, ms);
    reportMemory(state, *document);
}
void BM_PlayDrag640x480(benchmark::State& state) { playDrag(state, true); }
void BM_PlayDrag640x480Cold(benchmark::State& state) { playDrag(state, false); }
BENCHMARK(BM_PlayDrag640x480)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PlayDrag640x480Cold)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Slide-bar positions over a 600-frame 1080p clip, from opening the window;
// with exact, each position waits until its own frame is shown; with warm,
// the positions start once the cache holds all it can.
void scrub(benchmark::State& state, bool random, bool exact, bool warm = false) {
    application();
    const std::string clip = h264Clip(1920, 1080, 600, 60);
    if (clip.empty()) {
        state.SkipWithError("no clip (ffmpeg with libx264 needed)");
        return;
    }
    Samples ms;
    int standIns = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto document = documentWithClip(clip);
        const auto opening = std::chrono::steady_clock::now();
        EditWindow window(nullptr, *document);
        window.show(true);
        std::vector<int> positions;
        const int frames = document->length;
        if (warm) {
            const DisplayFrameCache* cache = displayFrames(*document);
            const size_t room = cache->budget() / DisplayFrameCache::pictureCost(cache->width(), cache->height());
            const size_t full = std::min(room, static_cast<size_t>(frames));
            if (!processEventsUntil([&] { return cache->keptCount() >= full; }, 120.0))
                state.SkipWithError("the cache did not fill");
            state.counters["fill_ms"] =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - opening).count();
        }
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
            time(ms, [&] {
                window.slideBar()->setValue(f);
                window.onCommand(kEditSlideBar);
                if (exact && !processEventsUntil([&] { return window.pictureIsExact(); }, 30.0))
                    state.SkipWithError("the exact frame never came");
            });
            if (!window.pictureIsExact())
                ++standIns;
        }
        reportMemory(state, *document);
    }
    state.counters["stand_ins"] = standIns;
    reportPercentiles(state, ms);
}

void BM_ScrubRandom1080p(benchmark::State& state) { scrub(state, true, false); }
void BM_ScrubSequential1080p(benchmark::State& state) { scrub(state, false, false); }
void BM_ScrubRandom1080pExact(benchmark::State& state) { scrub(state, true, true); }
void BM_ScrubSequential1080pExact(benchmark::State& state) { scrub(state, false, true); }
void BM_ScrubRandom1080pWarmExact(benchmark::State& state) { scrub(state, true, true, true); }
BENCHMARK(BM_ScrubRandom1080p)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ScrubSequential1080p)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ScrubRandom1080pExact)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ScrubSequential1080pExact)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ScrubRandom1080pWarmExact)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace veltro

BENCHMARK_MAIN();
