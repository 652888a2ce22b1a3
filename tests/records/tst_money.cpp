// Amount texts: typed, display, plain and file forms, and exact, checked addition.
#include "records/money.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

using records::Currency;

namespace {

Currency Units(std::int64_t v) {
    return Currency::FromTenThousandths(v);
}

struct Parsed {
    const char* name;
    const char* text;
    std::int64_t units;
};

const Parsed kParsed[] = {
    {"plain", "690", 6900000},
    {"fraction", "12.5", 125000},
    {"four fraction digits", "0.0001", 1},
    {"negative", "-30", -300000},
    {"plus sign", "+30", 300000},
    {"zero", "0", 0},
    {"leading point", ".5", 5000},
    {"trailing point", "5.", 50000},
    {"blanks around", "  690 ", 6900000},
    {"full-width blanks", "\u3000690\u3000", 6900000},
    {"display text", "\u00A5690", 6900000},
    {"display grouped", "\u00A51,234,567.89", 12345678900},
    {"display negative", "-\u00A530", -300000},
    {"sign after yen", "\u00A5-30", -300000},
    {"backslash yen", "\\230", 2300000},
    {"full-width yen", "\uFFE5230", 2300000},
    {"full-width digits", "\uFF16\uFF19\uFF10", 6900000},
    {"full-width sign comma point", "\uFF0D1\uFF0C000\uFF0E5", -10005000},
    {"largest", "922337203685477.5807", std::numeric_limits<std::int64_t>::max()},
    {"smallest", "-922337203685477.5808", std::numeric_limits<std::int64_t>::min()},
    {"leading zeros", "000000000000000000000012", 120000},
    {"yen written after", "690円", 6900000},
    {"full-width with 円", "１，２００円", 12000000},
    {"円 after blanks and a fraction", " -12.5 円 ", -125000},
};

struct Rejected {
    const char* name;
    const char* text;
};

const Rejected kRejected[] = {
    {"empty", ""},
    {"blanks only", "   "},
    {"letters", "abc"},
    {"digits and letters", "12a"},
    {"sign only", "-"},
    {"two signs", "--5"},
    {"yen only", "\u00A5"},
    {"two yen signs", "\u00A5\u00A55"},
    {"円 only", "円"},
    {"円 before", "円690"},
    {"yen sign and 円", "¥690円"},
    {"円 twice", "690円円"},
    {"円 inside", "6円90"},
    {"comma at start", ",5"},
    {"comma at end", "5,"},
    {"comma before point", "5,.5"},
    {"double comma", "1,,000"},
    {"comma in fraction", "1.0,5"},
    {"five fraction digits", "1.00001"},
    {"two points", "1.2.3"},
    {"inner blank", "1 000"},
    {"exponent", "1e3"},
    {"hexadecimal", "0x10"},
    {"parentheses", "(5)"},
    {"above the range", "922337203685477.5808"},
    {"below the range", "-922337203685477.5809"},
    {"far above the range", "99999999999999999999999"},
    {"yen after digits", "5\u00A5"},
    {"kanji digits", "五"},
};

struct Formatted {
    const char* name;
    std::int64_t units;
    const char* display;
    const char* plain;
};

const Formatted kFormatted[] = {
    {"zero", 0, "\u00A50", "0"},
    {"whole", 6900000, "\u00A5690", "690"},
    {"grouped", 12345670000, "\u00A51,234,567", "1234567"},
    {"three digits no comma", 9990000, "\u00A5999", "999"},
    {"fraction", 125000, "\u00A512.5", "12.5"},
    {"tiny fraction", 1, "\u00A50.0001", "0.0001"},
    {"negative", -300000, "-\u00A530", "-30"},
    {"negative fraction", -5000, "-\u00A50.5", "-0.5"},
    {"smallest", std::numeric_limits<std::int64_t>::min(), "-\u00A5922,337,203,685,477.5808", "-922337203685477.5808"},
};

struct Field {
    const char* name;
    const char* field;
    bool valid;
    std::int64_t units;
};

const Field kFields[] = {
    {"plain", "690", true, 6900000},
    {"blanks", " 690 ", true, 6900000},
    {"no leading zero", "-.5", true, -5000},
    {"with leading zero", "-0.5", true, -5000},
    {"grouping is not a file form", "1,000", false, 0},
    {"yen is not a file form", "\\690", false, 0},
    {"text", "abc", false, 0},
    {"empty", "", false, 0},
    {"full-width is not a file form", "\uFF16", false, 0},
};

} // namespace

TEST(Money, Parse) {
    for (const Parsed& row : kParsed) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(records::IsMoneyText(row.text));
        const auto parsed = records::ParseMoney(row.text);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->tenThousandths(), row.units);
    }
}

TEST(Money, Rejects) {
    for (const Rejected& row : kRejected) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(records::IsMoneyText(row.text));
        EXPECT_FALSE(records::ParseMoney(row.text).has_value());
    }
}

TEST(Money, Format) {
    for (const Formatted& row : kFormatted) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(records::FormatMoney(Units(row.units)), row.display);
        EXPECT_EQ(records::MoneyToText(Units(row.units)), row.plain);
        EXPECT_EQ(records::ParseMoneyField(records::MoneyToText(Units(row.units))), Units(row.units));
    }
}

// A deletion rewrites every amount from its display text: nothing may be lost on that trip.
TEST(Money, EveryDisplayTextParsesBack) {
    const std::int64_t samples[] = {
        0,        1,        -1,         9999,         10000,     123456789, -5000,         6900000,
        -6900000, 99999999, 1000000000, 123450000000, INT64_MAX, INT64_MIN, INT64_MAX - 1, INT64_MIN + 1};
    for (const std::int64_t v : samples) {
        const auto display = records::FormatMoney(Units(v));
        EXPECT_EQ(records::ParseMoney(display), Units(v));
        EXPECT_EQ(records::ParseMoney(records::MoneyToText(Units(v))), Units(v));
    }
}

TEST(Money, MoneyField) {
    for (const Field& row : kFields) {
        SCOPED_TRACE(row.name);
        const auto parsed = records::ParseMoneyField(row.field);
        EXPECT_EQ(parsed.has_value(), row.valid);
        if (row.valid && parsed) {
            EXPECT_EQ(parsed->tenThousandths(), row.units);
        }
    }
}

TEST(Money, FaultsTellANumberFromALimit) {
    using records::MoneyTextFault;
    EXPECT_EQ(records::CheckMoneyText("690"), MoneyTextFault::None);
    EXPECT_EQ(records::CheckMoneyText("abc"), MoneyTextFault::NotAnAmount);
    EXPECT_EQ(records::CheckMoneyText("1.23456"), MoneyTextFault::TooManyFractionDigits);
    EXPECT_EQ(records::CheckMoneyText("1.23456x"), MoneyTextFault::NotAnAmount);
    EXPECT_EQ(records::CheckMoneyText("922337203685477.5808"), MoneyTextFault::OutOfRange);
    EXPECT_EQ(records::CheckMoneyText("-922337203685477.5809"), MoneyTextFault::OutOfRange);
    EXPECT_EQ(records::CheckMoneyText("99999999999999999999999"), MoneyTextFault::OutOfRange);
    EXPECT_EQ(records::CheckMoneyText("-922337203685477.5808"), MoneyTextFault::None);
}

TEST(Money, AdditionIsExactAndChecked) {
    // 0.1 + 0.2 is 0.3 exactly, as it never is in floating point.
    EXPECT_EQ(records::AddMoney(Units(1000), Units(2000)), Units(3000));
    EXPECT_EQ(records::AddMoney(Currency::Max(), Units(0)), Currency::Max());
    EXPECT_FALSE(records::AddMoney(Currency::Max(), Units(1)).has_value());
    EXPECT_FALSE(records::AddMoney(Currency::Min(), Units(-1)).has_value());
    EXPECT_EQ(records::AddMoney(Currency::Max(), Currency::Min()), Units(-1));
}

// The grouping the messages use for their limits, as display text groups the yen.
TEST(Money, GroupedDigits) {
    EXPECT_EQ(records::GroupedDigits(0), "0");
    EXPECT_EQ(records::GroupedDigits(999), "999");
    EXPECT_EQ(records::GroupedDigits(32766), "32,766");
    EXPECT_EQ(records::GroupedDigits(922337203685477), "922,337,203,685,477");
}
