// Helpers the document tests share: a scripted prompts seam, an in-memory
// movie format (solid frames whose colour encodes the frame index), a tiny
// text image format, and temporary files.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <QGuiApplication>

#include "image/image_format.h"
#include "movie/movie_format.h"
#include "services/prompts.h"
#include "services/resources.h"
#include "services/settings.h"

namespace veltro::testing_support {

// The one QGuiApplication of a test program that draws (fonts and canvases
// need it); the test runs on the offscreen platform. It lives until the
// program ends.
inline bool testApplication() {
    if (QCoreApplication::instance())
        return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* application = new QGuiApplication(argc, argv);
    return application != nullptr;
}

// Answers choices and file choosers from scripts and records what was asked.
class ScriptedPrompts : public Prompts {
public:
    void showMessage(const std::string& text) override { messages.push_back(text); }
    int askChoice(const std::string& text, const std::vector<std::string>& captions) override {
        questions.push_back(text);
        lastCaptions = captions;
        if (choices.empty())
            return -1;
        int answer = choices.front();
        choices.erase(choices.begin());
        return answer;
    }
    std::string chooseOpenFile(const std::string& filter, const std::string& initial) override {
        lastFilter = filter;
        chooserInitial.push_back(initial);
        if (files.empty())
            return {};
        std::string answer = files.front();
        files.erase(files.begin());
        return answer;
    }
    std::string chooseSaveFile(const std::string&, const std::string&) override { return {}; }

    std::vector<int> choices;
    std::vector<std::string> files;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::string> lastCaptions;
    std::vector<std::string> chooserInitial;
    std::string lastFilter;
};

// Colour of frame i of a test movie: distinct for every index below 2^24.
inline uint32_t testFrameColor(int index) { return 0xFF000000u | (static_cast<uint32_t>(index) * 0x010305u & 0xFFFFFFu); }

// A movie file of this format is a text "frames width height".
class TestMovieReader : public MovieReader {
public:
    bool open(const std::string& path) override {
        std::ifstream file(path);
        int w = 0;
        int h = 0;
        if (!(file >> frameCount >> w >> h) || frameCount <= 0 || w <= 0 || h <= 0)
            return false;
        frame = std::make_unique<ImageBuffer>(w, h);
        frameRate = 10.0;
        return true;
    }
    const ImageBuffer* frameAt(int index) override {
        if (index < 0 || index >= frameCount)
            return nullptr;
        requested.push_back(index);
        std::fill(frame->pixels.begin(), frame->pixels.end(), testFrameColor(index));
        return frame.get();
    }
    static inline std::vector<int> requested;
};

class TestMovieFormat : public MovieFormat {
public:
    const char* description() const override { return "Test movie (*.tmov)"; }
    const char* pattern() const override { return "*.tmov"; }

protected:
    MovieReaderPtr createReader() const override { return std::make_unique<TestMovieReader>(); }
};

// An image file of this format is a text "width height RRGGBB".
class TestImageFormat : public ImageFormat {
public:
    const char* description() const override { return "Test image (*.timg)"; }
    const char* pattern() const override { return "*.timg"; }
    ImagePtr load(const std::string& path) override {
        std::ifstream file(path);
        int w = 0;
        int h = 0;
        unsigned color = 0;
        if (!(file >> w >> h >> std::hex >> color) || w <= 0 || h <= 0)
            return nullptr;
        auto image = std::make_unique<ImageBuffer>(w, h);
        std::fill(image->pixels.begin(), image->pixels.end(), 0xFF000000u | color);
        return image;
    }
    bool save(const std::string&, const ImageBuffer&) override { return false; }
};

// Registers the test formats once per process.
inline void registerTestFormats() {
    static TestMovieFormat movieFormat;
    static TestImageFormat imageFormat;
    static bool done = false;
    if (done)
        return;
    done = true;
    clearMovieFormats();
    registerMovieFormat(&movieFormat);
    clearImageFormats();
    registerImageFormat(&imageFormat);
}

// A fresh directory under the system's temporary directory, removed with the
// object.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "veltro-doc-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        path = ::mkdtemp(buffer.data());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    // Writes text into a file of the directory and returns its path.
    std::string write(const std::string& name, const std::string& text) const {
        std::string full = path + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream(full, std::ios::binary) << text;
        return full;
    }
    std::string path;
};

// Installs a resource set with the texts the document uses.
inline void installTestResources(const TempDir& dir) {
    dir.write("res/res.txt",
              "newdoc Untitled\n"
              "e_cant_open Cannot open %s\n"
              "b_open_another Open another\n"
              "b_ignore Ignore\n");
    setResources(std::make_unique<Resources>(dir.path + "/res"));
}

}  // namespace veltro::testing_support
