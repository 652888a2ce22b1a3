// Money as the program keeps it, and the texts amounts appear in: the display text of the grids,
// the plain text of the amount box, the typed text the user enters and the money field of the files.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace records {

// A signed count of ten-thousandths of a yen. Exact addition is the only arithmetic.
class Currency {
public:
    // Four fraction digits, as the Currency type of the program the files come from keeps them.
    static constexpr int kFractionDigits = 4;
    static constexpr std::int64_t kScale = 10000; // 10 to the kFractionDigits

    constexpr Currency() = default;
    static constexpr Currency FromTenThousandths(std::int64_t v) {
        Currency c;
        c.m_value = v;
        return c;
    }
    static constexpr Currency FromYen(std::int64_t yen) { return FromTenThousandths(yen * kScale); }
    static constexpr Currency Max() { return FromTenThousandths(INT64_MAX); }
    static constexpr Currency Min() { return FromTenThousandths(INT64_MIN); }

    constexpr std::int64_t tenThousandths() const { return m_value; }

    friend constexpr bool operator==(Currency, Currency) = default;
    friend constexpr auto operator<=>(Currency, Currency) = default;

private:
    std::int64_t m_value = 0;
};

// The exact sum, or nothing when it leaves the range.
std::optional<Currency> AddMoney(Currency a, Currency b);

// Any amount text: typed text (full-width forms, a yen sign before or 円 after, grouping, blanks around),
// display text, plain text.
// Nothing for text that is not an amount, has more than four fraction digits or lies outside the range.
std::optional<Currency> ParseMoney(std::string_view text);

// Why typed text is not an amount: not a number at all, or a number the program cannot keep.
enum class MoneyTextFault { None, NotAnAmount, TooManyFractionDigits, OutOfRange };
MoneyTextFault CheckMoneyText(std::string_view text);

// The test applied to typed amount text: true exactly when ParseMoney succeeds.
bool IsMoneyText(std::string_view text);

// Display text: "-" for a negative amount, the yen sign U+00A5, the digits grouped by three with ",",
// and a fraction only when there is one ("." and up to four digits, no trailing zeros).
std::string FormatMoney(Currency amount);

// Digits grouped by three with ",", as display text groups the yen: 32766 gives "32,766".
std::string GroupedDigits(std::uint64_t n);

// Plain text, as in the amount box and the money field of a record: "-", digits without grouping,
// "." and the fraction only when there is one.
std::string MoneyToText(Currency amount);

// The money field of a record line: blanks around, an optional sign, digits, "." and up to four
// fraction digits; a leading 0 before the point may be missing. Nothing for anything else.
std::optional<Currency> ParseMoneyField(std::string_view text);

} // namespace records
