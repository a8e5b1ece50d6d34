// Opening a report table and reading every cell: the table layer against
// shapelib's DBF reader on the same file.
//
// The table has the shape of a real report: KODSTR C(10), NAME C(200),
// KODN N(5), KODPOKAZ N(10), N1..N30 N(12,2), 60 rows.

#include "store/Dataset.h"

#include <benchmark/benchmark.h>
#include <shapefil.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstring>

namespace {

constexpr int kRows = 60;
constexpr int kNumbers = 30;

struct ReportTable {
    QTemporaryDir dir;
    QString path;

    ReportTable() {
        path = dir.filePath("F12016.DBF");
        QVector<store::FieldDef> defs = {{"KODSTR", 'C', 10, 0},
                                         {"NAME", 'C', 200, 0},
                                         {"KODN", 'N', 5, 0},
                                         {"KODPOKAZ", 'N', 10, 0}};
        for (int i = 1; i <= kNumbers; ++i)
            defs.push_back({"N" + QString::number(i), 'N', 12, 2});
        store::DbfFile::create(path, defs);
        store::TADOConnection con;
        con.setFolder(dir.path());
        con.Open();
        store::TADODataSet ds;
        ds.setConnection(&con);
        ds.setCommandText("select * from F12016");
        ds.Open();
        for (int r = 1; r <= kRows; ++r) {
            ds.Append();
            ds.FieldByName("KODSTR").SetAsString(QString::number(r));
            ds.FieldByName("NAME").SetAsString("Численность обучающихся, строка " +
                                               QString::number(r));
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

} // namespace

BENCHMARK_MAIN();
