#pragma once
// A fixed column of a TMultiLineGrid: a view laid over the grid's left edge
// that shows one column of the grid's model (with the record indicator) and
// follows the grid's rows, so that the column stays in place while the other
// columns scroll.
//
//   auto *frozen = new FixedColumnView(grid);    // a child of the grid
//   frozen->setColumn(model.columnOfField("KODSTR"));
//   frozen->setColumn(-1);                         // hides it

#include <QTableView>

class TMultiLineGrid;

class FixedColumnView : public QTableView {
    Q_OBJECT
public:
    explicit FixedColumnView(TMultiLineGrid *Grid);

    // Shows column Column of the grid's model fixed at the grid's left
    // edge; -1 hides the view.
    void setColumn(int Column);
    int column() const { return m_column; }
    // Lays the view over the grid again (after the grid's model, widths or
    // size changed); the grid's own signals call it.
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TMultiLineGrid *m_grid;
    int m_column = -1;
};
