// Writing a table safely: a write cut short at any byte leaves a file that
// every kind of reader reads as the old or the new table, and several
// processes appending to and editing one table lose nothing.

#include "StoreTestUtil.h"

#include "store/Dataset.h"
#include "store/DbfTable.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>

using namespace store;
using storetest::Folder;
using storetest::readBytes;

namespace {

using Records = QList<QByteArray>;

// A reader that goes by the header count (as this layer and shapelib do).
std::optional<Records> readByCount(const QByteArray &b) {
    const int head = storetest::headerLength(b), len = storetest::recordLength(b);
    const qint64 count = storetest::headerCount(b);
    if (head + count * len > b.size())
        return std::nullopt;
    Records r;
    for (int i = 0; i < count; ++i)
        r << b.mid(head + i * len, len);
    return r;
}

// A reader that reads records until the end mark or the end of the file.
std::optional<Records> readToEndMark(const QByteArray &b) {
    const int head = storetest::headerLength(b), len = storetest::recordLength(b);
    Records r;
    for (qint64 at = head; at < b.size() && b[at] != char(0x1A); at += len) {
        if ((b[at] != ' ' && b[at] != '*') || at + len > b.size())
            return std::nullopt; // a damaged or half record in sight
        r << b.mid(at, len);
    }
    return r;
}

struct Write {
    qint64 pos;
    QByteArray bytes;
};

QByteArray withWrite(QByteArray image, const Write &w, qint64 n) {
    if (image.size() < w.pos + n)
        image.resize(w.pos + n, '\0');
    image.replace(w.pos, n, w.bytes.left(n));
    return image;
}

// Runs a change of T.DBF and checks the file after every byte of its writes.
template <typename Change> void checkEveryCut(Folder &f, const char *what, Change change) {
    const QByteArray before = readBytes(f.file("T.DBF"));
    std::vector<Write> writes;
    detail::setWriteProbe([&](const QString &, qint64 pos, const QByteArray &bytes) {
        writes.push_back({pos, bytes});
    });
    change();
    detail::setWriteProbe(nullptr);
    const QByteArray after = readBytes(f.file("T.DBF"));
    ASSERT_FALSE(writes.empty()) << what;
    ASSERT_EQ(readByCount(after), readToEndMark(after)) << what;
    const auto oldByCount = readByCount(before), newByCount = readByCount(after);
    const auto oldToMark = readToEndMark(before), newToMark = readToEndMark(after);
    QByteArray image = before;
    for (std::size_t i = 0; i < writes.size(); ++i) {
        for (qint64 n = 0; n <= writes[i].bytes.size(); ++n) {
            const QByteArray cut = withWrite(image, writes[i], n);
            const auto byCount = readByCount(cut), toMark = readToEndMark(cut);
            EXPECT_TRUE(byCount == oldByCount || byCount == newByCount)
                << what << ": write " << i << " cut after " << n << " bytes";
            EXPECT_TRUE(toMark == oldToMark || toMark == newToMark)
                << what << ": write " << i << " cut after " << n << " bytes";
        }
        image = withWrite(image, writes[i], writes[i].bytes.size());
    }
    EXPECT_EQ(image.left(after.size()), after) << what;
}

} // namespace

TEST(WriteOrder, AppendAndDeleteCutAtAnyByteLeaveTheOldOrTheNewTable) {
    Folder f;
    DbfFile::create(f.file("T.DBF"), {{"KOD", 'N', 5, 0}, {"NAME", 'C', 20, 0}});
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    for (int k = 1; k <= 3; ++k) {
        checkEveryCut(f, "append", [&] {
            ds.Append();
            ds.FieldByName("KOD").SetAsInteger(k);
            ds.FieldByName("NAME").SetAsString(QStringLiteral("Школа №%1").arg(k));
            ds.Post();
        });
    }
    checkEveryCut(f, "delete", [&] {
        ds.setRecNo(2);
        ds.Delete();
    });
    EXPECT_EQ(storetest::headerCount(readBytes(f.file("T.DBF"))), 3u);
}

// ---- several writers on one table ----

// Another writer's changes made to the file under an open dataset (here by
// hand, as a program that does not share this process's memory copy would)
// are taken in by the next write, which then lands after them: an edit of a
// record they deleted is refused by its post, an append lands after theirs.
TEST(TwoWriters, WriteTakesInWhatAnotherWriterDidToTheFile) {
    Folder f;
    DbfFile::create(f.file("T.DBF"), {{"KOD", 'N', 5, 0}});
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    for (int k = 1; k <= 3; ++k) {
        ds.Append();
        ds.FieldByName("KOD").SetAsInteger(k);
        ds.Post();
    }
    // The other writer deletes record 2, changes record 3 and appends 4.
    QByteArray b = readBytes(f.file("T.DBF"));
    const int head = storetest::headerLength(b);
    b[head + 6] = '*';
    b.replace(head + 12, 6, "    30");
    b.chop(1);
    b.append("     4\x1A");
    b[4] = 4;
    storetest::writeBytes(f.file("T.DBF"), b);

    ds.setRecNo(2);
    ASSERT_EQ(ds.FieldByName("KOD").AsInteger(), 2);
    ds.Edit();
    ds.FieldByName("KOD").SetAsInteger(20);
    EXPECT_THROW(ds.Post(), StoreError); // the post reads the record: the other writer deleted it
    ds.Cancel();
    EXPECT_TRUE(ds.Deleted());
    ds.Append();
    ds.FieldByName("KOD").SetAsInteger(5);
    ds.Post();
    QList<int> kods;
    for (ds.First(); !ds.Eof(); ds.Next())
        kods << ds.FieldByName("KOD").AsInteger();
    EXPECT_EQ(kods, (QList<int>{1, 30, 4, 5}));
    const QByteArray after = readBytes(f.file("T.DBF"));
    EXPECT_EQ(storetest::headerCount(after), 5u);
    EXPECT_EQ(storetest::recordBytes(after, 1), QByteArray("*    2"));
    EXPECT_EQ(storetest::recordBytes(after, 4), QByteArray("     5"));
    EXPECT_EQ(after.size(), head + 5 * 6 + 1);
}

// Another writer changing records in place (the same records, as report
// entry does) costs an edit the reading of its own record only, however
// large the table; the other records keep what this copy read until it reads
// them again, and a new open reads the file as it stands.
TEST(TwoWriters, AnEditAfterChangesInPlaceReadsAgainOnlyItsRecord) {
    Folder f;
    DbfFile::create(f.file("T.DBF"), {{"KOD", 'N', 5, 0}});
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    for (int k = 1; k <= 2000; ++k) {
        ds.Append();
        ds.FieldByName("KOD").SetAsInteger(k);
        ds.Post();
    }
    // The other writer changes record 1500 in place.
    QByteArray b = readBytes(f.file("T.DBF"));
    b.replace(storetest::headerLength(b) + 1499 * 6, 6, "  9999");
    storetest::writeBytes(f.file("T.DBF"), b);

    resetCounters();
    ds.setRecNo(1);
    ds.Edit();
    ds.FieldByName("KOD").SetAsInteger(10);
    ds.Post();
    EXPECT_LE(counters().recordReads, 2u);
    ds.setRecNo(1500);
    EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), 1500);
    TADODataSet other;
    f.openTable(other, "select * from T");
    other.setRecNo(1500);
    EXPECT_EQ(other.FieldByName("KOD").AsInteger(), 9999);
    other.setRecNo(1);
    EXPECT_EQ(other.FieldByName("KOD").AsInteger(), 10);
    ds.RefreshRecord();
    EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), 9999);
}

// A post that rests on many fields of other records (a total of the rows
// above) reads each of those records again once, not once for each field.
TEST(TwoWriters, APostRestingOnOtherRecordsReadsEachOfThemOnce) {
    Folder f;
    DbfFile::create(f.file("T.DBF"), {{"N1", 'N', 5, 0}, {"N2", 'N', 5, 0}, {"N3", 'N', 5, 0}});
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    for (int k = 1; k <= 4; ++k) {
        ds.Append();
        ds.FieldByName("N1").SetAsInteger(k);
        ds.Post();
    }
    ds.setRecNo(4);
    ds.Edit();
    for (int row = 1; row <= 3; ++row)
        for (const char *field : {"N1", "N2", "N3"})
            ds.RestOn(field, row);
    ds.FieldByName("N2").SetAsInteger(6);
    resetCounters();
    ds.Post();
    EXPECT_EQ(counters().recordReads, 4u); // its own record and the three above
    EXPECT_EQ(ds.FieldByName("N2").AsInteger(), 6);
}

namespace {

constexpr int kWriters = 4;
constexpr int kRecordsEach = 500;

int seqOf(int writer, int i) {
    return writer * 1000 + i;
}

QString nameOf(int writer, int i) {
    return QStringLiteral("процесс %1, запись %2").arg(writer).arg(i);
}

// Every fifth post edits a record the writer appended two posts earlier.
bool editsAfter(int i) {
    return i % 5 == 4;
}

// One writer process: appends its records to T.DBF in the folder and edits
// some of them. Run when the test program is started with KVR_TABLE_WRITER.
int runWriter(const QString &folder, int writer) {
    try {
        TADOConnection con;
        con.setFolder(folder);
        con.Open();
        TADODataSet ds;
        ds.setConnection(&con);
        ds.setCommandText("select * from T");
        ds.Open();
        for (int i = 0; i < kRecordsEach; ++i) {
            ds.Append();
            ds.FieldByName("SEQ").SetAsInteger(seqOf(writer, i));
            ds.FieldByName("VAL").SetAsInteger(0);
            ds.FieldByName("NAME").SetAsString(nameOf(writer, i));
            ds.Post();
            if (editsAfter(i)) {
                if (!ds.Locate("SEQ", seqOf(writer, i - 2)))
                    throw StoreError(QStringLiteral("own record %1 not found").arg(i - 2));
                ds.Edit();
                ds.FieldByName("VAL").SetAsInteger(i);
                ds.Post();
            }
        }
        return 0;
    } catch (const StoreError &e) {
        std::fprintf(stderr, "writer %d: %s\n", writer, e.what());
        return 1;
    }
}

// The writer role is taken before the test program's main, so that a writer
// runs nothing but the table layer.
[[maybe_unused]] const int writerExit = [] {
    const char *role = std::getenv("KVR_TABLE_WRITER");
    if (!role)
        return 0;
    std::exit(runWriter(QString::fromLocal8Bit(std::getenv("KVR_TABLE_FOLDER")), std::atoi(role)));
}();

} // namespace

TEST(TwoWriters, ProcessesAppendingAndEditingOneTableLoseNothing) {
    Folder f;
    DbfFile::create(f.file("T.DBF"),
                    {{"SEQ", 'N', 6, 0}, {"VAL", 'N', 6, 0}, {"NAME", 'C', 40, 0}});
    std::vector<std::unique_ptr<QProcess>> writers;
    for (int w = 0; w < kWriters; ++w) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KVR_TABLE_WRITER", QString::number(w));
        env.insert("KVR_TABLE_FOLDER", f.path());
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(), {});
        writers.push_back(std::move(p));
    }
    for (auto &p : writers) {
        ASSERT_TRUE(p->waitForFinished(600000));
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
    }

    // Every reader reads the whole file: by the count, to the end mark.
    const QByteArray bytes = readBytes(f.file("T.DBF"));
    const int total = kWriters * kRecordsEach;
    ASSERT_EQ(storetest::headerCount(bytes), std::uint32_t(total));
    EXPECT_EQ(bytes.size(),
              storetest::headerLength(bytes) + total * storetest::recordLength(bytes) + 1);
    EXPECT_EQ(bytes.back(), char(0x1A));
    EXPECT_EQ(readToEndMark(bytes), readByCount(bytes));

    // Every record committed is there once, with its last edit.
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    EXPECT_EQ(ds.RecordCount(), total);
    std::set<int> seen;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        const int seq = ds.FieldByName("SEQ").AsInteger();
        const int w = seq / 1000, i = seq % 1000;
        EXPECT_TRUE(seen.insert(seq).second) << "twice: " << seq;
        EXPECT_EQ(ds.FieldByName("NAME").AsString(), nameOf(w, i));
        const int edited = i + 2 < kRecordsEach && editsAfter(i + 2) ? i + 2 : 0;
        EXPECT_EQ(ds.FieldByName("VAL").AsInteger(), edited) << seq;
    }
    EXPECT_EQ(int(seen.size()), total);
}
