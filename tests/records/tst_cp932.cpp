// Code page 932 against Microsoft's own table: every byte sequence reads as the table says, and every
// character writes as the bytes Windows writes.
#include "records/cp932.h"
#include "records/utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Entry {
    unsigned bytes;
    char32_t cp;
};

std::string BytesOf(unsigned code) {
    std::string s;
    if (code > 0xFF)
        s += static_cast<char>(code >> 8);
    s += static_cast<char>(code & 0xFF);
    return s;
}

std::string Utf8Of(char32_t cp) {
    std::string s;
    records::AppendUtf8(s, cp);
    return s;
}

std::string Hex(unsigned code) {
    std::ostringstream out;
    out << std::hex << code;
    return out.str();
}

bool IsNecSelectedIbm(unsigned code) {
    return code >= 0xED00 && code <= 0xEEFF;
}
bool IsNecRow13(unsigned code) {
    return code >= 0x8700 && code <= 0x87FF;
}

// Microsoft's table, from $TSUMOTTO_TEST_DATA/CP932.TXT: a "0xXXXX,0xYYYY" line for each character.
class Cp932 : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const char* data = std::getenv("TSUMOTTO_TEST_DATA");
        std::ifstream file(std::string(data ? data : "") + "/CP932.TXT");
        std::string line;
        while (std::getline(file, line)) {
            while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
                line.pop_back();
            if (line.empty() || line[0] == '#')
                continue;
            const std::size_t comma = line.find(',');
            if (comma == std::string::npos || line.find(',', comma + 1) != std::string::npos) {
                s_table.clear(); // a line that is not two fields: the table is not read at all
                return;
            }
            s_table.push_back({static_cast<unsigned>(std::stoul(line.substr(0, comma), nullptr, 16)),
                               static_cast<char32_t>(std::stoul(line.substr(comma + 1), nullptr, 16))});
        }
    }
    void SetUp() override { ASSERT_GT(s_table.size(), 7000u) << "CP932.TXT not found: set TSUMOTTO_TEST_DATA"; }

    static std::vector<Entry> s_table;
};

std::vector<Entry> Cp932::s_table;

} // namespace

TEST_F(Cp932, EveryTableEntryDecodes) {
    for (const Entry& e : s_table) {
        std::string utf8;
        std::size_t bad = 0;
        ASSERT_TRUE(records::DecodeCp932(BytesOf(e.bytes), utf8, bad)) << Hex(e.bytes);
        ASSERT_EQ(utf8, Utf8Of(e.cp));
    }
}

TEST_F(Cp932, EveryCharacterEncodesAsWindowsDoes) {
    std::map<char32_t, std::vector<unsigned>> sequences;
    for (const Entry& e : s_table)
        sequences[e.cp].push_back(e.bytes);
    int duplicates = 0;
    for (const auto& [cp, codes] : sequences) {
        std::string bytes;
        ASSERT_TRUE(records::EncodeCp932(Utf8Of(cp), bytes));
        const unsigned code = bytes.size() == 2
                                  ? (static_cast<unsigned char>(bytes[0]) << 8) | static_cast<unsigned char>(bytes[1])
                                  : static_cast<unsigned char>(bytes[0]);
        ASSERT_TRUE(std::find(codes.begin(), codes.end(), code) != codes.end());
        if (codes.size() == 1)
            continue;
        ++duplicates;
        // Windows never writes the NEC-selected IBM extensions, and prefers JIS X 0208 to NEC row 13.
        ASSERT_FALSE(IsNecSelectedIbm(code)) << Hex(cp);
        const bool hasJis = std::any_of(codes.begin(), codes.end(),
                                        [](unsigned c) { return c < 0x8700 || (c >= 0x8800 && c < 0xED00); });
        const bool hasRow13 = std::any_of(codes.begin(), codes.end(), IsNecRow13);
        if (hasJis) {
            ASSERT_TRUE(!IsNecRow13(code) && code < 0xED00) << Hex(cp);
        } else if (hasRow13) {
            ASSERT_TRUE(IsNecRow13(code)) << Hex(cp);
        }
        ASSERT_FALSE(records::FirstUnsavableCharacter(Utf8Of(cp)).has_value());
    }
    EXPECT_GT(duplicates, 300);
}

TEST(Cp932Bytes, OutsideTheTableAreRefused) {
    for (const char* bytes : {"\x85\x40", "\xEF\x40", "\x81", "\xFD", "\x82\x20"}) {
        std::string utf8;
        std::size_t bad = 99;
        EXPECT_FALSE(records::DecodeCp932(bytes, utf8, bad)) << bytes;
        EXPECT_EQ(bad, std::size_t(0));
    }
    std::string utf8;
    std::size_t bad = 0;
    EXPECT_FALSE(records::DecodeCp932("abc\x85\x40", utf8, bad));
    EXPECT_EQ(bad, std::size_t(3));
}

TEST(Cp932Bytes, OneWayMappingsAreNamed) {
    EXPECT_EQ(records::FirstUnsavableCharacter("ok"), std::nullopt);
    EXPECT_EQ(records::FirstUnsavableCharacter("テーマ１～つもり"), std::nullopt);
    EXPECT_EQ(records::FirstUnsavableCharacter("ab\u301Ccd"), std::optional<char32_t>(U'\u301C'));
    EXPECT_EQ(records::FirstUnsavableCharacter("한"), std::optional<char32_t>(U'한'));
    EXPECT_EQ(records::FirstUnsavableCharacter("\xFF"), std::optional<char32_t>(U'\uFFFD'));
}

// What input methods and Japanese keyboards type and Windows reads back as another character becomes that
// character; the set is iconv's, and each becomes the bytes Windows writes for what the user meant.
TEST(Cp932Bytes, TypedCharactersBecomeWhatIsStored) {
    const std::map<char32_t, std::pair<char32_t, unsigned>> expected = {
        {U'\u301C', {U'\uFF5E', 0x8160}}, {U'\u2016', {U'\u2225', 0x8161}}, {U'\u2212', {U'\uFF0D', 0x817C}},
        {U'\u00A2', {U'\uFFE0', 0x8191}}, {U'\u00A3', {U'\uFFE1', 0x8192}}, {U'\u00AC', {U'\uFFE2', 0x81CA}},
        {U'\u2014', {U'\u2015', 0x815C}}, {U'\u203E', {U'~', 0x7E}},        {U'\\', {U'\u00A5', 0x5C}},
    };
    for (const auto& [typed, stored] : expected) {
        const std::string text = records::StorableText(Utf8Of(typed));
        EXPECT_EQ(text, Utf8Of(stored.first));
        EXPECT_FALSE(records::FirstUnsavableCharacter(text).has_value());
        std::string bytes;
        EXPECT_TRUE(records::EncodeCp932Exactly(text, bytes));
        EXPECT_EQ(bytes, BytesOf(stored.second));
    }
    // The yen sign stays as it is typed, and is written as 0x5C; the whole set is no larger than this.
    EXPECT_EQ(records::StorableText("¥100〜"), "¥100～");
    int changed = 0;
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        if (records::StorableText(Utf8Of(cp)) != Utf8Of(cp)) {
            ++changed;
            EXPECT_TRUE(expected.count(cp)) << Hex(cp);
        }
    }
    EXPECT_EQ(changed, int(expected.size()));
    // Characters the code page lacks, or drops, stay for the writer to refuse; lengths count file bytes.
    EXPECT_EQ(records::StorableText("한€"), "한€");
    EXPECT_EQ(records::FirstUnsavableCharacter("\xF3\xA0\x80\x81"), std::optional<char32_t>(U'\U000E0001'));
    EXPECT_EQ(records::Cp932Length("¥ｱa漢"), std::size_t(5));
    std::string shown = "C:\\a\\b";
    records::ShowBackslashesAsYen(shown);
    EXPECT_EQ(shown, "C:¥a¥b");
}
