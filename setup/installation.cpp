// The installer's file work over Qt Core: QDir for listing and folders,
// QFile for copies and permissions, QSaveFile so a manifest or launcher is
// either written whole or not at all.
#include "setup/installation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QString>
#include <QTextStream>

#include <algorithm>
#include <cstdlib>

namespace veltro::setup {

namespace {

constexpr const char* kInstallFolderName = "VELTRO-Lite";
constexpr const char* kProgramLauncher = "veltro-lite.desktop";
constexpr const char* kManualLauncher = "veltro-lite-manual.desktop";
constexpr const char* kIconName = "veltro-lite";
// The size folder of the hicolor theme the icon goes to (its picture is 128 x 128).
constexpr const char* kIconSizeFolder = "128x128";
// A manifest is a few lines; anything larger is not ours.
constexpr qint64 kMaxManifestBytes = 64 * 1024;

QString q(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string s(const QString& path) { return QFile::encodeName(path).toStdString(); }

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string format(const char* pattern, const std::string& value) {
    std::string text(pattern);
    const size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, value);
    return text;
}

// Whether a folder below the root is taken: its path from the root names one
// of the program's folders.
bool isProgramFolder(const QString& relative, bool uninstall) {
    for (const char* name : {"template", "doc", "tmp", "res"}) {
        if (relative.contains(QLatin1String(name)))
            return true;
    }
    return !uninstall && relative.contains(QLatin1String("pages"));
}

// Appends the files below folder (relative to root); false when a folder
// cannot be listed.
bool collectFolder(const QDir& root, const QString& folder, bool uninstall, std::vector<std::string>& files) {
    QDir dir(folder);
    if (!dir.exists() || !dir.isReadable())
        return false;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                          QDir::Name);
    for (const QFileInfo& entry : entries) {
        const QString relative = root.relativeFilePath(entry.absoluteFilePath());
        if (entry.isDir() && !entry.isSymLink()) {
            if (entry.fileName().startsWith('.') || !isProgramFolder(relative, uninstall))
                continue;
            if (!collectFolder(root, entry.absoluteFilePath(), uninstall, files))
                return false;
        } else if (entry.isFile()) {
            files.push_back(s(relative));
        }
    }
    return true;
}

void setError(std::string* error, const std::string& text) {
    if (error)
        *error = text;
}

// Writes text to path in one piece; false when any step failed.
bool writeWhole(const QString& path, const QByteArray& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text);
    return file.commit();
}

// Removes the folder and then its parents up to (not including) stop, each
// only while empty.
void removeEmptyFolders(const QString& folder, const QString& stop) {
    QString current = QDir::cleanPath(folder);
    const QString last = QDir::cleanPath(stop);
    while (current != last && current.startsWith(last + '/')) {
        if (!QDir().rmdir(current))
            return;
        current = QFileInfo(current).path();
    }
}

// A value for a desktop entry's Exec key: quoted, with the characters the
// format reserves escaped.
QString execArgument(const QString& path) {
    QString quoted = path;
    quoted.replace('\\', "\\\\\\\\").replace('"', "\\\\\"").replace('`', "\\\\`").replace('$', "\\\\$");
    quoted.replace('%', "%%");
    return '"' + quoted + '"';
}

}  // namespace

InstallPlaces installPlaces(bool system) {
    InstallPlaces places;
    places.system = system;
    const std::string home = environment("HOME");
    std::string dataHome = environment("XDG_DATA_HOME");
    if (dataHome.empty())
        dataHome = home + "/.local/share";
    std::string configHome = environment("XDG_CONFIG_HOME");
    if (configHome.empty())
        configHome = home + "/.config";
    places.userConfigDir = configHome + "/" + kInstallFolderName;
    if (places.system) {
        places.defaultInstallDir = std::string("/opt/") + kInstallFolderName + "/";
        places.applicationsDir = "/usr/share/applications";
        places.iconThemeDir = "/usr/share/icons/hicolor";
        places.manifestPath = std::string("/var/lib/") + kInstallFolderName + "/install.manifest";
    } else {
        places.defaultInstallDir = home + "/.local/opt/" + kInstallFolderName + "/";
        places.applicationsDir = dataHome + "/applications";
        places.iconThemeDir = dataHome + "/icons/hicolor";
        places.manifestPath = dataHome + "/" + kInstallFolderName + "/install.manifest";
    }
    return places;
}

std::optional<Manifest> readManifest(const std::string& path) {
    QFile file(q(path));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxManifestBytes)
        return std::nullopt;
    Manifest manifest;
    manifest.groupName.clear();
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const std::string value = line.mid(eq + 1).toStdString();
        if (key == "install_dir")
            manifest.installDir = value;
        else if (key == "group")
            manifest.groupName = value;
        else if (key == "launcher")
            manifest.launchers.push_back(value);
        else if (key == "icon")
            manifest.icon = value;
    }
    if (manifest.installDir.empty() || manifest.installDir[0] != '/')
        return std::nullopt;
    if (manifest.groupName.empty())
        manifest.groupName = kProductName;
    manifest.installDir = withTrailingSlash(manifest.installDir);
    return manifest;
}

bool writeManifest(const std::string& path, const Manifest& manifest, std::string* error) {
    QByteArray text;
    text += "install_dir=" + QByteArray::fromStdString(manifest.installDir) + "\n";
    text += "group=" + QByteArray::fromStdString(manifest.groupName) + "\n";
    for (const std::string& launcher : manifest.launchers)
        text += "launcher=" + QByteArray::fromStdString(launcher) + "\n";
    if (!manifest.icon.empty())
        text += "icon=" + QByteArray::fromStdString(manifest.icon) + "\n";
    const QString file = q(path);
    if (!QDir().mkpath(QFileInfo(file).path()) || !writeWhole(file, text)) {
        setError(error, format("Failed to create %s.", path));
        return false;
    }
    return true;
}

bool collectFiles(const std::string& root, bool uninstall, std::vector<std::string>& files,
                  std::string* error) {
    files.clear();
    const QDir dir(q(root));
    const bool listed = collectFolder(dir, dir.absolutePath(), uninstall, files);
    if (listed && !files.empty())
        return true;
    if (uninstall)
        setError(error, files.empty() ? "There is no file to delete." : "Failed to search to uninstall.");
    else
        setError(error, files.empty() ? "There is no file to install." : "Faild to search files to install.");
    return false;
}

std::string withTrailingSlash(const std::string& folder) {
    if (!folder.empty() && folder.back() == '/')
        return folder;
    return folder + "/";
}

FolderCheck checkInstallFolder(const std::string& installDir, bool freshInstall) {
    if (installDir.empty() || installDir[0] != '/')
        return FolderCheck::RefusedRelative;
    const QString clean = QDir::cleanPath(q(installDir));
    if (clean == "/")
        return FolderCheck::RefusedRoot;
    if (!freshInstall)
        return FolderCheck::Accepted;
    const QFileInfo folder(clean);
    if (!folder.exists() || QFileInfo::exists(clean + "/pages"))
        return FolderCheck::Accepted;
    return FolderCheck::AnotherProgram;
}

std::string folderCheckMessage(FolderCheck check, const std::string& installDir) {
    switch (check) {
    case FolderCheck::Accepted:
        return std::string();
    case FolderCheck::RefusedRoot:
        return "You can't install in the root directory.";
    case FolderCheck::RefusedRelative:
        return "Please specify a full path, starting with \"/\".";
    case FolderCheck::AnotherProgram:
        return format("Another program has been installed in %s. \nPlease specify another directory.", installDir);
    }
    return std::string();
}

void copyFiles(const std::string& sourceDir, const std::string& installDir,
               const std::vector<std::string>& files, const CopyProgress& progress,
               std::vector<std::string>& errors) {
    const QString source = q(withTrailingSlash(sourceDir));
    const QString target = q(withTrailingSlash(installDir));
    int done = 0;
    for (const std::string& relative : files) {
        const QString from = source + q(relative);
        QString to = target + q(relative);
        const bool settings = relative == kSettingsFileName;
        if (!(settings && QFileInfo::exists(to))) {
            if (to.endsWith('_'))
                to[to.size() - 1] = 'e';
            QDir().mkpath(QFileInfo(to).path());
            if (QFileInfo::exists(to) || QFileInfo(to).isSymLink())
                QFile::remove(to);
            if (!QFile::copy(from, to))
                errors.push_back(format("Failed to copy %s.", s(from)));
        }
        if (progress)
            progress(++done, int(files.size()));
    }
    // The settings file exists after every installation and only its owner
    // may read or change it: it names the folder published pages go to.
    const QString settings = target + kSettingsFileName;
    if (!QFileInfo::exists(settings) && !writeWhole(settings, "\n"))
        errors.push_back(format("Failed to create %s.", s(settings)));
    QFile::setPermissions(settings, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void writeLaunchers(const InstallPlaces& places, const std::string& installDir, Manifest& manifest,
                    std::vector<std::string>& errors) {
    const QString dir = q(withTrailingSlash(installDir));
    manifest.launchers.clear();

    const QString iconSource = dir + "res/appicon.png";
    const QString iconFolder = q(places.iconThemeDir) + "/" + kIconSizeFolder + "/apps";
    const QString icon = iconFolder + "/" + kIconName + ".png";
    QDir().mkpath(iconFolder);
    QFile::remove(icon);
    if (QFile::copy(iconSource, icon))
        manifest.icon = s(icon);
    else
        errors.push_back(format("Failed to create %s.", s(icon)));

    struct Launcher {
        const char* file;
        const char* name;
        const char* comment;
        QString exec;
    };
    const Launcher launchers[] = {
        {kProgramLauncher, kProductName, "Make drag-to-play web objects from short clips",
         execArgument(dir + kProgramFileName)},
        {kManualLauncher, "Manual", "The VELTRO Lite manual", "xdg-open " + execArgument(dir + "doc/index.html")},
    };
    QDir().mkpath(q(places.applicationsDir));
    for (const Launcher& launcher : launchers) {
        QByteArray text = "[Desktop Entry]\nType=Application\nVersion=1.4\n";
        text += QByteArray("Name=") + launcher.name + "\n";
        text += QByteArray("Comment=") + launcher.comment + "\n";
        text += "Exec=" + launcher.exec.toUtf8() + "\n";
        text += "Path=" + QDir::cleanPath(dir).toUtf8() + "\n";
        text += QByteArray("Icon=") + kIconName + "\n";
        text += "Terminal=false\nCategories=Graphics;\n";
        const QString path = q(places.applicationsDir) + "/" + launcher.file;
        if (writeWhole(path, text))
            manifest.launchers.push_back(s(path));
        else
            errors.push_back(format("Failed to create %s.", s(path)));
    }
}

void removeInstallation(const InstallPlaces& places, const Manifest& manifest,
                        const CopyProgress& progress, std::vector<std::string>& errors) {
    const QString dir = q(withTrailingSlash(manifest.installDir));
    std::vector<std::string> files;
    std::string error;
    if (!collectFiles(manifest.installDir, true, files, &error))
        files.clear();
    int done = 0;
    std::vector<QString> folders;
    for (const std::string& relative : files) {
        const QString path = dir + q(relative);
        if (QFileInfo(path).exists() && !QFile::remove(path))
            errors.push_back(format("Failed to delete %s.", s(path)));
        folders.push_back(QFileInfo(path).path());
        if (progress)
            progress(++done, int(files.size()));
    }
    // Deepest folders first; a folder that still holds something (the album
    // with the user's pages) stays, and so does every folder above it.
    std::sort(folders.begin(), folders.end(),
              [](const QString& a, const QString& b) { return a.count('/') > b.count('/'); });
    for (const QString& folder : folders)
        removeEmptyFolders(folder, QDir::cleanPath(dir));
    const QString top = QDir::cleanPath(dir);
    if (QFileInfo::exists(top) && !QDir().rmdir(top) && QDir(top).isEmpty())
        errors.push_back(format("Failed to delete %s.\nSome data files remains in the directory,\n"
                                "which you may delete with a file manager.",
                                s(top)));

    for (const std::string& launcher : manifest.launchers) {
        if (QFileInfo::exists(q(launcher)) && !QFile::remove(q(launcher)))
            errors.push_back(format("Failed to delete %s.", launcher));
    }
    if (!manifest.icon.empty() && QFileInfo::exists(q(manifest.icon)) && !QFile::remove(q(manifest.icon)))
        errors.push_back(format("Failed to delete %s.", manifest.icon));
    if (QFileInfo::exists(q(places.manifestPath)) && !QFile::remove(q(places.manifestPath)))
        errors.push_back("The record of the installation could not be deleted.");
    QDir().rmdir(QFileInfo(q(places.manifestPath)).path());
    // The per-user settings folder goes silently, as the per-user key did.
    QDir(q(places.userConfigDir)).removeRecursively();
}

}  // namespace veltro::setup
