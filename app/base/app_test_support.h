// Helpers shared by the application window tests: the shipped resource set
// of the build's distribution folder, a scratch settings file, and a dialog
// handler installed for the lifetime of an object.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include "app/base/app_state.h"
#include "image/image_format.h"
#include "services/resources.h"
#include "services/settings.h"
#include "ui/dialogs.h"

namespace veltro::testing {

// The distribution folder the build lays out (programs, res, doc, template).
inline std::string distDirectory() {
    const char* dist = std::getenv("VELTRO_DIST_DIR");
    return dist ? dist : "dist";
}

// A scratch folder removed with the object.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "veltro-app-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

// The shipped resource set and a fresh settings store in a scratch folder,
// both process-wide for the lifetime of the object.
class ShippedResources {
public:
    ShippedResources() {
        registerStandardImageFormats();
        m_resources = setResources(std::make_unique<Resources>(distDirectory() + "/res"));
        m_settings = setSettings(std::make_unique<Settings>(scratch.path + "/veltrolt.rc"));
        setExecutableDirectory(distDirectory());
        setQuitConfirmed(false);
    }
    ~ShippedResources() {
        setQuitConfirmed(false);
        setSettings(std::move(m_settings));
        setResources(std::move(m_resources));
    }
    std::string settingsPath() const { return scratch.path + "/veltrolt.rc"; }

    ScratchDir scratch;

private:
    std::unique_ptr<Resources> m_resources;
    std::unique_ptr<Settings> m_settings;
};

// Installs a dialog handler for the lifetime of the object.
class Answer {
public:
    explicit Answer(DialogHandler handler) : m_previous(setDialogHandler(std::move(handler))) {}
    ~Answer() { setDialogHandler(std::move(m_previous)); }

private:
    DialogHandler m_previous;
};

}  // namespace veltro::testing
