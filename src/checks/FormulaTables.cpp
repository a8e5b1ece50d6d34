#include "checks/FormulaTables.h"

#include "shell/Paths.h"
#include "shell/UnitDM.h"

#include <charconv>
#include <climits>
#include <cmath>

namespace {

bool isDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// The digits from position i on; returns the position after them.
int skipDigits(const QString &text, int i) {
    while (i < text.size() && isDigit(text.at(i)))
        ++i;
    return i;
}

// A record number written in digits; beyond the int range it is INT_MAX,
// which no table has.
int recordNumber(QStringView digits) {
    long long n = 0;
    for (QChar c : digits) {
        n = n * 10 + (c.unicode() - u'0');
        if (n > INT_MAX)
            return INT_MAX;
    }
    return int(n);
}

// Closes a connection when the scope ends, also on an exception.
struct ConnectionCloser {
    store::TADOConnection &connection;
    ~ConnectionCloser() {
        try {
            connection.Close();
        } catch (const std::exception &) {
        }
    }
};

} // namespace

// ------------------------------------------------------------------ tables

QString FormulaTableName(const QString &baseName, int yearMod100) {
    return baseName + QString::number(2000 + yearMod100);
}

bool FormulaTableExists(const QString &baseName, int yearMod100) {
    return store::fileExistsCaseInsensitive(
        paths::GetWedDir(), FormulaTableName(baseName, yearMod100) + QStringLiteral(".DBF"));
}

std::unique_ptr<store::TADODataSet> OpenFormulaTable(const QString &baseName, int yearMod100) {
    if (!FormulaTableExists(baseName, yearMod100))
        return nullptr;
    TDM &dm = DM();
    if (!dm.ADOConWED.Connected() && !dm.Connect(2, paths::GetWedDir()))
        return nullptr;
    auto ds = std::make_unique<store::TADODataSet>();
    if (!dm.OpenTable(dm.ADOConWED, *ds, FormulaTableName(baseName, yearMod100)))
        return nullptr;
    return ds;
}

int FormCheckRow::TargetRecord(bool *ok) const {
    return Iden.mid(1).trimmed().toInt(ok);
}

FormRowKind ClassifyFormRow(store::TADODataSet &form) {
    if (!form.FieldByName(QStringLiteral("IDEN")).AsString().isEmpty())
        return FormRowKind::Check;
    if (!form.FieldByName(QStringLiteral("KOD_OTH")).AsString().isEmpty())
        return FormRowKind::Definition;
    return FormRowKind::Ignored;
}

FormCheckRow ReadFormCheckRow(store::TADODataSet &form) {
    FormCheckRow r;
    r.Iden = form.FieldByName(QStringLiteral("IDEN")).AsString();
    r.KodOth = form.FieldByName(QStringLiteral("KOD_OTH")).AsInteger();
    r.Kolonk = form.FieldByName(QStringLiteral("KOLONK")).AsInteger();
    r.ForV = form.FieldByName(QStringLiteral("FOR_V")).AsString();
    r.KodStr = form.FieldByName(QStringLiteral("KODSTR")).AsString();
    r.Primeh = form.FieldByName(QStringLiteral("PRIMEH")).AsString();
    return r;
}

FormDefinitionRow ReadFormDefinitionRow(store::TADODataSet &form) {
    FormDefinitionRow r;
    r.KodOth = form.FieldByName(QStringLiteral("KOD_OTH")).AsInteger();
    r.Kolonk = form.FieldByName(QStringLiteral("KOLONK")).AsInteger();
    r.KodStr = form.FieldByName(QStringLiteral("KODSTR")).AsInteger();
    // A code of digits, however the table stores it (numeric fields and
    // left-padded texts alike).
    r.Kodd = form.FieldByName(QStringLiteral("KODD")).AsString().trimmed();
    return r;
}

ProvRow ReadProvRow(store::TADODataSet &prov) {
    ProvRow r;
    r.NForm1 = prov.FieldByName(QStringLiteral("NFORM1")).AsInteger();
    r.NStr1 = prov.FieldByName(QStringLiteral("NSTR1")).AsInteger();
    r.Perem1 = prov.FieldByName(QStringLiteral("PEREM1")).AsString();
    r.NForm2 = prov.FieldByName(QStringLiteral("NFORM2")).AsInteger();
    r.NStr2 = prov.FieldByName(QStringLiteral("NSTR2")).AsInteger();
    r.Perem2 = prov.FieldByName(QStringLiteral("PEREM2")).AsString();
    r.Primeh = prov.FieldByName(QStringLiteral("PRIMEH")).AsString();
    return r;
}

QString ReportTableName(store::TADODataSet &catalogue, int yearMod100) {
    QString fail = catalogue.FieldByName(QStringLiteral("FAIL")).AsString();
    const int dot = fail.indexOf(QStringLiteral(".DBF"), 0, Qt::CaseInsensitive);
    if (dot >= 0)
        fail.truncate(dot);
    return fail + QString::number(2000 + yearMod100);
}

// ------------------------------------------------------------ named values

void CrossReferenceTable::clear() {
    m_entries.clear();
    m_last.clear();
}

void CrossReferenceTable::add(const QString &name, double value) {
    m_last.insert(name, int(m_entries.size()));
    m_entries.push_back({name, value});
}

bool CrossReferenceTable::find(const QString &name, double *value) const {
    const auto it = m_last.constFind(name);
    if (it == m_last.constEnd())
        return false;
    if (value)
        *value = m_entries.at(it.value()).Value;
    return true;
}

void BuildCrossReferenceTable(store::TADODataSet &catalogue, store::TADODataSet &form,
                              const QString &dataFolder, int yearMod100,
                              CrossReferenceTable &table) {
    table.clear();
    TDM &dm = DM();
    form.First();
    const int records = form.RecordCount();
    for (int k = 0; k < records; ++k, form.Next()) {
        if (ClassifyFormRow(form) != FormRowKind::Definition)
            continue;
        const FormDefinitionRow row = ReadFormDefinitionRow(form);
        double value = 0;
        catalogue.setRecNo(row.KodOth);
        const QString tableName = ReportTableName(catalogue, yearMod100);
        if (store::fileExistsCaseInsensitive(dataFolder, tableName + QStringLiteral(".DBF")) &&
            dm.Connect(4, dataFolder)) {
            ConnectionCloser closer{dm.ADOConTemp};
            store::TADODataSet source;
            if (dm.OpenTable(dm.ADOConTemp, source, tableName)) {
                source.setRecNo(row.KodStr);
                value = source.FieldByName(QStringLiteral("N") + QString::number(row.Kolonk - 2))
                            .AsFloat();
                source.Close();
            }
        }
        table.add(QStringLiteral("AA") + row.Kodd, value);
    }
}

// ------------------------------------------------------------ substitution

QString FormulaNumberText(double value) {
    if (!std::isfinite(value) || value == 0)
        return QStringLiteral("0");
    char buf[400]; // the longest fixed form of a double has 309 integer digits
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    const QString text = QString::fromLatin1(buf, int(r.ptr - buf));
    return value < 0 ? QLatin1Char('(') + text + QLatin1Char(')') : text;
}

QString FormulaCellText(const QString &cellText) {
    const QString t = cellText.trimmed();
    if (t.isEmpty() || t.size() > 64)
        return QStringLiteral("0");
    char buf[64];
    int n = 0;
    for (QChar c : t) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= u'0' && u <= u'9') || u == u'.' || u == u',' || u == u'-' ||
                             u == u'+' || u == u'e' || u == u'E';
        if (!allowed)
            return QStringLiteral("0");
        buf[n++] = u == u',' ? '.' : char(u);
    }
    const int start = buf[0] == '+' ? 1 : 0;
    double v = 0;
    const auto r = std::from_chars(buf + start, buf + n, v);
    if (r.ec != std::errc() || r.ptr != buf + n || !std::isfinite(v))
        return QStringLiteral("0");
    return FormulaNumberText(v);
}

QString SubstituteCrossReferences(const CrossReferenceTable &table, const QString &text) {
    QString result;
    result.reserve(text.size() + 16);
    int i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('A') && i + 1 < text.size() &&
            (text.at(i + 1) == QLatin1Char('A') || isDigit(text.at(i + 1)))) {
            const int end = skipDigits(text, i + 2);
            double v = 0;
            result +=
                table.find(text.mid(i, end - i), &v) ? FormulaNumberText(v) : QStringLiteral("0");
            i = end;
            continue;
        }
        result += c;
        ++i;
    }
    return result;
}

QString SubstituteRowFields(store::TADODataSet &report, const QString &text) {
    QString result;
    result.reserve(text.size() + 16);
    int i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('N')) {
            const int end = skipDigits(text, i + 1);
            result += FormulaCellText(report.FieldByName(text.mid(i, end - i)).AsString());
            i = end;
            continue;
        }
        result += c;
        ++i;
    }
    return result;
}

QString SubstituteCellReferences(store::TADODataSet &report, int column, const QString &text) {
    QString result;
    result.reserve(text.size() + 16);
    const QString field = QStringLiteral("N") + QString::number(column);
    int i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('A') && i + 1 < text.size() && isDigit(text.at(i + 1))) {
            const int end = skipDigits(text, i + 1);
            report.setRecNo(recordNumber(QStringView(text).mid(i + 1, end - i - 1)));
            result += FormulaCellText(report.FieldByName(field).AsString());
            i = end;
            continue;
        }
        if (c == QLatin1Char('A') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('A')) {
            const int end = skipDigits(text, i + 2);
            result += QStringView(text).mid(i, end - i);
            i = end;
            continue;
        }
        result += c;
        ++i;
    }
    return result;
}
