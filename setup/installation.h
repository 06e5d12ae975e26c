// What the installer does to the file system, without any window: finding
// the files to install, the checks on an install folder, copying, the
// desktop launchers and icon, the manifest that records an installation, and
// removal. The wizard and the unattended mode both run these.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veltro::setup {

// The product name on every page, launcher and message.
inline constexpr const char* kProductName = "VELTRO Lite";
// The settings file, which an installation never overwrites.
inline constexpr const char* kSettingsFileName = "veltrolt.rc";
// The program the finish page starts.
inline constexpr const char* kProgramFileName = "veltrolt";

// Where an installation goes and where it registers itself: the user's own
// folders, or the system's when running as root.
struct InstallPlaces {
    bool system = false;
    std::string defaultInstallDir;  // ~/.local/opt/VELTRO-Lite or /opt/VELTRO-Lite
    std::string applicationsDir;    // launchers ($XDG_DATA_HOME/applications)
    std::string iconThemeDir;       // the hicolor icon theme folder
    std::string manifestPath;       // the record of the installation
    std::string userConfigDir;      // the per-user settings folder, removed on uninstall
};

// The places for this user: $XDG_DATA_HOME and $XDG_CONFIG_HOME (or their
// defaults under $HOME), or with system set the system folders (/opt,
// /usr/share, /var/lib); the per-user settings folder is the user's either way.
InstallPlaces installPlaces(bool system);

// One installation as recorded in its manifest.
struct Manifest {
    std::string installDir;  // ends with "/"
    std::string groupName = kProductName;
    std::vector<std::string> launchers;  // full paths of the .desktop files
    std::string icon;                    // full path of the installed icon
};

// Reads the manifest at path; none when it is missing or unreadable.
std::optional<Manifest> readManifest(const std::string& path);
// Writes the manifest (replacing any earlier one); false with error set.
bool writeManifest(const std::string& path, const Manifest& manifest, std::string* error);

// The relative paths of the files to install from root (or to remove from an
// installation): every plain file at the top, and every file below the
// folders whose path from root names "template", "doc", "tmp" or "res", and,
// unless uninstalling, "pages"; folders starting with "." are skipped. False
// with error set ("There is no file to install." and its relatives) when
// nothing was found or a folder could not be listed.
bool collectFiles(const std::string& root, bool uninstall, std::vector<std::string>& files,
                  std::string* error);

// The answer of the install-folder check.
enum class FolderCheck {
    Accepted,
    RefusedRoot,        // "/" itself
    RefusedRelative,    // not an absolute path
    AnotherProgram,     // an existing folder without "pages": warn once
};
// Checks a folder typed on the folder page. freshInstall is false when an
// earlier installation is recorded (then any folder is accepted).
FolderCheck checkInstallFolder(const std::string& installDir, bool freshInstall);
// The message for a refused or warned folder ("" when accepted).
std::string folderCheckMessage(FolderCheck check, const std::string& installDir);
// The folder with one trailing "/".
std::string withTrailingSlash(const std::string& folder);

// Called after each file with (done, total).
using CopyProgress = std::function<void(int done, int total)>;

// Copies each collected file from sourceDir to installDir, creating folders
// as needed; an existing settings file is kept, a name ending in "_" is
// installed ending in "e". The settings file is created (one line end) when
// missing and left readable and writable by its owner only. Every failure is
// appended to errors ("Failed to copy %s."), and copying goes on.
void copyFiles(const std::string& sourceDir, const std::string& installDir,
               const std::vector<std::string>& files, const CopyProgress& progress,
               std::vector<std::string>& errors);

// Writes the launchers ("VELTRO Lite" starting the program, "Manual" opening
// doc/index.html) and installs the icon from installDir/res/appicon.png;
// records their paths in manifest. Failures go to errors.
void writeLaunchers(const InstallPlaces& places, const std::string& installDir, Manifest& manifest,
                    std::vector<std::string>& errors);

// Removes an installation: every collected file (the album "pages" stays),
// then the emptied folders deepest first, the launchers and icon, the
// manifest and the per-user settings folder. Failures go to errors, and
// removal goes on.
void removeInstallation(const InstallPlaces& places, const Manifest& manifest,
                        const CopyProgress& progress, std::vector<std::string>& errors);

}  // namespace veltro::setup
