// One run of a capture device: a preview, and optionally a recording into an
// AVI file that the AVI movie source opens (Motion JPEG video, or the
// camera's own Motion JPEG passed through; PCM 8000 Hz mono 16-bit sound
// from the default ALSA or PulseAudio capture device, or the synthetic
// camera's tone). The work runs on worker threads; what happens reaches a
// listener that is called on those threads.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "image/image_buffer.h"
#include "movie/capture_device.h"

struct AVFrame;
struct AVPacket;

namespace veltro {

// Sound of a recording.
inline constexpr int kCaptureSampleRate = 8000;
// Shortest gap between two preview pictures (about 15 a second).
inline constexpr int kPreviewIntervalMilliseconds = 66;

// How a capture run ended.
struct CaptureResult {
    // The recording file was written and closed (a preview-only run: the
    // device delivered until asked to stop).
    bool ok = false;
    // Video frames written (the recording's frame count).
    int frames = 0;
    // The recording holds sound.
    bool audio = false;
    // The camera stopped delivering (unplugged); what came before is kept.
    bool deviceLost = false;
    // Why the run failed or ended early; empty otherwise.
    std::string error;
};

// What a run tells the user about on its way.
enum class CaptureNotice {
    // No sound capture device opened: the recording has pictures only.
    NoMicrophone,
    // The camera stopped delivering (unplugged): the recording ends and
    // keeps what came before.
    CameraLost,
};

// What a capture run reports, called on its worker threads.
class CaptureListener {
public:
    virtual ~CaptureListener() = default;
    // A preview picture (at most one per kPreviewIntervalMilliseconds).
    virtual void previewFrame(const ImageBuffer& picture) { (void)picture; }
    // The recording has written count frames.
    virtual void frameRecorded(int count) { (void)count; }
    // Something the user should know, once per run.
    virtual void notice(CaptureNotice what) { (void)what; }
    // The run ended by itself or after stop(); called last, once.
    virtual void finished(const CaptureResult& result) { (void)result; }
};

// What a capture run does.
struct CaptureSettings {
    // The recording file; empty for a preview only.
    std::string outputPath;
    // Frames per second recorded (1 .. 99).
    int rate = 15;
    // Length of the recording in seconds; 0 records until stop().
    double seconds = 0;
    // Record sound along with the pictures when a capture device has it.
    bool audio = true;
};

// The English text of a notice, for the command line.
const char* captureNoticeText(CaptureNotice what);

class CaptureSession {
public:
    // A run of the device in format (none chosen: the device's current one),
    // reporting to listener (may be nullptr), which must outlive the run.
    CaptureSession(CaptureDeviceInfo device, CaptureFormat format, CaptureListener* listener);
    // Stops the run and waits for its threads.
    ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Opens the device (and, when recording, the sound device and the file)
    // and starts the worker; false, with the reason in *error and nothing
    // left running, when the device or the file cannot be opened.
    bool start(const CaptureSettings& settings, std::string* error = nullptr);
    // Asks the run to end, waits for it (the file is closed) and returns how
    // it ended. Calling it again returns the same result.
    CaptureResult stop();
    // Waits until the run ends by itself (its length reached, the camera
    // lost) and returns how it ended.
    CaptureResult wait();
    // True from start until the worker has ended.
    bool running() const { return m_running.load(); }
    // Frames written so far.
    int framesRecorded() const { return m_frames.load(); }

private:
    struct Pipeline;
    bool openRecording(Pipeline& pipeline, const CaptureSettings& settings, std::string* error);
    void openSound(Pipeline& pipeline, const CaptureSettings& settings);
    bool writePacket(AVPacket& packet);
    bool encode(const AVFrame& frame, int64_t index);
    void preview(const AVFrame& frame);
    // The worker: pictures, preview and recording, until stopped or ended.
    void work();
    // The sound thread of a recording.
    void soundWork();

    CaptureDeviceInfo m_device;
    CaptureFormat m_format;
    CaptureListener* m_listener;
    CaptureSettings m_settings;
    std::unique_ptr<Pipeline> m_pipeline;
    std::thread m_worker;
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_running{false};
    std::atomic<int> m_frames{0};
    CaptureResult m_result;
};

// Records settings.seconds (which must be positive) of the device into
// settings.outputPath without a window; the result says how it went.
CaptureResult recordClip(const CaptureDeviceInfo& device, const CaptureFormat& format,
                         const CaptureSettings& settings, CaptureListener* listener = nullptr);

}  // namespace veltro
