// Datasets over dBASE files: walking, editing, write-through, filters,
// ordering, locating, sharing one file between datasets, in-memory tables
// and connections.

#include "StoreTestUtil.h"

#include "store/Dataset.h"

using namespace store;
using storetest::Folder;

namespace {

QVector<FieldDef> schoolFields() {
    return {{"KOD", 'N', 5, 0}, {"NAME", 'C', 30, 0}, {"KOD3", 'N', 2, 0}, {"KOD4", 'N', 2, 0}};
}

// SCHOOL with five organisations, the third one deleted.
void makeSchool(Folder &f) {
    DbfFile::create(f.file("SCHOOL.DBF"), schoolFields());
    TADODataSet ds;
    f.openTable(ds, "select * from SCHOOL");
    const struct {
        int kod;
        const char *name;
        int k3, k4;
    } rows[] = {{3, "Школа №3", 1, 1},
                {1, "Гимназия", 1, 2},
                {9, "Удалить", 2, 1},
                {2, "Лицей", 2, 1},
                {7, "Школа-интернат", 1, 1}};
    for (const auto &r : rows) {
        ds.Append();
        ds.FieldByName("KOD").SetAsInteger(r.kod);
        ds.FieldByName("NAME").SetAsString(QString::fromUtf8(r.name));
        ds.FieldByName("KOD3").SetAsInteger(r.k3);
        ds.FieldByName("KOD4").SetAsInteger(r.k4);
        ds.Post();
    }
    ASSERT_TRUE(ds.Locate("KOD", 9));
    ds.Delete();
}

QList<int> codes(TADODataSet &ds) {
    QList<int> r;
    for (ds.First(); !ds.Eof(); ds.Next())
        r << ds.FieldByName("KOD").AsInteger();
    return r;
}

} // namespace

// ---- walking and record numbers ----

TEST(DatasetWalk, DeletedRecordsAreInvisibleEverywhere) {
    Folder f;
    makeSchool(f);
    TADODataSet ds;
    f.openTable(ds, "select * from SCHOOL");
    EXPECT_EQ(ds.RecordCount(), 4);
    EXPECT_EQ(codes(ds), (QList<int>{3, 1, 2, 7}));
    ds.setRecNo(3);
    EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), 2);
    EXPECT_FALSE(ds.Locate("KOD", 9));
    // The file still holds five records, the third marked.
    const QByteArray b = storetest::readBytes(f.file("SCHOOL.DBF"));
    EXPECT_EQ(storetest::headerCount(b), 5u);
    EXPECT_EQ(storetest::recordBytes(b, 2).at(0), '*');
}

TEST(DatasetWalk, NextOnLastSetsEofAndStays) {
    Folder f;
    makeSchool(f);
    TADODataSet ds;
    f.openTable(ds, "select * from SCHOOL");
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(ds.RecNo(), 1);
    ds.setRecNo(4);
    EXPECT_FALSE(ds.Eof());
    ds.Next();
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.RecNo(), 4);
    EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), 7);
    ds.Prior();
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_FALSE(ds.Eof());
    ds.First();
    ds.Prior();
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_THROW(ds.setRecNo(0), StoreError);
    EXPECT_THROW(ds.setRecNo(5), StoreError);
}

TEST(DatasetWalk, EmptyTable) {
    Folder f;
    DbfFile::create(f.file("E.DBF"), schoolFields());
    TADODataSet ds;
    f.openTable(ds, "select * from E");
    EXPECT_TRUE(ds.Eof());
    EXPECT_TRUE(ds.Bof());
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_EQ(ds.RecNo(), 0);
    EXPECT_TRUE(ds.FieldByName("KOD").IsNull());
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), "");
    ds.Next();
    EXPECT_TRUE(ds.Eof());
    EXPECT_THROW(ds.Delete(), StoreError);
}

TEST(DatasetWalk, TableAndFieldNamesInAnyCase) {
    Folder f;
    DbfFile::create(f.file("f12016.dbf"), {{"n1", 'N', 5, 0}});
    for (const char *sql : {"select * from F12016", "select * from f12016.dbf",
                            "SELECT * FROM F12016.DBF", "select * from [F12016]"}) {
        TADODataSet ds;
        f.openTable(ds, sql);
        EXPECT_EQ(ds.FieldDefs().at(0).name, "N1") << sql;
        EXPECT_EQ(ds.FieldIndex("n1"), 0);
        EXPECT_EQ(ds.FieldByName("N1").Index(), 0);
        EXPECT_THROW(ds.FieldByName("N2"), StoreError);
        EXPECT_EQ(QFileInfo(ds.filePath()).fileName(), "f12016.dbf");
    }
    TADODataSet missing;
    missing.setConnection(&f.con);
    missing.setCommandText("select * from F22016");
    EXPECT_THROW(missing.Open(), StoreError);
    EXPECT_FALSE(missing.Active());
}

// ---- editing ----

TEST(DatasetEdit, WriteOutsideEditThrowsAndPostOutsideEditDoesNothing) {
    Folder f;
    makeSchool(f);
    TADODataSet ds;
    f.openTable(ds, "select * from SCHOOL");
    const QByteArray before = storetest::readBytes(f.file("SCHOOL.DBF"));
    EXPECT_THROW(ds.FieldByName("KOD").SetAsInteger(5), StoreError);
    EXPECT_THROW(ds.FieldByName("NAME").Clear(), StoreError);
    ds.Post();
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    EXPECT_EQ(storetest::readBytes(f.file("SCHOOL.DBF")), before);
}

TEST(DatasetEdit, EditCancelRestoresAndInsertCancelDiscards) {
    Folder f;
    makeSchool(f);
    const QByteArray before = storetest::readBytes(f.file("SCHOOL.DBF"));
    TADODataSet ds;
    f.openTable(ds, "select * from SCHOOL");
    ds.setRecNo(2);
    ds.Edit();
    ds.FieldByName("NAME").SetAsString("Другое");
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), "Другое");
    EXPECT_TRUE(ds.Modified());
    ds.Cancel();
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), "Гимназия");
    ds.Insert();
    ds.FieldByName("KOD").SetAsInteger(50);
    ds.Cancel();
    EXPECT_EQ(ds.RecordCount(), 4);
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_EQ(storetest::readBytes(f.file("SCHOOL.DBF")), before);
}

TEST(DatasetEdit, PostReachesFileAtOnceInOrder) {
    Folder f;
    DbfFile::create(f.file("T.DBF"), {{"KOD", 'N', 4, 0}, {"NAME", 'C', 6, 0}});
    const QString path = f.file("T.DBF");
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    for (int i = 1; i <= 3; ++i) {
        ds.Append();
        ds.FieldByName("KOD").SetAsInteger(i * 10);
        ds.FieldByName("NAME").SetAsString("Ж" + QString::number(i));
        // Nothing reaches the file before the post.
        EXPECT_EQ(storetest::headerCount(storetest::readBytes(path)), std::uint32_t(i - 1));
        ds.Post();
        const QByteArray b = storetest::readBytes(path);
        EXPECT_EQ(storetest::headerCount(b), std::uint32_t(i));
        ASSERT_EQ(b.size(), storetest::headerLength(b) + i * 11 + 1);
        EXPECT_EQ(b.back(), char(0x1A));
        EXPECT_EQ(storetest::recordBytes(b, i - 1),
                  QByteArray(" ") + QByteArray::number(i * 10).rightJustified(4, ' ') + "\xC6" +
                      QByteArray::number(i) + "    ");
    }
    // Editing a record rewrites it in place.
    ds.setRecNo(2);
    ds.Edit();
    ds.FieldByName("KOD").SetAsInteger(-5);
    ds.Post();
    const QByteArray b = storetest::readBytes(path);
    EXPECT_EQ(storetest::headerCount(b), 3u);
    EXPECT_EQ(storetest::recordBytes(b, 1).mid(1, 4), QByteArray("  -5"));
    EXPECT_EQ(b.size(), storetest::headerLength(b) + 3 * 11 + 1);
}

TEST(DatasetEdit, PostRenewsTheHeadersUpdateDate) {
    Folder f;
    const QString path = f.file("T.DBF");
    DbfFile::create(path, {{"KOD", 'N', 4, 0}});
    // An old update date (1 January 1990) in the header.
    QByteArray b = storetest::readBytes(path);
    b[1] = char(90);
    b[2] = char(1);
    b[3] = char(1);
    storetest::writeBytes(path, b);
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    ds.Append();
    ds.FieldByName("KOD").SetAsInteger(1);
    ds.Post();
    b = storetest::readBytes(path);
    const QDate written(1900 + quint8(b[1]), quint8(b[2]), quint8(b[3]));
    EXPECT_TRUE(written.isValid());
    EXPECT_GT(written, QDate(1990, 1, 1));
}

TEST(DatasetEdit, NavigationPostsAModifiedRecordAndDropsAnUntouchedOne) {
    Folder f;
    makeSchool(f);
    TADODataSet ds;
    f.openTable(ds, "select * from SCHOOL");
    ds.Edit();
    ds.FieldByName("KOD").SetAsInteger(33);
    ds.Next(); // leaving the row posts it
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    ds.Append();
    ds.First(); // nothing written into the new record: dropped
    EXPECT_EQ(ds.RecordCount(), 4);
    TADODataSet check;
    f.openTable(check, "select * from SCHOOL");
    EXPECT_EQ(codes(check), (QList<int>{33, 1, 2, 7}));
}

TEST(DatasetEdit, CloseDropsPendingChange) {
    Folder f;
    makeSchool(f);
    {
        TADODataSet ds;
        f.openTable(ds, "select * from SCHOOL");
        ds.Edit();
        ds.FieldByName("KOD").SetAsInteger(99);
        ds.Close();
        EXPECT_EQ(ds.State(), DataSetState::Inactive);
    }
    TADODataSet ds;
    f.openTable(ds, "select * from SCHOOL");
    EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), 3);
}

TEST(DatasetEdit, InsertedRecordGoesToTheEndOfTheFile) {
    Folder f;
    makeSchool(f);
    TADODataSet ds;
    f.openTable(ds, "select * from SCHOOL");
    ds.setRecNo(2);
    ds.Insert();
    EXPECT_EQ(ds.State(), DataSetState::Insert);
    ds.FieldByName("KOD").SetAsInteger(11);
    ds.Post();
    EXPECT_EQ(ds.RecNo(), 5);
    EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), 11);
    EXPECT_EQ(codes(ds), (QList<int>{3, 1, 2, 7, 11}));
}

TEST(DatasetEdit, DeleteMakesTheNextRecordCurrent) {
    Folder f;
    makeSchool(f);
    TADODataSet ds;
    f.openTable(ds, "select * from SCHOOL");
    ds.setRecNo(2);
    ds.Delete();
    EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), 2);
    ds.Last();
    ds.Delete();
    EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), 2);
    EXPECT_EQ(ds.RecordCount(), 2);
    TADODataSet again;
    f.openTable(again, "select * from SCHOOL");
    EXPECT_EQ(codes(again), (QList<int>{3, 2}));
}

TEST(DatasetEdit, EditOnEmptyTableInserts) {
    Folder f;
    DbfFile::create(f.file("E.DBF"), schoolFields());
    TADODataSet ds;
    f.openTable(ds, "select * from E");
    ds.Edit();
    EXPECT_EQ(ds.State(), DataSetState::Insert);
    ds.FieldByName("KOD").SetAsInteger(1);
    ds.Post();
    EXPECT_EQ(ds.RecordCount(), 1);
}

TEST(DatasetEdit, HandlersAreCalled) {
    Folder f;
    makeSchool(f);
    TADODataSet ds;
    f.openTable(ds, "select * from SCHOOL");
    QStringList log;
    ds.beforeEdit = [&] { log << "beforeEdit"; };
    ds.onDataChange = [&] { log << "data"; };
    ds.afterPost = [&] { log << "afterPost"; };
    ds.onNewRecord = [&] { log << "new"; };
    ds.Edit();
    ds.FieldByName("KOD").SetAsInteger(4);
    ds.Post();
    ds.Append();
    EXPECT_EQ(log, (QStringList{"beforeEdit", "data", "afterPost", "new"}));
    // A handler that refuses new records leaves the dataset browsing.
    ds.Cancel();
    ds.onNewRecord = [&] { throw StoreError("no new records"); };
    EXPECT_THROW(ds.Insert(), StoreError);
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    EXPECT_EQ(ds.RecordCount(), 4);
}

// ---- filters ----

TEST(DatasetFilter, BothFormsSelectTheRightRecords) {
    Folder f;
    makeSchool(f);
    TADODataSet ds;
    f.openTable(ds, "select * from SCHOOL where KOD > 1");
    EXPECT_EQ(codes(ds), (QList<int>{3, 2, 7}));
    ds.Close();
    ds.setCommandText("select * from SCHOOL where (KOD3 = 1)AND(KOD4 = 1)");
    ds.Open();
    EXPECT_EQ(codes(ds), (QList<int>{3, 7}));
    EXPECT_EQ(ds.RecordCount(), 2);
    ds.setCommandText("SELECT * FROM school WHERE kod3=2 and KOD4 <> 2 AND name = 'Лицей'");
    ds.Open();
    EXPECT_EQ(codes(ds), (QList<int>{2}));
    ds.setCommandText("select * from SCHOOL.DBF where ((KOD >= 2) AND (KOD <= 3))");
    ds.Open();
    EXPECT_EQ(codes(ds), (QList<int>{3, 2}));
}

TEST(DatasetFilter, UnsupportedTextIsRefused) {
    Folder f;
    makeSchool(f);
    for (const char *sql :
         {"select * from SCHOOL where KOD > 1 OR KOD < 0", "select KOD from SCHOOL",
          "select * from SCHOOL order by KOD", "select * from SCHOOL where KOD >",
          "select * from SCHOOL where (KOD = 1", "select * from SCHOOL where NOPE = 1",
          "select * from SCHOOL where KOD = 'abc'", "delete from SCHOOL",
          "select * from SCHOOL where KOD = 1 1"}) {
        TADODataSet ds;
        ds.setConnection(&f.con);
        ds.setCommandText(sql);
        EXPECT_THROW(ds.Open(), StoreError) << sql;
        EXPECT_FALSE(ds.Active()) << sql;
    }
}

TEST(DatasetFilter, RecordAppendedElsewhereAppearsOnlyWhenItMatches) {
    Folder f;
    makeSchool(f);
    TADODataSet filtered, all;
    f.openTable(filtered, "select * from SCHOOL where KOD3 = 1");
    f.openTable(all, "select * from SCHOOL");
    all.Append();
    all.FieldByName("KOD").SetAsInteger(20);
    all.FieldByName("KOD3").SetAsInteger(2);
    all.Post();
    all.Append();
    all.FieldByName("KOD").SetAsInteger(21);
    all.FieldByName("KOD3").SetAsInteger(1);
    all.Post();
    EXPECT_EQ(codes(filtered), (QList<int>{3, 1, 7, 21}));
}

// ---- locate and ordering ----

TEST(DatasetLocate, NumbersNumericallyTextExactly) {
    Folder f;
    DbfFile::create(f.file("L.DBF"), {{"KOD", 'N', 6, 2}, {"NAME", 'C', 10, 0}});
    TADODataSet ds;
    f.openTable(ds, "select * from L");
    const QVariant kods[] = {QVariant(1.5), QVariant(2), QVariant()};
    const char *names[] = {"abc", "Abc", "abc d"};
    for (int i = 0; i < 3; ++i) {
        ds.Append();
        ds.FieldByName("KOD").SetAsVariant(kods[i]);
        ds.FieldByName("NAME").SetAsString(names[i]);
        ds.Post();
    }
    ds.First();
    EXPECT_TRUE(ds.Locate("KOD", 2));
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_TRUE(ds.Locate("kod", "1,50"));
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_TRUE(ds.Locate("KOD", QVariant()));
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_FALSE(ds.Locate("KOD", 0)); // a blank is not zero
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_TRUE(ds.Locate("NAME", "Abc   "));
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_FALSE(ds.Locate("NAME", "ab"));
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_THROW(ds.Locate("NOPE", 1), StoreError);
}

TEST(DatasetIndex, OrdersNumericallyStableAndRestoresFileOrder) {
    Folder f;
    DbfFile::create(f.file("I.DBF"), {{"KOD", 'N', 4, 0}, {"TAG", 'C', 3, 0}});
    TADODataSet ds;
    f.openTable(ds, "select * from I");
    const std::pair<int, const char *> rows[] = {{10, "a"},  {9, "b"},  {10, "c"},
                                                 {100, "d"}, {-1, "e"}, {9, "f"}};
    for (auto [k, t] : rows) {
        ds.Append();
        ds.FieldByName("KOD").SetAsInteger(k);
        ds.FieldByName("TAG").SetAsString(t);
        ds.Post();
    }
    auto tags = [&] {
        QString s;
        for (ds.First(); !ds.Eof(); ds.Next())
            s += ds.FieldByName("TAG").AsString();
        return s;
    };
    ds.setIndexFieldNames("KOD");
    EXPECT_EQ(tags(), "ebfacd");
    EXPECT_EQ(ds.RecNo(), 6);
    ds.setIndexFieldNames("KOD;TAG");
    EXPECT_EQ(tags(), "ebfacd");
    ds.setIndexFieldNames("TAG");
    EXPECT_EQ(tags(), "abcdef");
    ds.setIndexFieldNames("");
    EXPECT_EQ(tags(), "abcdef");
    EXPECT_THROW(ds.setIndexFieldNames("NOPE"), StoreError);
    // The order set before opening applies on open.
    TADODataSet other;
    other.setIndexFieldNames("KOD");
    f.openTable(other, "select * from I");
    EXPECT_EQ(other.FieldByName("TAG").AsString(), "e");
}

// ---- sharing ----

TEST(DatasetSharing, TwoDatasetsSeeEachOthersPosts) {
    Folder f;
    makeSchool(f);
    TADODataSet a, b;
    f.openTable(a, "select * from SCHOOL");
    f.openTable(b, "select * from school.dbf");
    b.setRecNo(2);
    a.setRecNo(2);
    a.Edit();
    a.FieldByName("NAME").SetAsString("Новое имя");
    a.Post();
    EXPECT_EQ(b.FieldByName("NAME").AsString(), "Новое имя");
    a.Append();
    a.FieldByName("KOD").SetAsInteger(8);
    a.Post();
    EXPECT_EQ(b.RecordCount(), 5);
    EXPECT_EQ(b.RecNo(), 2);
    b.First();
    b.Delete();
    EXPECT_EQ(a.RecordCount(), 4);
    EXPECT_EQ(codes(a), (QList<int>{1, 2, 7, 8}));
}

TEST(DatasetSharing, FileReplacedOnDiskIsReadAgain) {
    Folder f;
    makeSchool(f);
    {
        TADODataSet ds;
        f.openTable(ds, "select * from SCHOOL");
        EXPECT_EQ(ds.RecordCount(), 4);
    }
    DbfFile::create(f.file("OTHER.DBF"), schoolFields());
    QFile::remove(f.file("SCHOOL.DBF"));
    ASSERT_TRUE(QFile::copy(f.file("OTHER.DBF"), f.file("SCHOOL.DBF")));
    TADODataSet ds;
    f.openTable(ds, "select * from SCHOOL");
    EXPECT_EQ(ds.RecordCount(), 0);
}

TEST(DatasetSharing, WriteToAFileReplacedWhileOpenIsRefused) {
    Folder f;
    makeSchool(f);
    TADODataSet ds;
    f.openTable(ds, "select * from SCHOOL");
    DbfFile::create(f.file("SCHOOL.DBF"), {{"X", 'C', 3, 0}});
    const QByteArray replaced = storetest::readBytes(f.file("SCHOOL.DBF"));
    ds.Edit();
    ds.FieldByName("KOD").SetAsInteger(1);
    EXPECT_THROW(ds.Post(), StoreError);
    EXPECT_EQ(storetest::readBytes(f.file("SCHOOL.DBF")), replaced);
    // A new open sees the new file.
    TADODataSet fresh;
    f.openTable(fresh, "select * from SCHOOL");
    EXPECT_EQ(fresh.FieldDefs().size(), 1);
}

// ---- in-memory tables ----

TEST(DatasetMemory, FieldDefinitionsMakeAWorkingTable) {
    TADODataSet ds;
    ds.AddFieldDef({"KODSTR", 'C', 15, 0});
    ds.AddFieldDef({"TOTAL", 'C', 15, 0});
    ds.AddFieldDef({"NNN1", 'N', 12, 2});
    ds.CreateDataSet();
    EXPECT_TRUE(ds.Active());
    EXPECT_EQ(ds.filePath(), "");
    for (int i = 1; i <= 3; ++i) {
        ds.Insert();
        ds.FieldByName("KODSTR").SetAsString(QString::number(i));
        ds.FieldByName("nnn1").SetAsFloat(i * 1.25);
        ds.Post();
    }
    EXPECT_EQ(ds.RecordCount(), 3);
    ds.First();
    EXPECT_EQ(ds.FieldByName("KODSTR").AsString(), "1"); // rows stay in insertion order
    ds.setRecNo(2);
    ds.Edit();
    ds.FieldByName("TOTAL").SetAsString("123456789012345");
    EXPECT_THROW(ds.FieldByName("TOTAL").SetAsString("1234567890123456"), StoreError);
    ds.Post();
    EXPECT_EQ(ds.FieldByName("TOTAL").AsString(), "123456789012345");
    EXPECT_DOUBLE_EQ(ds.FieldByName("NNN1").AsFloat(), 2.5);
    ds.Delete();
    EXPECT_EQ(ds.RecordCount(), 2);
    ds.Close();
    EXPECT_EQ(ds.FieldDefs().size(), 3); // definitions survive; rows do not
    ds.CreateDataSet();
    EXPECT_EQ(ds.RecordCount(), 0);
}

TEST(DatasetMemory, FieldsOfAnOpenedTableCanBeExtended) {
    Folder f;
    DbfFile::create(f.file("TEMPSVOD.DBF"), {{"KODSTR", 'C', 10, 0}, {"N1", 'N', 10, 2}});
    TADODataSet ds;
    f.openTable(ds, "select * from TEMPSVOD");
    ds.Close();
    ds.AddFieldDef({"TOTAL", 'C', 15, 0});
    ds.CreateDataSet();
    ASSERT_EQ(ds.FieldCount(), 3);
    EXPECT_EQ(ds.Fields(2).FieldName(), "TOTAL");
    ds.Append();
    ds.FieldByName("N1").SetAsFloat(1);
    ds.Post();
    const QByteArray b = storetest::readBytes(f.file("TEMPSVOD.DBF"));
    EXPECT_EQ(storetest::headerCount(b), 0u); // nothing reached the file
    EXPECT_THROW(ds.AddFieldDef({"X", 'C', 1, 0}), StoreError);
}

// ---- connections ----

TEST(Connection, StringsAndFolder) {
    TADOConnection con;
    con.setFolder("/inst/WED\\");
    EXPECT_EQ(con.connectionString(), "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/inst/WED\\;"
                                      "Extended Properties=dBASE IV;User ID=admin;Password=;");
    EXPECT_EQ(con.folder(), "/inst/WED");
    con.setConnectionString("Driver={Microsoft dBase Driver (*.dbf)};DBQ=/x/y/;");
    EXPECT_EQ(con.folder(), "/x/y");
    EXPECT_FALSE(con.Connected());
    EXPECT_THROW(con.Open(), StoreError); // no such folder
    EXPECT_FALSE(con.Connected());
}

TEST(Connection, ConnectedStringCarriesDbq) {
    Folder f;
    const QString s = f.con.connectionString();
    const qsizetype at = s.indexOf("DBQ=");
    ASSERT_GE(at, 0);
    const qsizetype end = s.indexOf(';', at);
    ASSERT_GT(end, at);
    EXPECT_EQ(s.mid(at + 4, end - at - 4), f.path());
    EXPECT_TRUE(s.startsWith("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + f.path() + ";"));
}

TEST(Connection, CloseClosesEveryDatasetAndDropsPendingChanges) {
    Folder f;
    makeSchool(f);
    TADODataSet a, b, other;
    f.openTable(a, "select * from SCHOOL");
    f.openTable(b, "select * from SCHOOL where KOD > 2");
    other.AddFieldDef({"X", 'C', 2, 0});
    other.CreateDataSet();
    a.Edit();
    a.FieldByName("KOD").SetAsInteger(42);
    f.con.Close();
    EXPECT_FALSE(a.Active());
    EXPECT_FALSE(b.Active());
    EXPECT_TRUE(other.Active());
    EXPECT_THROW(a.Open(), StoreError); // connection closed
    f.con.Open();
    a.Open();
    EXPECT_EQ(a.FieldByName("KOD").AsInteger(), 3);
    // Re-pointing closes too.
    f.con.setFolder(f.path());
    EXPECT_FALSE(a.Active());
}

TEST(Connection, DatasetOutlivingItsConnection) {
    TADODataSet ds;
    {
        Folder f;
        makeSchool(f);
        f.openTable(ds, "select * from SCHOOL");
    }
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.connection(), nullptr);
}

TEST(Counters, OpensReadsAndWritesAreCounted) {
    Folder f;
    makeSchool(f);
    resetCounters();
    TADODataSet a, b;
    f.openTable(a, "select * from SCHOOL");
    f.openTable(b, "select * from SCHOOL"); // shared: no second read of the file
    EXPECT_EQ(counters().tableOpens, 2u);
    EXPECT_EQ(counters().recordReads, 5u);
    a.Edit();
    a.FieldByName("KOD").SetAsInteger(1);
    a.Post();
    EXPECT_EQ(counters().recordWrites, 1u);
}
