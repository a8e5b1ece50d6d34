// Checking every report of a data folder (CheckReports in mode 2): a
// generated period of 20 reports of 30 rows and 10 data columns, with rules
// within reports (some over every column, some with named values) and
// relations between reports, all of which hold. Each iteration is one whole
// run; the counters give the tables opened and the rules evaluated per run.

#include "checks/CheckUnit.h"
#include "shell/Messages.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"
#include "store/Dataset.h"
#include "store/FolderTable.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

namespace {

constexpr int kReports = 20;
constexpr int kRows = 30;
constexpr int kColumns = 10;

struct Lcg {
    std::uint64_t s = 20160901;
    int below(int n) {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return int((s >> 33) % std::uint64_t(n));
    }
};

void append(store::TADOConnection &con, const QString &table,
            const QList<QList<QPair<QString, QVariant>>> &records) {
    store::TADODataSet ds;
    ds.setConnection(&con);
    ds.setCommandText(QStringLiteral("select * from ") + table);
    ds.Open();
    for (const auto &rec : records) {
        ds.Append();
        for (const auto &[field, value] : rec)
            ds.FieldByName(field).SetAsVariant(value);
        ds.Post();
    }
}

// A program folder with WED/OTHE2016, FORM2016, PROV2016 and DBF/D1 holding
// every report; all reports hold the same figures, so relations hold.
void writePeriod(const QString &root, int rules, int relations) {
    const QString wed = root + QStringLiteral("WED");
    const QString data = root + QStringLiteral("DBF/D1");
    QDir().mkpath(wed);
    QDir().mkpath(data);
    using store::FieldDef;
    store::DbfFile::create(wed + QStringLiteral("/OTHE2016.DBF"), {{"KOD", 'N', 4, 0},
                                                                   {"NAME", 'C', 40, 0},
                                                                   {"FAIL", 'C', 12, 0},
                                                                   {"NSTOLB1", 'N', 3, 0},
                                                                   {"NAM1", 'C', 40, 0}});
    store::DbfFile::create(wed + QStringLiteral("/FORM2016.DBF"), {{"IDEN", 'C', 10, 0},
                                                                   {"KOD_OTH", 'N', 4, 0},
                                                                   {"KOLONK", 'N', 3, 0},
                                                                   {"FOR_V", 'C', 200, 0},
                                                                   {"KODSTR", 'C', 10, 0},
                                                                   {"PRIMEH", 'C', 60, 0},
                                                                   {"KODD", 'C', 6, 0}});
    store::DbfFile::create(wed + QStringLiteral("/PROV2016.DBF"), {{"NFORM1", 'N', 4, 0},
                                                                   {"NSTR1", 'N', 4, 0},
                                                                   {"PEREM1", 'C', 10, 0},
                                                                   {"NFORM2", 'N', 4, 0},
                                                                   {"NSTR2", 'N', 4, 0},
                                                                   {"PEREM2", 'C', 200, 0},
                                                                   {"PRIMEH", 'C', 60, 0}});
    QVector<FieldDef> reportFields{{"KODSTR", 'C', 6, 0}, {"NAME", 'C', 30, 0}};
    for (int c = 1; c <= kColumns; ++c)
        reportFields.append({QStringLiteral("N") + QString::number(c), 'N', 12, 0});

    Lcg rng;
    QList<QList<QPair<QString, QVariant>>> figures;
    for (int r = 1; r <= kRows; ++r) {
        QList<QPair<QString, QVariant>> rec{{"KODSTR", QString::number(r)}};
        for (int c = 1; c <= kColumns; ++c)
            rec.append({QStringLiteral("N") + QString::number(c), rng.below(5000)});
        figures.append(rec);
    }
    // Row 1 is the sum of rows 2 to 4 in every column.
    for (int c = 1; c <= kColumns; ++c) {
        double s = 0;
        for (int r = 2; r <= 4; ++r)
            s += figures[r - 1][c].second.toDouble();
        figures[0][c].second = s;
    }

    store::TADOConnection wedCon, dataCon;
    wedCon.setFolder(wed);
    wedCon.Open();
    dataCon.setFolder(data);
    dataCon.Open();
    QList<QList<QPair<QString, QVariant>>> catalogue;
    for (int k = 1; k <= kReports; ++k) {
        const QString base = QStringLiteral("R") + QString::number(k);
        catalogue.append({{"KOD", k},
                          {"NAME", QStringLiteral("Отчет ") + QString::number(k)},
                          {"FAIL", base + QStringLiteral(".DBF")},
                          {"NSTOLB1", 3},
                          {"NAM1", QStringLiteral("Графа;1")}});
        store::DbfFile::create(data + QLatin1Char('/') + base + QStringLiteral("2016.DBF"),
                               reportFields);
        append(dataCon, base + QStringLiteral("2016"), figures);
    }
    append(wedCon, QStringLiteral("OTHE2016"), catalogue);

    QList<QList<QPair<QString, QVariant>>> form;
    for (int d = 0; d < 50; ++d) // named values: row d % kRows + 1, N(d % kColumns + 1)
        form.append({{"KOD_OTH", d % kReports + 1},
                     {"KOLONK", d % kColumns + 3},
                     {"KODSTR", QString::number(d % kRows + 1)},
                     {"KODD", QString::number(d)}});
    for (int k = 0; k < rules; ++k) {
        const bool everyColumn = k % 5 == 0;
        const int other = 5 + k % (kRows - 5);
        form.append({{"IDEN", QStringLiteral("A1")},
                     {"KOD_OTH", k % kReports + 1},
                     {"KOLONK", everyColumn ? 0 : 3 + k % kColumns},
                     {"FOR_V", QStringLiteral("A2+A3+A4+A%1-A%1+AA%2-AA%2").arg(other).arg(k % 50)},
                     {"KODSTR", QStringLiteral("01")},
                     {"PRIMEH", QStringLiteral("Строка 1 = 2 + 3 + 4")}});
    }
    append(wedCon, QStringLiteral("FORM2016"), form);

    QList<QList<QPair<QString, QVariant>>> prov;
    for (int k = 0; k < relations; ++k) {
        const int row = k % kRows + 1;
        const QString field = QStringLiteral("N") + QString::number(k % kColumns + 1);
        prov.append({{"NFORM1", k % kReports + 1},
                     {"NSTR1", row},
                     {"PEREM1", field},
                     {"NFORM2", (k * 7) % kReports + 1},
                     {"NSTR2", row},
                     {"PEREM2", field + QStringLiteral("+AA1-AA1")},
                     {"PRIMEH", QStringLiteral("Как в другом отчете")}});
    }
    append(wedCon, QStringLiteral("PROV2016"), prov);
}

void BM_CheckEveryReport(benchmark::State &state) {
    const int rules = int(state.range(0));
    const int relations = int(state.range(1));
    QTemporaryDir dir;
    const QString root = dir.path() + QLatin1Char('/');
    writePeriod(root, rules, relations);
    paths::setProgramDirForTests(root);

    int messages = 0, dialogs = 0;
    msg::setMessageHandler([&](const msg::Request &) {
        ++messages;
        return msg::Answer::Ok;
    });
    msg::setDialogHandler([&](QDialog &) {
        ++dialogs;
        return int(QDialog::Accepted);
    });

    store::FolderTable catalogueOpen(root + QStringLiteral("WED"), QStringLiteral("OTHE2016"));
    store::TADODataSet &catalogue = catalogueOpen.ds;

    std::uint64_t opens = 0;
    for (auto _ : state) {
        store::resetCounters();
        CheckReports(catalogue, 2, 0, 1, 16, -1);
        opens = store::counters().tableOpens;
    }
    // Only the end message: every rule and relation holds.
    if (messages != int(state.iterations()) || dialogs != 0 || ErrorCount != 0)
        state.SkipWithError("the generated rules do not all hold");
    state.counters["table_opens_per_run"] = double(opens);
    state.counters["rules"] = rules;
    state.counters["relations"] = relations;

    catalogue.Close();
    DM().ADOConWED.Close();
    DM().ADOConDBF.Close();
    msg::setMessageHandler({});
    msg::setDialogHandler({});
    paths::setProgramDirForTests(QString());
}
BENCHMARK(BM_CheckEveryReport)
    ->Args({50, 20})
    ->Args({500, 200})
    ->Args({2000, 800})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
