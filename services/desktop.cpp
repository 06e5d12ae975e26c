// Desktop services over POSIX: xdg-open for the system's associated program,
// and the screen and pointer facts the window layer reports.
#include "services/desktop.h"

#include <chrono>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace veltro {

namespace {

// How long openDocument waits for the opener to report before taking the
// hand-over as done (the opener may stay with the program it started).
constexpr int kOpenerWaitMilliseconds = 3000;
// The Windows button face, used while no desktop theme is known.
constexpr uint32_t kButtonFace = 0x00F0F0F0;

bool spawnOpener(const std::string& path) {
    const char* argv[] = {"xdg-open", path.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return false;
    for (int waited = 0; waited < kOpenerWaitMilliseconds; waited += 10) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (done < 0)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Still running: the hand-over started; reap it whenever it ends.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return true;
}

struct DesktopState {
    DocumentOpener opener;
    std::function<ScreenPoint()> cursor;
    int screenWidth = 1024;
    int screenHeight = 768;
    bool opening = false;
};

DesktopState& desktop() {
    static DesktopState state;
    return state;
}

}  // namespace

bool openDocument(const std::string& path) {
    DesktopState& state = desktop();
    if (state.opening)
        return false;
    state.opening = true;
    bool ok = state.opener ? state.opener(path) : spawnOpener(path);
    state.opening = false;
    return ok;
}

DocumentOpener setDocumentOpener(DocumentOpener opener) {
    DocumentOpener previous = std::move(desktop().opener);
    desktop().opener = std::move(opener);
    return previous;
}

uint32_t buttonFaceColour() { return kButtonFace; }

int screenWidth() { return desktop().screenWidth; }

int screenHeight() { return desktop().screenHeight; }

void setScreenSize(int width, int height) {
    if (width > 0 && height > 0) {
        desktop().screenWidth = width;
        desktop().screenHeight = height;
    }
}

ScreenPoint cursorPosition() {
    const auto& query = desktop().cursor;
    return query ? query() : ScreenPoint{};
}

void setCursorQuery(std::function<ScreenPoint()> query) { desktop().cursor = std::move(query); }

void sleep(int milliseconds) {
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace veltro
