#pragma once
// Filling a print template: the catalogue lookups behind the placeholders,
// the header cell A1, and the walk that replaces the placeholders of the
// first sheet by the printed table's data, repeating marked rows once per
// record.
//
// Placeholders (each replaced at its first occurrence in a cell):
//   #A<r>N<c>       field N<c> of record r of the printed table
//   #F<code>A<r>N<c> field N<c> of record r of another report of the period,
//                   found beside the printed table
//   #ORG, #CCC      a record's NAME and KODSTR (or the title)
//   #YR1, #YR2      the first and second year of the period
//   #YP<d>, #YM<d>  the second year plus or minus d
//   #RYKORG, #RYKFIN, #TEL, #OKPO, #PADRES  the own requisites (REGIM)
//   #TORG           the title; #DATE the working date (dd.MM.yyyy)
//   #SH_TOT, #SH_NOSH, #SH_OOSH, #SH_SPOSH  school counts (N1 of two records)

#include "sheet/Sheet.h"
#include "store/Dataset.h"

#include <QDate>
#include <QString>

#include <array>
#include <map>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

namespace printing {

// A template or its data does not allow the fill (a bad header cell, a
// record or field that is not there, a school count that is no number).
class FillError : public std::runtime_error {
public:
    explicit FillError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

// The header cell A1: R (the first data row, or the first list row) and C
// (the scanned columns). An empty cell gives 1 and 1; anything but two
// integers each ended by ";" throws FillError.
struct HeaderCell {
    int firstRow = 1;
    int columns = 1;
};
HeaderCell ParseHeaderCell(const QString &text);

// The digits after the decimal mark ("." or ",") of a number's text.
int DecimalsOf(const QString &text);

// A set of cells as few blocks (top, left, bottom, right): runs of columns
// in a row, joined over the rows below that have the same runs.
std::vector<std::array<int, 4>> CellBlocks(const std::set<std::pair<int, int>> &cells);

// Gives each cell the format of figures with its decimals (cell -> decimals),
// block by block.
void FormatFigures(sheet::Workbook &book, const std::map<std::pair<int, int>, int> &decimals);

// What a fill needs besides the sheet and the table.
struct FillContext {
    QString Title;
    int PageKind = 0; // the report's code; 0 and -1 for the title pages
    int YY = 0;       // the period's year modulo 100
    QDate WorkDate;   // printed by #DATE
};

} // namespace printing

// The period's catalogue: mode 1 the print template's file name (FAILTEXT)
// of the report with code Code, mode 2 its data file name (the base of FAIL,
// upper case, then the four-digit year and ".DBF"). Codes 0 and -1 give the
// title pages' templates "BFFF.XLS" and "BFFFF.XLS". Empty when the
// catalogue or the report is not there; the last record with the code wins.
QString ResolveReportFile(int Mode, int Code, int YY);
// The report's name (NAME) in the period's catalogue, trimmed, from the
// last record with code Code; empty when there is none.
QString ReportName(int Code, int YY);
// The report group (GRUPPA) of catalogue record number Code; 0 below 1 or
// without a catalogue. A code beyond the catalogue throws FillError.
int GetReportGroup(int Code, int YY);

// Fills the first sheet of the workbook from DataSet (the printed table),
// reading the catalogue in the WED folder and REGIM.DBF in the program
// folder. Moves the table's current record. Throws FillError, store::StoreError or
// sheet::Error; the sheet is then partly filled.
void FillTemplate(store::TADODataSet &DataSet, sheet::Workbook &Book,
                  const printing::FillContext &Context);
