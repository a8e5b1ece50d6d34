#pragma once
// Pieces shared by the consolidation builds (not for other modules).

#include "consolidation/SvodEngine.h"

#include <QHash>

#include <functional>
#include <memory>
#include <unordered_map>

#include <optional>
#include <utility>

namespace svod::detail {

// The subfolders where one run's tables are built aside: each is made for
// its first table and removed at the end of the run (it is empty between
// builds), not made and removed again for every table.
class AsideFolders {
public:
    AsideFolders() = default;
    AsideFolders(AsideFolders &&other) noexcept : m_made(std::exchange(other.m_made, {})) {}
    AsideFolders &operator=(AsideFolders &&) = delete;
    ~AsideFolders();
    // Makes the folder unless it stands; throws FileError.
    void make(const QString &Folder);

private:
    QStringList m_made;
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
    QHash<int, QVector<int>> F1Rows;

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
    const QVector<int> &f1Row(int OrgCode);
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

// A table built aside: the blank is copied into a temporary subfolder of the
// target folder and opened there; Commit moves it over the target. Without
// Commit, the temporary copy is removed and the target stays as it was.
//
// Two tables built together (a consolidation and its by-product) are each
// Finished, which writes them aside whole, and only then Committed, so that
// a failure in either leaves both targets as they were.
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

private:
    void discard();
    bool m_finished = false;
    QString m_folder, m_table, m_tempDir, m_tempFile, m_target;
    store::TADOConnection m_con;
    store::TADODataSet m_ds;
    bool m_done = false;
};

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
int countF1Denominator(RunContext &Ctx, const QString &Fail, int SetNumber);

} // namespace svod::detail
