#pragma once
// How the consolidation window lays out its grid for each kind of build, and
// the small look-ups it makes in the period's catalogue. Plain functions:
// they take field lists, catalogue values and fonts and give the columns a
// DataSetModel shows; the window applies them.

#include "consolidation/SvodEngine.h"
#include "shell/DataSetModel.h"
#include "store/Dataset.h"

#include <QFont>
#include <QString>
#include <QStringList>
#include <QVector>

#include <utility>

// The two lines of a catalogue caption NAM<k>, split at its first ";", each
// without leading and trailing blanks (the second empty without a ";"),
// and both on one line joined by a blank ("Всего;учащихся": "Всего
// учащихся").
std::pair<QString, QString> CaptionLines(const QString &Caption);
QString CaptionText(const QString &Caption);

// Columns of a summed, per-organisation or appended-row consolidation
// table, in grid order: "KODSTR" titled "N N строки" first, "NAME" titled
// "Наименование показателя" second, then the other fields in table order.
// "KODN" and "KODPOKAZ" are hidden. The field at table position p (from 0)
// is data column k = p - 3 while fewer than KOLSTOLB data columns have been
// shown: its title is CaptionText(NAM<k>); with a ";" at p its width is that
// of the first p characters (";" included) followed by "11" in GridFont made
// bold, widened where either line of the caption would not fit a title line
// of its own in that font, so the grid shows the two lines one above the
// other and cuts neither; it is shown when VKL<k> is 1 or more. Columns
// after KOLSTOLB shown ones are hidden. Every title is centred; NAME and
// the shown data columns are editable.
QVector<DataSetModel::Column> ReportSvodColumns(const QStringList &TableFields,
                                                const svod::CatalogueReport &Report,
                                                const QFont &GridFont);

// The names of the dataset's fields in table order, as the layouts take them.
QStringList TableFieldNames(const store::TADODataSet &DataSet);

// A field of a consolidation table as a message names it (ColumnInMessage):
// by the title of its column in Layout (one of the window's layouts of the
// table, below and above), or by the field where the column is hidden.
QString LayoutColumnInMessage(const QVector<DataSetModel::Column> &Layout, const QString &Field);

// Columns of the school-count consolidation, in table order: "KODSTR" "N N
// строки", "NAME" "Наименование показателя", "N1" "Кол-во", "N2" "% от
// кол-ва уч.", every other field hidden.
QVector<DataSetModel::Column> SchoolCountColumns(const QStringList &TableFields);

// Columns of a by-column consolidation: "KODSTR" "N N строки" first, "NAME"
// "Наименование показателя" second (editable), "TOTAL" titled by
// TotalColumnTitle(ColumnCaption) and as wide as TotalColumnWidth, each
// "NNN<k>" titled with the k-th organisation's name; the other fields hidden.
QVector<DataSetModel::Column> ColumnSvodColumns(const QStringList &TableFields,
                                                const QStringList &OrgNames,
                                                const QString &ColumnCaption,
                                                const QFont &GridFont);

// The title of the total column of a by-column consolidation: "Всего " and
// "(" + caption + ")", the shorter padded with blanks to the length of the
// longer, one after the other, so that the grid shows the first above the
// second.
QString TotalColumnTitle(const QString &ColumnCaption);
// Its width: the second half of the title (padded) and a blank, in GridFont
// made bold.
int TotalColumnWidth(const QString &ColumnCaption, const QFont &GridFont);

// "KOD" of the last record of the catalogue OTHE<Year> whose NAME is Name
// exactly; 1 when none is, or when the catalogue is empty or missing. Reads
// through the period connection of the data module.
int FindReportNumber(int Year, const QString &Name);

// The status text of the organisations taken: " ( " + with + " из " +
// (with + without) + " организаций )".
QString OrganisationCountText(int WithData, int WithoutData);
