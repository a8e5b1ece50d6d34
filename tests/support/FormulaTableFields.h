#pragma once
// The fields of the period's formula tables FORM<Y> and PROV<Y> as the
// period delivers them, for tests that write such tables.

#include "store/Dataset.h"

#include <QVector>

namespace testsupport {

inline const QVector<store::FieldDef> kFormFields{
    {"IDEN", 'C', 10, 0},   {"NAZV", 'C', 40, 0},   {"KOD_OTH", 'N', 4, 0}, {"KOLONK", 'N', 3, 0},
    {"FOR_V", 'C', 200, 0}, {"KODSTR", 'C', 10, 0}, {"PRIMEH", 'C', 60, 0}, {"KODD", 'C', 6, 0}};

inline const QVector<store::FieldDef> kProvFields{
    {"NFORM1", 'N', 4, 0},  {"NSTR1", 'N', 4, 0},    {"NKOD1", 'C', 6, 0},
    {"PEREM1", 'C', 10, 0}, {"NFORM2", 'N', 4, 0},   {"NSTR2", 'N', 4, 0},
    {"NKOD2", 'C', 6, 0},   {"PEREM2", 'C', 200, 0}, {"PRIMEH", 'C', 60, 0}};

} // namespace testsupport
