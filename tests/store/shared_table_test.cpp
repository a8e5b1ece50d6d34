// Several datasets over one file share its records. What one of them does to
// the record another one stands on (deletes it, edits it, appends around it)
// must never make the other one write to or delete a different record.

#include "StoreTestUtil.h"

#include "store/Dataset.h"

using namespace store;
using storetest::Folder;

namespace {

// T.DBF with records KOD = the given codes in file order, NAME = "rKOD".
void makeTable(Folder &f, const QList<int> &kods) {
    DbfFile::create(f.file("T.DBF"), {{"KOD", 'N', 5, 0}, {"NAME", 'C', 20, 0}});
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    for (int k : kods) {
        ds.Append();
        ds.FieldByName("KOD").SetAsInteger(k);
        ds.FieldByName("NAME").SetAsString(QStringLiteral("r%1").arg(k));
        ds.Post();
    }
}

int kod(TADODataSet &ds) {
    return ds.FieldByName("KOD").AsInteger();
}

QString name(TADODataSet &ds) {
    return ds.FieldByName("NAME").AsString();
}

// What a freshly opened dataset reads from the file: "KOD:NAME" in file order.
QStringList fileRecords(Folder &f) {
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    QStringList r;
    for (ds.First(); !ds.Eof(); ds.Next())
        r << QStringLiteral("%1:%2").arg(kod(ds)).arg(name(ds));
    return r;
}

QByteArray fileBytes(Folder &f) {
    return storetest::readBytes(f.file("T.DBF"));
}

// Positions a dataset on the record with this code and deletes it there.
void deleteKod(TADODataSet &ds, int k) {
    ASSERT_TRUE(ds.Locate("KOD", k));
    ds.Delete();
}

} // namespace

// ---- the current record deleted through another dataset ----

TEST(SharedDelete, RecordDeletedElsewhereStaysCurrentAndRefusesEditAndDelete) {
    Folder f;
    makeTable(f, {1, 2, 3, 4});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");
    a.setRecNo(2);
    EXPECT_FALSE(a.Deleted());
    deleteKod(b, 2);
    EXPECT_FALSE(b.Deleted()); // B deleted it itself and moved on
    const QByteArray before = fileBytes(f);

    // A still addresses record 2: it reads what it read, has no number,
    // and is not counted.
    EXPECT_TRUE(a.Deleted());
    EXPECT_EQ(kod(a), 2);
    EXPECT_EQ(name(a), "r2");
    EXPECT_EQ(a.RecNo(), 0);
    EXPECT_EQ(a.RecordCount(), 3);
    EXPECT_FALSE(a.Eof());

    EXPECT_THROW(a.Edit(), StoreError);
    EXPECT_EQ(a.State(), DataSetState::Browse);
    EXPECT_THROW(a.FieldByName("NAME").SetAsString("x"), StoreError);
    EXPECT_THROW(a.Delete(), StoreError);
    EXPECT_EQ(fileBytes(f), before);
    EXPECT_EQ(kod(a), 2);
    EXPECT_EQ(fileRecords(f), (QStringList{"1:r1", "3:r3", "4:r4"}));
}

TEST(SharedDelete, RefusalMessageSaysWhyInRussian) {
    Folder f;
    makeTable(f, {1, 2});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");
    deleteKod(b, 1);
    for (auto op : {&TADODataSet::Edit, &TADODataSet::Delete}) {
        try {
            (a.*op)();
            ADD_FAILURE() << "no error";
        } catch (const StoreError &e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("удалена в другом наборе данных")))
                << e.message().toStdString();
        }
    }
}

TEST(SharedDelete, LastRecordDeletedElsewhereDoesNotTurnEditIntoInsert) {
    Folder f;
    makeTable(f, {5});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");
    b.Delete();
    EXPECT_TRUE(a.Eof());
    EXPECT_EQ(a.RecordCount(), 0);
    EXPECT_THROW(a.Edit(), StoreError);
    EXPECT_EQ(a.State(), DataSetState::Browse);
    EXPECT_EQ(fileRecords(f), QStringList{});
    // Once it has moved, the now empty table takes a new record as usual.
    a.First();
    EXPECT_FALSE(a.Deleted());
    a.Edit();
    EXPECT_EQ(a.State(), DataSetState::Insert);
    a.FieldByName("KOD").SetAsInteger(6);
    a.Post();
    EXPECT_EQ(fileRecords(f), (QStringList{"6:"}));
}

TEST(SharedDelete, WalkingOnGoesToTheNeighboursOfTheDeletedRecord) {
    Folder f;
    makeTable(f, {1, 2, 3, 4});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");

    a.setRecNo(2);
    deleteKod(b, 2);
    a.Next();
    EXPECT_FALSE(a.Deleted());
    EXPECT_EQ(kod(a), 3);
    EXPECT_EQ(a.RecNo(), 2);

    deleteKod(b, 3);
    a.Prior();
    EXPECT_EQ(kod(a), 1);
    EXPECT_EQ(a.RecNo(), 1);

    // The first record deleted: Prior has nowhere to go and stays on it.
    deleteKod(b, 1);
    a.Prior();
    EXPECT_TRUE(a.Bof());
    EXPECT_THROW(a.Edit(), StoreError);
    a.Next();
    EXPECT_EQ(kod(a), 4);

    // The last record deleted: Next sets Eof and the record stays refused.
    deleteKod(b, 4);
    a.Next();
    EXPECT_TRUE(a.Eof());
    EXPECT_TRUE(a.Deleted());
    EXPECT_THROW(a.Delete(), StoreError);
    EXPECT_EQ(a.RecordCount(), 0);
}

TEST(SharedDelete, MovingAwayLeavesTheDeletedRecordForGood) {
    Folder f;
    makeTable(f, {1, 2, 3, 4});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");
    a.setRecNo(3);
    deleteKod(b, 3);
    a.First();
    EXPECT_EQ(kod(a), 1);
    a.Last();
    EXPECT_EQ(kod(a), 4);
    a.setRecNo(2);
    EXPECT_EQ(kod(a), 2);
    a.Edit();
    a.FieldByName("NAME").SetAsString("два");
    a.Post();
    EXPECT_EQ(fileRecords(f), (QStringList{"1:r1", "2:два", "4:r4"}));

    // Locate finds records; a failed Locate leaves the deleted one current.
    deleteKod(b, 2);
    EXPECT_FALSE(a.Locate("KOD", 3));
    EXPECT_THROW(a.Edit(), StoreError);
    EXPECT_TRUE(a.Locate("KOD", 4));
    a.Delete();
    EXPECT_EQ(fileRecords(f), (QStringList{"1:r1"}));
}

TEST(SharedDelete, LoopThatDeletesThroughAnotherDatasetVisitsEveryRecordOnce) {
    Folder f;
    makeTable(f, {1, 2, 3, 4, 5, 6});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");
    QList<int> seen;
    for (a.First(); !a.Eof(); a.Next()) {
        seen << kod(a);
        if (kod(a) % 2 == 0)
            deleteKod(b, kod(a));
    }
    EXPECT_EQ(seen, (QList<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(fileRecords(f), (QStringList{"1:r1", "3:r3", "5:r5"}));
}

TEST(SharedDelete, InsertFromTheDeletedRecordWorksAndCancelReturnsToIt) {
    Folder f;
    makeTable(f, {1, 2, 3});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");
    a.setRecNo(2);
    deleteKod(b, 2);
    a.Append();
    a.Cancel();
    EXPECT_EQ(kod(a), 2);
    EXPECT_THROW(a.Edit(), StoreError);
    a.Append();
    a.FieldByName("KOD").SetAsInteger(9);
    a.Post();
    EXPECT_EQ(kod(a), 9);
    EXPECT_EQ(a.RecNo(), 3);
    a.Edit();
    a.FieldByName("NAME").SetAsString("r9");
    a.Post();
    EXPECT_EQ(fileRecords(f), (QStringList{"1:r1", "3:r3", "9:r9"}));
}

TEST(SharedDelete, DeletedDuringAnEditNothingIsWrittenAnywhere) {
    Folder f;
    makeTable(f, {1, 2, 3});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");
    a.setRecNo(2);
    a.Edit();
    a.FieldByName("NAME").SetAsString("правка");
    deleteKod(b, 2);
    const QByteArray before = fileBytes(f);

    EXPECT_EQ(name(a), "правка"); // the edit buffer is kept for the caller to see
    EXPECT_THROW(a.Post(), StoreError);
    EXPECT_EQ(a.State(), DataSetState::Edit);
    EXPECT_THROW(a.Delete(), StoreError);
    EXPECT_THROW(a.Next(), StoreError); // leaving the row posts, and that is refused
    EXPECT_EQ(fileBytes(f), before);

    a.Cancel();
    EXPECT_EQ(a.State(), DataSetState::Browse);
    EXPECT_TRUE(a.Deleted());
    EXPECT_EQ(kod(a), 2);
    EXPECT_THROW(a.Edit(), StoreError);
    EXPECT_EQ(fileBytes(f), before);
    EXPECT_EQ(fileRecords(f), (QStringList{"1:r1", "3:r3"}));
    a.Next();
    EXPECT_EQ(kod(a), 3);
}

TEST(SharedDelete, DeletedByTheBeforeEditHandlerTheEditIsRefused) {
    Folder f;
    makeTable(f, {1, 2, 3});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");
    a.setRecNo(2);
    a.beforeEdit = [&] { deleteKod(b, 2); };
    EXPECT_THROW(a.Edit(), StoreError);
    EXPECT_EQ(a.State(), DataSetState::Browse);
    EXPECT_TRUE(a.Deleted());
    EXPECT_EQ(fileRecords(f), (QStringList{"1:r1", "3:r3"}));
}

TEST(SharedDelete, UnderAnIndexOrderTheNeighboursFollowThatOrder) {
    Folder f;
    makeTable(f, {40, 10, 30, 20, 50});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");
    a.setIndexFieldNames("KOD");
    ASSERT_TRUE(a.Locate("KOD", 30));
    deleteKod(b, 30);
    EXPECT_EQ(kod(a), 30);
    EXPECT_THROW(a.Edit(), StoreError);
    // Records appended meanwhile take their place in the order.
    b.Append();
    b.FieldByName("KOD").SetAsInteger(35);
    b.Post();
    b.Append();
    b.FieldByName("KOD").SetAsInteger(25);
    b.Post();
    a.Next();
    EXPECT_EQ(kod(a), 35);

    ASSERT_TRUE(a.Locate("KOD", 20));
    deleteKod(b, 20);
    a.Prior();
    EXPECT_EQ(kod(a), 10);

    // Changing the order while on a deleted record keeps it current.
    ASSERT_TRUE(a.Locate("KOD", 40));
    deleteKod(b, 40);
    a.setIndexFieldNames("");
    EXPECT_TRUE(a.Deleted());
    EXPECT_EQ(kod(a), 40);
    EXPECT_THROW(a.Delete(), StoreError);
    a.Next(); // file order: 40 came first, then 10
    EXPECT_EQ(kod(a), 10);
    EXPECT_EQ(fileRecords(f), (QStringList{"10:r10", "50:r50", "35:", "25:"}));
}

// ---- appends and edits elsewhere while this dataset edits ----

TEST(SharedEdit, AppendsElsewhereDuringAnEditLeaveItOnItsRecord) {
    Folder f;
    makeTable(f, {1, 2, 3});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");
    a.setRecNo(2);
    a.Edit();
    a.FieldByName("NAME").SetAsString("правка");
    for (int k : {7, 8}) {
        b.Append();
        b.FieldByName("KOD").SetAsInteger(k);
        b.Post();
    }
    a.Post();
    EXPECT_EQ(kod(a), 2);
    EXPECT_EQ(a.RecNo(), 2);
    EXPECT_EQ(a.RecordCount(), 5);
    EXPECT_EQ(fileRecords(f), (QStringList{"1:r1", "2:правка", "3:r3", "7:", "8:"}));
}

TEST(SharedEdit, InsertsInBothDatasetsAddTwoRecords) {
    Folder f;
    makeTable(f, {1});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");
    a.Append();
    a.FieldByName("KOD").SetAsInteger(2);
    b.Append();
    b.FieldByName("KOD").SetAsInteger(3);
    b.Post();
    EXPECT_EQ(a.RecNo(), 3); // still the new record, after the one just added
    a.Post();
    EXPECT_EQ(kod(a), 2);
    EXPECT_EQ(a.RecNo(), 3);
    EXPECT_EQ(kod(b), 3);
    EXPECT_EQ(fileRecords(f), (QStringList{"1:r1", "3:", "2:"}));
}

TEST(SharedEdit, BothEditingOneRecordEachKeepsTheFieldsTheOtherSaved) {
    Folder f;
    makeTable(f, {1, 2, 3});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");
    a.setRecNo(2);
    b.setRecNo(2);
    a.Edit();
    b.Edit();
    b.FieldByName("NAME").SetAsString("от B");
    b.Post();
    a.FieldByName("KOD").SetAsInteger(22);
    a.Post();
    EXPECT_EQ(fileRecords(f), (QStringList{"1:r1", "22:от B", "3:r3"}));
    EXPECT_EQ(name(a), "от B");
    EXPECT_EQ(kod(b), 22);
    EXPECT_EQ(b.RecNo(), 2);
    // One field changed by both: the later post is refused and shows the saved value.
    a.Edit();
    b.Edit();
    a.FieldByName("NAME").SetAsString("от A");
    b.FieldByName("NAME").SetAsString("снова B");
    a.Post();
    EXPECT_THROW(b.Post(), StoreError);
    EXPECT_EQ(b.State(), DataSetState::Browse);
    EXPECT_EQ(name(b), "от A");
    EXPECT_EQ(fileRecords(f), (QStringList{"1:r1", "22:от A", "3:r3"}));
}

TEST(SharedEdit, KeyChangedElsewhereUnderAnIndexStaysWithTheEditOfAnotherField) {
    Folder f;
    makeTable(f, {10, 20, 30});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");
    a.setIndexFieldNames("KOD");
    ASSERT_TRUE(a.Locate("KOD", 20));
    a.Edit();
    a.FieldByName("NAME").SetAsString("из A");
    ASSERT_TRUE(b.Locate("KOD", 20));
    b.Edit();
    b.FieldByName("KOD").SetAsInteger(99);
    b.Post();
    EXPECT_EQ(a.RecNo(), 3); // the record moved to the end of A's order
    a.Post();
    EXPECT_EQ(a.RecNo(), 3);
    EXPECT_EQ(kod(a), 99);
    EXPECT_EQ(fileRecords(f), (QStringList{"10:r10", "99:из A", "30:r30"}));
}

// ---- an index order while another dataset appends ----

TEST(SharedIndex, AppendsElsewhereTakeTheirPlaceAndTheCurrentRecordStays) {
    Folder f;
    makeTable(f, {30, 10, 20});
    TADODataSet a, b;
    f.openTable(a, "select * from T");
    f.openTable(b, "select * from T");
    a.setIndexFieldNames("KOD");
    ASSERT_TRUE(a.Locate("KOD", 20));
    EXPECT_EQ(a.RecNo(), 2);
    for (int k : {5, 25, 15}) {
        b.Append();
        b.FieldByName("KOD").SetAsInteger(k);
        b.Post();
    }
    EXPECT_EQ(a.RecNo(), 4);
    EXPECT_EQ(kod(a), 20);
    a.Edit();
    a.FieldByName("NAME").SetAsString("двадцать");
    b.Append();
    b.FieldByName("KOD").SetAsInteger(1);
    b.Post();
    a.Post();
    EXPECT_EQ(kod(a), 20);
    EXPECT_EQ(a.RecNo(), 5);
    a.Next();
    EXPECT_EQ(kod(a), 25);
    QList<int> order;
    for (a.First(); !a.Eof(); a.Next())
        order << kod(a);
    EXPECT_EQ(order, (QList<int>{1, 5, 10, 15, 20, 25, 30}));
    EXPECT_EQ(fileRecords(f),
              (QStringList{"30:r30", "10:r10", "20:двадцать", "5:", "25:", "15:", "1:"}));
}
