#include "shell/FixedColumn.h"

#include "shell/DataSetModel.h"
#include "shell/MultilineGrid_Old.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>

FixedColumnView::FixedColumnView(TMultiLineGrid *Grid, Placement Where)
    : QTableView(Grid), m_grid(Grid), m_placement(Where),
      m_indicatorWidth(Grid->verticalHeader()->minimumWidth()) {
    setObjectName(QStringLiteral("FrozenColumn"));
    if (m_placement == Placement::Apart) {
        setHorizontalHeader(new TMultiLineHeader(this));
        setFrameShape(QFrame::NoFrame);
    }
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
}

void FixedColumnView::setColumn(int Column) {
    m_column = Column;
    m_model = m_grid->model();
    refresh();
}

bool FixedColumnView::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_grid && event->type() == QEvent::Resize)
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
    if (this->model() != model) {
        setModel(model);
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
    verticalHeader()->setDefaultSectionSize(m_grid->verticalHeader()->defaultSectionSize());
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setGeometry(m_grid->frameWidth(), m_grid->frameWidth(), indicator + width + (apart ? 0 : 1),
                m_grid->viewport()->height() + m_grid->horizontalHeader()->height());
    verticalScrollBar()->setValue(m_grid->verticalScrollBar()->value());
    show();
    raise();
}
