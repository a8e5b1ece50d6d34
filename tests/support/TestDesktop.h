#pragma once
// A desktop of the test's own for the desktop's opener (xdg-open, xdg-mime):
// the system's types of files and, when asked for, one program for some
// types, which notes the file it is given. The environment points at it
// while it lives; the desktop names no other program.
//
//   testsupport::TestDesktop desktop({"application/vnd.ms-excel"});
//   ... the program hands a file to the desktop ...
//   EXPECT_EQ(desktop.handedFile(), path);

#include "support/ScopedEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace testsupport {

class TestDesktop {
public:
    // Without types the desktop names no program at all.
    explicit TestDesktop(const QStringList &programTypes = {}) {
        EXPECT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("data/applications")));
        EXPECT_TRUE(QFile::link(QStringLiteral("/usr/share/mime"), m_dir.filePath("data/mime")));
        if (!programTypes.isEmpty()) {
            const QString program = m_dir.filePath(QStringLiteral("viewer.sh"));
            QFile script(program);
            EXPECT_TRUE(script.open(QIODevice::WriteOnly));
            script.write(QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" > \"%1.part\" && mv "
                                        "\"%1.part\" \"%1\"\n")
                             .arg(seen())
                             .toUtf8());
            script.close();
            script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
            QFile entry(
                m_dir.filePath(QStringLiteral("data/applications/kvr-test-viewer.desktop")));
            EXPECT_TRUE(entry.open(QIODevice::WriteOnly));
            entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Просмотр\nExec=%1 "
                                       "%f\nMimeType=%2;\n")
                            .arg(program, programTypes.join(u';'))
                            .toUtf8());
            // The opener asks for a display before it starts a program.
            m_display.emplace("DISPLAY", ":99");
        }
        const QByteArray data = QFile::encodeName(m_dir.filePath(QStringLiteral("data")));
        const QByteArray config = QFile::encodeName(m_dir.filePath(QStringLiteral("config")));
        for (const auto &[name, value] :
             {std::pair{"XDG_DATA_HOME", data}, std::pair{"XDG_DATA_DIRS", data},
              std::pair{"XDG_CONFIG_HOME", config}, std::pair{"XDG_CONFIG_DIRS", config},
              std::pair{"XDG_CURRENT_DESKTOP", QByteArray()}})
            m_environment.push_back(std::make_unique<ScopedEnvironment>(name, value));
    }

    // A folder of the desktop's own for the test's files.
    QString path() const { return m_dir.path(); }

    // The file the program was given, as its canonical path, once it has
    // been started; empty, with a test failure, when it never is.
    QString handedFile() const {
        if (!QTest::qWaitFor([&] { return QFileInfo::exists(seen()); }, 60000)) {
            ADD_FAILURE() << "the desktop's program was not started";
            return QString();
        }
        QFile handed(seen());
        EXPECT_TRUE(handed.open(QIODevice::ReadOnly));
        return QFileInfo(QString::fromUtf8(handed.readAll())).canonicalFilePath();
    }
    // Whether the program has been started (without waiting for it).
    bool programStarted() const { return QFileInfo::exists(seen()); }

private:
    QString seen() const { return m_dir.filePath(QStringLiteral("seen")); }

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<ScopedEnvironment>> m_environment;
    std::optional<ScopedEnvironment> m_display;
};

} // namespace testsupport
