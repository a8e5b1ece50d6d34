// Feeds arbitrary bytes to the table layer as a .DBF file: open it, walk it,
// read every field in every form, order and search it, and edit the first
// record. Any crash, sanitizer report or exception other than StoreError is a
// fault; StoreError is the expected answer to a bad file.

#include "store/Dataset.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

QTemporaryDir &scratch() {
    static QTemporaryDir dir;
    return dir;
}

void readAll(store::TADODataSet &ds) {
    for (ds.First(); !ds.Eof(); ds.Next()) {
        (void)ds.RecNo();
        for (int i = 0; i < ds.FieldCount(); ++i) {
            store::TField f = ds.Fields(i);
            try {
                (void)f.IsNull();
                (void)f.AsString();
                (void)f.AsInteger();
                (void)f.AsFloat();
                (void)f.AsBoolean();
                (void)f.AsVariant();
            } catch (const store::StoreError &) {
                // memo values without a memo file
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // The same bytes serve as the memo file, so that memo blocks are read
    // from arbitrary data too.
    for (const char *name : {"FUZZ.DBF", "fuzz.dbt"}) {
        QFile f(scratch().filePath(QLatin1String(name)));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    store::TADOConnection con;
    con.setFolder(scratch().path());
    con.Open();
    store::TADODataSet ds;
    ds.setConnection(&con);
    ds.setCommandText(QStringLiteral("select * from fuzz"));
    try {
        ds.Open();
    } catch (const store::StoreError &) {
        return 0;
    }
    readAll(ds);
    const QVector<store::FieldDef> defs = ds.FieldDefs();
    try {
        ds.setIndexFieldNames(defs.first().name);
        readAll(ds);
        ds.First();
        (void)ds.Locate(defs.first().name, QVariant(1));
        (void)ds.Locate(defs.first().name, QVariant(QStringLiteral("1")));
        ds.setIndexFieldNames(QString());
    } catch (const store::StoreError &) {
    }
    // Write back: copy each field onto itself, then append a copy.
    try {
        if (!ds.IsEmpty()) {
            ds.First();
            ds.Edit();
            for (int i = 0; i < ds.FieldCount(); ++i) {
                if (defs[i].type == 'M')
                    continue;
                store::TField f = ds.Fields(i);
                f.SetAsVariant(f.AsVariant());
            }
            ds.Post();
            ds.Append();
            ds.Post();
            ds.Last();
            ds.Delete();
        }
    } catch (const store::StoreError &) {
    }
    try {
        store::TADODataSet again;
        again.setConnection(&con);
        again.setCommandText(QStringLiteral("select * from FUZZ.DBF"));
        again.Open();
        readAll(again);
    } catch (const store::StoreError &) {
    }
    return 0;
}
