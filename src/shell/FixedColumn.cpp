#include "shell/FixedColumn.h"

#include "shell/DataSetModel.h"
#include "shell/MultilineGrid_Old.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>

FixedColumnView::FixedColumnView(TMultiLineGrid *Grid, Placement Where)
    : QTableView(Grid), m_grid(Grid), m_placement(Where), m_gridViewport(Grid->viewport()),
      m_indicatorWidth(Grid->verticalHeader()->minimumWidth()) {
    setObjectName(QStringLiteral("FrozenColumn"));
    if (m_placement == Placement::Apart)
        setHorizontalHeader(new TMultiLineHeader(this));
    // No frame of its own: its title and rows start where the grid's do.
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::NoSelection);
    setWordWrap(false);
    hide();
    // Drawn in the grid's own font, the font the columns' widths are
    // measured in (a style sheet above the grid keeps fonts from passing on).
    setFont(Grid->font());
    horizontalHeader()->setFont(Grid->font());
    // The rows scroll together, whichever of the two is scrolled.
    connect(Grid->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, Grid->verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(Grid->horizontalHeader(), &QHeaderView::sectionResized, this,
            &FixedColumnView::refresh);
    connect(Grid, &TMultiLineGrid::titleHeightChanged, this, &FixedColumnView::refresh);
    Grid->installEventFilter(this);
    // The grid's rows area changes height without the grid changing size
    // when its horizontal scroll bar comes or goes.
    m_gridViewport->installEventFilter(this);
}

void FixedColumnView::setColumn(int Column) {
    m_column = Column;
    m_model = m_grid->model();
    refresh();
}

bool FixedColumnView::eventFilter(QObject *watched, QEvent *event) {
    // The viewport is compared as kept: its events still come while the
    // grid is being destroyed.
    if ((watched == m_grid || watched == m_gridViewport) && event->type() == QEvent::Resize)
        refresh();
    return QTableView::eventFilter(watched, event);
}

void FixedColumnView::hideColumn() {
    hide();
    if (m_placement == Placement::Apart) {
        m_grid->setFixedField(QString());
        m_grid->verticalHeader()->setFixedWidth(m_indicatorWidth);
    }
}

void FixedColumnView::refresh() {
    QAbstractItemModel *model = m_grid->model();
    if (m_column < 0 || !model || model != m_model || m_column >= model->columnCount())
        return hideColumn();
    const bool apart = m_placement == Placement::Apart;
    DataSetModel *data = m_grid->dataSetModel();
    const bool shown = apart ? data == model && data->columns().at(m_column).visible
                             : !m_grid->isColumnHidden(m_column);
    if (!shown)
        return hideColumn();
    if (this->model() != model)
        setModel(model);
    // The grid makes a new selection model each time it is given its model
    // again: the current row is the grid's own.
    if (selectionModel() != m_grid->selectionModel()) {
        setSelectionModel(m_grid->selectionModel());
        // Values typed into the column widen it (the grid widens only the
        // columns it shows).
        if (apart)
            connect(model, &QAbstractItemModel::dataChanged, this, &FixedColumnView::refresh,
                    Qt::UniqueConnection);
    }
    int width = m_grid->columnWidth(m_column);
    int indicator = m_grid->verticalHeader()->width();
    if (apart) {
        m_grid->setFixedField(data->fieldOfColumn(m_column));
        width = m_grid->ColumnWidthFor(m_column);
        indicator = m_indicatorWidth;
        m_grid->verticalHeader()->setFixedWidth(m_indicatorWidth + width);
        static_cast<TMultiLineHeader *>(horizontalHeader())->setTitleHeight(m_grid->TitleHeight());
    }
    for (int c = 0; c < model->columnCount(); ++c)
        setColumnHidden(c, c != m_column);
    setColumnWidth(m_column, width);
    horizontalHeader()->setFixedHeight(m_grid->horizontalHeader()->height());
    verticalHeader()->setFixedWidth(indicator);
    // Rows as high as the grid's: a header's own least row height follows
    // its font, which may be larger than the grid's (a small grid font, a
    // larger desktop font for headers), and would make every row taller.
    verticalHeader()->setMinimumSectionSize(m_grid->verticalHeader()->minimumSectionSize());
    verticalHeader()->setDefaultSectionSize(m_grid->verticalHeader()->defaultSectionSize());
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setGeometry(m_grid->frameWidth(), m_grid->frameWidth(), indicator + width,
                m_grid->viewport()->height() + m_grid->horizontalHeader()->height());
    verticalScrollBar()->setValue(m_grid->verticalScrollBar()->value());
    show();
    raise();
}
