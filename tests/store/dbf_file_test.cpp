// The dBASE file format as this layer reads and writes it: every field type,
// nulls, CP1251 text on disk, refused values, write-through order, headers
// of other writers and damaged files.

#include "StoreTestUtil.h"

#include "store/Cp1251.h"
#include "store/Dataset.h"

#include <QFileInfo>

using namespace store;
using storetest::Folder;
using storetest::makeImage;
using storetest::RawField;
using storetest::readBytes;
using storetest::recordBytes;
using storetest::writeBytes;

namespace {

QVector<FieldDef> allTypes() {
    return {{"kodstr", 'C', 8, 0}, {"KOD", 'N', 6, 0},  {"SUMMA", 'N', 10, 2},
            {"RATE", 'F', 12, 4},  {"FLAG", 'L', 1, 0}, {"DT", 'D', 8, 0}};
}

// Opens NAME in the folder, runs fn on a dataset in edit state of record
// `recNo` (0: append) and posts.
template <typename Fn> void editAndPost(Folder &f, const QString &name, int recNo, Fn fn) {
    TADODataSet ds;
    f.openTable(ds, "select * from " + name);
    if (recNo == 0) {
        ds.Append();
    } else {
        ds.setRecNo(recNo);
        ds.Edit();
    }
    fn(ds);
    ds.Post();
}

// Opening the table fails with a message that names the cause.
void expectRefused(Folder &f, const QString &table, const QString &cause) {
    TADODataSet ds;
    ds.setConnection(&f.con);
    ds.setCommandText("select * from " + table);
    try {
        ds.Open();
        ADD_FAILURE() << table.toStdString() << " opened; expected: " << cause.toStdString();
    } catch (const StoreError &e) {
        EXPECT_TRUE(e.message().contains(cause)) << e.message().toStdString();
    }
    EXPECT_FALSE(ds.Active());
}

} // namespace

// ---- code page ----

TEST(Cp1251, EveryLetterSurvivesARoundTripAndTheUnassignedByteIsNotWritten) {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        if (i != 0x98)
            all.append(char(i));
    const QString text = cp1251::decode(all);
    ASSERT_EQ(text.size(), 255);
    QByteArray back;
    ASSERT_TRUE(cp1251::encode(text, back));
    EXPECT_EQ(back, all);
    // 0x98 has no letter: it reads as U+0098, which no text may carry back.
    EXPECT_EQ(cp1251::decode(QByteArray("\x98")), QString(QChar(0x98)));
    EXPECT_EQ(cp1251::encodeChar(0x98), -1);
    EXPECT_EQ(cp1251::decode(QByteArray("\xC0\xDF\xE0\xFF\xA8\xB8\xB9\x88")),
              QString::fromUtf8("АЯаяЁё№€"));
}

TEST(Cp1251, CharactersOutsideTheCodePageAreRefused) {
    QByteArray out;
    qsizetype bad = -1;
    EXPECT_FALSE(cp1251::encode(QString::fromUtf8("Школа ü"), out, &bad));
    EXPECT_EQ(bad, 6);
    EXPECT_FALSE(cp1251::encode(QString::fromUtf8("漢"), out));
    EXPECT_EQ(cp1251::encodeChar(u'?'), '?');
    EXPECT_EQ(cp1251::encodeChar(0x0401), 0xA8);
}

// ---- values ----

TEST(DbfValues, EveryTypeRoundTripsThroughTheFile) {
    Folder f;
    DbfFile::create(f.file("T.DBF"), allTypes());
    editAndPost(f, "T", 0, [](TADODataSet &ds) {
        ds.FieldByName("KODSTR").SetAsString("  12 ");
        ds.FieldByName("KOD").SetAsInteger(-42);
        ds.FieldByName("SUMMA").SetAsFloat(1234.5);
        ds.FieldByName("RATE").SetAsString("0,125");
        ds.FieldByName("FLAG").SetAsBoolean(true);
        ds.FieldByName("DT").SetAsVariant(QDate(2016, 9, 1));
    });
    const QByteArray rec = recordBytes(readBytes(f.file("T.DBF")), 0);
    EXPECT_EQ(rec, QByteArray("   12       -42   1234.50      0.1250T20160901"));
    TADODataSet ds;
    f.openTable(ds, "select * from t");
    EXPECT_EQ(ds.FieldByName("KODSTR").AsString(), "  12"); // leading blanks stay
    EXPECT_EQ(ds.FieldByName("KODSTR").AsInteger(), 12);
    EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), -42);
    EXPECT_EQ(ds.FieldByName("KOD").AsVariant(), QVariant(qlonglong(-42)));
    EXPECT_DOUBLE_EQ(ds.FieldByName("SUMMA").AsFloat(), 1234.5);
    EXPECT_EQ(ds.FieldByName("SUMMA").AsString(), "1234.5");
    EXPECT_EQ(ds.FieldByName("SUMMA").AsInteger(), 1234); // ties go to even
    EXPECT_EQ(ds.FieldByName("SUMMA").AsVariant().typeId(), QMetaType::Double);
    EXPECT_DOUBLE_EQ(ds.FieldByName("RATE").AsFloat(), 0.125);
    EXPECT_TRUE(ds.FieldByName("FLAG").AsBoolean());
    EXPECT_EQ(ds.FieldByName("FLAG").AsVariant(), QVariant(true));
    EXPECT_EQ(ds.FieldByName("DT").AsVariant(), QVariant(QDate(2016, 9, 1)));
    EXPECT_EQ(ds.FieldByName("DT").AsString(), "01.09.2016");
    // And back through variants into a second record, from another dataset.
    TADODataSet src;
    f.openTable(src, "select * from T");
    ds.Append();
    for (int i = 0; i < ds.FieldCount(); ++i)
        ds.Fields(i).SetAsVariant(src.Fields(i).AsVariant());
    ds.Post();
    const QByteArray b = readBytes(f.file("T.DBF"));
    EXPECT_EQ(recordBytes(b, 1), QByteArray("   12       -42   1234.50      0.1250T20160901"));
}

TEST(DbfValues, BlankNumbersAreNullAndCopyAsBlanks) {
    Folder f;
    DbfFile::create(f.file("T.DBF"), allTypes());
    editAndPost(f, "T", 0, [](TADODataSet &ds) { ds.FieldByName("KOD").SetAsInteger(0); });
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    for (const char *name : {"SUMMA", "RATE", "FLAG", "DT"}) {
        TField fld = ds.FieldByName(name);
        EXPECT_TRUE(fld.IsNull()) << name;
        EXPECT_EQ(fld.AsString(), "") << name;
        EXPECT_EQ(fld.AsFloat(), 0) << name;
        EXPECT_EQ(fld.AsInteger(), 0) << name;
        EXPECT_FALSE(fld.AsVariant().isValid()) << name;
    }
    EXPECT_FALSE(ds.FieldByName("KOD").IsNull()); // zero is not blank
    EXPECT_EQ(ds.FieldByName("KOD").AsString(), "0");
    EXPECT_FALSE(ds.FieldByName("KODSTR").IsNull());
    // Copy a blank onto a filled record: the file gets blanks, not zeros.
    ds.Append();
    ds.FieldByName("SUMMA").SetAsFloat(5);
    ds.FieldByName("KOD").SetAsInteger(5);
    ds.Post();
    ds.First();
    const QVariant blank = ds.FieldByName("SUMMA").AsVariant();
    ds.Last();
    ds.Edit();
    ds.FieldByName("SUMMA").SetAsVariant(blank);
    ds.FieldByName("KOD").SetAsString("  ");
    ds.Post();
    const QByteArray rec = recordBytes(readBytes(f.file("T.DBF")), 1);
    EXPECT_EQ(rec.mid(9, 16), QByteArray(16, ' '));
}

TEST(DbfValues, CyrillicIsStoredAsCp1251) {
    Folder f;
    DbfFile::create(f.file("T.DBF"), {{"NAME", 'C', 12, 0}});
    editAndPost(f, "T", 0,
                [](TADODataSet &ds) { ds.FieldByName("NAME").SetAsString("Ёлка №5 «я»"); });
    EXPECT_EQ(recordBytes(readBytes(f.file("T.DBF")), 0), QByteArray(" \xA8\xEB\xEA\xE0 \xB9"
                                                                     "5 \xAB\xFF\xBB "));
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), "Ёлка №5 «я»");
}

TEST(DbfValues, ValuesThatDoNotFitAreRefusedAndLeaveTheFile) {
    Folder f;
    DbfFile::create(f.file("T.DBF"),
                    {{"N", 'N', 5, 2}, {"K", 'N', 3, 0}, {"NAME", 'C', 4, 0}, {"DT", 'D', 8, 0}});
    editAndPost(f, "T", 0, [](TADODataSet &ds) {
        ds.FieldByName("N").SetAsFloat(-9.99); // exactly five characters
        ds.FieldByName("K").SetAsInteger(999);
        ds.FieldByName("NAME").SetAsString("Щука");
    });
    const QByteArray before = readBytes(f.file("T.DBF"));
    EXPECT_EQ(recordBytes(before, 0), QByteArray(" -9.99999\xD9\xF3\xEA\xE0        "));
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    ds.Edit();
    EXPECT_THROW(ds.FieldByName("N").SetAsFloat(100), StoreError);    // "100.00"
    EXPECT_THROW(ds.FieldByName("N").SetAsFloat(99.999), StoreError); // rounds to "100.00"
    EXPECT_THROW(ds.FieldByName("N").SetAsFloat(-10), StoreError);
    EXPECT_THROW(ds.FieldByName("N").SetAsFloat(std::nan("")), StoreError);
    EXPECT_THROW(ds.FieldByName("K").SetAsInteger(1000), StoreError);
    EXPECT_THROW(ds.FieldByName("K").SetAsString("-100"), StoreError);
    EXPECT_THROW(ds.FieldByName("K").SetAsString("12abc"), StoreError);
    EXPECT_THROW(ds.FieldByName("NAME").SetAsString("Щуки"
                                                    "!"),
                 StoreError);
    EXPECT_THROW(ds.FieldByName("NAME").SetAsString("Büro"), StoreError);
    for (const QString &bad : {QString::fromUtf8("Щ\0ка", 5), QStringLiteral("Щ\u0098")}) {
        try {
            ds.FieldByName("NAME").SetAsString(bad);
            ADD_FAILURE() << "accepted";
        } catch (const StoreError &e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("U+00"))) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QStringLiteral("NAME"))) << e.message().toStdString();
        }
    }
    EXPECT_THROW(ds.FieldByName("DT").SetAsString("31.02.2016"), StoreError);
    EXPECT_THROW(ds.FieldByName("DT").SetAsInteger(1), StoreError);
    EXPECT_FALSE(ds.Modified());
    EXPECT_EQ(ds.FieldByName("N").AsFloat(), -9.99);
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), "Щука");
    ds.Post();
    EXPECT_EQ(recordBytes(readBytes(f.file("T.DBF")), 0), recordBytes(before, 0));
    // Trailing blanks beyond the width are not text, and rounding is to the decimals.
    ds.Edit();
    ds.FieldByName("NAME").SetAsString("Щи      ");
    ds.FieldByName("N").SetAsFloat(-0.004);
    ds.FieldByName("K").SetAsString("7");
    ds.Post();
    EXPECT_EQ(recordBytes(readBytes(f.file("T.DBF")), 0).mid(1, 10),
              QByteArray(" 0.00  7\xD9\xE8"));
}

TEST(DbfValues, LogicalAndDateForms) {
    Folder f;
    writeBytes(f.file("L.DBF"), makeImage({{"F", 'L', 1}, {"D", 'D', 8}},
                                          {" T20160229", " y        ", " n20161341", " ?00000000",
                                           "  20161231", " F201612  "}));
    TADODataSet ds;
    f.openTable(ds, "select * from L");
    QStringList got;
    for (ds.First(); !ds.Eof(); ds.Next())
        got << ds.FieldByName("F").AsString() + "/" + ds.FieldByName("D").AsString();
    EXPECT_EQ(got,
              (QStringList{"True/29.02.2016", "True/", "False/", "/", "/31.12.2016", "False/"}));
    ds.setRecNo(3);
    EXPECT_TRUE(ds.FieldByName("D").IsNull());
    ds.setRecNo(4);
    EXPECT_TRUE(ds.FieldByName("F").IsNull());
    EXPECT_FALSE(ds.FieldByName("F").AsBoolean());
}

TEST(DbfValues, NumericTextThatIsNoNumberReadsAsNull) {
    Folder f;
    writeBytes(f.file("B.DBF"),
               makeImage({{"N", 'N', 8, 2}},
                         {"     1.50", "      nan", " -inf    ", "  1e999  ", "    12abc",
                          " infinity", "      +-1", "     -+1", "    --1.5"}));
    TADODataSet ds;
    f.openTable(ds, "select * from B");
    QStringList got;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        TField n = ds.FieldByName("N");
        got << (n.IsNull() ? "null" : n.AsString());
        EXPECT_EQ(n.AsFloat() == 0, n.IsNull());
        EXPECT_EQ(n.AsInteger() == 0, n.IsNull());
    }
    EXPECT_EQ(got,
              (QStringList{"1.5", "null", "null", "null", "null", "null", "null", "null", "null"}));
    ds.setIndexFieldNames("N");
    EXPECT_EQ(ds.FieldByName("N").AsString(), ""); // nulls first
    ds.Last();
    EXPECT_EQ(ds.FieldByName("N").AsString(), "1.5");
}

TEST(DbfValues, SignAfterASignIsNoNumberToWrite) {
    Folder f;
    DbfFile::create(f.file("S.DBF"), {{"N", 'N', 8, 2}});
    TADODataSet ds;
    f.openTable(ds, "select * from S");
    ds.Append();
    for (const char *bad : {"+-1", "++1", "-+1", "--1", "12a"})
        EXPECT_THROW(ds.FieldByName("N").SetAsString(bad), StoreError) << bad;
    EXPECT_FALSE(ds.Locate("N", "+-1"));
}

TEST(DbfValues, NumbersAsTextKeepEveryDigitOfTheField) {
    Folder f;
    const QVector<FieldDef> defs = {{"N", 'N', 19, 4}, {"M", 'N', 8, 2}};
    DbfFile::create(f.file("A.DBF"), defs);
    DbfFile::create(f.file("B.DBF"), defs);
    TADODataSet a, b;
    f.openTable(a, "select * from A");
    f.openTable(b, "select * from B");
    const struct {
        const char *n, *m;         // written as text
        const char *nRead, *mRead; // read back as text
        const char *mBytes;        // the bytes of M
    } cases[] = {
        {"1234567890123.4567", "2.675", "1234567890123.4567", "2.68", "    2.68"},
        {"-9999999999999.9999", "0,125", "-9999999999999.9999", "0.12", "    0.12"},
        {"+0012.50", "-0.001", "12.5", "0", "    0.00"},
        {"0.00015", "99999.995", "0.0002", "", ""},
    };
    for (const auto &c : cases) {
        a.Append();
        a.FieldByName("N").SetAsString(c.n);
        if (*c.mBytes)
            a.FieldByName("M").SetAsString(c.m);
        else
            EXPECT_THROW(a.FieldByName("M").SetAsString(c.m), StoreError) << c.m;
        a.Post();
        EXPECT_EQ(a.FieldByName("N").AsString(), c.nRead);
        EXPECT_EQ(a.FieldByName("M").AsString(), c.mRead);
        // A copy through text is the same bytes.
        b.Append();
        b.FieldByName("N").SetAsString(a.FieldByName("N").AsString());
        b.FieldByName("M").SetAsString(a.FieldByName("M").AsString());
        b.Post();
        const int i = a.RecordCount() - 1;
        EXPECT_EQ(recordBytes(readBytes(f.file("A.DBF")), i),
                  recordBytes(readBytes(f.file("B.DBF")), i))
            << c.n;
        EXPECT_EQ(recordBytes(readBytes(f.file("A.DBF")), i).mid(20),
                  QByteArray(c.mBytes).leftJustified(8, ' '));
    }
    EXPECT_EQ(recordBytes(readBytes(f.file("A.DBF")), 0).mid(1, 19),
              QByteArray("1234567890123.4567").rightJustified(19, ' '));
}

// ---- code pages ----

TEST(DbfCodePage, TextIsReadAndWrittenInTheDeclaredCodePage) {
    Folder f;
    const QByteArray school866("\x98\xAA\xAE\xAB\xA0 \xFC"
                               "1"); // "Школа №1" in CP866
    const QByteArray tree866("\xF0\xAB\xAA\xA0 \xFC"
                             "2"); // "Ёлка №2" in CP866
    const QByteArray school1251("\xD8\xEA\xEE\xEB\xE0 \xB9"
                                "1"); // the same in CP1251
    const QByteArray tree1251("\xA8\xEB\xEA\xE0 \xB9"
                              "2");
    const struct {
        unsigned char driver;
        QByteArray school, tree;
    } cases[] = {{0x26, school866, tree866},
                 {0x65, school866, tree866},
                 {0xC9, school1251, tree1251},
                 {0x00, school1251, tree1251}};
    for (const auto &c : cases) {
        QByteArray image = makeImage({{"NAME", 'C', 10}}, {" " + c.school.toStdString()});
        image[29] = char(c.driver);
        writeBytes(f.file("CP.DBF"), image);
        TADODataSet ds;
        f.openTable(ds, "select * from CP");
        EXPECT_EQ(ds.FieldByName("NAME").AsString(), "Школа №1") << int(c.driver);
        EXPECT_TRUE(ds.Locate("NAME", "Школа №1"));
        ds.Append();
        ds.FieldByName("NAME").SetAsString("Ёлка №2");
        ds.Post();
        EXPECT_EQ(recordBytes(readBytes(f.file("CP.DBF")), 1).mid(1).trimmed(), c.tree)
            << int(c.driver);
        TADODataSet where;
        f.openTable(where, "select * from CP where NAME = 'Ёлка №2'");
        EXPECT_EQ(where.RecordCount(), 1) << int(c.driver);
    }
    // A character CP866 does not have is refused, not replaced.
    writeBytes(f.file("CP.DBF"), [] {
        QByteArray b = makeImage({{"NAME", 'C', 10}}, {});
        b[29] = 0x26;
        return b;
    }());
    TADODataSet dos;
    f.openTable(dos, "select * from CP");
    dos.Append();
    EXPECT_THROW(dos.FieldByName("NAME").SetAsString("€"), StoreError);
}

TEST(DbfCodePage, UnknownCodePageIsRefusedClearly) {
    Folder f;
    for (unsigned char driver : {0x57, 0x01, 0x03, 0x64, 0xC8}) {
        QByteArray image = makeImage({{"NAME", 'C', 10}}, {" abc"});
        image[29] = char(driver);
        writeBytes(f.file("CP.DBF"), image);
        expectRefused(f, "CP", QString::asprintf("0x%02x", driver));
    }
}

// ---- headers of other writers ----

TEST(DbfHeaders, SupportedVersionsOpenOthersAreRefused) {
    Folder f;
    for (unsigned char v : {0x03, 0x04, 0x83, 0x8B}) {
        writeBytes(f.file("V.DBF"), makeImage({{"KOD", 'N', 3}}, {"   7"}, v));
        TADODataSet ds;
        f.openTable(ds, "select * from V");
        EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), 7) << int(v);
    }
    for (unsigned char v : {0x02, 0x30, 0x31, 0xF5, 0x00}) {
        writeBytes(f.file("V.DBF"), makeImage({{"KOD", 'N', 3}}, {"   7"}, v));
        expectRefused(f, "V", QString::asprintf("0x%02x", v));
    }
}

TEST(DbfHeaders, LenientAboutCountAndEndMark) {
    Folder f;
    // No end mark.
    writeBytes(f.file("A.DBF"), makeImage({{"KOD", 'N', 3}}, {"   1", "   2"}, 0x03, false));
    // A count one short of the data (the extra record is not shown).
    QByteArray shortCount = makeImage({{"KOD", 'N', 3}}, {"   1", "   2"});
    shortCount[4] = 1;
    writeBytes(f.file("B.DBF"), shortCount);
    TADODataSet a, b;
    f.openTable(a, "select * from A");
    f.openTable(b, "select * from B");
    EXPECT_EQ(a.RecordCount(), 2);
    EXPECT_EQ(b.RecordCount(), 1);
    // Appending to the file without an end mark writes one.
    a.Append();
    a.FieldByName("KOD").SetAsInteger(3);
    a.Post();
    const QByteArray bytes = readBytes(f.file("A.DBF"));
    EXPECT_EQ(storetest::headerCount(bytes), 3u);
    EXPECT_EQ(bytes.size(), storetest::headerLength(bytes) + 3 * 4 + 1);
    EXPECT_EQ(bytes.back(), char(0x1A));
}

TEST(DbfHeaders, ZerosAfterTheDescriptorsAreHeaderPadding) {
    QByteArray b = makeImage({{"KOD", 'N', 3}, {"NAME", 'C', 5}}, {"   1abcde"});
    b.insert(97, QByteArray(2, '\0'));
    b[8] = char(b[8] + 2);
    Folder f;
    writeBytes(f.file("PAD.DBF"), b);
    TADODataSet ds;
    f.openTable(ds, "select * from PAD");
    EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), 1);
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), "abcde");
    ds.Append();
    ds.FieldByName("KOD").SetAsInteger(2);
    ds.Post();
    EXPECT_EQ(recordBytes(readBytes(f.file("PAD.DBF")), 1), QByteArray("   2     "));
}

TEST(DbfHeaders, DamagedFilesAreRefusedClearly) {
    const QByteArray good = makeImage({{"KOD", 'N', 3}, {"NAME", 'C', 5}}, {"   1abcde"});
    auto spoil = [&](auto fn) {
        QByteArray b = good;
        fn(b);
        return b;
    };
    const struct {
        const char *what;
        QByteArray bytes;
    } cases[] = {
        {"empty", QByteArray()},
        {"shorter than a header", good.left(20)},
        {"cut inside the descriptors", good.left(50)},
        {"cut inside the records (no end mark, one byte short)", good.left(good.size() - 2)},
        {"header length past the file", spoil([](QByteArray &b) { b[9] = 0x10; })},
        {"record length disagrees", spoil([](QByteArray &b) { b[10] = 11; })},
        {"zero record length", spoil([](QByteArray &b) { b[10] = 0; })},
        {"count past the end", spoil([](QByteArray &b) { b[4] = 2; })},
        {"huge count", spoil([](QByteArray &b) { b[7] = char(0x7F); })},
        {"no 0x0D terminator", spoil([](QByteArray &b) { b[96] = ' '; })},
        {"header length one byte too long", spoil([](QByteArray &b) { b[8] = char(b[8] + 1); })},
        {"end mark as a record flag (count one too high)", spoil([](QByteArray &b) {
             b[4] = 2;
             b.append(QByteArray(8, ' '));
         })},
        {"record flag neither blank nor \"*\"", spoil([](QByteArray &b) { b[97] = 'X'; })},
        {"header too short for its fields", spoil([](QByteArray &b) { b[8] = 64; })},
        {"unknown field type", spoil([](QByteArray &b) { b[32 + 11] = 'X'; })},
        {"numeric length zero", spoil([](QByteArray &b) { b[32 + 16] = 0; })},
        {"decimals not below length", spoil([](QByteArray &b) { b[32 + 17] = 3; })},
        {"empty field name", spoil([](QByteArray &b) { b[64] = 0; })},
        {"control character in a name", spoil([](QByteArray &b) { b[65] = 0x01; })},
    };
    Folder f;
    for (const auto &c : cases) {
        writeBytes(f.file("BAD.DBF"), c.bytes);
        TADODataSet ds;
        ds.setConnection(&f.con);
        ds.setCommandText("select * from BAD");
        EXPECT_THROW(ds.Open(), StoreError) << c.what;
        EXPECT_FALSE(ds.Active()) << c.what;
        EXPECT_THROW(DbfFile::fieldsOf(f.file("BAD.DBF")), StoreError) << c.what;
    }
    // The same field rules for logical and date fields.
    for (auto [type, len] : {std::pair{'L', 2}, std::pair{'D', 7}, std::pair{'M', 3}}) {
        writeBytes(f.file("BAD.DBF"), makeImage({{"X", type, len}}, {}));
        EXPECT_THROW(DbfFile::fieldsOf(f.file("BAD.DBF")), StoreError) << type;
    }
}

// ---- memo fields ----

TEST(DbfMemo, TableWithMemoOpensAndMemoWithoutItsFileIsAnError) {
    Folder f;
    writeBytes(f.file("M.DBF"), makeImage({{"KOD", 'N', 3}, {"NOTE", 'M', 10}},
                                          {"   1         1", "   2          "}, 0x83));
    TADODataSet ds;
    f.openTable(ds, "select * from M");
    EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), 1);
    EXPECT_FALSE(ds.FieldByName("NOTE").IsNull());
    EXPECT_THROW(ds.FieldByName("NOTE").AsString(), StoreError);
    ds.Next();
    EXPECT_TRUE(ds.FieldByName("NOTE").IsNull());
    EXPECT_EQ(ds.FieldByName("NOTE").AsString(), "");
    ds.Edit();
    EXPECT_THROW(ds.FieldByName("NOTE").SetAsString("x"), StoreError);
    ds.FieldByName("KOD").SetAsInteger(5); // the other fields stay writable
    ds.Post();
    EXPECT_EQ(recordBytes(readBytes(f.file("M.DBF")), 1).left(4), QByteArray("   5"));
}

TEST(DbfMemo, CutDBaseIiiMemoFileIsAnError) {
    Folder f;
    writeBytes(f.file("M3.DBF"),
               makeImage({{"NOTE", 'M', 10}}, {"          1", "          2", "          3"}, 0x83));
    QByteArray block1 = QByteArray("\xCE\xEA\x1A\x1A"); // "Ок" and its end mark
    block1.resize(512, '\0');
    // Block 2 has its text but no end mark; block 3 would start at the end.
    writeBytes(f.file("M3.DBT"), QByteArray(512, '\0') + block1 + QByteArray(512, 'x'));
    TADODataSet ds;
    f.openTable(ds, "select * from M3");
    EXPECT_EQ(ds.FieldByName("NOTE").AsString(), "Ок");
    ds.Next();
    EXPECT_THROW(ds.FieldByName("NOTE").AsString(), StoreError);
    ds.Next();
    EXPECT_THROW(ds.FieldByName("NOTE").AsString(), StoreError);
}

TEST(DbfMemo, DBaseIvMemoBlocksAreRead) {
    Folder f;
    writeBytes(f.file("M4.DBF"),
               makeImage({{"NOTE", 'M', 10}}, {"          1", "          2"}, 0x8B));
    QByteArray dbt(512, '\0');
    dbt[0] = 3;
    dbt[20] = 0; // block size 512 (bytes 20-21 = 0x0200)
    dbt[21] = 2;
    const QByteArray text1("\xCE\xEA"); // "Ок"
    QByteArray block1(512, '\0');
    block1.replace(0, 8, QByteArray("\xFF\xFF\x08\x00\x0A\x00\x00\x00", 8));
    block1.replace(8, 2, text1);
    QByteArray block2(512, '\0');
    block2.replace(0, 8, QByteArray("\xFF\xFF\x08\x00\x40\x00\x00\x00", 8)); // runs past the file
    writeBytes(f.file("m4.dbt"), dbt + block1 + block2.left(40));
    TADODataSet ds;
    f.openTable(ds, "select * from M4");
    EXPECT_EQ(ds.FieldByName("NOTE").AsString(), "Ок");
    ds.Next();
    EXPECT_THROW(ds.FieldByName("NOTE").AsString(), StoreError);
}

// ---- creating tables ----

TEST(DbfCreate, HeaderAndFieldNames) {
    Folder f;
    DbfFile::create(f.file("NEW.DBF"), allTypes());
    const QByteArray b = readBytes(f.file("NEW.DBF"));
    EXPECT_EQ(b[0], char(0x03));
    EXPECT_EQ(storetest::headerCount(b), 0u);
    EXPECT_EQ(storetest::headerLength(b), 32 + 6 * 32 + 1);
    EXPECT_EQ(storetest::recordLength(b), 1 + 8 + 6 + 10 + 12 + 1 + 8);
    EXPECT_EQ(b[storetest::headerLength(b) - 1], char(0x0D));
    EXPECT_EQ(b.size(), storetest::headerLength(b) + 1);
    EXPECT_EQ(b.back(), char(0x1A));
    const QVector<FieldDef> defs = DbfFile::fieldsOf(f.file("NEW.DBF"));
    ASSERT_EQ(defs.size(), 6);
    EXPECT_EQ(defs[0].name, "KODSTR");
    EXPECT_EQ(defs[2].type, 'N');
    EXPECT_EQ(defs[2].length, 10);
    EXPECT_EQ(defs[2].decimals, 2);
    EXPECT_EQ(defs[3].type, 'F');
}

TEST(DbfCreate, BadDefinitionsAreRefused) {
    Folder f;
    const QVector<QVector<FieldDef>> bad = {
        {},
        {{"ELEVENCHARS", 'C', 5, 0}},
        {{"ИМЯ", 'C', 5, 0}},
        {{"N", 'N', 21, 0}},
        {{"N", 'N', 5, 4}},
        {{"C", 'C', 0, 0}},
        {{"M", 'M', 10, 0}},
        {{"X", 'B', 10, 0}},
    };
    for (const auto &defs : bad) {
        EXPECT_THROW(DbfFile::create(f.file("BAD.DBF"), defs), StoreError);
        EXPECT_FALSE(QFileInfo::exists(f.file("BAD.DBF")));
    }
}

TEST(DbfCreate, FilesAreFoundWhateverTheirCase) {
    Folder f;
    DbfFile::create(f.file("f12016.dbf"), {{"X", 'C', 1, 0}});
    EXPECT_EQ(findFileCaseInsensitive(f.path(), "F12016.DBF"), f.file("f12016.dbf"));
    EXPECT_TRUE(fileExistsCaseInsensitive(f.path() + "/", "F12016.dbf"));
    EXPECT_FALSE(fileExistsCaseInsensitive(f.path(), "F12017.DBF"));
    EXPECT_EQ(findFileCaseInsensitive(f.path(), ""), "");
}
