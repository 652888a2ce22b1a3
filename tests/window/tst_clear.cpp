// A clear keeps the file it empties in the desktop's trash (records/trash.cpp, tests/records/tst_trash.cpp): the
// ledger and the item list come back from there, a trash that cannot take them asks first, and an end at any
// step loses nothing. Each test has a data home of its own (ScopedWorkDir), so the user's trash is never touched.
#include "records/trash.h"
#include "testsupport.h"
#include "widgets/controls.h"
#include "widgets/grid.h"
#include "window/fraMain.h"

#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Answer = Dialogs::Answer;
using Buttons = Dialogs::Buttons;
using Icon = Dialogs::Icon;

namespace {

const QByteArray kABC = Deposit(u"A"_s, "100") + Deposit(u"B"_s, "20") + Deposit(u"C"_s, "3");
const QByteArray kXYZ = Item(u"X"_s, "1") + Item(u"Y"_s, "2") + Item(u"Z"_s, "3");

// The trash's entries and a directory's names, in Qt's bytes.
struct Trashed {
    QByteArray name;
    QByteArray bytes;
    QByteArray info;
};

QList<Trashed> Entries(const QByteArray& trash) {
    QList<Trashed> entries;
    for (const files::Trashed& entry : files::TrashEntries(trash.toStdString()))
        entries << Trashed{QByteArray::fromStdString(entry.name), QByteArray::fromStdString(entry.bytes),
                           QByteArray::fromStdString(entry.info)};
    return entries;
}

QList<QByteArray> Listing(const QByteArray& directory) {
    QList<QByteArray> names;
    for (const std::string& name : files::Listing(directory.toStdString()))
        names << QByteArray::fromStdString(name);
    return names;
}

QByteArray HomeTrash(const ScopedWorkDir& dir) {
    return QFile::encodeName(dir.dataHome()) + "/Trash";
}

QByteArray Here(const char* name) {
    return QByteArray::fromStdString(files::Here(name));
}

// A valid information file that leads back to `path`, deleted since `before`.
void VerifyInfo(const QByteArray& info, const QByteArray& path, const QDateTime& before) {
    const std::string fault = files::TrashInfoFault(info.toStdString(), path.toStdString(), before.toSecsSinceEpoch());
    QVERIFY2(fault.empty(), fault.c_str());
}

QString LedgerQuestion() {
    return u"これまでのデータを削除してもいいですか？\r\n今のデータの写しをゴミ箱に入れてから、ファイルを空にします。写しはゴミ箱から取り出せます。\r\n"_s;
}

QString ItemsQuestion() {
    return u"登録されている項目を全て削除してもいいですか？\r\n今の項目リストの写しをゴミ箱に入れてから、ファイルを空にします。写しはゴミ箱から取り出せます。\r\n"_s;
}

} // namespace

class TestClear : public QObject, MainWindowTest {
    Q_OBJECT

private slots:
    void init() { initWindowTest(); }
    void cleanup() { cleanupWindowTest(); }
    void clearedLedgerComesBackFromTheTrash();
    void clearedItemListComesBackFromTheTrash();
    void emptyFileIsNotTrashed();
    void unwritableTrashAsksThenMoreWork();
    void fullDiskAsksAndKeepsNoPart();
    void endedBetweenTheTwoStepsLosesNothing();

private:
    void restartShowsTheSame();
};

void TestClear::restartShowsTheSame() {
    ScriptedDialogs quiet;
    fraMain fresh(quiet);
    QVERIFY(LoadPastStarter(fresh));
    QCOMPARE(Screen(fresh), Screen(*m_window));
}

// Cleared, the ledger is in the trash as it was and the file is empty; put back while the program is closed, it
// is the ledger again.
void TestClear::clearedLedgerComesBackFromTheTrash() {
    WriteBytes(kLedgerName, kABC);
    WriteBytes(kItemsName, kXYZ);
    fraMain& w = start();
    const QStringList full = Screen(w);
    const QDateTime before = QDateTime::currentDateTime();
    m_dialogs->answer(Answer::Ok);
    w.cmdChinClr_Click();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    QCOMPARE(m_dialogs->asked[0].text, LedgerQuestion());
    QCOMPARE(m_dialogs->asked[0].buttons, Buttons::OkCancel);
    QCOMPARE(m_dialogs->asked[0].icon, Icon::None);
    QCOMPARE(ReadBytes(kLedgerName), QByteArray());
    QCOMPARE(w.msgChingin->Rows(), 1);
    QCOMPARE(w.lblChin_cnt->text(), u"0"_s);
    const QList<Trashed> entries = Entries(HomeTrash(*m_dir));
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].name, QByteArray(kLedgerName));
    QCOMPARE(entries[0].bytes, kABC);
    VerifyInfo(entries[0].info, Here(kLedgerName), before);
    QCOMPARE(ReadBytes(kItemsName), kXYZ);
    restartShowsTheSame();

    m_window.reset();
    WriteBytes(kLedgerName, entries[0].bytes); // what 「元に戻す」 does, over the empty file
    fraMain& again = start();
    QCOMPARE(Screen(again), full);
}

void TestClear::clearedItemListComesBackFromTheTrash() {
    WriteBytes(kItemsName, kXYZ);
    WriteBytes(kThemeName, Cp932(u"\"北海道旅行\"\r\n"_s));
    fraMain& w = start();
    const QStringList full = Screen(w);
    const QDateTime before = QDateTime::currentDateTime();
    m_dialogs->answer(Answer::Ok);
    w.cmdChinClr2_Click();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(1));
    QCOMPARE(m_dialogs->asked[0].text, ItemsQuestion());
    QCOMPARE(ReadBytes(kItemsName), QByteArray());
    QCOMPARE(w.msgChinKou->Rows(), 1);
    const QList<Trashed> entries = Entries(HomeTrash(*m_dir));
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].name, QByteArray(kItemsName));
    QCOMPARE(entries[0].bytes, kXYZ);
    VerifyInfo(entries[0].info, Here(kItemsName), before);
    restartShowsTheSame();

    m_window.reset();
    WriteBytes(kItemsName, entries[0].bytes);
    fraMain& again = start();
    QCOMPARE(Screen(again), full);
}

// A file emptied by another program is shown empty at the clear, which then has nothing to do, and trashes nothing.
void TestClear::emptyFileIsNotTrashed() {
    WriteBytes(kLedgerName, kABC);
    WriteBytes(kItemsName, kXYZ);
    fraMain& w = start();
    WriteBytes(kLedgerName, "");
    WriteBytes(kItemsName, "");
    w.cmdChinClr_Click();
    w.cmdChinClr2_Click();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(2));
    QVERIFY(m_dialogs->asked[0].text.startsWith(u"「テーマ１.txt」が他のプログラムで変更された"_s));
    QVERIFY(m_dialogs->asked[1].text.startsWith(u"「項目１.txt」が他のプログラムで変更された"_s));
    QCOMPARE(ReadBytes(kLedgerName), QByteArray());
    QCOMPARE(ReadBytes(kItemsName), QByteArray());
    QCOMPARE(w.msgChingin->Rows(), 1);
    QCOMPARE(w.msgChinKou->Rows(), 1);
    QVERIFY(Entries(HomeTrash(*m_dir)).isEmpty());
}

// A trash that cannot be written: the user is told and asked, Cancel the default; Cancel changes nothing, OK
// clears all the same. Then more work, and a trash that works again.
void TestClear::unwritableTrashAsksThenMoreWork() {
    const QByteArray trash = HomeTrash(*m_dir);
    WriteBytes(trash, "not a directory"); // root passes permission checks, so the trash is made impossible
    WriteBytes(kLedgerName, kABC);
    WriteBytes(kItemsName, kXYZ);
    fraMain& w = start();
    const QStringList full = Screen(w);

    m_dialogs->answer(Answer::Ok);
    m_dialogs->answer(Answer::Cancel);
    w.cmdChinClr_Click();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(2));
    const ScriptedDialogs::Asked& question = m_dialogs->asked[1];
    const QStringList lines = question.text.split(u"\r\n"_s);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], u"削除する前の「テーマ１.txt」を、ゴミ箱に残せませんでした。"_s);
    QVERIFY2(lines[1].startsWith(u"「"_s + QFile::decodeName(trash) + u"」: "_s), qPrintable(lines[1]));
    QCOMPARE(lines[2], QString());
    QCOMPARE(lines[3], u"このまま削除すると、元に戻せません。それでも削除してもいいですか？"_s);
    QCOMPARE(question.title, u"削除確認"_s);
    QCOMPARE(question.buttons, Buttons::OkCancelDefaultCancel);
    QCOMPARE(question.icon, Icon::Warning);
    QCOMPARE(ReadBytes(kLedgerName), kABC);
    QCOMPARE(Screen(w), full);
    restartShowsTheSame();

    m_dialogs->answer(Answer::Ok);
    m_dialogs->answer(Answer::Ok);
    w.cmdChinClr_Click();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(4));
    QCOMPARE(ReadBytes(kLedgerName), QByteArray());
    QCOMPARE(w.msgChingin->Rows(), 1);
    restartShowsTheSame();

    // More work: a deposit, a clear-all refused, then a trash that works again takes both lists.
    w.txtChinKou->setText(u"X"_s);
    w.txtChin_Inp->setText(u"1"_s);
    w.cmdChinHozon_Click();
    QCOMPARE(ReadBytes(kLedgerName), Deposit(u"X"_s, "1"));
    m_dialogs->answer(Answer::Ok);
    m_dialogs->answer(Answer::Cancel);
    w.cmdChinClr2_Click();
    QVERIFY(m_dialogs->asked.back().text.startsWith(u"削除する前の「項目１.txt」を、ゴミ箱に残せませんでした。\r\n"_s));
    QCOMPARE(ReadBytes(kItemsName), kXYZ);
    QCOMPARE(w.msgChinKou->Rows(), 4);
    restartShowsTheSame();

    QVERIFY(QFile::remove(QFile::decodeName(trash)));
    m_dialogs->asked.clear();
    m_dialogs->answer(Answer::Ok);
    w.cmdChinClr2_Click();
    m_dialogs->answer(Answer::Ok);
    w.cmdChinClr_Click();
    QCOMPARE(m_dialogs->asked.size(), std::size_t(2)); // the confirmations only
    const QList<Trashed> entries = Entries(trash);
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[0].bytes, kXYZ); // 項目１.txt
    QCOMPARE(entries[1].bytes, Deposit(u"X"_s, "1"));
    QCOMPARE(ReadBytes(kLedgerName), QByteArray());
    QCOMPARE(ReadBytes(kItemsName), QByteArray());
    restartShowsTheSame();
}

// A disk too full for the copy: the same question; OK clears, and no part of a copy stays in the trash.
void TestClear::fullDiskAsksAndKeepsNoPart() {
    QByteArray ledger;
    for (int i = 0; i < 200; ++i)
        ledger += Deposit(u"タクシーを使ったつもり"_s, "690");
    WriteBytes(kLedgerName, ledger);
    fraMain& w = start();
    m_dialogs->answer(Answer::Ok);
    m_dialogs->answer(Answer::Ok);
    {
        const FileSizeLimit full(4096);
        w.cmdChinClr_Click();
    }
    QCOMPARE(m_dialogs->asked.size(), std::size_t(2));
    QCOMPARE(m_dialogs->asked[1].buttons, Buttons::OkCancelDefaultCancel);
    QVERIFY(m_dialogs->asked[1].text.contains(u"/Trash/files/テーマ１.txt」: "_s));
    QCOMPARE(ReadBytes(kLedgerName), QByteArray());
    QCOMPARE(w.msgChingin->Rows(), 1);
    QVERIFY(Entries(HomeTrash(*m_dir)).isEmpty());
    QCOMPARE(Listing(HomeTrash(*m_dir) + "/files").size(), 2);
    restartShowsTheSame();
}

// The program ended after the copy and before the file was emptied: the ledger is whole, the next start shows
// it, the copy in the trash stays as it was through more deposits, and the next clear keeps a copy of its own.
// Ended in the middle of the copy (a write past the size limit ends the process), the ledger is whole as well, the
// trash holds no part of the copy, and the next start removes what the copy left beside the ledger.
void TestClear::endedBetweenTheTwoStepsLosesNothing() {
    WriteBytes(kLedgerName, kABC);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0)
        _exit(records::CopyToTrash(kLedgerName).status.ok() ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QCOMPARE(ReadBytes(kLedgerName), kABC);

    fraMain& w = start();
    QCOMPARE(w.msgChingin->Rows(), 4);
    w.txtChinKou->setText(u"D"_s);
    w.txtChin_Inp->setText(u"4"_s);
    m_dialogs->answer(Answer::No);
    w.cmdChinHozon_Click();
    QCOMPARE(Entries(HomeTrash(*m_dir)).front().bytes, kABC);
    m_dialogs->answer(Answer::Ok);
    w.cmdChinClr_Click();
    const QList<Trashed> entries = Entries(HomeTrash(*m_dir));
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[0].bytes, kABC);
    QCOMPARE(entries[1].bytes, kABC + Deposit(u"D"_s, "4"));
    QCOMPARE(ReadBytes(kLedgerName), QByteArray());
    m_window.reset();

    QByteArray large;
    while (large.size() < 100'000)
        large += kABC;
    WriteBytes(kLedgerName, large);
    const pid_t cut = fork();
    QVERIFY(cut >= 0);
    if (cut == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 70'000;
        setrlimit(RLIMIT_FSIZE, &limit);
        (void)records::CopyToTrash(kLedgerName);
        _exit(0);
    }
    waitpid(cut, &status, 0);
    QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
    QCOMPARE(ReadBytes(kLedgerName), large);
    QCOMPARE(Entries(HomeTrash(*m_dir)).size(), 2);
    QCOMPARE(Listing(".").size(), 4); // ".", "..", the ledger and the part of a copy
    fraMain& third = start();
    QCOMPARE(third.ChinCnt, qint16(large.size() / kABC.size() * 3));
    QCOMPARE(Listing("."), QList<QByteArray>({".", "..", kLedgerName}));
    m_dialogs->answer(Answer::Ok);
    third.cmdChinClr_Click();
    QCOMPARE(ReadBytes(kLedgerName), QByteArray());
    QCOMPARE(Entries(HomeTrash(*m_dir)).size(), 3);
    QCOMPARE(Entries(HomeTrash(*m_dir)).back().bytes, large);
}

QTEST_MAIN(TestClear)
#include "tst_clear.moc"
