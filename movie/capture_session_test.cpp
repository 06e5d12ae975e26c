// Capture without a window: the rate rules, the device listing, and real
// recordings from the synthetic camera read back through the AVI movie
// source and libavformat (frame count, rate, picture, 8 kHz mono sound), a
// preview-only run, stopping early, a camera that goes away, and files that
// cannot be written.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

extern "C" {
#include <libavformat/avformat.h>
}

#include "movie/avi_movie.h"
#include "movie/capture_device.h"
#include "movie/capture_session.h"

namespace veltro {
namespace {

namespace fs = std::filesystem;

fs::path scratch() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("veltro_capture_" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// Records what a run reports, from whichever thread.
class Recorder : public CaptureListener {
public:
    void previewFrame(const ImageBuffer& picture) override {
        std::lock_guard lock(mutex);
        ++previews;
        lastWidth = picture.width;
        lastHeight = picture.height;
        opaque = !picture.empty() && (picture.pixels[0] >> 24) == 0xFF;
    }
    void frameRecorded(int count) override {
        std::lock_guard lock(mutex);
        counts.push_back(count);
    }
    void notice(CaptureNotice what) override {
        std::lock_guard lock(mutex);
        notices.push_back(what);
    }
    void finished(const CaptureResult& result) override {
        std::lock_guard lock(mutex);
        ++finishes;
        last = result;
    }

    std::mutex mutex;
    int previews = 0;
    int lastWidth = 0;
    int lastHeight = 0;
    bool opaque = false;
    std::vector<int> counts;
    std::vector<CaptureNotice> notices;
    int finishes = 0;
    CaptureResult last;
};

struct AudioFacts {
    int streams = 0;
    int sampleRate = 0;
    int channels = 0;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int64_t samples = 0;
};

// The sound stream of a file as libavformat sees it, with its samples counted.
AudioFacts audioOf(const std::string& path) {
    AudioFacts facts;
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0)
        return facts;
    if (avformat_find_stream_info(context, nullptr) >= 0) {
        int audio = -1;
        for (unsigned i = 0; i < context->nb_streams; ++i)
            if (context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
                ++facts.streams;
                audio = static_cast<int>(i);
                facts.sampleRate = context->streams[i]->codecpar->sample_rate;
                facts.channels = context->streams[i]->codecpar->ch_layout.nb_channels;
                facts.codec = context->streams[i]->codecpar->codec_id;
            }
        AVPacket* packet = av_packet_alloc();
        while (audio >= 0 && av_read_frame(context, packet) >= 0) {
            if (packet->stream_index == audio)
                facts.samples += packet->size / 2;
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avformat_close_input(&context);
    return facts;
}

CaptureSettings recording(const std::string& name, int rate, double seconds) {
    CaptureSettings settings;
    settings.outputPath = (scratch() / name).string();
    settings.rate = rate;
    settings.seconds = seconds;
    return settings;
}

TEST(CaptureRates, MicrosecondsRuleAndTheRatesTheEditAccepts) {
    EXPECT_EQ(microsecondsPerFrame(15), 66667);
    EXPECT_EQ(microsecondsPerFrame(30), 33333);
    EXPECT_EQ(microsecondsPerFrame(1), 1000000);
    EXPECT_EQ(microsecondsPerFrame(99), 10101);
    // A device reporting a negative interval shows 30.
    EXPECT_EQ(rateForFrameInterval(-1), 30);
    EXPECT_EQ(rateForFrameInterval(0), 30);
    EXPECT_EQ(rateForFrameInterval(66667), 15);
    EXPECT_EQ(rateForFrameInterval(33333), 30);
    EXPECT_EQ(rateForFrameInterval(40000), 25);
    EXPECT_TRUE(isValidCaptureRate(1));
    EXPECT_TRUE(isValidCaptureRate(99));
    EXPECT_FALSE(isValidCaptureRate(0));
    EXPECT_FALSE(isValidCaptureRate(100));
    EXPECT_FALSE(isValidCaptureRate(-5));
    EXPECT_EQ(parseCaptureRate("15"), 15);
    EXPECT_EQ(parseCaptureRate(" 15 "), 15);
    EXPECT_EQ(parseCaptureRate(""), 0);
    EXPECT_EQ(parseCaptureRate("abc"), 0);
    EXPECT_EQ(parseCaptureRate("15fps"), 0);
    EXPECT_EQ(parseCaptureRate("-3"), 0);
    EXPECT_FALSE(isValidCaptureRate(parseCaptureRate("99999999999999999999")));
}

TEST(CaptureDevices, ListingAndTheSyntheticCameraSwitch) {
    // A folder without device nodes lists none; a plain file named like one
    // does not answer VIDIOC_QUERYCAP and is left out.
    const fs::path dev = scratch() / "dev";
    fs::create_directories(dev);
    std::ofstream(dev / "video0") << "not a device";
    EXPECT_TRUE(listV4l2Devices(dev.string()).empty());
    EXPECT_TRUE(listV4l2Devices((scratch() / "missing").string()).empty());

    ::unsetenv(kSyntheticCameraVariable);
    for (const CaptureDeviceInfo& device : listCaptureDevices())
        EXPECT_NE(device.kind, CaptureDeviceKind::Synthetic);
    ::setenv(kSyntheticCameraVariable, "0", 1);
    for (const CaptureDeviceInfo& device : listCaptureDevices())
        EXPECT_NE(device.kind, CaptureDeviceKind::Synthetic);
    ::setenv(kSyntheticCameraVariable, "1", 1);
    const std::vector<CaptureDeviceInfo> devices = listCaptureDevices();
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices.back().kind, CaptureDeviceKind::Synthetic);
    EXPECT_EQ(devices.back().name, kSyntheticCameraName);
    for (const CaptureDeviceInfo& device : devices) {
        if (device.kind == CaptureDeviceKind::V4l2) {
            EXPECT_EQ(device.path, "/dev/" + device.name);
        }
    }

    // A lister installed for a while answers instead, then the real one again.
    CaptureDeviceLister previous = setCaptureDeviceLister([] { return std::vector<CaptureDeviceInfo>{}; });
    EXPECT_TRUE(listCaptureDevices().empty());
    setCaptureDeviceLister(std::move(previous));
    EXPECT_EQ(listCaptureDevices().size(), devices.size());
    ::unsetenv(kSyntheticCameraVariable);
}

TEST(CaptureDevices, SyntheticFormatsAndControls) {
    std::unique_ptr<CaptureDevice> device = openCaptureDevice(syntheticCameraInfo());
    ASSERT_TRUE(device);
    EXPECT_EQ(device->format().frameMicroseconds, -1) << "no rate of its own until one is chosen";
    EXPECT_TRUE(device->controls().empty());
    const std::vector<CaptureFormat> formats = device->formats();
    ASSERT_FALSE(formats.empty());
    EXPECT_EQ(formats.front().label(), "640 x 480, 30 fps (rgb24)");
    EXPECT_TRUE(device->setFormat(formats.back()));
    EXPECT_EQ(device->format(), formats.back());
    EXPECT_FALSE(device->setFormat(CaptureFormat{"rgb24", 123, 45, 1000}));
    EXPECT_EQ(device->format(), formats.back());
    // A V4L2 node that does not exist does not open.
    CaptureDeviceInfo missing{CaptureDeviceKind::V4l2, "video99", "", (scratch() / "video99").string()};
    std::string error;
    EXPECT_FALSE(openCaptureDevice(missing, &error));
    EXPECT_FALSE(error.empty());
}

TEST(CaptureDevices, ControlLabels) {
    CaptureControl brightness{1, "Brightness", CaptureControl::Type::Integer, 0, 255, 1, 128, 140, {}};
    EXPECT_EQ(brightness.label(), "Brightness: 140 (0 .. 255)");
    CaptureControl focus{2, "Focus, Auto", CaptureControl::Type::Boolean, 0, 1, 1, 1, 0, {}};
    EXPECT_EQ(focus.label(), "Focus, Auto: off");
    CaptureControl power{3, "Power Line Frequency", CaptureControl::Type::Menu, 0, 2, 1, 1, 2,
                         {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}}};
    EXPECT_EQ(power.label(), "Power Line Frequency: 60 Hz");
}

TEST(CaptureRecording, TwoSecondsAtFifteenOpenInTheAviReaderWithEightKilohertzMonoSound) {
    Recorder recorder;
    const CaptureSettings settings = recording("two_seconds.avi", 15, 2);
    const CaptureResult result = recordClip(syntheticCameraInfo(), {}, settings, &recorder);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.frames, 30);
    EXPECT_TRUE(result.audio);
    EXPECT_FALSE(result.deviceLost);
    EXPECT_EQ(recorder.finishes, 1);
    EXPECT_TRUE(recorder.notices.empty());
    ASSERT_FALSE(recorder.counts.empty());
    EXPECT_EQ(recorder.counts.back(), 30);
    EXPECT_GT(recorder.previews, 0);
    EXPECT_EQ(recorder.lastWidth, 320);
    EXPECT_TRUE(recorder.opaque);

    AviMovieFormat avi;
    MovieReaderPtr reader = avi.open(settings.outputPath);
    ASSERT_TRUE(reader);
    EXPECT_NEAR(reader->frameCount, 30, 1);
    EXPECT_NEAR(reader->frameRate, 15.0, 0.01);
    ASSERT_TRUE(reader->frame);
    EXPECT_EQ(reader->frame->width, 320);
    EXPECT_EQ(reader->frame->height, 240);
    // The test pattern's pictures decode, and they move from frame to frame.
    const ImageBuffer* first = reader->frameAt(0);
    ASSERT_TRUE(first);
    const std::vector<uint32_t> firstPixels = first->pixels;
    const ImageBuffer* last = reader->frameAt(reader->frameCount - 1);
    ASSERT_TRUE(last);
    EXPECT_NE(firstPixels, last->pixels);

    const AudioFacts audio = audioOf(settings.outputPath);
    EXPECT_EQ(audio.streams, 1);
    EXPECT_EQ(audio.codec, AV_CODEC_ID_PCM_S16LE);
    EXPECT_EQ(audio.sampleRate, 8000);
    EXPECT_EQ(audio.channels, 1);
    EXPECT_NEAR(static_cast<double>(audio.samples), 16000, 800);
}

TEST(CaptureRecording, ChosenFormatSetsThePictureSizeAndSoundCanBeLeftOut) {
    std::unique_ptr<CaptureDevice> device = openCaptureDevice(syntheticCameraInfo());
    ASSERT_TRUE(device);
    ASSERT_TRUE(device->setFormat(CaptureFormat{"rgb24", 160, 120, microsecondsPerFrame(30)}));
    CaptureSettings settings = recording("small.avi", 10, 1);
    settings.audio = false;
    const CaptureResult result = recordClip(device->info(), device->format(), settings);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_FALSE(result.audio);
    EXPECT_EQ(result.frames, 10);
    AviMovieFormat avi;
    MovieReaderPtr reader = avi.open(settings.outputPath);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frame->width, 160);
    EXPECT_EQ(reader->frame->height, 120);
    EXPECT_NEAR(reader->frameRate, 10.0, 0.01);
    EXPECT_EQ(audioOf(settings.outputPath).streams, 0);
}

TEST(CaptureRecording, StopEndsARecordingWithoutLengthAndKeepsTheFrames) {
    Recorder recorder;
    CaptureSession session(syntheticCameraInfo(), {}, &recorder);
    CaptureSettings settings = recording("stopped.avi", 20, 0);
    std::string error;
    ASSERT_TRUE(session.start(settings, &error)) << error;
    EXPECT_TRUE(session.running());
    while (session.framesRecorded() < 8)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const CaptureResult result = session.stop();
    EXPECT_FALSE(session.running());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_GE(result.frames, 8);
    EXPECT_EQ(recorder.finishes, 1);
    EXPECT_EQ(session.stop().frames, result.frames) << "a second stop gives the same result";
    AviMovieFormat avi;
    MovieReaderPtr reader = avi.open(settings.outputPath);
    ASSERT_TRUE(reader);
    EXPECT_NEAR(reader->frameCount, result.frames, 1);
    EXPECT_TRUE(reader->frameAt(reader->frameCount - 1));
}

TEST(CaptureRecording, PreviewOnlyRunWritesNothingAndStopsOnRequest) {
    Recorder recorder;
    {
        CaptureSession session(syntheticCameraInfo(), {}, &recorder);
        CaptureSettings settings;
        settings.rate = 30;
        ASSERT_TRUE(session.start(settings));
        for (int i = 0; i < 200; ++i) {
            {
                std::lock_guard lock(recorder.mutex);
                if (recorder.previews >= 3)
                    break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        // The session's destructor stops it.
    }
    EXPECT_GE(recorder.previews, 3);
    EXPECT_EQ(recorder.lastWidth, 320);
    EXPECT_EQ(recorder.lastHeight, 240);
    EXPECT_TRUE(recorder.counts.empty());
    EXPECT_EQ(recorder.finishes, 1);
    EXPECT_TRUE(recorder.last.ok);
    EXPECT_EQ(recorder.last.frames, 0);
}

TEST(CaptureRecording, ACameraThatGoesAwayEndsTheRecordingAndKeepsWhatCameBefore) {
    // The synthetic source told to run dry after one second behaves like a
    // camera pulled out while recording.
    CaptureDeviceInfo leaving = syntheticCameraInfo();
    leaving.path = "duration=1";
    Recorder recorder;
    CaptureSession session(leaving, {}, &recorder);
    ASSERT_TRUE(session.start(recording("lost.avi", 15, 0)));
    const CaptureResult result = session.wait();
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.deviceLost);
    EXPECT_NEAR(result.frames, 15, 1);
    ASSERT_EQ(recorder.notices.size(), 1u);
    EXPECT_EQ(recorder.notices[0], CaptureNotice::CameraLost);
    AviMovieFormat avi;
    MovieReaderPtr reader = avi.open((scratch() / "lost.avi").string());
    ASSERT_TRUE(reader) << "the file is closed properly";
    EXPECT_NEAR(reader->frameCount, result.frames, 1);
}

TEST(CaptureRecording, FilesThatCannotBeWrittenAndBadRatesFailAtStart) {
    Recorder recorder;
    CaptureSession session(syntheticCameraInfo(), {}, &recorder);
    std::string error;
    EXPECT_FALSE(session.start(recording("no/such/folder/clip.avi", 15, 1), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(session.running());
    error.clear();
    EXPECT_FALSE(session.start(recording("bad_rate.avi", 100, 1), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(scratch() / "bad_rate.avi"));
    EXPECT_EQ(recorder.finishes, 0);
    CaptureResult result = recordClip(syntheticCameraInfo(), {}, recording("no_length.avi", 15, 0));
    EXPECT_FALSE(result.ok);
}

}  // namespace
}  // namespace veltro
