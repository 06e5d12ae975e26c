// CaptureWindow: records a clip from a camera into an AVI file. A live
// preview, the list of capture devices, the device's format and source
// dialogs, the file name with a browse button, the frame rate, and Start,
// which becomes Stop while recording; the title counts the recorded frames.
// The device works on a worker thread that hands pictures, counts and
// notices to the window through queued Qt signals, so the window never
// waits for the camera.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "movie/capture_device.h"
#include "movie/capture_session.h"
#include "ui/dialog_window.h"

class QImage;

namespace veltro {

class CaptureBridge;
class ComboList;
class EditField;
class PushButton;
class PreviewWidget;

// Command ids of the capture window ("lmcapture").
inline constexpr int kCaptureStart = 0;
inline constexpr int kCaptureFormat = 1;
inline constexpr int kCaptureSource = 2;
inline constexpr int kCaptureDevices = 3;
inline constexpr int kCaptureFile = 4;
inline constexpr int kCaptureBrowse = 5;
inline constexpr int kCaptureRate = 6;
inline constexpr int kCapturePreview = 7;

// The file name buffer: a name is cut to one less character than this.
inline constexpr size_t kCaptureNameSize = 1024;
// The preview's size before a device tells its own.
inline constexpr int kPreviewWidth = 160;
inline constexpr int kPreviewHeight = 120;
// The width and height the controls add around the preview.
inline constexpr int kCaptureControlsWidth = 85;
inline constexpr int kCaptureControlsHeight = 70;

class CaptureWindow : public DialogWindow {
public:
    // The window for the proposed file name (cut to kCaptureNameSize - 1
    // characters), connected to the first device that opens.
    CaptureWindow(Window* owner, const std::string& proposedPath);
    ~CaptureWindow() override;

    void onCommand(int id) override;
    // Escape ends a recording.
    void onKey(int code) override;
    // A mouse button ends a recording.
    void onLeftDown(int x, int y, int modifiers) override;
    void onRightDown(int x, int y, int modifiers) override;
    // Closing ends the run with 0 (a recording under way is stopped first).
    void onClose() override;

    // Connects to device index of the list (-1: the first that opens);
    // false, after "Error: No driver", when none does.
    bool connectDevice(int index);
    bool connected() const { return m_device != nullptr; }
    bool recording() const { return m_recording; }
    // The file name the recording goes to.
    const std::string& fileName() const { return m_fileName; }
    // Frames recorded so far, as the title shows them.
    int framesCaptured() const { return m_framesCaptured; }
    // The preview's size.
    int previewWidth() const;
    int previewHeight() const;
    // The device connected, or nullptr.
    CaptureDevice* device() const { return m_device.get(); }

    // The window open now, or nullptr (there is never more than one).
    static CaptureWindow* openWindow();

private:
    void disconnectDevice();
    bool startPreview();
    // Places the controls around a preview of w x h and centres the window.
    void layOut(int w, int h);
    void enableControls();
    void startRecording();
    void stopRecording();
    void browse();
    void setFileName(const std::string& name);
    // From the worker, through the bridge, on the window's thread.
    void showPreview(const QImage& picture);
    void countFrame(int count);
    void tellNotice(int notice);
    void runEnded();

    std::string m_fileName;
    std::vector<CaptureDeviceInfo> m_devices;
    std::unique_ptr<CaptureDevice> m_device;
    std::unique_ptr<CaptureBridge> m_bridge;
    std::unique_ptr<CaptureSession> m_session;
    bool m_recording = false;
    bool m_lostShown = false;
    bool m_noMicrophoneShown = false;
    int m_framesCaptured = 0;
    PushButton* m_start = nullptr;
    PushButton* m_format = nullptr;
    PushButton* m_source = nullptr;
    ComboList* m_list = nullptr;
    EditField* m_file = nullptr;
    PushButton* m_browse = nullptr;
    EditField* m_rate = nullptr;
    PreviewWidget* m_preview = nullptr;
};

// The file a new recording is proposed under: the value of Settings
// "exhibition" when it is set and does not begin with "0", else the first
// free "nv<n>.avi" in Settings "tmp_dir" (default: the working folder).
std::string proposedCapturePath();

// Shows the capture window for proposedPath, modally; the recorded file's
// name, or none when nothing was recorded, when the window was closed, or
// when a capture window is open already.
std::optional<std::string> runCapture(Window* owner, const std::string& proposedPath);
// runCapture with proposedCapturePath().
std::optional<std::string> runCapture(Window* owner);

}  // namespace veltro
