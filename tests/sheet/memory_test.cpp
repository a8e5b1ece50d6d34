// Cell values as the printing code writes them, and the in-memory engine
// that the printing tests drive instead of the office.

#include "sheet/MemoryEngine.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using sheet::CellMap;
using sheet::Error;
using sheet::MemoryEngine;
using sheet::Table;
using sheet::Value;

namespace {

TEST(ValueInput, PlainNumbersBecomeNumbers) {
    EXPECT_EQ(Value::fromInput("12"), Value::number(12));
    EXPECT_EQ(Value::fromInput("12 "), Value::number(12)); // placeholders leave a blank
    EXPECT_EQ(Value::fromInput(" -3,5 "), Value::number(-3.5));
    EXPECT_EQ(Value::fromInput("+7.25"), Value::number(7.25));
    EXPECT_EQ(Value::fromInput("0"), Value::number(0));
    EXPECT_EQ(Value::fromInput("0.5"), Value::number(0.5));
    EXPECT_EQ(Value::fromInput("-0"), Value::number(0));
    EXPECT_EQ(Value::fromInput("1e5"), Value::number(100000));
    // Up to the 15 significant digits a number keeps.
    EXPECT_EQ(Value::fromInput("123456789012345 "), Value::number(123456789012345.0));
    EXPECT_EQ(Value::fromInput("9999999999999.50"), Value::number(9999999999999.5));
    EXPECT_EQ(Value::fromInput("0.000123456789012345"), Value::number(0.000123456789012345));
}

TEST(ValueInput, NumbersReadAsTextAndAssignedBackStayNumbers) {
    for (double number : {1e-05, 1.23456789012346e+17, 1e20, -2.5e-7, 42248.0, 0.1 + 0.2}) {
        const Value back = Value::fromInput(Value::number(number).toText());
        ASSERT_TRUE(back.isNumber()) << number;
        EXPECT_EQ(back.toText(), Value::number(number).toText());
    }
}

TEST(ValueInput, EverythingElseStaysText) {
    for (const char *text :
         {"0123", "00", "1e", "e5", "1e5.5", "12a", "1.2.3", "1 234", ".5", "5.", "#A1N1", "=A1",
          "-", "Всего", "1234567890123456", "99999999999999.99 "})
        EXPECT_EQ(Value::fromInput(text), Value::text(text)) << text;
    EXPECT_TRUE(Value::fromInput("").isEmpty());
    EXPECT_EQ(Value::fromInput(" "), Value::text(" "));
    EXPECT_EQ(Value::text("12"), Value::text("12"));
    EXPECT_FALSE(Value::text("12") == Value::number(12));
}

TEST(ValueText, NumbersInShortestForm) {
    EXPECT_EQ(Value::number(2.5).toText(), "2.5");
    EXPECT_EQ(Value::number(1234567).toText(), "1234567");
    EXPECT_EQ(Value::number(0.1 + 0.2).toText(), "0.3");
    EXPECT_EQ(Value::number(-0.0).toText(), "0");
    EXPECT_EQ(Value::number(1e20).toText(), "1e+20");
    EXPECT_EQ(Value().toText(), "");
    EXPECT_EQ(Value::text("12 ").toText(), "12 ");
    EXPECT_EQ(Value::text("x").toNumber(), 0);
}

class MemoryEngineTest : public ::testing::Test {
protected:
    QString file(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    MemoryEngine engine;
};

TEST_F(MemoryEngineTest, InsertedRowCopyPushesRowsDownWithTheirBorders) {
    auto book = engine.addWorkbook();
    book->setText(1, 1, "шапка");
    book->setText(3, 1, "#CCC");
    book->setText(3, 2, "#A1N1");
    book->setText(4, 1, "Итого");
    book->drawBorders(3, 1, 3, 2);
    book->formatFigures(3, 2, 4, 2, 2);
    book->insertRowCopy(3);
    const auto &state = *engine.books().front();
    EXPECT_EQ(state.value(1, 1), Value::text("шапка"));
    EXPECT_TRUE(state.value(2, 1).isEmpty());
    for (int row : {3, 4}) {
        EXPECT_EQ(state.value(row, 1), Value::text("#CCC"));
        EXPECT_EQ(state.value(row, 2), Value::text("#A1N1"));
    }
    EXPECT_EQ(state.value(5, 1), Value::text("Итого"));
    EXPECT_EQ(state.framedCells, (std::set<std::pair<int, int>>{{3, 1}, {3, 2}, {4, 1}, {4, 2}}));
    EXPECT_EQ(state.insertedRows, std::vector<int>{3});
    EXPECT_EQ(state.figureCells,
              (std::map<std::pair<int, int>, int>{{{3, 2}, 2}, {{4, 2}, 2}, {{5, 2}, 2}}));

    // An empty row copied onto itself stays empty and pushes the rest down.
    book->insertRowCopy(2);
    EXPECT_TRUE(state.value(2, 1).isEmpty());
    EXPECT_TRUE(state.value(3, 1).isEmpty());
    EXPECT_EQ(state.value(6, 1), Value::text("Итого"));
}

TEST_F(MemoryEngineTest, BlocksAndEmptyValues) {
    auto book = engine.addWorkbook();
    book->setText(2, 2, "old");
    const Table block = {{Value::number(1), Value()}, {Value::text("a"), Value::number(2)}};
    book->setValues(1, 2, block);
    EXPECT_EQ(book->values(1, 2, 2, 2), block);
    EXPECT_EQ(engine.books().front()->cells.count({1, 3}), 0u); // empty values are not kept
    EXPECT_TRUE(book->values(1, 1, 3, 0).empty());
    EXPECT_THROW(book->setValues(1, 1, {{Value()}, {}}), Error);
    EXPECT_THROW(book->setText(1, 0, "x"), Error);
    EXPECT_THROW(book->drawBorders(2, 2, 1, 2), Error);
}

TEST_F(MemoryEngineTest, OpenFindsGivenOrSavedContents) {
    const QString templ = file("BFSVOD.XLS");
    engine.setFileContents(templ, CellMap{{{1, 1}, Value::text("5;3;")}});
    auto book = engine.open(templ);
    EXPECT_EQ(book->text(1, 1), "5;3;");
    book->assign(2, 2, "17 ");
    book->saveAs(file("BTEMP.XLS"));
    book->close();
    auto again = engine.open(file("BTEMP.XLS"));
    EXPECT_EQ(again->value(2, 2), Value::number(17));
    EXPECT_EQ(again->text(1, 1), "5;3;");
    EXPECT_THROW(engine.open(file("missing.xls")), Error);
    EXPECT_EQ(engine.books().front()->savedAs, QStringList{file("BTEMP.XLS")});
}

TEST_F(MemoryEngineTest, PrintFailsWithoutPrinterAndShowNeedsAFile) {
    auto book = engine.addWorkbook();
    EXPECT_EQ(book->print(QStringLiteral("Отчет")).id, 1);
    engine.setPrinterAvailable(false);
    EXPECT_THROW(book->print(QStringLiteral("Второй")), Error);
    EXPECT_EQ(engine.books().front()->printed, QStringList{QStringLiteral("Отчет")});

    EXPECT_THROW(book->showToUser(), Error);
    book->saveAs(file("list.xls"));
    book->showToUser();
    EXPECT_TRUE(engine.books().front()->shown);
    EXPECT_THROW(book->text(1, 1), Error); // handed over: closed here
}

TEST_F(MemoryEngineTest, QuitClosesEverything) {
    auto book = engine.addWorkbook();
    engine.quit();
    EXPECT_TRUE(engine.hasQuit());
    EXPECT_TRUE(engine.books().front()->closed);
    EXPECT_THROW(book->setNumber(1, 1, 1), Error);
    EXPECT_THROW(engine.addWorkbook(), Error);
}

TEST(EngineFactory, StartEngineUsesTheInstalledFactory) {
    MemoryEngine *made = nullptr;
    const auto previous = sheet::setEngineFactory([&] {
        auto engine = std::make_unique<MemoryEngine>();
        made = engine.get();
        return engine;
    });
    auto engine = sheet::startEngine();
    EXPECT_EQ(engine.get(), made);
    EXPECT_FALSE(previous);                         // LibreOffice by default
    EXPECT_TRUE(sheet::setEngineFactory(previous)); // gives back the test's factory
}

} // namespace
