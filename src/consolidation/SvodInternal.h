#pragma once
// Pieces shared by the consolidation builds (not for other modules).

#include "consolidation/SvodEngine.h"

#include <QHash>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include <optional>
#include <utility>

namespace svod::detail {

// The folders where one run's tables are built aside: one of this copy's
// own beside the tables of each consolidation folder (".svodbuild-" and the
// process number), held locked while the run lasts and removed at its end
// (it is empty between builds). Those that a killed copy left behind are
// removed when a folder is next made beside them.
class AsideFolders {
public:
    AsideFolders() = default;
    AsideFolders(AsideFolders &&other) noexcept : m_made(std::exchange(other.m_made, {})) {}
    AsideFolders &operator=(AsideFolders &&) = delete;
    ~AsideFolders();
    // This run's folder beside the tables of Folder; throws FileError.
    QString folderFor(const QString &Folder);

private:
    struct Made {
        QString parent, path;
        int fd = -1; // its lock file, held locked
    };
    std::vector<Made> m_made;
};

// What one run (one build, or one save-all) reads only once: the
// organisation table and each organisation's F1 (its first record).
struct RunContext {
    QString ProgramDir; // ends in "/"
    QString OrgRoot;    // absolute: the folder DBF and "/D", before an organisation's code
    int Year = 0;
    int ProgramKind = 0;
    std::optional<QVector<Organisation>> Orgs;
    // F1's first record by organisation code: the integer readings of N1,
    // N2, ... (index 0 is N1); empty for an organisation without F1.
    QHash<int, QVector<long long>> F1Rows;

    // Each organisation's data folder opened once per run (null: no folder).
    std::unordered_map<int, std::unique_ptr<store::TADOConnection>> Connections;
    AsideFolders Aside;

    // The F1 consolidation that a school-count build put in place in this
    // run (set 1, summed), with its catalogue record and blank: saving all
    // consolidations takes it for that record rather than building it again.
    struct PlacedF1 {
        int CatalogueRecNo = 0;
        QString Blank;
        SvodResult Result;
    };
    std::optional<PlacedF1> F1Placed;

    const QVector<Organisation> &organisations();
    // Throws FileError naming the organisation when its F1 cannot be read.
    const QVector<long long> &f1Row(const Organisation &Org);
    // A build that reads an organisation's F1 anyway keeps its first record
    // for f1Row, so that the run does not open it again.
    bool isF1Table(const QString &Table) const;
    void noteF1Row(int OrgCode, store::TADODataSet &F1);
    // Opens the organisation's table (name without ".DBF") in Ds; false when
    // the organisation has no such table. A table that exists but cannot be
    // read throws FileError naming the organisation (code and NAME) and its
    // folder, since every organisation has a table of that name.
    bool openOrgTable(const Organisation &Org, const QString &Table, store::TADODataSet &Ds);
};

// Tells the step to the hook, when one is set.
void buildStep(BuildStep Step, const QString &File);

// "N" + k, the name of data column k (made once for the columns a table can have).
QString nField(int k);

QString withSlash(const QString &Folder);
QString programDirOf(const QString &ProgramDir); // empty -> paths::GetProgramDir()
QString wedDir(const QString &ProgramDir);
QString svodDir(const QString &ProgramDir, int Year, int SetNumber); // no closing "/"
// The existing file in a folder whatever its letter case; empty when none.
QString existingFile(const QString &Folder, const QString &FileName);
QString blankPathOf(const SvodParams &Params, const QString &ProgramDir);
// The blank file as it exists (whatever its letter case); empty when missing.
QString existingBlank(const QString &BlankPath);

// Makes a folder unless it stands (another copy may make it at the same
// moment); throws FileError.
void makeFolder(const QString &Folder);

// A table built aside: the blank is copied into this run's folder beside
// the target and opened there; Commit moves it over the target. Without
// Commit, the copy aside is removed and the target stays as it was.
//
// Another copy of the program may build the same table meanwhile: a target
// that was replaced (or made, or removed) since this build began is not
// overwritten, and Commit throws FileError saying so.
//
// Two tables built together (a consolidation and its by-product) are each
// Finished, which writes them aside whole, and then placed together by
// CommitTogether, so that a failure in either leaves both targets as they were.
class TargetWriter {
public:
    TargetWriter(RunContext &Ctx, const QString &Folder, const QString &Table,
                 const QString &BlankPath);
    ~TargetWriter();
    TargetWriter(const TargetWriter &) = delete;
    TargetWriter &operator=(const TargetWriter &) = delete;

    store::TADODataSet &table() { return m_ds; }
    QString targetFile() const { return m_target; }
    QString tableFile() const { return m_tempFile; } // where it is built
    // Writes the table aside and closes it (throws; the destructor then
    // discards it). Commit finishes it first when that has not been done.
    void Finish();
    void Commit();
    // Finishes the tables and puts them in place, all or none.
    static void CommitTogether(const std::vector<TargetWriter *> &Writers);

    // What tells one file from another of the same name: its identity,
    // size and times; absent when there is none.
    struct Stamp {
        bool exists = false;
        unsigned long long dev = 0, ino = 0;
        long long size = 0, mtimeNs = 0, ctimeNs = 0;
        bool operator==(const Stamp &) const = default;
    };

private:
    void discard();
    void place();
    bool m_finished = false;
    QString m_folder, m_table, m_tempDir, m_tempFile, m_target;
    Stamp m_before; // the target when the build began
    store::TADOConnection m_con;
    store::TADODataSet m_ds;
    bool m_done = false;
};

// WED/TEMPSVOD.DBF while a by-column build writes its blank into it and
// reads it back: held under an exclusive lock (of its own lock file,
// TEMPSVOD.LCK) so that no other copy writes or removes it meanwhile; one
// that another copy holds is waited for. The file stays when released,
// until the window closes.
class ScratchTable {
public:
    ScratchTable(const QString &Path, const QString &BlankPath); // throws FileError
    ~ScratchTable();
    ScratchTable(const ScratchTable &) = delete;
    ScratchTable &operator=(const ScratchTable &) = delete;

private:
    static void writeBlank(const QString &Path, const QByteArray &bytes);
    int m_fd = -1; // the lock file, held locked
};

// A sum of decimal numbers kept exactly: a whole number of units of
// 10^-scale, so that no digit is lost to a binary fraction or to a 32-bit
// integer. A sum beyond what any dBASE field holds is marked too large.
class ExactSum {
public:
    enum class Reading { Blank, Number, NotNumber };
    // Adds the number that field Field of the dataset's current record holds
    // (numeric, float and character fields; blanks around it, "." or ","
    // as the mark); Blank and NotNumber add nothing.
    Reading add(store::TADODataSet &Ds, int Field);
    Reading add(const store::FieldDef &Def, const char *Bytes);
    void add(long long Value);
    void add(const ExactSum &Other);
    bool tooLarge() const { return m_tooLarge; }
    // Every digit in the shortest form: "12.5", "3", "-0.25"; "0" for none.
    QString text() const;
    // Rounded half to even to a whole number, as an integer reading takes it.
    long long rounded() const;

private:
    void addUnits(__int128 Units, int Scale);
    Reading addOther(const store::FieldDef &Def, const char *Bytes);
    __int128 m_units = 0;
    int m_scale = 0;
    bool m_tooLarge = false;
};
// The integer reading of a field: exact, rounded half to even; 0 for text
// that is no number.
long long integerOf(store::TADODataSet &Ds, int Field);

// Walks the organisations of SCHOOL in order, reporting progress over them:
// those with an empty NAME or outside the set are skipped; one without the
// table counts as missing; for each other one the table is opened and
// Visit(organisation, table) runs. Progress ends at the count.
void forEachOrganisationTable(
    const SvodParams &Params, RunContext &Ctx, SvodResult &Result, const QString &TableName,
    const std::function<void(const Organisation &, store::TADODataSet &)> &Visit);

// The list of missing organisations and the bad cells, as the window's
// message says them. Empty when there is nothing to say.
QString noticeText(const QString &Lead, const SvodResult &Result);
void noteBadCell(SvodResult &Result, const Organisation &Org, int Row, const QString &Field,
                 store::TField Cell, bool Kept = false);
// "Отчет «NAME»: " before a message that does not name it yet.
QString reportPrefix(const CatalogueReport &Report);

// The builds over a shared run context. buildGeneral hands its table back
// unplaced (finished, not committed) when Pending is given.
SvodResult buildGeneral(const SvodParams &Params, RunContext &Ctx,
                        std::unique_ptr<TargetWriter> *Pending = nullptr);
SvodResult buildColumn(const SvodParams &Params, RunContext &Ctx);
SvodResult buildKeyed(const SvodParams &Params, RunContext &Ctx);
SvodResult buildSchoolCount(const SvodParams &Params, RunContext &Ctx);
long long countF1Denominator(RunContext &Ctx, const QString &Fail, int SetNumber);

} // namespace svod::detail
