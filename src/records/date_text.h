// The deposit date as the ledger writes it: "YYYY年MM月DD日".
#pragma once

#include <string>

namespace records {

struct CalendarDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// The local calendar date now.
CalendarDate TodayLocal();

// Four-digit year, two-digit month and day, always with leading zeros: 2009年01月01日.
std::string FormatLedgerDate(const CalendarDate& date);

} // namespace records
