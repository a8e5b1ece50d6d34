#pragma once
// Automatic filling of derived cells.
//
// Several report tables of an organisation repeat figures that it has already
// entered in its general table F1 (row 1), or sums of figures of its section
// tables. These derived cells are written by the program, from the other
// tables of the same data folder and year, each time report entry opens one
// of the tables concerned.
//
// A cell is named by three texts: the table's base name without the year
// ("F0", "F3A", "F7A"), the data field ("N1".."N16") and the record number
// counted from 1 in decimal without leading zeros ("1", "9", "24"). The texts
// are compared exactly: letter case counts and nothing is trimmed.
//
// `AutoFillLinks` names every derived cell and where its value comes from:
//   - 33 copy links: the source cell's value, as stored, goes into the
//     destination (an empty source empties the destination);
//   - 3 difference cells: F1 field minus F1 field of row 1, as integers;
//   - 5 sums on row 1 of F7A: the sum of up to three section-table cells.
//
// Every routine here is plain: it takes folders, table names and datasets,
// shows no message of its own and lets no exception out. A derived cell
// whose field cannot hold the value worked out for it keeps what it held;
// the fills tell of it in a list that the caller words for the user. The fills use the
// data module's organisation connection DM().ADOConDBF and re-point it, so a
// caller must not hold a dataset open on that connection across a fill.

#include "store/Dataset.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <optional>
#include <string_view>

// A cell address: table base name, field, row. Views onto constant texts.
struct AutoFillCell {
    std::string_view Table;
    std::string_view Field;
    std::string_view Row;

    constexpr bool IsUsed() const { return !Table.empty(); }
};

// The source cell's value is copied into the destination cell.
struct AutoFillCopyLink {
    AutoFillCell Destination;
    AutoFillCell Source;
};

// The destination gets Minuend minus Subtrahend, both read as integers from
// the first record (row 1) of the source table. SectionTable marks the
// section tables whose "N1" the consolidation fills from F1 by the same
// difference.
struct AutoFillDifference {
    AutoFillCell Destination;
    std::string_view SourceTable;
    std::string_view Minuend;
    std::string_view Subtrahend;
    bool SectionTable;
};

// The destination gets the sum of its used sources, each read as an integer;
// an unused source has three empty texts.
struct AutoFillSumLink {
    AutoFillCell Destination;
    std::array<AutoFillCell, 3> Sources;
};

struct AutoFillLinkSet {
    std::array<AutoFillCopyLink, 33> Copies;
    std::array<AutoFillDifference, 3> Differences;
    std::array<AutoFillSumLink, 5> Sums;
};

// The constant link set of the automatic filling.
extern const AutoFillLinkSet AutoFillLinks;

// A derived cell that a fill did not write, its field not holding the value
// worked out for it (too wide, say): the cell keeps what it held.
struct AutoFillRefusal {
    QString Table;         // the table's base name ("F7A")
    int Row = 0;           // the record, counted from 1
    store::FieldDef Field; // the cell's field
    QString Value;         // the value worked out, with every digit
};
using AutoFillRefusals = QVector<AutoFillRefusal>;

// ---------------------------------------------------------------------------
// Lookups.

// True when (Table, Field, Row) is the destination of a copy link, a
// difference cell or a sum link. Note the argument order: table, row, field.
bool IsAutoFilledCell(const QString &Table, const QString &Row, const QString &Field);

// The F1 figure of row 1 that stands in "N1" of row 1 of a section table:
// Field1 + Factor * Field2. A plain copy has Factor 0 and an empty Field2.
struct AutoFillF1Figure {
    std::string_view Field1;
    int Factor = 0;
    std::string_view Field2;
};

// The figure for a section table, by its base name ("F3A", "F4R2"; exact
// text). Empty for every other table (F0, F1, F7, F7A, ...). The consolidation
// sums it over the organisations' F1 tables to fill "N1" of a section table.
std::optional<AutoFillF1Figure> SectionF1Figure(const QString &Table);
// The same by the catalogue's file name of the report ("F3A.DBF"): the name
// must end exactly in ".DBF".
std::optional<AutoFillF1Figure> SectionF1FigureByFile(const QString &FileName);
// Reads the figure from the first record of an open F1 table; 0 when the
// table is empty or a field cannot be read. An empty cell reads as 0; a
// figure is read whole, every digit of it (a figure beyond 64 bits gives
// the nearest that 64 bits hold).
long long ReadF1Figure(store::TADODataSet &F1, const AutoFillF1Figure &Figure);

// ---------------------------------------------------------------------------
// Cell primitives. The table parts of the addresses are not consulted.

// Moves Source to the source row, reads the source field, moves Destination
// to the destination row, edits, assigns the value as stored (every digit
// of it), posts. False on
// any failure (row not a number, no such record or field, a refused write);
// an edit that this call began is then cancelled, so nothing half-written
// stays pending on the destination.
bool CopyLinkedCell(store::TADODataSet &Destination, store::TADODataSet &Source,
                    const AutoFillCell &DestinationCell, const AutoFillCell &SourceCell);

// Moves to the cell's row, edits, writes Value into the cell's field, posts.
// False on any failure (a value too wide for the field among them), with an
// edit it began cancelled.
bool SetCellInteger(store::TADODataSet &DataSet, const AutoFillCell &Cell, long long Value);

// ---------------------------------------------------------------------------
// Summing.

// For each folder in order whose file TableName + ".DBF" exists: points
// DM().ADOConDBF at the folder, opens TableName (base name and year, "F12016")
// and adds Field1 + Factor * Field2, both read as integers from the first
// record. A missing file, an empty table or a field that cannot be read adds
// 0; an empty Field2 adds nothing. Folders may end with or without a
// separator. Figures are read and added whole, every digit of them (a total
// beyond 64 bits gives the nearest that 64 bits hold).
long long SumFieldsOverFolders(const QStringList &Folders, const QString &TableName,
                               const QString &Field1, int Factor, const QString &Field2);

// ---------------------------------------------------------------------------
// Fill routines, one per derived table. Folder is the organisation's data
// folder, TableName the table being opened (base name and year, "F3A2016"),
// Year the period's four-digit year as text. Sums and differences are
// worked out whole, every digit of them. A value that its cell's field
// cannot hold is added to Refused, when given, and the cell left as it was.
//
// Copy fills: false only when the table being filled did not open; a missing
// F1 leaves the destination cells as they are.
bool FillF0FromF1(const QString &Folder, const QString &TableName, const QString &Year,
                  AutoFillRefusals *Refused = nullptr);
bool FillF3AFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF3BFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF3VFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF3GFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF3DFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF4AFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF4A2FromF1(const QString &Folder, const QString &TableName, const QString &Year,
                    AutoFillRefusals *Refused = nullptr);
bool FillF4BFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF4VFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF4GFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF4DFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF4EFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF4UFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF4RFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF4NFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF4LFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
bool FillF4SFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
// Difference fills: a missing F1 writes 0. F4R2 returns false when its table
// did not open; F7 and F7A always return true.
bool FillF4R2FromF1(const QString &Folder, const QString &TableName, const QString &Year,
                    AutoFillRefusals *Refused = nullptr);
bool FillF7FromF1(const QString &Folder, const QString &TableName, const QString &Year,
                  AutoFillRefusals *Refused = nullptr);
bool FillF7AFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused = nullptr);
// The five sums of F7A; a missing section table adds 0. Always true; leaves
// DM().ADOConDBF pointed at Folder.
bool FillF7ASums(const QString &Folder, const QString &TableName, const QString &Year,
                 AutoFillRefusals *Refused = nullptr);

// ---------------------------------------------------------------------------
// Composition.

// Runs the fills that belong to the table being opened: TableName is compared
// exactly with each derived table's base name followed by Year, in the order
// F0, F7, F7A, F3A..F3D, F4A, F4A2, F4B, F4V, F4G, F4D, F4E, F4U, F4R, F4N,
// F4L, F4S, F4R2; F7A runs its sums first and then its difference. Returns
// true when TableName is a derived table (a fill ran), false otherwise.
bool FillDerivedCellsOfTable(const QString &Folder, const QString &TableName, const QString &Year,
                             AutoFillRefusals *Refused = nullptr);

// Fills the derived cells of every derived table of the year that the data
// folder holds, in the order above; tables that are absent are skipped without
// a message. Returns how many tables were filled. Meant for code that writes
// an organisation's tables in one go (the folder may lie outside the
// program's own tree).
int FillAllDerivedCellsInFolder(const QString &Folder, int Year,
                                AutoFillRefusals *Refused = nullptr);
// The same for an organisation's data folder, paths::GetOrgDataDir(OrgCode).
int FillAllDerivedCells(const QString &OrgCode, int Year, AutoFillRefusals *Refused = nullptr);
