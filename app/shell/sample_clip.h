// The first-run sample: a short clip made by the program's own drawing code
// (a ball rolling along a curve over a textured background, 4 s at 320 x 240)
// and written as a Motion-JPEG AVI, so a new user can try the whole road
// without a file of their own.
#pragma once

#include <string>

#include "image/image_buffer.h"

namespace veltro {

inline constexpr int kSampleWidth = 320;
inline constexpr int kSampleHeight = 240;
inline constexpr int kSampleFramesPerSecond = 15;
inline constexpr int kSampleFrameCount = 60;
// The file name of the sample in the distribution's "samples" folder.
inline constexpr const char* kSampleFileName = "rolling-ball.avi";

// Frame index of the sample (0 .. kSampleFrameCount - 1).
ImageBuffer sampleFrame(int index);

// Writes the sample clip to path; false (with the reason in *error) when it
// could not be written.
bool writeSampleClip(const std::string& path, std::string* error);

}  // namespace veltro
