// Failures and then more work, through the real operations of the main window: whatever goes wrong, the
// files keep the last completed operation, the screen shows what they hold, and a restart after every step
// shows the same.
#include "testsupport.h"
#include "widgets/controls.h"
#include "widgets/grid.h"
#include "window/fraMain.h"

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
#include <unistd.h>

using namespace Qt::StringLiterals;
using Answer = Dialogs::Answer;

namespace {

const QByteArray kABC = Deposit(u"A"_s, "100") + Deposit(u"B"_s, "20") + Deposit(u"C"_s, "3");

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
    void emptySecondSpellingIsNamed_data();
    void emptySecondSpellingIsNamed();
    void hardLinkedLedgerIsOneFile();
    void entryThatIsNoFileIsNamed_data();
    void entryThatIsNoFileIsNamed();
    void whatTheBoxesTakeReadsBackAfterARestart();
    void depositPastTheReadableSizeIsRefused();
    void tornLastDepositIsLeftOutOnceAndMended();
    void userTextIsNeverMarkup();
    void failedStartWritesNothing();
    void pipeInPlaceOfTheLedger();
    void onlyTheProgramsLeftoversGo_data();
    void onlyTheProgramsLeftoversGo();

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
    QVERIFY(Told(*m_dialogs, u"「テーマ１.TXT」を使います"_s));
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

// Look-alikes of every data file's temporaries stay byte for byte through a start; only a temporary of the
// program's own making goes.
void TestNothingLost::onlyTheProgramsLeftoversGo_data() {
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<bool>("directory");
    QTest::addColumn<bool>("removed");
    for (const char* name : {".テーマ１.txt.backup", ".テーマ１.TXT.202412", ".項目１.txt.before",
                             ".テーマ名１.txt.abc123", ".テーマ１.txt.A1b2C3", ".項目１.txt.tsumotto-tmp-1234567",
                             ".kzHelp.chm.tsumotto-tmp-abc123", ".目標１.txt.backup"})
        QTest::newRow(name) << QByteArray(name) << false << false;
    QTest::newRow("marked folder") << QByteArray(".テーマ名１.txt.tsumotto-tmp-Ab3dE9") << true << false;
    for (const char* name : {kLedgerName, kItemsName, kThemeName, "目標１.txt"})
        QTest::newRow(name) << QByteArray(name) << false << true; // a temporary made for it, as a rewrite does
}

void TestNothingLost::onlyTheProgramsLeftoversGo() {
    QFETCH(QByteArray, entry);
    QFETCH(bool, directory);
    QFETCH(bool, removed);
    WriteBytes(kLedgerName, kABC);
    WriteBytes(kItemsName, Item(u"X"_s, "1"));
    if (removed) {
        std::string path;
        const int fd = records::MakeTemporaryBeside({}, entry.toStdString(), path);
        QVERIFY(fd >= 0 && ::write(fd, kABC.constData(), 20) == 20);
        ::close(fd);
        entry = QByteArray::fromStdString(path);
    } else if (directory) {
        QVERIFY(QDir().mkdir(QString::fromUtf8(entry)));
        WriteBytes((entry + "/inside").constData(), kABC);
    } else {
        WriteBytes(entry.constData(), kABC);
    }
    start();
    QCOMPARE(FileExists(entry.constData()), !removed);
    if (!removed)
        QCOMPARE(ReadBytes(directory ? (entry + "/inside").constData() : entry.constData()), kABC);
    QCOMPARE(EntryCount(), removed ? 2 : 3);
    QCOMPARE(ReadBytes(kLedgerName), kABC);
}

// An empty second spelling is removed, and the message tells the two apart by their names in the folder:
// by letter case, and by how a name from a Windows archive is written, where they look alike.
void TestNothingLost::emptySecondSpellingIsNamed_data() {
    QTest::addColumn<QByteArray>("used");
    QTest::addColumn<QByteArray>("empty");
    QTest::addColumn<QString>("usedShown");
    QTest::addColumn<QString>("emptyShown");
    const QByteArray windows = "\x83\x65\x81\x5b\x83\x7d\x82\x50.txt"; // テーマ１.txt in code page 932
    const QString windowsShown = u"「テーマ１.txt」（名前が Windows の文字コード Shift_JIS で書かれたもの）"_s;
    QTest::newRow("capitals used") << QByteArray("テーマ１.TXT") << QByteArray(kLedgerName) << u"「テーマ１.TXT」"_s
                                   << u"「テーマ１.txt」"_s;
    QTest::newRow("capitals empty") << QByteArray(kLedgerName) << QByteArray("テーマ１.TXT") << u"「テーマ１.txt」"_s
                                    << u"「テーマ１.TXT」"_s;
    QTest::newRow("from Windows used") << windows << QByteArray(kLedgerName) << windowsShown << u"「テーマ１.txt」"_s;
    QTest::newRow("from Windows empty") << QByteArray(kLedgerName) << windows << u"「テーマ１.txt」"_s << windowsShown;
}

void TestNothingLost::emptySecondSpellingIsNamed() {
    QFETCH(QByteArray, used);
    QFETCH(QByteArray, empty);
    QFETCH(QString, usedShown);
    QFETCH(QString, emptyShown);
    WriteBytes(used.constData(), kABC);
    WriteBytes(empty.constData(), "");
    fraMain& w = start();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    const QString text = m_dialogs->asked[0].text;
    QCOMPARE(
        text,
        u"貯金の記録には、このフォルダーの%1を使います。同じ名前とみなされる空のファイル %2 は削除しました。"_s.arg(
            usedShown, emptyShown));
    QCOMPARE(EntryCount(), 1);
    QCOMPARE(ReadBytes(used.constData()), kABC);
    QCOMPARE(w.msgChingin->Rows(), 4);
}

// A second name of the ledger made by a hard link is the same ledger: the program starts, works on it, and
// keeps both names on one file.
void TestNothingLost::hardLinkedLedgerIsOneFile() {
    WriteBytes(kLedgerName, kABC);
    QCOMPARE(::link(kLedgerName, "テーマ１.TXT"), 0);
    auto oneFile = [] {
        struct stat a {
        }, b{};
        return stat(kLedgerName, &a) == 0 && stat("テーマ１.TXT", &b) == 0 && a.st_ino == b.st_ino &&
               a.st_dev == b.st_dev;
    };
    fraMain& w = start();
    QVERIFY(m_dialogs->asked.empty());
    QCOMPARE(w.msgChingin->Rows(), 4);
    m_dialogs->answer(Answer::No); // not registered as an item
    deposit(u"D"_s, u"4"_s);
    w.msgChingin->setRow(1);
    m_dialogs->answer(Answer::Ok);
    w.msgChingin_DblClick();
    const QByteArray now = Deposit(u"B"_s, "20") + Deposit(u"C"_s, "3") + Deposit(u"D"_s, "4");
    QCOMPARE(ReadBytes(kLedgerName), now);
    QVERIFY(oneFile());
    restartShowsTheSame();
    m_dialogs->answer(Answer::Ok);
    w.cmdChinClr_Click();
    QVERIFY(oneFile());
    QCOMPARE(ReadBytes("テーマ１.TXT"), QByteArray());
    m_window.reset();
    start();
    QVERIFY(oneFile());
    QCOMPARE(m_window->msgChingin->Rows(), 1);
}

// An entry named like a data file that is no file is named as the cause, in Japanese, and nothing is touched.
void TestNothingLost::entryThatIsNoFileIsNamed_data() {
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<bool>("directory");
    QTest::addColumn<QByteArray>("beside"); // the data file of that name, or none
    QTest::addColumn<QString>("told");
    const QByteArray items = Item(u"晩酌"_s, "500");
    QTest::newRow("folder beside the item list")
        << QByteArray("項目１.TXT") << true << items
        << u"「項目１.TXT」はフォルダーなので、項目リストのファイル（項目１.txt）"_s;
    QTest::newRow("folder beside an empty item list")
        << QByteArray("項目１.TXT") << true << QByteArray("") << u"「項目１.TXT」はフォルダーなので"_s;
    QTest::newRow("folder alone") << QByteArray("テーマ名１.TXT") << true << QByteArray()
                                  << u"「テーマ名１.TXT」はフォルダーなので、テーマ名のファイル（テーマ名１.txt）"_s;
    QTest::newRow("pipe beside the ledger")
        << QByteArray("テーマ１.TXT") << false << kABC << u"「テーマ１.TXT」は通常のファイルではありません"_s;
}

void TestNothingLost::entryThatIsNoFileIsNamed() {
    QFETCH(QByteArray, entry);
    QFETCH(bool, directory);
    QFETCH(QByteArray, beside);
    QFETCH(QString, told);
    const QByteArray dataName = entry.left(entry.size() - 3) + "txt";
    if (!beside.isNull())
        WriteBytes(dataName.constData(), beside);
    if (dataName != kLedgerName)
        WriteBytes(kLedgerName, kABC);
    if (directory)
        QVERIFY(QDir().mkdir(QString::fromUtf8(entry)));
    else
        QCOMPARE(mkfifo(entry.constData(), 0600), 0);
    const int entries = EntryCount();
    start(false);
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    const QString text = m_dialogs->asked[0].text;
    QVERIFY2(text.startsWith(told), qPrintable(text));
    QVERIFY2(text.contains(u"ファイルには手を付けずに"_s), qPrintable(text));
    QVERIFY2(!text.contains(u"directory"_s, Qt::CaseInsensitive), qPrintable(text));
    QCOMPARE(EntryCount(), entries);
    if (!beside.isNull())
        QCOMPARE(ReadBytes(dataName.constData()), beside);
}

QTEST_MAIN(TestNothingLost)
#include "tst_nothinglost.moc"
