#pragma once
// The contents of the demo installation: the organisations of SCHOOL, the
// own requisites of REGIM, the consolidation sets, the formula tables, and
// the report tables that some organisations have filled in. Everything is
// made from fixed tables and a seeded generator, so every run writes the same
// data.

#include <QString>
#include <QVector>

#include <optional>

namespace demo {

struct Organisation {
    int kod = 0;
    int kod1 = 0; // 1: rural school
    QString name;
    int kod2 = 0; // 1: small school
    QString city; // the district or town, stored only
    QString inn;
    QString telef;
    QString okonx;
    QString okpo;
    int kodcity = 1; // 1 districts, 2 cities, 3 republican institutions, 4 districts of Тры
    QString glavras;
    QString rykorg;
    QString glabux;
    QString rykfin;
    int kod3 = 3; // 1 primary, 2 basic, 3 secondary school
    int kod4 = 1; // 1 independent, 2 branch
    QString adres;
};

// The organisation book, in stored order; codes ascend with gaps.
const QVector<Organisation> &Organisations();
const Organisation *FindOrganisation(int kod);

// One value per cell; an empty optional is a blank cell.
using Cell = std::optional<double>;

// A report table as an organisation filled it: cells[row - 1][column - 1]
// for the data column N<column>; names[row - 1] replaces the blank's NAME
// when it is not null.
struct FilledReport {
    QString base;
    QVector<QVector<Cell>> cells;
    QVector<QString> names;
};

// The codes of the organisations that have report tables in a year.
QVector<int> OrganisationsWithData(int year);

// The report tables of an organisation for a year: every report of the
// catalogue, or only F1 and F0 for an organisation that has just begun.
// Derived cells agree with the tables they come from and row totals are
// computed, except for the mistakes listed by KnownFaults().
QVector<FilledReport> FilledReports(const Organisation &org, int year);

// Mistakes deliberately left in the demo data, so that the checks have
// something to find.
struct KnownFault {
    int org;
    int year;
    QString table; // base name of the report table holding the mistake
    QString description;
};
const QVector<KnownFault> &KnownFaults();

// The age captions that report entry writes into a new table of group 12 or
// 29 for the year (its second calendar year); row from 1 to 14.
QString AgeRowCaption(int group, int year, int row);

// Requisites of the organisation that runs the demo installation.
struct Requisites {
    QString bank, cena2, tel, rykorg, glabux, rykfin, okpo, inno;
};
Requisites OwnRequisites();

// The consolidation sets, in SVOD order (the position is the set number).
struct SvodSet {
    int kod;
    QString name;
    QString forma;
};
QVector<SvodSet> SvodSets();

// Rows of FORM<Y>: check rows (IDEN set) and definition rows (IDEN empty).
struct FormRule {
    QString iden;
    QString nazv;
    int kodOth;
    int kolonk;
    QString forV;
    QString kodstr;
    QString primeh;
    QString kodd;
};
QVector<FormRule> FormRules();

// Rows of PROV<Y>: the cell (NFORM1, NSTR1, PEREM1) must equal PEREM2 over
// row NSTR2 of report NFORM2.
struct ProvRule {
    int nform1;
    int nstr1;
    QString nkod1;
    QString perem1;
    int nform2;
    int nstr2;
    QString nkod2;
    QString perem2;
    QString primeh;
};
QVector<ProvRule> ProvRules();

} // namespace demo
