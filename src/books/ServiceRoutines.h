#pragma once
// The service's work, without windows: copying a year's report tables into the
// archive, and rebuilding every organisation's report tables on new blank
// structures ("Обслуживание БД").
//
// Both work on the folder tree of paths:: (the program folder, WED, DBF\D<n>,
// ARX) through connections of their own, never through the data module.
//
// The rebuild runs only while no other copy of the program runs (it holds
// the installation's lock exclusive, shell/InstallationLock.h), and it is all
// or nothing: it first checks every table it would touch and writes the list
// of the files it will write into a backup folder of the period, then builds
// each new table aside, and only then swaps the files, keeping the old ones
// in that folder until everything is in place; any failure puts every file
// back as it was, and a run cut short (a crash, a power cut) is put right by
// the next start of the program, before any work (RecoverInterruptedRebuilds).

#include <QDate>
#include <QString>
#include <QStringList>

namespace service {

// The year whose tables the rebuild works on: the calendar year of Today less
// one, plus one from September to December (October 2026 -> 2026, August
// 2026 -> 2025).
int RebuildYear(const QDate &Today);

struct ArchiveResult {
    bool ok = false;
    QString message; // what to tell the user: the done message, or why nothing was copied
    int copied = 0;  // files copied
};

// Copies the report tables of the year (four digits) of every organisation of
// SCHOOL (by its code) that has them into ARX\D<code>\, replacing older
// copies. A missing SCHOOL or catalogue copies nothing and says so. A file that
// cannot be copied throws FileError; copies made before it stay.
ArchiveResult ArchiveReports(int Year);

struct RebuildResult {
    int year = 0; // the year worked on
    // False when the year has no catalogue: nothing was done and nothing is
    // to be said.
    bool ran = false;
    bool ok = false;
    // Not run because other copies of the program are at work (problems says
    // which): nothing was changed.
    bool refused = false;
    // What was put right before the run, when an earlier run had been
    // interrupted; empty when there was nothing to put right.
    QString recovered;
    // Why nothing was rebuilt: each table, row, field and value that stopped
    // it, or the error met while building or swapping the files.
    QStringList problems;
    // A run that failed left every table and blank as it was; false when
    // they could not all be put back, and the backup folder keeps them.
    bool unchanged = true;
    // They could not be put back for an error of the system, and the next
    // start of the program puts them back before any copy works on them (this
    // copy keeps the installation to itself until it ends).
    bool putBackAtNextStart = false;
    // Tables may stand on either layout (this run could not be undone, or
    // one cut short before could not be put right): nobody may work on them
    // until the program, started again, has put them right.
    bool halfRebuilt = false;
    // A run that succeeded but could not remove its backup folder: why.
    QString leftover;
    int tablesRebuilt = 0;
    int organisations = 0;      // organisations at least one of whose tables was rebuilt
    QStringList blanksReplaced; // FAIL names of the blanks replaced, in catalogue order

    // The text to show at the end (done or not done), naming the year.
    QString summary() const;
};

// Rebuilds the report tables of the year that Today falls in (RebuildYear)
// on the restructure blanks of WED ("O" + FAIL) and then puts those blanks
// in the place of the old ones. Records are matched by position; an old
// record beyond the new blank's records is appended; a field only the new
// blank has keeps the blank's value; a value is never dropped, cut or
// rounded: a field only the old table has must hold nothing, and a value
// must fit its new field, decimals included. The new tables are dated Today.
// Refused, changing nothing, while another copy of the program runs. A run
// interrupted earlier is put right first, as RecoverInterruptedRebuilds does;
// a backup folder of the year that is no rebuild's stops it. When the tables
// are left half rebuilt, this process keeps the installation's lock
// exclusive until it ends.
RebuildResult RebuildReportTables(const QDate &Today);

// What the putting right of rebuilds cut short found and did.
struct Recovery {
    QStringList done;     // one text for each backup folder put right
    QStringList problems; // why a backup folder was left as it is
    // A rebuild cut short before it had put every table in place could not
    // be undone: tables may stand on either layout.
    bool halfRebuilt = false;
};

// Puts right every rebuild that was cut short (a crash, a power cut): the
// backup folders WED\REBUILD<year>\ that hold the list of files of a run. A
// run that had put every table and blank in place is finished (its backup
// folder removed); any other is undone. Anything in such a folder that the
// run did not write stops it for that folder, and nothing there is put back
// or removed; a folder without the list is no rebuild's and is left alone.
// Needs the installation to itself: the caller holds the exclusive lock.
Recovery RecoverInterruptedRebuilds();

// Whether a rebuild was cut short and not yet put right: a backup folder
// holds the list of a run under way. Throws FileError when WED cannot be read.
bool InterruptedRebuildPending();

// The backup folder of the period that holds the old tables and blanks while
// a rebuild swaps the files (WED\REBUILD<year>\); removed when it succeeds.
QString RebuildBackupDir(int Year);

} // namespace service
