// Every operation by the keyboard alone, on the real window with the real boxes, and the window as a screen
// reader reads it through Qt's accessibility interfaces.
#include "app/app.h"
#include "help/help_viewer.h"
#include "testsupport.h"
#include "widgets/controls.h"
#include "widgets/dialogs.h"
#include "widgets/goal_bar.h"
#include "widgets/grid.h"
#include "window/fraMain.h"

#include <QPushButton>
#include <QToolButton>

#include <QAccessible>
#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Once the next modal box is open: for a message box, records its text and presses a key (Enter takes the
// default button, Esc cancels); for the input box, types text and presses Enter.
void KeysForNextBox(Qt::Key key, const QString& typed, QStringList& seen) {
    QTimer::singleShot(0, [key, typed, &seen] {
        QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
        QWidget* box = QApplication::activeModalWidget();
        if (auto* message = qobject_cast<QMessageBox*>(box)) {
            seen << message->text();
            QTest::keyClick(message, key);
        } else if (auto* input = qobject_cast<QInputDialog*>(box)) {
            seen << input->labelText();
            auto* field = input->findChild<QLineEdit*>();
            QTRY_VERIFY(field->hasFocus());
            QTest::keyClicks(field, typed);
            QTest::keyClick(field, key);
        }
    });
}

struct Spoken {
    const char16_t* object;
    QAccessible::Role role;
    const char16_t* name; // nullptr: the control's text
    const char16_t* description;
    const char16_t* labelledBy; // nullptr: no label
};

// What a screen reader hears of each control of the main window.
const Spoken kSpoken[] = {
    {u"cmdChinHozon", QAccessible::PushButton, u"入金", u"表示中の項目と金額で貯金します", nullptr},
    {u"cmdChinClr", QAccessible::PushButton, u"クリア", u"これまでのデータを削除します", nullptr},
    {u"cmdHelp", QAccessible::PushButton, u"ヘルプ", u"ヘルプファイルを開きます", nullptr},
    {u"cmdsyoukai", QAccessible::PushButton, u"プロ", u"ヘルプファイルを開きます", nullptr},
    {u"cmdEnd", QAccessible::PushButton, u"終了", u"プログラムを終了します", nullptr},
    {u"cmdChinClr2", QAccessible::PushButton, u"項目全クリア", u"登録されている項目を全て削除します", nullptr},
    {u"cmdSuii", QAccessible::PushButton, u"貯金の推移", u"貯金の推移と目標までの見込みをグラフで表示します", nullptr},
    {u"prgMokuhyou", QAccessible::ProgressBar, u"目標", u"ダブルクリックで目標金額を設定", nullptr},
    {u"txtChinKou", QAccessible::EditableText, u"項目", u"リストにない項目を入力、追加できます", u"Label1_1"},
    {u"txtChin_Inp", QAccessible::EditableText, u"金額", u"金額を入力してください", u"Label1_2"},
    {u"msgChingin", QAccessible::Table, u"貯金の記録", u"ダブルクリックで選択した行を削除できます", nullptr},
    {u"msgChinKou", QAccessible::Table, u"項目リスト", u"ダブルクリックで選択した項目を削除できます", nullptr},
    {u"lblChin_cnt", QAccessible::StaticText, nullptr, u"", u"Label1_5"},
    {u"lblChin_zen", QAccessible::StaticText, nullptr, u"", u"Label1_4"},
    {u"lblTemaMei", QAccessible::StaticText, nullptr, u"ダブルクリックでテーマ名を変更できます", nullptr},
    {u"Image2", QAccessible::Graphic, u"ツモっと貯めよう！", u"", nullptr},
    {u"imgTema1", QAccessible::Graphic, u"テーマのイラスト", u"ダブルクリックでテーマ名を変更できます", nullptr},
};

} // namespace

class TestAccessible : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpApplication(*qApp); }
    void init();
    void cleanup();
    void depositAndDeleteByKeys();
    void itemsPickedAndDeletedByKeys();
    void themeChangedByF2();
    void helpOpensByF1();
    void tabOrderStays();
    void everyControlIsSpokenOfByItsName();

private:
    fraMain& start();
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    std::unique_ptr<ScopedWorkDir> m_dir;
    QtDialogs m_dialogs;
    std::unique_ptr<fraMain> m_window;
};

void TestAccessible::init() {
    m_dir = std::make_unique<ScopedWorkDir>();
}

void TestAccessible::cleanup() {
    help::HtmlHelp(nullptr, QString(), help::Command::CloseAll);
    m_window.reset();
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    m_dir.reset();
}

fraMain& TestAccessible::start() {
    m_window = std::make_unique<fraMain>(m_dialogs);
    m_window->setClock([] { return records::CalendarDate{2026, 12, 7}; });
    if (!m_window->Form_Load())
        qFatal("start-up failed");
    QApplication::setActiveWindow(m_window.get());
    if (!QTest::qWaitForWindowActive(m_window.get()))
        qFatal("the main window did not become active");
    return *m_window;
}

// A key as the user presses it: to whatever has the focus.
void TestAccessible::press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    // After a modal box a window manager gives the window back its activation; offscreen there is none.
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr || QApplication::focusWidget() != nullptr);
    if (!QApplication::activeWindow())
        QApplication::setActiveWindow(m_window.get());
    QTRY_VERIFY(QApplication::focusWidget() != nullptr);
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

void TestAccessible::depositAndDeleteByKeys() {
    WriteBytes(kLedgerName, Deposit(u"A"_s, "1") + Deposit(u"B"_s, "2") + Deposit(u"C"_s, "3"));
    WriteBytes(kItemsName, "\"A\",1\r\n");
    fraMain& w = start();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.txtChinKou));
    QTest::keyClicks(w.txtChinKou, u"Taxi"_s);
    press(Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.txtChin_Inp));
    QTest::keyClicks(w.txtChin_Inp, u"690"_s);
    QStringList seen;
    KeysForNextBox(Qt::Key_Escape, {}, seen); // the registration question: No
    press(Qt::Key_Return);
    QCOMPARE(seen.size(), 1);
    QCOMPARE(ReadBytes(kLedgerName).count('\n'), 4);

    // To the ledger: Shift+Tab from the item box; Up to the second row; Delete; Enter for OK.
    press(Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.msgChingin));
    press(Qt::Key_Up);
    press(Qt::Key_Up);
    press(Qt::Key_Up);
    QCOMPARE(w.msgChingin->Row(), 1);
    press(Qt::Key_Down);
    KeysForNextBox(Qt::Key_Return, {}, seen);
    press(Qt::Key_Delete);
    QCOMPARE(seen.last(), u"2 2026年12月07日 B ¥2 のデータを削除してもいいですか？\n"_s);
    QCOMPARE(ReadBytes(kLedgerName), Deposit(u"A"_s, "1") + Deposit(u"C"_s, "3") + Deposit(u"Taxi"_s, "690"));
    // Esc answers Cancel: nothing goes.
    KeysForNextBox(Qt::Key_Escape, {}, seen);
    press(Qt::Key_Delete);
    QCOMPARE(ReadBytes(kLedgerName).count('\n'), 3);
    QCOMPARE(w.lblChin_cnt->text(), u"3"_s);
}

void TestAccessible::itemsPickedAndDeletedByKeys() {
    WriteBytes(kLedgerName, Deposit(u"A"_s, "1"));
    WriteBytes(kItemsName, "\"x\",1\r\n\"y\",2\r\n\"z\",3\r\n");
    fraMain& w = start();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.txtChinKou));
    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.msgChinKou));
    press(Qt::Key_Up);
    press(Qt::Key_Return); // picks the row, as a click does
    QCOMPARE(w.txtChinKou->text(), u"y"_s);
    QCOMPARE(w.txtChin_Inp->text(), u"2"_s);
    press(Qt::Key_Down);
    press(Qt::Key_Space);
    QCOMPARE(w.txtChinKou->text(), u"z"_s);
    QStringList seen;
    KeysForNextBox(Qt::Key_Return, {}, seen);
    press(Qt::Key_Delete);
    QCOMPARE(seen, QStringList{u"z の項目を削除してもいいですか？\n"_s});
    QCOMPARE(ReadBytes(kItemsName), QByteArray("\"x\",1\r\n\"y\",2\r\n"));
    QVERIFY(w.txtChinKou->text().isEmpty());
    // The deposit button by Tab and Enter, with the item picked by keys.
    press(Qt::Key_Up);
    press(Qt::Key_Return);
    for (int i = 0; i < 3; ++i) // past 項目全クリア and 貯金の推移
        press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.cmdChinHozon));
    press(Qt::Key_Return);
    QCOMPARE(ReadBytes(kLedgerName), Deposit(u"A"_s, "1") + Deposit(u"x"_s, "1"));
}

void TestAccessible::themeChangedByF2() {
    WriteBytes(kLedgerName, Deposit(u"A"_s, "1"));
    fraMain& w = start();
    QStringList seen;
    KeysForNextBox(Qt::Key_Return, u"Trip to Hokkaido"_s, seen);
    press(Qt::Key_F2);
    QCOMPARE(seen, QStringList{u"テーマ名を入力してください"_s});
    QCOMPARE(ReadBytes(kThemeName), QByteArray("\"Trip to Hokkaido\"\r\n"));
    QCOMPARE(w.lblTemaMei->text(), u"Trip to Hokkaido"_s);
    // Esc in the input box changes nothing.
    KeysForNextBox(Qt::Key_Escape, u"x"_s, seen);
    press(Qt::Key_F2);
    QCOMPARE(ReadBytes(kThemeName), QByteArray("\"Trip to Hokkaido\"\r\n"));
}

void TestAccessible::helpOpensByF1() {
    WriteBytes(kLedgerName, Deposit(u"A"_s, "1"));
    fraMain& w = start();
    press(Qt::Key_F1);
    QCOMPARE(w.HelpFile, u"kzHelp.chm"_s);
    QTRY_VERIFY(!VisibleHelpWindows(w).isEmpty());
}

void TestAccessible::tabOrderStays() {
    WriteBytes(kLedgerName, Deposit(u"A"_s, "1"));
    fraMain& w = start();
    const std::vector<QWidget*> order = {w.cmdChinHozon, w.cmdChinClr,  w.cmdHelp,    w.cmdsyoukai,
                                         w.cmdEnd,       w.msgChingin,  w.txtChinKou, w.txtChin_Inp,
                                         w.msgChinKou,   w.cmdChinClr2, w.cmdSuii,    w.cmdChinHozon};
    w.cmdChinHozon->setFocus();
    QTRY_VERIFY(w.cmdChinHozon->hasFocus());
    for (std::size_t i = 1; i < order.size(); ++i) {
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), order[i]);
    }
}

// One table: role, name, description and the label that names the control, read back through the
// interfaces a screen reader's bridge reads.
void TestAccessible::everyControlIsSpokenOfByItsName() {
    WriteBytes(kLedgerName, Deposit(u"A"_s, "1"));
    WriteBytes(kThemeName, Cp932(u"\"北海道旅行\"\r\n"_s));
    fraMain& w = start();
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&w);
    QCOMPARE(window->role(), QAccessible::Window);
    QCOMPARE(window->text(QAccessible::Name), u"ツモっと貯めよう！"_s);
    for (const Spoken& s : kSpoken) {
        const QString object = QString::fromUtf16(s.object);
        auto* control = w.findChild<QWidget*>(object);
        QVERIFY2(control, qPrintable(object));
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
        QVERIFY2(iface, qPrintable(object));
        QVERIFY2(iface->role() == s.role, qPrintable(object));
        const QString expectedName = s.name ? QString::fromUtf16(s.name) : qobject_cast<QLabel*>(control)->text();
        QVERIFY2(iface->text(QAccessible::Name) == expectedName,
                 qPrintable(object + u": "_s + iface->text(QAccessible::Name)));
        QVERIFY2(iface->text(QAccessible::Description) == QString::fromUtf16(s.description),
                 qPrintable(object + u": "_s + iface->text(QAccessible::Description)));
        QVERIFY2(iface->text(QAccessible::Name) != iface->text(QAccessible::Description), qPrintable(object));
        const auto labels = iface->relations(QAccessible::Label);
        if (s.labelledBy) {
            QCOMPARE(labels.size(), 1);
            QCOMPARE(labels.front().first->object()->objectName(), QString::fromUtf16(s.labelledBy));
        } else {
            QVERIFY2(labels.isEmpty(), qPrintable(object));
        }
    }
    QCOMPARE(QAccessible::queryAccessibleInterface(w.lblTemaMei)->text(QAccessible::Name), u"北海道旅行"_s);
}

QTEST_MAIN(TestAccessible)
#include "tst_accessible.moc"
