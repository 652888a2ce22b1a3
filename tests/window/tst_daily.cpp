// Daily use: deposits, the item list and the theme name, with scripted answers to their boxes.
#include "testsupport.h"
#include "widgets/controls.h"
#include "widgets/grid.h"
#include "window/fraMain.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using Answer = Dialogs::Answer;
using Buttons = Dialogs::Buttons;

namespace {

QByteArray Line(const QString& fields) {
    return Cp932(fields) + "\r\n";
}

const QByteArray kThreeItems =
    Line(u"\"タクシーを使ったつもり\",690"_s) + Line(u"\"晩酌\",50"_s) + Line(u"\"お風呂\",30.5"_s);

const QString kRegisterQuestion = u"新規の項目ですが項目リストに保存しますか？\r\n\r\n"
                                  u"保存すると次回よりリストからの選択で入力することができるようになります。"_s;

} // namespace

class TestDaily : public QObject, MainWindowTest {
    Q_OBJECT

private slots:
    void init() { initWindowTest(); }
    void cleanup() { cleanupWindowTest(); }
    void depositByButtonAndByEnter();
    void oneDepositTakesTheDateOnce();
    void pickedItemAsksNothing();
    void newItemRegisteredOnYesOnly();
    void zeroNegativeAndBlankItemsAreDeposits();
    void invalidEntriesAreIgnored_data();
    void invalidEntriesAreIgnored();
    void refusedEntriesWarnAndKeepTheBoxes_data();
    void refusedEntriesWarnAndKeepTheBoxes();
    void enterInTheItemBox();
    void deletingTheMiddleItem();
    void oneItemWarnsAndClearAllDeletesIt();
    void clearAllKeepsTheAmountAndReloadsTheTheme();
    void themeChange();
    void damagedItemListEndsTheStart();

private:
    fraMain& start();
};

fraMain& TestDaily::start() {
    fraMain& w = MainWindowTest::start();
    QApplication::setActiveWindow(&w);
    return w;
}

void TestDaily::depositByButtonAndByEnter() {
    WriteBytes(kItemsName, kThreeItems);
    fraMain& w = start();
    w.txtChinKou->setText(u"晩酌"_s);
    w.txtChin_Inp->setText(u"50"_s);
    w.cmdChinHozon_Click();
    w.txtChinKou->setText(u"お風呂"_s);
    w.txtChin_Inp->setText(u"30.5"_s);
    w.txtChin_Inp_KeyPress(13);
    QVERIFY(m_dialogs->asked.empty());
    QCOMPARE(ReadBytes(kLedgerName),
             Line(u"\"2026年12月07日\",\"晩酌\",50"_s) + Line(u"\"2026年12月07日\",\"お風呂\",30.5"_s));
    QCOMPARE(w.msgChingin->Rows(), 3);
    QCOMPARE(w.msgChingin->cell(2, 4), u"¥80.5"_s);
    QCOMPARE(w.lblChin_cnt->text(), u"2"_s);
    QCOMPARE(w.lblChin_zen->text(), u"¥80.5"_s);
    QVERIFY(w.txtChinKou->text().isEmpty() && w.txtChin_Inp->text().isEmpty());
    QCOMPARE(QApplication::focusWidget(), w.txtChinKou);
    QCOMPARE(ReadBytes(kItemsName), kThreeItems);
}

void TestDaily::oneDepositTakesTheDateOnce() {
    WriteBytes(kItemsName, kThreeItems);
    fraMain& w = start();
    // A clock that passes midnight between any two readings.
    int day = 7;
    w.setClock([&day] { return records::CalendarDate{2026, 12, day++}; });
    w.txtChinKou->setText(u"晩酌"_s);
    w.txtChin_Inp->setText(u"50"_s);
    w.cmdChinHozon_Click();
    const QString shown = w.msgChingin->cell(1, 1);
    QCOMPARE(ReadBytes(kLedgerName), Line(u"\"%1\",\"晩酌\",50"_s.arg(shown)));
}

void TestDaily::pickedItemAsksNothing() {
    WriteBytes(kItemsName, kThreeItems);
    fraMain& w = start();
    w.msgChinKou->setRow(3);
    w.msgChinKou_Click();
    QCOMPARE(w.txtChinKou->text(), u"お風呂"_s);
    QCOMPARE(w.txtChin_Inp->text(), u"30.5"_s); // the plain number, not the display text
    w.msgChinKou->setRow(1);
    w.msgChinKou_Click();
    QCOMPARE(w.txtChin_Inp->text(), u"690"_s);
    w.cmdChinHozon_Click();
    QVERIFY(m_dialogs->asked.empty());
    QCOMPARE(ReadBytes(kLedgerName), Line(u"\"2026年12月07日\",\"タクシーを使ったつもり\",690"_s));
}

void TestDaily::newItemRegisteredOnYesOnly() {
    WriteBytes(kItemsName, kThreeItems);
    fraMain& w = start();
    m_dialogs->answer(Answer::Yes);
    w.txtChinKou->setText(u"ｂａｎｓｈａｋｕ"_s);
    w.txtChin_Inp->setText(u"１２.２５"_s);
    w.cmdChinHozon_Click();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    QCOMPARE(m_dialogs->asked[0].text, kRegisterQuestion);
    QCOMPARE(m_dialogs->asked[0].title, u"項目登録確認"_s);
    QCOMPARE(m_dialogs->asked[0].buttons, Buttons::YesNo);
    QCOMPARE(ReadBytes(kItemsName), kThreeItems + Line(u"\"ｂａｎｓｈａｋｕ\",12.25"_s));
    QCOMPARE(w.msgChinKou->Rows(), 5);
    QCOMPARE(w.msgChinKou->cell(4, 1), u"¥12.25"_s);

    // Letter case and width make a new item; No keeps the deposit only.
    m_dialogs->answer(Answer::No);
    w.txtChinKou->setText(u"お風呂 "_s);
    w.txtChin_Inp->setText(u"1"_s);
    w.cmdChinHozon_Click();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(2));
    QCOMPARE(ReadBytes(kItemsName), kThreeItems + Line(u"\"ｂａｎｓｈａｋｕ\",12.25"_s));
    QCOMPARE(w.msgChingin->Rows(), 3);
    QVERIFY(w.txtChinKou->text().isEmpty() && w.txtChin_Inp->text().isEmpty());

    // Registering when the item list is gone creates it with the one record. Removed by another program, the
    // list is shown empty first, and the deposit is made again on it.
    QFile::remove(QString::fromUtf8(kItemsName));
    w.txtChinKou->setText(u"腕立て伏せしなかった"_s);
    w.txtChin_Inp->setText(u"20"_s);
    w.cmdChinHozon_Click();
    QVERIFY(m_dialogs->asked.back().text.startsWith(u"「項目１.txt」が他のプログラムで変更された"_s));
    QCOMPARE(w.msgChinKou->Rows(), 1);
    m_dialogs->answer(Answer::Yes);
    w.cmdChinHozon_Click();
    QCOMPARE(ReadBytes(kItemsName), Line(u"\"腕立て伏せしなかった\",20"_s));
}

void TestDaily::zeroNegativeAndBlankItemsAreDeposits() {
    fraMain& w = start();
    m_dialogs->answer(Answer::No);
    m_dialogs->answer(Answer::No);
    m_dialogs->answer(Answer::Yes);
    w.txtChinKou->setText(u"ゼロ"_s);
    w.txtChin_Inp->setText(u"0"_s);
    w.cmdChinHozon_Click();
    w.txtChinKou->setText(u"払い戻し"_s);
    w.txtChin_Inp->setText(u"-30"_s);
    w.cmdChinHozon_Click();
    w.txtChinKou->setText(u"  "_s);
    w.txtChin_Inp->setText(u"5"_s);
    w.cmdChinHozon_Click();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(3));
    QCOMPARE(w.lblChin_zen->text(), u"-¥25"_s);
    QCOMPARE(w.msgChingin->cell(2, 3), u"-¥30"_s);
    QCOMPARE(ReadBytes(kItemsName), Line(u"\"  \",5"_s));
}

void TestDaily::invalidEntriesAreIgnored_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("amount");
    QTest::newRow("empty item") << ""
                                << "690";
    QTest::newRow("empty amount") << "晩酌"
                                  << "";
    QTest::newRow("not a number") << "晩酌"
                                  << "五十";
    QTest::newRow("letters") << "晩酌"
                             << "12a";
}

void TestDaily::invalidEntriesAreIgnored() {
    QFETCH(QString, item);
    QFETCH(QString, amount);
    fraMain& w = start();
    w.txtChin_Inp->setFocus();
    w.txtChinKou->setText(item);
    w.txtChin_Inp->setText(amount);
    w.cmdChinHozon_Click();
    w.txtChin_Inp_KeyPress(13);
    QVERIFY(m_dialogs->asked.empty());
    QCOMPARE(ReadBytes(kLedgerName), QByteArray());
    QCOMPARE(w.txtChinKou->text(), item);
    QCOMPARE(w.txtChin_Inp->text(), amount);
    QCOMPARE(QApplication::focusWidget(), w.txtChin_Inp);
}

void TestDaily::refusedEntriesWarnAndKeepTheBoxes_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("says");
    QTest::newRow("five fraction digits") << "晩酌"
                                          << "1.00001"
                                          << "4 桁";
    QTest::newRow("out of range") << "晩酌"
                                  << "99999999999999999999"
                                  << "大きすぎ";
    QTest::newRow("double quote") << "15\"の画面"
                                  << "1"
                                  << "二重引用符";
    QTest::newRow("not in code page 932") << "한국"
                                          << "1"
                                          << "U+D55C";
}

void TestDaily::refusedEntriesWarnAndKeepTheBoxes() {
    QFETCH(QString, item);
    QFETCH(QString, amount);
    QFETCH(QString, says);
    fraMain& w = start();
    w.txtChinKou->setText(item);
    w.txtChin_Inp->setText(amount);
    w.cmdChinHozon_Click();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    QVERIFY2(m_dialogs->asked[0].text.contains(says), qPrintable(m_dialogs->asked[0].text));
    QCOMPARE(m_dialogs->asked[0].icon, Dialogs::Icon::Warning);
    QCOMPARE(ReadBytes(kLedgerName), QByteArray());
    QCOMPARE(w.msgChingin->Rows(), 1);
    QCOMPARE(w.txtChinKou->text(), item);
    QCOMPARE(w.txtChin_Inp->text(), amount);
}

void TestDaily::enterInTheItemBox() {
    fraMain& w = start();
    QCOMPARE(QApplication::focusWidget(), w.txtChinKou);
    w.txtChinKou_KeyPress(13);
    QCOMPARE(QApplication::focusWidget(), w.txtChinKou);
    w.txtChinKou->setText(u"晩酌"_s);
    w.txtChinKou_KeyPress(u'a');
    QCOMPARE(QApplication::focusWidget(), w.txtChinKou);
    w.txtChinKou_KeyPress(13);
    QCOMPARE(QApplication::focusWidget(), w.txtChin_Inp);
    QCOMPARE(ReadBytes(kLedgerName), QByteArray());
}

void TestDaily::deletingTheMiddleItem() {
    WriteBytes(kItemsName, kThreeItems);
    fraMain& w = start();
    w.msgChinKou->setRow(2);
    w.msgChinKou_Click(); // a double-click delivers a click first
    m_dialogs->answer(Answer::Cancel);
    w.msgChinKou_DblClick();
    QCOMPARE(m_dialogs->asked[0].text, u"晩酌 の項目を削除してもいいですか？\r\n"_s);
    QCOMPARE(w.txtChinKou->text(), u"晩酌"_s);
    QCOMPARE(ReadBytes(kItemsName), kThreeItems);
    m_dialogs->answer(Answer::Ok);
    w.msgChinKou_DblClick();
    QCOMPARE(ReadBytes(kItemsName), Line(u"\"タクシーを使ったつもり\",690"_s) + Line(u"\"お風呂\",30.5"_s));
    QCOMPARE(w.msgChinKou->Rows(), 3);
    QCOMPARE(w.msgChinKou->cell(2, 0), u"お風呂"_s);
    QVERIFY(w.txtChinKou->text().isEmpty() && w.txtChin_Inp->text().isEmpty());
}

void TestDaily::oneItemWarnsAndClearAllDeletesIt() {
    WriteBytes(kItemsName, Line(u"\"晩酌\",50"_s));
    fraMain& w = start();
    w.msgChinKou_DblClick();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    QCOMPARE(m_dialogs->asked[0].text, u"最後の行は項目入力欄隣りの「項目全クリア」ボタンで削除してください"_s);
    QCOMPARE(m_dialogs->asked[0].icon, Dialogs::Icon::Warning);
    QCOMPARE(ReadBytes(kItemsName), Line(u"\"晩酌\",50"_s));
    m_dialogs->answer(Answer::Ok);
    w.cmdChinClr2_Click();
    QCOMPARE(m_dialogs->asked[1].text,
             u"登録されている項目を全て削除してもいいですか？\r\n"
             u"今の項目リストの写しをゴミ箱に入れてから、ファイルを空にします。写しはゴミ箱から取り出せます。\r\n"_s);
    QCOMPARE(ReadBytes(kItemsName), QByteArray());
    QCOMPARE(w.msgChinKou->Rows(), 1);
    // With no items, click, double-click and clear-all do nothing and ask nothing.
    w.msgChinKou_Click();
    w.msgChinKou_DblClick();
    w.cmdChinClr2_Click();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(2));
}

void TestDaily::clearAllKeepsTheAmountAndReloadsTheTheme() {
    WriteBytes(kItemsName, kThreeItems);
    WriteBytes(kThemeName, Line(u"\"つもり貯金\""_s));
    fraMain& w = start();
    QCOMPARE(w.lblTemaMei->text(), u"つもり貯金"_s);
    WriteBytes(kThemeName, Line(u"\"外で変えた名前\""_s));
    w.txtChinKou->setText(u"晩酌"_s);
    w.txtChin_Inp->setText(u"50"_s);
    m_dialogs->answer(Answer::Cancel);
    w.cmdChinClr2_Click();
    QCOMPARE(ReadBytes(kItemsName), kThreeItems);
    QCOMPARE(w.lblTemaMei->text(), u"つもり貯金"_s);
    m_dialogs->answer(Answer::Ok);
    w.cmdChinClr2_Click();
    QCOMPARE(ReadBytes(kItemsName), QByteArray());
    QVERIFY(w.txtChinKou->text().isEmpty());
    QCOMPARE(w.txtChin_Inp->text(), u"50"_s);
    QCOMPARE(w.lblTemaMei->text(), u"外で変えた名前"_s);
}

void TestDaily::themeChange() {
    WriteBytes(kThemeName, Line(u"\"一つ目\""_s) + Line(u"\"二つ目\""_s));
    fraMain& w = start();
    QCOMPARE(w.lblTemaMei->text(), u"一つ目"_s); // the first record of several
    m_dialogs->answerInput(QString());           // Cancel
    w.imgTema1_DblClick();
    QCOMPARE(m_dialogs->asked[0].text, u"テーマ名を入力してください"_s);
    QCOMPARE(m_dialogs->asked[0].title, u"テーマ名入力"_s);
    QCOMPARE(w.lblTemaMei->text(), u"一つ目"_s);
    QCOMPARE(ReadBytes(kThemeName), Line(u"\"一つ目\""_s) + Line(u"\"二つ目\""_s));
    m_dialogs->answerInput(u"家庭内賃金制, 罰金徴収制"_s);
    w.lblTemaMei_DblClick();
    QCOMPARE(ReadBytes(kThemeName), Line(u"\"家庭内賃金制, 罰金徴収制\""_s));
    QCOMPARE(w.lblTemaMei->text(), u"家庭内賃金制, 罰金徴収制"_s);
    m_dialogs->answerInput(u"  "_s);
    w.imgTema1_DblClick();
    QCOMPARE(ReadBytes(kThemeName), Line(u"\"  \""_s));
    m_dialogs->answerInput(u"\"引用\""_s);
    w.imgTema1_DblClick();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(5));
    QVERIFY(m_dialogs->asked[4].text.contains(u"二重引用符"_s));
    QCOMPARE(ReadBytes(kThemeName), Line(u"\"  \""_s));
    QCOMPARE(w.lblTemaMei->text(), u"  "_s);
    // A restart reads back what was stored.
    m_window.reset();
    QCOMPARE(start().lblTemaMei->text(), u"  "_s);
}

void TestDaily::damagedItemListEndsTheStart() {
    const QByteArray damaged = kThreeItems + Cp932(u"\"途中\",五十\r\n"_s);
    WriteBytes(kItemsName, damaged);
    m_window = std::make_unique<fraMain>(*m_dialogs);
    QVERIFY(!LoadPastStarter(*m_window));
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    QVERIFY(m_dialogs->asked[0].text.contains(u"「項目１.txt」"_s));
    QVERIFY(m_dialogs->asked[0].text.contains(u"4 行目"_s));
    QCOMPARE(ReadBytes(kItemsName), damaged);
    QVERIFY(!FileExists(kThemeName));
}

QTEST_MAIN(TestDaily)
#include "tst_daily.moc"
