// The ledger month by month, for the chart of the savings: each month's number of deposits, their sum and
// the running total at its end, and the month a goal would be reached at the pace of the last three months.
#pragma once

#include "records/money.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace records {

// A calendar month as one number: year * 12 + month - 1, so that the next month is one more.
using MonthKey = int;
constexpr MonthKey MonthOf(int year, int month) {
    return year * 12 + month - 1;
}
constexpr int YearOfMonth(MonthKey key) {
    return key / 12;
}
constexpr int MonthOfYear(MonthKey key) {
    return key % 12 + 1;
}

// The month of a ledger date text, "YYYY年MM月DD日" (blanks around, and a month or day of one digit, as a hand
// edit may leave them), for a day the calendar has in the years 1000 to 9999; nothing for any other text.
std::optional<MonthKey> LedgerMonth(std::string_view dateText);

// Sums of months, wider than Currency: months add up in another order than the ledger's, and without its
// undated rows, so they can pass the money range where no running total of the ledger does.
__extension__ typedef __int128 WideMoney;

// The display text of a wide sum, as FormatMoney gives it; beyond the money range, its digits grouped all
// the same.
std::string FormatWideMoney(WideMoney amount);
// The plain text of a wide sum, as MoneyToText gives it.
std::string WideMoneyToText(WideMoney amount);

struct MonthTotal {
    MonthKey key = 0;
    int count = 0;       // deposits dated in this month
    WideMoney sum = 0;   // their amounts
    WideMoney total = 0; // of this month and every month before it
};

class MonthTotals {
public:
    struct Dated {
        std::string_view date;
        Currency amount;
    };

    // Every deposit again: rows 0 to rows - 1, each asked for once.
    void rebuild(std::size_t rows, const std::function<Dated(std::size_t)>& rowAt);
    // One more deposit, as a deposit adds it.
    void append(std::string_view date, Currency amount);
    // The months shown run at least up to this one (today's), with nothing deposited in those after the last.
    void extendTo(MonthKey key);

    // Every month from the first with a dated deposit to the last, none left out, with running totals.
    const std::vector<MonthTotal>& months() const;
    // The index of a month, or -1.
    int indexOf(MonthKey key) const;
    // Deposits whose date could not be read (a hand-edited file), and their sum: left out of the months.
    int undatedCount() const { return m_undated; }
    WideMoney undatedSum() const { return m_undatedSum; }

    // What changed since the last call, for a view of the months: the months before `kept` are the same
    // months as before (their values may have changed from `changedFrom` on); false when the months moved
    // (a month came in front), and a view must take them all again.
    bool takeChanges(int& changedFrom);

private:
    void add(MonthKey key, Currency amount);
    void touched(std::size_t index);

    mutable std::vector<MonthTotal> m_months;
    mutable std::size_t m_staleFrom = 0; // running totals from this month on are to be added up again
    std::size_t m_changedFrom = SIZE_MAX;
    bool m_moved = true;
    int m_undated = 0;
    WideMoney m_undatedSum = 0;
    // The date text read last and its month: neighbouring deposits share their dates.
    std::string m_lastDate;
    std::optional<MonthKey> m_lastKey;
};

// When the goal is reached, or would be, at the pace of the last three months.
struct GoalOutlook {
    enum class Kind {
        NoGoal,   // there is no goal
        Reached,  // total is at the goal or past it; `month` is when the months first reached it, or -1
        NoMonths, // nothing dated to go by
        NoPace,   // the last three months together added nothing, or took away
        TooFar,   // more than a hundred years away
        ByMonth,  // in `month`
    };
    Kind kind = Kind::NoGoal;
    MonthKey month = -1;
    WideMoney pacePerMonth = 0; // the last three months' sum divided by three, for ByMonth and TooFar
};

// `total` is the ledger's total (its undated deposits included); the pace is the sum of the last three months
// shown (months before the first count as nothing), a third of it for each month to come after the last.
GoalOutlook OutlookFor(const std::vector<MonthTotal>& months, std::optional<Currency> goal, Currency total);

} // namespace records
