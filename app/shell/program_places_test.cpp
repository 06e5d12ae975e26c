// Portable and system installs: where settings, album and working folder go.
#include "app/shell/program_places.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "app/base/app_test_support.h"
#include "image/file_utils.h"

namespace veltro {
namespace {

EnvironmentReader environment(std::map<std::string, std::string> values) {
    return [values](const std::string& name) {
        auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    };
}

TEST(ProgramPlaces, AWritableProgramFolderKeepsEverythingBesideTheProgram) {
    ProgramPlaces places = findProgramPlaces("/opt/veltro", environment({{"HOME", "/home/ann"}}),
                                             [](const std::string&) { return true; });
    EXPECT_TRUE(places.portable);
    EXPECT_EQ(places.settingsFile, "/opt/veltro/veltrolt.rc");
    EXPECT_EQ(places.albumDefault, "/opt/veltro/pages");
    EXPECT_EQ(places.workDirectory, "/opt/veltro/tmp");
}

TEST(ProgramPlaces, AReadOnlyProgramFolderUsesTheUsersFolders) {
    auto readOnly = [](const std::string&) { return false; };
    ProgramPlaces places = findProgramPlaces(
        "/usr/lib/veltro",
        environment({{"HOME", "/home/ann"}, {"XDG_CONFIG_HOME", "/cfg"}, {"XDG_DATA_HOME", "/data"},
                     {"XDG_CACHE_HOME", "/cache"}}),
        readOnly);
    EXPECT_FALSE(places.portable);
    EXPECT_EQ(places.settingsFile, "/cfg/VELTRO-Lite/veltrolt.rc");
    EXPECT_EQ(places.albumDefault, "/data/VELTRO-Lite/pages");
    EXPECT_EQ(places.workDirectory, "/cache/VELTRO-Lite/tmp");

    // Unset or relative base folders fall back to the usual ones under $HOME.
    places = findProgramPlaces("/usr/lib/veltro", environment({{"HOME", "/home/ann"}, {"XDG_DATA_HOME", "rel"}}),
                               readOnly);
    EXPECT_EQ(places.settingsFile, "/home/ann/.config/VELTRO-Lite/veltrolt.rc");
    EXPECT_EQ(places.albumDefault, "/home/ann/.local/share/VELTRO-Lite/pages");
    EXPECT_EQ(places.workDirectory, "/home/ann/.cache/VELTRO-Lite/tmp");
}

TEST(ProgramPlaces, AReadOnlyWorkingFolderInAPortableInstallMovesToTheCache) {
    testing::ScratchDir dir;
    ASSERT_TRUE(makeDirectories(dir.path + "/tmp"));
    std::string tmp = dir.path + "/tmp";
    ProgramPlaces places = findProgramPlaces(dir.path, environment({{"XDG_CACHE_HOME", "/cache"}}),
                                             [&](const std::string& folder) { return folder != tmp; });
    EXPECT_TRUE(places.portable);
    EXPECT_EQ(places.settingsFile, dir.path + "/veltrolt.rc");
    EXPECT_EQ(places.workDirectory, "/cache/VELTRO-Lite/tmp");
}

TEST(ProgramPlaces, PreparingCreatesTheSettingsAndWorkingFoldersButNotTheAlbum) {
    testing::ScratchDir dir;
    ProgramPlaces places;
    places.settingsFile = dir.path + "/config/VELTRO-Lite/veltrolt.rc";
    places.albumDefault = dir.path + "/data/VELTRO-Lite/pages";
    places.workDirectory = dir.path + "/cache/VELTRO-Lite/tmp";
    EXPECT_TRUE(prepareProgramPlaces(places));
    EXPECT_TRUE(isDirectory(dir.path + "/config/VELTRO-Lite"));
    EXPECT_TRUE(isDirectory(places.workDirectory));
    EXPECT_FALSE(fileExists(places.albumDefault));
    // A folder that cannot be made (below a file) is reported.
    std::ofstream(dir.path + "/file") << "x";
    places.workDirectory = dir.path + "/file/tmp";
    EXPECT_FALSE(prepareProgramPlaces(places));
}

}  // namespace
}  // namespace veltro
