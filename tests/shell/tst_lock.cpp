// One copy of the program per data folder.
#include "shell/app.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QTest>

#include <csignal>
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
        QLockFile lock(kFolderLockName);
        const char ok = lock.tryLock(0) ? '1' : '0';
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

} // namespace

class TestLock : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpApplication(*qApp); }
    void secondCopyIsTurnedAway();
    void lockOfACrashedCopyIsTakenOver();
};

void TestLock::secondCopyIsTurnedAway() {
    ScopedWorkDir dir;
    const pid_t other = HoldLockInChild();
    QVERIFY(other > 0);
    ScriptedDialogs dialogs;
    {
        QLockFile lock(kFolderLockName);
        QVERIFY(!LockDataFolder(lock, dialogs));
    }
    QCOMPARE(dialogs.asked.size(), std::size_t(1));
    QVERIFY(dialogs.asked[0].text.contains(u"別に起動している"_s));
    QVERIFY(dialogs.asked[0].text.contains(QString::number(other)));
    QCOMPARE(dialogs.asked[0].icon, Dialogs::Icon::Warning);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{kFolderLockName}); // nothing else made

    // Once the other copy has ended, its lock is stale and this copy takes it; it goes when this one ends.
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
    {
        QLockFile lock(kFolderLockName);
        QVERIFY(LockDataFolder(lock, dialogs));
        QCOMPARE(dialogs.asked.size(), std::size_t(1));
    }
    QVERIFY(QDir().entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestLock::lockOfACrashedCopyIsTakenOver() {
    ScopedWorkDir dir;
    const pid_t crashed = HoldLockInChild();
    QVERIFY(crashed > 0);
    kill(crashed, SIGKILL); // the lock file stays behind
    waitpid(crashed, nullptr, 0);
    QVERIFY(QFile::exists(kFolderLockName));
    ScriptedDialogs dialogs;
    QLockFile lock(kFolderLockName);
    QVERIFY(LockDataFolder(lock, dialogs));
    QVERIFY(dialogs.asked.empty());
}

QTEST_MAIN(TestLock)
#include "tst_lock.moc"
