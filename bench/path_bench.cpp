// Throughput of the path geometry the play tool runs on every pointer move:
// project() on a 200-point drawn path, with and without the current frame,
// and the shape queries behind hover and the riding thumbnail. Also one
// drag-motion object drawn on a 640 x 480 canvas, antialiased and direct.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <cmath>
#include <memory>
#include <numbers>

#include "document/document.h"
#include "dragmotion/drag_motion_object.h"
#include "dragmotion/drag_path.h"
#include "dragmotion/path_shape.h"
#include "services/canvas.h"

namespace veltro {
namespace {

constexpr int kPoints = 200;

// A winding stroke over 640 x 480 with 200 points on frames 0 … 199.
DragPath windingPath() {
    DragPath path;
    for (int i = 0; i < kPoints; ++i) {
        const double t = static_cast<double>(i) / (kPoints - 1);
        const int x = 20 + static_cast<int>(600 * t);
        const int y = 240 + static_cast<int>(180 * std::sin(t * 6 * std::numbers::pi));
        path.append(x, y, i, 1);
    }
    path.computeNormals();
    return path;
}

// Pointer positions along the stroke, a few pixels off it.
int pointerX(int step) { return 20 + (step * 7) % 600; }
int pointerY(int step) {
    const double t = (pointerX(step) - 20) / 600.0;
    return 244 + static_cast<int>(180 * std::sin(t * 6 * std::numbers::pi));
}

void BM_ProjectFollowingTheFrame(benchmark::State& state) {
    DragPath path = windingPath();
    double frame = 0.0;
    int step = 0;
    for (auto _ : state) {
        path.project(pointerX(step), pointerY(step), &frame);
        benchmark::DoNotOptimize(frame);
        ++step;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ProjectFollowingTheFrame);

void BM_ProjectWithoutFrame(benchmark::State& state) {
    DragPath path = windingPath();
    int step = 0;
    for (auto _ : state) {
        double distance = 0.0;
        int index = 0;
        path.project(pointerX(step), pointerY(step), nullptr, &distance, &index);
        benchmark::DoNotOptimize(distance);
        ++step;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ProjectWithoutFrame);

void BM_DistanceTo(benchmark::State& state) {
    DragPath path = windingPath();
    const PathShape& shape = state.range(0) ? static_cast<const PathShape&>(bezierShape()) : polylineShape();
    int step = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(shape.distanceTo(path, pointerX(step), pointerY(step)));
        ++step;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DistanceTo)->Arg(0)->Arg(1);

void BM_DrawPath(benchmark::State& state) {
    Document doc(640, 480);
    auto object = std::make_unique<DragMotionObject>(doc);
    object->path = windingPath();
    object->ranges.push_back({0, 199});
    object->pathWidth = {3, 3, 3};
    DragMotionObject* raw = object.get();
    doc.insertObject(std::move(object));
    doc.editing = state.range(0) == 0;  // editing draws directly
    doc.currentFrame = 100;
    for (auto _ : state) {
        doc.canvas().fillRect(0, 0, 640, 480, 0xFFFFFF);
        raw->draw(doc.canvas(), 100);
    }
    state.SetLabel(state.range(0) ? "antialiased" : "direct");
}
BENCHMARK(BM_DrawPath)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace veltro

int main(int argc, char** argv) {
    // Drawing needs no display: the offscreen platform unless one is chosen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
