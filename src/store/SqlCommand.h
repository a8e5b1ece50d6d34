#pragma once
// The small part of SQL that the program sends to its tables:
//   select * from NAME [where COND {AND COND}]
// where COND is FIELD op LITERAL, optionally in parentheses, op one of
// = <> != < > <= >=, LITERAL a number, a quoted text ('..' or "..") or
// TRUE/FALSE. Keywords are case-insensitive. Anything else is refused.

#include <QString>

#include <vector>

namespace store::detail {

class DbfTable;

struct Condition {
    enum class Op { Eq, Ne, Lt, Gt, Le, Ge };
    enum class Kind { Number, Text, Boolean };
    QString fieldName;
    Op op = Op::Eq;
    Kind kind = Kind::Number;
    double number = 0;
    QString text;
    bool boolean = false;
    // Filled by Filter::resolve.
    int field = -1;
    char fieldType = 'C';
    QString dateKey; // YYYYMMDD for date fields
};

struct SelectCommand {
    QString table; // as named, without brackets or quotes
    std::vector<Condition> conditions;
};

// Throws StoreError on anything outside the grammar above.
SelectCommand parseSelect(const QString &sql);

class Filter {
public:
    Filter() = default;
    explicit Filter(std::vector<Condition> c) : m_conds(std::move(c)) {}
    bool empty() const { return m_conds.empty(); }
    // Binds the field names to the table's fields; throws StoreError for a
    // missing field or a literal that cannot be compared with its field.
    void resolve(const DbfTable &table);
    bool matches(const DbfTable &table, const char *record) const;

private:
    std::vector<Condition> m_conds;
};

} // namespace store::detail
