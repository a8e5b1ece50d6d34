// The by-column, appended-row and school-count builds.

#include "svod_fixture.h"

using namespace svodtest;

namespace {

class SvodLists : public ::testing::Test {
protected:
    Install in;
    void SetUp() override {
        in.orgs({{1, QStringLiteral("Школа А"), 1},
                 {2, QStringLiteral("Школа Б"), 1},
                 {3, QStringLiteral("Школа В"), 2},
                 {4, QString(), 1}});
    }
    // The by-column table's cell as text.
    static QString at(store::TADODataSet &t, int row, const QString &field) {
        t.setRecNo(row);
        return t.FieldByName(field).AsString();
    }
};

// ---------------------------------------------------------------- by column

TEST_F(SvodLists, ByColumnPutsOneColumnOfEachOrganisationSideBySide) {
    in.catalogue({{QStringLiteral("F12"), 12, 3}});
    in.blank(QStringLiteral("F12"), 3, 3, 'N', 10, 1);
    in.table(1, QStringLiteral("F12"), {{0, 12}, {0, QVariant()}, {0, 3}});
    in.table(2, QStringLiteral("F12"), {{0, 7.5}}); // one row only
    in.table(4, QStringLiteral("F12"), {{0, 99}});  // no name, but in the set: a column
    svod::SvodParams p = in.params(1, 2, 2);
    p.Column = 2;
    const svod::SvodResult r = svod::BuildSvod(p);
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(r.Kind, svod::SvodKind::Column);
    EXPECT_EQ(r.TargetFile, in.wed() + QStringLiteral("TEMPSVOD.DBF"));
    EXPECT_TRUE(QFile::exists(r.TargetFile));
    EXPECT_EQ(r.OrgCodes, (QVector<int>{1, 2, 4}));
    EXPECT_EQ(r.OrgWithData, 3);
    EXPECT_EQ(r.OrgWithoutData, 0);
    EXPECT_EQ(r.ColumnDecimals, 1); // N2 (N 10,1): what the print shows of every figure
    ASSERT_TRUE(r.ColumnTable);
    store::TADODataSet &t = *r.ColumnTable;
    ASSERT_EQ(t.RecordCount(), 3);
    const int total = t.FieldIndex(QStringLiteral("TOTAL"));
    EXPECT_EQ(total, 4 + 3);
    EXPECT_EQ(t.FieldCount(), total + 4);
    EXPECT_EQ(at(t, 1, QStringLiteral("NNN1")), QStringLiteral("12"));
    EXPECT_EQ(at(t, 1, QStringLiteral("NNN2")), QStringLiteral("7.5"));
    EXPECT_EQ(at(t, 1, QStringLiteral("TOTAL")), QStringLiteral("118.5"));
    EXPECT_EQ(at(t, 2, QStringLiteral("NNN1")), QStringLiteral("0")); // an empty cell
    EXPECT_EQ(at(t, 2, QStringLiteral("NNN2")), QStringLiteral("0")); // a row it lacks
    EXPECT_EQ(at(t, 3, QStringLiteral("NNN2")), QStringLiteral("0"));
    EXPECT_EQ(at(t, 3, QStringLiteral("TOTAL")), QStringLiteral("3"));
    EXPECT_EQ(at(t, 3, QStringLiteral("NAME")), QStringLiteral("Строка 3"));
    EXPECT_EQ(at(t, 3, QStringLiteral("KODSTR")), QStringLiteral("3"));
    EXPECT_EQ(t.FieldByName(QStringLiteral("KODN")).AsInteger(), 3);
}

TEST_F(SvodLists, ByColumnOverAnEmptySetOrManyOrganisationsWithoutData) {
    in.catalogue({{QStringLiteral("F12"), 12, 1}});
    in.blank(QStringLiteral("F12"), 2, 1);
    svod::SvodParams p = in.params(1, 9, 2);
    p.Column = 1;
    svod::SvodResult r = svod::BuildSvod(p);
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(r.OrgWithData + r.OrgWithoutData, 0);
    EXPECT_EQ(r.ColumnTable->FieldCount(), 5 + 1); // the blank's fields and TOTAL
    EXPECT_EQ(at(*r.ColumnTable, 2, QStringLiteral("TOTAL")), QStringLiteral("0"));
    EXPECT_TRUE(r.Notice.isEmpty());

    QList<Org> many;
    for (int k = 1; k <= 230; ++k)
        many << Org{k, QStringLiteral("Школа %1").arg(k)};
    in.orgs(many);
    in.table(230, QStringLiteral("F12"), {{5}, {6}});
    p.SetNumber = 1;
    r = svod::BuildSvod(p);
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(r.OrgWithoutData, 229);
    EXPECT_EQ(at(*r.ColumnTable, 2, QStringLiteral("NNN230")), QStringLiteral("6"));
    EXPECT_TRUE(
        r.Notice.startsWith(QStringLiteral("Нет следующих отчетов:\r\rШкола 1  Школа 2  ")));
}

TEST_F(SvodLists, ByColumnValuesKeepFifteenDigitsAndLongerOnesStopTheBuild) {
    in.catalogue({{QStringLiteral("F12"), 12, 1, {}, QStringLiteral("Длинные числа")}});
    in.blank(QStringLiteral("F12"), 1, 1, 'N', 20, 3);
    in.table(1, QStringLiteral("F12"), {{QStringLiteral("12345678901.125")}});
    svod::SvodParams p = in.params(1, 2, 2);
    p.Column = 1;
    svod::SvodResult r = svod::BuildSvod(p);
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(at(*r.ColumnTable, 1, QStringLiteral("NNN1")), QStringLiteral("12345678901.125"));
    in.table(2, QStringLiteral("F12"), {{QStringLiteral("99999999999999.5")}});
    r = svod::BuildSvod(p);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Error, QStringLiteral("Отчет \"Длинные числа\": строка 1, \"Школа Б\" (столбец "
                                      "«Гр 1»): число 99999999999999.5 длиннее 15 знаков."));
}

// ---------------------------------------------------------------- appended rows

TEST_F(SvodLists, AppendedRowsFollowEachOtherWithFreshNumbers) {
    in.catalogue({{QStringLiteral("F46"), 46, 2}});
    in.blank(QStringLiteral("F46"), 10, 2, 'N', 10, 0, 2);
    in.table(1, QStringLiteral("F46"), {{1, 10}, {2, 20}, {QVariant(), 5}, {3, 30}}); // 3 filled
    in.table(2, QStringLiteral("F46"), {{4}, {5}, {6}, {7}});
    in.table(4, QStringLiteral("F46"), {{99}}); // no name: ignored
    const svod::SvodResult r = svod::BuildSvod(in.params(1));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(r.Kind, svod::SvodKind::Keyed);
    EXPECT_EQ(r.OrgWithData, 2);
    EXPECT_EQ(r.Notice, QStringLiteral("Нет следующих отчетов: \r\rШкола В  "));
    testsupport::OpenTable t(in.svodDir(1), QStringLiteral("F462016"));
    ASSERT_EQ(t.ds.RecordCount(), 10);
    const int n1[] = {1, 2, 3, 4, 5, 6, 7};
    for (int row = 1; row <= 7; ++row) {
        EXPECT_EQ(t.text(row, "KODSTR"), QStringLiteral("0%1").arg(row));
        EXPECT_EQ(t.integer(row, "KODN"), row);
        EXPECT_EQ(t.num(row, "N1"), n1[row - 1]);
    }
    EXPECT_EQ(t.num(3, "N2"), 30);
    EXPECT_EQ(t.text(8, "KODSTR"), QStringLiteral("8"));
    EXPECT_EQ(t.text(8, "NAME"), QStringLiteral("Строка 8"));
}

TEST_F(SvodLists, AppendedRowsKeepRowsWhoseN1IsNoNumberAndNameTheCellsThatWereNoNumber) {
    in.catalogue({{QStringLiteral("F46"), 46, 4}});
    const QVector<store::FieldDef> keys = {
        {"KODSTR", 'C', 2, 0}, {"NAME", 'C', 60, 0}, {"KODN", 'N', 4, 0}, {"KODPOKAZ", 'C', 10, 0}};
    // The blank as it is now, and an organisation's table of an older one.
    testsupport::writeTable(in.wed(), QStringLiteral("F46"),
                            keys + QVector<store::FieldDef>{{"N1", 'N', 5, 0},
                                                            {"N2", 'C', 8, 0},
                                                            {"N3", 'N', 5, 0},
                                                            {"N4", 'C', 3, 0}},
                            QList<Record>(4));
    QDir().mkpath(in.orgDir(1));
    const QString file = in.orgDir(1) + QStringLiteral("F462016.DBF");
    testsupport::writeTable(in.orgDir(1), QStringLiteral("F462016"),
                            keys + QVector<store::FieldDef>{{"N1", 'N', 6, 0},
                                                            {"N2", 'N', 6, 0},
                                                            {"N3", 'C', 8, 0},
                                                            {"N4", 'N', 6, 0}},
                            {{{"N3", "x1"}}, {}, {{"N1", 7}, {"N2", 5}, {"N3", "8"}, {"N4", 1}}});
    putRawCell(file, 1, QStringLiteral("N1"), "*****");
    putRawCell(file, 1, QStringLiteral("N2"), "abc");
    putRawCell(file, 1, QStringLiteral("N4"), "*****");
    in.table(2, QStringLiteral("F46"), {{3}});
    const svod::SvodResult r = svod::BuildSvod(in.params(1));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    testsupport::OpenTable t(in.svodDir(1), QStringLiteral("F462016"));
    struct Row {
        const char *kodstr;
        QVariant n1, n2, n3, n4;
    };
    const QString none; // an empty character cell
    const Row rows[] = {{"01", QVariant(), "abc", QVariant(), none},
                        {"02", 7LL, "5", 8LL, "1"},
                        {"03", 3LL, none, QVariant(), none}};
    for (int row = 1; row <= 3; ++row) {
        const Row &w = rows[row - 1];
        EXPECT_EQ(t.text(row, "KODSTR"), QLatin1String(w.kodstr));
        const QVariant want[] = {w.n1, w.n2, w.n3, w.n4};
        for (int k = 1; k <= 4; ++k)
            EXPECT_EQ(t.get(row, QStringLiteral("N%1").arg(k)), want[k - 1]) << row << " N" << k;
    }
    EXPECT_EQ(r.BadCellCount, 4);
    EXPECT_EQ(r.Notice, QStringLiteral("Нет следующих отчетов: \r\rШкола В  \r\r"
                                       "Ячеек, в которых записано не число: 4 (перенесены "
                                       "в свод как текст, где графа свода его вмещает).\r"
                                       "Школа А: строка 1, графа N1: \"*****\" - не перенесено\r"
                                       "Школа А: строка 1, графа N2: \"abc\" - перенесено\r"
                                       "Школа А: строка 1, графа N3: \"x1\" - не перенесено\r"
                                       "Школа А: строка 1, графа N4: \"*****\" - не перенесено"));
}

TEST_F(SvodLists, AppendedRowsBeyondTheBlankAreAddedAndNumberedOnUntilTheCodeIsFull) {
    in.catalogue({{QStringLiteral("F48"), 48, 3}});
    in.blank(QStringLiteral("F48"), 2, 2, 'N', 10, 0, 2); // KOLSTOLB 3, only N1, N2 exist
    Cells rows;
    for (int i = 1; i <= 12; ++i)
        rows << QList<QVariant>{i, i * 10};
    in.table(1, QStringLiteral("F48"), rows);
    svod::SvodParams p = in.params(1);
    p.Quiet = true;
    svod::SvodResult r = svod::BuildSvod(p);
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_TRUE(r.Notice.isEmpty());
    {
        testsupport::OpenTable t(in.svodDir(1), QStringLiteral("F482016"));
        ASSERT_EQ(t.ds.RecordCount(), 12);
        EXPECT_EQ(t.text(9, "KODSTR"), QStringLiteral("09"));
        EXPECT_EQ(t.text(10, "KODSTR"), QStringLiteral("10"));
        EXPECT_EQ(t.num(12, "N2"), 120);
    }
    for (int i = 13; i <= 100; ++i)
        rows << QList<QVariant>{i};
    in.table(1, QStringLiteral("F48"), rows);
    r = svod::BuildSvod(p);
    EXPECT_FALSE(r.Ok);
    EXPECT_TRUE(r.Error.contains(QStringLiteral("100"))) << r.Error.toStdString();
    testsupport::OpenTable t(in.svodDir(1), QStringLiteral("F482016"));
    EXPECT_EQ(t.ds.RecordCount(), 12); // the previous consolidation stays
}

TEST_F(SvodLists, AppendedRowsCutANameLongerThanTheConsolidationsNameField) {
    const QString longName =
        QStringLiteral("Муниципальное общеобразовательное учреждение № 1 г. Уфы");
    ASSERT_GT(longName.size(), 30);
    in.catalogue({{QStringLiteral("F46"), 46, 1}});
    in.blank(QStringLiteral("F46"), 4, 1, 'N', 10, 0, 4, 30);
    // An organisation's table made on an older blank whose NAME is wider.
    in.table(1, QStringLiteral("F46"), {{1}, {2}});
    QDir().mkpath(in.orgDir(2));
    testsupport::writeTable(in.orgDir(2), QStringLiteral("F462016"),
                            {{"KODSTR", 'C', 4, 0},
                             {"NAME", 'C', 60, 0},
                             {"KODN", 'N', 4, 0},
                             {"KODPOKAZ", 'C', 10, 0},
                             {"N1", 'N', 10, 0}},
                            {{{"NAME", longName}, {"N1", 3}}, {{"NAME", longName}, {"N1", 4}}});
    const svod::SvodResult r = svod::BuildSvod(in.params(1));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    testsupport::OpenTable t(in.svodDir(1), QStringLiteral("F462016"));
    EXPECT_EQ(t.text(2, "NAME"), QStringLiteral("Строка 2"));
    EXPECT_EQ(t.text(3, "NAME"), longName.left(30));
    EXPECT_EQ(t.text(4, "NAME"), longName.left(30));
    EXPECT_EQ(t.num(4, "N1"), 4);
    const svod::SaveAllResult all = svod::SaveAllSvods({in.root(), kYear, 1, nullptr});
    EXPECT_TRUE(all.Ok) << all.Error.toStdString();
}

// ---------------------------------------------------------------- school counts

class SchoolCounts : public ::testing::Test {
protected:
    Install in;
    void SetUp() override {
        in.orgs({{1, QStringLiteral("А"), 1, 0, 0, 1, 1},
                 {2, QStringLiteral("Б"), 1, 0, 0, 1, 1},
                 {3, QStringLiteral("В"), 1, 0, 0, 1, 1},
                 {4, QStringLiteral("Г"), 2, 0, 0, 2, 2},
                 {5, QStringLiteral("Д"), 3, 0, 0, 3, 1},
                 {6, QStringLiteral("Е"), 3, 0, 0, 3, 1},
                 {7, QStringLiteral("Ж"), 3, 0, 0, 4, 1}});
        // F1 stands third: the build finds it by its file name.
        in.catalogue({{QStringLiteral("F3"), 2, 1},
                      {QStringLiteral("F0"), 1, 2, {}, QStringLiteral("Число школ")},
                      {QStringLiteral("F1"), 2, 16}});
        in.blank(QStringLiteral("F0"), 24, 2, 'N', 10, 2);
        in.blank(QStringLiteral("F1"), 1, 16);
    }
};

TEST_F(SchoolCounts, CountsSchoolsAndTakesPupilsFromTheF1Consolidation) {
    in.table(1, QStringLiteral("F1"), {{120, 30, 20}});
    in.table(5, QStringLiteral("F1"), {{80, 20, 10}});
    const svod::SvodResult r = svod::BuildSvod(in.params(2, 3)); // any set: always set 1
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(r.Kind, svod::SvodKind::SchoolCount);
    EXPECT_EQ(r.TargetFile, in.svodDir(1) + QStringLiteral("F02016.DBF"));
    EXPECT_TRUE(QFile::exists(in.svodDir(1) + QStringLiteral("F12016.DBF")));
    EXPECT_EQ(r.OrgWithData, 2);
    EXPECT_EQ(r.OrgWithoutData, 5);
    testsupport::OpenTable t(in.svodDir(1), QStringLiteral("F02016"));
    const int counts[] = {5, 1, 3, 0, 0, 1, 2, 0};
    for (int rec = 1; rec <= 8; ++rec)
        EXPECT_EQ(t.num(rec, "N1"), counts[rec - 1]) << rec;
    EXPECT_EQ(t.num(9, "N1"), 80);
    EXPECT_EQ(t.num(10, "N1"), 50);
    EXPECT_EQ(t.num(11, "N1"), 30);
    EXPECT_EQ(t.num(10, "N2"), 62.5);
    EXPECT_EQ(t.num(11, "N2"), 37.5);
    for (int rec = 12; rec <= 24; ++rec) {
        EXPECT_EQ(t.num(rec, "N1"), 0);
        EXPECT_EQ(t.num(rec, "N2"), 0);
    }
}

TEST_F(SchoolCounts, SharesAreCutAfterTwoDecimalsAndAZeroBaseGivesNone) {
    in.table(1, QStringLiteral("F1"), {{3, 1, 2}});
    svod::SvodResult r = svod::BuildSvod(in.params(2));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(in.num(1, QStringLiteral("F02016"), 10, QStringLiteral("N2")), 33.33);
    EXPECT_EQ(in.num(1, QStringLiteral("F02016"), 11, QStringLiteral("N2")), 66.66);

    QFile::remove(in.orgDir(1) + QStringLiteral("F12016.DBF"));
    r = svod::BuildSvod(in.params(2));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(in.num(1, QStringLiteral("F02016"), 9, QStringLiteral("N1")), 0);
    EXPECT_FALSE(
        in.cell(in.svodDir(1), QStringLiteral("F02016"), 10, QStringLiteral("N2")).isValid());
}

TEST_F(SchoolCounts, WithoutF1InTheCatalogueTheBlanksRowsAreSummed) {
    in.catalogue({{QStringLiteral("F0"), 1, 2}});
    testsupport::OpenTable blank(in.wed(), QStringLiteral("F0"));
    blank.set(10, QStringLiteral("N1"), 4);
    blank.set(11, QStringLiteral("N1"), 4);
    const svod::SvodResult r = svod::BuildSvod(in.params(1));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_FALSE(QFile::exists(in.svodDir(1) + QStringLiteral("F12016.DBF")));
    EXPECT_EQ(in.num(1, QStringLiteral("F02016"), 9, QStringLiteral("N1")), 8);
    EXPECT_EQ(in.num(1, QStringLiteral("F02016"), 10, QStringLiteral("N2")), 50);
}

TEST_F(SchoolCounts, ABlankOfFewerThanTwentyFourRowsIsReportedAndBothTablesStayAsTheyWere) {
    in.table(1, QStringLiteral("F1"), {{120, 30, 20}});
    ASSERT_TRUE(svod::BuildSvod(in.params(2)).Ok);
    in.table(1, QStringLiteral("F1"), {{500, 60, 20}});
    in.blank(QStringLiteral("F0"), 20, 2);
    const svod::SvodResult r = svod::BuildSvod(in.params(2));
    EXPECT_FALSE(r.Ok);
    EXPECT_TRUE(r.Error.contains(QStringLiteral("Число школ"))) << r.Error.toStdString();
    EXPECT_TRUE(r.Error.contains(QStringLiteral("20"))) << r.Error.toStdString();
    EXPECT_EQ(in.num(1, QStringLiteral("F12016"), 1, QStringLiteral("N2")), 30);
    EXPECT_EQ(in.num(1, QStringLiteral("F02016"), 10, QStringLiteral("N1")), 30);
    EXPECT_EQ(in.leftAside(1), QStringList());
}

TEST_F(SchoolCounts, PupilFiguresBeyondTwoBillionAreKeptWhole) {
    in.blank(QStringLiteral("F0"), 24, 2, 'N', 19, 2);
    in.blank(QStringLiteral("F1"), 1, 16, 'N', 19);
    in.table(1, QStringLiteral("F1"),
             {{1, QStringLiteral("6000000000"), QStringLiteral("3000000000"), 1053}});
    const svod::SvodResult r = svod::BuildSvod(in.params(2));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    testsupport::OpenTable t(in.svodDir(1), QStringLiteral("F02016"));
    EXPECT_EQ(t.text(9, "N1"), QStringLiteral("9000001053"));
    EXPECT_EQ(t.text(10, "N1"), QStringLiteral("6000000000"));
    EXPECT_EQ(t.text(11, "N1"), QStringLiteral("3000000000"));
    EXPECT_EQ(t.text(12, "N1"), QStringLiteral("1053"));
    EXPECT_EQ(t.num(10, "N2"), 66.66);
    EXPECT_EQ(t.num(11, "N2"), 33.33);

    // A figure too long for the blank's N1 stops the build and names the place.
    in.blank(QStringLiteral("F0"), 24, 2, 'N', 9, 0);
    const svod::SvodResult tooLong = svod::BuildSvod(in.params(2));
    EXPECT_FALSE(tooLong.Ok);
    EXPECT_EQ(tooLong.Error,
              QStringLiteral("Отчет \"Число школ\": строка 10, столбец «Кол-во»: значение "
                             "6000000000 не помещается (не более 9 знаков вместе с запятой и "
                             "знаком)."));
}

} // namespace

// Saving all opens each organisation's F1 once (the school counts build F1,
// and F1's first records serve the group-5 column), and writes the bytes
// that building each report alone writes.
TEST_F(SchoolCounts, SavingAllReadsEachF1OnceAndWritesWhatEachBuildAloneWrites) {
    in.catalogue({{QStringLiteral("F0"), 1, 2, {}, QStringLiteral("Число школ")},
                  {QStringLiteral("F1"), 2, 16},
                  {QStringLiteral("F4S"), 5, 14}});
    in.blank(QStringLiteral("F4S"), 2, 14, 'N', 10, 2);
    auto addOrg = [&](int kod) {
        QList<QVariant> f1;
        for (int k = 1; k <= 16; ++k)
            f1 << kod * 10 + k;
        in.table(kod, QStringLiteral("F1"), {f1});
        in.table(kod, QStringLiteral("F4S"), {{1, 2.5, 3}, {kod, QVariant(), 0.25}});
    };
    auto saveAll = [&] {
        store::resetCounters();
        const svod::SaveAllResult r = svod::SaveAllSvods({in.root(), kYear, 1, nullptr});
        EXPECT_TRUE(r.Ok) << r.Error.toStdString();
        EXPECT_EQ(r.TargetFiles.size(), 3);
        return store::counters().tableOpens;
    };
    for (int kod = 1; kod <= 3; ++kod)
        addOrg(kod);
    const auto three = saveAll();
    for (int kod = 4; kod <= 6; ++kod)
        addOrg(kod);
    const auto six = saveAll();
    EXPECT_EQ(six - three, 3u * 2u); // F1 and F4S once for each organisation more

    // N1 of a group-5 report: the sum of F1's N13 (10 k + 13 for organisation k).
    EXPECT_EQ(in.num(1, QStringLiteral("F4S2016"), 2, QStringLiteral("N1")), 10 * 21 + 13 * 6);
    QList<QByteArray> saved;
    for (const char *table : {"F02016.DBF", "F12016.DBF", "F4S2016.DBF"}) {
        QFile f(in.svodDir(1) + QLatin1String(table));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        saved << f.readAll();
        f.remove();
    }
    for (int recNo = 1; recNo <= 3; ++recNo)
        ASSERT_TRUE(svod::BuildSvod(in.params(recNo)).Ok) << recNo;
    for (const char *table : {"F02016.DBF", "F12016.DBF", "F4S2016.DBF"}) {
        QFile f(in.svodDir(1) + QLatin1String(table));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), saved.takeFirst()) << table;
    }
}
