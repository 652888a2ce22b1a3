// Killed at any moment, the files hold one whole state: a child process appends and rewrites in a loop and
// is killed with SIGKILL at random moments, many times; after each kill both files must read back as the
// first m records of their sequence, for some m, with nothing else in them.
#include "records/text/record_file.h"
#include "testsupport.h"

#include <QTest>

#include <array>
#include <chrono>
#include <csignal>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace records;

namespace {

constexpr const char* kLedger = "テーマ１.txt";
constexpr const char* kItems = "項目１.txt";
constexpr int kKills = 300;
constexpr std::array kLedgerKinds = {FieldKind::Text, FieldKind::Text, FieldKind::Money};
constexpr std::array kItemKinds = {FieldKind::Text, FieldKind::Money};

std::vector<FieldValue> LedgerRecord(int i) {
    return {std::string("2026年12月07日"), "タクシーを使ったつもり その" + std::to_string(i),
            Currency::FromTenThousandths(i * 12345)};
}

std::vector<FieldValue> ItemRecord(int i) {
    return {"晩酌 その" + std::to_string(i), Currency::FromTenThousandths(i * 500)};
}

// How many records of its sequence the file holds, or -1 when it holds anything else.
template <std::size_t N>
int Prefix(const char* name, const std::array<FieldKind, N>& kinds, std::vector<FieldValue> (*record)(int)) {
    RecordFile file;
    const Status opened = file.OpenForInput(name);
    if (opened.code() == Status::Code::NotFound)
        return 0;
    if (!opened)
        return -1;
    int m = 0;
    std::vector<FieldValue> values;
    while (!file.AtEnd()) {
        if (!file.ReadRecord(kinds, values) || values != record(m + 1))
            return -1;
        ++m;
    }
    return m;
}

Status Rewrite(const char* name, int count, std::vector<FieldValue> (*record)(int)) {
    RecordFile file;
    Status status = file.OpenForOutput(name);
    for (int i = 1; status && i <= count; ++i)
        status = file.WriteRecord(record(i));
    return status ? file.Close() : status;
}

// The child's work, until it is killed: grow both files by appends, and now and then rewrite them one
// record shorter, as a deletion does.
[[noreturn]] void Work(int ledger, int items, unsigned seed) {
    std::mt19937 random(seed);
    for (;;) {
        const unsigned what = random() % 8;
        if (what == 0 && ledger > 0)
            (void)Rewrite(kLedger, --ledger, LedgerRecord);
        else if (what == 1 && items > 0)
            (void)Rewrite(kItems, --items, ItemRecord);
        else if (what < 5 && AppendRecord(kLedger, LedgerRecord(ledger + 1)))
            ++ledger;
        else if (AppendRecord(kItems, ItemRecord(items + 1)))
            ++items;
        if (ledger > 400)
            (void)Rewrite(kLedger, ledger = 100, LedgerRecord);
        if (items > 400)
            (void)Rewrite(kItems, items = 100, ItemRecord);
    }
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void killedAtAnyMomentLeavesWholeStates();
};

void TestFaults::killedAtAnyMomentLeavesWholeStates() {
    ScopedWorkDir dir;
    std::mt19937 random(20261207);
    int ledger = 0, items = 0, changed = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0)
            Work(ledger, items, static_cast<unsigned>(random()));
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 13000));
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        QVERIFY(WIFSIGNALED(status));
        const int nowLedger = Prefix(kLedger, kLedgerKinds, LedgerRecord);
        const int nowItems = Prefix(kItems, kItemKinds, ItemRecord);
        QVERIFY2(nowLedger >= 0, qPrintable(QStringLiteral("ledger damaged after kill %1").arg(kill)));
        QVERIFY2(nowItems >= 0, qPrintable(QStringLiteral("item list damaged after kill %1").arg(kill)));
        changed += nowLedger != ledger || nowItems != items;
        ledger = nowLedger;
        items = nowItems;
    }
    // The child must have got work done between kills, or the test proves nothing.
    QVERIFY2(changed > kKills / 10, qPrintable(QStringLiteral("only %1 kills saw progress").arg(changed)));
    qInfo("survived %d kills at random moments (%d of them after some progress), ledger %d records, item list %d",
          kKills, changed, ledger, items);
}

QTEST_APPLESS_MAIN(TestFaults)
#include "tst_faults.moc"
