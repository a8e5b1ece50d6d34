#include "demo/DemoInstall.h"

#include "entry/EditReportUnit_Zap.h"

#include "demo/DemoData.h"
#include "demo/DemoReports.h"
#include "demo/DemoSvod.h"
#include "store/Dataset.h"

#include <QDir>
#include <QFile>
#include <QVariant>

#include <stdexcept>
#include <utility>

namespace demo {
namespace {

using store::FieldDef;

QString withSlash(QString dir) {
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

void makeFolder(const QString &dir) {
    if (!QDir().mkpath(dir))
        throw std::runtime_error(("cannot create the folder " + dir).toStdString());
}

// A new table in a folder, opened for appending records.
class NewTable {
public:
    NewTable(const QString &dir, const QString &name, const QVector<FieldDef> &fields)
        : m_path(withSlash(dir) + name + QStringLiteral(".DBF")) {
        store::DbfFile::create(m_path, fields);
        m_connection.setFolder(dir);
        m_connection.Open();
        m_table.setConnection(&m_connection);
        m_table.setCommandText(QStringLiteral("select * from ") + name);
        m_table.Open();
    }
    ~NewTable() {
        m_table.Close();
        m_connection.Close();
    }

    // Appends one record; fields not named stay blank.
    void append(const QVector<std::pair<QString, QVariant>> &values) {
        m_table.Append();
        for (const auto &[field, value] : values)
            m_table.FieldByName(field).SetAsVariant(value);
        m_table.Post();
    }

    const QString &path() const { return m_path; }

private:
    QString m_path;
    store::TADOConnection m_connection;
    store::TADODataSet m_table;
};

FieldDef text(const char *name, int length) {
    return FieldDef{QString::fromLatin1(name), 'C', length, 0};
}

FieldDef number(const char *name, int length, int decimals = 0) {
    return FieldDef{QString::fromLatin1(name), 'N', length, decimals};
}

QString yearName(const char *base, int year) {
    return QString::fromLatin1(base) + QString::number(year);
}

} // namespace

QVector<int> DemoYears() {
    return {2016, 2017};
}

QDate TableDate() {
    return QDate(2016, 9, 1);
}

QStringList WritePuti(const QString &ProgramDir, int ProgramKind) {
    NewTable t(ProgramDir, QStringLiteral("PUTI"), {text("NAIM", 40), number("ZNAH", 6)});
    t.append(
        {{QStringLiteral("NAIM"), QStringLiteral("Версия таблиц")}, {QStringLiteral("ZNAH"), 5}});
    t.append({{QStringLiteral("NAIM"), QStringLiteral("Вид программы")},
              {QStringLiteral("ZNAH"), ProgramKind}});
    return {t.path()};
}

QStringList WriteSchool(const QString &ProgramDir) {
    NewTable t(ProgramDir, QStringLiteral("SCHOOL"),
               {number("KOD", 6), number("KOD1", 2), text("NAME", 100), number("KOD2", 2),
                text("CITY", 40), text("INN_O", 12), text("TELEF", 20), text("OKONX_K", 10),
                text("OKPO_K", 10), number("KODCITY", 2), text("GLAVRAS", 40), text("RYKORG", 40),
                text("GLABUX", 40), text("RYKFIN", 40), number("KOD3", 2), number("KOD4", 2),
                text("ADRES", 100)});
    for (const Organisation &o : Organisations()) {
        t.append({{QStringLiteral("KOD"), o.kod},
                  {QStringLiteral("KOD1"), o.kod1},
                  {QStringLiteral("NAME"), o.name},
                  {QStringLiteral("KOD2"), o.kod2},
                  {QStringLiteral("CITY"), o.city},
                  {QStringLiteral("INN_O"), o.inn},
                  {QStringLiteral("TELEF"), o.telef},
                  {QStringLiteral("OKONX_K"), o.okonx},
                  {QStringLiteral("OKPO_K"), o.okpo},
                  {QStringLiteral("KODCITY"), o.kodcity},
                  {QStringLiteral("GLAVRAS"), o.glavras},
                  {QStringLiteral("RYKORG"), o.rykorg},
                  {QStringLiteral("GLABUX"), o.glabux},
                  {QStringLiteral("RYKFIN"), o.rykfin},
                  {QStringLiteral("KOD3"), o.kod3},
                  {QStringLiteral("KOD4"), o.kod4},
                  {QStringLiteral("ADRES"), o.adres}});
    }
    return {t.path()};
}

QStringList WriteRegim(const QString &ProgramDir) {
    const Requisites r = OwnRequisites();
    NewTable t(ProgramDir, QStringLiteral("REGIM"),
               {text("BANK", 100), text("CENA2", 100), text("TEL", 20), text("RYKORG", 40),
                text("GLABUX", 40), text("RYKFIN", 40), text("OKPO", 10), text("INNO", 12)});
    t.append({{QStringLiteral("BANK"), r.bank},
              {QStringLiteral("CENA2"), r.cena2},
              {QStringLiteral("TEL"), r.tel},
              {QStringLiteral("RYKORG"), r.rykorg},
              {QStringLiteral("GLABUX"), r.glabux},
              {QStringLiteral("RYKFIN"), r.rykfin},
              {QStringLiteral("OKPO"), r.okpo},
              {QStringLiteral("INNO"), r.inno}});
    return {t.path()};
}

QStringList WriteBlanks(const QString &WedDir) {
    QStringList written;
    for (const ReportSpec &report : Reports()) {
        NewTable t(WedDir, report.base, BlankFields(report));
        for (int r = 0; r < report.rows.size(); ++r) {
            t.append({{QStringLiteral("KODSTR"), report.rows[r].kodstr},
                      {QStringLiteral("NAME"), report.rows[r].name},
                      {QStringLiteral("KODN"), r + 1},
                      {QStringLiteral("KODPOKAZ"),
                       report.base + QLatin1Char('.') + report.rows[r].kodstr}});
        }
        written.append(t.path());
    }
    return written;
}

QStringList WriteCatalogue(const QString &WedDir, int Year) {
    QVector<FieldDef> fields = {number("KOD", 4),      text("NAME", 120),    text("FORMA", 40),
                                text("FAIL", 12),      text("FAILTEXT", 12), number("GRUPPA", 3),
                                number("KOLSTOLB", 3), number("NSTOLB1", 3), number("FORM", 1)};
    for (int i = 1; i <= MaxColumns; ++i)
        fields.append(FieldDef{QStringLiteral("NAM") + QString::number(i), 'C', 40, 0});
    for (int i = 1; i <= MaxColumns; ++i)
        fields.append(FieldDef{QStringLiteral("VKL") + QString::number(i), 'N', 1, 0});

    NewTable t(WedDir, yearName("OTHE", Year), fields);
    const QVector<ReportSpec> &reports = Reports();
    for (int k = 0; k < reports.size(); ++k) {
        const ReportSpec &r = reports[k];
        int shown = 0;
        for (const ColumnSpec &c : r.columns)
            shown += c.vkl >= 1 ? 1 : 0;
        QVector<std::pair<QString, QVariant>> values = {
            {QStringLiteral("KOD"), k + 1},
            {QStringLiteral("NAME"), r.name},
            {QStringLiteral("FORMA"), r.forma},
            {QStringLiteral("FAIL"), r.fail()},
            {QStringLiteral("FAILTEXT"), r.failText()},
            {QStringLiteral("GRUPPA"), r.group},
            {QStringLiteral("KOLSTOLB"), shown},
            {QStringLiteral("NSTOLB1"), FirstDataColumn},
            {QStringLiteral("FORM"), r.form}};
        for (int i = 0; i < MaxColumns; ++i) {
            const bool used = i < r.columns.size();
            values.append({QStringLiteral("NAM") + QString::number(i + 1),
                           used ? r.columns[i].caption : QString()});
            values.append(
                {QStringLiteral("VKL") + QString::number(i + 1), used ? r.columns[i].vkl : 0});
        }
        t.append(values);
    }
    return {t.path()};
}

QStringList WriteFormulaTables(const QString &WedDir, int Year) {
    QStringList written;
    {
        NewTable t(WedDir, yearName("FORM", Year),
                   {text("IDEN", 10), text("NAZV", 60), number("KOD_OTH", 4), number("KOLONK", 3),
                    text("FOR_V", 200), text("KODSTR", 10), text("PRIMEH", 100), text("KODD", 10)});
        for (const FormRule &f : FormRules()) {
            t.append({{QStringLiteral("IDEN"), f.iden},
                      {QStringLiteral("NAZV"), f.nazv},
                      {QStringLiteral("KOD_OTH"), f.kodOth},
                      {QStringLiteral("KOLONK"), f.kolonk},
                      {QStringLiteral("FOR_V"), f.forV},
                      {QStringLiteral("KODSTR"), f.kodstr},
                      {QStringLiteral("PRIMEH"), f.primeh},
                      {QStringLiteral("KODD"), f.kodd}});
        }
        written.append(t.path());
    }
    {
        NewTable t(WedDir, yearName("PROV", Year),
                   {number("NFORM1", 4), number("NSTR1", 4), text("NKOD1", 10), text("PEREM1", 10),
                    number("NFORM2", 4), number("NSTR2", 4), text("NKOD2", 10), text("PEREM2", 200),
                    text("PRIMEH", 100)});
        for (const ProvRule &p : ProvRules()) {
            t.append({{QStringLiteral("NFORM1"), p.nform1},
                      {QStringLiteral("NSTR1"), p.nstr1},
                      {QStringLiteral("NKOD1"), p.nkod1},
                      {QStringLiteral("PEREM1"), p.perem1},
                      {QStringLiteral("NFORM2"), p.nform2},
                      {QStringLiteral("NSTR2"), p.nstr2},
                      {QStringLiteral("NKOD2"), p.nkod2},
                      {QStringLiteral("PEREM2"), p.perem2},
                      {QStringLiteral("PRIMEH"), p.primeh}});
        }
        written.append(t.path());
    }
    return written;
}

QStringList WriteSvod(const QString &WedDir, int Year) {
    NewTable t(WedDir, yearName("SVOD", Year),
               {number("KOD", 2), text("NAME", 80), text("FORMA", 80)});
    for (const SvodSet &s : SvodSets()) {
        t.append({{QStringLiteral("KOD"), s.kod},
                  {QStringLiteral("NAME"), s.name},
                  {QStringLiteral("FORMA"), s.forma}});
    }
    return {t.path()};
}

QStringList WriteOrganisationData(const QString &ProgramDir, int Year) {
    return WriteOrganisationData(ProgramDir, Year, OrganisationsWithData(Year));
}

QStringList WriteOrganisationData(const QString &ProgramDir, int Year,
                                  const QVector<int> &OrgCodes) {
    QStringList written;
    const QString wed = withSlash(ProgramDir) + QStringLiteral("WED/");
    for (int kod : OrgCodes) {
        const Organisation *org = FindOrganisation(kod);
        if (!org)
            continue;
        const QString folder = withSlash(ProgramDir) + QStringLiteral("DBF/D") +
                               QString::number(kod) + QLatin1Char('/');
        makeFolder(folder);
        store::TADOConnection connection;
        connection.setFolder(folder);
        connection.Open();
        for (const FilledReport &rep : FilledReports(*org, Year)) {
            // A report table starts as a byte copy of its blank, as report
            // entry makes it.
            const QString table = rep.base + QString::number(Year);
            const QString path = folder + table + QStringLiteral(".DBF");
            QFile::remove(path);
            if (!QFile::copy(wed + rep.base + QStringLiteral(".DBF"), path))
                throw std::runtime_error(("cannot copy the blank to " + path).toStdString());
            QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                       QFile::ReadOther);
            store::TADODataSet ds;
            ds.setConnection(&connection);
            ds.setCommandText(QStringLiteral("select * from ") + table);
            ds.Open();
            for (int r = 1; r <= rep.cells.size() && r <= ds.RecordCount(); ++r) {
                ds.setRecNo(r);
                ds.Edit();
                if (!rep.names[r - 1].isNull())
                    ds.FieldByName(QStringLiteral("NAME")).SetAsString(rep.names[r - 1]);
                const QVector<Cell> &row = rep.cells[r - 1];
                for (int c = 1; c <= row.size(); ++c) {
                    store::TField f = ds.FieldByName(QStringLiteral("N") + QString::number(c));
                    if (row[c - 1])
                        f.SetAsFloat(*row[c - 1]);
                    else
                        f.Clear();
                }
                ds.Post();
            }
            ds.Close();
            written.append(path);
        }
        connection.Close();
        // The derived cells are filled by the program's own automatic
        // filling, as report entry fills them before a table opens.
        FillAllDerivedCellsInFolder(folder, Year);
    }
    return written;
}

void StampTableDates(const QStringList &Tables, const QDate &Date) {
    const char bytes[3] = {char(Date.year() - 1900), char(Date.month()), char(Date.day())};
    for (const QString &path : Tables) {
        QFile f(path);
        if (!f.open(QIODevice::ReadWrite) || !f.seek(1) || f.write(bytes, 3) != 3)
            throw std::runtime_error(("cannot date the table " + path).toStdString());
    }
}

QStringList WriteDemoInstallation(const QString &ProgramDir) {
    const QString dir = withSlash(ProgramDir);
    const QString wed = dir + QStringLiteral("WED/");
    makeFolder(dir);
    makeFolder(wed);
    makeFolder(wed + QStringLiteral("BLANK"));
    makeFolder(dir + QStringLiteral("DBF"));

    QStringList written;
    written += WritePuti(dir, 1);
    written += WriteSchool(dir);
    written += WriteRegim(dir);
    written += WriteBlanks(wed);
    for (int year : DemoYears()) {
        written += WriteCatalogue(wed, year);
        written += WriteFormulaTables(wed, year);
        written += WriteSvod(wed, year);
        written += WriteOrganisationData(dir, year);
    }
    written += WriteConsolidationExtras(dir);
    StampTableDates(written, TableDate());
    return written;
}

} // namespace demo
