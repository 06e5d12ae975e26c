// The program's start and end: settings, image formats, resources, the
// splash, the album default, the movie formats, the page-template
// thumbnails and the main window, in that order; the one event loop; the
// settings written back at exit.
#pragma once

#include <memory>
#include <string>

namespace veltro {

class MainWindow;

struct StartupOptions {
    // The folder holding the program with its "res", "template", "doc" and
    // "samples" folders; empty for the running program's own folder.
    std::string executableDirectory;
    // How long the splash stays up at least.
    int splashMilliseconds = 1000;
};

// Registers the movie formats in their lookup order (AVI, QuickTime, frame
// store and frame list, DirectShow, then today's containers). The one place
// start-up registers them.
void registerProgramMovieFormats();

// Everything up to the shown main window, which becomes the current main
// window. The application object must exist.
std::unique_ptr<MainWindow> startProgram(const StartupOptions& options);

// Runs the event loop until the main window is gone. A loop stopped any other
// way (the platform's quit key in some dialog) starts again: the program only
// ends through the main window, after its question, so no open work is lost.
void runMainLoop(const MainWindow& main);

// Writes the settings back and forgets the main window.
void finishProgram();

// startProgram, the event loop until the main window is gone, finishProgram;
// the process exit status (0).
int runProgram(const StartupOptions& options);

}  // namespace veltro
