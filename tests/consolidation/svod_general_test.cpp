// Sets, the summed and per-organisation builds, and saving all
// consolidations of a period.

#include "svod_fixture.h"

#include "consolidation/SvodInternal.h"
#include "store/Dataset.h"
#include "store/FolderTable.h"

using namespace svodtest;

namespace {

// ---------------------------------------------------------------- sets

struct SetCase {
    int set;
    int kind;
    svod::Organisation org;
    bool in;
};

TEST(SvodSets, OrganisationInSetFollowsTheFixedRuleOfEachNumber) {
    auto org = [](int city, int k1, int k2, int k3, int k4) {
        svod::Organisation o;
        o.KodCity = city, o.Kod1 = k1, o.Kod2 = k2, o.Kod3 = k3, o.Kod4 = k4;
        return o;
    };
    const SetCase cases[] = {
        {1, 1, org(0, 0, 0, 0, 0), true},    {2, 1, org(1, 0, 0, 0, 0), true},
        {2, 1, org(2, 0, 0, 0, 0), false},   {3, 1, org(2, 0, 0, 0, 0), true},
        {4, 1, org(3, 0, 0, 0, 0), true},    {5, 1, org(4, 0, 0, 0, 0), false},
        {5, 1, org(1, 1, 0, 0, 0), true},    {5, 105, org(4, 0, 0, 0, 0), true},
        {5, 105, org(1, 1, 0, 0, 0), false}, {6, 1, org(1, 0, 1, 0, 0), true},
        {6, 105, org(1, 1, 0, 0, 0), true},  {7, 1, org(1, 0, 0, 1, 0), true},
        {7, 105, org(1, 0, 1, 0, 0), true},  {8, 1, org(1, 0, 0, 0, 1), true},
        {8, 105, org(1, 0, 0, 1, 0), true},  {8, 105, org(1, 0, 0, 0, 1), false},
        {9, 1, org(1, 1, 1, 1, 1), false},   {0, 1, org(1, 1, 1, 1, 1), false},
    };
    for (const SetCase &c : cases)
        EXPECT_EQ(svod::OrganisationInSet(c.org, c.set, c.kind), c.in)
            << "set " << c.set << " kind " << c.kind;
}

TEST(SvodSets, ColumnGroupsAreOneEightToThirtyEightFortySevenAndFiftyOne) {
    for (int g : {1, 8, 20, 38, 47, 51})
        EXPECT_TRUE(svod::IsColumnSvodGroup(g)) << g;
    for (int g : {0, 2, 7, 39, 40, 46, 48, 50})
        EXPECT_FALSE(svod::IsColumnSvodGroup(g)) << g;
}

TEST(SvodSets, IncludedOrganisationsKeepTheOrderOfSchoolWithoutLimit) {
    Install in;
    QList<Org> orgs;
    for (int k = 1; k <= 250; ++k)
        orgs << Org{k, QStringLiteral("Школа %1").arg(k), k % 2 ? 1 : 2};
    in.orgs(orgs);
    const svod::IncludedOrganisations inc = svod::ListIncludedOrganisations(in.root(), 3, 1);
    ASSERT_EQ(inc.Count(), 125);
    EXPECT_EQ(inc.Codes.first(), 2);
    EXPECT_EQ(inc.Codes.last(), 250);
    EXPECT_EQ(inc.Names[1], QStringLiteral("Школа 4"));
}

// ---------------------------------------------------------------- summed builds

class SvodGeneral : public ::testing::Test {
protected:
    Install in;
    void SetUp() override {
        in.orgs({{1, QStringLiteral("Школа А")},
                 {2, QStringLiteral("Школа Б")},
                 {3, QStringLiteral("Школа В")},
                 {4, QString()}}); // no name: skipped everywhere
    }
};

TEST_F(SvodGeneral, SumsCellByCellCountsAndNamesTheMissing) {
    in.catalogue({{QStringLiteral("F3"), 2, 2}});
    in.blank(QStringLiteral("F3"), 4, 2);
    in.table(1, QStringLiteral("F3"), {{1, 2}, {}, {QVariant(), 5}, {}});
    in.table(2, QStringLiteral("F3"), {{10, 20}, {}, {QVariant(), 7}, {}});
    in.table(4, QStringLiteral("F3"), {{100, 100}, {100, 100}, {100, 100}, {100, 100}});
    const svod::SvodResult r = svod::BuildSvod(in.params(1));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    ASSERT_TRUE(r.Built);
    EXPECT_EQ(r.TargetFile, in.svodDir(1) + QStringLiteral("F32016.DBF"));
    EXPECT_EQ(r.TargetTable, QStringLiteral("F32016"));
    EXPECT_EQ(in.num(1, r.TargetTable, 3, QStringLiteral("N2")), 12);
    EXPECT_EQ(in.num(1, r.TargetTable, 1, QStringLiteral("N1")), 11);
    EXPECT_EQ(in.num(1, r.TargetTable, 1, QStringLiteral("N2")), 22);
    EXPECT_EQ(in.num(1, r.TargetTable, 2, QStringLiteral("N1")), 0);
    EXPECT_EQ(r.OrgWithData, 2);
    EXPECT_EQ(r.OrgWithoutData, 1);
    EXPECT_EQ(r.MissingOrganisations, QStringList{QStringLiteral("Школа В")});
    EXPECT_EQ(r.Notice, QStringLiteral("Нет следующих отчетов: \r\rШкола В  "));
    EXPECT_EQ(in.leftAside(1), QStringList());

    svod::SvodParams quiet = in.params(1);
    quiet.Quiet = true;
    EXPECT_TRUE(svod::BuildSvod(quiet).Notice.isEmpty());
}

TEST_F(SvodGeneral, FractionsAddExactlyAndTextThatIsNoNumberIsCountedAndNamed) {
    in.catalogue({{QStringLiteral("F3"), 2, 2}});
    in.blank(QStringLiteral("F3"), 2, 2, 'C', 10); // character cells can hold any text
    in.table(1, QStringLiteral("F3"),
             {{QStringLiteral("7.5"), QStringLiteral("abc")}, {QStringLiteral("1,25")}});
    in.table(2, QStringLiteral("F3"),
             {{QStringLiteral("5"), QStringLiteral("4")}, {QStringLiteral("x1")}});
    in.table(3, QStringLiteral("F3"), {{QStringLiteral(" "), QStringLiteral("1")}, {}});
    const svod::SvodResult r = svod::BuildSvod(in.params(1));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(in.num(1, r.TargetTable, 1, QStringLiteral("N1")), 12.5);
    EXPECT_EQ(in.num(1, r.TargetTable, 1, QStringLiteral("N2")), 5);
    EXPECT_EQ(in.num(1, r.TargetTable, 2, QStringLiteral("N1")), 1.25);
    EXPECT_EQ(r.BadCellCount, 2);
    ASSERT_EQ(r.FirstBadCells.size(), 2);
    EXPECT_EQ(r.FirstBadCells[0].Organisation, QStringLiteral("Школа А"));
    EXPECT_EQ(r.FirstBadCells[0].Row, 1);
    EXPECT_EQ(r.FirstBadCells[0].Field, QStringLiteral("N2"));
    EXPECT_EQ(r.FirstBadCells[1].Row, 2);
    EXPECT_EQ(r.FirstBadCells[1].Text, QStringLiteral("x1"));
    EXPECT_TRUE(r.Notice.startsWith(QStringLiteral("Ячеек, в которых записано не число")))
        << r.Notice.toStdString();
    EXPECT_TRUE(r.Notice.contains(QStringLiteral("Школа А: строка 1, графа N2: \"abc\"")));
}

TEST_F(SvodGeneral, TablesWithFewerRowsAddNothingToTheRowsTheyLack) {
    in.catalogue({{QStringLiteral("F3"), 2, 1}});
    in.blank(QStringLiteral("F3"), 3, 1);
    in.table(1, QStringLiteral("F3"), {{1}, {2}, {3}});
    in.table(2, QStringLiteral("F3"), {{10}}); // one row only
    const svod::SvodResult r = svod::BuildSvod(in.params(1));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(in.num(1, r.TargetTable, 1, QStringLiteral("N1")), 11);
    EXPECT_EQ(in.num(1, r.TargetTable, 2, QStringLiteral("N1")), 2);
    EXPECT_EQ(in.num(1, r.TargetTable, 3, QStringLiteral("N1")), 3);
}

TEST_F(SvodGeneral, ASumThatDoesNotFitStopsTheBuildAndKeepsThePreviousTable) {
    in.catalogue({{QStringLiteral("F3"), 2, 1, {}, QStringLiteral("Отчет 3")}});
    in.blank(QStringLiteral("F3"), 2, 1, 'N', 3);
    in.table(1, QStringLiteral("F3"), {{1}, {600}});
    in.table(2, QStringLiteral("F3"), {{2}, {300}});
    ASSERT_TRUE(svod::BuildSvod(in.params(1)).Ok); // 900 fits
    in.table(3, QStringLiteral("F3"), {{3}, {100}});
    const svod::SvodResult r = svod::BuildSvod(in.params(1));
    EXPECT_FALSE(r.Ok);
    // The column is named as the consolidation shows it.
    EXPECT_EQ(r.Error, QStringLiteral("Отчет \"Отчет 3\": строка 2, столбец «Гр 1»: значение 1000 "
                                      "не помещается (не более 3 знаков вместе с запятой и "
                                      "знаком)."));
    EXPECT_EQ(in.num(1, QStringLiteral("F32016"), 1, QStringLiteral("N1")), 3); // the old table
    EXPECT_EQ(in.num(1, QStringLiteral("F32016"), 2, QStringLiteral("N1")), 900);
    EXPECT_EQ(in.leftAside(1), QStringList());
}

TEST_F(SvodGeneral, AOneRowReportIsTitledTotalAndHiddenColumnsAreNotSummed) {
    in.catalogue({{QStringLiteral("F3"), 2, 3, {1, 0, 1}}});
    in.blank(QStringLiteral("F3"), 1, 3);
    in.table(1, QStringLiteral("F3"), {{1, 2, 3}});
    in.table(2, QStringLiteral("F3"), {{1, 2, 3}});
    const svod::SvodResult r = svod::BuildSvod(in.params(1));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(in.text(1, r.TargetTable, 1, QStringLiteral("NAME")), QStringLiteral("И Т О Г О"));
    EXPECT_EQ(in.num(1, r.TargetTable, 1, QStringLiteral("N1")), 2);
    EXPECT_FALSE(in.cell(in.svodDir(1), r.TargetTable, 1, QStringLiteral("N2")).isValid());
    EXPECT_EQ(in.num(1, r.TargetTable, 1, QStringLiteral("N3")), 6);
}

TEST_F(SvodGeneral, NoEnabledColumnLeavesTheBlanksCopyAndReadsNobody) {
    in.catalogue({{QStringLiteral("F3"), 2, 2, {0, 0}}});
    in.blank(QStringLiteral("F3"), 1, 2);
    in.table(1, QStringLiteral("F3"), {{1, 2}});
    const svod::SvodResult r = svod::BuildSvod(in.params(1));
    ASSERT_TRUE(r.Built);
    EXPECT_EQ(r.OrgWithData + r.OrgWithoutData, 0);
    EXPECT_TRUE(r.Notice.isEmpty());
    EXPECT_EQ(in.text(1, r.TargetTable, 1, QStringLiteral("NAME")), QStringLiteral("Строка 1"));
}

TEST_F(SvodGeneral, AMissingBlankBuildsNothingAndSaysNothing) {
    in.catalogue({{QStringLiteral("F3"), 2, 2}});
    const svod::SvodResult r = svod::BuildSvod(in.params(1));
    EXPECT_TRUE(r.Ok);
    EXPECT_FALSE(r.Built);
    EXPECT_TRUE(r.Notice.isEmpty());
    EXPECT_FALSE(QFile::exists(r.TargetFile));
}

TEST_F(SvodGeneral, ModeTwoListsOrganisationsInTheBlanksFirstRowAndAddsATotal) {
    in.catalogue({{QStringLiteral("F3"), 2, 2}});
    in.blank(QStringLiteral("F3"), 2, 2);
    in.table(1, QStringLiteral("F3"), {{1.5, 2}, {9, 9}});
    in.table(3, QStringLiteral("F3"), {{10, 20}});
    const svod::SvodResult r = svod::BuildSvod(in.params(1, 1, 2));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(r.TargetTable, QStringLiteral("FTEMP"));
    testsupport::OpenTable t(in.svodDir(1), QStringLiteral("FTEMP"));
    ASSERT_EQ(t.ds.RecordCount(), 4); // A, blank row 2, C, total
    EXPECT_EQ(t.text(1, "KODSTR"), QStringLiteral("1"));
    EXPECT_EQ(t.text(1, "NAME"), QStringLiteral("Школа А"));
    EXPECT_EQ(t.text(2, "NAME"), QStringLiteral("Строка 2"));
    EXPECT_EQ(t.text(3, "KODSTR"), QStringLiteral("2"));
    EXPECT_EQ(t.text(3, "NAME"), QStringLiteral("Школа В"));
    EXPECT_EQ(t.num(3, "N2"), 20);
    EXPECT_EQ(t.text(4, "KODSTR"), QStringLiteral("4"));
    EXPECT_EQ(t.text(4, "NAME"), QStringLiteral("И Т О Г О"));
    EXPECT_EQ(t.num(4, "N2"), 22);
}

TEST_F(SvodGeneral, ModeTwoKeepsTheBlanksFirstRowWhenTheFirstOrganisationHasNoTable) {
    in.catalogue({{QStringLiteral("F3"), 2, 1}});
    in.blank(QStringLiteral("F3"), 1, 1);
    in.table(2, QStringLiteral("F3"), {{4}});
    const svod::SvodResult r = svod::BuildSvod(in.params(1, 1, 2));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    testsupport::OpenTable t(in.svodDir(1), QStringLiteral("FTEMP"));
    ASSERT_EQ(t.ds.RecordCount(), 3);
    EXPECT_EQ(t.text(1, "NAME"), QStringLiteral("Строка 1"));
    EXPECT_EQ(t.text(2, "NAME"), QStringLiteral("Школа Б"));
    EXPECT_EQ(t.text(3, "KODSTR"), QStringLiteral("4"));
    EXPECT_EQ(t.num(3, "N1"), 4);
}

TEST_F(SvodGeneral, ModeTwoCutsALongOrganisationNameToTheBlanksNameWidth) {
    const QString longName =
        QStringLiteral("Муниципальное общеобразовательное учреждение №1 города");
    in.orgs({{1, longName}, {2, QStringLiteral("Школа Б")}});
    in.catalogue({{QStringLiteral("F3"), 2, 1}});
    in.blank(QStringLiteral("F3"), 1, 1, 'N', 10, 0, 4, 41);
    in.table(1, QStringLiteral("F3"), {{4}});
    in.table(2, QStringLiteral("F3"), {{5}});
    const svod::SvodResult r = svod::BuildSvod(in.params(1, 1, 2));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    testsupport::OpenTable t(in.svodDir(1), QStringLiteral("FTEMP"));
    ASSERT_EQ(t.ds.RecordCount(), 3);
    EXPECT_EQ(t.text(1, "NAME"), longName.left(41));
    EXPECT_EQ(t.text(2, "NAME"), QStringLiteral("Школа Б"));
    EXPECT_EQ(t.num(3, "N1"), 9);
}

struct PercentCase {
    int group;
    QList<QVariant> row1, row2; // the two organisations' only row
    const char *field;
    double expected;
};

TEST_F(SvodGeneral, PercentageColumnsFollowTheGroup) {
    const QList<QVariant> z17 = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    auto with = [&](QList<std::pair<int, int>> set) {
        QList<QVariant> r = z17;
        for (auto [k, v] : set)
            r[k - 1] = v;
        return r;
    };
    const PercentCase cases[] = {
        {4, with({{13, 5}}), with({{13, 5}}), "N14", 0},                     // N1 = 0 (no F1)
        {40, with({{5, 3}, {6, 7}}), with({{5, 3}, {6, 7}}), "N6", 14},      // N2 = 0: the sum
        {40, with({{2, 4}, {5, 1}}), with({{2, 2}, {5, 1}}), "N6", 33.33},   // 100 * 2 / 6
        {7, with({{16, 1}, {2, 4}}), with({{16, 2}, {2, 4}}), "N17", 37.5},  // 100 * 3 / 8
        {39, with({{1, 3}, {13, 1}}), with({{1, 0}, {13, 1}}), "N14", 66.66} // 2 / 3 * 100
    };
    for (const PercentCase &c : cases) {
        in.catalogue({{QStringLiteral("F9"), c.group, 17}});
        in.blank(QStringLiteral("F9"), 1, 17, 'N', 10, 2);
        in.table(1, QStringLiteral("F9"), {c.row1});
        in.table(2, QStringLiteral("F9"), {c.row2});
        const svod::SvodResult r = svod::BuildSvod(in.params(1));
        ASSERT_TRUE(r.Ok) << r.Error.toStdString();
        EXPECT_DOUBLE_EQ(in.num(1, r.TargetTable, 1, QLatin1String(c.field)), c.expected)
            << "group " << c.group;
    }
}

TEST_F(SvodGeneral, GroupFiveTakesColumnOneFromTheOrganisationsF1) {
    in.catalogue({{QStringLiteral("F1"), 2, 16}, {QStringLiteral("F4S"), 5, 14}});
    in.blank(QStringLiteral("F1"), 2, 16);
    in.blank(QStringLiteral("F4S"), 2, 14);
    auto f1 = [](int n13) {
        QList<QVariant> r;
        for (int k = 1; k <= 16; ++k)
            r << (k == 13 ? n13 : 1);
        return Cells{r, r};
    };
    in.table(1, QStringLiteral("F1"), f1(40));
    in.table(2, QStringLiteral("F1"), f1(60));
    in.table(4, QStringLiteral("F1"), f1(1000)); // no name: not counted
    in.table(1, QStringLiteral("F4S"), {{5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10}, {}});
    const svod::SvodResult r = svod::BuildSvod(in.params(2));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(in.num(1, r.TargetTable, 1, QStringLiteral("N1")), 100);
    EXPECT_EQ(in.num(1, r.TargetTable, 2, QStringLiteral("N1")), 100);
    EXPECT_EQ(in.num(1, r.TargetTable, 1, QStringLiteral("N14")), 10);
    EXPECT_EQ(svod::CountF1Denominator(in.root(), kYear, QStringLiteral("F4S.DBF"), 1, 1), 100);
    EXPECT_EQ(svod::CountF1Denominator(in.root(), kYear, QStringLiteral("F4R2.DBF"), 1, 1), 0);
    EXPECT_EQ(svod::CountF1Denominator(in.root(), kYear, QStringLiteral("F7.DBF"), 1, 1), 0);
}

TEST_F(SvodGeneral, AnF1ThatCannotBeReadStopsAGroupFourBuildNamingTheOrganisation) {
    in.catalogue({{QStringLiteral("F1"), 2, 3}, {QStringLiteral("F4A"), 4, 14}});
    in.blank(QStringLiteral("F1"), 1, 3);
    in.blank(QStringLiteral("F4A"), 1, 14, 'N', 10, 2);
    in.table(1, QStringLiteral("F1"), {{1, 2, 35}});
    in.table(2, QStringLiteral("F1"), {{1, 2, 27}});
    in.table(1, QStringLiteral("F4A"), {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40}});
    ASSERT_TRUE(svod::BuildSvod(in.params(2)).Ok);
    EXPECT_EQ(in.num(1, QStringLiteral("F4A2016"), 1, QStringLiteral("N1")), 62);

    const QString f1 = in.orgDir(1) + QStringLiteral("F12016.DBF");
    ASSERT_TRUE(QFile::resize(f1, QFileInfo(f1).size() - 100));
    QString storeText;
    try {
        store::FolderTable t(in.orgDir(1), QStringLiteral("F12016"));
    } catch (const store::StoreError &e) {
        storeText = e.message();
    }
    ASSERT_FALSE(storeText.isEmpty());
    const svod::SvodResult r = svod::BuildSvod(in.params(2));
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Error, QStringLiteral("Отчет \"F4A\": таблица организации 1 \"Школа А\" в папке ") +
                           QDir::cleanPath(in.orgDir(1)) + QStringLiteral(" не читается: ") +
                           storeText);
    EXPECT_EQ(in.num(1, QStringLiteral("F4A2016"), 1, QStringLiteral("N1")), 62); // kept
}

// Figures beyond 2,147,483,647, and beyond the 2^53 that a double holds to
// the unit, in every summed build.
TEST_F(SvodGeneral, LargeFiguresAreSummedExactly) {
    in.catalogue({{QStringLiteral("F1"), 2, 3},
                  {QStringLiteral("F4A"), 4, 14},
                  {QStringLiteral("F3"), 2, 2}});
    in.blank(QStringLiteral("F1"), 1, 3, 'N', 19);
    in.blank(QStringLiteral("F4A"), 1, 14, 'N', 19, 2);
    in.blank(QStringLiteral("F3"), 1, 2, 'N', 19, 2);
    in.table(1, QStringLiteral("F1"), {{1, 2, QStringLiteral("6000000000")}});
    in.table(2, QStringLiteral("F1"), {{1, 2, QStringLiteral("3000000000")}});
    in.table(1, QStringLiteral("F4A"),
             {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, QStringLiteral("4500000000")}});
    in.table(1, QStringLiteral("F3"),
             {{QStringLiteral("9007199254740993"), QStringLiteral("12345678901234.56")}});
    in.table(2, QStringLiteral("F3"), {{2, QStringLiteral("0.01")}});
    auto text = [&](const QString &table, int row, const char *field) {
        testsupport::OpenTable t(in.svodDir(1), table);
        return t.text(row, QLatin1String(field));
    };

    EXPECT_EQ(svod::CountF1Denominator(in.root(), kYear, QStringLiteral("F4A.DBF"), 1, 1),
              9000000000LL);
    ASSERT_TRUE(svod::BuildSvod(in.params(2)).Ok);
    EXPECT_EQ(text(QStringLiteral("F4A2016"), 1, "N1"), QStringLiteral("9000000000"));
    EXPECT_EQ(text(QStringLiteral("F4A2016"), 1, "N14"), QStringLiteral("50"));

    svod::SvodResult r = svod::BuildSvod(in.params(3));
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(text(r.TargetTable, 1, "N1"), QStringLiteral("9007199254740995"));
    EXPECT_EQ(text(r.TargetTable, 1, "N2"), QStringLiteral("12345678901234.57"));

    r = svod::BuildSvod(in.params(3, 1, 2)); // one row per organisation, and the total
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(text(r.TargetTable, 1, "N1"), QStringLiteral("9007199254740993"));
    EXPECT_EQ(text(r.TargetTable, 1, "N2"), QStringLiteral("12345678901234.56"));
    EXPECT_EQ(text(r.TargetTable, 3, "N1"), QStringLiteral("9007199254740995"));
    EXPECT_EQ(text(r.TargetTable, 3, "N2"), QStringLiteral("12345678901234.57"));
}

// One cell's bytes as a sum reads them, in every form and width: short
// figures, figures of 19 and more digits, blanks and NULs around them, signs,
// either mark, and text that is no plain figure.
struct CellCase {
    QByteArray bytes; // the whole field
    char type;
    svod::detail::ExactSum::Reading reading;
    const char *sum; // the sum of this cell alone
};

TEST(SvodExactSum, EveryFormOfACellIsReadAsItsDigitsSay) {
    using R = svod::detail::ExactSum::Reading;
    const QByteArray nul(1, '\0');
    const QList<CellCase> cases = {
        {"       45.00", 'N', R::Number, "45"},
        {"        7.25", 'N', R::Number, "7.25"},
        {"       -0.25", 'N', R::Number, "-0.25"},
        {"          +3", 'N', R::Number, "3"},
        {"            ", 'N', R::Blank, "0"},
        {QByteArray(12, '\0'), 'N', R::Blank, "0"},
        {"  " + nul + "  -12,5  ", 'C', R::Number, "-12.5"},
        {"45   " + nul + nul, 'C', R::Number, "45"},
        {"12345.67", 'N', R::Number, "12345.67"},
        {"+7", 'N', R::Number, "7"},
        {".5", 'C', R::Number, "0.5"},
        {"5.", 'C', R::Number, "5"},
        {" 9999999999999999999", 'N', R::Number, "9999999999999999999"},
        {"-9999999999999999999", 'N', R::Number, "-9999999999999999999"},
        {"1234567890123456.789", 'N', R::Number, "1234567890123456.789"},
        {"12345678901234567890", 'C', R::Number, "12345678901234567890"},
        {"-0.000000000000000001", 'C', R::Number, "-0.000000000000000001"},
        {"123456789012345678901234567890123456", 'C', R::Number,
         "123456789012345678901234567890123456"},
        {"   1e3", 'C', R::Number, "1000"},
        {"     .", 'C', R::NotNumber, "0"},
        {"     -", 'C', R::NotNumber, "0"},
        {"  1.2.3", 'C', R::NotNumber, "0"},
        {"  1,2.3", 'C', R::NotNumber, "0"},
        {"     1 2", 'C', R::NotNumber, "0"},
        {"  1" + nul + "2", 'C', R::NotNumber, "0"},
        {"         abc", 'C', R::NotNumber, "0"},
        {"       12-", 'N', R::NotNumber, "0"},
    };
    for (const CellCase &c : cases) {
        const store::FieldDef def{QStringLiteral("N1"), c.type, int(c.bytes.size()), 0};
        svod::detail::ExactSum sum;
        EXPECT_EQ(sum.add(def, c.bytes.constData()), c.reading) << c.bytes.toStdString();
        EXPECT_EQ(sum.text(), QLatin1String(c.sum)) << c.bytes.toStdString();
        EXPECT_FALSE(sum.tooLarge()) << c.bytes.toStdString();
    }

    // Figures of other decimals than the sum's, and a sum past 128 bits.
    const store::FieldDef def{QStringLiteral("N1"), 'N', 12, 3};
    svod::detail::ExactSum sum;
    for (const char *cell : {"       1.500", "        2.25", "          -3", "      0.0001"})
        sum.add(def, cell);
    EXPECT_EQ(sum.text(), QStringLiteral("0.7501"));
    const QByteArray nines(36, '9');
    const store::FieldDef wide{QStringLiteral("N1"), 'C', 36, 0};
    for (int i = 0; i < 200 && !sum.tooLarge(); ++i)
        sum.add(wide, nines.constData());
    EXPECT_TRUE(sum.tooLarge());
}

TEST_F(SvodGeneral, TablesAreOpenedOncePerOrganisationNotPerCell) {
    auto opensFor = [&](int orgCount) {
        QList<Org> orgs;
        for (int k = 1; k <= orgCount; ++k)
            orgs << Org{k, QStringLiteral("Школа %1").arg(k)};
        in.orgs(orgs);
        in.catalogue({{QStringLiteral("F3"), 2, 6}});
        in.blank(QStringLiteral("F3"), 12, 6);
        for (int k = 1; k <= orgCount; ++k)
            in.table(k, QStringLiteral("F3"), Cells(12, {1, 2, 3, 4, 5, 6}));
        const svod::SvodParams p = in.params(1);
        store::resetCounters();
        const svod::SvodResult r = svod::BuildSvod(p);
        EXPECT_TRUE(r.Ok) << r.Error.toStdString();
        EXPECT_EQ(in.num(1, r.TargetTable, 12, QStringLiteral("N6")), 6 * orgCount);
        return store::counters().tableOpens;
    };
    const auto three = opensFor(3);
    const auto six = opensFor(6);
    EXPECT_EQ(six - three, 3u); // one open more per organisation
    EXPECT_LE(three, 3u + 3u);  // SCHOOL, the target, the organisations
}

TEST_F(SvodGeneral, ProgressRunsOverTheOrganisations) {
    in.catalogue({{QStringLiteral("F3"), 2, 1}});
    in.blank(QStringLiteral("F3"), 1, 1);
    svod::SvodParams p = in.params(1);
    ProgressLog log;
    p.Progress = &log;
    ASSERT_TRUE(svod::BuildSvod(p).Ok);
    ASSERT_EQ(log.steps.size(), 5);
    EXPECT_EQ(log.steps.first(), qMakePair(0, 4));
    EXPECT_EQ(log.steps.last(), qMakePair(4, 4));
}

TEST_F(SvodGeneral, AnUnreadableOrganisationTableIsNamedByOrganisationAndFolder) {
    struct Case {
        int group, mode;
    };
    for (const Case c : {Case{2, 1}, Case{2, 2}, Case{12, 2}, Case{46, 1}}) {
        SCOPED_TRACE(c.group * 10 + c.mode);
        in.catalogue({{QStringLiteral("F3"), c.group, 1, {}, QStringLiteral("Отчет 3")}});
        in.blank(QStringLiteral("F3"), 1, 1);
        in.table(1, QStringLiteral("F3"), {{1}});
        in.table(2, QStringLiteral("F3"), {{2}});
        QFile damaged(in.orgDir(2) + QStringLiteral("F32016.DBF"));
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("not a table");
        damaged.close();
        QString storeText;
        try {
            store::FolderTable t(in.orgDir(2), QStringLiteral("F32016"));
        } catch (const store::StoreError &e) {
            storeText = e.message();
        }
        ASSERT_FALSE(storeText.isEmpty());
        svod::SvodParams p = in.params(1, 1, c.mode);
        p.Column = 1;
        const svod::SvodResult r = svod::BuildSvod(p);
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Error, QStringLiteral("Отчет \"Отчет 3\": таблица организации 2 \"Школа Б\" "
                                          "в папке ") +
                               QDir::cleanPath(in.orgDir(2)) + QStringLiteral(" не читается: ") +
                               storeText);
    }
}

// ---------------------------------------------------------------- saving all

TEST_F(SvodGeneral, SaveAllBuildsEveryReportOverSetOneAndStopsAtAMissingBlank) {
    in.catalogue({{QStringLiteral("F3"), 2, 1},
                  {QStringLiteral("F46"), 46, 1},
                  {QStringLiteral("F5"), 12, 1, {}, QStringLiteral("Отчет без бланка")},
                  {QStringLiteral("F6"), 2, 1}});
    in.blank(QStringLiteral("F3"), 1, 1);
    in.blank(QStringLiteral("F46"), 3, 1);
    in.blank(QStringLiteral("F6"), 1, 1);
    in.table(1, QStringLiteral("F3"), {{2}});
    in.table(2, QStringLiteral("F46"), {{7}, {}, {8}});
    svod::SaveAllParams p{in.root(), kYear, 1, nullptr};
    ProgressLog log;
    p.Progress = &log;
    svod::SaveAllResult r = svod::SaveAllSvods(p);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.FailedReport, QStringLiteral("Отчет без бланка"));
    EXPECT_TRUE(r.Error.contains(QStringLiteral("F5.DBF"))) << r.Error.toStdString();
    EXPECT_EQ(r.TargetFiles.size(), 2);
    EXPECT_EQ(in.num(1, QStringLiteral("F32016"), 1, QStringLiteral("N1")), 2);
    EXPECT_EQ(in.num(1, QStringLiteral("F462016"), 2, QStringLiteral("N1")), 8);
    EXPECT_FALSE(QFile::exists(in.svodDir(1) + QStringLiteral("F62016.DBF")));
    EXPECT_EQ(log.steps, (QList<QPair<int, int>>{{0, 4}, {1, 4}, {2, 4}}));

    in.blank(QStringLiteral("F5"), 1, 1);
    r = svod::SaveAllSvods(p);
    EXPECT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(r.TargetFiles.size(), 4);
    EXPECT_TRUE(QFile::exists(in.svodDir(1) + QStringLiteral("F62016.DBF")));
}

TEST_F(SvodGeneral, SaveAllWithoutACatalogueFailsWithItsName) {
    const svod::SaveAllResult r = svod::SaveAllSvods({in.root(), kYear, 1, nullptr});
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Error, QStringLiteral("Нет БД OTHE2016.DBF"));
}

} // namespace
