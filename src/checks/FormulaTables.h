#pragma once
// The formula tables of a period, FORM<Y> (rules within a report and named
// values) and PROV<Y> (relations between reports), the table of named values
// built from FORM<Y>'s definition rows, and the textual substitution of the
// cell, named-value and field references in formula texts.
//
// References, written with Latin capitals and decimal digits:
//   "A" and digits  in a check row's FOR_V: a cell of the report under test
//   "AA" and digits in FOR_V and PEREM2:    a named value (0 when undefined)
//   "N" and digits  in PEREM2:              a field of the right-hand row
// Every value is put into the text as a plain decimal number with "." (no
// exponent), a negative one in parentheses; a cell that holds no number
// counts as empty and gives "0", so a cell never brings operators into a
// formula. An "A" followed by neither "A" nor a digit is no reference and is
// left in the text, where the formula language rejects it.

#include "store/Dataset.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <memory>

// ------------------------------------------------------------------ tables

// "FORM" or "PROV" and 2000 plus the year (0..99): FORM2016.
QString FormulaTableName(const QString &baseName, int yearMod100);
// True when WED holds that table.
bool FormulaTableExists(const QString &baseName, int yearMod100);
// Opens FORM<Y> or PROV<Y> of WED through the period connection, connecting
// it first when it is not connected. nullptr when WED has no such table (no
// message: a missing formula table is no error) or when it cannot be opened
// (the data module has shown its message).
std::unique_ptr<store::TADODataSet> OpenFormulaTable(const QString &baseName, int yearMod100);

enum class FormRowKind { Check, Definition, Ignored };

// A check row: IDEN names the target cell, FOR_V the formula it must equal.
struct FormCheckRow {
    QString Iden;
    int KodOth = 0;
    int Kolonk = 0;
    QString ForV;
    QString KodStr; // the row number as the form prints it
    QString Primeh;
    // IDEN without its first character, read as a record number; ok false
    // when that text is no whole number.
    int TargetRecord(bool *ok = nullptr) const;
};

// A definition row: the named value "AA" + KODD is the cell at record KodStr,
// field N(Kolonk - 2), of the report whose catalogue record is KodOth.
struct FormDefinitionRow {
    int KodOth = 0;
    int Kolonk = 0;
    int KodStr = 0;
    QString Kodd;
};

// A relation: the cell (NForm1, NStr1, Perem1) must equal the formula Perem2
// over record NStr2 of report NForm2.
struct ProvRow {
    int NForm1 = 0;
    int NStr1 = 0;
    QString Perem1;
    int NForm2 = 0;
    int NStr2 = 0;
    QString Perem2;
    QString Primeh;
};

// The kind of FORM<Y>'s current record: a non-empty IDEN makes a check row,
// else a non-empty KOD_OTH a definition row.
FormRowKind ClassifyFormRow(store::TADODataSet &form);
FormCheckRow ReadFormCheckRow(store::TADODataSet &form);
FormDefinitionRow ReadFormDefinitionRow(store::TADODataSet &form);
ProvRow ReadProvRow(store::TADODataSet &prov);

// The table of a report in a data folder, named by the catalogue's current
// record: FAIL before ".DBF", then 2000 plus the year (F12016).
QString ReportTableName(store::TADODataSet &catalogue, int yearMod100);

// ------------------------------------------------------------ named values

struct CrossReference {
    QString Name;
    double Value = 0;
};

// The named values of one check step, in FORM<Y> order. A name defined twice
// has the value of its later definition.
class CrossReferenceTable {
public:
    void clear();
    void add(const QString &name, double value);
    int count() const { return int(m_entries.size()); }
    const CrossReference &at(int i) const { return m_entries.at(i); }
    // The value of the last entry of that name; false when there is none.
    bool find(const QString &name, double *value) const;

private:
    QVector<CrossReference> m_entries;
    QHash<QString, int> m_last; // name -> index of its last entry
};

// Fills the table from every definition row of FORM<Y>, whatever report it
// belongs to. Each source cell is read from the report's table in dataFolder
// through ADOConTemp; a table missing from the folder gives the value 0. The
// catalogue's and FORM<Y>'s current records move; callers position them
// again. A record or field that a table does not have throws store::StoreError.
void BuildCrossReferenceTable(store::TADODataSet &catalogue, store::TADODataSet &form,
                              const QString &dataFolder, int yearMod100,
                              CrossReferenceTable &table);

// ------------------------------------------------------------ substitution

// A value as a formula takes it: plain decimal digits with ".", as few as
// give the value back exactly, and a negative value in parentheses: "12.5",
// "(-3)", "0".
QString FormulaNumberText(double value);
// A cell's text as a formula takes it: a number (with "," or "." and
// optionally an exponent) as FormulaNumberText writes it; "0" for an empty
// cell and for a text that is no number.
QString FormulaCellText(const QString &cellText);

// Replaces every "AA" reference (and "A" and digits, which names nothing) by
// its named value, "0" when undefined.
QString SubstituteCrossReferences(const CrossReferenceTable &table, const QString &text);
// Replaces every "N" reference by that field of the dataset's current record.
// A field the table does not have throws store::StoreError.
QString SubstituteRowFields(store::TADODataSet &report, const QString &text);
// Replaces every "A" and digits of a check row's formula by the cell of field
// N<column> at that record of the report; "AA" references pass unchanged, for
// SubstituteCrossReferences. The report's current record moves. A record the
// table does not have throws store::StoreError.
QString SubstituteCellReferences(store::TADODataSet &report, int column, const QString &text);
