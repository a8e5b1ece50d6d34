#pragma once
// Files handed to the program that the desktop names for their type (the
// spreadsheet program for a list, a viewer for the help file), as the
// desktop's opener (xdg-open) would start it.

#include <QString>

namespace sheet {

// Whether the desktop names a program for the file's type: xdg-mime's
// answer, which the desktop's opener itself asks. False without xdg-mime.
bool desktopNamesProgramFor(const QString &path);

// Opens the file in the program that the desktop names for its type, without
// waiting for it. False when the desktop names none or its opener cannot be
// started; only such a program is started: the opener, with none, tries
// whatever else it knows of (an office without windows, a text browser) and
// tells of nothing.
bool openWithDesktopProgram(const QString &path);

} // namespace sheet
