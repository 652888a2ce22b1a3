// The deposit ledger through the main window, with scripted answers to its boxes.
#include "testsupport.h"
#include "widgets/controls.h"
#include "widgets/grid.h"
#include "window/fraMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using Answer = Dialogs::Answer;
using Buttons = Dialogs::Buttons;
using Icon = Dialogs::Icon;

namespace {

QByteArray Line(const QString& date, const QString& item, const char* amount) {
    return Cp932(u"\"%1\",\"%2\","_s.arg(date, item)) + amount + "\r\n";
}

const QByteArray kThree = Line(u"2008年05月10日"_s, u"タクシーを使ったつもり"_s, "690") +
                          Line(u"2008年05月11日"_s, u"晩酌"_s, "50.25") + Line(u"2008年05月12日"_s, u"お風呂"_s, "-30");

QStringList RowOf(const Grid& grid, int row) {
    QStringList cells;
    for (int col = 0; col < grid.Cols(); ++col)
        cells << grid.cell(row, col);
    return cells;
}

} // namespace

class TestLedger : public QObject, MainWindowTest {
    Q_OBJECT

private slots:
    void init() { initWindowTest(); }
    void cleanup() { cleanupWindowTest(); }
    void firstStartCreatesAnEmptyLedger();
    void loadNumbersRowsWithRunningTotals();
    void depositAddsARowAndOneLine();
    void deletingTheSecondOfThree();
    void deletionShowsWhatAReloadShows();
    void cancelChangesNothing();
    void oneDepositCannotBeDeleted();
    void noDepositsAskNothing();
    void clearEmptiesLedgerAndFile();
    void deletionWritesAmountsAsDisplayed();
    void deletionNeverLeavesATotalBeyondRange();
    void damagedLedgerIsReportedAndLeftAlone_data();
    void damagedLedgerIsReportedAndLeftAlone();
    void directoryOrUnwritableLedger();
    void failedRewriteKeepsFileAndScreenInStep();
    void failedAppendKeepsFileAndScreenInStep();
};

void TestLedger::firstStartCreatesAnEmptyLedger() {
    fraMain& w = start();
    QVERIFY(FileExists(kLedgerName));
    QCOMPARE(ReadBytes(kLedgerName), QByteArray());
    QCOMPARE(w.msgChingin->Rows(), 1);
    QCOMPARE(RowOf(*w.msgChingin, 0), QStringList({u"回"_s, u"日付"_s, u"項目"_s, u"入金"_s, u"累計"_s}));
    QCOMPARE(w.lblChin_cnt->text(), u"0"_s);
    QCOMPARE(w.lblChin_zen->text(), u"\u00A50"_s);
    QCOMPARE(w.ChinCnt, qint16(0));
    QVERIFY(m_dialogs->asked.empty());
    QVERIFY(w.isVisible());
    QVERIFY(w.txtChinKou->text().isEmpty() && w.txtChin_Inp->text().isEmpty());
}

void TestLedger::loadNumbersRowsWithRunningTotals() {
    WriteBytes(kLedgerName, kThree);
    fraMain& w = start();
    QCOMPARE(w.msgChingin->Rows(), 4);
    QCOMPARE(RowOf(*w.msgChingin, 1),
             QStringList({u"1"_s, u"2008年05月10日"_s, u"タクシーを使ったつもり"_s, u"¥690"_s, u"¥690"_s}));
    QCOMPARE(RowOf(*w.msgChingin, 2), QStringList({u"2"_s, u"2008年05月11日"_s, u"晩酌"_s, u"¥50.25"_s, u"¥740.25"_s}));
    QCOMPARE(RowOf(*w.msgChingin, 3), QStringList({u"3"_s, u"2008年05月12日"_s, u"お風呂"_s, u"-¥30"_s, u"¥710.25"_s}));
    QCOMPARE(w.lblChin_cnt->text(), u"3"_s);
    QCOMPARE(w.lblChin_zen->text(), u"¥710.25"_s);
    QCOMPARE(w.msgChingin->Row(), 3); // the newest deposit is current and in view
    QCOMPARE(ReadBytes(kLedgerName), kThree);
}

void TestLedger::depositAddsARowAndOneLine() {
    WriteBytes(kLedgerName, kThree);
    fraMain& w = start();
    w.txtChinKou->setText(u"タクシーを使ったつもり"_s);
    w.txtChin_Inp->setText(u"１，２３４.５"_s);
    w.AddLedgerRow();
    QVERIFY(w.AppendLedgerRecord());
    QCOMPARE(RowOf(*w.msgChingin, 4),
             QStringList({u"4"_s, u"2026年12月07日"_s, u"タクシーを使ったつもり"_s, u"¥1,234.5"_s, u"¥1,944.75"_s}));
    QCOMPARE(w.lblChin_cnt->text(), u"4"_s);
    QCOMPARE(w.lblChin_zen->text(), u"¥1,944.75"_s);
    QCOMPARE(ReadBytes(kLedgerName), kThree + Line(u"2026年12月07日"_s, u"タクシーを使ったつもり"_s, "1234.5"));
}

void TestLedger::deletingTheSecondOfThree() {
    WriteBytes(kLedgerName, kThree);
    fraMain& w = start();
    w.msgChingin->setRow(2);
    m_dialogs->answer(Answer::Ok);
    w.msgChingin_DblClick();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    const auto& q = m_dialogs->asked[0];
    QCOMPARE(q.text, u"2 2008年05月11日 晩酌 ¥50.25 のデータを削除してもいいですか？\r\n"_s);
    QCOMPARE(q.title, u"削除確認"_s);
    QCOMPARE(q.buttons, Buttons::OkCancel);
    QCOMPARE(q.icon, Icon::None);
    QCOMPARE(ReadBytes(kLedgerName), Line(u"2008年05月10日"_s, u"タクシーを使ったつもり"_s, "690") +
                                         Line(u"2008年05月12日"_s, u"お風呂"_s, "-30"));
    QCOMPARE(w.msgChingin->Rows(), 3);
    QCOMPARE(RowOf(*w.msgChingin, 2), QStringList({u"2"_s, u"2008年05月12日"_s, u"お風呂"_s, u"-¥30"_s, u"¥660"_s}));
    QCOMPARE(w.lblChin_cnt->text(), u"2"_s);
    QCOMPARE(w.lblChin_zen->text(), u"¥660"_s);
}

// A deletion leaves the grid as a fresh load of the rewritten file shows it, wherever the row was.
void TestLedger::deletionShowsWhatAReloadShows() {
    QByteArray six;
    for (int i = 1; i <= 6; ++i)
        six += Line(u"2008年05月1%1日"_s.arg(i), u"項目%1"_s.arg(i), i % 2 ? "100.5" : "-20");
    WriteBytes(kLedgerName, six);
    fraMain& w = start();
    for (const int row : {1, 3, 4}) { // the first, a middle one, the last
        w.msgChingin->setRow(row);
        m_dialogs->answer(Answer::Ok);
        w.msgChingin_DblClick();
        ScriptedDialogs quiet;
        fraMain fresh(quiet);
        QVERIFY(LoadPastStarter(fresh));
        QCOMPARE(w.msgChingin->Rows(), fresh.msgChingin->Rows());
        for (int r = 0; r < fresh.msgChingin->Rows(); ++r)
            QCOMPARE(RowOf(*w.msgChingin, r), RowOf(*fresh.msgChingin, r));
        QCOMPARE(w.msgChingin->Row(), fresh.msgChingin->Row());
        QCOMPARE(w.ChinCnt, fresh.ChinCnt);
        QCOMPARE(w.ChinZen.tenThousandths(), fresh.ChinZen.tenThousandths());
        QCOMPARE(w.lblChin_zen->text(), fresh.lblChin_zen->text());
    }
    QCOMPARE(w.msgChingin->Rows(), 4);
}

void TestLedger::cancelChangesNothing() {
    WriteBytes(kLedgerName, kThree);
    fraMain& w = start();
    w.msgChingin->setRow(1);
    m_dialogs->answer(Answer::Cancel);
    w.msgChingin_DblClick();
    m_dialogs->answer(Answer::Cancel);
    w.cmdChinClr_Click();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(2));
    QCOMPARE(m_dialogs->asked[1].text,
             u"これまでのデータを削除してもいいですか？\r\n"
             u"今のデータの写しをゴミ箱に入れてから、ファイルを空にします。写しはゴミ箱から取り出せます。\r\n"_s);
    QCOMPARE(ReadBytes(kLedgerName), kThree);
    QCOMPARE(w.msgChingin->Rows(), 4);
    QCOMPARE(w.lblChin_cnt->text(), u"3"_s);
    QCOMPARE(w.lblChin_zen->text(), u"¥710.25"_s);
}

void TestLedger::oneDepositCannotBeDeleted() {
    const QByteArray one = Line(u"2008年05月10日"_s, u"タクシーを使ったつもり"_s, "690");
    WriteBytes(kLedgerName, one);
    fraMain& w = start();
    w.msgChingin_DblClick();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    QCOMPARE(m_dialogs->asked[0].text, u"最後の行はクリアボタンで削除してください"_s);
    QCOMPARE(m_dialogs->asked[0].title, u"削除確認"_s);
    QCOMPARE(m_dialogs->asked[0].buttons, Buttons::Ok);
    QCOMPARE(m_dialogs->asked[0].icon, Icon::Warning);
    QCOMPARE(ReadBytes(kLedgerName), one);
    QCOMPARE(w.msgChingin->Rows(), 2);
}

void TestLedger::noDepositsAskNothing() {
    fraMain& w = start();
    w.msgChingin_DblClick();
    w.cmdChinClr_Click();
    QVERIFY(m_dialogs->asked.empty());
    QCOMPARE(ReadBytes(kLedgerName), QByteArray());
}

void TestLedger::clearEmptiesLedgerAndFile() {
    WriteBytes(kLedgerName, kThree);
    fraMain& w = start();
    m_dialogs->answer(Answer::Ok);
    w.cmdChinClr_Click();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    QCOMPARE(m_dialogs->asked[0].buttons, Buttons::OkCancel);
    QCOMPARE(m_dialogs->asked[0].icon, Icon::None);
    QVERIFY(FileExists(kLedgerName));
    QCOMPARE(ReadBytes(kLedgerName), QByteArray());
    QCOMPARE(w.msgChingin->Rows(), 1);
    QCOMPARE(w.msgChingin->cell(0, 4), u"累計"_s);
    QCOMPARE(w.lblChin_cnt->text(), u"0"_s);
    QCOMPARE(w.lblChin_zen->text(), u"¥0"_s);
}

// The display shows every amount whole, fraction included, so a deletion's rewrite loses nothing.
void TestLedger::deletionWritesAmountsAsDisplayed() {
    WriteBytes(kLedgerName, Line(u"2008年05月10日"_s, u"a"_s, "0.0001") +
                                Line(u"2008年05月10日"_s, u"b"_s, "1234567.8912") +
                                Line(u"2008年05月10日"_s, u"c"_s, "1"));
    fraMain& w = start();
    w.msgChingin->setRow(3);
    m_dialogs->answer(Answer::Ok);
    w.msgChingin_DblClick();
    QCOMPARE(ReadBytes(kLedgerName),
             Line(u"2008年05月10日"_s, u"a"_s, "0.0001") + Line(u"2008年05月10日"_s, u"b"_s, "1234567.8912"));
    QCOMPARE(w.lblChin_zen->text(), u"¥1,234,567.8913"_s);
}

// A deletion whose later running totals would leave the money range is refused: the file would not read
// back. Another deletion goes on as usual, and what it writes reads back.
void TestLedger::deletionNeverLeavesATotalBeyondRange() {
    const QByteArray three = Line(u"2008年05月10日"_s, u"a"_s, "-900000000000000") +
                             Line(u"2008年05月11日"_s, u"b"_s, "900000000000000") +
                             Line(u"2008年05月12日"_s, u"c"_s, "900000000000000");
    WriteBytes(kLedgerName, three);
    fraMain& w = start();
    w.msgChingin->setRow(1);
    m_dialogs->answer(Answer::Ok);
    w.msgChingin_DblClick();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(2));
    QCOMPARE(m_dialogs->asked[1].text, u"この行を削除すると、後の行の累計が扱える金額を超えるので削除できません"_s);
    QCOMPARE(m_dialogs->asked[1].icon, Icon::Warning);
    QCOMPARE(ReadBytes(kLedgerName), three);
    QCOMPARE(w.msgChingin->Rows(), 4);
    QCOMPARE(RowOf(*w.msgChingin, 3).last(), u"¥900,000,000,000,000"_s);
    QCOMPARE(w.lblChin_cnt->text(), u"3"_s);

    w.msgChingin->setRow(2);
    m_dialogs->answer(Answer::Ok);
    w.msgChingin_DblClick();
    QCOMPARE(ReadBytes(kLedgerName), Line(u"2008年05月10日"_s, u"a"_s, "-900000000000000") +
                                         Line(u"2008年05月12日"_s, u"c"_s, "900000000000000"));
    QCOMPARE(RowOf(*w.msgChingin, 2).last(), u"¥0"_s);
    ScriptedDialogs quiet;
    fraMain fresh(quiet);
    QVERIFY(LoadPastStarter(fresh));
    QCOMPARE(RowOf(*fresh.msgChingin, 2), RowOf(*w.msgChingin, 2));
    QCOMPARE(w.lblChin_zen->text(), u"¥0"_s);
}

void TestLedger::damagedLedgerIsReportedAndLeftAlone_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("cut short") << kThree + Cp932(u"\"2008年05月13日\",\"途中\r\n"_s) << u"4 行目"_s;
    QTest::newRow("amount not a number") << kThree + Cp932(u"\"2008年05月13日\",\"晩酌\",五十\r\n"_s)
                                         << u"4 行目: 金額「五十」が数値ではありません"_s;
    QTest::newRow("not code page 932") << kThree + QByteArray("\"\x85\x40\",\"a\",1\r\n") << u"4 行目"_s;
    QTest::newRow("total out of range") << Line(u"d"_s, u"a"_s, "922337203685477") + Line(u"d"_s, u"b"_s, "1")
                                        << u"2 行目: 合計が金額の範囲を超えます"_s;
    QByteArray tooMany;
    for (int i = 0; i < 32767; ++i)
        tooMany += "\"d\",\"i\",1\r\n";
    QTest::newRow("more than 32,766 deposits") << tooMany << u"32767 行目: 記録が 32,766 件を超えています"_s;
    const QByteArray utf8 = u"\"2008年05月10日\",\"晩酌\",50\r\n"_s.toUtf8();
    QTest::newRow("UTF-8") << utf8 << u"1 行目: UTF-8 で保存されています"_s;
    QTest::newRow("UTF-8 with a byte-order mark") << QByteArray("\xEF\xBB\xBF") + utf8 << u"UTF-8"_s;
    QTest::newRow("NUL bytes") << kThree + QByteArray("\"d\",\"a\0b\",1\r\n", 14) << u"4 行目: NUL 文字"_s;
    QTest::newRow("a field of 1 MB") << kThree + "\"d\",\"" + QByteArray(1 << 20, 'x') + "\",1\r\n"
                                     << u"4 行目: 文字の欄が長すぎます"_s;
    QByteArray huge = kThree;
    while (huge.size() < 50 << 20)
        huge += huge;
    QTest::newRow("a 50 MB file") << huge << u"ファイルが大きすぎます"_s;
}

void TestLedger::damagedLedgerIsReportedAndLeftAlone() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    WriteBytes(kLedgerName, bytes);
    start(false);
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    const auto& box = m_dialogs->asked[0];
    QVERIFY2(box.text.contains(u"「テーマ１.txt」"_s), qPrintable(box.text));
    QVERIFY2(box.text.contains(expected), qPrintable(box.text));
    QVERIFY(box.text.contains(u"終了"_s));
    QCOMPARE(box.icon, Icon::Warning);
    QCOMPARE(ReadBytes(kLedgerName), bytes);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden).size(), 1);
}

// Not a file: a clear message, and nothing changes. Failed writes are forced with a file size limit below.
void TestLedger::directoryOrUnwritableLedger() {
    QVERIFY(QDir().mkdir(QString::fromUtf8(kLedgerName)));
    start(false);
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    QVERIFY2(m_dialogs->asked[0].text.startsWith(u"「テーマ１.txt」はフォルダーなので"_s),
             qPrintable(m_dialogs->asked[0].text));
    QVERIFY(QFileInfo(QString::fromUtf8(kLedgerName)).isDir());
    QVERIFY(QDir().rmdir(QString::fromUtf8(kLedgerName)));

    // A link to a device, which would never end: refused as not a file, and the link stays.
    QVERIFY(QFile::link(u"/dev/full"_s, QString::fromUtf8(kLedgerName)));
    m_dialogs->asked.clear();
    m_window.reset();
    start(false);
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    QVERIFY2(m_dialogs->asked[0].text.contains(u"通常のファイルではありません"_s),
             qPrintable(m_dialogs->asked[0].text));
    QCOMPARE(QFileInfo(QString::fromUtf8(kLedgerName)).symLinkTarget(), u"/dev/full"_s);
}

void TestLedger::failedRewriteKeepsFileAndScreenInStep() {
    QByteArray many;
    for (int i = 0; i < 400; ++i)
        many += Line(u"2008年05月10日"_s, u"タクシーを使ったつもり"_s, "690");
    WriteBytes(kLedgerName, many);
    fraMain& w = start();
    w.msgChingin->setRow(10);
    m_dialogs->answer(Answer::Ok);
    {
        const FileSizeLimit full(4096);
        w.msgChingin_DblClick();
    }
    QCOMPARE(m_dialogs->asked.size(), std::size_t(2));
    QVERIFY(m_dialogs->asked[1].text.contains(u"「テーマ１.txt」に保存できませんでした"_s));
    QCOMPARE(m_dialogs->asked[1].icon, Icon::Warning);
    QCOMPARE(ReadBytes(kLedgerName), many);
    QCOMPARE(w.msgChingin->Rows(), 401);
    QCOMPARE(w.lblChin_cnt->text(), u"400"_s);
    QCOMPARE(w.lblChin_zen->text(), u"¥276,000"_s);
}

void TestLedger::failedAppendKeepsFileAndScreenInStep() {
    WriteBytes(kLedgerName, kThree);
    fraMain& w = start();
    w.txtChinKou->setText(u"入りきらない記録"_s);
    w.txtChin_Inp->setText(u"100"_s);
    w.AddLedgerRow();
    {
        const FileSizeLimit full(static_cast<rlim_t>(kThree.size() + 3));
        QVERIFY(!w.AppendLedgerRecord());
    }
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    QVERIFY(m_dialogs->asked[0].text.contains(u"「テーマ１.txt」"_s));
    QCOMPARE(ReadBytes(kLedgerName), kThree);
    QCOMPARE(w.msgChingin->Rows(), 4);
    QCOMPARE(w.lblChin_cnt->text(), u"3"_s);
    QCOMPARE(w.lblChin_zen->text(), u"¥710.25"_s);
}

QTEST_MAIN(TestLedger)
#include "tst_ledger.moc"
