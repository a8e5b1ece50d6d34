// A field read as a number tells blank, number and text that is no number
// apart, and shows the characters it stores.

#include "store/Dataset.h"
#include "support/TableBuilder.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using store::TField;

struct Case {
    const char *stored;
    TField::NumberReading reading;
    double value;
};

TEST(FieldReading, NumbersBlanksAndOtherTextAreToldApart) {
    QTemporaryDir dir;
    const Case cases[] = {{"", TField::NumberReading::Blank, 0},
                          {"   ", TField::NumberReading::Blank, 0},
                          {"7.5", TField::NumberReading::Number, 7.5},
                          {" 1,25 ", TField::NumberReading::Number, 1.25},
                          {"-3", TField::NumberReading::Number, -3},
                          {"abc", TField::NumberReading::NotNumber, 0},
                          {"1 2", TField::NumberReading::NotNumber, 0}};
    QList<testsupport::Record> records;
    for (const Case &c : cases)
        records << testsupport::Record{{"T", QString::fromLatin1(c.stored)}};
    testsupport::writeTable(dir.path(), QStringLiteral("CELLS"), {{"T", 'C', 8, 0}}, records);
    testsupport::OpenTable t(dir.path(), QStringLiteral("CELLS"));
    for (int i = 0; i < int(std::size(cases)); ++i) {
        t.ds.setRecNo(i + 1);
        double v = -99;
        EXPECT_EQ(t.ds.FieldByName("T").ReadNumber(v), cases[i].reading) << cases[i].stored;
        if (cases[i].reading == TField::NumberReading::Number)
            EXPECT_EQ(v, cases[i].value) << cases[i].stored;
        else
            EXPECT_EQ(v, -99) << cases[i].stored;
        EXPECT_EQ(t.ds.FieldByName("T").StoredText(),
                  QString::fromLatin1(cases[i].stored).trimmed());
    }
}

TEST(FieldReading, ANumericFieldHoldingTextShowsItAndIsNoNumber) {
    QTemporaryDir dir;
    testsupport::writeTable(dir.path(), QStringLiteral("NUM"), {{"N", 'N', 6, 0}}, {{{"N", 42}}});
    {
        QFile f(dir.path() + QStringLiteral("/NUM.DBF"));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const QByteArray all = f.readAll();
        const int at = all.indexOf("    42");
        ASSERT_GT(at, 0);
        f.seek(at);
        f.write("  x7.5");
    }
    testsupport::OpenTable t(dir.path(), QStringLiteral("NUM"));
    t.ds.First();
    double v = 0;
    EXPECT_EQ(t.ds.FieldByName("N").ReadNumber(v), TField::NumberReading::NotNumber);
    EXPECT_TRUE(t.ds.FieldByName("N").IsNull());
    EXPECT_EQ(t.ds.FieldByName("N").StoredText(), QStringLiteral("x7.5"));
}

} // namespace
