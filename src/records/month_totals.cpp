// Months of the ledger and the outlook for a goal.
#include "records/month_totals.h"

#include <algorithm>
#include <climits>

namespace records {
namespace {

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysIn(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Reads one to `most` ASCII digits at `pos`; -1 when there are none or more.
int Number(std::string_view text, std::size_t& pos, std::size_t most) {
    int value = 0;
    std::size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (++digits > most)
            return -1;
        value = value * 10 + (text[pos++] - '0');
    }
    return digits == 0 ? -1 : value;
}

bool Literal(std::string_view text, std::size_t& pos, std::string_view literal) {
    if (text.substr(pos, literal.size()) != literal)
        return false;
    pos += literal.size();
    return true;
}

constexpr WideMoney kScale = Currency::kScale;

bool InMoneyRange(WideMoney amount) {
    return amount >= WideMoney(INT64_MIN) && amount <= WideMoney(INT64_MAX);
}

// Digits of a magnitude of whole yen, grouped by three when asked.
std::string WideDigits(WideMoney magnitude, bool grouped) {
    std::string digits;
    int count = 0;
    do {
        if (grouped && count > 0 && count % 3 == 0)
            digits += ',';
        digits += static_cast<char>('0' + static_cast<int>(magnitude % 10));
        magnitude /= 10;
        ++count;
    } while (magnitude > 0);
    std::reverse(digits.begin(), digits.end());
    return digits;
}

std::string WideText(WideMoney amount, bool display) {
    const WideMoney magnitude = amount < 0 ? -amount : amount;
    std::string out = amount < 0 ? "-" : "";
    if (display)
        out += "\u00A5";
    out += WideDigits(magnitude / kScale, display);
    if (int fraction = static_cast<int>(magnitude % kScale); fraction != 0) {
        std::string digits = std::to_string(fraction + 10000).substr(1);
        while (digits.back() == '0')
            digits.pop_back();
        out += '.' + digits;
    }
    return out;
}

} // namespace

std::optional<MonthKey> LedgerMonth(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    std::size_t pos = 0;
    const std::size_t yearStart = pos;
    const int year = Number(text, pos, 4);
    if (year < 0 || pos - yearStart != 4 || !Literal(text, pos, "年"))
        return std::nullopt;
    const int month = Number(text, pos, 2);
    if (month < 1 || month > 12 || !Literal(text, pos, "月"))
        return std::nullopt;
    const int day = Number(text, pos, 2);
    if (day < 1 || !Literal(text, pos, "日") || pos != text.size())
        return std::nullopt;
    if (year < 1000 || day > DaysIn(year, month))
        return std::nullopt;
    return MonthOf(year, month);
}

std::string FormatWideMoney(WideMoney amount) {
    if (InMoneyRange(amount))
        return FormatMoney(Currency::FromTenThousandths(static_cast<std::int64_t>(amount)));
    return WideText(amount, true);
}

std::string WideMoneyToText(WideMoney amount) {
    if (InMoneyRange(amount))
        return MoneyToText(Currency::FromTenThousandths(static_cast<std::int64_t>(amount)));
    return WideText(amount, false);
}

void MonthTotals::rebuild(std::size_t rows, const std::function<Dated(std::size_t)>& rowAt) {
    m_months.clear();
    m_undated = 0;
    m_undatedSum = 0;
    m_lastDate.clear();
    m_lastKey.reset();
    // The months first, from the earliest to the latest, so that none is ever put in front of the others.
    struct Keyed {
        MonthKey key;
        Currency amount;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(rows);
    MonthKey first = INT_MAX, last = INT_MIN;
    for (std::size_t i = 0; i < rows; ++i) {
        const Dated row = rowAt(i);
        if (row.date != m_lastDate) {
            m_lastDate.assign(row.date);
            m_lastKey = LedgerMonth(row.date);
        }
        if (!m_lastKey) {
            ++m_undated;
            m_undatedSum += row.amount.tenThousandths();
            continue;
        }
        keyed.push_back({*m_lastKey, row.amount});
        first = std::min(first, *m_lastKey);
        last = std::max(last, *m_lastKey);
    }
    if (!keyed.empty()) {
        m_months.resize(static_cast<std::size_t>(last - first + 1));
        for (std::size_t i = 0; i < m_months.size(); ++i)
            m_months[i].key = first + static_cast<MonthKey>(i);
        for (const Keyed& k : keyed) {
            MonthTotal& month = m_months[static_cast<std::size_t>(k.key - first)];
            ++month.count;
            month.sum += k.amount.tenThousandths();
        }
    }
    m_staleFrom = 0;
    m_moved = true;
    m_changedFrom = 0;
}

void MonthTotals::append(std::string_view date, Currency amount) {
    if (date != m_lastDate) {
        m_lastDate.assign(date);
        m_lastKey = LedgerMonth(date);
    }
    if (!m_lastKey) {
        ++m_undated;
        m_undatedSum += amount.tenThousandths();
        return;
    }
    add(*m_lastKey, amount);
}

void MonthTotals::add(MonthKey key, Currency amount) {
    if (m_months.empty()) {
        m_months.push_back({key});
    } else if (key < m_months.front().key) {
        std::vector<MonthTotal> before(static_cast<std::size_t>(m_months.front().key - key));
        for (std::size_t i = 0; i < before.size(); ++i)
            before[i].key = key + static_cast<MonthKey>(i);
        m_months.insert(m_months.begin(), before.begin(), before.end());
        m_moved = true;
        m_staleFrom = 0;
    }
    extendTo(key);
    const std::size_t index = static_cast<std::size_t>(key - m_months.front().key);
    ++m_months[index].count;
    m_months[index].sum += amount.tenThousandths();
    touched(index);
}

void MonthTotals::touched(std::size_t index) {
    m_staleFrom = std::min(m_staleFrom, index);
    m_changedFrom = std::min(m_changedFrom, index);
}

void MonthTotals::extendTo(MonthKey key) {
    if (m_months.empty() || key <= m_months.back().key)
        return;
    m_staleFrom = std::min(m_staleFrom, m_months.size());
    for (MonthKey next = m_months.back().key + 1; next <= key; ++next)
        m_months.push_back({next});
}

const std::vector<MonthTotal>& MonthTotals::months() const {
    WideMoney total = m_staleFrom > 0 && m_staleFrom <= m_months.size() ? m_months[m_staleFrom - 1].total : 0;
    for (std::size_t i = m_staleFrom; i < m_months.size(); ++i) {
        total += m_months[i].sum;
        m_months[i].total = total;
    }
    m_staleFrom = m_months.size();
    return m_months;
}

int MonthTotals::indexOf(MonthKey key) const {
    if (m_months.empty() || key < m_months.front().key || key > m_months.back().key)
        return -1;
    return key - m_months.front().key;
}

bool MonthTotals::takeChanges(int& changedFrom) {
    const bool kept = !m_moved;
    changedFrom = static_cast<int>(std::min(m_changedFrom, m_months.size()));
    m_moved = false;
    m_changedFrom = SIZE_MAX;
    return kept;
}

GoalOutlook OutlookFor(const std::vector<MonthTotal>& months, std::optional<Currency> goal, Currency total) {
    GoalOutlook outlook;
    if (!goal)
        return outlook;
    const WideMoney target = goal->tenThousandths();
    const WideMoney now = total.tenThousandths();
    if (now >= target) {
        outlook.kind = GoalOutlook::Kind::Reached;
        const auto reached =
            std::find_if(months.begin(), months.end(), [target](const MonthTotal& m) { return m.total >= target; });
        if (reached != months.end())
            outlook.month = reached->key;
        return outlook;
    }
    if (months.empty()) {
        outlook.kind = GoalOutlook::Kind::NoMonths;
        return outlook;
    }
    WideMoney lastThree = 0;
    for (std::size_t i = months.size() - std::min<std::size_t>(3, months.size()); i < months.size(); ++i)
        lastThree += months[i].sum;
    if (lastThree <= 0) {
        outlook.kind = GoalOutlook::Kind::NoPace;
        return outlook;
    }
    outlook.pacePerMonth = lastThree / 3;
    // Months to go, each adding a third of the last three: 3 * (goal - total) / lastThree, rounded up.
    const WideMoney needed = (3 * (target - now) + lastThree - 1) / lastThree;
    constexpr WideMoney kCentury = 1200;
    if (needed > kCentury) {
        outlook.kind = GoalOutlook::Kind::TooFar;
        return outlook;
    }
    outlook.kind = GoalOutlook::Kind::ByMonth;
    outlook.month = months.back().key + static_cast<MonthKey>(needed);
    return outlook;
}

} // namespace records
