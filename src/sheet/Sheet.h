#pragma once
// The spreadsheet operations that printing needs: an engine that opens and
// adds workbooks, and a workbook whose first sheet is read and written cell by
// cell or block by block, with rows and columns counted from 1 as in Excel.
//
// Implementations: OfficeEngine (LibreOffice Calc, OfficeEngine.h) and
// MemoryEngine (values only, for tests of the printing logic, MemoryEngine.h).
// Every failure is reported by throwing sheet::Error.

#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace sheet {

class Error : public std::runtime_error {
public:
    explicit Error(const QString &message);
    QString message() const;
};

// The engine did not answer a call in time and was ended: the call and every
// later call of that engine fail with this.
class TimeoutError : public Error {
public:
    using Error::Error;
};

// The engine's process ended by itself (it crashed or was killed) before or
// during the call: the call and every later call of that engine fail with
// this.
class EndedError : public Error {
public:
    using Error::Error;
};

// The value of one cell: empty, a number or a text. An empty text is an
// empty cell.
class Value {
public:
    enum class Kind { Empty, Number, Text };

    Value() = default;
    static Value number(double number);
    // The text as it is, also when it looks like a number ("0123" stays text).
    static Value text(const QString &text);
    // What Excel does when a text is assigned to a cell: a plain decimal
    // number (optional sign, digits, "." or "," and digits, an optional
    // exponent as toText writes it, blanks around it) becomes a number;
    // anything else stays text. Numbers with a leading zero
    // ("012") stay text, so that codes keep their digits, and so do numbers
    // of more than 15 significant digits, which a number would round.
    static Value fromInput(const QString &text);

    Kind kind() const { return m_kind; }
    bool isEmpty() const { return m_kind == Kind::Empty; }
    bool isNumber() const { return m_kind == Kind::Number; }
    bool isText() const { return m_kind == Kind::Text; }
    // The number; 0 for an empty cell or a text.
    double toNumber() const { return m_number; }
    // The cell as text: empty for an empty cell, a number in its shortest
    // form with up to 15 significant digits and "." as the decimal separator,
    // a text as it is.
    QString toText() const;

    friend bool operator==(const Value &a, const Value &b);

private:
    Kind m_kind = Kind::Empty;
    double m_number = 0;
    QString m_text;
};

// A rectangular block of cells, row by row.
using Table = std::vector<std::vector<Value>>;

// How the first sheet of a workbook goes on paper.
struct PageSetup {
    enum class Paper { A4, A3, Other };
    // Other only reads: setting it keeps the paper the sheet has.
    Paper paper = Paper::A4;
    bool landscape = false;
    // The sheet at its own size over as many pages as it needs; or scaled
    // down as much as it takes to have every column on one page across (the
    // rows take as many pages down as they need); or to have all of it on
    // one page.
    enum class Fit { None, Width, Page };
    Fit fit = Fit::None;
    // The office's running header and footer (the sheet's name above,
    // "Page N" below), which a new workbook has.
    bool headerAndFooter = false;
    // The rows printed again at the top of every page (the column headings
    // of a long table), first and last counted from 1; 0 and 0 for none.
    int titleFirstRow = 0;
    int titleLastRow = 0;

    bool operator==(const PageSetup &) const = default;
};

// A print job as the print queue took it.
struct PrintedJob {
    int id = 0;
    QString printer;             // the queue that took it
    bool printerStopped = false; // that queue is stopped: the job waits in it
};

// One open workbook. Cell operations work on its first sheet. Closing is
// implicit in the destructor, which never throws.
class Workbook {
public:
    Workbook() = default;
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;
    virtual ~Workbook() = default;

    virtual Value value(int row, int column) const = 0;
    virtual void setValue(int row, int column, const Value &value) = 0;

    QString text(int row, int column) const { return value(row, column).toText(); }
    void setText(int row, int column, const QString &text) {
        setValue(row, column, Value::text(text));
    }
    void setNumber(int row, int column, double number) {
        setValue(row, column, Value::number(number));
    }
    // Excel's "assign a text": a number stays a number (Value::fromInput).
    void assign(int row, int column, const QString &text) {
        setValue(row, column, Value::fromInput(text));
    }

    // Reads or writes a block in one call (rows x columns from top, left);
    // use these where many cells are involved. The written table must be
    // rectangular.
    virtual Table values(int top, int left, int rows, int columns) const = 0;
    virtual void setValues(int top, int left, const Table &cells) = 0;

    // Copies the whole row and inserts the copy at that row: afterwards the
    // row stands both at `row` and at `row + 1`, with its contents, formats,
    // borders, merged cells and height; rows below move down and formulas
    // follow them.
    virtual void insertRowCopy(int row) = 0;
    // The same, count times at the same row: the row then stands count + 1
    // times from `row` down.
    virtual void insertRowCopies(int row, int count) {
        for (int i = 0; i < count; ++i)
            insertRowCopy(row);
    }

    // Draws all four edges of every cell of the range as thin lines.
    virtual void drawBorders(int top, int left, int bottom, int right) = 0;
    void drawBorders(int row, int column) { drawBorders(row, column, row, column); }

    // Fits the widths of the columns left..right to the contents of rows
    // top..bottom.
    virtual void fitColumns(int top, int left, int bottom, int right) = 0;

    // How text stands in the cells: on one line, wrapped over as many lines
    // as the column's width needs, or turned to read upwards (a narrow
    // column under a long heading), shrunk where the row is a little too low
    // for it. Rows keep a height that shows it.
    enum class TextLayout { Line, Wrapped, Upwards };
    virtual void setTextLayout(int top, int left, int bottom, int right, TextLayout layout) = 0;

    // Merges the cells into one, which shows the text of the top left one;
    // fitting columns passes over merged cells.
    virtual void mergeCells(int top, int left, int bottom, int right) = 0;

    // Formats the cells for figures with this many decimals: a number shows
    // every digit it has up to them, never rounded to the column's width nor
    // written with an exponent, and is shrunk where the column is too narrow
    // for it, so that the column and the page keep their width.
    virtual void formatFigures(int top, int left, int bottom, int right, int decimals) = 0;

    // Formats the cells as text. A number written into such a cell
    // afterwards is kept as its text (toText), as Excel keeps what is
    // assigned to a cell formatted as text: a row code "10" stays "10".
    virtual void formatAsText(int top, int left, int bottom, int right) = 0;

    // The paper, orientation, fitting, header and footer and title rows of
    // the first sheet, and setting them (the page style's for the other
    // sheets that share it too; the title rows are the first sheet's own);
    // its other page settings (margins) stay. Saved with the workbook.
    virtual PageSetup pageSetup() const = 0;
    virtual void setPageSetup(const PageSetup &setup) = 0;

    // Saves under the path in the old Excel format (.XLS), replacing a file
    // that is there; the workbook then belongs to that path.
    virtual void saveAs(const QString &path) = 0;
    // Prints the first sheet on the default printer as one job under the
    // title (the title of the job in the queue and of the document printed)
    // and returns once the job is handed over. Without a default printer, or
    // when the printer refuses the job, it fails.
    virtual PrintedJob print(const QString &title) = 0;
    // Writes the first sheet as a PDF file.
    virtual void exportPdf(const QString &path) = 0;
    // Saves the workbook to its own file, closes it here and opens that file
    // in the user's spreadsheet program. False when the user has no program
    // that opens it: the file is saved and closed all the same, for the user
    // to open some other way. A workbook that has no file yet fails: saveAs
    // first.
    virtual bool showToUser() = 0;
    // Closes the workbook without saving. Closing twice does nothing; any
    // other call on a closed workbook fails.
    virtual void close() = 0;
};

// A running spreadsheet engine that shows no dialogs and runs no macros.
// Quitting is implicit in the destructor, which never throws.
class Engine {
public:
    Engine() = default;
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;
    virtual ~Engine() = default;

    // A new empty workbook.
    virtual std::unique_ptr<Workbook> addWorkbook() = 0;
    // Opens the file (.XLS and the other formats the engine reads).
    virtual std::unique_ptr<Workbook> open(const QString &path) = 0;
    // Closes every workbook still open and ends the engine. Workbooks used
    // afterwards fail. Quitting twice does nothing.
    virtual void quit() = 0;
    // False once the engine has quit or its process has ended or been ended.
    virtual bool isRunning() const = 0;
};

using EngineFactory = std::function<std::unique_ptr<Engine>()>;

// Starts the engine that printing uses: LibreOffice unless a factory has
// been installed.
std::unique_ptr<Engine> startEngine();
// Installs the factory that startEngine uses (tests install one that makes
// a MemoryEngine); an empty function restores LibreOffice. Returns the
// factory installed before.
EngineFactory setEngineFactory(EngineFactory factory);

} // namespace sheet
