#pragma once
// The engine under the datasets: one dBASE table held in memory as its raw
// record bytes, written through to its file on every change. Not part of the
// public API; the datasets share one DbfTable per file while any of them has
// it open (see TableRegistry in DbfTable.cpp).

#include "store/Dataset.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>
#include <memory>
#include <vector>

namespace store::detail {

// What identifies one state of a file on disk; a file copied over another,
// or written by another program, changes it.
struct FileStamp {
    std::int64_t size = -1;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileStamp &) const = default;
};
FileStamp stampOf(const QString &path);

// Case-insensitive lookup of field names without allocating.
class FieldNameIndex {
public:
    void build(const QVector<FieldDef> &defs);
    int find(const QVector<FieldDef> &defs, QStringView name) const;

private:
    std::vector<int> m_slots; // field index + 1; 0 is empty
    std::uint32_t m_mask = 0;
};

class DbfTable {
public:
    // A table parsed from the bytes of a file; throws StoreError naming
    // `source` when the bytes are not a table this layer can read.
    static std::shared_ptr<DbfTable> parse(const char *data, std::size_t size,
                                           const QString &source);
    // Reads and parses a file; the table then writes through to it.
    static std::shared_ptr<DbfTable> load(const QString &path);
    // An empty table held only in memory.
    static std::shared_ptr<DbfTable> inMemory(const QVector<FieldDef> &defs);

    // Checks a list of definitions for a new table; throws StoreError.
    // forFile: names must fit a dBASE header (10 ASCII characters).
    static void checkDefs(const QVector<FieldDef> &defs, bool forFile);

    const QVector<FieldDef> &defs() const { return m_defs; }
    int fieldCount() const { return int(m_defs.size()); }
    int offset(int field) const { return m_offsets[field]; }
    int recordLength() const { return m_recLen; }
    int recordCount() const { return m_count; } // physical, deleted included
    const char *record(int phys) const { return m_data.data() + std::size_t(phys) * m_recLen; }
    bool isDeleted(int phys) const { return record(phys)[0] == '*'; }
    int fieldIndex(QStringView name) const { return m_names.find(m_defs, name); }
    const QString &path() const { return m_path; }
    bool inMemoryOnly() const { return m_path.isEmpty(); }
    const FileStamp &stamp() const { return m_stamp; }
    std::uint8_t version() const { return m_version; }

    // Changes. Each one reaches the file before the memory copy changes, so a
    // failed write leaves both as they were.
    void updateRecord(int phys, const char *bytes); // record bytes, then header date
    int appendRecord(const char *bytes);            // record, header count and date, EOF mark
    void markDeleted(int phys);

    // Generations: structure (records added or deleted) and data (any change).
    std::uint64_t structureGeneration() const { return m_structGen; }
    std::uint64_t dataGeneration() const { return m_dataGen; }

    // The text of a memo field of a record, read from the memo file.
    QString memoText(const char *rec, int field);

    // A blank record: not deleted, every field blanks.
    QByteArray blankRecord() const;

private:
    DbfTable() = default;
    void layout();
    void checkFileUnchanged() const;
    void writeAt(qint64 pos, const char *bytes, qint64 len, bool append, int newCount);

    QVector<FieldDef> m_defs;
    std::vector<int> m_offsets;
    FieldNameIndex m_names;
    int m_recLen = 1;
    int m_headerLen = 0;
    int m_count = 0;
    std::uint8_t m_version = 0x03;
    std::vector<char> m_data;
    QString m_path;
    FileStamp m_stamp;
    std::uint64_t m_structGen = 0;
    std::uint64_t m_dataGen = 0;
    // Memo file contents, read on the first memo value.
    bool m_memoLoaded = false;
    bool m_memoFound = false;
    QByteArray m_memo;
};

// The table of a file, shared by every dataset that has it open. A file
// changed on disk since it was read (or last written here) is read again.
std::shared_ptr<DbfTable> acquireTable(const QString &path);

// Field values straight from record bytes.
bool isBlank(const char *p, int len);
// Parses the numeric text of a field. False when blank or not a number.
bool parseNumber(const char *p, int len, double &out);
// Parses a whole number; false when blank, not a number, or not whole.
bool parseInteger(const char *p, int len, long long &out);
// Parses a number typed by a user or a caller: "," or "." as decimal mark.
bool parseNumberText(QStringView text, double &out);

// Paths may arrive in the program's Windows form ("C:\KVR\WED\"); on this
// platform a backslash is a separator too.
QString localPath(const QString &path);

} // namespace store::detail
