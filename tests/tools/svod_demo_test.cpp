// Consolidations over the demo installation: saving all consolidations of
// 2015 / 2016, compared cell by cell with sums computed here from the
// organisations' own files, and every report built over every set.

#include "consolidation/SvodEngine.h"
#include "demo/DemoInstall.h"
#include "demo/DemoReports.h"
#include "demo/DemoSvod.h"
#include "store/Dataset.h"
#include "support/TableBuilder.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

using Table = testsupport::OpenTable;
constexpr int kYear = 2016;

struct School {
    int kod;
    QString name;
    int kod3, kod4;
};

class SvodDemoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::make_unique<QTemporaryDir>();
        root = dir->path() + QStringLiteral("/inst/");
        demo::WriteDemoInstallation(root);
    }
    static void TearDownTestSuite() { dir.reset(); }

    static QString orgFolder(int kod) { return root + QStringLiteral("DBF/D%1/").arg(kod); }
    static QString setFolder(int set) {
        return root + QStringLiteral("DBF/S%1%2/").arg(kYear).arg(set);
    }

    static QVector<School> schools() {
        QVector<School> out;
        Table t(root, QStringLiteral("SCHOOL"));
        for (int r = 1; r <= t.ds.RecordCount(); ++r)
            out.push_back({t.integer(r, "KOD"), t.text(r, "NAME"), t.integer(r, "KOD3"),
                           t.integer(r, "KOD4")});
        return out;
    }

    static std::unique_ptr<QTemporaryDir> dir;
    static QString root;
};

std::unique_ptr<QTemporaryDir> SvodDemoTest::dir;
QString SvodDemoTest::root;

// The columns a summed build fills: after the four key fields, while fewer
// than KOLSTOLB are taken, those whose VKL is 1 or more.
QList<int> summedColumns(const svod::CatalogueReport &rep, int dataFields) {
    QList<int> cols;
    for (int k = 1; k <= dataFields && cols.size() < rep.ColumnCount; ++k)
        if (rep.ColumnSwitches.value(k - 1) >= 1)
            cols << k;
    return cols;
}

bool isPercentage(int group, int k) {
    return (group == 40 && k == 6) || ((group == 4 || group == 5 || group == 39) && k == 14) ||
           (group == 7 && k == 17);
}

TEST_F(SvodDemoTest, SavingAllMatchesSumsTakenFromTheOrganisationsFiles) {
    const svod::SaveAllResult saved = svod::SaveAllSvods({root, kYear, 1, nullptr});
    ASSERT_TRUE(saved.Ok) << saved.FailedReport.toStdString() << ": " << saved.Error.toStdString();
    const QVector<svod::CatalogueReport> catalogue =
        svod::ReadCatalogue(root + QStringLiteral("WED/"), kYear);
    EXPECT_EQ(saved.TargetFiles.size(), catalogue.size());
    const QVector<School> orgs = schools();
    const demo::FractionalCell fraction = demo::DemoFractionalCell();
    bool fractionSeen = false;
    int comparedCells = 0;

    for (const svod::CatalogueReport &rep : catalogue) {
        const QString table = rep.BaseName() + QString::number(kYear);
        SCOPED_TRACE(table.toStdString());
        ASSERT_TRUE(QFile::exists(setFolder(1) + table + QStringLiteral(".DBF")));
        Table built(setFolder(1), table);
        QList<Table *> sources;
        std::vector<std::unique_ptr<Table>> own;
        for (const School &s : orgs)
            if (!s.name.isEmpty() && QFile::exists(orgFolder(s.kod) + table + ".DBF")) {
                own.push_back(std::make_unique<Table>(orgFolder(s.kod), table));
                sources << own.back().get();
            }
        if (rep.Group == 46 || rep.Group == 48) {
            int filled = 0;
            for (Table *t : sources)
                for (int r = 1; r <= t->ds.RecordCount(); ++r)
                    filled += !t->text(r, "N1").isEmpty();
            ASSERT_GT(filled, 0);
            EXPECT_EQ(built.text(filled, "KODSTR"), QString::number(filled).rightJustified(2, '0'));
            EXPECT_EQ(built.integer(filled, "KODN"), filled);
            continue;
        }
        if (rep.Group == 1) {
            int kinds[3][2] = {};
            for (const School &s : orgs)
                if (s.kod3 >= 1 && s.kod3 <= 3 && s.kod4 >= 1 && s.kod4 <= 2)
                    ++kinds[s.kod3 - 1][s.kod4 - 1];
            for (int rec = 3; rec <= 8; ++rec)
                EXPECT_EQ(built.integer(rec, "N1"), kinds[(rec - 3) / 2][(rec - 3) % 2]);
            Table f1(setFolder(1), QStringLiteral("F1%1").arg(kYear));
            for (int rec = 10; rec <= 24; ++rec)
                EXPECT_EQ(built.integer(rec, "N1"),
                          f1.integer(1, QStringLiteral("N%1").arg(rec - 8)));
            continue;
        }
        const int dataFields = built.ds.FieldCount() - 4;
        const QList<int> cols = summedColumns(rep, dataFields);
        for (int r = 1; r <= built.ds.RecordCount(); ++r)
            for (int k : cols) {
                if (isPercentage(rep.Group, k))
                    continue;
                const QString field = QStringLiteral("N%1").arg(k);
                double expected = 0;
                if ((rep.Group == 4 || rep.Group == 5) && k == 1) {
                    int f1Column = 0;
                    for (const demo::SectionLink &l : demo::SectionLinks())
                        if (l.table == rep.BaseName())
                            f1Column = l.f1Column;
                    const bool difference = rep.BaseName() == QStringLiteral("F4R2"); // N1 - N2
                    for (const School &s : orgs) {
                        if (s.name.isEmpty() ||
                            !QFile::exists(orgFolder(s.kod) +
                                           QStringLiteral("F1%1.DBF").arg(kYear)))
                            continue;
                        Table f1(orgFolder(s.kod), QStringLiteral("F1%1").arg(kYear));
                        if (difference)
                            expected += f1.integer(1, "N1") - f1.integer(1, "N2");
                        else if (f1Column > 0)
                            expected += f1.integer(1, QStringLiteral("N%1").arg(f1Column));
                    }
                } else {
                    for (Table *t : sources)
                        if (r <= t->ds.RecordCount())
                            expected += t->num(r, field);
                }
                const double got = built.num(r, field);
                const int decimals = built.ds.FieldByName(field).Def().decimals;
                if (expected == std::floor(expected))
                    EXPECT_EQ(got, expected) << "row " << r << " " << field.toStdString();
                else
                    EXPECT_NEAR(got, expected, 0.5 * std::pow(10.0, -decimals) + 1e-9)
                        << "row " << r << " " << field.toStdString();
                if (rep.BaseName() == fraction.table && r == fraction.row &&
                    field == fraction.field) {
                    fractionSeen = true;
                    EXPECT_NE(expected, std::floor(expected)); // the fraction is in the sum
                }
                ++comparedCells;
            }
    }
    EXPECT_TRUE(fractionSeen);
    EXPECT_GT(comparedCells, 500);
}

TEST_F(SvodDemoTest, EveryReportBuildsOverEverySetAsTheWindowAsks) {
    const QVector<svod::CatalogueReport> catalogue =
        svod::ReadCatalogue(root + QStringLiteral("WED/"), kYear);
    QSet<int> groups;
    for (const svod::CatalogueReport &rep : catalogue) {
        groups.insert(rep.Group);
        const bool together = rep.Group == 1 || rep.Group == 47 || rep.Group == 51;
        for (int set = 1; set <= 8; ++set) {
            svod::SvodParams p;
            p.ProgramDir = root;
            p.Year = kYear;
            p.Report = rep;
            p.SetNumber = set;
            p.Mode = together ? 1 : 2;
            p.Column = 1;
            p.ProgramKind = 1;
            const svod::SvodResult r = svod::BuildSvod(p);
            ASSERT_TRUE(r.Ok) << rep.Name.toStdString() << " set " << set << ": "
                              << r.Error.toStdString();
            EXPECT_TRUE(r.Built) << rep.Name.toStdString();
            if (rep.Group >= 8 && rep.Group <= 38) {
                EXPECT_TRUE(r.ColumnTable && r.ColumnTable->RecordCount() > 0);
            }
            if (set == 1) {
                EXPECT_GT(r.OrgWithData, 0) << rep.Name.toStdString();
            }
        }
    }
    EXPECT_GE(groups.size(), 10);
}

} // namespace
