// The service's archive and rebuild on small real tables: which year they take,
// which tables they copy, what a rebuilt table holds, and that a rebuild that
// cannot be done whole leaves every file as it was.

#include "app/ProgramStart.h"
#include "books/RebuildFiles.h"
#include "books/ServiceRoutines.h"
#include "books/ServiceUnit.h"
#include "shell/InstallationLock.h"
#include "shell/Messages.h"
#include "shell/Paths.h"
#include "shell/UnitConsts.h"
#include "store/StoreTestUtil.h"
#include "support/MessageRecorder.h"
#include "support/TableBuilder.h"
#include "support/TwoCopies.h"
#include "support/WithoutFileRights.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include <gtest/gtest.h>

using testsupport::readCell;
using testsupport::Record;
using testsupport::writeTable;

namespace {

const QVector<store::FieldDef> kOldFields = {
    {"KODSTR", 'C', 5, 0}, {"NAME", 'C', 20, 0}, {"N1", 'N', 6, 2}, {"N2", 'N', 5, 0}};
// The new structure: N1 wider, N2 gone, N3 added.
const QVector<store::FieldDef> kNewFields = {
    {"KODSTR", 'C', 5, 0}, {"NAME", 'C', 20, 0}, {"N1", 'N', 8, 2}, {"N3", 'N', 5, 0}};

// The day the tests rebuild on: the school year 2025 / 2026.
const QDate kToday(2026, 10, 15);

QStringList names(const QVector<store::FieldDef> &fields) {
    QStringList out;
    for (const auto &f : fields)
        out.append(
            QStringLiteral("%1 %2 %3 %4").arg(f.name).arg(f.type).arg(f.length).arg(f.decimals));
    return out;
}

void copyTree(const QString &from, const QString &to) {
    QDir().mkpath(to);
    for (const QFileInfo &f :
         QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (f.isDir())
            copyTree(f.filePath(), to + QLatin1Char('/') + f.fileName());
        else
            QFile::copy(f.filePath(), to + QLatin1Char('/') + f.fileName());
    }
}

// Thrown by a probe to stop a run where it stands, as a crash would: it is no
// std::exception, so nothing in the program catches it.
struct Stopped {};

class ServiceTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        prog = dir.path() + QStringLiteral("/kvr/");
        wed = prog + QStringLiteral("WED/");
        QDir().mkpath(wed);
        paths::setProgramDirForTests(prog);
        // A copy that holds the installation holds it through every attempt
        // of this copy: no need to pause between them.
        installation::setPauseForTests([] {});
    }
    void TearDown() override {
        installation::setPauseForTests(nullptr);
        installation::Unlock();
        service::setFileStepProbe(nullptr);
        service::setHardLinksForTests(true);
        paths::setProgramDirForTests(QString());
    }

    // An empty program folder again.
    void reset() {
        QDir(prog).removeRecursively();
        QDir().mkpath(wed);
    }
    QString org(int code) {
        const QString d = prog + QStringLiteral("DBF/D") + QString::number(code) + QLatin1Char('/');
        QDir().mkpath(d);
        return d;
    }
    void school(const QVector<int> &codes) {
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
    // Every file below the program folder with the digest of its bytes, and
    // every folder; not the installation's lock file, which stays once made.
    QMap<QString, QString> snapshot() {
        QMap<QString, QString> files;
        QDirIterator it(prog, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            if (info.filePath() == installation::LockFilePath())
                continue;
            QFile f(info.filePath());
            files.insert(
                info.filePath().mid(prog.size()),
                info.isDir() || !f.open(QIODevice::ReadOnly)
                    ? QStringLiteral("folder")
                    : QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex());
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
        newBlank(kNewFields);
        writeTable(org(1), "F12026", kOldFields, rows({{1, 10}, {2, 20}}));
        writeTable(org(7), "F12026", kOldFields, rows({{1, 1}, {2, 2}, {3, 3}, {4, 4}}));
        writeTable(org(7), "F22026", kOldFields, rows({{1, 5, 6}}));
    }
    void newBlank(const QVector<store::FieldDef> &fields, const QString &name = "OF1") {
        writeTable(wed, name, fields,
                   {{{"KODSTR", "1"}}, {{"KODSTR", "2"}}, {{"KODSTR", "3"}, {"N3", 9}}});
    }
    static service::RebuildResult rebuild() { return service::RebuildReportTables(kToday); }

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
    QVector<store::FieldDef> kindChanged = kNewFields;
    kindChanged[0] = {"KODSTR", 'N', 5, 0};
    const struct {
        const char *name;
        QVector<store::FieldDef> fields;
        char codePage; // the new blank's language driver byte
    } cases[] = {{"fields that keep their kind", kNewFields, char(0xC9)},
                 {"a field that changes kind", kindChanged, char(0xC9)},
                 {"a new blank in DOS Cyrillic", kNewFields, char(0x26)}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        rebuildInstallation();
        newBlank(c.fields);
        {
            QFile blank(wed + "OF1.DBF");
            ASSERT_TRUE(blank.open(QIODevice::ReadWrite) && blank.seek(29));
            blank.write(&c.codePage, 1);
        }
        const service::RebuildResult r = rebuild();
        ASSERT_TRUE(r.ran);
        ASSERT_TRUE(r.ok) << r.summary().toStdString();
        EXPECT_TRUE(r.recovered.isEmpty());
        EXPECT_EQ(r.summary(), QStringLiteral("Обслуживание БД выполнено за 2026 год.\rПерестроено "
                                              "таблиц: 2 (организаций: 2).\rЗаменены бланки: "
                                              "F1.DBF."));

        // Organisation 1: its two rows, then the blank's third row as it was.
        testsupport::OpenTable one(org(1), "F12026");
        EXPECT_EQ(names(one.ds.FieldDefs()), names(c.fields));
        ASSERT_EQ(one.ds.RecordCount(), 3);
        EXPECT_EQ(one.num(1, "N1"), 10);
        EXPECT_EQ(one.num(2, "N1"), 20);
        EXPECT_EQ(one.text(2, "NAME"), QStringLiteral("строка"));
        EXPECT_TRUE(one.get(3, "N1").isNull());
        EXPECT_EQ(one.integer(3, "N3"), 9);
        // Organisation 7: its fourth row is appended, not folded into the third.
        testsupport::OpenTable seven(org(7), "F12026");
        ASSERT_EQ(seven.ds.RecordCount(), 4);
        for (int row = 1; row <= 4; ++row) {
            EXPECT_EQ(seven.num(row, "N1"), row);
            EXPECT_EQ(seven.text(row, "KODSTR"), QString::number(row));
            EXPECT_EQ(seven.text(row, "NAME"), QStringLiteral("строка"));
        }
        EXPECT_EQ(seven.integer(3, "N3"), 9);
        EXPECT_TRUE(seven.get(4, "N3").isNull());
        // F2 had no new blank: its table and blank stay as they were.
        EXPECT_EQ(readCell(org(7), "F22026", 1, "N2").toInt(), 6);
        EXPECT_EQ(names(store::DbfFile::fieldsOf(wed + "F2.DBF")), names(kOldFields));

        EXPECT_EQ(names(store::DbfFile::fieldsOf(wed + "F1.DBF")), names(c.fields));
        EXPECT_FALSE(QFile::exists(wed + "OF1.DBF"));
        EXPECT_FALSE(QFile::exists(org(1) + "OF12026.DBF"));
        EXPECT_FALSE(QDir(service::RebuildBackupDir(2026)).exists());
    }
}

TEST_F(ServiceTest, NamesMetTwiceMakeOneJobPerFile) {
    const struct {
        const char *name;
        QStringList fails;
        QVector<int> codes;
    } cases[] = {{"the catalogue names a blank twice", {"F1.DBF", "F2.DBF", "F1.DBF"}, {1, 7}},
                 {"in another letter case", {"F1.DBF", "f1.DBF"}, {1, 7}},
                 {"the book holds a code twice", {"F1.DBF"}, {7, 1, 7}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        rebuildInstallation();
        catalogue(2026, c.fails);
        school(c.codes);
        const service::RebuildResult r = rebuild();
        ASSERT_TRUE(r.ok) << r.summary().toStdString();
        EXPECT_EQ(r.tablesRebuilt, 2);
        EXPECT_EQ(r.blanksReplaced, QStringList{"F1.DBF"});
        testsupport::OpenTable seven(org(7), "F12026");
        ASSERT_EQ(seven.ds.RecordCount(), 4);
        EXPECT_EQ(names(seven.ds.FieldDefs()), names(kNewFields));
        for (int row = 1; row <= 4; ++row)
            EXPECT_EQ(seven.num(row, "N1"), row);
        EXPECT_FALSE(QDir(service::RebuildBackupDir(2026)).exists());
    }
}

TEST_F(ServiceTest, RebuildThatCannotBeDoneWholeChangesNothing) {
    // A new blank whose N1 has this length and decimals, and a value of
    // organisation 7 in N1 of this row.
    auto newN1 = [](int length, int decimals, int row, double value) {
        return [=](ServiceTest &t) {
            QVector<store::FieldDef> fields = kNewFields;
            fields[2] = {"N1", 'N', length, decimals};
            t.newBlank(fields);
            testsupport::OpenTable(t.org(7), "F12026").set(row, "N1", value);
        };
    };
    const struct {
        const char *name;
        std::function<void(ServiceTest &)> spoil;
        QString problem; // the text that names what stopped it
    } cases[] = {
        {"a field with data that the new blank lacks",
         [](ServiceTest &t) { testsupport::OpenTable(t.org(7), "F12026").set(3, "N2", 5); },
         QStringLiteral("Организация 7 «Школа 7», таблица F12026.DBF, строка 3, поле N2, значение "
                        "\"5\": такого поля нет в бланке OF1.DBF")},
        {"a value that the new field cannot hold", newN1(5, 2, 4, 440),
         QStringLiteral("Организация 7 «Школа 7», таблица F12026.DBF, строка 4, поле N1, значение "
                        "\"440.00\": не помещается в поле N1 (N 5,2) бланка OF1.DBF")},
        {"a value with more decimals than the new field", newN1(12, 0, 3, 12.34),
         QStringLiteral("Организация 7 «Школа 7», таблица F12026.DBF, строка 3, поле N1, значение "
                        "\"12.34\": в поле N1 (N 12,0) бланка OF1.DBF меньше знаков после "
                        "запятой, значение было бы округлено")},
        {"text that is no number in a numeric field that changes",
         [](ServiceTest &t) {
             // Row 2's N1, written as another program might: header 161
             // bytes, records of 37, N1 at 26.
             QFile f(t.org(7) + "F12026.DBF");
             ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.seek(161 + 37 + 26));
             f.write("   abc");
         },
         QStringLiteral("Организация 7 «Школа 7», таблица F12026.DBF, строка 2, поле N1, значение "
                        "\"abc\": это не число")},
        {"a text that its new numeric field would round",
         [](ServiceTest &t) {
             QVector<store::FieldDef> fields = kNewFields;
             fields[0] = {"KODSTR", 'N', 5, 0};
             t.newBlank(fields);
             testsupport::OpenTable(t.org(7), "F12026").set(2, "KODSTR", "2.5");
         },
         QStringLiteral("Организация 7 «Школа 7», таблица F12026.DBF, строка 2, поле KODSTR, "
                        "значение \"2.5\": в поле KODSTR (N 5,0) значение было бы округлено")},
        {"an old table that does not open",
         [](ServiceTest &t) {
             QFile f(t.org(1) + "F12026.DBF");
             f.open(QIODevice::WriteOnly | QIODevice::Truncate);
             f.write("not a table");
         },
         QStringLiteral("Организация 1 «Школа 1», таблица F12026.DBF не открывается")},
        {"a new table's name that is another report's table",
         [](ServiceTest &t) {
             t.catalogue(2026, {"F1.DBF", "OF1.DBF"});
             writeTable(t.org(7), "OF12026", kNewFields, rows({{1, 77}}));
         },
         QStringLiteral("Новый бланк OF1.DBF отчета F1.DBF является бланком другого отчета "
                        "каталога.")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        rebuildInstallation();
        c.spoil(*this);
        const auto before = snapshot();
        const service::RebuildResult r = rebuild();
        EXPECT_TRUE(r.ran);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.summary().startsWith(QStringLiteral(
            "Обслуживание БД за 2026 год не выполнено, таблицы и бланки не изменены:\r")))
            << r.summary().toStdString();
        EXPECT_TRUE(r.summary().contains(c.problem)) << r.summary().toStdString();
        EXPECT_EQ(snapshot(), before);
    }
}

// A file the service cannot use is named with the system's reason, in Russian.
TEST_F(ServiceTest, FileFailuresGiveTheSystemsReasonInRussian) {
    rebuildInstallation();
    const QString unreadable = org(1) + "F12026.DBF";
    ASSERT_TRUE(QFile::setPermissions(unreadable, {}));
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7555)));
    // WED and its lock file as an installation shared by several users has them.
    ASSERT_TRUE(QFile::setPermissions(prog + "WED", QFileDevice::Permissions(0x7777)));
    {
        QFile lock(installation::LockFilePath());
        ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
        ASSERT_TRUE(lock.setPermissions(QFileDevice::Permissions(0x6666)));
    }
    service::RebuildResult r;
    {
        testsupport::WithoutFileRights unprivileged;
        r = rebuild();
    }
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.summary().contains(
        "Организация 1 «Школа 1», таблица F12026.DBF не открывается: Не удалось открыть файл " +
        unreadable + ": отказано в доступе"))
        << r.summary().toStdString();

    const QString folder = prog + "DBF/D7", file = folder + "/F12026.DBF";
    const QString missing = folder + "/NONE.DBF";
    namespace files = service::files;
    const struct {
        std::function<void()> call;
        QString message;
    } cases[] = {
        {[&] { files::makeFolder(folder); },
         "Не удалось создать папку " + folder + ": файл или папка с таким именем уже существует"},
        {[&] { files::writeNew(file, "x"); },
         "Не удалось создать файл " + file + ": файл или папка с таким именем уже существует"},
        {[&] { files::readWhole(folder); },
         "Не удалось открыть файл " + folder + ": это папка, а не файл"},
        {[&] { files::replace(missing, file); }, "Не удалось переименовать файл " + missing +
                                                     " -> " + file +
                                                     ": нет такого файла или папки"},
        {[&] { files::remove(folder); },
         "Не удалось удалить файл " + folder + ": это папка, а не файл"},
        {[&] { files::removeFolder(folder); },
         "Не удалось удалить папку " + folder + ": папка не пуста"},
    };
    for (const auto &c : cases) {
        QString message = "nothing thrown";
        try {
            c.call();
        } catch (const FileError &e) {
            message = e.message();
        }
        EXPECT_EQ(message, c.message);
    }
}

TEST_F(ServiceTest, RebuildWithoutTheCatalogueDoesNothing) {
    rebuildInstallation();
    const auto before = snapshot();
    const service::RebuildResult r = service::RebuildReportTables(QDate(2025, 10, 1));
    EXPECT_FALSE(r.ran);
    EXPECT_EQ(snapshot(), before);
}

// A rebuild that stopped as a crash would stop it at the n-th file step
// that the filter accepts (counted from 1).
bool stopAt(ServiceTest &t, int n, std::function<bool(service::FileStep, const QString &)> filter) {
    int seen = 0;
    service::setFileStepProbe([&](service::FileStep step, const QString &path) {
        if (filter(step, path) && ++seen == n)
            throw Stopped();
    });
    bool stopped = false;
    try {
        t.rebuild();
    } catch (const Stopped &) {
        stopped = true;
    }
    service::setFileStepProbe(nullptr);
    return stopped;
}

// A run cut short after it had put the first table in place and built the
// second aside: the next run puts the first back and removes the second,
// then does its own work, as a run that was never cut.
TEST_F(ServiceTest, ARunAfterAnInterruptionGetsTheTableBackFirst) {
    rebuildInstallation();
    copyTree(prog, dir.path() + "/master");
    ASSERT_TRUE(rebuild().ok);
    const auto uninterrupted = snapshot();

    QDir(prog).removeRecursively();
    copyTree(dir.path() + "/master", prog);
    ASSERT_TRUE(stopAt(*this, 2, [](service::FileStep step, const QString &) {
        return step == service::FileStep::Rename;
    }));
    const service::RebuildResult r = rebuild();
    ASSERT_TRUE(r.ok) << r.summary().toStdString();
    EXPECT_EQ(r.recovered, QStringLiteral("Предыдущее обслуживание БД за 2026 год было прервано и "
                                          "отменено: возвращено прежних таблиц: 1, бланков: 0; "
                                          "удалено недостроенных таблиц: 1."));
    EXPECT_EQ(r.tablesRebuilt, 2);
    EXPECT_EQ(snapshot(), uninterrupted);
}

// What is in a backup folder that the program cannot show it made, or in one
// of its own beside what it wrote there, and folders it cannot read: the
// rebuild stops before it changes anything and names what stopped it. The
// program then starts as usual, unless a run cut short stays undone: then
// it says why and ends.
TEST_F(ServiceTest, FoldersTheRebuildCannotAnswerForStopItBeforeAnythingChanges) {
    const QString backup = service::RebuildBackupDir(2026);
    auto put = [](const QString &path, const QByteArray &bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    const struct {
        const char *name;
        std::function<void(ServiceTest &)> make;
        QStringList named; // what the message names, below the backup folder or in full
        bool starts = true;
    } cases[] = {
        {"a table of an organisation from elsewhere",
         [&](ServiceTest &) {
             QDir().mkpath(backup + "D7");
             writeTable(backup + "D7", "F12026", kOldFields, rows({{1, 555}}));
         },
         {"D7/F12026.DBF"}},
        {"a DONE mark beside files of someone else",
         [&](ServiceTest &) {
             put(backup + "DONE", "");
             put(backup + "X/IMPORTANT.DBF", "important");
             put(backup + "X/readme.txt", "read me");
         },
         {"DONE", "X/IMPORTANT.DBF", "X/readme.txt"}},
        {"notes only", [&](ServiceTest &) { put(backup + "notes.txt", "notes"); }, {"notes.txt"}},
        {"a table of unknown place",
         [&](ServiceTest &t) {
             QDir().mkpath(backup + "X");
             ASSERT_TRUE(QFile::copy(t.org(7) + "F12026.DBF", backup + "X/F12026.DBF"));
         },
         {"X/F12026.DBF"}},
        {"a blank from elsewhere",
         [&](ServiceTest &) {
             QDir().mkpath(backup);
             writeTable(backup, "F1", kNewFields, rows({{1, 1}}));
         },
         {"F1.DBF"}},
        {"a folder inside the organisation folder of a run that was cut short",
         [&](ServiceTest &t) {
             ASSERT_TRUE(stopAt(t, 2, [](service::FileStep step, const QString &) {
                 return step == service::FileStep::Rename;
             }));
             QDir().mkpath(backup + "D7/SUB");
         },
         {"D7/SUB"},
         false},
        {"an organisation folder that cannot be read",
         [](ServiceTest &t) {
             t.school({1, 7, 20});
             QDir().mkpath(t.prog + "DBF");
             ASSERT_TRUE(QFile::link(t.prog + "DBF/D20", t.prog + "DBF/D20"));
         },
         {"DBF/D20"}},
        {"an organisation folder the system refuses to list",
         [](ServiceTest &) {
             service::setFileStepProbe([](service::FileStep step, const QString &path) {
                 if (step == service::FileStep::List && path.endsWith("DBF/D7/"))
                     throw FileError("Не удалось прочитать папку " + path + ": " +
                                     QString::fromLocal8Bit(std::strerror(EACCES)));
             });
         },
         {"DBF/D7/: " + QString::fromLocal8Bit(std::strerror(EACCES))}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        rebuildInstallation();
        c.make(*this);
        const auto before = snapshot();
        const service::RebuildResult r = rebuild();
        EXPECT_TRUE(r.ran);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.unchanged);
        EXPECT_TRUE(r.recovered.isEmpty()) << r.recovered.toStdString();
        for (const QString &name : c.named)
            EXPECT_TRUE(r.summary().contains(QDir::toNativeSeparators(name)))
                << name.toStdString() << ": " << r.summary().toStdString();
        EXPECT_FALSE(r.summary().contains(QStringLiteral("будут возвращены")))
            << r.summary().toStdString();
        EXPECT_EQ(snapshot(), before);

        MessageRecorder recorder;
        EXPECT_EQ(EnterInstallation(), c.starts);
        installation::Unlock();
        if (c.starts) {
            EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join('|').toStdString();
        } else {
            ASSERT_EQ(recorder.messages.size(), 1);
            EXPECT_EQ(recorder.messages[0].title, QStringLiteral("Ошибка"));
            EXPECT_TRUE(recorder.messages[0].text.contains(c.named[0]));
            EXPECT_TRUE(recorder.messages[0].text.endsWith(
                QStringLiteral("запустите программу снова.\rПрограмма будет закрыта.")))
                << recorder.messages[0].text.toStdString();
        }
        EXPECT_EQ(snapshot(), before);
        service::setFileStepProbe(nullptr);
    }
}

// The service window: a rebuild refused while another copy works is a
// warning; tables left half rebuilt end the program after the message.
TEST_F(ServiceTest, TheServiceWindowWarnsOfOtherCopiesAndEndsOnHalfRebuiltTables) {
    const struct {
        const char *name;
        bool otherCopy;
        QString title, ending;
        bool ends;
    } cases[] = {
        {"another copy at work", true, QStringLiteral("Предупреждение"),
         QStringLiteral("повторите обслуживание БД."), false},
        {"a run cut short that cannot be undone", false, QStringLiteral("Ошибка"),
         QStringLiteral("\rПрограмма будет закрыта."), true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        rebuildInstallation();
        std::optional<testsupport::CopyProcess> copy;
        if (c.otherCopy) {
            copy.emplace("service", QStringList{prog});
            ASSERT_EQ(copy->ask("hold"), "ok");
        } else {
            ASSERT_TRUE(stopAt(*this, 2, [](service::FileStep step, const QString &) {
                return step == service::FileStep::Rename;
            }));
            QDir().mkpath(service::RebuildBackupDir(2026) + "D7/SUB");
        }
        TServiceForm form;
        form.today = [] { return kToday; };
        bool ended = false;
        form.onMustEnd = [&] { ended = true; };
        MessageRecorder recorder;
        form.ButtonServiceClick();
        ASSERT_EQ(recorder.messages.size(), 1) << recorder.texts().join('|').toStdString();
        EXPECT_EQ(recorder.messages[0].title, c.title);
        EXPECT_TRUE(recorder.messages[0].text.endsWith(c.ending))
            << recorder.messages[0].text.toStdString();
        EXPECT_EQ(ended, c.ends);
    }
}

// A run stopped after it had put everything in place, as it removes what it
// kept: the next run only finishes the removal, and says no more than that.
TEST_F(ServiceTest, ARunStoppedAsItRemovesItsBackupIsOnlyCleanedUp) {
    rebuildInstallation();
    const QString backup = service::RebuildBackupDir(2026);
    ASSERT_TRUE(stopAt(*this, 1, [&](service::FileStep step, const QString &path) {
        return step == service::FileStep::RemoveFolder && QDir(path) == QDir(backup);
    }));
    const service::RebuildResult r = rebuild();
    ASSERT_TRUE(r.ok) << r.summary().toStdString();
    EXPECT_EQ(r.recovered,
              QStringLiteral("Удалена папка %1, оставшаяся от прерванного обслуживания БД за 2026 "
                             "год; возвращать на место ничего не потребовалось.")
                  .arg(QDir::toNativeSeparators(backup)));
    EXPECT_FALSE(QDir(backup).exists());
}

// A field only the old table has, holding a memo text, is named by that text.
TEST_F(ServiceTest, ARefusedMemoIsNamedByItsText) {
    rebuildInstallation();
    // Organisation 7's F1 with a memo field NOTE (dBASE III, Windows-1251)
    // whose row 2 holds "Пояснение" in block 1 of its memo file.
    QByteArray table = storetest::makeImage(
        {{"KODSTR", 'C', 5},
         {"NAME", 'C', 20},
         {"N1", 'N', 6, 2},
         {"N2", 'N', 5},
         {"NOTE", 'M', 10}},
        {" 1    " + std::string(20, ' ') + "  1.00",
         " 2    " + std::string(20, ' ') + "  2.00" + std::string(5, ' ') + "         1"},
        0x83);
    table[29] = char(0xC9);
    storetest::writeBytes(org(7) + "F12026.DBF", table);
    QByteArray block("\xCF\xEE\xFF\xF1\xED\xE5\xED\xE8\xE5\x1A\x1A");
    block.resize(512, '\0');
    QByteArray dbt(512, '\0');
    dbt[0] = 2; // the next free block
    storetest::writeBytes(org(7) + "F12026.DBT", dbt + block);
    ASSERT_EQ(readCell(org(7), "F12026", 2, "NOTE").toString(), QStringLiteral("Пояснение"));

    const auto before = snapshot();
    const service::RebuildResult r = rebuild();
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.summary().contains(
        QStringLiteral("Организация 7 «Школа 7», таблица F12026.DBF, строка 2, поле NOTE, значение "
                       "\"Пояснение\": такого поля нет в бланке OF1.DBF")))
        << r.summary().toStdString();
    EXPECT_EQ(snapshot(), before);
}

// The rebuild failed, or stopped as a crash would stop it, at each of its
// file operations in turn, and then run again: after the cut every table
// and blank is there, wholly old or wholly new; the run after it says what
// it put right and ends as a run that was never cut, with no file left over.
// A run that fails (rather than stops) puts everything back itself.
TEST_F(ServiceTest, ARebuildCutAtAnyStepIsRecoveredByTheNextRun) {
    // F1 with its blank, F3 with no blank: organisation 1 has F1, 7 both.
    rebuildInstallation();
    catalogue(2026, {"F1.DBF", "F2.DBF", "F3.DBF"});
    newBlank(kNewFields, "OF3");
    writeTable(org(7), "F32026", kOldFields, rows({{1, 3}}));
    const QString master = dir.path() + "/master";
    copyTree(prog, master);
    const auto old = snapshot();
    int steps = 0;
    service::setFileStepProbe([&](service::FileStep, const QString &) { ++steps; });
    ASSERT_TRUE(rebuild().ok);
    const auto done = snapshot();
    ASSERT_GT(steps, 20);

    // A run failed or stopped at its n-th step (none when 0): its result, or
    // nothing when it was stopped. Recovering counts the steps before the
    // run's own work, which begins by making a file or a folder.
    int recovering = 0;
    auto runCut = [&](int n, bool stop) -> std::optional<service::RebuildResult> {
        int seen = 0;
        recovering = -1;
        service::setFileStepProbe([&](service::FileStep step, const QString &) {
            if (recovering < 0 &&
                (step == service::FileStep::Write || step == service::FileStep::MakeFolder))
                recovering = seen;
            if (++seen == n && stop)
                throw Stopped();
            if (seen == n)
                throw FileError(QStringLiteral("Отказ диска"));
        });
        std::optional<service::RebuildResult> result;
        try {
            result = rebuild();
        } catch (const Stopped &) {
        }
        service::setFileStepProbe(nullptr);
        return result;
    };
    auto cutAt = [&](int n, bool stop) {
        QDir(prog).removeRecursively();
        copyTree(master, prog);
        return runCut(n, stop);
    };

    const struct {
        const char *name;
        bool stop;  // stopped as by a crash, or failed
        bool links; // backups by hard link, or copies
    } modes[] = {
        {"failed", false, true}, {"stopped", true, true}, {"stopped, copies", true, false}};
    for (const auto &mode : modes) {
        service::setHardLinksForTests(mode.links);
        for (int n = 1; n <= steps; ++n) {
            SCOPED_TRACE(std::string(mode.name) + " at step " + std::to_string(n));
            const std::optional<service::RebuildResult> first = cutAt(n, mode.stop);
            EXPECT_EQ(!first, mode.stop);
            const auto cut = snapshot();
            for (const QString &file : QStringList(old.keys()) + done.keys())
                EXPECT_TRUE(cut.value(file) == old.value(file) ||
                            cut.value(file) == done.value(file))
                    << file.toStdString();
            for (const char *blank : {"F1.DBF", "F3.DBF"})
                EXPECT_TRUE(cut.contains("WED/O" + QString(blank)) ||
                            cut.value("WED/" + QString(blank)) ==
                                done.value("WED/" + QString(blank)));
            if (first && !first->ok) {
                EXPECT_EQ(cut, old) << first->summary().toStdString();
            }

            const std::optional<service::RebuildResult> again = runCut(0, false);
            ASSERT_TRUE(again);
            EXPECT_TRUE(again->ok) << again->summary().toStdString();
            EXPECT_EQ(again->recovered.isEmpty(), cut == old || cut == done);
            EXPECT_EQ(snapshot(), done);

            // The recovery stopped in its turn at each of its steps, and
            // then finished by the run after it.
            const int recoverySteps = mode.stop && mode.links ? recovering : 0;
            for (int m = 1; m <= recoverySteps; ++m) {
                SCOPED_TRACE("recovery stopped at step " + std::to_string(m));
                cutAt(n, true);
                EXPECT_FALSE(runCut(m, true));
                EXPECT_TRUE(rebuild().ok);
                EXPECT_EQ(snapshot(), done);
            }
        }
    }
}

// The rebuild puts each step on the disk before the next one relies on it,
// as a journal is kept: the list and its folder before anything is kept or
// swapped, the second names of the old tables and blanks before the new ones
// take their names, every swap before the run is marked done, and the mark
// before anything kept is removed. A folder counts as not on the disk from
// a step that changes its names until it is synced.
TEST_F(ServiceTest, EachStepOfTheRebuildIsOnTheDiskBeforeTheNextReliesOnIt) {
    rebuildInstallation();
    // F3 has no blank: its restructure blank is kept in the folder NEW.
    catalogue(2026, {"F1.DBF", "F2.DBF", "F3.DBF"});
    newBlank(kNewFields, "OF3");
    writeTable(org(7), "F32026", kOldFields, rows({{1, 3}}));
    const QString backup = QDir::cleanPath(service::RebuildBackupDir(2026));
    const QString done = backup + "/DONE.TXT";
    QSet<QString> unsynced;
    QStringList late;
    int swaps = 0;
    bool keeping = false, marked = false, removing = false;
    // Folders not on the disk at a step that relies on them.
    auto mustBeSynced = [&](const QString &step, std::function<bool(const QString &)> which) {
        for (const QString &folder : unsynced)
            if (which(folder))
                late.append(folder + " (" + step + ")");
    };
    auto inBackup = [&](const QString &f) { return f == backup || f.startsWith(backup + "/"); };
    service::setFileStepProbe([&](service::FileStep step, const QString &path) {
        using service::FileStep;
        const QString clean = QDir::cleanPath(path);
        if (step == FileStep::Sync) {
            unsynced.remove(clean);
            return;
        }
        if (step == FileStep::List)
            return;
        if (step != FileStep::Write && clean.startsWith(backup + "/") && !keeping) {
            keeping = true;
            mustBeSynced("first kept", [&](const QString &f) {
                return f == backup || f == QDir::cleanPath(wed);
            });
        }
        if (step == FileStep::Rename && !inBackup(clean)) {
            ++swaps;
            mustBeSynced("swap " + clean, inBackup);
        }
        if (step == FileStep::Rename && clean == done) {
            marked = true;
            mustBeSynced("done", [](const QString &) { return true; });
        }
        if (step == FileStep::Remove && marked && !removing) {
            removing = true;
            mustBeSynced("first removed", [&](const QString &f) { return f == backup; });
        }
        unsynced.insert(QFileInfo(clean).path());
    });
    const service::RebuildResult r = rebuild();
    service::setFileStepProbe(nullptr);
    ASSERT_TRUE(r.ok) << r.summary().toStdString();
    EXPECT_EQ(swaps, 5); // three tables, two blanks
    EXPECT_TRUE(keeping && marked && removing);
    EXPECT_TRUE(late.isEmpty()) << late.join("\n").toStdString();
}

// ---- copies of the program on one installation ----

// Another copy of the program on the installation of its first argument.
// Commands: "hold" holds the installation as a running copy does until the
// copy ends ("ok" or "refused"); "look" holds it as a copy that starts holds
// it while it looks for a rebuild cut short, and "release" ends the look;
// "start" starts as the program does (EnterInstallation), stopping at each
// message it shows ("message", its title and text) until the test says go,
// and then says "entered" or "ended"; "rebuild STEP N" runs "Обслуживание БД"
// and, at its N-th file step of kind STEP, says "paused" and waits for a
// word ("rebuild STEP N fail": that step and every later one of its kind
// fail as a disk would); then it says "ok", or "failed" and why.
const bool kServiceRole = testsupport::registerCopyRole(
    "service", [](const QStringList &args, testsupport::CopyChannel &channel) {
        paths::setProgramDirForTests(args.value(0));
        return [&channel](const QStringList &w) {
            auto answer = [](installation::Conflict c) {
                return QString::fromLatin1(c == installation::Conflict::None ? "ok" : "refused");
            };
            if (w.value(0) == u"hold")
                return answer(installation::LockShared());
            if (w.value(0) == u"look")
                return answer(installation::LockExclusive());
            if (w.value(0) == u"release")
                return answer(installation::LockShared());
            if (w.value(0) == u"start") {
                const auto previous = msg::setMessageHandler([&channel](const msg::Request &r) {
                    channel.waitForTest(QStringLiteral("message ") + r.title +
                                        QStringLiteral(": ") + r.text);
                    return r.buttons == msg::Buttons::OkCancel ? msg::Answer::Cancel
                                                               : msg::Answer::Ok;
                });
                const bool entered = EnterInstallation();
                msg::setMessageHandler(previous);
                return QString::fromLatin1(entered ? "entered" : "ended");
            }
            const bool fail = w.value(3) == u"fail";
            service::setFileStepProbe(
                [&channel, fail, kind = w.value(1).toInt(), n = w.value(2).toInt(),
                 seen = 0](service::FileStep step, const QString &path) mutable {
                    if (int(step) != kind || ++seen < n)
                        return;
                    if (fail)
                        throw FileError(QStringLiteral("Не удалось переименовать файл ") + path +
                                        QStringLiteral(": ошибка ввода-вывода"));
                    if (seen == n)
                        channel.waitForTest(QStringLiteral("paused"));
                });
            const service::RebuildResult r = service::RebuildReportTables(kToday);
            return r.ok ? QStringLiteral("ok") : QStringLiteral("failed ") + r.summary();
        };
    });

// Another copy at work, or in the middle of its rebuild, or killed there;
// and what this copy then does: the rebuild, or the start of the program.
// Only one copy ever changes the tables, no copy works on tables that are
// half rebuilt, and nothing saved is lost.
TEST_F(ServiceTest, CopiesOfTheProgramOnOneInstallation) {
    using testsupport::CopyProcess;
    const QString others = QStringLiteral("Обслуживание БД за 2026 год не выполнено, таблицы и "
                                          "бланки не изменены:\r");
    const QString waitText =
        QStringLiteral("Другая копия программы сейчас выполняет обслуживание БД; пока оно не "
                       "закончится, работать с данными нельзя.\rНажмите OK, когда оно "
                       "закончится, или Отмена, чтобы закрыть программу.");
    enum class Other {
        AtWork,
        Rebuilding,
        Killed,
        Looking,               // holds the lock a moment as it starts
        HalfRebuiltAtStart,    // at its message on a run cut short it could not put right
        HalfRebuiltByAFailure, // its rebuild failed and could not be undone
    };
    // This copy starts while the other holds the installation: it is told,
    // chooses to end, and nothing has changed.
    auto toldAndEnds = [&](ServiceTest &t) {
        const auto before = t.snapshot();
        MessageRecorder recorder;
        recorder.answers = {msg::Answer::Cancel};
        EXPECT_FALSE(EnterInstallation());
        EXPECT_EQ(recorder.texts(), QStringList{waitText});
        EXPECT_EQ(installation::HeldLevel(), installation::Level::None);
        EXPECT_EQ(t.snapshot(), before);
    };
    // The other copy lets the installation go when this one pauses before
    // it tries again.
    auto releasedAtThePause = [](CopyProcess &copy) {
        installation::setPauseForTests([&copy, released = false]() mutable {
            if (!std::exchange(released, true)) {
                EXPECT_EQ(copy.ask("release"), "ok");
            }
        });
    };
    const struct {
        const char *name;
        Other other;
        std::function<void(ServiceTest &, CopyProcess &, const QString &)> then;
    } cases[] = {
        {"at work: the rebuild is refused", Other::AtWork,
         [&](ServiceTest &t, CopyProcess &, const QString &) {
             const auto before = t.snapshot();
             const service::RebuildResult r = t.rebuild();
             EXPECT_FALSE(r.ok);
             EXPECT_TRUE(r.refused);
             EXPECT_EQ(r.summary(), others + QStringLiteral("С этими данными работают другие "
                                                            "копии программы. Закройте их и "
                                                            "повторите обслуживание БД."));
             EXPECT_EQ(t.snapshot(), before);
         }},
        {"at work: this copy starts beside it", Other::AtWork,
         [&](ServiceTest &, CopyProcess &, const QString &) {
             MessageRecorder recorder;
             EXPECT_TRUE(EnterInstallation());
             EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join('|').toStdString();
             EXPECT_EQ(installation::HeldLevel(), installation::Level::Shared);
         }},
        {"rebuilding: a second rebuild is refused, the first one ends well", Other::Rebuilding,
         [&](ServiceTest &t, CopyProcess &copy, const QString &) {
             const auto before = t.snapshot();
             const service::RebuildResult r = t.rebuild();
             EXPECT_TRUE(r.refused);
             EXPECT_EQ(r.summary(), others + QStringLiteral("Другая копия программы сейчас "
                                                            "выполняет обслуживание БД."));
             EXPECT_EQ(t.snapshot(), before);
             copy.send("go");
             EXPECT_EQ(copy.answer(), "ok");
             EXPECT_EQ(names(store::DbfFile::fieldsOf(t.org(7) + "F12026.DBF")), names(kNewFields));
             EXPECT_FALSE(QDir(service::RebuildBackupDir(2026)).exists());
         }},
        {"rebuilding: this copy says so and ends", Other::Rebuilding,
         [&](ServiceTest &t, CopyProcess &copy, const QString &) {
             const auto before = t.snapshot();
             MessageRecorder recorder;
             recorder.answers = {msg::Answer::Cancel};
             EXPECT_FALSE(EnterInstallation());
             ASSERT_EQ(recorder.messages.size(), 1);
             EXPECT_EQ(recorder.messages[0].title, QStringLiteral("Предупреждение"));
             EXPECT_EQ(recorder.messages[0].text, waitText);
             EXPECT_EQ(recorder.messages[0].buttons, msg::Buttons::OkCancel);
             EXPECT_EQ(installation::HeldLevel(), installation::Level::None);
             EXPECT_EQ(t.snapshot(), before);
             copy.send("go");
             EXPECT_EQ(copy.answer(), "ok");
         }},
        {"rebuilding: this copy waits and starts once it is over", Other::Rebuilding,
         [&](ServiceTest &, CopyProcess &copy, const QString &) {
             QStringList asked;
             const auto previous = msg::setMessageHandler([&](const msg::Request &r) {
                 asked.append(r.text);
                 copy.send("go");
                 EXPECT_EQ(copy.answer(), "ok");
                 return msg::Answer::Ok;
             });
             EXPECT_TRUE(EnterInstallation());
             msg::setMessageHandler(previous);
             EXPECT_EQ(asked, QStringList{waitText});
             EXPECT_EQ(installation::HeldLevel(), installation::Level::Shared);
         }},
        {"killed: this copy puts the tables back as it starts, and a figure saved then is "
         "carried by the next rebuild",
         Other::Killed,
         [&](ServiceTest &t, CopyProcess &copy, const QString &) {
             copy.kill();
             MessageRecorder recorder;
             EXPECT_TRUE(EnterInstallation());
             ASSERT_EQ(recorder.messages.size(), 1);
             EXPECT_EQ(recorder.messages[0].title, QStringLiteral("Сообщение"));
             EXPECT_EQ(recorder.messages[0].text,
                       QStringLiteral("Предыдущее обслуживание БД за 2026 год было прервано и "
                                      "отменено: возвращено прежних таблиц: 2, бланков: 0; "
                                      "удалено недостроенных таблиц: 0."));
             EXPECT_EQ(names(store::DbfFile::fieldsOf(t.org(7) + "F12026.DBF")), names(kOldFields));
             EXPECT_FALSE(QDir(service::RebuildBackupDir(2026)).exists());
             testsupport::OpenTable(t.org(7), "F12026").set(2, "N1", 42.42);
             const service::RebuildResult r = t.rebuild();
             ASSERT_TRUE(r.ok) << r.summary().toStdString();
             EXPECT_TRUE(r.recovered.isEmpty()) << r.recovered.toStdString();
             EXPECT_EQ(testsupport::OpenTable(t.org(7), "F12026").num(2, "N1"), 42.42);
         }},
        {"at its message on a run cut short that it could not put right: this copy is told, "
         "and ends",
         Other::HalfRebuiltAtStart,
         [&](ServiceTest &t, CopyProcess &copy, const QString &) {
             toldAndEnds(t);
             copy.send("go");
             EXPECT_EQ(copy.answer(), "ended");
         }},
        {"after a rebuild that it could not undo: this copy is told, and the next start puts "
         "the tables back as promised",
         Other::HalfRebuiltByAFailure,
         [&](ServiceTest &t, CopyProcess &copy, const QString &failed) {
             EXPECT_TRUE(failed.contains(QStringLiteral("Не удалось отменить обслуживание БД за "
                                                        "2026 год")))
                 << failed.toStdString();
             EXPECT_FALSE(failed.contains(QStringLiteral("Предыдущее"))) << failed.toStdString();
             EXPECT_TRUE(failed.endsWith(QStringLiteral("Они будут возвращены на место при "
                                                        "следующем запуске программы.")))
                 << failed.toStdString();
             toldAndEnds(t);
             copy.kill(); // the program ends
             MessageRecorder recorder;
             EXPECT_TRUE(EnterInstallation());
             EXPECT_EQ(recorder.texts(),
                       QStringList{QStringLiteral(
                           "Предыдущее обслуживание БД за 2026 год было прервано и отменено: "
                           "возвращено прежних таблиц: 1, бланков: 0; удалено недостроенных "
                           "таблиц: 1.")});
             EXPECT_EQ(names(store::DbfFile::fieldsOf(t.org(7) + "F12026.DBF")), names(kOldFields));
         }},
        {"looking as it starts: this copy tries again and starts beside it", Other::Looking,
         [&](ServiceTest &, CopyProcess &copy, const QString &) {
             releasedAtThePause(copy);
             MessageRecorder recorder;
             recorder.answers = {msg::Answer::Cancel}; // were it told to wait, it would end
             EXPECT_TRUE(EnterInstallation());
             EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join('|').toStdString();
             EXPECT_EQ(installation::HeldLevel(), installation::Level::Shared);
         }},
        {"looking as it starts: the rebuild tries again, and is refused for a copy at work",
         Other::Looking,
         [&](ServiceTest &t, CopyProcess &copy, const QString &) {
             releasedAtThePause(copy);
             const service::RebuildResult r = t.rebuild();
             EXPECT_TRUE(r.refused);
             EXPECT_EQ(r.summary(), others + QStringLiteral("С этими данными работают другие "
                                                            "копии программы. Закройте их и "
                                                            "повторите обслуживание БД."));
         }},
        {"killed, and its backup folder brought back later by an old copy of WED: the start "
         "names the table that changed since, puts nothing back and ends",
         Other::Killed,
         [&](ServiceTest &t, CopyProcess &copy, const QString &) {
             copy.kill();
             const QString old = t.dir.path() + "/old WED";
             copyTree(t.wed, old);
             {
                 MessageRecorder recorder;
                 ASSERT_TRUE(EnterInstallation()); // puts the tables back
                 installation::Unlock();
             }
             ASSERT_TRUE(t.rebuild().ok);
             testsupport::OpenTable(t.org(7), "F12026").set(2, "N1", 9999);
             QDir(t.wed).removeRecursively();
             copyTree(old, t.wed);
             const auto before = t.snapshot();
             MessageRecorder recorder;
             EXPECT_FALSE(EnterInstallation());
             ASSERT_EQ(recorder.messages.size(), 1);
             EXPECT_EQ(recorder.messages[0].title, QStringLiteral("Ошибка"));
             EXPECT_TRUE(recorder.messages[0].text.contains(
                 QDir::toNativeSeparators(t.org(7) + "F12026.DBF")))
                 << recorder.messages[0].text.toStdString();
             EXPECT_EQ(t.snapshot(), before);
             EXPECT_EQ(testsupport::OpenTable(t.org(7), "F12026").num(2, "N1"), 9999);
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        rebuildInstallation();
        // The other copy: at work, looking, or in its rebuild (stopped before
        // its first file step, or after it has put its second table in
        // place), or at what a run cut short left.
        if (c.other == Other::HalfRebuiltAtStart) {
            ASSERT_TRUE(stopAt(*this, 2, [](service::FileStep step, const QString &) {
                return step == service::FileStep::Rename;
            }));
            QDir().mkpath(service::RebuildBackupDir(2026) + "D7/SUB");
        }
        CopyProcess copy("service", {prog});
        const int rename = int(service::FileStep::Rename);
        const QMap<Other, std::pair<QString, QString>> start = {
            {Other::AtWork, {"hold", "ok"}},
            {Other::Looking, {"look", "ok"}},
            {Other::Rebuilding,
             {QStringLiteral("rebuild %1 1").arg(int(service::FileStep::MakeFolder)), "paused"}},
            {Other::Killed, {QStringLiteral("rebuild %1 3").arg(rename), "paused"}},
            {Other::HalfRebuiltAtStart, {"start", "message Ошибка: *Программа будет закрыта."}},
            {Other::HalfRebuiltByAFailure,
             {QStringLiteral("rebuild %1 2 fail").arg(rename), "failed *"}},
        };
        const QString answer = copy.ask(start[c.other].first);
        const QStringList expected = start[c.other].second.split(u'*');
        ASSERT_TRUE(answer.startsWith(expected.first()) && answer.endsWith(expected.last()))
            << answer.toStdString();
        c.then(*this, copy, answer);
        installation::setPauseForTests([] {});
        installation::Unlock();
    }
}

// A copy of another login on the same installation (a user who may write
// the period folder, or not): it holds the lock, so that a rebuild here is
// refused while it works, or it says why it cannot and ends, writing
// nothing. Needs root, to run the copy as another user.
TEST_F(ServiceTest, ACopyOfAnotherLoginHoldsTheLockOrEnds) {
    using testsupport::CopyProcess;
    constexpr unsigned kOtherUser = 65534;
    QString program;
    ASSERT_TRUE(QFile::setPermissions(
        dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                        QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
    if (const QString why = testsupport::copyAsUserProblem(kOtherUser, dir.path(), program);
        !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const mode_t umaskBefore = ::umask(022);
    const QString lock = wed + "KVR.LCK";
    const QString refused = QStringLiteral(
        "Обслуживание БД за 2026 год не выполнено, таблицы и бланки не изменены:\rС этими данными "
        "работают другие копии программы. Закройте их и повторите обслуживание БД.");
    const struct {
        const char *name;
        std::function<void(ServiceTest &)> make;
        bool enters;
    } cases[] = {
        {"the lock file made by this version, in a period folder both may write",
         [&](ServiceTest &) {
             ::chmod(QFile::encodeName(wed).constData(), 0777);
             MessageRecorder recorder;
             ASSERT_TRUE(EnterInstallation());
             installation::Unlock();
         },
         true},
        {"the lock file an older version made for its maker only",
         [&](ServiceTest &) {
             ::chmod(QFile::encodeName(wed).constData(), 0777);
             QFile f(lock);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             ::chmod(QFile::encodeName(lock).constData(), 0644);
         },
         true},
        {"no lock file yet, in a period folder only its owner may write", [](ServiceTest &) {},
         false},
        {"the lock file made for its maker only, and a rebuild cut short",
         [&](ServiceTest &t) {
             ASSERT_TRUE(stopAt(t, 2, [](service::FileStep step, const QString &) {
                 return step == service::FileStep::Rename;
             }));
             installation::Unlock();
             ::chmod(QFile::encodeName(lock).constData(), 0644);
         },
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        rebuildInstallation();
        c.make(*this);
        const auto before = snapshot();
        CopyProcess copy("service", {prog}, kOtherUser, program);
        if (c.enters) {
            EXPECT_EQ(copy.ask("start"), "entered");
            const service::RebuildResult r = rebuild();
            EXPECT_EQ(r.summary(), refused);
        } else {
            const QString shown = copy.ask("start");
            EXPECT_TRUE(shown.startsWith(QStringLiteral("message Ошибка: ")) &&
                        shown.contains(QDir::toNativeSeparators(lock)) &&
                        shown.endsWith(QStringLiteral("Программа будет закрыта.")))
                << shown.toStdString();
            copy.send("go");
            EXPECT_EQ(copy.answer(), "ended");
        }
        EXPECT_EQ(snapshot(), before);
        installation::Unlock();
    }
    ::umask(umaskBefore);
}

} // namespace
