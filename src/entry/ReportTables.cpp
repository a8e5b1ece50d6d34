#include "entry/ReportTables.h"

#include "shell/DataSetModel.h"
#include "shell/Messages.h"
#include "shell/Paths.h"
#include "shell/UnitConsts.h"
#include "shell/UnitDM.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPalette>

#include <algorithm>

namespace {

const QString kDbfExtension = QStringLiteral(".DBF");

// Characters that never belong in a table's base name: folder and drive
// separators, the full stop (so no "..", no second extension), wildcards,
// quotes, redirections and blanks.
bool isForbiddenNameChar(QChar ch) {
    if (ch.unicode() <= 0x20 || ch.unicode() == 0x7f)
        return true;
    static const QString forbidden = QStringLiteral("/\\:.*?\"<>|");
    return forbidden.contains(ch);
}

QString withSlash(QString dir) {
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')) && !dir.endsWith(QLatin1Char('\\')))
        dir += QLatin1Char('/');
    return dir;
}

// The existing file of that name in the folder whatever its case, else the
// name as given.
QString existingOrNamed(const QString &folder, const QString &fileName) {
    const QString found = store::findFileCaseInsensitive(folder, fileName);
    return found.isEmpty() ? withSlash(folder) + fileName : found;
}

// A VKL switch shows its column when it reads as a number of 1 or more.
bool switchShows(const QString &text) {
    bool ok = false;
    const double v =
        QString(text).trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok && v >= 1;
}

QString fieldText(store::TADODataSet &ds, const QString &name) {
    const int i = ds.FieldIndex(name);
    return i < 0 ? QString() : ds.Fields(i).AsString();
}

// Room the multi-line grid leaves beside a title line.
constexpr int kTitleMargin = 4;

} // namespace

// ---------------------------------------------------------------- names

std::optional<QString> ReportBaseName(const QString &Fail) {
    if (Fail.size() <= kDbfExtension.size() || !Fail.endsWith(kDbfExtension, Qt::CaseSensitive))
        return std::nullopt;
    const QString base = Fail.left(Fail.size() - kDbfExtension.size());
    for (const QChar ch : base)
        if (isForbiddenNameChar(ch))
            return std::nullopt;
    return base;
}

QString InvalidFailMessage(const QString &Fail) {
    return QStringLiteral("Неверное имя файла бланка в каталоге отчетов: \"") + Fail +
           QStringLiteral("\".\rОжидается имя таблицы без папки и точек с расширением .DBF, "
                          "например F1.DBF.");
}

std::optional<QString> CheckedReportBaseName(const QString &Fail) {
    auto base = ReportBaseName(Fail);
    if (!base)
        msg::show(QStringLiteral("Ошибка"), InvalidFailMessage(Fail), msg::Icon::Warning);
    return base;
}

QString ReportTableName(const QString &BaseName, int Year) {
    return BaseName + QString::number(Year).rightJustified(4, QLatin1Char('0'));
}

QString ReportFileName(const QString &BaseName, int Year) {
    return ReportTableName(BaseName, Year) + kDbfExtension;
}

QString BlankFileName(const QString &BaseName) {
    return BaseName + kDbfExtension;
}

QString BaseNameOfTableName(const QString &TableName) {
    return TableName.left(std::max<qsizetype>(0, TableName.size() - 4));
}

QString OrgDataDir(int OrgCode) {
    return paths::GetOrgDataDir(QString::number(OrgCode));
}

QString ReportBlankPath(const QString &WedDir, const QString &BaseName) {
    return existingOrNamed(WedDir, BlankFileName(BaseName));
}

QString ReportTablePath(const QString &OrgDir, const QString &BaseName, int Year) {
    return existingOrNamed(OrgDir, ReportFileName(BaseName, Year));
}

bool ReportTableExists(const QString &OrgDir, const QString &BaseName, int Year) {
    return store::fileExistsCaseInsensitive(OrgDir, ReportFileName(BaseName, Year));
}

// ---------------------------------------------------------------- creating, opening, deleting

bool EnsureOrgDataDir(const QString &OrgDir) {
    if (QFileInfo(OrgDir).isDir())
        return true;
    // One level only: the DBF folder itself must exist.
    if (QDir().mkdir(OrgDir))
        return true;
    throw FileError(QStringLiteral("Ошибка ввода-вывода: не удалось создать папку ") + OrgDir);
}

CreateReportResult CreateReportTable(const QString &WedDir, const QString &OrgDir,
                                     const QString &BaseName, int Year) {
    const QString blank = ReportBlankPath(WedDir, BaseName);
    if (!QFileInfo(blank).isFile()) {
        msg::show(QStringLiteral("Ошибка"), QStringLiteral("Отсутствует файл шаблона ") + blank,
                  msg::Icon::Warning);
        return CreateReportResult::BlankMissing;
    }
    EnsureOrgDataDir(OrgDir);
    // Another copy of the program may have made the report since the user
    // was asked: its table, and whatever was entered in it, stays.
    if (ReportTableExists(OrgDir, BaseName, Year))
        return CreateReportResult::Existed;
    const QString table = ReportTablePath(OrgDir, BaseName, Year);
    try {
        if (!CopyFileToNew(table, blank))
            return CreateReportResult::Existed;
    } catch (const FileError &e) {
        msg::show(QStringLiteral("Ошибка"),
                  QStringLiteral("Не удалось создать отчет из файла шаблона ") + blank +
                      QStringLiteral("\r") + e.message(),
                  msg::Icon::Warning);
        return CreateReportResult::CopyFailed;
    }
    return CreateReportResult::Created;
}

bool OpenReportTable(store::TADODataSet &DataSet, const QString &OrgDir, const QString &TableName) {
    if (!store::fileExistsCaseInsensitive(OrgDir, TableName + kDbfExtension)) {
        msg::show(QStringLiteral("Сообщение"), QStringLiteral("Не найдена директория БД!"));
        return false;
    }
    if (!DM().Connect(3, OrgDir))
        return false;
    return DM().OpenTable(DM().ADOConDBF, DataSet, TableName);
}

bool DeleteReportFile(const QString &OrgDir, const QString &TableName) {
    const QString path = store::findFileCaseInsensitive(OrgDir, TableName + kDbfExtension);
    return !path.isEmpty() && QFile::remove(path);
}

// ---------------------------------------------------------------- cells

CellAddress MakeCellAddress(const QString &BaseName, const QString &Field, int RecNo) {
    return {BaseName, Field, QString::number(RecNo)};
}

std::optional<int> CellRecordNumber(const CellAddress &Cell) {
    const QString &r = Cell.Record;
    if (r.isEmpty() || r.size() > 9 || r.startsWith(QLatin1Char('0')))
        return std::nullopt;
    for (const QChar ch : r)
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return std::nullopt;
    return r.toInt();
}

std::optional<store::TField> CellField(store::TADODataSet &DataSet, const CellAddress &Cell) {
    const auto rec = CellRecordNumber(Cell);
    if (!rec || !DataSet.Active() || *rec > DataSet.RecordCount())
        return std::nullopt;
    const int fi = DataSet.FieldIndex(Cell.Field);
    if (fi < 0)
        return std::nullopt;
    if (DataSet.RecNo() != *rec)
        DataSet.setRecNo(*rec);
    return DataSet.Fields(fi);
}

// ---------------------------------------------------------------- columns

CatalogueColumns ReadCatalogueColumns(store::TADODataSet &Catalogue) {
    CatalogueColumns c;
    const int k = Catalogue.FieldIndex(QStringLiteral("KOLSTOLB"));
    c.KolStolb = k < 0 ? 0 : Catalogue.Fields(k).AsInteger();
    for (int i = 1; i <= kCatalogueCaptionCount; ++i) {
        c.Nam.append(fieldText(Catalogue, QStringLiteral("NAM%1").arg(i)));
        c.Vkl.append(fieldText(Catalogue, QStringLiteral("VKL%1").arg(i)));
    }
    return c;
}

QVector<ReportColumn> ReportColumnLayout(const QStringList &TableFields,
                                         const CatalogueColumns &Catalogue, const QFont &GridFont) {
    QFont bold = GridFont;
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    const QFontMetrics metrics(GridFont);

    std::optional<ReportColumn> rowCode, name;
    QVector<ReportColumn> rest;
    int dataNumber = 0;
    int shown = 0;
    for (int p = 0; p < TableFields.size(); ++p) {
        const QString upper = TableFields[p].toUpper();
        ReportColumn c;
        c.Field = TableFields[p];
        c.Title = upper;
        if (upper == QLatin1String("KODSTR")) {
            c.Title = QStringLiteral("N N строки");
            c.WindowColour = true;
        } else if (upper == QLatin1String("NAME")) {
            c.Title = QStringLiteral("НАИМЕНОВАНИЕ ПОКАЗАТЕЛЯ");
        } else if (upper == QLatin1String("KODN") || upper == QLatin1String("KODPOKAZ") ||
                   upper == QLatin1String("NOMFORM")) {
            c.Visible = false;
        } else if (p >= 4) {
            c.DataNumber = ++dataNumber;
            if (shown >= Catalogue.KolStolb) {
                c.Visible = false; // beyond KOLSTOLB: NAM and VKL are not looked at
            } else {
                const QString text = Catalogue.Nam.value(dataNumber - 1);
                const int semi = static_cast<int>(text.indexOf(QLatin1Char(';')));
                if (semi >= 0) {
                    c.Width = boldMetrics.horizontalAdvance(text.left(semi + 1) + QLatin1Char(' '));
                    // The title is shown in upper case in the grid's own font:
                    // widen the column when either part would not fit a line,
                    // so that no title line is cut off at the column's edges.
                    const QString first = text.left(semi).toUpper();
                    const QString second = text.mid(semi + 1).toUpper();
                    c.Width = std::max(
                        {c.Width,
                         metrics.horizontalAdvance(first + QLatin1Char(' ')) + kTitleMargin,
                         metrics.horizontalAdvance(second) + kTitleMargin});
                    c.Title = text.left(semi) + QLatin1Char(' ') + text.mid(semi + 1);
                } else {
                    c.Title = QLatin1Char(' ') + text;
                }
                if (switchShows(Catalogue.Vkl.value(dataNumber - 1))) {
                    ++shown;
                    c.Editable = true;
                } else {
                    c.Visible = false;
                }
            }
        }
        c.Title = c.Title.toUpper();
        if (upper == QLatin1String("KODSTR"))
            rowCode = c;
        else if (upper == QLatin1String("NAME"))
            name = c;
        else
            rest.append(c);
    }
    QVector<ReportColumn> out;
    if (rowCode)
        out.append(*rowCode);
    if (name)
        out.append(*name);
    out += rest;
    return out;
}

QString ColumnInMessage(const QString &Caption, const QString &Field) {
    return Caption.isEmpty() ? QStringLiteral("поле ") + Field
                             : QStringLiteral("столбец «") + Caption + QStringLiteral("»");
}

QString FieldWidthLimit(const store::FieldDef &Field) {
    return QStringLiteral(" (не более ") + QString::number(Field.length) +
           QStringLiteral(" знаков вместе с запятой и знаком).");
}

void ApplyReportColumns(DataSetModel &Model, const QVector<ReportColumn> &Layout) {
    const QColor window = QGuiApplication::palette().color(QPalette::Base);
    QVector<DataSetModel::Column> cols;
    cols.reserve(Layout.size());
    for (const ReportColumn &rc : Layout) {
        DataSetModel::Column c;
        c.field = rc.Field;
        c.title = rc.Title;
        c.visible = rc.Visible;
        c.readOnly = !rc.Editable;
        c.titleAlignment = Qt::AlignHCenter;
        c.width = rc.Width;
        if (rc.WindowColour)
            c.color = window;
        cols.append(c);
    }
    Model.setColumns(cols);
}
