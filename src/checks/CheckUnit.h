#pragma once
// The control checks of reports: within a report (the FORM rules of the
// period) and between reports (the PROV relations).
//
// A mismatch within a report is shown in a message box titled "Ошибка!"; a
// mismatch between reports in the dialog TMessageMCheckForm, whose
// "Прервать проверку" stops the remaining relations. A rule that cannot be
// checked (its formula has an error, it names a record or a field that the
// table does not have, ...) is shown the same way and counted; the run goes
// on with the next rule. Every run ends with the count of errors.
//
// A run reads FORM<Y> and PROV<Y> once, builds the named values once and
// opens each report table of the data folder at most once, whatever the
// number of rules.

#include "store/Dataset.h"

#include <QString>

// The errors of the last run: mismatches within and between reports and the
// rules that could not be checked. Reset by each CheckReports.
extern int ErrorCount;

// Checks reports and shows every mismatch, then the count of errors.
// Mode 1: DataSet is the open report table to check and ReportNumber its
// code in the catalogue; a pending edit of it is posted first. Mode 2:
// DataSet is the open catalogue of the period; every report of the data
// folder is checked, then the relations between reports. OrgCode names the
// organisation's folder when SetNumber is -1; otherwise the folder is the
// consolidation folder of set SetNumber. YearMod100 is the period's year
// modulo 100. DataSet is left on its first record.
void CheckReports(store::TADODataSet &DataSet, int Mode, int ReportNumber, int OrgCode,
                  int YearMod100, int SetNumber);

// The data folder under test, without a closing separator: DBF/D<OrgCode>
// for set -1, else DBF/S<2000 + YearMod100><SetNumber>.
QString CheckDataFolder(int OrgCode, int YearMod100, int SetNumber);

// Tests the relations of PROV<Y> over the reports of DataFolder: the open
// catalogue, FORM<Y> (for the named values) and PROV<Y> of the period.
// Adds to ErrorCount. Returns false when the user stopped the check.
bool InterReportChecks(store::TADODataSet &Catalogue, store::TADODataSet &Form,
                       store::TADODataSet &Prov, const QString &DataFolder, int YearMod100);
