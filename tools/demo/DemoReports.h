#pragma once
// The reports of the demo installation: one description per report of the
// period catalogue, in catalogue order (record n holds KOD n), from which the
// blanks in WED and the catalogue records are written.

#include "store/Dataset.h"

#include <QString>
#include <QVector>

namespace demo {

// The catalogue describes at most this many data columns (NAM1..NAM28).
constexpr int MaxColumns = 28;
// Form column number of N1 on the printed forms: the form numbers the name
// column 1 and the row code 2.
constexpr int FirstDataColumn = 3;

struct ColumnSpec {
    QString caption;  // catalogue NAM: two lines joined by ";"
    int decimals = 0; // 2 for percentages and rates
    int vkl = 1;      // catalogue VKL: below 1 hides the column
};

struct RowSpec {
    QString kodstr; // row code as the form prints it
    QString name;   // indicator name; empty in list reports
};

struct ReportSpec {
    QString base;  // table base name; the blank is base + ".DBF"
    QString name;  // catalogue NAME
    QString forma; // catalogue FORMA
    int group = 0; // catalogue GRUPPA
    int form = 1;  // catalogue FORM: 1 A4, 2 A3
    QVector<ColumnSpec> columns;
    QVector<RowSpec> rows;

    QString fail() const { return base + QStringLiteral(".DBF"); }
    QString failText() const { return QStringLiteral("B") + base + QStringLiteral(".XLS"); }
};

// Every report of the demo catalogue, in catalogue order: record 1 is the
// school-count report (group 1), record 2 the general report F1.
const QVector<ReportSpec> &Reports();

// The report with this base name, or nullptr.
const ReportSpec *FindReport(const QString &base);
// Its code (its record number in the catalogue), or 0.
int ReportCode(const QString &base);

// The fields of a report's blank: KODSTR, NAME, KODN, KODPOKAZ, N1..Nk.
QVector<store::FieldDef> BlankFields(const ReportSpec &report);

// The section tables whose N1 the automatic filling copies from a column of
// F1 row 1, with that column: {"F3A", 3} stands for F1 "N3".
struct SectionLink {
    QString table;
    int f1Column;
};
const QVector<SectionLink> &SectionLinks();

} // namespace demo
