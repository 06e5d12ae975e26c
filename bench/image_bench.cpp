// Time per call of the image core's hot paths: JPEG save and load of a
// 320 x 240 frame (the encoder's key frames), scaleAverage from 640 x 480 to
// 320 x 240 (every frame brought to the output size), and GIF save of a
// 320 x 240 photo (published pictures). The JPEG baseline is libjpeg with its
// default settings (standard tables, 2x2 chroma subsampling), measured in the
// same run, so the cost of optimised tables and full colour shows as a ratio.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include <jpeglib.h>

#include "image/gif_format.h"
#include "image/image_buffer.h"
#include "image/jpeg_format.h"

namespace veltro {
namespace {

// A photo-like picture: smooth light and colour fields with fine grain, so it
// has thousands of distinct colours like a camera frame.
ImageBuffer photo(int width, int height) {
    ImageBuffer image(width, height);
    std::mt19937 random(42);
    std::uniform_int_distribution<int> grain(-6, 6);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double u = double(x) / width, v = double(y) / height;
            auto channel = [&](double value) {
                int c = int(value * 255.0) + grain(random);
                return uint32_t(c < 0 ? 0 : c > 255 ? 255 : c);
            };
            uint32_t r = channel(0.5 + 0.4 * std::sin(6.0 * u + 2.0 * v));
            uint32_t g = channel(0.5 + 0.35 * std::cos(4.0 * v - 3.0 * u));
            uint32_t b = channel(0.45 + 0.3 * std::sin(9.0 * u * v + 1.0));
            image.at(x, y) = 0xFF000000u | r << 16 | g << 8 | b;
        }
    return image;
}

std::string scratchPath(const char* name) {
    return (std::filesystem::temp_directory_path() / ("veltro-bench-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

void JpegSave320x240(benchmark::State& state) {
    ImageBuffer image = photo(320, 240);
    JpegFormat jpeg;
    std::string path = scratchPath("save.jpg");
    for (auto _ : state)
        benchmark::DoNotOptimize(jpeg.save(path, image));
    state.counters["bytes"] = double(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}
BENCHMARK(JpegSave320x240)->Unit(benchmark::kMicrosecond);

// Baseline: libjpeg defaults at the same quality, written the same way.
void JpegSave320x240LibraryDefaults(benchmark::State& state) {
    ImageBuffer image = photo(320, 240);
    std::string path = scratchPath("defaults.jpg");
    std::vector<JSAMPLE> line(320 * 3);
    for (auto _ : state) {
        FILE* file = std::fopen(path.c_str(), "wb");
        jpeg_compress_struct info;
        jpeg_error_mgr errors;
        info.err = jpeg_std_error(&errors);
        jpeg_create_compress(&info);
        jpeg_stdio_dest(&info, file);
        info.image_width = 320;
        info.image_height = 240;
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, 75, TRUE);
        jpeg_start_compress(&info, TRUE);
        JSAMPROW rows[1] = {line.data()};
        while (info.next_scanline < info.image_height) {
            const uint32_t* src = image.row(int(info.next_scanline));
            for (int x = 0; x < 320; ++x) {
                line[size_t(3 * x)] = JSAMPLE(src[x] >> 16);
                line[size_t(3 * x + 1)] = JSAMPLE(src[x] >> 8);
                line[size_t(3 * x + 2)] = JSAMPLE(src[x]);
            }
            jpeg_write_scanlines(&info, rows, 1);
        }
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        std::fclose(file);
    }
    state.counters["bytes"] = double(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}
BENCHMARK(JpegSave320x240LibraryDefaults)->Unit(benchmark::kMicrosecond);

void JpegLoad320x240(benchmark::State& state) {
    JpegFormat jpeg;
    std::string path = scratchPath("load.jpg");
    jpeg.save(path, photo(320, 240));
    for (auto _ : state)
        benchmark::DoNotOptimize(jpeg.load(path));
    std::filesystem::remove(path);
}
BENCHMARK(JpegLoad320x240)->Unit(benchmark::kMicrosecond);

void ScaleAverage640x480To320x240(benchmark::State& state) {
    ImageBuffer image = photo(640, 480);
    for (auto _ : state)
        benchmark::DoNotOptimize(scaleAverage(image, 320, 240));
}
BENCHMARK(ScaleAverage640x480To320x240)->Unit(benchmark::kMicrosecond);

void GifSave320x240Photo(benchmark::State& state) {
    ImageBuffer image = photo(320, 240);
    GifFormat gif;
    std::string path = scratchPath("save.gif");
    for (auto _ : state)
        benchmark::DoNotOptimize(gif.save(path, image));
    state.counters["bytes"] = double(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}
BENCHMARK(GifSave320x240Photo)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace veltro

BENCHMARK_MAIN();
