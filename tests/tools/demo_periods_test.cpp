// The demo laid out on a given date holds the current school year's period
// and the one before, with reports, and a layout afresh leaves nothing of an
// earlier one.

#include "demo/DemoInstall.h"
#include "demo/DemoPeriods.h"
#include "entry/EditReportUnit.h"
#include "shell/AppState.h"
#include "shell/Paths.h"
#include "support/DataModuleConnections.h"
#include "support/MessageRecorder.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QDate kToday(2026, 12, 7); // school year 2026 / 2027

class DemoPeriodsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString root() const { return dir.path() + QStringLiteral("/kvr/"); }
    bool exists(const QString &path) const { return QFile::exists(root() + path); }
};

TEST_F(DemoPeriodsTest, TheCurrentSchoolYearAndTheOneBeforeAreLaidOutWithReports) {
    EXPECT_EQ(demo::CurrentPeriodYears(kToday), QVector<int>({2026, 2027}));
    EXPECT_EQ(demo::CurrentPeriodYears(QDate(2027, 3, 1)), QVector<int>({2027, 2028}));
    demo::LayOutDemo(root(), kToday);
    for (int year : {2016, 2017, 2026, 2027})
        for (const char *table : {"FORM", "OTHE", "PROV", "SVOD"})
            EXPECT_TRUE(exists(QStringLiteral("WED/%1%2.DBF").arg(QLatin1String(table)).arg(year)))
                << table << year;
    EXPECT_FALSE(exists("WED/FORM2025.DBF"));
    // Organisation 1 has reports in both new periods.
    for (int year : {2026, 2027})
        EXPECT_FALSE(QDir(root() + "DBF/D1")
                         .entryList({QStringLiteral("*%1.DBF").arg(year)}, QDir::Files)
                         .isEmpty())
            << year;
}

TEST_F(DemoPeriodsTest, ANewcomerOnTheDateOfTheLayoutFindsTheOrganisationsWithData) {
    demo::LayOutDemo(root(), kToday);
    paths::setProgramDirForTests(root());
    testsupport::closeDataModuleConnections();
    appState() = AppState();
    appState().WorkYear = kToday.year() + 1;
    {
        MessageRecorder rec;
        QPointer<TEditReportForm> form = new TEditReportForm;
        form->show();
        EXPECT_EQ(form->Level(), 2);
        EXPECT_EQ(form->CB_Year->currentText(), QStringLiteral("2026 / 2027"));
        EXPECT_FALSE(form->OrgsWithData().isEmpty());
        EXPECT_TRUE(rec.messages.isEmpty());
        form->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    testsupport::closeDataModuleConnections();
    paths::setProgramDirForTests(QString());
}

TEST_F(DemoPeriodsTest, LayingOutAfreshLeavesNothingOfAnEarlierLayout) {
    demo::LayOutDemo(root(), kToday);
    // An operator's report, a period opened, and the program itself.
    QFile::copy(root() + "WED/FORM2027.DBF", root() + "WED/FORM2030.DBF");
    QDir().mkpath(root() + "DBF/D5");
    QFile::copy(root() + "WED/OTHE2027.DBF", root() + "DBF/D5/F12027.DBF");
    QFile program(root() + "kvr");
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.close();

    demo::LayOutDemo(root(), kToday, /*Keep=*/true);
    EXPECT_TRUE(exists("WED/FORM2030.DBF"));
    EXPECT_TRUE(exists("DBF/D5/F12027.DBF"));

    demo::LayOutDemo(root(), kToday);
    EXPECT_FALSE(exists("WED/FORM2030.DBF"));
    EXPECT_FALSE(exists("DBF/D5/F12027.DBF"));
    EXPECT_TRUE(exists("WED/FORM2027.DBF"));
    EXPECT_TRUE(exists("kvr"));
}

} // namespace
