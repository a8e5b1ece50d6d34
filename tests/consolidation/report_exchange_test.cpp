// Sending and receiving consolidations through an exchange folder, on a small
// installation of real dBASE files: the identity file byte for byte, the
// message on the copied reports, every refusal of sending and receiving, and
// a table of hostile exchange folders, none of which may change the
// organisation's data folder.

#include "consolidation/ReportExchange.h"
#include "shell/Paths.h"
#include "store/Cp1251.h"
#include "store/Dataset.h"
#include "store/SaveFile.h"
#include "support/TableBuilder.h"
#include "support/TwoCopies.h"
#include "support/WithoutFileRights.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using exchange::Outcome;
using testsupport::Record;
using testsupport::writeTable;

namespace {

// A copy of the program that has begun to write the file of its argument and
// stands there, its temporary file locked, until the test kills it.
const bool kWriteRole =
    testsupport::registerCopyRole("write", [](const QStringList &args, testsupport::CopyChannel &) {
        auto file = std::make_shared<store::SaveFile>(args.value(0));
        if (!file->open() || !file->write(QByteArray(4096, 'x')))
            throw std::runtime_error("cannot write");
        return [file](const QStringList &) { return QStringLiteral("ok"); };
    });

const int kYear = 2017;
const QString kInn = QStringLiteral("0275001234");
const QString kSender = QStringLiteral("Отдел образования г. Уфы");

QVector<store::FieldDef> reportFields(int columns) {
    QVector<store::FieldDef> f{
        {"KODSTR", 'C', 6, 0}, {"NAME", 'C', 60, 0}, {"KODN", 'N', 5, 0}, {"KODPOKAZ", 'N', 5, 0}};
    for (int n = 1; n <= columns; ++n)
        f << store::FieldDef{QStringLiteral("N%1").arg(n), 'N', 12, 2};
    return f;
}

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

// Every file of a folder (hidden ones too) with its content.
QMap<QString, QByteArray> snapshot(const QString &folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), readAll(path));
    }
    return files;
}

QStringList texts(const QList<msg::Request> &messages) {
    QStringList t;
    for (const msg::Request &m : messages)
        t << m.title + QStringLiteral(": ") + m.text;
    return t;
}

// A program folder with SCHOOL, REGIM, the catalogue of 2017 with the reports
// F1 (3 columns) and F3A (5 columns), their blanks, and the consolidations of
// set 1; an empty exchange folder beside it.
class ExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        program = tmp.path() + QStringLiteral("/kvr/");
        wed = program + QStringLiteral("WED/");
        set1 = program + QStringLiteral("DBF/S20171/");
        exch = tmp.path() + QStringLiteral("/exchange");
        for (const QString &d : {wed, set1, exch})
            ASSERT_TRUE(QDir().mkpath(d));

        writeTable(program, QStringLiteral("REGIM"), {{"BANK", 'C', 60, 0}, {"INNO", 'C', 12, 0}},
                   {{{"BANK", kSender}, {"INNO", kInn}}});
        writeTable(program, QStringLiteral("SCHOOL"),
                   {{"KOD", 'N', 5, 0}, {"NAME", 'C', 60, 0}, {"INN_O", 'C', 12, 0}},
                   {{{"KOD", 5}, {"NAME", QStringLiteral("Школа №5")}, {"INN_O", kInn}},
                    {{"KOD", 6}, {"NAME", QStringLiteral("Школа без ИНН")}, {"INN_O", QString()}}});
        writeCatalogue({{"F1.DBF", "Ф-1"}, {"F3A.DBF", "Ф-3А"}});
        store::DbfFile::create(wed + QStringLiteral("F1.DBF"), reportFields(3));
        store::DbfFile::create(wed + QStringLiteral("F3A.DBF"), reportFields(5));
        writeReport(set1, QStringLiteral("F12017"), 3, 100);
        writeReport(set1, QStringLiteral("F3A2017"), 5, 200);
    }

    // OTHE2017 with one record per (FAIL, FORMA), KOD counting from 1.
    void writeCatalogue(const QList<QPair<QString, QString>> &reports) {
        QList<Record> records;
        int kod = 0;
        for (const auto &[fail, forma] : reports)
            records.append({{"KOD", ++kod},
                            {"NAME", QStringLiteral("Отчет ") + forma},
                            {"FORMA", forma},
                            {"FAIL", fail},
                            {"GRUPPA", 2}});
        writeTable(wed, QStringLiteral("OTHE2017"),
                   {{"KOD", 'N', 5, 0},
                    {"NAME", 'C', 60, 0},
                    {"FORMA", 'C', 20, 0},
                    {"FAIL", 'C', 12, 0},
                    {"GRUPPA", 'N', 3, 0}},
                   records);
    }

    // A report table of two rows whose N1 holds `value`.
    void writeReport(const QString &folder, const QString &table, int columns, double value) {
        writeTable(folder, table, reportFields(columns),
                   {{{"KODSTR", "01"}, {"NAME", QStringLiteral("Всего")}, {"N1", value}},
                    {{"KODSTR", "02"}, {"NAME", QStringLiteral("в т.ч.")}, {"N1", value / 2}}});
    }

    exchange::SendParams sendParams() {
        exchange::SendParams p;
        p.year = kYear;
        p.programDir = program;
        p.wedDir = wed;
        p.set1Dir = set1;
        p.exchangeDir = exch;
        p.buildAll = [this] {
            ++builds;
            return exchange::BuildAllOutcome{};
        };
        return p;
    }

    exchange::ReceiveParams receiveParams(int org = 5) {
        exchange::ReceiveParams p;
        p.year = kYear;
        p.orgCode = org;
        p.programDir = program;
        p.wedDir = wed;
        p.orgDataDir = program + QStringLiteral("DBF/D%1/").arg(org);
        p.exchangeDir = exch;
        return p;
    }

    // The organisation's folder holding an old F1 of its own.
    QString orgWithOldReport(int org = 5) {
        const QString dir = program + QStringLiteral("DBF/D%1/").arg(org);
        EXPECT_TRUE(QDir().mkpath(dir));
        writeReport(dir, QStringLiteral("F12017"), 3, 1);
        return dir;
    }

    // The exchange folder as a sending leaves it.
    void fillExchange(const QByteArray &reg) {
        QFile::copy(set1 + QStringLiteral("F12017.DBF"), exch + QStringLiteral("/F12017.DBF"));
        QFile::copy(set1 + QStringLiteral("F3A2017.DBF"), exch + QStringLiteral("/F3A2017.DBF"));
        writeBytes(exch + QStringLiteral("/reg.txt"), reg);
    }
    QByteArray goodReg() { return exchange::IdentityFileContents(kInn, kSender); }

    QString identityMessage(const QString &ending) {
        return QStringLiteral("Ошибка: Нет возможности проверить ИНН организации, сдающей сводные "
                              "отчеты!\r\rФайл данных организации ") +
               exch + QStringLiteral("/reg.txt") + ending;
    }

    QTemporaryDir tmp;
    QString program, wed, set1, exch;
    int builds = 0;
};

const QString kBothCopied =
    QStringLiteral("Сообщение: Были скопированы следующие отчеты:  Ф-1, \r Ф-3А.");

// --- the identity file ----------------------------------------------------------

TEST(IdentityFile, IsTwoCp1251LinesEachEndedByCrLf) {
    const QByteArray bytes =
        exchange::IdentityFileContents(QStringLiteral("0275 "), QStringLiteral("Школа"));
    EXPECT_EQ(bytes, QByteArray("0275 \r\n\xD8\xEA\xEE\xEB\xE0\r\n"));
}

TEST(IdentityFile, SplitsAtCrLfOrCrLfAndIgnoresTheFinalBreak) {
    const struct {
        QByteArray text;
        QStringList lines;
    } cases[] = {
        {"", {}},
        {"1", {"1"}},
        {"1\r\n", {"1"}},
        {"1\r\n2\r\n", {"1", "2"}},
        {"1\r2", {"1", "2"}},
        {"1\n2\n", {"1", "2"}},
        {"1\r\n\r\n", {"1", ""}},
        {"\r\n2", {"", "2"}},
        {"1\n\r2", {"1", "", "2"}},
        {"1\r\n\xD8\r\n3", {"1", QStringLiteral("Ш"), "3"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(exchange::IdentityFileLines(c.text), c.lines) << c.text.toStdString();
}

TEST(IdentityFile, AnEmptyInnNeverMatches) {
    const struct {
        const char *reg, *org;
        bool match;
    } cases[] = {
        {"0275", "0275", true}, {"0275 ", "0275", false}, {"0275", " 0275", false}, {"", "", false},
        {"  ", "  ", false},    {"0275", "", false},      {"", "0275", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(exchange::InnMatches(c.reg, c.org), c.match) << c.reg << "|" << c.org;
}

// --- the message on the copied reports --------------------------------------------

TEST(CopiedReportsText, PutsACrAtPositionsOneSixElevenAndCutsTheLastComma) {
    EXPECT_EQ(exchange::CopiedReportsText({{2, "A"}, {3, "B"}, {7, "C"}}, 8),
              QStringLiteral("Были скопированы следующие отчеты: \r A,  B, \r C."));
    EXPECT_EQ(exchange::CopiedReportsText({{1, "A"}}, 1),
              QStringLiteral("Были скопированы следующие отчеты:  A,."));
    EXPECT_EQ(exchange::CopiedReportsText({{6, "F"}}, 6),
              QStringLiteral("Были скопированы следующие отчеты: \r F,."));
    EXPECT_EQ(exchange::CopiedReportsText({}, 8),
              QStringLiteral("Не было скопировано ни одного отчета. Нет файлов."));
}

TEST_F(ExchangeTest, ACatalogueOfMoreThan1001ReportsListsEveryCopiedOne) {
    QList<QPair<QString, QString>> reports;
    for (int i = 1; i <= 1010; ++i)
        reports.append({i >= 1005 ? QStringLiteral("R%1.DBF").arg(i) : QString(),
                        QStringLiteral("P%1").arg(i)});
    writeCatalogue(reports);
    for (int i : {1005, 1010})
        writeReport(set1, QStringLiteral("R%1%2").arg(i).arg(kYear), 3, i);

    exchange::CopyParams p{kYear, wed, set1, exch, false};
    const exchange::CopyOutcome r = exchange::CopyReports(p);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.catalogueRecords, 1010);
    EXPECT_EQ(r.copied, (QMap<int, QString>{{1005, "P1005"}, {1010, "P1010"}}));
    ASSERT_EQ(r.messages.size(), 1);
    EXPECT_EQ(r.messages[0].text, QStringLiteral("Были скопированы следующие отчеты: ") +
                                      QString(201, '\r') + QStringLiteral(" P1005, \r P1010."));
}

// --- sending ------------------------------------------------------------------------

TEST_F(ExchangeTest, SendingCopiesTheSetOneTablesByteForByteAndWritesTheIdentityFile) {
    writeBytes(exch + QStringLiteral("/F12017.DBF"), "old and longer than nothing");
    const Outcome r = exchange::SendReports(sendParams());
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(builds, 1);
    EXPECT_EQ(texts(r.messages), QStringList{kBothCopied});
    for (const QString t : {"F12017.DBF", "F3A2017.DBF"})
        EXPECT_EQ(readAll(exch + "/" + t), readAll(set1 + t)) << t.toStdString();
    EXPECT_EQ(readAll(exch + QStringLiteral("/reg.txt")),
              QByteArray("0275001234\r\n"
                         "\xCE\xF2\xE4\xE5\xEB \xEE\xE1\xF0\xE0\xE7\xEE\xE2\xE0\xED\xE8\xFF "
                         "\xE3. \xD3\xF4\xFB\r\n"));
    EXPECT_EQ(snapshot(exch).keys(), QStringList({"F12017.DBF", "F3A2017.DBF", "reg.txt"}));
}

TEST_F(ExchangeTest, SendingWithoutRequisitesBuildsNothingAndWritesNoIdentityFile) {
    for (const Record &regim :
         QList<Record>{{{"BANK", " "}, {"INNO", kInn}}, {{"BANK", kSender}, {"INNO", QString()}}}) {
        writeTable(program, QStringLiteral("REGIM"), {{"BANK", 'C', 60, 0}, {"INNO", 'C', 12, 0}},
                   {regim});
        const Outcome r = exchange::SendReports(sendParams());
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(texts(r.messages),
                  QStringList{QStringLiteral(
                      "Сообщение: Не заполнены данные о Наименовании и ИНН организации!\r\r"
                      "Зайдите в \"Настройка\" -> \"Реквизиты\" и заполните данные по "
                      "организации.")});
        EXPECT_EQ(r.messages[0].icon, msg::Icon::Warning);
    }
    QFile::remove(program + QStringLiteral("REGIM.DBF"));
    EXPECT_FALSE(exchange::SendReports(sendParams()).ok);
    EXPECT_EQ(builds, 0);
    EXPECT_TRUE(snapshot(exch).isEmpty());
}

TEST_F(ExchangeTest, SendingToAMissingFolderOrToTheConsolidationsThemselvesBuildsNothing) {
    exchange::SendParams p = sendParams();
    p.exchangeDir = tmp.path() + QStringLiteral("/nowhere");
    Outcome r = exchange::SendReports(p);
    EXPECT_EQ(texts(r.messages),
              QStringList{QStringLiteral("Ошибка: Директория, куда необходимо записать данные не "
                                         "найдена!\r\rДиректория ") +
                          p.exchangeDir + QStringLiteral(" не найдена.")});

    const QByteArray before = readAll(set1 + QStringLiteral("F12017.DBF"));
    for (const QString &same : {set1, program + QStringLiteral("DBF/../DBF/S20171")}) {
        p.exchangeDir = same;
        r = exchange::SendReports(p);
        EXPECT_FALSE(r.ok);
        ASSERT_EQ(r.messages.size(), 1);
        EXPECT_TRUE(r.messages[0].text.startsWith(
            QStringLiteral("Директория, куда необходимо записать данные, является директорией "
                           "сводных отчетов!")));
    }
    EXPECT_EQ(builds, 0);
    EXPECT_EQ(readAll(set1 + QStringLiteral("F12017.DBF")), before);
    EXPECT_FALSE(QFile::exists(set1 + QStringLiteral("reg.txt")));
}

TEST_F(ExchangeTest, SendingIntoTheProgramsOwnDataTreeIsRefusedBeforeAnythingIsBuilt) {
    const QString own = orgWithOldReport();
    ASSERT_TRUE(QDir().mkpath(program + QStringLiteral("DBF/D6")));
    ASSERT_TRUE(QDir().mkpath(wed + QStringLiteral("BLANK")));
    ASSERT_TRUE(QFile::link(program + QStringLiteral("DBF/D5"), tmp.path() + "/to-d5"));
    // Folders of the tree that are links to folders elsewhere.
    const QString elsewhere = tmp.path() + QStringLiteral("/d7 elsewhere");
    const QString templates = tmp.path() + QStringLiteral("/templates");
    const QString archived = tmp.path() + QStringLiteral("/archive of 2");
    for (const QString &d : {elsewhere, templates, archived})
        ASSERT_TRUE(QDir().mkpath(d));
    writeReport(elsewhere, QStringLiteral("F12017"), 3, 7);
    ASSERT_TRUE(QFile::link(elsewhere, program + QStringLiteral("DBF/D7")));
    ASSERT_TRUE(QFile::link(templates, wed + QStringLiteral("PRINT")));
    // The archive: organisation 1's tables, and organisation 2's in a folder
    // that a link takes it to.
    const QString arx = program + QStringLiteral("ARX");
    ASSERT_TRUE(QDir().mkpath(arx + QStringLiteral("/D1")));
    writeReport(arx + QStringLiteral("/D1"), QStringLiteral("F12017"), 3, 1);
    writeReport(archived, QStringLiteral("F12017"), 3, 2);
    ASSERT_TRUE(QFile::link(archived, arx + QStringLiteral("/D2")));
    ASSERT_TRUE(QFile::link(arx + QStringLiteral("/D1"), tmp.path() + "/to-arx-d1"));
    const auto before = snapshot(program);
    const auto elsewhereBefore = snapshot(elsewhere);
    const auto archivedBefore = snapshot(archived);
    const QString data = QStringLiteral("в папке данных программы");
    const QString archive = QStringLiteral("в архиве программы");
    exchange::SendParams p = sendParams();
    const QList<QPair<QString, QString>> refused = {
        {own, data},
        {program + QStringLiteral("DBF"), data},
        {wed, data},
        {wed + QStringLiteral("BLANK"), data},
        {tmp.path() + QStringLiteral("/to-d5"), data},
        {wed + QStringLiteral("../DBF/D6"), data},
        {elsewhere, data},
        {templates, data},
        {elsewhere + QStringLiteral("/../d7 elsewhere"), data},
        {arx, archive},
        {arx + QStringLiteral("/D1"), archive},
        {wed + QStringLiteral("../ARX/D1/"), archive},
        {tmp.path() + QStringLiteral("/to-arx-d1"), archive},
        {archived, archive},
    };
    for (const auto &[dir, where] : refused) {
        SCOPED_TRACE(dir.toStdString());
        p.exchangeDir = dir;
        const Outcome r = exchange::SendReports(p);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(texts(r.messages),
                  QStringList{QStringLiteral("Ошибка: Директория, куда необходимо записать "
                                             "данные, находится ") +
                              where + QStringLiteral("!\r\rДиректория ") + dir +
                              QStringLiteral(" не может быть выбрана. Укажите другую "
                                             "директорию.")});
    }
    EXPECT_EQ(builds, 0);
    EXPECT_EQ(snapshot(program), before);
    EXPECT_EQ(snapshot(elsewhere), elsewhereBefore);
    EXPECT_EQ(snapshot(archived), archivedBefore);
    EXPECT_TRUE(snapshot(templates).isEmpty());
}

TEST_F(ExchangeTest, SendingReplacesLinksAndOtherNonFilesAndNeverWritesOutsideTheFolder) {
    const QString own = orgWithOldReport();
    const QString outside = tmp.path() + QStringLiteral("/outside.txt");
    const QString absent = tmp.path() + QStringLiteral("/absent.DBF");
    const QString pipe = tmp.path() + QStringLiteral("/outside.pipe");
    bool pipeMade = false;
    const std::function<void()> layouts[] = {
        [&] { // links: to another organisation's report, in another letter case, to nothing
            QFile::link(own + "F12017.DBF", exch + "/F12017.DBF");
            QFile::link(outside, exch + "/f3a2017.dbf");
            QFile::link(absent, exch + "/reg.txt");
        },
        [&] { // a pipe and an empty folder
            ASSERT_EQ(mkfifo(QFile::encodeName(exch + "/F12017.DBF"), 0600), 0);
            QDir().mkpath(exch + "/F3A2017.DBF");
        },
        [&] { // a folder holding a file, which is kept
            QDir().mkpath(exch + "/F12017.DBF");
            writeBytes(exch + "/F12017.DBF/kept", "user's file");
        },
        [&] { // an old identity file beside one in another letter case that links to nothing
            writeBytes(exch + "/REG.TXT", "old identity");
            QFile::link(absent, exch + "/reg.txt");
        },
        [&] { // ... or to a pipe outside the folder
            ASSERT_EQ(mkfifo(QFile::encodeName(pipe), 0600), 0);
            pipeMade = true;
            writeBytes(exch + "/Reg.Txt", "old identity");
            QFile::link(pipe, exch + "/reg.txt");
        },
    };
    for (const auto &lay : layouts) {
        QDir(exch).removeRecursively();
        QDir().mkpath(exch);
        writeBytes(outside, "outside");
        lay();
        const auto programBefore = snapshot(program);
        const Outcome r = exchange::SendReports(sendParams());
        EXPECT_EQ(snapshot(program), programBefore);
        EXPECT_EQ(readAll(outside), QByteArray("outside"));
        EXPECT_FALSE(QFileInfo::exists(absent));
        if (pipeMade) {
            struct stat st;
            EXPECT_EQ(::lstat(QFile::encodeName(pipe).constData(), &st), 0);
            EXPECT_TRUE(S_ISFIFO(st.st_mode));
        }
        if (QFileInfo::exists(exch + "/F12017.DBF/kept")) {
            EXPECT_FALSE(r.ok);
            EXPECT_TRUE(texts(r.messages)[0].startsWith(
                QStringLiteral("Ошибка: Не удалось скопировать отчет F12017.DBF!")));
            continue;
        }
        EXPECT_TRUE(r.ok) << texts(r.messages).join("\n").toStdString();
        for (const QFileInfo &f :
             QDir(exch).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            EXPECT_TRUE(f.isFile() && !f.isSymLink()) << f.fileName().toStdString();
            EXPECT_EQ(readAll(f.filePath()), f.fileName() == "reg.txt"
                                                 ? goodReg()
                                                 : readAll(set1 + f.fileName().toUpper()));
        }
    }
}

TEST_F(ExchangeTest, AFailedBuildStopsTheSendingNamingTheReport) {
    exchange::SendParams p = sendParams();
    p.buildAll = [] {
        exchange::BuildAllOutcome o;
        o.ok = false;
        o.failedReport = QStringLiteral("Отчет Ф-3А");
        o.error = QStringLiteral("Нет бланка F3A.DBF.");
        return o;
    };
    const Outcome r = exchange::SendReports(p);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(texts(r.messages),
              QStringList{QStringLiteral("Ошибка: Не удалось подготовить сводный отчет \"Отчет "
                                         "Ф-3А\"!\r\rНет бланка F3A.DBF.\r\rОтчеты не переданы.")});
    EXPECT_TRUE(snapshot(exch).isEmpty());
}

TEST_F(ExchangeTest, SendingWithoutConsolidationsOrCatalogueStillWritesTheIdentityFile) {
    // The set-1 folder was never made.
    exchange::SendParams p = sendParams();
    p.set1Dir = program + QStringLiteral("DBF/S20991/");
    Outcome r = exchange::SendReports(p);
    EXPECT_EQ(texts(r.messages), QStringList{QStringLiteral("Ошибка: Нет отчетов за данный "
                                                            "период!\r\rДиректория ") +
                                             program + QStringLiteral("DBF/S20991 не найдена.")});
    EXPECT_TRUE(snapshot(exch).isEmpty());

    // The folder holds none of the catalogue's tables.
    QFile::remove(set1 + QStringLiteral("F12017.DBF"));
    QFile::remove(set1 + QStringLiteral("F3A2017.DBF"));
    r = exchange::SendReports(sendParams());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(texts(r.messages),
              QStringList{
                  QStringLiteral("Сообщение: Не было скопировано ни одного отчета. Нет файлов.")});
    EXPECT_EQ(readAll(exch + QStringLiteral("/reg.txt")), goodReg());

    // No catalogue of the year: told after the build.
    QFile::remove(wed + QStringLiteral("OTHE2017.DBF"));
    r = exchange::SendReports(sendParams());
    EXPECT_TRUE(r.built);
    EXPECT_EQ(texts(r.messages),
              QStringList{QStringLiteral("Сообщение: В базе нет данных за этот период!")});
}

// A file that cannot be written is named with the system's reason, in Russian.
TEST_F(ExchangeTest, SendingThatCannotWriteSaysWhyInRussian) {
    // A folder, which keeps a file of the user's, under the identity file's name:
    // refused before anything is written, and left as it is.
    ASSERT_TRUE(QDir().mkpath(exch + QStringLiteral("/reg.txt")));
    writeBytes(exch + QStringLiteral("/reg.txt/kept"), "user's file");
    Outcome r = exchange::SendReports(sendParams());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(texts(r.messages),
              QStringList({kBothCopied, QStringLiteral("Ошибка: ") + exch +
                                            QStringLiteral("/reg.txt не является файлом и не "
                                                           "может быть заменен.")}));
    EXPECT_EQ(readAll(exch + QStringLiteral("/reg.txt/kept")), QByteArray("user's file"));

    // An exchange folder the user may not write to.
    QDir(exch).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(exch));
    ASSERT_TRUE(QFile::setPermissions(tmp.path(), QFileDevice::Permissions(0x7555)));
    ASSERT_TRUE(QFile::setPermissions(exch, QFileDevice::Permissions(0x5555))); // r-x
    {
        testsupport::WithoutFileRights unprivileged;
        r = exchange::SendReports(sendParams());
    }
    QFile::setPermissions(exch, QFileDevice::Permissions(0x7755));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(texts(r.messages),
              QStringList{QStringLiteral("Ошибка: Не удалось скопировать отчет F12017.DBF!\r\r"
                                         "Не удалось создать файл ") +
                          exch + QStringLiteral("/F12017.DBF: отказано в доступе")});
    EXPECT_TRUE(snapshot(exch).isEmpty());
}

// --- receiving -------------------------------------------------------------------------

TEST_F(ExchangeTest, ReceivingCopiesTheTablesAfterEveryCheckAndTwiceGivesTheSame) {
    fillExchange(goodReg());
    const QString target = program + QStringLiteral("DBF/D5/");
    ASSERT_FALSE(QFileInfo::exists(target));
    // A receive into the new folder killed while it wrote F3A2017.DBF, which
    // never stood there: its temporary file goes with the next receive.
    paths::setProgramDirForTests(program);
    const auto restore = qScopeGuard([] { paths::setProgramDirForTests(QString()); });
    ASSERT_TRUE(QDir().mkpath(target));
    {
        testsupport::CopyProcess killed("write", {target + QStringLiteral("F3A2017.DBF")});
        killed.kill();
    }
    ASSERT_EQ(QDir(target).entryList(QDir::Files).size(), 1);
    for (int round = 0; round < 2; ++round) {
        const Outcome r = exchange::ReceiveReports(receiveParams());
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(texts(r.messages), QStringList{kBothCopied});
        EXPECT_EQ(readAll(target + QStringLiteral("F3A2017.DBF")),
                  readAll(set1 + QStringLiteral("F3A2017.DBF")));
        EXPECT_EQ(snapshot(target).keys(), QStringList({"F12017.DBF", "F3A2017.DBF"}));
    }
}

TEST_F(ExchangeTest, ReceivingIdentityFileInAnyLineEndingOrLetterCase) {
    fillExchange(QByteArray("0275001234\nignored name"));
    QFile::rename(exch + QStringLiteral("/reg.txt"), exch + QStringLiteral("/REG.TXT"));
    EXPECT_TRUE(exchange::ReceiveReports(receiveParams()).ok);
}

TEST_F(ExchangeTest, ReceivingWithoutAnOrganisationSaysSoAndCreatesNoFolder) {
    fillExchange(goodReg());
    const Outcome r = exchange::ReceiveReports(receiveParams(0));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(texts(r.messages),
              QStringList{QStringLiteral("Ошибка: Не указана организация, в которую необходимо "
                                         "принять отчеты!\r\rНажмите \"Указать\" и выберите "
                                         "организацию.")});
    EXPECT_FALSE(QFileInfo::exists(program + QStringLiteral("DBF/D0")));
}

TEST_F(ExchangeTest, ReceivingFromAMissingFolderShowsTwoMessagesAndCreatesNoFolder) {
    exchange::ReceiveParams p = receiveParams();
    p.exchangeDir = tmp.path() + QStringLiteral("/gone");
    const Outcome r = exchange::ReceiveReports(p);
    EXPECT_EQ(texts(r.messages),
              QStringList({QStringLiteral("Ошибка: Директория, откуда необходимо загрузить данные "
                                          "не найдена!\r\rДиректория ") +
                               p.exchangeDir + QStringLiteral(" не найдена."),
                           QStringLiteral("Ошибка: Нет возможности проверить ИНН организации, "
                                          "сдающей сводные отчеты!\r\rФайл данных организации ") +
                               p.exchangeDir + QStringLiteral("/reg.txt не найден.")}));
    EXPECT_FALSE(QFileInfo::exists(p.orgDataDir));
}

TEST_F(ExchangeTest, ReceivingNeedsTheOrganisationBookAndTheOrganisationInIt) {
    fillExchange(goodReg());
    Outcome r = exchange::ReceiveReports(receiveParams(77));
    EXPECT_EQ(texts(r.messages), QStringList{QStringLiteral("Ошибка: Организация с кодом 77 не "
                                                            "найдена в справочнике организаций!")});
    QFile::remove(program + QStringLiteral("SCHOOL.DBF"));
    r = exchange::ReceiveReports(receiveParams());
    EXPECT_EQ(texts(r.messages),
              QStringList{QStringLiteral("Ошибка: Не удалось проверить ИНН организации, "
                                         "предоставляющей сводные отчеты!")});
    EXPECT_FALSE(QFileInfo::exists(program + QStringLiteral("DBF/D5")));
    EXPECT_FALSE(QFileInfo::exists(program + QStringLiteral("DBF/D77")));
}

TEST_F(ExchangeTest, ReceivingTheOrganisationsOwnFolderIsRefused) {
    const QString own = orgWithOldReport();
    writeBytes(own + QStringLiteral("reg.txt"), goodReg());
    const auto before = snapshot(own);
    exchange::ReceiveParams p = receiveParams();
    p.exchangeDir = own;
    const Outcome r = exchange::ReceiveReports(p);
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(r.messages.size(), 1);
    EXPECT_TRUE(r.messages[0].text.startsWith(
        QStringLiteral("Директория, откуда необходимо загрузить данные, является директорией "
                       "данных этой организации!")));
    EXPECT_EQ(snapshot(own), before);
}

TEST_F(ExchangeTest, AFaultyFileIsSkippedAndNamedWhileTheOthersAreReceived) {
    const QString own = orgWithOldReport();
    fillExchange(goodReg());
    writeBytes(exch + QStringLiteral("/F3A2017.DBF"), "no table");
    const QByteArray oldF3a = "the organisation's own F3A";
    writeBytes(own + QStringLiteral("F3A2017.DBF"), oldF3a);

    const Outcome r = exchange::ReceiveReports(receiveParams());
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(r.messages.size(), 2);
    EXPECT_TRUE(r.messages[0].text.startsWith(
        QStringLiteral("Следующие файлы не приняты: они повреждены или не являются отчетами этого "
                       "периода.\r\rF3A2017.DBF - файл не является таблицей отчета")));
    EXPECT_EQ(r.messages[1].text, QStringLiteral("Были скопированы следующие отчеты:  Ф-1,."));
    EXPECT_EQ(readAll(own + QStringLiteral("F12017.DBF")),
              readAll(set1 + QStringLiteral("F12017.DBF")));
    EXPECT_EQ(readAll(own + QStringLiteral("F3A2017.DBF")), oldF3a);
}

// Drops the rights of the super-user on files for this thread, so that a
// folder without write permission refuses writes also when tests run as root.
struct WithoutFileRights {
    WithoutFileRights() {
        if (geteuid() == 0)
            setfsuid(65534);
    }
    ~WithoutFileRights() {
        if (geteuid() == 0)
            setfsuid(0);
    }
};

TEST_F(ExchangeTest, HostileExchangeFoldersChangeNothingInTheOrganisationsFolder) {
    const QByteArray f1 = readAll(set1 + QStringLiteral("F12017.DBF"));
    const QByteArray f3a = readAll(set1 + QStringLiteral("F3A2017.DBF"));
    const QString damaged = identityMessage(QStringLiteral(" поврежден."));
    const QString mismatch = QStringLiteral("Ошибка: ИНН указанной организации не соответствует "
                                            "ИНН организации, предоставящей сводные отчеты!");
    const QString rejected =
        QStringLiteral("Ошибка: Следующие файлы не приняты: они повреждены "
                       "или не являются отчетами этого периода.\r\rF12017.DBF - ");
    const QString noneCopied =
        QStringLiteral("Сообщение: Не было скопировано ни одного отчета. Нет файлов.");
    const QString fieldsDiffer =
        rejected + QStringLiteral("поля таблицы не совпадают с полями бланка отчета: ");
    // F1 with one field of another width or decimals than the blank's.
    auto changedField = [&](int field, int length, int decimals) {
        return [&, field, length, decimals] {
            writeBytes(exch + "/reg.txt", goodReg());
            QVector<store::FieldDef> f = reportFields(3);
            f[field].length = length;
            f[field].decimals = decimals;
            writeTable(exch, QStringLiteral("F12017"), f);
        };
    };

    struct Case {
        const char *name;
        int org;
        std::function<void()> lay; // lays out the exchange folder
        QStringList messages;      // expected; a text ending in "…" is a prefix
        bool readOnlyTarget = false;
    };
    const QList<Case> cases{
        {"missing reg.txt",
         5,
         [&] { writeBytes(exch + "/F12017.DBF", f1); },
         {identityMessage(QStringLiteral(" не найден."))}},
        {"one line", 5, [&] { fillExchange("0275001234\r\n"); }, {damaged}},
        {"wrong INN", 5, [&] { fillExchange("0275009999\r\nДругие\r\n"); }, {mismatch}},
        {"INN with a trailing blank",
         5,
         [&] { fillExchange("0275001234 \r\nТе же\r\n"); },
         {mismatch}},
        {"empty INN in reg.txt", 5, [&] { fillExchange("\r\nБез ИНН\r\n"); }, {mismatch}},
        {"empty INN on both sides", 6, [&] { fillExchange("\r\nБез ИНН\r\n"); }, {mismatch}},
        {"huge reg.txt",
         5,
         [&] { fillExchange(goodReg() + QByteArray(exchange::kMaxIdentityFileSize, 'x')); },
         {damaged}},
        {"link named like a report",
         5,
         [&] {
             writeBytes(exch + "/reg.txt", goodReg());
             QFile::link(set1 + "F12017.DBF", exch + "/F12017.DBF");
         },
         {rejected + QStringLiteral("это ссылка на другой файл, а не файл отчета"), noneCopied}},
        {"truncated table",
         5,
         [&] {
             writeBytes(exch + "/reg.txt", goodReg());
             writeBytes(exch + "/F12017.DBF", f1.left(f1.size() - 40));
         },
         {rejected + QStringLiteral("файл не является таблицей отчета…"), noneCopied}},
        {"another report's layout",
         5,
         [&] {
             writeBytes(exch + "/reg.txt", goodReg());
             writeBytes(exch + "/F12017.DBF", f3a);
         },
         {fieldsDiffer + QStringLiteral("лишнее поле N4 (N 12.2)"), noneCopied}},
        {"a column narrower than the blank's",
         5,
         changedField(4, 1, 0),
         {fieldsDiffer + QStringLiteral("поле N1 (N 1.0) не совпадает с полем бланка N1 (N 12.2)"),
          noneCopied}},
        {"other decimals",
         5,
         changedField(6, 12, 0),
         {fieldsDiffer + QStringLiteral("поле N3 (N 12.0) не совпадает с полем бланка N3 (N 12.2)"),
          noneCopied}},
        {"not a dBASE file",
         5,
         [&] {
             writeBytes(exch + "/reg.txt", goodReg());
             writeBytes(exch + "/F12017.DBF", "<html>not a table</html>");
         },
         {rejected + QStringLiteral("файл не является таблицей отчета…"), noneCopied}},
        {"read-only destination",
         5,
         [&] {
             writeBytes(exch + "/reg.txt", goodReg());
             writeBytes(exch + "/F12017.DBF", f1);
         },
         {QStringLiteral("Ошибка: Не удалось скопировать отчет F12017.DBF!\r\r…")},
         true},
    };

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(exch).removeRecursively();
        QDir().mkpath(exch);
        const QString own = orgWithOldReport(c.org);
        c.lay();
        const auto before = snapshot(own);

        Outcome r;
        if (c.readOnlyTarget) {
            QFile::setPermissions(tmp.path(), QFileDevice::Permissions(0x7555));
            QFile::setPermissions(own, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                           QFileDevice::ReadOther | QFileDevice::ExeOther |
                                           QFileDevice::ReadGroup | QFileDevice::ExeGroup);
            {
                WithoutFileRights unprivileged;
                r = exchange::ReceiveReports(receiveParams(c.org));
            }
            QFile::setPermissions(own, QFileDevice::Permissions(0x7755));
        } else {
            r = exchange::ReceiveReports(receiveParams(c.org));
        }

        EXPECT_FALSE(r.ok);
        const QStringList got = texts(r.messages);
        ASSERT_EQ(got.size(), c.messages.size()) << got.join("\n|").toStdString();
        for (int i = 0; i < got.size(); ++i) {
            QString want = c.messages[i];
            if (want.endsWith(QChar(0x2026))) {
                want.chop(1);
                EXPECT_TRUE(got[i].startsWith(want)) << got[i].toStdString();
            } else {
                EXPECT_EQ(got[i], want);
            }
        }
        EXPECT_EQ(snapshot(own), before);
    }
}

} // namespace
