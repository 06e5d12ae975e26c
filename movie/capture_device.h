// The capture devices a clip can be recorded from, without any window: the
// V4L2 cameras of the machine (listed by the card name, driver and driver
// version each reports), and a synthetic camera (a moving test pattern with
// a tone) for machines without one, offered only when the environment sets
// VELTRO_SYNTHETIC_CAMERA=1. A device tells which formats (picture size,
// pixel format and frame rate) it offers and which controls (brightness,
// exposure, focus...) it has, and takes new control values.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// Frames per second the rate edit accepts: 1 .. 99.
inline constexpr int kMinCaptureRate = 1;
inline constexpr int kMaxCaptureRate = 99;
// The frame interval taken when a device reports none (a negative value).
inline constexpr int kDefaultFrameMicroseconds = 33000;
// The environment variable that makes the synthetic camera appear.
inline constexpr const char* kSyntheticCameraVariable = "VELTRO_SYNTHETIC_CAMERA";
// The name the synthetic camera goes by (what "--device" takes).
inline constexpr const char* kSyntheticCameraName = "synthetic";

// Microseconds per frame for a rate: trunc(1000000 / rate + 0.5) (15 gives
// 66667). The rate must be positive.
int microsecondsPerFrame(int rate);
// The rate shown for a device's frame interval: trunc(1000000 / us + 0.5),
// taking kDefaultFrameMicroseconds (30 frames per second) for a negative or
// zero interval.
int rateForFrameInterval(int64_t microseconds);
// True for a rate the recording accepts (1 .. 99).
bool isValidCaptureRate(int rate);
// The integer value of a rate edit's text: optional blanks, digits,
// optional blanks; 0 for anything else (which no rate check accepts).
int parseCaptureRate(const std::string& text);

enum class CaptureDeviceKind { V4l2, Synthetic };

// One capture device as listed.
struct CaptureDeviceInfo {
    CaptureDeviceKind kind = CaptureDeviceKind::V4l2;
    // What "veltrotool record --device" takes: "video0", "synthetic".
    std::string name;
    // "<card> <driver> <version>" as the device reports them.
    std::string description;
    // The device node ("/dev/video0"). For the synthetic camera: extra
    // options of its test source (":"-separated, "duration=1" makes it stop
    // after a second as an unplugged camera would), normally empty.
    std::string path;
};

// A picture format a device offers.
struct CaptureFormat {
    // FFmpeg's name of the pixel format ("mjpeg", "yuyv422"), as the V4L2
    // input takes it; empty for the device's current one.
    std::string pixelFormat;
    int width = 0;
    int height = 0;
    // Microseconds per frame; -1 when the device does not say.
    int frameMicroseconds = -1;

    // "640 x 480, 30 fps (mjpeg)" as the format list shows it.
    std::string label() const;
    bool operator==(const CaptureFormat&) const = default;
};

// One control of a device, as V4L2 reports it.
struct CaptureControl {
    enum class Type { Integer, Boolean, Menu };
    uint32_t id = 0;
    std::string name;
    Type type = Type::Integer;
    int minimum = 0;
    int maximum = 0;
    int step = 1;
    int defaultValue = 0;
    int value = 0;
    // The items of a menu control: (value, name).
    std::vector<std::pair<int, std::string>> menu;

    // "Brightness: 128 (0 .. 255)", "Auto focus: on", "Power line: 50 Hz".
    std::string label() const;
};

// The V4L2 video capture nodes ("video*") of directory in name order, each
// described by VIDIOC_QUERYCAP; nodes that cannot capture video (metadata
// nodes, output devices) and nodes that do not answer are left out.
std::vector<CaptureDeviceInfo> listV4l2Devices(const std::string& directory = "/dev");

// Every capture device: the V4L2 cameras of /dev, then the synthetic camera
// when VELTRO_SYNTHETIC_CAMERA is "1". A lister installed with
// setCaptureDeviceLister answers instead.
std::vector<CaptureDeviceInfo> listCaptureDevices();
using CaptureDeviceLister = std::function<std::vector<CaptureDeviceInfo>()>;
// Replaces how devices are listed (an empty function restores the real
// listing) and returns the previous lister.
CaptureDeviceLister setCaptureDeviceLister(CaptureDeviceLister lister);
// The synthetic camera's entry.
CaptureDeviceInfo syntheticCameraInfo();

// A capture device's settings: the formats it offers, the one chosen for
// the next capture, and its controls.
class CaptureDevice {
public:
    virtual ~CaptureDevice() = default;
    const CaptureDeviceInfo& info() const { return m_info; }

    // The formats the device offers, largest picture first per pixel format.
    virtual std::vector<CaptureFormat> formats() const = 0;
    // The format the next capture uses.
    const CaptureFormat& format() const { return m_format; }
    // Chooses the format of the next capture; false for one not offered.
    bool setFormat(const CaptureFormat& format);
    // The controls the device offers, with their current values.
    virtual std::vector<CaptureControl> controls() const = 0;
    // Sets a control; false when the device refuses the value.
    virtual bool setControl(uint32_t id, int value) = 0;

protected:
    explicit CaptureDevice(CaptureDeviceInfo info) : m_info(std::move(info)) {}
    CaptureDeviceInfo m_info;
    CaptureFormat m_format;
};

// Opens a listed device's settings; none (with the reason in *error) when
// the device does not answer.
std::unique_ptr<CaptureDevice> openCaptureDevice(const CaptureDeviceInfo& info, std::string* error = nullptr);

}  // namespace veltro
