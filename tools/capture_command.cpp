// veltrotool devices and record over the capture devices of the movie layer.
#include "tools/capture_command.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <optional>

#include "movie/capture_device.h"
#include "movie/capture_session.h"
#include "tools/command_options.h"

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
    CommandOptions options("devices", "Lists the capture devices, one a line: NAME<TAB>description.");
    if (std::optional<int> status = options.parse(args))
        return *status;
    if (!options.arguments().empty())
        return fail("usage: devices");
    for (const CaptureDeviceInfo& device : listCaptureDevices())
        std::printf("%s\t%s\n", device.name.c_str(), device.description.c_str());
    return 0;
}

int runRecord(const Args& args) {
    CommandOptions options("record", "Records S seconds from a capture device into an AVI file and prints the "
                                     "frames written as JSON.");
    options.argument("OUT", "The AVI file to write.", "OUT.avi")
        .value("seconds", "S", "Length of the recording, above 0 and up to 3600 seconds (required).")
        .value("device", "NAME", "The device, as veltrotool devices lists it (default: the first one).")
        .value("rate", "R", "Frames per second, 1 to 99 (default 15).");
    if (std::optional<int> status = options.parse(args))
        return *status;
    if (options.arguments().size() != 1 || options.arguments()[0].empty())
        return fail(kRecordUsage);
    CaptureSettings settings;
    settings.outputPath = options.arguments()[0];
    const std::string deviceName = options.text("device");
    const std::string rateText = options.text("rate", "15");
    if (!options.isSet("seconds"))
        return fail(kRecordUsage);
    double seconds = 0;
    if (!parseNumber(options.text("seconds"), seconds) || seconds <= 0 || seconds > kMaxRecordSeconds)
        return fail("--seconds takes a number of seconds above 0 and up to 3600");
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
    printJson({{"frames", result.frames}, {"audio", result.audio}, {"device_lost", result.deviceLost}}, false);
    return 0;
}

}  // namespace veltro::tool
