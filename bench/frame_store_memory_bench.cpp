// Memory of the frame store on long clips.
//
// Writing: the peak resident memory of storing the same generated clip
// (shapes moving over a textured background with sensor noise, rendered one
// frame at a time, so the clip itself never holds more than one frame) at 100
// and at 1000 frames; the writer keeps one frame, its reference and one open
// sheet, so both peaks should be the same within 10% (peak_x_100 <= 1.10).
//
// Reading: the resident memory a frame store reader adds after opening a
// stored clip, after reading every position in order and after reading as
// many random positions, beside the bytes of the store on disk.
//
// Each case runs in a fresh process (this program started again with
// --memory-case), so that nothing an earlier case allocated, and no page the
// allocator kept, counts; the peak is reset once the case has set up
// (/proc/self/clear_refs) and read from VmHWM.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "encode/frame_store_writer.h"
#include "encode/synthetic_clip.h"
#include "image/file_utils.h"
#include "image/image_format.h"
#include "movie/frame_store_movie.h"

namespace veltro {
namespace {

// Which entries a stored clip gets.
enum class Entries {
    Differences = 0,  // one sorted key frame, then difference frames (the product's default)
    KeyEvery10 = 1,   // a key frame every 10th position, difference frames between
    AllKeys = 2,      // key frames only
};

// The generated clip, rendered frame by frame on request: four shapes moving
// 2 pixels a frame, with +-2 noise. Frames before the last one asked for are
// rendered again from the first frame's shapes, so any order works.
class GeneratedClipReader : public MovieReader {
public:
    GeneratedClipReader(int width, int height, int frames)
        : m_background(synthetic::texturedBackground(width, height)) {
        frameCount = frames;
        frameRate = 25.0;
        frame = std::make_unique<ImageBuffer>(width, height);
        synthetic::Random random(11);
        for (int i = 0; i < 4; ++i) {
            Shape s;
            s.x = random.range(0, width - 1);
            s.y = random.range(0, height - 1);
            const double angle = random.range(0, 359) * 3.14159265 / 180.0;
            s.dx = std::cos(angle) * 2;
            s.dy = std::sin(angle) * 2;
            s.size = random.range(width / 40, width / 16);
            s.disc = random.next() & 1;
            s.r = random.range(0, 255);
            s.g = random.range(0, 255);
            s.b = random.range(0, 255);
            m_start.push_back(s);
        }
        m_shapes = m_start;
    }

    bool open(const std::string&) override { return true; }

    const ImageBuffer* frameAt(int index) override {
        if (index < 0 || index >= frameCount)
            return nullptr;
        if (index < m_at) {
            m_shapes = m_start;
            m_at = 0;
        }
        for (; m_at < index; ++m_at)
            for (Shape& s : m_shapes)
                move(s);
        render(index);
        return frame.get();
    }

private:
    struct Shape {
        double x, y, dx, dy;
        int size;
        bool disc;
        int r, g, b;
    };

    void move(Shape& s) const {
        s.x += s.dx;
        s.y += s.dy;
        if (s.x < 0 || s.x >= m_background.width)
            s.dx = -s.dx;
        if (s.y < 0 || s.y >= m_background.height)
            s.dy = -s.dy;
    }

    void render(int index) {
        ImageBuffer& image = *frame;
        image.pixels = m_background.pixels;
        for (const Shape& s : m_shapes)
            for (int y = int(s.y) - s.size; y <= int(s.y) + s.size; ++y)
                for (int x = int(s.x) - s.size; x <= int(s.x) + s.size; ++x) {
                    if (x < 0 || y < 0 || x >= image.width || y >= image.height)
                        continue;
                    const double ux = x - s.x, uy = y - s.y;
                    if (s.disc && ux * ux + uy * uy > double(s.size) * s.size)
                        continue;
                    const int shade = int(30 * std::sin((ux + uy) * 0.3));
                    image.at(x, y) = synthetic::rgb(s.r + shade, s.g + shade, s.b - shade);
                }
        synthetic::Random noise(99 + uint32_t(index));
        for (uint32_t& p : image.pixels) {
            const int n = noise.range(-2, 2);
            p = synthetic::rgb(int((p >> 16) & 0xFF) + n, int((p >> 8) & 0xFF) + n, int(p & 0xFF) + n);
        }
    }

    ImageBuffer m_background;
    std::vector<Shape> m_start;
    std::vector<Shape> m_shapes;
    int m_at = 0;
};

// ---- inside the measured process ----

// A field of /proc/self/status in kB (VmRSS, VmHWM), -1 when absent.
long statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::atol(line.c_str() + length + 1);
    return -1;
}

// Starts the peak over again at the present resident size.
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

FrameStoreSettings caseSettings(int frames, Entries entries) {
    FrameStoreSettings s;
    s.sheetHeight = 64;  // "diff_sum_h" as the resource set ships it
    s.jpegQuality = 75;
    s.diffQuality = 75;
    s.flags.assign(size_t(frames), static_cast<uint8_t>(FrameFlag::Difference));
    s.flags[0] = static_cast<uint8_t>(FrameFlag::SortedKey);
    if (entries == Entries::KeyEvery10)
        for (size_t p = 0; p < s.flags.size(); p += 10)
            s.flags[p] = static_cast<uint8_t>(FrameFlag::Key);
    if (entries == Entries::AllKeys)
        s.flags.assign(s.flags.size(), static_cast<uint8_t>(FrameFlag::Key));
    return s;
}

// "encode W H FRAMES ENTRIES DIR": stores the clip as DIR/v0.txt.
int encodeCase(int width, int height, int frames, Entries entries, const std::string& dir) {
    GeneratedClipReader clip(width, height, frames);
    FrameStoreSettings settings = caseSettings(frames, entries);
    settings.width = width;
    settings.height = height;
    SilentProgress progress;
    FrameStoreSummary summary;
    const long base = statusKb("VmRSS");
    resetPeak();
    const bool stored = writeFrameStore(progress, dir + "/v0.txt", clip, settings, &summary);
    const long peak = statusKb("VmHWM");
    int64_t bytes = 0;
    for (const std::string& file : summary.files)
        bytes += fileSize(file);
    std::printf("stored %d\nbase_kb %ld\npeak_kb %ld\nentries %d\nstore_bytes %lld\n", stored ? 1 : 0, base, peak,
                summary.entries, static_cast<long long>(bytes));
    return stored ? 0 : 1;
}

// "read DIR": opens DIR/v0.txt and reads every position in order, then as
// many at random.
int readCase(const std::string& dir) {
    registerStandardImageFormats();
    const std::string index = dir + "/v0.txt";
    const long base = statusKb("VmRSS");
    resetPeak();
    FrameStoreMovieReader reader;
    if (!reader.open(index)) {
        std::printf("opened 0\n");
        return 1;
    }
    const long opened = statusKb("VmRSS");
    uint64_t sum = 0;  // keeps the reads from being optimised away
    for (int p = 0; p < reader.frameCount; ++p)
        if (const ImageBuffer* f = reader.frameAt(p))
            sum += f->pixels[f->pixelCount() / 2];
    const long inOrder = statusKb("VmRSS");
    synthetic::Random random(5);
    for (int i = 0; i < reader.frameCount; ++i)
        if (const ImageBuffer* f = reader.frameAt(random.range(0, reader.frameCount - 1)))
            sum += f->pixels[f->pixelCount() / 2];
    const long atRandom = statusKb("VmRSS");
    const long peak = statusKb("VmHWM");

    int64_t storeBytes = 0;
    for (const auto& file : std::filesystem::directory_iterator(dir))
        storeBytes += int64_t(file.file_size());
    std::printf("opened 1\nbase_kb %ld\nopen_kb %ld\nin_order_kb %ld\nrandom_kb %ld\npeak_kb %ld\n"
                "committed_bytes %zu\nindex_bytes %lld\nstore_bytes %lld\nentries %d\nchecksum %llu\n",
                base, opened, inOrder, atRandom, peak, reader.committedBytes(),
                static_cast<long long>(fileSize(index)), static_cast<long long>(storeBytes),
                reader.entryCount(), static_cast<unsigned long long>(sum));
    return 0;
}

int runMemoryCase(int argc, char** argv) {
    const std::string what = argc > 2 ? argv[2] : "";
    if (what == "encode" && argc == 8)
        return encodeCase(std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                          static_cast<Entries>(std::atoi(argv[6])), argv[7]);
    if (what == "read" && argc == 4)
        return readCase(argv[3]);
    std::fprintf(stderr, "usage: --memory-case encode W H FRAMES ENTRIES DIR | read DIR\n");
    return 2;
}

// ---- in the benchmark process ----

using Figures = std::map<std::string, double>;

// Runs this program again on one case and collects the "name value" lines it
// prints; empty when it failed.
Figures runCase(const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0)
        return {};
    const pid_t child = fork();
    if (child < 0)
        return {};
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<std::string> all = {"frame_store_memory_bench", "--memory-case"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    Figures figures;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        const size_t space = line.find(' ');
        if (space != std::string::npos)
            figures[line.substr(0, space)] = std::atof(line.c_str() + space + 1);
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return figures;
}

std::string storeDirectory(int width, int height, int frames, Entries entries) {
    return (std::filesystem::temp_directory_path() /
            ("veltro-memory-bench-" + std::to_string(getpid()) + "-" + std::to_string(width) + "x" +
             std::to_string(height) + "-" + std::to_string(frames) + "-" + std::to_string(int(entries))))
        .string();
}

// Stores one clip in a fresh process; the figures of that process.
Figures storeClip(int width, int height, int frames, Entries entries) {
    const std::string dir = storeDirectory(width, height, frames, entries);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return runCase({"encode", std::to_string(width), std::to_string(height), std::to_string(frames),
                    std::to_string(int(entries)), dir});
}

// Peaks of earlier cases, for the 1000-frame case's ratio to the 100-frame one.
std::map<std::string, double>& encodePeaks() {
    static std::map<std::string, double> peaks;
    return peaks;
}

std::string caseKey(int width, int height, int entries) {
    return std::to_string(width) + "x" + std::to_string(height) + "/" + std::to_string(entries);
}

// Arguments: width, height, frames, entries (0: differences, 1: a key every
// 10th, 2: key frames only).
void BM_EncodePeakMemory(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1)), frames = int(state.range(2));
    const Entries entries = static_cast<Entries>(state.range(3));
    Figures figures;
    for (auto _ : state)
        figures = storeClip(width, height, frames, entries);
    if (figures.empty() || figures["stored"] != 1) {
        state.SkipWithError("the clip was not stored");
        return;
    }
    state.counters["peak_MB"] = figures["peak_kb"] / 1024.0;
    state.counters["base_MB"] = figures["base_kb"] / 1024.0;
    state.counters["entries"] = figures["entries"];
    state.counters["store_MB"] = figures["store_bytes"] / 1048576.0;
    const std::string key = caseKey(width, height, int(entries));
    auto earlier = encodePeaks().find(key);
    if (earlier != encodePeaks().end() && frames == 1000)
        state.counters["peak_x_100"] = figures["peak_kb"] / earlier->second;
    if (frames == 100)
        encodePeaks()[key] = figures["peak_kb"];
}

// Arguments as above: a store of that many positions, written once (in a
// process of its own) and then opened and read in a fresh process.
void BM_ReaderMemory(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1)), frames = int(state.range(2));
    const Entries entries = static_cast<Entries>(state.range(3));
    const std::string dir = storeDirectory(width, height, frames, entries);
    if (!std::filesystem::exists(dir + "/v0.txt") && storeClip(width, height, frames, entries).empty()) {
        state.SkipWithError("the clip was not stored");
        return;
    }
    Figures figures;
    for (auto _ : state)
        figures = runCase({"read", dir});
    if (figures.empty() || figures["opened"] != 1) {
        state.SkipWithError("the store did not open");
        return;
    }
    const double base = figures["base_kb"];
    state.counters["open_MB"] = (figures["open_kb"] - base) / 1024.0;
    state.counters["in_order_MB"] = (figures["in_order_kb"] - base) / 1024.0;
    state.counters["random_MB"] = (figures["random_kb"] - base) / 1024.0;
    state.counters["peak_MB"] = (figures["peak_kb"] - base) / 1024.0;
    state.counters["committed_MB"] = figures["committed_bytes"] / 1048576.0;
    state.counters["index_MB"] = figures["index_bytes"] / 1048576.0;
    state.counters["store_MB"] = figures["store_bytes"] / 1048576.0;
}

void memoryCases(benchmark::internal::Benchmark* b) {
    for (int entries : {0, 1, 2})
        for (auto [w, h] : {std::pair{320, 240}, std::pair{640, 480}})
            for (int frames : {100, 1000})
                b->Args({w, h, frames, entries});
}

BENCHMARK(BM_EncodePeakMemory)->Apply(memoryCases)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReaderMemory)->Apply(memoryCases)->Iterations(1)->Unit(benchmark::kMillisecond);

void removeStores() {
    for (int entries : {0, 1, 2})
        for (auto [w, h] : {std::pair{320, 240}, std::pair{640, 480}})
            for (int frames : {100, 1000})
                std::filesystem::remove_all(storeDirectory(w, h, frames, static_cast<Entries>(entries)));
}

}  // namespace
}  // namespace veltro

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--memory-case") == 0)
        return veltro::runMemoryCase(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    veltro::removeStores();
    return 0;
}
