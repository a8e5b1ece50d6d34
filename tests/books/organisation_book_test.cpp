// Column layouts of the reference books, the search in the organisation book
// and the checks of typed values, on real tables.

#include "books/OrganisationBook.h"
#include "books/SchoolTables.h"
#include "support/TableBuilder.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QStringList titles(const QVector<BookColumn> &cols, bool visibleOnly = true) {
    QStringList out;
    for (const BookColumn &c : cols)
        if (c.visible || !visibleOnly)
            out.append(c.title);
    return out;
}

const BookColumn *find(const QVector<BookColumn> &cols, const QString &field) {
    for (const BookColumn &c : cols)
        if (c.field == field)
            return &c;
    return nullptr;
}

TEST(BookColumns, OrganisationBookInItsOrderForBothProgramKinds) {
    QStringList fields = SchoolFieldNames();
    fields.append(QStringLiteral("extra")); // a field the layout does not know
    const QStringList common = {"Код",
                                "Наименование",
                                "ИНН",
                                "",
                                "Признак 1",
                                "Признак 2",
                                "1-НОШ, 2-ООШ, 3-СОШ",
                                "1-самост., 2-филиалы",
                                "Руководитель",
                                "Гл. Бухгалтер",
                                "Лицо, ответств. за составл. отчета",
                                "Телефон",
                                "Код ОКОНХ",
                                "Код ОКПО",
                                "Адрес",
                                "EXTRA"};
    for (int kind : {105, 1, 76, 0}) {
        const QVector<BookColumn> cols = OrganisationColumns(fields, kind);
        QStringList expected = common;
        expected[3] = kind == 105 ? "1-районы   2-города   3-респ.учр 4-р-ны Тры"
                                  : "1-начальн  2-средние  3-общеобр";
        EXPECT_EQ(titles(cols), expected) << kind;
        ASSERT_EQ(cols.size(), 18);
        EXPECT_FALSE(find(cols, "CITY")->visible);
        EXPECT_FALSE(find(cols, "GLAVRAS")->visible);
        EXPECT_EQ(cols[11].field, "CITY"); // hidden in its place, after RYKFIN
        EXPECT_EQ(cols[15].field, "GLAVRAS");
        EXPECT_EQ(find(cols, "KODCITY")->widthText, "1-районы    ");
        for (const BookColumn &c : cols) {
            if (c.field != "KODCITY") {
                EXPECT_TRUE(c.widthText.isEmpty()) << c.field.toStdString();
            }
        }
    }
}

TEST(BookColumns, ReportCatalogueShowsItsFieldsInPairsAndHidesTheRest) {
    QStringList fields = {"KOD",    "NAME",     "FORMA",   "FAIL", "FAILTEXT",
                          "GRUPPA", "KOLSTOLB", "NSTOLB1", "FORM"};
    for (int n = 1; n <= 28; ++n)
        fields << QStringLiteral("NAM%1").arg(n);
    for (int n = 1; n <= 28; ++n)
        fields << QStringLiteral("VKL%1").arg(n);
    fields << "NOTE";
    const QVector<BookColumn> cols = ReportCatalogueColumns(fields);
    ASSERT_EQ(cols.size(), 66);
    QStringList expected = {"Код",
                            "Наименоваие",
                            "Форма",
                            "Файл базы данных",
                            "Количество столбцов цифр",
                            "N 1-го цифров столбца",
                            "Формат печати: 1-А4         2-А3",
                            "Файл отчета"};
    for (int n = 1; n <= 28; ++n)
        expected << QStringLiteral("Наименование столбца %1").arg(n)
                 << QStringLiteral("Разрешить ввод:          1-Да");
    EXPECT_EQ(titles(cols), expected);
    EXPECT_EQ(cols[1].field, "GRUPPA");
    EXPECT_FALSE(cols[1].visible);
    EXPECT_EQ(cols[10].field, "VKL1");
    EXPECT_EQ(cols[10].widthText, "Разрешить ввод: ");
    EXPECT_EQ(cols[64].field, "VKL28");
    EXPECT_EQ(find(cols, "FORM")->widthText, "Формат печати: ");
    EXPECT_FALSE(find(cols, "NOTE")->visible);
    EXPECT_EQ(cols.last().field, "NOTE");
}

class SchoolFolder : public ::testing::Test {
protected:
    QTemporaryDir dir;
    store::TADOConnection con;
    store::TADODataSet ds;
    QString dbf;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        dbf = dir.filePath("DBF");
        QDir().mkpath(dbf);
        testsupport::writeTable(dir.path(), "SCHOOL", SchoolFieldDefs(),
                                {{{"KOD", 3}, {"NAME", "Гимназия N 2"}},
                                 {{"KOD", 5}, {"NAME", "Школа N 12"}},
                                 {{"KOD", 1}, {"NAME", "ШКОЛА-ИНТЕРНАТ"}},
                                 {{"KOD", 8}, {"NAME", "Лицей, школа"}}});
        con.setFolder(dir.path());
        con.Open();
        ds.setConnection(&con);
        ds.setCommandText("select * from SCHOOL");
        ds.Open();
    }
};

TEST_F(SchoolFolder, SearchFindsTheFirstMatchInStoredOrderAndLeavesThePosition) {
    struct Case {
        int mode;
        QString text;
        int found;
    };
    const QList<Case> cases = {
        {kSearchByCode, "5", 2},          {kSearchByCode, "1", 3},      {kSearchByCode, " 8", 4},
        {kSearchByCode, "0", 0},          {kSearchByCode, "12", 0},     {kSearchByCode, "abc", 0},
        {kSearchByName, "шк", 2},         {kSearchByName, "ШКОЛА-", 3}, {kSearchByName, "школа", 2},
        {kSearchByName, "гимназия n", 1}, {kSearchByName, "N 12", 0},   {kSearchByName, "", 0},
    };
    for (const Case &c : cases) {
        ds.setRecNo(4);
        EXPECT_EQ(FindOrganisationRecord(ds, c.mode, c.text), c.found)
            << c.mode << " " << c.text.toStdString();
        EXPECT_EQ(ds.RecNo(), 4);
    }
}

TEST(OrganisationChecks, TypedValuesTheTableCannotHoldAreRefusedNamingTheField) {
    const store::FieldDef name{"NAME", 'C', 10, 0};
    const store::FieldDef sign{"KOD1", 'N', 2, 0};
    const store::FieldDef money{"SUMMA", 'N', 8, 2};
    struct Case {
        store::FieldDef def;
        QString text;
        QString expected; // empty: accepted
    };
    const QList<Case> cases = {
        {name, "Школа", ""},
        {name, "Школа 1234", ""},
        {name, "Школа 1234   ", ""}, // trailing blanks are not stored
        {name, "Школа 12345",
         "Поле \"Наименование\": текст длиннее 10 знаков (введено 11). "
         "Сократите его."},
        {name, "Мәктәп",
         "Поле \"Наименование\": знак \"ә\" нельзя сохранить в таблице: его нет в кодировке "
         "Windows-1251. Замените или удалите его."},
        {sign, "", ""},
        {sign, " 1 ", ""},
        {sign, "-9", ""},
        {sign, "1a", "Поле \"Признак 1\": нужно целое число, а введено \"1a\"."},
        {sign, "1.5", "Поле \"Признак 1\": нужно целое число, а введено \"1.5\"."},
        {sign, "100", "Поле \"Признак 1\": число \"100\" не помещается в поле (в нем 2 знаков)."},
        {money, "12,5", ""},
        {money, "12345.25", ""},
        {money, "123456.2",
         "Поле \"SUMMA\": число \"123456.2\" не помещается в поле (в нем 8 "
         "знаков)."},
        {money, ".", "Поле \"SUMMA\": нужно число, а введено \".\"."},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CheckOrganisationValue(c.def, c.text), c.expected) << c.text.toStdString();
}

TEST_F(SchoolFolder, CodeChangesThatWouldLoseReportsOrTakeOthersAreRefused) {
    QDir(dbf).mkdir("D5");  // organisation 5 has reports
    QDir(dbf).mkdir("d20"); // reports left by a deleted organisation 20
    EXPECT_EQ(CheckCodeChange(con, 5, "5", dbf), "");
    EXPECT_EQ(CheckCodeChange(con, 5, "6", dbf),
              "Код организации 5 изменить нельзя: в папке DBF\\D5 лежат ее отчеты, которые "
              "остались бы под старым кодом.");
    EXPECT_EQ(CheckCodeChange(con, 3, "4", dbf), "");
    EXPECT_EQ(CheckCodeChange(con, 3, "8", dbf), "Код 8 уже есть у другой организации.");
    EXPECT_EQ(CheckCodeChange(con, 3, "20", dbf),
              "Код 3 изменить на 20 нельзя: папка DBF\\D20 с отчетами другой организации уже "
              "есть.");
    EXPECT_EQ(CheckCodeChange(con, 3, "0", dbf),
              "Код организации должен быть целым числом больше нуля, а введено \"0\".");
    EXPECT_EQ(CheckCodeChange(con, 3, "x", dbf),
              "Код организации должен быть целым числом больше нуля, а введено \"x\".");
}

} // namespace
