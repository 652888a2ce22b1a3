// The ledger month by month against sums worked out by hand, and the month a goal is reached at the pace of
// the last three months.
#include "records/month_totals.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

using records::Currency;
using records::MonthTotals;

namespace {

struct Deposit {
    std::string date;
    const char* amount;
};

Currency Money(const char* text) {
    return records::ParseMoney(text).value();
}

// year * 100 + month, as the cases spell a month.
int YearMonth(records::MonthKey key) {
    return records::YearOfMonth(key) * 100 + records::MonthOfYear(key);
}

// "2026-11 2 ¥15.5 ¥15.5" for each month, one to a line.
std::vector<std::string> Shown(const MonthTotals& totals) {
    std::vector<std::string> lines;
    for (const records::MonthTotal& m : totals.months()) {
        char head[32];
        std::snprintf(head, sizeof head, "%d-%02d %d ", records::YearOfMonth(m.key), records::MonthOfYear(m.key),
                      m.count);
        lines.push_back(head + records::FormatWideMoney(m.sum) + ' ' + records::FormatWideMoney(m.total));
    }
    return lines;
}

MonthTotals Rebuilt(const std::vector<Deposit>& ledger) {
    MonthTotals totals;
    totals.rebuild(ledger.size(), [&ledger](std::size_t i) {
        return MonthTotals::Dated{ledger[i].date, Money(ledger[i].amount)};
    });
    return totals;
}

} // namespace

TEST(Months, LedgerMonth) {
    struct Case {
        const char* name;
        std::string text;
        int month; // year * 100 + month; 0: not a date
    };
    const Case cases[] = {
        {"as written", "2026年12月07日", 202612},
        {"one digit", "2026年1月5日", 202601},
        {"blanks around", " 2024年02月29日\t", 202402},
        {"no such day", "2026年02月29日", 0},
        {"day 32", "2026年12月32日", 0},
        {"month 13", "2026年13月01日", 0},
        {"slashes", "2026/12/07", 0},
        {"full-width digits", "２０２６年12月07日", 0},
        {"three-digit year", "999年12月07日", 0},
        {"text after", "2026年12月07日頃", 0},
        {"empty", "", 0},
    };
    for (const Case& c : cases) {
        const auto key = records::LedgerMonth(c.text);
        EXPECT_EQ(key ? YearMonth(*key) : 0, c.month) << c.name;
    }
}

// Rebuilt at once, or deposit by deposit as a running window adds them: the same months.
TEST(Months, Months) {
    struct Case {
        const char* name;
        std::vector<Deposit> ledger;
        std::vector<std::string> expected;
        int undated;
    };
    const Case cases[] = {
        {"empty", {}, {}, 0},
        {"fractions of a yen",
         {{"2026年11月30日", "12.5"}, {"2026年11月01日", "3.0001"}, {"2026年12月07日", "0.4999"}},
         {"2026-11 2 ¥15.5001 ¥15.5001", "2026-12 1 ¥0.4999 ¥16"},
         0},
        {"negative amounts",
         {{"2026年10月01日", "500"}, {"2026年10月02日", "-800"}, {"2026年12月01日", "-30"}},
         {"2026-10 2 -¥300 -¥300", "2026-11 0 ¥0 -¥300", "2026-12 1 -¥30 -¥330"},
         0},
        {"dates out of order",
         {{"2026年03月01日", "100"}, {"2025年12月31日", "50"}, {"2026年01月15日", "25"}},
         {"2025-12 1 ¥50 ¥50", "2026-01 1 ¥25 ¥75", "2026-02 0 ¥0 ¥75", "2026-03 1 ¥100 ¥175"},
         0},
        {"unparsable dates left out",
         {{"2026年12月01日", "100"}, {"きのう", "999"}, {"2026/12/02", "1"}, {"2026年12月02日", "5"}},
         {"2026-12 2 ¥105 ¥105"},
         2},
        {"beyond the money range",
         {{"2026年01月01日", "922337203685477"},
          {"2026年03月01日", "-922337203685477"},
          {"2026年02月01日", "922337203685477"}},
         {"2026-01 1 ¥922,337,203,685,477 ¥922,337,203,685,477",
          "2026-02 1 ¥922,337,203,685,477 ¥1,844,674,407,370,954",
          "2026-03 1 -¥922,337,203,685,477 ¥922,337,203,685,477"},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MonthTotals rebuilt = Rebuilt(c.ledger);
        EXPECT_EQ(Shown(rebuilt), c.expected);
        EXPECT_EQ(rebuilt.undatedCount(), c.undated);
        MonthTotals appended;
        for (const Deposit& d : c.ledger)
            appended.append(d.date, Money(d.amount));
        EXPECT_EQ(Shown(appended), c.expected);
        EXPECT_EQ(appended.undatedCount(), c.undated);
    }
}

// 32,766 deposits over two years, a seventh of a yen apart: each month's count and sum follow from the formula.
TEST(Months, FullLedger) {
    std::vector<Deposit> ledger;
    static const char* const amounts[] = {"1", "2.5", "-3", "4.0001", "500", "0.25", "70"};
    for (int i = 0; i < 32766; ++i) {
        char date[32];
        std::snprintf(date, sizeof date, "%04d年%02d月%02d日", 2025 + (i % 24) / 12, 1 + i % 12, 1 + i % 28);
        ledger.push_back({i % 1000 == 999 ? std::string("日付なし") : std::string(date), amounts[i % 7]});
    }
    const MonthTotals totals = Rebuilt(ledger);
    ASSERT_EQ(totals.months().size(), std::size_t(24));
    EXPECT_EQ(totals.undatedCount(), 32);
    records::WideMoney running = 0;
    for (int m = 0; m < 24; ++m) {
        int count = 0;
        records::WideMoney sum = 0;
        for (int i = m; i < 32766; i += 24)
            if (i % 1000 != 999) {
                ++count;
                sum += Money(amounts[i % 7]).tenThousandths();
            }
        running += sum;
        const records::MonthTotal& month = totals.months()[std::size_t(m)];
        EXPECT_EQ(month.key, records::MonthOf(2025 + m / 12, 1 + m % 12)) << "month " << m;
        EXPECT_EQ(month.count, count) << "month " << m;
        EXPECT_TRUE(month.sum == sum && month.total == running)
            << "month " << m << ": " << records::WideMoneyToText(month.sum) << ' '
            << records::WideMoneyToText(month.total);
    }
}

TEST(Months, Outlook) {
    using Kind = records::GoalOutlook::Kind;
    struct Case {
        const char* name;
        std::vector<Deposit> ledger;
        std::string goal; // empty: none
        const char* total;
        Kind kind;
        int month; // year * 100 + month; 0: none
    };
    const std::vector<Deposit> steady = {
        {"2026年10月05日", "3000"}, {"2026年11月05日", "3000"}, {"2026年12月05日", "3000"}};
    const Case cases[] = {
        {"no goal", steady, "", "9000", Kind::NoGoal, 0},
        {"reached in November", steady, "6000", "9000", Kind::Reached, 202611},
        {"reached by undated deposits", steady, "9500", "9600", Kind::Reached, 0},
        {"next month", steady, "12000", "9000", Kind::ByMonth, 202701},
        {"in March", steady, "80000", "71000", Kind::ByMonth, 202703},
        {"one month to go by", {{"2026年12月01日", "3000"}}, "5000", "3000", Kind::ByMonth, 202702},
        {"nothing dated", {}, "5000", "100", Kind::NoMonths, 0},
        {"no pace",
         {{"2026年08月01日", "5000"}, {"2026年10月01日", "-10"}, {"2026年12月01日", "10"}},
         "9000",
         "5000",
         Kind::NoPace,
         0},
        {"a century away", {{"2026年12月01日", "3"}}, "5000", "3", Kind::TooFar, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MonthTotals totals = Rebuilt(c.ledger);
        std::optional<Currency> target;
        if (!c.goal.empty())
            target = Money(c.goal.c_str());
        const records::GoalOutlook outlook = records::OutlookFor(totals.months(), target, Money(c.total));
        EXPECT_EQ(int(outlook.kind), int(c.kind));
        EXPECT_EQ(outlook.month >= 0 ? YearMonth(outlook.month) : 0, c.month);
    }
}
