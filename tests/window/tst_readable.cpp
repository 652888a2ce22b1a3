// The window stays readable at every size a ledger reaches: with the most deposits, the largest amounts and the
// longest theme name, no label or visible cell cuts its text without a mark, and no text is smaller than 9 pt.
#include "records/money.h"
#include "testsupport.h"
#include "widgets/controls.h"
#include "widgets/grid.h"
#include "window/fraMain.h"
#include "window/messages.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr double kFloorPoints = 9;

// The longest a theme name can be: what the input box takes.
const QString kLongestTheme = QString(32767, u'貯');

QString Spoken(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}

// Every label of the window: a fitting label shows its text whole, or cut with an ellipsis where that is
// allowed; any other shows it in its room; none in type under the floor.
void CheckLabels(fraMain& w, QStringList& problems) {
    for (QLabel* label : w.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty())
            continue;
        auto* fitting = qobject_cast<Label*>(label);
        const QString name = label->objectName();
        if (fitting && fitting->fit() != Label::Fit::None) {
            const Label::Shown shown = fitting->shown();
            if (shown.font.pointSizeF() < kFloorPoints)
                problems << u"%1: %2 pt"_s.arg(name).arg(shown.font.pointSizeF());
            if (shown.cut && label != w.lblTemaMei)
                problems << u"%1 cut: %2"_s.arg(name, label->text());
            const QFontMetricsF metrics(shown.font);
            for (const QString& line : shown.lines)
                if (metrics.horizontalAdvance(line) > label->contentsRect().width())
                    problems << u"%1 wider than its room: %2"_s.arg(name, line);
            if ((shown.lines.size() - 1) * metrics.lineSpacing() + metrics.height() >
                label->contentsRect().height() + 0.5)
                problems << u"%1 taller than its room: %2"_s.arg(name, label->text());
            continue;
        }
        if (label->font().pointSizeF() < kFloorPoints)
            problems << u"%1: %2 pt"_s.arg(name).arg(label->font().pointSizeF());
        if (label->wordWrap() || !label->pixmap().isNull())
            continue;
        for (const QString& line : label->text().split(u'\n'))
            if (QFontMetrics(label->font()).horizontalAdvance(line) > label->contentsRect().width())
                problems << u"%1 wider than its room: %2"_s.arg(name, line);
    }
}

// Every visible cell: numbers and dates whole; an item cut only with an ellipsis, whole in its tooltip.
void CheckCells(Grid& grid, int itemColumn, QStringList& problems) {
    grid.flush();
    if (grid.font().pointSizeF() < kFloorPoints)
        problems << u"%1: %2 pt"_s.arg(grid.objectName()).arg(grid.font().pointSizeF());
    const int first = grid.topRow();
    const int shownRows = grid.viewport()->height() / grid.rowHeight(0) + 1;
    for (int row = first; row < std::min(grid.Rows(), first + shownRows); ++row) {
        for (int col = 0; col < grid.Cols(); ++col) {
            if (!grid.isCut(row, col))
                continue;
            const QModelIndex index = grid.model()->index(row - 1, col);
            if (col != itemColumn)
                problems << u"%1 row %2 column %3 cut: %4"_s.arg(grid.objectName())
                                .arg(row)
                                .arg(col)
                                .arg(grid.cell(row, col));
            else if (index.data(Qt::ToolTipRole).toString() != grid.cell(row, col) ||
                     grid.textElideMode() != Qt::ElideRight)
                problems << u"%1 row %2: cut with no mark"_s.arg(grid.objectName()).arg(row);
        }
    }
}

} // namespace

class TestReadable : public QObject, MainWindowTest {
    Q_OBJECT

private slots:
    void init() { initWindowTest(); }
    void cleanup() { cleanupWindowTest(); }
    void fullLedgerFits_data();
    void fullLedgerFits();
    void themeNamesShowWholeOrMarked_data();
    void themeNamesShowWholeOrMarked();
    void focusedGridShowsAMark_data();
    void focusedGridShowsAMark();
};

void TestReadable::fullLedgerFits_data() {
    QTest::addColumn<QString>("amount");
    QTest::addColumn<bool>("dark");
    QTest::newRow("largest deposits") << u"99999999"_s << false;
    QTest::newRow("largest withdrawals") << u"-99999999"_s << false;
    QTest::newRow("largest deposits, dark") << u"99999999"_s << true;
}

void TestReadable::fullLedgerFits() {
    QFETCH(QString, amount);
    QFETCH(bool, dark);
    if (dark)
        QApplication::setPalette(DarkDesktopPalette());
    QByteArray ledger;
    const QByteArray line = Deposit(u"新幹線のグリーン車に乗ったつもり"_s, amount.toLatin1().constData());
    ledger.reserve(line.size() * fraMain::kMaxDeposits);
    for (int i = 0; i < fraMain::kMaxDeposits; ++i)
        ledger += line;
    WriteBytes(kLedgerName, ledger);
    WriteBytes(kItemsName, Item(u"新幹線のグリーン車に乗ったつもり"_s, amount.toLatin1().constData()));
    WriteBytes(kThemeName, "\"" + Cp932(kLongestTheme) + "\"\r\n");
    fraMain& w = start();
    w.show();
    QCOMPARE(w.msgChingin->Rows(), fraMain::kMaxDeposits + 1);
    QStringList problems;
    CheckLabels(w, problems);
    CheckCells(*w.msgChingin, 2, problems);
    CheckCells(*w.msgChinKou, 0, problems);
    // The first rows too, where the row numbers are short.
    w.msgChingin->setTopRow(1);
    CheckCells(*w.msgChingin, 2, problems);
    QApplication::setPalette(QPalette());
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QVERIFY(w.lblChin_zen->text().startsWith(amount.startsWith(u'-') ? u"-¥3,276,"_s : u"¥3,276,"_s));
}

void TestReadable::themeNamesShowWholeOrMarked_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("whole");
    QTest::newRow("short") << u"旅行"_s << true;
    QTest::newRow("fifteen characters") << u"北海道旅行のために毎日がんばる"_s << true;
    QTest::newRow("words") << u"Save for a trip to Hokkaido"_s << true;
    QTest::newRow("sixty characters") << QString(60, u'貯') << false;
    QTest::newRow("the longest") << kLongestTheme << false;
    QTest::newRow("markup is text") << u"<b>太字</b>"_s << true;
}

void TestReadable::themeNamesShowWholeOrMarked() {
    QFETCH(QString, name);
    QFETCH(bool, whole);
    WriteBytes(kThemeName, "\"" + Cp932(name) + "\"\r\n");
    fraMain& w = start();
    auto* label = w.lblTemaMei;
    const Label::Shown shown = label->shown();
    QVERIFY(shown.font.pointSizeF() >= kFloorPoints);
    QCOMPARE(!shown.cut, whole);
    const QFontMetricsF metrics(shown.font);
    for (const QString& line : shown.lines)
        QVERIFY2(metrics.horizontalAdvance(line) <= label->contentsRect().width(), qPrintable(line));
    QVERIFY((shown.lines.size() - 1) * metrics.lineSpacing() + metrics.height() <=
            label->contentsRect().height() + 0.5);
    if (whole)
        QCOMPARE(shown.lines.join(QString()).remove(u' '), QString(name).remove(u' '));
    else
        QVERIFY(shown.lines.last().endsWith(u'…'));
    QCOMPARE(Spoken(label), name); // a screen reader hears it whole
}

void TestReadable::focusedGridShowsAMark_data() {
    QTest::addColumn<bool>("dark");
    QTest::newRow("light") << false;
    QTest::newRow("dark") << true;
}

// The grid with the focus draws a frame in the highlight colour; the other draws none.
void TestReadable::focusedGridShowsAMark() {
    QFETCH(bool, dark);
    if (dark)
        QApplication::setPalette(DarkDesktopPalette());
    WriteBytes(kLedgerName, Deposit(u"a"_s, "1"));
    WriteBytes(kItemsName, Item(u"a"_s, "1"));
    fraMain& w = start();
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const QColor mark = w.palette().color(QPalette::Active, QPalette::Highlight);
    auto edge = [](Grid* grid) { // the middle of the viewport's right edge
        const QImage image = grid->grab().toImage();
        const QRect viewport = grid->viewport()->geometry();
        return image.pixelColor(QPoint(viewport.right() - 1, viewport.center().y()) * image.devicePixelRatio());
    };
    for (Grid* grid : {w.msgChingin, w.msgChinKou}) {
        Grid* other = grid == w.msgChingin ? w.msgChinKou : w.msgChingin;
        grid->setFocus();
        QTRY_VERIFY(grid->hasFocus());
        QCOMPARE(edge(grid), mark);
        QVERIFY(edge(other) != mark);
    }
    // No theme: the label is still called something.
    QCOMPARE(Spoken(w.lblTemaMei), messages::NoThemeName());
    QApplication::setPalette(QPalette());
}

QTEST_MAIN(TestReadable)
#include "tst_readable.moc"
