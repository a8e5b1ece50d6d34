#include "consolidation/SvodGridLayout.h"

#include "entry/ReportTables.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"

#include <QFontMetrics>

#include <algorithm>
#include <cmath>

namespace {

const QString kRowCodeTitle = QStringLiteral("N N строки");
// The room the grid's header keeps beside a title's lines.
constexpr int kTitleRoom = 4;
const QString kNameTitle = QStringLiteral("Наименование показателя");

DataSetModel::Column column(const QString &field, const QString &title, bool visible) {
    DataSetModel::Column c;
    c.field = field;
    c.title = title;
    c.visible = visible;
    c.readOnly = true;
    c.titleAlignment = Qt::AlignCenter;
    return c;
}

// KODSTR and NAME moved in front of the others.
QVector<DataSetModel::Column> rowCodeAndNameFirst(const QVector<DataSetModel::Column> &cols) {
    QVector<DataSetModel::Column> front, rest;
    for (const DataSetModel::Column &c : cols) {
        if (c.field.compare(QLatin1String("KODSTR"), Qt::CaseInsensitive) == 0)
            front.prepend(c);
        else if (c.field.compare(QLatin1String("NAME"), Qt::CaseInsensitive) == 0)
            front.append(c);
        else
            rest.append(c);
    }
    // NAME after KODSTR even when the table names NAME first.
    if (front.size() == 2 &&
        front[0].field.compare(QLatin1String("NAME"), Qt::CaseInsensitive) == 0)
        std::swap(front[0], front[1]);
    return front + rest;
}

bool isField(const QString &field, const char *name) {
    return field.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

} // namespace

std::pair<QString, QString> CaptionLines(const QString &Caption) {
    const int semi = int(Caption.indexOf(QLatin1Char(';')));
    if (semi < 0)
        return {Caption.trimmed(), QString()};
    return {Caption.left(semi).trimmed(), Caption.mid(semi + 1).trimmed()};
}

QString CaptionText(const QString &Caption) {
    const auto [first, second] = CaptionLines(Caption);
    return second.isEmpty() ? first : first + QLatin1Char(' ') + second;
}

QVector<DataSetModel::Column> ReportSvodColumns(const QStringList &TableFields,
                                                const svod::CatalogueReport &Report,
                                                const QFont &GridFont) {
    QFont bold = GridFont;
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    QVector<DataSetModel::Column> cols;
    int shown = 0;
    for (int p = 0; p < TableFields.size(); ++p) {
        const QString &field = TableFields[p];
        DataSetModel::Column c = column(field, field, true);
        if (isField(field, "KODSTR")) {
            c.title = kRowCodeTitle;
        } else if (isField(field, "NAME")) {
            c.title = kNameTitle;
            c.readOnly = false;
        } else if (isField(field, "KODN") || isField(field, "KODPOKAZ")) {
            c.visible = false;
        } else if (shown < Report.ColumnCount && p >= 4) {
            const int k = p - 3;
            const QString caption = Report.ColumnCaption(k);
            const int semi = int(caption.indexOf(QLatin1Char(';')));
            if (semi >= 0) {
                const auto [first, second] = CaptionLines(caption);
                c.width = std::max(
                    {boldMetrics.horizontalAdvance(caption.left(semi + 1) + QStringLiteral("11")),
                     boldMetrics.horizontalAdvance(first + QLatin1Char(' ')) + kTitleRoom,
                     boldMetrics.horizontalAdvance(second) + kTitleRoom});
                c.title = CaptionText(caption);
            } else {
                c.title = caption;
            }
            if (Report.ColumnEnabled(k)) {
                ++shown;
                c.readOnly = false;
            } else {
                c.visible = false;
            }
        } else {
            c.visible = false;
        }
        cols.append(c);
    }
    return rowCodeAndNameFirst(cols);
}

QStringList TableFieldNames(const store::TADODataSet &DataSet) {
    QStringList fields;
    for (const store::FieldDef &d : DataSet.FieldDefs())
        fields << d.name;
    return fields;
}

QString LayoutColumnInMessage(const QVector<DataSetModel::Column> &Layout, const QString &Field) {
    for (const DataSetModel::Column &c : Layout)
        if (c.visible && c.field.compare(Field, Qt::CaseInsensitive) == 0)
            return ColumnInMessage(c.title.trimmed(), Field);
    return ColumnInMessage(QString(), Field);
}

QVector<DataSetModel::Column> SchoolCountColumns(const QStringList &TableFields) {
    QVector<DataSetModel::Column> cols;
    for (const QString &field : TableFields) {
        if (isField(field, "KODSTR"))
            cols.append(column(field, kRowCodeTitle, true));
        else if (isField(field, "NAME"))
            cols.append(column(field, kNameTitle, true));
        else if (isField(field, "N1"))
            cols.append(column(field, QStringLiteral("Кол-во"), true));
        else if (isField(field, "N2"))
            cols.append(column(field, QStringLiteral("% от кол-ва уч."), true));
        else
            cols.append(column(field, field, false));
    }
    return cols;
}

QVector<DataSetModel::Column> ColumnSvodColumns(const QStringList &TableFields,
                                                const QStringList &OrgNames,
                                                const QString &ColumnCaption,
                                                const QFont &GridFont) {
    QVector<DataSetModel::Column> cols;
    int org = 0;
    for (const QString &field : TableFields) {
        DataSetModel::Column c = column(field, field, false);
        if (isField(field, "KODSTR")) {
            c = column(field, kRowCodeTitle, true);
        } else if (isField(field, "NAME")) {
            c = column(field, kNameTitle, true);
            c.readOnly = false;
        } else if (isField(field, "TOTAL")) {
            c = column(field, TotalColumnTitle(ColumnCaption), true);
            c.readOnly = false;
            c.width = TotalColumnWidth(ColumnCaption, GridFont);
        } else if (field.startsWith(QLatin1String("NNN"), Qt::CaseInsensitive)) {
            c = column(field, OrgNames.value(org++), true);
            c.readOnly = false;
        }
        cols.append(c);
    }
    return rowCodeAndNameFirst(cols);
}

namespace {

// "Всего " and "(" + caption + ")", the shorter padded to the longer.
std::pair<QString, QString> totalTitleHalves(const QString &ColumnCaption) {
    const QString a = QStringLiteral("Всего ");
    const QString b = QStringLiteral("(") + ColumnCaption + QStringLiteral(")");
    const int length = int(std::max(a.size(), b.size()));
    return {a.leftJustified(length, QLatin1Char(' ')), b.leftJustified(length, QLatin1Char(' '))};
}

} // namespace

QString TotalColumnTitle(const QString &ColumnCaption) {
    const auto [a, b] = totalTitleHalves(ColumnCaption);
    return a + b;
}

int TotalColumnWidth(const QString &ColumnCaption, const QFont &GridFont) {
    QFont bold = GridFont;
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(totalTitleHalves(ColumnCaption).second +
                                                QLatin1Char(' '));
}

int FindReportNumber(int Year, const QString &Name) {
    const QString table = QStringLiteral("OTHE") + QString::number(Year);
    if (!store::fileExistsCaseInsensitive(paths::GetWedDir(), table + QStringLiteral(".DBF")))
        return 1;
    if (!DM().ADOConWED.Connected() && !DM().Connect(2, paths::GetWedDir()))
        return 1;
    store::TADODataSet catalogue;
    catalogue.setConnection(&DM().ADOConWED);
    catalogue.setCommandText(QStringLiteral("select * from ") + table);
    catalogue.Open();
    int number = 1;
    for (catalogue.First(); !catalogue.Eof(); catalogue.Next()) {
        if (catalogue.FieldByName(QStringLiteral("NAME")).AsString() == Name)
            number = catalogue.FieldByName(QStringLiteral("KOD")).AsInteger();
    }
    catalogue.Close();
    return number;
}

QString OrganisationCountText(int WithData, int WithoutData) {
    return QStringLiteral(" ( ") + QString::number(WithData) + QStringLiteral(" из ") +
           QString::number(WithData + WithoutData) + QStringLiteral(" организаций )");
}
