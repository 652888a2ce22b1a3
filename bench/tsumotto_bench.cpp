// How long the operations take on a full ledger, measured offscreen with Google Benchmark.
//   tsumotto_bench [--json FILE] [Google Benchmark options]
// It makes its own data in a temporary directory: a ledger of 32,766 deposits with Japanese items and
// amounts (some with fractions), a list of 1,000 items and a theme name. It prints the median of each
// measurement, the ratios the program must keep, and the peak memory of a process that has loaded the
// files, and writes the same as JSON.
#include "records/text/cp932.h"
#include "records/text/record_file.h"
#include "shell/app.h"
#include "shell/controls.h"
#include "shell/dialogs.h"
#include "shell/fraMain.h"
#include "shell/grid.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <string>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFullLedger = 32766;
constexpr int kItems = 1000;
// The deposit measurements add one deposit per iteration: their full ledger leaves room for them.
constexpr int kDepositRoom = 400;

// Boxes answered without being shown: OK to every confirmation, No to every registration.
class AnsweringDialogs final : public Dialogs {
public:
    Answer message(QWidget*, const QString&, const QString&, Buttons buttons, Icon) override {
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
    QString input(QWidget*, const QString&, const QString&) override { return {}; }
};

const std::array<const char*, 12> kThings = {"タクシーを使ったつもり",
                                             "コーヒーを我慢したつもり",
                                             "少年マガジンを買ったつもり",
                                             "晩酌",
                                             "お弁当を作ったつもり",
                                             "お風呂",
                                             "太鼓の達人（１曲）",
                                             "朝メシ抜いた",
                                             "人前でオナラした",
                                             "腕立て伏せしなかった",
                                             "ムフフなビデオをレンタルしたつもり",
                                             "コンビニでお菓子を買わなかった"};

std::string Amount(int i) {
    static const std::array<const char*, 8> amounts = {"690", "150", "230", "50", "480.5", "30", "10", "1280.25"};
    return amounts[static_cast<std::size_t>(i) % amounts.size()];
}

void WriteFile(const char* name, const std::string& utf8) {
    std::string bytes;
    if (!records::EncodeCp932(utf8, bytes))
        std::abort();
    QFile file(QString::fromUtf8(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), static_cast<qint64>(bytes.size())) < 0)
        std::abort();
}

std::string Ledger(int deposits) {
    std::string text;
    for (int i = 0; i < deposits; ++i) {
        char date[32];
        std::snprintf(date, sizeof date, "%04d年%02d月%02d日", 2008 + i / 3000, 1 + (i / 250) % 12, 1 + (i / 8) % 28);
        text += std::string("\"") + date + "\",\"" + kThings[static_cast<std::size_t>(i) % kThings.size()] + "\"," +
                Amount(i) + "\r\n";
    }
    return text;
}

std::string ItemList(int items) {
    std::string text;
    for (int i = 0; i < items; ++i)
        text += std::string("\"") + kThings[static_cast<std::size_t>(i) % kThings.size()] + " その" +
                std::to_string(i + 1) + "\"," + Amount(i) + "\r\n";
    return text;
}

// The data folders, made once.
struct Data {
    QTemporaryDir root;
    QString full, empty, small, nearlyFull;
    std::string fullLedger;
};

Data* g_data = nullptr;

QString MakeFolder(const QString& name, const std::string& ledger, bool withItems) {
    const QString path = g_data->root.path() + u'/' + name;
    QDir().mkpath(path);
    QDir::setCurrent(path);
    WriteFile(fraMain::kLedgerFile, ledger);
    if (withItems) {
        WriteFile(fraMain::kItemFile, ItemList(kItems));
        WriteFile(fraMain::kThemeFile, "\"北海道旅行のためのつもり貯金\"\r\n");
    }
    return path;
}

// A loaded main window in a folder, for the operations.
struct Loaded {
    AnsweringDialogs dialogs;
    std::unique_ptr<fraMain> window;

    explicit Loaded(const QString& folder) {
        QDir::setCurrent(folder);
        window = std::make_unique<fraMain>(dialogs);
        if (!window->Form_Load())
            std::abort();
        window->msgChingin->flush();
        window->msgChinKou->flush();
    }
};

void RecordsLayerRead(benchmark::State& state) {
    QDir::setCurrent(g_data->full);
    const std::array kinds = {records::FieldKind::Text, records::FieldKind::Text, records::FieldKind::Money};
    for (auto _ : state) {
        records::RecordFile file;
        if (!file.OpenForInput(fraMain::kLedgerFileInput))
            std::abort();
        std::vector<std::vector<records::FieldValue>> rows;
        rows.reserve(kFullLedger);
        std::vector<records::FieldValue> values;
        while (!file.AtEnd()) {
            if (!file.ReadRecord(kinds, values))
                std::abort();
            rows.push_back(values);
        }
        if (rows.size() != kFullLedger || !file.Close())
            std::abort();
        benchmark::DoNotOptimize(rows.data());
    }
}

void LoadLedger(benchmark::State& state) {
    Loaded loaded(g_data->full);
    fraMain& w = *loaded.window;
    for (auto _ : state) {
        w.InitLedgerGrid();
        if (!w.LoadLedger())
            std::abort();
        w.msgChingin->flush();
    }
    if (w.ChinCnt != kFullLedger)
        std::abort();
}

void StartUp(benchmark::State& state, const QString* folder) {
    QDir::setCurrent(*folder);
    AnsweringDialogs dialogs;
    for (auto _ : state) {
        auto w = std::make_unique<fraMain>(dialogs);
        if (!w->Form_Load())
            std::abort();
        w->msgChingin->flush();
        w->msgChinKou->flush();
        state.PauseTiming();
        w.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

void DeleteMiddleDeposit(benchmark::State& state) {
    Loaded loaded(g_data->full);
    fraMain& w = *loaded.window;
    for (auto _ : state) {
        w.msgChingin->setRow(w.msgChingin->Rows() / 2);
        w.msgChingin_DblClick();
        w.msgChingin->flush();
    }
    WriteFile(fraMain::kLedgerFile, g_data->fullLedger); // as it was, for the next measurement
}

void OneDeposit(benchmark::State& state, const QString* folder) {
    Loaded loaded(*folder);
    fraMain& w = *loaded.window;
    const int before = w.ChinCnt;
    int n = 0;
    for (auto _ : state) {
        w.txtChinKou->setText(u"新しい我慢 %1"_s.arg(++n)); // not in the list: all 1,000 items searched
        w.txtChin_Inp->setText(u"120"_s);
        w.cmdChinHozon_Click();
        w.msgChingin->flush();
    }
    if (w.ChinCnt != before + n)
        std::abort();
}

void ClearLedger(benchmark::State& state) {
    Loaded loaded(g_data->full);
    fraMain& w = *loaded.window;
    for (auto _ : state) {
        w.cmdChinClr_Click();
        w.msgChingin->flush();
        state.PauseTiming();
        if (w.ChinCnt != 0)
            std::abort();
        WriteFile(fraMain::kLedgerFile, g_data->fullLedger);
        w.InitLedgerGrid();
        if (!w.LoadLedger())
            std::abort();
        w.msgChingin->flush();
        state.ResumeTiming();
    }
}

// Medians of the repetitions, by benchmark name, in milliseconds.
class MedianReporter final : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> medians;
    std::vector<std::string> order;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.aggregate_name != "median")
                continue;
            const double ms = run.GetAdjustedRealTime() * benchmark::GetTimeUnitMultiplier(run.time_unit) /
                              benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond);
            const std::string name = run.run_name.function_name;
            if (!medians.count(name))
                order.push_back(name);
            medians[name] = ms;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// Peak resident memory, in KiB, of a copy of this program that starts up in the folder.
long PeakMemoryKiB(const QString& folder) {
    QProcess child;
    child.setWorkingDirectory(folder);
    child.start(QCoreApplication::applicationFilePath(), {u"--peak-memory"_s});
    if (!child.waitForFinished(60000) || child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().trimmed().toLong();
}

int PeakMemoryChild() {
    AnsweringDialogs dialogs;
    fraMain w(dialogs);
    if (!w.Form_Load())
        return 1;
    w.msgChingin->flush();
    w.msgChinKou->flush();
    QCoreApplication::processEvents();
    // VmHWM, not getrusage: a child's ru_maxrss starts from its parent's size at the fork.
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) {
            std::printf("%ld\n", line.mid(6).trimmed().split(' ').front().toLong());
            return 0;
        }
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetUpApplication(app);
    if (argc == 2 && std::string(argv[1]) == "--peak-memory")
        return PeakMemoryChild();

    const QString startDir = QDir::currentPath();
    QString jsonPath = u"tsumotto-bench.json"_s;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]) == "--json" && i + 1 < argc)
            jsonPath = QString::fromLocal8Bit(argv[++i]);
        else
            args.push_back(argv[i]);
    }

    Data data;
    g_data = &data;
    // Every clear keeps the ledger in the trash: the benchmark's go to a trash of its own, never the user's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.root.path() + u"/data-home"_s));
    data.fullLedger = Ledger(kFullLedger);
    data.full = MakeFolder(u"full"_s, data.fullLedger, true);
    // Empty files, but for one deposit: an empty ledger would open the welcome window in the middle of the
    // start-up.
    data.empty = MakeFolder(u"empty"_s, Ledger(1), false);
    data.small = MakeFolder(u"small"_s, Ledger(100), true);
    data.nearlyFull = MakeFolder(u"nearly-full"_s, Ledger(kFullLedger - kDepositRoom), true);

    constexpr int kRepetitions = 7;
    auto repeat = [](benchmark::internal::Benchmark* b) {
        return b->Repetitions(kRepetitions)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    repeat(benchmark::RegisterBenchmark("records_read_full_ledger", RecordsLayerRead));
    repeat(benchmark::RegisterBenchmark("LoadLedger_full", LoadLedger));
    repeat(benchmark::RegisterBenchmark("startup_full_files", StartUp, &data.full));
    repeat(benchmark::RegisterBenchmark("startup_empty_files", StartUp, &data.empty));
    repeat(benchmark::RegisterBenchmark("delete_middle_deposit", DeleteMiddleDeposit));
    const int depositIterations = kDepositRoom / kRepetitions - 1;
    repeat(benchmark::RegisterBenchmark("deposit_full_ledger", OneDeposit, &data.nearlyFull))
        ->Iterations(depositIterations);
    repeat(benchmark::RegisterBenchmark("deposit_100_deposits", OneDeposit, &data.small))
        ->Iterations(depositIterations);
    repeat(benchmark::RegisterBenchmark("clear_ledger", ClearLedger))->Iterations(5);

    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const long fullKiB = PeakMemoryKiB(data.full);
    const long emptyKiB = PeakMemoryKiB(data.empty);
    auto m = [&](const char* name) { return reporter.medians.count(name) ? reporter.medians[name] : 0.0; };
    struct Ratio {
        const char* what;
        double value;
        double limit;
        bool below; // the value must stay below the limit rather than at most it
    };
    const std::vector<Ratio> ratios = {
        {"LoadLedger / records read", m("LoadLedger_full") / m("records_read_full_ledger"), 3.0, false},
        {"delete middle / records read", m("delete_middle_deposit") / m("records_read_full_ledger"), 4.0, false},
        {"deposit (full) / LoadLedger", m("deposit_full_ledger") / m("LoadLedger_full"), 0.01, true},
        {"deposit (full) / deposit (100)", m("deposit_full_ledger") / m("deposit_100_deposits"), 1.5, false},
        {"start-up full / start-up empty", m("startup_full_files") / m("startup_empty_files"), 1.5, false},
        {"peak memory full / empty", double(fullKiB) / double(emptyKiB), 2.0, true},
    };

    std::printf("\n%-34s %12s\n", "measurement (median)", "ms");
    QJsonObject json;
    QJsonObject times;
    for (const std::string& name : reporter.order) {
        std::printf("%-34s %12.3f\n", name.c_str(), reporter.medians[name]);
        times[QString::fromStdString(name)] = reporter.medians[name];
    }
    std::printf("%-34s %9ld KiB\n%-34s %9ld KiB\n", "peak memory, full files", fullKiB, "peak memory, empty files",
                emptyKiB);
    std::printf("\n%-34s %12s %8s %s\n", "ratio", "value", "limit", "");
    QJsonArray ratioJson;
    bool allMet = true;
    for (const Ratio& r : ratios) {
        const bool met = r.below ? r.value < r.limit : r.value <= r.limit;
        allMet = allMet && met;
        std::printf("%-34s %12.4f %8.3g %s\n", r.what, r.value, r.limit, met ? "met" : "NOT MET");
        ratioJson.append(QJsonObject{
            {u"ratio"_s, QString::fromUtf8(r.what)}, {u"value"_s, r.value}, {u"limit"_s, r.limit}, {u"met"_s, met}});
    }
    json[u"medians_ms"_s] = times;
    json[u"peak_memory_kib"_s] = QJsonObject{{u"full"_s, double(fullKiB)}, {u"empty"_s, double(emptyKiB)}};
    json[u"ratios"_s] = ratioJson;
    json[u"machine"_s] = QJsonObject{{u"cpu"_s, QSysInfo::currentCpuArchitecture()},
                                     {u"cores"_s, QThread::idealThreadCount()},
                                     {u"os"_s, QSysInfo::prettyProductName()}};
    QDir::setCurrent(startDir);
    QFile out(QDir(startDir).absoluteFilePath(jsonPath));
    if (out.open(QIODevice::WriteOnly))
        out.write(QJsonDocument(json).toJson());
    std::printf("\nwritten to %s\n", qPrintable(QFileInfo(out).absoluteFilePath()));
    benchmark::Shutdown();
    return allMet ? 0 : 3;
}
