// The demo installation: laid out into a temporary folder, read back with
// the program's own table layer, and checked for what the program and the
// later work rely on.

#include "demo/DemoData.h"
#include "demo/DemoInstall.h"
#include "demo/DemoReports.h"
#include "demo/DemoSvod.h"
#include "store/Dataset.h"
#include "support/TableBuilder.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

// A table of the installation opened on a connection of its own.
using Table = testsupport::OpenTable;

QMap<QString, QByteArray> fileHashes(const QString &root) {
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        out.insert(path.mid(root.size()),
                   QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256));
    }
    return out;
}

} // namespace

class DemoInstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::make_unique<QTemporaryDir>();
        root = dir->path() + QStringLiteral("/inst/");
        written = demo::WriteDemoInstallation(root);
    }
    static void TearDownTestSuite() { dir.reset(); }

    static QString wed() { return root + QStringLiteral("WED/"); }
    static QString orgDir(int kod) {
        return root + QStringLiteral("DBF/D") + QString::number(kod) + QLatin1Char('/');
    }

    static std::unique_ptr<QTemporaryDir> dir;
    static QString root;
    static QStringList written;
};

std::unique_ptr<QTemporaryDir> DemoInstallTest::dir;
QString DemoInstallTest::root;
QStringList DemoInstallTest::written;

TEST_F(DemoInstallTest, EveryTableWrittenOpensAndReadsWithTheStore) {
    int tables = 0;
    QDirIterator it(root, {QStringLiteral("*.DBF")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        Table t(info.absolutePath(), info.completeBaseName());
        for (t.ds.First(); !t.ds.Eof(); t.ds.Next())
            for (int f = 0; f < t.ds.FieldCount(); ++f)
                t.ds.Fields(f).AsString();
        ++tables;
    }
    EXPECT_EQ(tables, written.size());
    EXPECT_GT(tables, 100);
}

TEST_F(DemoInstallTest, PutiGivesProgramKindOneInItsSecondRecord) {
    Table t(root, QStringLiteral("PUTI"));
    ASSERT_GE(t.ds.RecordCount(), 2);
    EXPECT_EQ(t.integer(2, QStringLiteral("ZNAH")), 1);
}

TEST_F(DemoInstallTest, SchoolHoldsFortyOrganisationsWithEverySignInUse) {
    Table t(root, QStringLiteral("SCHOOL"));
    const QStringList order = {"KOD",    "KOD1",    "NAME",   "KOD2",    "CITY",    "INN_O",
                               "TELEF",  "OKONX_K", "OKPO_K", "KODCITY", "GLAVRAS", "RYKORG",
                               "GLABUX", "RYKFIN",  "KOD3",   "KOD4",    "ADRES"};
    ASSERT_EQ(t.ds.FieldCount(), order.size());
    for (int i = 0; i < order.size(); ++i)
        EXPECT_EQ(t.ds.Fields(i).FieldName(), order[i]);

    ASSERT_GE(t.ds.RecordCount(), 40);
    QSet<int> codes, kodcity, kod3, kod4;
    bool kod1 = false, kod2 = false, gaps = false;
    QSet<QString> inns;
    int previous = 0;
    for (int r = 1; r <= t.ds.RecordCount(); ++r) {
        const int kod = t.integer(r, QStringLiteral("KOD"));
        EXPECT_GT(kod, previous);
        gaps = gaps || kod > previous + 1;
        previous = kod;
        codes.insert(kod);
        kodcity.insert(t.integer(r, QStringLiteral("KODCITY")));
        kod3.insert(t.integer(r, QStringLiteral("KOD3")));
        kod4.insert(t.integer(r, QStringLiteral("KOD4")));
        kod1 = kod1 || t.integer(r, QStringLiteral("KOD1")) == 1;
        kod2 = kod2 || t.integer(r, QStringLiteral("KOD2")) == 1;
        const QString name = t.text(r, QStringLiteral("NAME"));
        if (kod == demo::UnnamedOrganisationCode())
            EXPECT_TRUE(name.isEmpty()); // skipped by every consolidation
        else
            EXPECT_TRUE(name.contains(QRegularExpression(QStringLiteral("[А-Яа-я]"))))
                << name.toStdString();
        const QString inn = t.text(r, QStringLiteral("INN_O"));
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{10}$")).match(inn).hasMatch());
        inns.insert(inn);
    }
    EXPECT_TRUE(gaps);
    EXPECT_EQ(inns.size(), t.ds.RecordCount()); // receipt tells senders apart by INN
    EXPECT_EQ(kodcity, QSet<int>({1, 2, 3, 4}));
    EXPECT_EQ(kod3, QSet<int>({1, 2, 3}));
    EXPECT_EQ(kod4, QSet<int>({1, 2}));
    EXPECT_TRUE(kod1);
    EXPECT_TRUE(kod2);
}

TEST_F(DemoInstallTest, RegimHoldsOneRecordOfRequisites) {
    Table t(root, QStringLiteral("REGIM"));
    ASSERT_EQ(t.ds.RecordCount(), 1);
    EXPECT_FALSE(t.text(1, QStringLiteral("BANK")).isEmpty());
    EXPECT_FALSE(t.text(1, QStringLiteral("INNO")).isEmpty());
}

TEST_F(DemoInstallTest, EachPeriodHasItsFourTablesAndEightConsolidationSets) {
    for (int year : {2016, 2017}) {
        for (const char *base : {"OTHE", "FORM", "PROV", "SVOD"})
            EXPECT_TRUE(QFile::exists(wed() + QString::fromLatin1(base) + QString::number(year) +
                                      QStringLiteral(".DBF")))
                << base << year;
        Table svod(wed(), QStringLiteral("SVOD") + QString::number(year));
        EXPECT_EQ(svod.ds.RecordCount(), 8);
    }
    EXPECT_TRUE(QFileInfo(wed() + QStringLiteral("BLANK")).isDir());
}

TEST_F(DemoInstallTest, TheCatalogueKeepsItsInvariantsAndHasEveryGroup) {
    for (int year : {2016, 2017}) {
        Table t(wed(), QStringLiteral("OTHE") + QString::number(year));
        QSet<int> groups;
        QSet<QString> bases;
        for (int r = 1; r <= t.ds.RecordCount(); ++r) {
            EXPECT_EQ(t.integer(r, QStringLiteral("KOD")), r);
            const QString fail = t.text(r, QStringLiteral("FAIL"));
            ASSERT_TRUE(fail.endsWith(QStringLiteral(".DBF")));
            EXPECT_EQ(fail.count(QLatin1Char('.')), 1);
            const QString base = fail.left(fail.size() - 4);
            bases.insert(base);
            groups.insert(t.integer(r, QStringLiteral("GRUPPA")));
            EXPECT_EQ(t.integer(r, QStringLiteral("NSTOLB1")), demo::FirstDataColumn);

            // The blank's layout: four leading fields, then N1..Nk.
            const QVector<store::FieldDef> fields = store::DbfFile::fieldsOf(wed() + fail);
            ASSERT_GE(fields.size(), 5);
            EXPECT_EQ(fields[0].name, QStringLiteral("KODSTR"));
            EXPECT_EQ(fields[1].name, QStringLiteral("NAME"));
            EXPECT_GE(fields[1].length, 41);
            EXPECT_EQ(fields[2].name, QStringLiteral("KODN"));
            EXPECT_EQ(fields[3].name, QStringLiteral("KODPOKAZ"));
            const int columns = int(fields.size()) - 4;
            for (int c = 1; c <= columns; ++c) {
                EXPECT_EQ(fields[3 + c].name, QStringLiteral("N") + QString::number(c));
                EXPECT_EQ(fields[3 + c].type, 'N');
                // Every data column has its caption, with ";" where it has
                // two lines, and its switch.
                EXPECT_FALSE(t.text(r, QStringLiteral("NAM") + QString::number(c)).isEmpty());
            }
            int shown = 0;
            for (int c = 1; c <= demo::MaxColumns; ++c)
                shown += t.integer(r, QStringLiteral("VKL") + QString::number(c)) >= 1 ? 1 : 0;
            EXPECT_EQ(t.integer(r, QStringLiteral("KOLSTOLB")), shown) << fail.toStdString();
            EXPECT_LE(shown, columns);
        }
        // Records 1 and 2 are the school-count report and F1.
        EXPECT_EQ(t.integer(1, QStringLiteral("GRUPPA")), 1);
        EXPECT_EQ(t.text(2, QStringLiteral("FAIL")), QStringLiteral("F1.DBF"));

        for (int g : {1, 2, 4, 5, 7, 12, 29, 39, 40, 46, 47, 48, 51})
            EXPECT_TRUE(groups.contains(g)) << g;
        bool columnGroup = false;
        for (int g : groups)
            columnGroup = columnGroup || (g >= 8 && g <= 38);
        EXPECT_TRUE(columnGroup);

        for (const char *b :
             {"F1",  "F0",  "F3A", "F3B", "F3V", "F3G", "F3D", "F4A", "F4A2", "F4B", "F4V",
              "F4G", "F4D", "F4E", "F4N", "F4U", "F4L", "F4S", "F4R", "F4R2", "F7",  "F7A"})
            EXPECT_TRUE(bases.contains(QString::fromLatin1(b))) << b;
    }
}

TEST_F(DemoInstallTest, BlanksHaveTheRowsTheirGroupsNeed) {
    for (const demo::ReportSpec &r : demo::Reports()) {
        Table t(wed(), r.base);
        EXPECT_EQ(t.ds.RecordCount(), r.rows.size());
        if (r.group == 12 || r.group == 29) {
            EXPECT_GE(t.ds.RecordCount(), 14) << r.base.toStdString();
        }
        if (r.group == 51) {
            EXPECT_GE(t.ds.FieldIndex(QStringLiteral("N28")), 0);
        }
        if (r.group == 2) {
            EXPECT_GE(t.ds.FieldIndex(QStringLiteral("N16")), 0);
        }
        for (int row = 1; row <= t.ds.RecordCount(); ++row) {
            t.ds.setRecNo(row);
            for (int c = 1; c <= r.columns.size(); ++c)
                EXPECT_TRUE(t.ds.FieldByName(QStringLiteral("N") + QString::number(c)).IsNull());
        }
    }
}

TEST_F(DemoInstallTest, SeveralOrganisationsHaveReportTablesShapedLikeTheirBlanks) {
    for (int year : {2016, 2017}) {
        const QVector<int> orgs = demo::OrganisationsWithData(year);
        EXPECT_GE(orgs.size(), 4);
        for (int kod : orgs) {
            const QString folder = orgDir(kod);
            ASSERT_TRUE(QFile::exists(folder + QStringLiteral("F1") + QString::number(year) +
                                      QStringLiteral(".DBF")));
            for (const demo::ReportSpec &r : demo::Reports()) {
                const QString file = r.base + QString::number(year) + QStringLiteral(".DBF");
                if (!QFile::exists(folder + file))
                    continue;
                EXPECT_EQ(store::DbfFile::fieldsOf(folder + file).size(),
                          store::DbfFile::fieldsOf(wed() + r.fail()).size());
                Table data(folder, r.base + QString::number(year));
                EXPECT_EQ(data.ds.RecordCount(), r.rows.size());
            }
        }
    }
}

TEST_F(DemoInstallTest, DerivedCellsAgreeWithTheirSourcesExceptTheKnownFaults) {
    const QString y = QStringLiteral("2016");
    for (int kod : demo::OrganisationsWithData(2016)) {
        const QString folder = orgDir(kod);
        if (!QFile::exists(folder + QStringLiteral("F72016.DBF")))
            continue; // an organisation that has only begun
        Table f1(folder, QStringLiteral("F1") + y);
        for (int r = 1; r <= 4; ++r) {
            double s = 0;
            for (int c = 2; c <= 16; ++c)
                s += f1.num(r, QStringLiteral("N") + QString::number(c));
            EXPECT_EQ(f1.num(r, QStringLiteral("N1")), s); // row totals of group 2
        }
        Table f0(folder, QStringLiteral("F0") + y);
        for (int r = 9; r <= 24; ++r)
            EXPECT_EQ(f0.num(r, QStringLiteral("N1")),
                      f1.num(1, QStringLiteral("N") + QString::number(r - 8)));
        for (const demo::SectionLink &link : demo::SectionLinks()) {
            Table s(folder, link.table + y);
            const double expected = f1.num(1, QStringLiteral("N") + QString::number(link.f1Column));
            EXPECT_EQ(s.num(1, QStringLiteral("N1")), expected)
                << kod << " " << link.table.toStdString();
        }
        Table f7(folder, QStringLiteral("F7") + y);
        EXPECT_EQ(f7.num(1, QStringLiteral("N1")),
                  f1.num(1, QStringLiteral("N1")) - f1.num(1, QStringLiteral("N3")));
        Table f4r2(folder, QStringLiteral("F4R2") + y);
        EXPECT_EQ(f4r2.num(1, QStringLiteral("N1")),
                  f1.num(1, QStringLiteral("N1")) - f1.num(1, QStringLiteral("N2")));
        Table f7a(folder, QStringLiteral("F7A") + y);
        EXPECT_EQ(f7a.num(1, QStringLiteral("N2")),
                  f1.num(1, QStringLiteral("N1")) - f1.num(1, QStringLiteral("N2")));
        auto n13 = [&](const char *base) {
            Table t(folder, QString::fromLatin1(base) + y);
            return t.num(1, QStringLiteral("N13"));
        };
        EXPECT_EQ(f7a.num(1, QStringLiteral("N3")), n13("F3A") + n13("F4A") + n13("F4A2"));
        EXPECT_EQ(f7a.num(1, QStringLiteral("N7")), n13("F3D") + n13("F4D"));
    }
}

TEST_F(DemoInstallTest, TheWithinReportRuleOfF3AIsBrokenOnlyWhereKnown) {
    // FORM holds "A1 = A2 + A3" for N13 of F3A; the data break it once.
    int broken = 0;
    for (int kod : demo::OrganisationsWithData(2016)) {
        if (!QFile::exists(orgDir(kod) + QStringLiteral("F3A2016.DBF")))
            continue;
        Table t(orgDir(kod), QStringLiteral("F3A2016"));
        const bool holds = t.num(1, QStringLiteral("N13")) ==
                           t.num(2, QStringLiteral("N13")) + t.num(3, QStringLiteral("N13"));
        if (!holds) {
            ++broken;
            EXPECT_EQ(kod, 7);
        }
    }
    EXPECT_EQ(broken, 1);
    bool ruleListed = false;
    for (const demo::FormRule &f : demo::FormRules())
        ruleListed = ruleListed ||
                     (f.kodOth == demo::ReportCode(QStringLiteral("F3A")) &&
                      f.kolonk == demo::FirstDataColumn + 12 && f.forV == QStringLiteral("A2+A3"));
    EXPECT_TRUE(ruleListed);
}

TEST_F(DemoInstallTest, TheRelationOfF47ToF1IsBrokenOnlyWhereKnown) {
    // PROV holds "F47 row 5 N2 = F1 row 1 N2"; the data break it once.
    int broken = 0;
    for (int kod : demo::OrganisationsWithData(2016)) {
        if (!QFile::exists(orgDir(kod) + QStringLiteral("F472016.DBF")))
            continue;
        Table f47(orgDir(kod), QStringLiteral("F472016"));
        Table f1(orgDir(kod), QStringLiteral("F12016"));
        if (f47.num(5, QStringLiteral("N2")) != f1.num(1, QStringLiteral("N2"))) {
            ++broken;
            EXPECT_EQ(kod, 12);
        }
    }
    EXPECT_EQ(broken, 1);
}

TEST_F(DemoInstallTest, AgeGroupsCarryTheCaptionsOfTheirYear) {
    Table t12(orgDir(1), QStringLiteral("F122016"));
    EXPECT_EQ(t12.text(1, QStringLiteral("NAME")), QStringLiteral("2010 г.| г |  5 лет  |  Число"));
    EXPECT_EQ(t12.text(13, QStringLiteral("NAME")),
              QStringLiteral("1998 г.|   | 17 лет  |  2016 г."));
    Table t29(orgDir(1), QStringLiteral("F292016"));
    EXPECT_EQ(t29.text(1, QStringLiteral("NAME")),
              QStringLiteral("На 01/01/16 -5 полных лет, год рожд.2011"));
    EXPECT_EQ(t29.text(14, QStringLiteral("NAME")),
              QStringLiteral("18 лет и старше, 1997г.  и раньше"));
}

TEST_F(DemoInstallTest, TheOutputIsTheSameOnEveryRun) {
    QTemporaryDir other;
    const QString second = other.path() + QStringLiteral("/inst/");
    demo::WriteDemoInstallation(second);
    const auto a = fileHashes(root);
    const auto b = fileHashes(second);
    EXPECT_EQ(a.keys(), b.keys());
    EXPECT_TRUE(a == b);
    // Table headers carry the fixed date, not today's.
    QFile f(root + QStringLiteral("SCHOOL.DBF"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray head = f.read(4);
    EXPECT_EQ(int(uchar(head[1])) + 1900, demo::TableDate().year());
    EXPECT_EQ(int(uchar(head[2])), demo::TableDate().month());
    EXPECT_EQ(int(uchar(head[3])), demo::TableDate().day());
}
