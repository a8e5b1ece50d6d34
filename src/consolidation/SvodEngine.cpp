#include "consolidation/SvodEngine.h"

namespace svod {

namespace {
[[noreturn]] void notYet() {
    throw SvodError(QStringLiteral("not built yet"));
}
} // namespace

QString CatalogueReport::BaseName() const {
    return Fail.section(QLatin1Char('.'), 0, 0);
}
bool CatalogueReport::ColumnEnabled(int k) const {
    return k >= 1 && k <= ColumnSwitches.size() && ColumnSwitches[k - 1] >= 1;
}
QString CatalogueReport::ColumnCaption(int k) const {
    return k >= 1 && k <= ColumnCaptions.size() ? ColumnCaptions[k - 1] : QString();
}
CatalogueReport ReadCatalogueReport(store::TADODataSet &) {
    notYet();
}
QVector<CatalogueReport> ReadCatalogue(const QString &, int) {
    notYet();
}
QVector<Organisation> ReadOrganisations(const QString &) {
    notYet();
}
bool OrganisationInSet(const Organisation &, int, int) {
    notYet();
}
bool OrganisationInSet(store::TADODataSet &, int, int) {
    notYet();
}
bool IsColumnSvodGroup(int Group) {
    return Group == 1 || (Group >= 8 && Group <= 38) || Group == 47 || Group == 51;
}
bool IsColumnSvodGroup(store::TADODataSet &Catalogue) {
    return IsColumnSvodGroup(Catalogue.FieldByName(QStringLiteral("GRUPPA")).AsInteger());
}
IncludedOrganisations ListIncludedOrganisations(const QString &, int, int) {
    notYet();
}
SvodResult BuildSvod(const SvodParams &) {
    notYet();
}
SvodResult BuildGeneralSvod(const SvodParams &) {
    notYet();
}
SvodResult BuildColumnSvod(const SvodParams &) {
    notYet();
}
SvodResult BuildKeyedSvod(const SvodParams &) {
    notYet();
}
SvodResult BuildSchoolCountSvod(const SvodParams &) {
    notYet();
}
int CountF1Denominator(const QString &, int, const QString &, int, int) {
    notYet();
}
SaveAllResult SaveAllSvods(const SaveAllParams &) {
    notYet();
}

} // namespace svod
