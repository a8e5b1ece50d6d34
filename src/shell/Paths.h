#pragma once
// The folder tree beside the program. Every path is built anew at each use
// from the folder of the running executable; the returned folders end in "/".

#include <QString>

namespace paths {

QString GetProgramDir();                       // the executable's folder, with "/"
QString GetWedDir();                           // GetProgramDir + "WED/"
QString GetDbfDir();                           // GetProgramDir + "DBF/"
QString GetOrgDataDir(const QString &OrgCode); // GetProgramDir + "DBF/D" + code + "/"
QString GetBlankDir();                         // GetWedDir + "BLANK/"
QString GetSvodDir(int year, int setNumber);   // GetDbfDir + "S" + year + set + "/"
QString GetArchiveDir();                       // GetProgramDir + "ARX"

// Tests only: makes GetProgramDir return this folder (empty restores the
// executable's folder), and the installation whose folders leftovers of
// killed writes are cleared in (store::setLeftoverSweepRoot).
void setProgramDirForTests(const QString &folder);

} // namespace paths
