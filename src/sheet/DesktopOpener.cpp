#include "sheet/DesktopOpener.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

namespace sheet {

bool desktopNamesProgramFor(const QString &path) {
    const QString mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (mime.isEmpty())
        return false;
    auto ask = [&](const QStringList &arguments) {
        QProcess query;
        query.setStandardInputFile(QProcess::nullDevice());
        query.setStandardErrorFile(QProcess::nullDevice());
        query.start(mime, arguments);
        if (!query.waitForFinished(30000)) {
            query.kill();
            query.waitForFinished();
            return QString();
        }
        if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0)
            return QString();
        return QString::fromLocal8Bit(query.readAllStandardOutput()).section(u';', 0, 0).trimmed();
    };
    const QString type = ask({QStringLiteral("query"), QStringLiteral("filetype"), path});
    return !type.isEmpty() &&
           !ask({QStringLiteral("query"), QStringLiteral("default"), type}).isEmpty();
}

bool openWithDesktopProgram(const QString &path) {
    if (!desktopNamesProgramFor(path))
        return false;
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) &&
        QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return true;
    // A platform of Qt's without the desktop's services: its opener itself.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {path});
}

} // namespace sheet
