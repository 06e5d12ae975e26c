// Portable and system installs: where settings, album and working folder go.
#include "app/shell/program_places.h"

#include <cstdlib>

#include <unistd.h>

#include "image/file_utils.h"

namespace veltro {

namespace {

// $name when it is an absolute path (the base directory rules ignore relative
// ones), else fallback under $HOME.
std::string userFolder(const EnvironmentReader& environment, const std::string& name, const std::string& fallback) {
    std::string value = environment(name);
    if (!value.empty() && value[0] == '/')
        return value;
    std::string home = environment("HOME");
    if (home.empty())
        home = "/tmp";
    return joinPath(home, fallback);
}

bool canWrite(const std::string& directory) {
    return !directory.empty() && ::access(directory.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

ProgramPlaces findProgramPlaces(const std::string& executableDirectory, const EnvironmentReader& environment,
                                const std::function<bool(const std::string&)>& writable) {
    ProgramPlaces places;
    bool portable = writable ? writable(executableDirectory) : canWrite(executableDirectory);
    if (portable) {
        places.settingsFile = joinPath(executableDirectory, "veltrolt.rc");
        places.albumDefault = joinPath(executableDirectory, "pages");
        places.workDirectory = joinPath(executableDirectory, "tmp");
        // A working folder the install shipped read-only still goes to the cache.
        std::string tmp = places.workDirectory;
        if (isDirectory(tmp) && !(writable ? writable(tmp) : canWrite(tmp)))
            places.workDirectory =
                joinPath(joinPath(userFolder(environment, "XDG_CACHE_HOME", ".cache"), kUserFolderName), "tmp");
        return places;
    }
    places.portable = false;
    places.settingsFile =
        joinPath(joinPath(userFolder(environment, "XDG_CONFIG_HOME", ".config"), kUserFolderName), "veltrolt.rc");
    places.albumDefault =
        joinPath(joinPath(userFolder(environment, "XDG_DATA_HOME", ".local/share"), kUserFolderName), "pages");
    places.workDirectory =
        joinPath(joinPath(userFolder(environment, "XDG_CACHE_HOME", ".cache"), kUserFolderName), "tmp");
    return places;
}

ProgramPlaces findProgramPlaces(const std::string& executableDirectory) {
    return findProgramPlaces(executableDirectory, [](const std::string& name) {
        const char* value = std::getenv(name.c_str());
        return std::string(value ? value : "");
    });
}

bool prepareProgramPlaces(const ProgramPlaces& places) {
    bool ok = true;
    std::string settingsFolder = directoryOf(places.settingsFile);
    if (!settingsFolder.empty() && !isDirectory(settingsFolder))
        ok = makeDirectories(settingsFolder) && ok;
    if (!places.workDirectory.empty() && !isDirectory(places.workDirectory))
        ok = makeDirectories(places.workDirectory) && ok;
    return ok;
}

}  // namespace veltro
