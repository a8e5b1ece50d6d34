#pragma once
// A small installation for the printing tests: the period 2015 / 2016 with
// its catalogue, the own requisites, and report tables of organisation 1
// made to measure by each test.

#include "shell/AppState.h"
#include "shell/Paths.h"
#include "support/DataModuleConnections.h"
#include "support/TableBuilder.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>

namespace printtest {

using testsupport::Record;

// The printed table: row code, name and the data columns N1..N12.
inline QVector<store::FieldDef> reportFields() {
    QVector<store::FieldDef> fields = {{"KODSTR", 'C', 5, 0}, {"NAME", 'C', 60, 0}};
    for (int c = 1; c <= 12; ++c)
        fields << store::FieldDef{QStringLiteral("N%1").arg(c), 'C', 20, 0};
    return fields;
}

// Record k: KODSTR "0k", NAME "Строка k", N1 = 10 k, N2 = 10 k + 1, ...
inline QList<Record> records(int count) {
    QList<Record> list;
    for (int k = 1; k <= count; ++k) {
        Record r = {{"KODSTR", QStringLiteral("%1").arg(k, 2, 10, QLatin1Char('0'))},
                    {"NAME", QStringLiteral("Строка %1").arg(k)}};
        for (int c = 1; c <= 12; ++c)
            r << qMakePair(QStringLiteral("N%1").arg(c), QVariant(QString::number(10 * k + c - 1)));
        list << r;
    }
    return list;
}

// The C locale as the default while it lives, as on machines that set no
// locale: what is printed must not depend on it.
struct CLocale {
    QLocale before;
    CLocale() { QLocale::setDefault(QLocale::c()); }
    ~CLocale() { QLocale::setDefault(before); }
};

struct CatalogueRow {
    int kod;
    QString fail;
    QString failText;
    int group;
};

class Installation {
public:
    QTemporaryDir dir;
    QString root() const { return dir.path() + QStringLiteral("/"); }
    QString wed() const { return root() + QStringLiteral("WED/"); }
    QString blank() const { return wed() + QStringLiteral("BLANK/"); }
    QString org() const { return root() + QStringLiteral("DBF/D1/"); }

    // Reports 1 (F1, group 2), 2 (F2, group 1), 3 (F3, group 47) and 4 (F4,
    // group 5, whose table is never there), named "Форма F1" ... "Форма F4".
    Installation() {
        QDir(root()).mkpath(QStringLiteral("WED/BLANK"));
        QDir(root()).mkpath(QStringLiteral("DBF/D1"));
        paths::setProgramDirForTests(dir.path());
        testsupport::closeDataModuleConnections();
        appState() = AppState();
        appState().WorkDate = QDate(2015, 9, 20);
        setCatalogue({{1, "F1.DBF", "BF1.XLS", 2},
                      {2, "F2.DBF", "BF2.XLS", 1},
                      {3, "F3.DBF", "BF3.XLS", 47},
                      {4, "F4.DBF", "BF4.XLS", 5}});
        testsupport::writeTable(root(), "REGIM",
                                {{"RYKORG", 'C', 40, 0},
                                 {"RYKFIN", 'C', 40, 0},
                                 {"TEL", 'C', 20, 0},
                                 {"OKPO", 'C', 10, 0},
                                 {"CENA2", 'C', 100, 0}},
                                {{{"RYKORG", QStringLiteral("Иванова А. П.")},
                                  {"RYKFIN", QStringLiteral("Петрова Е. С.")},
                                  {"TEL", "22-33-44"},
                                  {"OKPO", "01234567"},
                                  {"CENA2", QStringLiteral("г. Уфа, ул. Ленина, 1")}}});
    }
    ~Installation() {
        testsupport::closeDataModuleConnections();
        paths::setProgramDirForTests(QString());
    }

    void setCatalogue(const QList<CatalogueRow> &rows) {
        testsupport::closeDataModuleConnections();
        QList<Record> list;
        for (const CatalogueRow &r : rows)
            list << Record{{"KOD", r.kod},
                           {"NAME", QStringLiteral("Форма ") + r.fail.section(u'.', 0, 0)},
                           {"FAIL", r.fail},
                           {"FAILTEXT", r.failText},
                           {"GRUPPA", r.group}};
        testsupport::writeTable(wed(), "OTHE2016",
                                {{"KOD", 'N', 3, 0},
                                 {"NAME", 'C', 40, 0},
                                 {"FAIL", 'C', 12, 0},
                                 {"FAILTEXT", 'C', 12, 0},
                                 {"GRUPPA", 'N', 3, 0}},
                                list);
    }

    void writeReport(const QString &table, int count) {
        testsupport::writeTable(org(), table, reportFields(), records(count));
    }

    // The working copies of prints in WED\BLANK (BTEMP*).
    QStringList workingCopies() const {
        return QDir(blank()).entryList({QStringLiteral("BTEMP*")}, QDir::Files, QDir::Name);
    }
};

} // namespace printtest
