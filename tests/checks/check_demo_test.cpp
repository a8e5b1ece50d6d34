// The report checks over the demo installation: the organisations whose
// reports hold the demo's planted mistakes, a clean organisation, and the
// consolidation of set 1 built from all of them.

#include "checks/CheckUnit.h"
#include "checks/MesssageMCheckUnit.h"
#include "consolidation/SvodEngine.h"
#include "demo/DemoData.h"
#include "demo/DemoInstall.h"
#include "demo/DemoReports.h"
#include "shell/Paths.h"
#include "support/DataModuleConnections.h"
#include "support/MessageRecorder.h"
#include "support/TableBuilder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

using testsupport::OpenTable;

struct CheckOutcome {
    QStringList messages; // message boxes, the end message last
    QStringList dialogs;  // mismatches between reports
};

class CheckDemoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::make_unique<QTemporaryDir>();
        root = dir->path() + QStringLiteral("/inst/");
        demo::WriteDemoInstallation(root);
    }
    static void TearDownTestSuite() { dir.reset(); }

    void SetUp() override {
        testsupport::closeDataModuleConnections();
        paths::setProgramDirForTests(root);
    }
    void TearDown() override {
        testsupport::closeDataModuleConnections();
        paths::setProgramDirForTests(QString());
    }

    static QString wed() { return root + QStringLiteral("WED"); }

    // Mode 2 over an organisation's folder (set -1) or a set's folder.
    static CheckOutcome checkAll(int org, int set) {
        CheckOutcome run;
        MessageRecorder rec;
        rec.onDialog = [&run](QDialog &d) {
            run.dialogs.append(dynamic_cast<TMessageMCheckForm &>(d).Message());
            return int(QDialog::Accepted);
        };
        {
            OpenTable catalogue(wed(), QStringLiteral("OTHE2016"));
            CheckReports(catalogue.ds, 2, 0, org, 16, set);
        }
        run.messages = rec.texts();
        return run;
    }

    static const demo::FormRule &formRule(const QString &base, int kolonk) {
        static const QVector<demo::FormRule> rules = demo::FormRules();
        for (const demo::FormRule &r : rules)
            if (r.kodOth == demo::ReportCode(base) && r.kolonk == kolonk && !r.iden.isEmpty())
                return r;
        throw std::logic_error("no such rule");
    }

    // The expected message of a check row of the demo's FORM over a folder:
    // the cell A<target> against the sum of the rows the formula adds.
    static QString formMismatch(const QString &folder, const QString &base, int kolonk, int target,
                                QList<int> added, int column) {
        const demo::FormRule &r = formRule(base, kolonk);
        const QString table = base + QStringLiteral("2016");
        const QString field = QStringLiteral("N") + QString::number(column);
        double sum = 0;
        for (int a : added)
            sum += testsupport::readCell(folder, table, a, field).toDouble();
        return QStringLiteral("Не соответствие в отчете: \r\"") + demo::FindReport(base)->name +
               QStringLiteral("\"\r\rОшибка: строка  ") + r.kodstr + QStringLiteral(", колонка  ") +
               QString::number(demo::FirstDataColumn + column - 1) + QStringLiteral("\rВведено: ") +
               QString::number(
                   qRound64(testsupport::readCell(folder, table, target, field).toDouble())) +
               QStringLiteral("\rДолжно быть: ") + QString::number(qRound64(sum)) +
               QStringLiteral("\r\r") + r.primeh;
    }

    // The expected message of the relation F47 row 5 N2 = F1 row 1 N2.
    static QString provF47Mismatch(const QString &folder) {
        const demo::ReportSpec *f47 = demo::FindReport(QStringLiteral("F47"));
        QString caption = f47->columns.at(1).caption;
        caption = caption.mid(caption.indexOf(QLatin1Char(';')) + 1).trimmed();
        QString primeh;
        for (const demo::ProvRule &p : demo::ProvRules())
            if (p.nform1 == demo::ReportCode(QStringLiteral("F47")))
                primeh = p.primeh;
        return QStringLiteral("Не соответствие в отчете: \r\"") + f47->name +
               QStringLiteral("\"\r\rОшибка: строка 5 колонка ") + caption +
               QStringLiteral("\rВведено: ") +
               QString::number(qRound64(
                   testsupport::readCell(folder, QStringLiteral("F472016"), 5, "N2").toDouble())) +
               QStringLiteral("\rДолжно быть: ") +
               QString::number(qRound64(
                   testsupport::readCell(folder, QStringLiteral("F12016"), 1, "N2").toDouble())) +
               QStringLiteral("\r\r") + primeh;
    }

    static QString end(int errors) {
        return QStringLiteral("Проверка завершена.\r\rОбнаружено ошибок: ") +
               QString::number(errors);
    }

    static std::unique_ptr<QTemporaryDir> dir;
    static QString root;
};

std::unique_ptr<QTemporaryDir> CheckDemoTest::dir;
QString CheckDemoTest::root;

TEST_F(CheckDemoTest, OrganisationSevenBreaksARuleOfItsSectionTable) {
    const QString folder = CheckDataFolder(7, 16, -1);
    const CheckOutcome run = checkAll(7, -1);
    EXPECT_EQ(run.messages,
              (QStringList{formMismatch(folder, "F3A", demo::FirstDataColumn + 12, 1, {2, 3}, 13),
                           end(1)}));
    EXPECT_TRUE(run.dialogs.isEmpty());
}

TEST_F(CheckDemoTest, OrganisationTwelveBreaksARelationAndTheRuleOfItsTotalRow) {
    const QString folder = CheckDataFolder(12, 16, -1);
    const CheckOutcome run = checkAll(12, -1);
    // The total row of F47 is checked in every column: its first-grade
    // figure and the row total N1 are both 2 too high.
    EXPECT_EQ(run.messages,
              (QStringList{formMismatch(folder, "F47", 0, 5, {1, 2, 3, 4}, 1),
                           formMismatch(folder, "F47", 0, 5, {1, 2, 3, 4}, 2), end(3)}));
    EXPECT_EQ(run.dialogs, QStringList{provF47Mismatch(folder)});
}

TEST_F(CheckDemoTest, ACleanOrganisationHasNoErrors) {
    for (int org : {1, 17}) {
        const CheckOutcome run = checkAll(org, -1);
        EXPECT_EQ(run.messages, QStringList{end(0)}) << org;
        EXPECT_TRUE(run.dialogs.isEmpty()) << org;
    }
}

// Removes from `from` one of each text of `taken` that it holds.
QStringList without(QStringList from, const QStringList &taken) {
    for (const QString &t : taken)
        from.removeOne(t);
    return from;
}

TEST_F(CheckDemoTest, SetOneConsolidationShowsWhatTheTwoMistakesCause) {
    // An installation of its own, since its mistakes are put right below.
    QTemporaryDir own;
    const QString program = own.path() + QStringLiteral("/inst/");
    demo::WriteDemoInstallation(program);
    paths::setProgramDirForTests(program);
    const QString svodFolder = CheckDataFolder(0, 16, 1);
    EXPECT_EQ(svodFolder, program + QStringLiteral("DBF/S20161"));
    auto consolidate = [&] {
        svod::SaveAllParams p;
        p.ProgramDir = program;
        p.Year = 2016;
        p.ProgramKind = 1;
        const svod::SaveAllResult saved = svod::SaveAllSvods(p);
        EXPECT_TRUE(saved.Ok) << saved.Error.toStdString();
    };

    consolidate();
    CheckOutcome faulty = checkAll(0, 1);
    const QStringList caused = {
        formMismatch(svodFolder, "F3A", demo::FirstDataColumn + 12, 1, {2, 3}, 13),
        formMismatch(svodFolder, "F47", 0, 5, {1, 2, 3, 4}, 1),
        formMismatch(svodFolder, "F47", 0, 5, {1, 2, 3, 4}, 2)};
    const QString relationWithMistake = provF47Mismatch(svodFolder);

    // The same consolidation with both mistakes put right.
    {
        OpenTable f3a(CheckDataFolder(7, 16, -1), QStringLiteral("F3A2016"));
        for (const char *field : {"N2", "N13"})
            f3a.set(1, field, f3a.num(2, field) + f3a.num(3, field));
        OpenTable f47(CheckDataFolder(12, 16, -1), QStringLiteral("F472016"));
        for (const char *field : {"N1", "N2"})
            f47.set(5, field,
                    f47.num(1, field) + f47.num(2, field) + f47.num(3, field) + f47.num(4, field));
    }
    testsupport::closeDataModuleConnections();
    consolidate();
    CheckOutcome clean = checkAll(0, 1);
    const QString relationWithout = provF47Mismatch(svodFolder);

    // Both runs end with their count: the mistakes add three messages
    // within F3A and F47; the relation of F47 to F1 fails in both (the
    // organisations with F1 but no F47 add pupils to F1 only), the mistake
    // moving its entered value by 2.
    ASSERT_FALSE(faulty.messages.isEmpty());
    ASSERT_FALSE(clean.messages.isEmpty());
    const int cleanErrors = int(clean.messages.size() - 1 + clean.dialogs.size());
    EXPECT_EQ(clean.messages.takeLast(), end(cleanErrors));
    EXPECT_EQ(faulty.messages.takeLast(), end(cleanErrors + 3));
    EXPECT_EQ(without(faulty.messages, clean.messages), caused);
    EXPECT_EQ(without(clean.messages, faulty.messages), QStringList{});
    EXPECT_NE(relationWithMistake, relationWithout);
    EXPECT_EQ(without(faulty.dialogs, clean.dialogs), QStringList{relationWithMistake});
    EXPECT_EQ(without(clean.dialogs, faulty.dialogs), QStringList{relationWithout});
}

} // namespace
