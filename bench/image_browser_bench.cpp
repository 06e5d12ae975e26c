// The thumbnail browser on a folder of 500 camera-size photos (4000 x 3000
// JPEG): the time from opening the folder until the first screen of 20 cells
// shows its thumbnails, and until every thumbnail is built, through the real
// window on Qt's offscreen platform. The baseline builds the same first
// screen the plain way (each photo decoded whole, then scaled down) in the
// same run. The photos are made once and kept in the build folder.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/framelist/image_browser.h"
#include "app/framelist/thumbnail_loader.h"
#include "image/file_utils.h"
#include "image/image_format.h"
#include "image/jpeg_format.h"
#include "services/resources.h"
#include "ui/window.h"

namespace veltro {
namespace {

constexpr int kPhotos = 500;
constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kFirstScreen = kBrowserColumns * kBrowserRows;

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A photo-like base picture: smooth colour fields with fine grain, so the
// files are as large and as slow to decode as camera photos.
ImageBuffer basePhoto() {
    ImageBuffer image(kWidth, kHeight);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> grain(-8, 8);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const double u = double(x) / kWidth, v = double(y) / kHeight;
            auto channel = [&](double value) {
                const int c = int(value * 255.0) + grain(random);
                return uint32_t(c < 0 ? 0 : c > 255 ? 255 : c);
            };
            image.at(x, y) = 0xFF000000u | channel(0.5 + 0.4 * std::sin(6.0 * u + 2.0 * v)) << 16 |
                             channel(0.5 + 0.35 * std::cos(4.0 * v - 3.0 * u)) << 8 |
                             channel(0.45 + 0.3 * std::sin(9.0 * u * v + 1.0));
        }
    return image;
}

// The folder of photos, made on first use: photo i is the base picture with a
// dark box at a place of its own, as a series shot around an object.
std::string photoFolder() {
    const std::string folder = std::string(VELTRO_BENCH_CACHE_DIR) + "/photos500";
    const std::string done = folder + "/.complete";
    if (fileExists(done))
        return folder;
    makeDirectories(folder);
    std::fprintf(stderr, "making %d photos of %dx%d in %s (once)\n", kPhotos, kWidth, kHeight, folder.c_str());
    const ImageBuffer base = basePhoto();
    auto make = [&](int from, int step) {
        ImageBuffer photo = base;
        JpegFormat jpeg;
        jpeg.quality = 90;
        for (int i = from; i < kPhotos; i += step) {
            photo.pixels = base.pixels;
            const int left = (i * 37) % (kWidth - 800), top = (i * 53) % (kHeight - 600);
            for (int y = top; y < top + 600; ++y)
                for (int x = left; x < left + 800; ++x)
                    photo.at(x, y) = (photo.at(x, y) >> 2 & 0x3F3F3F) | 0xFF000000u;
            char name[64];
            std::snprintf(name, sizeof name, "/IMG_%04d.jpg", i);
            jpeg.save(folder + name, photo);
        }
    };
    std::thread other(make, 1, 2);
    make(0, 2);
    other.join();
    std::FILE* marker = std::fopen(done.c_str(), "w");
    if (marker)
        std::fclose(marker);
    return folder;
}

void setUp() {
    static bool ready = false;
    if (ready)
        return;
    static int argc = 1;
    static char name[] = "image_browser_bench";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    new QApplication(argc, argv);
    registerStandardImageFormats();
    setResources(std::make_unique<Resources>(std::string(VELTRO_BENCH_DIST_DIR) + "/res"));
    ready = true;
}

// True when every cell of the first screen holding a picture has it.
bool firstScreenBuilt(const ImageBrowser& browser) {
    const auto& items = browser.model().items();
    for (int i = 0; i < kFirstScreen && i < browser.model().count(); ++i)
        if (!items[static_cast<size_t>(i)].isDirectory && !items[static_cast<size_t>(i)].built)
            return false;
    return true;
}

void BrowserFolderOf500Photos(benchmark::State& state) {
    setUp();
    const std::string folder = photoFolder();
    double firstScreen = 0, all = 0, listed = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        ImageBrowser browser(nullptr, true);
        browser.show(true);
        browser.load(folder);
        listed += millisecondsSince(start);
        while (!firstScreenBuilt(browser))
            pumpMessages(&browser);
        firstScreen += millisecondsSince(start);
        while (browser.loader().busy())
            pumpMessages(&browser);
        browser.collectThumbnails();
        all += millisecondsSince(start);
        state.SetIterationTime(millisecondsSince(start) / 1000.0);
        if (browser.loader().builtCount() != kPhotos)
            state.SkipWithError("not every thumbnail was built");
    }
    const double runs = double(state.iterations());
    state.counters["listed_ms"] = listed / runs;
    state.counters["first_screen_ms"] = firstScreen / runs;
    state.counters["all_thumbnails_ms"] = all / runs;
    state.counters["photos"] = kPhotos;
}
BENCHMARK(BrowserFolderOf500Photos)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

// Baseline: the first screen's 19 photos (the way up takes a cell) decoded
// whole and scaled down, one after the other.
void FirstScreenDecodedWhole(benchmark::State& state) {
    setUp();
    const std::string folder = photoFolder();
    for (auto _ : state) {
        for (int i = 0; i < kFirstScreen - 1; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "/IMG_%04d.jpg", i);
            ImagePtr photo = loadImage(folder + name);
            if (!photo) {
                state.SkipWithError("photo did not load");
                return;
            }
            int w = 0, h = 0;
            browserThumbnailSize(photo->width, photo->height, &w, &h);
            benchmark::DoNotOptimize(scaleAverage(*photo, w, h));
        }
    }
}
BENCHMARK(FirstScreenDecodedWhole)->Iterations(2)->Unit(benchmark::kMillisecond);

// One thumbnail the browser's way (reduced JPEG decode and scale).
void OneThumbnailReduced(benchmark::State& state) {
    setUp();
    const std::string path = photoFolder() + "/IMG_0007.jpg";
    for (auto _ : state)
        benchmark::DoNotOptimize(makeThumbnail(path));
    state.counters["file_kb"] = double(fileSize(path)) / 1024.0;
}
BENCHMARK(OneThumbnailReduced)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace veltro

BENCHMARK_MAIN();
