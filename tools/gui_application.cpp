#include "tools/gui_application.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QDir>
#include <QGuiApplication>

namespace veltro::tool {

bool ensureGuiApplication() {
    if (QCoreApplication::instance())
        return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Scripts often run the tool without a login session; Qt then warns about
    // the missing runtime directory on every start. Give it a private one.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray dir = QDir::tempPath().toLocal8Bit() + "/veltro-runtime-" + QByteArray::number(::getuid());
        if (::mkdir(dir.constData(), 0700) == 0 || errno == EEXIST) {
            struct stat info {};
            if (::lstat(dir.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
                (info.st_mode & 077) == 0)
                qputenv("XDG_RUNTIME_DIR", dir);
        }
    }
    static int argc = 1;
    static char name[] = "veltrotool";
    static char* argv[] = {name, nullptr};
    // Never destroyed: fonts and canvases may be used until the process ends.
    static QGuiApplication* application = new QGuiApplication(argc, argv);
    return application != nullptr;
}

}  // namespace veltro::tool
