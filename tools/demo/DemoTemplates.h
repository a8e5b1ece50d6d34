#pragma once
// The print templates of the demo installation, written into WED/BLANK
// through the program's spreadsheet layer (LibreOffice): one per report of
// the catalogue (its FAILTEXT), the two title pages BFFF.XLS and BFFFF.XLS,
// the by-column consolidation sheet BFSVOD.XLS and the organisation list
// BORG.XLS. Each has its header cell A1 ("first data row;columns;"), titles,
// column headings with frames, the placeholders of the data, and the page of
// a printed form: landscape A4 (A3 for FORM 2 and the by-column sheet)
// without header or footer, every column on one page across.

#include <QString>
#include <QStringList>

namespace demo {

// Writes every template into BlankDir (created when missing) and returns
// the paths written. Starts one office for all of them. Throws
// sheet::Error or std::runtime_error.
QStringList WriteDemoTemplates(const QString &BlankDir);

} // namespace demo
