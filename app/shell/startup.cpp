// Start-up and shut-down of the program.
#include "app/shell/startup.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include "app/base/app_state.h"
#include "app/shell/main_window.h"
#include "app/shell/program_places.h"
#include "image/file_utils.h"
#include "image/image_format.h"
#include "movie/standard_movie_formats.h"
#include "services/canvas.h"
#include "services/desktop.h"
#include "services/resources.h"
#include "services/settings.h"
#include "ui/window.h"

namespace veltro {

namespace {

// Tells the window-free services what only the window layer knows.
void connectDesktop() {
    if (QScreen* screen = QGuiApplication::primaryScreen())
        setScreenSize(screen->geometry().width(), screen->geometry().height());
    setCursorQuery([] {
        QPoint p = QCursor::pos();
        return ScreenPoint{p.x(), p.y()};
    });
}

// The logo, centred on the screen and on it at once; none without the image.
std::unique_ptr<Window> showSplash() {
    const ImageBuffer* logo = resources().image("veltrologo.jpg");
    if (!logo)
        return nullptr;
    int x = (screenWidth() - logo->width) / 2;
    int y = (screenHeight() - logo->height) / 2;
    auto splash = std::make_unique<Window>(nullptr, x, y, logo->width, logo->height, WindowFrame::FramePopup);
    if (Canvas* canvas = splash->backBuffer())
        canvas->drawImage(0, 0, logo->width, logo->height, *logo);
    splash->show(true);
    splash->flush();
    pumpMessages();
    return splash;
}

// Keeps the splash up until milliseconds have passed since start, painting
// it meanwhile instead of freezing.
void holdSplash(int64_t start, int milliseconds) {
    while (processMilliseconds() - start < milliseconds)
        pumpMessages();
}

}  // namespace

void registerProgramMovieFormats() { registerStandardMovieFormats(); }

std::unique_ptr<MainWindow> startProgram(const StartupOptions& options) {
    connectDesktop();
    std::string exeDir = options.executableDirectory.empty() ? programDirectory() : options.executableDirectory;
    setExecutableDirectory(exeDir);
    ProgramPlaces places = findProgramPlaces(exeDir);
    prepareProgramPlaces(places);
    setWorkDirectory(places.workDirectory);
    std::string samples = joinPath(exeDir, "samples");
    setSampleDirectory(isDirectory(samples) ? samples : std::string());

    openSettings(places.settingsFile);
    registerStandardImageFormats();
    resources().setDirectory(joinPath(exeDir, "res"));

    int64_t splashStart = processMilliseconds();
    std::unique_ptr<Window> splash = showSplash();

    if (settings().find("album_dir", "").empty())
        settings().set("album_dir", places.albumDefault);
    registerProgramMovieFormats();

    holdSplash(splashStart, options.splashMilliseconds);
    setTemplateThumbnails(loadTemplateThumbnails(joinPath(exeDir, "template")));
    if (splash)
        splash->destroy();
    splash.reset();

    auto main = std::make_unique<MainWindow>();
    setCurrentMainWindow(main.get());
    main->center();
    main->show(true);
    main->flush();
    return main;
}

void finishProgram() {
    setCurrentMainWindow(nullptr);
    // A settings folder that cannot be written keeps the values for this run only.
    settings().save();
}

void runMainLoop(const MainWindow& main) {
    while (main.exists())
        runEventLoop();
}

int runProgram(const StartupOptions& options) {
    std::unique_ptr<MainWindow> main = startProgram(options);
    runMainLoop(*main);
    main.reset();
    finishProgram();
    return 0;
}

}  // namespace veltro
