// What the user waits for, measured against the floors a careful program reaches, in one run:
//   tsumotto_bench [--json FILE] [--rounds N] [--operations-only] [Google Benchmark options]
//   tsumotto_bench --summarize FILE...     the spread of each ratio over several runs
// Run under an X server (scripts/dev.sh bench starts Xvfb). It makes its own data in a temporary directory:
// a full ledger of 32,766 deposits with 1,000 items, a ledger of one deposit, and the largest ledger the
// program accepts (16 MB of long items). Start-ups are the real programs, timed from outside to the first
// drawing into their windows, interleaved round by round: this program, a minimal Qt program showing the same
// ledger in a QTableView, and a bare Qt window. Operations and floors run in process with Google Benchmark.
// Every figure is a median, with CPU time beside wall time; the ratios are checked against their targets.
#include "app/app.h"
#include "first_paint.h"
#include "records/cp932.h"
#include "records/record_file.h"
#include "widgets/chart_view.h"
#include "widgets/controls.h"
#include "widgets/dialogs.h"
#include "widgets/grid.h"
#include "window/chart_window.h"
#include "window/fraMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalBlocker>
#include <QSysInfo>
#include <QTableView>
#include <QTemporaryDir>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iconv.h>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFullLedger = 32766;
constexpr int kItems = 1000;
constexpr int kFullItems = 32766;
// The deposit measurement adds a deposit and an item per iteration: its lists leave room for them.
constexpr int kDepositRoom = 200;

// Boxes answered without being shown: OK to every confirmation, Yes to every registration.
class AnsweringDialogs final : public Dialogs {
public:
    Answer message(QWidget*, const QString&, const QString&, Buttons buttons, Icon) override {
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    QString input(QWidget*, const QString&, const QString&) override { return {}; }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
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

std::string Date(int i) {
    char date[32];
    std::snprintf(date, sizeof date, "%04d年%02d月%02d日", 2008 + i / 3000, 1 + (i / 250) % 12, 1 + (i / 8) % 28);
    return date;
}

std::string Ledger(int deposits) {
    std::string text;
    for (int i = 0; i < deposits; ++i)
        text += "\"" + Date(i) + "\",\"" + kThings[static_cast<std::size_t>(i) % kThings.size()] + "\"," + Amount(i) +
                "\r\n";
    return text;
}

// A long item, as a user who writes a diary in the item box makes them: 230 kanji and kana.
std::string LongItem(int i) {
    static const char* const words[] = {"今日は", "タクシーに乗らずに", "駅から家まで", "歩いて帰った",
                                        "ので",   "その分を",           "旅行の",       "貯金に回す",
                                        "。"};
    std::string item = std::to_string(i) + "番目：";
    for (std::size_t w = 0; item.size() < 3 * 226; ++w)
        item += words[(w + static_cast<std::size_t>(i)) % std::size(words)];
    return item;
}

// The largest ledger the program accepts: as many deposits of long items as fit in what it reads (16 MB),
// the items drawn from a few dozen, as a diary's recurring entries are.
std::string LargestLedger(std::size_t& utf16Bytes) {
    std::string text;
    std::string bytes;
    std::size_t size = 0;
    utf16Bytes = 0;
    for (int i = 0; i < kFullLedger; ++i) {
        const std::string line = "\"" + Date(i) + "\",\"" + LongItem(i % 48) + "\"," + Amount(i) + "\r\n";
        if (!records::EncodeCp932(line, bytes))
            std::abort();
        if (size + bytes.size() > records::RecordFile::kMaxInputBytes)
            break;
        size += bytes.size();
        text += line;
        utf16Bytes += 2 * static_cast<std::size_t>(QString::fromStdString(line).size());
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

QByteArray Encoded(const std::string& utf8) {
    std::string bytes;
    if (!records::EncodeCp932(utf8, bytes))
        std::abort();
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Puts a file in place and on the disk before a measurement, so that the measured operation's own flush does
// not also carry this write (ext4 commits the data of every file written since the last commit with it).
void WriteFile(const char* name, const QByteArray& bytes) {
    QFile file(QString::fromUtf8(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        ::fsync(file.handle()) != 0)
        std::abort();
    file.close();
    const int folder = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || ::syncfs(folder) != 0)
        std::abort();
    ::close(folder);
}

// The data folders, made once.
struct Data {
    QTemporaryDir root;
    QString full, one, largest, deposit, fullItems, chart;
    QByteArray fullLedger, items, fullItemList;
    std::size_t largestUtf16 = 0;
};

Data* g_data = nullptr;

QString MakeFolder(const QString& name, const QByteArray& ledger, const QByteArray& items) {
    const QString path = g_data->root.path() + u'/' + name;
    QDir().mkpath(path);
    QDir::setCurrent(path);
    WriteFile(fraMain::kLedgerFile, ledger);
    if (!items.isEmpty()) {
        WriteFile(fraMain::kItemFile, items);
        WriteFile(fraMain::kThemeFile, Encoded("\"北海道旅行のためのつもり貯金\"\r\n"));
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

// The floors.
void FloorRead(benchmark::State& state) {
    QDir::setCurrent(g_data->full);
    std::string bytes;
    for (auto _ : state) {
        const int fd = ::open(fraMain::kLedgerFile, O_RDONLY | O_CLOEXEC);
        bytes.resize(static_cast<std::size_t>(g_data->fullLedger.size()));
        if (fd < 0 || ::read(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            std::abort();
        ::close(fd);
        benchmark::DoNotOptimize(bytes.data());
    }
}

void FloorDecode(benchmark::State& state) {
    const QByteArray& bytes = g_data->fullLedger;
    std::u16string text(static_cast<std::size_t>(bytes.size()), u'\0');
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(bytes.data());
        std::size_t inLeft = static_cast<std::size_t>(bytes.size());
        char* out = reinterpret_cast<char*>(text.data());
        std::size_t outLeft = text.size() * 2;
        if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1))
            std::abort();
        benchmark::DoNotOptimize(text.data());
    }
    iconv_close(cd);
}

// Writing the full ledger's bytes beside the file, flushing them and putting them in its place.
void FloorWrite(benchmark::State& state) {
    QDir::setCurrent(g_data->full);
    const QByteArray& bytes = g_data->fullLedger;
    for (auto _ : state) {
        const int fd = ::open(".floor.tmp", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, bytes.data(), static_cast<std::size_t>(bytes.size())) != bytes.size() ||
            ::fsync(fd) != 0 || ::close(fd) != 0 || std::rename(".floor.tmp", "floor.txt") != 0)
            std::abort();
    }
}

// Deleting the first or the last deposit of the full ledger, with the grid brought up to date; the file is
// put back between iterations.
void DeleteDeposit(benchmark::State& state, bool first) {
    Loaded loaded(g_data->full);
    fraMain& w = *loaded.window;
    for (auto _ : state) {
        w.msgChingin->setRow(first ? 1 : w.msgChingin->Rows() - 1);
        w.msgChingin_DblClick();
        w.msgChingin->flush();
        state.PauseTiming();
        if (w.ChinCnt != kFullLedger - 1)
            std::abort();
        WriteFile(fraMain::kLedgerFile, g_data->fullLedger);
        w.InitLedgerGrid();
        if (!w.LoadLedger())
            std::abort();
        w.msgChingin->flush();
        state.ResumeTiming();
    }
}

// A deposit of a new item into the full ledger, looked up in a full item list, registered (Yes), flushed.
void DepositNewItem(benchmark::State& state) {
    Loaded loaded(g_data->deposit); // each repetition goes on from the deposits of the one before
    fraMain& w = *loaded.window;
    const int deposits = w.ChinCnt;
    const int items = w.msgChinKou->Rows() - 1;
    int n = 0;
    for (auto _ : state) {
        w.txtChinKou->setText(u"新しい我慢 %1 %2"_s.arg(deposits).arg(++n));
        w.txtChin_Inp->setText(u"120"_s);
        w.cmdChinHozon_Click();
        w.msgChingin->flush();
        w.msgChinKou->flush();
    }
    if (w.ChinCnt != deposits + n || w.msgChinKou->Rows() - 1 != items + n)
        std::abort();
}

void DeleteFirstItem(benchmark::State& state) {
    Loaded loaded(g_data->fullItems);
    fraMain& w = *loaded.window;
    for (auto _ : state) {
        w.msgChinKou->setRow(1);
        w.msgChinKou_DblClick();
        w.msgChinKou->flush();
        state.PauseTiming();
        if (w.msgChinKou->Rows() != kFullItems)
            std::abort();
        WriteFile(fraMain::kItemFile, g_data->fullItemList);
        w.InitItemGrid();
        if (!w.LoadItemsAndTheme())
            std::abort();
        w.msgChinKou->flush();
        state.ResumeTiming();
    }
}

void ClearList(benchmark::State& state, bool ledger) {
    Loaded loaded(g_data->full);
    fraMain& w = *loaded.window;
    for (auto _ : state) {
        if (ledger)
            w.cmdChinClr_Click();
        else
            w.cmdChinClr2_Click();
        w.msgChingin->flush();
        w.msgChinKou->flush();
        state.PauseTiming();
        if (ledger ? w.ChinCnt != 0 : w.msgChinKou->Rows() != 1)
            std::abort();
        WriteFile(fraMain::kLedgerFile, g_data->fullLedger);
        WriteFile(fraMain::kItemFile, g_data->items);
        w.InitLedgerGrid();
        w.InitItemGrid();
        if (!w.LoadLedger() || !w.LoadItemsAndTheme())
            std::abort();
        w.msgChingin->flush();
        w.msgChinKou->flush();
        state.ResumeTiming();
    }
}

// Opening the chart window on the full ledger, to its first drawing: every month summed, the window made and
// drawn whole.
void ChartOpen(benchmark::State& state) {
    Loaded loaded(g_data->full);
    fraMain& w = *loaded.window;
    for (auto _ : state) {
        w.cmdSuii_Click();
        benchmark::DoNotOptimize(w.chartWindow()->grab());
        state.PauseTiming();
        if (w.chartWindow()->months().months().empty())
            std::abort();
        delete w.chartWindow();
        state.ResumeTiming();
    }
}

// What a deposit costs the open chart window, as the window does it: its months brought up to date, the figures
// under the chart laid out again, and what changed drawn into the window's backing store (the chart, the table's
// changed row and those figures). The deposit itself, measured above, is left out: the window does not hear of it
// until the deposit is done and the main window has drawn it.
void ChartUpdateAfterDeposit(benchmark::State& state) {
    Loaded loaded(g_data->chart); // each repetition goes on from the deposits of the one before
    fraMain& w = *loaded.window;
    w.cmdSuii_Click();
    frmSuii& chart = *w.chartWindow();
    for (int round = 0; round < 1000 && !(chart.windowHandle() && chart.windowHandle()->isExposed()); ++round)
        QCoreApplication::processEvents();
    if (!chart.windowHandle() || !chart.windowHandle()->isExposed()) {
        std::fprintf(stderr, "the chart window was not shown\n");
        std::abort();
    }
    QCoreApplication::processEvents();
    const int deposits = w.ChinCnt;
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        {
            const QSignalBlocker unheard(w);
            w.txtChinKou->setText(u"晩酌"_s);
            w.txtChin_Inp->setText(u"120"_s);
            w.cmdChinHozon_Click();
        }
        QCoreApplication::processEvents();
        ++n;
        state.ResumeTiming();
        chart.ledgerChanged();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::sendPostedEvents(&chart, QEvent::UpdateRequest);
    }
    if (w.ChinCnt != deposits + n || chart.months().months().back().count < n)
        std::abort();
}

// Medians of the repetitions, by benchmark name, in milliseconds, wall and CPU.
class MedianReporter final : public benchmark::ConsoleReporter {
public:
    std::map<std::string, std::pair<double, double>> medians;
    std::vector<std::string> order;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.aggregate_name != "median")
                continue;
            const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit) /
                                benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond);
            const std::string name = run.run_name.function_name;
            if (!medians.count(name))
                order.push_back(name);
            medians[name] = {run.GetAdjustedRealTime() * unit, run.GetAdjustedCPUTime() * unit};
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

struct StartUpFigures {
    double wallMs, cpuMs, peakKiB;
};

// Each start-up once per round, in turn, so that a slow moment of the machine falls on all of them alike.
std::map<std::string, StartUpFigures> StartUps(int rounds) {
    struct Candidate {
        std::string name, program;
        std::vector<std::string> args;
        QString folder;
        std::string title;
    };
    const std::string program = TSUMOTTO_PROGRAM;
    const std::string minimal = MINIMAL_PROGRAM;
    const std::string title = "ツモっと貯めよう！";
    const std::vector<Candidate> candidates = {
        {"startup_full", program, {}, g_data->full, title},
        {"minimal_full", minimal, {}, g_data->full, "minimal ledger"},
        {"startup_one", program, {}, g_data->one, title},
        {"bare_window", minimal, {"--bare"}, g_data->one, "bare window"},
        {"startup_largest", program, {}, g_data->largest, title},
    };
    std::map<std::string, std::vector<StartUpSample>> samples;
    for (int round = 0; round <= rounds; ++round) { // round 0 warms the caches and is not counted
        for (const Candidate& c : candidates) {
            const auto sample = MeasureFirstPaint(c.program, c.args, c.folder.toStdString(), c.title);
            if (!sample) {
                std::fprintf(stderr, "%s did not draw its window: is there an X server (DISPLAY)?\n", c.name.c_str());
                std::exit(2);
            }
            if (round > 0)
                samples[c.name].push_back(*sample);
        }
    }
    std::map<std::string, StartUpFigures> figures;
    for (const auto& [name, list] : samples) {
        std::vector<double> wall, cpu, peak;
        for (const StartUpSample& s : list) {
            wall.push_back(s.wallMs);
            cpu.push_back(s.cpuMs);
            peak.push_back(double(s.peakKiB));
        }
        figures[name] = {Median(wall), Median(cpu), Median(peak)};
    }
    return figures;
}

// The spread of every ratio over several runs' JSON files.
int Summarize(const std::vector<QString>& files) {
    std::map<QString, std::vector<double>> values;
    std::map<QString, std::pair<double, bool>> limits;
    std::vector<QString> order;
    for (const QString& name : files) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            return 2;
        for (const QJsonValue& r : QJsonDocument::fromJson(file.readAll()).object()[u"ratios"_s].toArray()) {
            const QString what = r[u"ratio"_s].toString();
            if (!values.count(what))
                order.push_back(what);
            values[what].push_back(r[u"value"_s].toDouble());
            limits[what] = {r[u"limit"_s].toDouble(), r[u"below"_s].toBool()};
        }
    }
    bool allMet = true;
    std::printf("%-52s %8s %8s %8s %s\n", "ratio over the runs", "least", "most", "target", "");
    for (const QString& what : order) {
        const auto [least, most] = std::minmax_element(values[what].begin(), values[what].end());
        const auto [limit, below] = limits[what];
        const bool met = below ? *most < limit : *most <= limit;
        allMet = allMet && met;
        std::printf("%-52s %8.4f %8.4f %8.3g %s\n", qPrintable(what), *least, *most, limit,
                    met ? "met in every run" : "NOT MET");
    }
    return allMet ? 0 : 3;
}

} // namespace

int main(int argc, char* argv[]) {
    // The operations run in this process without a window system; the start-ups on the X server of DISPLAY.
    const QByteArray display = qgetenv("DISPLAY");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetUpApplication(app);
    if (argc >= 2 && std::string(argv[1]) == "--summarize") {
        std::vector<QString> files;
        for (int i = 2; i < argc; ++i)
            files.push_back(QString::fromLocal8Bit(argv[i]));
        return Summarize(files);
    }

    if (argc >= 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::printf("tsumotto_bench [--json FILE] [--rounds N] [--operations-only] [Google Benchmark options]\n"
                    "tsumotto_bench --summarize FILE...\n"
                    "  --operations-only             leave out the start-ups (ratios against them read 0)\n"
                    "  --benchmark_filter=REGEX      only the operations whose names match, e.g. chart_\n"
                    "Run under an X server with a D-Bus session, as scripts/dev.sh bench does.\n");
        return 0;
    }
    const QString startDir = QDir::currentPath();
    QString jsonPath = u"tsumotto-bench.json"_s;
    int rounds = 15;
    bool startUpsToo = true; // --operations-only leaves them out, to profile the operations
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]) == "--json" && i + 1 < argc)
            jsonPath = QString::fromLocal8Bit(argv[++i]);
        else if (std::string(argv[i]) == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (std::string(argv[i]) == "--operations-only")
            startUpsToo = false;
        else
            args.push_back(argv[i]);
    }

    Data data;
    g_data = &data;
    // Every clear keeps the old list in the trash: the benchmark's go to a trash of its own, never the user's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.root.path() + u"/data-home"_s));
    data.fullLedger = Encoded(Ledger(kFullLedger));
    data.items = Encoded(ItemList(kItems));
    data.fullItemList = Encoded(ItemList(kFullItems));
    data.full = MakeFolder(u"full"_s, data.fullLedger, data.items);
    data.one = MakeFolder(u"one"_s, Encoded(Ledger(1)), {});
    data.largest = MakeFolder(u"largest"_s, Encoded(LargestLedger(data.largestUtf16)), data.items);
    data.deposit = MakeFolder(u"deposit"_s, Encoded(Ledger(kFullLedger - kDepositRoom)),
                              Encoded(ItemList(kFullItems - kDepositRoom)));
    data.fullItems = MakeFolder(u"full-items"_s, Encoded(Ledger(1)), data.fullItemList);
    data.chart = MakeFolder(u"chart"_s, Encoded(Ledger(kFullLedger - kDepositRoom)), data.items);

    qputenv("DISPLAY", display);
    if (startUpsToo)
        std::printf("start-ups: %d interleaved rounds of five programs under the X server of DISPLAY=%s\n", rounds,
                    display.constData());
    const auto startUps = startUpsToo ? StartUps(rounds) : std::map<std::string, StartUpFigures>{};

    constexpr int kRepetitions = 9;
    auto repeat = [](benchmark::internal::Benchmark* b) {
        return b->Repetitions(kRepetitions)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    repeat(benchmark::RegisterBenchmark("floor_read", FloorRead));
    repeat(benchmark::RegisterBenchmark("floor_decode", FloorDecode));
    repeat(benchmark::RegisterBenchmark("floor_write_flush_rename", FloorWrite))->Iterations(5);
    repeat(benchmark::RegisterBenchmark("delete_first_deposit", DeleteDeposit, true))->Iterations(3);
    repeat(benchmark::RegisterBenchmark("delete_last_deposit", DeleteDeposit, false))->Iterations(3);
    repeat(benchmark::RegisterBenchmark("deposit_new_item_full", DepositNewItem))
        ->Iterations(kDepositRoom / kRepetitions - 1);
    repeat(benchmark::RegisterBenchmark("delete_first_item", DeleteFirstItem))->Iterations(3);
    repeat(benchmark::RegisterBenchmark("clear_ledger", ClearList, true))->Iterations(3);
    repeat(benchmark::RegisterBenchmark("clear_items", ClearList, false))->Iterations(3);
    repeat(benchmark::RegisterBenchmark("chart_open_full", ChartOpen))->Iterations(3);
    repeat(benchmark::RegisterBenchmark("chart_update_after_deposit", ChartUpdateAfterDeposit))
        ->Iterations(kDepositRoom / kRepetitions - 1);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    auto wall = [&](const char* name) { return reporter.medians[name].first; };
    auto figures = [&](const char* name) { return startUps.count(name) ? startUps.at(name) : StartUpFigures{}; };
    const StartUpFigures full = figures("startup_full");
    const StartUpFigures minimal = figures("minimal_full");
    const StartUpFigures one = figures("startup_one");
    const StartUpFigures bare = figures("bare_window");
    const StartUpFigures largest = figures("startup_largest");
    struct Ratio {
        const char* what;
        double value;
        double limit;
        bool below; // the value must stay below the limit rather than at most it
    };
    const std::vector<Ratio> ratios = {
        {"start-up, full files / minimal Qt program", full.wallMs / minimal.wallMs, 1.05, false},
        {"start-up, one deposit / bare Qt window", one.wallMs / bare.wallMs, 1.3, false},
        {"delete the first deposit / write-flush-rename",
         wall("delete_first_deposit") / wall("floor_write_flush_rename"), 2.0, false},
        {"delete the last deposit / write-flush-rename", wall("delete_last_deposit") / wall("floor_write_flush_rename"),
         2.0, false},
        {"deposit into the full ledger / full start-up", wall("deposit_new_item_full") / full.wallMs, 0.01, true},
        {"open the chart, full ledger / full start-up", wall("chart_open_full") / full.wallMs, 0.10, true},
        {"chart update after a deposit / full start-up", wall("chart_update_after_deposit") / full.wallMs, 0.01, true},
        {"start-up, largest ledger / full files", largest.wallMs / full.wallMs, 4.0, false},
        {"peak memory, largest ledger / its text in UTF-16", largest.peakKiB * 1024 / double(data.largestUtf16), 3.0,
         false},
        {"peak memory, full files / minimal Qt program", full.peakKiB / minimal.peakKiB, 1.2, false},
    };

    std::printf("\n%-34s %10s %10s %12s\n", "start-up to first paint (median)", "wall ms", "CPU ms", "peak KiB");
    QJsonObject json;
    QJsonObject startJson;
    for (const auto& [name, f] : startUps) {
        std::printf("%-34s %10.1f %10.1f %12.0f\n", name.c_str(), f.wallMs, f.cpuMs, f.peakKiB);
        startJson[QString::fromStdString(name)] =
            QJsonObject{{u"wall_ms"_s, f.wallMs}, {u"cpu_ms"_s, f.cpuMs}, {u"peak_kib"_s, f.peakKiB}};
    }
    std::printf("\n%-34s %10s %10s\n", "operation (median)", "wall ms", "CPU ms");
    QJsonObject opsJson;
    for (const std::string& name : reporter.order) {
        const auto [w, c] = reporter.medians[name];
        std::printf("%-34s %10.3f %10.3f\n", name.c_str(), w, c);
        opsJson[QString::fromStdString(name)] = QJsonObject{{u"wall_ms"_s, w}, {u"cpu_ms"_s, c}};
    }
    std::printf("largest ledger: %.1f MB in the file, %.1f MB of text in UTF-16\n",
                double(QFileInfo(data.largest + u"/テーマ１.txt"_s).size()) / 1e6, double(data.largestUtf16) / 1e6);
    std::printf("\n%-52s %10s %8s %s\n", "ratio", "value", "target", "");
    QJsonArray ratioJson;
    bool allMet = true;
    for (const Ratio& r : ratios) {
        const bool met = r.below ? r.value < r.limit : r.value <= r.limit;
        allMet = allMet && met;
        std::printf("%-52s %10.4f %8.3g %s\n", r.what, r.value, r.limit, met ? "met" : "NOT MET");
        ratioJson.append(QJsonObject{{u"ratio"_s, QString::fromUtf8(r.what)},
                                     {u"value"_s, r.value},
                                     {u"limit"_s, r.limit},
                                     {u"below"_s, r.below},
                                     {u"met"_s, met}});
    }
    json[u"startups"_s] = startJson;
    json[u"operations"_s] = opsJson;
    json[u"ratios"_s] = ratioJson;
    json[u"machine"_s] = QJsonObject{{u"cpu"_s, QSysInfo::currentCpuArchitecture()},
                                     {u"cores"_s, int(sysconf(_SC_NPROCESSORS_ONLN))},
                                     {u"os"_s, QSysInfo::prettyProductName()}};
    QDir::setCurrent(startDir);
    QFile out(QDir(startDir).absoluteFilePath(jsonPath));
    if (out.open(QIODevice::WriteOnly))
        out.write(QJsonDocument(json).toJson());
    std::printf("\nwritten to %s\n", qPrintable(QFileInfo(out).absoluteFilePath()));
    benchmark::Shutdown();
    return allMet ? 0 : 3;
}
