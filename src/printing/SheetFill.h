#pragma once
// The two sheets filled without placeholders: the by-column consolidation
// and the organisation list.

#include "sheet/Sheet.h"
#include "store/Dataset.h"

#include <QDate>
#include <QString>
#include <QStringList>

// Title split over rows 1 and 2 at its first " (", the heading row 4 with
// the organisations' names, the column numbers in row 5, one framed row per
// record (NAME, KODSTR as a text, TOTAL, NNN1..NNNCount, an organisation's
// "0" left empty; the figures shown with every digit, and each with the
// Decimals of the consolidated column's field, or where they are unknown
// (-1) as many as the most precise figure has), and the widths of columns A
// to EA fitted to rows 1 to n + 10.
// A table with fewer organisation columns than Count throws FillError before
// anything is written.
void FillColumnSvodSheet(store::TADODataSet &DataSet, sheet::Workbook &Book, int Count,
                         const QString &Title, const QStringList &OrgNames, int Decimals = -1);

// The date line "на <date>" (dd.MM.yyyy) in A3 and one framed row of nine
// fields per organisation from the row that A1 names (1 when A1 is empty),
// numbers shown with every digit.
void FillOrganisationSheet(sheet::Workbook &Book, store::TADODataSet &DataSet, const QDate &Today);
