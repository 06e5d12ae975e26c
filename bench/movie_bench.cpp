// Random access into movie files: frameAt in a shuffled order over a
// 300-frame 640 x 480 H.264 MP4 (one key frame a second) and a Motion JPEG
// AVI, in frames per second, against the ffmpeg program decoding the same
// file from start to end in the same run. The ratio counter is the figure:
// random-order frames per second over the program's sequential frames per
// second. Forward frameAt (decoding on, no seeks) and backward frameAt (one
// frame back per step, as when dragging back along a path) are measured too.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "movie/avi_movie.h"
#include "movie/direct_show_movie.h"
#include "movie/video_file_movie.h"

namespace veltro {
namespace {

constexpr int kFrames = 300;

std::filesystem::path benchDirectory() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() /
                 ("veltro_movie_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

// Makes the clip once with the ffmpeg program; empty when that fails.
std::string clip(const std::string& name, const std::string& codecOptions) {
    const std::string file = (benchDirectory() / name).string();
    if (!std::filesystem::exists(file)) {
        const std::string command = "ffmpeg -v error -y -f lavfi -i testsrc2=size=640x480:rate=30 -frames:v " +
                                    std::to_string(kFrames) + " " + codecOptions + " '" + file + "'";
        if (std::system(command.c_str()) != 0)
            return "";
    }
    return file;
}

// Frames per second of the ffmpeg program decoding the whole file once (to
// RGB, as the readers do), measured once per file.
double programFramesPerSecond(const std::string& file) {
    static std::map<std::string, double> measured;
    if (auto it = measured.find(file); it != measured.end())
        return it->second;
    const std::string command =
        "ffmpeg -v error -threads 1 -i '" + file + "' -pix_fmt bgra -f null - 2>/dev/null";
    double best = 0.0;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0)
            return measured[file] = 0.0;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::max(best, kFrames / took.count());
    }
    return measured[file] = best;
}

const std::string& h264File() {
    static const std::string file = clip("clip.mp4", "-c:v libx264 -preset veryfast -g 30 -pix_fmt yuv420p");
    return file;
}

const std::string& mjpegFile() {
    static const std::string file = clip("clip.avi", "-c:v mjpeg -q:v 3");
    return file;
}

enum class Order { Shuffled, Forward, Backward };

template <typename Format>
void frameAtBenchmark(benchmark::State& state, const std::string& file, Order orderKind) {
    if (file.empty()) {
        state.SkipWithError("the ffmpeg program could not make the clip");
        return;
    }
    MovieReaderPtr reader = Format().open(file);
    if (!reader || reader->frameCount != kFrames) {
        state.SkipWithError("the clip does not open");
        return;
    }
    std::vector<int> order(kFrames);
    std::iota(order.begin(), order.end(), 0);
    if (orderKind == Order::Shuffled)
        std::shuffle(order.begin(), order.end(), std::mt19937(5));
    else if (orderKind == Order::Backward)
        std::reverse(order.begin(), order.end());
    int64_t frames = 0;
    for (auto _ : state) {
        for (int index : order) {
            const ImageBuffer* image = reader->frameAt(index);
            if (!image) {
                state.SkipWithError("a frame did not decode");
                return;
            }
            benchmark::DoNotOptimize(image->pixels.data());
        }
        frames += kFrames;
    }
    const double program = programFramesPerSecond(file);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["ffmpeg_fps"] = program;
    // The ratio is worked out from the per-iteration time Google Benchmark
    // reports: frames / seconds over the program's frames per second.
    state.counters["ratio"] = benchmark::Counter(program > 0 ? frames / program : 0.0,
                                                 benchmark::Counter::kIsRate);
}

void BM_RandomFrameAtH264Mp4(benchmark::State& state) {
    frameAtBenchmark<VideoFileMovieFormat>(state, h264File(), Order::Shuffled);
}
void BM_SequentialFrameAtH264Mp4(benchmark::State& state) {
    frameAtBenchmark<VideoFileMovieFormat>(state, h264File(), Order::Forward);
}
// Dragging back along a path: every step goes back one frame.
void BM_BackwardFrameAtH264Mp4(benchmark::State& state) {
    frameAtBenchmark<VideoFileMovieFormat>(state, h264File(), Order::Backward);
}
void BM_RandomFrameAtMjpegAvi(benchmark::State& state) {
    frameAtBenchmark<AviMovieFormat>(state, mjpegFile(), Order::Shuffled);
}
void BM_SequentialFrameAtMjpegAvi(benchmark::State& state) {
    frameAtBenchmark<AviMovieFormat>(state, mjpegFile(), Order::Forward);
}

BENCHMARK(BM_RandomFrameAtH264Mp4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SequentialFrameAtH264Mp4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BackwardFrameAtH264Mp4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RandomFrameAtMjpegAvi)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SequentialFrameAtMjpegAvi)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace veltro

BENCHMARK_MAIN();
