// The table layer against shapelib's DBF code on the same files: opening a
// report table and reading every cell; appending records; editing one field
// of every record, also while another program writes to the file; and
// appending to tables of different sizes, whose cost per record should not
// grow with the table.
//
// The report table has the shape of a real report: KODSTR C(10), NAME C(200),
// KODN N(5), KODPOKAZ N(10), N1..N30 N(12,2).
//
// Every post of the table layer writes the record and the header at once,
// so shapelib is measured with a header update after each record as well
// (and, for reference, without one: it then holds the count in memory until
// the file is closed).

#include "store/Dataset.h"
#include "store/FolderTable.h"
#include "store/SaveFile.h"

#include <benchmark/benchmark.h>
#include <shapefil.h>

#include "store/Cp1251.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstring>
#include <vector>

#include <sys/time.h>

namespace {

constexpr int kRows = 60;
constexpr int kNumbers = 30;

QVector<store::FieldDef> reportFields() {
    QVector<store::FieldDef> defs = {{"KODSTR", 'C', 10, 0},
                                     {"NAME", 'C', 200, 0},
                                     {"KODN", 'N', 5, 0},
                                     {"KODPOKAZ", 'N', 10, 0}};
    for (int i = 1; i <= kNumbers; ++i)
        defs.push_back({"N" + QString::number(i), 'N', 12, 2});
    return defs;
}

using OpenTable = store::FolderTable;

QString rowName(int r) {
    return "Численность обучающихся, строка " + QString::number(r);
}

struct ReportTable {
    QTemporaryDir dir;
    QString path;

    ReportTable() {
        path = dir.filePath("F12016.DBF");
        store::DbfFile::create(path, reportFields());
        OpenTable open(dir.path(), "F12016");
        store::TADODataSet &ds = open.ds;
        for (int r = 1; r <= kRows; ++r) {
            ds.Append();
            ds.FieldByName("KODSTR").SetAsString(QString::number(r));
            ds.FieldByName("NAME").SetAsString(rowName(r));
            ds.FieldByName("KODN").SetAsInteger(r);
            ds.FieldByName("KODPOKAZ").SetAsInteger(1000 + r);
            for (int i = 1; i <= kNumbers; ++i)
                if ((r + i) % 7 != 0) // some cells blank, as in real reports
                    ds.FieldByName("N" + QString::number(i)).SetAsFloat(r * 100 + i + 0.25);
            ds.Post();
        }
    }
};

ReportTable &table() {
    static ReportTable t;
    return t;
}

void BM_Store_OpenReadAll(benchmark::State &state) {
    ReportTable &t = table();
    store::TADOConnection con;
    con.setFolder(t.dir.path());
    con.Open();
    for (auto _ : state) {
        store::TADODataSet ds;
        ds.setConnection(&con);
        ds.setCommandText("select * from F12016");
        ds.Open();
        double sum = 0;
        qsizetype chars = 0;
        const int n = ds.FieldCount();
        for (ds.First(); !ds.Eof(); ds.Next()) {
            chars += ds.Fields(0).AsString().size();
            chars += ds.Fields(1).AsString().size();
            for (int i = 2; i < n; ++i)
                sum += ds.Fields(i).AsFloat();
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(chars);
    }
    state.SetItemsProcessed(state.iterations() * kRows * (kNumbers + 4));
}
BENCHMARK(BM_Store_OpenReadAll);

// The same, with every field found by name as the program's routines do.
void BM_Store_OpenReadAllByName(benchmark::State &state) {
    ReportTable &t = table();
    store::TADOConnection con;
    con.setFolder(t.dir.path());
    con.Open();
    QStringList names = {"KODSTR", "NAME", "KODN", "KODPOKAZ"};
    for (int i = 1; i <= kNumbers; ++i)
        names << "N" + QString::number(i);
    for (auto _ : state) {
        store::TADODataSet ds;
        ds.setConnection(&con);
        ds.setCommandText("select * from F12016");
        ds.Open();
        double sum = 0;
        qsizetype chars = 0;
        for (ds.First(); !ds.Eof(); ds.Next()) {
            chars += ds.FieldByName(names[0]).AsString().size();
            chars += ds.FieldByName(names[1]).AsString().size();
            for (int i = 2; i < names.size(); ++i)
                sum += ds.FieldByName(names[i]).AsFloat();
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(chars);
    }
    state.SetItemsProcessed(state.iterations() * kRows * (kNumbers + 4));
}
BENCHMARK(BM_Store_OpenReadAllByName);

void BM_Shapelib_OpenReadAll(benchmark::State &state) {
    ReportTable &t = table();
    const QByteArray path = QFile::encodeName(t.path);
    for (auto _ : state) {
        DBFHandle h = DBFOpen(path.constData(), "rb");
        if (!h) {
            state.SkipWithError("DBFOpen failed");
            return;
        }
        double sum = 0;
        std::size_t chars = 0;
        const int rows = DBFGetRecordCount(h);
        const int n = DBFGetFieldCount(h);
        for (int r = 0; r < rows; ++r) {
            chars += std::strlen(DBFReadStringAttribute(h, r, 0));
            chars += std::strlen(DBFReadStringAttribute(h, r, 1));
            for (int i = 2; i < n; ++i)
                sum += DBFReadDoubleAttribute(h, r, i);
        }
        DBFClose(h);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(chars);
    }
    state.SetItemsProcessed(state.iterations() * kRows * (kNumbers + 4));
}
BENCHMARK(BM_Shapelib_OpenReadAll);

// ---- writing ----

constexpr int kAppendRows = 10000;
constexpr int kEditRows = 5000;

// The values of the rows, made once, so that only the writing is measured.
struct Rows {
    std::vector<QString> codes, names;
    std::vector<QByteArray> codeBytes, nameBytes; // CP1251, for shapelib
    explicit Rows(int n) {
        for (int r = 1; r <= n; ++r) {
            codes.push_back(QString::number(r));
            names.push_back(rowName(r));
            codeBytes.push_back(codes.back().toLatin1());
            QByteArray b;
            store::cp1251::encode(names.back(), b);
            nameBytes.push_back(b);
        }
    }
};

const Rows &rows() {
    static const Rows r(kAppendRows);
    return r;
}

double cell(int r, int i) {
    return r * 100 + i + 0.25;
}

// Appends rows [from, to) of the report shape through one dataset.
void storeAppend(store::TADODataSet &ds, int from, int to) {
    const Rows &v = rows();
    for (int r = from; r < to; ++r) {
        ds.Append();
        ds.Fields(0).SetAsString(v.codes[std::size_t(r % kAppendRows)]);
        ds.Fields(1).SetAsString(v.names[std::size_t(r % kAppendRows)]);
        ds.Fields(2).SetAsInteger(r % 100000);
        ds.Fields(3).SetAsInteger(1000 + r);
        for (int i = 1; i <= kNumbers; ++i)
            ds.Fields(3 + i).SetAsFloat(cell(r, i));
        ds.Post();
    }
}

// The same rows through shapelib.
void shapelibAppend(DBFHandle h, int from, int to, bool headerEachRecord) {
    const Rows &v = rows();
    for (int r = from; r < to; ++r) {
        DBFWriteStringAttribute(h, r, 0, v.codeBytes[std::size_t(r % kAppendRows)].constData());
        DBFWriteStringAttribute(h, r, 1, v.nameBytes[std::size_t(r % kAppendRows)].constData());
        DBFWriteIntegerAttribute(h, r, 2, r % 100000);
        DBFWriteIntegerAttribute(h, r, 3, 1000 + r);
        for (int i = 1; i <= kNumbers; ++i)
            DBFWriteDoubleAttribute(h, r, 3 + i, cell(r, i));
        if (headerEachRecord)
            DBFUpdateHeader(h);
    }
}

DBFHandle shapelibCreate(const QString &path) {
    DBFHandle h = DBFCreateEx(QFile::encodeName(path).constData(), "LDID/201");
    if (!h)
        return nullptr;
    for (const store::FieldDef &d : reportFields())
        DBFAddField(h, d.name.toLatin1().constData(), d.type == 'C' ? FTString : FTDouble, d.length,
                    d.decimals);
    return h;
}

void BM_Store_Append(benchmark::State &state) {
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        store::DbfFile::create(dir.filePath("A.DBF"), reportFields());
        OpenTable open(dir.path(), "A");
        store::TADODataSet &ds = open.ds;
        state.ResumeTiming();
        storeAppend(ds, 0, kAppendRows);
    }
    state.SetItemsProcessed(state.iterations() * kAppendRows);
}
BENCHMARK(BM_Store_Append)->Unit(benchmark::kMillisecond);

void BM_Shapelib_Append(benchmark::State &state, bool headerEachRecord) {
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString path = dir.filePath("A.DBF");
        state.ResumeTiming();
        DBFHandle h = shapelibCreate(path);
        if (!h) {
            state.SkipWithError("DBFCreate failed");
            return;
        }
        shapelibAppend(h, 0, kAppendRows, headerEachRecord);
        DBFClose(h);
    }
    state.SetItemsProcessed(state.iterations() * kAppendRows);
}

BENCHMARK_CAPTURE(BM_Shapelib_Append, HeaderEachRecord, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Shapelib_Append, HeaderAtClose, false)->Unit(benchmark::kMillisecond);

// A report table of kEditRows rows, for the edits.
struct EditTable {
    QTemporaryDir dir;
    QString path;
    EditTable() {
        path = dir.filePath("E.DBF");
        store::DbfFile::create(path, reportFields());
        OpenTable open(dir.path(), "E");
        store::TADODataSet &ds = open.ds;
        storeAppend(ds, 0, kEditRows);
    }
};

EditTable &editTable() {
    static EditTable t;
    return t;
}

// Writes one field (N1) of every record, each record posted on its own;
// before(r) runs before the edit of record r.
template <typename Before> void editEveryRecord(store::TADODataSet &ds, int round, Before before) {
    int r = 0;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        before(r);
        ds.Edit();
        ds.Fields(4).SetAsFloat(cell(r++, round));
        ds.Post();
    }
}

void BM_Store_EditOneField(benchmark::State &state) {
    EditTable &t = editTable();
    OpenTable open(t.dir.path(), "E");
    int round = 0;
    for (auto _ : state)
        editEveryRecord(open.ds, ++round, [](int) {});
    state.SetItemsProcessed(state.iterations() * kEditRows);
}
BENCHMARK(BM_Store_EditOneField)->Unit(benchmark::kMillisecond);

// The same edits where a program works: the table among the 60 tables of an
// organisation's data folder inside the installation, whose every write
// clears the folder of what killed writes left there. range(0) 1: the folder
// at rest (its last change an hour back), read once; 0: changed a moment
// ago, read again at every write until its time is seconds back.
void BM_Store_EditOneFieldInInstallation(benchmark::State &state) {
    EditTable &t = editTable();
    const QDir dir(t.dir.path());
    for (int n = 1; n <= 60; ++n)
        QFile::copy(dir.filePath("E.DBF"), dir.filePath(QStringLiteral("F%1.DBF").arg(n)));
    if (state.range(0) == 1) {
        struct timeval back[2];
        ::gettimeofday(&back[0], nullptr);
        back[0].tv_sec -= 3600;
        back[1] = back[0];
        ::utimes(QFile::encodeName(dir.path()).constData(), back);
    }
    store::setLeftoverSweepRoot(dir.path());
    {
        OpenTable open(dir.path(), "E");
        int round = 0;
        for (auto _ : state)
            editEveryRecord(open.ds, ++round, [](int) {});
    }
    store::setLeftoverSweepRoot(QString());
    for (int n = 1; n <= 60; ++n)
        QFile::remove(dir.filePath(QStringLiteral("F%1.DBF").arg(n)));
    state.SetItemsProcessed(state.iterations() * kEditRows);
}
BENCHMARK(BM_Store_EditOneFieldInInstallation)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_Shapelib_EditOneField(benchmark::State &state, bool headerEachRecord) {
    EditTable &t = editTable();
    DBFHandle h = DBFOpen(QFile::encodeName(t.path).constData(), "r+b");
    if (!h) {
        state.SkipWithError("DBFOpen failed");
        return;
    }
    int round = 0;
    for (auto _ : state) {
        ++round;
        const int n = DBFGetRecordCount(h);
        for (int r = 0; r < n; ++r) {
            DBFWriteDoubleAttribute(h, r, 4, cell(r, round));
            if (headerEachRecord)
                DBFUpdateHeader(h);
        }
    }
    DBFClose(h);
    state.SetItemsProcessed(state.iterations() * kEditRows);
}

BENCHMARK_CAPTURE(BM_Shapelib_EditOneField, HeaderEachRecord, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Shapelib_EditOneField, HeaderAtClose, false)->Unit(benchmark::kMillisecond);

// Editing one field (N1) of every record of a table of range(0) records
// while another program saves another field (N2) of each record just before
// (shapelib, on a handle of its own): each post reads again the record it
// writes, with what the other writer saved there, and writes only its own
// field; the cost per edit must not grow with the table. shapelib, for
// reference, does the same two writes on two handles and reads nothing
// again (its second handle writes the whole record back, N2 as it was).
struct ChangedFile {
    QTemporaryDir dir;
    QString path;
    DBFHandle other = nullptr;
    explicit ChangedFile(int rows) {
        path = dir.filePath("C.DBF");
        store::DbfFile::create(path, reportFields());
        OpenTable open(dir.path(), "C");
        storeAppend(open.ds, 0, rows);
        other = DBFOpen(QFile::encodeName(path).constData(), "r+b");
    }
    ~ChangedFile() {
        if (other)
            DBFClose(other);
    }
    // The other program saves N2 of record r.
    void change(int r, int round) {
        DBFWriteDoubleAttribute(other, r, 5, cell(r, round + 1));
        DBFUpdateHeader(other);
    }
};

void BM_Store_EditChangedFile(benchmark::State &state) {
    const int rows = int(state.range(0));
    ChangedFile t(rows);
    OpenTable open(t.dir.path(), "C");
    int round = 0;
    for (auto _ : state) {
        ++round;
        editEveryRecord(open.ds, round, [&](int r) { t.change(r, round); });
    }
    state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_Store_EditChangedFile)->Arg(kRows)->Arg(kEditRows)->Unit(benchmark::kMicrosecond);

void BM_Shapelib_EditChangedFile(benchmark::State &state) {
    const int rows = int(state.range(0));
    ChangedFile t(rows);
    DBFHandle h = DBFOpen(QFile::encodeName(t.path).constData(), "r+b");
    int round = 0;
    for (auto _ : state) {
        ++round;
        for (int r = 0; r < rows; ++r) {
            t.change(r, round);
            DBFWriteDoubleAttribute(h, r, 4, cell(r, round));
            DBFUpdateHeader(h);
        }
    }
    DBFClose(h);
    state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_Shapelib_EditChangedFile)->Arg(kRows)->Arg(kEditRows)->Unit(benchmark::kMicrosecond);

// Appending kGrowRows records to a table that already holds range(0): the
// cost per record must not depend on the size of the table.
constexpr int kGrowRows = 5000;

void BM_Store_AppendToTableOfSize(benchmark::State &state) {
    const int size = int(state.range(0));
    QTemporaryDir dir;
    const QString path = dir.filePath("G.DBF");
    const QString seed = dir.filePath("seed.dbf"); // shapelib names its files .dbf
    {
        // The starting table, written once through shapelib.
        DBFHandle h = shapelibCreate(seed);
        if (!h) {
            state.SkipWithError("DBFCreate failed");
            return;
        }
        shapelibAppend(h, 0, size, false);
        DBFClose(h);
    }
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(path);
        QFile::copy(seed, path);
        OpenTable open(dir.path(), "G");
        store::TADODataSet &ds = open.ds;
        state.ResumeTiming();
        storeAppend(ds, size, size + kGrowRows);
        state.PauseTiming();
        ds.Close();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kGrowRows);
}
BENCHMARK(BM_Store_AppendToTableOfSize)
    ->Arg(0)
    ->Arg(20000)
    ->Arg(90000)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
