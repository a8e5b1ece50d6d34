#pragma once
// The periods of the school year in which the demo is laid out. The working
// date defaults to today, so a newcomer's first look at report entry goes to
// the current school year's period: the demo holds that period and the one
// before it, with the same organisations' reports as its fixed periods
// 2015 / 2016 and 2016 / 2017. The date is passed in, so that the output of
// a given date never changes.

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

namespace demo {

// The second calendar years of the current school year's period on Today
// (the program's working year: Today's year plus one) and of the one before.
QVector<int> CurrentPeriodYears(const QDate &Today);

// Removes what an earlier layout left in ProgramDir: the WED and DBF folders
// with every period, report and consolidation in them, and the program
// folder's tables. Other files (the program itself) stay.
void ClearDemoInstallation(const QString &ProgramDir);

// Lays out the demo for the date Today: its fixed periods and the current
// school year's period and the previous one, each with its period tables and
// organisations' reports. Unless Keep is set, what an earlier layout left is
// removed first. Returns the paths of the tables written. Throws as
// WriteDemoInstallation does.
QStringList LayOutDemo(const QString &ProgramDir, const QDate &Today, bool Keep = false);

} // namespace demo
