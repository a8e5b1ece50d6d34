#include "checks/CheckUnit.h"

// The checks are not built yet: until they are, a check request does nothing.
void CheckReports(store::TADODataSet &DataSet, int Mode, int ReportNumber,
                  int OrgCode, int YearMod100, int SetNumber) {
    (void)DataSet;
    (void)Mode;
    (void)ReportNumber;
    (void)OrgCode;
    (void)YearMod100;
    (void)SetNumber;
}
