// Amount texts and the deposit date text.
#include "records/date_text.h"
#include "records/money.h"

#include <QTest>

using namespace Qt::StringLiterals;

using records::Currency;

namespace {
Currency Units(std::int64_t v) {
    return Currency::FromTenThousandths(v);
}
} // namespace

class TestMoney : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void rejects_data();
    void rejects();
    void format_data();
    void format();
    void everyDisplayTextParsesBack();
    void moneyField_data();
    void moneyField();
    void faultsTellANumberFromALimit();
    void additionIsExactAndChecked();
    void ledgerDateKeepsLeadingZeros();
};

void TestMoney::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("units");
    QTest::newRow("plain") << "690" << qint64(6900000);
    QTest::newRow("fraction") << "12.5" << qint64(125000);
    QTest::newRow("four fraction digits") << "0.0001" << qint64(1);
    QTest::newRow("negative") << "-30" << qint64(-300000);
    QTest::newRow("plus sign") << "+30" << qint64(300000);
    QTest::newRow("zero") << "0" << qint64(0);
    QTest::newRow("leading point") << ".5" << qint64(5000);
    QTest::newRow("trailing point") << "5." << qint64(50000);
    QTest::newRow("blanks around") << "  690 " << qint64(6900000);
    QTest::newRow("full-width blanks") << u"\u3000690\u3000"_s << qint64(6900000);
    QTest::newRow("display text") << u"\u00A5690"_s << qint64(6900000);
    QTest::newRow("display grouped") << u"\u00A51,234,567.89"_s << qint64(12345678900);
    QTest::newRow("display negative") << u"-\u00A530"_s << qint64(-300000);
    QTest::newRow("sign after yen") << u"\u00A5-30"_s << qint64(-300000);
    QTest::newRow("backslash yen") << u"\\230"_s << qint64(2300000);
    QTest::newRow("full-width yen") << u"\uFFE5230"_s << qint64(2300000);
    QTest::newRow("full-width digits") << u"\uFF16\uFF19\uFF10"_s << qint64(6900000);
    QTest::newRow("full-width sign comma point") << u"\uFF0D1\uFF0C000\uFF0E5"_s << qint64(-10005000);
    QTest::newRow("largest") << "922337203685477.5807" << std::numeric_limits<qint64>::max();
    QTest::newRow("smallest") << "-922337203685477.5808" << std::numeric_limits<qint64>::min();
    QTest::newRow("leading zeros") << "000000000000000000000012" << qint64(120000);
    QTest::newRow("yen written after") << u"690円"_s << qint64(6900000);
    QTest::newRow("full-width with 円") << u"１，２００円"_s << qint64(12000000);
    QTest::newRow("円 after blanks and a fraction") << u" -12.5 円 "_s << qint64(-125000);
}

void TestMoney::parse() {
    QFETCH(QString, text);
    QFETCH(qint64, units);
    const std::string utf8 = text.toStdString();
    QVERIFY(records::IsMoneyText(utf8));
    const auto parsed = records::ParseMoney(utf8);
    QVERIFY(parsed.has_value());
    QCOMPARE(parsed->tenThousandths(), units);
}

void TestMoney::rejects_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("blanks only") << "   ";
    QTest::newRow("letters") << "abc";
    QTest::newRow("digits and letters") << "12a";
    QTest::newRow("sign only") << "-";
    QTest::newRow("two signs") << "--5";
    QTest::newRow("yen only") << u"\u00A5"_s;
    QTest::newRow("two yen signs") << u"\u00A5\u00A55"_s;
    QTest::newRow("円 only") << u"円"_s;
    QTest::newRow("円 before") << u"円690"_s;
    QTest::newRow("yen sign and 円") << u"¥690円"_s;
    QTest::newRow("円 twice") << u"690円円"_s;
    QTest::newRow("円 inside") << u"6円90"_s;
    QTest::newRow("comma at start") << ",5";
    QTest::newRow("comma at end") << "5,";
    QTest::newRow("comma before point") << "5,.5";
    QTest::newRow("double comma") << "1,,000";
    QTest::newRow("comma in fraction") << "1.0,5";
    QTest::newRow("five fraction digits") << "1.00001";
    QTest::newRow("two points") << "1.2.3";
    QTest::newRow("inner blank") << "1 000";
    QTest::newRow("exponent") << "1e3";
    QTest::newRow("hexadecimal") << "0x10";
    QTest::newRow("parentheses") << "(5)";
    QTest::newRow("above the range") << "922337203685477.5808";
    QTest::newRow("below the range") << "-922337203685477.5809";
    QTest::newRow("far above the range") << "99999999999999999999999";
    QTest::newRow("yen after digits") << u"5\u00A5"_s;
    QTest::newRow("kanji digits") << u"五"_s;
}

void TestMoney::rejects() {
    QFETCH(QString, text);
    const std::string utf8 = text.toStdString();
    QVERIFY(!records::IsMoneyText(utf8));
    QVERIFY(!records::ParseMoney(utf8).has_value());
}

void TestMoney::format_data() {
    QTest::addColumn<qint64>("units");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("plain");
    QTest::newRow("zero") << qint64(0) << u"\u00A50"_s << "0";
    QTest::newRow("whole") << qint64(6900000) << u"\u00A5690"_s << "690";
    QTest::newRow("grouped") << qint64(12345670000) << u"\u00A51,234,567"_s << "1234567";
    QTest::newRow("three digits no comma") << qint64(9990000) << u"\u00A5999"_s << "999";
    QTest::newRow("fraction") << qint64(125000) << u"\u00A512.5"_s << "12.5";
    QTest::newRow("tiny fraction") << qint64(1) << u"\u00A50.0001"_s << "0.0001";
    QTest::newRow("negative") << qint64(-300000) << u"-\u00A530"_s << "-30";
    QTest::newRow("negative fraction") << qint64(-5000) << u"-\u00A50.5"_s << "-0.5";
    QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << u"-\u00A5922,337,203,685,477.5808"_s
                              << "-922337203685477.5808";
}

void TestMoney::format() {
    QFETCH(qint64, units);
    QFETCH(QString, display);
    QFETCH(QString, plain);
    QCOMPARE(QString::fromStdString(records::FormatMoney(Units(units))), display);
    QCOMPARE(QString::fromStdString(records::MoneyToText(Units(units))), plain);
    QCOMPARE(records::ParseMoneyField(records::MoneyToText(Units(units))), Units(units));
}

// A deletion rewrites every amount from its display text: nothing may be lost on that trip.
void TestMoney::everyDisplayTextParsesBack() {
    const qint64 samples[] = {
        0,        1,        -1,         9999,         10000,     123456789, -5000,         6900000,
        -6900000, 99999999, 1000000000, 123450000000, INT64_MAX, INT64_MIN, INT64_MAX - 1, INT64_MIN + 1};
    for (const qint64 v : samples) {
        const auto display = records::FormatMoney(Units(v));
        QCOMPARE(records::ParseMoney(display), Units(v));
        QCOMPARE(records::ParseMoney(records::MoneyToText(Units(v))), Units(v));
    }
}

void TestMoney::moneyField_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("units");
    QTest::newRow("plain") << "690" << true << qint64(6900000);
    QTest::newRow("blanks") << " 690 " << true << qint64(6900000);
    QTest::newRow("no leading zero") << "-.5" << true << qint64(-5000);
    QTest::newRow("with leading zero") << "-0.5" << true << qint64(-5000);
    QTest::newRow("grouping is not a file form") << "1,000" << false << qint64(0);
    QTest::newRow("yen is not a file form") << "\\690" << false << qint64(0);
    QTest::newRow("text") << "abc" << false << qint64(0);
    QTest::newRow("empty") << "" << false << qint64(0);
    QTest::newRow("full-width is not a file form") << u"\uFF16"_s << false << qint64(0);
}

void TestMoney::moneyField() {
    QFETCH(QString, field);
    QFETCH(bool, valid);
    QFETCH(qint64, units);
    const auto parsed = records::ParseMoneyField(field.toStdString());
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(parsed->tenThousandths(), units);
}

void TestMoney::faultsTellANumberFromALimit() {
    using records::MoneyTextFault;
    QCOMPARE(records::CheckMoneyText("690"), MoneyTextFault::None);
    QCOMPARE(records::CheckMoneyText("abc"), MoneyTextFault::NotAnAmount);
    QCOMPARE(records::CheckMoneyText("1.23456"), MoneyTextFault::TooManyFractionDigits);
    QCOMPARE(records::CheckMoneyText("1.23456x"), MoneyTextFault::NotAnAmount);
    QCOMPARE(records::CheckMoneyText("922337203685477.5808"), MoneyTextFault::OutOfRange);
    QCOMPARE(records::CheckMoneyText("-922337203685477.5809"), MoneyTextFault::OutOfRange);
    QCOMPARE(records::CheckMoneyText("99999999999999999999999"), MoneyTextFault::OutOfRange);
    QCOMPARE(records::CheckMoneyText("-922337203685477.5808"), MoneyTextFault::None);
}

void TestMoney::additionIsExactAndChecked() {
    // 0.1 + 0.2 is 0.3 exactly, as it never is in floating point.
    QCOMPARE(records::AddMoney(Units(1000), Units(2000)), Units(3000));
    QCOMPARE(records::AddMoney(Currency::Max(), Units(0)), Currency::Max());
    QVERIFY(!records::AddMoney(Currency::Max(), Units(1)).has_value());
    QVERIFY(!records::AddMoney(Currency::Min(), Units(-1)).has_value());
    QCOMPARE(records::AddMoney(Currency::Max(), Currency::Min()), Units(-1));
}

void TestMoney::ledgerDateKeepsLeadingZeros() {
    QCOMPARE(QString::fromStdString(records::FormatLedgerDate({2009, 1, 1})), u"2009年01月01日"_s);
    QCOMPARE(QString::fromStdString(records::FormatLedgerDate({2008, 5, 10})), u"2008年05月10日"_s);
    QCOMPARE(QString::fromStdString(records::FormatLedgerDate({2026, 12, 31})), u"2026年12月31日"_s);
    const auto today = records::TodayLocal();
    QVERIFY(today.year >= 2024 && today.month >= 1 && today.month <= 12 && today.day >= 1 && today.day <= 31);
}

QTEST_APPLESS_MAIN(TestMoney)
#include "tst_money.moc"
