#include "printing/SheetFill.h"

#include "printing/TemplateFill.h"
#include "shell/FixedDialog.h"

#include <QLocale>

#include <algorithm>
#include <map>
#include <set>
#include <utility>

using sheet::Table;
using sheet::Value;

void FillColumnSvodSheet(store::TADODataSet &DataSet, sheet::Workbook &Book, int Count,
                         const QString &Title, const QStringList &OrgNames, int Decimals) {
    int present = 0;
    while (present < Count && DataSet.FieldIndex(QStringLiteral("NNN%1").arg(present + 1)) >= 0)
        ++present;
    if (present < Count)
        throw printing::FillError(
            QStringLiteral("Столбцов организаций в сводной по столбцу: %1, а печатать нужно %2.")
                .arg(present)
                .arg(Count));
    const int p = static_cast<int>(Title.indexOf(QStringLiteral(" ("))) + 1; // 0: none
    Book.setValues(1, 2,
                   Table{{Value::fromInput(Title.left(p))},
                         {Value::fromInput(p == 0 ? Title : Title.mid(p - 1))}});
    const int columns = Count + 3;
    DataSet.First();
    const int n = DataSet.RecordCount();
    Table rows;
    rows.reserve(n + 2);
    std::vector<Value> heading = {Value::text(QStringLiteral("Наименование показателя")),
                                  Value::text(QStringLiteral("№ строки")),
                                  Value::text(QStringLiteral("Всего"))};
    for (int j = 1; j <= Count; ++j)
        heading.push_back(Value::fromInput(OrgNames.value(j - 1)));
    rows.push_back(heading);
    std::vector<Value> numbers;
    for (int c = 1; c <= columns; ++c)
        numbers.push_back(Value::number(c));
    rows.push_back(numbers);
    // Every figure is of the one column consolidated, and shows the decimals
    // of its field: the sums come without their trailing zeros ("12.5" of
    // "12.50"). Where the field's are not known, all show as many as the
    // most precise of them.
    std::set<std::pair<int, int>> figureCells;
    int decimals = std::max(Decimals, 0);
    for (int k = 0; k < n; ++k) {
        std::vector<Value> line;
        line.reserve(columns);
        line.push_back(Value::fromInput(DataSet.FieldByName(QStringLiteral("NAME")).AsString()));
        // The row code as the table holds it, a text like "01" and "10" alike.
        line.push_back(Value::text(DataSet.FieldByName(QStringLiteral("KODSTR")).AsString()));
        for (int j = 0; j <= Count; ++j) {
            const QString text =
                DataSet
                    .FieldByName(j == 0 ? QStringLiteral("TOTAL") : QStringLiteral("NNN%1").arg(j))
                    .AsString();
            line.push_back(j > 0 && text == u"0" ? Value() : Value::fromInput(text));
            if (line.back().isNumber()) {
                figureCells.insert({6 + k, 3 + j});
                if (Decimals < 0)
                    decimals = std::max(decimals, printing::DecimalsOf(text));
            }
        }
        rows.push_back(std::move(line));
        DataSet.Next();
    }
    Book.setValues(4, 1, rows);
    Book.drawBorders(4, 1, n + 5, columns);
    std::map<std::pair<int, int>, int> figures; // every digit shown
    for (const auto &cell : figureCells)
        figures[cell] = decimals;
    printing::FormatFigures(Book, figures);
    Book.fitColumns(1, 1, n + 10, 131); // A to EA
}

void FillOrganisationSheet(sheet::Workbook &Book, store::TADODataSet &DataSet, const QDate &Today) {
    const printing::HeaderCell header = printing::ParseHeaderCell(Book.value(1, 1).toText());
    Book.setValue(1, 1, Value());
    Book.setText(3, 1,
                 QStringLiteral("на ") + ProgramLocale().toString(Today, QLocale::ShortFormat));
    DataSet.First();
    const int n = DataSet.RecordCount();
    if (n == 0)
        return;
    static const char *const fields[] = {"KOD",    "NAME",    "INN_O", "RYKORG", "RYKFIN",
                                         "OKPO_K", "OKONX_K", "ADRES", "TELEF"};
    Table rows;
    rows.reserve(n);
    std::map<std::pair<int, int>, int> figures; // codes and numbers, every digit shown
    for (int k = 0; k < n; ++k) {
        std::vector<Value> line;
        for (const char *field : fields) {
            const QString text = DataSet.FieldByName(QString::fromLatin1(field)).AsString();
            line.push_back(Value::fromInput(text));
            if (line.back().isNumber())
                figures[{header.firstRow + k, static_cast<int>(line.size())}] =
                    printing::DecimalsOf(text);
        }
        rows.push_back(std::move(line));
        DataSet.Next();
    }
    Book.setValues(header.firstRow, 1, rows);
    Book.drawBorders(header.firstRow, 1, header.firstRow + n - 1, 9);
    printing::FormatFigures(Book, figures);
}
