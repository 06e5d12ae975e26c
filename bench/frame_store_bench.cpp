// The frame store against the usual way of shipping drag-to-spin frames (one
// JPEG per frame), on a generated 200-frame 320 x 240 fixed-camera clip with
// moderate motion: four shapes of 16 to 40 pixels (people and cars seen from
// across a street) moving 2 pixels a frame over a textured background, with
// +-2 sensor noise on every frame. Encoding throughput of both at quality
// 75 (4:4:4, optimised Huffman), the bytes of both (and their ratio), and
// decoding every position of the store.
#include <benchmark/benchmark.h>

#include <time.h>

#include <filesystem>

#include "encode/frame_store_writer.h"
#include "encode/synthetic_clip.h"
#include "image/file_utils.h"
#include "image/jpeg_format.h"
#include "movie/frame_store_movie.h"

namespace veltro {
namespace {

constexpr int kFrames = 200;
constexpr int kQuality = 75;

const std::vector<ImageBuffer>& benchClip() {
    static const std::vector<ImageBuffer> clip = [] {
        synthetic::ClipOptions options;
        options.frames = kFrames;
        options.shapes = 4;
        options.speed = 2;
        options.noise = 2;
        options.minShapeSize = 8;
        options.maxShapeSize = 20;
        options.seed = 11;
        return synthetic::movingShapesClip(options);
    }();
    return clip;
}

std::string scratchDirectory(const std::string& name) {
    const std::string dir = (std::filesystem::temp_directory_path() / ("veltro-bench-" + name)).string();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// The product's settings; sheetHeight is "diff_sum_h" (64 in the resource set).
FrameStoreSettings benchSettings(int sheetHeight = 64) {
    FrameStoreSettings s;
    s.sheetHeight = sheetHeight;
    s.flags.assign(kFrames, static_cast<uint8_t>(FrameFlag::Difference));
    s.flags[0] = static_cast<uint8_t>(FrameFlag::SortedKey);
    s.jpegQuality = kQuality;
    s.diffQuality = kQuality;
    return s;
}

int64_t writeStore(const std::string& dir, int sheetHeight = 16) {
    synthetic::MemoryMovieReader reader(&benchClip());
    SilentProgress progress;
    FrameStoreSummary summary;
    writeFrameStore(progress, dir + "/v0.txt", reader, benchSettings(sheetHeight), &summary);
    int64_t bytes = 0;
    for (const std::string& file : summary.files)
        bytes += fileSize(file);
    return bytes;
}

int64_t writeJpegs(const std::string& dir) {
    JpegFormat jpeg;
    jpeg.quality = kQuality;
    int64_t bytes = 0;
    for (int f = 0; f < kFrames; ++f) {
        const std::string path = dir + "/f" + std::to_string(f) + ".jpg";
        jpeg.save(path, benchClip()[f]);
        bytes += fileSize(path);
    }
    return bytes;
}

// Each round writes into a fresh directory, as publishing does: replacing
// existing files would add the file system's flush-on-rename to both sides.
void BM_EncodeFrameStore(benchmark::State& state) {
    int64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string dir = scratchDirectory("store");
        state.ResumeTiming();
        bytes = writeStore(dir);
    }
    state.SetItemsProcessed(state.iterations() * kFrames);  // frames per second
    state.counters["bytes"] = double(bytes);
    std::filesystem::remove_all(scratchDirectory("store"));
}
BENCHMARK(BM_EncodeFrameStore)->Unit(benchmark::kMillisecond);

void BM_EncodePerFrameJpeg(benchmark::State& state) {
    int64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string dir = scratchDirectory("jpeg");
        state.ResumeTiming();
        bytes = writeJpegs(dir);
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.counters["bytes"] = double(bytes);
    std::filesystem::remove_all(scratchDirectory("jpeg"));
}
BENCHMARK(BM_EncodePerFrameJpeg)->Unit(benchmark::kMillisecond);

// Both encodings once per iteration, timed by this thread's CPU clock so
// that other work on the machine does not tilt the ratio: the throughput
// ratio (store frames per second over JPEG frames per second; target >= 3)
// and the byte ratio (store over JPEGs; target <= 0.15). The argument is the
// starting sheet height ("diff_sum_h"): 64 as shipped, 16 for comparison.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void BM_StoreAgainstPerFrameJpeg(benchmark::State& state) {
    double storeSeconds = 0, jpegSeconds = 0;
    int64_t storeBytes = 0, jpegBytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string storeDir = scratchDirectory("ratio-store");
        const std::string jpegDir = scratchDirectory("ratio-jpeg");
        state.ResumeTiming();
        const double t0 = threadSeconds();
        storeBytes = writeStore(storeDir, static_cast<int>(state.range(0)));
        const double t1 = threadSeconds();
        jpegBytes = writeJpegs(jpegDir);
        const double t2 = threadSeconds();
        storeSeconds += t1 - t0;
        jpegSeconds += t2 - t1;
    }
    state.counters["speed_x_jpeg"] = jpegSeconds / storeSeconds;
    state.counters["bytes_x_jpeg"] = double(storeBytes) / double(jpegBytes);
    state.counters["store_bytes"] = double(storeBytes);
    state.counters["jpeg_bytes"] = double(jpegBytes);
    std::filesystem::remove_all(scratchDirectory("ratio-store"));
    std::filesystem::remove_all(scratchDirectory("ratio-jpeg"));
}
BENCHMARK(BM_StoreAgainstPerFrameJpeg)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_DecodeFrameStore(benchmark::State& state) {
    registerStandardImageFormats();
    const std::string dir = scratchDirectory("decode");
    writeStore(dir);
    FrameStoreMovieReader reader;
    if (!reader.open(dir + "/v0.txt")) {
        state.SkipWithError("the store did not open");
        return;
    }
    for (auto _ : state)
        for (int p = 0; p < reader.frameCount; ++p)
            benchmark::DoNotOptimize(reader.frameAt(p));
    state.SetItemsProcessed(state.iterations() * reader.frameCount);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_DecodeFrameStore)->Unit(benchmark::kMillisecond);

// Opening the store: reading the index, loading its JPEGs and rebuilding.
void BM_OpenFrameStore(benchmark::State& state) {
    registerStandardImageFormats();
    const std::string dir = scratchDirectory("open");
    writeStore(dir);
    for (auto _ : state) {
        FrameStoreMovieReader reader;
        benchmark::DoNotOptimize(reader.open(dir + "/v0.txt"));
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_OpenFrameStore)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace veltro

BENCHMARK_MAIN();
