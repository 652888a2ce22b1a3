// The grid control over a Qt model and view. The grid keeps the cells itself; the model shows them to the
// view, and the view is told about changes in one batch per turn of the event loop.
#include "shell/grid.h"

#include "shell/controls.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QMetaObject>
#include <QPalette>
#include <QProxyStyle>

#include <algorithm>

class GridModel final : public QAbstractTableModel {
public:
    explicit GridModel(Grid& grid) : QAbstractTableModel(&grid), m_grid(grid) {}

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : m_shownRows - 1; }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : m_grid.m_cols; }

    QVariant data(const QModelIndex& index, int role) const override {
        const int row = index.row() + 1;
        const int col = index.column();
        if (row >= m_grid.m_rows)
            return {}; // the view has not been told of a shrink yet
        const bool fixed = col == 0 && m_grid.m_fixedColumn;
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return m_grid.cell(row, col);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(
                Grid::qtAlignment(fixed ? m_grid.fixedAlignment(col) : m_grid.colAlignment(col)));
        case Qt::BackgroundRole:
            return QApplication::palette().brush(fixed ? QPalette::Button : QPalette::Base);
        case Qt::ForegroundRole:
            return QApplication::palette().brush(fixed ? QPalette::ButtonText : QPalette::Text);
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 || section >= m_grid.m_cols)
            return {};
        if (role == Qt::DisplayRole)
            return m_grid.cell(0, section);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Grid::qtAlignment(m_grid.fixedAlignment(section)));
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    // Brings the rows the view knows from shown to rows, keeping the first kept of them in place.
    void update(int rows, int kept, int changedFirst, int changedLast) {
        kept = std::min(kept, m_shownRows);
        if (kept < m_shownRows) {
            beginRemoveRows({}, kept - 1, m_shownRows - 2);
            m_shownRows = kept;
            endRemoveRows();
        }
        if (rows > m_shownRows) {
            beginInsertRows({}, m_shownRows - 1, rows - 2);
            m_shownRows = rows;
            endInsertRows();
        }
        if (changedFirst == 0)
            emit headerDataChanged(Qt::Horizontal, 0, m_grid.m_cols - 1);
        const int first = std::max(changedFirst, 1);
        const int last = std::min(changedLast, kept - 1);
        if (first <= last)
            emit dataChanged(index(first - 1, 0), index(last - 1, m_grid.m_cols - 1));
    }

private:
    Grid& m_grid;
    int m_shownRows = 1;
};

namespace {

class GridLineStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Table_GridLineColor)
            return static_cast<int>(qRgb(0xC0, 0xC0, 0xC0));
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

Grid::Grid(int cols, bool fixedColumn, QWidget* parent)
    : QTableView(parent), m_cols(std::max(cols, 1)), m_fixedColumn(fixedColumn), m_model(new GridModel(*this)),
      m_cells(static_cast<std::size_t>(m_cols)), m_widths(static_cast<std::size_t>(m_cols), 0),
      m_dataAlignment(static_cast<std::size_t>(m_cols), AlignLeft),
      m_fixedAlignment(static_cast<std::size_t>(m_cols), AlignLeft) {
    setModel(m_model);
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectRows);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    // Cells take the window colours from the model; the viewport beyond the last cell is grey, and the lines
    // between data cells light grey.
    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(0x80, 0x80, 0x80));
    setPalette(colours);
    auto* lines = new GridLineStyle;
    lines->setParent(this);
    setStyle(lines);
    setFont(GothicFont(kProportionalGothic, m_fontSize));
    setFontSize(m_fontSize);

    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { onCurrentChanged(current); });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit Click();
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit DblClick();
    });
}

Grid::~Grid() = default;

Qt::Alignment Grid::qtAlignment(int alignment) {
    switch (alignment) {
    case AlignCentre:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    case AlignRight:
        return Qt::AlignRight | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

const QString& Grid::cell(int row, int col) const {
    static const QString none;
    if (row < 0 || row >= m_rows || col < 0 || col >= m_cols)
        return none;
    return m_cells[static_cast<std::size_t>(row * m_cols + col)];
}

void Grid::setRows(int n) {
    n = std::max(n, 1);
    m_cells.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(m_cols));
    if (n < m_rows) {
        // Rows dropped now and grown again later come back empty.
        std::fill(m_cells.begin() + static_cast<std::ptrdiff_t>(n * m_cols), m_cells.end(), QString());
        m_keptRows = std::min(m_keptRows, n);
    }
    m_rows = n;
    m_row = std::min(m_row, n - 1);
    scheduleFlush();
}

void Grid::setRow(int row) {
    if (row < 0 || row >= m_rows)
        return;
    m_row = row;
    scheduleFlush();
}

void Grid::setCol(int col) {
    if (col < 0 || col >= m_cols)
        return;
    m_col = col;
    scheduleFlush();
}

void Grid::setText(const QString& text) {
    m_cells[static_cast<std::size_t>(m_row * m_cols + m_col)] = text;
    cellsChanged(m_row, m_row);
}

void Grid::setTopRow(int row) {
    if (row < 1 || row >= m_rows)
        return;
    m_topRow = row;
    scheduleFlush();
}

void Grid::setColWidth(int col, int twips) {
    if (col < 0 || col >= m_cols)
        return;
    m_widths[static_cast<std::size_t>(col)] = twips;
    horizontalHeader()->resizeSection(col, TwipsToPixels(twips));
}

void Grid::setColAlignment(int col, int alignment) {
    if (col < 0 || col >= m_cols)
        return;
    m_dataAlignment[static_cast<std::size_t>(col)] = alignment;
    cellsChanged(1, m_rows - 1);
}

void Grid::setFixedAlignment(int col, int alignment) {
    if (col < 0 || col >= m_cols)
        return;
    m_fixedAlignment[static_cast<std::size_t>(col)] = alignment;
    cellsChanged(0, m_fixedColumn && col == 0 ? m_rows - 1 : 0);
}

void Grid::setFontSize(float points) {
    m_fontSize = points;
    QFont f = font();
    f.setPointSizeF(points);
    setFont(f);
    horizontalHeader()->setFont(f);
    const int rowHeight = QFontMetrics(f).height() + 3;
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    horizontalHeader()->setFixedHeight(rowHeight);
}

void Grid::RemoveItem(int row) {
    if (row < 1 || row >= m_rows)
        return;
    const auto first = m_cells.begin() + static_cast<std::ptrdiff_t>(row * m_cols);
    m_cells.erase(first, first + m_cols);
    --m_rows;
    m_keptRows = std::min(m_keptRows, row);
    m_row = std::min(m_row, m_rows - 1);
    scheduleFlush();
}

int Grid::topRow() const {
    const_cast<Grid*>(this)->flush();
    const int row = rowAt(0);
    return row < 0 ? 0 : row + 1;
}

void Grid::cellsChanged(int firstRow, int lastRow) {
    m_changedFirst = std::min(m_changedFirst, firstRow);
    m_changedLast = std::max(m_changedLast, lastRow);
    scheduleFlush();
}

void Grid::scheduleFlush() {
    if (m_flushPending)
        return;
    m_flushPending = true;
    QMetaObject::invokeMethod(this, &Grid::flush, Qt::QueuedConnection);
}

void Grid::flush() {
    if (!m_flushPending)
        return;
    m_flushPending = false;
    m_flushing = true;
    m_model->update(m_rows, m_keptRows, m_changedFirst, m_changedLast);
    if (m_row >= 1) {
        const QModelIndex current = m_model->index(m_row - 1, m_col);
        selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        selectionModel()->clear();
    }
    if (m_topRow >= 1)
        scrollTo(m_model->index(m_topRow - 1, 0), PositionAtTop);
    m_topRow = -1;
    m_keptRows = m_rows;
    m_changedFirst = INT_MAX;
    m_changedLast = -1;
    m_flushing = false;
}

void Grid::onCurrentChanged(const QModelIndex& current) {
    if (m_flushing || !current.isValid())
        return;
    m_row = current.row() + 1;
    m_col = current.column();
}
