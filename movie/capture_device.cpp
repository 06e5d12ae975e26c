// Capture devices: the rate rules, the V4L2 listing and settings through its
// ioctls, and the synthetic camera.
#include "movie/capture_device.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace veltro {

namespace {

// Bounds on what a device may report, so a misbehaving driver cannot make
// the lists grow without end.
constexpr int kMaxPixelFormats = 32;
constexpr int kMaxSizesPerFormat = 64;
constexpr int kMaxIntervalsPerSize = 16;
constexpr int kMaxControls = 128;
constexpr int kMaxMenuItems = 64;
constexpr int kMaxDeviceNodes = 64;

int retryIoctl(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

// A text field of a V4L2 structure, which need not end in a NUL.
std::string fieldText(const uint8_t* field, size_t size) {
    const auto* text = reinterpret_cast<const char*>(field);
    return std::string(text, strnlen(text, size));
}

// FFmpeg's pixel format names for the V4L2 formats recording can take.
const char* pixelFormatName(uint32_t fourcc) {
    switch (fourcc) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG: return "mjpeg";
    case V4L2_PIX_FMT_YUYV: return "yuyv422";
    case V4L2_PIX_FMT_UYVY: return "uyvy422";
    case V4L2_PIX_FMT_YUV420: return "yuv420p";
    case V4L2_PIX_FMT_NV12: return "nv12";
    case V4L2_PIX_FMT_RGB24: return "rgb24";
    case V4L2_PIX_FMT_BGR24: return "bgr24";
    case V4L2_PIX_FMT_GREY: return "gray";
    default: return nullptr;
    }
}

int intervalMicroseconds(const v4l2_fract& interval) {
    if (interval.numerator == 0 || interval.denominator == 0)
        return -1;
    const double us = 1e6 * interval.numerator / interval.denominator;
    return us >= 1 && us <= 1e9 ? static_cast<int>(std::lround(us)) : -1;
}

// A V4L2 camera: settings through its device node.
class V4l2Device : public CaptureDevice {
public:
    explicit V4l2Device(CaptureDeviceInfo info) : CaptureDevice(std::move(info)) {}
    ~V4l2Device() override {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool open(std::string* error) {
        m_fd = ::open(m_info.path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0) {
            if (error)
                *error = m_info.path + ": " + std::strerror(errno);
            return false;
        }
        v4l2_format current{};
        current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (retryIoctl(m_fd, VIDIOC_G_FMT, &current) == 0) {
            const char* name = pixelFormatName(current.fmt.pix.pixelformat);
            m_format.pixelFormat = name ? name : "";
            m_format.width = static_cast<int>(current.fmt.pix.width);
            m_format.height = static_cast<int>(current.fmt.pix.height);
        }
        v4l2_streamparm parm{};
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (retryIoctl(m_fd, VIDIOC_G_PARM, &parm) == 0 &&
            (parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME))
            m_format.frameMicroseconds = intervalMicroseconds(parm.parm.capture.timeperframe);
        return true;
    }

    std::vector<CaptureFormat> formats() const override {
        std::vector<CaptureFormat> found;
        for (uint32_t i = 0; i < kMaxPixelFormats; ++i) {
            v4l2_fmtdesc description{};
            description.index = i;
            description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (retryIoctl(m_fd, VIDIOC_ENUM_FMT, &description) < 0)
                break;
            const char* name = pixelFormatName(description.pixelformat);
            if (!name)
                continue;
            for (const auto& [width, height] : sizesOf(description.pixelformat))
                for (int us : intervalsOf(description.pixelformat, width, height))
                    found.push_back({name, static_cast<int>(width), static_cast<int>(height), us});
        }
        return found;
    }

    std::vector<CaptureControl> controls() const override {
        std::vector<CaptureControl> found;
        v4l2_queryctrl query{};
        query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
        while (found.size() < kMaxControls && retryIoctl(m_fd, VIDIOC_QUERYCTRL, &query) == 0) {
            const uint32_t id = query.id;
            query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
            if (query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY))
                continue;
            CaptureControl control;
            control.id = id;
            control.name = fieldText(query.name, sizeof query.name);
            control.minimum = query.minimum;
            control.maximum = query.maximum;
            control.step = std::max(1, query.step);
            control.defaultValue = query.default_value;
            switch (query.type) {
            case V4L2_CTRL_TYPE_INTEGER: control.type = CaptureControl::Type::Integer; break;
            case V4L2_CTRL_TYPE_BOOLEAN: control.type = CaptureControl::Type::Boolean; break;
            case V4L2_CTRL_TYPE_MENU:
            case V4L2_CTRL_TYPE_INTEGER_MENU:
                control.type = CaptureControl::Type::Menu;
                control.menu = menuOf(id, query.type, query.minimum, query.maximum);
                break;
            default: continue;  // buttons, strings, compound controls
            }
            v4l2_control value{};
            value.id = id;
            control.value = retryIoctl(m_fd, VIDIOC_G_CTRL, &value) == 0 ? value.value : query.default_value;
            found.push_back(std::move(control));
        }
        return found;
    }

    bool setControl(uint32_t id, int value) override {
        v4l2_control control{};
        control.id = id;
        control.value = value;
        return retryIoctl(m_fd, VIDIOC_S_CTRL, &control) == 0;
    }

private:
    std::vector<std::pair<uint32_t, uint32_t>> sizesOf(uint32_t pixelFormat) const {
        std::vector<std::pair<uint32_t, uint32_t>> sizes;
        for (uint32_t i = 0; i < kMaxSizesPerFormat; ++i) {
            v4l2_frmsizeenum size{};
            size.index = i;
            size.pixel_format = pixelFormat;
            if (retryIoctl(m_fd, VIDIOC_ENUM_FRAMESIZES, &size) < 0)
                break;
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                sizes.emplace_back(size.discrete.width, size.discrete.height);
            } else {
                // A range: its largest and smallest picture.
                sizes.emplace_back(size.stepwise.max_width, size.stepwise.max_height);
                sizes.emplace_back(size.stepwise.min_width, size.stepwise.min_height);
                break;
            }
        }
        std::sort(sizes.begin(), sizes.end(), [](auto& a, auto& b) {
            return uint64_t{a.first} * a.second > uint64_t{b.first} * b.second;
        });
        sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
        return sizes;
    }

    std::vector<int> intervalsOf(uint32_t pixelFormat, uint32_t width, uint32_t height) const {
        std::vector<int> intervals;
        for (uint32_t i = 0; i < kMaxIntervalsPerSize; ++i) {
            v4l2_frmivalenum interval{};
            interval.index = i;
            interval.pixel_format = pixelFormat;
            interval.width = width;
            interval.height = height;
            if (retryIoctl(m_fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) < 0)
                break;
            if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
                intervals.push_back(intervalMicroseconds(interval.discrete));
            } else {
                intervals.push_back(intervalMicroseconds(interval.stepwise.min));
                break;
            }
        }
        if (intervals.empty())
            intervals.push_back(-1);
        return intervals;
    }

    std::vector<std::pair<int, std::string>> menuOf(uint32_t id, uint32_t type, int minimum, int maximum) const {
        std::vector<std::pair<int, std::string>> items;
        for (int64_t i = minimum; i <= maximum && items.size() < kMaxMenuItems; ++i) {
            v4l2_querymenu item{};
            item.id = id;
            item.index = static_cast<uint32_t>(i);
            if (retryIoctl(m_fd, VIDIOC_QUERYMENU, &item) < 0)
                continue;  // menus may have holes
            items.emplace_back(static_cast<int>(i), type == V4L2_CTRL_TYPE_INTEGER_MENU
                                                        ? std::to_string(item.value)
                                                        : fieldText(item.name, sizeof item.name));
        }
        return items;
    }

    int m_fd = -1;
};

// The synthetic camera: FFmpeg's test pattern at a few picture sizes. It has
// no rate of its own until a format with one is chosen (it runs at whatever
// rate the recording asks), and no controls.
class SyntheticDevice : public CaptureDevice {
public:
    explicit SyntheticDevice(CaptureDeviceInfo info) : CaptureDevice(std::move(info)) {
        m_format = {"rgb24", 320, 240, -1};
    }
    std::vector<CaptureFormat> formats() const override {
        std::vector<CaptureFormat> offered;
        for (auto [width, height] : {std::pair{640, 480}, std::pair{320, 240}, std::pair{160, 120}})
            for (int rate : {30, 15})
                offered.push_back({"rgb24", width, height, microsecondsPerFrame(rate)});
        return offered;
    }
    std::vector<CaptureControl> controls() const override { return {}; }
    bool setControl(uint32_t, int) override { return false; }
};

std::mutex& listerMutex() {
    static std::mutex mutex;
    return mutex;
}

CaptureDeviceLister& installedLister() {
    static CaptureDeviceLister lister;
    return lister;
}

// "video12" sorts after "video2".
bool nodeOrder(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

}  // namespace

int microsecondsPerFrame(int rate) {
    return rate > 0 ? static_cast<int>(1000000.0 / rate + 0.5) : kDefaultFrameMicroseconds;
}

int rateForFrameInterval(int64_t microseconds) {
    const double us = microseconds > 0 ? static_cast<double>(microseconds) : kDefaultFrameMicroseconds;
    return static_cast<int>(1000000.0 / us + 0.5);
}

bool isValidCaptureRate(int rate) { return rate >= kMinCaptureRate && rate <= kMaxCaptureRate; }

int parseCaptureRate(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    int value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        if (value > 100000)
            return 0;  // far beyond any rate; never overflows
        value = value * 10 + (text[i] - '0');
    }
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    return digits > 0 && i == text.size() ? value : 0;
}

std::string CaptureFormat::label() const {
    std::string text = std::to_string(width) + " x " + std::to_string(height);
    text += frameMicroseconds > 0 ? ", " + std::to_string(rateForFrameInterval(frameMicroseconds)) + " fps"
                                  : ", any rate";
    if (!pixelFormat.empty())
        text += " (" + pixelFormat + ")";
    return text;
}

std::string CaptureControl::label() const {
    switch (type) {
    case Type::Boolean: return name + ": " + (value ? "on" : "off");
    case Type::Menu:
        for (const auto& [item, itemName] : menu)
            if (item == value)
                return name + ": " + itemName;
        return name + ": " + std::to_string(value);
    case Type::Integer: break;
    }
    return name + ": " + std::to_string(value) + " (" + std::to_string(minimum) + " .. " +
           std::to_string(maximum) + ")";
}

bool CaptureDevice::setFormat(const CaptureFormat& format) {
    const std::vector<CaptureFormat> offered = formats();
    if (std::find(offered.begin(), offered.end(), format) == offered.end())
        return false;
    m_format = format;
    return true;
}

std::vector<CaptureDeviceInfo> listV4l2Devices(const std::string& directory) {
    std::vector<std::string> nodes;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("video", 0) == 0 && name.size() > 5 &&
            name.find_first_not_of("0123456789", 5) == std::string::npos)
            nodes.push_back(name);
        if (nodes.size() >= kMaxDeviceNodes)
            break;
    }
    std::sort(nodes.begin(), nodes.end(), nodeOrder);
    std::vector<CaptureDeviceInfo> devices;
    for (const std::string& node : nodes) {
        const std::string path = directory + "/" + node;
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        v4l2_capability capability{};
        const bool answered = retryIoctl(fd, VIDIOC_QUERYCAP, &capability) == 0;
        ::close(fd);
        if (!answered)
            continue;
        const uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps
                                                                                : capability.capabilities;
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING))
            continue;
        const uint32_t v = capability.version;
        CaptureDeviceInfo info;
        info.kind = CaptureDeviceKind::V4l2;
        info.name = node;
        info.path = path;
        info.description = fieldText(capability.card, sizeof capability.card) + " " +
                           fieldText(capability.driver, sizeof capability.driver) + " " +
                           std::to_string(v >> 16) + "." + std::to_string((v >> 8) & 0xFF) + "." +
                           std::to_string(v & 0xFF);
        devices.push_back(std::move(info));
    }
    return devices;
}

CaptureDeviceInfo syntheticCameraInfo() {
    CaptureDeviceInfo info;
    info.kind = CaptureDeviceKind::Synthetic;
    info.name = kSyntheticCameraName;
    info.description = "Synthetic camera (test pattern and tone)";
    return info;
}

std::vector<CaptureDeviceInfo> listCaptureDevices() {
    {
        std::lock_guard lock(listerMutex());
        if (installedLister())
            return installedLister()();
    }
    std::vector<CaptureDeviceInfo> devices = listV4l2Devices();
    const char* synthetic = std::getenv(kSyntheticCameraVariable);
    if (synthetic && std::strcmp(synthetic, "1") == 0)
        devices.push_back(syntheticCameraInfo());
    return devices;
}

CaptureDeviceLister setCaptureDeviceLister(CaptureDeviceLister lister) {
    std::lock_guard lock(listerMutex());
    std::swap(installedLister(), lister);
    return lister;
}

std::unique_ptr<CaptureDevice> openCaptureDevice(const CaptureDeviceInfo& info, std::string* error) {
    if (info.kind == CaptureDeviceKind::Synthetic)
        return std::make_unique<SyntheticDevice>(info);
    auto device = std::make_unique<V4l2Device>(info);
    if (!device->open(error))
        return nullptr;
    return device;
}

}  // namespace veltro
