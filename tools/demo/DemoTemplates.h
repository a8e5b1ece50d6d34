#pragma once
// The print templates of the demo installation, written into WED/BLANK
// through the program's spreadsheet layer (LibreOffice): one per report of
// the catalogue (its FAILTEXT), the two title pages BFFF.XLS and BFFFF.XLS,
// the by-column consolidation sheet BFSVOD.XLS and the organisation list
// BORG.XLS. Each has its header cell A1 ("first data row;columns;"), titles,
// column headings with frames, and the placeholders of the data.

#include <QString>
#include <QStringList>

namespace demo {

// Writes every template into BlankDir (created when missing) and returns
// the paths written. Starts one office for all of them. Throws
// sheet::Error or std::runtime_error.
QStringList WriteDemoTemplates(const QString &BlankDir);

} // namespace demo
