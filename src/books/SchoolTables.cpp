#include "books/SchoolTables.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <climits>

namespace {

QString textOf(store::TADODataSet &ds, const char *name) {
    const int i = ds.FieldIndex(QLatin1String(name));
    return i < 0 ? QString() : ds.Fields(i).AsString();
}

int intOf(store::TADODataSet &ds, const char *name) {
    const int i = ds.FieldIndex(QLatin1String(name));
    return i < 0 ? 0 : ds.Fields(i).AsInteger();
}

void setText(store::TADODataSet &ds, const char *name, const QString &v) {
    ds.FieldByName(QLatin1String(name)).SetAsString(v);
}

void setInt(store::TADODataSet &ds, const char *name, int v) {
    ds.FieldByName(QLatin1String(name)).SetAsInteger(v);
}

store::FieldDef def(const char *name, char type, int length, int decimals = 0) {
    return {QLatin1String(name), type, length, decimals};
}

} // namespace

// ---------------------------------------------------------------- SCHOOL

const QStringList &SchoolFieldNames() {
    static const QStringList names = {
        QStringLiteral("KOD"),     QStringLiteral("KOD1"),    QStringLiteral("NAME"),
        QStringLiteral("KOD2"),    QStringLiteral("CITY"),    QStringLiteral("INN_O"),
        QStringLiteral("TELEF"),   QStringLiteral("OKONX_K"), QStringLiteral("OKPO_K"),
        QStringLiteral("KODCITY"), QStringLiteral("GLAVRAS"), QStringLiteral("RYKORG"),
        QStringLiteral("GLABUX"),  QStringLiteral("RYKFIN"),  QStringLiteral("KOD3"),
        QStringLiteral("KOD4"),    QStringLiteral("ADRES")};
    return names;
}

QVector<store::FieldDef> SchoolFieldDefs() {
    return {def("KOD", 'N', 6),     def("KOD1", 'N', 2),     def("NAME", 'C', 150),
            def("KOD2", 'N', 2),    def("CITY", 'C', 40),    def("INN_O", 'C', 12),
            def("TELEF", 'C', 30),  def("OKONX_K", 'C', 10), def("OKPO_K", 'C', 10),
            def("KODCITY", 'N', 2), def("GLAVRAS", 'C', 60), def("RYKORG", 'C', 60),
            def("GLABUX", 'C', 60), def("RYKFIN", 'C', 60),  def("KOD3", 'N', 2),
            def("KOD4", 'N', 2),    def("ADRES", 'C', 150)};
}

Organisation ReadOrganisation(store::TADODataSet &School) {
    Organisation o;
    o.KOD = intOf(School, "KOD");
    o.KOD1 = intOf(School, "KOD1");
    o.NAME = textOf(School, "NAME");
    o.KOD2 = intOf(School, "KOD2");
    o.CITY = textOf(School, "CITY");
    o.INN_O = textOf(School, "INN_O");
    o.TELEF = textOf(School, "TELEF");
    o.OKONX_K = textOf(School, "OKONX_K");
    o.OKPO_K = textOf(School, "OKPO_K");
    o.KODCITY = intOf(School, "KODCITY");
    o.GLAVRAS = textOf(School, "GLAVRAS");
    o.RYKORG = textOf(School, "RYKORG");
    o.GLABUX = textOf(School, "GLABUX");
    o.RYKFIN = textOf(School, "RYKFIN");
    o.KOD3 = intOf(School, "KOD3");
    o.KOD4 = intOf(School, "KOD4");
    o.ADRES = textOf(School, "ADRES");
    return o;
}

QVector<Organisation> ReadOrganisations(store::TADODataSet &School) {
    QVector<Organisation> out;
    for (School.First(); !School.Eof(); School.Next()) {
        out.append(ReadOrganisation(School));
    }
    School.First();
    return out;
}

void WriteOrganisation(store::TADODataSet &School, const Organisation &Org) {
    setInt(School, "KOD", Org.KOD);
    setInt(School, "KOD1", Org.KOD1);
    setText(School, "NAME", Org.NAME);
    setInt(School, "KOD2", Org.KOD2);
    setText(School, "CITY", Org.CITY);
    setText(School, "INN_O", Org.INN_O);
    setText(School, "TELEF", Org.TELEF);
    setText(School, "OKONX_K", Org.OKONX_K);
    setText(School, "OKPO_K", Org.OKPO_K);
    setInt(School, "KODCITY", Org.KODCITY);
    setText(School, "GLAVRAS", Org.GLAVRAS);
    setText(School, "RYKORG", Org.RYKORG);
    setText(School, "GLABUX", Org.GLABUX);
    setText(School, "RYKFIN", Org.RYKFIN);
    setInt(School, "KOD3", Org.KOD3);
    setInt(School, "KOD4", Org.KOD4);
    setText(School, "ADRES", Org.ADRES);
}

int GetMaxKod(store::TADOConnection &Connection) {
    // A dataset of its own reads the file as stored, so a record that the
    // book is appending and has not posted is not counted. Every record is
    // looked at: a blank KOD counts as 0 and never hides a larger code.
    store::TADODataSet ds;
    ds.setConnection(&Connection);
    ds.setCommandText(QStringLiteral("select * from SCHOOL"));
    ds.Open();
    int maxKod = 0;
    const int n = ds.RecordCount();
    if (n > 0) {
        const int kod = ds.FieldIndex(QStringLiteral("KOD"));
        if (kod < 0)
            throw store::StoreError(QStringLiteral("В таблице SCHOOL нет поля KOD"));
        ds.First();
        for (int i = 0; i < n; ++i) {
            maxKod = std::max(maxKod, ds.Fields(kod).AsInteger());
            if (i + 1 < n)
                ds.Next();
        }
    }
    ds.Close();
    return maxKod;
}

int MaxOrgFolderCode(const QString &DbfDir) {
    static const QRegularExpression folderName(QStringLiteral("^[Dd]([0-9]{1,9})$"));
    int maxCode = 0;
    const QStringList entries = QDir(DbfDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &e : entries) {
        const auto m = folderName.match(e);
        if (m.hasMatch())
            maxCode = std::max(maxCode, m.captured(1).toInt());
    }
    return maxCode;
}

int NextOrganisationCode(store::TADOConnection &Connection, const QString &DbfDir) {
    const int largest = std::max(GetMaxKod(Connection), MaxOrgFolderCode(DbfDir));
    if (largest >= INT_MAX)
        throw store::StoreError(QStringLiteral("Исчерпаны коды организаций"));
    return largest + 1;
}

// ---------------------------------------------------------------- REGIM

const QStringList &RegimFieldNames() {
    static const QStringList names = {QStringLiteral("BANK"),   QStringLiteral("CENA2"),
                                      QStringLiteral("TEL"),    QStringLiteral("RYKORG"),
                                      QStringLiteral("GLABUX"), QStringLiteral("RYKFIN"),
                                      QStringLiteral("OKPO"),   QStringLiteral("INNO")};
    return names;
}

QVector<store::FieldDef> RegimFieldDefs() {
    return {def("BANK", 'C', 150),  def("CENA2", 'C', 150), def("TEL", 'C', 30),
            def("RYKORG", 'C', 60), def("GLABUX", 'C', 60), def("RYKFIN", 'C', 60),
            def("OKPO", 'C', 10),   def("INNO", 'C', 12)};
}

std::optional<Requisites> ReadRequisites(store::TADOConnection &Connection) {
    try {
        store::TADODataSet ds;
        ds.setConnection(&Connection);
        ds.setCommandText(QStringLiteral("select * from REGIM"));
        ds.Open();
        if (ds.IsEmpty())
            return std::nullopt;
        ds.First();
        Requisites r;
        r.BANK = textOf(ds, "BANK");
        r.CENA2 = textOf(ds, "CENA2");
        r.TEL = textOf(ds, "TEL");
        r.RYKORG = textOf(ds, "RYKORG");
        r.GLABUX = textOf(ds, "GLABUX");
        r.RYKFIN = textOf(ds, "RYKFIN");
        r.OKPO = textOf(ds, "OKPO");
        r.INNO = textOf(ds, "INNO");
        return r;
    } catch (const store::StoreError &) {
        return std::nullopt;
    }
}
