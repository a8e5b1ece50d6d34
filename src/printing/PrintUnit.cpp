#include "printing/PrintUnit.h"

// The template printing is not built yet: until it is, a print request does
// nothing.
void PrintReport(store::TADODataSet &DataSet, int PageKind, int YearOrColumns,
                 const QString &Title) {
    (void)DataSet;
    (void)PageKind;
    (void)YearOrColumns;
    (void)Title;
}

// Not built yet either: until it is, the list is not shown.
void PrintOrganisationList(store::TADODataSet &DataSet) { (void)DataSet; }
