#pragma once
// Report tables and their blanks.
//
// Every report of an organisation for one period is one table in the
// organisation's data folder (DBF/D<code>/), made by copying the report's
// blank from WED. The catalogue's FAIL ("F1.DBF") gives the base name (F1);
// the table name adds the four-digit year (F12016) and the file ".DBF".
// The data columns N1, N2, ... take their captions and visibility from the
// catalogue's NAM<i>, VKL<i> and KOLSTOLB.

#include "store/Dataset.h"

#include <QFont>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

class DataSetModel;

// ---------------------------------------------------------------- names

// The base name of a catalogue's FAIL: FAIL must be exactly a plain name
// followed by ".DBF" (upper case), with no folder, drive, full stop, blank
// or character a file name cannot hold. Anything else gives nothing.
std::optional<QString> ReportBaseName(const QString &Fail);
// The message shown for a FAIL that ReportBaseName refuses.
QString InvalidFailMessage(const QString &Fail);
// ReportBaseName; a refused FAIL is reported (title "Ошибка") and gives nothing.
std::optional<QString> CheckedReportBaseName(const QString &Fail);

QString ReportTableName(const QString &BaseName, int Year); // F1, 2016 -> F12016
QString ReportFileName(const QString &BaseName, int Year);  // F1, 2016 -> F12016.DBF
QString BlankFileName(const QString &BaseName);             // F1 -> F1.DBF
// The base name of a table name: the name less its four-digit year.
QString BaseNameOfTableName(const QString &TableName);

// The organisation's data folder: DBF/D + the code in decimal, no leading zeros.
QString OrgDataDir(int OrgCode);

// Paths; an existing file is found whatever its letter case, a missing one
// is named in upper case.
QString ReportBlankPath(const QString &WedDir, const QString &BaseName);
QString ReportTablePath(const QString &OrgDir, const QString &BaseName, int Year);
bool ReportTableExists(const QString &OrgDir, const QString &BaseName, int Year);

// ---------------------------------------------------------------- creating, opening, deleting

// Creates the organisation's data folder when it is missing (one level: its
// parent must exist). Throws FileError when it cannot be created, for the
// application's default handler to report.
bool EnsureOrgDataDir(const QString &OrgDir);

enum class CreateReportResult { Created, Existed, BlankMissing, CopyFailed };

// Copies the report's blank from WedDir into the organisation's folder as the
// report table of the year, creating the folder first. A missing blank shows
// "Отсутствует файл шаблона " and its path (title "Ошибка"); a failed copy is
// reported and leaves no report table behind. A table that stands there
// (another copy of the program may have made it, even while this one
// copied) is never replaced: Existed, and it is left as it is. A folder that
// cannot be created throws FileError (EnsureOrgDataDir).
CreateReportResult CreateReportTable(const QString &WedDir, const QString &OrgDir,
                                     const QString &BaseName, int Year);

// Points the data module's organisation connection (kind 3) at OrgDir and
// opens the table. A missing table shows "Не найдена директория БД!" (title
// "Сообщение") and gives false.
bool OpenReportTable(store::TADODataSet &DataSet, const QString &OrgDir, const QString &TableName);

// Deletes the report table's file; false when there is none or it could not
// be removed.
bool DeleteReportFile(const QString &OrgDir, const QString &TableName);

// ---------------------------------------------------------------- cells

// A cell of a report table: the table's base name (no year), the field name
// and the record number in decimal counted from 1 ("F0", "N1", "9").
struct CellAddress {
    QString Table;
    QString Field;
    QString Record;
    friend bool operator==(const CellAddress &, const CellAddress &) = default;
};
CellAddress MakeCellAddress(const QString &BaseName, const QString &Field, int RecNo);
// The record number of an address; nothing unless it is a decimal number of
// at least 1 without leading zeros.
std::optional<int> CellRecordNumber(const CellAddress &Cell);
// Positions the open dataset at the address's record and gives its field;
// nothing when the record or the field does not exist.
std::optional<store::TField> CellField(store::TADODataSet &DataSet, const CellAddress &Cell);

// ---------------------------------------------------------------- columns

constexpr int kCatalogueCaptionCount = 28; // NAM1..NAM28, VKL1..VKL28

// What the catalogue's record says of a report's data columns.
struct CatalogueColumns {
    int KolStolb = 0;
    QStringList Nam; // Nam[i - 1]: caption of data column i; empty when the field is missing
    QStringList Vkl; // Vkl[i - 1]: the switch of data column i as text
};
// From the current record of the catalogue; missing fields read as empty.
CatalogueColumns ReadCatalogueColumns(store::TADODataSet &Catalogue);

struct ReportColumn {
    QString Field;
    QString Title; // upper case
    bool Visible = true;
    bool Editable = false;
    int Width = -1;            // pixels; -1 keeps the grid's default width
    int DataNumber = 0;        // i for data column i; 0 for the other fields
    bool WindowColour = false; // the row-code column is painted in the window colour
};

// The columns of a report table in grid order: KODSTR ("N N строки") and NAME
// ("НАИМЕНОВАНИЕ ПОКАЗАТЕЛЯ") first, then the other fields in table order.
// Data column i is the i-th field after the four leading fields (NOMFORM is
// not a data column). A data column is shown when fewer than KOLSTOLB data
// columns were shown before it and VKL<i> reads as a number of 1 or more;
// shown data columns are editable. Its title is NAM<i> with the first ";"
// turned into a blank (or a blank and NAM<i> when there is no ";"); with a
// ";" its width is that of the text up to the ";" and one blank in GridFont
// made bold, widened when the upper-case part before or after the ";" would
// not fit a title line of its own in GridFont.
QVector<ReportColumn> ReportColumnLayout(const QStringList &TableFields,
                                         const CatalogueColumns &Catalogue, const QFont &GridFont);

// A column of a report as a message names it: "столбец «" Caption "»" by
// the caption the user sees, or "поле " and its field when it has none.
QString ColumnInMessage(const QString &Caption, const QString &Field);
// The end of a message about a number too wide for its field: " (не более
// N знаков вместе с запятой и знаком)." with the field's width.
QString FieldWidthLimit(const store::FieldDef &Field);

// Puts the layout on the model showing the report table: column order,
// centred titles, visibility, widths, read-only and the row-code colour.
void ApplyReportColumns(DataSetModel &Model, const QVector<ReportColumn> &Layout);
