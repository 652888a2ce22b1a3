// The deposit date as the ledger writes it.
#include "records/date_text.h"

#include <cstdio>
#include <ctime>

namespace records {

CalendarDate TodayLocal() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string FormatLedgerDate(const CalendarDate& date) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d年%02d月%02d日", date.year, date.month, date.day);
    return buffer;
}

} // namespace records
