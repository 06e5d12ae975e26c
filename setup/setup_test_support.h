// A throwaway home for installer tests: HOME and the XDG folders point into a
// temporary folder, and a distribution folder to install from is laid out in it.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <string>

#include "setup/installation.h"

namespace veltro::setup::testing {

class TestHome {
public:
    TestHome() {
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
            const char* value = std::getenv(name);
            m_saved.push_back({name, value ? std::string(value) : std::string(), value != nullptr});
        }
        ::setenv("HOME", path("home").c_str(), 1);
        ::setenv("XDG_DATA_HOME", path("home/.local/share").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", path("home/.config").c_str(), 1);
        QDir().mkpath(QString::fromStdString(path("home")));
    }
    ~TestHome() {
        for (const Saved& saved : m_saved) {
            if (saved.present)
                ::setenv(saved.name, saved.value.c_str(), 1);
            else
                ::unsetenv(saved.name);
        }
    }

    std::string path(const std::string& relative) const { return m_dir.path().toStdString() + "/" + relative; }

    // Writes a file (and its folders) below the temporary folder.
    void write(const std::string& relative, const QByteArray& bytes) const {
        const QString file = QString::fromStdString(path(relative));
        QDir().mkpath(QFileInfo(file).path());
        QFile out(file);
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
    }

    static QByteArray read(const std::string& file) {
        QFile in(QString::fromStdString(file));
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("<missing>");
    }

    // A distribution folder "dist/" as the build lays it out.
    std::string makeDistribution() const {
        write("dist/veltrolt", "#!/bin/sh\nexit 0\n");
        QFile::setPermissions(QString::fromStdString(path("dist/veltrolt")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        write("dist/tool.ex_", "program");
        write("dist/license.txt", "The licence text.\n");
        write("dist/res/res.txt", "strings");
        write("dist/res/appicon.png", "picture");
        write("dist/template/bg1.jpg", "template");
        write("dist/doc/index.html", "<html></html>");
        write("dist/tmp/.keep", "");
        write("dist/pages/new0/index.html", "shipped page");
        write("dist/build-notes/ignored.txt", "not installed");
        write("dist/.hidden-res/ignored.txt", "not installed");
        return path("dist/");
    }

private:
    struct Saved {
        const char* name;
        std::string value;
        bool present;
    };
    QTemporaryDir m_dir;
    std::vector<Saved> m_saved;
};

}  // namespace veltro::setup::testing
