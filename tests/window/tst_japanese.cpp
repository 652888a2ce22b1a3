// Japanese text and amounts as Japanese users type and read them, through the real window: characters that
// input methods and Japanese keyboards type, amounts written with 円, an amount box the input method leaves
// alone, amounts shown whole, and the grids, buttons and boxes behaving as on Windows.
#include "app/app.h"
#include "records/money.h"
#include "testsupport.h"
#include "widgets/controls.h"
#include "widgets/dialogs.h"
#include "widgets/grid.h"
#include "window/fraMain.h"
#include "window/frmSub.h"
#include "window/messages.h"

#include <QApplication>
#include <QFontInfo>
#include <QInputMethodEvent>
#include <QInputMethodQueryEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;
using Answer = Dialogs::Answer;

namespace {

// A deposit line whose item is given in the bytes of the file.
QByteArray DepositBytes(const QByteArray& item, const char* amount) {
    return Cp932(u"\"2026年12月07日\",\""_s) + item + "\"," + amount + "\r\n";
}

// Text committed by an input method, as IBus and Fcitx deliver it.
void Commit(QWidget* box, const QString& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(box, &event);
}

bool InputMethodEnabled(QWidget* box) {
    QInputMethodQueryEvent query(Qt::ImEnabled);
    QApplication::sendEvent(box, &query);
    return query.value(Qt::ImEnabled).toBool();
}

// The widest a cell's text is drawn, with the item's margins.
int TextWidth(const Grid& grid, const QString& text) {
    return QFontMetrics(grid.font()).horizontalAdvance(text) + 6;
}

} // namespace

class TestJapanese : public QObject, MainWindowTest {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpApplication(*qApp); }
    void init() { initWindowTest(); }
    void cleanup() { cleanupWindowTest(); }
    void typedCharactersAreStoredAsWindowsWritesThem();
    void byte5CIsTheYenSign();
    void refusedCharacterSaysWhatToTypeInstead();
    void amountsWrittenWithEn();
    void amountBoxTurnsTheInputMethodOff();
    void amountsAreShownWhole();
    void settingTheRowDoesNotScroll();
    void onlyTheLeftButtonClicks();
    void fixedCellsKeepTheirColours();
    void enterPressesTheFocusedButton();
    void starterTitlesAreNotHidden();
    void messageBoxesInTheProportionalFace();

private:
    fraMain& start();
};

fraMain& TestJapanese::start() {
    fraMain& w = MainWindowTest::start();
    QApplication::setActiveWindow(&w);
    return w;
}

// 〜 as Mozc types it, ¥ from the yen key, − and the like: the box shows what will be stored, the files get
// the bytes Windows writes, and a restart shows the same.
void TestJapanese::typedCharactersAreStoredAsWindowsWritesThem() {
    fraMain& w = start();
    w.txtChinKou->setFocus();
    Commit(w.txtChinKou, u"波\u301C線"_s);
    QTest::keyClicks(w.txtChinKou, u" "_s);
    Commit(w.txtChinKou, u"¥100"_s);           // the yen key, through the input method
    QTest::keyClicks(w.txtChinKou, u" \\ "_s); // the backslash key
    Commit(w.txtChinKou, u"\u2212\u2016\u00A2\u00A3\u00AC\u2014"_s);
    const QString shown = u"波～線 ¥100 ¥ －∥￠￡￢―"_s;
    QCOMPARE(w.txtChinKou->text(), shown);
    QTest::keyClick(w.txtChinKou, Qt::Key_Return);
    QTest::keyClicks(w.txtChin_Inp, u"300"_s);
    m_dialogs->answer(Answer::Yes);
    QTest::keyClick(w.txtChin_Inp, Qt::Key_Return);
    const QByteArray bytes = "\x94\x67\x81\x60\x90\xFC \x5C"
                             "100 \x5C \x81\x7C\x81\x61\x81\x91\x81\x92\x81\xCA\x81\x5C";
    QCOMPARE(ReadBytes(kLedgerName), DepositBytes(bytes, "300"));
    QCOMPARE(ReadBytes(kItemsName), "\"" + bytes + "\",300\r\n");
    QCOMPARE(w.msgChingin->cell(1, 2), shown);

    // The theme input takes the same characters the same way.
    m_dialogs->answerInput(u"\u301Cつもり貯金\u301C"_s);
    w.imgTema1_DblClick();
    QCOMPARE(w.lblTemaMei->text(), u"～つもり貯金～"_s);
    QCOMPARE(ReadBytes(kThemeName), "\"\x81\x60" + Cp932(u"つもり貯金"_s) + "\x81\x60\"\r\n");

    m_window.reset();
    fraMain& again = start();
    QCOMPARE(again.msgChingin->cell(1, 2), shown);
    QCOMPARE(again.msgChinKou->cell(1, 0), shown);
    QCOMPARE(again.lblTemaMei->text(), u"～つもり貯金～"_s);
    // Picked from the list, the item is the same text: no registration is offered.
    again.msgChinKou->setRow(1);
    again.msgChinKou_Click();
    again.cmdChinHozon_Click();
    QCOMPARE(ReadBytes(kLedgerName), DepositBytes(bytes, "300") + DepositBytes(bytes, "300"));
}

// A ledger from Windows with 0x5C in its items shows yen signs, and a deletion writes them back as 0x5C.
void TestJapanese::byte5CIsTheYenSign() {
    const QByteArray first = DepositBytes("\x5C\x5C\x95\x5C", "1"); // ¥¥表
    const QByteArray second = DepositBytes("C:\x5C"
                                           "data",
                                           "2");
    const QByteArray third = DepositBytes("x", "3");
    WriteBytes(kLedgerName, first + second + third);
    fraMain& w = start();
    QCOMPARE(w.msgChingin->cell(1, 2), u"¥¥表"_s);
    QCOMPARE(w.msgChingin->cell(2, 2), u"C:¥data"_s);
    w.msgChingin->setRow(3);
    m_dialogs->answer(Answer::Ok);
    w.msgChingin_DblClick();
    QCOMPARE(ReadBytes(kLedgerName), first + second);
}

void TestJapanese::refusedCharacterSaysWhatToTypeInstead() {
    fraMain& w = start();
    for (const auto& [typed, instead] :
         {std::pair(u"メモ™"_s, u"「™」の代わりに「TM」"_s), std::pair(u"カフェ Café"_s, u"「é」の代わりに「e」"_s)}) {
        m_dialogs->asked.clear();
        w.txtChinKou->setText(typed);
        w.txtChin_Inp->setText(u"1"_s);
        w.cmdChinHozon_Click();
        QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
        QVERIFY2(m_dialogs->asked[0].text.contains(instead), qPrintable(m_dialogs->asked[0].text));
        QCOMPARE(w.txtChinKou->text(), typed); // kept for the user to mend
    }
    m_dialogs->asked.clear();
    w.txtChinKou->setText(u"한국"_s); // no obvious other: the character is named, nothing more
    w.cmdChinHozon_Click();
    QVERIFY(m_dialogs->asked[0].text.contains(u"「한」(U+D55C)"_s));
    QVERIFY(!m_dialogs->asked[0].text.contains(u"代わりに"_s));
    QVERIFY(!FileExists(kLedgerName) || ReadBytes(kLedgerName).isEmpty());
}

void TestJapanese::amountsWrittenWithEn() {
    fraMain& w = start();
    for (const QString& amount : {u"690円"_s, u"１，２００円"_s}) {
        m_dialogs->answer(Answer::No);
        w.txtChinKou->setText(u"タクシーを使ったつもり"_s);
        w.txtChin_Inp->setFocus();
        w.txtChin_Inp->setText(amount); // pasted: the amount box takes no input method
        QTest::keyClick(w.txtChin_Inp, Qt::Key_Return);
    }
    QCOMPARE(ReadBytes(kLedgerName), DepositBytes(Cp932(u"タクシーを使ったつもり"_s), "690") +
                                         DepositBytes(Cp932(u"タクシーを使ったつもり"_s), "1200"));
    QCOMPARE(w.lblChin_zen->text(), u"¥1,890"_s);
}

void TestJapanese::amountBoxTurnsTheInputMethodOff() {
    fraMain& w = start();
    QVERIFY(!InputMethodEnabled(w.txtChin_Inp));
    QVERIFY(InputMethodEnabled(w.txtChinKou));
    // What the platform's input context asks, with the box focused.
    w.txtChin_Inp->setFocus();
    QTRY_COMPARE(QApplication::focusObject(), static_cast<QObject*>(w.txtChin_Inp));
    QVERIFY(!QGuiApplication::inputMethod()->queryFocusObject(Qt::ImEnabled, {}).toBool());
    w.txtChinKou->setFocus();
    QTRY_COMPARE(QApplication::focusObject(), static_cast<QObject*>(w.txtChinKou));
    QVERIFY(QGuiApplication::inputMethod()->queryFocusObject(Qt::ImEnabled, {}).toBool());
}

// Up to ¥99,999,999.9999, negative too, every amount fits its cell or label in the design font; past that it
// is cut with an ellipsis, never shown as a smaller number.
void TestJapanese::amountsAreShownWhole() {
    const QByteArray item = Cp932(u"貯金"_s);
    WriteBytes(kLedgerName, DepositBytes(item, "99999999.9999") + DepositBytes(item, "-99999999.9999") +
                                DepositBytes(item, "-99999999.9999") + DepositBytes(item, "99999999.9999"));
    WriteBytes(kItemsName, "\"a\",99999999.9999\r\n\"b\",-99999999.9999\r\n");
    fraMain& w = start();
    for (int row = 1; row < w.msgChingin->Rows(); ++row)
        for (const int col : {3, 4})
            QVERIFY2(TextWidth(*w.msgChingin, w.msgChingin->cell(row, col)) <= w.msgChingin->shownColWidth(col),
                     qPrintable(w.msgChingin->cell(row, col)));
    for (int row = 1; row < w.msgChinKou->Rows(); ++row)
        QVERIFY(TextWidth(*w.msgChinKou, w.msgChinKou->cell(row, 1)) <= w.msgChinKou->shownColWidth(1));
    QVERIFY(w.msgChingin->shownColWidth(2) >= 60); // the items keep room for a few characters and an ellipsis
    auto* total = static_cast<Label*>(w.lblChin_zen);
    // Any total the ledger can hold, up to the ends of the range of money, shows whole in legible type: on
    // two lines, broken at a digit grouping, where one is too short.
    const std::array<records::Currency, 5> totals = {
        *records::ParseMoneyField("99999999.9999"), *records::ParseMoneyField("-99999999.9999"),
        *records::ParseMoneyField("32766"), records::Currency::Max(), records::Currency::Min()};
    for (const records::Currency& sum : totals) {
        w.ChinZen = sum;
        w.ShowTotals();
        const QString amount = total->text();
        const Label::Shown shown = total->shown();
        QCOMPARE(shown.lines.join(QString()), amount);
        QVERIFY(!shown.cut);
        QVERIFY(shown.font.pointSizeF() >= Label::kSmallestPoints);
        QVERIFY(shown.lines.size() == 1 || shown.lines[0].endsWith(u','));
        for (const QString& line : shown.lines)
            QVERIFY(QFontMetrics(shown.font).horizontalAdvance(line) <= total->contentsRect().width());
        QVERIFY(shown.lines.size() * QFontMetrics(shown.font).lineSpacing() <= total->contentsRect().height() + 1);
    }
    total->setText(u"¥999,999,999,999,999,999,999,999,999,999,999.9999"_s); // longer than any total
    total->resize(total->width(), TwipsToPixels(fraMain::kTotalHeight));
    QVERIFY(total->shownText().endsWith(u'…'));
    QVERIFY(total->isCut());
    // A deposit past the widest the columns take: marked as cut.
    WriteBytes(kLedgerName, DepositBytes(item, "922337203685477"));
    m_window.reset();
    fraMain& again = start();
    const int cutColumn = again.msgChingin->isCut(1, 4) ? 4 : 3;
    QVERIFY(again.msgChingin->isCut(1, cutColumn));
    QVERIFY(TextWidth(*again.msgChingin, again.msgChingin->cell(1, cutColumn)) >
            again.msgChingin->shownColWidth(cutColumn));
    QCOMPARE(again.msgChingin->textElideMode(), Qt::ElideRight);
    const QModelIndex cut = again.msgChingin->model()->index(0, cutColumn);
    QCOMPARE(cut.data(Qt::ToolTipRole).toString(), again.msgChingin->cell(1, cutColumn));
    QCOMPARE(cut.data(Qt::AccessibleTextRole).toString(), again.msgChingin->cell(1, cutColumn));
    QVERIFY(!again.msgChingin->model()->index(0, 1).data(Qt::ToolTipRole).isValid()); // the date fits
    // The starter window's examples fit too.
    frmSub starter(*m_dialogs, &again);
    starter.Form_Load();
    for (Grid* grid : {starter.msgTemaSub1, starter.msgTemaSub2, starter.msgTemaSub3})
        for (int row = 1; row < grid->Rows(); ++row)
            QVERIFY(TextWidth(*grid, grid->cell(row, 1)) <= grid->shownColWidth(1));
}

// Registering, depositing an unlisted item and deleting an item leave a long list where it was scrolled.
void TestJapanese::settingTheRowDoesNotScroll() {
    QByteArray items;
    for (int i = 1; i <= 300; ++i)
        items += Cp932(u"\"項目%1\",%1\r\n"_s.arg(i));
    WriteBytes(kItemsName, items);
    fraMain& w = start();
    w.msgChinKou->setTopRow(1);
    QCOMPARE(w.msgChinKou->topRow(), 1);
    m_dialogs->answer(Answer::Yes);
    w.txtChinKou->setText(u"新しい項目"_s);
    w.txtChin_Inp->setText(u"5"_s);
    w.cmdChinHozon_Click();
    QCOMPARE(w.msgChinKou->Rows(), 302);
    QCOMPARE(w.msgChinKou->topRow(), 1);
    m_dialogs->answer(Answer::No);
    w.txtChinKou->setText(u"登録しない項目"_s);
    w.txtChin_Inp->setText(u"5"_s);
    w.cmdChinHozon_Click();
    QCOMPARE(w.msgChinKou->topRow(), 1);
    w.msgChinKou->setRow(2);
    m_dialogs->answer(Answer::Ok);
    w.msgChinKou_DblClick();
    QCOMPARE(w.msgChinKou->Rows(), 301);
    QCOMPARE(w.msgChinKou->topRow(), 1);
}

void TestJapanese::onlyTheLeftButtonClicks() {
    WriteBytes(kLedgerName, DepositBytes("a", "1") + DepositBytes("b", "2"));
    WriteBytes(kItemsName, "\"x\",1\r\n\"y\",2\r\n");
    fraMain& w = start();
    w.msgChingin->setRow(1);
    w.msgChinKou->setRow(1);
    for (Grid* grid : {w.msgChingin, w.msgChinKou}) {
        const QPoint at = CellCentre(*grid, 2, 0);
        QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::RightButton, {}, at);
        QTest::mouseRelease(grid->viewport(), Qt::RightButton, {}, at);
        QCOMPARE(grid->Row(), 1); // not moved either
    }
    QVERIFY(m_dialogs->asked.empty());
    QVERIFY(w.txtChinKou->text().isEmpty());
    // The left button still does both.
    const QPoint at = CellCentre(*w.msgChinKou, 2, 0);
    QTest::mouseClick(w.msgChinKou->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(w.txtChinKou->text(), u"y"_s);
}

void TestJapanese::fixedCellsKeepTheirColours() {
    WriteBytes(kLedgerName, DepositBytes("a", "1") + DepositBytes("b", "2"));
    fraMain& w = start();
    w.msgChingin->setRow(1);
    const QPoint numberCell = CellCentre(*w.msgChingin, 1, 0) + QPoint(-12, 0);
    const QPoint dateCell = CellCentre(*w.msgChingin, 1, 1) + QPoint(-40, 0);
    const QImage image = w.msgChingin->viewport()->grab().toImage();
    QCOMPARE(image.pixelColor(numberCell), QApplication::palette().color(QPalette::Button));
    QVERIFY(image.pixelColor(dateCell) != QApplication::palette().color(QPalette::Base)); // the row is selected
}

void TestJapanese::enterPressesTheFocusedButton() {
    WriteBytes(kLedgerName, DepositBytes("a", "1"));
    WriteBytes(kItemsName, "\"x\",1\r\n");
    fraMain& w = start();
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{w.cmdChinClr, w.cmdChinClr2}) {
        button->setFocus();
        QTRY_VERIFY(button->hasFocus());
        m_dialogs->answer(Answer::Cancel);
        QTest::keyClick(button, Qt::Key_Return);
    }
    QCOMPARE(m_dialogs->asked.size(), std::size_t(2));
    QVERIFY(m_dialogs->asked[0].text.startsWith(u"これまでのデータを削除してもいいですか？\r\n"_s));
    QVERIFY(m_dialogs->asked[1].text.startsWith(u"登録されている項目を全て削除してもいいですか？\r\n"_s));
}

// Each example title stands whole above its grid.
void TestJapanese::starterTitlesAreNotHidden() {
    frmSub starter(*m_dialogs, nullptr);
    const std::array<std::pair<const char16_t*, Grid*>, 3> titled = {
        {{u"Label2_0", starter.msgTemaSub1}, {u"Label2_1", starter.msgTemaSub2}, {u"Label2_2", starter.msgTemaSub3}}};
    for (const auto& [name, grid] : titled) {
        const auto* title = starter.findChild<QLabel*>(QString::fromUtf16(name));
        QVERIFY(title);
        const QFontMetrics metrics(title->font());
        const int glyphsBottom = title->y() + metrics.ascent() + metrics.tightBoundingRect(title->text()).bottom();
        QVERIFY2(glyphsBottom < grid->y(), qPrintable(title->text()));
    }
}

// The real box, in the windows' proportional face, with the Pro introduction's lines unbroken.
void TestJapanese::messageBoxesInTheProportionalFace() {
    WriteBytes(kLedgerName, DepositBytes("a", "1"));
    QtDialogs dialogs;
    fraMain w(dialogs);
    QVERIFY(w.Form_Load());
    std::vector<SeenBox> seen;
    QString family;
    int lines = 0;
    int height = 0;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr);
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        auto* label = box->findChild<QLabel*>(u"qt_msgbox_label"_s);
        family = QFontInfo(label->font()).family();
        lines = int(label->text().count(u'\n')) + 1;
        height = label->height() / QFontMetrics(label->font()).lineSpacing();
        box->button(QMessageBox::Ok)->click();
    });
    messages::Show(dialogs, &w, messages::ProIntroduction()); // the button's own box, without the help after it
    QCOMPARE(family, u"IPAPGothic"_s);
    QCOMPARE(lines, 7);
    QVERIFY2(height <= lines, qPrintable(u"%1 lines shown for %2"_s.arg(height).arg(lines)));
}

QTEST_MAIN(TestJapanese)
#include "tst_japanese.moc"
