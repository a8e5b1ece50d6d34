// A field read as a number tells blank, number and text that is no number
// apart, and shows the characters it stores.

#include "StoreTestUtil.h"

#include "store/Dataset.h"
#include "store/DbfTable.h"
#include "support/TableBuilder.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

namespace DbfFile = store::DbfFile;
using store::FieldDef;
using store::StoreError;
using store::TADODataSet;
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

// Cells of every width and alignment read in one pass from a record's bytes
// give what the general reading of the value's text gives.
TEST(FieldReading, TheOnePassReadingAgreesWithTheGeneralReading) {
    const QStringList texts =
        QStringLiteral("12.50|-7|+3|,5|5.|-.25|0|-0.00|1e3|1.5E+2|-|.|+-1|--1|"
                       "1-|1 2|1.2.3|abc|inf|nan|0x10|*****||123456789012345|"
                       "1234567890123456|12345678901234567890|9.876543210987|0.1234567890123456|"
                       "-98765.43210987654|0.12345678901234567|12345678.123456789")
            .split(u'|');
    std::vector<storetest::RawField> fields;
    for (int width = 1; width <= 20; ++width)
        fields.push_back({"W" + std::to_string(width), 'C', width});
    std::vector<std::string> records;
    for (const QString &text : texts)
        for (const char pad : {' ', '\0'}) {
            const std::string t = text.toStdString();
            std::string left = " ", right = " ";
            for (std::size_t width = 1; width <= 20; ++width) {
                const std::string room(width > t.size() ? width - t.size() : 0, pad);
                left += (t + room).substr(0, width);
                right += (room + t).substr(0, width);
            }
            records.insert(records.end(), {left, right});
        }
    storetest::Folder folder;
    storetest::writeBytes(folder.file("CELLS.DBF"), storetest::makeImage(fields, records));
    TADODataSet ds;
    folder.openTable(ds, "select * from CELLS");
    int numbers = 0;
    for (ds.First(); !ds.Eof(); ds.Next())
        for (int f = 0; f < ds.FieldCount(); ++f) {
            const int len = ds.FieldDefs()[f].length;
            const char *bytes = ds.RecordBytes() + ds.FieldOffset(f);
            double general = 0, fast = 0;
            const auto expected =
                store::detail::parseNumberSpan(bytes, len, general) ? TField::NumberReading::Number
                : store::detail::isBlank(bytes, len)                ? TField::NumberReading::Blank
                                                     : TField::NumberReading::NotNumber;
            const std::string text(bytes, std::size_t(len));
            ASSERT_EQ(TField::ReadNumber(ds.FieldDefs()[f], bytes, fast), expected) << text;
            if (expected != TField::NumberReading::Number)
                continue;
            ++numbers;
            EXPECT_EQ(std::memcmp(&fast, &general, sizeof fast), 0) << text;
        }
    EXPECT_GT(numbers, 300);
}

// Writing a field of another table gives the bytes that writing its text
// gives, whether its bytes are copied (same field, written form) or not.
TEST(FieldReading, SetFromWritesWhatSetAsStringOfTheTextWrites) {
    const std::string nul(1, '\0');
    const std::string sources[] = {"   12.50    42abc       1.25",
                                   "12.50   42    ab" + nul + nul + nul + nul + "1.25    ",
                                   "   12.5   0042" + std::string(6, '\0') + "  +1.25 ",
                                   "  +12.50    -0  ab     1,25 ",
                                   "   12,50    -7\xc0\xc1\xc2    1.5E+1 ",
                                   "  012.50  +7  a\x98       -0.00",
                                   "   -0.00   abca" + nul + "b      -0.50",
                                   "   -0.50                   0",
                                   "   ***********123456" + std::string(8, '\0'),
                                   "        123456  \xff   12345.67"};
    std::vector<std::string> records;
    for (const std::string &row : sources) {
        ASSERT_EQ(row.size(), 28u) << row;
        records.push_back(" " + row);
    }
    storetest::Folder folder;
    storetest::writeBytes(
        folder.file("SRC.DBF"),
        storetest::makeImage({{"A", 'N', 8, 2}, {"B", 'N', 6}, {"T", 'C', 6}, {"F", 'F', 8, 2}},
                             records));
    auto refused = [](const auto &write) {
        try {
            write();
            return false;
        } catch (const StoreError &) {
            return true;
        }
    };
    // Targets of the same fields (bytes copied where they can be) and of
    // other widths (always through the text).
    for (const QVector<FieldDef> &defs :
         {QVector<FieldDef>{{"A", 'N', 8, 2}, {"B", 'N', 6, 0}, {"T", 'C', 6}, {"F", 'F', 8, 2}},
          QVector<FieldDef>{{"A", 'N', 9, 1}, {"B", 'N', 6, 1}, {"T", 'C', 8}, {"F", 'N', 8, 2}}}) {
        DbfFile::create(folder.file("FAST.DBF"), defs);
        DbfFile::create(folder.file("TEXT.DBF"), defs);
        TADODataSet src, fast, text;
        folder.openTable(src, "select * from SRC");
        folder.openTable(fast, "select * from FAST");
        folder.openTable(text, "select * from TEXT");
        int refusals = 0;
        for (src.First(); !src.Eof(); src.Next()) {
            fast.Append();
            text.Append();
            for (int f = 0; f < src.FieldCount(); ++f) {
                const bool byText =
                    refused([&] { text.Fields(f).SetAsString(src.Fields(f).AsString()); });
                EXPECT_EQ(refused([&] { fast.Fields(f).SetFrom(src.Fields(f)); }), byText)
                    << src.RecNo() << ' ' << f;
                refusals += byText; // a NUL or a byte without a letter stops both
            }
            fast.Post();
            text.Post();
        }
        EXPECT_GT(refusals, 0);
        const QByteArray written = storetest::readBytes(folder.file("FAST.DBF"));
        ASSERT_EQ(storetest::headerCount(written), std::size(sources));
        EXPECT_EQ(written, storetest::readBytes(folder.file("TEXT.DBF")));
    }
}

} // namespace
