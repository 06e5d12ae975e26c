// Following an object: tracking time per frame (wall and process CPU) at
// 320 x 240 and 1280 x 720 on generated clips, and the accuracy of the
// tracked positions and of the proposed path against the known trajectory
// (reported as counters: mean and worst distance in pixels over every frame
// of the span). With
// VELTRO_TRACK_CLIP=FILE and VELTRO_TRACK_LABELS="x,y,frame ..." the same
// figures for a real clip whose positions were labelled by hand.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include <sys/resource.h>

#include "dragmotion/path_shape.h"
#include "image/image_format.h"
#include "movie/movie_format.h"
#include "movie/standard_movie_formats.h"
#include "services/progress.h"
#include "track/follow_path.h"
#include "track/object_tracker.h"
#include "track/track_test_support.h"

namespace {

using namespace veltro;
using veltro::testing::ClipOptions;
using veltro::testing::SyntheticClip;

// CPU seconds this process has used so far, all its threads together (the
// machine is shared: wall time says more about the other work on it).
double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Tracking alone: the frames are drawn beforehand so only tracking is timed.
// Counters: wall and process CPU milliseconds per tracked frame.
void BM_TrackPerFrame(benchmark::State& state) {
    ClipOptions options;
    options.width = static_cast<int>(state.range(0));
    options.height = static_cast<int>(state.range(1));
    SyntheticClip clip(options);
    std::vector<ImageBuffer> frames;
    for (int f = 0; f < clip.frameCount(); ++f)
        frames.push_back(*clip.frame(f));
    int tracked = 0;
    double cpu = 0.0, wall = 0.0;
    for (auto _ : state) {
        const double cpu0 = processCpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        ObjectTracker tracker;
        tracker.start(frames[0], clip.truth(0).x, clip.truth(0).y);
        for (size_t f = 1; f < frames.size(); ++f) {
            if (!tracker.step(frames[f]))
                break;
            ++tracked;
        }
        cpu += processCpuSeconds() - cpu0;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    }
    state.counters["frames"] = static_cast<double>(tracked) / static_cast<double>(state.iterations());
    state.counters["wall_ms_per_frame"] = tracked ? 1000.0 * wall / tracked : -1;
    state.counters["cpu_ms_per_frame"] = tracked ? 1000.0 * cpu / tracked : -1;
}

// Accuracy over the whole generated clip, from a click at the first frame and
// from a click in the middle (both directions), of the positions and of the
// path proposed from them.
void BM_TrackAccuracy(benchmark::State& state) {
    ClipOptions options;
    options.seed = static_cast<uint32_t>(state.range(0));
    SyntheticClip clip(options);
    const int start = static_cast<int>(state.range(1));
    TrackOutcome outcome;
    for (auto _ : state) {
        SilentProgress progress;
        const TrackPoint t = clip.truth(start);
        trackObject(clip.supplier(), clip.frameCount(), {t.x, t.y, 0, 0, start}, 0, clip.frameCount() - 1, progress,
                    outcome, nullptr);
    }
    const auto tracked = veltro::testing::trackError(clip, outcome.points);
    DragPath path;
    followPath(outcome.points, 1.0, 1.0, path);
    double sum = 0.0, worst = 0.0;
    int frames = 0;
    for (int f = 0; f < clip.frameCount(); ++f) {
        PathPosition p;
        if (!polylineShape().positionAt(path, f, p))
            continue;
        const double d = std::hypot(p.x - clip.truth(f).x, p.y - clip.truth(f).y);
        sum += d;
        worst = std::max(worst, d);
        ++frames;
    }
    state.counters["frames"] = tracked.frames;
    state.counters["track_mean_px"] = tracked.mean;
    state.counters["track_worst_px"] = tracked.worst;
    state.counters["path_points"] = path.count();
    state.counters["path_mean_px"] = frames ? sum / frames : -1;
    state.counters["path_worst_px"] = worst;
}

// A real clip labelled by hand: VELTRO_TRACK_CLIP, VELTRO_TRACK_LABELS
// ("x,y,frame ..." with the first label the click; frames numbered as this
// program's movie reader numbers them), VELTRO_TRACK_BOX ("w,h");
// VELTRO_TRACK_DUMP=1 prints the tracked positions.
void BM_TrackRealClip(benchmark::State& state) {
    const char* file = std::getenv("VELTRO_TRACK_CLIP");
    const char* labelText = std::getenv("VELTRO_TRACK_LABELS");
    if (file == nullptr || labelText == nullptr) {
        state.SkipWithError("set VELTRO_TRACK_CLIP and VELTRO_TRACK_LABELS");
        return;
    }
    registerStandardImageFormats();
    registerStandardMovieFormats();
    MovieReaderPtr reader = openMovie(file);
    if (!reader) {
        state.SkipWithError("the clip cannot be opened");
        return;
    }
    std::vector<TrackPoint> labels;
    std::istringstream in(labelText);
    for (std::string item; in >> item;) {
        TrackPoint p;
        if (std::sscanf(item.c_str(), "%lf,%lf,%d", &p.x, &p.y, &p.frame) == 3)
            labels.push_back(p);
    }
    int boxW = 0, boxH = 0;
    if (const char* box = std::getenv("VELTRO_TRACK_BOX"))
        std::sscanf(box, "%d,%d", &boxW, &boxH);
    if (labels.size() < 2) {
        state.SkipWithError("at least two labels");
        return;
    }
    const int first = labels.front().frame, last = labels.back().frame;
    TrackOutcome outcome;
    for (auto _ : state) {
        SilentProgress progress;
        trackObject([&](int f) { return reader->frameAt(f); }, reader->frameCount,
                    {labels.front().x, labels.front().y, boxW, boxH, first}, first, last, progress, outcome, nullptr);
    }
    if (std::getenv("VELTRO_TRACK_DUMP"))
        for (const TrackPoint& p : outcome.points)
            std::fprintf(stderr, "%d %.1f %.1f\n", p.frame, p.x, p.y);
    DragPath path;
    followPath(outcome.points, 1.0, 1.0, path);
    double sum = 0.0, worst = 0.0, pathSum = 0.0, pathWorst = 0.0;
    int n = 0, missing = 0;
    for (const TrackPoint& label : labels) {
        const TrackPoint* found = nullptr;
        for (const TrackPoint& p : outcome.points)
            if (p.frame == label.frame)
                found = &p;
        PathPosition at;
        if (found == nullptr || !polylineShape().positionAt(path, label.frame, at)) {
            ++missing;
            continue;
        }
        const double d = std::hypot(found->x - label.x, found->y - label.y);
        const double pd = std::hypot(at.x - label.x, at.y - label.y);
        sum += d;
        worst = std::max(worst, d);
        pathSum += pd;
        pathWorst = std::max(pathWorst, pd);
        ++n;
    }
    state.counters["labels"] = static_cast<double>(labels.size());
    state.counters["unreached"] = missing;
    state.counters["last_frame"] = outcome.points.empty() ? -1 : outcome.points.back().frame;
    state.counters["track_mean_px"] = n ? sum / n : -1;
    state.counters["track_worst_px"] = worst;
    state.counters["path_mean_px"] = n ? pathSum / n : -1;
    state.counters["path_worst_px"] = pathWorst;
    state.counters["path_points"] = path.count();
}

}  // namespace

BENCHMARK(BM_TrackPerFrame)->Args({320, 240})->Args({1280, 720})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TrackAccuracy)->Args({7, 0})->Args({7, 45})->Args({11, 0})->Args({23, 89})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrackRealClip)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
