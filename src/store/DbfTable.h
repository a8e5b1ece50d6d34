#pragma once
// The engine under the datasets: one dBASE table held in memory as its raw
// record bytes, written through to its file on every change. Not part of the
// public API; the datasets share one DbfTable per file while any of them has
// it open (see TableRegistry in DbfTable.cpp).

#include "store/CodePage.h"
#include "store/Dataset.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct stat;

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
// The same, from what stat() or fstat() returned.
FileStamp stampOfStat(const struct stat &st);

// Case-insensitive lookup of field names without allocating.
class FieldNameIndex {
public:
    void build(const QVector<FieldDef> &defs);
    int find(const QVector<FieldDef> &defs, QStringView name) const;

private:
    std::vector<int> m_slots; // field index + 1; 0 is empty
    std::uint32_t m_mask = 0;
};

// The record bytes of a table, in blocks of kPerBlock records: an append
// copies only the last block's records when it grows, never the whole table,
// so that appending costs the same however large the table is.
class RecordStore {
public:
    static constexpr int kShift = 10;
    static constexpr int kPerBlock = 1 << kShift;

    void reset(int recLen) {
        m_recLen = recLen;
        m_count = 0;
        m_blocks.clear();
    }
    int count() const { return m_count; }
    const char *at(int i) const {
        return m_blocks[std::size_t(i >> kShift)].data() +
               std::size_t(i & (kPerBlock - 1)) * std::size_t(m_recLen);
    }
    char *at(int i) {
        return m_blocks[std::size_t(i >> kShift)].data() +
               std::size_t(i & (kPerBlock - 1)) * std::size_t(m_recLen);
    }
    // Appends n records that stand one after another.
    void append(const char *records, int n) {
        while (n > 0) {
            if (m_count % kPerBlock == 0)
                m_blocks.emplace_back();
            std::vector<char> &b = m_blocks.back();
            const int take = std::min(n, kPerBlock - m_count % kPerBlock);
            const std::size_t bytes = std::size_t(take) * std::size_t(m_recLen);
            b.insert(b.end(), records, records + bytes);
            records += bytes;
            m_count += take;
            n -= take;
        }
    }

    // Makes the store hold n records, keeping the blocks it has: the bytes
    // are the caller's to fill, block by block.
    void resize(int n) {
        m_blocks.resize(std::size_t((n + kPerBlock - 1) >> kShift));
        for (std::size_t b = 0; b < m_blocks.size(); ++b)
            m_blocks[b].resize(std::size_t(std::min(kPerBlock, n - int(b << kShift))) *
                               std::size_t(m_recLen));
        m_count = n;
    }
    int blockCount() const { return int(m_blocks.size()); }
    std::vector<char> &block(int b) { return m_blocks[std::size_t(b)]; }

private:
    int m_recLen = 1;
    int m_count = 0;
    std::vector<std::vector<char>> m_blocks;
};

// A field of a record with the bytes a writer read there.
struct ReadCell {
    int phys;
    int field;
    QByteArray bytes;
};

class DbfTable {
public:
    ~DbfTable();
    DbfTable(const DbfTable &) = delete;
    DbfTable &operator=(const DbfTable &) = delete;

    // A table parsed from the bytes of a file; throws StoreError naming
    // `source` when the bytes are not a table this layer can read.
    static std::shared_ptr<DbfTable> parse(const char *data, std::size_t size,
                                           const QString &source);
    // Reads and parses a file through a descriptor open on it (left open);
    // the table then writes through to the file.
    static std::shared_ptr<DbfTable> loadFrom(int fd, const QString &path);
    // A table parsed from a file's bytes, writing through to that file.
    static std::shared_ptr<DbfTable> fromFileBytes(const QByteArray &bytes, const QString &path,
                                                   const FileStamp &stamp);
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
    const char *record(int phys) const { return m_data.at(phys); }
    bool isDeleted(int phys) const { return record(phys)[0] == '*'; }
    int fieldIndex(QStringView name) const { return m_names.find(m_defs, name); }
    const QString &path() const { return m_path; }
    bool inMemoryOnly() const { return m_path.isEmpty(); }
    // True when this copy holds the file as it stands with that stamp: read
    // whole, or written here, since its last change.
    bool upToDate(const FileStamp &now) const { return !m_lagging && now == m_stamp; }
    std::uint8_t version() const { return m_version; }
    CodePage codePage() const { return m_codePage; }
    // Text in the table's code page.
    QString decode(const char *bytes, qsizetype len) const {
        return codepage::decode(m_codePage, bytes, len);
    }

    // Changes. Each one is made under the operating system's lock on the
    // file, so that other processes writing the same table wait for it.
    // Under the lock the file is read again whole when another writer added
    // records since this copy last read it: their records enter the memory
    // copy (and the generations below move), so an append lands after
    // theirs. What another writer changed in place (fields saved, records
    // marked deleted) is read again only in the records that a change or a
    // refresh reads again, so that an edit costs the same however large the
    // table; the memory copy holds the rest as this copy last read it. Each
    // change reaches the file before the memory copy changes, so a failed
    // write leaves the change out of both.
    //
    // refresh reads record phys from the file, taking in what other writers
    // saved in it (the whole file when records were added); true
    // when the record changed. A file that cannot be opened, or that was
    // replaced, is left for the next write to report.
    bool refresh(int phys);
    // updateRecord writes the fields among `written` (in field order) in
    // which `bytes` differ from `original` (the record as this copy read it
    // when its edit began), then the header date; the other fields keep what
    // the file holds. Under the lock the record is read from the file again:
    // when another writer has saved in one of those fields, or in one of
    // the fields `restsOn` (in field order) or the cells `others` (fields of
    // other records, with the bytes this copy read there, each record read
    // again) that the values written were worked out from, a value other
    // than the one this copy read, nothing is written and those fields are
    // returned (the memory copy then holds the other writer's values). An
    // empty result: the change is written. A record that another writer
    // deleted is refused.
    //
    // check, when given, runs under the lock before anything is written,
    // with every record of the table as the file holds it (all read again
    // when another writer changed any in place); it may throw StoreError,
    // and then nothing is written.
    std::vector<int> updateRecord(int phys, const char *original, const char *bytes,
                                  const std::vector<int> &written,
                                  const std::vector<int> &restsOn = {},
                                  const std::vector<ReadCell> &others = {},
                                  const std::function<void()> &check = {});
    // Appends in an order that leaves the file whole at every instant, for
    // readers that go by the header count and for those that read up to the
    // end mark: the record's fields and the new end mark past the old one,
    // then the flag byte over the old end mark, then the header count.
    // settle, when given, runs under the lock before the record is written,
    // with every record of the table as the file holds it (as for check
    // above), on a copy of the record's bytes that it may change: the record
    // is written as settle leaves it. It may throw StoreError, and then
    // nothing is written.
    int appendRecord(const char *bytes, const std::function<void(char *record)> &settle = {});
    void markDeleted(int phys);

    // Held writes (TADOConnection::setHoldWrites): changes made from now on
    // reach the memory copy only, and flushHeld writes them to the file at
    // once (header, records and end mark in one write), leaving the file as
    // the same changes written one by one would. It refuses a file that
    // another writer changed or replaced meanwhile. dropHeld forgets held
    // changes not flushed: the table leaves the registry (the next open reads
    // the file) and its next write-through finds the file changed.
    void holdWrites();
    bool holdsWrites() const { return m_held; }
    void flushHeld();
    void dropHeld();

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
    void parseHeader(const unsigned char *p, int headerLen, int recLen, const QString &source);
    template <typename Steps> void writeLocked(Steps &&steps);
    void openForWriting();
    bool openForReading();
    void takeInChanges(const FileStamp &now);
    std::uint32_t checkHeader(const QByteArray &head);
    void readAgain(const QByteArray &head, std::uint32_t count);
    bool readRecordAgain(int phys);
    // Under the lock: reads every record again when another writer changed
    // records in place that this copy has not read since.
    void readAllAgain();
    void put(qint64 pos, const char *bytes, qint64 len);
    void putHeader(int count);
    [[noreturn]] void failChanged() const;

    QVector<FieldDef> m_defs;
    std::vector<int> m_offsets;
    FieldNameIndex m_names;
    int m_recLen = 1;
    int m_headerLen = 0;
    int m_count = 0;
    std::uint8_t m_version = 0x03;
    CodePage m_codePage = CodePage::Cp1251;
    QByteArray m_header;        // the header as read: the layout that writes check the file against
    int m_fd = -1;              // open from the first edit or change on...
    bool m_fdWritable = false;  // ...for writing, or for reading only
    QByteArray m_span;          // the bytes of an update, made here each time
    std::vector<int> m_changed; // the fields an update changes, found here each time
    RecordStore m_data;
    QString m_path;
    FileStamp m_stamp;
    bool m_lagging = false; // another writer changed records in place that were not read again
    std::uint64_t m_structGen = 0;
    std::uint64_t m_dataGen = 0;
    bool m_held = false;        // changes wait for flushHeld
    bool m_heldChanges = false; // held changes not yet written
    bool m_heldAppends = false; // ...among them appended records (the end mark moves)
    // Memo file contents, read on the first memo value.
    bool m_memoLoaded = false;
    bool m_memoFound = false;
    QByteArray m_memo;
};

// Observes every write to a table file before it is made (file position and
// bytes), so that a test can replay a write cut short at any byte. Null
// (the default) observes nothing.
using WriteProbe = std::function<void(const QString &path, qint64 pos, const QByteArray &bytes)>;
void setWriteProbe(WriteProbe probe);

// The table of a file, shared by every dataset that has it open (one table
// per file on disk, whatever name it was opened by). A file changed on disk
// since it was read (or last written here) is read again.
std::shared_ptr<DbfTable> acquireTable(const QString &path);
// The same, but null when no file (or only a folder) stands at the path,
// so that the caller can look for the name in another letter case.
std::shared_ptr<DbfTable> acquireTableIfExists(const QString &path);
// The same for a file of a folder open as folderFd: the name (in the file
// system's encoding, QFile::encodeName) is opened relative to it, and path
// (the folder's path and the name) is what the table writes through and
// messages name.
std::shared_ptr<DbfTable> acquireTableIfExistsAt(int folderFd, const QByteArray &nativeName,
                                                 const QString &path);
// A folder kept open for opening tables relative to it (O_PATH where the
// system has it), or -1: when it cannot be opened, or when the folders kept
// open already take a quarter of the process's descriptor limit.
int openKeptFolder(const QString &folder);
void closeKeptFolder(int fd);
// Takes a table out of the registry: the next open of its file reads it.
void forgetTable(const DbfTable *table);

// Field values straight from record bytes.
bool isBlank(const char *p, int len);
// The span [i, end) of a field's value without its padding (blanks, and the
// NULs some writers leave); false when nothing is left, which is a null value.
bool valueSpan(const char *p, int len, int &i, int &end);
// Parses the numeric text of a field. False when blank or not a number.
bool parseNumber(const char *p, int len, double &out);
// The same, telling a blank field from one that holds no number. One pass
// over the common form (sign, digits, one decimal mark, padding around);
// other forms go to parseNumberSpan.
TField::NumberReading readNumberBytes(const char *p, int len, double &out);
// The general reading: the value's span without its padding, then its text
// (exponents and long mantissas read exactly).
bool parseNumberSpan(const char *p, int len, double &out);
// Parses a whole number; false when blank, not a number, or not whole.
bool parseInteger(const char *p, int len, long long &out);
// Parses a number typed by a user or a caller: "," or "." as decimal mark.
bool parseNumberText(QStringView text, double &out);

// Paths may arrive in the program's Windows form ("C:\KVR\WED\"); on this
// platform a backslash is a separator too.
QString localPath(const QString &path);

} // namespace store::detail
