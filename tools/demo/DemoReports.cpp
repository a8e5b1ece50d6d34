#include "demo/DemoReports.h"

#include "entry/EditReportUnit_Zap.h"

#include <stdexcept>

#include <QStringList>

namespace demo {
namespace {

ColumnSpec col(const QString &caption, int decimals = 0) {
    return ColumnSpec{caption, decimals, 1};
}

QVector<RowSpec> numberedRows(const QStringList &names) {
    QVector<RowSpec> rows;
    for (int i = 0; i < names.size(); ++i)
        rows.append(RowSpec{QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0')), names[i]});
    return rows;
}

QVector<RowSpec> emptyListRows(int count) {
    QVector<RowSpec> rows;
    for (int i = 1; i <= count; ++i)
        rows.append(RowSpec{QString::number(i), QString()});
    return rows;
}

const QStringList &languages() {
    static const QStringList list = {
        QStringLiteral("башкирский"), QStringLiteral("татарский"),  QStringLiteral("чувашский"),
        QStringLiteral("марийский"),  QStringLiteral("удмуртский"), QStringLiteral("мордовский"),
        QStringLiteral("немецкий"),   QStringLiteral("украинский"), QStringLiteral("белорусский"),
        QStringLiteral("казахский"),  QStringLiteral("латышский"),  QStringLiteral("армянский"),
        QStringLiteral("еврейский")};
    return list;
}

// The columns of F1: pupils by kind of class; N1 is the sum of the others.
QVector<ColumnSpec> f1Columns() {
    return {col(QStringLiteral("Всего;учащихся")),
            col(QStringLiteral("1;классы")),
            col(QStringLiteral("2-4;классы")),
            col(QStringLiteral("5-9;классы")),
            col(QStringLiteral("10-11;классы")),
            col(QStringLiteral("Вечерние;классы")),
            col(QStringLiteral("Классы;КРО")),
            col(QStringLiteral("Специальные;(коррекц.) кл.")),
            col(QStringLiteral("Компенсир.;обучение")),
            col(QStringLiteral("Гимназические;классы")),
            col(QStringLiteral("Лицейские;классы")),
            col(QStringLiteral("Профильные;классы")),
            col(QStringLiteral("Обучение;на дому")),
            col(QStringLiteral("Экстернат")),
            col(QStringLiteral("Семейное;обучение")),
            col(QStringLiteral("Дистанционное;обучение"))};
}

// What the columns of F1 count, for the row names of the school-count report.
const QStringList &f1ColumnWords() {
    static const QStringList words = {QStringLiteral("в 1 классах"),
                                      QStringLiteral("в 2-4 классах"),
                                      QStringLiteral("в 5-9 классах"),
                                      QStringLiteral("в 10-11 классах"),
                                      QStringLiteral("в вечерних классах"),
                                      QStringLiteral("в классах КРО"),
                                      QStringLiteral("в специальных (коррекционных) классах"),
                                      QStringLiteral("в классах компенсирующего обучения"),
                                      QStringLiteral("в гимназических классах"),
                                      QStringLiteral("в лицейских классах"),
                                      QStringLiteral("в профильных классах"),
                                      QStringLiteral("на дому"),
                                      QStringLiteral("в форме экстерната"),
                                      QStringLiteral("в форме семейного обучения"),
                                      QStringLiteral("дистанционно")};
    return words;
}

// Section tables: N1 pupils, N2..N12 one language each, N13 their sum,
// N14 the rate per million pupils.
QVector<ColumnSpec> sectionColumns(const QString &firstCaption, const QString &sumCaption) {
    QVector<ColumnSpec> cols{col(firstCaption)};
    for (int i = 0; i < 11; ++i)
        cols.append(col(QStringLiteral("Язык;") + languages()[i]));
    cols.append(col(sumCaption));
    cols.append(col(QStringLiteral("На 1 млн;учащихся"), 2));
    return cols;
}

const QVector<RowSpec> &townAndCountryRows() {
    static const QVector<RowSpec> rows =
        numberedRows({QStringLiteral("Всего по учреждению"),
                      QStringLiteral("в том числе: в городской местности"),
                      QStringLiteral("в сельской местности")});
    return rows;
}

QVector<RowSpec> ageRows() {
    QStringList names;
    for (int age = 5; age <= 17; ++age)
        names.append(QString::number(age) + QStringLiteral(" лет"));
    names.append(QStringLiteral("18 лет и старше"));
    return numberedRows(names);
}

QVector<ColumnSpec> gradeColumns(const QString &first) {
    QVector<ColumnSpec> cols{col(first)};
    for (int g = 1; g <= 11; ++g)
        cols.append(col(QStringLiteral("Класс;") + QString::number(g)));
    return cols;
}

// Section letters as the forms print them: F3A is section 3А.
QString cyrillic(const QString &code) {
    static const QString latin = QStringLiteral("ABVGDENULSR");
    static const QString russian = QStringLiteral("АБВГДЕНУЛСР");
    QString out = code;
    for (QChar &c : out) {
        const int i = latin.indexOf(c);
        if (i >= 0)
            c = russian[i];
    }
    return out;
}

ReportSpec section(const QString &base, const QString &what, bool studied) {
    ReportSpec r;
    r.base = base;
    r.name = (studied ? QStringLiteral("Изучение родных языков как предмета: ")
                      : QStringLiteral("Обучение на родных языках: ")) +
             what;
    r.forma = QStringLiteral("НЯ-1, раздел ") + cyrillic(base.mid(1));
    r.group = studied ? 4 : 5;
    r.columns = sectionColumns(QStringLiteral("Всего;учащихся"),
                               studied ? QStringLiteral("Итого;изучают")
                                       : QStringLiteral("Итого;обучаются"));
    r.rows = townAndCountryRows();
    return r;
}

QVector<ReportSpec> makeReports() {
    QVector<ReportSpec> list;

    {
        ReportSpec r;
        r.base = QStringLiteral("F0");
        r.name = QStringLiteral("Число общеобразовательных учреждений и учащихся");
        r.forma = QStringLiteral("НЯ-1, раздел 0");
        r.group = 1;
        r.columns = {col(QStringLiteral("Кол-во")), col(QStringLiteral("% от кол-ва;уч."), 2)};
        QStringList names = {
            QStringLiteral("Общеобразовательные учреждения - самостоятельные (юр. лица)"),
            QStringLiteral("Общеобразовательные учреждения - филиалы"),
            QStringLiteral("Начальные школы - самостоятельные"),
            QStringLiteral("Начальные школы - филиалы"),
            QStringLiteral("Основные школы - самостоятельные"),
            QStringLiteral("Основные школы - филиалы"),
            QStringLiteral("Средние школы - самостоятельные"),
            QStringLiteral("Средние школы - филиалы"),
            QStringLiteral("Численность учащихся - всего")};
        for (const QString &w : f1ColumnWords())
            names.append(QStringLiteral("из них обучаются ") + w);
        r.rows = numberedRows(names);
        list.append(r);
    }
    {
        ReportSpec r;
        r.base = QStringLiteral("F1");
        r.name = QStringLiteral("Общие сведения об учащихся");
        r.forma = QStringLiteral("НЯ-1, раздел 1");
        r.group = 2;
        r.form = 2;
        r.columns = f1Columns();
        r.rows = numberedRows({QStringLiteral("Численность учащихся - всего"),
                               QStringLiteral("в том числе: в городской местности"),
                               QStringLiteral("в сельской местности"),
                               QStringLiteral("Из общего числа учащихся - девочки")});
        list.append(r);
    }
    list.append(section(QStringLiteral("F3A"), QStringLiteral("2-4 классы"), true));
    list.append(section(QStringLiteral("F3B"), QStringLiteral("5-9 классы"), true));
    list.append(section(QStringLiteral("F3V"), QStringLiteral("10-11 классы"), true));
    list.append(section(QStringLiteral("F3G"), QStringLiteral("вечерние классы"), true));
    list.append(section(QStringLiteral("F3D"), QStringLiteral("классы КРО"), true));
    list.append(section(QStringLiteral("F4A"), QStringLiteral("2-4 классы"), false));
    list.append(section(QStringLiteral("F4A2"),
                        QStringLiteral("2-4 классы с углубленным изучением языка"), false));
    list.append(section(QStringLiteral("F4B"), QStringLiteral("5-9 классы"), false));
    list.append(section(QStringLiteral("F4V"), QStringLiteral("10-11 классы"), false));
    list.append(section(QStringLiteral("F4G"), QStringLiteral("вечерние классы"), false));
    list.append(section(QStringLiteral("F4D"), QStringLiteral("классы КРО"), false));
    list.append(section(QStringLiteral("F4E"), QStringLiteral("специальные (коррекционные) классы"),
                        false));
    list.append(
        section(QStringLiteral("F4N"), QStringLiteral("классы компенсирующего обучения"), false));
    list.append(section(QStringLiteral("F4U"), QStringLiteral("лицейские классы"), false));
    list.append(section(QStringLiteral("F4L"), QStringLiteral("профильные классы"), false));
    list.append(section(QStringLiteral("F4S"), QStringLiteral("обучение на дому"), false));
    list.append(section(QStringLiteral("F4R"), QStringLiteral("1 классы"), false));
    list.append(section(QStringLiteral("F4R2"), QStringLiteral("2-11 классы (всего)"), false));
    {
        ReportSpec r;
        r.base = QStringLiteral("F7");
        r.name = QStringLiteral("Факультативное изучение родных языков");
        r.forma = QStringLiteral("НЯ-1, раздел 7");
        r.group = 7;
        r.form = 2;
        r.columns = {col(QStringLiteral("Всего;учащихся")),
                     col(QStringLiteral("Учащихся;(база расчета)"))};
        for (const QString &l : languages())
            r.columns.append(col(QStringLiteral("Язык;") + l));
        r.columns.append(col(QStringLiteral("Итого;изучают")));
        r.columns.append(col(QStringLiteral("Доля;в %"), 2));
        r.rows = townAndCountryRows();
        list.append(r);
    }
    {
        ReportSpec r;
        r.base = QStringLiteral("F7A");
        r.name = QStringLiteral("Сводные сведения об изучении родных языков");
        r.forma = QStringLiteral("НЯ-1, раздел 7А");
        r.group = 10;
        r.columns = {
            col(QStringLiteral("Всего;учащихся")),    col(QStringLiteral("Учащихся;без 1 классов")),
            col(QStringLiteral("2-4 кл.;изучают")),   col(QStringLiteral("5-9 кл.;изучают")),
            col(QStringLiteral("10-11 кл.;изучают")), col(QStringLiteral("Вечерние;изучают")),
            col(QStringLiteral("КРО;изучают"))};
        r.rows = numberedRows({QStringLiteral("Всего по учреждению")});
        list.append(r);
    }
    {
        ReportSpec r;
        r.base = QStringLiteral("F12");
        r.name = QStringLiteral("Распределение учащихся по возрасту и классам");
        r.forma = QStringLiteral("НЯ-1, раздел 12");
        r.group = 12;
        r.columns = gradeColumns(QStringLiteral("Всего;учащихся"));
        r.rows = ageRows();
        list.append(r);
    }
    {
        ReportSpec r;
        r.base = QStringLiteral("F29");
        r.name = QStringLiteral("Учащиеся, изучающие родной язык, по возрасту");
        r.forma = QStringLiteral("НЯ-1, раздел 29");
        r.group = 29;
        r.columns = {col(QStringLiteral("Всего;учащихся")), col(QStringLiteral("из них;мальчики")),
                     col(QStringLiteral("из них;девочки")),
                     col(QStringLiteral("Изучают;родной язык")),
                     col(QStringLiteral("Обучаются;на родном языке"))};
        r.rows = ageRows();
        list.append(r);
    }
    {
        ReportSpec r;
        r.base = QStringLiteral("F39");
        r.name = QStringLiteral("Изучение родных языков в группах продленного дня");
        r.forma = QStringLiteral("НЯ-1, раздел 39");
        r.group = 39;
        r.columns =
            sectionColumns(QStringLiteral("Всего;в группах"), QStringLiteral("Итого;изучают"));
        r.rows = townAndCountryRows();
        list.append(r);
    }
    {
        ReportSpec r;
        r.base = QStringLiteral("F40");
        r.name = QStringLiteral("Учителя родных языков");
        r.forma = QStringLiteral("НЯ-1, раздел 40");
        r.group = 40;
        r.columns = {
            col(QStringLiteral("Всего;учителей")),     col(QStringLiteral("Ведут;родной язык")),
            col(QStringLiteral("Высшее;образование")), col(QStringLiteral("Среднее;специальное")),
            col(QStringLiteral("Прошли;курсы")),       col(QStringLiteral("% прошедших;курсы"), 2)};
        r.rows =
            numberedRows({QStringLiteral("Учителя родных языков - всего"),
                          QStringLiteral("башкирского языка"), QStringLiteral("татарского языка"),
                          QStringLiteral("чувашского языка"), QStringLiteral("других языков")});
        list.append(r);
    }
    {
        ReportSpec r;
        r.base = QStringLiteral("F46");
        r.name = QStringLiteral("Кружки и факультативы по родным языкам");
        r.forma = QStringLiteral("НЯ-1, раздел 46");
        r.group = 46;
        r.columns = {col(QStringLiteral("Число;кружков")), col(QStringLiteral("Число;учащихся")),
                     col(QStringLiteral("из них;девочки")), col(QStringLiteral("Часов;в неделю")),
                     col(QStringLiteral("Язык;(код)"))};
        r.rows = emptyListRows(10);
        list.append(r);
    }
    {
        ReportSpec r;
        r.base = QStringLiteral("F47");
        r.name = QStringLiteral("Численность учащихся по языку обучения и классам");
        r.forma = QStringLiteral("НЯ-1, раздел 47");
        r.group = 47;
        r.form = 2;
        r.columns = gradeColumns(QStringLiteral("Всего;учащихся"));
        r.columns.append(col(QStringLiteral("Классы;КРО")));
        r.columns.append(col(QStringLiteral("Вечерние;классы")));
        r.rows = numberedRows({QStringLiteral("С русским языком обучения"),
                               QStringLiteral("С башкирским языком обучения"),
                               QStringLiteral("С татарским языком обучения"),
                               QStringLiteral("С чувашским языком обучения"),
                               QStringLiteral("Всего учащихся")});
        list.append(r);
    }
    {
        ReportSpec r;
        r.base = QStringLiteral("F48");
        r.name = QStringLiteral("Список учителей родных языков");
        r.forma = QStringLiteral("НЯ-1, раздел 48");
        r.group = 48;
        r.columns = {col(QStringLiteral("Год;рождения")), col(QStringLiteral("Стаж;работы")),
                     col(QStringLiteral("Образование;(код)")),
                     col(QStringLiteral("Нагрузка;(часов)")),
                     col(QStringLiteral("Категория;(код)"))};
        r.rows = emptyListRows(12);
        list.append(r);
    }
    {
        ReportSpec r;
        r.base = QStringLiteral("F51");
        r.name = QStringLiteral("Национальный состав учащихся");
        r.forma = QStringLiteral("НЯ-1, раздел 51");
        r.group = 51;
        r.form = 2;
        r.columns = gradeColumns(QStringLiteral("Всего;учащихся"));
        for (int g = 1; g <= 11; ++g)
            r.columns.append(
                col(QStringLiteral("Девочки;") + QString::number(g) + QStringLiteral(" кл.")));
        r.columns.append(col(QStringLiteral("КРО;всего")));
        r.columns.append(col(QStringLiteral("КРО;девочки")));
        r.columns.append(col(QStringLiteral("На дому;всего")));
        r.columns.append(col(QStringLiteral("На дому;девочки")));
        // Kept in the table for older forms; no longer shown or entered.
        r.columns.append(ColumnSpec{QStringLiteral("Экстернат;всего"), 0, 0});
        r.rows = numberedRows({QStringLiteral("Башкиры"), QStringLiteral("Русские"),
                               QStringLiteral("Татары"), QStringLiteral("Чуваши"),
                               QStringLiteral("Марийцы"), QStringLiteral("Украинцы"),
                               QStringLiteral("Другие национальности"), QStringLiteral("Итого")});
        list.append(r);
    }
    return list;
}

} // namespace

const QVector<ReportSpec> &Reports() {
    static const QVector<ReportSpec> list = makeReports();
    return list;
}

const ReportSpec *FindReport(const QString &base) {
    for (const ReportSpec &r : Reports())
        if (r.base == base)
            return &r;
    return nullptr;
}

int ReportCode(const QString &base) {
    const QVector<ReportSpec> &list = Reports();
    for (int i = 0; i < list.size(); ++i)
        if (list[i].base == base)
            return i + 1;
    return 0;
}

QVector<store::FieldDef> BlankFields(const ReportSpec &report) {
    QVector<store::FieldDef> fields = {{QStringLiteral("KODSTR"), 'C', 6, 0},
                                       {QStringLiteral("NAME"), 'C', 100, 0},
                                       {QStringLiteral("KODN"), 'N', 4, 0},
                                       {QStringLiteral("KODPOKAZ"), 'C', 8, 0}};
    for (int i = 0; i < report.columns.size(); ++i) {
        const bool rate = report.columns[i].decimals > 0;
        fields.append({QStringLiteral("N") + QString::number(i + 1), 'N', rate ? 12 : 10,
                       report.columns[i].decimals});
    }
    return fields;
}

const QVector<SectionLink> &SectionLinks() {
    // The F1 column of each section table is the automatic filling's own
    // link; only the list of tables the demo fills lives here.
    static const QVector<SectionLink> links = [] {
        QVector<SectionLink> out;
        for (const char *table : {"F3A", "F3B", "F3V", "F3G", "F3D", "F4A", "F4A2", "F4B", "F4V",
                                  "F4G", "F4D", "F4E", "F4N", "F4U", "F4L", "F4S", "F4R"}) {
            const auto figure = SectionF1Figure(QString::fromLatin1(table));
            if (!figure || figure->Factor != 0 || !figure->Field1.starts_with('N'))
                throw std::logic_error(std::string("no plain F1 link for ") + table);
            out.append({QString::fromLatin1(table),
                        QString::fromLatin1(figure->Field1.substr(1)).toInt()});
        }
        return out;
    }();
    return links;
}

} // namespace demo
