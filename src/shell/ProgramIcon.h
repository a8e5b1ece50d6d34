#pragma once
// The program's own icon: a report sheet, a table with a shaded title row,
// on a blue tile. Drawn at the sizes title bars, task bars and window
// lists ask for; the application object makes it every window's icon.

#include <QIcon>

QIcon ProgramIcon();
