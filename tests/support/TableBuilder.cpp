#include "TableBuilder.h"

#include <QDir>

namespace testsupport {

void OpenTable::set(int row, const QString &field, const QVariant &v) {
    ds.setRecNo(row);
    ds.Edit();
    ds.FieldByName(field).SetAsVariant(v);
    ds.Post();
}

QVariant OpenTable::get(int row, const QString &field) {
    ds.setRecNo(row);
    return ds.FieldByName(field).AsVariant();
}

double OpenTable::num(int row, const QString &field) {
    ds.setRecNo(row);
    return ds.FieldByName(field).AsFloat();
}

int OpenTable::integer(int row, const QString &field) {
    ds.setRecNo(row);
    return ds.FieldByName(field).AsInteger();
}

QString OpenTable::text(int row, const QString &field) {
    ds.setRecNo(row);
    return ds.FieldByName(field).AsString();
}

void appendRecords(store::TADOConnection &con, const QString &table, const QList<Record> &records) {
    store::TADODataSet ds;
    ds.setConnection(&con);
    ds.setCommandText(QStringLiteral("select * from ") + table);
    ds.Open();
    for (const Record &record : records) {
        ds.Append();
        for (const auto &[field, value] : record)
            ds.FieldByName(field).SetAsVariant(value);
        ds.Post();
    }
    ds.Close();
}

void appendRecords(const QString &folder, const QString &table, const QList<Record> &records) {
    store::TADOConnection con;
    con.setFolder(folder);
    con.Open();
    appendRecords(con, table, records);
}

void writeTable(const QString &folder, const QString &table, const QVector<store::FieldDef> &fields,
                const QList<Record> &records) {
    store::DbfFile::create(QDir(folder).filePath(table + QStringLiteral(".DBF")), fields);
    appendRecords(folder, table, records);
}

QVariant readCell(const QString &folder, const QString &table, int row, const QString &field) {
    OpenTable t(folder, table);
    return t.get(row, field);
}

} // namespace testsupport
