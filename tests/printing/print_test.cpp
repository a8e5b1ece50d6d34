// Printing on a real office and a real print queue: the report pages, title
// pages, by-column consolidations and the organisation list, each read back
// from what the queue's PDF printer made of it; the question, the failures
// and what they leave behind.

#include "print_install.h"

#include "printing/PrintAskUnit.h"
#include "printing/PrintEngine.h"
#include "printing/PrintUnit.h"
#include "printing/SheetFill.h"
#include "printing/TemplateFill.h"
#include "sheet/MemoryEngine.h"
#include "sheet/OfficeEngine.h"
#include "shell/UnitConsts.h"
#include "support/MessageRecorder.h"
#include "support/PrintQueueOutput.h"
#include "support/ScopedEnvironment.h"
#include "support/TestDesktop.h"
#include "support/TwoCopies.h"
#include "support/WithoutFileRights.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <set>
#include <unistd.h>

using sheet::Value;
using testsupport::printedText;
using testsupport::PrintJobRecorder;
using testsupport::Record;

namespace {

// The office processes this program has running (children of it).
int officeProcesses() {
    int count = 0;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!pid.at(0).isDigit() || !stat.open(QIODevice::ReadOnly))
            continue;
        const QString line = QString::fromLatin1(stat.readAll());
        const QStringList after = line.mid(line.lastIndexOf(u')') + 2).split(u' ');
        if (line.contains(QStringLiteral("(soffice")) && after.value(1).toLongLong() == ::getpid())
            ++count;
    }
    return count;
}

class PrintTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::useRecordingViewer(); }
    static void TearDownTestSuite() { testsupport::endRecordingViewer(); }

    void SetUp() override {
        const QString problem = testsupport::printQueueProblem();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        recorder.onDialog = [this](QDialog &d) {
            if (auto *ask = qobject_cast<TPrintAskForm *>(&d)) {
                ++questions;
                ask->findChild<QPushButton *>(answer)->click();
                return ask->result();
            }
            return int(QDialog::Rejected);
        };
        testsupport::shownFiles().clear();
    }
    void TearDown() override {
        closeTable();
        EXPECT_EQ(inst.workingCopies(), expectedCopies); // every print removed its own
    }

    // The table to print, open on a connection of its own.
    store::TADODataSet &open(const QString &folder, const QString &name) {
        connection.setFolder(folder);
        connection.Open();
        table.setConnection(&connection);
        table.setCommandText(QStringLiteral("select * from ") + name);
        table.Open();
        return table;
    }
    void closeTable() {
        table.Close();
        connection.Close();
    }

    // A template written through the print engine's office.
    void writeTemplate(const QString &name, const sheet::Table &cells, int frameRow = 0,
                       int frameColumns = 0) {
        auto book = printing::PrintEngine().addWorkbook();
        book->setValues(1, 1, cells);
        if (frameRow)
            book->drawBorders(frameRow, 1, frameRow, frameColumns);
        book->saveAs(inst.blank() + name);
    }
    void writeReportTemplate() {
        writeTemplate(
            QStringLiteral("BF1.XLS"),
            {{Value::text("4;4;"), Value(), Value(), Value()},
             {Value::text("Учреждение: #TORG"), Value(), Value(), Value::text("#DATE")},
             {Value::text("Сведения на #YR1/#YR2 учебный год"), Value(), Value(), Value()},
             {Value::text("#CCC"), Value::text("#ORG"), Value::text("#A1N1"),
              Value::text("#A1N12")},
             {Value(), Value::text("Подпись руководителя"), Value(), Value()}},
            4, 4);
    }

    printtest::Installation inst;
    printtest::CLocale locale; // dates print the same in any locale
    QStringList expectedCopies;
    MessageRecorder recorder;
    QString answer = QStringLiteral("ButtonPrint");
    int questions = 0;
    store::TADOConnection connection;
    store::TADODataSet table;
};

class RepeatPrintTest : public PrintTest, public ::testing::WithParamInterface<int> {};

TEST_P(RepeatPrintTest, ReportPageComesOutOfTheQueueWithEveryRecord) {
    const int n = GetParam();
    writeReportTemplate();
    inst.writeReport(QStringLiteral("F12016"), n);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));
    ds.setRecNo(n);
    PrintJobRecorder jobs;
    PrintReport(ds, 1, 16, QStringLiteral("Гимназия № 3 «Ёлочка»"));
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join(u'|').toStdString();
    ASSERT_EQ(jobs.jobs.size(), 1u);
    const testsupport::PrintedPdf pdf = testsupport::printedPdf(jobs.jobs.front());
    // Found by report and organisation in the queue and among the PDFs.
    const QString title = QStringLiteral("Форма F1 — Гимназия № 3 «Ёлочка»");
    EXPECT_EQ(pdf.queueTitle, title);
    EXPECT_EQ(pdf.title, title);
    EXPECT_TRUE(pdf.fileName.endsWith(QStringLiteral("-Форма_F1_—_Гимназия_№_3_«Ёлочка».pdf")))
        << pdf.fileName.toStdString();
    const QString &text = pdf.text;
    EXPECT_TRUE(text.contains(QStringLiteral("Учреждение: Гимназия № 3 «Ёлочка»")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Сведения на 2015/2016 учебный год")));
    EXPECT_TRUE(text.contains(QStringLiteral("20.09.2015"))); // the working date
    for (int k = 1; k <= n; ++k) {
        // A single record is no repeat: #ORG prints the title, cut at the
        // next cell.
        const QString name =
            n == 1 ? QStringLiteral("Гимназия № 3") : QStringLiteral("Строка %1").arg(k);
        const QRegularExpression row(QStringLiteral("%1\\s+%2\\s+%3\\s+%4")
                                         .arg(k, 2, 10, QChar('0'))
                                         .arg(QRegularExpression::escape(name))
                                         .arg(10 * k)
                                         .arg(10 * k + 11));
        EXPECT_TRUE(row.match(text).hasMatch()) << k << "\n" << text.toStdString();
    }
    EXPECT_TRUE(text.contains(QStringLiteral("Подпись руководителя")));
    EXPECT_FALSE(text.contains(u'#'));
    EXPECT_EQ(ds.RecNo(), 1);
}

INSTANTIATE_TEST_SUITE_P(Records, RepeatPrintTest, ::testing::Values(1, 2, 30));

// Figures at their fields' full width in columns narrower than they are:
// every digit and decimal the table holds is on the page, which stays one.
TEST_F(PrintTest, FiguresAtTheFieldsFullWidthPrintEveryDigit) {
    const QList<Record> rows = {
        {{"KODSTR", "01"},
         {"N1", 9999999999.0},
         {"N2", 999999999.99},
         {"N3", 123456789.25},
         {"N4", "98765432101234"}},
        {{"KODSTR", "02"}, {"N1", 5}, {"N2", 99999999.99}, {"N3", 0.5}, {"N4", "12.5"}}};
    testsupport::writeTable(inst.org(), QStringLiteral("F12016"),
                            {{"KODSTR", 'C', 5, 0},
                             {"N1", 'N', 10, 0},
                             {"N2", 'N', 12, 2},
                             {"N3", 'N', 12, 2},
                             {"N4", 'C', 15, 0}},
                            rows);
    {
        auto book = printing::PrintEngine().addWorkbook();
        book->setValues(1, 1,
                        {{Value::text("3;5;"), Value(), Value(), Value(), Value()},
                         {Value::text("№"), Value::number(1), Value::number(2), Value::number(3),
                          Value::number(4)},
                         {Value::text("#CCC"), Value::text("#A1N1"), Value::text("#A1N2"),
                          Value::text("#A1N3"), Value::text("#A1N4")}});
        book->fitColumns(2, 1, 2, 5); // as narrow as the column numbers
        book->saveAs(inst.blank() + QStringLiteral("BF1.XLS"));
    }
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));
    PrintJobRecorder jobs;
    PrintReport(ds, 1, 16, QStringLiteral("Свод"));
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join(u'|').toStdString();
    ASSERT_EQ(jobs.jobs.size(), 1u);
    const testsupport::PrintedPdf pdf = testsupport::printedPdf(jobs.jobs.front());
    EXPECT_EQ(pdf.pages, 1);
    const QString words = pdf.text.simplified();
    for (const char *figure : {"01 9999999999 999999999[.,]99 123456789[.,]25 98765432101234",
                               "02 5 99999999[.,]99 0[.,]50 12[.,]5"})
        EXPECT_TRUE(QRegularExpression(QString::fromLatin1(figure)).match(words).hasMatch())
            << figure << "\n"
            << pdf.text.toStdString();
    EXPECT_FALSE(words.contains(u'#')) << pdf.text.toStdString();
    EXPECT_FALSE(words.contains(QStringLiteral("E+"))) << pdf.text.toStdString();
}

TEST_F(PrintTest, TitlePagesAreOneQuestionForTwoPages) {
    writeTemplate(QStringLiteral("BFFF.XLS"),
                  {{Value::text("3;2;"), Value()},
                   {Value::text("Титульный лист"), Value::text("#TORG")},
                   {Value::text("Руководитель: #RYKORG"), Value()}});
    writeTemplate(QStringLiteral("BFFFF.XLS"),
                  {{Value::text("2;1;")}, {Value::text("Второй лист #YP0 года")}});
    inst.writeReport(QStringLiteral("F12016"), 3);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));

    // "Отмена" on the first page suppresses both.
    answer = QStringLiteral("ButtonCancel");
    PrintJobRecorder jobs;
    PrintReport(ds, 0, 16, QStringLiteral("Школа № 1"));
    PrintReport(ds, -1, 16, QStringLiteral("Школа № 1"));
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(jobs.jobs.empty());

    // "Да" prints both.
    answer = QStringLiteral("ButtonPrint");
    PrintReport(ds, 0, 16, QStringLiteral("Школа № 1"));
    PrintReport(ds, -1, 16, QStringLiteral("Школа № 1"));
    EXPECT_EQ(questions, 2);
    ASSERT_EQ(jobs.jobs.size(), 2u);
    const testsupport::PrintedPdf first = testsupport::printedPdf(jobs.jobs[0]);
    EXPECT_EQ(first.queueTitle, QStringLiteral("Титульный лист 1 — Школа № 1"));
    EXPECT_TRUE(first.text.contains(QStringLiteral("Школа № 1"))) << first.text.toStdString();
    EXPECT_TRUE(first.text.contains(QStringLiteral("Руководитель: Иванова А. П.")));
    const testsupport::PrintedPdf second = testsupport::printedPdf(jobs.jobs[1]);
    EXPECT_EQ(second.queueTitle, QStringLiteral("Титульный лист 2 — Школа № 1"));
    EXPECT_TRUE(second.text.contains(QStringLiteral("Второй лист 2016 года")));
    EXPECT_EQ(officeProcesses(), 1); // one office serves every print of the run
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join(u'|').toStdString();
}

TEST_F(PrintTest, CloseBoxIsCancelAndTheSecondPageAloneAsksNothing) {
    inst.writeReport(QStringLiteral("F12016"), 1);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));
    PrintJobRecorder jobs;
    // No question answered yet in this dialog's life: -1 prints nothing.
    PrintAskForm().DoPrint = false;
    PrintReport(ds, -1, 16, QString());
    EXPECT_EQ(questions, 0);
    // An earlier "Да" does not make the close box a yes.
    PrintAskForm().DoPrint = true;
    recorder.onDialog = [this](QDialog &d) {
        ++questions;
        d.reject(); // what the close box and Escape do
        return d.result();
    };
    PrintReport(ds, 1, 16, QString());
    EXPECT_EQ(questions, 1);
    EXPECT_FALSE(PrintAskForm().DoPrint);
    EXPECT_TRUE(jobs.jobs.empty());
    EXPECT_TRUE(recorder.messages.isEmpty());
}

TEST_F(PrintTest, DialogLooksAsItShould) {
    TPrintAskForm &form = PrintAskForm();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Печать таблицы"));
    EXPECT_EQ(form.findChild<QPushButton *>(QStringLiteral("ButtonPrint"))->text(),
              QStringLiteral("Да"));
    EXPECT_EQ(form.findChild<QPushButton *>(QStringLiteral("ButtonCancel"))->text(),
              QStringLiteral("Отмена"));
    EXPECT_EQ(form.size(), QSize(281, 114));
}

TEST(PrintAskForm, EnterAnswersWithTheFocusedButton) {
    TPrintAskForm &form = PrintAskForm();
    MessageRecorder rec;
    QString focus;
    bool closedByEnter = false;
    rec.onDialog = [&](QDialog &d) { return answerWithReturnOn(d, focus, closedByEnter); };
    for (const auto &[name, prints] : {std::pair{"ButtonPrint", true}, {"ButtonCancel", false}}) {
        focus = QString::fromLatin1(name);
        EXPECT_EQ(form.Ask(), prints) << name;
        EXPECT_TRUE(closedByEnter) << name;
    }
}

TEST_F(PrintTest, NoDefaultPrinterIsAPrintErrorThatLeavesNothingBehind) {
    writeReportTemplate();
    inst.writeReport(QStringLiteral("F12016"), 3);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));
    ds.setRecNo(3);
    // The working copy of another copy of the program printing now: its own.
    QFile other(inst.blank() + QStringLiteral("BTEMP.XLS"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("другая копия");
    other.close();
    // What copies killed while printing left: the one of a process that has
    // ended goes, the one of a process still running stays.
    QProcess ended;
    ended.start(QStringLiteral("true"));
    ASSERT_TRUE(ended.waitForStarted());
    const qint64 endedPid = ended.processId();
    ASSERT_TRUE(ended.waitForFinished());
    const QString gone = QStringLiteral("BTEMP-%1-AbCdEf.XLS").arg(endedPid);
    const QString running =
        QStringLiteral("BTEMP-%1-AbCdEf.XLS").arg(QCoreApplication::applicationPid());
    // With them, the lock files that their offices left beside them.
    const auto lock = [](const QString &name) { return ".~lock." + name + u'#'; };
    for (const QString &name : {gone, running, lock(gone), lock(running)}) {
        QFile left(inst.blank() + name);
        ASSERT_TRUE(left.open(QIODevice::WriteOnly));
    }
    expectedCopies = {running, QStringLiteral("BTEMP.XLS")};
    const QByteArray server = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", "/nonexistent/kvr-cups.sock");
    PrintJobRecorder jobs;
    PrintReport(ds, 1, 16, QStringLiteral("Школа"));
    if (server.isEmpty())
        qunsetenv("CUPS_SERVER");
    else
        qputenv("CUPS_SERVER", server);
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_EQ(recorder.messages[0].text,
              QStringLiteral("Ошибка печати!\rВозможно не подключен принтер."));
    EXPECT_TRUE(jobs.jobs.empty());
    ASSERT_TRUE(other.open(QIODevice::ReadOnly));
    EXPECT_EQ(other.readAll(), QByteArray("другая копия"));
    EXPECT_EQ(
        QDir(inst.blank()).entryList({QStringLiteral(".~lock.*")}, QDir::Files | QDir::Hidden),
        QStringList{lock(running)});
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(officeProcesses(), 0);
}

TEST_F(PrintTest, FaultOfTheTemplateIsAPrintError) {
    writeTemplate(QStringLiteral("BF1.XLS"), {{Value::text("4;")}}); // no column count
    inst.writeReport(QStringLiteral("F12016"), 2);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));
    ds.Last();
    PrintJobRecorder jobs;
    PrintReport(ds, 1, 16, QString());
    EXPECT_EQ(recorder.texts(),
              QStringList{QStringLiteral("Ошибка печати!\rВозможно не подключен принтер.")});
    EXPECT_TRUE(jobs.jobs.empty());
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(officeProcesses(), 0);
}

TEST_F(PrintTest, MissingTemplateIsSaidByName) {
    inst.writeReport(QStringLiteral("F12016"), 2);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));
    PrintJobRecorder jobs;
    PrintReport(ds, 4, 16, QString()); // BF4.XLS is not there
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_TRUE(recorder.messages[0].text.contains(QStringLiteral("BF4.XLS")));
    inst.setCatalogue({{1, "F1.DBF", "", 2}});
    PrintReport(ds, 1, 16, QString()); // no template named
    ASSERT_EQ(recorder.messages.size(), 2);
    EXPECT_TRUE(recorder.messages[1].text.contains(QStringLiteral("не указан шаблон")));
    EXPECT_TRUE(jobs.jobs.empty());
}

TEST_F(PrintTest, WorkingCopyThatCannotBeMadeSaysWhyInRussian) {
    QFile tpl(inst.blank() + "BF1.XLS");
    ASSERT_TRUE(tpl.open(QIODevice::WriteOnly));
    tpl.write("template");
    tpl.close();
    inst.writeReport(QStringLiteral("F12016"), 2);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));
    // The user may not write to WED\BLANK.
    ASSERT_TRUE(QFile::setPermissions(inst.dir.path(), QFileDevice::Permissions(0x7555)));
    ASSERT_TRUE(QFile::setPermissions(inst.blank(), QFileDevice::Permissions(0x5555))); // r-x
    QString message = QStringLiteral("nothing thrown");
    {
        testsupport::WithoutFileRights unprivileged;
        try {
            PrintReport(ds, 1, 16, QString());
        } catch (const FileError &e) {
            message = e.message();
        }
    }
    QFile::setPermissions(inst.blank(), QFileDevice::Permissions(0x7755));
    EXPECT_EQ(message, QStringLiteral("Не удалось создать файл в папке \"%1\": отказано в доступе")
                           .arg(QDir::toNativeSeparators(paths::GetBlankDir())));
    EXPECT_EQ(officeProcesses(), 0);
}

TEST_F(PrintTest, DamagedTemplateIsSaidByItsOwnNameAndLeavesNothingBehind) {
    QFile damaged(inst.blank() + "BF1.XLS");
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("Это не таблица, а письмо.\n");
    damaged.close();
    inst.writeReport(QStringLiteral("F12016"), 2);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));
    ds.Last();
    PrintJobRecorder jobs;
    PrintReport(ds, 1, 16, QString());
    EXPECT_TRUE(jobs.jobs.empty());
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_EQ(recorder.messages[0].title, QStringLiteral("Печать"));
    EXPECT_EQ(recorder.messages[0].text,
              QStringLiteral("Печать не выполнена:\rФайл \"%1\" не удаётся прочитать: он "
                             "повреждён или это не электронная таблица")
                  .arg(QDir::toNativeSeparators(inst.blank() + "BF1.XLS")));
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(officeProcesses(), 0);
}

TEST_F(PrintTest, OfficeThatDoesNotStartLeavesNoWorkingCopy) {
    writeReportTemplate();
    printing::EndPrintEngine();
    inst.writeReport(QStringLiteral("F12016"), 2);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));
    ds.Last();
    sheet::EngineFactory previous = sheet::setEngineFactory(
        []() -> std::unique_ptr<sheet::Engine> { throw sheet::Error("Не удалось запустить"); });
    EXPECT_THROW(PrintReport(ds, 1, 16, QString()), sheet::Error);
    sheet::setEngineFactory(std::move(previous));
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(officeProcesses(), 0);
}

// The program's office, with steps of a test's own just before and just
// after it opens a working copy: what happens meanwhile elsewhere. Prints
// through it while it lives; through the test suite's engine after.
class SteppedPrinting {
public:
    using Before = std::function<void(sheet::OfficeEngine &)>;
    using After = std::function<void(sheet::OfficeEngine &)>;
    SteppedPrinting(Before before, After after, int callTimeoutMs = 120000) {
        printing::EndPrintEngine();
        m_previous = sheet::setEngineFactory([=] {
            sheet::OfficeEngine::Options options;
            options.callTimeoutMs = callTimeoutMs;
            return std::make_unique<Office>(options, before, after);
        });
    }
    ~SteppedPrinting() {
        printing::EndPrintEngine();
        sheet::setEngineFactory(std::move(m_previous));
    }

private:
    class Office : public sheet::OfficeEngine {
    public:
        Office(const Options &options, Before before, After after)
            : OfficeEngine(options), m_before(std::move(before)), m_after(std::move(after)) {}
        std::unique_ptr<sheet::Workbook> open(const QString &path) override {
            if (m_before)
                m_before(*this);
            auto book = OfficeEngine::open(path);
            if (m_after)
                m_after(*this);
            return book;
        }

    private:
        Before m_before;
        After m_after;
    };
    sheet::EngineFactory m_previous;
};

// Another copy of the program on the installation of its first argument:
// "print" prints report 3 of organisation 1 and answers the job's id.
const bool kPrintRole = testsupport::registerCopyRole("print", [](const QStringList &args,
                                                                  testsupport::CopyChannel &) {
    paths::setProgramDirForTests(args.value(0));
    testsupport::closeDataModuleConnections();
    return [root = args.value(0)](const QStringList &) {
        QString answer;
        {
            testsupport::OpenTable table(root + QStringLiteral("DBF/D1"), QStringLiteral("F32016"));
            PrintJobRecorder jobs;
            PrintByTemplate(table.ds, 3, 16, QStringLiteral("Школа другой копии"));
            answer = jobs.jobs.size() == 1 ? QString::number(jobs.jobs.front())
                                           : QStringLiteral("jobs: %1").arg(jobs.jobs.size());
        }
        printing::EndPrintEngine();
        testsupport::closeDataModuleConnections();
        return answer;
    };
});

TEST_F(PrintTest, TwoCopiesPrintingAtOnceKeepTheirForms) {
    writeReportTemplate();
    writeTemplate(QStringLiteral("BF3.XLS"),
                  {{Value::text("2;1;")}, {Value::text("ФОРМА ТРЕТЬЯ")}, {Value::text("#A2N1")}});
    inst.writeReport(QStringLiteral("F12016"), 2);
    inst.writeReport(QStringLiteral("F32016"), 2);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));
    // The other copy prints its report while this one has made its working
    // copy and not yet opened it.
    int otherJob = 0;
    SteppedPrinting stepped(
        [&](sheet::OfficeEngine &) {
            testsupport::CopyProcess other("print", {inst.root()});
            otherJob = other.ask(QStringLiteral("print")).toInt();
        },
        {});
    PrintJobRecorder jobs;
    PrintReport(ds, 1, 16, QStringLiteral("Школа этой копии"));
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join(u'|').toStdString();
    ASSERT_EQ(jobs.jobs.size(), 1u);
    ASSERT_GT(otherJob, 0);
    const QString mine = printedText(jobs.jobs.front());
    EXPECT_TRUE(mine.contains(QStringLiteral("Учреждение: Школа этой копии")))
        << mine.toStdString();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("02\\s+Строка 2\\s+20\\s+31")).match(mine).hasMatch());
    EXPECT_FALSE(mine.contains(QStringLiteral("ФОРМА ТРЕТЬЯ")));
    const QString others = printedText(otherJob);
    EXPECT_TRUE(others.contains(QStringLiteral("ФОРМА ТРЕТЬЯ"))) << others.toStdString();
    EXPECT_TRUE(others.contains(QStringLiteral("20")));
    EXPECT_FALSE(others.contains(QStringLiteral("Учреждение")));
}

// The office stops answering before it opens the template's copy, or
// after: either way the print is said not done because it did not answer,
// neither blamed on the printer nor on the template.
class SilentOfficeTest : public PrintTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SilentOfficeTest, OfficeThatStopsAnsweringIsSaidNotBlamedOnThePrinter) {
    const bool beforeOpening = GetParam();
    writeReportTemplate();
    inst.writeReport(QStringLiteral("F12016"), 2);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));
    {
        const auto silence = [](sheet::OfficeEngine &office) { // it answers nothing from now
            ::kill(-static_cast<pid_t>(office.processId()), SIGSTOP);
        };
        SteppedPrinting stepped(beforeOpening ? SteppedPrinting::Before(silence) : nullptr,
                                beforeOpening ? nullptr : SteppedPrinting::After(silence), 1500);
        PrintJobRecorder jobs;
        PrintReport(ds, 1, 16, QString());
        EXPECT_TRUE(jobs.jobs.empty());
    }
    ASSERT_EQ(recorder.messages.size(), 1);
    const QString &text = recorder.messages[0].text;
    EXPECT_EQ(recorder.messages[0].title, QStringLiteral("Печать"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("Печать не выполнена:\r"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("не ответил за 1.5 с"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("повреждён"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("BTEMP"))) << text.toStdString();
    if (beforeOpening) {
        EXPECT_TRUE(text.contains(QDir::toNativeSeparators(inst.blank() + "BF1.XLS")))
            << text.toStdString();
    }
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(officeProcesses(), 0);
}

INSTANTIATE_TEST_SUITE_P(Steps, SilentOfficeTest, ::testing::Bool());

// The office ends (it crashed, or was killed) while the report is filled:
// the print is said not done because the spreadsheet program ended, as a
// failure, and nothing of it is left beside the templates.
TEST_F(PrintTest, OfficeThatEndsWhilePrintingIsSaidSo) {
    writeReportTemplate();
    inst.writeReport(QStringLiteral("F12016"), 2);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));
    ds.Last();
    {
        SteppedPrinting stepped(nullptr, [&](sheet::OfficeEngine &office) {
            ::kill(-static_cast<pid_t>(office.processId()), SIGKILL);
        });
        PrintJobRecorder jobs;
        PrintReport(ds, 1, 16, QString());
        EXPECT_TRUE(jobs.jobs.empty());
    }
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_EQ(recorder.messages[0].title, QStringLiteral("Ошибка"));
    EXPECT_EQ(recorder.messages[0].icon, msg::Icon::Warning);
    EXPECT_EQ(recorder.messages[0].text,
              QStringLiteral("Печать не выполнена:\rНе удалось прочитать ячейки: Табличный "
                             "процессор завершил работу"));
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(officeProcesses(), 0);
    EXPECT_EQ(QDir(inst.blank()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              QStringList{QStringLiteral("BF1.XLS")});
}

// The office hangs while it closes the first title page, which it has
// printed: it is ended, and the second page comes out of an office of its
// own instead of failing on the ended one.
TEST_F(PrintTest, OfficeThatHangsAfterItsPrintLeavesTheNextPrintWhole) {
    writeTemplate(QStringLiteral("BFFF.XLS"), {{Value::text("2;1;")}, {Value::text("#TORG")}});
    writeTemplate(QStringLiteral("BFFFF.XLS"),
                  {{Value::text("2;1;")}, {Value::text("Второй лист #YP0 года")}});
    inst.writeReport(QStringLiteral("F12016"), 1);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));
    std::vector<int> jobs;
    {
        SteppedPrinting stepped(nullptr, nullptr, 3000);
        const sheet::PrintJobObserver previous = sheet::setPrintJobObserver([&](int job) {
            jobs.push_back(job);
            if (jobs.size() == 1) // the office answers nothing from now on
                ::kill(
                    -static_cast<pid_t>(
                        dynamic_cast<sheet::OfficeEngine &>(printing::PrintEngine()).processId()),
                    SIGSTOP);
        });
        const auto restore = qScopeGuard([&] { sheet::setPrintJobObserver(previous); });
        PrintReport(ds, 0, 16, QStringLiteral("Школа № 1"));
        PrintReport(ds, -1, 16, QStringLiteral("Школа № 1"));
    }
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join(u'|').toStdString();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_TRUE(printedText(jobs[0]).contains(QStringLiteral("Школа № 1")));
    EXPECT_TRUE(printedText(jobs[1]).contains(QStringLiteral("Второй лист 2016 года")));
    EXPECT_EQ(officeProcesses(), 0);
}

TEST_F(PrintTest, StoppedPrinterIsNamedAndTheJobWaitsInItsQueue) {
    writeReportTemplate();
    inst.writeReport(QStringLiteral("F12016"), 1);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("F12016"));
    // The user's default printer (tools/print-queue.sh keeps this one
    // stopped).
    const testsupport::ScopedEnvironment printer("PRINTER", "KVR_PDF_STOPPED");
    ASSERT_EQ(sheet::defaultPrinter(), QStringLiteral("KVR_PDF_STOPPED"))
        << "no queue KVR_PDF_STOPPED: tools/print-queue.sh start makes it";
    PrintJobRecorder jobs;
    PrintReport(ds, 1, 16, QStringLiteral("Школа № 7"));
    ASSERT_EQ(jobs.jobs.size(), 1u);
    EXPECT_FALSE(sheet::waitForPrintJob(jobs.jobs.front(), 0)); // still in the queue
    QProcess::execute(QStringLiteral("cancel"), {QString::number(jobs.jobs.front())});
    EXPECT_EQ(recorder.texts(),
              QStringList{QStringLiteral("Принтер \"KVR_PDF_STOPPED\" остановлен.\rЗадание "
                                         "\"Форма F1 — Школа № 7\" ждет в его очереди и будет "
                                         "напечатано, когда принтер снова включат.")});
}

// The by-column consolidation: NAME, KODSTR, TOTAL and NNN1..NNNcount.
void writeColumnTable(const QString &folder, int count, int rows) {
    QVector<store::FieldDef> fields = {
        {"NAME", 'C', 40, 0}, {"KODSTR", 'C', 5, 0}, {"TOTAL", 'C', 15, 0}};
    for (int j = 1; j <= count; ++j)
        fields << store::FieldDef{QStringLiteral("NNN%1").arg(j), 'C', 15, 0};
    QList<Record> records;
    for (int k = 1; k <= rows; ++k) {
        Record r = {{"NAME", QStringLiteral("Показатель %1").arg(k)},
                    {"KODSTR", QStringLiteral("%1").arg(k, 2, 10, QChar('0'))},
                    {"TOTAL", QString::number(count * k)}};
        for (int j = 1; j <= count; ++j)
            r << qMakePair(QStringLiteral("NNN%1").arg(j),
                           QVariant(j == 1 ? QStringLiteral("0") : QString::number(k)));
        records << r;
    }
    testsupport::writeTable(folder, QStringLiteral("FTEMP"), fields, records);
}

class ColumnPrintTest : public PrintTest, public ::testing::WithParamInterface<int> {};

TEST_P(ColumnPrintTest, ByColumnSheetComesOutOfTheQueue) {
    const int count = GetParam();
    writeTemplate(QStringLiteral("BFSVOD.XLS"),
                  {{Value()}, {Value()}, {Value::text("Сводка по столбцу")}});
    writeColumnTable(inst.org(), count, 3);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("FTEMP"));
    QStringList names;
    for (int j = 1; j <= count; ++j)
        names << QStringLiteral("Школа %1").arg(j);
    SetColumnSvodNameSource([names] { return ColumnSvodInfo{names, QStringLiteral("Города")}; });
    PrintJobRecorder jobs;
    PrintReport(ds, 1111, count, QStringLiteral("Управление образования (Все организации)"));
    ASSERT_EQ(jobs.jobs.size(), 1u) << recorder.texts().join(u'|').toStdString();
    const testsupport::PrintedPdf pdf = testsupport::printedPdf(jobs.jobs.front());
    EXPECT_EQ(
        pdf.queueTitle,
        QStringLiteral("Сводная по столбцу — Управление образования (Все организации) — Города"));
    const QString &text = pdf.text;
    EXPECT_TRUE(text.contains(QStringLiteral("Управление образования"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("(Все организации)")));
    EXPECT_TRUE(text.contains(QStringLiteral("Наименование показателя")));
    EXPECT_TRUE(text.contains(QStringLiteral("Показатель 3")));
    for (int j : {1, count / 2, count}) {
        if (j > 0 && j <= count) {
            EXPECT_TRUE(text.contains(QStringLiteral("Школа %1").arg(j))) << j;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Organisations, ColumnPrintTest, ::testing::Values(0, 1, 200));

TEST_F(PrintTest, ByColumnSheetWithFewerColumnsThanAskedIsSaid) {
    writeTemplate(QStringLiteral("BFSVOD.XLS"), {{Value()}});
    writeColumnTable(inst.org(), 3, 2);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("FTEMP"));
    SetColumnSvodNameSource({});
    PrintJobRecorder jobs;
    PrintReport(ds, 1111, 5, QStringLiteral("Свод"));
    EXPECT_TRUE(jobs.jobs.empty());
    EXPECT_EQ(recorder.texts(),
              QStringList{QStringLiteral("Печать не выполнена:\rСтолбцов организаций в сводной по "
                                         "столбцу: 3, а печатать нужно 5.")});
    EXPECT_EQ(ds.RecNo(), 1);
}

// The row codes of a by-column sheet stand one under the other, "09" as
// "10"; a column whose figures have two decimals shows two in every cell,
// in the sums as well, which come without their trailing zeros.
TEST_F(PrintTest, ByColumnSheetLinesUpItsCodesAndKeepsTheDecimals) {
    writeTemplate(QStringLiteral("BFSVOD.XLS"), {{Value()}});
    QList<Record> rows;
    for (int k = 1; k <= 12; ++k)
        rows << Record{
            {"NAME", QStringLiteral("Показатель %1").arg(k)},
            {"KODSTR", QStringLiteral("%1").arg(k, 2, 10, QChar('0'))},
            {"TOTAL", k == 1 ? QStringLiteral("1.75") : QStringLiteral("%1.5").arg(2 * k)},
            {"NNN1", QStringLiteral("%1.5").arg(k)},
            {"NNN2", k == 1 ? QStringLiteral("0.25") : QString::number(k)}};
    testsupport::writeTable(inst.org(), QStringLiteral("FTEMP"),
                            {{"NAME", 'C', 40, 0},
                             {"KODSTR", 'C', 5, 0},
                             {"TOTAL", 'C', 15, 0},
                             {"NNN1", 'C', 15, 0},
                             {"NNN2", 'C', 15, 0}},
                            rows);
    store::TADODataSet &ds = open(inst.org(), QStringLiteral("FTEMP"));
    SetColumnSvodNameSource([] {
        return ColumnSvodInfo{{QStringLiteral("Школа 1"), QStringLiteral("Школа 2")}, {}};
    });
    PrintJobRecorder jobs;
    PrintReport(ds, 1111, 2, QStringLiteral("Свод (Доля в %)"));
    ASSERT_EQ(jobs.jobs.size(), 1u) << recorder.texts().join(u'|').toStdString();
    const QString text = printedText(jobs.jobs.front());
    std::set<qsizetype> codeColumns;
    for (int k = 1; k <= 12; ++k) {
        const auto m =
            QRegularExpression(
                QStringLiteral("^(.*Показатель %1\\s+)%2\\s").arg(k).arg(k, 2, 10, QChar('0')),
                QRegularExpression::MultilineOption)
                .match(text);
        EXPECT_TRUE(m.hasMatch()) << k << "\n" << text.toStdString();
        codeColumns.insert(m.capturedLength(1));
    }
    EXPECT_EQ(codeColumns.size(), 1u) << text.toStdString();
    for (const char *line : {"Показатель 1\\s+01\\s+1[.,]75\\s+1[.,]50\\s+0[.,]25",
                             "Показатель 2\\s+02\\s+4[.,]50\\s+2[.,]50\\s+2[.,]00",
                             "Показатель 12\\s+12\\s+24[.,]50\\s+12[.,]50\\s+12[.,]00"})
        EXPECT_TRUE(QRegularExpression(QString::fromUtf8(line)).match(text).hasMatch())
            << line << "\n"
            << text.toStdString();
}

TEST(ColumnSheetTest, LayoutOfTheSheet) {
    printtest::Installation inst;
    writeColumnTable(inst.org(), 2, 2);
    testsupport::OpenTable table(inst.org(), QStringLiteral("FTEMP"));
    store::TADODataSet &ds = table.ds;
    sheet::MemoryEngine engine;
    auto book = engine.addWorkbook();
    FillColumnSvodSheet(ds, *book, 2, QStringLiteral("Свод (Набор 1)"),
                        {QStringLiteral("Школа 1"), QStringLiteral("Школа 2")});
    const auto &sheet = *engine.books().back();
    EXPECT_EQ(sheet.value(1, 2), Value::text("Свод "));
    EXPECT_EQ(sheet.value(2, 2), Value::text(" (Набор 1)"));
    EXPECT_EQ(sheet.value(4, 4), Value::text("Школа 1"));
    EXPECT_EQ(sheet.value(5, 5), Value::number(5));
    EXPECT_EQ(sheet.value(6, 1), Value::text("Показатель 1"));
    EXPECT_EQ(sheet.value(7, 3), Value::number(4)); // TOTAL
    EXPECT_TRUE(sheet.value(7, 4).isEmpty());       // an organisation's "0"
    EXPECT_EQ(sheet.value(7, 5), Value::number(2));
    EXPECT_EQ(sheet.framedCells.size(), 4u * 5u);
    // The sums show every digit; the names and codes are no figures.
    EXPECT_EQ(sheet.figureCells, (std::map<std::pair<int, int>, int>{
                                     {{6, 3}, 0}, {{6, 5}, 0}, {{7, 3}, 0}, {{7, 5}, 0}}));
    EXPECT_EQ(sheet.fittedRanges, (std::vector<std::array<int, 4>>{{1, 1, 12, 131}}));

    // With the decimals of the column's field, every figure shows them, also
    // sums that are whole.
    auto twoDecimals = engine.addWorkbook();
    FillColumnSvodSheet(ds, *twoDecimals, 2, QStringLiteral("Свод"), {}, 2);
    EXPECT_EQ(
        engine.books().back()->figureCells,
        (std::map<std::pair<int, int>, int>{{{6, 3}, 2}, {{6, 5}, 2}, {{7, 3}, 2}, {{7, 5}, 2}}));

    auto plain = engine.addWorkbook();
    FillColumnSvodSheet(ds, *plain, 0, QStringLiteral("Свод"), {});
    EXPECT_TRUE(engine.books().back()->value(1, 2).isEmpty());
    EXPECT_EQ(engine.books().back()->value(2, 2), Value::text("Свод"));

    // More columns asked than the table has: nothing is written.
    auto more = engine.addWorkbook();
    EXPECT_THROW(FillColumnSvodSheet(ds, *more, 3, QStringLiteral("Свод"), {}),
                 printing::FillError);
    EXPECT_TRUE(engine.books().back()->cells.empty());
}

// The fields of the organisation table that the list prints.
QVector<store::FieldDef> schoolFields() {
    QVector<store::FieldDef> fields;
    for (const char *f :
         {"KOD", "NAME", "INN_O", "RYKORG", "RYKFIN", "OKPO_K", "OKONX_K", "ADRES", "TELEF"})
        fields << store::FieldDef{QString::fromLatin1(f), 'C', 30, 0};
    return fields;
}

TEST_F(PrintTest, OrganisationListIsShownFromItsOwnFile) {
    writeTemplate(QStringLiteral("BORG.XLS"),
                  {{Value::text("5;9;")}, {Value::text("СПИСОК УЧРЕЖДЕНИЙ")}});
    const QVector<store::FieldDef> fields = schoolFields();
    QList<Record> orgs;
    for (int k = 1; k <= 3; ++k)
        orgs << Record{{"KOD", QString::number(k)},
                       {"NAME", QStringLiteral("Школа № %1").arg(k)},
                       {"INN_O", "0274000001"},
                       {"RYKORG", QStringLiteral("Директор %1").arg(k)},
                       {"ADRES", QStringLiteral("ул. Мира, %1").arg(k)},
                       {"TELEF", "22-33-44"}};
    testsupport::writeTable(inst.root(), QStringLiteral("SCHOOL"), fields, orgs);
    store::TADODataSet &ds = open(inst.root(), QStringLiteral("SCHOOL"));
    ds.Last();
    PrintOrganisationList(ds);
    EXPECT_EQ(ds.RecNo(), 1);
    ASSERT_EQ(testsupport::shownFiles().size(), 1);
    const QString shown = testsupport::shownFiles().front();
    EXPECT_NE(QFileInfo(shown).fileName().toUpper(), QStringLiteral("BTEMP.XLS"));
    EXPECT_TRUE(recorder.messages.isEmpty());

    // A later print leaves the shown list alone.
    writeReportTemplate();
    inst.writeReport(QStringLiteral("F12016"), 1);
    {
        testsupport::OpenTable report(inst.org(), QStringLiteral("F12016"));
        PrintJobRecorder jobs;
        PrintReport(report.ds, 1, 16, QString());
        ASSERT_EQ(jobs.jobs.size(), 1u);
        printedText(jobs.jobs.front());
    }
    auto book = printing::PrintEngine().open(shown);
    EXPECT_TRUE(book->value(1, 1).isEmpty());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^на \\d\\d\\.\\d\\d\\.\\d{4}$"))
                    .match(book->text(3, 1))
                    .hasMatch())
        << book->text(3, 1).toStdString();
    EXPECT_EQ(book->text(5, 2), QStringLiteral("Школа № 1"));
    EXPECT_EQ(book->text(7, 4), QStringLiteral("Директор 3"));
    EXPECT_EQ(book->value(7, 3), Value::text("0274000001")); // a code keeps its zero
    EXPECT_EQ(book->text(7, 8), QStringLiteral("ул. Мира, 3"));
    book->close();
    QFile::remove(shown);
}

// The list shown by the program that the desktop names for spreadsheets
// (a desktop entry of the test's own, which notes the file it is given), or,
// where the desktop names none, kept in its file, which the user is told of.
class DesktopListTest : public PrintTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DesktopListTest, OrganisationListGoesToTheDesktopsProgramOrItsFileIsNamed) {
    const bool desktopHasProgram = GetParam();
    testsupport::TestDesktop desktop(desktopHasProgram
                                         ? QStringList{QStringLiteral("application/vnd.ms-excel")}
                                         : QStringList());
    // Temporary files (the list's among them) in a folder of the test's own.
    ASSERT_TRUE(QDir(desktop.path()).mkpath(QStringLiteral("tmp")));
    const testsupport::ScopedEnvironment temporary(
        "TMPDIR", QFile::encodeName(desktop.path() + QStringLiteral("/tmp")));
    // The program's own engine, with the desktop's opener.
    testsupport::endRecordingViewer();
    const auto restore = qScopeGuard([] { testsupport::useRecordingViewer(); });

    writeTemplate(QStringLiteral("BORG.XLS"), {{Value::text("5;9;")}});
    testsupport::writeTable(inst.root(), QStringLiteral("SCHOOL"), schoolFields(),
                            {Record{{"KOD", "1"}, {"NAME", QStringLiteral("Школа № 1")}}});
    store::TADODataSet &ds = open(inst.root(), QStringLiteral("SCHOOL"));
    PrintOrganisationList(ds);
    const QDir lists(desktop.path() + QStringLiteral("/tmp/kvr-lists"));
    const QStringList made = lists.entryList(QDir::Files | QDir::Hidden);
    ASSERT_EQ(made.size(), 1) << made.join(u' ').toStdString(); // the list, no lock file beside
    const QString list = lists.filePath(made.front());
    EXPECT_TRUE(made.front().endsWith(QStringLiteral(".xls"))) << made.front().toStdString();
    if (desktopHasProgram) {
        EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join(u'|').toStdString();
        EXPECT_EQ(desktop.handedFile(), QFileInfo(list).canonicalFilePath());
    } else {
        EXPECT_EQ(recorder.texts(),
                  QStringList{QStringLiteral("Нет программы для просмотра электронных таблиц.\r"
                                             "Список организаций сохранён в файле\r") +
                              QDir::toNativeSeparators(list)});
        EXPECT_FALSE(desktop.programStarted());
    }
    auto book = printing::PrintEngine().open(list); // filled and saved either way
    EXPECT_EQ(book->text(5, 2), QStringLiteral("Школа № 1"));
}

INSTANTIATE_TEST_SUITE_P(Desktops, DesktopListTest, ::testing::Bool());

TEST(OrganisationSheetTest, EmptyHeaderStartsInRowOneAndHeaderMustParse) {
    printtest::Installation inst;
    const QVector<store::FieldDef> fields = schoolFields();
    QList<Record> orgs;
    for (int k = 1; k <= 3; ++k)
        orgs << Record{{"KOD", QString::number(k)}};
    testsupport::writeTable(inst.root(), QStringLiteral("SCHOOL"), fields, orgs);
    testsupport::OpenTable table(inst.root(), QStringLiteral("SCHOOL"));
    store::TADODataSet &ds = table.ds;
    sheet::MemoryEngine engine;
    auto book = engine.addWorkbook();
    FillOrganisationSheet(*book, ds, QDate(2016, 3, 1));
    // The third organisation's code overwrites the date line, written first.
    EXPECT_EQ(book->value(3, 1), Value::number(3));
    EXPECT_EQ(engine.books().back()->framedCells.size(), 27u);
    const printtest::CLocale c;
    auto dated = engine.addWorkbook();
    dated->setText(1, 1, QStringLiteral("5;9;"));
    FillOrganisationSheet(*dated, ds, QDate(2016, 3, 1));
    EXPECT_EQ(dated->value(3, 1), Value::text("на 01.03.2016"));
    auto bad = engine.addWorkbook();
    bad->setText(1, 1, QStringLiteral("5;"));
    EXPECT_THROW(FillOrganisationSheet(*bad, ds, QDate(2016, 3, 1)), std::exception);
}

} // namespace
