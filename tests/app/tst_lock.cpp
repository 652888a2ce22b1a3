// One copy of the program per data folder, whatever happens to the copies, the folder and the socket by which
// a later copy asks the running one to show itself; and the data folder a copy from the desktop menu finds.
#include "app/app.h"
#include "testsupport.h"

#include "records/posix_io.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

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

// A child process of the test, killed when the test is done with it, also when a check fails on the way.
class Child {
public:
    explicit Child(pid_t pid) : m_pid(pid) {}
    ~Child() { kill(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool started() const { return m_pid > 0; }
    void kill() {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid;
};

QStringList Entries(const QString& dir = u"."_s) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Asks from another thread, as another copy would from another process, while this one's window answers.
ShowAnswer AskFromAnotherThread(std::chrono::milliseconds wait, uid_t user = getuid()) {
    auto asked = std::async(std::launch::async, [wait, user] { return AskRunningCopyToShowItself(wait, user); });
    while (asked.wait_for(10ms) != std::future_status::ready)
        QCoreApplication::processEvents();
    return asked.get();
}

// A child process that answers every request on the folder's socket with `answer` and closes it, as a program
// that took the name first might.
pid_t AnswerWithInChild(const QByteArray& answer) {
    const int server = ListenForShowRequests();
    if (server < 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        fcntl(server, F_SETFL, 0);
        while (true) {
            const int peer = accept(server, nullptr, nullptr);
            if (peer >= 0) {
                (void)!write(peer, answer.constData(), static_cast<size_t>(answer.size()));
                close(peer);
            }
        }
    }
    close(server);
    return pid;
}

QString Program() {
    return qEnvironmentVariable("TSUMOTTO_PROGRAM");
}

// The real program, started in the current directory, once it takes requests.
bool StartServingCopy(QProcess& copy) {
    copy.setWorkingDirectory(QDir::currentPath());
    copy.start(Program(), {});
    if (!copy.waitForStarted())
        return false;
    while (AskRunningCopyToShowItself(2s) != ShowAnswer::Shown) {
        if (copy.state() != QProcess::Running)
            return false;
        QTest::qWait(20);
    }
    return true;
}

// A further copy of the real program; its boxes come on its standard error.
struct Ended {
    bool normal = false;
    int status = -1;
    QString boxes;
};

Ended RunToItsEnd(const QStringList& arguments, const QProcessEnvironment& environment,
                  const QString& workingDirectory = QDir::currentPath()) {
    QProcess copy;
    copy.setProcessEnvironment(environment);
    copy.setWorkingDirectory(workingDirectory);
    copy.start(Program(), arguments);
    Ended ended;
    if (!copy.waitForFinished(60000)) {
        copy.kill();
        copy.waitForFinished();
        return ended;
    }
    ended.normal = copy.exitStatus() == QProcess::NormalExit;
    ended.status = copy.exitCode();
    ended.boxes = QString::fromUtf8(copy.readAllStandardError());
    return ended;
}

// The environment of a further copy: its boxes on standard error, and its wait for an answer: short where none
// can come, the longest where one must.
QProcessEnvironment BoxesOnStandardError(const QString& answerWaitMs) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TSUMOTTO_START_BOXES"_s, u"stderr"_s);
    environment.insert(u"TSUMOTTO_ANSWER_WAIT_MS"_s, answerWaitMs);
    return environment;
}

// Who holds the folder when a further copy comes.
enum class Holder { StoppedCopy, StoppedCopyFullQueue, SilentSquatter, Squatter, LockOnly };

const QString kEnds = u"こちらは何もせずに終了します。"_s;

} // namespace

class TestLock : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        SetUpApplication(*qApp);
        // The copies' sockets go in a runtime folder of the test's own, not the user's.
        QVERIFY(m_runtime.isValid());
        QVERIFY(QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    }
    void secondCopyIsTurnedAwayAndWritesNothing();
    void lockGoesWithTheCopyThatDied();
    void leftoverLockFilesKeepNobodyOut();
    void deletingEveryFileLetsNoSecondCopyIn();
    void askingBringsTheRunningWindowForward();
    void peerCheckSeesTheUser();
    void otherUsersAreNotBelieved_data();
    void otherUsersAreNotBelieved();
    void copyThatGetsNoAnswerEndsAndSaysWhy_data();
    void copyThatGetsNoAnswerEndsAndSaysWhy();
    void realProgramStartedTwice();
    void dataFolderFromTheMenu_data();
    void dataFolderFromTheMenu();
    void realProgramWithUnknownOption();

private:
    QTemporaryDir m_runtime;
};

void TestLock::secondCopyIsTurnedAwayAndWritesNothing() {
    ScopedWorkDir dir;
    Child other(HoldLockInChild());
    QVERIFY(other.started());
    ScriptedDialogs dialogs;
    {
        FolderLock lock;
        QCOMPARE(LockDataFolder(lock, dialogs), LockOutcome::Refused); // the other copy has no window to show
        QVERIFY(!lock.held());
    }
    QCOMPARE(dialogs.asked.size(), std::size_t(1));
    // Nobody answers: it may as well be another program that holds the folder.
    QVERIFY(dialogs.asked[0].text.contains(u"ほかのプログラムか、応答しない"_s));
    QVERIFY(dialogs.asked[0].text.contains(u"「%1」"_s.arg(dir.path())));
    QCOMPARE(dialogs.asked[0].icon, Dialogs::Icon::Warning);
    QVERIFY(Entries().isEmpty()); // nothing made in the folder, by either copy
}

void TestLock::lockGoesWithTheCopyThatDied() {
    ScopedWorkDir dir;
    Child crashed(HoldLockInChild());
    QVERIFY(crashed.started());
    {
        FolderLock lock;
        QCOMPARE(lock.take(), FolderLock::Result::Busy);
    }
    crashed.kill(); // no chance to clean up, as in a crash or a power cut
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
    Child other(HoldLockInChild());
    QVERIFY(other.started());
    for (const QString& entry : Entries())
        QVERIFY(QDir().remove(entry));
    QVERIFY(Entries().isEmpty());
    FolderLock lock;
    QCOMPARE(lock.take(), FolderLock::Result::Busy);
}

void TestLock::askingBringsTheRunningWindowForward() {
    ScopedWorkDir dir;
    QWidget window;
    window.show();
    ShowWindowWhenAsked(&window);
    window.showMinimized();
    QVERIFY(window.isMinimized());
    // The answer comes once the window has been brought forward.
    QCOMPARE(AskFromAnotherThread(10s), ShowAnswer::Shown);
    QVERIFY(!window.isMinimized());
    QVERIFY(window.isVisible());
}

void TestLock::peerCheckSeesTheUser() {
    int pair[2];
    QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    QVERIFY(PeerIsUser(pair[0], getuid()));
    QVERIFY(PeerIsUser(pair[1], getuid()));
    QVERIFY(!PeerIsUser(pair[0], getuid() + 1));
    close(pair[0]);
    close(pair[1]);
    QVERIFY(!PeerIsUser(pair[0], getuid())); // no socket at all
}

// A window that takes requests of one user only, and an asker that believes one user only: between different
// users nothing is shown and nothing is believed. The tests run as one user, so each side is told another.
void TestLock::otherUsersAreNotBelieved_data() {
    QTest::addColumn<uid_t>("listenerServes");
    QTest::addColumn<uid_t>("askerBelieves");
    QTest::addColumn<ShowAnswer>("answer");
    QTest::addColumn<bool>("shown");
    const uid_t me = getuid();
    QTest::newRow("same user") << me << me << ShowAnswer::Shown << true;
    QTest::newRow("asked by another user") << me + 1 << me << ShowAnswer::NoAnswer << false;
    QTest::newRow("name taken by another user") << me << me + 1 << ShowAnswer::Unreachable << true;
}

void TestLock::otherUsersAreNotBelieved() {
    QFETCH(uid_t, listenerServes);
    QFETCH(uid_t, askerBelieves);
    QFETCH(ShowAnswer, answer);
    QFETCH(bool, shown);
    ScopedWorkDir dir;
    QWidget window;
    window.show();
    ShowWindowWhenAsked(&window, listenerServes);
    window.showMinimized();
    QCOMPARE(AskFromAnotherThread(10s, askerBelieves), answer);
    // The listener has had the request either way: it either raised the window before answering or dropped it.
    for (int turn = 0; turn < 10; ++turn)
        QCoreApplication::processEvents();
    QCOMPARE(!window.isMinimized(), shown);
}

// A further copy finds the folder locked and gets no answer: it says so, naming the folder, and ends with a
// non-zero status, every time, and within its bound (it never hangs, so the rounds end). Fifty rounds of the
// start's own code with a short bound, then a few of the real program with its boxes on standard error.
void TestLock::copyThatGetsNoAnswerEndsAndSaysWhy_data() {
    QTest::addColumn<Holder>("holder");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("abstractName"); // no runtime folder: the socket's name is in the abstract namespace
    const QString eitherWay;
    const QString nobodyKnown = u"ほかのプログラムか、応答しない"_s;
    const QString copyKnown = u"応答がありません"_s;
    for (const bool abstractName : {false, true}) {
        const char* const where = abstractName ? ", abstract name" : "";
        QTest::addRow("copy stopped%s", where) << Holder::StoppedCopy << QByteArray() << eitherWay << abstractName;
        QTest::addRow("name taken, never answers%s", where)
            << Holder::SilentSquatter << QByteArray() << eitherWay << abstractName;
        if (abstractName)
            continue;
        QTest::addRow("copy stopped, its queue full")
            << Holder::StoppedCopyFullQueue << QByteArray() << nobodyKnown << false;
        QTest::addRow("name taken, answers garbage")
            << Holder::Squatter << QByteArray("HTTP/1.1 400 Bad Request\r\n\r\n") << copyKnown << false;
        QTest::addRow("name taken, answers half")
            << Holder::Squatter << QByteArray("tsumotto: window") << copyKnown << false;
        QTest::addRow("name taken, answers too much")
            << Holder::Squatter << QByteArray("tsumotto: window shown\nand more") << copyKnown << false;
        QTest::addRow("locked by another program") << Holder::LockOnly << QByteArray() << nobodyKnown << false;
    }
}

void TestLock::copyThatGetsNoAnswerEndsAndSaysWhy() {
    QFETCH(Holder, holder);
    QFETCH(QByteArray, answer);
    QFETCH(QString, says);
    QFETCH(bool, abstractName);
    QVERIFY2(QFile::exists(Program()), "TSUMOTTO_PROGRAM does not name the built program");
    ScopedWorkDir dir;
    ScopedEnv runtime("XDG_RUNTIME_DIR", abstractName ? QByteArray() : qgetenv("XDG_RUNTIME_DIR"));
    const QByteArray ledger = Deposit(u"晩酌"_s, "50");
    WriteBytes(kLedgerName, ledger);

    QProcess first;
    std::optional<Child> locker;
    std::optional<Child> squatter;
    records::FdCloser silent{-1};
    const bool stopped = holder == Holder::StoppedCopy || holder == Holder::StoppedCopyFullQueue;
    if (stopped) {
        QVERIFY(StartServingCopy(first));
        QCOMPARE(kill(pid_t(first.processId()), SIGSTOP), 0);
    } else {
        locker.emplace(HoldLockInChild());
        QVERIFY(locker->started());
    }
    if (holder == Holder::StoppedCopyFullQueue) {
        // Requests nobody takes, until the queue takes no more.
        int queued = 0;
        while (AskRunningCopyToShowItself(0ms) == ShowAnswer::NoAnswer && queued < 10000)
            ++queued;
        QVERIFY(queued > 0 && queued < 10000);
    }
    if (holder == Holder::SilentSquatter)
        QVERIFY((silent.fd = ListenForShowRequests()) >= 0);
    if (holder == Holder::Squatter) {
        squatter.emplace(AnswerWithInChild(answer));
        QVERIFY(squatter->started());
    }

    const QString folder = u"「%1」"_s.arg(dir.path());
    int turnedAway = 0;
    for (int round = 0; round < 50; ++round) {
        ScriptedDialogs dialogs;
        FolderLock lock;
        const LockOutcome outcome = LockDataFolder(lock, dialogs, 20ms);
        if (outcome == LockOutcome::Refused && !lock.held() && dialogs.asked.size() == 1 &&
            dialogs.asked[0].text.contains(folder) && dialogs.asked[0].text.contains(kEnds) &&
            dialogs.asked[0].text.contains(says) && dialogs.asked[0].icon == Dialogs::Icon::Warning)
            ++turnedAway;
    }
    QCOMPARE(turnedAway, 50);

    int realTurnedAway = 0;
    for (int round = 0; round < 3; ++round) {
        const Ended ended = RunToItsEnd({}, BoxesOnStandardError(u"100"_s));
        if (ended.normal && ended.status == 1 && ended.boxes.contains(folder) && ended.boxes.contains(kEnds) &&
            ended.boxes.contains(says))
            ++realTurnedAway;
        else
            qWarning() << ended.normal << ended.status << ended.boxes;
    }
    QCOMPARE(realTurnedAway, 3);
    QCOMPARE(ReadBytes(kLedgerName), ledger);
    QCOMPARE(Entries(), QStringList{QString::fromUtf8(kLedgerName)});

    if (stopped) {
        // Woken, the first copy meets every request that was given up on, and still answers a new one.
        QCOMPARE(kill(pid_t(first.processId()), SIGCONT), 0);
        QTRY_COMPARE_WITH_TIMEOUT(AskRunningCopyToShowItself(2s), ShowAnswer::Shown, 60000);
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        QVERIFY(first.waitForFinished());
    }
}

// The real program, twice in one folder: the second brings the first forward and ends; once the first has
// been killed, a new copy runs.
void TestLock::realProgramStartedTwice() {
    QVERIFY2(QFile::exists(Program()), "TSUMOTTO_PROGRAM does not name the built program");
    ScopedWorkDir dir;
    const QByteArray ledger = Deposit(u"晩酌"_s, "50");
    WriteBytes(kLedgerName, ledger);
    QProcess first;
    QVERIFY(StartServingCopy(first));
    const Ended second = RunToItsEnd({}, BoxesOnStandardError(u"10000"_s));
    QVERIFY(second.normal);
    QCOMPARE(second.status, 0);
    QCOMPARE(second.boxes.contains(kEnds), false);
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(ReadBytes(kLedgerName), ledger);

    first.kill();
    QVERIFY(first.waitForFinished());
    QProcess third;
    QVERIFY(StartServingCopy(third));
    third.kill();
    QVERIFY(third.waitForFinished());
    QCOMPARE(ReadBytes(kLedgerName), ledger);
}

// Where a copy started with --data-folder keeps its data, by the XDG base directory rules, whatever directory
// it starts in; or the box that says why it cannot. %R stands for the test's own directory, "-" for unset.
void TestLock::dataFolderFromTheMenu_data() {
    QTest::addColumn<QString>("dataHome");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("folder"); // empty: the box comes instead
    QTest::addColumn<QString>("says");
    const QString box;
    QTest::newRow("XDG_DATA_HOME") << u"%R/data"_s << u"%R/home"_s << u"%R/data/tsumotto"_s << box;
    QTest::newRow("XDG_DATA_HOME without HOME") << u"%R/data/"_s << u"-"_s << u"%R/data/tsumotto"_s << box;
    QTest::newRow("HOME") << u"-"_s << u"%R/home"_s << u"%R/home/.local/share/tsumotto"_s << box;
    QTest::newRow("HOME ending in a slash") << u"-"_s << u"%R/home//"_s << u"%R/home/.local/share/tsumotto"_s << box;
    QTest::newRow("empty XDG_DATA_HOME") << u""_s << u"%R/home"_s << u"%R/home/.local/share/tsumotto"_s << box;
    QTest::newRow("relative XDG_DATA_HOME") << u"data"_s << u"%R/home"_s << u"%R/home/.local/share/tsumotto"_s << box;
    QTest::newRow("folder there already") << u"%R/kept"_s << u"%R/home"_s << u"%R/kept/tsumotto"_s << box;
    QTest::newRow("unset HOME") << u"-"_s << u"-"_s << QString() << u"環境変数 HOME"_s;
    QTest::newRow("relative HOME") << u"-"_s << u"home"_s << QString() << u"環境変数 HOME"_s;
    QTest::newRow("HOME the root") << u"-"_s << u"/"_s << QString() << u"環境変数 HOME"_s;
    QTest::newRow("relative XDG_DATA_HOME, unset HOME") << u"data"_s << u"-"_s << QString() << u"環境変数 HOME"_s;
    QTest::newRow("under a regular file")
        << u"%R/file/data"_s << u"%R/home"_s << QString() << u"「%R/file」はフォルダーではありません。"_s;
    QTest::newRow("a regular file in its place")
        << u"%R/taken"_s << u"%R/home"_s << QString() << u"「%R/taken/tsumotto」はフォルダーではありません。"_s;
}

void TestLock::dataFolderFromTheMenu() {
    QFETCH(QString, dataHome);
    QFETCH(QString, home);
    QFETCH(QString, folder);
    QFETCH(QString, says);
    ScopedWorkDir dir;
    const QString root = dir.path();
    QVERIFY(QDir().mkpath(u"start"_s) && QDir().mkpath(u"home"_s) && QDir().mkpath(u"kept/tsumotto"_s) &&
            QDir().mkpath(u"taken"_s));
    WriteBytes("kept/tsumotto/テーマ１.txt", Deposit(u"晩酌"_s, "50"));
    WriteBytes("file", "not a folder");
    WriteBytes("taken/tsumotto", "not a folder");
    QVERIFY(QDir::setCurrent(u"start"_s));
    const auto fill = [&root](QString text) { return text.replace(u"%R"_s, root); };
    ScopedEnv dataHomeEnv("XDG_DATA_HOME", QFile::encodeName(fill(dataHome)));
    ScopedEnv homeEnv("HOME", QFile::encodeName(fill(home)));
    if (dataHome == u"-"_s)
        qunsetenv("XDG_DATA_HOME");
    if (home == u"-"_s)
        qunsetenv("HOME");
    const bool existed = QFileInfo::exists(fill(folder));

    ScriptedDialogs dialogs;
    const bool entered = EnterUserDataFolder(dialogs);
    const QString now = QDir::currentPath();
    QVERIFY(QDir::setCurrent(root));
    QVERIFY2(Entries(u"start"_s).isEmpty(), "something was made in the directory it started in");
    if (folder.isEmpty()) {
        QVERIFY(!entered);
        QCOMPARE(now, root + u"/start"_s);
        QCOMPARE(dialogs.asked.size(), std::size_t(1));
        QVERIFY2(dialogs.asked[0].text.contains(fill(says)), qUtf8Printable(dialogs.asked[0].text));
        QCOMPARE(dialogs.asked[0].icon, Dialogs::Icon::Warning);
        QCOMPARE(Entries(u"home"_s), QStringList());
        return;
    }
    QVERIFY(entered);
    QVERIFY(dialogs.asked.empty());
    QCOMPARE(now, fill(folder));
    struct stat made {};
    QCOMPARE(stat(QFile::encodeName(now).constData(), &made), 0);
    if (!existed)
        QCOMPARE(made.st_mode & 0777, mode_t(0700)); // the user's own
    else
        QCOMPARE(ReadBytes("kept/tsumotto/テーマ１.txt"), Deposit(u"晩酌"_s, "50"));
    QVERIFY(!QFileInfo::exists(u"start/data"_s));
}

// An option the program does not know ends it before it touches anything, with a word on how to start it.
void TestLock::realProgramWithUnknownOption() {
    ScopedWorkDir dir;
    const Ended ended = RunToItsEnd({u"--data-folder=/tmp"_s}, BoxesOnStandardError(u"100"_s));
    QVERIFY(ended.normal);
    QCOMPARE(ended.status, 2);
    QVERIFY(ended.boxes.contains(u"--data-folder"_s));
    QVERIFY(Entries().isEmpty());
}

QTEST_MAIN(TestLock)
#include "tst_lock.moc"
