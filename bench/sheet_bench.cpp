// The spreadsheet layer on LibreOffice: starting and ending a private office,
// and filling the by-column consolidation's largest sheet (200 organisation
// columns by 60 rows) in one block against cell by cell, and copying a
// template's row 100 times.

#include "sheet/OfficeEngine.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <memory>

namespace {

constexpr int kColumns = 200;
constexpr int kRows = 60;

sheet::Table sampleTable() {
    sheet::Table table(kRows, std::vector<sheet::Value>(kColumns));
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c)
            table[r][c] = (c % 4 == 0) ? sheet::Value::text(QStringLiteral("Школа %1").arg(c))
                                       : sheet::Value::number(r * 1000 + c);
    return table;
}

sheet::OfficeEngine &sharedEngine() {
    static sheet::OfficeEngine engine;
    return engine;
}

void BM_StartAndQuit(benchmark::State &state) {
    for (auto _ : state) {
        sheet::OfficeEngine engine;
        engine.quit();
    }
}
BENCHMARK(BM_StartAndQuit)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FillBatched(benchmark::State &state) {
    const sheet::Table table = sampleTable();
    auto book = sharedEngine().addWorkbook();
    for (auto _ : state)
        book->setValues(6, 1, table);
    state.SetItemsProcessed(state.iterations() * kRows * kColumns);
}
BENCHMARK(BM_FillBatched)->Unit(benchmark::kMillisecond);

void BM_ReadBatched(benchmark::State &state) {
    auto book = sharedEngine().addWorkbook();
    book->setValues(6, 1, sampleTable());
    for (auto _ : state)
        benchmark::DoNotOptimize(book->values(6, 1, kRows, kColumns));
    state.SetItemsProcessed(state.iterations() * kRows * kColumns);
}
BENCHMARK(BM_ReadBatched)->Unit(benchmark::kMillisecond);

void BM_FillCellByCell(benchmark::State &state) {
    const sheet::Table table = sampleTable();
    auto book = sharedEngine().addWorkbook();
    for (auto _ : state)
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kColumns; ++c)
                book->setValue(6 + r, 1 + c, table[r][c]);
    state.SetItemsProcessed(state.iterations() * kRows * kColumns);
}
// About 20 s a round: once is enough to see the difference.
BENCHMARK(BM_FillCellByCell)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_FrameAndFitSheet(benchmark::State &state) {
    auto book = sharedEngine().addWorkbook();
    book->setValues(6, 1, sampleTable());
    for (auto _ : state) {
        book->drawBorders(4, 1, 5 + kRows, kColumns);
        book->fitColumns(1, 1, kRows + 10, 131);
    }
}
BENCHMARK(BM_FrameAndFitSheet)->Unit(benchmark::kMillisecond);

// A template's repeat row copied 100 times: one at a time, and at once.
void BM_RowCopies(benchmark::State &state) {
    const bool atOnce = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto book = sharedEngine().addWorkbook();
        sheet::Table line(1);
        for (int c = 0; c < 16; ++c)
            line[0].push_back(sheet::Value::text(QStringLiteral("#A1N%1").arg(c)));
        book->setValues(7, 1, line);
        book->drawBorders(7, 1, 7, 16);
        state.ResumeTiming();
        if (atOnce)
            book->insertRowCopies(7, 100);
        else
            for (int i = 0; i < 100; ++i)
                book->insertRowCopy(7);
    }
}
BENCHMARK(BM_RowCopies)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv); // the office process is run through QProcess
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
