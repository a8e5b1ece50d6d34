#pragma once
// The consolidation engine: builds consolidated report tables ("своды") over
// a set of organisations. No widgets: the caller hands in what the user chose
// (a params struct), the engine writes the tables and hands back what the
// window needs to show (a result struct); progress goes through an interface.
//
// Kinds of build, chosen by the report's group and the collect mode
// (`BuildSvod` dispatches as the consolidation window does):
//   - summed (mode 1) or one row per organisation with a total row (mode 2,
//     the table FTEMP): `BuildGeneralSvod`;
//   - one column of every organisation side by side (groups 8 to 38 in
//     mode 2): `BuildColumnSvod`, an in-memory table, nothing written but the
//     scratch copy WED/TEMPSVOD.DBF;
//   - filled rows of every organisation one after another (groups 46, 48):
//     `BuildKeyedSvod`;
//   - school counts (group 1), always over all organisations in set 1:
//     `BuildSchoolCountSvod`.
// `SaveAllSvods` builds every report of a period's catalogue over set 1.
//
// Every table is written aside (in a subfolder of the consolidation folder
// that is this copy's own) and moved over the target only when the build
// has finished, so a failed build leaves the previous consolidation as it
// was. Copies of the program may build in one installation at once: a
// target that another copy replaced while this one was building it is not
// overwritten (the build stops saying so), and WED/TEMPSVOD.DBF is held
// locked while a by-column build makes and reads it.
// Sums are exact: decimal, with no figure cut to 32 bits; a sum that does
// not fit its field stops the build naming the report, row and column.
// Each organisation's report table is read once per build; each
// organisation's F1 once per run (one BuildSvod, or one SaveAllSvods).
//
// Errors: the Build* routines throw SvodError (or store::StoreError /
// FileError for data access); `BuildSvod` and `SaveAllSvods` catch them all
// and return the text. Nothing here shows a message: the result carries the
// text the window shows ("Нет следующих отчетов: ..." unless quiet).

#include "store/Dataset.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>
#include <stdexcept>

namespace svod {

// A build stopped: the text names the report, and where it applies the row
// (record number) and the column ("N" field) or organisation.
class SvodError : public std::runtime_error {
public:
    explicit SvodError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

// Progress of a build or of a save-all run. The engine calls Step with a
// position from 0 to maximum (the maximum may change between calls of a
// build); the window sets its bar and repaints the progress window (without
// processing user input, so no build can be started again meanwhile).
class SvodProgress {
public:
    virtual ~SvodProgress() = default;
    virtual void Step(int position, int maximum) = 0;
};

// One record of the period's report catalogue OTHE<Y>, read as the builders
// need it.
struct CatalogueReport {
    int RecNo = 0;               // 1-based record number in the catalogue
    int Kod = 0;                 // "KOD"
    QString Name;                // "NAME"
    QString Fail;                // "FAIL", the blank's file name ("F3A.DBF")
    int Group = 0;               // "GRUPPA"
    int ColumnCount = 0;         // "KOLSTOLB"
    QStringList ColumnCaptions;  // "NAM1".."NAM28" (index 0 is NAM1; empty when missing)
    QVector<int> ColumnSwitches; // "VKL1".."VKL28" as integers (0 when missing)

    // The blank's base name: FAIL up to its first "." ("F3A").
    QString BaseName() const;
    // "VKL" + k (k from 1) is 1 or more.
    bool ColumnEnabled(int k) const;
    // "NAM" + k (k from 1), as stored.
    QString ColumnCaption(int k) const;
};

// The current record of an open catalogue dataset.
CatalogueReport ReadCatalogueReport(store::TADODataSet &Catalogue);
// Every record of OTHE<Year> in the WED folder, in table order. Throws
// SvodError when the table is missing ("Нет БД OTHE<Y>.DBF").
QVector<CatalogueReport> ReadCatalogue(const QString &WedDir, int Year);

// One organisation of "SCHOOL" as the sets and builds need it.
struct Organisation {
    int Kod = 0;
    QString Name;
    int KodCity = 0;
    int Kod1 = 0, Kod2 = 0, Kod3 = 0, Kod4 = 0;
};
// Every record of SCHOOL.DBF in the program folder, in table order (empty
// names included: the builds skip them). Throws SvodError without the table.
QVector<Organisation> ReadOrganisations(const QString &ProgramDir);

// The fixed filter of a consolidation set (1..8; any other number selects
// nobody), by the program kind (105 differs for the sets 5 to 8).
bool OrganisationInSet(const Organisation &Org, int SetNumber, int ProgramKind);
// The same on the current record of an open "SCHOOL" dataset (not moved).
bool OrganisationInSet(store::TADODataSet &School, int SetNumber, int ProgramKind);

// True for the groups 1, 8 to 38, 47 and 51: with collect mode 2 these are
// consolidated by column.
bool IsColumnSvodGroup(int Group);
bool IsColumnSvodGroup(store::TADODataSet &Catalogue); // "GRUPPA" of the current record

// The organisations a set selects, in the order of SCHOOL (no limit on
// their number). Names and codes are parallel lists.
struct IncludedOrganisations {
    QStringList Names;
    QVector<int> Codes;
    int Count() const { return int(Codes.size()); }
};
IncludedOrganisations ListIncludedOrganisations(const QString &ProgramDir, int SetNumber,
                                                int ProgramKind);

// What the caller asks for.
struct SvodParams {
    QString ProgramDir; // the installation folder; empty: paths::GetProgramDir()
    int Year = 0;       // second year of the period (2016 for 2015 / 2016)
    CatalogueReport Report;
    QString BlankPath;                // WED folder + the report's FAIL; empty: made from them
    int SetNumber = 1;                // position in SVOD<Y>
    int Mode = 1;                     // collect mode: 1 all together, 2 each organisation apart
    int Column = 0;                   // by-column build: the data column k of "N" + k
    int ProgramKind = 0;              // for OrganisationInSet
    bool Quiet = false;               // building for sending: no message text is made
    SvodProgress *Progress = nullptr; // may be null
};

// One cell whose text is no number (it added nothing to a sum).
struct BadCell {
    QString Organisation; // the organisation's NAME
    int OrgCode = 0;
    int Row = 0;    // record number in the organisation's table, from 1
    QString Field;  // "N3"
    QString Text;   // the cell's stored text, trimmed
    QString Report; // the report's NAME (filled by SaveAllSvods)
    // Appended rows: the text was copied into the consolidation (its field
    // there holds text and is wide enough); otherwise the cell was left empty.
    bool Kept = false;
};

// One line naming the cell: 'Школа, отчет "NAME", строка 2, графа N3: "abc"'
// (without the report: 'Школа: строка 2, графа N3: "abc"').
QString DescribeBadCell(const BadCell &Cell, bool WithReport);

enum class SvodKind { None, General, Column, Keyed, SchoolCount };

struct SvodResult {
    bool Ok = true;     // false: the build stopped; Error says why, the old target is kept
    bool Built = false; // a table was built (false also when the blank is missing)
    QString Error;      // why it stopped: report, row, column
    SvodKind Kind = SvodKind::None;

    QString TargetFile;   // full path of the table written (TEMPSVOD.DBF for by-column)
    QString TargetFolder; // its folder (open DS2 there with "select * from " + TargetTable)
    QString TargetTable;  // table name without ".DBF" ("F3A2016", "FTEMP")

    int OrgWithData = 0;              // organisations of the set whose report table was read
    int OrgWithoutData = 0;           // organisations of the set without it
    QStringList MissingOrganisations; // their names, in SCHOOL order

    int BadCellCount = 0;           // cells whose text is no number
    QVector<BadCell> FirstBadCells; // the first few of them (at most kBadCellsNamed)

    // The text the window shows titled "Сообщение" (OK, no icon) after the
    // build; empty when there is nothing to say or the build was quiet.
    QString Notice;

    // By-column build: the organisations of the set (names and codes in
    // column order, NNN1..NNNn) and the result table (open, in memory): the
    // blank's fields, then "TOTAL" and "NNN1".."NNNn", 15-character texts.
    QStringList OrgNames;
    QVector<int> OrgCodes;
    std::shared_ptr<store::TADODataSet> ColumnTable;
    // The decimals of the column's field in the report's blank (-1: none
    // found), with which every figure of the table is shown.
    int ColumnDecimals = -1;
};

inline constexpr int kBadCellsNamed = 5;

// Builds what the window builds for the report, set and mode, by the report's
// group: group 1 school counts; 46, 48 appended rows; mode 2 with
// IsColumnSvodGroup by column; else summed or per organisation. A missing
// blank builds nothing (Built false, Ok true, no notice). Never throws.
SvodResult BuildSvod(const SvodParams &Params);

// The single builds; they throw on failure (SvodError, store::StoreError,
// FileError) and leave the previous target as it was. A missing blank gives
// Built false.
SvodResult BuildGeneralSvod(const SvodParams &Params);
SvodResult BuildColumnSvod(const SvodParams &Params);
SvodResult BuildKeyedSvod(const SvodParams &Params);
// Params.Report is the group-1 report; F1 is found in the period's catalogue
// by its FAIL "F1.DBF" and built first (summed, set 1) into the same folder;
// both tables are put in place only when the whole build has succeeded.
SvodResult BuildSchoolCountSvod(const SvodParams &Params);

// The F1 figure that fills "N1" of a report of group 4 or 5 (by its FAIL),
// summed over the set's organisations that have F1 (empty NAME skipped).
// 0 for a report that takes no F1 figure.
// An F1 that cannot be read throws FileError naming the organisation.
long long CountF1Denominator(const QString &ProgramDir, int Year, const QString &Fail,
                             int SetNumber, int ProgramKind);

// Removes the by-column scratch table WED/TEMPSVOD.DBF (in any letter case)
// unless another copy of the program holds it while building; a failure is
// ignored.
void RemoveScratchTable(const QString &WedDir);

// Saving all consolidations of a period over set 1.
struct SaveAllParams {
    QString ProgramDir; // empty: paths::GetProgramDir()
    int Year = 0;
    int ProgramKind = 0;
    SvodProgress *Progress = nullptr; // Step(i, count) before report i (from 0)
};
struct SaveAllResult {
    bool Ok = false;
    int ReportCount = 0;            // records of the catalogue
    QStringList TargetFiles;        // tables written, in catalogue order
    QString FailedReport;           // NAME of the report that failed (empty when Ok)
    QString Error;                  // why (a missing catalogue: FailedReport empty)
    int BadCellCount = 0;           // cells of all reports whose text is no number
    QVector<BadCell> FirstBadCells; // the first few of them, with their report
};
// Builds every report of OTHE<Year> in catalogue order over set 1, quietly:
// group 1 school counts, groups 46 and 48 appended rows, the rest summed.
// Stops at the first failure (a missing blank included); the tables built
// before it stay. The cells that were no number are counted over every
// report (F1 once, though the school counts build it too). Never throws.
SaveAllResult SaveAllSvods(const SaveAllParams &Params);

// The steps of a build at which several copies of the program meet, told to
// a hook (for the tests that run copies side by side and hold one at a
// step; the program sets none):
//   AsideMade     a table's build has begun aside (File: the target);
//   BeforePlacing the table is complete aside and about to be put in place;
//   ScratchBusy   WED/TEMPSVOD.DBF is held by another copy, which is waited for;
//   ScratchMade   TEMPSVOD.DBF holds this build's blank and is about to be read.
enum class BuildStep { AsideMade, BeforePlacing, ScratchBusy, ScratchMade };
using BuildStepHook = std::function<void(BuildStep Step, const QString &File)>;
void SetBuildStepHook(BuildStepHook Hook);

} // namespace svod
