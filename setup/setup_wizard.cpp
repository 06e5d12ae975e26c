// The installer's wizard pages over QWizard. Pages that work (copying,
// deleting) start 300 ms after they appear, so the page is on the screen
// before the first file moves, and advance by themselves when done.
#include "setup/setup_wizard.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWizardPage>

namespace veltro::setup {

namespace {

// The pause between a working page appearing and its work starting.
constexpr int kWorkDelayMilliseconds = 300;
// The licence is a page of text; a larger file is shown cut.
constexpr qint64 kMaxLicenceBytes = 1024 * 1024;
// The folder field takes paths up to this length.
constexpr int kMaxFolderLength = 258;

QString q(const std::string& text) { return QFile::decodeName(QByteArray::fromStdString(text)); }

std::string s(const QString& text) { return QFile::encodeName(text).toStdString(); }

QLabel* wrappedLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

class WelcomePage : public QWizardPage {
public:
    WelcomePage() {
        setTitle(QString("Welcome"));
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(wrappedLabel(QString("Now installing %1.").arg(kProductName)));
        layout->addStretch();
    }
};

class LicencePage : public QWizardPage {
public:
    explicit LicencePage(const QString& licencePath) {
        setTitle(QString("Licence agreement"));
        auto* layout = new QVBoxLayout(this);
        m_text = new QPlainTextEdit;
        m_text->setReadOnly(true);
        // The licence comes with its own line breaks.
        m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
        QFile file(licencePath);
        if (file.open(QIODevice::ReadOnly))
            m_text->setPlainText(QString::fromUtf8(file.read(kMaxLicenceBytes)));
        layout->addWidget(m_text);
        m_accept = new QRadioButton(QString("&Accept"));
        m_reject = new QRadioButton(QString("&Reject"));
        m_accept->setObjectName("accept");
        m_reject->setObjectName("reject");
        auto* row = new QHBoxLayout;
        row->addWidget(m_accept);
        row->addWidget(m_reject);
        row->addStretch();
        layout->addLayout(row);
        connect(m_accept, &QRadioButton::toggled, this, &QWizardPage::completeChanged);
        connect(m_reject, &QRadioButton::toggled, this, &QWizardPage::completeChanged);
    }

    // Both choices are cleared each time the page appears; Next waits for Accept.
    void initializePage() override {
        for (QRadioButton* button : {m_accept, m_reject}) {
            button->setAutoExclusive(false);
            button->setChecked(false);
            button->setAutoExclusive(true);
        }
        m_text->moveCursor(QTextCursor::Start);
        m_reject->setFocus();
    }
    void cleanupPage() override { initializePage(); }
    bool isComplete() const override { return m_accept->isChecked(); }

private:
    QPlainTextEdit* m_text = nullptr;
    QRadioButton* m_accept = nullptr;
    QRadioButton* m_reject = nullptr;
};

class FolderPage : public QWizardPage {
public:
    explicit FolderPage(InstallWizard* wizard) : m_wizard(wizard) {
        setTitle(QString("Install folder"));
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(wrappedLabel(QString("Please specify a directory to install %1.").arg(kProductName)));
        auto* row = new QHBoxLayout;
        m_field = new QLineEdit(q(wizard->setup().freshInstall ? wizard->setup().places.defaultInstallDir
                                                                : wizard->setup().manifest.installDir));
        m_field->setMaxLength(kMaxFolderLength);
        m_field->setObjectName("folder");
        m_browse = new QPushButton(QString("..."));
        row->addWidget(m_field);
        row->addWidget(m_browse);
        layout->addLayout(row);
        m_note = wrappedLabel(
            QString("%1 has been already installed.\nTo update the program, please push [NEXT] button.")
                .arg(kProductName));
        layout->addWidget(m_note);
        layout->addStretch();
        connect(m_browse, &QPushButton::clicked, this, [this] {
            const QString chosen = QFileDialog::getExistingDirectory(this, QString("Installing directory"),
                                                                     m_field->text());
            if (!chosen.isEmpty())
                m_field->setText(q(withTrailingSlash(s(chosen))));
        });
        // After this page the files are copied: there is no way back.
        setCommitPage(true);
        setButtonText(QWizard::CommitButton, QString("Next >"));
    }

    void initializePage() override {
        const bool locked = !m_wizard->setup().freshInstall;
        m_field->setEnabled(!locked);
        m_browse->setEnabled(!locked);
        m_note->setVisible(locked);
    }

    bool validatePage() override {
        InstallSetup& setup = m_wizard->setup();
        const std::string folder = withTrailingSlash(s(m_field->text().trimmed()));
        const FolderCheck check = checkInstallFolder(folder, setup.freshInstall);
        if (check == FolderCheck::Accepted) {
            setup.manifest.installDir = folder;
            return true;
        }
        m_wizard->showError(q(folderCheckMessage(check, folder)));
        // Warned once about another program's folder: the next Next goes on.
        if (check == FolderCheck::AnotherProgram)
            setup.freshInstall = false;
        return false;
    }

private:
    InstallWizard* m_wizard;
    QLineEdit* m_field = nullptr;
    QPushButton* m_browse = nullptr;
    QLabel* m_note = nullptr;
};

// A page that does its work once, shortly after it appears, with a progress
// bar, and then moves on.
class WorkPage : public QWizardPage {
public:
    WorkPage(const QString& title, const QString& text, std::function<void(const std::function<void(int, int)>&)> work)
        : m_work(std::move(work)) {
        setTitle(title);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(wrappedLabel(text));
        m_bar = new QProgressBar;
        m_bar->setRange(0, 1);
        m_bar->setValue(0);
        layout->addWidget(m_bar);
        layout->addStretch();
        setCommitPage(true);
    }

    void initializePage() override {
        m_done = false;
        QTimer::singleShot(kWorkDelayMilliseconds, this, [this] {
            m_work([this](int done, int total) {
                m_bar->setRange(0, std::max(total, 1));
                m_bar->setValue(done);
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            });
            m_done = true;
            emit completeChanged();
            wizard()->next();
        });
    }
    bool isComplete() const override { return m_done; }

private:
    std::function<void(const std::function<void(int, int)>&)> m_work;
    QProgressBar* m_bar = nullptr;
    bool m_done = false;
};

class DonePage : public QWizardPage {
public:
    explicit DonePage(const QString& text) {
        setTitle(QString("Finished"));
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(wrappedLabel(text));
        layout->addStretch();
        setFinalPage(true);
    }
    void initializePage() override {
        if (QAbstractButton* cancel = wizard()->button(QWizard::CancelButton))
            cancel->setEnabled(false);
    }
};

void setUpSheet(QWizard& wizard, const QString& caption) {
    wizard.setWindowTitle(caption);
    // Wide enough for the licence's 80-column lines.
    wizard.resize(680, 500);
    wizard.setWizardStyle(QWizard::ClassicStyle);
    wizard.setOption(QWizard::NoBackButtonOnStartPage, true);
    wizard.setOption(QWizard::NoBackButtonOnLastPage, true);
    wizard.setOption(QWizard::NoCancelButtonOnLastPage, false);
}

void showErrorBox(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox::critical(parent, caption, text);
}

}  // namespace

QString installCaption() { return QString("Installing %1").arg(kProductName); }

QString uninstallCaption() { return QString("Uninstalling %1").arg(kProductName); }

InstallWizard::InstallWizard(InstallSetup setup, ErrorSink errors, QWidget* parent)
    : QWizard(parent), m_setup(std::move(setup)), m_errors(std::move(errors)) {
    setUpSheet(*this, installCaption());
    setPage(Welcome, new WelcomePage);
    setPage(Licence, new LicencePage(q(withTrailingSlash(m_setup.installerDir) + "license.txt")));
    setPage(Folder, new FolderPage(this));
    setPage(Copying, new WorkPage(QString("Copying"), QString("Copying files..."),
                                  [this](const std::function<void(int, int)>& progress) {
                                      runInstallation(progress);
                                  }));
    setPage(Finish, new DonePage(QString("%1 has been installed successfully.").arg(kProductName)));
    setStartId(Welcome);
}

QString InstallWizard::installDir() const { return q(m_setup.manifest.installDir); }

void InstallWizard::showError(const QString& text) {
    m_shown.push_back(text);
    if (m_errors)
        m_errors(text);
    else
        showErrorBox(this, windowTitle(), text);
}

void InstallWizard::runInstallation(const std::function<void(int, int)>& progress) {
    std::vector<std::string> errors;
    copyFiles(m_setup.installerDir, m_setup.manifest.installDir, m_setup.files, progress, errors);
    writeLaunchers(m_setup.places, m_setup.manifest.installDir, m_setup.manifest, errors);
    std::string error;
    if (!writeManifest(m_setup.places.manifestPath, m_setup.manifest, &error))
        errors.push_back(error);
    for (const std::string& text : errors)
        showError(q(text));
}

void InstallWizard::done(int result) {
    const bool finished = result == QDialog::Accepted && currentId() == Finish;
    if (finished && m_setup.startProgram)
        QProcess::startDetached(installDir() + kProgramFileName, {}, installDir());
    QWizard::done(finished ? 1 : 0);
}

UninstallLauncher::UninstallLauncher(QString programPath, Starter starter, ErrorSink errors, QWidget* parent)
    : QWizard(parent), m_program(std::move(programPath)), m_starter(std::move(starter)), m_errors(std::move(errors)) {
    setUpSheet(*this, uninstallCaption());
    auto* page = new QWizardPage;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(wrappedLabel(QString("%1 is now being uninstalled.").arg(kProductName)));
    layout->addStretch();
    page->setFinalPage(true);
    setPage(0, page);
    setButtonText(QWizard::FinishButton, QString("Next >"));
}

void UninstallLauncher::done(int result) {
    if (result != QDialog::Accepted) {
        QWizard::done(0);
        return;
    }
    // The installed copy of this program is among the files to delete, so
    // the removal runs from a copy in the temporary folder.
    const QString copy = QDir::tempPath() + "/" + QFileInfo(m_program).fileName();
    QFile::remove(copy);
    const bool copied = QFile::copy(m_program, copy);
    if (copied)
        QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (!copied || !m_starter(copy, {QString("/x")})) {
        const QString text("Faild to execute the uninstall program.");
        if (m_errors)
            m_errors(text);
        else
            showErrorBox(this, windowTitle(), text);
        QWizard::done(0);
        return;
    }
    QWizard::done(1);
}

UninstallWizard::UninstallWizard(InstallPlaces places, Manifest manifest, ErrorSink errors, QWidget* parent)
    : QWizard(parent), m_places(std::move(places)), m_manifest(std::move(manifest)), m_errors(std::move(errors)) {
    setUpSheet(*this, uninstallCaption());
    setPage(Deleting, new WorkPage(QString("Deleting"), QString("Deleting..."),
                                   [this](const std::function<void(int, int)>& progress) { runRemoval(progress); }));
    setPage(Finish, new DonePage(QString("%1 has been uninstalled successfully.").arg(kProductName)));
    setStartId(Deleting);
}

void UninstallWizard::runRemoval(const std::function<void(int, int)>& progress) {
    std::vector<std::string> errors;
    removeInstallation(m_places, m_manifest, progress, errors);
    for (const std::string& error : errors) {
        const QString text = q(error);
        m_shown.push_back(text);
        if (m_errors)
            m_errors(text);
        else
            showErrorBox(this, windowTitle(), text);
    }
}

}  // namespace veltro::setup
