// Printing through the templates on LibreOffice and the default print queue:
// the first print of a run (which starts the office) and later prints of a
// report of 100 records in repeat mode, a by-column consolidation of 200
// organisations by 60 rows, and the list of 2,000 organisations. Needs a
// default print queue (tools/print-queue.sh start).

#include "printing/PrintEngine.h"
#include "printing/PrintUnit.h"
#include "sheet/OfficeEngine.h"
#include "sheet/PrintQueue.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"
#include "store/FolderTable.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// Writes folder/table.DBF with the fields and the records (field -> text).
void writeTable(const QString &folder, const QString &table, const QVector<store::FieldDef> &fields,
                int count, const std::function<QString(int record, const QString &field)> &value) {
    store::DbfFile::create(QDir(folder).filePath(table + QStringLiteral(".DBF")), fields);
    store::FolderTable open(folder, table);
    store::TADODataSet &ds = open.ds;
    for (int k = 1; k <= count; ++k) {
        ds.Append();
        for (const store::FieldDef &f : fields)
            ds.FieldByName(f.name).SetAsString(value(k, f.name));
        ds.Post();
    }
}

struct Installation {
    QTemporaryDir dir;
    QString root() const { return dir.path() + u'/'; }
    QString blank() const { return root() + QStringLiteral("WED/BLANK/"); }
    QString org() const { return root() + QStringLiteral("DBF/D1/"); }

    Installation() {
        QDir(root()).mkpath(QStringLiteral("WED/BLANK"));
        QDir(root()).mkpath(QStringLiteral("DBF/D1"));
        paths::setProgramDirForTests(dir.path());
        appState().WorkDate = QDate(2015, 9, 1);
        writeTable(root() + "WED", "OTHE2016",
                   {{"KOD", 'N', 3, 0},
                    {"FAIL", 'C', 12, 0},
                    {"FAILTEXT", 'C', 12, 0},
                    {"GRUPPA", 'N', 3, 0}},
                   1, [](int, const QString &f) {
                       return f == u"KOD"        ? QStringLiteral("1")
                              : f == u"FAIL"     ? QStringLiteral("F1.DBF")
                              : f == u"FAILTEXT" ? QStringLiteral("BF1.XLS")
                                                 : QStringLiteral("2");
                   });
        QVector<store::FieldDef> report = {{"KODSTR", 'C', 5, 0}, {"NAME", 'C', 60, 0}};
        for (int c = 1; c <= 12; ++c)
            report << store::FieldDef{QStringLiteral("N%1").arg(c), 'N', 10, 0};
        writeTable(org(), "F12016", report, 100, [](int k, const QString &f) {
            return f == u"KODSTR" ? QString::number(k)
                   : f == u"NAME" ? QStringLiteral("Показатель номер %1").arg(k)
                                  : QString::number(k * 100 + f.mid(1).toInt());
        });
        QVector<store::FieldDef> svod = {
            {"NAME", 'C', 40, 0}, {"KODSTR", 'C', 5, 0}, {"TOTAL", 'C', 15, 0}};
        for (int j = 1; j <= 200; ++j)
            svod << store::FieldDef{QStringLiteral("NNN%1").arg(j), 'C', 15, 0};
        writeTable(org(), "FTEMP", svod, 60, [](int k, const QString &f) {
            return f == u"NAME" ? QStringLiteral("Показатель %1").arg(k) : QString::number(k);
        });
        QVector<store::FieldDef> school;
        for (const char *f :
             {"KOD", "NAME", "INN_O", "RYKORG", "RYKFIN", "OKPO_K", "OKONX_K", "ADRES", "TELEF"})
            school << store::FieldDef{QString::fromLatin1(f), 'C', 40, 0};
        writeTable(root(), "SCHOOL", school, 2000, [](int k, const QString &f) {
            return f == u"KOD" ? QString::number(k)
                               : QStringLiteral("%1 организации %2").arg(f).arg(k);
        });

        // The templates, through an office of their own.
        sheet::OfficeEngine office;
        auto report1 = office.addWorkbook();
        sheet::Table line = {{sheet::Value::text("#CCC"), sheet::Value::text("#ORG")}};
        for (int c = 1; c <= 12; ++c)
            line[0].push_back(sheet::Value::text(QStringLiteral("#A1N%1").arg(c)));
        report1->setText(1, 1, QStringLiteral("3;14;"));
        report1->setText(2, 1, QStringLiteral("Учреждение: #TORG, #YR1/#YR2"));
        report1->setValues(3, 1, line);
        report1->drawBorders(3, 1, 3, 14);
        report1->saveAs(blank() + "BF1.XLS");
        auto svodBook = office.addWorkbook();
        svodBook->setText(3, 1, QStringLiteral("Свод по столбцу"));
        svodBook->saveAs(blank() + "BFSVOD.XLS");
        auto org = office.addWorkbook();
        org->setText(1, 1, QStringLiteral("5;9;"));
        org->setText(2, 1, QStringLiteral("Список организаций"));
        org->saveAs(blank() + "BORG.XLS");
    }
};

Installation &installation() {
    static Installation inst;
    return inst;
}

using OpenTable = store::FolderTable;

bool failed = false;

void printReport() {
    OpenTable t(installation().org(), QStringLiteral("F12016"));
    PrintByTemplate(t.ds, 1, 16, QStringLiteral("Школа № 1"));
}

void BM_FirstPrintOfA100RecordReport(benchmark::State &state) {
    installation();
    for (auto _ : state) {
        printing::EndPrintEngine();
        printReport();
    }
    if (failed)
        state.SkipWithError("the print failed");
}
BENCHMARK(BM_FirstPrintOfA100RecordReport)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LaterPrintOfA100RecordReport(benchmark::State &state) {
    printReport(); // the office runs from here on
    for (auto _ : state)
        printReport();
    if (failed)
        state.SkipWithError("the print failed");
}
BENCHMARK(BM_LaterPrintOfA100RecordReport)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ByColumnSheet200x60(benchmark::State &state) {
    QStringList names;
    for (int j = 1; j <= 200; ++j)
        names << QStringLiteral("Средняя школа № %1").arg(j);
    printReport();
    for (auto _ : state) {
        OpenTable t(installation().org(), QStringLiteral("FTEMP"));
        PrintColumnSvod(t.ds, 200, QStringLiteral("Управление образования (Все)"), names);
    }
    if (failed)
        state.SkipWithError("the print failed");
}
BENCHMARK(BM_ByColumnSheet200x60)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_OrganisationList2000(benchmark::State &state) {
    printReport();
    for (auto _ : state) {
        OpenTable t(installation().root(), QStringLiteral("SCHOOL"));
        PrintOrganisationList(t.ds);
    }
    if (failed)
        state.SkipWithError("the list failed");
}
BENCHMARK(BM_OrganisationList2000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    msg::setMessageHandler([](const msg::Request &r) {
        failed = true;
        fprintf(stderr, "message: %s\n", qPrintable(msg::displayText(r.text)));
        return msg::Answer::Ok;
    });
    // The list is handed to nobody: the user's program is not started here.
    sheet::setEngineFactory([] {
        sheet::OfficeEngine::Options options;
        options.viewer = [](const QString &path) { return QFile::remove(path); };
        return std::make_unique<sheet::OfficeEngine>(options);
    });
    if (sheet::defaultPrinter().isEmpty()) {
        fprintf(stderr, "no default print queue: run tools/print-queue.sh start\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printing::EndPrintEngine();
    return 0;
}
