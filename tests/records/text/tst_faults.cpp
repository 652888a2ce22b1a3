// Killed at any moment, the files hold one whole state: a child process appends and rewrites in a loop and is
// killed with SIGKILL at random moments, many times. The child reports each operation it has completed, so
// the test knows the state before the operation that was cut off and the state after it, and the files must
// hold one of the two: whole records in order, and at most the remains of the one append that was cut off,
// which the next append removes. Progress is counted from the reports, never measured by the clock.
#include "records/text/record_file.h"
#include "records/text/trash.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <array>
#include <csignal>
#include <dirent.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace records;

namespace {

constexpr int kKills = 300;
constexpr int kClearKills = 150;
constexpr int kMostBeforeAClear = 12;
constexpr std::array kLedgerKinds = {FieldKind::Text, FieldKind::Text, FieldKind::Money};
constexpr std::array kItemKinds = {FieldKind::Text, FieldKind::Money};

// Every fifth record is longer than a page, so that a kill can cut its write in the middle.
std::string Text(const char* stem, int i) {
    std::string text = stem + std::to_string(i);
    if (i % 5 == 0)
        text += std::string(6000, 'x');
    return text;
}

std::vector<FieldValue> LedgerRecord(int i) {
    return {std::string("2026年12月07日"), Text("タクシーを使ったつもり その", i),
            Currency::FromTenThousandths(i * 12345)};
}

std::vector<FieldValue> ItemRecord(int i) {
    return {Text("晩酌 その", i), Currency::FromTenThousandths(i * 500)};
}

struct State {
    int ledger = 0;
    int items = 0;
    bool operator==(const State&) const = default;
};

enum class Op { RewriteLedger, RewriteItems, AppendLedger, AppendItems };

// The child's next operation and the state it leads to, from its random sequence; the test runs the same
// sequence to know what the operation cut off would have made.
std::pair<Op, State> Next(State s, std::mt19937& random) {
    const unsigned what = random() % 8;
    if (s.ledger > 60)
        return {Op::RewriteLedger, {20, s.items}};
    if (s.items > 60)
        return {Op::RewriteItems, {s.ledger, 20}};
    if (what == 0 && s.ledger > 0)
        return {Op::RewriteLedger, {s.ledger - 1, s.items}};
    if (what == 1 && s.items > 0)
        return {Op::RewriteItems, {s.ledger, s.items - 1}};
    if (what < 5)
        return {Op::AppendLedger, {s.ledger + 1, s.items}};
    return {Op::AppendItems, {s.ledger, s.items + 1}};
}

Status Rewrite(const char* name, int count, std::vector<FieldValue> (*record)(int)) {
    RecordFile file;
    Status status = file.OpenForOutput(name);
    for (int i = 1; status && i <= count; ++i)
        status = file.WriteRecord(record(i));
    return status ? file.Close() : status;
}

// The child's work, until it is killed: each operation, then its report of the state it reached.
[[noreturn]] void Work(State state, unsigned seed, int report) {
    std::mt19937 random(seed);
    for (;;) {
        const auto [op, next] = Next(state, random);
        Status done;
        switch (op) {
        case Op::RewriteLedger:
            done = Rewrite(kLedgerName, next.ledger, LedgerRecord);
            break;
        case Op::RewriteItems:
            done = Rewrite(kItemsName, next.items, ItemRecord);
            break;
        case Op::AppendLedger:
            done = AppendRecord(kLedgerName, LedgerRecord(next.ledger));
            break;
        case Op::AppendItems:
            done = AppendRecord(kItemsName, ItemRecord(next.items));
            break;
        }
        if (!done)
            _exit(3);
        state = next;
        if (write(report, &state, sizeof state) != sizeof state)
            _exit(4);
    }
}

// How many records of its sequence the file holds, whether a cut-off last line follows them, or -1 when the
// file holds anything else.
template <std::size_t N>
int Prefix(const char* name, const std::array<FieldKind, N>& kinds, std::vector<FieldValue> (*record)(int),
           bool& torn) {
    torn = false;
    RecordFile file;
    const Status opened = file.OpenForInput(name);
    if (opened.code() == Status::Code::NotFound)
        return 0;
    if (!opened)
        return -1;
    int m = 0;
    std::vector<FieldValue> values;
    while (!file.AtEnd()) {
        const Status read = file.ReadRecord(kinds, values);
        if (read.code() == Status::Code::Torn) {
            torn = true;
            continue;
        }
        if (!read || values != record(m + 1))
            return -1;
        ++m;
    }
    return m;
}

// The clear's child: deposits, and now and then a clear, which keeps the ledger in the trash and then empties it.
// The next operation and the number of records it leads to.
std::pair<bool, int> NextOfClears(int records, std::mt19937& random) {
    const bool clear = records >= kMostBeforeAClear || (records > 0 && random() % 4 == 0);
    return {clear, clear ? 0 : records + 1};
}

[[noreturn]] void DepositAndClear(int records, unsigned seed, int report) {
    std::mt19937 random(seed);
    for (;;) {
        const auto [clear, next] = NextOfClears(records, random);
        bool done = false;
        if (clear)
            done = CopyToTrash(kLedgerName).status.ok() && EmptyFile(kLedgerName).ok();
        else
            done = AppendRecord(kLedgerName, LedgerRecord(next)).ok();
        if (!done)
            _exit(3);
        records = next;
        if (write(report, &records, sizeof records) != sizeof records)
            _exit(4);
    }
}

// The copies in the trash, by their information files: the copy's bytes, and whether its information leads back
// to `original` in the form the Trash standard gives.
std::vector<std::pair<QByteArray, bool>> TrashedCopies(const QByteArray& trash, const QByteArray& original) {
    std::vector<std::pair<QByteArray, bool>> copies;
    DIR* dir = opendir(trash + "/info");
    if (!dir)
        return copies;
    const QByteArray start = "[Trash Info]\nPath=" + original.toPercentEncoding("/") + "\nDeletionDate=";
    while (const dirent* entry = readdir(dir)) {
        const QByteArray name = entry->d_name;
        if (!name.endsWith(".trashinfo"))
            continue;
        const QByteArray info = ReadBytes(trash + "/info/" + name);
        const bool valid = info.startsWith(start) && info.size() == start.size() + 20 && info.endsWith('\n');
        copies.emplace_back(ReadBytes(trash + "/files/" + name.chopped(10)), valid);
    }
    closedir(dir);
    return copies;
}

// One round of a kill test. `work(seed, fd)` runs in a child that writes its Report to fd after each operation
// it completes; the child is let complete 1 to 6 of them, then killed with SIGKILL a random number of spins
// (up to maxSpins) into the next: a way into an operation, not a time. `reported` ends as the child's last
// report; the round's seed and the operations completed before the kill come back in `round`.
struct KillRound {
    unsigned seed = 0;
    int wanted = 0; // the operations the child was let complete before the kill was started
    int completed = 0;
};

template <typename Report, typename Work>
void RunKillRound(std::mt19937& random, unsigned maxSpins, Report& reported, KillRound& round, Work work) {
    int report[2];
    QVERIFY(pipe(report) == 0);
    round.seed = static_cast<unsigned>(random());
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        close(report[0]);
        work(round.seed, report[1]);
    }
    close(report[1]);
    round.wanted = 1 + static_cast<int>(random() % 6);
    round.completed = 0;
    while (round.completed < round.wanted && read(report[0], &reported, sizeof reported) == sizeof reported)
        ++round.completed;
    for (unsigned spin = random() % maxSpins; spin > 0; --spin)
        asm volatile("" ::: "memory");
    ::kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    QVERIFY2(WIFSIGNALED(status), "the child stopped on a failed operation");
    while (read(report[0], &reported, sizeof reported) == sizeof reported) // done before the kill
        ++round.completed;
    close(report[0]);
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void killedAtAnyMomentLeavesWholeStates();
    void appendCutOffInTheMiddleIsLeftOutThenMended();
    void clearKilledAtAnyMomentLosesNothing();
};

void TestFaults::killedAtAnyMomentLeavesWholeStates() {
    ScopedWorkDir dir;
    std::mt19937 random(20261207);
    State state;
    int operations = 0, cutOff = 0, tornSeen = 0;
    bool ledgerRemains = false, itemRemains = false; // the remains of a cut-off append, at the start of a round
    for (int kill = 0; kill < kKills; ++kill) {
        // Let the child complete a random number of operations, then kill it a random way into the next.
        State reported = state;
        KillRound round;
        RunKillRound(random, 400000, reported, round,
                     [&state](unsigned seed, int report) { Work(state, seed, report); });
        if (QTest::currentTestFailed())
            return;
        const unsigned seed = round.seed;
        const int completed = round.completed;
        QVERIFY(completed >= round.wanted);
        operations += completed;

        // The operation the kill cut off, from the child's own sequence, and whether the remains of an earlier
        // cut-off append were still there when it began: only a completed write of that file removes them.
        std::mt19937 replay(seed);
        State before = state;
        for (int i = 0; i < completed; ++i) {
            const auto [done, next] = Next(before, replay);
            ledgerRemains = ledgerRemains && done != Op::AppendLedger && done != Op::RewriteLedger;
            itemRemains = itemRemains && done != Op::AppendItems && done != Op::RewriteItems;
            before = next;
        }
        QVERIFY(before == reported);
        const auto [op, after] = Next(before, replay);

        bool ledgerTorn = false, itemsTorn = false;
        const State now = {Prefix(kLedgerName, kLedgerKinds, LedgerRecord, ledgerTorn),
                           Prefix(kItemsName, kItemKinds, ItemRecord, itemsTorn)};
        QVERIFY2(now.ledger >= 0, qPrintable(QStringLiteral("ledger damaged after kill %1").arg(kill)));
        QVERIFY2(now.items >= 0, qPrintable(QStringLiteral("item list damaged after kill %1").arg(kill)));
        QVERIFY2(now == before || now == after,
                 qPrintable(QStringLiteral("kill %1: %2/%3 records, expected %4/%5 or %6/%7")
                                .arg(kill)
                                .arg(now.ledger)
                                .arg(now.items)
                                .arg(before.ledger)
                                .arg(before.items)
                                .arg(after.ledger)
                                .arg(after.items)));
        // Remains come only from the append the kill cut off, or from an earlier one that nothing has mended yet.
        const bool ledgerWrite = op == Op::AppendLedger || op == Op::RewriteLedger;
        if (ledgerTorn)
            QVERIFY((op == Op::AppendLedger && now == before) || (ledgerRemains && (!ledgerWrite || now == before)));
        const bool itemWrite = op == Op::AppendItems || op == Op::RewriteItems;
        if (itemsTorn)
            QVERIFY((op == Op::AppendItems && now == before) || (itemRemains && (!itemWrite || now == before)));
        ledgerRemains = ledgerTorn;
        itemRemains = itemsTorn;
        // Whatever a killed rewrite left beside the files has the temporaries' shape: the next start's tidying
        // leaves the data files alone in the folder.
        const std::array<std::string_view, 2> names = {kLedgerName, kItemsName};
        (void)RemoveLeftoverTemporaries(names);
        for (const QString& entry : QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            QVERIFY2(entry == QString::fromUtf8(kLedgerName) || entry == QString::fromUtf8(kItemsName),
                     qPrintable(entry));
        cutOff += now == before;
        tornSeen += ledgerTorn || itemsTorn;
        state = now;
    }
    qInfo("%d kills after %d completed operations: %d cut an operation off, %d of them leaving a cut-off line", kKills,
          operations, cutOff, tornSeen);
}

// A write cut off for certain, at chosen places inside a long record: the process is ended by SIGXFSZ when
// its append passes the file size limit, as a kill ends it mid-write. The next start reads the whole
// records before it, and the next append leaves whole records only.
void TestFaults::appendCutOffInTheMiddleIsLeftOutThenMended() {
    for (const int cut : {1, 17, 18, 19, 2000, 6000}) {
        ScopedWorkDir dir;
        for (int i = 1; i <= 4; ++i)
            QVERIFY(AppendRecord(kLedgerName, LedgerRecord(i)).ok());
        const QByteArray whole = ReadBytes(kLedgerName);
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_DFL);
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = static_cast<rlim_t>(whole.size() + cut);
            setrlimit(RLIMIT_FSIZE, &limit);
            (void)AppendRecord(kLedgerName, LedgerRecord(5)); // record 5 is longer than a page
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
        QCOMPARE(ReadBytes(kLedgerName).size(), whole.size() + cut); // the remains of record 5 are there
        bool torn = false;
        QCOMPARE(Prefix(kLedgerName, kLedgerKinds, LedgerRecord, torn), 4);
        QVERIFY(torn);
        QVERIFY(AppendRecord(kLedgerName, LedgerRecord(5)).ok());
        QCOMPARE(Prefix(kLedgerName, kLedgerKinds, LedgerRecord, torn), 5);
        QVERIFY(!torn);
    }
}

// A clear killed at any moment: the ledger holds the records before it or none, never anything else, and whenever
// it holds none its records are whole in the trash with information that leads back to it. The trash never holds
// part of a copy. The next start reads the ledger either way.
void TestFaults::clearKilledAtAnyMomentLosesNothing() {
    ScopedWorkDir dir;
    const QByteArray trash = QFile::encodeName(dir.dataHome()) + "/Trash";
    const QByteArray original = QFile::encodeName(QDir::current().canonicalPath()) + '/' + kLedgerName;
    std::vector<QByteArray> ledgers{QByteArray()}; // the bytes of a ledger of n records
    {
        ScopedWorkDir scratch;
        for (int i = 1; i <= kMostBeforeAClear; ++i) {
            QVERIFY(AppendRecord(kLedgerName, LedgerRecord(i)).ok());
            ledgers.push_back(ReadBytes(kLedgerName));
        }
    }
    std::mt19937 random(20261208);
    int records = 0, clears = 0, clearsCut = 0, keptBeforeEmptied = 0, infoOnly = 0;
    for (int kill = 0; kill < kClearKills; ++kill) {
        // A clear flushes several times: the kill reaches into all of it.
        int reported = records;
        KillRound round;
        RunKillRound(random, 4000000, reported, round,
                     [records](unsigned seed, int report) { DepositAndClear(records, seed, report); });
        if (QTest::currentTestFailed())
            return;
        const unsigned seed = round.seed;
        const int completed = round.completed;

        // The clears the child completed, each of which must have kept its ledger, and the operation cut off.
        std::mt19937 replay(seed);
        int before = records;
        std::vector<QByteArray> kept;
        for (int i = 0; i < completed; ++i) {
            const auto [clear, next] = NextOfClears(before, replay);
            if (clear)
                kept.push_back(ledgers[static_cast<std::size_t>(before)]);
            before = next;
        }
        QCOMPARE(before, reported);
        const auto [cutClear, after] = NextOfClears(before, replay);
        bool torn = false;
        const int now = Prefix(kLedgerName, kLedgerKinds, LedgerRecord, torn);
        QVERIFY2(
            now == before || now == after,
            qPrintable(
                QStringLiteral("kill %1: %2 records, expected %3 or %4").arg(kill).arg(now).arg(before).arg(after)));
        if (torn)
            QVERIFY(!cutClear && now == before);
        if (cutClear && now == after)
            kept.push_back(ledgers[static_cast<std::size_t>(before)]); // emptied: its copy must be there

        std::vector<std::pair<QByteArray, bool>> copies = TrashedCopies(trash, original);
        for (const QByteArray& bytes : kept) {
            const auto whole = std::find(copies.begin(), copies.end(), std::make_pair(bytes, true));
            QVERIFY2(whole != copies.end(),
                     qPrintable(QStringLiteral("kill %1: a cleared ledger is not in the trash").arg(kill)));
            copies.erase(whole);
        }
        // What is left is at most the entry of the clear the kill cut off, while the ledger is still whole: a whole
        // copy with its information, or (some of) an information file whose copy had not come in yet. Never part of
        // a copy.
        QVERIFY(copies.size() <= 1);
        if (!copies.empty()) {
            QVERIFY(cutClear && now == before);
            const bool whole =
                copies.front().first == ledgers[static_cast<std::size_t>(before)] && copies.front().second;
            QVERIFY(whole || copies.front().first.isEmpty());
            keptBeforeEmptied += !copies.front().first.isEmpty();
            infoOnly += copies.front().first.isEmpty();
        }
        clears += static_cast<int>(kept.size());
        clearsCut += cutClear;

        // The next start: the remains of an append and of a rewrite go, as the program's start removes them. Each
        // round begins with an empty trash, so that every copy in it is of this round.
        if (torn)
            QVERIFY(Rewrite(kLedgerName, now, LedgerRecord).ok());
        const std::array<std::string_view, 1> names = {kLedgerName};
        (void)RemoveLeftoverTemporaries(names);
        QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QString::fromUtf8(kLedgerName)});
        QVERIFY(QDir(QFile::decodeName(trash)).removeRecursively());
        records = now;
    }
    qInfo("%d kills: %d clears kept, %d clears cut off: %d with the copy in the trash and the ledger not yet emptied, "
          "%d with the information file only",
          kClearKills, clears, clearsCut, keptBeforeEmptied, infoOnly);
}

QTEST_APPLESS_MAIN(TestFaults)
#include "tst_faults.moc"
