// Held writes: a connection that holds its writes changes nothing on disk
// until Flush, then leaves the very bytes that writing each change at once
// would have left; changes not flushed are dropped; a file someone else
// changed meanwhile is refused.

#include "StoreTestUtil.h"

#include "store/Dataset.h"

using namespace store;
using storetest::Folder;
using storetest::readBytes;

namespace {

const QVector<FieldDef> kFields = {
    {"KODSTR", 'C', 4, 0}, {"NAME", 'C', 20, 0}, {"N1", 'N', 8, 2}, {"N2", 'N', 5, 0}};

// A blank of three rows, made by the ordinary writer.
void makeBlank(Folder &f) {
    DbfFile::create(f.file("T.DBF"), kFields);
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    for (int r = 1; r <= 3; ++r) {
        ds.Append();
        ds.FieldByName("KODSTR").SetAsInteger(r);
        ds.FieldByName("NAME").SetAsString(QStringLiteral("Строка %1").arg(r));
        ds.Post();
    }
}

// The changes of a build: sums into the rows, rows appended, one deleted.
void change(TADODataSet &ds, int appended) {
    for (ds.First(); !ds.Eof(); ds.Next()) {
        ds.Edit();
        ds.FieldByName("N1").SetAsFloat(ds.RecNo() * 1.25);
        ds.Post();
    }
    for (int i = 0; i < appended; ++i) {
        ds.Append();
        ds.FieldByName("KODSTR").SetAsInteger(10 + i);
        ds.FieldByName("N2").SetAsInteger(i);
        ds.Post();
    }
    ds.setRecNo(2);
    ds.Delete();
}

} // namespace

TEST(HeldWrites, FlushLeavesTheBytesOfWritingEachChangeAtOnce) {
    struct Case {
        const char *what;
        int appended;
    };
    // No append (the end mark stays), a few, and more than one write piece.
    const Case cases[] = {{"edits only", 0}, {"a few rows", 3}, {"many rows", 3000}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Folder direct, held;
        makeBlank(direct);
        makeBlank(held);
        const QByteArray blank = readBytes(held.file("T.DBF"));
        {
            TADODataSet ds;
            direct.openTable(ds, "select * from T");
            change(ds, c.appended);
        }
        held.con.Close();
        held.con.setHoldWrites(true);
        held.con.Open();
        TADODataSet ds;
        held.openTable(ds, "select * from T");
        change(ds, c.appended);
        EXPECT_EQ(readBytes(held.file("T.DBF")), blank) << "nothing reaches the file before Flush";
        held.con.Flush();
        EXPECT_EQ(readBytes(held.file("T.DBF")), readBytes(direct.file("T.DBF")));
        // A second flush without changes writes nothing new.
        held.con.Flush();
        EXPECT_EQ(readBytes(held.file("T.DBF")), readBytes(direct.file("T.DBF")));
    }
}

TEST(HeldWrites, CloseWithoutFlushDropsTheChangesAndTheNextOpenReadsTheFile) {
    Folder f;
    makeBlank(f);
    const QByteArray blank = readBytes(f.file("T.DBF"));
    TADOConnection con;
    con.setFolder(f.path());
    con.setHoldWrites(true);
    con.Open();
    {
        TADODataSet ds;
        ds.setConnection(&con);
        ds.setCommandText("select * from T");
        ds.Open();
        change(ds, 2);
        // Another dataset of this program keeps the table open meanwhile.
        TADODataSet other;
        f.openTable(other, "select * from T");
        EXPECT_EQ(other.RecordCount(), 4);
        con.Close();
        EXPECT_EQ(readBytes(f.file("T.DBF")), blank);
        // It refuses to write over a table it saw changes of that never were written.
        other.First();
        other.Edit();
        other.FieldByName("N2").SetAsInteger(7);
        EXPECT_THROW(other.Post(), StoreError);
        other.Cancel();
    }
    TADODataSet again;
    f.openTable(again, "select * from T");
    EXPECT_EQ(again.RecordCount(), 3);
    again.First();
    EXPECT_TRUE(again.FieldByName("N1").IsNull());
}

TEST(HeldWrites, FlushRefusesAFileAnotherWriterChangedMeanwhile) {
    Folder f;
    makeBlank(f);
    f.con.Close();
    f.con.setHoldWrites(true);
    f.con.Open();
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    change(ds, 1);
    // Someone else writes the file (its bytes, changed in place).
    QByteArray theirs = readBytes(f.file("T.DBF"));
    theirs[storetest::headerLength(theirs) + 1] = 'X';
    theirs.append("more"); // a size of its own: the change shows whatever the clock's tick
    storetest::writeBytes(f.file("T.DBF"), theirs);
    EXPECT_THROW(f.con.Flush(), StoreError);
    EXPECT_EQ(readBytes(f.file("T.DBF")), theirs);
}
