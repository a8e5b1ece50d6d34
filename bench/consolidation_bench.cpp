// Saving all consolidations of a period (30 reports) over 50, 500 and 2,000
// organisations of generated data, beside the time to read the same files'
// bytes into memory in the same run.
//
// Counters: read_s is the time to read every organisation table, the blanks
// and SCHOOL with QFile::readAll (warm cache, as the build sees them);
// ratio is the build's time over read_s; peak_mb the process's peak
// resident size above the start of the run (it must not grow with the
// organisations).

#include "consolidation/SvodEngine.h"
#include "store/Dataset.h"
#include "store/FolderTable.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>

namespace {

constexpr int kYear = 2016;
constexpr int kReports = 30;
constexpr int kVariants = 4; // distinct tables per report, spread over the organisations

struct ReportShape {
    QString base;
    int group;
    int rows;
    int columns;
};

QVector<ReportShape> shapes() {
    QVector<ReportShape> out;
    out.push_back({QStringLiteral("F0"), 1, 24, 2});
    out.push_back({QStringLiteral("F1"), 2, 4, 16});
    out.push_back({QStringLiteral("F3A"), 4, 12, 14});
    out.push_back({QStringLiteral("F4S"), 5, 12, 14});
    out.push_back({QStringLiteral("F7"), 7, 20, 17});
    out.push_back({QStringLiteral("F40"), 40, 10, 6});
    out.push_back({QStringLiteral("F46"), 46, 15, 8});
    out.push_back({QStringLiteral("F47"), 47, 12, 10});
    for (int i = int(out.size()); i < kReports; ++i)
        out.push_back({QStringLiteral("R%1").arg(i), i % 2 ? 12 : 2, 18, 12});
    return out;
}

QVector<store::FieldDef> blankFields(const ReportShape &s) {
    // Wide row codes: the list report gathers the rows of every organisation.
    QVector<store::FieldDef> f = {
        {"KODSTR", 'C', 6, 0}, {"NAME", 'C', 60, 0}, {"KODN", 'N', 6, 0}, {"KODPOKAZ", 'C', 10, 0}};
    for (int k = 1; k <= s.columns; ++k)
        f.push_back({QStringLiteral("N%1").arg(k), 'N', 12, 2});
    return f;
}

void fill(const QString &folder, const QString &table, const ReportShape &s, int variant,
          bool values) {
    store::DbfFile::create(folder + table + ".DBF", blankFields(s));
    store::FolderTable open(folder, table);
    store::TADODataSet &ds = open.ds;
    for (int r = 1; r <= s.rows; ++r) {
        ds.Append();
        ds.FieldByName("KODSTR").SetAsString(QString::number(r));
        ds.FieldByName("NAME").SetAsString(QStringLiteral("Показатель %1").arg(r));
        ds.FieldByName("KODN").SetAsInteger(r);
        if (values)
            for (int k = 1; k <= s.columns; ++k)
                if ((r + k + variant) % 5 != 0)
                    ds.FieldByName(QStringLiteral("N%1").arg(k)).SetAsFloat(r * 3 + k + variant);
        ds.Post();
    }
}

// An installation of n organisations, each with every report (one in ten
// lacks a few), made once per size.
struct Installation {
    QTemporaryDir dir;
    QString root;
    QStringList files; // what a build reads
    explicit Installation(int n) {
        root = dir.path() + "/";
        const QString wed = root + "WED/";
        QDir().mkpath(wed);
        QDir().mkpath(root + "DBF");
        store::DbfFile::create(root + "SCHOOL.DBF", {{"KOD", 'N', 6, 0},
                                                     {"NAME", 'C', 60, 0},
                                                     {"KODCITY", 'N', 2, 0},
                                                     {"KOD1", 'N', 2, 0},
                                                     {"KOD2", 'N', 2, 0},
                                                     {"KOD3", 'N', 2, 0},
                                                     {"KOD4", 'N', 2, 0}});
        {
            store::FolderTable open(root, QStringLiteral("SCHOOL"));
            store::TADODataSet &ds = open.ds;
            for (int k = 1; k <= n; ++k) {
                ds.Append();
                ds.FieldByName("KOD").SetAsInteger(k);
                ds.FieldByName("NAME").SetAsString(QStringLiteral("Школа %1").arg(k));
                ds.FieldByName("KODCITY").SetAsInteger(1 + k % 4);
                ds.FieldByName("KOD3").SetAsInteger(1 + k % 3);
                ds.FieldByName("KOD4").SetAsInteger(1 + k % 2);
                ds.Post();
            }
        }
        files << root + "SCHOOL.DBF";

        QVector<store::FieldDef> cat = {{"KOD", 'N', 3, 0},
                                        {"NAME", 'C', 60, 0},
                                        {"FAIL", 'C', 12, 0},
                                        {"GRUPPA", 'N', 3, 0},
                                        {"KOLSTOLB", 'N', 3, 0}};
        for (int i = 1; i <= 28; ++i)
            cat << store::FieldDef{QStringLiteral("VKL%1").arg(i), 'N', 2, 0};
        store::DbfFile::create(wed + QStringLiteral("OTHE%1.DBF").arg(kYear), cat);
        store::FolderTable catalogueOpen(wed, QStringLiteral("OTHE%1").arg(kYear));
        store::TADODataSet &c = catalogueOpen.ds;
        const QVector<ReportShape> all = shapes();
        // Generated variants of every report, copied into the folders.
        const QString gen = root + "GEN/";
        QDir().mkpath(gen);
        for (int i = 0; i < all.size(); ++i) {
            const ReportShape &s = all[i];
            c.Append();
            c.FieldByName("KOD").SetAsInteger(i + 1);
            c.FieldByName("NAME").SetAsString(s.base);
            c.FieldByName("FAIL").SetAsString(s.base + ".DBF");
            c.FieldByName("GRUPPA").SetAsInteger(s.group);
            c.FieldByName("KOLSTOLB").SetAsInteger(s.columns);
            for (int k = 1; k <= 28; ++k)
                c.FieldByName(QStringLiteral("VKL%1").arg(k)).SetAsInteger(1);
            c.Post();
            fill(wed, s.base, s, 0, false);
            files << wed + s.base + ".DBF";
            for (int v = 0; v < kVariants; ++v)
                fill(gen, QStringLiteral("%1_%2").arg(s.base).arg(v), s, v, true);
        }
        for (int k = 1; k <= n; ++k) {
            const QString folder = root + QStringLiteral("DBF/D%1/").arg(k);
            QDir().mkpath(folder);
            for (int i = 0; i < all.size(); ++i) {
                if (k % 10 == 0 && i % 7 == 3)
                    continue; // a missing report
                const QString to = folder + all[i].base + QString::number(kYear) + ".DBF";
                if (!QFile::copy(
                        gen + QStringLiteral("%1_%2.DBF").arg(all[i].base).arg(k % kVariants), to))
                    throw std::runtime_error("copy failed");
                files << to;
            }
        }
        QDir(gen).removeRecursively();
    }
};

Installation &installation(int n) {
    static std::map<int, std::unique_ptr<Installation>> cache;
    auto &slot = cache[n];
    if (!slot)
        slot = std::make_unique<Installation>(n);
    return *slot;
}

double readBytes(const QStringList &files) {
    const auto t0 = std::chrono::steady_clock::now();
    qint64 total = 0;
    for (const QString &path : files) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            total += f.readAll().size();
    }
    benchmark::DoNotOptimize(total);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Resident memory of the process from /proc/self/status (VmRSS, or VmHWM
// for the peak since the last resetPeak), in MB.
double statusMb(const char *key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(std::strlen(key))).trimmed().split(' ').value(0).toDouble() /
                   1024.0;
    return 0;
}

void resetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

void BM_SaveAllSvods(benchmark::State &state) {
    Installation &in = installation(int(state.range(0)));
    double read = 0, build = 0, peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        read += readBytes(in.files);
        const double before = statusMb("VmRSS:");
        resetPeak();
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        const svod::SaveAllResult r = svod::SaveAllSvods({in.root, kYear, 1, nullptr});
        build += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        peak = std::max(peak, statusMb("VmHWM:") - before);
        if (!r.Ok) {
            state.SkipWithError(r.Error.toStdString().c_str());
            break;
        }
    }
    const double n = double(state.iterations());
    state.counters["read_s"] = read / n;
    state.counters["build_s"] = build / n;
    state.counters["ratio"] = build / read;
    state.counters["files"] = double(in.files.size());
    state.counters["peak_mb"] = peak; // resident growth during the run
}

BENCHMARK(BM_SaveAllSvods)
    ->Arg(50)
    ->Arg(500)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
