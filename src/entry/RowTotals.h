#pragma once
// Computations that report entry runs on an open report table: the row
// totals of the groups that have them, the age-row captions of a new table,
// the organisation's name in empty name cells, the automatic filling run
// before a table is opened, and the check of a typed cell value.
//
// They work on datasets and folders only; the entry window shows whatever
// they report.

#include "store/Dataset.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// What a computation over a report table came to. When ok is false, error is
// the text to show the user (title "Ошибка").
struct CalcResult {
    bool ok = true;
    QString error;
};

// Groups whose rows are totalled on Enter: 2, 4, 5, 7, 39, 40, 47 and 51.
bool GroupHasRowTotals(int group);

// The fields the group's row totals read or write ("N1".."N16" for group 2,
// and so on); empty for a group without row totals.
QStringList RowTotalFields(int group);

// Computes the row totals of the group on the dataset's current record
// (groups 47 and 51: over the whole table, then back to the record that was
// current). A change still pending in the current record is posted first.
// Each total is worked out from its row (group 51: the rows above the last)
// as the file holds it at that moment, and posted at once, resting on those
// figures: another copy saving one of them before the post refuses it,
// which is reported, and nothing it saved is written over.
//
// When the table lacks a field the group needs, nothing is written and the
// result names the field. A value that cannot be stored leaves that record
// as it was (rows of group 47 already posted stay posted) and is reported; a
// total too wide for its field is named by Caption of the field (the column
// as the user sees it), by the field's name where there is none.
CalcResult RowAutoCalc(store::TADODataSet &DataSet, int Group,
                       const std::function<QString(const QString &)> &Caption = {});

// The caption of age row Row (1..14) of a new table of group 12 or 29 for the
// period Year (its second calendar year); empty for other groups and rows.
QString AgeRowCaption(int Group, int Row, int Year);

// Writes the age-row captions into "NAME" of rows 1 to 14 of the report table
// DataFilePath (a table just copied from its blank). Does nothing unless the
// group is 12 or 29. A table shorter than 14 rows gets the rows it has.
// Throws store::StoreError when the table cannot be opened or written.
void FillAgeRows(const QString &DataFilePath, int Group, int Year);

// Whether the "NAME" field of the table (a blank about to be copied) holds
// every age-row caption of the group and year. Empty when it does, or the
// group has no age rows; otherwise the message for the user. Throws
// store::StoreError when the table cannot be opened.
QString AgeRowsMisfit(const QString &TablePath, int Group, int Year);

// The text written into empty name cells of groups 46 and 48: the own
// organisation's name, a colon and the organisation's name, at most 41
// characters (see the routine for how each part is cut).
QString OrganisationNameText(const QString &OwnName, const QString &OrgName);

// "BANK" of the first record of "REGIM" in the program folder, trimmed;
// empty when the table cannot be read (no message).
QString ReadOwnOrganisationName();

// Fills every row whose "NAME" is blank with OrganisationNameText of the own
// name and OrgName; other rows keep their names, also a name another copy of
// the program wrote since the table was read. The dataset is left on its
// first record. The text is cut to the width of the "NAME" field when the
// field is narrower. Throws store::StoreError when a row cannot be written.
void FillOrganisationName(store::TADODataSet &DataSet, const QString &OrgName,
                          const QString &OwnName);
// The same with the own name read from "REGIM".
void FillOrganisationName(store::TADODataSet &DataSet, const QString &OrgName);

// Runs the automatic filling of the table being opened (base name and year,
// "F3A2016") on the organisation's data folder, before the table is shown;
// tables without derived cells are left alone. The fills re-point
// DM().ADOConDBF: nothing may be open on it across this call. Empty when
// every derived cell was written; otherwise the message for the user (title
// "Ошибка"), naming the report, row and column of each cell whose field
// cannot hold its value, which keeps what it held.
QString DispatchFillIn(const QString &Folder, const QString &TableName, int Year);

// Whether the "Вычислить значения" button is shown for the table's base name.
bool AutoValueButtonShown(const QString &BaseName);

// The cells of a report table as the entry window shows them: the text of a
// field in a row (counted from 0), empty for a blank cell.
using ShownCell = std::function<QString(int Row, const QString &Field)>;

// Whether the row totals of the group can take Value (a number that
// CheckCellInput passed, "." as separator; empty clears the cell) typed into
// Field of row Row, the table having RowCount rows and these fields and its
// other cells reading as Cell gives them. Empty when they can, or when no
// total of the group is worked out from that cell; otherwise the message for
// the user, naming the column typed into and the column of the total that
// would not fit by Caption of their fields (a field without a caption by its
// name).
QString RowTotalsMisfit(int Group, const QVector<store::FieldDef> &Fields, int RowCount, int Row,
                        const QString &Field, const QString &Value, const ShownCell &Cell,
                        const std::function<QString(const QString &)> &Caption);

// A figure typed into a cell of one of an organisation's reports.
struct TypedFigure {
    QString Folder;                  // the organisation's data folder
    QString WedDir;                  // the period's folder, whose catalogue names the reports
    int Year = 0;                    // the period's second calendar year
    QString BaseName;                // the report typed into ("F1")
    int Group = 0;                   // its group
    QVector<store::FieldDef> Fields; // the fields of its table
    int Row = 0;                     // the row typed into, counted from 0
    QString Field;
    QString Value; // as CheckCellInput gives it
};

// Whether the derived cells of the organisation's other reports can take the
// figure: the cells that the automatic filling works out from it (F1's
// figures copied into F0 and the sections, their differences, the sums of
// the sections' totals in F7A) and the row totals of those reports worked
// out from them, each as the filling and the row totals will work it out
// when that report is next opened: from the report typed into as Cell shows
// it, with the figure and the totals of its row, and from the files of the
// other reports. Reports the folder lacks are left out, as the filling
// leaves them. Empty when every value fits its column; otherwise the message
// for the user, naming the column typed into by Caption and the other
// report and its column as the catalogue names them. Throws
// store::StoreError when a report or the catalogue cannot be read.
QString DerivedCellsMisfit(const TypedFigure &Figure, const ShownCell &Cell,
                           const std::function<QString(const QString &)> &Caption);

// Checks a value typed into a data cell of the given field. Blanks around it
// are ignored; "," and "." are both taken as the decimal separator; an empty
// text clears the cell. A number the field cannot hold exactly (too long, or
// more decimals than the field has) is refused, never rounded. On success
// *Normalized holds the text to store (with "." as separator, empty for a
// cleared cell); otherwise *Error holds the message for the user, which names
// the column by Caption (by the field's name when Caption is empty).
bool CheckCellInput(const QString &Text, const store::FieldDef &Field, QString *Normalized,
                    QString *Error, const QString &Caption = QString());
