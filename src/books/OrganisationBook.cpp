#include "books/OrganisationBook.h"

#include "books/SchoolTables.h"
#include "store/Cp1251.h"

#include <QDir>
#include <QHash>
#include <QRegularExpression>

namespace {

const QString kKodCityTitle105 = QStringLiteral("1-районы   2-города   3-респ.учр 4-р-ны Тры");
const QString kKodCityTitleOther = QStringLiteral("1-начальн  2-средние  3-общеобр");

// Puts the named columns first, in the given order, then the table's other
// fields as `others` says.
QVector<BookColumn> arrange(const QStringList &Fields, const QVector<BookColumn> &layout,
                            bool othersVisible) {
    QStringList upper;
    for (const QString &f : Fields)
        upper.append(f.toUpper());
    QVector<BookColumn> out;
    QStringList named;
    for (const BookColumn &c : layout) {
        named.append(c.field);
        if (upper.contains(c.field))
            out.append(c);
    }
    for (const QString &f : std::as_const(upper)) {
        if (named.contains(f))
            continue;
        BookColumn c;
        c.field = f;
        c.title = f;
        c.visible = othersVisible;
        out.append(c);
    }
    return out;
}

BookColumn column(const QString &field, const QString &title, const QString &widthText = {}) {
    return BookColumn{field, title, true, widthText};
}

// Whether DbfDir holds the data folder of the code (D or d followed by it).
bool hasDataFolder(const QString &DbfDir, int code) {
    const QDir dir(DbfDir);
    return dir.exists(QStringLiteral("D") + QString::number(code)) ||
           dir.exists(QStringLiteral("d") + QString::number(code));
}

BookColumn hidden(const QString &field) {
    return BookColumn{field, QString(), false, QString()};
}

} // namespace

QVector<BookColumn> OrganisationColumns(const QStringList &Fields, int ProgramKind) {
    const QVector<BookColumn> layout = {
        column("KOD", "Код"),
        column("NAME", "Наименование"),
        column("INN_O", "ИНН"),
        column("KODCITY", ProgramKind == 105 ? kKodCityTitle105 : kKodCityTitleOther,
               QStringLiteral("1-районы    ")),
        column("KOD1", "Признак 1"),
        column("KOD2", "Признак 2"),
        column("KOD3", "1-НОШ, 2-ООШ, 3-СОШ"),
        column("KOD4", "1-самост., 2-филиалы"),
        column("RYKORG", "Руководитель"),
        column("GLABUX", "Гл. Бухгалтер"),
        column("RYKFIN", "Лицо, ответств. за составл. отчета"),
        hidden("CITY"),
        column("TELEF", "Телефон"),
        column("OKONX_K", "Код ОКОНХ"),
        column("OKPO_K", "Код ОКПО"),
        hidden("GLAVRAS"),
        column("ADRES", "Адрес"),
    };
    return arrange(Fields, layout, true);
}

QVector<BookColumn> ReportCatalogueColumns(const QStringList &Fields) {
    QVector<BookColumn> layout = {
        column("KOD", "Код"),
        hidden("GRUPPA"),
        column("NAME", "Наименоваие"),
        column("FORMA", "Форма"),
        column("FAIL", "Файл базы данных"),
        column("KOLSTOLB", "Количество столбцов цифр"),
        column("NSTOLB1", "N 1-го цифров столбца"),
        column("FORM", "Формат печати: 1-А4         2-А3", QStringLiteral("Формат печати: ")),
        column("FAILTEXT", "Файл отчета"),
    };
    for (int n = 1; n <= 28; ++n) {
        layout.append(column(QStringLiteral("NAM%1").arg(n),
                             QStringLiteral("Наименование столбца %1").arg(n)));
        layout.append(column(QStringLiteral("VKL%1").arg(n),
                             QStringLiteral("Разрешить ввод:          1-Да"),
                             QStringLiteral("Разрешить ввод: ")));
    }
    return arrange(Fields, layout, false);
}

// ---------------------------------------------------------------- search

int FindOrganisationRecord(store::TADODataSet &School, int SearchMode, const QString &FindText) {
    if (!School.Active() || School.IsEmpty())
        return 0;
    if (SearchMode == kSearchByName && FindText.isEmpty())
        return 0;
    if (SearchMode != kSearchByCode && SearchMode != kSearchByName)
        return 0;
    const int field = School.FieldIndex(SearchMode == kSearchByCode ? QStringLiteral("KOD")
                                                                    : QStringLiteral("NAME"));
    if (field < 0)
        return 0;
    bool ok = false;
    int code = FindText.trimmed().toInt(&ok);
    if (!ok)
        code = 0;
    const QString prefix = FindText.toLower();

    const int saved = School.RecNo();
    const int n = School.RecordCount();
    int found = 0;
    School.First();
    for (int i = 1; i <= n && found == 0; ++i) {
        const store::TField f = School.Fields(field);
        if (SearchMode == kSearchByCode ? (!f.IsNull() && f.AsInteger() == code)
                                        : f.AsString().toLower().startsWith(prefix))
            found = i;
        else if (i < n)
            School.Next();
    }
    if (saved >= 1 && saved <= n)
        School.setRecNo(saved);
    return found;
}

// ---------------------------------------------------------------- checks

QString OrganisationFieldLabel(const QString &Field) {
    static const QHash<QString, QString> labels = {
        {"KOD", "Код"},
        {"NAME", "Наименование"},
        {"KODCITY", "Признак: 1-районы, 2-города, 3-респ.учр., 4-р-ны Тры"},
        {"KOD1", "Признак 1"},
        {"KOD2", "Признак 2"},
        {"KOD3", "1-НОШ, 2-ООШ, 3-СПОШ"},
        {"KOD4", "1-самост.(юр.лица), 2-филиалы"},
        {"RYKORG", "Руководитель"},
        {"GLABUX", "Гл.бухгалтер"},
        {"RYKFIN", "Лицо, ответственное за составление отчета"},
        {"INN_O", "ИНН"},
        {"OKPO_K", "Код ОКПО"},
        {"OKONX_K", "Код ОКОНХ"},
        {"TELEF", "Телефон"},
        {"ADRES", "Адрес"},
    };
    return labels.value(Field.toUpper(), Field.toUpper());
}

QString CheckOrganisationValue(const store::FieldDef &Def, const QString &Text) {
    const QString label =
        QStringLiteral("Поле \"") + OrganisationFieldLabel(Def.name) + QStringLiteral("\": ");
    if (Def.type == 'N' || Def.type == 'F') {
        const QString t = Text.trimmed();
        if (t.isEmpty())
            return {};
        static const QRegularExpression whole(QStringLiteral("^[-+]?[0-9]+$"));
        static const QRegularExpression decimal(QStringLiteral("^[-+]?[0-9]*([.,][0-9]*)?$"));
        const bool isWhole = whole.match(t).hasMatch();
        if (Def.decimals == 0 && !isWhole)
            return label + QStringLiteral("нужно целое число, а введено \"") + t +
                   QStringLiteral("\".");
        if (!isWhole && (!decimal.match(t).hasMatch() || t.count(QRegularExpression("[0-9]")) == 0))
            return label + QStringLiteral("нужно число, а введено \"") + t + QStringLiteral("\".");
        QString digits = t;
        if (digits.startsWith(QLatin1Char('+')))
            digits.remove(0, 1);
        const int intLength =
            static_cast<int>(digits.section(QRegularExpression("[.,]"), 0, 0).size());
        const int needed = intLength + (Def.decimals > 0 ? 1 + Def.decimals : 0);
        if (needed > Def.length)
            return label + QStringLiteral("число \"") + t +
                   QStringLiteral("\" не помещается в поле (в нем %1 знаков).").arg(Def.length);
        return {};
    }
    if (Def.type != 'C')
        return {};
    QString t = Text;
    while (t.endsWith(QLatin1Char(' ')))
        t.chop(1);
    QByteArray bytes;
    qsizetype bad = 0;
    if (!store::cp1251::encode(t, bytes, &bad))
        return label + QStringLiteral("знак \"") + t.mid(bad, 1) +
               QStringLiteral("\" нельзя сохранить в таблице: его нет в кодировке "
                              "Windows-1251. Замените или удалите его.");
    if (bytes.size() > Def.length)
        return label + QStringLiteral("текст длиннее %1 знаков (введено %2). Сократите его.")
                           .arg(Def.length)
                           .arg(bytes.size());
    return {};
}

QString CheckCodeChange(store::TADOConnection &Connection, int OldCode, const QString &Text,
                        const QString &DbfDir) {
    bool ok = false;
    const int code = Text.trimmed().toInt(&ok);
    if (ok && code == OldCode)
        return {};
    const QString oldFolder = QStringLiteral("D") + QString::number(OldCode);
    if (OldCode > 0 && hasDataFolder(DbfDir, OldCode))
        return QStringLiteral("Код организации %1 изменить нельзя: в папке DBF\\%2 лежат ее "
                              "отчеты, которые остались бы под старым кодом.")
            .arg(OldCode)
            .arg(oldFolder);
    if (!ok || code <= 0)
        return QStringLiteral("Код организации должен быть целым числом больше нуля, а введено "
                              "\"%1\".")
            .arg(Text.trimmed());
    store::TADODataSet ds;
    ds.setConnection(&Connection);
    ds.setCommandText(QStringLiteral("select * from SCHOOL where KOD = %1").arg(code));
    ds.Open();
    const bool taken = !ds.IsEmpty();
    ds.Close();
    if (taken)
        return QStringLiteral("Код %1 уже есть у другой организации.").arg(code);
    if (hasDataFolder(DbfDir, code))
        return QStringLiteral("Код %1 изменить на %2 нельзя: папка DBF\\D%2 с отчетами другой "
                              "организации уже есть.")
            .arg(OldCode)
            .arg(code);
    return {};
}

QString CodeTakenMeanwhileText(store::TADODataSet &School, int Shown, int Given,
                               const QString &Name, const QString &DbfDir) {
    const int found = FindOrganisationRecord(School, kSearchByCode, QString::number(Shown));
    QString holder;
    if (found > 0) {
        const int saved = School.RecNo();
        School.setRecNo(found);
        holder = School.FieldByName(QStringLiteral("NAME")).AsString().trimmed();
        if (saved >= 1)
            School.setRecNo(saved);
    }
    QString taken;
    if (!holder.isEmpty())
        taken = QStringLiteral("код %1 получила организация «%2», записанная в другой копии "
                               "программы")
                    .arg(Shown)
                    .arg(holder);
    else if (found == 0 && hasDataFolder(DbfDir, Shown))
        taken = QStringLiteral("код %1 занят папкой DBF\\D%1 с отчетами организации, "
                               "удаленной в другой копии программы")
                    .arg(Shown);
    else
        taken = QStringLiteral("код %1 получила другая организация, записанная в другой копии "
                               "программы")
                    .arg(Shown);
    return QStringLiteral("Пока вводилась новая организация, ") + taken +
           QStringLiteral(". Новая организация «%1» записана с кодом %2.")
               .arg(Name.trimmed())
               .arg(Given);
}
