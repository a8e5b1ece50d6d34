// Automatic filling of derived cells: the link set and its lookups, the cell
// primitives, the summing routine and every fill, against small report tables
// made in a temporary program folder.

#include "entry/EditReportUnit_Zap.h"
#include "entry_fixture.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"
#include "store/Dataset.h"
#include "support/MessageRecorder.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

namespace {

// A table of one folder opened on a connection of its own.
using Table = testsupport::OpenTable;

class AutoFillTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + "/";
        paths::setProgramDirForTests(root);
        folder = paths::GetOrgDataDir("7");
        ASSERT_TRUE(QDir().mkpath(folder));
    }
    void TearDown() override {
        DM().ADOConDBF.Close();
        paths::setProgramDirForTests(QString());
    }

    // Creates folder/name.DBF with `rows` records; `values` maps (row, field)
    // to a cell value, every other data cell blank.
    void make(const QString &name, int rows, const QMap<QPair<int, QString>, QVariant> &values = {},
              int columns = 16, const QString &in = QString(), int width = 10) {
        const QString where = in.isEmpty() ? folder : in;
        QList<testsupport::Record> records;
        for (int r = 1; r <= rows; ++r)
            records.append({{"KODSTR", QString::number(r)}});
        // N1..Nn whole numbers of width 10 unless given.
        testsupport::writeTable(where, name, entrytest::reportFields(columns, 60, width, 0),
                                records);
        Table t(where, name);
        for (auto it = values.begin(); it != values.end(); ++it)
            t.set(it.key().first, it.key().second, it.value());
    }
    // An F1 of one record with the given figures of row 1.
    void makeF1(const QMap<QString, QVariant> &figures, const QString &in = QString(),
                const QString &name = "F12016") {
        QMap<QPair<int, QString>, QVariant> v;
        for (auto it = figures.begin(); it != figures.end(); ++it)
            v[{1, it.key()}] = it.value();
        make(name, 1, v, 16, in);
    }
    // An F1 whose "Nn" of row 1 holds a + b * n, for n from 1 to 16.
    void makeFullF1(int a, int b) {
        QMap<QString, QVariant> figures;
        for (int n = 1; n <= 16; ++n)
            figures["N" + QString::number(n)] = a + b * n;
        makeF1(figures);
    }
    QVariant cell(const QString &table, int row, const QString &field) {
        return testsupport::readCell(folder, table, row, field);
    }

    QTemporaryDir dir;
    QString root;
    QString folder;
    MessageRecorder rec;
};

// ---------------------------------------------------------------------------
// The link set and its lookups.

TEST(AutoFillLinksTest, NamesFortyOneDistinctDerivedCells) {
    QSet<QString> cells;
    auto add = [&](const AutoFillCell &c) {
        cells.insert(QString::fromLatin1(c.Table.data(), c.Table.size()) + "|" +
                     QString::fromLatin1(c.Field.data(), c.Field.size()) + "|" +
                     QString::fromLatin1(c.Row.data(), c.Row.size()));
    };
    for (const auto &l : AutoFillLinks.Copies)
        add(l.Destination);
    for (const auto &d : AutoFillLinks.Differences)
        add(d.Destination);
    for (const auto &s : AutoFillLinks.Sums)
        add(s.Destination);
    EXPECT_EQ(cells.size(), 41);
    EXPECT_FALSE(cells.contains("F7A|N1|1"));
}

TEST(AutoFillLinksTest, IsAutoFilledCellMatchesTableRowFieldExactly) {
    for (auto [t, r, f] : {std::tuple{"F0", "9", "N1"},
                           {"F0", "24", "N1"},
                           {"F7A", "1", "N2"},
                           {"F7A", "1", "N7"},
                           {"F4R2", "1", "N1"},
                           {"F7", "1", "N1"},
                           {"F4S", "1", "N1"}})
        EXPECT_TRUE(IsAutoFilledCell(t, r, f)) << t << " " << r << " " << f;
    // Neighbours, another letter case, padded texts, field and row swapped.
    for (auto [t, r, f] : {std::tuple{"F0", "8", "N1"},
                           {"F0", "25", "N1"},
                           {"F0", "9", "N2"},
                           {"F7A", "1", "N1"},
                           {"F4S", "2", "N1"},
                           {"F1", "1", "N1"},
                           {"f0", "9", "N1"},
                           {"F0", "9", "n1"},
                           {"F7a", "1", "N3"},
                           {"f4r2", "1", "N1"},
                           {"F0", "09", "N1"},
                           {"F0 ", "9", "N1"},
                           {"F0", "N1", "9"}})
        EXPECT_FALSE(IsAutoFilledCell(t, r, f)) << t << " " << r << " " << f;
}

TEST(AutoFillLinksTest, SectionLookupGivesTheConsolidationsF1Figure) {
    const QMap<QString, QString> copies{
        {"F3A", "N3"}, {"F4A", "N3"},  {"F4A2", "N3"}, {"F3B", "N4"},  {"F4B", "N4"}, {"F3V", "N5"},
        {"F4V", "N5"}, {"F3G", "N6"},  {"F4G", "N6"},  {"F3D", "N7"},  {"F4D", "N7"}, {"F4E", "N8"},
        {"F4N", "N9"}, {"F4U", "N11"}, {"F4L", "N12"}, {"F4S", "N13"}, {"F4R", "N2"}};
    for (auto it = copies.begin(); it != copies.end(); ++it) {
        const auto f = SectionF1FigureByFile(it.key() + ".DBF");
        ASSERT_TRUE(f.has_value()) << it.key().toStdString();
        EXPECT_EQ(f->Field1, it.value().toStdString()) << it.key().toStdString();
        EXPECT_EQ(f->Factor, 0);
        EXPECT_TRUE(f->Field2.empty());
    }
    const auto r2 = SectionF1Figure("F4R2");
    ASSERT_TRUE(r2.has_value());
    EXPECT_EQ(r2->Field1, "N1");
    EXPECT_EQ(r2->Factor, -1);
    EXPECT_EQ(r2->Field2, "N2");
    // Tables with derived cells that are no section tables, and other texts.
    for (const char *t : {"F0", "F1", "F7", "F7A", "f3a", "F3A ", "F3A2016", ""})
        EXPECT_FALSE(SectionF1Figure(t).has_value()) << t;
    for (const char *f : {"F3A.dbf", "F3A", "F7.DBF"})
        EXPECT_FALSE(SectionF1FigureByFile(f).has_value()) << f;
}

TEST_F(AutoFillTest, ReadF1FigureReadsRowOneAndTheDifference) {
    makeF1({{"N1", 500}, {"N2", 30}});
    make("F12015", 0);
    Table f1(folder, "F12016"), empty(folder, "F12015");
    EXPECT_EQ(ReadF1Figure(f1.ds, *SectionF1Figure("F4R2")), 470);
    EXPECT_EQ(ReadF1Figure(f1.ds, *SectionF1Figure("F4R")), 30);
    EXPECT_EQ(ReadF1Figure(f1.ds, *SectionF1Figure("F4S")), 0); // N13 blank
    EXPECT_EQ(ReadF1Figure(empty.ds, *SectionF1Figure("F4R2")), 0);

    // Ten-digit figures are read whole, beyond what 32 bits hold.
    makeF1({{"N1", 9999999999LL}, {"N2", 30}}, QString(), "F12017");
    Table big(folder, "F12017");
    EXPECT_EQ(ReadF1Figure(big.ds, *SectionF1Figure("F4R2")), 9999999969LL);
}

// ---------------------------------------------------------------------------
// Cell primitives.

TEST_F(AutoFillTest, CopyLinkedCellMovesTheValueAsStoredOrFailsQuietly) {
    make("SRC", 3, {{{2, "N4"}, 42}});
    make("DST", 3, {{{3, "N1"}, 7}, {{1, "N1"}, 9}});
    Table src(folder, "SRC"), dst(folder, "DST");
    // The table parts of the addresses are not consulted.
    EXPECT_TRUE(CopyLinkedCell(dst.ds, src.ds, {"ZZZ", "N1", "3"}, {"YYY", "N4", "2"}));
    EXPECT_EQ(cell("DST", 3, "N1").toLongLong(), 42);
    EXPECT_TRUE(CopyLinkedCell(dst.ds, src.ds, {"DST", "N1", "3"}, {"SRC", "N4", "1"}));
    EXPECT_TRUE(cell("DST", 3, "N1").isNull()) << "an empty source empties the destination";

    for (const char *row : {"x", "0", "-1", "4", "", "1 ", " 1", "+1", "1x"})
        EXPECT_FALSE(CopyLinkedCell(dst.ds, src.ds, {"DST", "N1", row}, {"SRC", "N4", "2"})) << row;
    EXPECT_FALSE(CopyLinkedCell(dst.ds, src.ds, {"DST", "N1", "1"}, {"SRC", "N4", "7"}));
    EXPECT_FALSE(CopyLinkedCell(dst.ds, src.ds, {"DST", "N1", "1"}, {"SRC", "N40", "2"}));
    EXPECT_TRUE(rec.messages.isEmpty());
    EXPECT_EQ(cell("DST", 1, "N1").toLongLong(), 9);
}

// A write that fails after it began its edit leaves nothing pending: the
// dataset is back to browsing, the failed row keeps its value on disk, and the
// next copy posts only its own cell.
TEST_F(AutoFillTest, FailedWriteCancelsTheEditItBegan) {
    make("SRC", 2, {{{1, "N1"}, 123456}, {{2, "N1"}, 8}});
    store::DbfFile::create(folder + "DST.DBF", {{"KODSTR", 'C', 6, 0}, {"N1", 'N', 3, 0}});
    {
        Table t(folder, "DST");
        for (int r = 1; r <= 2; ++r) {
            t.ds.Append();
            t.ds.FieldByName("N1").SetAsInteger(r);
            t.ds.Post();
        }
    }
    Table src(folder, "SRC"), dst(folder, "DST");
    // 123456 does not fit a field of three digits; N9 does not exist.
    EXPECT_FALSE(CopyLinkedCell(dst.ds, src.ds, {"DST", "N1", "1"}, {"SRC", "N1", "1"}));
    EXPECT_EQ(dst.ds.State(), store::DataSetState::Browse);
    EXPECT_FALSE(CopyLinkedCell(dst.ds, src.ds, {"DST", "N9", "1"}, {"SRC", "N1", "2"}));
    EXPECT_EQ(dst.ds.State(), store::DataSetState::Browse);
    EXPECT_FALSE(SetCellInteger(dst.ds, {"", "N1", "1"}, 100000));
    EXPECT_EQ(dst.ds.State(), store::DataSetState::Browse);
    EXPECT_FALSE(SetCellInteger(dst.ds, {"", "N2", "1"}, 1));
    EXPECT_EQ(dst.ds.State(), store::DataSetState::Browse);
    EXPECT_FALSE(SetCellInteger(dst.ds, {"", "N1", "3"}, 1));

    EXPECT_TRUE(CopyLinkedCell(dst.ds, src.ds, {"DST", "N1", "2"}, {"SRC", "N1", "2"}));
    dst.ds.Close();
    EXPECT_EQ(cell("DST", 1, "N1").toLongLong(), 1);
    EXPECT_EQ(cell("DST", 2, "N1").toLongLong(), 8);
}

// ---------------------------------------------------------------------------
// Summing.

TEST_F(AutoFillTest, SumFieldsOverFoldersAddsEachFoldersFirstRecord) {
    const QString d8 = paths::GetOrgDataDir("8"), d9 = paths::GetOrgDataDir("9");
    QDir().mkpath(d8);
    QDir().mkpath(d9); // no F1 there
    makeF1({{"N1", 10}, {"N2", 3}});
    makeF1({{"N1", 20}, {"N2", 5}}, d8);
    make("F12015", 0);
    const QStringList folders{folder, d8, d9, root + "DBF/D10/"};
    EXPECT_EQ(SumFieldsOverFolders(folders, "F12016", "N1", -1, "N2"), 22);
    EXPECT_EQ(SumFieldsOverFolders(folders, "F12016", "N1", 2, "N2"), 46);
    EXPECT_EQ(SumFieldsOverFolders(folders, "F12016", "N1", 0, ""), 30);
    // A folder named without its closing separator counts as well.
    EXPECT_EQ(SumFieldsOverFolders({root + "DBF/D8"}, "F12016", "N1", -1, "N2"), 15);
    EXPECT_EQ(SumFieldsOverFolders({}, "F12016", "N1", -1, "N2"), 0);
    // A missing table, an empty one, a blank cell and a missing field add 0.
    EXPECT_EQ(SumFieldsOverFolders(folders, "F12017", "N1", -1, "N2"), 0);
    EXPECT_EQ(SumFieldsOverFolders({folder}, "F12015", "N1", -1, "N2"), 0);
    EXPECT_EQ(SumFieldsOverFolders({folder}, "F12016", "N5", -1, "N2"), -3);
    EXPECT_EQ(SumFieldsOverFolders({folder}, "F12016", "N40", -1, "N2"), -3);
    EXPECT_TRUE(rec.messages.isEmpty());
}

// ---------------------------------------------------------------------------
// Copy fills.

TEST_F(AutoFillTest, EachSectionFillWritesItsOwnF1Figure) {
    makeFullF1(100, 1);
    const QList<std::pair<QString, decltype(&FillF3AFromF1)>> fills{
        {"F3A", FillF3AFromF1},   {"F3B", FillF3BFromF1}, {"F3V", FillF3VFromF1},
        {"F3G", FillF3GFromF1},   {"F3D", FillF3DFromF1}, {"F4A", FillF4AFromF1},
        {"F4A2", FillF4A2FromF1}, {"F4B", FillF4BFromF1}, {"F4V", FillF4VFromF1},
        {"F4G", FillF4GFromF1},   {"F4D", FillF4DFromF1}, {"F4E", FillF4EFromF1},
        {"F4U", FillF4UFromF1},   {"F4R", FillF4RFromF1}, {"F4N", FillF4NFromF1},
        {"F4L", FillF4LFromF1},   {"F4S", FillF4SFromF1}};
    for (const auto &[table, fill] : fills)
        make(table + "2016", 2, {{{1, "N2"}, 7}});
    for (const auto &[table, fill] : fills) {
        ASSERT_TRUE(fill(folder, table + "2016", "2016", nullptr)) << table.toStdString();
        EXPECT_FALSE(DM().ADOConDBF.Connected());
        const int n = QString::fromLatin1(SectionF1Figure(table)->Field1.data()).mid(1).toInt();
        EXPECT_EQ(cell(table + "2016", 1, "N1").toLongLong(), 100 + n) << table.toStdString();
        EXPECT_EQ(cell(table + "2016", 1, "N2").toLongLong(), 7);
        EXPECT_TRUE(cell(table + "2016", 2, "N1").isNull());
    }
    EXPECT_TRUE(rec.messages.isEmpty());
}

TEST_F(AutoFillTest, EmptyF1CellBlanksItsDestination) {
    makeF1({{"N1", 500}});
    make("F3A2016", 1, {{{1, "N1"}, 55}});
    make("F02016", 24, {{{9, "N1"}, 3}, {{10, "N1"}, 4}});
    EXPECT_TRUE(FillF3AFromF1(folder, "F3A2016", "2016"));
    EXPECT_TRUE(cell("F3A2016", 1, "N1").isNull());
    EXPECT_TRUE(FillF0FromF1(folder, "F02016", "2016"));
    EXPECT_EQ(cell("F02016", 9, "N1").toLongLong(), 500);
    EXPECT_TRUE(cell("F02016", 10, "N1").isNull());
}

TEST_F(AutoFillTest, F0WithTwentyRowsCopiesWhatExists) {
    makeFullF1(100, 1);
    make("F02016", 20, {{{8, "N1"}, 1}});
    EXPECT_TRUE(FillF0FromF1(folder, "F02016", "2016"));
    Table f0(folder, "F02016");
    EXPECT_EQ(f0.ds.RecordCount(), 20);
    EXPECT_EQ(f0.get(8, "N1").toLongLong(), 1);
    for (int row = 9; row <= 20; ++row)
        EXPECT_EQ(f0.get(row, "N1").toLongLong(), 100 + row - 8) << row;
    EXPECT_TRUE(rec.messages.isEmpty());
}

// All 24 rows: rows 9 to 24 take F1 "N1" to "N16" of row 1 in step; the rows
// before them and the other columns keep what they held.
TEST_F(AutoFillTest, F0RowsNineToTwentyFourTakeF1ColumnsInStep) {
    makeFullF1(1000, 7);
    QMap<QPair<int, QString>, QVariant> before;
    for (int row = 1; row <= 24; ++row)
        before[{row, "N2"}] = row;
    before[{8, "N1"}] = 5;
    make("F02016", 24, before);
    EXPECT_TRUE(FillF0FromF1(folder, "F02016", "2016"));
    Table f0(folder, "F02016");
    EXPECT_EQ(f0.get(8, "N1").toLongLong(), 5);
    for (int row = 1; row <= 7; ++row)
        EXPECT_TRUE(f0.get(row, "N1").isNull()) << row;
    for (int row = 9; row <= 24; ++row)
        EXPECT_EQ(f0.get(row, "N1").toLongLong(), 1000 + 7 * (row - 8)) << row;
    for (int row = 1; row <= 24; ++row)
        EXPECT_EQ(f0.get(row, "N2").toLongLong(), row) << row;
    EXPECT_TRUE(rec.messages.isEmpty());
}

// ---------------------------------------------------------------------------
// F1 missing or empty.

TEST_F(AutoFillTest, MissingF1ZeroesDifferencesAndKeepsCopies) {
    make("F3A2016", 1, {{{1, "N1"}, 55}});
    make("F02016", 24, {{{9, "N1"}, 3}});
    make("F4R22016", 1, {{{1, "N1"}, 9}});
    make("F72016", 1, {{{1, "N1"}, 9}});
    make("F7A2016", 1, {{{1, "N1"}, 8}, {{1, "N2"}, 9}});
    makeF1({{"N1", 500}, {"N3", 120}}, QString(), "F12015"); // another period's
    EXPECT_TRUE(FillF3AFromF1(folder, "F3A2016", "2016"));
    EXPECT_TRUE(FillF0FromF1(folder, "F02016", "2016"));
    EXPECT_TRUE(FillF4R2FromF1(folder, "F4R22016", "2016"));
    EXPECT_TRUE(FillF7FromF1(folder, "F72016", "2016"));
    EXPECT_TRUE(FillF7AFromF1(folder, "F7A2016", "2016"));
    EXPECT_EQ(cell("F3A2016", 1, "N1").toLongLong(), 55);
    EXPECT_EQ(cell("F02016", 9, "N1").toLongLong(), 3);
    for (auto [table, field] : {std::pair{"F4R22016", "N1"}, {"F72016", "N1"}, {"F7A2016", "N2"}}) {
        const QVariant v = cell(table, 1, field);
        ASSERT_FALSE(v.isNull()) << table;
        EXPECT_EQ(v.toLongLong(), 0) << table;
    }
    EXPECT_EQ(cell("F7A2016", 1, "N1").toLongLong(), 8);
    EXPECT_TRUE(rec.messages.isEmpty());
}

TEST_F(AutoFillTest, F1WithoutRecordsAddsZero) {
    make("F12016", 0);
    make("F3A2016", 1, {{{1, "N1"}, 55}});
    make("F72016", 1, {{{1, "N1"}, 9}});
    EXPECT_TRUE(FillF3AFromF1(folder, "F3A2016", "2016"));
    EXPECT_TRUE(FillF7FromF1(folder, "F72016", "2016"));
    EXPECT_EQ(cell("F3A2016", 1, "N1").toLongLong(), 55);
    ASSERT_FALSE(cell("F72016", 1, "N1").isNull());
    EXPECT_EQ(cell("F72016", 1, "N1").toLongLong(), 0);
}

// ---------------------------------------------------------------------------
// Difference fills and the sums of F7A.

TEST_F(AutoFillTest, DifferenceFillsSubtractF1Figures) {
    makeF1({{"N1", 500}, {"N2", 30}, {"N3", 120}});
    make("F4R22016", 2);
    make("F72016", 2);
    make("F7A2016", 2, {{{1, "N1"}, 8}});
    EXPECT_TRUE(FillF4R2FromF1(folder, "F4R22016", "2016"));
    EXPECT_TRUE(FillF7FromF1(folder, "F72016", "2016"));
    EXPECT_TRUE(FillF7AFromF1(folder, "F7A2016", "2016"));
    EXPECT_EQ(cell("F4R22016", 1, "N1").toLongLong(), 470);
    EXPECT_EQ(cell("F72016", 1, "N1").toLongLong(), 380);
    EXPECT_EQ(cell("F7A2016", 1, "N2").toLongLong(), 470);
    EXPECT_EQ(cell("F7A2016", 1, "N1").toLongLong(), 8);
    EXPECT_TRUE(cell("F7A2016", 2, "N2").isNull());
    EXPECT_TRUE(rec.messages.isEmpty());
}

TEST_F(AutoFillTest, F7ASumsAddSectionFiguresAndMissingTablesAddZero) {
    make("F3A2016", 1, {{{1, "N13"}, 10}});
    make("F4A2016", 1, {{{1, "N13"}, 20}}); // no F4A2
    make("F3B2016", 1, {{{1, "N13"}, 5}});
    make("F4B2016", 1); // N13 blank
    make("F4V2016", 0); // no records
    make("F7A2016", 1, {{{1, "N1"}, 8}, {{1, "N5"}, 99}, {{1, "N6"}, 99}});
    EXPECT_TRUE(FillF7ASums(folder, "F7A2016", "2016"));
    Table f7a(folder, "F7A2016");
    EXPECT_EQ(f7a.get(1, "N3").toLongLong(), 30);
    EXPECT_EQ(f7a.get(1, "N4").toLongLong(), 5);
    for (const char *f : {"N5", "N6", "N7"}) {
        ASSERT_FALSE(f7a.get(1, f).isNull()) << f;
        EXPECT_EQ(f7a.get(1, f).toLongLong(), 0) << f;
    }
    EXPECT_EQ(f7a.get(1, "N1").toLongLong(), 8);
    EXPECT_TRUE(f7a.get(1, "N2").isNull());
    EXPECT_TRUE(rec.messages.isEmpty());
}

// Ten-digit figures give sums and differences beyond 32 bits: each derived
// cell gets the exact figure, which its field holds.
TEST_F(AutoFillTest, SumsAndDifferencesBeyondThirtyTwoBitsAreExact) {
    makeF1({{"N1", 9000000000LL}, {"N2", 1}});
    make("F3A2016", 1, {{{1, "N13"}, 1234567904}});
    make("F4A2016", 1, {{{1, "N13"}, 1234567890}});
    make("F4R22016", 1);
    make("F72016", 1);
    make("F7A2016", 1);
    EXPECT_TRUE(FillF4R2FromF1(folder, "F4R22016", "2016"));
    EXPECT_TRUE(FillF7FromF1(folder, "F72016", "2016"));
    EXPECT_TRUE(FillF7ASums(folder, "F7A2016", "2016"));
    EXPECT_TRUE(FillF7AFromF1(folder, "F7A2016", "2016"));
    EXPECT_EQ(cell("F4R22016", 1, "N1").toLongLong(), 8999999999LL);
    EXPECT_EQ(cell("F72016", 1, "N1").toLongLong(), 9000000000LL);
    EXPECT_EQ(cell("F7A2016", 1, "N2").toLongLong(), 8999999999LL);
    EXPECT_EQ(cell("F7A2016", 1, "N3").toLongLong(), 2469135794LL);
    EXPECT_TRUE(rec.messages.isEmpty());
}

// A value its cell cannot hold is not written: the cell keeps its figure and
// the fill names the cell and the value, every digit of it. Figures beyond
// what a double holds exactly are read, added and copied whole.
TEST_F(AutoFillTest, ValuesThatDoNotFitAreToldAndWideFiguresAreExact) {
    const qlonglong wide = 9007199254740993LL; // 2^53 + 1
    const struct {
        const char *what;
        QList<std::tuple<QString, QMap<QPair<int, QString>, QVariant>, int>> tables; // width
        QString filled;
        QList<std::tuple<int, QString, QString>> refused; // row, field, value
        QList<std::tuple<int, QString, QVariant>> cells;  // of the table filled, afterwards
    } cases[] = {
        {"the sum of three ten-digit figures in F7A",
         {{"F3A2016", {{{1, "N13"}, 9999999999LL}}, 10},
          {"F4A2016", {{{1, "N13"}, 9999999999LL}}, 10},
          {"F4A22016", {{{1, "N13"}, 9999999999LL}}, 10},
          {"F3B2016", {{{1, "N13"}, 5}}, 10},
          {"F7A2016", {{{1, "N3"}, 111}}, 10}},
         "F7A2016",
         {{1, "N3", "29999999997"}},
         {{1, "N3", 111}, {1, "N4", 5}}},
        {"a difference of F1 figures that needs eleven digits",
         {{"F12016", {{{1, "N1"}, 9999999999LL}, {{1, "N2"}, -9}}, 10}, {"F4R22016", {}, 10}},
         "F4R22016",
         {{1, "N1", "10000000008"}},
         {{1, "N1", QVariant()}}},
        {"an F1 figure copied into a narrower column",
         {{"F12016", {{{1, "N3"}, 123456}}, 10}, {"F3A2016", {{{1, "N1"}, 7}}, 5}},
         "F3A2016",
         {{1, "N1", "123456"}},
         {{1, "N1", 7}}},
        {"figures beyond 2^53 in wide columns",
         {{"F12016", {{{1, "N1"}, wide}, {{1, "N3"}, wide}}, 19},
          {"F3A2016", {{{1, "N13"}, wide}}, 19},
          {"F4A2016", {{{1, "N13"}, 1}}, 19},
          {"F7A2016", {}, 19}},
         "F7A2016",
         {},
         {{1, "N2", wide}, {1, "N3", wide + 1}}},
        {"an F1 figure beyond 2^53 copied",
         {{"F12016", {{{1, "N3"}, wide}}, 19}, {"F3A2016", {}, 19}},
         "F3A2016",
         {},
         {{1, "N1", wide}}},
    };
    for (const auto &c : cases) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        for (const auto &[name, values, width] : c.tables)
            make(name, 1, values, 16, QString(), width);
        AutoFillRefusals refused;
        EXPECT_TRUE(FillDerivedCellsOfTable(folder, c.filled, "2016", &refused)) << c.what;
        ASSERT_EQ(refused.size(), c.refused.size()) << c.what;
        for (int i = 0; i < refused.size(); ++i) {
            const auto &[row, field, value] = c.refused[i];
            EXPECT_EQ(refused[i].Table, c.filled.chopped(4)) << c.what;
            EXPECT_EQ(refused[i].Row, row) << c.what;
            EXPECT_EQ(refused[i].Field.name, field) << c.what;
            EXPECT_EQ(refused[i].Value, value) << c.what;
        }
        for (const auto &[row, field, value] : c.cells)
            EXPECT_EQ(cell(c.filled, row, field), value) << c.what << " " << field.toStdString();
    }
    EXPECT_TRUE(rec.messages.isEmpty());
}

// Each of the five sums takes "N13" of row 1 of exactly its own section
// tables: every source holds its own power of two there, and other figures in
// the neighbouring fields and in row 2, so a wrong table, field or row shows.
TEST_F(AutoFillTest, EverySumOfF7ATakesN13OfRowOneOfItsOwnTables) {
    const QStringList sources{"F3A", "F4A", "F4A2", "F3B", "F4B", "F3V",
                              "F4V", "F3G", "F4G",  "F3D", "F4D"};
    for (int i = 0; i < sources.size(); ++i)
        make(sources[i] + "2016", 2,
             {{{1, "N13"}, 1 << i},
              {{1, "N12"}, 100000},
              {{1, "N14"}, 200000},
              {{2, "N13"}, 300000}});
    make("F7A2016", 1);
    EXPECT_TRUE(FillF7ASums(folder, "F7A2016", "2016"));
    Table f7a(folder, "F7A2016");
    EXPECT_EQ(f7a.get(1, "N3").toLongLong(), 1 + 2 + 4);  // F3A, F4A, F4A2
    EXPECT_EQ(f7a.get(1, "N4").toLongLong(), 8 + 16);     // F3B, F4B
    EXPECT_EQ(f7a.get(1, "N5").toLongLong(), 32 + 64);    // F3V, F4V
    EXPECT_EQ(f7a.get(1, "N6").toLongLong(), 128 + 256);  // F3G, F4G
    EXPECT_EQ(f7a.get(1, "N7").toLongLong(), 512 + 1024); // F3D, F4D
    EXPECT_TRUE(f7a.get(1, "N1").isNull());
    EXPECT_TRUE(f7a.get(1, "N2").isNull());
    EXPECT_TRUE(f7a.get(1, "N8").isNull());
    EXPECT_TRUE(rec.messages.isEmpty());
}

// Opening F7A runs its sums and then its difference: both kinds of cell are
// written, and the difference fill, which runs last, leaves the organisation
// connection closed, which the sums alone do not.
TEST_F(AutoFillTest, OpeningF7ARunsItsSumsBeforeItsDifference) {
    makeF1({{"N1", 500}, {"N2", 30}});
    make("F3D2016", 1, {{{1, "N13"}, 4}});
    make("F4D2016", 1, {{{1, "N13"}, 6}});
    make("F7A2016", 1);
    EXPECT_TRUE(FillDerivedCellsOfTable(folder, "F7A2016", "2016"));
    EXPECT_EQ(cell("F7A2016", 1, "N7").toLongLong(), 10);
    EXPECT_EQ(cell("F7A2016", 1, "N2").toLongLong(), 470);
    EXPECT_FALSE(DM().ADOConDBF.Connected());
    EXPECT_TRUE(FillF7ASums(folder, "F7A2016", "2016"));
    EXPECT_TRUE(DM().ADOConDBF.Connected());
}

TEST_F(AutoFillTest, DispatchComparesTheTableNameExactly) {
    makeF1({{"N3", 120}});
    make("F3A2016", 1, {{{1, "N1"}, 55}});
    EXPECT_FALSE(FillDerivedCellsOfTable(folder, "F12016", "2016"));
    EXPECT_FALSE(FillDerivedCellsOfTable(folder, "f3a2016", "2016"));
    EXPECT_FALSE(FillDerivedCellsOfTable(folder, "F3A2016", "2015"));
    EXPECT_EQ(cell("F3A2016", 1, "N1").toLongLong(), 55);
    EXPECT_TRUE(FillDerivedCellsOfTable(folder, "F3A2016", "2016"));
    EXPECT_EQ(cell("F3A2016", 1, "N1").toLongLong(), 120);
}

TEST_F(AutoFillTest, MissingTableBeingFilledGivesEachFillsOwnResult) {
    makeF1({{"N1", 500}, {"N3", 120}});
    EXPECT_FALSE(FillF3AFromF1(folder, "F3A2016", "2016"));
    EXPECT_FALSE(FillF0FromF1(folder, "F02016", "2016"));
    EXPECT_FALSE(FillF4R2FromF1(folder, "F4R22016", "2016"));
    EXPECT_TRUE(FillF7FromF1(folder, "F72016", "2016"));
    EXPECT_TRUE(FillF7AFromF1(folder, "F7A2016", "2016"));
    EXPECT_TRUE(FillF7ASums(folder, "F7A2016", "2016"));
    EXPECT_FALSE(QFile::exists(folder + "F3A2016.DBF"));
    EXPECT_FALSE(QFile::exists(folder + "F72016.DBF"));
    // Only the data module's own notices about the tables it could not read.
    ASSERT_FALSE(rec.messages.isEmpty());
    for (const msg::Request &m : rec.messages)
        EXPECT_TRUE(m.text.startsWith("Не удалось прочитать данные из файла БД."))
            << m.text.toStdString();
}

// ---------------------------------------------------------------------------
// Filling a whole data folder.

TEST_F(AutoFillTest, FillAllDerivedCellsMakesEveryDerivedCellConsistent) {
    makeFullF1(0, 100);
    makeF1({{"N1", 1}, {"N3", 1}}, QString(), "F12015"); // another period
    make("F02016", 24);
    make("F3A2016", 1, {{{1, "N13"}, 4}});
    make("F4A2016", 1, {{{1, "N13"}, 6}});
    make("F4R22016", 1);
    make("F72016", 1);
    make("F7A2016", 1);
    make("F3A2015", 1, {{{1, "N1"}, 77}});
    EXPECT_EQ(FillAllDerivedCells("7", 2016), 6);
    EXPECT_EQ(cell("F02016", 24, "N1").toLongLong(), 1600);
    EXPECT_EQ(cell("F3A2016", 1, "N1").toLongLong(), 300);
    EXPECT_EQ(cell("F4A2016", 1, "N1").toLongLong(), 300);
    EXPECT_EQ(cell("F4R22016", 1, "N1").toLongLong(), -100);
    EXPECT_EQ(cell("F72016", 1, "N1").toLongLong(), -200);
    EXPECT_EQ(cell("F7A2016", 1, "N2").toLongLong(), -100);
    EXPECT_EQ(cell("F7A2016", 1, "N3").toLongLong(), 10);
    EXPECT_EQ(cell("F3A2015", 1, "N1").toLongLong(), 77);
    EXPECT_EQ(FillAllDerivedCells("8", 2016), 0); // no data folder at all

    // A folder outside the program's tree.
    QTemporaryDir other;
    const QString where = other.path() + "/";
    makeF1({{"N1", 50}, {"N3", 20}}, where, "F12017");
    make("F72017", 1, {}, 16, where);
    EXPECT_EQ(FillAllDerivedCellsInFolder(where, 2017), 1);
    Table f7(where, "F72017");
    EXPECT_EQ(f7.get(1, "N1").toLongLong(), 30);
    EXPECT_TRUE(rec.messages.isEmpty());
}

} // namespace
