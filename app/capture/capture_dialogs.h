// The capture device's own settings dialogs: "Format..." lists the picture
// sizes, pixel formats and frame rates the device offers; "Source.." lists
// the device's controls (brightness, exposure, focus...) and sets them.
#pragma once

namespace veltro {

class CaptureDevice;
class Window;

// Command ids of the format dialog ("lmcapformat").
inline constexpr int kFormatList = 0;
inline constexpr int kFormatOk = 1;
inline constexpr int kFormatCancel = 2;
// Command ids of the source dialog ("lmcapsource").
inline constexpr int kSourceList = 0;
inline constexpr int kSourceValue = 1;
inline constexpr int kSourceSet = 2;
inline constexpr int kSourceDefault = 3;
inline constexpr int kSourceClose = 4;

// Lets the user choose one of the device's formats; true when a new one was
// chosen (the device holds it), false when cancelled or nothing changed.
bool runCaptureFormatDialog(Window* owner, CaptureDevice& device);
// Shows the device's controls and sets the values the user enters; returns
// when the dialog is closed.
void runCaptureSourceDialog(Window* owner, CaptureDevice& device);

}  // namespace veltro
