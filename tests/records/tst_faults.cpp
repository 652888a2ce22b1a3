// Killed at any moment, the files hold one whole state: a child process appends and rewrites in a loop and is
// killed with SIGKILL at random moments, many times. The child reports each operation it has completed, so
// the test knows the state before the operation that was cut off and the state after it, and the files must
// hold one of the two: whole records in order, and at most the remains of the one append that was cut off,
// which the next append removes. Progress is counted from the reports, never measured by the clock.
#include "filesupport.h"
#include "records/record_file.h"
#include "records/safe_save.h"
#include "records/trash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace records;
using namespace files;

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
std::vector<std::pair<std::string, bool>> TrashedCopies(const std::string& trash, const std::string& original) {
    std::vector<std::pair<std::string, bool>> copies;
    const std::string start = "[Trash Info]\nPath=" + PercentEncoding(original) + "\nDeletionDate=";
    const std::string_view extension = ".trashinfo";
    for (const std::string& name : Listing(trash + "/info")) {
        if (!std::string_view(name).ends_with(extension))
            continue;
        const std::string info = ReadBytes(trash + "/info/" + name);
        const bool valid = info.starts_with(start) && info.size() == start.size() + 20 && info.ends_with('\n');
        copies.emplace_back(ReadBytes(trash + "/files/" + name.substr(0, name.size() - extension.size())), valid);
    }
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
    ASSERT_EQ(pipe(report), 0);
    round.seed = static_cast<unsigned>(random());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
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
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped on a failed operation";
    while (read(report[0], &reported, sizeof reported) == sizeof reported) // done before the kill
        ++round.completed;
    close(report[0]);
}

} // namespace

TEST(Faults, KilledAtAnyMomentLeavesWholeStates) {
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
        if (testing::Test::HasFatalFailure())
            return;
        const unsigned seed = round.seed;
        const int completed = round.completed;
        ASSERT_GE(completed, round.wanted);
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
        ASSERT_TRUE(before == reported);
        const auto [op, after] = Next(before, replay);

        bool ledgerTorn = false, itemsTorn = false;
        const State now = {Prefix(kLedgerName, kLedgerKinds, LedgerRecord, ledgerTorn),
                           Prefix(kItemsName, kItemKinds, ItemRecord, itemsTorn)};
        ASSERT_GE(now.ledger, 0) << "ledger damaged after kill " << kill;
        ASSERT_GE(now.items, 0) << "item list damaged after kill " << kill;
        ASSERT_TRUE(now == before || now == after)
            << "kill " << kill << ": " << now.ledger << "/" << now.items << " records, expected " << before.ledger
            << "/" << before.items << " or " << after.ledger << "/" << after.items;
        // Remains come only from the append the kill cut off, or from an earlier one that nothing has mended yet.
        const bool ledgerWrite = op == Op::AppendLedger || op == Op::RewriteLedger;
        if (ledgerTorn) {
            ASSERT_TRUE((op == Op::AppendLedger && now == before) ||
                        (ledgerRemains && (!ledgerWrite || now == before)));
        }
        const bool itemWrite = op == Op::AppendItems || op == Op::RewriteItems;
        if (itemsTorn) {
            ASSERT_TRUE((op == Op::AppendItems && now == before) || (itemRemains && (!itemWrite || now == before)));
        }
        ledgerRemains = ledgerTorn;
        itemRemains = itemsTorn;
        // Whatever a killed rewrite left beside the files has the temporaries' shape: the next start's tidying
        // leaves the data files alone in the folder.
        const std::array<std::string_view, 2> names = {kLedgerName, kItemsName};
        (void)RemoveLeftoverTemporaries(names);
        for (const std::string& entry : Listing("."))
            ASSERT_TRUE(entry == "." || entry == ".." || entry == kLedgerName || entry == kItemsName) << entry;
        cutOff += now == before;
        tornSeen += ledgerTorn || itemsTorn;
        state = now;
    }
    std::printf("%d kills after %d completed operations: %d cut an operation off, %d of them leaving a cut-off line\n",
                kKills, operations, cutOff, tornSeen);
}

// A write cut off for certain, at chosen places inside a long record: the process is ended by SIGXFSZ when
// its append passes the file size limit, as a kill ends it mid-write. The next start reads the whole
// records before it, and the next append leaves whole records only.
TEST(Faults, AppendCutOffInTheMiddleIsLeftOutThenMended) {
    for (const int cut : {1, 17, 18, 19, 2000, 6000}) {
        ScopedWorkDir dir;
        for (int i = 1; i <= 4; ++i)
            ASSERT_TRUE(AppendRecord(kLedgerName, LedgerRecord(i)).ok());
        const std::string whole = ReadBytes(kLedgerName);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
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
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
        ASSERT_EQ(ReadBytes(kLedgerName).size(), whole.size() + cut); // the remains of record 5 are there
        bool torn = false;
        ASSERT_EQ(Prefix(kLedgerName, kLedgerKinds, LedgerRecord, torn), 4);
        ASSERT_TRUE(torn);
        ASSERT_TRUE(AppendRecord(kLedgerName, LedgerRecord(5)).ok());
        ASSERT_EQ(Prefix(kLedgerName, kLedgerKinds, LedgerRecord, torn), 5);
        ASSERT_FALSE(torn);
    }
}

// A clear killed at any moment: the ledger holds the records before it or none, never anything else, and whenever
// it holds none its records are whole in the trash with information that leads back to it. The trash never holds
// part of a copy. The next start reads the ledger either way.
TEST(Faults, ClearKilledAtAnyMomentLosesNothing) {
    ScopedWorkDir dir;
    const std::string trash = dir.dataHome() + "/Trash";
    const std::string original = Here(kLedgerName);
    std::vector<std::string> ledgers{std::string()}; // the bytes of a ledger of n records
    {
        ScopedWorkDir scratch;
        for (int i = 1; i <= kMostBeforeAClear; ++i) {
            ASSERT_TRUE(AppendRecord(kLedgerName, LedgerRecord(i)).ok());
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
        if (testing::Test::HasFatalFailure())
            return;
        const unsigned seed = round.seed;
        const int completed = round.completed;

        // The clears the child completed, each of which must have kept its ledger, and the operation cut off.
        std::mt19937 replay(seed);
        int before = records;
        std::vector<std::string> kept;
        for (int i = 0; i < completed; ++i) {
            const auto [clear, next] = NextOfClears(before, replay);
            if (clear)
                kept.push_back(ledgers[static_cast<std::size_t>(before)]);
            before = next;
        }
        ASSERT_EQ(before, reported);
        const auto [cutClear, after] = NextOfClears(before, replay);
        bool torn = false;
        const int now = Prefix(kLedgerName, kLedgerKinds, LedgerRecord, torn);
        ASSERT_TRUE(now == before || now == after)
            << "kill " << kill << ": " << now << " records, expected " << before << " or " << after;
        if (torn) {
            ASSERT_TRUE(!cutClear && now == before);
        }
        if (cutClear && now == after)
            kept.push_back(ledgers[static_cast<std::size_t>(before)]); // emptied: its copy must be there

        std::vector<std::pair<std::string, bool>> copies = TrashedCopies(trash, original);
        for (const std::string& bytes : kept) {
            const auto whole = std::find(copies.begin(), copies.end(), std::make_pair(bytes, true));
            ASSERT_TRUE(whole != copies.end()) << "kill " << kill << ": a cleared ledger is not in the trash";
            copies.erase(whole);
        }
        // What is left is at most the entry of the clear the kill cut off, while the ledger is still whole: a whole
        // copy with its information, or (some of) an information file whose copy had not come in yet. Never part of
        // a copy.
        ASSERT_LE(copies.size(), 1u);
        if (!copies.empty()) {
            ASSERT_TRUE(cutClear && now == before);
            const bool whole =
                copies.front().first == ledgers[static_cast<std::size_t>(before)] && copies.front().second;
            ASSERT_TRUE(whole || copies.front().first.empty());
            keptBeforeEmptied += !copies.front().first.empty();
            infoOnly += copies.front().first.empty();
        }
        clears += static_cast<int>(kept.size());
        clearsCut += cutClear;

        // The next start: the remains of an append and of a rewrite go, as the program's start removes them. Each
        // round begins with an empty trash, so that every copy in it is of this round.
        if (torn) {
            ASSERT_TRUE(Rewrite(kLedgerName, now, LedgerRecord).ok());
        }
        const std::array<std::string_view, 1> names = {kLedgerName};
        (void)RemoveLeftoverTemporaries(names);
        ASSERT_EQ(Listing("."), (std::vector<std::string>{".", "..", kLedgerName}));
        ASSERT_TRUE(RemoveTree(trash));
        records = now;
    }
    std::printf("%d kills: %d clears kept, %d clears cut off: %d with the copy in the trash and the ledger not yet "
                "emptied, %d with the information file only\n",
                kClearKills, clears, clearsCut, keptBeforeEmptied, infoOnly);
}
