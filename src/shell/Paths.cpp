#include "shell/Paths.h"

#include "store/SaveFile.h"

#include <QCoreApplication>

namespace paths {
namespace {
QString &testProgramDir() {
    static QString dir;
    return dir;
}

QString withSlash(QString dir) {
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}
} // namespace

QString GetProgramDir() {
    if (!testProgramDir().isEmpty())
        return withSlash(testProgramDir());
    return withSlash(QCoreApplication::applicationDirPath());
}

QString GetWedDir() {
    return GetProgramDir() + QStringLiteral("WED/");
}

QString GetDbfDir() {
    return GetProgramDir() + QStringLiteral("DBF/");
}

QString GetOrgDataDir(const QString &OrgCode) {
    return GetDbfDir() + QStringLiteral("D") + OrgCode + QLatin1Char('/');
}

QString GetBlankDir() {
    return GetWedDir() + QStringLiteral("BLANK/");
}

QString GetSvodDir(int year, int setNumber) {
    return GetDbfDir() + QStringLiteral("S") + QString::number(year) + QString::number(setNumber) +
           QLatin1Char('/');
}

QString GetArchiveDir() {
    return GetProgramDir() + QStringLiteral("ARX");
}

void setProgramDirForTests(const QString &folder) {
    testProgramDir() = folder;
    // The installation the program works in is where leftovers of killed
    // writes are cleared, as it is for the program started from its folder.
    store::setLeftoverSweepRoot(folder);
}

} // namespace paths
