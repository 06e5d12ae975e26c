// veltrolt: the VELTRO Lite program.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/shell/startup.h"
#include "services/prompts.h"
#include "ui/qt_prompts.h"

namespace {

// True when Qt has somewhere to show windows: an X or Wayland display, or a
// platform the user chose explicitly.
bool haveDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (!haveDisplay()) {
        std::fprintf(stderr, "veltrolt: no display to show windows on (DISPLAY and WAYLAND_DISPLAY are unset)\n");
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName("VELTRO Lite");
    // The windows' own rules decide when the program ends, not Qt's.
    QApplication::setQuitOnLastWindowClosed(false);
    veltro::setPrompts(std::make_unique<veltro::QtPrompts>());
    return veltro::runProgram(veltro::StartupOptions{});
}
