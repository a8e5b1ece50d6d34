// Row totals, age rows, organisation names and the check of typed values.

#include "entry/RowTotals.h"
#include "entry_fixture.h"

#include "shell/Paths.h"
#include "shell/UnitDM.h"

#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using entrytest::makeTable;
using entrytest::OpenTable;
using entrytest::reportFields;

namespace {

class RowTotalsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString folder() const { return dir.path(); }
    // A report table T2016 with the given data columns and rows, opened.
    std::unique_ptr<OpenTable> table(int columns, int rows, int numberLength = 12,
                                     int decimals = 2) {
        makeTable(dir.filePath(QStringLiteral("T2016.DBF")),
                  reportFields(columns, 60, numberLength, decimals), rows);
        return std::make_unique<OpenTable>(folder(), QStringLiteral("T2016"));
    }
    QVariant onDisk(int row, const QString &field) {
        return testsupport::readCell(folder(), QStringLiteral("T2016"), row, field);
    }
};

TEST_F(RowTotalsTest, Group2SumsN2ToN16Only) {
    auto t = table(20, 2);
    for (int n = 2; n <= 20; ++n)
        t->set(1, QStringLiteral("N%1").arg(n), 1);
    t->ds.setRecNo(1);
    CalcResult r = RowAutoCalc(t->ds, 2);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(onDisk(1, "N1").toDouble(), 15);
    EXPECT_TRUE(onDisk(2, "N1").isNull() || !onDisk(2, "N1").isValid()); // other row untouched
}

TEST_F(RowTotalsTest, TotalsUseTheExactValuesOfLargeCells) {
    auto t = table(16, 1, 15, 0);
    t->set(1, "N2", 1234567890.0);
    t->set(1, "N3", 9999999999.0);
    t->set(1, "N4", 2.5); // a fraction counts rounded half to even
    t->ds.setRecNo(1);
    CalcResult r = RowAutoCalc(t->ds, 2);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(onDisk(1, "N1").toDouble(), 11234567891.0);
    // A total too long for its field is refused and nothing is written.
    auto narrow = table(16, 1, 10, 0);
    narrow->set(1, "N2", 9999999999.0);
    narrow->set(1, "N3", 1);
    narrow->ds.setRecNo(1);
    EXPECT_FALSE(RowAutoCalc(narrow->ds, 2).ok);
    EXPECT_FALSE(onDisk(1, "N1").isValid() && onDisk(1, "N1").toDouble() != 0);
    narrow.reset();
    // Nineteen-digit cells: a total beyond 64 bits is told with every digit,
    // and a figure beyond what 64 bits hold is summed exactly.
    const struct {
        const char *n2, *n3, *total; // total empty: refused, naming the total
    } wide[] = {
        {"9000000000000000000", "9000000000000000000", ""},
        {"9999999999999999999", "", "9999999999999999999"},
        {"9007199254740993", "-9007199254740992", "1"},
    };
    for (const auto &w : wide) {
        auto t19 = table(16, 1, 19, 0);
        t19->set(1, "N2", QString::fromLatin1(w.n2));
        t19->set(1, "N3", QString::fromLatin1(w.n3));
        t19->ds.setRecNo(1);
        const CalcResult r19 = RowAutoCalc(t19->ds, 2);
        EXPECT_EQ(r19.ok, *w.total != 0) << w.n2 << ": " << r19.error.toStdString();
        if (*w.total == 0) {
            EXPECT_EQ(r19.error,
                      QStringLiteral("Итоги строки 1 не записаны: итог 18000000000000000000 не "
                                     "поместится в поле N1 (не более 19 знаков вместе с запятой и "
                                     "знаком)."));
        }
        EXPECT_EQ(t19->text(1, "N1"), QString::fromLatin1(w.total)) << w.n2;
        t19.reset();
        QFile::remove(dir.filePath("T2016.DBF"));
    }
}

TEST_F(RowTotalsTest, PendingEditIsPostedWithTheTotals) {
    auto t = table(16, 1);
    t->set(1, "N2", 5);
    t->ds.setRecNo(1);
    t->ds.Edit();
    t->ds.FieldByName("N3").SetAsString("7");
    ASSERT_TRUE(RowAutoCalc(t->ds, 2).ok);
    EXPECT_EQ(t->ds.State(), store::DataSetState::Browse);
    EXPECT_EQ(onDisk(1, "N3").toDouble(), 7);
    EXPECT_EQ(onDisk(1, "N1").toDouble(), 12);
}

TEST_F(RowTotalsTest, Group40RateAndZeroGuard) {
    auto t = table(6, 2);
    t->set(1, "N2", 3);
    t->set(1, "N5", 1);
    t->set(2, "N2", 0);
    t->set(2, "N5", 9);
    t->set(2, "N6", 42.5);
    t->ds.setRecNo(1);
    ASSERT_TRUE(RowAutoCalc(t->ds, 40).ok);
    EXPECT_DOUBLE_EQ(onDisk(1, "N6").toDouble(), 33.33);
    t->ds.setRecNo(2);
    ASSERT_TRUE(RowAutoCalc(t->ds, 40).ok);
    EXPECT_DOUBLE_EQ(onDisk(2, "N6").toDouble(), 42.5);
}

TEST_F(RowTotalsTest, Groups4And5And39SumAndRatePerMillion) {
    for (int group : {4, 5, 39}) {
        SCOPED_TRACE(group);
        auto t = table(14, 3);
        t->set(1, "N1", 3);
        t->set(1, "N2", 2);
        t->set(2, "N1", 0);
        t->set(2, "N5", 4);
        t->set(2, "N12", 6);
        t->set(2, "N14", 77);
        t->set(3, "N1", 1.5);
        t->set(3, "N3", 3);
        for (int row = 1; row <= 3; ++row) {
            t->ds.setRecNo(row);
            CalcResult r = RowAutoCalc(t->ds, group);
            ASSERT_TRUE(r.ok) << r.error.toStdString();
        }
        EXPECT_EQ(onDisk(1, "N13").toDouble(), 2);
        EXPECT_DOUBLE_EQ(onDisk(1, "N14").toDouble(), 666666.66);
        EXPECT_EQ(onDisk(2, "N13").toDouble(), 10);
        EXPECT_EQ(onDisk(2, "N14").toDouble(), 0);
        // The divisor is the stored value, not its whole part.
        EXPECT_DOUBLE_EQ(onDisk(3, "N14").toDouble(), 2000000);
        t.reset();
        QFile::remove(dir.filePath("T2016.DBF"));
    }
}

// The ratio goes through a text form of the number; a Russian locale (decimal
// comma) must not change what is stored.
TEST_F(RowTotalsTest, RatePerMillionUnderRussianLocale) {
    const QLocale oldLocale;
    const std::string oldC = std::setlocale(LC_ALL, nullptr);
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    std::setlocale(LC_ALL, "ru_RU.UTF-8");
    auto t = table(14, 1);
    t->set(1, "N1", 3);
    t->set(1, "N2", 2);
    t->ds.setRecNo(1);
    CalcResult r = RowAutoCalc(t->ds, 4);
    QLocale::setDefault(oldLocale);
    std::setlocale(LC_ALL, oldC.c_str());
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_DOUBLE_EQ(onDisk(1, "N14").toDouble(), 666666.66);
}

TEST_F(RowTotalsTest, Group7RatePerHundred) {
    auto t = table(17, 2);
    t->set(1, "N2", 0);
    t->set(1, "N3", 8);
    t->set(1, "N17", 5);
    t->set(2, "N2", 4);
    t->set(2, "N15", 1);
    t->set(2, "N16", 99); // replaced by the sum
    t->ds.setRecNo(1);
    ASSERT_TRUE(RowAutoCalc(t->ds, 7).ok);
    t->ds.setRecNo(2);
    ASSERT_TRUE(RowAutoCalc(t->ds, 7).ok);
    EXPECT_EQ(onDisk(1, "N16").toDouble(), 8);
    EXPECT_EQ(onDisk(1, "N17").toDouble(), 0);
    EXPECT_EQ(onDisk(2, "N16").toDouble(), 1);
    EXPECT_DOUBLE_EQ(onDisk(2, "N17").toDouble(), 25);
}

TEST_F(RowTotalsTest, Group47TotalsEveryRowAndKeepsTheCursor) {
    auto t = table(14, 4);
    for (int row = 1; row <= 4; ++row)
        for (int n = 2; n <= 14; ++n)
            t->set(row, QStringLiteral("N%1").arg(n), row);
    t->ds.setRecNo(3);
    t->ds.Edit();
    t->ds.FieldByName("N2").SetAsInteger(100); // pending, posted before the walk
    ASSERT_TRUE(RowAutoCalc(t->ds, 47).ok);
    EXPECT_EQ(t->ds.RecNo(), 3);
    EXPECT_EQ(t->ds.State(), store::DataSetState::Browse);
    for (int row = 1; row <= 4; ++row)
        EXPECT_EQ(onDisk(row, "N1").toDouble(), row == 3 ? 100 + 12 * 3 : 13 * row) << row;
}

TEST_F(RowTotalsTest, Group51SumsIntoTheLastRow) {
    {
        auto t = table(28, 1);
        t->set(1, "N1", 9);
        t->set(1, "N28", 9);
        ASSERT_TRUE(RowAutoCalc(t->ds, 51).ok);
        EXPECT_EQ(onDisk(1, "N1").toDouble(), 0);
        EXPECT_EQ(onDisk(1, "N28").toDouble(), 0);
    }
    QFile::remove(dir.filePath("T2016.DBF"));
    auto t = table(28, 3);
    t->set(1, "N1", 2);
    t->set(2, "N1", 3.7); // read as the whole number 4
    t->set(1, "N28", 5);
    t->ds.setRecNo(2);
    ASSERT_TRUE(RowAutoCalc(t->ds, 51).ok);
    EXPECT_EQ(t->ds.RecNo(), 2);
    EXPECT_EQ(onDisk(3, "N1").toDouble(), 6);
    EXPECT_EQ(onDisk(3, "N28").toDouble(), 5);
    EXPECT_EQ(onDisk(3, "N2").toDouble(), 0);
}

TEST_F(RowTotalsTest, MissingFieldIsReportedAndNothingWritten) {
    struct Case {
        int group;
        int columns;
        const char *missing;
    };
    for (Case c :
         {Case{7, 16, "N17"}, Case{51, 27, "N28"}, Case{47, 13, "N14"}, Case{2, 15, "N16"}}) {
        SCOPED_TRACE(c.group);
        auto t = table(c.columns, 2);
        t->set(1, "N1", 1);
        t->set(1, "N2", 2);
        t->set(1, "N3", 3);
        t->ds.setRecNo(1);
        t->ds.Edit();
        t->ds.FieldByName("N3").SetAsInteger(30); // pending edit stays pending
        CalcResult r = RowAutoCalc(t->ds, c.group);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.error.contains(QString::fromLatin1(c.missing))) << r.error.toStdString();
        EXPECT_EQ(t->ds.State(), store::DataSetState::Edit);
        t->ds.Cancel();
        EXPECT_EQ(onDisk(1, "N1").toDouble(), 1);
        EXPECT_EQ(onDisk(1, "N3").toDouble(), 3);
        EXPECT_FALSE(onDisk(2, "N1").isValid() && onDisk(2, "N1").toDouble() != 0);
        t.reset();
        QFile::remove(dir.filePath("T2016.DBF"));
    }
}

TEST_F(RowTotalsTest, TotalThatDoesNotFitLeavesTheRowAsItWas) {
    auto t = table(16, 1, 1, 0); // N(1,0): at most 9
    t->set(1, "N1", 1);
    t->set(1, "N2", 5);
    t->set(1, "N3", 6);
    t->ds.setRecNo(1);
    CalcResult r = RowAutoCalc(t->ds, 2);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_EQ(t->ds.State(), store::DataSetState::Browse);
    EXPECT_EQ(onDisk(1, "N1").toDouble(), 1);
}

TEST_F(RowTotalsTest, GroupsWithoutTotalsWriteNothing) {
    auto t = table(4, 1);
    t->set(1, "N2", 4);
    for (int group : {0, 1, 3, 12, 46, 48}) {
        ASSERT_TRUE(RowAutoCalc(t->ds, group).ok);
        EXPECT_FALSE(onDisk(1, "N1").isValid() && onDisk(1, "N1").toDouble() != 0);
    }
}

TEST(AgeRows, Group12CaptionsOf2016) {
    EXPECT_EQ(AgeRowCaption(12, 1, 2016), QStringLiteral("2010 г.| г |  5 лет  |  Число"));
    EXPECT_EQ(AgeRowCaption(12, 13, 2016), QStringLiteral("1998 г.|   | 17 лет  |  2016 г."));
    EXPECT_EQ(AgeRowCaption(12, 14, 2016), QStringLiteral("1997 г.|   | 18 лет и старше"));
    // The fixed part of every row has the length the form is drawn with.
    const int lengths[14] = {25, 18, 26, 18, 24, 18, 24, 18, 23, 18, 26, 18, 20, 24};
    QString second, fourth;
    for (int row = 1; row <= 14; ++row) {
        QString caption = AgeRowCaption(12, row, 2016);
        ASSERT_TRUE(caption.startsWith(QString::number(2016 - 5 - row))) << row;
        QString tail = caption.mid(4);
        if (row == 13)
            tail.chop(QStringLiteral("2016 г.").size());
        EXPECT_EQ(tail.size(), lengths[row - 1]) << row;
        const QStringList parts = caption.split(QLatin1Char('|'));
        ASSERT_EQ(parts.size(), row == 14 ? 3 : 4) << row;
        second += parts[1].trimmed().isEmpty() ? QStringLiteral(" ") : parts[1].trimmed();
        if (row < 14)
            fourth += parts[3].trimmed() + QLatin1Char(' ');
    }
    EXPECT_EQ(second.simplified(), QStringLiteral("год рождения"));
    EXPECT_EQ(fourth.simplified(), QStringLiteral("Число полных лет на 1 января 2016 г."));
}

TEST(AgeRows, Group29CaptionsOf2016) {
    EXPECT_EQ(AgeRowCaption(29, 1, 2016),
              QStringLiteral("На 01/01/16 -5 полных лет, год рожд.2011"));
    EXPECT_EQ(AgeRowCaption(29, 2, 2016), QStringLiteral("6 лет, 2009"));
    EXPECT_EQ(AgeRowCaption(29, 13, 2016), QStringLiteral("17 лет, 1998"));
    EXPECT_EQ(AgeRowCaption(29, 14, 2016), QStringLiteral("18 лет и старше, 1997г.  и раньше"));
    EXPECT_EQ(AgeRowCaption(29, 1, 2007),
              QStringLiteral("На 01/01/07 -5 полных лет, год рожд.2002"));
    EXPECT_TRUE(AgeRowCaption(29, 15, 2016).isEmpty());
    EXPECT_TRUE(AgeRowCaption(4, 1, 2016).isEmpty());
}

TEST(AgeRows, FillWritesTheFirstFourteenNamesOfANewTable) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("F122016.DBF"));
    makeTable(path, reportFields(3), 16);
    {
        OpenTable t(dir.path(), "F122016");
        t.set(15, "NAME", QStringLiteral("Всего"));
    }
    FillAgeRows(path, 12, 2016);
    OpenTable t(dir.path(), "F122016");
    EXPECT_EQ(t.text(1, "NAME"), AgeRowCaption(12, 1, 2016));
    EXPECT_EQ(t.text(14, "NAME"), AgeRowCaption(12, 14, 2016));
    EXPECT_EQ(t.text(15, "NAME"), QStringLiteral("Всего"));
    EXPECT_EQ(t.ds.RecordCount(), 16);
}

TEST(AgeRows, OtherGroupsAndShortTables) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("F52016.DBF"));
    makeTable(path, reportFields(3), 3);
    FillAgeRows(path, 5, 2016);
    {
        OpenTable t(dir.path(), "F52016");
        EXPECT_TRUE(t.text(1, "NAME").isEmpty());
    }
    FillAgeRows(path, 29, 2016); // three rows only: those three get their captions
    OpenTable t(dir.path(), "F52016");
    EXPECT_EQ(t.text(3, "NAME"), QStringLiteral("7 лет, 2008"));
    EXPECT_EQ(t.ds.RecordCount(), 3);
}

TEST(OrganisationName, ShortNamesAreJoinedWithColonAndBlank) {
    EXPECT_EQ(OrganisationNameText(" РУО ", " Школа N 5 "), QStringLiteral("РУО: Школа N 5"));
    // 20 + 1 + 19 = 40 still fits: 41 characters with the blank.
    const QString own20(20, QChar(u'А'));
    const QString org19(19, QChar(u'Б'));
    EXPECT_EQ(OrganisationNameText(own20, org19), own20 + ": " + org19);
}

TEST(OrganisationName, NameOf25CutsTheOwnName) {
    const QString own20 = QStringLiteral("Управление образован");
    const QString org25 = QStringLiteral("Средняя школа номер 12345");
    ASSERT_EQ(own20.size(), 20);
    ASSERT_EQ(org25.size(), 25);
    const QString text = OrganisationNameText(own20, org25);
    EXPECT_EQ(text, own20.left(14) + ":" + org25);
    EXPECT_EQ(text.size(), 40);
}

TEST(OrganisationName, NamesOf30OrMoreKeepNineAndThirty) {
    const QString own = QStringLiteral("Министерство образования");
    for (int length : {30, 37}) {
        QString org;
        for (int i = 0; i < length; ++i)
            org += QChar(u'а' + i % 20);
        const QString text = OrganisationNameText(own, org);
        EXPECT_EQ(text, own.left(9) + ":" + org.left(30)) << length;
        EXPECT_EQ(text.size(), 40);
    }
    // Without an own name the text still starts with the colon.
    EXPECT_EQ(OrganisationNameText(QString(), QString(35, QChar(u'Я'))),
              ": " + QString(35, QChar(u'Я')));
}

TEST(OrganisationName, FillsOnlyBlankNamesAndEndsOnTheFirstRow) {
    QTemporaryDir dir;
    makeTable(dir.filePath("F462016.DBF"), reportFields(2, 41), 3);
    OpenTable t(dir.path(), "F462016");
    t.set(2, "NAME", QStringLiteral("Своя строка"));
    t.set(3, "NAME", QStringLiteral("   "));
    t.ds.setRecNo(3);
    FillOrganisationName(t.ds, QStringLiteral("Школа"), QStringLiteral("РУО"));
    EXPECT_EQ(t.ds.RecNo(), 1);
    OpenTable disk(dir.path(), "F462016");
    EXPECT_EQ(disk.text(1, "NAME"), QStringLiteral("РУО: Школа"));
    EXPECT_EQ(disk.text(2, "NAME"), QStringLiteral("Своя строка"));
    EXPECT_EQ(disk.text(3, "NAME"), QStringLiteral("РУО: Школа"));
}

TEST(OrganisationName, ANameAnotherCopyWroteAfterTheTableWasReadStands) {
    QTemporaryDir dir;
    const QString path = dir.filePath("F462016.DBF");
    makeTable(path, reportFields(2, 41), 3);
    OpenTable t(dir.path(), "F462016");
    // Another copy names row 2 in the file (NAME follows the flag and KODSTR).
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray head = file.read(12);
    const int headerLength = quint8(head[8]) | quint8(head[9]) << 8;
    const int recordLength = quint8(head[10]) | quint8(head[11]) << 8;
    ASSERT_TRUE(file.seek(headerLength + recordLength + 1 + 6));
    ASSERT_EQ(file.write("Other row"), 9);
    file.close();
    FillOrganisationName(t.ds, QStringLiteral("Школа"), QStringLiteral("РУО"));
    OpenTable disk(dir.path(), "F462016");
    EXPECT_EQ(disk.text(1, "NAME"), QStringLiteral("РУО: Школа"));
    EXPECT_EQ(disk.text(2, "NAME"), QStringLiteral("Other row"));
    EXPECT_EQ(disk.text(3, "NAME"), QStringLiteral("РУО: Школа"));
}

// A figure typed into a cell that a row total is worked out from is refused
// when the total would not fit its column.
TEST(RowTotalsMisfit, TotalsThatWouldNotFitRefuseTheFigure) {
    const QVector<store::FieldDef> fields = reportFields(28, 60, 10, 0);
    const QMap<QString, QString> others = {{"0 N2", "5"}, {"1 N3", "1"}, {"0 N1", "1"}};
    const ShownCell cell = [&](int row, const QString &field) {
        return others.value(QString::number(row) + " " + field);
    };
    const auto caption = [](const QString &field) {
        return field == "N5" ? QStringLiteral("10-11 КЛАССЫ") : QString();
    };
    const struct {
        int group, row;
        const char *field, *value, *said; // empty: the figure is taken
    } cases[] = {
        {2, 0, "N5", "9999999999",
         "Число 9999999999 нельзя записать в столбец «10-11 КЛАССЫ»: итог 10000000004 не "
         "поместится в поле N1 (не более 10 знаков вместе с запятой и знаком)."},
        {2, 0, "N5", "9999999994", ""},
        {2, 0, "N17", "9999999999", ""}, // no total is worked out from N17
        {47, 0, "N3", "9999999999", "итог 10000000004 не поместится в поле N1"},
        {51, 0, "N3", "9999999999", "итог 10000000000 не поместится в поле N3 последней строки"},
        {51, 2, "N3", "9999999999", ""}, // the last row holds the sums themselves
        {4, 0, "N2", "99999", "итог 99999000000 не поместится в поле N14"},
        {0, 0, "N5", "9999999999", ""},
    };
    for (const auto &c : cases) {
        const QString said =
            RowTotalsMisfit(c.group, fields, 3, c.row, c.field, c.value, cell, caption);
        if (*c.said == 0 || QString::fromUtf8(c.said).startsWith(u"Число"))
            EXPECT_EQ(said, QString::fromUtf8(c.said)) << c.group << " " << c.field;
        else
            EXPECT_TRUE(said.contains(QString::fromUtf8(c.said)))
                << c.group << " " << c.field << ": " << said.toStdString();
    }
}

TEST(OrganisationName, TextIsCutToANarrowNameField) {
    QTemporaryDir dir;
    makeTable(dir.filePath("F482016.DBF"), reportFields(1, 10), 1);
    OpenTable t(dir.path(), "F482016");
    FillOrganisationName(t.ds, QStringLiteral("Гимназия 1"), QStringLiteral("РУО"));
    EXPECT_EQ(testsupport::readCell(dir.path(), "F482016", 1, "NAME").toString(),
              QStringLiteral("РУО: Гимна"));
}

TEST(OrganisationName, OwnNameComesFromRegimOrIsEmpty) {
    QTemporaryDir dir;
    paths::setProgramDirForTests(dir.path());
    DM().ADOConMain.Close();
    EXPECT_TRUE(ReadOwnOrganisationName().isEmpty());
    store::DbfFile::create(dir.filePath("REGIM.DBF"), {store::FieldDef{"BANK", 'C', 60, 0},
                                                       store::FieldDef{"TEL", 'C', 10, 0}});
    {
        OpenTable t(dir.path(), "REGIM");
        t.ds.Append();
        t.ds.FieldByName("BANK").SetAsString("  Отдел образования  ");
        t.ds.Post();
    }
    DM().ADOConMain.Close();
    EXPECT_EQ(ReadOwnOrganisationName(), QStringLiteral("Отдел образования"));
    DM().ADOConMain.Close();
    paths::setProgramDirForTests(QString());
}

TEST(AutoValueButton, ShownForSectionTablesOnly) {
    for (const char *name : {"F3A", "F3D", "F4A", "F4A2", "F4R2", "F4S", "F4N"})
        EXPECT_TRUE(AutoValueButtonShown(QString::fromLatin1(name))) << name;
    for (const char *name : {"F0", "F1", "F7", "F7A", "f3a", "F3A2016", ""})
        EXPECT_FALSE(AutoValueButtonShown(QString::fromLatin1(name))) << name;
}

// Opening F7A runs its sums and then its difference; opening F1 runs nothing.
TEST(FillDispatch, DerivedTablesAreFilledOthersLeftAlone) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    makeTable(folder + "F12016.DBF", reportFields(16), 1);
    makeTable(folder + "F7A2016.DBF", reportFields(8), 1);
    makeTable(folder + "F3A2016.DBF", reportFields(13), 1);
    {
        OpenTable f1(dir.path(), "F12016");
        f1.set(1, "N1", 500);
        f1.set(1, "N2", 30);
        OpenTable f3a(dir.path(), "F3A2016");
        f3a.set(1, "N13", 10);
    }
    DispatchFillIn(folder, "F12016", 2016);
    EXPECT_EQ(testsupport::readCell(dir.path(), "F12016", 1, "N1").toDouble(), 500);
    DispatchFillIn(folder, "F7A2016", 2016);
    EXPECT_EQ(testsupport::readCell(dir.path(), "F7A2016", 1, "N2").toDouble(), 470);
    EXPECT_EQ(testsupport::readCell(dir.path(), "F7A2016", 1, "N3").toDouble(), 10);
    DM().ADOConDBF.Close();
}

TEST(CellInput, CommaAndPointAreBothDecimalSeparators) {
    const store::FieldDef n{"N1", 'N', 8, 2};
    QString out, err;
    ASSERT_TRUE(CheckCellInput(" 12,5 ", n, &out, &err));
    EXPECT_EQ(out, "12.5");
    ASSERT_TRUE(CheckCellInput("12.5", n, &out, &err));
    EXPECT_EQ(out, "12.5");
    ASSERT_TRUE(CheckCellInput("-3", n, &out, &err));
    EXPECT_EQ(out, "-3");
    ASSERT_TRUE(CheckCellInput("", n, &out, &err));
    EXPECT_TRUE(out.isEmpty());
}

TEST(CellInput, TextThatIsNoNumberIsRefused) {
    const store::FieldDef n{"N3", 'N', 8, 2};
    for (const char *bad : {"abc", "1,2,3", "1.2.3", "12a", "1e5", "--1", ",", "1 000"}) {
        QString out = "unchanged", err;
        EXPECT_FALSE(CheckCellInput(QString::fromLatin1(bad), n, &out, &err)) << bad;
        EXPECT_TRUE(err.contains(QStringLiteral("не является числом"))) << bad;
        EXPECT_EQ(out, "unchanged");
    }
}

TEST(CellInput, NumberThatDoesNotFitIsRefused) {
    const store::FieldDef n{"N5", 'N', 6, 2};
    QString out, err;
    EXPECT_TRUE(CheckCellInput("999,99", n, &out, &err));
    EXPECT_FALSE(CheckCellInput("1000", n, &out, &err)); // 1000.00: seven characters
    EXPECT_TRUE(err.contains("N5"));
    EXPECT_FALSE(CheckCellInput("-999.99", n, &out, &err));
    const store::FieldDef whole{"N1", 'N', 3, 0};
    EXPECT_TRUE(CheckCellInput("999", whole, &out, &err));
    EXPECT_FALSE(CheckCellInput("1000", whole, &out, &err));
    // Widths are counted in digits, beyond what a double holds.
    const store::FieldDef wide{"N9", 'N', 20, 0};
    EXPECT_TRUE(CheckCellInput("99999999999999999999", wide, &out, &err));
    EXPECT_TRUE(CheckCellInput("-0009999999999999999999", wide, &out, &err));
    EXPECT_FALSE(CheckCellInput("100000000000000000000", wide, &out, &err));
    const store::FieldDef wideCents{"N9", 'N', 20, 2};
    EXPECT_TRUE(CheckCellInput("99999999999999999,99", wideCents, &out, &err));
    EXPECT_FALSE(CheckCellInput("-99999999999999999,99", wideCents, &out, &err));
}

TEST(CellInput, FractionsAreRefusedWhereTheFieldHasNoRoomForThem) {
    const store::FieldDef whole{"N1", 'N', 8, 0};
    QString out, err;
    for (const char *bad : {"3,5", "2.5", "0,01"}) {
        EXPECT_FALSE(CheckCellInput(QString::fromLatin1(bad), whole, &out, &err, "ПЕРВЫЙ")) << bad;
        EXPECT_TRUE(err.contains(QStringLiteral("«ПЕРВЫЙ»"))) << err.toStdString();
        EXPECT_FALSE(err.contains(QStringLiteral("или 3,5"))) << err.toStdString();
    }
    ASSERT_TRUE(CheckCellInput("4,00", whole, &out, &err));
    EXPECT_EQ(out, "4.00");
    EXPECT_FALSE(CheckCellInput("abc", whole, &out, &err));
    EXPECT_FALSE(err.contains(QStringLiteral("или 3,5")));
    const store::FieldDef one{"N2", 'N', 8, 1};
    EXPECT_TRUE(CheckCellInput("2,5", one, &out, &err));
    EXPECT_FALSE(CheckCellInput("2,55", one, &out, &err));
    EXPECT_TRUE(err.contains(QStringLiteral("поле N2")));
}

} // namespace
