#pragma once
// What the demo installation adds for the consolidations: an organisation
// record without a name (which every consolidation skips) that nevertheless
// has report tables, and one fractional cell written into an organisation's
// report as another program might store it (7.5 in a field without
// decimals), so that the sums show how such cells are added.

#include <QString>
#include <QStringList>

namespace demo {

// The code of the organisation record whose NAME is empty.
int UnnamedOrganisationCode();

// Where the fractional cell stands and what it holds.
struct FractionalCell {
    int org;
    int year;
    QString table; // base name
    int row;
    QString field;
    QString text; // as stored, trimmed
};
FractionalCell DemoFractionalCell();

// Appends the unnamed organisation to SCHOOL, gives it report tables of
// 2015 / 2016 (copies of another organisation's), and writes the fractional
// cell. Runs after the organisations' data are written. Returns the tables
// written.
QStringList WriteConsolidationExtras(const QString &ProgramDir);

} // namespace demo
