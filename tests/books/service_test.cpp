// The service's archive and rebuild on small real tables: which year they take,
// which tables they copy, what a rebuilt table holds, and that a rebuild that
// cannot be done whole leaves every file as it was.

#include "books/ServiceRoutines.h"
#include "shell/Paths.h"
#include "support/TableBuilder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using testsupport::readCell;
using testsupport::Record;
using testsupport::writeTable;

namespace {

const QVector<store::FieldDef> kOldFields = {
    {"KODSTR", 'C', 5, 0}, {"NAME", 'C', 20, 0}, {"N1", 'N', 5, 0}, {"N2", 'N', 5, 0}};
// The new structure: N1 wider with decimals, N2 gone, N3 added.
const QVector<store::FieldDef> kNewFields = {
    {"KODSTR", 'C', 5, 0}, {"NAME", 'C', 20, 0}, {"N1", 'N', 8, 2}, {"N3", 'N', 5, 0}};

QStringList names(const QVector<store::FieldDef> &fields) {
    QStringList out;
    for (const auto &f : fields)
        out.append(
            QStringLiteral("%1 %2 %3 %4").arg(f.name).arg(f.type).arg(f.length).arg(f.decimals));
    return out;
}

class ServiceTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        prog = dir.path() + QStringLiteral("/");
        wed = prog + QStringLiteral("WED/");
        QDir().mkpath(wed);
        paths::setProgramDirForTests(prog);
    }
    void TearDown() override { paths::setProgramDirForTests(QString()); }

    QString org(int code) {
        const QString d = prog + QStringLiteral("DBF/D") + QString::number(code) + QLatin1Char('/');
        QDir().mkpath(d);
        return d;
    }
    void school(std::initializer_list<int> codes) {
        QList<Record> rows;
        for (int c : codes)
            rows.append({{"KOD", c}, {"NAME", QStringLiteral("Школа %1").arg(c)}});
        writeTable(prog, "SCHOOL", {{"KOD", 'N', 4, 0}, {"NAME", 'C', 30, 0}}, rows);
    }
    void catalogue(int year, const QStringList &fails) {
        QList<Record> rows;
        for (const QString &f : fails)
            rows.append({{"FAIL", f}});
        writeTable(wed, "OTHE" + QString::number(year), {{"FAIL", 'C', 12, 0}}, rows);
    }
    // A report table of rows (KODSTR, N1, N2; a negative number is blank).
    static QList<Record> rows(const QVector<QVector<int>> &values) {
        QList<Record> out;
        for (const auto &v : values) {
            Record r{{"KODSTR", QString::number(v[0])}, {"NAME", QStringLiteral("строка")}};
            if (v[1] >= 0)
                r.append({"N1", v[1]});
            if (v.size() > 2 && v[2] >= 0)
                r.append({"N2", v[2]});
            out.append(r);
        }
        return out;
    }
    // Every file below the program folder with its bytes.
    QMap<QString, QByteArray> snapshot() {
        QMap<QString, QByteArray> files;
        QDirIterator it(prog, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            f.open(QIODevice::ReadOnly);
            files.insert(it.filePath().mid(prog.size()), f.readAll());
        }
        return files;
    }
    // The installation of a rebuild in 2026: F1 with a restructure blank of
    // three rows (N3 = 9 in row 3), F2 without one; organisation 1 with two
    // rows, organisation 7 with four.
    void rebuildInstallation() {
        school({1, 7});
        catalogue(2026, {"F1.DBF", "", "F2.DBF"});
        writeTable(wed, "F1", kOldFields, rows({{1, -1}, {2, -1}}));
        writeTable(wed, "F2", kOldFields, rows({{1, -1}}));
        QList<Record> blank = {{{"KODSTR", "1"}}, {{"KODSTR", "2"}}, {{"KODSTR", "3"}, {"N3", 9}}};
        writeTable(wed, "OF1", kNewFields, blank);
        writeTable(org(1), "F12026", kOldFields, rows({{1, 10}, {2, 20}}));
        writeTable(org(7), "F12026", kOldFields, rows({{1, 1}, {2, 2}, {3, 3}, {4, 4}}));
        writeTable(org(7), "F22026", kOldFields, rows({{1, 5, 6}}));
    }

    QTemporaryDir dir;
    QString prog, wed;
};

TEST(RebuildYear, TakesTheSchoolYearOfTheDate) {
    const struct {
        QDate today;
        int year;
    } cases[] = {{QDate(2026, 10, 15), 2026},
                 {QDate(2026, 8, 31), 2025},
                 {QDate(2026, 9, 1), 2026},
                 {QDate(2027, 1, 10), 2026},
                 {QDate(2026, 12, 31), 2026}};
    for (const auto &c : cases)
        EXPECT_EQ(service::RebuildYear(c.today), c.year) << c.today.toString().toStdString();
}

TEST_F(ServiceTest, ArchiveCopiesByTheCodesOfTheBookAndReplacesOlderCopies) {
    // Two organisations with codes above their count: both are archived.
    school({3, 60});
    catalogue(2017, {"F1.DBF", "F2.DBF"});
    writeTable(org(3), "F12017", kOldFields, rows({{1, 11}}));
    writeTable(org(60), "F22017", kOldFields, rows({{1, 22}}));
    writeTable(org(60), "F12016", kOldFields, rows({{1, 99}})); // another year

    service::ArchiveResult r = service::ArchiveReports(2017);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.message, QStringLiteral("Сохранение баз в архив выполнено."));
    EXPECT_EQ(r.copied, 2);
    const QString arx = prog + QStringLiteral("ARX/");
    EXPECT_EQ(readCell(arx + "D3", "F12017", 1, "N1").toInt(), 11);
    EXPECT_EQ(readCell(arx + "D60", "F22017", 1, "N1").toInt(), 22);
    EXPECT_FALSE(QFile::exists(arx + "D60/F12016.DBF"));

    // A second run replaces the copies with the tables as they are now.
    testsupport::OpenTable(org(3), "F12017").set(1, "N1", 12);
    r = service::ArchiveReports(2017);
    EXPECT_EQ(r.copied, 2);
    QFile a(arx + "D3/F12017.DBF"), b(org(3) + "F12017.DBF");
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());
}

TEST_F(ServiceTest, ArchiveWithoutItsTablesSaysWhichIsMissing) {
    catalogue(2017, {"F1.DBF"});
    service::ArchiveResult r = service::ArchiveReports(2017);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, QStringLiteral("Файл 'SCHOOL.DBF' не найден!"));

    school({1});
    r = service::ArchiveReports(2018);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, QStringLiteral("Нет БД OTHE2018.DBF. Не открыт период. Сделайте "
                                        "'Начало нового периода'."));
    EXPECT_FALSE(QDir(prog + "ARX").exists());
}

TEST_F(ServiceTest, RebuildCarriesValuesRowByRowAndReplacesTheBlank) {
    rebuildInstallation();
    const service::RebuildResult r = service::RebuildReportTables(2026);
    ASSERT_TRUE(r.ran);
    ASSERT_TRUE(r.ok) << r.summary().toStdString();
    EXPECT_EQ(r.tablesRebuilt, 2);
    EXPECT_EQ(r.organisations, 2);
    EXPECT_EQ(r.blanksReplaced, QStringList{"F1.DBF"});
    EXPECT_EQ(r.summary(), QStringLiteral("Обслуживание БД выполнено.\rПерестроено таблиц: 2 "
                                          "(организаций: 2).\rЗаменены бланки: F1.DBF."));

    // Organisation 1: its two rows, then the blank's third row as it was.
    testsupport::OpenTable one(org(1), "F12026");
    EXPECT_EQ(names(one.ds.FieldDefs()), names(kNewFields));
    ASSERT_EQ(one.ds.RecordCount(), 3);
    EXPECT_EQ(one.num(1, "N1"), 10);
    EXPECT_EQ(one.num(2, "N1"), 20);
    EXPECT_TRUE(one.get(3, "N1").isNull());
    EXPECT_EQ(one.integer(3, "N3"), 9);
    // Organisation 7: its fourth row is appended, not folded into the third.
    testsupport::OpenTable seven(org(7), "F12026");
    ASSERT_EQ(seven.ds.RecordCount(), 4);
    for (int row = 1; row <= 4; ++row) {
        EXPECT_EQ(seven.num(row, "N1"), row);
        EXPECT_EQ(seven.text(row, "KODSTR"), QString::number(row));
    }
    EXPECT_EQ(seven.integer(3, "N3"), 9);
    EXPECT_TRUE(seven.get(4, "N3").isNull());
    // F2 had no new blank: its table and blank stay as they were.
    EXPECT_EQ(readCell(org(7), "F22026", 1, "N2").toInt(), 6);
    EXPECT_EQ(names(store::DbfFile::fieldsOf(wed + "F2.DBF")), names(kOldFields));

    EXPECT_EQ(names(store::DbfFile::fieldsOf(wed + "F1.DBF")), names(kNewFields));
    EXPECT_FALSE(QFile::exists(wed + "OF1.DBF"));
    EXPECT_FALSE(QFile::exists(org(1) + "OF12026.DBF"));
    EXPECT_FALSE(QDir(service::RebuildBackupDir(2026)).exists());
}

TEST_F(ServiceTest, RebuildThatCannotBeDoneWholeChangesNothing) {
    const struct {
        const char *name;
        std::function<void(ServiceTest &)> spoil;
        QString problem; // a part of the text that names what stopped it
    } cases[] = {
        {"a field with data that the new blank lacks",
         [](ServiceTest &t) { testsupport::OpenTable(t.org(7), "F12026").set(3, "N2", 5); },
         QStringLiteral("поля N2 с данными нет в бланке OF1.DBF")},
        {"a value that the new field cannot hold",
         [](ServiceTest &t) {
             writeTable(t.wed, "OF1",
                        {{"KODSTR", 'C', 5, 0}, {"NAME", 'C', 20, 0}, {"N1", 'N', 1, 0}},
                        {{{"KODSTR", "1"}}});
             testsupport::OpenTable(t.org(7), "F12026").set(4, "N1", 44);
         },
         QStringLiteral("F12026.DBF: Значение 10 не помещается в поле N1")},
        {"an old table that does not open",
         [](ServiceTest &t) {
             QFile f(t.org(1) + "F12026.DBF");
             f.open(QIODevice::WriteOnly | QIODevice::Truncate);
             f.write("not a table");
         },
         QStringLiteral("не открывается")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(prog).removeRecursively();
        QDir().mkpath(wed);
        rebuildInstallation();
        c.spoil(*this);
        const auto before = snapshot();
        const service::RebuildResult r = service::RebuildReportTables(2026);
        EXPECT_TRUE(r.ran);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.summary().startsWith(QStringLiteral("Обслуживание БД не выполнено")));
        EXPECT_TRUE(r.summary().contains(c.problem)) << r.summary().toStdString();
        EXPECT_EQ(snapshot(), before);
    }
}

TEST_F(ServiceTest, RebuildWithoutTheCatalogueDoesNothing) {
    rebuildInstallation();
    const auto before = snapshot();
    const service::RebuildResult r = service::RebuildReportTables(2025);
    EXPECT_FALSE(r.ran);
    EXPECT_EQ(snapshot(), before);
}

} // namespace
