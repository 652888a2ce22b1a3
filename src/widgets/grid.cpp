// The grid control over a Qt model and view. The grid keeps the cells itself; the model shows them to the
// view, and the view is told about changes in one batch per turn of the event loop.
#include "widgets/grid.h"

#include "widgets/controls.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QStyledItemDelegate>

#include <algorithm>

using namespace Qt::StringLiterals;

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
        case Qt::ToolTipRole: // a cut text, whole
            return m_grid.isCut(row, col) ? QVariant(m_grid.cell(row, col)) : QVariant();
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
        // The row headers are never shown; a screen reader still reaches them, and hears the row's number.
        if (orientation == Qt::Vertical)
            return role == Qt::DisplayRole && section >= 0 ? QVariant(QString::number(section + 1)) : QVariant();
        if (section < 0 || section >= m_grid.m_cols)
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

    int shownRows() const { return m_shownRows; }

    // Tells the view that one row it knows is gone: the rows after it move up and keep their state.
    void removeOne(int row) {
        beginRemoveRows({}, row - 1, row - 1);
        --m_shownRows;
        endRemoveRows();
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

// Fixed cells keep their own colours when their row is the current one.
class FixedCellDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    }
};

constexpr int kCellPadding = 12; // the item's text margins on both sides, the grid line and a little air

} // namespace

Grid::Grid(int cols, bool fixedColumn, QWidget* parent)
    : QTableView(parent), m_cols(std::max(cols, 1)), m_fixedColumn(fixedColumn), m_model(new GridModel(*this)),
      m_header(static_cast<std::size_t>(m_cols)), m_slots(1, 0), m_widths(static_cast<std::size_t>(m_cols), -1),
      m_dataAlignment(static_cast<std::size_t>(m_cols), AlignLeft),
      m_fixedAlignment(static_cast<std::size_t>(m_cols), AlignLeft), m_giver(static_cast<std::size_t>(m_cols), -1),
      m_widest(static_cast<std::size_t>(m_cols), 0), m_fitText(static_cast<std::size_t>(m_cols)),
      m_fitGiver(static_cast<std::size_t>(m_cols), -1) {
    m_computed.resize(static_cast<std::size_t>(m_cols));
    relayoutCells(std::vector<bool>(static_cast<std::size_t>(m_cols), false));
    setModel(m_model);
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectRows);
    setWordWrap(false);
    // A text too wide for its cell ends with an ellipsis, and its tooltip holds it whole: cut with no mark, an
    // item would read as another, and a right-aligned amount as a smaller number.
    setTextElideMode(Qt::ElideRight);
    if (m_fixedColumn)
        setItemDelegateForColumn(0, new FixedCellDelegate(this));
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

QString Grid::cell(int row, int col) const {
    if (row < 0 || row >= m_rows || col < 0 || col >= m_cols)
        return {};
    if (row > 0 && m_computed[static_cast<std::size_t>(col)].text)
        return m_computed[static_cast<std::size_t>(col)].text(row);
    return at(row, col);
}

// A header cell, or a data row's cell of a kept column.
QString& Grid::at(int row, int col) {
    const auto c = static_cast<std::size_t>(col);
    return row == 0 ? m_header[c] : m_cells[m_slots[static_cast<std::size_t>(row)] + m_kept[c]];
}

const QString& Grid::at(int row, int col) const {
    const auto c = static_cast<std::size_t>(col);
    return row == 0 ? m_header[c] : m_cells[m_slots[static_cast<std::size_t>(row)] + m_kept[c]];
}

void Grid::freeSlot(int row) {
    const std::size_t slot = m_slots[static_cast<std::size_t>(row)];
    std::fill_n(m_cells.begin() + static_cast<std::ptrdiff_t>(slot), m_stride, QString());
    m_freeSlots.push_back(slot);
}

void Grid::relayoutCells(const std::vector<bool>& keptBefore) {
    std::vector<std::size_t> kept(static_cast<std::size_t>(m_cols), 0);
    std::size_t stride = 0;
    for (std::size_t c = 0; c < kept.size(); ++c)
        if (!m_computed[c].text)
            kept[c] = stride++;
    std::vector<QString> cells;
    cells.reserve(static_cast<std::size_t>(m_rows - 1) * stride);
    std::vector<std::size_t> rowSlots(1, 0);
    for (int row = 1; row < m_rows; ++row) {
        rowSlots.push_back(cells.size());
        for (std::size_t c = 0; c < kept.size(); ++c)
            if (!m_computed[c].text) // a column that was computed until now starts empty
                cells.push_back(keptBefore[c] ? at(row, static_cast<int>(c)) : QString());
    }
    m_cells = std::move(cells);
    m_slots = std::move(rowSlots);
    m_freeSlots.clear();
    m_kept = std::move(kept);
    m_stride = stride;
}

int Grid::findText(const QString& text, int first, int last) const {
    first = std::max(first, 1);
    last = std::min(last, m_rows - 1);
    if (m_computed[static_cast<std::size_t>(m_col)].text) {
        for (int row = first; row <= last; ++row)
            if (cell(row, m_col) == text)
                return row;
        return 0;
    }
    for (int row = first; row <= last; ++row)
        if (at(row, m_col) == text)
            return row;
    return 0;
}

void Grid::setComputedColumn(int col, ComputedColumn column) {
    if (col < 0 || col >= m_cols)
        return;
    std::vector<bool> keptBefore(static_cast<std::size_t>(m_cols));
    for (std::size_t c = 0; c < keptBefore.size(); ++c)
        keptBefore[c] = !m_computed[c].text;
    m_computed[static_cast<std::size_t>(col)] = std::move(column);
    if (keptBefore[static_cast<std::size_t>(col)] != !m_computed[static_cast<std::size_t>(col)].text)
        relayoutCells(keptBefore);
    computedChanged(1);
}

void Grid::computedChanged(int firstRow) {
    m_computedWidestStale = true;
    cellsChanged(std::max(firstRow, 1), m_rows - 1);
}

void Grid::reserveRows(int rows) {
    m_cells.reserve(static_cast<std::size_t>(std::max(rows - 1, 0)) * m_stride);
    m_slots.reserve(static_cast<std::size_t>(std::max(rows, 1)));
}

void Grid::setRows(int n) {
    n = std::max(n, 1);
    if (n == 1) { // all rows go: so do their cells
        m_cells.clear();
        m_slots.resize(1);
        m_freeSlots.clear();
    } else if (n < m_rows) {
        // Rows dropped now and grown again later come back empty.
        for (int row = n; row < m_rows; ++row)
            freeSlot(row);
        m_slots.resize(static_cast<std::size_t>(n));
    }
    if (n < m_rows) {
        m_keptRows = std::min(m_keptRows, n);
        m_widestStale = true;
    }
    while (m_slots.size() < static_cast<std::size_t>(n)) {
        if (m_freeSlots.empty()) {
            m_slots.push_back(m_cells.size());
            m_cells.resize(m_cells.size() + m_stride);
        } else {
            m_slots.push_back(m_freeSlots.back());
            m_freeSlots.pop_back();
        }
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
    if (m_row > 0 && m_computed[static_cast<std::size_t>(m_col)].text)
        return; // made when asked for
    at(m_row, m_col) = text;
    if (m_row > 0 && m_giver[static_cast<std::size_t>(m_col)] >= 0 && !m_widestStale) {
        int& widest = m_widest[static_cast<std::size_t>(m_col)];
        widest = std::max(widest, textBound(text));
    }
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
    applyWidths();
}

void Grid::setWidensForAmounts(int col, int giverCol) {
    if (col < 0 || col >= m_cols || giverCol < 0 || giverCol >= m_cols || col == giverCol)
        return;
    m_giver[static_cast<std::size_t>(col)] = giverCol;
    m_widestStale = true;
    scheduleFlush();
}

void Grid::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        m_fontApplied = false; // a face set from outside: the next size sets the rows and header again
        m_advance.clear();     // measured in the old face
        m_widestStale = true;
        scheduleFlush();
    }
    QTableView::changeEvent(event);
}

void Grid::setFitsText(int col, const QString& widest, int giverCol) {
    if (col < 0 || col >= m_cols || giverCol < 0 || giverCol >= m_cols || col == giverCol)
        return;
    m_fitText[static_cast<std::size_t>(col)] = widest;
    m_fitGiver[static_cast<std::size_t>(col)] = giverCol;
    applyWidths();
}

bool Grid::isCut(int row, int col) const {
    if (col < 0 || col >= m_cols)
        return false;
    // The delegate's text margins, as the style draws them, and the grid line.
    const int margins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 1;
    const QString text = cell(row, col);
    return !text.isEmpty() && QFontMetrics(font()).horizontalAdvance(text) > columnWidth(col) - margins;
}

int Grid::shownColWidth(int col) {
    flush();
    return columnWidth(col);
}

int Grid::textBound(const QString& text) {
    int width = 0;
    for (const QChar c : text) {
        auto [it, added] = m_advance.try_emplace(c.unicode(), 0);
        int& advance = it->second;
        if (added) {
            const QFontMetrics metrics(font());
            advance = metrics.horizontalAdvance(c);
            if (c.isDigit()) // every digit as wide as the widest, so a bound holds for any amount
                for (char16_t d = u'0'; d <= u'9'; ++d)
                    advance = std::max(advance, metrics.horizontalAdvance(QChar(d)));
        }
        width += advance;
    }
    return width;
}

// The set widths, with each column of amounts widened to its widest text and its giver narrowed as much.
void Grid::applyWidths() {
    std::vector<int> pixels(m_widths.size());
    for (std::size_t col = 0; col < m_widths.size(); ++col) // a width never set stays as the view has it
        pixels[col] =
            m_widths[col] < 0 ? horizontalHeader()->sectionSize(static_cast<int>(col)) : TwipsToPixels(m_widths[col]);
    for (std::size_t col = 0; col < m_fitText.size(); ++col) {
        const int giver = m_fitGiver[col];
        if (giver < 0)
            continue;
        const int extra = std::max(textBound(m_fitText[col]) + kCellPadding - pixels[col], 0);
        pixels[col] += extra;
        pixels[static_cast<std::size_t>(giver)] -= extra;
    }
    for (std::size_t col = 0; col < m_widths.size(); ++col) {
        const int giver = m_giver[col];
        if (giver < 0)
            continue;
        const int wanted = m_widest[col] + kCellPadding;
        const int room = pixels[static_cast<std::size_t>(giver)] - 4 * kCellPadding;
        const int extra = std::clamp(wanted - pixels[col], 0, std::max(room, 0));
        pixels[col] += extra;
        pixels[static_cast<std::size_t>(giver)] -= extra;
    }
    for (std::size_t col = 0; col < pixels.size(); ++col)
        if (horizontalHeader()->sectionSize(static_cast<int>(col)) != pixels[col])
            horizontalHeader()->resizeSection(static_cast<int>(col), pixels[col]);
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
    if (m_fontApplied && points == m_fontSize && font().pointSizeF() == points)
        return; // every reset of a grid sets the size it already has
    m_fontSize = points;
    QFont f = font();
    f.setPointSizeF(points);
    setFont(f);
    horizontalHeader()->setFont(f);
    const int rowHeight = QFontMetrics(f).height() + 3;
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    horizontalHeader()->setFixedHeight(rowHeight);
    m_fontApplied = true;
}

void Grid::RemoveItem(int row) {
    if (row < 1 || row >= m_rows)
        return;
    // Columns of amounts are measured again only when the row held one of their widest texts.
    for (int col = 0; col < m_cols; ++col) {
        const auto c = static_cast<std::size_t>(col);
        if (m_giver[c] >= 0 && !m_computed[c].text && textBound(cell(row, col)) >= m_widest[c])
            m_widestStale = true;
    }
    freeSlot(row);
    m_slots.erase(m_slots.begin() + row);
    --m_rows;
    if (m_removedAt < 0 && m_keptRows == m_rows + 1 && m_model->shownRows() == m_rows + 1) {
        // The view learns of this one row alone, and the rows after it keep their place in it.
        m_removedAt = row;
        m_keptRows = m_rows;
        if (m_changedLast >= row) { // changes waiting below the row have moved up with it
            m_changedFirst = std::min(m_changedFirst, row);
            m_changedLast = m_rows - 1;
        }
    } else {
        m_keptRows = std::min(m_keptRows, row);
    }
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
    if (m_removedAt >= 0) {
        m_model->removeOne(m_removedAt);
        m_removedAt = -1;
    }
    m_model->update(m_rows, m_keptRows, m_changedFirst, m_changedLast);
    if (m_widestStale || m_computedWidestStale) {
        const bool all = m_widestStale;
        m_widestStale = m_computedWidestStale = false;
        for (int col = 0; col < m_cols; ++col) {
            if (m_giver[static_cast<std::size_t>(col)] < 0 || (!all && !m_computed[static_cast<std::size_t>(col)].text))
                continue;
            int widest = 0;
            if (const ComputedColumn& computed = m_computed[static_cast<std::size_t>(col)]; computed.text) {
                if (m_rows > 1 && computed.widest)
                    widest = textBound(computed.widest());
            } else {
                for (int row = 1; row < m_rows; ++row)
                    widest = std::max(widest, textBound(at(row, col)));
            }
            m_widest[static_cast<std::size_t>(col)] = widest;
        }
    }
    applyWidths();
    // Setting the current row does not scroll: only a top row does.
    const bool scrolls = hasAutoScroll();
    setAutoScroll(false);
    if (m_row >= 1) {
        const QModelIndex current = m_model->index(m_row - 1, m_col);
        // Only the grid with the focus has a current cell: an accessible table reports its current cell as
        // focused, and a screen reader would hear a cell of each grid focused at once. The selected row stays.
        if (hasFocus())
            selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        else {
            selectionModel()->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        }
    } else {
        selectionModel()->clear();
    }
    setAutoScroll(scrolls);
    if (m_topRow >= 1) {
        executeDelayedItemsLayout(); // the rows just told of are laid out before the view scrolls to one
        scrollTo(m_model->index(m_topRow - 1, 0), PositionAtTop);
    }
    m_topRow = -1;
    m_keptRows = m_rows;
    m_changedFirst = INT_MAX;
    m_changedLast = -1;
    m_flushing = false;
}

void Grid::keyPressEvent(QKeyEvent* event) {
    flush(); // keys move from the current cell as the program last set it
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            event->accept();
            emit PickKey();
            return;
        case Qt::Key_Delete:
            event->accept();
            emit DeleteKey();
            return;
        default:
            break;
        }
    }
    QTableView::keyPressEvent(event);
}

void Grid::mousePressEvent(QMouseEvent* event) {
    flush();
    if (event->button() == Qt::LeftButton)
        QTableView::mousePressEvent(event);
}

void Grid::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        QTableView::mouseReleaseEvent(event);
}

void Grid::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        QTableView::mouseDoubleClickEvent(event);
}

// The grid with the keyboard focus says so with a frame in the palette's highlight, inside its border, so that
// a keyboard user sees which list the arrow keys move in, on a light desktop as on a dark one.
void Grid::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(viewport());
    QPen pen(palette().color(QPalette::Active, QPalette::Highlight), 2);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(viewport()->rect()).adjusted(1, 1, -1, -1));
}

void Grid::focusInEvent(QFocusEvent* event) {
    // The current cell comes back with the focus, so that the keys move from the row the program set.
    if (m_row >= 1 && !m_flushPending) {
        m_flushing = true;
        selectionModel()->setCurrentIndex(m_model->index(m_row - 1, m_col), QItemSelectionModel::NoUpdate);
        m_flushing = false;
    }
    QTableView::focusInEvent(event);
    viewport()->update();
}

void Grid::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    if (m_row >= 1 && !m_flushPending) {
        m_flushing = true;
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        m_flushing = false;
    }
    viewport()->update();
}

void Grid::onCurrentChanged(const QModelIndex& current) {
    if (m_flushing || !current.isValid())
        return;
    m_row = current.row() + 1;
    m_col = current.column();
}
