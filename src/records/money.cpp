// Money arithmetic and the amount texts: typed, display, plain and file forms.
#include "records/money.h"

#include "records/utf8.h"

#include <vector>

namespace records {
namespace {

constexpr std::uint64_t kMaxPositive = static_cast<std::uint64_t>(INT64_MAX);
constexpr std::uint64_t kMaxNegative = kMaxPositive + 1;
constexpr int kFractionDigits = Currency::kFractionDigits;

// Typed text may carry full-width forms and any of the three yen signs; each character is reduced to
// the one ASCII token the grammar below knows ('Y' for a yen sign), or 0 for anything else.
char TokenOf(char32_t cp) {
    if (cp >= U'0' && cp <= U'9')
        return static_cast<char>(cp);
    if (cp >= U'\uFF10' && cp <= U'\uFF19')
        return static_cast<char>(U'0' + (cp - U'\uFF10'));
    switch (cp) {
    case U'+':
    case U'\uFF0B':
        return '+';
    case U'-':
    case U'\uFF0D':
    case U'\u2212':
        return '-';
    case U',':
    case U'\uFF0C':
        return ',';
    case U'.':
    case U'\uFF0E':
        return '.';
    case U' ':
    case U'\t':
    case U'\u3000':
        return ' ';
    case U'\u00A5':
    case U'\\':
    case U'\uFFE5':
        return 'Y';
    case U'円':
        return 'E';
    default:
        return 0;
    }
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Folds a magnitude and a sign into a Currency, refusing what lies outside the range.
std::optional<Currency> Signed(std::uint64_t magnitude, bool negative) {
    if (negative) {
        if (magnitude > kMaxNegative)
            return std::nullopt;
        return Currency::FromTenThousandths(static_cast<std::int64_t>(0 - magnitude));
    }
    if (magnitude > kMaxPositive)
        return std::nullopt;
    return Currency::FromTenThousandths(static_cast<std::int64_t>(magnitude));
}

// Accumulates digits into a magnitude in ten-thousandths; false once it cannot be an amount.
class Magnitude {
public:
    bool addIntegerDigit(char d) {
        if (m_integer > (kMaxNegative / Currency::kScale))
            return false;
        m_integer = m_integer * 10 + static_cast<std::uint64_t>(d - '0');
        return true;
    }
    bool addFractionDigit(char d) {
        if (m_fractionDigits == kFractionDigits)
            return false;
        m_fraction = m_fraction * 10 + static_cast<std::uint64_t>(d - '0');
        ++m_fractionDigits;
        return true;
    }
    std::optional<std::uint64_t> value() const {
        std::uint64_t fraction = m_fraction;
        for (int i = m_fractionDigits; i < kFractionDigits; ++i)
            fraction *= 10;
        if (m_integer > (kMaxNegative - fraction) / Currency::kScale)
            return std::nullopt;
        return m_integer * Currency::kScale + fraction;
    }

private:
    std::uint64_t m_integer = 0;
    std::uint64_t m_fraction = 0;
    int m_fractionDigits = 0;
};

// spaces [sign] [yen] [sign] digits-and-grouping ["." digits] spaces [円 spaces], one sign at most, at least one
// digit, and a yen sign or 円, not both.
std::optional<Currency> ParseTokens(const std::vector<char>& t, bool allowLocaleForms,
                                    MoneyTextFault* fault = nullptr) {
    MoneyTextFault found = MoneyTextFault::None;
    const auto report = [&](MoneyTextFault f) {
        if (fault)
            *fault = f;
        return std::nullopt;
    };
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return k < t.size() ? t[k] : '\0'; };
    while (at(i) == ' ')
        ++i;
    bool negative = false;
    bool signSeen = false;
    const auto takeSign = [&] {
        if (!signSeen && (at(i) == '+' || at(i) == '-')) {
            negative = at(i) == '-';
            signSeen = true;
            ++i;
        }
    };
    takeSign();
    const bool yenSign = allowLocaleForms && at(i) == 'Y';
    if (yenSign) {
        ++i;
        takeSign();
    }
    Magnitude magnitude;
    int digits = 0;
    while (IsDigit(at(i)) || (allowLocaleForms && at(i) == ',' && i > 0 && IsDigit(at(i - 1)) && IsDigit(at(i + 1)))) {
        if (at(i) != ',') {
            if (!magnitude.addIntegerDigit(at(i)) && found == MoneyTextFault::None)
                found = MoneyTextFault::OutOfRange;
            ++digits;
        }
        ++i;
    }
    if (at(i) == '.') {
        ++i;
        while (IsDigit(at(i))) {
            if (!magnitude.addFractionDigit(at(i)) && found == MoneyTextFault::None)
                found = MoneyTextFault::TooManyFractionDigits;
            ++digits;
            ++i;
        }
    }
    while (at(i) == ' ')
        ++i;
    if (allowLocaleForms && !yenSign && digits > 0 && at(i) == 'E') { // 690円
        ++i;
        while (at(i) == ' ')
            ++i;
    }
    if (digits == 0 || i != t.size())
        return report(MoneyTextFault::NotAnAmount);
    if (found != MoneyTextFault::None)
        return report(found);
    const auto value = magnitude.value();
    const auto amount = value ? Signed(*value, negative) : std::nullopt;
    if (!amount)
        return report(MoneyTextFault::OutOfRange);
    return amount;
}

std::string Digits(std::uint64_t n) {
    return std::to_string(n);
}

std::string Grouped(std::uint64_t n) {
    const std::string plain = Digits(n);
    std::string out;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (i > 0 && (plain.size() - i) % 3 == 0)
            out += ',';
        out += plain[i];
    }
    return out;
}

std::uint64_t MagnitudeOf(Currency amount) {
    const std::int64_t v = amount.tenThousandths();
    return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

// "." and the fraction digits without trailing zeros, or nothing for a whole amount.
std::string FractionText(std::uint64_t magnitude) {
    std::uint64_t fraction = magnitude % Currency::kScale;
    if (fraction == 0)
        return {};
    std::string digits = Digits(fraction);
    digits.insert(0, kFractionDigits - digits.size(), '0');
    while (digits.back() == '0')
        digits.pop_back();
    return "." + digits;
}

} // namespace

std::optional<Currency> AddMoney(Currency a, Currency b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a.tenThousandths(), b.tenThousandths(), &sum))
        return std::nullopt;
    return Currency::FromTenThousandths(sum);
}

namespace {

std::optional<Currency> ParseTyped(std::string_view text, MoneyTextFault* fault) {
    std::vector<char> tokens;
    tokens.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const char token = TokenOf(NextCodePoint(text, pos));
        if (token == 0) {
            if (fault)
                *fault = MoneyTextFault::NotAnAmount;
            return std::nullopt;
        }
        tokens.push_back(token);
    }
    return ParseTokens(tokens, true, fault);
}

} // namespace

std::optional<Currency> ParseMoney(std::string_view text) {
    return ParseTyped(text, nullptr);
}

MoneyTextFault CheckMoneyText(std::string_view text) {
    MoneyTextFault fault = MoneyTextFault::None;
    ParseTyped(text, &fault);
    return fault;
}

bool IsMoneyText(std::string_view text) {
    return ParseMoney(text).has_value();
}

std::string FormatMoney(Currency amount) {
    const std::uint64_t magnitude = MagnitudeOf(amount);
    std::string out = amount.tenThousandths() < 0 ? "-" : "";
    out += "\u00A5";
    out += Grouped(magnitude / Currency::kScale);
    out += FractionText(magnitude);
    return out;
}

std::string MoneyToText(Currency amount) {
    const std::uint64_t magnitude = MagnitudeOf(amount);
    std::string out = amount.tenThousandths() < 0 ? "-" : "";
    out += Digits(magnitude / Currency::kScale);
    out += FractionText(magnitude);
    return out;
}

std::optional<Currency> ParseMoneyField(std::string_view text) {
    std::vector<char> tokens;
    tokens.reserve(text.size());
    for (const char c : text) {
        if (IsDigit(c) || c == '+' || c == '-' || c == '.')
            tokens.push_back(c);
        else if (c == ' ' || c == '\t')
            tokens.push_back(' ');
        else
            return std::nullopt;
    }
    return ParseTokens(tokens, false);
}

std::string GroupedDigits(std::uint64_t n) {
    return Grouped(n);
}

} // namespace records
