#pragma once
// The control checks of reports: within a report (the FORM rules of the
// period) and between reports (the PROV relations).

#include "store/Dataset.h"

// Checks reports and shows every mismatch, then the count of errors.
// Mode 1: DataSet is the open report table to check and ReportNumber its
// code in the catalogue. Mode 2: DataSet is the open catalogue of the period;
// every report of the data folder is checked, then the relations between
// reports. OrgCode names the organisation's folder when SetNumber is -1;
// otherwise the folder is the consolidation folder of set SetNumber.
// YearMod100 is the period's year modulo 100. DataSet is left on its first
// record.
void CheckReports(store::TADODataSet &DataSet, int Mode, int ReportNumber,
                  int OrgCode, int YearMod100, int SetNumber);
