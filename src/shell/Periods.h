#pragma once
// School years and the opening of a new period, as plain routines that the
// main window and the year dialog call.
//
// A school year is shown as its two calendar years joined by " / " and named
// in table names by its second year Y ("OTHE2016" is the catalogue of
// 2015 / 2016).

#include <QString>
#include <QStringList>

namespace periods {

// The first school year any installation holds.
constexpr int FirstPeriodStart = 2006;

// The school years "2006 / 2007" up to the one that ends in WorkYear, oldest
// first; empty when WorkYear is below 2007.
QStringList GetPeriodList(int WorkYear);

// The integer made of the first four characters of a school-year text
// ("2015 / 2016" gives 2015). ok is false when they are no number.
int FirstYearOf(const QString &PeriodText, bool *ok);

// The four period tables that a new period copies, in the order they are
// copied.
QStringList PeriodTableNames();

// Opens the period of year Y in the period folder WedDir (ending in "/"):
// copies FORM, OTHE, PROV and SVOD of year Y - 1 to year Y, leaving tables of
// year Y that exist already untouched, and tells the user how it went through
// the message seam. Nothing is copied when any table of year Y - 1 is
// missing. A copy that fails throws FileError; the tables copied before it
// stay and the closing message is not shown.
void NewPeriod(int Y, const QString &WedDir);

} // namespace periods
