#include "entry/RowTotals.h"

#include "entry/EditReportUnit_Zap.h"
#include "entry/ReportTables.h"
#include "entry/WholeNumbers.h"

#include "shell/Paths.h"
#include "shell/UnitConsts.h"
#include "shell/UnitDM.h"
#include "store/FolderTable.h"

#include <QFileInfo>
#include <QFont>
#include <QHash>
#include <QRegularExpression>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <optional>

using store::DataSetState;
using store::StoreError;
using store::TADODataSet;

namespace {

QString fieldN(int n) {
    return QStringLiteral("N") + QString::number(n);
}

// Opens the table stored in the file at Path (its folder, its name less ".DBF").
store::FolderTable openTableFile(const QString &Path) {
    const QFileInfo info(Path);
    return store::FolderTable(info.absolutePath(), info.fileName().chopped(4));
}

// A cell's text read as a number, as the library reads a numeric field:
// "," or "." as separator; a blank cell, or text that is no number, is 0.
double cellFloat(const QString &text) {
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

QStringList fieldRange(int from, int to) {
    QStringList list;
    for (int n = from; n <= to; ++n)
        list << fieldN(n);
    return list;
}

// A cell of the row the totals are worked out from, by field name, as text
// (an empty text for a blank cell).
using RowText = std::function<QString(const QString &field)>;

// Whole-number reading of a cell, as the sums take it: its exact value, a
// fraction rounded half to even; a blank cell reads 0.
WholeNumber cellInt(const QString &text) {
    if (const std::optional<WholeNumber> v = WholeOfText(text))
        return *v;
    const double d = std::nearbyint(cellFloat(text)); // another form of a number
    return std::fabs(d) < 1.0e36 ? static_cast<WholeNumber>(d) : 0;
}

WholeNumber sumInts(const RowText &row, int from, int to) {
    WholeNumber s = 0;
    for (int n = from; n <= to; ++n)
        s += cellInt(row(fieldN(n)));
    return s;
}

// One computed value for a field of the current record.
struct CellWrite {
    QString field;
    std::optional<WholeNumber> whole;
    double fraction = 0;
};

CellWrite wholeValue(const QString &field, WholeNumber v) {
    return CellWrite{field, v, 0};
}
CellWrite fractionValue(const QString &field, double v) {
    return CellWrite{field, std::nullopt, v};
}

QString storeFailure(const QString &detail) {
    return QStringLiteral("Не удалось записать итоги строки:\r") + detail;
}

// The fields the totals of a single-row group are worked out from.
QStringList rowInputs(int group) {
    switch (group) {
    case 2:
        return fieldRange(2, 16);
    case 40:
        return {QStringLiteral("N2"), QStringLiteral("N5")};
    case 4:
    case 5:
    case 39:
        return fieldRange(1, 12);
    case 7:
        return fieldRange(2, 15);
    case 47:
        return fieldRange(2, 14);
    default:
        return {};
    }
}

// Values of the single-row groups (and of one row of group 47), or nothing
// when the row is left untouched.
std::optional<QVector<CellWrite>> rowValues(const RowText &row, int group) {
    switch (group) {
    case 2:
        return QVector<CellWrite>{wholeValue(QStringLiteral("N1"), sumInts(row, 2, 16))};
    case 47:
        return QVector<CellWrite>{wholeValue(QStringLiteral("N1"), sumInts(row, 2, 14))};
    case 40: {
        const double a = cellFloat(row(QStringLiteral("N2")));
        const double b = cellFloat(row(QStringLiteral("N5")));
        if (a == 0)
            return std::nullopt;
        return QVector<CellWrite>{
            fractionValue(QStringLiteral("N6"), TruncTo2Decimals(b * 100 / a))};
    }
    case 4:
    case 5:
    case 39: {
        const WholeNumber s = sumInts(row, 2, 12);
        const double n1 = cellFloat(row(QStringLiteral("N1")));
        const double rate = n1 == 0 ? 0.0 : TruncTo2Decimals(double(s) / n1 * 1000000.0);
        return QVector<CellWrite>{wholeValue(QStringLiteral("N13"), s),
                                  fractionValue(QStringLiteral("N14"), rate)};
    }
    case 7: {
        const WholeNumber s = sumInts(row, 3, 15);
        const double n2 = cellFloat(row(QStringLiteral("N2")));
        const double rate = n2 == 0 ? 0.0 : TruncTo2Decimals(double(s) / n2 * 100.0);
        return QVector<CellWrite>{wholeValue(QStringLiteral("N16"), s),
                                  fractionValue(QStringLiteral("N17"), rate)};
    }
    default:
        return std::nullopt;
    }
}

// The current record as the file holds it now, read cell by cell.
RowText recordText(TADODataSet &ds) {
    return [&ds](const QString &field) { return ds.FieldByName(field).AsString(); };
}

// A cell of another record that the values written were worked out from.
struct InputCell {
    int recNo;
    QString field;
};

// Caption of a field as the user sees its column; empty for none.
using CaptionOf = std::function<QString(const QString &)>;

// What the period's catalogue says of a report.
struct ReportInCatalogue {
    int group = 0;
    QString name;                     // as the catalogue names it
    QHash<QString, QString> captions; // by field in upper case, as the entry grid shows them;
                                      // empty for a hidden column
};

// Reads the group, name and column captions of the report (by base name,
// its table having these fields) from the catalogue of the year in WedDir;
// what the catalogue does not say stays as it was. The catalogue is opened
// into *Catalogue when given and not open yet, and read from there.
void describeReport(const QString &WedDir, int Year, const QString &Base, const QStringList &Fields,
                    ReportInCatalogue &Report,
                    std::unique_ptr<store::FolderTable> *Catalogue = nullptr) {
    const QString name = QStringLiteral("OTHE") + QString::number(Year);
    if (!store::fileExistsCaseInsensitive(WedDir, name + QStringLiteral(".DBF")))
        return;
    std::unique_ptr<store::FolderTable> own;
    std::unique_ptr<store::FolderTable> &table = Catalogue ? *Catalogue : own;
    if (!table)
        table = std::make_unique<store::FolderTable>(WedDir, name);
    store::TADODataSet &cat = table->ds;
    const int fail = cat.FieldIndex(QStringLiteral("FAIL"));
    if (fail < 0)
        return;
    for (cat.First(); !cat.Eof(); cat.Next()) {
        if (ReportBaseName(cat.Fields(fail).AsString()) != Base)
            continue;
        const int group = cat.FieldIndex(QStringLiteral("GRUPPA"));
        const int nameField = cat.FieldIndex(QStringLiteral("NAME"));
        Report.group = group < 0 ? 0 : cat.Fields(group).AsInteger();
        if (nameField >= 0 && !cat.Fields(nameField).AsString().trimmed().isEmpty())
            Report.name = cat.Fields(nameField).AsString().trimmed();
        for (const ReportColumn &c : ReportColumnLayout(Fields, ReadCatalogueColumns(cat), QFont()))
            Report.captions.insert(c.Field.toUpper(), c.Visible ? c.Title.trimmed() : QString());
        return;
    }
}

// A computed value as its field stores it (without the blanks before it).
QString storedText(const store::FieldDef &Field, const CellWrite &Value) {
    const int decimals = qMax(0, Field.decimals);
    if (Value.whole) {
        QString t = WholeText(*Value.whole);
        if (decimals > 0)
            t += QLatin1Char('.') + QString(decimals, QLatin1Char('0'));
        return t;
    }
    QString t = QString::number(Value.fraction, 'f', decimals);
    if (t.startsWith(QLatin1Char('-')) && t.toDouble() == 0)
        t.remove(0, 1);
    return t;
}

// Whether the field can store the value as it is (a text field takes any).
bool fits(const store::FieldDef &Field, const CellWrite &Value) {
    return Field.type == 'C' || storedText(Field, Value).size() <= Field.length;
}

// The field of that name, in any letter case; null when there is none.
const store::FieldDef *defOf(const QVector<store::FieldDef> &defs, const QString &field) {
    for (const store::FieldDef &d : defs)
        if (d.name.compare(field, Qt::CaseInsensitive) == 0)
            return &d;
    return nullptr;
}

// Writes the values into the current record and posts it: the values rest
// on the inputs of the record, and on the cells of other records, as this
// copy read them (another copy saving one of them meanwhile refuses the
// post). On a failure nothing is written and the error is returned; a value
// too wide for its field is told by the column the user sees.
CalcResult writeAndPost(TADODataSet &ds, const QVector<CellWrite> &writes,
                        const QStringList &inputs, const CaptionOf &caption,
                        const QVector<InputCell> &others = {}) {
    for (const CellWrite &w : writes) {
        const store::FieldDef &def = ds.FieldByName(w.field).Def();
        if (!fits(def, w))
            return {false, QStringLiteral("Итоги строки %1 не записаны: итог ").arg(ds.RecNo()) +
                               storedText(def, w) + QStringLiteral(" не поместится в ") +
                               ColumnInMessage(caption ? caption(def.name) : QString(), def.name) +
                               FieldWidthLimit(def)};
    }
    try {
        ds.Edit();
        for (const QString &field : inputs)
            ds.RestOn(field);
        for (const InputCell &c : others)
            ds.RestOn(c.field, c.recNo);
        for (const CellWrite &w : writes) {
            store::TField f = ds.FieldByName(w.field);
            if (w.whole)
                f.SetAsString(WholeText(*w.whole));
            else
                f.SetAsFloat(w.fraction);
        }
        ds.Post();
        return {};
    } catch (const StoreError &e) {
        if (ds.State() != DataSetState::Browse)
            ds.Cancel();
        return {false, storeFailure(e.message())};
    }
}

// Posts a change pending in the current record before the totals are
// worked out: the figures typed count in them, and nothing typed is lost to
// a refused total.
CalcResult postPending(TADODataSet &ds) {
    if (ds.State() != DataSetState::Edit && ds.State() != DataSetState::Insert)
        return {};
    try {
        ds.Post();
        return {};
    } catch (const StoreError &e) {
        return {false, e.message()}; // the figure's own refusal, before any total
    }
}

// The totals of the current record, worked out from the record as the file
// holds it now.
CalcResult totalRow(TADODataSet &ds, int group, const CaptionOf &caption) {
    ds.RefreshRecord();
    std::optional<QVector<CellWrite>> writes = rowValues(recordText(ds), group);
    if (!writes)
        return {};
    return writeAndPost(ds, *writes, rowInputs(group), caption);
}

CalcResult totalEveryRow(TADODataSet &ds, const CaptionOf &caption) {
    const int current = ds.RecNo();
    const int count = ds.RecordCount();
    CalcResult result;
    for (int row = 1; row <= count && result.ok; ++row) {
        ds.setRecNo(row);
        result = totalRow(ds, 47, caption);
    }
    if (current >= 1 && current <= ds.RecordCount())
        ds.setRecNo(current);
    return result;
}

CalcResult totalLastRow(TADODataSet &ds, const CaptionOf &caption) {
    const int current = ds.RecNo();
    const int count = ds.RecordCount();
    if (count == 0)
        return {};
    QVector<WholeNumber> sums(28, 0);
    QVector<InputCell> inputs;
    for (int row = 1; row < count; ++row) {
        ds.setRecNo(row);
        ds.RefreshRecord();
        for (int n = 1; n <= 28; ++n) {
            sums[n - 1] += cellInt(ds.FieldByName(fieldN(n)).AsString());
            inputs << InputCell{row, fieldN(n)};
        }
    }
    ds.setRecNo(count);
    ds.RefreshRecord();
    QVector<CellWrite> writes;
    for (int n = 1; n <= 28; ++n)
        writes << wholeValue(fieldN(n), sums[n - 1]);
    CalcResult result = writeAndPost(ds, writes, {}, caption, inputs);
    if (current >= 1 && current <= ds.RecordCount())
        ds.setRecNo(current);
    return result;
}

} // namespace

bool GroupHasRowTotals(int group) {
    return !RowTotalFields(group).isEmpty();
}

QStringList RowTotalFields(int group) {
    switch (group) {
    case 2:
        return fieldRange(1, 16);
    case 40:
        return {QStringLiteral("N2"), QStringLiteral("N5"), QStringLiteral("N6")};
    case 4:
    case 5:
    case 39:
        return fieldRange(1, 14);
    case 7:
        return fieldRange(2, 17);
    case 47:
        return fieldRange(1, 14);
    case 51:
        return fieldRange(1, 28);
    default:
        return {};
    }
}

CalcResult RowAutoCalc(TADODataSet &DataSet, int Group,
                       const std::function<QString(const QString &)> &Caption) {
    if (!DataSet.Active() || !GroupHasRowTotals(Group))
        return {};
    // Every field is looked up before anything is written, so that a table
    // without one of them is left exactly as it was.
    for (const QString &field : RowTotalFields(Group)) {
        if (DataSet.FieldIndex(field) < 0)
            return {false, QStringLiteral("В таблице отчета нет поля ") + field +
                               QStringLiteral(".\rИтоги строки не вычислены.")};
    }
    try {
        if (CalcResult r = postPending(DataSet); !r.ok)
            return r;
        if (Group == 47)
            return totalEveryRow(DataSet, Caption);
        if (Group == 51)
            return totalLastRow(DataSet, Caption);
        if (DataSet.RecNo() < 1)
            return {};
        return totalRow(DataSet, Group, Caption);
    } catch (const StoreError &e) {
        return {false, storeFailure(e.message())};
    }
}

QString AgeRowCaption(int Group, int Row, int Year) {
    if (Row < 1 || Row > 14)
        return {};
    const QString birth = QString::number(Year - 5 - Row);
    if (Group == 12) {
        static const char *const tails[14] = {
            " г.| г |  5 лет  |  Число", " г.| о |  6 лет  |",         " г.| д |  7 лет  |  полных",
            " г.|   |  8 лет  |",        " г.| р |  9 лет  |   лет",   " г.| о | 10 лет  |",
            " г.| ж | 11 лет  |    на",  " г.| д | 12 лет  |",         " г.| е | 13 лет  |    1",
            " г.| н | 14 лет  |",        " г.| и | 15 лет  |  января", " г.| я | 16 лет  |",
            " г.|   | 17 лет  |  ",      " г.|   | 18 лет и старше"};
        QString caption = birth + QString::fromUtf8(tails[Row - 1]);
        if (Row == 13)
            caption += QString::number(Year) + QStringLiteral(" г.");
        return caption;
    }
    if (Group == 29) {
        if (Row == 1)
            return QStringLiteral("На 01/01/") +
                   QString::number(Year % 100).rightJustified(2, '0') +
                   QStringLiteral(" -5 полных лет, год рожд.") + QString::number(Year - 5);
        if (Row == 14)
            return QStringLiteral("18 лет и старше, ") + QString::number(Year - 19) +
                   QStringLiteral("г.  и раньше");
        return QString::number(Row + 4) + QStringLiteral(" лет, ") + birth;
    }
    return {};
}

void FillAgeRows(const QString &DataFilePath, int Group, int Year) {
    if (Group != 12 && Group != 29)
        return;
    store::FolderTable t = openTableFile(DataFilePath);
    const int rows = qMin(14, t.ds.RecordCount());
    for (int row = 1; row <= rows; ++row) {
        t.ds.setRecNo(row);
        t.ds.Edit();
        t.ds.FieldByName(QStringLiteral("NAME")).SetAsString(AgeRowCaption(Group, row, Year));
        t.ds.Post();
    }
}

QString AgeRowsMisfit(const QString &TablePath, int Group, int Year) {
    if (Group != 12 && Group != 29)
        return {};
    store::FolderTable t = openTableFile(TablePath);
    const int fi = t.ds.FieldIndex(QStringLiteral("NAME"));
    if (fi < 0)
        return QStringLiteral("В бланке ") + TablePath + QStringLiteral(" нет поля NAME.");
    const store::FieldDef &def = t.ds.FieldDefs().at(fi);
    if (def.type != 'C')
        return {};
    const int rows = qMin(14, t.ds.RecordCount());
    for (int row = 1; row <= rows; ++row) {
        const QString caption = AgeRowCaption(Group, row, Year);
        if (caption.size() > def.length)
            return QStringLiteral("Поле NAME бланка ") + TablePath + QStringLiteral(" шириной ") +
                   QString::number(def.length) +
                   QStringLiteral(" знаков не вмещает подпись строки ") + QString::number(row) +
                   QStringLiteral(" (") + QString::number(caption.size()) +
                   QStringLiteral(" знаков): \"") + caption +
                   QStringLiteral("\".\rОтчет не создан.");
    }
    return {};
}

QString OrganisationNameText(const QString &OwnName, const QString &OrgName) {
    const QString w = OwnName.trimmed();
    const QString o = OrgName.trimmed();
    if (w.size() + 1 + o.size() <= 40)
        return w + QStringLiteral(": ") + o;
    if (o.size() >= 30)
        return w.left(9) + QLatin1Char(':') + o.left(30);
    return w.left(39 - o.size()) + QLatin1Char(':') + o;
}

QString ReadOwnOrganisationName() {
    try {
        TDM &dm = DM();
        if (!dm.ADOConMain.Connected()) {
            dm.ADOConMain.setFolder(paths::GetProgramDir());
            dm.ADOConMain.Open();
        }
        if (!store::fileExistsCaseInsensitive(paths::GetProgramDir(), QStringLiteral("REGIM.DBF")))
            return {};
        TADODataSet ds;
        ds.setConnection(&dm.ADOConMain);
        ds.setCommandText(QStringLiteral("select * from REGIM"));
        ds.Open();
        QString name;
        if (!ds.IsEmpty()) {
            ds.First();
            name = ds.FieldByName(QStringLiteral("BANK")).AsString().trimmed();
        }
        ds.Close();
        return name;
    } catch (const StoreError &) {
        return {};
    }
}

void FillOrganisationName(TADODataSet &DataSet, const QString &OrgName, const QString &OwnName) {
    QString text = OrganisationNameText(OwnName, OrgName);
    store::TField nameField = DataSet.FieldByName(QStringLiteral("NAME"));
    const store::FieldDef def = nameField.Def();
    if (def.type == 'C' && text.size() > def.length)
        text.truncate(def.length);
    const int count = DataSet.RecordCount();
    for (int row = 1; row <= count; ++row) {
        DataSet.setRecNo(row);
        if (!DataSet.FieldByName(QStringLiteral("NAME")).AsString().trimmed().isEmpty())
            continue;
        DataSet.Edit();
        DataSet.FieldByName(QStringLiteral("NAME")).SetAsString(text);
        try {
            DataSet.Post();
        } catch (const StoreError &) {
            // Another copy of the program named the row since this one read
            // it: that name stands.
            if (DataSet.State() != DataSetState::Browse ||
                DataSet.FieldByName(QStringLiteral("NAME")).AsString().trimmed().isEmpty())
                throw;
        }
    }
    if (count > 0)
        DataSet.First();
}

void FillOrganisationName(TADODataSet &DataSet, const QString &OrgName) {
    FillOrganisationName(DataSet, OrgName, ReadOwnOrganisationName());
}

QString DispatchFillIn(const QString &Folder, const QString &TableName, int Year) {
    AutoFillRefusals refused;
    FillDerivedCellsOfTable(Folder, TableName, QString::number(Year), &refused);
    QStringList said;
    for (const AutoFillRefusal &r : refused) {
        ReportInCatalogue report;
        report.name = r.Table;
        try {
            QStringList fields;
            for (const store::FieldDef &d :
                 store::DbfFile::fieldsOf(ReportTablePath(Folder, r.Table, Year)))
                fields << d.name;
            describeReport(paths::GetWedDir(), Year, r.Table, fields, report);
        } catch (const StoreError &) {
            // the report is named by its table alone
        }
        said << QStringLiteral("Отчет \"") + report.name + QStringLiteral("\": строка ") +
                    QString::number(r.Row) + QStringLiteral(", ") +
                    ColumnInMessage(report.captions.value(r.Field.name.toUpper()), r.Field.name) +
                    QStringLiteral(": значение ") + r.Value + QStringLiteral(" не помещается") +
                    FieldWidthLimit(r.Field) +
                    QStringLiteral(" В ячейке осталось прежнее значение.");
    }
    return said.join(QLatin1Char('\r'));
}

bool AutoValueButtonShown(const QString &BaseName) {
    static const QStringList shown = {
        QStringLiteral("F3A"),  QStringLiteral("F3B"), QStringLiteral("F3V"),
        QStringLiteral("F3G"),  QStringLiteral("F3D"), QStringLiteral("F4A"),
        QStringLiteral("F4A2"), QStringLiteral("F4B"), QStringLiteral("F4V"),
        QStringLiteral("F4G"),  QStringLiteral("F4D"), QStringLiteral("F4R"),
        QStringLiteral("F4R2"), QStringLiteral("F4E"), QStringLiteral("F4U"),
        QStringLiteral("F4N"),  QStringLiteral("F4L"), QStringLiteral("F4S")};
    return shown.contains(BaseName);
}

QString RowTotalsMisfit(int Group, const QVector<store::FieldDef> &Fields, int RowCount, int Row,
                        const QString &Field, const QString &Value, const ShownCell &Cell,
                        const std::function<QString(const QString &)> &Caption) {
    if (!GroupHasRowTotals(Group) || Row < 0 || Row >= RowCount)
        return {};
    auto same = [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) == 0;
    };
    QVector<CellWrite> totals;
    if (Group == 51) {
        // The last row holds the sums of the rows above it, field by field.
        if (Row == RowCount - 1 || !RowTotalFields(51).contains(Field, Qt::CaseInsensitive))
            return {};
        WholeNumber sum = 0;
        for (int r = 0; r < RowCount - 1; ++r)
            sum += cellInt(r == Row ? Value : Cell(r, Field));
        totals << wholeValue(Field.toUpper(), sum);
    } else {
        if (!rowInputs(Group).contains(Field, Qt::CaseInsensitive))
            return {};
        const RowText row = [&](const QString &f) { return same(f, Field) ? Value : Cell(Row, f); };
        if (std::optional<QVector<CellWrite>> writes = rowValues(row, Group))
            totals = *writes;
    }
    for (const CellWrite &total : totals) {
        const store::FieldDef *def = defOf(Fields, total.field);
        if (!def || fits(*def, total))
            continue;
        return QStringLiteral("Число ") + Value + QStringLiteral(" нельзя записать в ") +
               ColumnInMessage(Caption(Field), Field) + QStringLiteral(": итог ") +
               storedText(*def, total) + QStringLiteral(" не поместится в ") +
               ColumnInMessage(Caption(def->name), def->name) +
               (Group == 51 ? QStringLiteral(" последней строки") : QString()) +
               FieldWidthLimit(*def);
    }
    return {};
}

namespace {

// A report of the organisation other than the one typed into, as the check
// of the derived cells reads it.
struct OtherReport : ReportInCatalogue {
    std::unique_ptr<store::FolderTable> table; // null when the folder lacks it
};

// The derived cells that a typed figure changes, worked out as the
// automatic filling and the row totals of the other reports will work them
// out, each checked against its field.
class DerivedCells {
public:
    DerivedCells(const TypedFigure &figure, const ShownCell &cell,
                 const std::function<QString(const QString &)> &caption)
        : m_figure(figure), m_cell(cell), m_caption(caption) {}

    QString misfit() {
        // The row typed into, with the figure and its row's totals.
        const QString typedField = m_figure.Field.toUpper();
        const int row = m_figure.Row + 1;
        m_changed.insert(key(m_figure.BaseName, row, typedField), m_figure.Value);
        if (m_figure.Group != 51) {
            const RowText typedRow = [&](const QString &f) {
                return text(m_figure.BaseName, row, f).value_or(QString());
            };
            if (std::optional<QVector<CellWrite>> totals = rowValues(typedRow, m_figure.Group))
                for (const CellWrite &w : *totals)
                    m_changed.insert(key(m_figure.BaseName, row, w.field),
                                     textOf(w, defOf(m_figure.Fields, w.field)));
        }
        // Each derived cell whose sources changed, and what changes with it,
        // until nothing more does (the links go at most two steps deep).
        for (int pass = 0; pass < 4 && m_more; ++pass) {
            m_more = false;
            for (const AutoFillCopyLink &link : AutoFillLinks.Copies)
                if (changed(link.Source) && !derive(link.Destination, *text(link.Source)))
                    return m_misfit;
            for (const AutoFillDifference &d : AutoFillLinks.Differences) {
                const AutoFillCell minuend{d.SourceTable, d.Minuend, "1"};
                const AutoFillCell subtrahend{d.SourceTable, d.Subtrahend, "1"};
                if (!changed(minuend) && !changed(subtrahend))
                    continue;
                const WholeNumber v = cellInt(text(minuend).value_or(QString())) -
                                      cellInt(text(subtrahend).value_or(QString()));
                if (!derive(d.Destination, WholeText(v)))
                    return m_misfit;
            }
            for (const AutoFillSumLink &link : AutoFillLinks.Sums) {
                bool any = false;
                WholeNumber sum = 0;
                for (const AutoFillCell &source : link.Sources) {
                    if (!source.IsUsed())
                        continue;
                    any = any || changed(source);
                    sum += cellInt(text(source).value_or(QString()));
                }
                if (any && !derive(link.Destination, WholeText(sum)))
                    return m_misfit;
            }
        }
        return {};
    }

private:
    static QString qs(std::string_view s) {
        return QString::fromLatin1(s.data(), qsizetype(s.size()));
    }
    static QString key(const QString &table, int row, const QString &field) {
        return table + u'|' + QString::number(row) + u'|' + field.toUpper();
    }
    static QString key(const AutoFillCell &c) {
        return key(qs(c.Table), qs(c.Row).toInt(), qs(c.Field));
    }
    // A value as its field stores it, as text without the blanks before it.
    static QString textOf(const CellWrite &w, const store::FieldDef *def) {
        if (def && def->type != 'C')
            return storedText(*def, w);
        return w.whole ? WholeText(*w.whole) : QString::number(w.fraction, 'f', 2);
    }
    // A value as text, as a computation of the row totals would write it.
    static CellWrite valueOf(const QString &field, const QString &text) {
        const std::optional<WholeNumber> v = IntegerOfText(text);
        return v ? wholeValue(field, *v) : fractionValue(field, cellFloat(text));
    }

    bool changed(const AutoFillCell &c) const { return m_changed.contains(key(c)); }

    // A cell as it will stand: changed here, shown in the report typed into,
    // or held in another report's file. Nothing when there is no such
    // report, record or field.
    std::optional<QString> text(const QString &table, int row, const QString &field) {
        const auto it = m_changed.constFind(key(table, row, field));
        if (it != m_changed.constEnd())
            return *it;
        if (table == m_figure.BaseName)
            return m_cell(row - 1, field);
        store::FolderTable *t = report(table).table.get();
        if (!t || row < 1 || row > t->ds.RecordCount() || t->ds.FieldIndex(field) < 0)
            return std::nullopt;
        t->ds.setRecNo(row);
        return t->ds.FieldByName(field).AsString();
    }
    std::optional<QString> text(const AutoFillCell &c) {
        return text(qs(c.Table), qs(c.Row).toInt(), qs(c.Field));
    }

    OtherReport &report(const QString &base) {
        auto it = m_reports.find(base);
        if (it != m_reports.end())
            return *it->second;
        auto r = std::make_unique<OtherReport>();
        r->name = base;
        if (ReportTableExists(m_figure.Folder, base, m_figure.Year)) {
            r->table = std::make_unique<store::FolderTable>(m_figure.Folder,
                                                            ReportTableName(base, m_figure.Year));
            QStringList fields;
            for (const store::FieldDef &d : r->table->ds.FieldDefs())
                fields << d.name;
            describeReport(m_figure.WedDir, m_figure.Year, base, fields, *r, &m_catalogue);
        }
        return *m_reports.emplace(base, std::move(r)).first->second;
    }

    // The derived cell takes the text: checked against its field, and the
    // totals of its row, which its report works out on its first row as it
    // opens, with it. False, with the message kept, when one does not fit.
    bool derive(const AutoFillCell &cell, const QString &value) {
        const QString table = qs(cell.Table);
        const QString field = qs(cell.Field);
        const int row = qs(cell.Row).toInt();
        if (table == m_figure.BaseName)
            return true;
        OtherReport &r = report(table);
        const auto current = text(table, row, field);
        if (!current || *current == value)
            return true; // no such cell, which the filling passes by, or no change
        const store::FieldDef *def = defOf(r.table->ds.FieldDefs(), field);
        const CellWrite w = valueOf(field, value);
        if (!value.trimmed().isEmpty() && !fits(*def, w))
            return refuse(r, row, *def, w, QStringLiteral("значение"));
        m_changed.insert(key(table, row, field),
                         value.trimmed().isEmpty() ? QString() : textOf(w, def));
        m_more = true;
        if (row != 1 || r.group == 51)
            return true;
        const RowText rowText = [&](const QString &f) {
            return text(table, row, f).value_or(QString());
        };
        for (const QString &f : RowTotalFields(r.group))
            if (!defOf(r.table->ds.FieldDefs(), f))
                return true; // the row totals refuse such a table and write nothing
        if (std::optional<QVector<CellWrite>> totals = rowValues(rowText, r.group)) {
            for (const CellWrite &t : *totals) {
                const store::FieldDef *d = defOf(r.table->ds.FieldDefs(), t.field);
                if (!fits(*d, t))
                    return refuse(r, row, *d, t, QStringLiteral("итог"));
                m_changed.insert(key(table, row, t.field), textOf(t, d));
            }
        }
        return true;
    }

    bool refuse(const OtherReport &r, int row, const store::FieldDef &def, const CellWrite &w,
                const QString &what) {
        const QString typed = m_figure.Value.isEmpty() ? QStringLiteral("0") : m_figure.Value;
        m_misfit = QStringLiteral("Число ") + typed + QStringLiteral(" нельзя записать в ") +
                   ColumnInMessage(m_caption(m_figure.Field), m_figure.Field) +
                   QStringLiteral(": в отчете «") + r.name + QStringLiteral("» ") + what +
                   QLatin1Char(' ') + storedText(def, w) + QStringLiteral(" не поместится в ") +
                   ColumnInMessage(r.captions.value(def.name.toUpper()), def.name) +
                   QStringLiteral(" строки ") + QString::number(row) + FieldWidthLimit(def);
        return false;
    }

    const TypedFigure &m_figure;
    const ShownCell &m_cell;
    const std::function<QString(const QString &)> &m_caption;
    QHash<QString, QString> m_changed; // by key: the text a cell will hold
    std::map<QString, std::unique_ptr<OtherReport>> m_reports;
    std::unique_ptr<store::FolderTable> m_catalogue;
    bool m_more = true;
    QString m_misfit;
};

} // namespace

QString DerivedCellsMisfit(const TypedFigure &Figure, const ShownCell &Cell,
                           const std::function<QString(const QString &)> &Caption) {
    return DerivedCells(Figure, Cell, Caption).misfit();
}

bool CheckCellInput(const QString &Text, const store::FieldDef &Field, QString *Normalized,
                    QString *Error, const QString &Caption) {
    const QString text = Text.trimmed();
    const QString column = ColumnInMessage(Caption, Field.name);
    auto fail = [&](const QString &message) {
        if (Error)
            *Error = message;
        return false;
    };
    if (Field.type == 'C') {
        if (text.size() > Field.length)
            return fail(QStringLiteral("Текст длиннее ") + QString::number(Field.length) +
                        QStringLiteral(" знаков не помещается в ") + column + QStringLiteral("."));
        if (Normalized)
            *Normalized = text;
        return true;
    }
    if (text.isEmpty()) {
        if (Normalized)
            Normalized->clear();
        return true;
    }
    const int decimals = qMax(0, Field.decimals);
    const QString example = decimals == 0 ? QStringLiteral("Введите целое число, например 12.")
                                          : QStringLiteral("Введите число, например 12 или 3,5.");
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)$"));
    const QString noNumber = QStringLiteral("\"") + text +
                             QStringLiteral("\" не является числом и не может быть записано в ") +
                             column + QStringLiteral(".\r") + example;
    if (!number.match(text).hasMatch())
        return fail(noNumber);
    QString plain = text;
    plain.replace(QLatin1Char(','), QLatin1Char('.'));
    if (plain.startsWith(QLatin1Char('+')))
        plain.remove(0, 1);
    bool ok = false;
    const double value = plain.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return fail(noNumber);
    // Digits after the separator beyond the field's decimals would be lost:
    // the value is refused rather than rounded.
    const int dot = static_cast<int>(plain.indexOf(QLatin1Char('.')));
    if (dot >= 0) {
        QString fraction = plain.mid(dot + 1);
        while (fraction.endsWith(QLatin1Char('0')))
            fraction.chop(1);
        if (fraction.size() > decimals)
            return fail(
                decimals == 0
                    ? QStringLiteral("Число ") + text + QStringLiteral(" нельзя записать в ") +
                          column + QStringLiteral(": в нем только целые числа.\r") + example
                    : QStringLiteral("Число ") + text + QStringLiteral(" нельзя записать в ") +
                          column + QStringLiteral(": в нем не более ") + QString::number(decimals) +
                          QStringLiteral(" знаков после запятой."));
    }
    // The width of the number as the file holds it, counted in its digits
    // (a double keeps only about 15 of them): a sign unless it is zero, the
    // whole part without leading zeros, the mark and the field's decimals.
    QStringView whole = QStringView(plain).left(dot >= 0 ? dot : plain.size());
    const bool negative = whole.startsWith(u'-');
    if (negative)
        whole = whole.mid(1);
    while (whole.size() > 1 && whole.front() == u'0')
        whole = whole.mid(1);
    const qsizetype width = (negative && value != 0 ? 1 : 0) + qMax<qsizetype>(1, whole.size()) +
                            (decimals > 0 ? 1 + decimals : 0);
    if (width > Field.length)
        return fail(QStringLiteral("Число ") + text + QStringLiteral(" не помещается в ") + column +
                    FieldWidthLimit(Field));
    if (Normalized)
        *Normalized = plain;
    return true;
}
