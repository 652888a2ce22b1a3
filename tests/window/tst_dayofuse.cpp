// A whole day of use through real key presses, clicks and message boxes, then a restart from the files.
#include "app/app.h"
#include "testsupport.h"
#include "widgets/controls.h"
#include "widgets/dialogs.h"
#include "widgets/grid.h"
#include "window/fraMain.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Types text key by key; QTest::keyClicks takes ASCII only.
void Type(QWidget* widget, const QString& text) {
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

QStringList Rows(const Grid& grid) {
    QStringList rows;
    for (int r = 0; r < grid.Rows(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid.Cols(); ++c)
            cells << grid.cell(r, c);
        rows << cells.join(u'|');
    }
    return rows;
}

} // namespace

class TestDayOfUse : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpApplication(*qApp); }
    void aWholeDay();
};

void TestDayOfUse::aWholeDay() {
    ScopedWorkDir dir;
    WriteBytes("項目１.txt", Cp932(u"\"タクシーを使ったつもり\",690\r\n\"晩酌\",50\r\n"_s));
    WriteBytes("テーマ名１.txt", Cp932(u"\"つもり貯金\"\r\n"_s));
    QtDialogs dialogs;
    auto w = std::make_unique<fraMain>(dialogs);
    QVERIFY(LoadPastStarter(*w));
    QApplication::setActiveWindow(w.get()); // the closed welcome window does not give activation back offscreen
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    std::vector<SeenBox> seen;

    // Pick an item and deposit it with the button: nothing is asked.
    QTest::mouseClick(w->msgChinKou->viewport(), Qt::LeftButton, {}, CellCentre(*w->msgChinKou, 1));
    QCOMPARE(w->txtChinKou->text(), u"タクシーを使ったつもり"_s);
    QCOMPARE(w->txtChin_Inp->text(), u"690"_s);
    QTest::mouseClick(w->cmdChinHozon, Qt::LeftButton);
    QCOMPARE(w->lblChin_cnt->text(), u"1"_s);

    // Type a new item, Enter, an amount, Enter; register it.
    w->txtChinKou->setFocus();
    Type(w->txtChinKou, u"コーヒーを我慢したつもり"_s);
    QTest::keyClick(w->txtChinKou, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), w->txtChin_Inp);
    QTest::keyClicks(w->txtChin_Inp, u"150"_s);
    AnswerNextBox(QMessageBox::Yes, seen);
    QTest::keyClick(w->txtChin_Inp, Qt::Key_Return);
    QTRY_COMPARE(seen.size(), std::size_t(1));
    QCOMPARE(seen[0].title, u"項目登録確認"_s);
    QVERIFY(seen[0].text.startsWith(u"新規の項目ですが"_s));
    QCOMPARE(w->focusWidget(), w->txtChinKou); // the window's focus, wherever the box left activation
    QVERIFY(w->txtChinKou->text().isEmpty() && w->txtChin_Inp->text().isEmpty());
    QCOMPARE(w->msgChinKou->Rows(), 4);

    // Delete the second item by double-click.
    const QPoint second = CellCentre(*w->msgChinKou, 2);
    AnswerNextBox(QMessageBox::Ok, seen);
    QTest::mouseClick(w->msgChinKou->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(w->msgChinKou->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseRelease(w->msgChinKou->viewport(), Qt::LeftButton, {}, second);
    QTRY_COMPARE(seen.size(), std::size_t(2));
    QCOMPARE(seen[1].title, u"削除確認"_s);
    QCOMPARE(seen[1].text, u"晩酌 の項目を削除してもいいですか？\n"_s);
    QCOMPARE(w->msgChinKou->Rows(), 3);

    const QStringList ledger = Rows(*w->msgChingin);
    const QStringList items = Rows(*w->msgChinKou);
    const QString totals = w->lblChin_cnt->text() + w->lblChin_zen->text();
    QCOMPARE(totals, u"2¥840"_s);
    w.reset();

    // A new start shows the same state, read from the files.
    w = std::make_unique<fraMain>(dialogs);
    QVERIFY(LoadPastStarter(*w));
    QCOMPARE(Rows(*w->msgChingin), ledger);
    QCOMPARE(Rows(*w->msgChinKou), items);
    QCOMPARE(w->lblChin_cnt->text() + w->lblChin_zen->text(), totals);
    QCOMPARE(w->lblTemaMei->text(), u"つもり貯金"_s);
    QCOMPARE(ReadBytes("項目１.txt"),
             Cp932(u"\"タクシーを使ったつもり\",690\r\n\"コーヒーを我慢したつもり\",150\r\n"_s));
}

QTEST_MAIN(TestDayOfUse)
#include "tst_dayofuse.moc"
