#pragma once
// An engine that keeps its workbooks in memory, for tests of the code that
// fills sheets: values only (no formats, no formulas), with a record of the
// rows inserted, the cells framed, the ranges fitted, the saves, prints and
// PDF exports. Files are never read or written; open() finds what the test
// put under that path, or what an earlier saveAs left there.

#include "sheet/Sheet.h"

#include <QStringList>

#include <array>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace sheet {

using CellMap = std::map<std::pair<int, int>, Value>; // (row, column) -> a non-empty value

// What one in-memory workbook holds and what was done to it.
struct MemoryBook {
    QString openedFrom; // the absolute path given to open(); empty for an added one
    CellMap cells;
    std::set<std::pair<int, int>> framedCells; // (row, column) with four borders
    std::set<std::pair<int, int>> textCells;   // (row, column) formatted as text
    std::map<std::pair<int, int>, int> figureCells; // (row, column) -> decimals of its figures
    PageSetup page;
    std::vector<int> insertedRows;                // arguments of insertRowCopy, in order
    std::vector<std::array<int, 4>> fittedRanges; // top, left, bottom, right
    QStringList savedAs;                          // absolute paths, in order
    QStringList pdfs;                             // absolute paths, in order
    QStringList printed;                          // the titles of the jobs, in order
    bool shown = false;
    bool closed = false;

    Value value(int row, int column) const;
};

class MemoryEngine : public Engine {
public:
    MemoryEngine();
    ~MemoryEngine() override;

    std::unique_ptr<Workbook> addWorkbook() override;
    std::unique_ptr<Workbook> open(const QString &path) override;
    void quit() override;
    bool isRunning() const override;

    // What open(path) finds. A path with no contents given opens as an empty
    // sheet when the file exists on disk, and fails when it does not.
    void setFileContents(const QString &path, CellMap cells);
    // Without a printer, print() fails as the real engine does. A printer is
    // there by default.
    void setPrinterAvailable(bool available);

    // Every workbook added or opened, in order; they stay after closing.
    const std::vector<std::shared_ptr<MemoryBook>> &books() const;
    bool hasQuit() const;

    struct State;

private:
    std::shared_ptr<State> d;
};

} // namespace sheet
