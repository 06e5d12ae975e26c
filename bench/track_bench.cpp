// Following an object: tracking time per frame at 320 x 240 and 1280 x 720
// on generated clips, and the accuracy of the tracked positions and of the
// proposed path against the known trajectory (reported as counters: mean and
// worst distance in pixels over every frame of the span). With
// VELTRO_TRACK_CLIP=FILE and VELTRO_TRACK_LABELS="x,y,frame ..." the same
// figures for a real clip whose positions were labelled by hand.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

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

// Tracking alone: the frames are drawn beforehand so only tracking is timed.
void BM_TrackPerFrame(benchmark::State& state) {
    ClipOptions options;
    options.width = static_cast<int>(state.range(0));
    options.height = static_cast<int>(state.range(1));
    SyntheticClip clip(options);
    std::vector<ImageBuffer> frames;
    for (int f = 0; f < clip.frameCount(); ++f)
        frames.push_back(*clip.frame(f));
    int tracked = 0;
    for (auto _ : state) {
        ObjectTracker tracker;
        tracker.start(frames[0], clip.truth(0).x, clip.truth(0).y);
        for (size_t f = 1; f < frames.size(); ++f) {
            if (!tracker.step(frames[f]))
                break;
            ++tracked;
        }
    }
    // Seconds per tracked frame (shown in ms by --benchmark_counters_tabular).
    state.counters["s_per_frame"] =
        benchmark::Counter(static_cast<double>(tracked), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
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
// ("x,y,frame ..." with the first label the click), VELTRO_TRACK_BOX ("w,h").
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
