// The deposit date as the ledger writes it, and today's date.
#include "records/date_text.h"

#include <gtest/gtest.h>

TEST(DateText, LedgerDateKeepsLeadingZeros) {
    EXPECT_EQ(records::FormatLedgerDate({2009, 1, 1}), "2009年01月01日");
    EXPECT_EQ(records::FormatLedgerDate({2008, 5, 10}), "2008年05月10日");
    EXPECT_EQ(records::FormatLedgerDate({2026, 12, 31}), "2026年12月31日");
    const auto today = records::TodayLocal();
    EXPECT_TRUE(today.year >= 2024 && today.month >= 1 && today.month <= 12 && today.day >= 1 && today.day <= 31);
}
