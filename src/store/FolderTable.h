#pragma once
// A table of a folder opened through a connection of its own, for routines
// that read or write a table without the data module's shared connections
// (the consolidation, the exchange, the service, tools and benchmarks).
//
//   store::FolderTable t(folder, "SCHOOL");
//   for (t.ds.First(); !t.ds.Eof(); t.ds.Next()) ...

#include "store/Dataset.h"

namespace store {

struct FolderTable {
    TADOConnection con;
    TADODataSet ds;

    // Opens "select * from " + table on the folder. Throws StoreError when the
    // folder or the table cannot be opened.
    FolderTable(const QString &folder, const QString &table) {
        con.setFolder(folder);
        con.Open();
        ds.setConnection(&con);
        ds.setCommandText(QStringLiteral("select * from ") + table);
        ds.Open();
    }
};

} // namespace store
