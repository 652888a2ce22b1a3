// The grid control: its operations, what the view shows of them, and clicks.
#include "testsupport.h"
#include "widgets/grid.h"

#include <QApplication>
#include <QHeaderView>
#include <QPersistentModelIndex>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <array>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

void Fill(Grid& grid, int dataRows) {
    grid.setRows(dataRows + 1);
    for (int r = 0; r <= dataRows; ++r) {
        grid.setRow(r);
        for (int c = 0; c < grid.Cols(); ++c) {
            grid.setCol(c);
            grid.setText(u"%1-%2"_s.arg(r).arg(c));
        }
    }
}

} // namespace

class TestGrid : public QObject {
    Q_OBJECT

private slots:
    void rowsKeepTextsAndNewRowsAreEmpty();
    void removeItemMovesLaterRowsUp();
    void viewShowsCellsAfterOneUpdate();
    void viewIsToldOfOneRemovedRowAlone();
    void anyOperationsEndWithTheViewMatchingTheCells();
    void layoutOperations();
    void topRowScrollsTheRowIntoView();
    void clickMakesTheCellCurrent();
    void doubleClickDeliversAClickFirst();
};

void TestGrid::rowsKeepTextsAndNewRowsAreEmpty() {
    Grid grid(2, false);
    QCOMPARE(grid.Rows(), 1);
    Fill(grid, 3);
    grid.setRows(2);
    QCOMPARE(grid.Rows(), 2);
    QCOMPARE(grid.cell(1, 1), u"1-1"_s);
    QCOMPARE(grid.Row(), 1); // the current row follows a shrink
    grid.setRows(4);
    QCOMPARE(grid.cell(1, 0), u"1-0"_s);
    QCOMPARE(grid.cell(2, 0), QString());
    QCOMPARE(grid.cell(3, 1), QString());
    grid.setRows(0); // the header row always stays
    QCOMPARE(grid.Rows(), 1);
    QCOMPARE(grid.cell(0, 1), u"0-1"_s);
    // Text reads the current cell.
    grid.setRow(0);
    grid.setCol(1);
    QCOMPARE(grid.Text(), u"0-1"_s);
}

void TestGrid::removeItemMovesLaterRowsUp() {
    Grid grid(3, true);
    Fill(grid, 3);
    grid.RemoveItem(2);
    QCOMPARE(grid.Rows(), 3);
    QCOMPARE(grid.cell(1, 2), u"1-2"_s);
    QCOMPARE(grid.cell(2, 2), u"3-2"_s);
    grid.RemoveItem(0); // the header cannot be removed
    grid.RemoveItem(9);
    QCOMPARE(grid.Rows(), 3);
    QCOMPARE(grid.cell(0, 0), u"0-0"_s);
}

void TestGrid::viewShowsCellsAfterOneUpdate() {
    Grid grid(5, true);
    Fill(grid, 1000);
    QCOMPARE(grid.model()->rowCount(), 0); // not told yet: one update per turn of the event loop
    QCoreApplication::processEvents();
    QCOMPARE(grid.model()->rowCount(), 1000);
    QCOMPARE(grid.model()->index(999, 4).data().toString(), u"1000-4"_s);
    QCOMPARE(grid.model()->headerData(2, Qt::Horizontal).toString(), u"0-2"_s);
    QVERIFY(grid.selectionModel()->isRowSelected(999)); // the current row is the selection
    QVERIFY(!grid.currentIndex().isValid());            // and the current cell only the focused grid's
    grid.show();
    grid.activateWindow();
    grid.setFocus();
    QTRY_VERIFY(grid.hasFocus());
    QCOMPARE(grid.currentIndex().row(), 999);
    grid.clearFocus();
    QVERIFY(!grid.currentIndex().isValid());
    QVERIFY(grid.selectionModel()->isRowSelected(999));
    // A shrink, a regrowth and a removal in one turn still end with the view matching the cells.
    grid.setRows(3);
    grid.setRows(6);
    grid.setRow(5);
    grid.setCol(0);
    grid.setText(u"new"_s);
    grid.RemoveItem(1);
    grid.flush();
    QCOMPARE(grid.model()->rowCount(), 4);
    QCOMPARE(grid.model()->index(0, 0).data().toString(), u"2-0"_s);
    QCOMPARE(grid.model()->index(3, 0).data().toString(), u"new"_s);
    QCOMPARE(grid.model()->index(2, 1).data().toString(), QString());
}

void TestGrid::viewIsToldOfOneRemovedRowAlone() {
    Grid grid(3, true);
    Fill(grid, 2000);
    grid.flush();
    const QPersistentModelIndex later = grid.model()->index(1500, 1);
    QSignalSpy removed(grid.model(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(grid.model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(grid.model(), &QAbstractItemModel::dataChanged);
    grid.setRow(7); // a change waiting below the row, moved up with it
    grid.setCol(2);
    grid.setText(u"changed"_s);
    grid.RemoveItem(3);
    grid.flush();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(1).toInt(), 2);
    QCOMPARE(removed.at(0).at(2).toInt(), 2);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(later.row(), 1499); // the rows after it kept their state in the view
    QCOMPARE(later.data().toString(), u"1501-1"_s);
    QCOMPARE(grid.model()->index(5, 2).data().toString(), u"changed"_s);
    // and the view is told to draw it again where it now is
    QCOMPARE(changed.count(), 1);
    const auto first = changed.at(0).at(0).value<QModelIndex>();
    const auto last = changed.at(0).at(1).value<QModelIndex>();
    QVERIFY(first.row() <= 5 && last.row() >= 5 && first.column() == 0 && last.column() == 2);
    QCOMPARE(grid.model()->rowCount(), 1999);
}

// Random runs of the operations, told to the view at random moments: after each telling the view shows
// exactly the cells a plain table of rows holds.
void TestGrid::anyOperationsEndWithTheViewMatchingTheCells() {
    QRandomGenerator random(20261207);
    for (int run = 0; run < 60; ++run) {
        Grid grid(3, run % 2 == 0);
        std::vector<std::array<QString, 3>> rows(1);
        std::array<bool, 3> computed = {};
        int next = 0;
        auto expected = [&](int r, int c) {
            return r > 0 && computed[static_cast<std::size_t>(c)]
                       ? u"c%1"_s.arg(r)
                       : rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
        };
        auto check = [&] {
            grid.flush();
            QCOMPARE(grid.Rows(), static_cast<int>(rows.size()));
            QCOMPARE(grid.model()->rowCount(), grid.Rows() - 1);
            for (int r = 0; r < grid.Rows(); ++r)
                for (int c = 0; c < 3; ++c) {
                    QCOMPARE(grid.cell(r, c), expected(r, c));
                    if (r > 0)
                        QCOMPARE(grid.model()->index(r - 1, c).data().toString(), grid.cell(r, c));
                }
        };
        for (int step = 0; step < 80; ++step) {
            const int rowCount = static_cast<int>(rows.size());
            switch (random.bounded(7)) {
            case 0: { // grow or shrink
                const int n = 1 + random.bounded(12);
                rows.resize(static_cast<std::size_t>(n));
                grid.setRows(n);
                break;
            }
            case 1:
            case 2: { // a text in any cell, the header's too
                const int r = random.bounded(rowCount);
                const int c = random.bounded(3);
                const QString text = u"t%1"_s.arg(++next);
                grid.setRow(r);
                grid.setCol(c);
                grid.setText(text);
                if (r == 0 || !computed[static_cast<std::size_t>(c)]) // a computed cell takes no text
                    rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = text;
                break;
            }
            case 5: { // a column becomes computed, or kept again: a kept one starts empty, the others stay
                const auto c = static_cast<std::size_t>(random.bounded(3));
                computed[c] = !computed[c];
                if (computed[c]) {
                    grid.setComputedColumn(static_cast<int>(c), {[](int row) { return u"c%1"_s.arg(row); }, {}});
                } else {
                    grid.setComputedColumn(static_cast<int>(c), {});
                    for (std::size_t r = 1; r < rows.size(); ++r)
                        rows[r][c].clear();
                }
                break;
            }
            case 3:
            case 4: // a removal, of any row (the header and rows past the end are refused)
                if (const int r = random.bounded(rowCount + 1); r >= 1 && r < rowCount) {
                    rows.erase(rows.begin() + r);
                    grid.RemoveItem(r);
                } else {
                    grid.RemoveItem(r);
                }
                break;
            default:
                check();
                if (QTest::currentTestFailed())
                    return;
            }
        }
        check();
        if (QTest::currentTestFailed())
            return;
    }
}

void TestGrid::layoutOperations() {
    Grid grid(2, true);
    Fill(grid, 2);
    grid.setColWidth(0, 4550);
    grid.setColWidth(1, 820);
    grid.setFixedAlignment(0, Grid::AlignCentre);
    grid.setFixedAlignment(1, Grid::AlignCentre);
    grid.setColAlignment(1, Grid::AlignRight);
    grid.setFontSize(12);
    grid.flush();
    QCOMPARE(grid.horizontalHeader()->sectionSize(0), 303);
    QCOMPARE(grid.horizontalHeader()->sectionSize(1), 55);
    const auto alignment = [&](int row, int col) {
        return grid.model()->index(row, col).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
    };
    // The fixed column takes the fixed alignment in every row; data cells their column's.
    QCOMPARE(alignment(1, 0), Qt::AlignHCenter | Qt::AlignVCenter);
    QCOMPARE(alignment(1, 1), Qt::AlignRight | Qt::AlignVCenter);
    QCOMPARE(grid.model()->headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(),
             Qt::AlignHCenter | Qt::AlignVCenter);
    QCOMPARE(grid.font().pointSizeF(), 12.0);
    QCOMPARE(grid.fontSize(), 12.0f);
}

void TestGrid::topRowScrollsTheRowIntoView() {
    Grid grid(2, false);
    grid.resize(300, 150);
    grid.show();
    Fill(grid, 500);
    grid.setTopRow(400);
    QCOMPARE(grid.topRow(), 400);
    grid.setTopRow(500); // the last row: shown, as high as the view allows
    const int top = grid.topRow();
    QVERIFY(top > 480 && top <= 500);
    QVERIFY(grid.viewport()->rect().contains(grid.visualRect(grid.model()->index(499, 0)).topLeft()));
}

void TestGrid::clickMakesTheCellCurrent() {
    Grid grid(2, false);
    grid.resize(300, 200);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    Fill(grid, 3);
    grid.setRow(0);
    QSignalSpy clicks(&grid, &Grid::Click);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, CellCentre(grid, 2, 1));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(grid.Row(), 2);
    QCOMPARE(grid.Col(), 1);
    QCOMPARE(grid.Text(), u"2-1"_s);
    // Beyond the last cell there is nothing to click.
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(5, grid.viewport()->height() - 3));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(grid.Row(), 2);
}

void TestGrid::doubleClickDeliversAClickFirst() {
    Grid grid(2, false);
    grid.resize(300, 200);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    Fill(grid, 3);
    QStringList events;
    connect(&grid, &Grid::Click, &grid, [&] { events << u"click %1"_s.arg(grid.Row()); });
    connect(&grid, &Grid::DblClick, &grid, [&] { events << u"dblclick %1"_s.arg(grid.Row()); });
    const QPoint at = CellCentre(grid, 1, 0);
    // As a window system delivers it: press and release, then the second press as a double-click.
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(events, QStringList({u"click 1"_s, u"dblclick 1"_s}));
}

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
