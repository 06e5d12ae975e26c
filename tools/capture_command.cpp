// veltrotool devices and record over the capture devices of the movie layer.
#include "tools/capture_command.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "movie/capture_device.h"
#include "movie/capture_session.h"

namespace veltro::tool {

namespace {

constexpr const char* kRecordUsage = "usage: record OUT.avi --seconds S [--device NAME] [--rate R]";
// The longest recording the command makes (an hour).
constexpr double kMaxRecordSeconds = 3600;

bool parseNumber(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    auto [ptr, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && ptr == end && std::isfinite(value);
}

// Notices go to stderr, once each, as they happen.
class NoticePrinter : public CaptureListener {
public:
    void notice(CaptureNotice what) override {
        std::lock_guard lock(m_mutex);
        std::fprintf(stderr, "veltrotool: %s\n", captureNoticeText(what));
    }

private:
    std::mutex m_mutex;
};

}  // namespace

int runDevices(const Args& args) {
    if (!args.empty())
        return fail("usage: devices");
    for (const CaptureDeviceInfo& device : listCaptureDevices())
        std::printf("%s\t%s\n", device.name.c_str(), device.description.c_str());
    return 0;
}

int runRecord(const Args& args) {
    if (args.empty() || args[0].rfind("--", 0) == 0)
        return fail(kRecordUsage);
    CaptureSettings settings;
    settings.outputPath = args[0];
    std::string deviceName;
    double seconds = 0;
    std::string rateText = "15";
    for (size_t i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size())
            return fail("option \"" + args[i] + "\" needs a value (" + kRecordUsage + ")");
        if (args[i] == "--seconds") {
            if (!parseNumber(args[i + 1], seconds) || seconds <= 0 || seconds > kMaxRecordSeconds)
                return fail("--seconds takes a number of seconds above 0 and up to 3600");
        } else if (args[i] == "--device") {
            deviceName = args[i + 1];
        } else if (args[i] == "--rate") {
            rateText = args[i + 1];
        } else {
            return fail("unknown option \"" + args[i] + "\" (" + kRecordUsage + ")");
        }
    }
    if (seconds <= 0)
        return fail(kRecordUsage);
    settings.seconds = seconds;
    settings.rate = parseCaptureRate(rateText);
    if (!isValidCaptureRate(settings.rate))
        return fail("Error: Bad rate. (--rate takes 1 to 99 frames per second)");

    const std::vector<CaptureDeviceInfo> devices = listCaptureDevices();
    const CaptureDeviceInfo* chosen = nullptr;
    for (const CaptureDeviceInfo& device : devices)
        if (deviceName.empty() || device.name == deviceName) {
            chosen = &device;
            break;
        }
    if (!chosen)
        return fail(devices.empty() ? "Error: No driver (no capture device found)"
                                    : "no capture device \"" + deviceName + "\" (see veltrotool devices)");
    std::string error;
    std::unique_ptr<CaptureDevice> device = openCaptureDevice(*chosen, &error);
    if (!device)
        return fail("cannot open " + chosen->name + ": " + error);
    NoticePrinter notices;
    const CaptureResult result = recordClip(*chosen, device->format(), settings, &notices);
    if (!result.ok)
        return fail(result.error.empty() ? "the recording failed" : result.error);
    std::printf("{\"frames\": %d, \"audio\": %s, \"device_lost\": %s}\n", result.frames,
                result.audio ? "true" : "false", result.deviceLost ? "true" : "false");
    return 0;
}

}  // namespace veltro::tool
