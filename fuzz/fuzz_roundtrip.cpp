// Whatever the program writes, it reads back identically: an item, an amount and a theme name made from
// the input are written as a deposit, an item, a rewrite and a theme name, exactly as the entry and the
// theme input do, and read back. Every text the entry's check accepts must be written; every text written
// must come back as itself, and so must every amount. The amount as a goal is written when it is above zero
// and reads back as itself, and is refused otherwise, leaving the goal file as it was; the item and the amount
// as a CSV line read back by RFC 4180's rules.
#include "records/cp932.h"
#include "records/csv_export.h"
#include "records/goal_file.h"
#include "records/money.h"
#include "records/record_file.h"
#include "scratch_dir.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace records;

namespace {

constexpr const char* kLedger = "テーマ１.txt";
constexpr const char* kItems = "項目１.txt";
constexpr const char* kTheme = "テーマ名１.txt";
constexpr const char* kGoal = "目標１.txt";

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// The one file's records, which must read whole.
std::vector<std::vector<FieldValue>> ReadBack(const char* name, std::span<const FieldKind> kinds) {
    std::vector<std::vector<FieldValue>> records;
    RecordFile file;
    Check(file.OpenForInput(name).ok());
    std::vector<FieldValue> values;
    while (!file.AtEnd()) {
        Check(file.ReadRecord(kinds, values).ok());
        records.push_back(values);
    }
    Check(file.Close().ok());
    return records;
}

// The fields of one CSV line, unquoted; empty when the line is not one record of quoted or bare fields ended
// by CR LF.
std::vector<std::string> CsvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == '"') {
            for (++i; i < line.size() && !(line[i] == '"' && (i + 1 >= line.size() || line[i + 1] != '"')); ++i)
                fields.back() += line[i] == '"' ? line[++i] : line[i];
            ++i; // the closing quote
        }
        for (; i < line.size() && line[i] != ',' && line[i] != '\r'; ++i)
            fields.back() += line[i];
        if (i < line.size() && line[i] == ',')
            fields.emplace_back();
        else if (line.substr(i) == "\r\n")
            return fields;
        else
            return {};
        ++i;
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    EnterScratchDirectory();
    FuzzedDataProvider input(data, size);
    // The boxes show, and the entry takes, typed text as it will be stored.
    const std::string item = StorableText(input.ConsumeRandomLengthString(70000));
    const std::string amountText = input.ConsumeRandomLengthString(64);
    const std::string theme = StorableText(input.ConsumeRemainingBytesAsString());
    for (const char* name : {kLedger, kItems, kTheme, kGoal})
        unlink(name);

    const auto amount = ParseMoney(amountText);
    const Currency value = amount.value_or(Currency::FromTenThousandths(12345));
    if (amount) // what the grid shows is what a rewrite stores
        Check(ParseMoney(FormatMoney(*amount)) == amount);

    // A deposit and a registration, appended.
    const bool itemFits = !TextFieldFault(item).has_value();
    const std::array<FieldValue, 3> deposit = {std::string("2026年12月07日"), item, value};
    const Status appended = AppendRecord(kLedger, deposit);
    Check(appended.ok() == itemFits);
    const std::array<FieldValue, 2> listed = {item, value};
    Check(AppendRecord(kItems, listed).ok() == itemFits);
    if (itemFits) {
        constexpr std::array ledgerKinds = {FieldKind::Text, FieldKind::Text, FieldKind::Money};
        constexpr std::array itemKinds = {FieldKind::Text, FieldKind::Money};
        Check(AppendRecord(kLedger, deposit).ok());
        const auto ledger = ReadBack(kLedger, ledgerKinds);
        Check(ledger.size() == 2 && ledger[0] == std::vector<FieldValue>(deposit.begin(), deposit.end()) &&
              ledger[1] == ledger[0]);
        const auto items = ReadBack(kItems, itemKinds);
        Check(items.size() == 1 && items[0] == std::vector<FieldValue>(listed.begin(), listed.end()));
        // A deletion's rewrite of what was read.
        RecordFile rewrite;
        Check(rewrite.OpenForOutput(kLedger).ok());
        Check(rewrite.WriteRecord(ledger[1]).ok());
        Check(rewrite.Close().ok());
        Check(ReadBack(kLedger, ledgerKinds) == std::vector<std::vector<FieldValue>>{ledger[1]});
    }

    // A theme name replaces its file whole.
    const bool themeFits = !TextFieldFault(theme).has_value();
    const std::array<FieldValue, 1> named = {theme};
    RecordFile file;
    Check(file.OpenForOutput(kTheme).ok());
    const Status written = file.WriteRecord(named);
    const Status closed = file.Close();
    Check((written.ok() && closed.ok()) == themeFits);
    if (themeFits) {
        constexpr std::array themeKinds = {FieldKind::Text};
        const auto back = ReadBack(kTheme, themeKinds);
        Check(back.size() == 1 && back[0] == std::vector<FieldValue>(named.begin(), named.end()));
    }

    // The amount as a goal, over a goal read before.
    const Currency earlier = Currency::FromYen(80000);
    FileIdentity read, goalWritten;
    Check(WriteGoalFile(kGoal, earlier, FileIdentity{}, read).ok());
    const Status goal = WriteGoalFile(kGoal, value, read, goalWritten);
    Check(goal.ok() == (value > Currency()));
    const GoalRead back = ReadGoalFile(kGoal);
    Check(back.status.ok() && back.goal == (goal.ok() ? value : earlier));

    // The item and the amount as a line of the CSV file.
    std::string line;
    AppendCsvLine(line, {item, item, value, value});
    const std::vector<std::string> fields = CsvFields(line);
    const bool guarded = !item.empty() && std::string_view("=+-@\t\r").find(item[0]) != std::string_view::npos;
    const std::string shown = guarded ? "'" + item : item;
    Check(fields == std::vector<std::string>{shown, shown, MoneyToText(value), MoneyToText(value)});
    return 0;
}
