// veltrosetup: installs VELTRO Lite from the folder it sits in, and removes it
// again. Without arguments it runs the install wizard; "/r" is the uninstall
// launcher (it restarts a temporary copy of itself with "/x"), "/x" removes
// the installation. With --unattended the same work runs without pages, for
// scripted installs and tests: errors go to stderr and the exit status is
// non-zero on failure.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>

#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "setup/installation.h"
#include "setup/setup_wizard.h"

using namespace veltro::setup;

namespace {

enum class Mode { Install, UninstallLauncher, Uninstall };

// An optional leading "/" is skipped; the next letter picks the mode.
Mode modeOf(const QStringList& positional) {
    if (positional.isEmpty())
        return Mode::Install;
    QString word = positional.first();
    if (word.startsWith('/'))
        word.remove(0, 1);
    const QChar letter = word.isEmpty() ? QChar() : word.at(0).toUpper();
    if (letter == 'R')
        return Mode::UninstallLauncher;
    if (letter == 'X')
        return Mode::Uninstall;
    return Mode::Install;
}

std::string s(const QString& text) { return QFile::encodeName(text).toStdString(); }

QString q(const std::string& text) { return QFile::decodeName(QByteArray::fromStdString(text)); }

int reportAll(const std::vector<std::string>& errors) {
    for (const std::string& error : errors)
        std::fprintf(stderr, "veltrosetup: %s\n", error.c_str());
    return errors.empty() ? 0 : 1;
}

int installUnattended(InstallSetup setup, const QString& dir) {
    std::string folder = setup.freshInstall ? setup.places.defaultInstallDir : setup.manifest.installDir;
    if (!dir.isEmpty()) {
        const std::string wanted = withTrailingSlash(s(QDir::cleanPath(dir)));
        if (!setup.freshInstall && wanted != setup.manifest.installDir)
            return reportAll({kProductName + std::string(" has been already installed in ") +
                              setup.manifest.installDir + "; update it there or remove it first."});
        folder = wanted;
    }
    const FolderCheck check = checkInstallFolder(folder, setup.freshInstall);
    if (check != FolderCheck::Accepted)
        return reportAll({folderCheckMessage(check, folder)});
    setup.manifest.installDir = folder;
    std::vector<std::string> errors;
    copyFiles(setup.installerDir, folder, setup.files, {}, errors);
    writeLaunchers(setup.places, folder, setup.manifest, errors);
    std::string error;
    if (!writeManifest(setup.places.manifestPath, setup.manifest, &error))
        errors.push_back(error);
    return reportAll(errors);
}

void showError(bool unattended, const QString& caption, const std::string& text) {
    if (unattended)
        std::fprintf(stderr, "veltrosetup: %s\n", text.c_str());
    else
        QMessageBox::critical(nullptr, caption, q(text));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(kProductName);

    QCommandLineParser parser;
    parser.setApplicationDescription(QString("Installs and removes %1.").arg(kProductName));
    parser.addHelpOption();
    const QCommandLineOption unattendedOption("unattended", "Work without pages; errors go to stderr.");
    const QCommandLineOption dirOption("dir", "Install into FOLDER.", "FOLDER");
    const QCommandLineOption userOption("user", "Install for this user only, even when run as root.");
    parser.addOption(unattendedOption);
    parser.addOption(userOption);
    parser.addOption(dirOption);
    parser.addPositionalArgument("mode", "/r starts the removal, /x removes (run from a copy).", "[/r|/x]");
    parser.process(application);
    const bool unattended = parser.isSet(unattendedOption);
    const Mode mode = modeOf(parser.positionalArguments());

    // Root installs for every user unless told otherwise.
    const InstallPlaces places = installPlaces(::geteuid() == 0 && !parser.isSet(userOption));
    const std::optional<Manifest> recorded = readManifest(places.manifestPath);
    const QString programPath = QCoreApplication::applicationFilePath();

    if (mode == Mode::Install) {
        InstallSetup setup;
        setup.installerDir = withTrailingSlash(s(QCoreApplication::applicationDirPath()));
        setup.places = places;
        setup.freshInstall = !recorded;
        if (recorded)
            setup.manifest = *recorded;
        std::string error;
        if (!collectFiles(setup.installerDir, false, setup.files, &error)) {
            showError(unattended, installCaption(), error);
            return unattended ? 1 : 0;
        }
        if (unattended)
            return installUnattended(std::move(setup), parser.value(dirOption));
        InstallWizard wizard(std::move(setup));
        return wizard.exec();
    }

    // Removal: the recorded installation, or the folder this program sits in.
    Manifest manifest;
    if (recorded)
        manifest = *recorded;
    else
        manifest.installDir = withTrailingSlash(s(QCoreApplication::applicationDirPath()));

    if (mode == Mode::UninstallLauncher && !unattended) {
        const bool user = parser.isSet(userOption);
        UninstallLauncher launcher(programPath, [user](const QString& program, QStringList arguments) {
            if (user)
                arguments << "--user";
            return QProcess::startDetached(program, arguments, QDir::tempPath());
        });
        return launcher.exec();
    }
    std::vector<std::string> files;
    std::string error;
    if (!collectFiles(manifest.installDir, true, files, &error)) {
        showError(unattended, uninstallCaption(), error);
        return unattended ? 1 : 0;
    }
    if (unattended) {
        std::vector<std::string> errors;
        removeInstallation(places, manifest, {}, errors);
        return reportAll(errors);
    }
    UninstallWizard wizard(places, manifest);
    return wizard.exec();
}
