#pragma once
// A fixed column of a TMultiLineGrid: a view laid over the grid's left edge
// that shows one column of the grid's model (with the record indicator) and
// follows the grid's rows, so that the column stays in place while the other
// columns scroll.
//
//   auto *frozen = new FixedColumnView(grid);    // a child of the grid
//   frozen->setColumn(model.columnOfField("KODSTR"));
//   frozen->setColumn(-1);                         // hides it
//
// Over the grid's column (the default), the cursor still reaches the column
// beneath. Apart, the column is taken out of the grid's cells (the grid hides
// it, TMultiLineGrid::setFixedField) and the grid's record indicator widens
// beneath the view: the cursor never reaches the column, no title or cell
// passes under it, and its title is wrapped over lines as the grid's are.

#include <QPointer>
#include <QTableView>

class TMultiLineGrid;

class FixedColumnView : public QTableView {
    Q_OBJECT
public:
    enum class Placement { Over, Apart };

    explicit FixedColumnView(TMultiLineGrid *Grid, Placement Where = Placement::Over);

    // Shows column Column of the model the grid shows now fixed at the
    // grid's left edge; -1 hides the view. The view hides itself while the
    // grid shows another model.
    void setColumn(int Column);
    int column() const { return m_column; }
    // Lays the view over the grid again (after the grid's model, widths,
    // size or values changed); the grid's own signals call it.
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void hideColumn();

    TMultiLineGrid *m_grid;
    Placement m_placement;
    QWidget *m_gridViewport; // the grid's rows area, watched for its size
    int m_column = -1;
    QPointer<QAbstractItemModel> m_model; // the model m_column belongs to
    int m_indicatorWidth;                 // the grid's own indicator width
};
