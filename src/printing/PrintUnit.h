#pragma once
// Printing of reports, title pages and by-column consolidations through the
// spreadsheet templates of WED\BLANK, and the organisation list.

#include "store/Dataset.h"

#include <QString>
#include <QStringList>

#include <functional>

// Prints the table of DataSet on the template of PageKind: a report's code in
// the catalogue, 0 or -1 for the two title pages (-1 asks no new question),
// or 1111 for a by-column consolidation. YearOrColumns is the year modulo
// 100, or for 1111 the number of organisation columns. Title is the
// organisation's name (or the consolidation's title). Asks "Печать таблицы"
// first (not for -1, which follows the answer given for 0). Each print fills
// a working copy of its own in WED\BLANK, removed afterwards, and goes to the
// default printer as a job titled with the report (or title page) and Title.
// Leaves DataSet on its first record. A failure of the printing itself, and
// one of a template's fill, is shown as "Ошибка печати!"; an office that did
// not answer in time, one that ended while it printed (titled "Ошибка"), a
// template that does not open (named by its own path) and a by-column sheet
// that cannot be filled are said as such; a job left waiting on a stopped
// printer is said. A failure before the template's copy is opened (the copy
// cannot be made, the office does not start) is thrown, after the office is
// ended and the working copy removed. Every figure of a field prints with
// the field's decimals and all its digits.
void PrintReport(store::TADODataSet &DataSet, int PageKind, int YearOrColumns,
                 const QString &Title);

// What PrintReport(..., 1111, ...) takes of the consolidation window's last
// by-column build (the program's composition root connects it): the
// organisations' names, one per column NNN1, NNN2, ..., and the set it was
// built over, which titles the print job. Without a source the heading row
// stays empty and the job is titled by Title alone.
struct ColumnSvodInfo {
    QStringList OrgNames;
    QString SetName;
    int Decimals = -1; // of the column's field, with which every figure prints; -1: unknown
};
void SetColumnSvodNameSource(std::function<ColumnSvodInfo()> Source);

// The template print of one report or title page, without the question.
void PrintByTemplate(store::TADODataSet &DataSet, int PageKind, int YY, const QString &Title);
// The by-column consolidation print on BFSVOD.XLS, without the question
// (Decimals: SheetFill.h).
void PrintColumnSvod(store::TADODataSet &DataSet, int Count, const QString &Title,
                     const QStringList &OrgNames, const QString &SetName = QString(),
                     int Decimals = -1);

// Shows the organisation list of DataSet (the open organisation table, every
// record in the dataset's order) as a spreadsheet made from the BORG template,
// left open for the user to look at, print or save. The list is a file of
// its own, which later prints leave alone. When the user has no program
// that opens it, the user is told where the file is.
void PrintOrganisationList(store::TADODataSet &DataSet);
