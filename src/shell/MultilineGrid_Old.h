#pragma once
// The data grid of every list window: a table view whose title row has a
// settable height (TitleHeight) and whose column captions are wrapped over
// several lines at word boundaries.
//
//   TMultiLineGrid grid;
//   DataSetModel model;
//   model.setDataSet(&ds);
//   grid.setDataSetModel(&model);
//   grid.SetTitleHeight(34);            // room for two title lines

#include <QHash>
#include <QHeaderView>
#include <QPoint>
#include <QStringList>
#include <QTableView>
#include <QVector>

#include <functional>

class DataSetModel;
class QFontMetrics;

// Splits a caption into words (each word keeps its closing delimiter) and
// fills lines no wider than Width pixels as measured by Canvas. Every line but
// the last loses its leading and trailing blanks and control characters; a
// word wider than Width stands on a line of its own. An empty caption gives
// one empty line.
QStringList WrapCaptionLines(const QFontMetrics &Canvas, int Width, const QString &Caption);

// One line of a title as it is drawn: its text and the top-left corner of the
// text (the line's top, not its baseline).
struct TitleLine {
    QString text;
    QPoint topLeft;
};

// Places the lines of a title in a title cell: line k at cell top + 2 +
// k * (line height + 2); x 2 pixels from the left for left-justified titles,
// 3 pixels from the right for right-justified ones, centred otherwise. The
// line height is the font's text height. Lines below the cell are kept (the
// painter clips them).
QVector<TitleLine> LayoutTitleLines(const QFontMetrics &Canvas, const QRect &Cell,
                                    const QStringList &Lines, Qt::Alignment Alignment);

// The horizontal header of TMultiLineGrid: draws each caption wrapped to the
// section's width less 4 pixels. Wrapped captions are cached per caption and
// width, so a grid of hundreds of columns repaints fast.
class TMultiLineHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TMultiLineHeader(QWidget *parent = nullptr);

    int titleHeight() const { return m_titleHeight; }
    void setTitleHeight(int height);

    QSize sizeHint() const override;

    // The caption wrapped for a section of this width, from the cache.
    QStringList wrappedCaption(const QString &caption, int sectionWidth) const;
    // The lines of a section's title as they are drawn now, in the
    // viewport's coordinates.
    QVector<TitleLine> titleLines(int logicalIndex) const;
    int cachedCaptionCount() const { return static_cast<int>(m_cache.size()); }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    void changeEvent(QEvent *event) override;

private:
    QVector<TitleLine> layoutTitle(const QRect &rect, int logicalIndex) const;

    int m_titleHeight = 17;
    mutable QHash<QPair<QString, int>, QStringList> m_cache;
};

class TMultiLineGrid : public QTableView {
    Q_OBJECT
    Q_PROPERTY(int TitleHeight READ TitleHeight WRITE SetTitleHeight NOTIFY titleHeightChanged)
public:
    explicit TMultiLineGrid(QWidget *Owner = nullptr);

    int TitleHeight() const { return m_titleHeight; }
    // A new value is stored and the layout is redone; an equal one changes nothing.
    void SetTitleHeight(int Value);
    // Redoes the layout: the title row takes TitleHeight when titles are shown.
    void LayoutChanged();

    TMultiLineHeader *titleHeader() const { return m_header; }
    bool showTitles() const;
    void setShowTitles(bool on);
    // The record indicator at the left of each row (the vertical header).
    bool showIndicator() const;
    void setShowIndicator(bool on);

    // Shows the model's dataset: columns take the model's visibility and
    // widths, and the grid's current row follows the dataset's current record
    // and moves it.
    void setDataSetModel(DataSetModel *model);
    DataSetModel *dataSetModel() const { return m_dataModel; }
    // Applies the model's column visibility and widths again.
    void applyColumns();
    // The width a column takes when none was set: the field's display width in
    // characters times the width of "0" in the grid's font plus 4, and at least
    // the title's width in the title font plus 4.
    int DefaultColumnWidth(int column) const;
    // The width the grid gives a column: the width the model sets (or the
    // default one), widened so that every value of the column shows whole.
    int ColumnWidthFor(int column) const;
    // The width a value of the column needs to show whole in a cell.
    int ValueWidth(int column, int firstRow, int lastRow) const;

    // A field that is shown outside the grid's cells (fixed at the left by
    // the window): its column is hidden in the grid, so the cursor never
    // reaches it. Empty: none.
    void setFixedField(const QString &field);
    QString fixedField() const { return m_fixedField; }

    // Asked before the cursor leaves the cell `from`, by a key or by a click
    // elsewhere in the grid; false keeps it there, and its highlight too.
    std::function<bool(const QModelIndex &from)> canLeaveCell;

    using QTableView::edit;

    // Called before the grid handles a key; returning true swallows the key.
    std::function<bool(QKeyEvent *)> onKeyDown;

signals:
    void titleHeightChanged(int height);
    // The current column changed from oldColumn (the column being left).
    void colExit(int oldColumn);
    void dblClick();

protected:
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void changeEvent(QEvent *event) override;

private:
    void followCurrentRecord(int row);
    // Whether the click would leave the current cell, which may not be left.
    bool clickRefused(const QMouseEvent *event);
    void widenForValues(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    TMultiLineHeader *m_header;
    QString m_fixedField;
    int m_titleHeight = 17;
    DataSetModel *m_dataModel = nullptr;
    bool m_following = false;
    bool m_clickRefused = false; // the button went down where the cursor may not go
};
