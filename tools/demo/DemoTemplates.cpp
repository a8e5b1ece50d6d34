#include "demo/DemoTemplates.h"

#include "demo/DemoData.h"
#include "demo/DemoReports.h"
#include "sheet/OfficeEngine.h"

#include <QDir>

#include <stdexcept>
#include <utility>
#include <vector>

namespace demo {

namespace {

using sheet::Table;
using sheet::Value;

Value text(const QString &s) {
    return Value::text(s);
}

// A caption of the catalogue, two lines joined by ";", as the two lines of
// a heading.
QString caption(const ColumnSpec &column) {
    return QString(column.caption).replace(u';', u'\n');
}

// Every sheet goes on paper as a form does: without the office's header and
// footer, landscape, every column on the one page across (a form whose rows
// are fixed all on one page); A3 where the catalogue says FORM 2. A form
// whose rows come one per record may run over several pages: its column
// headings (titleRows, first and last) stand again at the top of each.
void setPaper(sheet::Workbook &book, int form = 1, bool fixedRows = false,
              std::pair<int, int> titleRows = {0, 0}) {
    book.setPageSetup({form == 2 ? sheet::PageSetup::Paper::A3 : sheet::PageSetup::Paper::A4, true,
                       fixedRows ? sheet::PageSetup::Fit::Page : sheet::PageSetup::Fit::Width,
                       false, titleRows.first, titleRows.second});
}

// Makes the column as wide as the longest of the texts, which the data give
// it when a row is printed once per record: they are written below the
// form, the column fitted to them, and removed. With room to spare, a tenth
// more (in digits, about as wide as letters): for a sheet that another
// spreadsheet program shows, which reckons the widths that the file keeps
// a little narrower than the office that wrote it (in Gnumeric a name of
// sixty letters lost its last two).
void fitColumnTo(sheet::Workbook &book, int column, const QStringList &texts,
                 bool roomToSpare = false) {
    const int below = 200;
    Table cells;
    for (const QString &t : texts)
        cells.push_back({text(roomToSpare ? t + QString(t.size() / 10 + 1, QLatin1Char('0')) : t)});
    book.setValues(below, column, cells);
    book.fitColumns(below, column, below + static_cast<int>(texts.size()) - 1, column);
    book.setValues(below, column, Table(texts.size(), std::vector<Value>(1)));
}

// The names that a report's rows print: its own row names, and in a
// consolidation one row per organisation and the total.
QStringList printedNames(const ReportSpec &report) {
    QStringList names = {QStringLiteral("Наименование показателя"), QStringLiteral("И Т О Г О")};
    for (const RowSpec &row : report.rows)
        names << row.name;
    for (const Organisation &org : Organisations())
        names << org.name;
    return names;
}

// The rows above the data of every report page: the organisation, the
// report, the period.
void writeReportHead(sheet::Workbook &book, const ReportSpec &report) {
    book.setValues(
        2, 1,
        Table{{text(QStringLiteral("Учреждение: #TORG"))},
              {text(report.name)},
              {text(QStringLiteral("Форма %1 на #YR1/#YR2 учебный год").arg(report.forma))}});
}

// Headings and column numbers in two framed rows from `row`.
void writeHeadings(sheet::Workbook &book, int row, const QStringList &headings) {
    std::vector<Value> names, numbers;
    for (int c = 0; c < headings.size(); ++c) {
        names.push_back(text(headings[c]));
        numbers.push_back(Value::number(c + 1));
    }
    book.setValues(row, 1, Table{names, numbers});
    book.drawBorders(row, 1, row + 1, static_cast<int>(headings.size()));
    // Each column as wide as its heading, so that the printed names and
    // figures have room.
    book.fitColumns(row, 1, row, static_cast<int>(headings.size()));
}

// A report whose records are printed by one repeated row: its first cell
// "#CCC" makes the row repeat once per record, "#ORG" prints the record's
// name and #A1N<c> its columns (the rows below receive #A2N<c>, ...).
void writeRepeatedReport(sheet::Workbook &book, const ReportSpec &report) {
    const int columns = 2 + static_cast<int>(report.columns.size());
    const int first = 7;
    book.setText(1, 1, QStringLiteral("%1;%2;").arg(first).arg(columns));
    writeReportHead(book, report);
    QStringList headings = {QStringLiteral("№ строки"), QStringLiteral("Наименование показателя")};
    for (const ColumnSpec &column : report.columns)
        headings << caption(column);
    writeHeadings(book, 5, headings);
    std::vector<Value> line = {text(QStringLiteral("#CCC")), text(QStringLiteral("#ORG"))};
    for (int c = 1; c <= report.columns.size(); ++c)
        line.push_back(text(QStringLiteral("#A1N%1").arg(c)));
    book.setValues(first, 1, Table{line});
    book.drawBorders(first, 1, first, columns);
    // The codes stay as the table holds them ("01" ... "14"), not numbers.
    book.formatAsText(first, 1, first, 1);
    fitColumnTo(book, 2, printedNames(report));
    // A longer name (a single record prints the title there: in a
    // consolidation the own organisation and the set) goes on over more
    // lines of a taller row instead of being cut at the next cell.
    book.setTextLayout(first, 2, first, 2, sheet::Workbook::TextLayout::Wrapped);
    book.setText(first + 2, 2, QStringLiteral("Руководитель учреждения  ____________________"));
    setPaper(book, report.form, false, {5, 6});
}

// A report printed row by row, each row with its own placeholders: groups
// 1, 47 and 51 repeat no rows. Group 1 also gives the school counts.
void writeFixedReport(sheet::Workbook &book, const ReportSpec &report) {
    const int columns = 2 + static_cast<int>(report.columns.size());
    int headingRow = 5;
    writeReportHead(book, report);
    if (report.group == 1) {
        book.setValues(
            5, 1,
            Table{
                {text(QStringLiteral("Учреждений всего")), Value(),
                 text(QStringLiteral("#SH_TOT"))},
                {text(QStringLiteral("Начальных школ")), Value(), text(QStringLiteral("#SH_NOSH"))},
                {text(QStringLiteral("Основных школ")), Value(), text(QStringLiteral("#SH_OOSH"))},
                {text(QStringLiteral("Средних школ")), Value(),
                 text(QStringLiteral("#SH_SPOSH"))}});
        book.drawBorders(5, 1, 8, 3);
        headingRow = 10;
    }
    const int first = headingRow + 2;
    book.setText(1, 1, QStringLiteral("%1;%2;").arg(first).arg(columns));
    QStringList headings = {QStringLiteral("Наименование показателя"), QStringLiteral("№ строки")};
    for (const ColumnSpec &column : report.columns)
        headings << caption(column);
    writeHeadings(book, headingRow, headings);
    Table rows;
    for (int k = 1; k <= report.rows.size(); ++k) {
        const RowSpec &row = report.rows[k - 1];
        std::vector<Value> line = {text(row.name), text(row.kodstr)};
        for (int c = 1; c <= report.columns.size(); ++c)
            line.push_back(text(QStringLiteral("#A%1N%2").arg(k).arg(c)));
        rows.push_back(line);
    }
    if (!rows.empty()) {
        book.setValues(first, 1, rows);
        book.drawBorders(first, 1, first + static_cast<int>(rows.size()) - 1, columns);
        // The names of the rows are printed whole.
        book.fitColumns(headingRow, 1, first + static_cast<int>(rows.size()) - 1, 1);
    }
    setPaper(book, report.form, true);
}

// The first title page: the scanned area reaches row 16 whatever the
// printed table's size, so every placeholder stands above it.
void writeFirstTitle(sheet::Workbook &book) {
    book.setText(1, 1, QStringLiteral("16;6;"));
    book.setValues(2, 1,
                   Table{{text(QStringLiteral("ГОСУДАРСТВЕННОЕ СТАТИСТИЧЕСКОЕ НАБЛЮДЕНИЕ"))},
                         {text(QStringLiteral("Конфиденциальность гарантируется получателем "
                                              "информации"))},
                         {Value()},
                         {text(QStringLiteral("СВЕДЕНИЯ ОБ ОБЩЕОБРАЗОВАТЕЛЬНОМ УЧРЕЖДЕНИИ"))},
                         {text(QStringLiteral("на начало #YR1/#YR2 учебного года"))}});
    book.setValues(
        8, 1,
        Table{{text(QStringLiteral("Наименование отчитывающейся организации:")),
               text(QStringLiteral("#TORG"))},
              {text(QStringLiteral("Почтовый адрес:")), text(QStringLiteral("#PADRES"))},
              {text(QStringLiteral("Руководитель:")), text(QStringLiteral("#RYKORG"))},
              {text(QStringLiteral("Главный бухгалтер:")), text(QStringLiteral("#RYKFIN"))},
              {text(QStringLiteral("Телефон:")), text(QStringLiteral("#TEL"))},
              {text(QStringLiteral("Код по ОКПО:")), text(QStringLiteral("#OKPO"))},
              {text(QStringLiteral("Дата заполнения:")), text(QStringLiteral("#DATE"))}});
    book.drawBorders(8, 1, 14, 2);
    book.fitColumns(8, 1, 14, 1);
    // The values (an organisation's name or the own one, an address) fit
    // inside their frames.
    QStringList values = {OwnRequisites().bank, OwnRequisites().cena2};
    for (const Organisation &org : Organisations())
        values << org.name;
    fitColumnTo(book, 2, values);
    book.setText(16, 1, QStringLiteral("Срок представления: до 5 октября #YR1 года"));
    setPaper(book);
}

// The second title page: what the report covers, with figures taken from
// the general report F1 of the same organisation.
void writeSecondTitle(sheet::Workbook &book) {
    const int f1 = ReportCode(QStringLiteral("F1"));
    book.setText(1, 1, QStringLiteral("13;4;"));
    book.setValues(2, 1,
                   Table{{text(QStringLiteral("#TORG"))},
                         {text(QStringLiteral("Учебный год: #YR1/#YR2"))},
                         {Value()}});
    // Each figure in a cell of its own beside what it counts.
    Table figures;
    for (const auto &[label, column] :
         {std::pair{QStringLiteral("Численность учащихся на начало года (F1, строка 1)"), 1},
          std::pair{QStringLiteral("из них в 1 классах"), 2},
          std::pair{QStringLiteral("во 2-4 классах"), 3}})
        figures.push_back({text(label), text(QStringLiteral("#F%1A1N%2").arg(f1).arg(column)),
                           text(QStringLiteral("чел."))});
    book.setValues(5, 1, figures);
    book.drawBorders(5, 1, 7, 3);
    book.fitColumns(5, 1, 7, 1);
    book.setValues(10, 1,
                   Table{{text(QStringLiteral("Отчёт составил:")), Value(),
                          text(QStringLiteral("Руководитель: #RYKORG"))},
                         {text(QStringLiteral("Телефон: #TEL")), Value(), Value()},
                         {Value(), Value(), Value()},
                         {text(QStringLiteral("Следующий отчёт представляется осенью #YP0 года")),
                          Value(), Value()}});
    setPaper(book);
}

void writeColumnSvod(sheet::Workbook &book) {
    book.setText(3, 1, QStringLiteral("Сводные сведения по организациям, по выбранному столбцу"));
    // The titles over the width of the table: the widths of the first
    // columns fit the table, not the titles.
    for (int row = 1; row <= 3; ++row)
        book.mergeCells(row, row == 3 ? 1 : 2, row, 12);
    // The organisations' names read upwards over their narrow columns.
    book.setTextLayout(4, 4, 4, 131, sheet::Workbook::TextLayout::Upwards);
    setPaper(book, 2);
}

void writeOrganisationList(sheet::Workbook &book) {
    book.setText(1, 1, QStringLiteral("5;9;"));
    book.setText(2, 1, QStringLiteral("СПИСОК ОБЩЕОБРАЗОВАТЕЛЬНЫХ УЧРЕЖДЕНИЙ"));
    const QStringList headings = {
        QStringLiteral("Код"),          QStringLiteral("Наименование"),  QStringLiteral("ИНН"),
        QStringLiteral("Руководитель"), QStringLiteral("Гл. бухгалтер"), QStringLiteral("ОКПО"),
        QStringLiteral("ОКОНХ"),        QStringLiteral("Адрес"),         QStringLiteral("Телефон")};
    std::vector<Value> line;
    for (const QString &h : headings)
        line.push_back(text(h));
    book.setValues(4, 1, Table{line});
    book.drawBorders(4, 1, 4, 9);
    // Each column as wide as its heading and the longest value of the
    // organisation book, with room to spare: names, managers and addresses
    // whole, in the user's spreadsheet program as well.
    std::vector<QStringList> columns;
    for (const QString &h : headings)
        columns.push_back({h});
    for (const Organisation &org : Organisations()) {
        const QString values[] = {QString::number(org.kod),
                                  org.name,
                                  org.inn,
                                  org.rykorg,
                                  org.rykfin,
                                  org.okpo,
                                  org.okonx,
                                  org.adres,
                                  org.telef};
        for (int c = 0; c < 9; ++c)
            columns[c] << values[c];
    }
    for (int c = 0; c < 9; ++c)
        fitColumnTo(book, c + 1, columns[c], true);
    setPaper(book);
}

} // namespace

QStringList WriteDemoTemplates(const QString &BlankDir) {
    QDir dir(BlankDir);
    if (!dir.mkpath(QStringLiteral(".")))
        throw std::runtime_error(("cannot create " + BlankDir).toStdString());
    sheet::OfficeEngine engine;
    QStringList written;
    auto save = [&](const QString &name, const std::function<void(sheet::Workbook &)> &write) {
        auto book = engine.addWorkbook();
        write(*book);
        const QString path = dir.filePath(name);
        book->saveAs(path);
        written << path;
    };
    for (const ReportSpec &report : Reports()) {
        const bool fixed = report.group == 1 || report.group == 47 || report.group == 51;
        save(report.failText(), [&](sheet::Workbook &book) {
            if (fixed)
                writeFixedReport(book, report);
            else
                writeRepeatedReport(book, report);
        });
    }
    save(QStringLiteral("BFFF.XLS"), writeFirstTitle);
    save(QStringLiteral("BFFFF.XLS"), writeSecondTitle);
    save(QStringLiteral("BFSVOD.XLS"), writeColumnSvod);
    save(QStringLiteral("BORG.XLS"), writeOrganisationList);
    engine.quit();
    return written;
}

} // namespace demo
