// Helpers shared by the window tests: the application object on the
// offscreen platform, a prompts seam that records messages instead of
// showing them, a resource directory the test fills, and screenshots saved
// into the build folder for people to look at.
#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "image/image_format.h"
#include "services/canvas.h"
#include "services/prompts.h"
#include "services/resources.h"
#include "ui/window.h"

namespace veltro::testing {

// The one QApplication of a test program (offscreen unless told otherwise).
inline QApplication& app() {
    static int argc = 1;
    static char name[] = "veltro_ui_test";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new QApplication(argc, argv);
    }();
    return *instance;
}

// Records every message and answers choices with a fixed index.
class RecordingPrompts : public Prompts {
public:
    void showMessage(const std::string& text) override { messages->push_back(text); }
    int askChoice(const std::string& text, const std::vector<std::string>&) override {
        messages->push_back(text);
        return -1;
    }
    std::string chooseOpenFile(const std::string&, const std::string&) override { return {}; }
    std::string chooseSaveFile(const std::string&, const std::string&) override { return {}; }

    std::shared_ptr<std::vector<std::string>> messages = std::make_shared<std::vector<std::string>>();
};

// Installs a RecordingPrompts for the lifetime of the object.
class RecordMessages {
public:
    RecordMessages() {
        auto prompts = std::make_unique<RecordingPrompts>();
        m_messages = prompts->messages;
        m_previous = setPrompts(std::move(prompts));
    }
    ~RecordMessages() { setPrompts(std::move(m_previous)); }
    const std::vector<std::string>& messages() const { return *m_messages; }
    void clear() { m_messages->clear(); }

private:
    std::shared_ptr<std::vector<std::string>> m_messages;
    std::unique_ptr<Prompts> m_previous;
};

// A scratch resource directory, installed as the process-wide resource set
// for the lifetime of the object and removed afterwards.
class ResourceDir {
public:
    ResourceDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "veltro-ui-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data()))
            m_path = buffer.data();
        registerStandardImageFormats();
        m_previous = setResources(std::make_unique<Resources>(m_path));
    }
    ~ResourceDir() {
        setResources(std::move(m_previous));
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& path() const { return m_path; }

    // Writes a text file of the resource set.
    void writeText(const std::string& name, const std::string& text) const {
        std::ofstream out(m_path + "/" + name, std::ios::binary | std::ios::trunc);
        out << text;
    }
    // Writes a PNG of the resource set filled with colour (0xAARRGGBB).
    void writeImage(const std::string& name, int width, int height, uint32_t colour) const {
        ImageBuffer image(width, height);
        for (uint32_t& pixel : image.pixels)
            pixel = colour;
        image.hasAlpha = (colour >> 24) != 0xFF;
        findImageFormat(name)->save(m_path + "/" + name, image);
    }

private:
    std::string m_path;
    std::unique_ptr<Resources> m_previous;
};

// The colour (0xRRGGBB) of a back-buffer pixel.
inline uint32_t pixelAt(const Window& window, int x, int y) {
    return window.backBuffer()->surface().pixel(x, y) & 0xFFFFFF;
}

// Saves what the window shows into "screenshots/<name>.png" under the build
// folder's test directory; returns the path.
inline std::string saveScreenshot(Window& window, const std::string& name) {
    QDir().mkpath("screenshots");
    std::string path = "screenshots/" + name + ".png";
    if (QWidget* widget = window.platformWindow())
        widget->grab().save(QFile::decodeName(QByteArray::fromStdString(path)));
    return path;
}

// Lets queued events run (posted events, deferred deletions).
inline void settle() {
    for (int i = 0; i < 3; ++i)
        pumpMessages();
}

}  // namespace veltro::testing
