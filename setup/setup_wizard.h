// The installer's windows: the install wizard (welcome, licence, folder,
// copying, finish), the uninstall launcher's one page, and the uninstall
// wizard (deleting, finish). Each runs the window-free work of
// installation.h and shows its failures in message boxes.
#pragma once

#include <QString>
#include <QWizard>

#include <functional>
#include <string>
#include <vector>

#include "setup/installation.h"

namespace veltro::setup {

// Shows one failure to the person installing; the default is an error box
// with the wizard's caption. Tests replace it.
using ErrorSink = std::function<void(const QString& text)>;

// What an install needs to know before its first page.
struct InstallSetup {
    std::string installerDir;          // where the files to install are, with "/"
    std::vector<std::string> files;    // collected from installerDir
    InstallPlaces places;
    bool freshInstall = true;          // no earlier installation recorded
    Manifest manifest;                 // the earlier one when not fresh
    bool startProgram = true;          // the finish button starts the program
};

// The five-page install wizard. exec() returns 1 after Finish, 0 after Cancel.
class InstallWizard : public QWizard {
public:
    enum PageId { Welcome, Licence, Folder, Copying, Finish };

    InstallWizard(InstallSetup setup, ErrorSink errors = {}, QWidget* parent = nullptr);

    // The folder the files go to (with a trailing "/").
    QString installDir() const;
    // The messages shown so far (every error box), for tests and logs.
    const QStringList& shownErrors() const { return m_shown; }

    // Used by the pages.
    InstallSetup& setup() { return m_setup; }
    void showError(const QString& text);
    // Runs the copy, launchers and manifest with progress; called by the
    // copying page 300 ms after it appears.
    void runInstallation(const std::function<void(int, int)>& progress);

    void done(int result) override;

private:
    InstallSetup m_setup;
    ErrorSink m_errors;
    QStringList m_shown;
};

// The uninstall launcher's page; on Next the program copies itself to the
// temporary folder and starts the copy with "/x". exec() returns 1 when the
// copy started.
class UninstallLauncher : public QWizard {
public:
    // programPath is this program's file; starter starts a program with its
    // arguments (QProcess::startDetached in real use).
    using Starter = std::function<bool(const QString& program, const QStringList& arguments)>;
    UninstallLauncher(QString programPath, Starter starter, ErrorSink errors = {}, QWidget* parent = nullptr);
    void done(int result) override;

private:
    QString m_program;
    Starter m_starter;
    ErrorSink m_errors;
};

// The two-page uninstall wizard (deleting, finish). exec() returns 1 after Finish.
class UninstallWizard : public QWizard {
public:
    enum PageId { Deleting, Finish };
    UninstallWizard(InstallPlaces places, Manifest manifest, ErrorSink errors = {}, QWidget* parent = nullptr);

    const QStringList& shownErrors() const { return m_shown; }
    void runRemoval(const std::function<void(int, int)>& progress);

private:
    InstallPlaces m_places;
    Manifest m_manifest;
    ErrorSink m_errors;
    QStringList m_shown;
};

// "Installing VELTRO Lite" / "Uninstalling VELTRO Lite".
QString installCaption();
QString uninstallCaption();

}  // namespace veltro::setup
