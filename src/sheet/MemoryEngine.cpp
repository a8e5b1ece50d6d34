#include "sheet/MemoryEngine.h"

#include <QFileInfo>

namespace sheet {

struct MemoryEngine::State {
    std::map<QString, CellMap> files;
    std::vector<std::shared_ptr<MemoryBook>> books;
    bool printer = true;
    bool quit = false;
};

Value MemoryBook::value(int row, int column) const {
    const auto it = cells.find({row, column});
    return it == cells.end() ? Value() : it->second;
}

namespace {

QString absolute(const QString &path) {
    return QFileInfo(path).absoluteFilePath();
}

void requireCell(int row, int column) {
    if (row < 1 || column < 1)
        throw Error(
            QStringLiteral("Неверный адрес ячейки: строка %1, столбец %2").arg(row).arg(column));
}

void requireRange(int top, int left, int bottom, int right) {
    requireCell(top, left);
    if (bottom < top || right < left)
        throw Error(QStringLiteral("Неверный диапазон ячеек"));
}

std::pair<int, int> shifted(std::pair<int, int> cell, int insertedRow) {
    if (cell.first >= insertedRow)
        ++cell.first;
    return cell;
}

// Moves every cell at or below `row` one row down, then copies the cells of
// the moved row into `row`; of any map keyed by (row, column).
template <class CellsByPlace> void insertCopy(CellsByPlace &cells, int row) {
    CellsByPlace out;
    for (const auto &[cell, value] : cells) {
        const auto moved = shifted(cell, row);
        out[moved] = value;
        if (moved.first == row + 1)
            out[{row, moved.second}] = value;
    }
    cells = std::move(out);
}

void insertCopy(std::set<std::pair<int, int>> &cells, int row) {
    std::set<std::pair<int, int>> out;
    for (const auto &cell : cells) {
        const auto moved = shifted(cell, row);
        out.insert(moved);
        if (moved.first == row + 1)
            out.insert({row, moved.second});
    }
    cells = std::move(out);
}

class MemoryWorkbook : public Workbook {
public:
    MemoryWorkbook(std::shared_ptr<MemoryEngine::State> engine, std::shared_ptr<MemoryBook> book,
                   QString path)
        : m_engine(std::move(engine)), m_book(std::move(book)), m_path(std::move(path)) {}
    ~MemoryWorkbook() override { m_book->closed = true; }

    Value value(int row, int column) const override {
        requireCell(row, column);
        requireOpen();
        return m_book->value(row, column);
    }

    void setValue(int row, int column, const Value &value) override {
        requireCell(row, column);
        requireOpen();
        if (value.isEmpty())
            m_book->cells.erase({row, column});
        else if (value.isNumber() && m_book->textCells.count({row, column}))
            m_book->cells[{row, column}] = Value::text(value.toText());
        else
            m_book->cells[{row, column}] = value;
    }

    Table values(int top, int left, int rows, int columns) const override {
        requireCell(top, left);
        if (rows <= 0 || columns <= 0)
            return {};
        requireOpen();
        Table table(rows, std::vector<Value>(columns));
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c)
                table[r][c] = m_book->value(top + r, left + c);
        return table;
    }

    void setValues(int top, int left, const Table &cells) override {
        requireCell(top, left);
        if (cells.empty() || cells.front().empty())
            return;
        for (const auto &line : cells)
            if (line.size() != cells.front().size())
                throw Error(QStringLiteral("Записываемый блок ячеек не прямоугольный"));
        requireOpen();
        for (std::size_t r = 0; r < cells.size(); ++r)
            for (std::size_t c = 0; c < cells[r].size(); ++c)
                setValue(top + static_cast<int>(r), left + static_cast<int>(c), cells[r][c]);
    }

    void insertRowCopy(int row) override {
        requireCell(row, 1);
        requireOpen();
        insertCopy(m_book->cells, row);
        insertCopy(m_book->framedCells, row);
        insertCopy(m_book->textCells, row);
        insertCopy(m_book->figureCells, row);
        m_book->insertedRows.push_back(row);
    }

    void drawBorders(int top, int left, int bottom, int right) override {
        mark(m_book->framedCells, top, left, bottom, right);
    }

    void fitColumns(int top, int left, int bottom, int right) override {
        requireRange(top, left, bottom, right);
        requireOpen();
        m_book->fittedRanges.push_back({top, left, bottom, right});
    }

    void setTextLayout(int top, int left, int bottom, int right, TextLayout) override {
        requireRange(top, left, bottom, right);
        requireOpen();
    }

    void mergeCells(int top, int left, int bottom, int right) override {
        requireRange(top, left, bottom, right);
        requireOpen();
    }

    void formatAsText(int top, int left, int bottom, int right) override {
        mark(m_book->textCells, top, left, bottom, right);
    }

    void formatFigures(int top, int left, int bottom, int right, int decimals) override {
        requireRange(top, left, bottom, right);
        if (decimals < 0)
            throw Error(QStringLiteral("Неверное число знаков после запятой: %1").arg(decimals));
        requireOpen();
        for (int r = top; r <= bottom; ++r)
            for (int c = left; c <= right; ++c)
                m_book->figureCells[{r, c}] = decimals;
    }

    PageSetup pageSetup() const override {
        requireOpen();
        return m_book->page;
    }

    void setPageSetup(const PageSetup &setup) override {
        requireOpen();
        const PageSetup::Paper paper = m_book->page.paper;
        m_book->page = setup;
        if (setup.paper == PageSetup::Paper::Other)
            m_book->page.paper = paper;
    }

    void saveAs(const QString &path) override {
        requireOpen();
        m_path = absolute(path);
        m_book->savedAs.push_back(m_path);
        m_engine->files[m_path] = m_book->cells;
    }

    PrintedJob print(const QString &title) override {
        requireOpen();
        if (!m_engine->printer)
            throw Error(QStringLiteral("Принтер по умолчанию не установлен"));
        m_book->printed << title;
        return {static_cast<int>(m_book->printed.size()), QStringLiteral("memory"), false};
    }

    void exportPdf(const QString &path) override {
        requireOpen();
        m_book->pdfs.push_back(absolute(path));
    }

    bool showToUser() override {
        requireOpen();
        if (m_path.isEmpty())
            throw Error(QStringLiteral("Книга ещё не сохранена в файл"));
        saveAs(m_path);
        m_book->closed = true;
        m_book->shown = true;
        return true;
    }

    void close() override { m_book->closed = true; }

private:
    // Adds every cell of the range to the set.
    void mark(std::set<std::pair<int, int>> &cells, int top, int left, int bottom, int right) {
        requireRange(top, left, bottom, right);
        requireOpen();
        for (int r = top; r <= bottom; ++r)
            for (int c = left; c <= right; ++c)
                cells.insert({r, c});
    }

    void requireOpen() const {
        if (m_engine->quit)
            throw Error(QStringLiteral("Табличный процессор уже закрыт"));
        if (m_book->closed)
            throw Error(QStringLiteral("Книга уже закрыта"));
    }

    std::shared_ptr<MemoryEngine::State> m_engine;
    std::shared_ptr<MemoryBook> m_book;
    QString m_path;
};

} // namespace

MemoryEngine::MemoryEngine() : d(std::make_shared<State>()) {}

MemoryEngine::~MemoryEngine() {
    quit();
}

std::unique_ptr<Workbook> MemoryEngine::addWorkbook() {
    if (d->quit)
        throw Error(QStringLiteral("Табличный процессор уже закрыт"));
    auto book = std::make_shared<MemoryBook>();
    d->books.push_back(book);
    return std::make_unique<MemoryWorkbook>(d, book, QString());
}

std::unique_ptr<Workbook> MemoryEngine::open(const QString &path) {
    if (d->quit)
        throw Error(QStringLiteral("Табличный процессор уже закрыт"));
    const QString file = absolute(path);
    auto book = std::make_shared<MemoryBook>();
    book->openedFrom = file;
    const auto it = d->files.find(file);
    if (it != d->files.end())
        book->cells = it->second;
    else if (!QFileInfo(file).isFile())
        throw Error(QStringLiteral("Файл \"%1\" не найден").arg(path));
    d->books.push_back(book);
    return std::make_unique<MemoryWorkbook>(d, book, file);
}

void MemoryEngine::quit() {
    if (d->quit)
        return;
    d->quit = true;
    for (const auto &book : d->books)
        book->closed = true;
}

bool MemoryEngine::isRunning() const {
    return !d->quit;
}

void MemoryEngine::setFileContents(const QString &path, CellMap cells) {
    d->files[absolute(path)] = std::move(cells);
}

void MemoryEngine::setPrinterAvailable(bool available) {
    d->printer = available;
}

const std::vector<std::shared_ptr<MemoryBook>> &MemoryEngine::books() const {
    return d->books;
}

bool MemoryEngine::hasQuit() const {
    return d->quit;
}

} // namespace sheet
