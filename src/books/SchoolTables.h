#pragma once
// The organisation book SCHOOL and the own requisites REGIM, both in the
// program folder and read through the program-folder connection.
//
// SCHOOL holds one record per organisation; its KOD names the data folder
// DBF/D<KOD>. REGIM holds one record: the requisites of the organisation
// that runs the program.

#include "store/Dataset.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// ---------------------------------------------------------------- SCHOOL

// The fields of SCHOOL in their stored order.
const QStringList &SchoolFieldNames();
// Field definitions for a new SCHOOL table (numeric KOD, KODCITY, KOD1..KOD4).
QVector<store::FieldDef> SchoolFieldDefs();

struct Organisation {
    int KOD = 0;
    int KOD1 = 0;
    QString NAME;
    int KOD2 = 0;
    QString CITY;
    QString INN_O;
    QString TELEF;
    QString OKONX_K;
    QString OKPO_K;
    int KODCITY = 0; // 1 districts, 2 cities, 3 republican institutions, 4 city districts
    QString GLAVRAS;
    QString RYKORG;
    QString GLABUX;
    QString RYKFIN;
    int KOD3 = 0; // school type 1..3
    int KOD4 = 0; // 1 independent, 2 branch
    QString ADRES;
};

// The organisation of the dataset's current record; fields are found by name,
// a missing one reads as empty or 0.
Organisation ReadOrganisation(store::TADODataSet &School);
// Every organisation of an open SCHOOL dataset in stored order; leaves the
// dataset on its first record.
QVector<Organisation> ReadOrganisations(store::TADODataSet &School);
// Writes the organisation into the current record, which must be in edit or
// insert state; the caller posts. Throws store::StoreError.
void WriteOrganisation(store::TADODataSet &School, const Organisation &Org);

// The largest KOD of SCHOOL as stored in the file (a record being appended and
// not yet posted does not count), 0 for an empty table. Reads through a
// dataset of its own on the connection. Throws store::StoreError when SCHOOL
// cannot be read.
int GetMaxKod(store::TADOConnection &Connection);
// The largest n of the data folders D<n> under DbfDir, 0 when there is none.
int MaxOrgFolderCode(const QString &DbfDir);
// The code for a new organisation: larger than every KOD of SCHOOL and than
// every existing data folder D<n>, so that a new organisation never takes over
// the report tables left by a deleted one. Throws store::StoreError when
// SCHOOL cannot be read.
int NextOrganisationCode(store::TADOConnection &Connection, const QString &DbfDir);

// ---------------------------------------------------------------- REGIM

const QStringList &RegimFieldNames();
QVector<store::FieldDef> RegimFieldDefs();

struct Requisites {
    QString BANK;  // the organisation's name
    QString CENA2; // address
    QString TEL;
    QString RYKORG; // head
    QString GLABUX; // chief accountant
    QString RYKFIN; // compiler of the reports
    QString OKPO;
    QString INNO; // INN
};

// The first record of REGIM, fields found by name (a missing one reads
// empty). Nothing when the table cannot be opened (no message) or is empty.
std::optional<Requisites> ReadRequisites(store::TADOConnection &Connection);
