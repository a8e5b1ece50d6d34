// Rebuilding every organisation's report tables on new blanks: 30 reports of
// 20 rows and 12 numeric columns per organisation, each new blank with a
// column added and two rows more. The setup (laying out the tables) is not
// timed; each iteration rebuilds a fresh copy. In the same iteration the
// same tables are copied with QFile::copy into a scratch folder whose
// subfolders exist already: "copy_s" is that time and "ratio" the rebuild's
// time over it.

#include "books/ServiceRoutines.h"
#include "shell/Paths.h"
#include "store/Dataset.h"
#include "store/FolderTable.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

namespace {

constexpr int kReports = 30;
constexpr int kRows = 20;
constexpr int kNumbers = 12;
constexpr int kYear = 2026;

QVector<store::FieldDef> fields(bool added) {
    QVector<store::FieldDef> defs = {{"KODSTR", 'C', 5, 0}, {"NAME", 'C', 60, 0}};
    for (int i = 1; i <= kNumbers + (added ? 1 : 0); ++i)
        defs.push_back({"N" + QString::number(i), 'N', 10, 0});
    return defs;
}

void writeRows(const QString &path, const QVector<store::FieldDef> &defs, int rows, bool values) {
    store::DbfFile::create(path, defs);
    const QFileInfo info(path);
    store::FolderTable open(info.absolutePath(), info.fileName());
    store::TADODataSet &ds = open.ds;
    for (int r = 1; r <= rows; ++r) {
        ds.Append();
        ds.FieldByName("KODSTR").SetAsString(QString::number(r));
        ds.FieldByName("NAME").SetAsString(QStringLiteral("Показатель ") + QString::number(r));
        if (values)
            for (int i = 1; i <= kNumbers; ++i)
                ds.FieldByName("N" + QString::number(i)).SetAsInteger(r * 100 + i);
        ds.Post();
    }
}

// A program folder with the catalogue, the old and new blanks and every
// organisation's tables, laid out once and copied for each iteration.
struct Installation {
    QTemporaryDir dir;
    QString master;

    explicit Installation(int organisations) {
        master = dir.filePath("master/");
        const QString wed = master + "WED/";
        QDir().mkpath(wed);
        store::DbfFile::create(master + "SCHOOL.DBF", {{"KOD", 'N', 6, 0}});
        store::DbfFile::create(wed + "OTHE" + QString::number(kYear) + ".DBF",
                               {{"FAIL", 'C', 12, 0}});
        {
            store::FolderTable open(master, QStringLiteral("SCHOOL"));
            store::TADODataSet &ds = open.ds;
            for (int k = 1; k <= organisations; ++k) {
                ds.Append();
                ds.FieldByName("KOD").SetAsInteger(k);
                ds.Post();
            }
            store::FolderTable catalogueOpen(wed, QStringLiteral("OTHE") + QString::number(kYear));
            store::TADODataSet &cat = catalogueOpen.ds;
            for (int r = 1; r <= kReports; ++r) {
                cat.Append();
                cat.FieldByName("FAIL").SetAsString("R" + QString::number(r) + ".DBF");
                cat.Post();
            }
        }
        const QString oldPath = dir.filePath("old.DBF");
        writeRows(oldPath, fields(false), kRows, true);
        for (int r = 1; r <= kReports; ++r) {
            writeRows(wed + "R" + QString::number(r) + ".DBF", fields(false), kRows, false);
            writeRows(wed + "OR" + QString::number(r) + ".DBF", fields(true), kRows + 2, false);
        }
        for (int k = 1; k <= organisations; ++k) {
            const QString org = master + "DBF/D" + QString::number(k) + "/";
            QDir().mkpath(org);
            for (int r = 1; r <= kReports; ++r)
                QFile::copy(oldPath,
                            org + "R" + QString::number(r) + QString::number(kYear) + ".DBF");
        }
    }

    // A fresh copy of the master folder.
    QString copy(int n) {
        const QString target = dir.filePath("run" + QString::number(n) + "/");
        QDir().mkpath(target);
        std::function<void(const QString &, const QString &)> copyDir = [&](const QString &from,
                                                                            const QString &to) {
            QDir().mkpath(to);
            const QDir d(from);
            for (const QString &f : d.entryList(QDir::Files))
                QFile::copy(from + f, to + f);
            for (const QString &s : d.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                copyDir(from + s + "/", to + s + "/");
        };
        copyDir(master, target);
        return target;
    }
};

// Seconds taken to copy every organisation's report tables of the program
// folder into Scratch, one subfolder per organisation made beforehand.
double copySeconds(const QString &prog, const QString &scratch, int organisations) {
    QStringList from, to;
    for (int k = 1; k <= organisations; ++k) {
        const QString sub = "D" + QString::number(k) + "/";
        QDir().mkpath(scratch + sub);
        for (int r = 1; r <= kReports; ++r) {
            const QString file = "R" + QString::number(r) + QString::number(kYear) + ".DBF";
            from.append(prog + "DBF/" + sub + file);
            to.append(scratch + sub + file);
        }
    }
    QElapsedTimer timer;
    timer.start();
    for (qsizetype i = 0; i < from.size(); ++i)
        QFile::copy(from[i], to[i]);
    return double(timer.nsecsElapsed()) / 1e9;
}

void BM_RebuildReportTables(benchmark::State &state) {
    const int organisations = static_cast<int>(state.range(0));
    Installation inst(organisations);
    int n = 0;
    double copied = 0, rebuilt = 0;
    for (auto _ : state) {
        const QString prog = inst.copy(n++);
        const QString scratch = inst.dir.filePath("scratch" + QString::number(n) + "/");
        copied += copySeconds(prog, scratch, organisations);
        paths::setProgramDirForTests(prog);
        QElapsedTimer timer;
        timer.start();
        const service::RebuildResult r = service::RebuildReportTables(QDate(kYear, 10, 1));
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        rebuilt += seconds;
        state.SetIterationTime(seconds);
        if (!r.ok || r.tablesRebuilt != organisations * kReports)
            state.SkipWithError("the rebuild failed");
        QDir(prog).removeRecursively();
        QDir(scratch).removeRecursively();
    }
    paths::setProgramDirForTests(QString());
    const double iterations = double(state.iterations());
    state.counters["tables"] = organisations * kReports;
    state.counters["s_per_table"] = rebuilt / iterations / (organisations * kReports);
    state.counters["copy_s"] = copied / iterations;
    state.counters["ratio"] = rebuilt / copied;
}
BENCHMARK(BM_RebuildReportTables)
    ->Arg(100)
    ->Arg(2000)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseManualTime();

} // namespace

BENCHMARK_MAIN();
