#pragma once
// The data module: the four connections that every subsystem shares, and the
// operations that point them at folders, open tables and tell which
// organisations and reports have data.

#include "store/Dataset.h"

#include <QString>
#include <QStringList>

class TDM {
public:
    store::TADOConnection ADOConMain; // kind 1: the program folder
    store::TADOConnection ADOConWED;  // kind 2: WED
    store::TADOConnection ADOConDBF;  // kind 3: an organisation's or a consolidation's data folder
    store::TADOConnection ADOConTemp; // kind 4: another report's folder during the checks

    static QString MakeConnectionString(const QString &Folder);
    // Closes the connection (and its datasets), points it at the folder, opens
    // it. On failure shows the connection error and returns false.
    bool OpenConnection(store::TADOConnection &Connection, const QString &Folder);
    // "select * from " + TableName. False without a message when the
    // connection is closed; false with a message when the table cannot be read.
    bool OpenTable(store::TADOConnection &Connection, store::TADODataSet &DataSet,
                   const QString &TableName);
    // Kind 1..4 as above; any other kind returns false and touches nothing.
    bool Connect(int Kind, const QString &Folder);
    static QString ExtractDbq(const QString &ConnectionString);
    // Codes of the organisations (in SCHOOL order) whose data folder holds a
    // file whose name contains Text. Kind 1 must be connected.
    QStringList ListOrgsWithFile(const QString &Text);
    // Codes of the catalogue's reports that the organisation has data for in
    // the year (four digits). Kind 2 must be connected.
    QStringList ListReportsWithData(const QString &Year, const QString &OrgCode);
};

// The one data module of the program.
TDM &DM();
