// The ledger month by month against sums worked out by hand, and the month a goal is reached at the pace of
// the last three months.
#include "records/month_totals.h"

#include <QTest>

using namespace Qt::StringLiterals;
using records::Currency;
using records::MonthTotals;

namespace {

struct Deposit {
    std::string date;
    const char* amount;
};

Currency Money(const char* text) {
    return records::ParseMoney(text).value();
}

// "2026-11 2 ¥15.5 ¥15.5" for each month, one to a line.
QStringList Shown(const MonthTotals& totals) {
    QStringList lines;
    for (const records::MonthTotal& m : totals.months())
        lines << u"%1-%2 %3 %4 %5"_s.arg(records::YearOfMonth(m.key))
                     .arg(records::MonthOfYear(m.key), 2, 10, QChar(u'0'))
                     .arg(m.count)
                     .arg(QString::fromStdString(records::FormatWideMoney(m.sum)),
                          QString::fromStdString(records::FormatWideMoney(m.total)));
    return lines;
}

MonthTotals Rebuilt(const std::vector<Deposit>& ledger) {
    MonthTotals totals;
    totals.rebuild(ledger.size(), [&ledger](std::size_t i) {
        return MonthTotals::Dated{ledger[i].date, Money(ledger[i].amount)};
    });
    return totals;
}

} // namespace

class TestMonths : public QObject {
    Q_OBJECT

private slots:
    void ledgerMonth_data();
    void ledgerMonth();
    void months_data();
    void months();
    void fullLedger();
    void outlook_data();
    void outlook();
};

void TestMonths::ledgerMonth_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("month"); // year * 100 + month; 0: not a date
    QTest::newRow("as written") << u"2026年12月07日"_s << 202612;
    QTest::newRow("one digit") << u"2026年1月5日"_s << 202601;
    QTest::newRow("blanks around") << u" 2024年02月29日\t"_s << 202402;
    QTest::newRow("no such day") << u"2026年02月29日"_s << 0;
    QTest::newRow("day 32") << u"2026年12月32日"_s << 0;
    QTest::newRow("month 13") << u"2026年13月01日"_s << 0;
    QTest::newRow("slashes") << u"2026/12/07"_s << 0;
    QTest::newRow("full-width digits") << u"２０２６年12月07日"_s << 0;
    QTest::newRow("three-digit year") << u"999年12月07日"_s << 0;
    QTest::newRow("text after") << u"2026年12月07日頃"_s << 0;
    QTest::newRow("empty") << QString() << 0;
}

void TestMonths::ledgerMonth() {
    QFETCH(QString, text);
    QFETCH(int, month);
    const auto key = records::LedgerMonth(text.toStdString());
    QCOMPARE(key ? records::YearOfMonth(*key) * 100 + records::MonthOfYear(*key) : 0, month);
}

void TestMonths::months_data() {
    QTest::addColumn<std::vector<Deposit>>("ledger");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("undated");
    QTest::newRow("empty") << std::vector<Deposit>{} << QStringList{} << 0;
    QTest::newRow("fractions of a yen") << std::vector<Deposit>{{"2026年11月30日", "12.5"},
                                                                {"2026年11月01日", "3.0001"},
                                                                {"2026年12月07日", "0.4999"}}
                                        << QStringList{u"2026-11 2 ¥15.5001 ¥15.5001"_s, u"2026-12 1 ¥0.4999 ¥16"_s}
                                        << 0;
    QTest::newRow("negative amounts")
        << std::vector<Deposit>{{"2026年10月01日", "500"}, {"2026年10月02日", "-800"}, {"2026年12月01日", "-30"}}
        << QStringList{u"2026-10 2 -¥300 -¥300"_s, u"2026-11 0 ¥0 -¥300"_s, u"2026-12 1 -¥30 -¥330"_s} << 0;
    QTest::newRow("dates out of order")
        << std::vector<Deposit>{{"2026年03月01日", "100"}, {"2025年12月31日", "50"}, {"2026年01月15日", "25"}}
        << QStringList{u"2025-12 1 ¥50 ¥50"_s, u"2026-01 1 ¥25 ¥75"_s, u"2026-02 0 ¥0 ¥75"_s, u"2026-03 1 ¥100 ¥175"_s}
        << 0;
    QTest::newRow("unparsable dates left out") << std::vector<Deposit>{{"2026年12月01日", "100"},
                                                                       {"きのう", "999"},
                                                                       {"2026/12/02", "1"},
                                                                       {"2026年12月02日", "5"}}
                                               << QStringList{u"2026-12 2 ¥105 ¥105"_s} << 2;
    QTest::newRow("beyond the money range") << std::vector<Deposit>{{"2026年01月01日", "922337203685477"},
                                                                    {"2026年03月01日", "-922337203685477"},
                                                                    {"2026年02月01日", "922337203685477"}}
                                            << QStringList{u"2026-01 1 ¥922,337,203,685,477 ¥922,337,203,685,477"_s,
                                                           u"2026-02 1 ¥922,337,203,685,477 ¥1,844,674,407,370,954"_s,
                                                           u"2026-03 1 -¥922,337,203,685,477 ¥922,337,203,685,477"_s}
                                            << 0;
}

// Rebuilt at once, or deposit by deposit as a running window adds them: the same months.
void TestMonths::months() {
    QFETCH(std::vector<Deposit>, ledger);
    QFETCH(QStringList, expected);
    QFETCH(int, undated);
    const MonthTotals rebuilt = Rebuilt(ledger);
    QCOMPARE(Shown(rebuilt), expected);
    QCOMPARE(rebuilt.undatedCount(), undated);
    MonthTotals appended;
    for (const Deposit& d : ledger)
        appended.append(d.date, Money(d.amount));
    QCOMPARE(Shown(appended), expected);
    QCOMPARE(appended.undatedCount(), undated);
}

// 32,766 deposits over two years, a seventh of a yen apart: each month's count and sum follow from the formula.
void TestMonths::fullLedger() {
    std::vector<Deposit> ledger;
    static const char* const amounts[] = {"1", "2.5", "-3", "4.0001", "500", "0.25", "70"};
    for (int i = 0; i < 32766; ++i) {
        char date[32];
        std::snprintf(date, sizeof date, "%04d年%02d月%02d日", 2025 + (i % 24) / 12, 1 + i % 12, 1 + i % 28);
        ledger.push_back({i % 1000 == 999 ? std::string("日付なし") : std::string(date), amounts[i % 7]});
    }
    const MonthTotals totals = Rebuilt(ledger);
    QCOMPARE(totals.months().size(), std::size_t(24));
    QCOMPARE(totals.undatedCount(), 32);
    records::WideMoney running = 0;
    for (int m = 0; m < 24; ++m) {
        int count = 0;
        records::WideMoney sum = 0;
        for (int i = m; i < 32766; i += 24)
            if (i % 1000 != 999) {
                ++count;
                sum += Money(amounts[i % 7]).tenThousandths();
            }
        running += sum;
        const records::MonthTotal& month = totals.months()[std::size_t(m)];
        QCOMPARE(month.key, records::MonthOf(2025 + m / 12, 1 + m % 12));
        QCOMPARE(month.count, count);
        QVERIFY(month.sum == sum && month.total == running);
    }
}

void TestMonths::outlook_data() {
    QTest::addColumn<std::vector<Deposit>>("ledger");
    QTest::addColumn<QString>("goal"); // empty: none
    QTest::addColumn<QString>("total");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("month"); // year * 100 + month; 0: none
    using Kind = records::GoalOutlook::Kind;
    const std::vector<Deposit> steady = {
        {"2026年10月05日", "3000"}, {"2026年11月05日", "3000"}, {"2026年12月05日", "3000"}};
    QTest::newRow("no goal") << steady << QString() << u"9000"_s << int(Kind::NoGoal) << 0;
    QTest::newRow("reached in November") << steady << u"6000"_s << u"9000"_s << int(Kind::Reached) << 202611;
    QTest::newRow("reached by undated deposits") << steady << u"9500"_s << u"9600"_s << int(Kind::Reached) << 0;
    QTest::newRow("next month") << steady << u"12000"_s << u"9000"_s << int(Kind::ByMonth) << 202701;
    QTest::newRow("in March") << steady << u"80000"_s << u"71000"_s << int(Kind::ByMonth) << 202703;
    QTest::newRow("one month to go by") << std::vector<Deposit>{{"2026年12月01日", "3000"}} << u"5000"_s << u"3000"_s
                                        << int(Kind::ByMonth) << 202702;
    QTest::newRow("nothing dated") << std::vector<Deposit>{} << u"5000"_s << u"100"_s << int(Kind::NoMonths) << 0;
    QTest::newRow("no pace") << std::vector<Deposit>{{"2026年08月01日", "5000"},
                                                     {"2026年10月01日", "-10"},
                                                     {"2026年12月01日", "10"}}
                             << u"9000"_s << u"5000"_s << int(Kind::NoPace) << 0;
    QTest::newRow("a century away") << std::vector<Deposit>{{"2026年12月01日", "3"}} << u"5000"_s << u"3"_s
                                    << int(Kind::TooFar) << 0;
}

void TestMonths::outlook() {
    QFETCH(std::vector<Deposit>, ledger);
    QFETCH(QString, goal);
    QFETCH(QString, total);
    QFETCH(int, kind);
    QFETCH(int, month);
    const MonthTotals totals = Rebuilt(ledger);
    std::optional<Currency> target;
    if (!goal.isEmpty())
        target = Money(goal.toUtf8().constData());
    const records::GoalOutlook outlook =
        records::OutlookFor(totals.months(), target, Money(total.toUtf8().constData()));
    QCOMPARE(int(outlook.kind), kind);
    QCOMPARE(outlook.month >= 0 ? records::YearOfMonth(outlook.month) * 100 + records::MonthOfYear(outlook.month) : 0,
             month);
}

QTEST_MAIN(TestMonths)
#include "tst_months.moc"
