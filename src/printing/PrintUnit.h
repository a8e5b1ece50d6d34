#pragma once
// Printing of reports and title pages through the spreadsheet templates.

#include "store/Dataset.h"

#include <QString>

// Prints the table of DataSet on the template of PageKind: a report's code in
// the catalogue, 0 or -1 for the two title pages (-1 asks no new question),
// or 1111 for a by-column consolidation. YearOrColumns is the year modulo
// 100, or for 1111 the number of organisation columns. Title is the
// organisation's name (or the consolidation's title).
void PrintReport(store::TADODataSet &DataSet, int PageKind, int YearOrColumns,
                 const QString &Title);

// Shows the organisation list of DataSet (the open organisation table, every
// record in the dataset's order) as a spreadsheet made from the BORG template,
// left open for the user to look at, print or save.
void PrintOrganisationList(store::TADODataSet &DataSet);
