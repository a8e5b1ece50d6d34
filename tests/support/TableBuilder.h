#pragma once
// Small dBASE tables for the tests: made with their fields and records,
// appended to, and read back cell by cell, each through a connection of its
// own so that nothing is left open on the program's connections.

#include "store/Dataset.h"
#include "store/FolderTable.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

namespace testsupport {

// The values of one record by field name; fields not named stay blank.
using Record = QList<QPair<QString, QVariant>>;

// A table of a folder opened on a connection of its own, with cell helpers.
// Rows count from 1.
struct OpenTable : store::FolderTable {
    using FolderTable::FolderTable;
    // Writes one cell and posts the record.
    void set(int row, const QString &field, const QVariant &v);
    QVariant get(int row, const QString &field);
    double num(int row, const QString &field);
    int integer(int row, const QString &field);
    QString text(int row, const QString &field);
};

// Appends the records to the table through a dataset on the connection.
void appendRecords(store::TADOConnection &con, const QString &table, const QList<Record> &records);
// Appends the records to folder/table through a connection of its own.
void appendRecords(const QString &folder, const QString &table, const QList<Record> &records);
// Creates folder/table.DBF with the fields (replacing a file there) and
// appends the records.
void writeTable(const QString &folder, const QString &table, const QVector<store::FieldDef> &fields,
                const QList<Record> &records = {});
// One cell read straight from the file through a fresh connection.
QVariant readCell(const QString &folder, const QString &table, int row, const QString &field);

} // namespace testsupport
