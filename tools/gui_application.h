// The drawing system for the commands that draw text and pictures without a
// window (render, publish, reopen, play).
#pragma once

namespace veltro::tool {

// Makes sure a QGuiApplication exists, creating one on the offscreen platform
// (unless QT_QPA_PLATFORM says otherwise). It lives until the process ends.
// False when none could be created.
bool ensureGuiApplication();

}  // namespace veltro::tool
