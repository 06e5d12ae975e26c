// The installer's pages driven as a person would, on the offscreen platform:
// install into a throwaway home, install again over it, and remove it.
#include "setup/setup_wizard.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "setup/setup_test_support.h"

namespace veltro::setup {
namespace {

using testing::TestHome;

// Waits (pumping events) until the wizard shows the page.
bool waitForPage(QWizard& wizard, int id) {
    for (int i = 0; i < 500 && wizard.currentId() != id; ++i)
        QTest::qWait(10);
    return wizard.currentId() == id;
}

bool nextEnabled(QWizard& wizard) {
    QAbstractButton* next = wizard.button(wizard.currentPage()->isCommitPage() ? QWizard::CommitButton
                                                                                : QWizard::NextButton);
    return next && next->isEnabled() && next->isVisible();
}

InstallSetup setupFrom(const TestHome& home, const std::string& dist) {
    InstallSetup setup;
    setup.installerDir = dist;
    EXPECT_TRUE(collectFiles(dist, false, setup.files, nullptr));
    setup.places = installPlaces(false);
    if (std::optional<Manifest> recorded = readManifest(setup.places.manifestPath)) {
        setup.freshInstall = false;
        setup.manifest = *recorded;
    }
    setup.startProgram = false;
    (void)home;
    return setup;
}

class SetupWizardTest : public ::testing::Test {
protected:
    // Walks welcome, licence (accepting) and folder; returns the wizard on
    // the finish page.
    void install(InstallWizard& wizard, const std::string& folder) {
        wizard.show();
        ASSERT_EQ(wizard.currentId(), InstallWizard::Welcome);
        wizard.next();
        ASSERT_EQ(wizard.currentId(), InstallWizard::Licence);
        EXPECT_FALSE(nextEnabled(wizard)) << "Next waits for Accept";
        auto* accept = wizard.currentPage()->findChild<QRadioButton*>("accept");
        auto* reject = wizard.currentPage()->findChild<QRadioButton*>("reject");
        ASSERT_TRUE(accept && reject);
        accept->click();
        EXPECT_TRUE(nextEnabled(wizard));
        reject->click();
        EXPECT_FALSE(nextEnabled(wizard));
        accept->click();
        wizard.next();
        ASSERT_EQ(wizard.currentId(), InstallWizard::Folder);
        auto* field = wizard.currentPage()->findChild<QLineEdit*>("folder");
        ASSERT_TRUE(field);
        if (field->isEnabled())
            field->setText(QString::fromStdString(folder));
        wizard.next();
        ASSERT_TRUE(waitForPage(wizard, InstallWizard::Finish));
        EXPECT_FALSE(wizard.button(QWizard::CancelButton)->isEnabled());
    }
    std::vector<QString> errors;
    ErrorSink sink = [this](const QString& text) { errors.push_back(text); };
};

TEST_F(SetupWizardTest, InstallsUpdatesAndRemovesWithThePagesKept) {
    TestHome home;
    const std::string dist = home.makeDistribution();
    const std::string folder = home.path("apps/VELTRO-Lite/");
    {
        InstallWizard wizard(setupFrom(home, dist), sink);
        install(wizard, folder);
        ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
        wizard.button(QWizard::FinishButton)->click();
        EXPECT_EQ(wizard.result(), 1);
    }
    EXPECT_EQ(TestHome::read(folder + "res/res.txt"), "strings");
    EXPECT_EQ(TestHome::read(folder + "veltrolt.rc"), "\n");
    const std::optional<Manifest> manifest = readManifest(installPlaces(false).manifestPath);
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->installDir, folder);
    ASSERT_EQ(manifest->launchers.size(), 2u);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(manifest->launchers[0])));

    // Again over it: the folder is locked to the installation, the settings kept.
    home.write("apps/VELTRO-Lite/veltrolt.rc", "album_dir=/mine\n");
    home.write("apps/VELTRO-Lite/pages/new3/index.html", "the user's page");
    {
        InstallWizard wizard(setupFrom(home, dist), sink);
        wizard.show();
        wizard.next();
        wizard.currentPage()->findChild<QRadioButton*>("accept")->click();
        wizard.next();
        auto* field = wizard.currentPage()->findChild<QLineEdit*>("folder");
        EXPECT_FALSE(field->isEnabled());
        EXPECT_EQ(field->text().toStdString(), folder);
        wizard.next();
        ASSERT_TRUE(waitForPage(wizard, InstallWizard::Finish));
        wizard.button(QWizard::FinishButton)->click();
    }
    EXPECT_EQ(TestHome::read(folder + "veltrolt.rc"), "album_dir=/mine\n");

    // Removal keeps the album and the folder holding it.
    {
        UninstallWizard wizard(installPlaces(false), *readManifest(installPlaces(false).manifestPath), sink);
        wizard.show();
        ASSERT_TRUE(waitForPage(wizard, UninstallWizard::Finish));
        wizard.button(QWizard::FinishButton)->click();
        EXPECT_EQ(wizard.result(), 1);
    }
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(TestHome::read(folder + "pages/new3/index.html"), "the user's page");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(folder + "res")));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(folder + "veltrolt")));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(manifest->launchers[0])));
    EXPECT_FALSE(readManifest(installPlaces(false).manifestPath));
}

TEST_F(SetupWizardTest, FolderPageRefusesRootAndWarnsOnceAboutAnotherProgram) {
    TestHome home;
    const std::string dist = home.makeDistribution();
    home.write("busy/other-program.bin", "x");
    InstallWizard wizard(setupFrom(home, dist), sink);
    wizard.show();
    wizard.next();
    wizard.currentPage()->findChild<QRadioButton*>("accept")->click();
    wizard.next();
    auto* field = wizard.currentPage()->findChild<QLineEdit*>("folder");
    field->setText("/");
    wizard.next();
    EXPECT_EQ(wizard.currentId(), InstallWizard::Folder);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors.back(), "You can't install in the root directory.");

    field->setText(QString::fromStdString(home.path("busy")));
    wizard.next();
    EXPECT_EQ(wizard.currentId(), InstallWizard::Folder);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_TRUE(errors.back().startsWith("Another program has been installed in "));
    wizard.next();
    EXPECT_TRUE(waitForPage(wizard, InstallWizard::Finish)) << "the second Next goes on";
    EXPECT_EQ(TestHome::read(home.path("busy/other-program.bin")), "x");
}

TEST_F(SetupWizardTest, CancelEndsWithZeroAndTheLauncherRestartsACopyWithX) {
    TestHome home;
    const std::string dist = home.makeDistribution();
    {
        InstallWizard wizard(setupFrom(home, dist), sink);
        wizard.show();
        wizard.next();
        wizard.button(QWizard::CancelButton)->click();
        EXPECT_EQ(wizard.result(), 0);
    }
    QString started;
    QStringList arguments;
    UninstallLauncher launcher(QString::fromStdString(dist + "veltrolt"),
                               [&](const QString& program, const QStringList& args) {
                                   started = program;
                                   arguments = args;
                                   return true;
                               },
                               sink);
    launcher.show();
    launcher.button(QWizard::FinishButton)->click();
    EXPECT_EQ(launcher.result(), 1);
    EXPECT_EQ(started, QDir::tempPath() + "/veltrolt");
    EXPECT_EQ(arguments, QStringList{"/x"});
    EXPECT_TRUE(QFileInfo(started).isExecutable());
    QFile::remove(started);
}

}  // namespace
}  // namespace veltro::setup

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
