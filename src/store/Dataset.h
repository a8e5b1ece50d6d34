#pragma once
// The table layer: a folder of dBASE files seen as a database, and datasets
// over its tables. Every window and routine of the program reads and writes
// its tables through these two classes.
//
//   TADOConnection con;
//   con.setFolder("/inst/WED");             // or setConnectionString(...)
//   con.Open();
//   TADODataSet ds;
//   ds.setConnection(&con);
//   ds.setCommandText("select * from OTHE2016");
//   ds.Open();
//   for (ds.First(); !ds.Eof(); ds.Next())
//       qDebug() << ds.FieldByName("NAME").AsString();
//
// Errors (a missing table or field, a corrupt file, a value that does not fit
// its field, a write outside edit or insert) are thrown as StoreError.

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>
#include <QVariant>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace store {

class StoreError : public std::runtime_error {
public:
    explicit StoreError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

// One field of a table as the file's header describes it.
// type: 'C' character, 'N' numeric, 'F' float, 'L' logical, 'D' date, 'M' memo.
struct FieldDef {
    QString name; // upper case, at most 10 characters in a file
    char type = 'C';
    int length = 10;
    int decimals = 0;
};

// Cheap global counters, so that tests can assert how often tables were
// opened, records read and records written.
struct Counters {
    std::uint64_t tableOpens = 0;     // tables opened by a dataset (a shared open counts too)
    std::uint64_t recordReads = 0;    // records read from a file (a shared open reads none)
    std::uint64_t recordWrites = 0;   // records written (post, delete; in-memory tables too)
    std::uint64_t folderListings = 0; // folders listed by a connection to find a file name
};
Counters &counters();
void resetCounters();

class TADODataSet;
namespace detail {
class DbfTable;
struct FolderNames;
} // namespace detail

// A folder opened as a database. Each .DBF file of the folder is a table,
// named by its file name with or without ".DBF", in any letter case. Text is
// read and written in the code page that the table's header names (byte 29:
// 0xC9 or 0x00 Windows-1251, 0x26 or 0x65 CP866); a table that names another
// one is refused on Open.
class TADOConnection {
public:
    TADOConnection();
    ~TADOConnection();
    TADOConnection(const TADOConnection &) = delete;
    TADOConnection &operator=(const TADOConnection &) = delete;

    // The folder is taken from "Data Source=" (or "DBQ=") of the string.
    // Setting it on a connected connection closes the connection first.
    void setConnectionString(const QString &s);
    // The string as set; while connected, followed by "DBQ=" + folder() + ";",
    // as the platform reports an open dBASE connection, so that the folder can
    // be taken back out of it (TDM::ExtractDbq).
    QString connectionString() const;
    void setFolder(const QString &folder); // sets a connection string for the folder
    QString folder() const;                // the folder as given, without a closing separator

    // Opens the connection; throws StoreError when the folder does not exist.
    void Open();
    // Closes the connection and every dataset open through it.
    void Close();
    bool Connected() const;

    // Held writes, for tables that nothing else reads or writes until this
    // program is done with them (a table built aside, then renamed into
    // place): the tables that datasets open through the connection from now
    // on keep their posts and deletes in memory, and Flush() writes each
    // changed table to its file at once (throws StoreError; a file changed
    // by someone else meanwhile is refused). Close() drops changes not
    // flushed. Off by default: every post is written at once.
    // The path of a file of the folder whatever its letter case (the name as
    // written first), empty when there is none. The connection remembers the
    // folder's file names and lists it again when the folder has changed
    // since (a file created, removed or renamed, by this program or another),
    // or changed too shortly before the listing for the change to be told.
    QString findFile(const QString &fileName);

    void setHoldWrites(bool hold);
    bool holdsWrites() const { return m_holdWrites; }
    void Flush();

    // For a run that opens many tables of the folder while nothing renames
    // or replaces the folder: from Open() to Close() the connection keeps
    // the folder open and opens its tables relative to it, without walking
    // the folder's path each time. Connections keep at most a quarter of the
    // process's descriptor limit open this way; others open by path. Off by
    // default. Set before Open().
    void setKeepFolderOpen(bool keep) { m_keepFolderOpen = keep; }

private:
    friend class TADODataSet;
    void attach(TADODataSet *ds);
    void detach(TADODataSet *ds);
    void hold(const std::shared_ptr<detail::DbfTable> &table);
    QString pathOf(const QString &fileName); // as findFileCaseInsensitive makes it
    QString m_connectionString;
    QString m_folder;
    bool m_connected = false;
    bool m_holdWrites = false;
    bool m_keepFolderOpen = false;
    int m_folderFd = -1; // the folder kept open, -1 when none
    // Held in place: a run that opens tables in many folders moves one
    // dataset from connection to connection, and would otherwise reach a
    // block of its own in each.
    QVarLengthArray<TADODataSet *, 4> m_datasets;
    std::vector<std::shared_ptr<detail::DbfTable>> m_heldTables;
    std::unique_ptr<detail::FolderNames> m_names;
    QString m_pathPrefix;   // the folder's part of its files' paths...
    QString m_pathPrefixOf; // ...made for this folder
};

// A handle on one field of a dataset's current record. Cheap to copy; valid
// while the dataset stays open.
class TField {
public:
    TField(TADODataSet *ds, int index) : m_ds(ds), m_index(index) {}

    QString FieldName() const;
    const FieldDef &Def() const;
    int Index() const { return m_index; }

    // Reading. A blank numeric, date or logical field is null: it reads as
    // 0 as a number and as empty text. Character fields lose trailing blanks.
    // As text, numbers read in the shortest form with "." ("12.5", "3") and
    // every digit that the field holds,
    // dates as dd.MM.yyyy, logicals as "True"/"False". A memo field reads
    // from the table's .DBT file, and throws when there is none.
    bool IsNull() const;
    QString AsString() const;
    int AsInteger() const;      // text that is no number reads as 0; fractions round half to even
    double AsFloat() const;     // text that is no number reads as 0
    QVariant AsVariant() const; // null -> invalid QVariant; C -> QString; N/F -> double
                                // (qlonglong when the field has no decimals); L -> bool; D -> QDate
    bool AsBoolean() const;
    // The field's characters as stored in the record, blanks trimmed at both
    // ends (a numeric field that holds text which is no number shows it here).
    QString StoredText() const;
    // Reads a numeric, float or character field as a number ("," or "." as
    // the decimal mark): Blank when it holds only blanks, NotNumber when its
    // text is no number; value is set only for Number.
    enum class NumberReading { Blank, Number, NotNumber };
    NumberReading ReadNumber(double &value) const;
    // The same on a field's bytes (RecordBytes() + FieldOffset()), for
    // readers that take many cells of many records.
    static NumberReading ReadNumber(const FieldDef &def, const char *bytes, double &value);

    // Writing; only while the dataset is in edit or insert state. A value
    // that does not fit the field, or text that the table's code page cannot
    // hold (a character without a letter there, a NUL), throws StoreError
    // naming the field and leaves the field as it was. Numbers are
    // rounded to the field's decimals (text half to even on its digits).
    void SetAsString(const QString &v); // into a numeric field: parsed ("," or "."), empty -> null
    void SetAsInteger(long long v);
    void SetAsFloat(double v);
    void SetAsVariant(const QVariant &v); // invalid/null QVariant -> Clear()
    void SetAsBoolean(bool v);
    void Clear(); // makes the field null (blank)
    // Writes a field of another record as SetAsString(Src.AsString()) does.
    // Where both fields have the same type, width and decimals, the tables
    // the same code page, and Src already holds its value in the form that
    // write makes, its bytes are copied as they are.
    void SetFrom(const TField &Src);

private:
    TADODataSet *m_ds;
    int m_index;
};

enum class DataSetState { Inactive, Browse, Edit, Insert };

// A table opened through a connection (or made in memory from field
// definitions). Records are held in file order, deleted records skipped;
// IndexFieldNames orders them by fields. The current record is addressed by
// RecNo, counted from 1.
//
// Datasets open on the same file share one copy of its records, so each sees
// what the others post (new and deleted records included). A file changed on
// disk is read again by the next Open (which then shares nothing with the
// datasets opened before the change). Each post and delete holds the
// operating system's lock on the file, so that several copies of the program
// can write one table: a dataset whose file another writer changed takes in
// their new records at its next write (and refuses to edit a record they
// deleted); a file replaced by another table is refused. What another
// writer saved in the records this copy holds is taken in record by record:
// by the post of an edit of that record, and by RefreshRecord.
//
// A write rests on what its writer read. Edit starts from the record as this
// copy read it (not as another copy may have saved it since), and Post writes
// only the fields that the edit changed, so that fields another writer saved
// meanwhile keep their values. When another writer has saved, in one of the
// edit's own fields, a value other than the one this copy read there, Post
// writes nothing and throws StoreError ("Запись изменена другим
// пользователем: поле N3. ..."): the edit ends, and the dataset stays on the
// record in browse state showing the values the file holds, for the user to
// enter the value again. Values worked out from other fields (a total from
// its row) name those with RestOn: Post refuses in the same way when one of
// them no longer holds what this copy read.
//
// A dataset whose current record another dataset deletes stays on that record
// (Deleted() is then true): its fields read as they were, RecNo reads 0,
// RecordCount leaves it out, and Edit, Delete and the Post of a pending edit
// throw StoreError, so that nothing is written to another record in its place
// (Edit does not turn into an insert either). Next and Prior go on to the
// records that stood after and before it, in the dataset's order; First,
// Last, setRecNo, a successful Locate and a posted insert leave it too.
//
// Moving the cursor (First, Next, Prior, Last, setRecNo, Locate, Insert,
// Append, setIndexFieldNames) while a record is being edited or inserted posts
// it when a field was written, and drops it otherwise, as a data-aware grid
// does when the user leaves a row.
class TADODataSet {
public:
    TADODataSet();
    ~TADODataSet();
    TADODataSet(const TADODataSet &) = delete;
    TADODataSet &operator=(const TADODataSet &) = delete;

    void setConnection(TADOConnection *c);
    TADOConnection *connection() const { return m_connection; }

    // "select * from NAME" with NAME with or without ".DBF", optionally
    // followed by " where " and comparisons (=, <>, <, >, <=, >=) of a field
    // with a number or a quoted text, joined by AND, each optionally in
    // parentheses. Anything else throws StoreError on Open. Keywords and
    // text comparisons ignore letter case; a blank number matches nothing.
    // Setting a different text closes an open dataset.
    void setCommandText(const QString &sql);
    QString commandText() const { return m_commandText; }
    QString tableName() const; // the table named by the command text
    QString filePath() const;  // the file of the open table (empty in memory)

    void Open(); // throws StoreError: no connection, connection closed, missing table, corrupt file
    void Close(); // a pending edit or insert is cancelled, as a closing grid does
    bool Active() const;
    DataSetState State() const { return m_state; }

    // Walking.
    void First();
    void Next(); // on the last record sets Eof and stays there
    void Prior();
    void Last();
    bool Eof() const;
    bool Bof() const;
    int RecNo() const;    // 1-based; 0 when the table is empty or the record was deleted elsewhere
    void setRecNo(int n); // positions at record n (1..RecordCount); out of range throws
    int RecordCount() const;
    bool IsEmpty() const { return RecordCount() == 0; }

    // Fields.
    int FieldCount() const;
    TField Fields(int index);
    TField FieldByName(const QString &name);   // case-insensitive; missing throws StoreError
    int FieldIndex(const QString &name) const; // -1 when missing
    const QVector<FieldDef> &FieldDefs() const;
    // The current record's bytes as the table holds them (the edited copy
    // while editing), null when there is no current record; field i takes
    // FieldDefs()[i].length bytes from FieldOffset(i). Valid until the
    // dataset moves, writes or closes.
    const char *RecordBytes() const;
    int FieldOffset(int index) const;

    // Editing.
    void Edit();
    // A new blank record, written only by Post and dropped by Cancel. As with
    // ADO, Insert and Append both add the record at the end of the file (and
    // of the file order); RecNo reads RecordCount()+1 until it is posted.
    void Insert();
    void Append();
    // Edit on an empty table starts an insert, as the platform does.
    void Post(); // writes the record to the file at once
    void Cancel();
    // While editing: the values this edit writes were worked out from this
    // field as this copy read it, of the record being edited (RecNo 0) or of
    // record RecNo. Post refuses, as for a field it writes, when another
    // writer has saved another value there since; the record is then read
    // again. Throws outside an edit and for a missing field or record.
    void RestOn(const QString &field, int recNo = 0);
    // A field of a record as the file holds it at the moment of a post, as
    // AsString reads it: the record by its number as RecNo counts (the
    // record being edited holding the fields this edit wrote), the field by
    // name; empty for a missing record or field.
    using SavedCell = std::function<QString(int recNo, const QString &field)>;
    // What a check of a post says: empty lets the post go on, a text refuses it.
    using PostCheck = std::function<QString(const SavedCell &)>;
    // While editing: the values this edit writes must pass the check on the
    // table as the file holds it when they are written. Post runs it under
    // the file's lock, before anything is written; a text it gives refuses
    // the post as a value another writer saved does (nothing is written,
    // the edit ends and the dataset shows the record as the file holds it)
    // and Post throws StoreError with that text. The check reads the table
    // through SavedCell only. Throws outside an edit.
    void CheckOnPost(PostCheck check);
    // In browse state: reads the current record from the file again, taking
    // in what other writers saved in it (and their new records), so that
    // values worked out from it start from what the file holds.
    void RefreshRecord();
    // The field numbers the table's records, one number each (an
    // organisation's code, say). Every Post that appends a record, or that
    // writes this field in an edit, reads the field of every record again
    // from the file under the file's lock, so that what other copies of the
    // program appended or changed meanwhile counts: an appended record whose
    // number is not above every other record's gets the largest plus one
    // (read the field after Post for the number it got), and an edit that
    // writes a number another record holds is refused with StoreError,
    // the edit staying as it was. Empty (the default): no such field.
    void setNumberField(const QString &field) { m_numberField = field; }
    QString numberField() const { return m_numberField; }
    // Numbers of the numbering field that stand outside the table (the data
    // folders that organisation codes name, say), as the largest of them, 0
    // for none. Asked under the file's lock at every Post that appends a
    // record: the new record's number goes above these as well. Unset (the
    // default): only the table's numbers count.
    void setNumbersOutside(std::function<long long()> largest) {
        m_numbersOutside = std::move(largest);
    }
    void Delete(); // marks the current record deleted in the file; the next one becomes current
    bool Modified() const; // a field was written since Edit/Insert/Append
    // True while the current record is one that another dataset sharing the
    // table has deleted (see above).
    bool Deleted() const;

    // Finds the first record whose field equals the value (numbers compared as
    // numbers, text exactly, trailing blanks ignored; a null QVariant finds a
    // blank field) and positions there; false leaves the position.
    bool Locate(const QString &field, const QVariant &value);

    // Orders the records by the named fields (";"-separated); empty restores file order.
    void setIndexFieldNames(const QString &names);
    QString indexFieldNames() const { return m_indexFieldNames; }

    // In-memory tables: add field definitions to a closed dataset without a
    // connection, then CreateDataSet() opens it empty.
    void AddFieldDef(const FieldDef &def);
    void ClearFieldDefs();
    void CreateDataSet();

    // Notifications, as the grid and the windows need them.
    std::function<void()> onStateChange; // state changed (browse/edit/insert/inactive)
    std::function<void()> onDataChange;  // a field of the current record was written
    std::function<void()> onScroll;      // the current record changed
    std::function<void()> beforeEdit;    // before Edit() switches to edit state
    std::function<void()> afterPost;     // after a successful Post()
    std::function<void()> onNewRecord;   // after Insert()/Append() made the blank record

    // Implementation detail, public for the field handles.
    struct Impl;
    Impl *impl() const { return m_impl.get(); }

private:
    friend class TADOConnection;
    friend class TField;
    void connectionClosing();
    // Ends an edit that Post refused: the dataset shows the record as the
    // file holds it.
    void endRefusedEdit();
    [[noreturn]] void refuseConflict(const std::vector<int> &fields);
    std::unique_ptr<Impl> m_impl;
    TADOConnection *m_connection = nullptr;
    QString m_commandText;
    QString m_indexFieldNames;
    QString m_numberField;
    std::function<long long()> m_numbersOutside;
    DataSetState m_state = DataSetState::Inactive;
};

// File-level helpers for code that creates or inspects tables directly
// (blanks made by tools, tests, the rebuild of report tables).
namespace DbfFile {
// Creates a new empty dBASE III table (version 0x03) with these fields;
// an existing file is replaced. Names are written upper case.
void create(const QString &path, const QVector<FieldDef> &fields);
// The fields of an existing table, read from its header.
QVector<FieldDef> fieldsOf(const QString &path);
} // namespace DbfFile

// Finds a file in a folder whatever its letter case (F12016.DBF, f12016.dbf).
// Returns the existing path, or an empty string when there is none.
QString findFileCaseInsensitive(const QString &folder, const QString &fileName);
// True when the file exists in the folder in any letter case.
bool fileExistsCaseInsensitive(const QString &folder, const QString &fileName);

} // namespace store
