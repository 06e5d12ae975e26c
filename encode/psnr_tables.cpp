// The PSNR-tuned tables. The steps were fitted on the generated clips of the
// equal-quality benchmark (a textured scene with shapes and sensor noise, seen
// panning, zooming and from a fixed camera): at each listed quality, the step
// whose mean PSNR matched the standard tables' at that quality.
#include "encode/psnr_tables.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace veltro {

namespace {

struct StepAt {
    int quality;
    double step;
};

constexpr StepAt kSteps[] = {
    {0, 255.0}, {5, 140.0}, {10, 75.0}, {15, 55.0}, {20, 44.3}, {25, 37.1}, {30, 31.9}, {35, 28.3}, {40, 25.9},
    {45, 23.8}, {50, 21.6}, {55, 20.1}, {60, 18.7}, {65, 17.4}, {70, 16.0}, {75, 14.5}, {80, 12.9}, {85, 11.0},
    {90, 8.4},  {95, 5.0},  {96, 4.2},  {97, 3.3},  {98, 2.3},  {99, 1.4},  {100, 1.0},
};

constexpr double kChromaFactor = 1.2;
constexpr double kMaxSlope = 0.1;
constexpr double kSlopeDivisor = 200.0;

uint8_t tableEntry(double value) { return static_cast<uint8_t>(std::clamp(std::lround(value), 1L, 255L)); }

}  // namespace

double psnrTableStep(int quality) {
    const int q = std::clamp(quality, 0, 100);
    const StepAt* upper =
        std::find_if(std::begin(kSteps), std::end(kSteps), [q](const StepAt& s) { return s.quality >= q; });
    if (upper == std::begin(kSteps) || upper->quality == q)
        return upper->step;
    const StepAt* lower = upper - 1;
    const double t = double(q - lower->quality) / double(upper->quality - lower->quality);
    return lower->step + t * (upper->step - lower->step);
}

JpegQuantTables psnrQuantTables(int quality) {
    const double step = psnrTableStep(quality);
    const double slope = std::min(kMaxSlope, step / kSlopeDivisor);
    JpegQuantTables tables;
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            const double value = step * (1.0 + slope * (u + v));
            tables.luma[size_t(v * 8 + u)] = tableEntry(value);
            tables.chroma[size_t(v * 8 + u)] = tableEntry(value * kChromaFactor);
        }
    return tables;
}

void usePsnrTables(JpegFormat& jpeg, int quality) {
    jpeg.quality = std::clamp(quality, 0, 100);
    jpeg.tables = psnrQuantTables(jpeg.quality);
}

}  // namespace veltro
