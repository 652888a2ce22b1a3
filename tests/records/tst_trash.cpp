// A clear keeps the file it empties in the desktop's trash, as the freedesktop.org Trash standard lays it out:
// the copy under the file's own name, an information file that leads back to the file, and a question when the
// trash cannot take it. Each test has a data home of its own (ScopedWorkDir), so the user's trash is never touched.
#include "records/text/trash.h"
#include "shell/controls.h"
#include "shell/fraMain.h"
#include "shell/grid.h"
#include "testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTest>

#include <csignal>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

using namespace Qt::StringLiterals;
using Answer = Dialogs::Answer;
using Buttons = Dialogs::Buttons;
using Icon = Dialogs::Icon;

namespace {

const QByteArray kCp932Ledger = "\x83\x65\x81\x5b\x83\x7d\x82\x50.TXT"; // テーマ１.TXT unpacked from a Windows archive

const QByteArray kABC = Deposit(u"A"_s, "100") + Deposit(u"B"_s, "20") + Deposit(u"C"_s, "3");
const QByteArray kXYZ = Item(u"X"_s, "1") + Item(u"Y"_s, "2") + Item(u"Z"_s, "3");

// One entry of a trash: the copy's name in files/, its bytes and its whole information file.
struct Trashed {
    QByteArray name;
    QByteArray bytes;
    QByteArray info;
};

// The entries of the trash at `trash`, by their information files; names are taken as the bytes the file system
// has.
QList<Trashed> Entries(const QByteArray& trash) {
    QList<QByteArray> names;
    if (DIR* dir = opendir(trash + "/info")) {
        while (const dirent* entry = readdir(dir)) {
            const QByteArray name = entry->d_name;
            if (name.endsWith(".trashinfo"))
                names << name.chopped(10);
        }
        closedir(dir);
    }
    // The file's own name before its numbered copies: shorter names first.
    std::sort(names.begin(), names.end(), [](const QByteArray& a, const QByteArray& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    QList<Trashed> entries;
    for (const QByteArray& name : names)
        entries << Trashed{name, ReadBytes(trash + "/files/" + name),
                           ReadBytes(trash + "/info/" + name + ".trashinfo")};
    return entries;
}

// What the directory holds, whatever it is.
QList<QByteArray> Listing(const QByteArray& directory) {
    QList<QByteArray> names;
    if (DIR* dir = opendir(directory)) {
        while (const dirent* entry = readdir(dir))
            names << entry->d_name;
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

QByteArray HomeTrash(const ScopedWorkDir& dir) {
    return QFile::encodeName(dir.dataHome()) + "/Trash";
}

// The absolute path of a file in the current directory, in the bytes the file system has.
QByteArray Here(const QByteArray& name) {
    return QFile::encodeName(QDir::current().canonicalPath()) + '/' + name;
}

// A valid information file: the group, the path as given (percent-encoded by Qt, not by the program) and a
// deletion date in local time between `before` and now.
void VerifyInfo(const QByteArray& info, const QByteArray& path, const QDateTime& before) {
    static const QRegularExpression form(u"^\\[Trash Info\\]\nPath=([^\n]*)\nDeletionDate=([^\n]*)\n$"_s);
    const auto match = form.match(QString::fromLatin1(info));
    QVERIFY2(match.hasMatch(), info.constData());
    QCOMPARE(match.captured(1).toLatin1(), path.toPercentEncoding("/"));
    QCOMPARE(QByteArray::fromPercentEncoding(match.captured(1).toLatin1()), path);
    const QDateTime deleted = QDateTime::fromString(match.captured(2), u"yyyy-MM-ddTHH:mm:ss"_s);
    QVERIFY2(deleted.isValid(), qPrintable(match.captured(2)));
    QVERIFY(deleted >= before.addMSecs(-before.time().msec()) && deleted <= QDateTime::currentDateTime());
}

QStringList Screen(const fraMain& w) {
    QStringList shown;
    for (const Grid* grid : {w.msgChingin, w.msgChinKou})
        for (int r = 0; r < grid->Rows(); ++r)
            for (int c = 0; c < grid->Cols(); ++c)
                shown << grid->cell(r, c);
    shown << w.lblChin_cnt->text() << w.lblChin_zen->text() << w.lblTemaMei->text();
    return shown;
}

QString LedgerQuestion() {
    return u"これまでのデータを削除してもいいですか？\r\n削除する前のデータはゴミ箱に移すので、ゴミ箱から元に戻せます。\r\n"_s;
}

QString ItemsQuestion() {
    return u"登録されている項目を全て削除してもいいですか？\r\n削除する前の項目はゴミ箱に移すので、ゴミ箱から元に戻せます。\r\n"_s;
}

} // namespace

class TestTrash : public QObject, MainWindowTest {
    Q_OBJECT

private slots:
    void init() { initWindowTest(); }
    void cleanup() { cleanupWindowTest(); }
    // The records layer.
    void copyKeepsTheFileAsItWas();
    void namesAsTheFileSystemHasThem();
    void takenNamesAreLeftAlone();
    void nothingToKeep();
    void homeTrashWithoutADataHome();
    void trashThatCannotTakeIt_data();
    void trashThatCannotTakeIt();
    void otherFileSystemUsesItsOwnTrash();
    // The window's clears.
    void clearedLedgerComesBackFromTheTrash();
    void clearedItemListComesBackFromTheTrash();
    void emptyFileIsNotTrashed();
    void unwritableTrashAsksThenMoreWork();
    void fullDiskAsksAndKeepsNoPart();
    void endedBetweenTheTwoStepsLosesNothing();

private:
    void restartShowsTheSame();
};

void TestTrash::restartShowsTheSame() {
    ScriptedDialogs quiet;
    fraMain fresh(quiet);
    QVERIFY(LoadPastStarter(fresh));
    QCOMPARE(Screen(fresh), Screen(*m_window));
}

void TestTrash::copyKeepsTheFileAsItWas() {
    WriteBytes(kLedgerName, kABC);
    QVERIFY(chmod(kLedgerName, 0640) == 0);
    const utimbuf times{1'200'000'000, 1'210'000'000};
    QVERIFY(utime(kLedgerName, &times) == 0);
    const QDateTime before = QDateTime::currentDateTime();
    const records::TrashedCopy copy = records::CopyToTrash(kLedgerName);
    QVERIFY2(copy.status.ok(), copy.status.reason().c_str());
    const QByteArray trash = HomeTrash(*m_dir);
    QCOMPARE(QByteArray::fromStdString(copy.path), trash + "/files/" + kLedgerName);

    const QList<Trashed> entries = Entries(trash);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].name, QByteArray(kLedgerName));
    QCOMPARE(entries[0].bytes, kABC);
    VerifyInfo(entries[0].info, Here(kLedgerName), before);
    struct stat kept {};
    QVERIFY(stat(copy.path.c_str(), &kept) == 0);
    QCOMPARE(kept.st_mode & 07777, mode_t(0640));
    QCOMPARE(kept.st_mtime, time_t(1'210'000'000));
    for (const char* sub : {"", "/files", "/info"}) { // the user's own, as the standard asks
        QVERIFY(stat(trash + sub, &kept) == 0);
        QCOMPARE(kept.st_mode & 07777, mode_t(0700));
    }
    QCOMPARE(ReadBytes(kLedgerName), kABC); // the file itself is left to the caller

    // The same name again: numbered as file managers number theirs, the first copy untouched.
    WriteBytes(kLedgerName, kABC + Deposit(u"D"_s, "4"));
    QVERIFY(records::CopyToTrash(kLedgerName).status.ok());
    WriteBytes(kLedgerName, kABC.left(10));
    QCOMPARE(QByteArray::fromStdString(records::CopyToTrash(kLedgerName).path), trash + "/files/テーマ１.3.txt");
    const QList<Trashed> three = Entries(trash);
    QCOMPARE(three.size(), 3);
    QCOMPARE(three[0].bytes, kABC);
    QCOMPARE(three[1].name, "テーマ１.2.txt"_ba);
    QCOMPARE(three[1].bytes, kABC + Deposit(u"D"_s, "4"));
    QCOMPARE(three[2].bytes, kABC.left(10));
    for (const Trashed& entry : three)
        VerifyInfo(entry.info, Here(kLedgerName), before);
}

// The name the lookup finds is the one trashed, in its own bytes; a link leads to the file it points to, which
// is the one a clear empties.
void TestTrash::namesAsTheFileSystemHasThem() {
    WriteBytes(kCp932Ledger, kABC);
    const QDateTime before = QDateTime::currentDateTime();
    QVERIFY(records::CopyToTrash(kLedgerName).status.ok());
    const QList<Trashed> entries = Entries(HomeTrash(*m_dir));
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].name, kCp932Ledger);
    QCOMPARE(entries[0].bytes, kABC);
    VerifyInfo(entries[0].info, Here(kCp932Ledger), before);
    QVERIFY(entries[0].info.contains("/%83e%81%5B%83%7D%82P.TXT\n"));

    QVERIFY(QDir().mkdir(u"real"_s));
    WriteBytes("real/items.txt", kXYZ);
    QVERIFY(QFile::link(u"real/items.txt"_s, QString::fromUtf8(kItemsName)));
    QVERIFY(records::CopyToTrash(kItemsName).status.ok());
    const QList<Trashed> both = Entries(HomeTrash(*m_dir));
    QCOMPARE(both.size(), 2);
    QCOMPARE(both[0].name, "items.txt"_ba);
    QCOMPARE(both[0].bytes, kXYZ);
    VerifyInfo(both[0].info, Here("real/items.txt"), before);
    // Names Qt cannot spell are removed here, by their bytes.
    const QByteArray trash = HomeTrash(*m_dir);
    for (const QByteArray& made :
         {trash + "/files/" + kCp932Ledger, trash + "/info/" + kCp932Ledger + ".trashinfo", kCp932Ledger})
        QVERIFY(unlink(made) == 0);
}

// Names already in the trash, with or without their information, are never overwritten.
void TestTrash::takenNamesAreLeftAlone() {
    const QByteArray trash = HomeTrash(*m_dir);
    QVERIFY(QDir().mkpath(QFile::decodeName(trash + "/files")) && QDir().mkpath(QFile::decodeName(trash + "/info")));
    WriteBytes(trash + "/info/テーマ１.txt.trashinfo", "someone else's");
    WriteBytes(trash + "/files/テーマ１.2.txt", "a stray file");
    WriteBytes(kLedgerName, kABC);
    QCOMPARE(QByteArray::fromStdString(records::CopyToTrash(kLedgerName).path), trash + "/files/テーマ１.3.txt");
    QCOMPARE(ReadBytes(trash + "/info/テーマ１.txt.trashinfo"), "someone else's"_ba);
    QCOMPARE(ReadBytes(trash + "/files/テーマ１.2.txt"), "a stray file"_ba);
    QCOMPARE(ReadBytes(trash + "/files/テーマ１.3.txt"), kABC);
    QVERIFY(!FileExists(trash + "/info/テーマ１.2.txt.trashinfo"));
}

void TestTrash::nothingToKeep() {
    records::TrashedCopy copy = records::CopyToTrash(kLedgerName); // no file
    QVERIFY(copy.status.ok() && copy.path.empty());
    WriteBytes(kLedgerName, "");
    copy = records::CopyToTrash(kLedgerName);
    QVERIFY(copy.status.ok() && copy.path.empty());
    QVERIFY(Listing(QFile::encodeName(m_dir->dataHome())).size() == 2); // "." and "..": not even a trash made
}

// Without a usable $XDG_DATA_HOME the home trash is under $HOME, made with the folders above it.
void TestTrash::homeTrashWithoutADataHome() {
    QTemporaryDir home;
    const ScopedEnv homeEnv("HOME", QFile::encodeName(home.path()));
    for (const QByteArray& dataHome : {QByteArray("relative/data"), QByteArray()}) {
        const ScopedEnv dataHomeEnv("XDG_DATA_HOME", dataHome);
        WriteBytes(kLedgerName, kABC);
        QVERIFY(records::CopyToTrash(kLedgerName).status.ok());
    }
    const QList<Trashed> entries = Entries(QFile::encodeName(home.path()) + "/.local/share/Trash");
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[1].bytes, kABC);
    QVERIFY(!QFileInfo::exists(u"relative"_s));
}

void TestTrash::trashThatCannotTakeIt_data() {
    QTest::addColumn<QByteArray>("inTheWay"); // a file where the trash needs a directory
    QTest::addColumn<qint64>("sizeLimit");    // a full disk, for the copy
    QTest::addColumn<QString>("named");       // the place the reason names
    QTest::newRow("a file for the trash") << "/Trash"_ba << qint64(0) << u"/Trash」"_s;
    QTest::newRow("a file for its files") << "/Trash/files"_ba << qint64(0) << u"/Trash/files」"_s;
    QTest::newRow("a file for its information") << "/Trash/info"_ba << qint64(0) << u"/Trash/info」"_s;
    QTest::newRow("a full disk") << QByteArray() << qint64(1000) << u"/Trash/files/テーマ１.txt」"_s;
}

// The reason names the place, and nothing is left in the trash; the file is untouched.
void TestTrash::trashThatCannotTakeIt() {
    QFETCH(QByteArray, inTheWay);
    QFETCH(qint64, sizeLimit);
    QFETCH(QString, named);
    const QByteArray home = QFile::encodeName(m_dir->dataHome());
    if (!inTheWay.isEmpty()) {
        QVERIFY(QDir().mkpath(QFile::decodeName(home + inTheWay).section(u'/', 0, -2)));
        WriteBytes(home + inTheWay, "not a directory");
    }
    QByteArray ledger;
    while (ledger.size() < 5000)
        ledger += kABC;
    WriteBytes(kLedgerName, ledger);
    records::TrashedCopy copy;
    {
        std::unique_ptr<FileSizeLimit> full;
        if (sizeLimit > 0)
            full = std::make_unique<FileSizeLimit>(static_cast<rlim_t>(sizeLimit));
        copy = records::CopyToTrash(kLedgerName);
    }
    QVERIFY(!copy.status.ok());
    QVERIFY(copy.path.empty());
    const QString reason = QString::fromStdString(copy.status.reason());
    QVERIFY2(reason.contains(named) && reason.contains(m_dir->dataHome()), qPrintable(reason));
    QCOMPARE(ReadBytes(kLedgerName), ledger);
    QVERIFY(Entries(home + "/Trash").isEmpty());
    for (const char* sub : {"/Trash/files", "/Trash/info"})
        QVERIFY(Listing(home + sub).size() <= 2); // nothing but "." and "..", or no directory at all
}

// A data folder on another file system than the home trash: the trash at the top of its own file system, with a
// path relative to that top, as the standard has it. /dev/shm is one where the machine has it apart.
void TestTrash::otherFileSystemUsesItsOwnTrash() {
    QTemporaryDir there(u"/dev/shm/tsumotto-trash-XXXXXX"_s);
    struct stat shm {
    }, home{};
    if (!there.isValid() || stat(QFile::encodeName(there.path()), &shm) != 0 ||
        stat(QFile::encodeName(m_dir->dataHome()), &home) != 0 || shm.st_dev == home.st_dev)
        QSKIP("no file system apart from the temporary directory's");
    const QString back = QDir::currentPath();
    QDir::setCurrent(there.path());
    WriteBytes(kLedgerName, kABC);
    const QDateTime before = QDateTime::currentDateTime();
    const records::TrashedCopy copy = records::CopyToTrash(kLedgerName);
    QDir::setCurrent(back);
    QVERIFY2(copy.status.ok(), copy.status.reason().c_str());

    const QByteArray top = QFile::encodeName(QStorageInfo(there.path()).rootPath());
    const QByteArray uid = QByteArray::number(getuid());
    const QByteArray path = QByteArray::fromStdString(copy.path);
    const QByteArray trash = path.left(path.lastIndexOf("/files/"));
    QVERIFY2(trash == top + "/.Trash-" + uid || trash == top + "/.Trash/" + uid, path.constData());
    QByteArray ours; // this test's entry, among any others the machine's trash there holds
    for (const Trashed& entry : Entries(trash))
        if (trash + "/files/" + entry.name == path)
            ours = entry.info;
    const QByteArray relative =
        QFile::encodeName(QDir(there.path()).canonicalPath()).mid(top.size() + 1) + '/' + kLedgerName;
    VerifyInfo(ours, relative, before);
    QCOMPARE(ReadBytes(path), kABC);
    QVERIFY(Entries(HomeTrash(*m_dir)).isEmpty());
    QVERIFY(QFile::remove(QFile::decodeName(path)) &&
            QFile::remove(QFile::decodeName(trash + "/info/" + path.mid(path.lastIndexOf('/') + 1) + ".trashinfo")));
    for (const QByteArray& made : {trash + "/files", trash + "/info", trash}) // only when nothing else is there
        (void)rmdir(made);
}

// Cleared, the ledger is in the trash as it was and the file is empty; put back while the program is closed, it
// is the ledger again.
void TestTrash::clearedLedgerComesBackFromTheTrash() {
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

void TestTrash::clearedItemListComesBackFromTheTrash() {
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
void TestTrash::emptyFileIsNotTrashed() {
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
void TestTrash::unwritableTrashAsksThenMoreWork() {
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
void TestTrash::fullDiskAsksAndKeepsNoPart() {
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
void TestTrash::endedBetweenTheTwoStepsLosesNothing() {
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

QTEST_MAIN(TestTrash)
#include "tst_trash.moc"
