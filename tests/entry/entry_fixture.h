#pragma once
// Report tables and small installations made on the fly for the entry tests.

#include "store/Dataset.h"
#include "support/TableBuilder.h"

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
    QList<testsupport::Record> records;
    for (int r = 1; r <= rows; ++r)
        records.append(
            {{QStringLiteral("KODSTR"), QString::number(r)}, {QStringLiteral("KODN"), r}});
    const QFileInfo info(path);
    testsupport::appendRecords(info.absolutePath(), info.completeBaseName(), records);
}

// A table opened on a connection of its own.
using testsupport::OpenTable;

} // namespace entrytest
