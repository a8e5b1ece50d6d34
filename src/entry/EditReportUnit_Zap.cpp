#include "entry/EditReportUnit_Zap.h"

#include "entry/WholeNumbers.h"

#include "shell/Paths.h"
#include "shell/UnitDM.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

// ---------------------------------------------------------------------------
// The link set.

constinit const AutoFillLinkSet AutoFillLinks = {
    // Copy links: destination, then source.
    {{
        // F0, rows 9 to 24: F1 "N1" to "N16" of row 1, in step.
        {{"F0", "N1", "9"}, {"F1", "N1", "1"}},
        {{"F0", "N1", "10"}, {"F1", "N2", "1"}},
        {{"F0", "N1", "11"}, {"F1", "N3", "1"}},
        {{"F0", "N1", "12"}, {"F1", "N4", "1"}},
        {{"F0", "N1", "13"}, {"F1", "N5", "1"}},
        {{"F0", "N1", "14"}, {"F1", "N6", "1"}},
        {{"F0", "N1", "15"}, {"F1", "N7", "1"}},
        {{"F0", "N1", "16"}, {"F1", "N8", "1"}},
        {{"F0", "N1", "17"}, {"F1", "N9", "1"}},
        {{"F0", "N1", "18"}, {"F1", "N10", "1"}},
        {{"F0", "N1", "19"}, {"F1", "N11", "1"}},
        {{"F0", "N1", "20"}, {"F1", "N12", "1"}},
        {{"F0", "N1", "21"}, {"F1", "N13", "1"}},
        {{"F0", "N1", "22"}, {"F1", "N14", "1"}},
        {{"F0", "N1", "23"}, {"F1", "N15", "1"}},
        {{"F0", "N1", "24"}, {"F1", "N16", "1"}},
        // Section tables: "N1" of row 1 from one F1 figure of row 1.
        {{"F3A", "N1", "1"}, {"F1", "N3", "1"}},
        {{"F3B", "N1", "1"}, {"F1", "N4", "1"}},
        {{"F3V", "N1", "1"}, {"F1", "N5", "1"}},
        {{"F3G", "N1", "1"}, {"F1", "N6", "1"}},
        {{"F3D", "N1", "1"}, {"F1", "N7", "1"}},
        {{"F4A", "N1", "1"}, {"F1", "N3", "1"}},
        {{"F4A2", "N1", "1"}, {"F1", "N3", "1"}},
        {{"F4B", "N1", "1"}, {"F1", "N4", "1"}},
        {{"F4V", "N1", "1"}, {"F1", "N5", "1"}},
        {{"F4G", "N1", "1"}, {"F1", "N6", "1"}},
        {{"F4D", "N1", "1"}, {"F1", "N7", "1"}},
        {{"F4E", "N1", "1"}, {"F1", "N8", "1"}},
        {{"F4N", "N1", "1"}, {"F1", "N9", "1"}},
        {{"F4U", "N1", "1"}, {"F1", "N11", "1"}},
        {{"F4L", "N1", "1"}, {"F1", "N12", "1"}},
        {{"F4S", "N1", "1"}, {"F1", "N13", "1"}},
        {{"F4R", "N1", "1"}, {"F1", "N2", "1"}},
    }},
    // Difference cells: F1 minuend minus F1 subtrahend, row 1.
    {{
        {{"F4R2", "N1", "1"}, "F1", "N1", "N2", true},
        {{"F7", "N1", "1"}, "F1", "N1", "N3", false},
        {{"F7A", "N2", "1"}, "F1", "N1", "N2", false},
    }},
    // Sums on row 1 of F7A: "N13" of row 1 of the section tables.
    {{
        {{"F7A", "N3", "1"}, {{{"F3A", "N13", "1"}, {"F4A", "N13", "1"}, {"F4A2", "N13", "1"}}}},
        {{"F7A", "N4", "1"}, {{{"F3B", "N13", "1"}, {"F4B", "N13", "1"}, {"", "", ""}}}},
        {{"F7A", "N5", "1"}, {{{"F3V", "N13", "1"}, {"F4V", "N13", "1"}, {"", "", ""}}}},
        {{"F7A", "N6", "1"}, {{{"F3G", "N13", "1"}, {"F4G", "N13", "1"}, {"", "", ""}}}},
        {{"F7A", "N7", "1"}, {{{"F3D", "N13", "1"}, {"F4D", "N13", "1"}, {"", "", ""}}}},
    }},
};

namespace {

QString qs(std::string_view s) {
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

bool sameText(const QString &a, std::string_view b) {
    return a == QLatin1StringView(b);
}

bool sameCell(const AutoFillCell &c, const QString &table, const QString &field,
              const QString &row) {
    return sameText(table, c.Table) && sameText(field, c.Field) && sameText(row, c.Row);
}

// The record number a row text names: decimal digits only; 0 for any other
// text (blanks, signs, nothing) and for a number out of range.
int rowNumber(std::string_view row) {
    if (row.empty() || row.size() > 9)
        return 0;
    int n = 0;
    for (char c : row) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

// Positions the dataset on the cell's row; throws when the row is no number or
// no such record exists.
void moveToRow(store::TADODataSet &ds, std::string_view row) {
    const int n = rowNumber(row);
    if (n == 0)
        throw store::StoreError(QStringLiteral("Номер строки не число: ") + qs(row));
    ds.setRecNo(n);
}

enum class WriteOutcome {
    Written,
    Failed,  // no edit, or no post
    Refused, // the field cannot hold the value
};

// Edits the current record, lets write() assign, posts. On failure an edit
// that was begun here is cancelled.
template <typename Write> WriteOutcome editAndPost(store::TADODataSet &ds, Write write) {
    const bool wasBrowsing = ds.State() == store::DataSetState::Browse;
    bool began = false;
    bool writing = false;
    try {
        ds.Edit();
        began = wasBrowsing;
        writing = true;
        write();
        writing = false;
        ds.Post();
        return WriteOutcome::Written;
    } catch (const std::exception &) {
        if (began) {
            try {
                const auto state = ds.State();
                if (state == store::DataSetState::Edit || state == store::DataSetState::Insert)
                    ds.Cancel();
            } catch (const std::exception &) {
            }
        }
        return writing ? WriteOutcome::Refused : WriteOutcome::Failed;
    }
}

// Writes the cell's field of the cell's row with write(field). False when
// the row or the field is missing, or the write fails; a value the field
// cannot hold leaves the cell as it was and is added to Refused, when
// given, as Value.
template <typename Write>
bool writeCell(store::TADODataSet &ds, const AutoFillCell &cell, const QString &value, Write write,
               AutoFillRefusals *refused) {
    int field = -1;
    try {
        moveToRow(ds, cell.Row);
        field = ds.FieldIndex(qs(cell.Field));
    } catch (const std::exception &) {
        return false;
    }
    if (field < 0)
        return false;
    const WriteOutcome outcome = editAndPost(ds, [&] { write(ds.Fields(field)); });
    if (outcome == WriteOutcome::Refused && refused)
        refused->append(
            AutoFillRefusal{qs(cell.Table), rowNumber(cell.Row), ds.FieldDefs().at(field), value});
    return outcome == WriteOutcome::Written;
}

// Closes a dataset without letting a failure out.
void closeQuietly(store::TADODataSet &ds) {
    try {
        ds.Close();
    } catch (const std::exception &) {
    }
}

bool tableFileExists(const QString &folder, const QString &tableName) {
    return store::fileExistsCaseInsensitive(folder, tableName + QStringLiteral(".DBF"));
}

using Whole = WholeNumber;

long long clampedToLongLong(Whole v) {
    return v > std::numeric_limits<long long>::max()   ? std::numeric_limits<long long>::max()
           : v < std::numeric_limits<long long>::min() ? std::numeric_limits<long long>::min()
                                                       : static_cast<long long>(v);
}

// Reads a field of the current record as a whole number (WholeOfText); 0
// when it is empty or cannot be read.
Whole readWhole(store::TADODataSet &ds, const QString &field) {
    try {
        store::TField f = ds.FieldByName(field);
        if (const std::optional<Whole> v = WholeOfText(f.AsString()))
            return *v;
        const double d = f.AsFloat(); // another form of a number (an exponent)
        return std::isfinite(d) && std::fabs(d) < 1.0e36 ? static_cast<Whole>(std::nearbyint(d))
                                                         : 0;
    } catch (const std::exception &) {
        return 0;
    }
}

// Writes a whole number into a cell (writeCell).
bool writeWhole(store::TADODataSet &ds, const AutoFillCell &cell, Whole value,
                AutoFillRefusals *refused) {
    const QString text = WholeText(value);
    return writeCell(
        ds, cell, text, [&](store::TField f) { f.SetAsString(text); }, refused);
}

// Copies a cell's value as stored, every digit of it (writeCell).
bool copyCell(store::TADODataSet &destination, store::TADODataSet &source,
              const AutoFillCell &destinationCell, const AutoFillCell &sourceCell,
              AutoFillRefusals *refused) {
    int field = -1;
    QString value;
    try {
        moveToRow(source, sourceCell.Row);
        field = source.FieldIndex(qs(sourceCell.Field));
        if (field < 0)
            return false;
        value = source.Fields(field).AsString();
    } catch (const std::exception &) {
        return false;
    }
    return writeCell(
        destination, destinationCell, value,
        [&](store::TField f) { f.SetFrom(source.Fields(field)); }, refused);
}

// SumFieldsOverFolders, whole.
Whole sumOverFolders(const QStringList &folders, const QString &tableName, const QString &field1,
                     int factor, const QString &field2) {
    Whole total = 0;
    store::TADODataSet ds;
    for (const QString &folder : folders) {
        if (!tableFileExists(folder, tableName))
            continue;
        if (!DM().OpenConnection(DM().ADOConDBF, folder))
            continue;
        if (!DM().OpenTable(DM().ADOConDBF, ds, tableName))
            continue;
        try {
            if (ds.IsEmpty())
                continue;
            ds.First();
        } catch (const std::exception &) {
            continue;
        }
        total += readWhole(ds, field1);
        if (!field2.isEmpty() && factor != 0)
            total += factor * readWhole(ds, field2);
    }
    closeQuietly(ds);
    return total;
}

void disconnectOrganisation() {
    try {
        DM().ADOConDBF.Close();
    } catch (const std::exception &) {
    }
}

// The copy fill of one destination table: every copy link whose destination
// is that table, in the order of the link set. Returns whether the table
// being filled opened.
bool fillCopyLinks(std::string_view destinationTable, const QString &folder,
                   const QString &tableName, const QString &year, AutoFillRefusals *refused) {
    store::TADODataSet destination;
    store::TADODataSet source;
    bool opened = false;
    if (DM().OpenConnection(DM().ADOConDBF, folder))
        opened = DM().OpenTable(DM().ADOConDBF, destination, tableName);
    if (opened) {
        QString openSource; // the source table now open, by name with the year
        bool sourceOpen = false;
        for (const AutoFillCopyLink &link : AutoFillLinks.Copies) {
            if (link.Destination.Table != destinationTable)
                continue;
            const QString sourceName = qs(link.Source.Table) + year;
            if (sourceName != openSource) {
                openSource = sourceName;
                sourceOpen = tableFileExists(folder, sourceName) &&
                             DM().OpenTable(DM().ADOConDBF, source, sourceName);
            }
            if (sourceOpen)
                copyCell(destination, source, link.Destination, link.Source, refused);
        }
    }
    closeQuietly(destination);
    closeQuietly(source);
    disconnectOrganisation();
    return opened;
}

const AutoFillDifference &differenceOf(std::string_view destinationTable) {
    for (const AutoFillDifference &d : AutoFillLinks.Differences)
        if (d.Destination.Table == destinationTable)
            return d;
    // Only called with the tables of the difference fills below.
    return AutoFillLinks.Differences.front();
}

Whole differenceValue(const AutoFillDifference &d, const QString &folder, const QString &year) {
    const QString sourceName = qs(d.SourceTable) + year;
    if (!tableFileExists(folder, sourceName))
        return 0;
    return sumOverFolders(QStringList{folder}, sourceName, qs(d.Minuend), -1, qs(d.Subtrahend));
}

// F4R2: the table is opened first; nothing is computed when it does not open.
bool fillDifferenceTableFirst(std::string_view destinationTable, const QString &folder,
                              const QString &tableName, const QString &year,
                              AutoFillRefusals *refused) {
    const AutoFillDifference &d = differenceOf(destinationTable);
    store::TADODataSet destination;
    bool opened = false;
    if (DM().OpenConnection(DM().ADOConDBF, folder))
        opened = DM().OpenTable(DM().ADOConDBF, destination, tableName);
    if (opened) {
        const Whole value = differenceValue(d, folder, year);
        // The summing re-pointed the connection, which closed the table.
        if (DM().ADOConDBF.Connected() && DM().OpenTable(DM().ADOConDBF, destination, tableName))
            writeWhole(destination, d.Destination, value, refused);
    }
    closeQuietly(destination);
    disconnectOrganisation();
    return opened;
}

// F7 and F7A: the value is computed first, then the table is opened and
// written; a table that does not open makes the write fail silently.
bool fillDifferenceValueFirst(std::string_view destinationTable, const QString &folder,
                              const QString &tableName, const QString &year,
                              AutoFillRefusals *refused) {
    const AutoFillDifference &d = differenceOf(destinationTable);
    const Whole value = differenceValue(d, folder, year);
    store::TADODataSet destination;
    if (DM().OpenConnection(DM().ADOConDBF, folder) &&
        DM().OpenTable(DM().ADOConDBF, destination, tableName))
        writeWhole(destination, d.Destination, value, refused);
    closeQuietly(destination);
    disconnectOrganisation();
    return true;
}

// The order in which a table being opened is compared with the derived
// tables, and the fills each one runs.
using FillRoutine = bool (*)(const QString &, const QString &, const QString &, AutoFillRefusals *);
struct FillStep {
    std::string_view Table;
    FillRoutine Fill;
};

constexpr FillStep kFillSteps[] = {
    {"F0", FillF0FromF1},     {"F7", FillF7FromF1},     {"F7A", FillF7ASums},
    {"F7A", FillF7AFromF1},   {"F3A", FillF3AFromF1},   {"F3B", FillF3BFromF1},
    {"F3V", FillF3VFromF1},   {"F3G", FillF3GFromF1},   {"F3D", FillF3DFromF1},
    {"F4A", FillF4AFromF1},   {"F4A2", FillF4A2FromF1}, {"F4B", FillF4BFromF1},
    {"F4V", FillF4VFromF1},   {"F4G", FillF4GFromF1},   {"F4D", FillF4DFromF1},
    {"F4E", FillF4EFromF1},   {"F4U", FillF4UFromF1},   {"F4R", FillF4RFromF1},
    {"F4N", FillF4NFromF1},   {"F4L", FillF4LFromF1},   {"F4S", FillF4SFromF1},
    {"F4R2", FillF4R2FromF1},
};

} // namespace

// ---------------------------------------------------------------------------
// Lookups.

bool IsAutoFilledCell(const QString &Table, const QString &Row, const QString &Field) {
    for (const AutoFillCopyLink &link : AutoFillLinks.Copies)
        if (sameCell(link.Destination, Table, Field, Row))
            return true;
    for (const AutoFillDifference &d : AutoFillLinks.Differences)
        if (sameCell(d.Destination, Table, Field, Row))
            return true;
    for (const AutoFillSumLink &s : AutoFillLinks.Sums)
        if (sameCell(s.Destination, Table, Field, Row))
            return true;
    return false;
}

std::optional<AutoFillF1Figure> SectionF1Figure(const QString &Table) {
    for (const AutoFillCopyLink &link : AutoFillLinks.Copies)
        if (sameText(Table, link.Destination.Table) && link.Destination.Field == "N1" &&
            link.Destination.Row == "1" && link.Source.Table == "F1" && link.Source.Row == "1")
            return AutoFillF1Figure{link.Source.Field, 0, {}};
    for (const AutoFillDifference &d : AutoFillLinks.Differences)
        if (d.SectionTable && sameText(Table, d.Destination.Table))
            return AutoFillF1Figure{d.Minuend, -1, d.Subtrahend};
    return std::nullopt;
}

std::optional<AutoFillF1Figure> SectionF1FigureByFile(const QString &FileName) {
    const QString ext = QStringLiteral(".DBF");
    if (!FileName.endsWith(ext, Qt::CaseSensitive))
        return std::nullopt;
    return SectionF1Figure(FileName.left(FileName.size() - ext.size()));
}

long long ReadF1Figure(store::TADODataSet &F1, const AutoFillF1Figure &Figure) {
    try {
        if (!F1.Active() || F1.IsEmpty())
            return 0;
        F1.First();
    } catch (const std::exception &) {
        return 0;
    }
    Whole v = readWhole(F1, qs(Figure.Field1));
    if (!Figure.Field2.empty() && Figure.Factor != 0)
        v += Figure.Factor * readWhole(F1, qs(Figure.Field2));
    return clampedToLongLong(v);
}

// ---------------------------------------------------------------------------
// Cell primitives.

bool CopyLinkedCell(store::TADODataSet &Destination, store::TADODataSet &Source,
                    const AutoFillCell &DestinationCell, const AutoFillCell &SourceCell) {
    return copyCell(Destination, Source, DestinationCell, SourceCell, nullptr);
}

bool SetCellInteger(store::TADODataSet &DataSet, const AutoFillCell &Cell, long long Value) {
    return writeWhole(DataSet, Cell, Value, nullptr);
}

// ---------------------------------------------------------------------------
// Summing.

long long SumFieldsOverFolders(const QStringList &Folders, const QString &TableName,
                               const QString &Field1, int Factor, const QString &Field2) {
    return clampedToLongLong(sumOverFolders(Folders, TableName, Field1, Factor, Field2));
}

// ---------------------------------------------------------------------------
// Fill routines.

bool FillF0FromF1(const QString &Folder, const QString &TableName, const QString &Year,
                  AutoFillRefusals *Refused) {
    return fillCopyLinks("F0", Folder, TableName, Year, Refused);
}
bool FillF3AFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F3A", Folder, TableName, Year, Refused);
}
bool FillF3BFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F3B", Folder, TableName, Year, Refused);
}
bool FillF3VFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F3V", Folder, TableName, Year, Refused);
}
bool FillF3GFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F3G", Folder, TableName, Year, Refused);
}
bool FillF3DFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F3D", Folder, TableName, Year, Refused);
}
bool FillF4AFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F4A", Folder, TableName, Year, Refused);
}
bool FillF4A2FromF1(const QString &Folder, const QString &TableName, const QString &Year,
                    AutoFillRefusals *Refused) {
    return fillCopyLinks("F4A2", Folder, TableName, Year, Refused);
}
bool FillF4BFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F4B", Folder, TableName, Year, Refused);
}
bool FillF4VFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F4V", Folder, TableName, Year, Refused);
}
bool FillF4GFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F4G", Folder, TableName, Year, Refused);
}
bool FillF4DFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F4D", Folder, TableName, Year, Refused);
}
bool FillF4EFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F4E", Folder, TableName, Year, Refused);
}
bool FillF4UFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F4U", Folder, TableName, Year, Refused);
}
bool FillF4RFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F4R", Folder, TableName, Year, Refused);
}
bool FillF4NFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F4N", Folder, TableName, Year, Refused);
}
bool FillF4LFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F4L", Folder, TableName, Year, Refused);
}
bool FillF4SFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillCopyLinks("F4S", Folder, TableName, Year, Refused);
}

bool FillF4R2FromF1(const QString &Folder, const QString &TableName, const QString &Year,
                    AutoFillRefusals *Refused) {
    return fillDifferenceTableFirst("F4R2", Folder, TableName, Year, Refused);
}
bool FillF7FromF1(const QString &Folder, const QString &TableName, const QString &Year,
                  AutoFillRefusals *Refused) {
    return fillDifferenceValueFirst("F7", Folder, TableName, Year, Refused);
}
bool FillF7AFromF1(const QString &Folder, const QString &TableName, const QString &Year,
                   AutoFillRefusals *Refused) {
    return fillDifferenceValueFirst("F7A", Folder, TableName, Year, Refused);
}

bool FillF7ASums(const QString &Folder, const QString &TableName, const QString &Year,
                 AutoFillRefusals *Refused) {
    store::TADODataSet source;
    store::TADODataSet destination;
    DM().OpenConnection(DM().ADOConDBF, Folder);
    for (const AutoFillSumLink &link : AutoFillLinks.Sums) {
        Whole sum = 0;
        for (const AutoFillCell &s : link.Sources) {
            if (!s.IsUsed())
                continue;
            const QString sourceName = qs(s.Table) + Year;
            if (!tableFileExists(Folder, sourceName) ||
                !DM().OpenTable(DM().ADOConDBF, source, sourceName))
                continue;
            try {
                moveToRow(source, s.Row);
            } catch (const std::exception &) {
                continue; // a row that is not there adds 0
            }
            sum += readWhole(source, qs(s.Field));
        }
        if (DM().OpenTable(DM().ADOConDBF, destination, TableName))
            writeWhole(destination, link.Destination, sum, Refused);
    }
    closeQuietly(source);
    closeQuietly(destination);
    return true;
}

// ---------------------------------------------------------------------------
// Composition.

bool FillDerivedCellsOfTable(const QString &Folder, const QString &TableName, const QString &Year,
                             AutoFillRefusals *Refused) {
    bool ran = false;
    for (const FillStep &step : kFillSteps) {
        if (TableName == qs(step.Table) + Year) {
            step.Fill(Folder, TableName, Year, Refused);
            ran = true;
        }
    }
    return ran;
}

int FillAllDerivedCells(const QString &OrgCode, int Year, AutoFillRefusals *Refused) {
    return FillAllDerivedCellsInFolder(paths::GetOrgDataDir(OrgCode), Year, Refused);
}

int FillAllDerivedCellsInFolder(const QString &Folder, int Year, AutoFillRefusals *Refused) {
    const QString year = QString::number(Year);
    int filled = 0;
    std::string_view last;
    for (const FillStep &step : kFillSteps) {
        if (step.Table == last)
            continue; // F7A's two fills run together below
        last = step.Table;
        const QString tableName = qs(step.Table) + year;
        if (!tableFileExists(Folder, tableName))
            continue;
        if (FillDerivedCellsOfTable(Folder, tableName, year, Refused))
            ++filled;
    }
    return filled;
}
