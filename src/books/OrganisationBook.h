#pragma once
// The logic of the reference books without widgets: the column layouts of
// the organisation book and of a period's report catalogue, the search for an
// organisation, and the checks of a value before it is written into an
// organisation's field.

#include "store/Dataset.h"

#include <QString>
#include <QStringList>
#include <QVector>

// One column of a book's grid.
struct BookColumn {
    QString field;
    QString title;
    bool visible = true;
    // Not empty: the column is as wide as this text written in the grid's
    // font made bold, and its title is left-aligned. Empty: the default width
    // and a centred title.
    QString widthText;
};

// The organisation book's columns, left to right, for the fields of the open
// table (any letter case). Fields the layout does not name follow the named
// ones, visible, titled with their field name. The title of KODCITY depends
// on the program kind (105 or any other).
QVector<BookColumn> OrganisationColumns(const QStringList &Fields, int ProgramKind);

// The report catalogue's columns, left to right. Fields the layout does not
// name follow it, hidden.
QVector<BookColumn> ReportCatalogueColumns(const QStringList &Fields);

// Search modes of the search dialog.
constexpr int kSearchByCode = 1;
constexpr int kSearchByName = 2;

// The record number (from 1, in the dataset's order) of the first record
// that the search finds, 0 when none does. By code: KOD equals the text read
// as a whole number (a text that is none counts as 0). By name: NAME begins
// with the text, both in lower case; an empty text finds nothing. The
// dataset is left on the record it stood on.
int FindOrganisationRecord(store::TADODataSet &School, int SearchMode, const QString &FindText);

// The name of an organisation's field in messages: its label in the edit
// dialog, or the field name when it has none.
QString OrganisationFieldLabel(const QString &Field);

// Checks a text typed for a field before it is written: a character that
// the Windows Cyrillic code page has not, a text longer than the field, a
// numeric field that holds no number (a whole number when the field has no
// decimals), or a number wider than the field. Returns the message naming the
// field, empty when the text can be written as it is. An empty text is a
// blank field and always fits.
QString CheckOrganisationValue(const store::FieldDef &Def, const QString &Text);

// Checks a change of an organisation's code from OldCode to Text: refused
// when the organisation has a data folder under DbfDir (its reports would be
// left behind under the old code), when Text is no whole number above 0, or
// when another organisation of the connection's SCHOOL or a data folder
// already has the new code. Returns the message, empty when the change may be
// made (also when the code stays the same). Throws store::StoreError when
// SCHOOL cannot be read.
QString CheckCodeChange(store::TADOConnection &Connection, int OldCode, const QString &Text,
                        const QString &DbfDir);

// What a new organisation's user is told when another copy of the program
// wrote an organisation with the code Shown while the new one was being
// entered, so that it was saved with the code Given: which organisation has
// the code (found in the open book School, whose current record it leaves
// as it was), or, when none has it any more, that its data folder under
// DbfDir has taken it; and which code the new one, named Name, has now.
QString CodeTakenMeanwhileText(store::TADODataSet &School, int Shown, int Given,
                               const QString &Name, const QString &DbfDir);
