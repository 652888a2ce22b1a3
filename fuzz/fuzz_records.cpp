// The record reader on arbitrary bytes: any file either reads, or reads up to a cut-off last line, or is
// refused with a line; never a crash. The same bytes as a goal file are a goal above zero or refused with a line,
// and every date text read is a month or none.
#include "records/goal_file.h"
#include "records/month_totals.h"
#include "records/record_file.h"
#include "scratch_dir.h"

#include <array>
#include <cstdio>

using namespace records;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    EnterScratchDirectory();
    for (const char* name : {"テーマ１.txt", "目標１.txt"})
        if (std::FILE* f = std::fopen(name, "wb")) {
            std::fwrite(data, 1, size, f);
            std::fclose(f);
        }
    const GoalRead goal = ReadGoalFile("目標１.txt");
    if (goal.status ? goal.goal && *goal.goal <= Currency()
                    : goal.goal || (goal.status.code() == Status::Code::Damaged && goal.status.line() < 1))
        std::abort();
    // The kinds of the three files, chosen by the first byte.
    static const std::array<FieldKind, 3> ledger = {FieldKind::Text, FieldKind::Text, FieldKind::Money};
    const std::span<const FieldKind> kinds(ledger.data(), size > 0 ? 1 + data[0] % 3 : 3);
    RecordFile file;
    if (!file.OpenForInput("テーマ１.TXT"))
        return 0;
    std::vector<FieldValue> values;
    for (int records = 0; !file.AtEnd() && records < 100000; ++records) {
        const Status status = file.ReadRecord(kinds, values);
        if (status.code() == Status::Code::Torn) {
            // The remains of a cut-off write are reported once, with their line, and end the file.
            if (status.line() < 1 || !file.AtEnd())
                std::abort();
            break;
        }
        if (!status) {
            if (status.code() != Status::Code::Damaged || status.line() < 1)
                std::abort(); // a damaged file is always reported with its line
            break;
        }
        if (values.size() != kinds.size())
            std::abort();
        if (const auto month = LedgerMonth(std::get<std::string>(values[0]));
            month && (YearOfMonth(*month) < 1000 || MonthOfYear(*month) < 1 || MonthOfYear(*month) > 12))
            std::abort();
    }
    (void)file.Close();
    return 0;
}
