// The formula tables FORM and PROV of a period, the named values built from
// FORM's definition rows, and the substitution of references into formula
// texts, over small tables made in a temporary program folder.

#include "checks/FormulUtil.h"
#include "checks/FormulaTables.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"
#include "store/Dataset.h"
#include "support/FormulaTableFields.h"
#include "support/MessageRecorder.h"
#include "support/TableBuilder.h"

#include <QDir>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <clocale>
#include <functional>

namespace {

using store::FieldDef;
using store::TADOConnection;
using store::TADODataSet;

using testsupport::Record;
using testsupport::writeTable;

using testsupport::kFormFields;
using testsupport::kProvFields;

const QVector<FieldDef> kCatalogueFields{
    {"KOD", 'N', 4, 0}, {"NAME", 'C', 40, 0}, {"FAIL", 'C', 12, 0}, {"NSTOLB1", 'N', 3, 0}};

// N1 and N2 numbers with two decimals, N3 a text column.
const QVector<FieldDef> kReportFields{{"KODSTR", 'C', 6, 0},
                                      {"NAME", 'C', 30, 0},
                                      {"N1", 'N', 14, 2},
                                      {"N2", 'N', 14, 2},
                                      {"N3", 'C', 12, 0}};

class FormulaTablesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        paths::setProgramDirForTests(dir.path() + "/");
        wed = paths::GetWedDir();
        data = paths::GetOrgDataDir("7");
        ASSERT_TRUE(QDir().mkpath(wed));
        ASSERT_TRUE(QDir().mkpath(data));
        DM().ADOConWED.Close();
        DM().ADOConTemp.Close();
        // Report 1 is F1 (present in the data folder), report 2 is F2 (absent).
        writeTable(wed, "OTHE2016", kCatalogueFields,
                   {{{"KOD", 1}, {"NAME", "Report one"}, {"FAIL", "F1.DBF"}, {"NSTOLB1", 3}},
                    {{"KOD", 2}, {"NAME", "Report two"}, {"FAIL", "F2.DBF"}, {"NSTOLB1", 3}}});
        writeTable(data, "F12016", kReportFields,
                   {{{"KODSTR", "01"}, {"N1", 10}, {"N2", 1.25}, {"N3", "7,5"}},
                    {{"KODSTR", "02"}, {"N3", "1)*(9"}}, // N1 and N2 empty
                    {{"KODSTR", "03"}, {"N1", -3}, {"N2", -0.5}, {"N3", "-2"}},
                    {{"KODSTR", "04"}, {"N1", 2.5}, {"N2", 1e9}, {"N3", "abc"}}});
        catalogue.setConnection(&catalogueCon);
        catalogueCon.setFolder(wed);
        catalogueCon.Open();
        catalogue.setCommandText("select * from OTHE2016");
        catalogue.Open();
    }
    void TearDown() override {
        catalogue.Close();
        catalogueCon.Close();
        DM().ADOConWED.Close();
        DM().ADOConTemp.Close();
        paths::setProgramDirForTests(QString());
    }

    std::unique_ptr<TADODataSet> openReport() {
        reportCon.setFolder(data);
        reportCon.Open();
        auto ds = std::make_unique<TADODataSet>();
        ds->setConnection(&reportCon);
        ds->setCommandText("select * from F12016");
        ds->Open();
        return ds;
    }

    QTemporaryDir dir;
    QString wed, data;
    TADOConnection catalogueCon, reportCon;
    TADODataSet catalogue;
};

long double evaluate(const QString &text, int *code = nullptr) {
    TFormula f;
    f.SetText(text);
    if (code)
        *code = f.ErrorCode();
    return f.Value();
}

// ------------------------------------------------------------ value texts

TEST(FormulaValueText, NumbersArePlainDecimalsAndNegativesParenthesised) {
    EXPECT_EQ(FormulaNumberText(12.5), "12.5");
    EXPECT_EQ(FormulaNumberText(-3), "(-3)");
    EXPECT_EQ(FormulaNumberText(0), "0");
    EXPECT_EQ(FormulaNumberText(-0.0), "0");
    EXPECT_EQ(FormulaNumberText(0.1), "0.1");
    EXPECT_EQ(FormulaNumberText(1e20), "100000000000000000000");
    EXPECT_EQ(FormulaNumberText(-1.5e-7), "(-0.00000015)");
}

TEST(FormulaValueText, OnlyNumbersPassFromACell) {
    EXPECT_EQ(FormulaCellText(""), "0");
    EXPECT_EQ(FormulaCellText("   "), "0");
    EXPECT_EQ(FormulaCellText(" 12,5 "), "12.5");
    EXPECT_EQ(FormulaCellText("-3"), "(-3)");
    EXPECT_EQ(FormulaCellText("+4"), "4");
    EXPECT_EQ(FormulaCellText("1e+20"), "100000000000000000000");
    EXPECT_EQ(FormulaCellText(".5"), "0.5");
    for (const char *notANumber :
         {"abc", "1+2", "(5)", "5-", "1)*(9", "inf", "nan", "1,2,3", "--1", "ПИ", "1 2", "0x10"})
        EXPECT_EQ(FormulaCellText(QString::fromUtf8(notANumber)), "0") << notANumber;
}

TEST(FormulaValueText, ValuesSurviveTheirWayThroughAFormulaUnderAnyLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "ru_RU.utf8") == nullptr)
        GTEST_SKIP() << "no decimal-comma locale installed";
    const QString text = "5-" + FormulaNumberText(-3) + "+" + FormulaNumberText(0.5);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(text, "5-(-3)+0.5");
    EXPECT_EQ(evaluate(text), 8.5L);
}

// ------------------------------------------------------------ named values

TEST(CrossReferences, LaterDefinitionWinsAndUnknownNamesAreZero) {
    CrossReferenceTable t;
    t.add("AA1", 5);
    t.add("AA2", -3);
    t.add("AA", 2.5);
    t.add("AA1", 7);
    EXPECT_EQ(t.count(), 4);
    EXPECT_EQ(SubstituteCrossReferences(t, "AA1+AA2"), "7+(-3)");
    EXPECT_EQ(SubstituteCrossReferences(t, "AA*2"), "2.5*2");
    EXPECT_EQ(SubstituteCrossReferences(t, "AA9-A5"), "0-0"); // "A5" names nothing
    EXPECT_EQ(SubstituteCrossReferences(t, "AA12"), "0");
    EXPECT_EQ(SubstituteCrossReferences(t, QString::fromUtf8("ПИ*AA1+АA1")),
              QString::fromUtf8("ПИ*7+А0")); // a Cyrillic А starts nothing, A1 names nothing
    EXPECT_EQ(evaluate(SubstituteCrossReferences(t, "5-AA2")), 8);
    EXPECT_EQ(evaluate(SubstituteCrossReferences(t, "AA2*AA2")), 9);
}

TEST(CrossReferences, StrayAIsLeftForTheFormulaLanguageToReject) {
    CrossReferenceTable t;
    t.add("AA1", 5);
    EXPECT_EQ(SubstituteCrossReferences(t, "A+1"), "A+1");
    EXPECT_EQ(SubstituteCrossReferences(t, "2*A"), "2*A");
    int code = 0;
    EXPECT_EQ(evaluate(SubstituteCrossReferences(t, "A+1"), &code), 0);
    EXPECT_EQ(code, 2);
}

TEST_F(FormulaTablesTest, DefinitionRowsBuildTheNamedValues) {
    writeTable(wed, "FORM2016", kFormFields,
               {// a check row: no named value
                {{"IDEN", "A3"}, {"KOD_OTH", 1}, {"KOLONK", 0}, {"FOR_V", "A1+A2"}},
                // N1 (KOLONK 3) of record 1 of report 1
                {{"KOD_OTH", 1}, {"KOLONK", 3}, {"KODSTR", "1"}, {"KODD", "10"}},
                // N2 of record 3: negative and fractional
                {{"KOD_OTH", 1}, {"KOLONK", 4}, {"KODSTR", "3"}, {"KODD", "11"}},
                // an empty cell
                {{"KOD_OTH", 1}, {"KOLONK", 3}, {"KODSTR", "2"}, {"KODD", "12"}},
                // report 2 has no table in the folder
                {{"KOD_OTH", 2}, {"KOLONK", 3}, {"KODSTR", "1"}, {"KODD", "20"}},
                // an empty code is the name "AA"
                {{"KOD_OTH", 1}, {"KOLONK", 4}, {"KODSTR", "1"}},
                // ignored: neither a check nor a definition
                {{"FOR_V", "1+1"}, {"KODD", "99"}},
                // a later definition of 10 wins
                {{"KOD_OTH", 1}, {"KOLONK", 3}, {"KODSTR", "4"}, {"KODD", "10"}}});
    MessageRecorder rec;
    auto form = OpenFormulaTable("FORM", 16);
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(DM().ADOConWED.Connected());

    CrossReferenceTable t;
    t.add("AA77", 1); // a previous step's values do not survive
    BuildCrossReferenceTable(catalogue, *form, data.chopped(1), 16, t);
    EXPECT_TRUE(rec.messages.isEmpty()) << rec.texts().join('|').toStdString();
    EXPECT_FALSE(DM().ADOConTemp.Connected());

    ASSERT_EQ(t.count(), 6);
    EXPECT_EQ(t.at(0).Name, "AA10");
    EXPECT_EQ(t.at(0).Value, 10);
    EXPECT_EQ(t.at(4).Name, "AA");
    double v = 0;
    EXPECT_FALSE(t.find("AA77", &v));
    EXPECT_TRUE(t.find("AA10", &v));
    EXPECT_EQ(v, 2.5);
    EXPECT_TRUE(t.find("AA11", &v));
    EXPECT_EQ(v, -0.5);
    EXPECT_TRUE(t.find("AA12", &v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(t.find("AA20", &v));
    EXPECT_EQ(v, 0);
    EXPECT_EQ(SubstituteCrossReferences(t, "AA10-AA11+AA"), "2.5-(-0.5)+1.25");
    EXPECT_EQ(evaluate(SubstituteCrossReferences(t, "AA10-AA11+AA+AA20")), 4.25L);
}

TEST_F(FormulaTablesTest, ManyDefinitionsHaveNoFixedLimit) {
    QList<Record> rows;
    for (int k = 0; k < 1500; ++k)
        rows.append({{"KOD_OTH", 2}, {"KOLONK", 3}, {"KODSTR", "1"}, {"KODD", QString::number(k)}});
    rows.append({{"KOD_OTH", 1}, {"KOLONK", 3}, {"KODSTR", "1"}, {"KODD", "1499"}});
    writeTable(wed, "FORM2016", kFormFields, rows);
    auto form = OpenFormulaTable("FORM", 16);
    ASSERT_NE(form, nullptr);
    CrossReferenceTable t;
    BuildCrossReferenceTable(catalogue, *form, data.chopped(1), 16, t);
    EXPECT_EQ(t.count(), 1501);
    EXPECT_EQ(SubstituteCrossReferences(t, "AA1499+AA1000"), "10+0");
}

TEST_F(FormulaTablesTest, MissingSourceFieldIsTheDataLayersError) {
    writeTable(wed, "FORM2016", kFormFields,
               {{{"KOD_OTH", 1}, {"KOLONK", 2}, {"KODSTR", "1"}, {"KODD", "1"}}}); // N0
    auto form = OpenFormulaTable("FORM", 16);
    ASSERT_NE(form, nullptr);
    CrossReferenceTable t;
    EXPECT_THROW(BuildCrossReferenceTable(catalogue, *form, data.chopped(1), 16, t),
                 store::StoreError);
    EXPECT_FALSE(DM().ADOConTemp.Connected());
}

// ------------------------------------------------------------ the tables

TEST_F(FormulaTablesTest, MissingTablesAreNoError) {
    MessageRecorder rec;
    EXPECT_FALSE(FormulaTableExists("PROV", 16));
    EXPECT_EQ(OpenFormulaTable("PROV", 16), nullptr);
    EXPECT_EQ(OpenFormulaTable("FORM", 16), nullptr);
    EXPECT_TRUE(rec.messages.isEmpty());
    EXPECT_EQ(FormulaTableName("PROV", 5), "PROV2005");
}

TEST_F(FormulaTablesTest, RowsReadAsTheChecksNeedThem) {
    writeTable(wed, "FORM2016", kFormFields,
               {{{"IDEN", "A12"},
                 {"KOD_OTH", 1},
                 {"KOLONK", 4},
                 {"FOR_V", "A1+A2"},
                 {"KODSTR", "1.2"},
                 {"PRIMEH", "note"}},
                {{"KOD_OTH", 2}, {"KOLONK", 5}, {"KODSTR", "7"}, {"KODD", "  3"}},
                {{"NAZV", "comment only"}}});
    writeTable(wed, "prov2016", kProvFields,
               {{{"NFORM1", 1},
                 {"NSTR1", 2},
                 {"PEREM1", "N3"},
                 {"NFORM2", 2},
                 {"NSTR2", 4},
                 {"PEREM2", "N1+N2"},
                 {"PRIMEH", "p"}}});
    auto form = OpenFormulaTable("FORM", 16);
    ASSERT_NE(form, nullptr);
    form->First();
    ASSERT_EQ(ClassifyFormRow(*form), FormRowKind::Check);
    const FormCheckRow check = ReadFormCheckRow(*form);
    EXPECT_EQ(check.Iden, "A12");
    EXPECT_EQ(check.KodOth, 1);
    EXPECT_EQ(check.Kolonk, 4);
    EXPECT_EQ(check.ForV, "A1+A2");
    EXPECT_EQ(check.KodStr, "1.2");
    EXPECT_EQ(check.Primeh, "note");
    bool ok = false;
    EXPECT_EQ(check.TargetRecord(&ok), 12);
    EXPECT_TRUE(ok);
    FormCheckRow other;
    other.Iden = "X7";
    EXPECT_EQ(other.TargetRecord(&ok), 7); // the first character is skipped
    other.Iden = "A";
    other.TargetRecord(&ok);
    EXPECT_FALSE(ok);
    form->Next();
    ASSERT_EQ(ClassifyFormRow(*form), FormRowKind::Definition);
    const FormDefinitionRow def = ReadFormDefinitionRow(*form);
    EXPECT_EQ(def.KodOth, 2);
    EXPECT_EQ(def.Kolonk, 5);
    EXPECT_EQ(def.KodStr, 7);
    EXPECT_EQ(def.Kodd, "3");
    form->Next();
    EXPECT_EQ(ClassifyFormRow(*form), FormRowKind::Ignored);

    auto prov = OpenFormulaTable("PROV", 16); // found whatever the letter case
    ASSERT_NE(prov, nullptr);
    prov->First();
    const ProvRow p = ReadProvRow(*prov);
    EXPECT_EQ(p.NForm1, 1);
    EXPECT_EQ(p.NStr1, 2);
    EXPECT_EQ(p.Perem1, "N3");
    EXPECT_EQ(p.NForm2, 2);
    EXPECT_EQ(p.NStr2, 4);
    EXPECT_EQ(p.Perem2, "N1+N2");
    EXPECT_EQ(p.Primeh, "p");

    catalogue.setRecNo(2);
    EXPECT_EQ(ReportTableName(catalogue, 16), "F22016");
}

// ------------------------------------------------------------ substitution

TEST_F(FormulaTablesTest, CellReferencesTakeTheTestedColumn) {
    auto report = openReport();
    EXPECT_EQ(SubstituteCellReferences(*report, 1, "A1+A2-A3+A4"), "10+0-(-3)+2.5");
    EXPECT_EQ(evaluate(SubstituteCellReferences(*report, 1, "A1+A2-A3+A4")), 15.5L);
    EXPECT_EQ(SubstituteCellReferences(*report, 2, "A1*A3"), "1.25*(-0.5)");
    EXPECT_EQ(SubstituteCellReferences(*report, 2, "5-A3"), "5-(-0.5)");
    EXPECT_EQ(SubstituteCellReferences(*report, 2, "A4/1000"), "1000000000/1000");
    // named values pass unchanged; a stray A stays for the formula language
    EXPECT_EQ(SubstituteCellReferences(*report, 1, "AA12+A1+A+AA"), "AA12+10+A+AA");
    EXPECT_EQ(SubstituteCellReferences(*report, 1, "A1A"), "10A");
    // a text column: only numbers pass, so no cell can bring operators in
    EXPECT_EQ(SubstituteCellReferences(*report, 3, "A1+A2+A3+A4"), "7.5+0+(-2)+0");
    EXPECT_EQ(evaluate(SubstituteCellReferences(*report, 3, "A2*2")), 0);
}

TEST_F(FormulaTablesTest, CellReferenceBeyondTheTableIsTheDataLayersError) {
    auto report = openReport();
    EXPECT_THROW(SubstituteCellReferences(*report, 1, "A5"), store::StoreError);
    EXPECT_THROW(SubstituteCellReferences(*report, 1, "A0"), store::StoreError);
    EXPECT_THROW(SubstituteCellReferences(*report, 1, "A99999999999999"), store::StoreError);
    EXPECT_THROW(SubstituteCellReferences(*report, 9, "A1"), store::StoreError);
}

TEST_F(FormulaTablesTest, RowFieldsOfTheCurrentRecord) {
    auto report = openReport();
    report->setRecNo(3);
    EXPECT_EQ(SubstituteRowFields(*report, "N1+N2*2"), "(-3)+(-0.5)*2");
    EXPECT_EQ(evaluate(SubstituteRowFields(*report, "N1+N2*2")), -4);
    EXPECT_EQ(SubstituteRowFields(*report, QString::fromUtf8("СИНУС(N1-N1)+N3")),
              QString::fromUtf8("СИНУС((-3)-(-3))+(-2)"));
    report->setRecNo(2);
    EXPECT_EQ(SubstituteRowFields(*report, "N1+N2+N3"), "0+0+0");
    EXPECT_EQ(SubstituteRowFields(*report, "A5+AA1"), "A5+AA1");
    // a Latin N inside a function name is a reference too
    EXPECT_THROW(SubstituteRowFields(*report, "SIN(1)"), store::StoreError);
    EXPECT_THROW(SubstituteRowFields(*report, "N9"), store::StoreError);
}

} // namespace
