// The placeholders of the print templates, one by one, on small templates
// filled in memory: the header cell, the repeat mode, the fields of this and
// other reports, names, codes, years, requisites, the title, the date, the
// school counts and the zero rule.

#include "print_install.h"

#include "printing/TemplateFill.h"
#include "sheet/MemoryEngine.h"
#include "support/TableBuilder.h"

#include <QLocale>

#include <gtest/gtest.h>

using printing::FillError;
using sheet::CellMap;
using sheet::MemoryBook;
using sheet::MemoryEngine;
using sheet::Value;

namespace sheet {
void PrintTo(const Value &v, std::ostream *os) {
    *os << (v.isNumber() ? "number " : v.isText() ? "text " : "empty ") << v.toText().toStdString();
}
} // namespace sheet

namespace {

class TemplateFillTest : public ::testing::Test {
protected:
    printtest::Installation inst;
    MemoryEngine engine;
    store::TADOConnection connection;
    store::TADODataSet table;

    // The printed table, open on the organisation's folder.
    void openTable(const QString &name) {
        connection.setFolder(inst.org());
        connection.Open();
        table.setConnection(&connection);
        table.setCommandText(QStringLiteral("select * from ") + name);
        table.Open();
    }

    // Fills a template of the given cells from table F1 of `count` records
    // (or another table) printed as report `kod`; returns the sheet.
    std::shared_ptr<MemoryBook> fill(const CellMap &cells, int count, int kod = 1,
                                     const QString &name = QStringLiteral("F12016")) {
        inst.writeReport(name, count);
        openTable(name);
        engine.setFileContents(inst.blank() + "T.XLS", cells);
        QFile(inst.blank() + "T.XLS").open(QIODevice::WriteOnly);
        auto book = engine.open(inst.blank() + "T.XLS");
        FillTemplate(table, *book, {QStringLiteral("Школа № 5"), kod, 16, appState().WorkDate});
        return engine.books().back();
    }
    void TearDown() override {
        table.Close();
        connection.Close();
    }
};

Value text(const char *s) {
    return Value::text(QString::fromUtf8(s));
}

TEST_F(TemplateFillTest, EmptyHeaderScansColumnAOfOneRowPerRecord) {
    auto book = fill({{{2, 1}, text("#YR1")}, {{2, 2}, text("#YR2")}, {{3, 1}, text("#YR2")}}, 2);
    EXPECT_EQ(book->value(2, 1), Value::number(2015));
    EXPECT_EQ(book->value(2, 2), text("#YR2")); // column B is not scanned
    EXPECT_EQ(book->value(3, 1), text("#YR2")); // row 3 is below L = 2
}

TEST_F(TemplateFillTest, HeaderSetsTheAreaAndIsEmptied) {
    // n = 0: with R = 1 nothing is scanned; with R = 5 rows 1 to 4 are.
    auto none = fill({{{1, 1}, text("1;3;")}, {{1, 2}, text("#YR1")}}, 0);
    EXPECT_TRUE(none->value(1, 1).isEmpty());
    EXPECT_EQ(none->value(1, 2), text("#YR1"));
    table.Close();
    auto some = fill({{{1, 1}, text("5;3;")}, {{4, 3}, text("#YR1")}, {{5, 3}, text("#YR1")}}, 0);
    EXPECT_TRUE(some->value(1, 1).isEmpty());
    EXPECT_EQ(some->value(4, 3), Value::number(2015));
    EXPECT_EQ(some->value(5, 3), text("#YR1"));
}

TEST_F(TemplateFillTest, BadHeaderFails) {
    for (const char *header : {"12;", "a;3;", "3;b;", "3;4"}) {
        table.Close();
        EXPECT_THROW(fill({{{1, 1}, text(header)}}, 1), FillError) << header;
    }
}

// The repeat row: "#CCC" first, then the name and the record's columns; the
// row below the template stays below the last record.
class RepeatTest : public TemplateFillTest, public ::testing::WithParamInterface<int> {};

TEST_P(RepeatTest, RepeatRowPrintsEveryRecord) {
    const int n = GetParam();
    auto book = fill({{{1, 1}, text("3;4;")},
                      {{3, 1}, text("#CCC")},
                      {{3, 2}, text("#ORG")},
                      {{3, 3}, text("#A1N1")},
                      {{3, 4}, text("#A1N12")},
                      {{4, 2}, text("Итого")}},
                     n);
    for (int k = 1; k <= n; ++k) {
        const int row = 2 + k;
        // What a text that reads as a number becomes in a cell: a number.
        EXPECT_EQ(book->value(row, 1),
                  Value::fromInput(QStringLiteral("%1").arg(k, 2, 10, QChar('0'))));
        // A single record is no repeat: #ORG prints the title then.
        EXPECT_EQ(book->value(row, 2), Value::text(n == 1 ? QStringLiteral("Школа № 5")
                                                          : QStringLiteral("Строка %1").arg(k)));
        EXPECT_EQ(book->value(row, 3), Value::number(10 * k)) << row;
        EXPECT_EQ(book->value(row, 4), Value::number(10 * k + 11)) << row;
        // Cells that received the next record's placeholder are framed.
        EXPECT_EQ(book->framedCells.count({row, 3}), k > 1 ? 1u : 0u) << row;
        // The figures show every digit, with no decimals (those of the text).
        EXPECT_EQ(book->figureCells.at({row, 3}), 0) << row;
        EXPECT_EQ(book->figureCells.at({row, 4}), 0) << row;
    }
    EXPECT_EQ(book->figureCells.size(), 2u * n);
    EXPECT_EQ(book->value(n + 3, 2), text("Итого"));
    EXPECT_EQ(book->insertedRows, std::vector<int>(n - 1, 3));
}

INSTANTIATE_TEST_SUITE_P(Records, RepeatTest, ::testing::Values(1, 2, 30));

TEST_F(TemplateFillTest, RecordFieldInsideTextAndCarriedDown) {
    auto book = fill({{{1, 1}, text("1;2;")},
                      {{1, 2}, text("Всего #A1N1 чел. и #A2N2")},
                      {{2, 2}, text("что угодно")},
                      {{4, 2}, text("#A5N1")}},
                     3);
    // The blank after a one-digit column is dropped; the value brings its own.
    EXPECT_EQ(book->value(1, 2), text("Всего 10 чел. и #A2N2"));
    // Above L in repeat mode, the cell below receives the next record's
    // placeholder whatever it held, and is replaced in its turn.
    EXPECT_EQ(book->value(2, 2), Value::number(20));
    EXPECT_EQ(book->value(3, 2), Value::number(30));
    EXPECT_EQ(book->framedCells, (std::set<std::pair<int, int>>{{2, 2}, {3, 2}}));
    EXPECT_EQ(book->value(4, 2), text("#A5N1")); // below L = 3: left as it was
    // A figure inside a text is text; alone in its cell it is a figure.
    EXPECT_EQ(book->figureCells, (std::map<std::pair<int, int>, int>{{{2, 2}, 0}, {{3, 2}, 0}}));
}

TEST_F(TemplateFillTest, FieldsOfOtherReports) {
    inst.writeReport(QStringLiteral("F22016"), 2); // report 2 beside the printed table
    auto book = fill({{{1, 1}, text("1;4;")},
                      {{1, 1}, text("1;4;")},
                      {{1, 2}, text("Школ: #F2A2N1 шт")},
                      {{1, 3}, text("#F4A1N1 нет")},
                      {{1, 4}, text("#F1A1N3")}},
                     1);
    EXPECT_EQ(book->value(1, 2), text("Школ: 20 шт"));
    EXPECT_EQ(book->value(1, 3), text(" нет"));      // no table F42016: one blank
    EXPECT_EQ(book->value(1, 4), Value::number(12)); // the printed report itself
    EXPECT_EQ(book->figureCells, (std::map<std::pair<int, int>, int>{{{1, 4}, 0}}));
}

// A numeric field's figures carry its decimals, whatever the value; a
// character field's those its text has. Each cell gets its own.
TEST_F(TemplateFillTest, FiguresTakeTheDecimalsOfTheirFields) {
    testsupport::writeTable(inst.org(), QStringLiteral("F12016"),
                            {{"KODSTR", 'C', 5, 0},
                             {"N1", 'N', 12, 2},
                             {"N2", 'N', 10, 0},
                             {"N3", 'C', 15, 0},
                             {"N4", 'N', 12, 3},
                             {"N5", 'N', 20, 2}},
                            {{{"N1", 5},
                              {"N2", 9999999999.0},
                              {"N3", "12.50"},
                              {"N4", 0.125},
                              {"N5", "12345678901234567.89"}}});
    openTable(QStringLiteral("F12016"));
    engine.setFileContents(inst.blank() + "T.XLS", {{{1, 1}, text("1;6;")},
                                                    {{1, 2}, text("#A1N1")},
                                                    {{1, 3}, text("#A1N2")},
                                                    {{1, 4}, text("#A1N3")},
                                                    {{1, 5}, text("#A1N4")},
                                                    {{1, 6}, text("#A1N5")}});
    QFile(inst.blank() + "T.XLS").open(QIODevice::WriteOnly);
    auto book = engine.open(inst.blank() + "T.XLS");
    FillTemplate(table, *book, {QStringLiteral("Школа"), 1, 16, appState().WorkDate});
    const MemoryBook &sheet = *engine.books().back();
    EXPECT_EQ(sheet.value(1, 2), Value::number(5));
    EXPECT_EQ(sheet.value(1, 3), Value::number(9999999999.0));
    // More digits than a number keeps: every one of them, as text.
    EXPECT_EQ(sheet.value(1, 6), text("12345678901234567.89 "));
    EXPECT_EQ(sheet.figureCells,
              (std::map<std::pair<int, int>, int>{
                  {{1, 2}, 2}, {{1, 3}, 0}, {{1, 4}, 2}, {{1, 5}, 3}, {{1, 6}, 2}}));
}

TEST_F(TemplateFillTest, NamesAndCodesByGroupAndRow) {
    // Group 47: no repeat; #ORG on the last row names the last record, and
    // #CCC each row's record.
    auto book = fill({{{1, 1}, text("2;2;")},
                      {{1, 2}, text("#ORG")},
                      {{2, 1}, text("#CCC")},
                      {{3, 1}, text("#CCC")},
                      {{3, 2}, text("#ORG")}},
                     2, 3, QStringLiteral("F32016"));
    EXPECT_EQ(book->value(1, 2), text("Школа № 5"));
    EXPECT_EQ(book->value(2, 1), text("01"));
    EXPECT_EQ(book->value(3, 1), text("02"));
    EXPECT_EQ(book->value(3, 2), text("Строка 2"));
    EXPECT_TRUE(book->insertedRows.empty());
}

TEST_F(TemplateFillTest, GroupOneCodeReadsTheCurrentRecord) {
    auto book = fill({{{1, 1}, text("1;2;")}, {{1, 2}, text("#A2N1")}, {{2, 1}, text("#CCC")}}, 2,
                     2, QStringLiteral("F22016"));
    EXPECT_EQ(book->value(2, 1), text("02")); // #A2N1 left record 2 current
}

TEST_F(TemplateFillTest, NameAboveTheRepeatRowFails) {
    EXPECT_THROW(fill({{{1, 1}, text("3;2;")}, {{1, 2}, text("#ORG")}}, 2), FillError);
}

TEST_F(TemplateFillTest, YearsRequisitesTitleAndDate) {
    const struct {
        const char *cell;
        Value expected;
    } cases[] = {
        {"#YR1", Value::number(2015)},
        {"#YR1/#YR2 год", text("2015/2016 год")},
        {"до #YP1 года", text("до 2017 года")}, // the blank after the digits is the value's
        {"#YP1 ", Value::number(2017)},
        {"#YM", Value::number(2016)},
        {"с #YM2 по", text("с 2014 по")},
        {"Руководитель: #RYKORG", text("Руководитель: Иванова А. П.")},
        {"#PADRES", text("г. Уфа, ул. Ленина, 1")},
        {"ОКПО #OKPO хвост", text("ОКПО 01234567")},
        {"Учреждение: #TORG (ред.)", text("Учреждение: Школа № 5")},
        {"Дата: #DATE", text("20.09.2015")}, // whatever the locale
    };
    const printtest::CLocale c;
    CellMap cells = {{{1, 1}, text("1;11;")}};
    for (int c = 0; c < int(std::size(cases)); ++c)
        cells[{1, c + 1 + 0}] = text(cases[c].cell);
    cells[{1, 1}] = text("1;11;"); // the header takes A1: the first case moves aside
    cells[{2, 1}] = text(cases[0].cell);
    auto book = fill(cells, 2);
    EXPECT_EQ(book->value(2, 1), Value::number(2015)); // row 2 = L: scanned too
    for (int c = 1; c < int(std::size(cases)); ++c)
        EXPECT_EQ(book->value(1, c + 1), cases[c].expected) << cases[c].cell;
}

TEST_F(TemplateFillTest, RequisitesWithoutTheirTableOrField) {
    QFile::remove(inst.root() + "REGIM.DBF");
    auto book = fill({{{1, 1}, text("1;2;")}, {{1, 2}, text("Руководитель #RYKORG")}}, 1);
    EXPECT_TRUE(book->value(1, 2).isEmpty());
    table.Close();
    printtest::Installation other; // with REGIM again
    inst.writeReport(QStringLiteral("F12016"), 1);
    EXPECT_THROW(fill({{{1, 1}, text("1;2;")}, {{1, 2}, text("#RYKORG, директор")}}, 1),
                 std::exception);
}

TEST_F(TemplateFillTest, SchoolCountsSumTwoRecords) {
    CellMap cells = {{{1, 1}, text("1;4;")},
                     {{1, 1}, text("1;4;")},
                     {{1, 2}, text("#SH_TOT")},
                     {{1, 3}, text("всего #SH_NOSH")},
                     {{1, 4}, text("#SH_SPOSH")}};
    auto book = fill(cells, 8, 2, QStringLiteral("F22016"));
    EXPECT_EQ(book->value(1, 2), Value::number(30));  // 10 + 20
    EXPECT_EQ(book->value(1, 3), Value::number(70));  // 30 + 40
    EXPECT_EQ(book->value(1, 4), Value::number(150)); // 70 + 80
    table.Close();
    // An empty operand reads as 0; a text that is no number fails.
    inst.writeReport(QStringLiteral("F22016"), 8);
    testsupport::OpenTable t(inst.org(), QStringLiteral("F22016"));
    t.set(2, "N1", QString());
    t.set(4, "N1", QStringLiteral("много"));
    t.ds.Close();
    t.con.Close();
    openTable(QStringLiteral("F22016"));
    auto again = engine.open(inst.blank() + "T.XLS");
    again->setValue(1, 1, text("1;3;"));
    again->setValue(1, 2, text("#SH_TOT"));
    again->setValue(1, 3, text("#SH_NOSH"));
    EXPECT_THROW(FillTemplate(table, *again, {QString(), 2, 16, QDate()}), FillError);
    // The failed fill wrote nothing (the working copy is dropped anyway).
    EXPECT_EQ(engine.books().back()->value(1, 2), text("#SH_TOT"));
}

TEST_F(TemplateFillTest, ZeroIsEmptiedAboveTheLastRowOutsideGroupOne) {
    const CellMap cells = {{{1, 1}, text("1;2;")},
                           {{1, 2}, text("0")},
                           {{2, 2}, Value::number(0)},
                           {{3, 2}, text("0")}};
    auto book = fill(cells, 3);
    EXPECT_TRUE(book->value(1, 2).isEmpty());
    EXPECT_TRUE(book->value(2, 2).isEmpty());
    EXPECT_EQ(book->value(3, 2), text("0")); // row L
    table.Close();
    auto groupOne = fill(cells, 3, 2, QStringLiteral("F22016"));
    EXPECT_EQ(groupOne->value(1, 2), text("0"));
}

TEST_F(TemplateFillTest, CellsWithoutPlaceholdersKeepTheirValues) {
    // Numbers stay the same numbers (also those whose text is an exponent
    // form), a date stays its serial number, texts stay texts.
    const CellMap cells = {{{1, 1}, text("1;5;")},
                           {{1, 2}, Value::number(1e-05)},
                           {{1, 3}, Value::number(123456789012345678.0)},
                           {{1, 4}, Value::number(42248)},
                           {{1, 5}, text("0123")}};
    auto book = fill(cells, 1);
    for (int c = 2; c <= 5; ++c)
        EXPECT_EQ(book->value(1, c), cells.at({1, c})) << c;
    EXPECT_EQ(Value::fromInput(Value::number(1e-05).toText()), Value::number(1e-05));
    EXPECT_TRUE(Value::fromInput(Value::number(123456789012345678.0).toText()).isNumber());
}

TEST_F(TemplateFillTest, CatalogueLookups) {
    EXPECT_EQ(ResolveReportFile(1, 0, 16), QStringLiteral("BFFF.XLS"));
    EXPECT_EQ(ResolveReportFile(2, -1, 16), QStringLiteral("BFFFF.XLS"));
    EXPECT_EQ(ResolveReportFile(1, 3, 16), QStringLiteral("BF3.XLS"));
    EXPECT_EQ(ResolveReportFile(2, 3, 16), QStringLiteral("F32016.DBF"));
    EXPECT_EQ(ResolveReportFile(1, 9, 16), QString());
    EXPECT_EQ(ResolveReportFile(1, 3, 17), QString()); // no catalogue for 2017
    inst.setCatalogue({{1, "f1.dbf", "A.XLS", 2}, {1, "X.DBF", "B.XLS", 2}});
    EXPECT_EQ(ResolveReportFile(1, 1, 16), QStringLiteral("B.XLS")); // the later record wins
    EXPECT_EQ(GetReportGroup(1, 16), 2);
    EXPECT_EQ(GetReportGroup(0, 16), 0);
    EXPECT_THROW(GetReportGroup(3, 16), FillError);
}

} // namespace
