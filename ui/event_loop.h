// The process-wide event loop of the window layer: the main loop that runs
// until the last top-level window is gone, the pump step that long
// operations and modal runs call, and the list of top-level windows.
#pragma once

#include <vector>

namespace veltro {

class Window;

// Runs the main event loop until quitEventLoop or until the last top-level
// window is destroyed.
void runEventLoop();
// Stops the main event loop.
void quitEventLoop();
// True while the main event loop's running flag is set.
bool eventLoopRunning();
// Handles every pending event, then waits for input at most 10 ms. With a
// window, Tab pressed in it goes to that window's key routing.
void pumpMessages(Window* window = nullptr);
// The windows constructed without an owner, in construction order.
const std::vector<Window*>& topLevelWindows();

// ---- used by the window layer itself --------------------------------------

// Adds a window constructed without an owner to the top-level list.
void registerTopLevelWindow(Window* window);
// Takes a window out of the top-level list; the main loop stops with the
// last one.
void unregisterTopLevelWindow(Window* window);
// Adds a wheel turn in Qt's angle units to what is left of earlier turns and
// returns the whole notches (positive away from the user) it makes up.
int takeWheelSteps(int angleDelta);

}  // namespace veltro
