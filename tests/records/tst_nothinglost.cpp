// Failures and then more work, through the real operations of the main window: whatever goes wrong, the
// files keep the last completed operation, the screen shows what they hold, and a restart after every step
// shows the same.
#include "shell/controls.h"
#include "shell/fraMain.h"
#include "shell/grid.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using Answer = Dialogs::Answer;

namespace {

const QByteArray kABC = Deposit(u"A"_s, "100") + Deposit(u"B"_s, "20") + Deposit(u"C"_s, "3");

// Everything the window shows of the ledger, the item list and the theme name.
QStringList Screen(const fraMain& w) {
    QStringList shown;
    for (const Grid* grid : {w.msgChingin, w.msgChinKou})
        for (int r = 0; r < grid->Rows(); ++r)
            for (int c = 0; c < grid->Cols(); ++c)
                shown << grid->cell(r, c);
    shown << w.lblChin_cnt->text() << w.lblChin_zen->text() << w.lblTemaMei->text();
    return shown;
}

// A failure's message names the file.
bool Told(const ScriptedDialogs& dialogs, const QString& words) {
    return std::any_of(dialogs.asked.begin(), dialogs.asked.end(),
                       [&](const ScriptedDialogs::Asked& a) { return a.text.contains(words); });
}

// A data file briefly something else: a directory in its place, as a sync tool or a mistake may leave it.
class FileAway {
public:
    explicit FileAway(const char* name) : m_name(name) {
        std::rename(name, "saved-away");
        QDir().mkdir(QString::fromUtf8(name));
    }
    void back() {
        if (m_away) {
            QDir().rmdir(QString::fromUtf8(m_name));
            std::rename("saved-away", m_name);
            m_away = false;
        }
    }
    ~FileAway() { back(); }

private:
    const char* m_name;
    bool m_away = true;
};

// Entries of the current directory, whatever bytes their names are made of.
int EntryCount() {
    int count = 0;
    if (DIR* dir = opendir(".")) {
        while (const dirent* entry = readdir(dir))
            count += std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0;
        closedir(dir);
    }
    return count;
}

} // namespace

class TestNothingLost : public QObject, MainWindowTest {
    Q_OBJECT

private slots:
    void init() { initWindowTest(); }
    void cleanup() { cleanupWindowTest(); }
    void ledgerUnreadableMidRunThenMoreWork();
    void itemListUnreadableMidRunThenMoreWork();
    void twoSpellingsOfTheLedger();
    void twoSpellingsWithDataAreNotGuessed();
    void whatTheBoxesTakeReadsBackAfterARestart();
    void depositPastTheReadableSizeIsRefused();
    void tornLastDepositIsLeftOutOnceAndMended();
    void userTextIsNeverMarkup();
    void failedStartWritesNothing();
    void pipeInPlaceOfTheLedger();
    void leftoversOfKilledRewritesGo();

private:
    // The window a fresh start shows must be the one still running: after every step.
    void restartShowsTheSame();
    void deposit(const QString& item, const QString& amount);
};

void TestNothingLost::restartShowsTheSame() {
    ScriptedDialogs quiet;
    fraMain fresh(quiet);
    QVERIFY(LoadPastStarter(fresh));
    QCOMPARE(Screen(fresh), Screen(*m_window));
}

void TestNothingLost::deposit(const QString& item, const QString& amount) {
    m_window->txtChinKou->setText(item);
    m_window->txtChin_Inp->setText(amount);
    m_window->cmdChinHozon_Click();
}

void TestNothingLost::ledgerUnreadableMidRunThenMoreWork() {
    WriteBytes(kLedgerName, kABC);
    fraMain& w = start();
    {
        FileAway away(kLedgerName);
        deposit(u"D"_s, u"4"_s); // changed: read again before anything is written, and that fails
        QVERIFY(Told(*m_dialogs, u"「テーマ１.txt」を開けません"_s));
        QVERIFY(Told(*m_dialogs, u"このファイルには何も書き込みません"_s));
        // Nothing stale is shown as the ledger, and nothing is written from it.
        QCOMPARE(w.msgChingin->Rows(), 1);
        QCOMPARE(w.lblChin_cnt->text(), QString());
        QCOMPARE(w.lblChin_zen->text(), QString());
        QCOMPARE(w.txtChinKou->text(), u"D"_s); // the entry is kept for another try
        m_dialogs->asked.clear();
        deposit(u"E"_s, u"5"_s);
        w.msgChingin_DblClick();
        w.cmdChinClr_Click();
        QCOMPARE(m_dialogs->asked.size(), std::size_t(3)); // each try tells, none asks to delete
        QVERIFY(QFileInfo(QString::fromUtf8(kLedgerName)).isDir());
    }
    QCOMPARE(ReadBytes(kLedgerName), kABC);
    // Readable again: the next operation loads it whole first, then does its work.
    m_dialogs->answer(Answer::No);
    deposit(u"F"_s, u"6"_s);
    m_dialogs->answer(Answer::No);
    deposit(u"G"_s, u"7"_s);
    QCOMPARE(w.msgChingin->Rows(), 6);
    restartShowsTheSame();
    w.msgChingin->setRow(1);
    m_dialogs->answer(Answer::Ok);
    w.msgChingin_DblClick();
    QCOMPARE(ReadBytes(kLedgerName),
             Deposit(u"B"_s, "20") + Deposit(u"C"_s, "3") + Deposit(u"F"_s, "6") + Deposit(u"G"_s, "7"));
    QCOMPARE(w.lblChin_cnt->text(), u"4"_s);
    QCOMPARE(w.lblChin_zen->text(), u"¥36"_s);
    restartShowsTheSame();
}

void TestNothingLost::itemListUnreadableMidRunThenMoreWork() {
    const QByteArray xyz = Item(u"X"_s, "1") + Item(u"Y"_s, "2") + Item(u"Z"_s, "3");
    WriteBytes(kItemsName, xyz);
    WriteBytes(kThemeName, Cp932(u"\"テーマ\"\r\n"_s));
    fraMain& w = start();
    {
        FileAway away(kItemsName);
        w.msgChinKou->setRow(2);
        w.msgChinKou_DblClick(); // changed: read again before the question, and that fails
        QVERIFY(Told(*m_dialogs, u"「項目１.txt」を開けません"_s));
        QCOMPARE(w.msgChinKou->Rows(), 1);
        m_dialogs->asked.clear();
        deposit(u"W"_s, u"9"_s); // recorded; no registration offered from a list that did not read
        QVERIFY(Told(*m_dialogs, u"「項目１.txt」を開けません"_s));
        QVERIFY(!Told(*m_dialogs, u"新規の項目ですが"_s));
        w.cmdChinClr2_Click();
        QVERIFY(QFileInfo(QString::fromUtf8(kItemsName)).isDir());
    }
    QCOMPARE(ReadBytes(kItemsName), xyz);
    QCOMPARE(ReadBytes(kLedgerName), Deposit(u"W"_s, "9"));
    m_dialogs->answer(Answer::Yes);
    deposit(u"V"_s, u"8"_s);
    QCOMPARE(ReadBytes(kItemsName), xyz + Item(u"V"_s, "8"));
    restartShowsTheSame();
    w.msgChinKou->setRow(1);
    m_dialogs->answer(Answer::Ok);
    w.msgChinKou_DblClick();
    QCOMPARE(ReadBytes(kItemsName), Item(u"Y"_s, "2") + Item(u"Z"_s, "3") + Item(u"V"_s, "8"));
    restartShowsTheSame();
}

// A first start made an empty "テーマ１.txt"; then the Windows ledger came in as "テーマ１.TXT". Every
// operation works on the ledger with the data, the empty one goes, and nothing deleted comes back.
void TestNothingLost::twoSpellingsOfTheLedger() {
    WriteBytes(kLedgerName, "");
    WriteBytes("テーマ１.TXT", kABC);
    fraMain& w = start();
    QVERIFY(Told(*m_dialogs, u"「テーマ１.txt」には「テーマ１.TXT」を使い"_s));
    QVERIFY(!FileExists(kLedgerName));
    QCOMPARE(w.msgChingin->Rows(), 4);
    w.msgChingin->setRow(2);
    m_dialogs->answer(Answer::Ok);
    w.msgChingin_DblClick();
    QCOMPARE(ReadBytes("テーマ１.TXT"), Deposit(u"A"_s, "100") + Deposit(u"C"_s, "3"));
    restartShowsTheSame();
    m_dialogs->answer(Answer::Ok);
    w.cmdChinClr_Click();
    QCOMPARE(ReadBytes("テーマ１.TXT"), QByteArray());
    m_window.reset();
    start();
    QCOMPARE(m_window->msgChingin->Rows(), 1);
    QCOMPARE(QDir().entryList(QDir::Files), QStringList{u"テーマ１.TXT"_s});
}

void TestNothingLost::twoSpellingsWithDataAreNotGuessed() {
    WriteBytes(kLedgerName, Deposit(u"ここで"_s, "1"));
    WriteBytes("\x83\x65\x81\x5b\x83\x7d\x82\x50.TXT", kABC); // unpacked from a Windows archive
    start(false);
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    const QString text = m_dialogs->asked[0].text;
    QVERIFY2(text.contains(u"「テーマ１.txt」"_s) && text.contains(u"「テーマ１.TXT」"_s), qPrintable(text));
    QVERIFY(text.contains(u"終了"_s));
    QCOMPARE(ReadBytes(kLedgerName), Deposit(u"ここで"_s, "1"));
    QCOMPARE(ReadBytes("\x83\x65\x81\x5b\x83\x7d\x82\x50.TXT"), kABC);
    QCOMPARE(EntryCount(), 2); // nothing made, nothing removed
}

// Texts the boxes take, entered as a user does, read back identically after a restart: half-width katakana
// (whose bytes happen to be valid UTF-8) and the longest texts, measured in the file's bytes.
void TestNothingLost::whatTheBoxesTakeReadsBackAfterARestart() {
    fraMain& w = start();
    m_dialogs->answerInput(u"ﾏｲﾎｰﾑ"_s);
    w.imgTema1_DblClick();
    for (const QString& item : {u"ﾊｲ"_s, u"ﾓｽ"_s, QString(w.txtChinKou->maxLength(), u'貯')}) {
        m_dialogs->answer(Answer::Yes);
        deposit(item, u"1"_s);
    }
    QCOMPARE(w.msgChinKou->Rows(), 4);
    restartShowsTheSame();
    m_dialogs->answerInput(QString(22000, u'金'));
    w.lblTemaMei_DblClick();
    QCOMPARE(w.lblTemaMei->text().size(), 22000);
    restartShowsTheSame();
}

void TestNothingLost::depositPastTheReadableSizeIsRefused() {
    const QByteArray line = Deposit(QString(60000, u'x'), "1");
    QByteArray big;
    while (big.size() + line.size() < int(records::RecordFile::kMaxInputBytes) - 1000)
        big += line;
    WriteBytes(kLedgerName, big);
    fraMain& w = start();
    const int rows = w.msgChingin->Rows();
    deposit(QString(60000, u'y'), u"1"_s);
    QVERIFY(Told(*m_dialogs, u"16 MB"_s));
    QCOMPARE(ReadBytes(kLedgerName), big);
    QCOMPARE(w.msgChingin->Rows(), rows);
    m_dialogs->answer(Answer::No);
    deposit(u"短い"_s, u"1"_s);
    QCOMPARE(w.msgChingin->Rows(), rows + 1);
    restartShowsTheSame();
}

void TestNothingLost::tornLastDepositIsLeftOutOnceAndMended() {
    const QByteArray whole = Deposit(u"A"_s, "100") + Deposit(u"B"_s, "20");
    WriteBytes(kLedgerName, whole + Cp932(u"\"2026年12月07日\",\"長い項目の途"_s));
    fraMain& w = start();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    QVERIFY(m_dialogs->asked[0].text.contains(u"3 行目"_s));
    QCOMPARE(m_dialogs->asked[0].icon, Dialogs::Icon::Information);
    QCOMPARE(w.msgChingin->Rows(), 3);
    m_dialogs->answer(Answer::No);
    deposit(u"C"_s, u"3"_s);
    QCOMPARE(ReadBytes(kLedgerName), whole + Deposit(u"C"_s, "3"));
    m_window.reset();
    m_dialogs->asked.clear();
    start();
    QVERIFY(m_dialogs->asked.empty()); // told once: the file is whole again
    QCOMPARE(m_window->lblChin_zen->text(), u"¥123"_s);
}

void TestNothingLost::userTextIsNeverMarkup() {
    WriteBytes(kThemeName, Cp932(u"\"<img src=/dev/zero>\"\r\n"_s));
    WriteBytes(kItemsName, Item(u"<b>太字</b>"_s, "1") + Item(u"<i>二つ目</i>"_s, "2"));
    fraMain& w = start();
    QCOMPARE(w.lblTemaMei->textFormat(), Qt::PlainText);
    QCOMPARE(w.lblTemaMei->text(), u"<img src=/dev/zero>"_s);
    for (QLabel* label : w.findChildren<QLabel*>())
        QVERIFY2(label->textFormat() == Qt::PlainText || label->text().isEmpty(), qPrintable(label->objectName()));
    QVERIFY(!w.grab().isNull()); // drawn as text: nothing is loaded from the name
    m_dialogs->answerInput(u"<b>太字</b>"_s);
    w.imgTema1_DblClick();
    QCOMPARE(w.lblTemaMei->text(), u"<b>太字</b>"_s);
    QCOMPARE(w.msgChinKou->cell(1, 0), u"<b>太字</b>"_s);
}

// The ledger is missing and the item list damaged: the start ends, and has made nothing.
void TestNothingLost::failedStartWritesNothing() {
    WriteBytes(kItemsName, Item(u"晩酌"_s, "五十"));
    start(false);
    QVERIFY(Told(*m_dialogs, u"「項目１.txt」を読み込めません"_s));
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{u"項目１.txt"_s});
}

void TestNothingLost::pipeInPlaceOfTheLedger() {
    QCOMPARE(mkfifo(kLedgerName, 0600), 0);
    start(false); // told at once, instead of waiting for a writer that never comes
    QVERIFY(Told(*m_dialogs, u"通常のファイルではありません"_s));
}

void TestNothingLost::leftoversOfKilledRewritesGo() {
    WriteBytes(kLedgerName, kABC);
    WriteBytes(".テーマ１.txt.k9Xz01", kABC.left(20));
    WriteBytes(".項目１.txt.Qq7Rr2", "");
    start();
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{u"テーマ１.txt"_s});
}

QTEST_MAIN(TestNothingLost)
#include "tst_nothinglost.moc"
