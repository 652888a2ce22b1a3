// One copy of the program per data folder, whatever happens to the copies and the folder.
#include "app/app.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTest>
#include <QWidget>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A child process that takes the folder's lock as a running copy would, and holds it until killed.
pid_t HoldLockInChild() {
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        FolderLock lock;
        const char ok = lock.take() == FolderLock::Result::Taken ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = '0';
    (void)!read(ready[0], &ok, 1);
    close(ready[0]);
    close(ready[1]);
    return ok == '1' ? pid : -1;
}

void Kill(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

QStringList Entries() {
    return QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestLock : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpApplication(*qApp); }
    void secondCopyIsTurnedAwayAndWritesNothing();
    void lockGoesWithTheCopyThatDied();
    void leftoverLockFilesKeepNobodyOut();
    void deletingEveryFileLetsNoSecondCopyIn();
    void askingBringsTheRunningWindowForward();
    void realProgramStartedTwice();
};

void TestLock::secondCopyIsTurnedAwayAndWritesNothing() {
    ScopedWorkDir dir;
    const pid_t other = HoldLockInChild();
    QVERIFY(other > 0);
    ScriptedDialogs dialogs;
    {
        FolderLock lock;
        QCOMPARE(LockDataFolder(lock, dialogs), LockOutcome::Refused); // the other copy has no window to show
        QVERIFY(!lock.held());
    }
    QCOMPARE(dialogs.asked.size(), std::size_t(1));
    QVERIFY(dialogs.asked[0].text.contains(u"別に起動している"_s));
    QCOMPARE(dialogs.asked[0].icon, Dialogs::Icon::Warning);
    QVERIFY(Entries().isEmpty()); // nothing made in the folder, by either copy
    Kill(other);
}

void TestLock::lockGoesWithTheCopyThatDied() {
    ScopedWorkDir dir;
    const pid_t crashed = HoldLockInChild();
    QVERIFY(crashed > 0);
    {
        FolderLock lock;
        QCOMPARE(lock.take(), FolderLock::Result::Busy);
    }
    Kill(crashed); // no chance to clean up, as in a crash or a power cut
    ScriptedDialogs dialogs;
    FolderLock lock;
    QCOMPARE(LockDataFolder(lock, dialogs), LockOutcome::Run);
    QVERIFY(dialogs.asked.empty());
    // Held by this copy now: a further copy is kept out.
    FolderLock second;
    QCOMPARE(second.take(), FolderLock::Result::Busy);
}

// What an older version's lock file, a power cut or a stray folder may leave is not a lock.
void TestLock::leftoverLockFilesKeepNobodyOut() {
    for (const int kind : {0, 1, 2}) {
        ScopedWorkDir dir;
        if (kind == 0)
            WriteBytes(".tsumotto.lock", QByteArray());
        else if (kind == 1)
            QVERIFY(QDir().mkdir(kFolderLockName));
        else {
            WriteBytes(".tsumotto.lock", "12345\nhost\ntsumotto\n");
            chmod(".tsumotto.lock", 0);
        }
        ScriptedDialogs dialogs;
        FolderLock lock;
        QCOMPARE(LockDataFolder(lock, dialogs), LockOutcome::Run);
        QVERIFY(dialogs.asked.empty());
    }
}

void TestLock::deletingEveryFileLetsNoSecondCopyIn() {
    ScopedWorkDir dir;
    WriteBytes("テーマ１.txt", "\"2026年12月07日\",\"晩酌\",50\r\n");
    const pid_t other = HoldLockInChild();
    QVERIFY(other > 0);
    for (const QString& entry : Entries())
        QVERIFY(QDir().remove(entry));
    QVERIFY(Entries().isEmpty());
    FolderLock lock;
    QCOMPARE(lock.take(), FolderLock::Result::Busy);
    Kill(other);
}

void TestLock::askingBringsTheRunningWindowForward() {
    ScopedWorkDir dir;
    QWidget window;
    window.show();
    ShowWindowWhenAsked(&window);
    window.showMinimized();
    QVERIFY(window.isMinimized());
    QVERIFY(AskRunningCopyToShowItself());
    QTRY_VERIFY(!window.isMinimized());
    QVERIFY(window.isVisible());
}

// The real program, twice in one folder: the second brings the first forward and ends; once the first has
// been killed, a new copy runs.
void TestLock::realProgramStartedTwice() {
    const QString program = qEnvironmentVariable("TSUMOTTO_PROGRAM");
    QVERIFY2(QFile::exists(program), "TSUMOTTO_PROGRAM does not name the built program");
    ScopedWorkDir dir;
    const QByteArray ledger = Cp932(u"\"2026年12月07日\",\"晩酌\",50\r\n"_s);
    WriteBytes("テーマ１.txt", ledger);
    QProcess first;
    first.start(program, {});
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(AskRunningCopyToShowItself(), 60000); // up and serving
    QProcess second;
    second.start(program, {});
    QVERIFY(second.waitForFinished(60000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(ReadBytes("テーマ１.txt"), ledger);

    first.kill();
    QVERIFY(first.waitForFinished());
    QProcess third;
    third.start(program, {});
    QVERIFY(third.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(AskRunningCopyToShowItself(), 60000);
    QCOMPARE(third.state(), QProcess::Running);
    third.kill();
    QVERIFY(third.waitForFinished());
    QCOMPARE(ReadBytes("テーマ１.txt"), ledger);
}

QTEST_MAIN(TestLock)
#include "tst_lock.moc"
