#pragma once
// Carrying the records of a table into a table of a new structure, as the
// rebuild of report tables on new blanks does, in memory and in one piece:
// the new table comes out as the bytes of a whole file. A field that keeps
// its type, length and decimals (and, for text, its code page) is copied
// byte for byte; a number whose length or decimals change is written again
// digit for digit; a text whose length or code page changes is encoded
// again. Nothing is rounded, cut or dropped: a value that would be is named
// as a problem instead, and then no table is made.

#include "store/Dataset.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QVector>

#include <memory>

namespace store {

namespace detail {
class DbfTable;
}

// A value of the old table that the new structure cannot take unchanged.
struct CarryProblem {
    enum class Kind {
        NoField,       // a field that only the old table has holds a value
        TooWide,       // the value does not fit the new field's length
        Decimals,      // the new field has fewer decimals than the value needs
        NotNumber,     // a numeric field holds text that is no number
        NotInCodePage, // the text has a character the new table's code page lacks
    };
    Kind kind = Kind::NoField;
    int row = 0; // record of the old table, counted from 1 over its records not deleted
    QString field;
    QString value;   // as stored, padding trimmed
    FieldDef target; // the new field (NoField: none)
};

class RecordCopy {
public:
    // The new structure and its rows: the new blank's file as read. Throws
    // StoreError when it is no table.
    RecordCopy(const QByteArray &blank, const QString &blankPath);
    ~RecordCopy();
    RecordCopy(const RecordCopy &) = delete;
    RecordCopy &operator=(const RecordCopy &) = delete;

    const QVector<FieldDef> &fields() const;

    struct Result {
        // False when a field of both tables changes kind (text, number,
        // date, logical) or is a memo: such a table is left to the datasets'
        // own conversions. Fields only the old table has are checked even so.
        bool carried = false;
        QByteArray table; // the new file, when carried without problems
        // The first value of each field that cannot be carried.
        QVector<CarryProblem> problems;
    };

    // Record n of the old table (deleted records left out) goes into the
    // blank's record n; old records beyond the blank's are appended as
    // blank records with their values; the blank's records beyond the old
    // table's stay as they are. A field only the blank has keeps the blank's
    // value; one only the old table has must hold nothing. The header is the
    // blank's, with its record count and the date Today. Throws StoreError
    // when the old bytes are no table.
    Result carry(const QByteArray &old, const QString &oldPath, const QDate &Today) const;

private:
    struct Plan;
    const Plan &planFor(const detail::DbfTable &old) const;

    std::shared_ptr<detail::DbfTable> m_blank;
    QByteArray m_header;                                // the blank's header as read
    mutable std::vector<std::unique_ptr<Plan>> m_plans; // by the old tables' layouts
};

} // namespace store
