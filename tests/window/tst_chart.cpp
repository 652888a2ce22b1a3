// The goal and the chart of the savings, on the real main window: the bar on the main window after every kind of
// change, the one deposit that is celebrated, the goal file kept whole, the chart window by keyboard and screen
// reader, and the ledger saved as CSV.
#include "app/app.h"
#include "testsupport.h"
#include "widgets/chart_view.h"
#include "widgets/controls.h"
#include "widgets/goal_bar.h"
#include "widgets/grid.h"
#include "window/chart_window.h"
#include "window/fraMain.h"
#include "window/ledger.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Answer = Dialogs::Answer;

namespace {

const char* const kGoalName = "目標１.txt";

QByteArray Dated(const QString& date, const QString& item, const char* amount) {
    return Cp932(u"\"%1\",\"%2\","_s.arg(date, item)) + amount + "\r\n";
}

// Three months and a deposit whose date was edited by hand.
const QByteArray kThreeMonths = Dated(u"2026年10月05日"_s, u"A"_s, "100") +
                                Dated(u"2026年11月05日"_s, u"B"_s, "200.5") + Dated(u"きのう"_s, u"C"_s, "7") +
                                Dated(u"2026年12月01日"_s, u"D"_s, "-50");

// Asked messages with this title.
int Asked(const ScriptedDialogs& dialogs, const QString& title) {
    return static_cast<int>(std::count_if(dialogs.asked.begin(), dialogs.asked.end(),
                                          [&title](const ScriptedDialogs::Asked& a) { return a.title == title; }));
}

} // namespace

class TestChart : public QObject, MainWindowTest {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpApplication(*qApp); }
    void init() { initWindowTest(); }
    void cleanup() { cleanupWindowTest(); }
    void barFollowsTheLedger_data();
    void barFollowsTheLedger();
    void onlyTheDepositThatReachesItIsCelebrated();
    void goalSetAndRemoved_data();
    void goalSetAndRemoved();
    void damagedGoalFileIsKept_data();
    void damagedGoalFileIsKept();
    void goalChangedOutside();
    void chartFollowsTheLedger_data();
    void chartFollowsTheLedger();
    void fullLedger();
    void redrawnAfterADepositAsDrawnWhole();
    void byKeyboard();
    void csvSaved_data();
    void csvSaved();
    void spokenOf();

private:
    // One step, as the user takes it: "deposit AMOUNT", "delete ROW", "clear", "goal TEXT", "outside BYTES",
    // "today YYYY-MM-DD".
    void run(const QString& step);
    void press(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
};

void TestChart::run(const QString& step) {
    fraMain& w = *m_window;
    const QString verb = step.section(u' ', 0, 0), what = step.section(u' ', 1);
    if (verb == u"deposit") {
        w.txtChinKou->setText(u"A"_s);
        w.txtChin_Inp->setText(what);
        w.cmdChinHozon_Click();
    } else if (verb == u"delete") {
        m_dialogs->answer(Answer::Ok);
        w.msgChingin->setRow(what.toInt());
        w.msgChingin_DblClick();
    } else if (verb == u"clear") {
        m_dialogs->answer(Answer::Ok);
        w.cmdChinClr_Click();
    } else if (verb == u"goal") {
        if (what == u"0")
            m_dialogs->answer(Answer::Ok);
        QVERIFY(w.SaveGoal(what));
    } else if (verb == u"outside") {
        WriteBytes(".new", Cp932(what).replace("|", "\r\n"));
        QCOMPARE(std::rename(".new", kLedgerName), 0);
        for (int i = 0; i < 1000 && w.ChinCnt != Cp932(what).count('|'); ++i)
            QCoreApplication::processEvents();
    } else if (verb == u"today") {
        const QDate date = QDate::fromString(what, Qt::ISODate);
        w.setClock([date] { return records::CalendarDate{date.year(), date.month(), date.day()}; });
    }
}

void TestChart::press(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    if (QApplication::activeWindow() != window)
        QApplication::setActiveWindow(window);
    QTRY_VERIFY(QApplication::focusWidget() != nullptr);
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

void TestChart::barFollowsTheLedger_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("words");
    QTest::newRow("start") << QStringList{} << 30 << u"目標 ¥10,000 まで あと ¥7,000"_s;
    QTest::newRow("deposit") << QStringList{u"deposit 2345.5"_s} << 53 << u"目標 ¥10,000 まで あと ¥4,654.5"_s;
    QTest::newRow("deletion") << QStringList{u"delete 1"_s} << 20 << u"目標 ¥10,000 まで あと ¥8,000"_s;
    QTest::newRow("clear") << QStringList{u"clear"_s} << 0 << u"目標 ¥10,000 まで あと ¥10,000"_s;
    QTest::newRow("goal lowered") << QStringList{u"goal 3000"_s} << 100 << u"目標 ¥3,000 達成！"_s;
    QTest::newRow("goal raised") << QStringList{u"goal ¥4,000"_s} << 75 << u"目標 ¥4,000 まで あと ¥1,000"_s;
    QTest::newRow("goal removed") << QStringList{u"goal 0"_s} << 0 << u"ダブルクリックで目標金額を設定"_s;
    QTest::newRow("below zero") << QStringList{u"deposit -5000"_s} << 0 << u"目標 ¥10,000 まで あと ¥12,000"_s;
    QTest::newRow("reached") << QStringList{u"deposit 7000"_s} << 100 << u"目標 ¥10,000 達成！"_s;
    QTest::newRow("read again") << QStringList{u"outside \"2026年12月07日\",\"A\",9999.9999|"_s} << 99
                                << u"目標 ¥10,000 まで あと ¥0.0001"_s;
}

void TestChart::barFollowsTheLedger() {
    QFETCH(QStringList, steps);
    QFETCH(int, percent);
    QFETCH(QString, words);
    WriteBytes(kLedgerName, Deposit(u"A"_s, "1000") + Deposit(u"B"_s, "2000"));
    WriteBytes(kItemsName, Item(u"A"_s, "1"));
    WriteBytes(kGoalName, "10000\r\n");
    fraMain& w = start();
    for (const QString& step : steps)
        run(step);
    QCOMPARE(w.prgMokuhyou->value(), percent);
    QCOMPARE(w.prgMokuhyou->words(), words);
    QCOMPARE(w.prgMokuhyou->hasGoal(), !words.startsWith(u"ダブル"_s));
    QCOMPARE(QAccessible::queryAccessibleInterface(w.prgMokuhyou)->valueInterface()->currentValue().toInt(), percent);
    // The words fit the panel in the face they are drawn in.
    QVERIFY(QFontMetrics(w.prgMokuhyou->wordsFont()).horizontalAdvance(words) <= w.prgMokuhyou->width());
}

// The deposit that takes the total from below the goal to it is told of once; nothing else repeats it.
void TestChart::onlyTheDepositThatReachesItIsCelebrated() {
    WriteBytes(kLedgerName, Deposit(u"A"_s, "400"));
    WriteBytes(kItemsName, Item(u"A"_s, "1"));
    WriteBytes(kGoalName, "1000\r\n");
    start();
    const std::vector<std::pair<QString, int>> steps = {
        {u"deposit 500"_s, 0}, {u"deposit 100"_s, 1}, {u"deposit 100"_s, 1}, {u"goal 1100"_s, 1},
        {u"goal 900"_s, 1},    {u"delete 4"_s, 1},    {u"delete 3"_s, 1},    {u"delete 2"_s, 1},
        {u"deposit 50"_s, 1},  {u"deposit 500"_s, 2}, {u"deposit 1"_s, 2},
    };
    for (const auto& [step, told] : steps) {
        run(step);
        QVERIFY2(Asked(*m_dialogs, u"目標達成"_s) == told, qPrintable(step));
    }
    const auto told = std::find_if(m_dialogs->asked.begin(), m_dialogs->asked.end(),
                                   [](const ScriptedDialogs::Asked& a) { return a.title == u"目標達成"_s; });
    QCOMPARE(told->text, u"おめでとうございます！\r\n貯金の合計が目標の ¥1,000 に届きました。"_s);
    QCOMPARE(told->icon, Dialogs::Icon::Information);
    QCOMPARE(told->buttons, Dialogs::Buttons::Ok);
}

void TestChart::goalSetAndRemoved_data() {
    QTest::addColumn<bool>("inChart"); // the chart window's field, or the input box of a double-click on the bar
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("answer"); // to the question of removing it: -1 none
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("warning");
    const QByteArray kept = "5000\r\n";
    QTest::newRow("input box") << false << u"80,000円"_s << -1 << QByteArray("80000\r\n") << QString();
    QTest::newRow("field") << true << u"１２，５００"_s << -1 << QByteArray("12500\r\n") << QString();
    QTest::newRow("fraction") << true << u"12.5"_s << -1 << QByteArray("12.5\r\n") << QString();
    QTest::newRow("same goal") << false << u"5000"_s << -1 << kept << QString();
    QTest::newRow("cancelled input") << false << QString() << -1 << kept << QString();
    QTest::newRow("not a number") << true << u"8万"_s << -1 << kept << u"目標金額は数字で入力してください。"_s;
    QTest::newRow("five decimals") << false << u"1.23456"_s << -1 << kept
                                   << u"金額は小数点以下 4 桁までで入力してください。"_s;
    QTest::newRow("negative") << true << u"-100"_s << -1 << kept
                              << u"目標金額には 0 より大きい金額を入力してください。"_s;
    QTest::newRow("too large") << false << u"99999999999999999"_s << -1 << kept
                               << u"金額が大きすぎます。922,337,203,685,477 円までで入力してください。"_s;
    QTest::newRow("0 removes") << false << u"0"_s << int(Answer::Ok) << QByteArray() << QString();
    QTest::newRow("emptied field removes") << true << QString() << int(Answer::Ok) << QByteArray() << QString();
    QTest::newRow("removal cancelled") << true << u"0"_s << int(Answer::Cancel) << kept << QString();
}

void TestChart::goalSetAndRemoved() {
    QFETCH(bool, inChart);
    QFETCH(QString, typed);
    QFETCH(int, answer);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, warning);
    WriteBytes(kLedgerName, Deposit(u"A"_s, "1"));
    WriteBytes(kGoalName, "5000\r\n");
    fraMain& w = start();
    if (answer >= 0)
        m_dialogs->answer(Answer(answer));
    if (inChart) {
        w.cmdSuii_Click();
        frmSuii& chart = *w.chartWindow();
        QCOMPARE(chart.txtMokuhyou->text(), u"5000"_s);
        chart.txtMokuhyou->clear();
        chart.txtMokuhyou->insert(typed); // as typed: full-width digits come from an input method, not a key
        QTest::keyClick(chart.txtMokuhyou, Qt::Key_Return);
        QCOMPARE(chart.txtMokuhyou->text(),
                 warning.isEmpty() && answer != int(Answer::Cancel) ? QString::fromUtf8(bytes).trimmed() : typed);
    } else {
        m_dialogs->answerInput(typed);
        w.prgMokuhyou_DblClick();
        QCOMPARE(m_dialogs->asked.front().title, u"目標金額入力"_s);
    }
    QCOMPARE(ReadBytes(kGoalName), bytes);
    QCOMPARE(Asked(*m_dialogs, u"入力の確認"_s), warning.isEmpty() ? 0 : 1);
    if (!warning.isEmpty())
        QCOMPARE(m_dialogs->asked.back().text, warning);
    if (answer >= 0)
        QCOMPARE(m_dialogs->asked.back().text, u"目標金額 ¥5,000 を取り消してもいいですか？\r\n"_s);
    // What the window shows is what a restart reads.
    const QString shown = w.prgMokuhyou->words();
    m_window.reset();
    QCOMPARE(start().prgMokuhyou->words(), shown);
}

void TestChart::damagedGoalFileIsKept_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("told");
    QTest::newRow("not a number") << QByteArray("abc\r\n") << u"「目標１.txt」を読み込めません。\r\n1 行目: "_s;
    QTest::newRow("two goals") << QByteArray("1\r\n2\r\n") << u"「目標１.txt」を読み込めません。\r\n2 行目: "_s;
    QTest::newRow("a folder") << QByteArray("/") << u"「目標１.txt」を開けません。\r\n"_s;
}

// A goal file that does not read is told of, not shown and never written over, until it reads whole again.
void TestChart::damagedGoalFileIsKept() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, told);
    WriteBytes(kLedgerName, Deposit(u"A"_s, "1"));
    if (bytes == "/")
        QVERIFY(::mkdir(kGoalName, 0700) == 0);
    else
        WriteBytes(kGoalName, bytes);
    fraMain& w = start();
    QCOMPARE(Asked(*m_dialogs, u"ファイルエラー"_s), 1);
    QVERIFY2(m_dialogs->asked.back().text.startsWith(told), qPrintable(m_dialogs->asked.back().text));
    QCOMPARE(w.prgMokuhyou->words(), u"目標１.txt を読み込めません"_s);
    QVERIFY(!w.SaveGoal(u"9000"_s));
    QCOMPARE(Asked(*m_dialogs, u"ファイルエラー"_s), 2);
    run(u"deposit 5"_s);
    QCOMPARE(w.ChinCnt, qint16(2));
    if (bytes == "/") {
        QVERIFY(::rmdir(kGoalName) == 0);
    } else {
        QCOMPARE(ReadBytes(kGoalName), bytes);
        WriteBytes(".fixed", "7000\r\n"); // put right by the user
        QCOMPARE(std::rename(".fixed", kGoalName), 0);
    }
    QVERIFY(w.SaveGoal(u"9000"_s));
    QCOMPARE(ReadBytes(kGoalName), QByteArray("9000\r\n"));
    QCOMPARE(w.prgMokuhyou->words(), u"目標 ¥9,000 まで あと ¥8,994"_s);
}

// A goal file another program changed is shown as it is now and never written over; while the window is idle,
// the folder's watch shows it by itself.
void TestChart::goalChangedOutside() {
    WriteBytes(kLedgerName, Deposit(u"A"_s, "1"));
    WriteBytes(kGoalName, "5000\r\n");
    fraMain& w = start();
    w.cmdSuii_Click();
    const struct {
        const char* bytes;
        QString words;
    } changes[] = {{"6000\r\n", u"目標 ¥6,000 まで あと ¥5,999"_s}, {"8000\r\n", u"目標 ¥8,000 まで あと ¥7,999"_s}};
    for (const auto& change : changes) {
        WriteBytes(".new", change.bytes);
        QCOMPARE(std::rename(".new", kGoalName), 0);
        if (&change == changes) { // before a write: refused, and told
            QVERIFY(!w.SaveGoal(u"7000"_s));
            QCOMPARE(m_dialogs->asked.back().title, u"ファイルの変更"_s);
            QVERIFY(m_dialogs->asked.back().text.startsWith(u"「目標１.txt」が他のプログラムで変更されたので"_s));
        }
        for (int i = 0; i < 1000 && w.prgMokuhyou->words() != change.words; ++i) // while idle: by the watch
            QCoreApplication::processEvents();
        QCOMPARE(w.prgMokuhyou->words(), change.words);
        QCOMPARE(w.chartWindow()->txtMokuhyou->text() + u"\r\n"_s, QString::fromLatin1(change.bytes));
        QCOMPARE(ReadBytes(kGoalName), QByteArray(change.bytes));
    }
}

void TestChart::chartFollowsTheLedger_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("months");
    QTest::addColumn<QString>("undated");
    const QString oct = u"2026年10月\t1\t100\t100"_s, nov = u"2026年11月\t1\t200.5\t300.5"_s;
    const QString undated = u"日付が読めない記録が 1 件（合計 ¥7）あり、グラフと表には入れていません。"_s;
    QTest::newRow("opened") << QStringList{} << QStringList{oct, nov, u"2026年12月\t1\t-50\t250.5"_s} << undated;
    QTest::newRow("deposit") << QStringList{u"deposit 1000"_s} << QStringList{oct, nov, u"2026年12月\t2\t950\t1250.5"_s}
                             << undated;
    QTest::newRow("deletion") << QStringList{u"delete 1"_s}
                              << QStringList{u"2026年11月\t1\t200.5\t200.5"_s, u"2026年12月\t1\t-50\t150.5"_s}
                              << undated;
    QTest::newRow("deletion of the undated")
        << QStringList{u"delete 3"_s} << QStringList{oct, nov, u"2026年12月\t1\t-50\t250.5"_s} << QString();
    QTest::newRow("clear") << QStringList{u"clear"_s} << QStringList{} << QString();
    QTest::newRow("a new month") << QStringList{u"today 2027-01-03"_s, u"deposit 10"_s}
                                 << QStringList{oct, nov, u"2026年12月\t1\t-50\t250.5"_s, u"2027年1月\t1\t10\t260.5"_s}
                                 << undated;
    QTest::newRow("read again") << QStringList{u"outside \"2026年09月30日\",\"Z\",5|"_s}
                                << QStringList{u"2026年9月\t1\t5\t5"_s, u"2026年10月\t0\t0\t5"_s,
                                               u"2026年11月\t0\t0\t5"_s, u"2026年12月\t0\t0\t5"_s}
                                << QString();
}

// Open while the ledger changes, the chart and its table show every month from the first to today's.
void TestChart::chartFollowsTheLedger() {
    QFETCH(QStringList, steps);
    QFETCH(QStringList, months);
    QFETCH(QString, undated);
    WriteBytes(kLedgerName, kThreeMonths);
    WriteBytes(kItemsName, Item(u"A"_s, "1"));
    fraMain& w = start();
    w.cmdSuii_Click();
    frmSuii& chart = *w.chartWindow();
    for (const QString& step : steps)
        run(step);
    QList<int> rows;
    for (int row = 0; row < chart.msgTsuki->model()->rowCount(); ++row)
        rows << row;
    QCOMPARE(chart.monthsAsTabSeparated(rows), (QStringList{u"月\t回数\t入金\t累計"_s} + months).join(u'\n') + u'\n');
    QCOMPARE(chart.lblYomenai->text(), undated);
    // The newest month is the current one, in the chart and in the table.
    QCOMPARE(chart.picSuii->current(), int(months.size()) - 1);
    QCOMPARE(KeptCurrent(chart.msgTsuki).row(), int(months.size()) - 1);
    // The same as a window opened now.
    const QString followed = chart.monthsAsTabSeparated(rows);
    delete &chart;
    w.cmdSuii_Click();
    QCOMPARE(w.chartWindow()->monthsAsTabSeparated(rows), followed);
}

// The largest ledger the program keeps, in one month: every deposit counted, every fraction summed.
void TestChart::fullLedger() {
    QByteArray ledger;
    for (int i = 0; i < fraMain::kMaxDeposits; ++i)
        ledger += Deposit(u"A"_s, i % 2 ? "1.25" : "-0.5");
    WriteBytes(kLedgerName, ledger);
    fraMain& w = start();
    w.cmdSuii_Click();
    QCOMPARE(w.chartWindow()->monthsAsTabSeparated({0}),
             u"月\t回数\t入金\t累計\n2026年12月\t32766\t12287.25\t12287.25\n"_s);
}

// After a deposit the chart draws only the newest month again, unless the scales changed: what the window then
// shows is what the chart drawn whole shows.
void TestChart::redrawnAfterADepositAsDrawnWhole() {
    WriteBytes(kLedgerName, kThreeMonths);
    WriteBytes(kItemsName, Item(u"A"_s, "1"));
    fraMain& w = start();
    w.cmdSuii_Click();
    frmSuii& chart = *w.chartWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    for (const char* amount : {"30", "-12.5", "5000", "1"}) {
        run(u"deposit "_s + QString::fromLatin1(amount));
        QCoreApplication::sendPostedEvents(&chart, QEvent::UpdateRequest);
        const QRect place(chart.picSuii->mapTo(&chart, QPoint()), chart.picSuii->size());
        const QImage shown = chart.screen()->grabWindow(chart.winId()).toImage().copy(place);
        QCOMPARE(shown.convertToFormat(QImage::Format_RGB32),
                 chart.picSuii->grab().toImage().convertToFormat(QImage::Format_RGB32));
    }
}

// F3, the arrow keys through the months, Tab to the table, Ctrl+C, the goal field and Esc, by keys alone.
void TestChart::byKeyboard() {
    WriteBytes(kLedgerName, kThreeMonths);
    fraMain& w = start();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    press(&w, Qt::Key_F3);
    frmSuii* chart = w.chartWindow();
    QVERIFY(chart && chart->isVisible());
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(chart->picSuii));
    const std::vector<std::pair<Qt::Key, QString>> moves = {
        {Qt::Key_Left, u"2026年11月　入金 1 回　¥200.5　累計 ¥300.5"_s},
        {Qt::Key_Home, u"2026年10月　入金 1 回　¥100　累計 ¥100"_s},
        {Qt::Key_Left, u"2026年10月　入金 1 回　¥100　累計 ¥100"_s},
        {Qt::Key_End, u"2026年12月　入金 1 回　-¥50　累計 ¥250.5"_s},
        {Qt::Key_Left, u"2026年11月　入金 1 回　¥200.5　累計 ¥300.5"_s},
    };
    for (const auto& [key, shown] : moves) {
        press(chart, key);
        QCOMPARE(chart->lblTsuki->text(), shown);
        QCOMPARE(chart->picSuii->accessibleDescription(), shown);
    }
    press(chart, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(chart->msgTsuki));
    QCOMPARE(chart->msgTsuki->currentIndex().row(), 1);
    press(chart, Qt::Key_Down);
    QCOMPARE(chart->picSuii->current(), 2);
    press(chart, Qt::Key_Up, Qt::ShiftModifier);
    press(chart, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             u"月\t回数\t入金\t累計\n2026年11月\t1\t200.5\t300.5\n2026年12月\t1\t-50\t250.5\n"_s);
    press(chart, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(chart->txtMokuhyou));
    QTest::keyClicks(chart->txtMokuhyou, u"1000"_s);
    press(chart, Qt::Key_Return);
    QCOMPARE(ReadBytes(kGoalName), QByteArray("1000\r\n"));
    QCOMPARE(w.prgMokuhyou->words(), u"目標 ¥1,000 まで あと ¥742.5"_s);
    QCOMPARE(chart->lblMikomi->text(),
             u"目標 ¥1,000 まで あと ¥742.5。このペースなら 2027年9月に達成（ここ 3 か月の平均 月 ¥83）"_s);
    press(chart, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(chart->cmdCsvHozon));
    press(chart, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(chart->cmdTojiru));
    press(chart, Qt::Key_Escape);
    QTRY_VERIFY(w.chartWindow() == nullptr); // closed, and gone
}

void TestChart::csvSaved_data() {
    QTest::addColumn<QString>("target"); // in the test's folder; empty: the dialog is cancelled
    QTest::addColumn<QString>("title");  // of the box that follows; empty: none
    QTest::newRow("chosen file") << u"sub/貯金の記録.csv"_s << u"CSV で保存"_s;
    QTest::newRow("over an older one") << u"sub/old.csv"_s << u"CSV で保存"_s;
    QTest::newRow("cancelled") << QString() << QString();
    QTest::newRow("the ledger's name") << u"テーマ１.TXT"_s << u"ファイルエラー"_s;
    QTest::newRow("the goal file's name") << u"目標１.txt"_s << u"ファイルエラー"_s;
    QTest::newRow("a link to the ledger") << u"sub/link.csv"_s << u"ファイルエラー"_s;
}

void TestChart::csvSaved() {
    QFETCH(QString, target);
    QFETCH(QString, title);
    const QByteArray ledger = kThreeMonths + Deposit(u"コンマ,入り ¥"_s, "0.0001");
    WriteBytes(kLedgerName, ledger);
    QVERIFY(QDir().mkdir(u"sub"_s));
    WriteBytes("sub/old.csv", "older\r\n");
    QVERIFY(::link(kLedgerName, "sub/link.csv") == 0);
    fraMain& w = start();
    w.cmdSuii_Click();
    m_dialogs->answerSaveFileName(target.isEmpty() ? QString() : m_dir->path() + u'/' + target);
    w.chartWindow()->cmdCsvHozon_Click();
    QCOMPARE(ReadBytes(kLedgerName), ledger);
    QCOMPARE(FileExists(kGoalName), false);
    QCOMPARE(m_dialogs->asked.back().title, title.isEmpty() ? u"CSV で保存"_s : title); // the dialog, or its box
    if (title != u"CSV で保存")
        return;
    bool ok = false;
    const QList<QStringList> rows = ReadCsv(ReadBytes(target.toUtf8().constData()), ok);
    QVERIFY(ok);
    QCOMPARE(rows, (QList<QStringList>{
                       {u"日付"_s, u"項目"_s, u"金額"_s, u"累計"_s},
                       {u"2026年10月05日"_s, u"A"_s, u"100"_s, u"100"_s},
                       {u"2026年11月05日"_s, u"B"_s, u"200.5"_s, u"300.5"_s},
                       {u"きのう"_s, u"C"_s, u"7"_s, u"307.5"_s},
                       {u"2026年12月01日"_s, u"D"_s, u"-50"_s, u"257.5"_s},
                       {u"2026年12月07日"_s, u"コンマ,入り ¥"_s, u"0.0001"_s, u"257.5001"_s},
                   }));
    QCOMPARE(m_dialogs->asked.back().text, u"5 件の記録を「%1」に保存しました。"_s.arg(m_dir->path() + u'/' + target));
}

// What a screen reader hears of the bar and of the chart window.
void TestChart::spokenOf() {
    WriteBytes(kLedgerName, kThreeMonths);
    WriteBytes(kGoalName, "1000\r\n");
    fraMain& w = start();
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(w.prgMokuhyou);
    QCOMPARE(bar->role(), QAccessible::ProgressBar);
    QCOMPARE(bar->text(QAccessible::Name), u"目標"_s);
    QCOMPARE(bar->text(QAccessible::Description), u"目標 ¥1,000 まで あと ¥742.5"_s);
    QCOMPARE(bar->valueInterface()->currentValue().toInt(), 25);
    w.cmdSuii_Click();
    frmSuii& chart = *w.chartWindow();
    QCOMPARE(QAccessible::queryAccessibleInterface(&chart)->text(QAccessible::Name), u"貯金の推移"_s);
    const struct {
        QWidget* widget;
        QAccessible::Role role;
        QString name;
        QString description;
    } spoken[] = {
        {chart.picSuii, QAccessible::Chart, u"貯金の推移のグラフ"_s, u"2026年12月　入金 1 回　-¥50　累計 ¥250.5"_s},
        {chart.msgTsuki, QAccessible::Table, u"月ごとの入金"_s,
         u"Ctrl+C で、選んだ月を表計算ソフトに貼り付けられる形でコピーします"_s},
        {chart.txtMokuhyou, QAccessible::EditableText, u"目標金額"_s,
         u"金額を入れて Enter キーで保存します。0 で目標を取り消します"_s},
        {chart.cmdCsvHozon, QAccessible::Button, u"CSV で保存"_s,
         u"記録を表計算ソフトで開ける CSV ファイルに保存します"_s},
        {chart.cmdTojiru, QAccessible::Button, u"閉じる"_s, QString()},
    };
    for (const auto& s : spoken) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(s.widget);
        QVERIFY2(iface->role() == s.role, qPrintable(s.name));
        QCOMPARE(iface->text(QAccessible::Name), s.name);
        QCOMPARE(iface->text(QAccessible::Description), s.description);
    }
    QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(chart.msgTsuki)->tableInterface();
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->columnDescription(3), u"累計"_s);
    QCOMPARE(table->cellAt(1, 2)->text(QAccessible::Name), u"¥200.5"_s);
}

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
