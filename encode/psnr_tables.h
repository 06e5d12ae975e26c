// Quantisation tables tuned for picture error (mean squared error, so PSNR)
// rather than for perceived quality; the frame store writer uses them under
// adaptive keys for every JPEG it writes.
//
// The standard tables quantise fine detail and colour coarsely because the
// eye forgives it there; the squared error does not. Nearly flat tables (a
// step that grows slowly with frequency, a fifth coarser for colour) give the
// PSNR of the standard tables at a quality in about 0.8x the bytes on busy
// footage. The step of each quality is set so that a picture keeps about the
// PSNR the standard tables give it at that quality, so a page author's
// quality setting means what it did. The files stay ordinary JPEG files that
// every reader decodes.
#pragma once

#include "image/jpeg_format.h"

namespace veltro {

// The quantisation step of the lowest frequencies at quality (0-100, held to
// that range): 255 at 0, falling to 1 at 100, linear between the fitted
// qualities.
double psnrTableStep(int quality);

// The tables of quality: entry (u, v) of the luminance table is
// step x (1 + slope x (u + v)) with slope = min(0.1, step / 200), the chroma
// table 1.2 times that, rounded and held to 1-255.
JpegQuantTables psnrQuantTables(int quality);

// Sets jpeg up to write quality with the tables above (one baseline scan:
// progressive scans saved under 1% at quality 75 and cost nearly half the
// encoding speed).
void usePsnrTables(JpegFormat& jpeg, int quality);

}  // namespace veltro
