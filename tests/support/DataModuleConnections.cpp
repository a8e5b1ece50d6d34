#include "DataModuleConnections.h"

#include "shell/UnitDM.h"

namespace testsupport {

void closeDataModuleConnections() {
    DM().ADOConMain.Close();
    DM().ADOConWED.Close();
    DM().ADOConDBF.Close();
    DM().ADOConTemp.Close();
}

} // namespace testsupport
