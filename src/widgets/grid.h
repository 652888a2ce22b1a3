// The grid control of every table: cells of text addressed by row and column, row 0 the fixed header,
// a current cell that is both the program's cursor and the user's selection, click and double-click.
#pragma once

#include <QString>
#include <QTableView>

#include <algorithm>
#include <climits>
#include <functional>
#include <unordered_map>
#include <vector>

class GridModel;

class Grid final : public QTableView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Grid)

public:
    // Alignment values of the grid: all vertically centred.
    enum Alignment { AlignLeft = 1, AlignCentre = 4, AlignRight = 7 };

    // cols columns; with fixedColumn, column 0 is fixed like the header row.
    Grid(int cols, bool fixedColumn, QWidget* parent = nullptr);
    ~Grid() override;

    int Cols() const { return m_cols; }
    bool hasFixedColumn() const { return m_fixedColumn; }

    int Rows() const { return m_rows; }
    // Rows 0..n-1 keep their texts, new rows are empty; 1 leaves only the header.
    void setRows(int n);
    int Row() const { return m_row; }
    void setRow(int row);
    int Col() const { return m_col; }
    void setCol(int col);
    QString Text() const { return cell(m_row, m_col); }
    void setText(const QString& text);
    void setTopRow(int row);
    void setColWidth(int col, int twips);
    void setColAlignment(int col, int alignment);
    // The column's fixed cells: its header cell, and every cell of a fixed column.
    void setFixedAlignment(int col, int alignment);
    void setFontSize(float points);
    void RemoveItem(int row);

    // Reading without moving the current cell.
    QString cell(int row, int col) const;
    // The first of rows first to last whose cell in the current column holds exactly text, or 0.
    int findText(const QString& text, int first, int last) const;

    // A column whose data cells are not kept but made when asked for, from what the program keeps anyway
    // (row numbers, running totals, a ledger's dates and items): setting their text changes nothing. widest gives a
    // text at least as wide as any of them, for the width of a column of amounts.
    struct ComputedColumn {
        std::function<QString(int row)> text;
        std::function<QString()> widest;
    };
    void setComputedColumn(int col, ComputedColumn column);
    // The computed cells of rows from firstRow on are to be made again.
    void computedChanged(int firstRow);
    // Room for rows that are about to come, so that growing row by row does not move the cells each time.
    void reserveRows(int rows);
    int colWidth(int col) const { return std::max(m_widths[static_cast<std::size_t>(col)], 0); }
    int colAlignment(int col) const { return m_dataAlignment[static_cast<std::size_t>(col)]; }
    int fixedAlignment(int col) const { return m_fixedAlignment[static_cast<std::size_t>(col)]; }
    float fontSize() const { return m_fontSize; }
    int topRow() const; // the first data row the view shows, after bringing it up to date

    // Brings the view up to date with the cells now; otherwise that happens on the next turn of the event loop,
    // so that loading thousands of rows costs one update of the view, not one per row.
    void flush();

    // A column of amounts widens beyond its set width as far as its widest text needs, taking the room from
    // another column as long as that keeps room for a few characters; a text wider still is cut and marked
    // with an ellipsis, and is whole in its tooltip.
    void setWidensForAmounts(int col, int giverCol);
    // The column is never narrower than widest needs in the grid's face (the widest text it can hold, such as
    // the largest row number), taking the room from another column.
    void setFitsText(int col, const QString& widest, int giverCol);
    // The column's width in pixels as shown now, after bringing the view up to date.
    int shownColWidth(int col);
    // Whether a cell's text is wider than the room its cell gives it, so that it is drawn cut, with an ellipsis.
    bool isCut(int row, int col) const;

    static Qt::Alignment qtAlignment(int alignment);

signals:
    void Click();
    void DblClick();
    // Keys on the current row: Enter or Space picks it, as a click does; Delete asks to delete it, as a
    // double-click does.
    void PickKey();
    void DeleteKey();

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Only the left button clicks, double-clicks and moves the current cell.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    friend class GridModel;

    // An upper bound of the width of a text in the grid's font, quick enough for every amount of a ledger.
    int textBound(const QString& text);
    void applyWidths();
    QString& at(int row, int col);
    const QString& at(int row, int col) const;
    void freeSlot(int row);
    // Lays the kept cells out again after columns have become computed or kept; keptBefore tells which
    // columns had kept cells until now.
    void relayoutCells(const std::vector<bool>& keptBefore);

    void cellsChanged(int firstRow, int lastRow);
    void scheduleFlush();
    void onCurrentChanged(const QModelIndex& current);

    const int m_cols;
    const bool m_fixedColumn;
    GridModel* m_model;
    // The header row's cells. The data rows' kept cells, one for each column that is not computed, to a
    // slot; each data row's slot, by row; slots of removed rows, empty, for rows added later. A removed row
    // moves only the slots of the rows after it.
    std::vector<QString> m_header;
    std::vector<QString> m_cells;
    std::vector<std::size_t> m_slots; // from row 0, whose entry is not used
    std::vector<std::size_t> m_freeSlots;
    std::vector<ComputedColumn> m_computed; // per column; no text function for a column of kept cells
    std::vector<std::size_t> m_kept;        // per kept column, its place in a slot
    std::size_t m_stride = 0;               // kept cells to a slot
    int m_rows = 1;
    int m_row = 0;
    int m_col = 0;
    int m_topRow = -1; // asked for and not yet applied
    std::vector<int> m_widths;
    std::vector<int> m_dataAlignment;
    std::vector<int> m_fixedAlignment;
    float m_fontSize = 9.0f;
    bool m_fontApplied = false;
    // Columns of amounts: the column that gives them room, and the widest text bound each has now.
    std::vector<int> m_giver;
    std::vector<int> m_widest;
    // Columns that fit a given text, and the column that gives them the room.
    std::vector<QString> m_fitText;
    std::vector<int> m_fitGiver;
    bool m_widestStale = false;         // every column of amounts is to be measured again
    bool m_computedWidestStale = false; // only the computed ones
    // Advances of the characters measured so far: amounts are made of a dozen.
    std::unordered_map<char16_t, int> m_advance;

    // What the view has not been told yet.
    bool m_flushPending = false;
    int m_keptRows = 1;           // rows the view knows that have kept their place since the last flush
    int m_removedAt = -1;         // the one row removed since the last flush, when the view can be told of it alone
    int m_changedFirst = INT_MAX; // cells changed since the last flush, by row
    int m_changedLast = -1;
    bool m_flushing = false;
};
