// The report checks over small period tables and report tables in a
// temporary program folder: the rules within a report, the relations between
// reports, the count of errors and the messages as the user reads them.

#include "checks/CheckUnit.h"
#include "checks/MesssageMCheckUnit.h"
#include "shell/Paths.h"
#include "support/DataModuleConnections.h"
#include "support/FormulaTableFields.h"
#include "support/MessageRecorder.h"
#include "support/TableBuilder.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace {

using store::FieldDef;
using testsupport::Record;
using testsupport::writeTable;

using testsupport::kFormFields;
using testsupport::kProvFields;

const QVector<FieldDef> kCatalogueFields{
    {"KOD", 'N', 4, 0},   {"NAME", 'C', 40, 0}, {"FAIL", 'C', 12, 0}, {"NSTOLB1", 'N', 3, 0},
    {"NAM1", 'C', 40, 0}, {"NAM2", 'C', 40, 0}, {"NAM3", 'C', 40, 0}};

const QVector<FieldDef> kReportFields{
    {"KODSTR", 'C', 6, 0}, {"NAME", 'C', 30, 0}, {"N1", 'N', 14, 2}, {"N2", 'N', 14, 2},
    {"N3", 'N', 14, 2},    {"N4", 'N', 14, 2},   {"N5", 'N', 14, 2}};

Record formRule(const QString &iden, int report, int kolonk, const QString &forV,
                const QString &kodstr = "01", const QString &primeh = "Примечание") {
    return {{"IDEN", iden},  {"KOD_OTH", report}, {"KOLONK", kolonk},
            {"FOR_V", forV}, {"KODSTR", kodstr},  {"PRIMEH", primeh}};
}

Record definition(const QString &kodd, int report, int kolonk, int record) {
    return {{"KOD_OTH", report},
            {"KOLONK", kolonk},
            {"KODSTR", QString::number(record)},
            {"KODD", kodd}};
}

Record relation(int nform1, int nstr1, const QString &perem1, int nform2, int nstr2,
                const QString &perem2, const QString &primeh = "Связь") {
    return {{"NFORM1", nform1}, {"NSTR1", nstr1},   {"PEREM1", perem1}, {"NFORM2", nform2},
            {"NSTR2", nstr2},   {"PEREM2", perem2}, {"PRIMEH", primeh}};
}

// A report row: the values of N1..N5 (an invalid QVariant leaves a cell blank).
Record row(const QString &kodstr, const QList<QVariant> &cells) {
    Record r{{"KODSTR", kodstr}};
    for (int i = 0; i < cells.size(); ++i)
        if (cells[i].isValid())
            r.append({"N" + QString::number(i + 1), cells[i]});
    return r;
}

const QString kEnd = QStringLiteral("Проверка завершена.\r\rОбнаружено ошибок: ");

class CheckReportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        testsupport::closeDataModuleConnections();
        paths::setProgramDirForTests(dir.path() + "/");
        wed = paths::GetWedDir();
        data = CheckDataFolder(7, 16, -1);
        ASSERT_TRUE(QDir().mkpath(wed));
        ASSERT_TRUE(QDir().mkpath(data));
        // Report 1 "Первый" (F1, N1 is form column 3), report 2 "Второй" (F2,
        // form column 5), report 3 without a table name, report 4 "Четвертый"
        // (F4) whose table the folder does not hold.
        writeTable(wed, "OTHE2016", kCatalogueFields,
                   {{{"KOD", 1},
                     {"NAME", "Первый"},
                     {"FAIL", "F1.DBF"},
                     {"NSTOLB1", 3},
                     {"NAM1", "Всего; учащихся "},
                     {"NAM2", "Девочки"}},
                    {{"KOD", 2},
                     {"NAME", "Второй"},
                     {"FAIL", "F2.DBF"},
                     {"NSTOLB1", 5},
                     {"NAM1", "Классы;Всего;классов"},
                     {"NAM2", "x;Комплекты"}},
                    {{"KOD", 3}, {"NAME", "Без таблицы"}, {"NSTOLB1", 3}},
                    {{"KOD", 4}, {"NAME", "Четвертый"}, {"FAIL", "F4.DBF"}, {"NSTOLB1", 3}}});
        writeTable(data, "F12016", kReportFields,
                   {row("01", {10, 20, 30, 40, 50}), row("02", {1, 2, 3, 4, 5}),
                    row("03", {2, 3, 4, 5, 6})});
        writeTable(data, "F22016", kReportFields,
                   {row("01", {7, 8, 12.4, {}, {}}), row("02", {3, 4, 5, 6, 7})});
        writeTable(data, "F42016", kReportFields, {row("01", {1})});
        setForm({});
        setProv({});
    }
    void TearDown() override {
        testsupport::closeDataModuleConnections();
        paths::setProgramDirForTests(QString());
    }

    void setForm(const QList<Record> &rows) { writeTable(wed, "FORM2016", kFormFields, rows); }
    void setProv(const QList<Record> &rows) { writeTable(wed, "PROV2016", kProvFields, rows); }

    // Mode 2 over the organisation's folder; the relation dialogs are
    // answered with `answers` (true: "Продолжить", false: "Прервать
    // проверку"), then "Продолжить".
    void runAll(QList<bool> answers = {}, int setNumber = -1) {
        rec.onDialog = [this, answers](QDialog &d) mutable {
            auto &form = dynamic_cast<TMessageMCheckForm &>(d);
            dialogTexts.append(form.Message());
            const bool go = answers.isEmpty() ? true : answers.takeFirst();
            (go ? form.ButtonOK : form.ButtonCancel)->click();
            return d.result();
        };
        testsupport::OpenTable catalogue(wed, "OTHE2016");
        catalogue.ds.setRecNo(3);
        CheckReports(catalogue.ds, 2, 0, 7, 16, setNumber);
        EXPECT_EQ(catalogue.ds.RecNo(), 1);
    }

    // The messages before the end message, which must come last.
    QStringList reported(int errors) {
        QStringList t = rec.texts();
        EXPECT_FALSE(t.isEmpty());
        if (t.isEmpty())
            return t;
        EXPECT_EQ(t.takeLast(), kEnd + QString::number(errors));
        EXPECT_EQ(rec.messages.last().title, "Результаты проверки");
        EXPECT_EQ(ErrorCount, errors);
        return t;
    }

    QTemporaryDir dir;
    QString wed, data;
    MessageRecorder rec;
    QStringList dialogTexts;
};

QString mismatch(const QString &name, const QString &row, int column, const QString &entered,
                 const QString &expected, const QString &note = "Примечание") {
    return "Не соответствие в отчете: \r\"" + name + "\"\r\rОшибка: строка  " + row +
           ", колонка  " + QString::number(column) + "\rВведено: " + entered +
           "\rДолжно быть: " + expected + "\r\r" + note;
}

// ------------------------------------------------------------ within a report

TEST_F(CheckReportsTest, ARuleForEveryColumnRunsOverEachDataField) {
    setForm({formRule("A1", 1, 0, "A2+A3")});
    runAll();
    const QStringList t = reported(5);
    ASSERT_EQ(t.size(), 5);
    EXPECT_EQ(t[0], mismatch("Первый", "01", 3, "10", "3"));
    EXPECT_EQ(t[4], mismatch("Первый", "01", 7, "50", "11"));
    EXPECT_EQ(rec.messages[0].title, "Ошибка!");
    EXPECT_EQ(rec.messages[0].icon, msg::Icon::None);
}

TEST_F(CheckReportsTest, ARuleForOneColumnTestsThatFieldAndNamesTheFormColumn) {
    // KOLONK 3 is N1 of report 1; KOLONK 6 is N2 of report 2 (NSTOLB1 5).
    setForm({formRule("A1", 1, 3, "A2+A3", "1.0"), formRule("A1", 2, 6, "A2*3", "7", "П")});
    runAll();
    EXPECT_EQ(reported(2), (QStringList{mismatch("Первый", "1.0", 3, "10", "3"),
                                        mismatch("Второй", "7", 6, "8", "12", "П")}));
}

struct RoundingCase {
    const char *forV;
    QVariant target;                // N1 of row 1 of report 2
    const char *entered, *expected; // nullptr: no mismatch
};

class CheckRounding : public CheckReportsTest, public testing::WithParamInterface<RoundingCase> {};

TEST_P(CheckRounding, ComparesWholeNumbersRoundedHalfToEven) {
    const RoundingCase &c = GetParam();
    writeTable(data, "F22016", kReportFields, {row("01", {c.target}), row("02", {})});
    setForm({formRule("A1", 2, 5, QString::fromUtf8(c.forV))});
    runAll();
    const QStringList t = reported(c.entered ? 1 : 0);
    if (c.entered) {
        ASSERT_EQ(t.size(), 1);
        EXPECT_EQ(t[0], mismatch("Второй", "01", 5, c.entered, c.expected));
    } else {
        EXPECT_TRUE(t.isEmpty()) << t.join("|").toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, CheckRounding,
    testing::Values(RoundingCase{"12,5", 12.5, nullptr, nullptr},
                    RoundingCase{"13,5", 13.5, nullptr, nullptr},
                    RoundingCase{"12,5", 13, "13", "12"},
                    RoundingCase{"25/2", 12.4, nullptr, nullptr},
                    RoundingCase{"0", QVariant(), nullptr, nullptr}, // empty target is 0
                    RoundingCase{"A2+1", QVariant(), "0", "1"},      // empty A2 is 0
                    RoundingCase{"1 > 0", 0, nullptr, nullptr},      // a condition counts 0
                    RoundingCase{"AA7+2", 2, nullptr, nullptr},      // no such named value
                    RoundingCase{"-A2", -0.5, nullptr, nullptr}));

TEST_F(CheckReportsTest, OtherReportsRulesAndDefinitionsGiveNoMessageTwoRulesOnOneTargetTwo) {
    setForm({formRule("A1", 3, 0, "999"), definition("1", 1, 3, 1),
             formRule("A2", 2, 5, "AA1-7", "02"), formRule("A2", 2, 5, "A1-5", "02"),
             formRule("A2", 2, 5, "A1-6", "02")});
    runAll();
    // AA1 is report 1's N1 in row 1 (10): 10 - 7 = 3 holds; 7 - 5 and 7 - 6 do not.
    EXPECT_EQ(reported(2), (QStringList{mismatch("Второй", "02", 5, "3", "2"),
                                        mismatch("Второй", "02", 5, "3", "1")}));
}

TEST_F(CheckReportsTest, EveryReportOfTheFolderInCatalogueOrderAndMissingOnesSaid) {
    QFile::remove(data + "/F42016.DBF");
    setForm({formRule("A1", 2, 5, "0"), formRule("A1", 1, 3, "0")});
    runAll();
    EXPECT_EQ(reported(2), (QStringList{mismatch("Первый", "01", 3, "10", "0"),
                                        mismatch("Второй", "01", 5, "7", "0"),
                                        "Нет отчета: \r\r\"Четвертый\""}));
    EXPECT_EQ(rec.messages[2].title, "Сообщение");
}

TEST_F(CheckReportsTest, AConsolidationSetChecksItsOwnFolder) {
    EXPECT_EQ(CheckDataFolder(7, 16, 3), dir.path() + "/DBF/S20163");
    EXPECT_EQ(CheckDataFolder(7, 16, -1), dir.path() + "/DBF/D7");
    const QString svod = CheckDataFolder(7, 16, 3);
    ASSERT_TRUE(QDir().mkpath(svod));
    writeTable(svod, "F12016", kReportFields, {row("01", {99})});
    setForm({formRule("A1", 1, 3, "0")});
    runAll({}, 3);
    const QStringList t = reported(1);
    ASSERT_EQ(t.size(), 3);
    EXPECT_EQ(t[0], mismatch("Первый", "01", 3, "99", "0"));
    EXPECT_EQ(t[1], "Нет отчета: \r\r\"Второй\"");
}

TEST_F(CheckReportsTest, ModeOnePostsThePendingEditAndLeavesTheTableOnItsFirstRecord) {
    setForm({formRule("A1", 1, 3, "A2+A3"), definition("5", 1, 4, 1),
             formRule("A3", 1, 4, "AA5-A2", "03")});
    testsupport::OpenTable table(data, "F12016");
    table.ds.setRecNo(1);
    table.ds.Edit();
    table.ds.FieldByName("N1").SetAsFloat(3);
    table.ds.setRecNo(1); // posts
    table.ds.setRecNo(2);
    table.ds.Edit();
    table.ds.FieldByName("N1").SetAsFloat(1.5); // still pending: 1.5 + 2 rounds to 4
    CheckReports(table.ds, 1, 1, 7, 16, -1);
    // A1 = 3 holds against 1.5 + 2 = 3.5 -> 4; the named value AA5 (N2 of
    // row 1 = 20) minus A2 (2) is 18, while A3 holds 4.
    EXPECT_EQ(reported(2), (QStringList{mismatch("Первый", "01", 3, "3", "4"),
                                        mismatch("Первый", "03", 4, "3", "18")}));
    EXPECT_EQ(table.ds.RecNo(), 1);
    EXPECT_EQ(table.ds.State(), store::DataSetState::Browse);
    EXPECT_EQ(testsupport::readCell(data, "F12016", 2, "N1").toDouble(), 1.5);
}

TEST_F(CheckReportsTest, AnyOtherModeChecksNothingAndStillEnds) {
    setForm({formRule("A1", 1, 3, "0")});
    testsupport::OpenTable table(data, "F12016");
    CheckReports(table.ds, 3, 1, 7, 16, -1);
    EXPECT_TRUE(reported(0).isEmpty());
}

// ------------------------------------------------------------ between reports

TEST_F(CheckReportsTest, RelationsInTableOrderEachMismatchOneDialog) {
    setProv({relation(1, 2, "N1", 2, 2, "N1-2"),                   // 1 = 3 - 2 holds
             relation(1, 3, "N2", 2, 1, "N1+N2", "Всего = 7 + 8"), // 3 against 15
             relation(2, 1, "N2", 1, 1, "N5/5-2")});               // 8 = 50 / 5 - 2 holds
    runAll();
    EXPECT_TRUE(reported(1).isEmpty());
    EXPECT_EQ(dialogTexts,
              QStringList{"Не соответствие в отчете: \r\"Первый\"\r\rОшибка: строка 3 "
                          "колонка Девочки\rВведено: 3\rДолжно быть: 15\r\rВсего = 7 + 8"});
    EXPECT_EQ(MessageMCheckForm().LabelMess->text(), msg::displayText(dialogTexts.value(0)));
    EXPECT_EQ(MessageMCheckForm().windowTitle(), "Ошибка!");
}

TEST_F(CheckReportsTest, StoppingEndsTheRelationsAndTheCountIncludesEverythingSoFar) {
    setForm({formRule("A1", 1, 3, "0")});
    setProv({relation(2, 1, "N1", 1, 1, "N1"), relation(2, 2, "N2", 1, 1, "N1"),
             relation(2, 1, "N3", 1, 1, "N1")});
    runAll({false});
    EXPECT_EQ(reported(2).size(), 1);
    ASSERT_EQ(dialogTexts.size(), 1);
    EXPECT_TRUE(dialogTexts[0].contains("строка 1 колонка Всего;классов\r"));

    rec.messages.clear();
    dialogTexts.clear();
    runAll({true});
    EXPECT_EQ(dialogTexts.size(), 3);
    EXPECT_EQ(reported(4).size(), 1);
    // 12.4 of N3 is taken as 12 (the column has no NAM3 caption: empty text).
    EXPECT_TRUE(dialogTexts[2].contains("колонка \rВведено: 12\rДолжно быть: 10"));
}

TEST_F(CheckReportsTest, AColumnWithoutACaptionFieldStillShowsTheMismatch) {
    // The catalogue has NAM1..NAM3 only: N4 and N5 have no caption field.
    setProv({relation(1, 2, "N4", 2, 2, "N1"), relation(1, 2, "N5", 2, 2, "N2+1")});
    runAll();
    EXPECT_TRUE(reported(1).isEmpty());
    EXPECT_EQ(dialogTexts, QStringList{"Не соответствие в отчете: \r\"Первый\"\r\rОшибка: строка 2 "
                                       "колонка \rВведено: 4\rДолжно быть: 3\r\rСвязь"});
}

TEST_F(CheckReportsTest, AnEnteredValueBetweenReportsIsRoundedLikeWithinAReport) {
    setForm({definition("9", 2, 5, 1)}); // AA9 = 12.4
    setProv({relation(2, 1, "N3", 1, 1, "AA9"), relation(2, 1, "N3", 1, 1, "12,6")});
    runAll();
    EXPECT_EQ(reported(1).size(), 0);
    ASSERT_EQ(dialogTexts.size(), 1);
    EXPECT_TRUE(dialogTexts[0].contains("Введено: 12\rДолжно быть: 13"))
        << dialogTexts[0].toStdString();
}

TEST_F(CheckReportsTest, ARelationWithEitherTableMissingIsPassedOver) {
    QFile::remove(data + "/F42016.DBF");
    setProv({relation(4, 1, "N1", 1, 1, "N1"), relation(1, 1, "N1", 4, 1, "N1"),
             relation(1, 1, "N1", 2, 1, "N1")});
    runAll();
    EXPECT_EQ(reported(1).size(), 1); // "Нет отчета" for report 4
    ASSERT_EQ(dialogTexts.size(), 1);
    EXPECT_TRUE(dialogTexts[0].contains("Введено: 10\rДолжно быть: 7"));
}

// ------------------------------------------------------- rules that fail

TEST_F(CheckReportsTest, AFormulaWithAnErrorIsReportedAndCountedNotCompared) {
    // An "A" without digits is no reference: the formula language judges it.
    setForm({formRule("A1", 1, 3, "A2*/A3"), formRule("A1", 1, 4, "A2+"),
             formRule("A1", 1, 5, "A+A2")});
    setProv({relation(1, 1, "N1", 2, 1, "N1*(N2")});
    runAll();
    const QStringList t = reported(4);
    ASSERT_EQ(t.size(), 3);
    EXPECT_EQ(t[0], "Ошибка в формуле отчета: \r\"Первый\"\r\rОшибка: строка  01, колонка  3\r"
                    "Формула: A2*/A3\rВычислялось: 1*/2\rКод ошибки: 6, позиция: 3\r\rПримечание");
    EXPECT_TRUE(t[1].contains("Вычислялось: 2+\rКод ошибки: 6, позиция: 2")) << t[1].toStdString();
    EXPECT_TRUE(t[2].contains("Вычислялось: A+3\rКод ошибки: 2, позиция: 2")) << t[2].toStdString();
    ASSERT_EQ(dialogTexts.size(), 1);
    EXPECT_TRUE(dialogTexts[0].startsWith("Ошибка в формуле связи между отчетами: \r\"Первый\""));
    EXPECT_TRUE(
        dialogTexts[0].contains("Формула: N1*(N2\rВычислялось: 7*(8\rКод ошибки: 5, позиция: 4"));
}

TEST_F(CheckReportsTest, ARuleThatCannotBeCheckedIsReportedAndTheRunGoesOn) {
    setForm({definition("1", 1, 2, 1),             // KOLONK 2 names no field
             definition("2", 1, 3, 40),            // no record 40
             formRule("AX", 1, 3, "0"),            // IDEN names no row
             formRule("A9", 1, 3, "0"),            // no record 9
             formRule("A1", 1, 3, "A77"),          // no record 77
             formRule("A1", 1, 9, "0"),            // no form column 9 (N7)
             formRule("A1", 1, 3, "A2+A3")});      // still checked: 10 against 3
    setProv({relation(1, 1, "N1", 2, 1, "N"),      // "N" without digits
             relation(1, 1, "N9", 2, 1, "N1"),     // no field N9
             relation(1, 9, "N1", 2, 1, "N1"),     // no record 9
             relation(1, 1, "N1", 2, 1, "N1+1")}); // still checked: 10 against 8
    runAll();
    const QStringList t = reported(11);
    ASSERT_EQ(t.size(), 7);
    EXPECT_TRUE(t[0].startsWith("Переменная AA1 не определена: \r"));
    EXPECT_TRUE(t[1].startsWith("Переменная AA2 не определена: \r"));
    EXPECT_TRUE(t[1].contains("Записи с номером 40 нет")) << t[1].toStdString();
    EXPECT_TRUE(t[2].startsWith("Правило проверки не выполнено: \r\"Первый\"\r\rСтрока  01, "
                                "переменная AX, формула: 0\r"));
    EXPECT_TRUE(t[5].contains("В отчете нет колонки 9 (поля N7)."));
    EXPECT_EQ(t[6], mismatch("Первый", "01", 3, "10", "3"));
    ASSERT_EQ(dialogTexts.size(), 4);
    EXPECT_TRUE(dialogTexts[0].startsWith("Связь между отчетами не проверена: \r"));
    EXPECT_TRUE(dialogTexts[3].contains("Введено: 10\rДолжно быть: 8"));
}

TEST_F(CheckReportsTest, AMissingPeriodTableIsNamed) {
    QFile::remove(wed + "PROV2016.DBF");
    setForm({formRule("A1", 1, 3, "0")});
    runAll();
    const QStringList t = reported(1);
    ASSERT_EQ(t.size(), 2);
    EXPECT_EQ(t[1], "Связи между отчетами не проверены:\rв папке WED нет таблицы связей "
                    "PROV2016.DBF.");

    rec.messages.clear();
    QFile::remove(wed + "FORM2016.DBF");
    runAll();
    EXPECT_EQ(rec.texts(), QStringList{"Проверка не выполнена:\rв папке WED нет таблицы формул "
                                       "FORM2016.DBF."});
    EXPECT_EQ(rec.messages[0].title, "Результаты проверки");

    rec.messages.clear();
    setForm({});
    testsupport::closeDataModuleConnections();
    QFile::remove(wed + "OTHE2016.DBF");
    testsupport::OpenTable table(data, "F12016");
    CheckReports(table.ds, 1, 1, 7, 16, -1);
    EXPECT_EQ(rec.texts(), QStringList{"Проверка не выполнена:\rв папке WED нет каталога отчетов "
                                       "OTHE2016.DBF."});
}

// ----------------------------------------------------------- performance

TEST_F(CheckReportsTest, TableOpensGrowWithTablesNotWithRules) {
    auto opens = [this](int rules, bool third) {
        QList<Record> form, prov;
        for (int k = 0; k < rules; ++k) {
            form.append(formRule("A1", 1 + k % 2, 0, "A1"));
            form.append(definition(QString::number(k), 1 + k % 2, 3, 1));
            prov.append(relation(1 + k % 2, 1, "N1", 1 + k % 2, 1, "N1+AA1*0"));
        }
        setForm(form);
        setProv(prov);
        if (third)
            writeTable(data, "F42016", kReportFields, {row("01", {1})});
        else
            QFile::remove(data + "/F42016.DBF");
        testsupport::closeDataModuleConnections();
        rec.messages.clear();
        store::resetCounters();
        runAll({}, -1);
        return store::counters().tableOpens;
    };
    const auto few = opens(2, false);
    EXPECT_EQ(opens(200, false), few);
    EXPECT_EQ(opens(200, true), few + 1);
    // The catalogue, FORM, PROV and the two report tables.
    EXPECT_EQ(few, 5u);
}

// ------------------------------------------------------------ the dialog

TEST(MessageMCheckForm, ItsButtonsAndCloseBoxAnswerTheQuestion) {
    TMessageMCheckForm &form = MessageMCheckForm();
    EXPECT_EQ(form.windowTitle(), "Ошибка!");
    EXPECT_EQ(form.ButtonOK->text(), "Продолжить");
    EXPECT_EQ(form.ButtonCancel->text(), "Прервать проверку");
    EXPECT_FALSE(form.ButtonOK->isDefault());
    EXPECT_FALSE(form.ButtonCancel->isDefault());
    EXPECT_EQ(&form, &MessageMCheckForm());

    MessageRecorder rec;
    enum class Press { Ok, Cancel, CloseBox } press = Press::Cancel;
    QSize shown;
    rec.onDialog = [&](QDialog &d) {
        d.show();
        shown = d.size();
        EXPECT_GE(form.LabelMess->height(), form.LabelMess->sizeHint().height());
        EXPECT_TRUE(form.ContinueCheck); // each showing starts with "go on"
        if (press == Press::CloseBox)
            d.close();
        else
            QTest::mouseClick(press == Press::Ok ? form.ButtonOK : form.ButtonCancel,
                              Qt::LeftButton);
        return d.result();
    };
    EXPECT_FALSE(form.Ask("Первая\rвторая"));
    EXPECT_EQ(form.LabelMess->text(), "Первая\nвторая");
    press = Press::CloseBox;
    EXPECT_TRUE(form.Ask("x"));
    // A short message keeps the dialog's client area; a long one makes it taller.
    EXPECT_GE(shown.width(), 356);
    EXPECT_GE(shown.height(), 185);
    const QSize small = shown;
    EXPECT_TRUE(form.Ask(QStringList(14, "Строка сообщения").join(u'\r')));
    EXPECT_GT(shown.height(), small.height());
    press = Press::Ok;
    EXPECT_TRUE(form.Ask("y"));
    press = Press::Cancel;
    EXPECT_FALSE(form.Ask("z"));
    EXPECT_EQ(rec.dialogs.size(), 5);
}

TEST(MessageMCheckForm, EnterAnswersWithTheFocusedButton) {
    // The keyboard user goes through a long run of mismatches with Enter, as
    // in any question of the program.
    TMessageMCheckForm &form = MessageMCheckForm();
    MessageRecorder rec;
    QString focus;
    bool closedByEnter = false;
    rec.onDialog = [&](QDialog &d) { return answerWithReturnOn(d, focus, closedByEnter); };
    focus = form.ButtonOK->objectName();
    EXPECT_TRUE(form.Ask("Первая"));
    EXPECT_TRUE(closedByEnter);
    focus = form.ButtonCancel->objectName();
    EXPECT_FALSE(form.Ask("Вторая"));
    EXPECT_TRUE(closedByEnter);
}

} // namespace
