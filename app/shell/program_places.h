// Where the program keeps its settings, its default album and its working
// folder. A program folder the user can write to is a portable install: all
// three live beside the program. A read-only one (a system install) sends
// them to the user's own folders: the settings to
// $XDG_CONFIG_HOME/VELTRO-Lite, the album to $XDG_DATA_HOME/VELTRO-Lite/pages
// and the working folder to $XDG_CACHE_HOME/VELTRO-Lite/tmp, with the usual
// defaults under $HOME.
#pragma once

#include <functional>
#include <string>

namespace veltro {

// The folder name used under the user's configuration, data and cache folders.
inline constexpr const char* kUserFolderName = "VELTRO-Lite";

struct ProgramPlaces {
    std::string settingsFile;  // the "veltrolt.rc" to open
    std::string albumDefault;  // the album when "album_dir" is empty
    std::string workDirectory; // temporary clips, recordings and frame lists
    bool portable = true;      // true when everything lives beside the program
};

// Reads an environment variable; empty when unset.
using EnvironmentReader = std::function<std::string(const std::string& name)>;

// The places for a program in executableDirectory. writable tells whether a
// folder may be written by this user (the real check by default).
ProgramPlaces findProgramPlaces(const std::string& executableDirectory, const EnvironmentReader& environment,
                                const std::function<bool(const std::string&)>& writable = {});

// findProgramPlaces with the process environment and the real check.
ProgramPlaces findProgramPlaces(const std::string& executableDirectory);

// Creates the folders the places need (the settings file's folder, the working
// folder); the album is left to the first page published. False when one of
// them could not be made.
bool prepareProgramPlaces(const ProgramPlaces& places);

}  // namespace veltro
