// Code page 932 against Microsoft's own table: every byte sequence reads as the table says, and every
// character writes as the bytes Windows writes.
#include "records/cp932.h"
#include "records/utf8.h"

#include <QFile>
#include <QTest>

#include <map>
#include <vector>

using namespace Qt::StringLiterals;

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

bool IsNecSelectedIbm(unsigned code) {
    return code >= 0xED00 && code <= 0xEEFF;
}
bool IsNecRow13(unsigned code) {
    return code >= 0x8700 && code <= 0x87FF;
}

} // namespace

class TestCp932 : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void everyTableEntryDecodes();
    void everyCharacterEncodesAsWindowsDoes();
    void bytesOutsideTheTableAreRefused();
    void oneWayMappingsAreNamed();
    void typedCharactersBecomeWhatIsStored();

private:
    std::vector<Entry> m_table;
};

void TestCp932::initTestCase() {
    QFile file(qEnvironmentVariable("TSUMOTTO_TEST_DATA") + u"/CP932.TXT"_s);
    QVERIFY2(file.open(QIODevice::ReadOnly), "CP932.TXT not found: set TSUMOTTO_TEST_DATA");
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split(',');
        QCOMPARE(fields.size(), 2);
        bool ok1 = false, ok2 = false;
        const unsigned bytes = fields[0].toUInt(&ok1, 16);
        const unsigned cp = fields[1].toUInt(&ok2, 16);
        QVERIFY(ok1 && ok2);
        m_table.push_back({bytes, static_cast<char32_t>(cp)});
    }
    QVERIFY(m_table.size() > 7000);
}

void TestCp932::everyTableEntryDecodes() {
    for (const Entry& e : m_table) {
        std::string utf8;
        std::size_t bad = 0;
        QVERIFY2(records::DecodeCp932(BytesOf(e.bytes), utf8, bad), qPrintable(QString::number(e.bytes, 16)));
        QCOMPARE(utf8, Utf8Of(e.cp));
    }
}

void TestCp932::everyCharacterEncodesAsWindowsDoes() {
    std::map<char32_t, std::vector<unsigned>> sequences;
    for (const Entry& e : m_table)
        sequences[e.cp].push_back(e.bytes);
    int duplicates = 0;
    for (const auto& [cp, codes] : sequences) {
        std::string bytes;
        QVERIFY(records::EncodeCp932(Utf8Of(cp), bytes));
        const unsigned code = bytes.size() == 2
                                  ? (static_cast<unsigned char>(bytes[0]) << 8) | static_cast<unsigned char>(bytes[1])
                                  : static_cast<unsigned char>(bytes[0]);
        QVERIFY(std::find(codes.begin(), codes.end(), code) != codes.end());
        if (codes.size() == 1)
            continue;
        ++duplicates;
        // Windows never writes the NEC-selected IBM extensions, and prefers JIS X 0208 to NEC row 13.
        QVERIFY2(!IsNecSelectedIbm(code), qPrintable(QString::number(cp, 16)));
        const bool hasJis = std::any_of(codes.begin(), codes.end(),
                                        [](unsigned c) { return c < 0x8700 || (c >= 0x8800 && c < 0xED00); });
        const bool hasRow13 = std::any_of(codes.begin(), codes.end(), IsNecRow13);
        if (hasJis)
            QVERIFY2(!IsNecRow13(code) && code < 0xED00, qPrintable(QString::number(cp, 16)));
        else if (hasRow13)
            QVERIFY2(IsNecRow13(code), qPrintable(QString::number(cp, 16)));
        QVERIFY(!records::FirstUnsavableCharacter(Utf8Of(cp)).has_value());
    }
    QVERIFY(duplicates > 300);
}

void TestCp932::bytesOutsideTheTableAreRefused() {
    for (const char* bytes : {"\x85\x40", "\xEF\x40", "\x81", "\xFD", "\x82\x20"}) {
        std::string utf8;
        std::size_t bad = 99;
        QVERIFY2(!records::DecodeCp932(bytes, utf8, bad), bytes);
        QCOMPARE(bad, std::size_t(0));
    }
    std::string utf8;
    std::size_t bad = 0;
    QVERIFY(!records::DecodeCp932("abc\x85\x40", utf8, bad));
    QCOMPARE(bad, std::size_t(3));
}

void TestCp932::oneWayMappingsAreNamed() {
    QCOMPARE(records::FirstUnsavableCharacter("ok"), std::nullopt);
    QCOMPARE(records::FirstUnsavableCharacter(u"テーマ１～つもり"_s.toStdString()), std::nullopt);
    QCOMPARE(records::FirstUnsavableCharacter(u"ab\u301Ccd"_s.toStdString()), std::optional<char32_t>(U'\u301C'));
    QCOMPARE(records::FirstUnsavableCharacter(u"한"_s.toStdString()), std::optional<char32_t>(U'한'));
    QCOMPARE(records::FirstUnsavableCharacter("\xFF"), std::optional<char32_t>(U'\uFFFD'));
}

// What input methods and Japanese keyboards type and Windows reads back as another character becomes that
// character; the set is iconv's, and each becomes the bytes Windows writes for what the user meant.
void TestCp932::typedCharactersBecomeWhatIsStored() {
    const std::map<char32_t, std::pair<char32_t, unsigned>> expected = {
        {U'\u301C', {U'\uFF5E', 0x8160}}, {U'\u2016', {U'\u2225', 0x8161}}, {U'\u2212', {U'\uFF0D', 0x817C}},
        {U'\u00A2', {U'\uFFE0', 0x8191}}, {U'\u00A3', {U'\uFFE1', 0x8192}}, {U'\u00AC', {U'\uFFE2', 0x81CA}},
        {U'\u2014', {U'\u2015', 0x815C}}, {U'\u203E', {U'~', 0x7E}},        {U'\\', {U'\u00A5', 0x5C}},
    };
    for (const auto& [typed, stored] : expected) {
        const std::string text = records::StorableText(Utf8Of(typed));
        QCOMPARE(text, Utf8Of(stored.first));
        QVERIFY(!records::FirstUnsavableCharacter(text).has_value());
        std::string bytes;
        QVERIFY(records::EncodeCp932Exactly(text, bytes));
        QCOMPARE(bytes, BytesOf(stored.second));
    }
    // The yen sign stays as it is typed, and is written as 0x5C; the whole set is no larger than this.
    QCOMPARE(records::StorableText(u"¥100〜"_s.toStdString()), u"¥100～"_s.toStdString());
    int changed = 0;
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        if (records::StorableText(Utf8Of(cp)) != Utf8Of(cp)) {
            ++changed;
            QVERIFY2(expected.count(cp), qPrintable(QString::number(cp, 16)));
        }
    }
    QCOMPARE(changed, int(expected.size()));
    // Characters the code page lacks, or drops, stay for the writer to refuse; lengths count file bytes.
    QCOMPARE(records::StorableText(u"한€"_s.toStdString()), u"한€"_s.toStdString());
    QCOMPARE(records::FirstUnsavableCharacter("\xF3\xA0\x80\x81"), std::optional<char32_t>(U'\U000E0001'));
    QCOMPARE(records::Cp932Length(u"¥ｱa漢"_s.toStdString()), std::size_t(5));
    std::string shown = "C:\\a\\b";
    records::ShowBackslashesAsYen(shown);
    QCOMPARE(QString::fromStdString(shown), u"C:¥a¥b"_s);
}

QTEST_APPLESS_MAIN(TestCp932)
#include "tst_cp932.moc"
