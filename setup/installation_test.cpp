// The installer's file work: which files an installation takes, the checks
// on an install folder, copying that keeps the user's settings, launchers
// that the desktop accepts, the manifest, and removal that keeps the album.
#include "setup/installation.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>

#include "setup/setup_test_support.h"

namespace veltro::setup {
namespace {

using testing::TestHome;

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

TEST(CollectFiles, TakesTopLevelFilesAndTheProgramFoldersOnly) {
    TestHome home;
    const std::string dist = home.makeDistribution();
    std::vector<std::string> files;
    std::string error;
    ASSERT_TRUE(collectFiles(dist, false, files, &error)) << error;
    for (const char* wanted : {"veltrolt", "tool.ex_", "license.txt", "res/res.txt", "res/appicon.png",
                               "template/bg1.jpg", "doc/index.html", "tmp/.keep", "pages/new0/index.html"})
        EXPECT_TRUE(contains(files, wanted)) << wanted;
    EXPECT_FALSE(contains(files, "build-notes/ignored.txt"));
    EXPECT_FALSE(contains(files, ".hidden-res/ignored.txt"));

    ASSERT_TRUE(collectFiles(dist, true, files, &error));
    EXPECT_FALSE(contains(files, "pages/new0/index.html")) << "removal never takes the album";
    EXPECT_TRUE(contains(files, "res/res.txt"));
}

TEST(CollectFiles, NothingToInstallIsAnError) {
    TestHome home;
    home.write("empty/sub/file.txt", "x");
    std::vector<std::string> files;
    std::string error;
    EXPECT_FALSE(collectFiles(home.path("empty"), false, files, &error));
    EXPECT_EQ(error, "There is no file to install.");
    EXPECT_FALSE(collectFiles(home.path("missing"), true, files, &error));
    EXPECT_EQ(error, "There is no file to delete.");
}

TEST(InstallFolder, RefusesRootAndRelativePathsAndWarnsAboutAnotherProgram) {
    TestHome home;
    EXPECT_EQ(checkInstallFolder("/", true), FolderCheck::RefusedRoot);
    EXPECT_EQ(checkInstallFolder("//", false), FolderCheck::RefusedRoot);
    EXPECT_EQ(checkInstallFolder("opt/VELTRO-Lite/", true), FolderCheck::RefusedRelative);
    EXPECT_EQ(checkInstallFolder(home.path("new-folder/"), true), FolderCheck::Accepted);

    home.write("other/readme.txt", "another program");
    EXPECT_EQ(checkInstallFolder(home.path("other/"), true), FolderCheck::AnotherProgram);
    EXPECT_EQ(checkInstallFolder(home.path("other/"), false), FolderCheck::Accepted) << "an update goes anywhere";
    EXPECT_NE(folderCheckMessage(FolderCheck::AnotherProgram, "/x/").find("Another program has been installed in /x/"),
              std::string::npos);

    home.write("earlier/pages/new0/index.html", "page");
    EXPECT_EQ(checkInstallFolder(home.path("earlier/"), true), FolderCheck::Accepted);
}

TEST(CopyFiles, InstallsEverythingKeepsTheSettingsAndGuardsThem) {
    TestHome home;
    const std::string dist = home.makeDistribution();
    home.write("dist/veltrolt.rc", "album_dir=/shipped\n");
    std::vector<std::string> files;
    ASSERT_TRUE(collectFiles(dist, false, files, nullptr));
    const std::string target = home.path("install/");
    std::vector<std::string> errors;
    std::vector<std::pair<int, int>> progress;
    copyFiles(dist, target, files, [&](int done, int total) { progress.emplace_back(done, total); }, errors);
    EXPECT_TRUE(errors.empty());
    ASSERT_EQ(progress.size(), files.size());
    EXPECT_EQ(progress.back(), std::make_pair(int(files.size()), int(files.size())));
    EXPECT_EQ(TestHome::read(target + "res/res.txt"), "strings");
    EXPECT_EQ(TestHome::read(target + "tool.exe"), "program") << "a name ending in _ is installed ending in e";
    EXPECT_TRUE(QFileInfo(QString::fromStdString(target + "veltrolt")).isExecutable());
    EXPECT_EQ(TestHome::read(target + "veltrolt.rc"), "album_dir=/shipped\n");

    // The user's settings survive an update, and stay private.
    home.write("install/veltrolt.rc", "album_dir=/mine\n");
    copyFiles(dist, target, files, {}, errors);
    EXPECT_EQ(TestHome::read(target + "veltrolt.rc"), "album_dir=/mine\n");
    EXPECT_EQ(QFile::permissions(QString::fromStdString(target + "veltrolt.rc")) &
                  (QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::WriteGroup),
              QFileDevice::Permissions());
}

TEST(CopyFiles, CreatesAMissingSettingsFileAndReportsFailedCopies) {
    TestHome home;
    const std::string dist = home.makeDistribution();
    std::vector<std::string> files = {"license.txt", "vanished.txt"};
    std::vector<std::string> errors;
    copyFiles(dist, home.path("install"), files, {}, errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Failed to copy " + dist + "vanished.txt.");
    EXPECT_EQ(TestHome::read(home.path("install/veltrolt.rc")), "\n");
    EXPECT_EQ(TestHome::read(home.path("install/license.txt")), "The licence text.\n");
}

TEST(Manifest, RoundTripsAndRefusesWhatIsNotOne) {
    TestHome home;
    Manifest manifest;
    manifest.installDir = "/opt/VELTRO Lite/";
    manifest.launchers = {"/a/veltro-lite.desktop", "/a/veltro-lite-manual.desktop"};
    manifest.icon = "/icons/veltro-lite.png";
    const std::string path = home.path("data/VELTRO-Lite/install.manifest");
    ASSERT_TRUE(writeManifest(path, manifest, nullptr));
    const std::optional<Manifest> back = readManifest(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->installDir, manifest.installDir);
    EXPECT_EQ(back->groupName, "VELTRO Lite");
    EXPECT_EQ(back->launchers, manifest.launchers);
    EXPECT_EQ(back->icon, manifest.icon);

    home.write("bad.manifest", "install_dir=relative/path\n");
    EXPECT_FALSE(readManifest(home.path("bad.manifest")));
    home.write("huge.manifest", QByteArray(200 * 1024, 'x'));
    EXPECT_FALSE(readManifest(home.path("huge.manifest")));
    EXPECT_FALSE(readManifest(home.path("none.manifest")));
}

TEST(Launchers, AreValidDesktopEntriesAndRemovalKeepsTheAlbum) {
    TestHome home;
    const InstallPlaces places = installPlaces(false);
    EXPECT_EQ(places.applicationsDir, home.path("home/.local/share/applications"));
    EXPECT_EQ(places.defaultInstallDir, home.path("home/.local/opt/VELTRO-Lite/"));

    const std::string dist = home.makeDistribution();
    std::vector<std::string> files;
    ASSERT_TRUE(collectFiles(dist, false, files, nullptr));
    const std::string target = home.path("my \"odd\" $folder/");
    std::vector<std::string> errors;
    copyFiles(dist, target, files, {}, errors);
    Manifest manifest;
    manifest.installDir = target;
    writeLaunchers(places, target, manifest, errors);
    ASSERT_TRUE(errors.empty()) << errors[0];
    ASSERT_EQ(manifest.launchers.size(), 2u);
    const QByteArray entry = TestHome::read(manifest.launchers[0]);
    EXPECT_TRUE(entry.contains("Name=VELTRO Lite\n"));
    EXPECT_TRUE(entry.contains("Exec=\"" + QByteArray::fromStdString(home.path("")) +
                               "my \\\\\"odd\\\\\" \\\\$folder/veltrolt\"\n"))
        << entry.toStdString();
    EXPECT_TRUE(TestHome::read(manifest.launchers[1]).contains("doc/index.html"));
    EXPECT_EQ(TestHome::read(manifest.icon), "picture");

    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (!validator.isEmpty()) {
        for (const std::string& launcher : manifest.launchers) {
            QProcess check;
            check.start(validator, {QString::fromStdString(launcher)});
            ASSERT_TRUE(check.waitForFinished(10000));
            EXPECT_EQ(check.exitCode(), 0) << check.readAll().toStdString();
            EXPECT_EQ(check.readAllStandardOutput().trimmed(), QByteArray()) << "no warnings either";
        }
    }

    ASSERT_TRUE(writeManifest(places.manifestPath, manifest, nullptr));
    home.write("home/.config/VELTRO-Lite/veltrolt.rc", "album_dir=x\n");
    home.write("my \"odd\" $folder/pages/new1/index.html", "the user's page");
    std::vector<std::pair<int, int>> progress;
    removeInstallation(places, manifest, [&](int done, int total) { progress.emplace_back(done, total); }, errors);
    EXPECT_TRUE(errors.empty()) << errors[0];
    EXPECT_FALSE(progress.empty());
    EXPECT_EQ(TestHome::read(target + "pages/new1/index.html"), "the user's page");
    EXPECT_EQ(TestHome::read(target + "pages/new0/index.html"), "shipped page");
    for (const char* gone : {"veltrolt", "res", "doc", "template", "tmp", "license.txt", "veltrolt.rc"})
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(target + gone))) << gone;
    for (const std::string& launcher : manifest.launchers)
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(launcher)));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(manifest.icon)));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(places.manifestPath)));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(places.userConfigDir)));
}

TEST(Removal, RemovesTheWholeFolderWhenNoPageIsLeft) {
    TestHome home;
    const std::string dist = home.makeDistribution();
    std::vector<std::string> files;
    ASSERT_TRUE(collectFiles(dist, true, files, nullptr));
    std::vector<std::string> errors;
    copyFiles(dist, home.path("install/"), files, {}, errors);
    Manifest manifest;
    manifest.installDir = home.path("install/");
    removeInstallation(installPlaces(false), manifest, {}, errors);
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(home.path("install"))));
}

}  // namespace
}  // namespace veltro::setup
