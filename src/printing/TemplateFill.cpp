#include "printing/TemplateFill.h"

#include "shell/FixedDialog.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

using store::TADODataSet;

namespace printing {

HeaderCell ParseHeaderCell(const QString &text) {
    HeaderCell header;
    if (text.isEmpty())
        return header;
    const int first = text.indexOf(u';');
    const int second = first < 0 ? -1 : text.indexOf(u';', first + 1);
    bool rowOk = false, columnsOk = false;
    if (second >= 0) {
        header.firstRow = text.left(first).trimmed().toInt(&rowOk);
        header.columns = text.mid(first + 1, second - first - 1).trimmed().toInt(&columnsOk);
    }
    if (!rowOk || !columnsOk)
        throw FillError(
            QStringLiteral("Заголовок шаблона в ячейке A1 \"%1\" не в виде \"строка;столбцы;\"")
                .arg(text));
    return header;
}

int DecimalsOf(const QString &text) {
    const QString number = text.trimmed();
    const int mark = static_cast<int>(std::max(number.lastIndexOf(u'.'), number.lastIndexOf(u',')));
    if (mark < 0)
        return 0;
    int digits = 0;
    while (mark + 1 + digits < number.size() && number[mark + 1 + digits].isDigit())
        ++digits;
    return digits;
}

std::vector<std::array<int, 4>> CellBlocks(const std::set<std::pair<int, int>> &cells) {
    std::map<int, std::vector<std::pair<int, int>>> runs; // row -> [first, last] columns
    for (const auto &[row, column] : cells) {
        auto &line = runs[row];
        if (!line.empty() && line.back().second == column - 1)
            line.back().second = column;
        else
            line.push_back({column, column});
    }
    std::vector<std::array<int, 4>> blocks;
    for (auto it = runs.begin(); it != runs.end();) {
        auto last = it;
        auto next = std::next(it);
        while (next != runs.end() && next->first == last->first + 1 && next->second == it->second) {
            last = next;
            ++next;
        }
        for (const auto &[left, right] : it->second)
            blocks.push_back({it->first, left, last->first, right});
        it = next;
    }
    return blocks;
}

void FormatFigures(sheet::Workbook &book, const std::map<std::pair<int, int>, int> &decimals) {
    std::map<int, std::set<std::pair<int, int>>> byDecimals;
    for (const auto &[cell, d] : decimals)
        byDecimals[d].insert(cell);
    for (const auto &[d, cells] : byDecimals)
        for (const auto &[top, left, bottom, right] : CellBlocks(cells))
            book.formatFigures(top, left, bottom, right, d);
}

} // namespace printing

using printing::FillError;

namespace {

QString catalogueTable(int YY) {
    return QStringLiteral("OTHE%1").arg(2000 + YY);
}

bool catalogueExists(int YY) {
    return store::fileExistsCaseInsensitive(paths::GetWedDir(), catalogueTable(YY) + ".DBF");
}

// The catalogue in a dataset of its own on the WED connection.
std::unique_ptr<TADODataSet> openCatalogue(int YY) {
    if (!DM().ADOConWED.Connected() && !DM().Connect(2, paths::GetWedDir()))
        throw FillError(QStringLiteral("Не удалось открыть папку \"%1\"").arg(paths::GetWedDir()));
    auto ds = std::make_unique<TADODataSet>();
    ds->setConnection(&DM().ADOConWED);
    ds->setCommandText(QStringLiteral("select * from ") + catalogueTable(YY));
    ds->Open();
    return ds;
}

// What read gives of the last catalogue record with KOD Code; empty when
// there is none or no catalogue.
QString fromLastRecordOf(int Code, int YY, const std::function<QString(TADODataSet &)> &read) {
    if (!catalogueExists(YY))
        return {};
    QString result;
    auto ds = openCatalogue(YY);
    for (ds->First(); !ds->Eof(); ds->Next())
        if (ds->FieldByName(QStringLiteral("KOD")).AsInteger() == Code)
            result = read(*ds);
    return result;
}

} // namespace

QString ResolveReportFile(int Mode, int Code, int YY) {
    if (Code == 0)
        return QStringLiteral("BFFF.XLS");
    if (Code == -1)
        return QStringLiteral("BFFFF.XLS");
    return fromLastRecordOf(Code, YY, [&](TADODataSet &ds) {
        if (Mode == 1)
            return ds.FieldByName(QStringLiteral("FAILTEXT")).AsString().trimmed();
        const QString fail = ds.FieldByName(QStringLiteral("FAIL")).AsString().toUpper();
        const int dot = fail.indexOf(QStringLiteral(".DBF"));
        return (dot < 0 ? QString() : fail.left(dot).trimmed()) + QString::number(2000 + YY) +
               QStringLiteral(".DBF");
    });
}

QString ReportName(int Code, int YY) {
    return fromLastRecordOf(Code, YY, [](TADODataSet &ds) {
        return ds.FieldIndex(QStringLiteral("NAME")) < 0
                   ? QString()
                   : ds.FieldByName(QStringLiteral("NAME")).AsString().trimmed();
    });
}

int GetReportGroup(int Code, int YY) {
    if (Code < 1 || !catalogueExists(YY))
        return 0;
    auto ds = openCatalogue(YY);
    if (Code > ds->RecordCount())
        throw FillError(QStringLiteral("В каталоге отчётов %1 нет отчёта с кодом %2")
                            .arg(catalogueTable(YY))
                            .arg(Code));
    ds->setRecNo(Code);
    return ds->FieldByName(QStringLiteral("GRUPPA")).AsInteger();
}

namespace {

// The sheet as the walk sees it: the values of the scanned area, kept here
// while rows are inserted and cells replaced, and written to the workbook
// in one block at the end. Row insertions and frames are replayed on the
// workbook then; the result is the same as doing each on the sheet at once.
class SheetModel {
public:
    SheetModel(sheet::Workbook &book, int rows, int columns) : m_book(book), m_columns(columns) {
        m_cells = rows > 0 ? book.values(1, 1, rows, columns) : sheet::Table{};
        m_written.assign(m_cells.size(), false);
    }

    sheet::Value value(int row, int column) const {
        if (row > static_cast<int>(m_cells.size()))
            return {}; // the walk reads no row below the area it read
        return m_cells[row - 1][column - 1];
    }
    void set(int row, int column, const sheet::Value &v) {
        grow(row);
        m_cells[row - 1][column - 1] = v;
        m_written[row - 1] = true;
    }
    void frame(int row, int column) { m_framed.insert({row, column}); }
    // The cell shows a figure of a field with this many decimals.
    void figure(int row, int column, int decimals) { m_figures[{row, column}] = decimals; }

    // The row copied and the copy inserted at it.
    void insertRowCopy(int row) {
        grow(row);
        m_cells.insert(m_cells.begin() + (row - 1), m_cells[row - 1]);
        m_written.insert(m_written.begin() + (row - 1), true);
        std::set<std::pair<int, int>> framed;
        for (auto [r, c] : m_framed) {
            if (r >= row)
                framed.insert({r + 1, c});
            if (r == row)
                framed.insert({r, c});
            if (r < row)
                framed.insert({r, c});
        }
        m_framed = std::move(framed);
        std::map<std::pair<int, int>, int> figures;
        for (const auto &[cell, decimals] : m_figures) {
            figures[{cell.first >= row ? cell.first + 1 : cell.first, cell.second}] = decimals;
            if (cell.first == row)
                figures[cell] = decimals;
        }
        m_figures = std::move(figures);
        m_inserts.push_back(row);
    }

    // Writes everything to the workbook: the inserted rows (runs of rows
    // inserted one below the other at once), the values of rows 1..last and
    // of written rows below, the frames and the figures' formats.
    void flush(int last) {
        for (std::size_t i = 0; i < m_inserts.size();) {
            std::size_t j = i + 1;
            while (j < m_inserts.size() && m_inserts[j] == m_inserts[j - 1] + 1)
                ++j;
            m_book.insertRowCopies(m_inserts[i], static_cast<int>(j - i));
            i = j;
        }
        const int rows = std::min<int>(last, static_cast<int>(m_cells.size()));
        if (rows > 0)
            m_book.setValues(1, 1, sheet::Table(m_cells.begin(), m_cells.begin() + rows));
        for (int r = rows + 1; r <= static_cast<int>(m_cells.size()); ++r)
            if (m_written[r - 1])
                m_book.setValues(r, 1, sheet::Table{m_cells[r - 1]});
        for (const auto &[top, left, bottom, right] : printing::CellBlocks(m_framed))
            m_book.drawBorders(top, left, bottom, right);
        printing::FormatFigures(m_book, m_figures);
    }

private:
    void grow(int row) {
        while (static_cast<int>(m_cells.size()) < row) {
            m_cells.emplace_back(m_columns);
            m_written.push_back(false);
        }
    }

    sheet::Workbook &m_book;
    int m_columns;
    sheet::Table m_cells;
    std::vector<bool> m_written;
    std::set<std::pair<int, int>> m_framed;
    std::map<std::pair<int, int>, int> m_figures;
    std::vector<int> m_inserts;
};

// An integer written in the text, or the fallback.
int intOr(const QString &text, int fallback) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? v : fallback;
}

// The digits at the start of text from position at.
QString digitsAt(const QString &text, int at) {
    int end = at;
    while (end < text.size() && text[end].isDigit() && text[end].unicode() < 128)
        ++end;
    return text.mid(at, end - at);
}

QString fieldText(TADODataSet &ds, int record, const QString &field) {
    if (record < 1 || record > ds.RecordCount())
        throw FillError(
            QStringLiteral("В таблице %1 нет записи %2").arg(ds.tableName()).arg(record));
    ds.setRecNo(record);
    return ds.FieldByName(field).AsString();
}

// A number written as plain digits, with a decimal mark or not.
bool isFigure(const QString &text) {
    static const QRegularExpression figure(QStringLiteral("^\\s*[+-]?[0-9]+([.,][0-9]+)?\\s*$"));
    return figure.match(text).hasMatch();
}

// The decimals that a figure of the field is printed with: a numeric
// field's own, or as many as the text of a character field has.
int fieldDecimals(TADODataSet &ds, const QString &field, const QString &text) {
    const store::FieldDef &def = ds.FieldByName(field).Def();
    if (def.type == 'N' || def.type == 'F')
        return def.decimals;
    return printing::DecimalsOf(text);
}

class Walk {
public:
    Walk(TADODataSet &ds, sheet::Workbook &book, const printing::FillContext &context)
        : m_ds(ds), m_book(book), m_context(context) {}
    ~Walk() {
        // The tables the cache opened go; the printed table stays.
        for (auto &[code, table] : m_cache)
            if (table && table.get() != &m_ds)
                table->Close();
    }

    void run() {
        m_group = GetReportGroup(m_context.PageKind, m_context.YY);
        const printing::HeaderCell header = printing::ParseHeaderCell(m_book.value(1, 1).toText());
        m_firstRow = header.firstRow;
        m_columns = header.columns;
        m_book.setValue(1, 1, sheet::Value());
        m_records = m_ds.RecordCount();
        m_last = m_firstRow + m_records - 1;
        m_repeat = m_group != 1 && m_group != 47 && m_group != 51 && m_records > 1;
        if (m_last < 1 || m_columns < 1)
            return;
        SheetModel model(m_book, m_last, m_columns);
        model.set(1, 1, sheet::Value());
        for (int row = 1; row <= m_last; ++row) {
            if (m_repeat && row < m_last && model.value(row, 1).toText() == u"#CCC")
                model.insertRowCopy(row);
            for (int column = 1; column <= m_columns; ++column) {
                const sheet::Value original = model.value(row, column);
                const QString text = original.toText();
                m_decimals = -1;
                const QString result = cell(model, row, column, text);
                if (result == text)
                    continue;
                const sheet::Value value = sheet::Value::fromInput(result);
                model.set(row, column, value);
                // A figure of a field, alone in its cell, shows the digits
                // the table holds (more than a number keeps stay text).
                if (m_decimals >= 0 && (value.isNumber() || isFigure(result)))
                    model.figure(row, column, m_decimals);
            }
            model.set(1, 1, sheet::Value());
        }
        model.flush(m_last);
    }

private:
    QString cell(SheetModel &model, int row, int column, QString s) {
        QString t = s;
        const bool above = row < m_last;
        // 1. A field of a record of the printed table.
        if (int at = s.indexOf(QStringLiteral("#A")); at >= 0) {
            const int n = s.indexOf(u'N', at + 2);
            const int record = intOr(n < 0 ? s.mid(at + 2) : s.mid(at + 2, n - at - 2), 1);
            const QString digits = n < 0 ? QString() : digitsAt(s, n + 1);
            const QString field = u'N' + digits;
            const QString text = fieldText(m_ds, record, field);
            m_decimals = fieldDecimals(m_ds, field, text);
            const QString value = text + u' ';
            t = s.left(at) + value + (n < 0 ? QString() : s.mid(n + 3));
            if (m_repeat && above) {
                model.set(
                    row + 1, column,
                    sheet::Value::text(QStringLiteral("#A%1N%2").arg(record + 1).arg(digits)));
                model.frame(row + 1, column);
            }
            s = t;
        }
        // 2. A field of another report of the period.
        if (int at = s.indexOf(QStringLiteral("#F")); at >= 0) {
            int end = s.indexOf(u' ', at);
            const QString placeholder = end < 0 ? s.mid(at) : s.mid(at, end - at);
            const int a = placeholder.indexOf(u'A', 2);
            const int n = a < 0 ? -1 : placeholder.indexOf(u'N', a + 1);
            const int code =
                intOr(a < 0 ? placeholder.mid(2) : placeholder.mid(2, a - 2), m_context.PageKind);
            const int record =
                a < 0
                    ? 1
                    : intOr(n < 0 ? placeholder.mid(a + 1) : placeholder.mid(a + 1, n - a - 1), 1);
            const QString digits = n < 0 ? QString() : digitsAt(placeholder, n + 1);
            QString value = QStringLiteral(" ");
            if (TADODataSet *table = otherTable(code)) {
                const QString field = u'N' + digits;
                const QString text = fieldText(*table, record, field);
                m_decimals = fieldDecimals(*table, field, text);
                value = text + u' ';
            }
            t = s.left(at) + value + (end < 0 ? QString() : s.mid(end + 1));
            s = t;
        }
        // 3. The name of a record, or the title.
        if (s == u"#ORG") {
            if (m_repeat && above)
                t = fieldText(m_ds, row - m_firstRow + 1, QStringLiteral("NAME"));
            else if (m_group != 1 && m_records > 1 && row == m_last)
                t = fieldText(m_ds, m_records, QStringLiteral("NAME"));
            else
                t = m_context.Title;
            s = t;
        }
        // 4. The row code of a record.
        if (s == u"#CCC") {
            if (m_group != 1 && m_records > 1)
                t = fieldText(m_ds, row - m_firstRow + 1, QStringLiteral("KODSTR"));
            else
                t = m_ds.FieldByName(QStringLiteral("KODSTR")).AsString();
            s = t;
        }
        // 5, 6. The years of the period.
        for (const auto &[key, year] : {std::pair{QStringLiteral("#YR1"), 2000 + m_context.YY - 1},
                                        std::pair{QStringLiteral("#YR2"), 2000 + m_context.YY}}) {
            if (int at = s.indexOf(key); at >= 0) {
                t = s.left(at) + QString::number(year) + s.mid(at + key.size());
                s = t;
            }
        }
        // 7, 8. The second year plus or minus d.
        for (const auto &[key, sign] :
             {std::pair{QStringLiteral("#YP"), 1}, std::pair{QStringLiteral("#YM"), -1}}) {
            if (int at = s.indexOf(key); at >= 0) {
                const QString digits = digitsAt(s, at + 3);
                const int d = intOr(digits, 0);
                const int after = at + 3 + static_cast<int>(digits.size()) + 1;
                t = s.left(at) + QString::number(2000 + m_context.YY + sign * d) + u' ' +
                    s.mid(after);
                s = t;
            }
        }
        // 9. The own requisites.
        static const QStringList requisites = {QStringLiteral("#RYKORG"), QStringLiteral("#RYKFIN"),
                                               QStringLiteral("#TEL"), QStringLiteral("#OKPO"),
                                               QStringLiteral("#PADRES")};
        if (std::any_of(requisites.begin(), requisites.end(),
                        [&](const QString &key) { return s.contains(key); })) {
            if (!store::fileExistsCaseInsensitive(paths::GetProgramDir(),
                                                  QStringLiteral("REGIM.DBF"))) {
                t.clear(); // s keeps its text for the rules below
            } else {
                const int hash = s.indexOf(u'#');
                const int blank = s.indexOf(u' ', hash);
                const QString key = blank < 0 ? s.mid(hash + 1) : s.mid(hash + 1, blank - hash - 1);
                t = s.left(hash) + requisite(key == u"PADRES" ? QStringLiteral("CENA2") : key);
                s = t;
            }
        }
        // 10. The title after a text.
        if (int at = s.indexOf(QStringLiteral("#TORG")); at >= 0) {
            t = s.left(at) + m_context.Title;
            s = t;
        }
        // 11. The working date alone, in the program's Russian short form
        // (14.11.2016) whatever the system's locale.
        if (s.contains(QStringLiteral("#DATE"))) {
            t = ProgramLocale().toString(m_context.WorkDate, QLocale::ShortFormat);
            s = t;
        }
        // 12. School counts: N1 of two records summed.
        for (const auto &[key, first] :
             {std::pair{QStringLiteral("#SH_TOT"), 1}, std::pair{QStringLiteral("#SH_NOSH"), 3},
              std::pair{QStringLiteral("#SH_OOSH"), 5},
              std::pair{QStringLiteral("#SH_SPOSH"), 7}}) {
            if (s.contains(key)) {
                QLocale locale;
                locale.setNumberOptions(QLocale::OmitGroupSeparator);
                t = locale.toString(countOf(first) + countOf(first + 1), 'g', 15);
                s = t;
            }
        }
        // 13. A zero above the last row is not printed, except in group 1.
        if (t == u"0" && m_group != 1 && above)
            t.clear();
        return t;
    }

    double countOf(int record) {
        const QString text = fieldText(m_ds, record, QStringLiteral("N1")).trimmed();
        if (text.isEmpty())
            return 0;
        bool ok = false;
        const double v = QString(text).replace(u',', u'.').toDouble(&ok);
        if (!ok)
            throw FillError(
                QStringLiteral("Число школ в записи %1 не число: \"%2\"").arg(record).arg(text));
        return v;
    }

    QString requisite(const QString &field) {
        if (!DM().ADOConMain.Connected() && !DM().Connect(1, paths::GetProgramDir()))
            throw FillError(
                QStringLiteral("Не удалось открыть папку \"%1\"").arg(paths::GetProgramDir()));
        TADODataSet ds;
        ds.setConnection(&DM().ADOConMain);
        ds.setCommandText(QStringLiteral("select * from REGIM"));
        ds.Open();
        ds.First();
        const QString value = ds.IsEmpty() ? QString() : ds.FieldByName(field).AsString();
        ds.Close();
        return value;
    }

    // The table of another report of the period, opened once per code; the
    // printed table under its own code. Null when its file is not there.
    TADODataSet *otherTable(int code) {
        if (code == m_context.PageKind)
            return &m_ds;
        if (auto it = m_cache.find(code); it != m_cache.end())
            return it->second.get();
        const QString file = ResolveReportFile(2, code, m_context.YY);
        store::TADOConnection *connection = m_ds.connection();
        if (!connection || file.isEmpty() ||
            !store::fileExistsCaseInsensitive(connection->folder(), file))
            return nullptr; // looked for again at the next placeholder
        auto table = std::make_unique<TADODataSet>();
        table->setConnection(connection);
        table->setCommandText(QStringLiteral("select * from ") + file.left(file.size() - 4));
        table->Open();
        return (m_cache[code] = std::move(table)).get();
    }

    TADODataSet &m_ds;
    sheet::Workbook &m_book;
    const printing::FillContext &m_context;
    std::map<int, std::unique_ptr<TADODataSet>> m_cache;
    int m_group = 0;
    int m_firstRow = 1;
    int m_columns = 1;
    int m_records = 0;
    int m_last = 0;
    bool m_repeat = false;
    int m_decimals = -1; // of the last field the cell read, -1 when it read none
};

} // namespace

void FillTemplate(TADODataSet &DataSet, sheet::Workbook &Book,
                  const printing::FillContext &Context) {
    Walk(DataSet, Book, Context).run();
}
