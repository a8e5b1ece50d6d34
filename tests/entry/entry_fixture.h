#pragma once
// Report tables and small installations made on the fly for the entry tests.

#include "store/Dataset.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QVector>

#include <memory>

namespace entrytest {

// The fields of a report table: KODSTR, NAME, KODN, KODPOKAZ, then N1..Nn
// (numbers of width 12 with 2 decimals unless given).
inline QVector<store::FieldDef> reportFields(int dataColumns, int nameLength = 60,
                                             int numberLength = 12, int decimals = 2) {
    QVector<store::FieldDef> f;
    f << store::FieldDef{QStringLiteral("KODSTR"), 'C', 6, 0}
      << store::FieldDef{QStringLiteral("NAME"), 'C', nameLength, 0}
      << store::FieldDef{QStringLiteral("KODN"), 'N', 5, 0}
      << store::FieldDef{QStringLiteral("KODPOKAZ"), 'N', 5, 0};
    for (int n = 1; n <= dataColumns; ++n)
        f << store::FieldDef{QStringLiteral("N") + QString::number(n), 'N', numberLength, decimals};
    return f;
}

// Creates the table file and appends `rows` records, row r with KODSTR r
// and KODN r, every other field blank.
inline void makeTable(const QString &path, const QVector<store::FieldDef> &fields, int rows) {
    store::DbfFile::create(path, fields);
    QFileInfo info(path);
    store::TADOConnection con;
    con.setFolder(info.absolutePath());
    con.Open();
    store::TADODataSet ds;
    ds.setConnection(&con);
    ds.setCommandText(QStringLiteral("select * from ") + info.completeBaseName());
    ds.Open();
    for (int r = 1; r <= rows; ++r) {
        ds.Append();
        ds.FieldByName(QStringLiteral("KODSTR")).SetAsString(QString::number(r));
        ds.FieldByName(QStringLiteral("KODN")).SetAsInteger(r);
        ds.Post();
    }
    ds.Close();
}

// A table opened on a connection of its own.
struct OpenTable {
    store::TADOConnection con;
    store::TADODataSet ds;
    OpenTable(const QString &folder, const QString &table) {
        con.setFolder(folder);
        con.Open();
        ds.setConnection(&con);
        ds.setCommandText(QStringLiteral("select * from ") + table);
        ds.Open();
    }
    void set(int row, const QString &field, const QVariant &v) {
        ds.setRecNo(row);
        ds.Edit();
        ds.FieldByName(field).SetAsVariant(v);
        ds.Post();
    }
    QVariant get(int row, const QString &field) {
        ds.setRecNo(row);
        return ds.FieldByName(field).AsVariant();
    }
    double num(int row, const QString &field) {
        ds.setRecNo(row);
        return ds.FieldByName(field).AsFloat();
    }
    QString text(int row, const QString &field) {
        ds.setRecNo(row);
        return ds.FieldByName(field).AsString();
    }
};

// Reads one cell straight from the file through a fresh dataset.
inline QVariant fileCell(const QString &folder, const QString &table, int row,
                         const QString &field) {
    OpenTable t(folder, table);
    return t.get(row, field);
}

} // namespace entrytest
