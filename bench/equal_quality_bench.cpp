// Bytes at equal picture quality: the frame store, as designed and with
// adaptive keys (key frames where difference frames cost more, every image
// with quantisation tables tuned for picture error), against one JPEG per frame (4:4:4, optimised Huffman, as our
// JPEG writer does, qualities 5..95) and against H.264 (ffmpeg libx264, a key
// frame every 12 frames, yuv420p as web video is), on generated clips (fixed
// camera, panning camera, zoom, scene cut) and on any real clips named in
// VELTRO_BENCH_CLIPS (paths separated by ':', first 48 frames, scaled to 320
// pixels wide).
//
// Quality is the mean PSNR of every stored position against its source
// frame, as the frame store reader rebuilds it. The store is written at every
// quality the save window offers (JPEG and difference quality alike); for
// each, the other encoders' bytes at the same mean PSNR are interpolated on
// their curves (log bytes linear in PSNR) and the ratio printed; "-" where
// the PSNR lies outside the other curve. Encoding speed (frames per second,
// this thread's CPU time, best of seven alternating runs) is measured at
// quality 75.
//
// After the tables, Google Benchmark times the same encodes per clip.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "encode/frame_store_writer.h"
#include "encode/key_choice.h"
#include "encode/psnr_tables.h"
#include "encode/synthetic_clip.h"
#include "image/file_utils.h"
#include "image/jpeg_format.h"
#include "movie/frame_store_movie.h"
#include "movie/standard_movie_formats.h"
#include "publish/publish_page.h"

namespace veltro {
namespace {

constexpr int kFrames = 48;
constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kSpeedQuality = 75;

struct Clip {
    std::string name;
    std::vector<ImageBuffer> frames;
};

// --------------------------------------------------------------- the clips

void addNoise(ImageBuffer& image, int amplitude, synthetic::Random& random) {
    for (uint32_t& p : image.pixels) {
        const int n = random.range(-amplitude, amplitude);
        p = synthetic::rgb(int((p >> 16) & 0xFF) + n, int((p >> 8) & 0xFF) + n, int(p & 0xFF) + n);
    }
}

ImageBuffer crop(const ImageBuffer& image, int x0, int y0, int width, int height) {
    ImageBuffer out(width, height);
    for (int y = 0; y < height; ++y)
        std::copy(image.row(y0 + y) + x0, image.row(y0 + y) + x0 + width, out.row(y));
    return out;
}

// A wide still scene: the textured background with thirty shapes standing on it.
const ImageBuffer& world() {
    static const ImageBuffer image = [] {
        synthetic::ClipOptions options;
        options.width = 960;
        options.height = 480;
        options.frames = 1;
        options.shapes = 30;
        options.speed = 0;
        options.seed = 5;
        return synthetic::movingShapesClip(options).front();
    }();
    return image;
}

Clip fixedCamera() {
    synthetic::ClipOptions options;
    options.frames = kFrames;
    options.shapes = 4;
    options.speed = 2;
    options.noise = 2;
    options.minShapeSize = 8;
    options.maxShapeSize = 20;
    options.seed = 11;
    return {"fixed camera", synthetic::movingShapesClip(options)};
}

// The camera pans right 4 pixels and down 1 pixel a frame across the scene.
Clip panningCamera() {
    Clip clip{"panning camera", {}};
    synthetic::Random noise(21);
    for (int f = 0; f < kFrames; ++f) {
        ImageBuffer frame = crop(world(), 40 + 4 * f, 100 + f, kWidth, kHeight);
        addNoise(frame, 2, noise);
        clip.frames.push_back(std::move(frame));
    }
    return clip;
}

// The camera zooms in on the scene's centre by 1% a frame.
Clip zoom() {
    Clip clip{"zoom", {}};
    synthetic::Random noise(31);
    for (int f = 0; f < kFrames; ++f) {
        const double scale = std::pow(0.99, f);
        const int w = int(std::lround(640 * scale)), h = w * 3 / 4;
        const ImageBuffer region = crop(world(), (world().width - w) / 2, (world().height - h) / 2, w, h);
        ImagePtr frame = scaleAverage(region, kWidth, kHeight);
        addNoise(*frame, 2, noise);
        clip.frames.push_back(std::move(*frame));
    }
    return clip;
}

// The fixed-camera clip, cut halfway to another view with its own motion.
Clip sceneCut() {
    Clip clip{"scene cut", {}};
    const Clip first = fixedCamera();
    for (int f = 0; f < kFrames / 2; ++f)
        clip.frames.push_back(first.frames[size_t(f)]);
    synthetic::Random noise(41);
    for (int f = kFrames / 2; f < kFrames; ++f) {
        ImageBuffer frame = crop(world(), 600 + (f % 2), 200, kWidth, kHeight);
        addNoise(frame, 2, noise);
        clip.frames.push_back(std::move(frame));
    }
    return clip;
}

// Real clips named in VELTRO_BENCH_CLIPS.
std::vector<Clip> realClips() {
    std::vector<Clip> clips;
    const char* list = std::getenv("VELTRO_BENCH_CLIPS");
    if (!list)
        return clips;
    registerStandardMovieFormats();
    std::string text = list;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find(':', start), text.size());
        const std::string path = text.substr(start, end - start);
        start = end + 1;
        if (path.empty())
            continue;
        MovieReaderPtr reader = openMovie(path);
        if (!reader) {
            std::printf("(cannot open %s as a movie)\n", path.c_str());
            continue;
        }
        Clip clip{fileName(path), {}};
        for (int f = 0; f < std::min(kFrames, reader->frameCount); ++f) {
            const ImageBuffer* frame = reader->frameAt(f);
            if (!frame || frame->empty())
                break;
            const int h = std::max(8, (kWidth * frame->height / std::max(1, frame->width)) & ~1);
            ImagePtr scaled = scaleAverage(*frame, kWidth, h);
            for (uint32_t& p : scaled->pixels)
                p |= 0xFF000000u;
            clip.frames.push_back(std::move(*scaled));
        }
        if (clip.frames.size() >= 2)
            clips.push_back(std::move(clip));
    }
    return clips;
}

const std::vector<Clip>& clips() {
    static const std::vector<Clip> all = [] {
        std::vector<Clip> c = {fixedCamera(), panningCamera(), zoom(), sceneCut()};
        for (Clip& real : realClips())
            c.push_back(std::move(real));
        return c;
    }();
    return all;
}

// ------------------------------------------------------------ measurement

std::string scratchDirectory(const std::string& name) {
    const std::string dir = (std::filesystem::temp_directory_path() / ("veltro-bench-eq-" + name)).string();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// PSNR capped at 100 dB, so a frame that comes back exactly does not swamp the mean.
double framePsnr(const ImageBuffer& a, const ImageBuffer& b) { return std::min(100.0, synthetic::psnr(a, b)); }

struct Point {
    int quality = 0;
    double psnr = 0;
    double bytes = 0;
};

struct StoreRun {
    int64_t bytes = 0;
    int adaptiveKeys = 0;
    int trials = 0;
    int entries = 0;
};

// The store as publishing writes it: a sorted key frame first, then
// difference frames; "diff_sum_h" is 64 in the resource set.
StoreRun writeStore(const Clip& clip, const std::string& dir, int quality, bool adaptive) {
    synthetic::MemoryMovieReader reader(&clip.frames);
    FrameStoreSettings s;
    s.width = clip.frames.front().width;
    s.height = clip.frames.front().height;
    s.sheetHeight = 64;
    s.flags.assign(clip.frames.size(), static_cast<uint8_t>(FrameFlag::Difference));
    s.flags[0] = static_cast<uint8_t>(FrameFlag::SortedKey);
    s.jpegQuality = quality;
    s.diffQuality = quality;
    s.adaptiveKeys = adaptive;
    SilentProgress progress;
    FrameStoreSummary summary;
    writeFrameStore(progress, dir + "/v0.txt", reader, s, &summary);
    StoreRun run;
    for (const std::string& file : std::set<std::string>(summary.files.begin(), summary.files.end()))
        run.bytes += fileSize(file);
    run.adaptiveKeys = summary.adaptiveKeyFrames;
    run.trials = summary.adaptiveKeyTrials;
    run.entries = summary.entries;
    return run;
}

struct StorePoint : Point {
    int adaptiveKeys = 0;
    int trials = 0;
};

std::vector<StorePoint> storeCurve(const Clip& clip, bool adaptive) {
    std::vector<StorePoint> curve;
    for (int q : qualityListValues()) {
        const std::string dir = scratchDirectory("store");
        const StoreRun run = writeStore(clip, dir, q, adaptive);
        FrameStoreMovieReader reader;
        if (!reader.open(dir + "/v0.txt"))
            continue;
        double sum = 0;
        for (size_t f = 0; f < clip.frames.size(); ++f) {
            const ImageBuffer* frame = reader.frameAt(int(f));
            sum += frame ? framePsnr(*frame, clip.frames[f]) : 0.0;
        }
        StorePoint point;
        point.quality = q;
        point.psnr = sum / double(clip.frames.size());
        point.bytes = double(run.bytes);
        point.adaptiveKeys = run.adaptiveKeys;
        point.trials = run.trials;
        curve.push_back(point);
    }
    return curve;
}

std::vector<Point> jpegCurve(const Clip& clip) {
    std::vector<Point> curve;
    const std::string dir = scratchDirectory("jpeg");
    JpegFormat jpeg;
    for (int q = 5; q <= 95; q += 5) {
        jpeg.quality = q;
        double sum = 0, bytes = 0;
        for (size_t f = 0; f < clip.frames.size(); ++f) {
            const std::string path = dir + "/f.jpg";
            jpeg.save(path, clip.frames[f]);
            bytes += double(fileSize(path));
            ImagePtr back = jpeg.load(path);
            sum += back ? framePsnr(*back, clip.frames[f]) : 0.0;
        }
        curve.push_back({q, sum / double(clip.frames.size()), bytes});
    }
    return curve;
}

// H.264 through the ffmpeg program: raw RGB in, an MP4 out, decoded back to
// raw RGB for the PSNR. Empty when ffmpeg or libx264 is missing.
std::vector<Point> h264Curve(const Clip& clip) {
    std::vector<Point> curve;
    const std::string dir = scratchDirectory("h264");
    const int w = clip.frames.front().width, h = clip.frames.front().height;
    const std::string raw = dir + "/in.rgb";
    {
        std::ofstream out(raw, std::ios::binary);
        std::string line;
        for (const ImageBuffer& frame : clip.frames)
            for (uint32_t p : frame.pixels) {
                const char rgb[3] = {char(p >> 16), char(p >> 8), char(p)};
                out.write(rgb, 3);
            }
    }
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    for (int crf = 4; crf <= 48; crf += 4) {
        const std::string mp4 = dir + "/out.mp4", back = dir + "/back.rgb";
        const std::string encode = "ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgb24 -s " + size +
                                   " -r 25 -i '" + raw + "' -c:v libx264 -preset medium -g 12 -crf " +
                                   std::to_string(crf) + " -pix_fmt yuv420p -movflags +faststart '" + mp4 + "'";
        const std::string decode =
            "ffmpeg -loglevel error -y -i '" + mp4 + "' -f rawvideo -pix_fmt rgb24 '" + back + "'";
        if (std::system(encode.c_str()) != 0 || std::system(decode.c_str()) != 0)
            return {};
        std::ifstream in(back, std::ios::binary);
        double sum = 0;
        std::vector<char> bytes(size_t(w) * h * 3);
        for (const ImageBuffer& frame : clip.frames) {
            if (!in.read(bytes.data(), std::streamsize(bytes.size())))
                return {};
            ImageBuffer decoded(w, h);
            for (size_t i = 0; i < decoded.pixels.size(); ++i)
                decoded.pixels[i] = synthetic::rgb(uint8_t(bytes[3 * i]), uint8_t(bytes[3 * i + 1]),
                                                   uint8_t(bytes[3 * i + 2]));
            sum += framePsnr(decoded, frame);
        }
        curve.push_back({crf, sum / double(clip.frames.size()), double(fileSize(mp4))});
    }
    return curve;
}

// Bytes on the curve at the given PSNR: log bytes interpolated linearly
// between the two points around it; NaN outside the curve.
double bytesAt(std::vector<Point> curve, double psnr) {
    std::sort(curve.begin(), curve.end(), [](const Point& a, const Point& b) { return a.psnr < b.psnr; });
    for (size_t i = 1; i < curve.size(); ++i) {
        const Point& a = curve[i - 1];
        const Point& b = curve[i];
        if (psnr < a.psnr || psnr > b.psnr)
            continue;
        const double t = b.psnr > a.psnr ? (psnr - a.psnr) / (b.psnr - a.psnr) : 0.0;
        return std::exp(std::log(a.bytes) + t * (std::log(b.bytes) - std::log(a.bytes)));
    }
    return std::nan("");
}

std::string ratioText(double ours, double theirs) {
    if (std::isnan(theirs) || std::isnan(ours))
        return "    -";
    char text[16];
    std::snprintf(text, sizeof text, "%5.2f", ours / theirs);
    return text;
}

// Frames per second writing the clip at quality 75, designed and adaptive:
// the runs alternate, and the best of seven of each counts, so that load from
// elsewhere on the machine tilts neither side.
std::pair<double, double> encodeFps(const Clip& clip) {
    double best[2] = {1e30, 1e30};
    for (int round = 0; round < 7; ++round)
        for (int adaptive = 0; adaptive < 2; ++adaptive) {
            const std::string dir = scratchDirectory("speed");
            const double t0 = threadSeconds();
            writeStore(clip, dir, kSpeedQuality, adaptive != 0);
            best[adaptive] = std::min(best[adaptive], threadSeconds() - t0);
        }
    return {double(clip.frames.size()) / best[0], double(clip.frames.size()) / best[1]};
}

void printRule() {
    const KeyChoiceRule& rule = adaptiveKeyRule();
    std::printf(
        "Adaptive keys, per difference frame: s = share of 8x8 blocks changed by more than %.2f of the\n"
        "  difference threshold 96 x (100 - q) (at most quality %d's threshold, never beyond q's own);\n"
        "  s < %.2f: difference frame; s >= %.2f: key frame (\"N\", the new reference); in between a trial\n"
        "  encode in memory of those blocks as a sorted sprite sheet (S bytes) and of the key frame (K bytes):\n"
        "  key frame when K <= S + %.1f bytes x sprites (their index pairs). A trial's verdict narrows the\n"
        "  band for later frames (to its share +- %.2f), so trials stay few.\n",
        rule.thresholdPart, rule.highestChoiceQuality, rule.keyShareLow, rule.keyShareHigh, rule.indexBytesPerSprite,
        AdaptiveKeyChooser::kLearnedMargin);
    const JpegQuantTables at75 = psnrQuantTables(75);
    std::printf("Every image under the option carries quantisation tables tuned for PSNR: step s at (u, v)\n"
                "  s x (1 + min(0.1, s / 200) x (u + v)), chroma 1.2x, baseline; s by quality:");
    for (int q : {10, 25, 50, 75, 85, 90, 95, 100})
        std::printf(" q%d %.1f;", q, psnrTableStep(q));
    std::printf("\n  at quality 75 luminance runs %d..%d, chroma %d..%d (standard tables: 5..61 and 9..50).\n\n",
                at75.luma.front(), at75.luma.back(), at75.chroma.front(), at75.chroma.back());
}

void printTables() {
    registerStandardImageFormats();
    printRule();
    struct Summary {
        std::string name;
        double designedJpeg = std::nan(""), adaptiveJpeg = std::nan(""), designedH264 = std::nan(""),
               adaptiveH264 = std::nan("");
        double worstDesigned = std::nan(""), worstAdaptive = std::nan("");
        double fpsDesigned = 0, fpsAdaptive = 0;
        double h264Top = 0;  // the highest mean PSNR H.264 reached
    };
    std::vector<Summary> summaries;
    for (const Clip& clip : clips()) {
        const std::vector<Point> jpeg = jpegCurve(clip);
        const std::vector<Point> h264 = h264Curve(clip);
        const std::vector<StorePoint> designed = storeCurve(clip, false);
        const std::vector<StorePoint> adaptive = storeCurve(clip, true);
        std::printf("== %s (%zu frames, %dx%d)\n", clip.name.c_str(), clip.frames.size(), clip.frames.front().width,
                    clip.frames.front().height);
        std::printf("    q | designed: bytes    PSNR  xJPEG  xH264 |"
                    " adaptive: bytes    PSNR  xJPEG  xH264 keys trials\n");
        Summary s;
        s.name = clip.name;
        for (size_t i = 0; i < designed.size() && i < adaptive.size(); ++i) {
            const StorePoint& d = designed[i];
            const StorePoint& a = adaptive[i];
            const double dj = bytesAt(jpeg, d.psnr), aj = bytesAt(jpeg, a.psnr);
            const double dh = bytesAt(h264, d.psnr), ah = bytesAt(h264, a.psnr);
            std::printf("  %3d | %15.0f %7.2f  %s  %s | %15.0f %7.2f  %s  %s %4d %6d\n", d.quality, d.bytes, d.psnr,
                        ratioText(d.bytes, dj).c_str(), ratioText(d.bytes, dh).c_str(), a.bytes, a.psnr,
                        ratioText(a.bytes, aj).c_str(), ratioText(a.bytes, ah).c_str(), a.adaptiveKeys, a.trials);
            if (d.quality == kSpeedQuality) {
                s.designedJpeg = d.bytes / dj;
                s.adaptiveJpeg = a.bytes / aj;
                s.designedH264 = d.bytes / dh;
                s.adaptiveH264 = a.bytes / ah;
            }
            // The worst ratio over the qualities a page author picks (50..95).
            auto worse = [](double& worst, double r) {
                if (!std::isnan(r))
                    worst = std::isnan(worst) ? r : std::max(worst, r);
            };
            if (d.quality >= 50 && d.quality <= 95) {
                worse(s.worstDesigned, d.bytes / dj);
                worse(s.worstAdaptive, a.bytes / aj);
            }
        }
        std::printf("  JPEG per frame:");
        for (const Point& p : jpeg)
            std::printf(" q%d %.0fB %.2fdB;", p.quality, p.bytes, p.psnr);
        std::printf("\n  H.264 (crf):");
        if (h264.empty())
            std::printf(" not measured (ffmpeg with libx264 missing)");
        for (const Point& p : h264)
            std::printf(" %d %.0fB %.2fdB;", p.quality, p.bytes, p.psnr);
        std::printf("\n");
        for (const Point& p : h264)
            s.h264Top = std::max(s.h264Top, p.psnr);
        std::tie(s.fpsDesigned, s.fpsAdaptive) = encodeFps(clip);
        summaries.push_back(s);
    }
    std::printf("\n== Summary: bytes at equal mean PSNR, at quality 75 (worst over 50..95 in brackets);"
                " encode frames per second at quality 75\n");
    std::printf("  %-16s | designed xJPEG        xH264   fps  |"
                " adaptive xJPEG        xH264   fps  | speed | H.264 top\n",
                "clip");
    auto ratio = [](double r) { return ratioText(r, 1.0); };
    for (const Summary& s : summaries)
        std::printf("  %-16s |   %s (%s)  %s %6.0f |   %s (%s)  %s %6.0f | %4.2fx | %5.2f dB\n", s.name.c_str(),
                    ratio(s.designedJpeg).c_str(), ratio(s.worstDesigned).c_str(), ratio(s.designedH264).c_str(),
                    s.fpsDesigned, ratio(s.adaptiveJpeg).c_str(), ratio(s.worstAdaptive).c_str(),
                    ratio(s.adaptiveH264).c_str(), s.fpsAdaptive, s.fpsAdaptive / s.fpsDesigned, s.h264Top);
    std::printf("  (\"-\": the store's PSNR lies beyond what the other encoder reached; speed: adaptive fps over"
                " designed fps)\n");
    std::printf("\n");
    std::filesystem::remove_all(scratchDirectory("store"));
    std::filesystem::remove_all(scratchDirectory("jpeg"));
    std::filesystem::remove_all(scratchDirectory("h264"));
    std::filesystem::remove_all(scratchDirectory("speed"));
}

// Google Benchmark: writing each clip at quality 75, designed (0) or adaptive (1).
void BM_EncodeClip(benchmark::State& state) {
    const Clip& clip = clips()[size_t(state.range(0))];
    const bool adaptive = state.range(1) != 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string dir = scratchDirectory("bm");
        state.ResumeTiming();
        bytes = writeStore(clip, dir, kSpeedQuality, adaptive).bytes;
    }
    state.SetLabel(clip.name + (adaptive ? ", adaptive keys" : ", designed"));
    state.SetItemsProcessed(state.iterations() * int64_t(clip.frames.size()));
    state.counters["bytes"] = double(bytes);
    std::filesystem::remove_all(scratchDirectory("bm"));
}
BENCHMARK(BM_EncodeClip)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 3, 1), {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace veltro

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    veltro::printTables();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
