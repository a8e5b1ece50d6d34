#include "demo/DemoPeriods.h"

#include "demo/DemoData.h"
#include "demo/DemoInstall.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace demo {
namespace {

QString withSlash(QString dir) {
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

// The organisations with reports in a period beyond the fixed ones: those of
// 2016 / 2017 in the current period, those of 2015 / 2016 in the one before.
QVector<int> organisationsOf(int year, int currentYear) {
    const QVector<int> fixed = DemoYears();
    return OrganisationsWithData(year == currentYear ? fixed.last() : fixed.first());
}

} // namespace

QVector<int> CurrentPeriodYears(const QDate &Today) {
    const int current = Today.year() + 1;
    return {current - 1, current};
}

void ClearDemoInstallation(const QString &ProgramDir) {
    const QString dir = withSlash(ProgramDir);
    for (const char *folder : {"WED", "DBF"}) {
        QDir d(dir + QString::fromLatin1(folder));
        if (d.exists() && !d.removeRecursively())
            throw std::runtime_error(("cannot remove the folder " + d.path()).toStdString());
    }
    for (const QString &table : QDir(dir).entryList(
             {QStringLiteral("*.DBF"), QStringLiteral("*.dbf")}, QDir::Files | QDir::Hidden)) {
        if (!QFile::remove(dir + table))
            throw std::runtime_error(("cannot remove the table " + dir + table).toStdString());
    }
}

QStringList LayOutDemo(const QString &ProgramDir, const QDate &Today, bool Keep) {
    if (!Keep)
        ClearDemoInstallation(ProgramDir);
    QStringList written = WriteDemoInstallation(ProgramDir);
    const QString dir = withSlash(ProgramDir);
    const QString wed = dir + QStringLiteral("WED/");
    const QVector<int> years = CurrentPeriodYears(Today);
    QStringList added;
    for (int year : years) {
        if (DemoYears().contains(year))
            continue;
        added += WriteCatalogue(wed, year);
        added += WriteFormulaTables(wed, year);
        added += WriteSvod(wed, year);
        added += WriteOrganisationData(dir, year, organisationsOf(year, years.last()));
    }
    StampTableDates(added, TableDate());
    return written + added;
}

} // namespace demo
