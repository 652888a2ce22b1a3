// The goal file and the CSV file, byte for byte: what is written reads back, and what is not a goal is refused.
#include "records/csv_export.h"
#include "records/goal_file.h"
#include "testsupport.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using records::Currency;
using records::Status;

namespace {

const char* const kGoal = "目標１.txt";

Currency Money(const char* text) {
    return records::ParseMoney(text).value();
}

} // namespace

class TestGoalFile : public QObject {
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<ScopedWorkDir>(); }
    void cleanup() { m_dir.reset(); }
    void read_data();
    void read();
    void writtenReadsBack_data();
    void writtenReadsBack();
    void writesOnlyOverWhatWasRead();
    void csvReadsBack();
    void csvReplacesWhole();

private:
    std::unique_ptr<ScopedWorkDir> m_dir;
};

void TestGoalFile::read_data() {
    QTest::addColumn<QByteArray>("bytes"); // "-" for no file at all
    QTest::addColumn<QString>("goal");     // plain text of the goal; empty for none
    QTest::addColumn<int>("damagedLine");  // 0: reads whole
    QTest::newRow("no file") << QByteArray("-") << QString() << 0;
    QTest::newRow("empty") << QByteArray() << QString() << 0;
    QTest::newRow("blank lines") << QByteArray("\r\n\r\n") << QString() << 0;
    QTest::newRow("goal") << QByteArray("80000\r\n") << u"80000"_s << 0;
    QTest::newRow("fraction") << QByteArray("12.5\r\n") << u"12.5"_s << 0;
    QTest::newRow("no line end") << QByteArray("80000") << u"80000"_s << 0;
    QTest::newRow("blanks and LF") << QByteArray("  80000 \n\n") << u"80000"_s << 0;
    QTest::newRow("zero") << QByteArray("0\r\n") << QString() << 1;
    QTest::newRow("negative") << QByteArray("-5\r\n") << QString() << 1;
    QTest::newRow("not a number") << QByteArray("abc\r\n") << QString() << 1;
    QTest::newRow("cut short") << QByteArray("8000x") << QString() << 1;
    QTest::newRow("quoted") << QByteArray("\"80000\"\r\n") << QString() << 1;
    QTest::newRow("two goals") << QByteArray("80000\r\n\r\n90000\r\n") << QString() << 3;
    QTest::newRow("two fields") << QByteArray("80000,5\r\n") << QString() << 1;
    QTest::newRow("beyond the range") << QByteArray("922337203685477.5808\r\n") << QString() << 1;
    QTest::newRow("UTF-8 mark") << QByteArray("\xEF\xBB\xBF"
                                              "80000\r\n")
                                << QString() << 1;
}

void TestGoalFile::read() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, goal);
    QFETCH(int, damagedLine);
    if (bytes != "-")
        WriteBytes(kGoal, bytes);
    const records::GoalRead read = records::ReadGoalFile("目標１.TXT");
    QCOMPARE(read.status.ok(), damagedLine == 0);
    if (damagedLine > 0) {
        QCOMPARE(read.status.code(), Status::Code::Damaged);
        QCOMPARE(read.status.line(), damagedLine);
        QVERIFY(read.status.what() != records::Status::What::None);
        QVERIFY(!read.goal);
    } else {
        QCOMPARE(read.goal.has_value(), !goal.isEmpty());
        if (read.goal)
            QCOMPARE(QString::fromStdString(records::MoneyToText(*read.goal)), goal);
    }
    QCOMPARE(read.identity.present(), bytes != "-");
    if (bytes != "-")
        QCOMPARE(ReadBytes(kGoal), bytes); // reading never changes a byte
}

void TestGoalFile::writtenReadsBack_data() {
    QTest::addColumn<QString>("goal"); // empty: no goal
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("none") << QString() << QByteArray();
    QTest::newRow("whole") << u"80000"_s << QByteArray("80000\r\n");
    QTest::newRow("fraction") << u"12.5"_s << QByteArray("12.5\r\n");
    QTest::newRow("smallest") << u"0.0001"_s << QByteArray("0.0001\r\n");
    QTest::newRow("largest") << u"922337203685477.5807"_s << QByteArray("922337203685477.5807\r\n");
}

void TestGoalFile::writtenReadsBack() {
    QFETCH(QString, goal);
    QFETCH(QByteArray, bytes);
    std::optional<Currency> amount;
    if (!goal.isEmpty())
        amount = Money(goal.toUtf8().constData());
    records::FileIdentity written;
    QVERIFY(records::WriteGoalFile(kGoal, amount, records::FileIdentity{}, written).ok());
    QCOMPARE(ReadBytes(kGoal), bytes);
    const records::GoalRead read = records::ReadGoalFile(kGoal);
    QVERIFY(read.status.ok());
    QCOMPARE(read.goal, amount);
    QCOMPARE(read.identity, written);
}

// Nothing is written over a goal file another program changed, nor a goal that is no goal.
void TestGoalFile::writesOnlyOverWhatWasRead() {
    WriteBytes(kGoal, "500\r\n");
    const records::GoalRead read = records::ReadGoalFile(kGoal);
    records::FileIdentity written;
    for (const char* refused : {"0", "-1"})
        QCOMPARE(records::WriteGoalFile(kGoal, Money(refused), read.identity, written).code(), Status::Code::Unsavable);
    QCOMPARE(ReadBytes(kGoal), QByteArray("500\r\n"));
    WriteBytes("other", "700\r\n");
    QCOMPARE(::rename("other", kGoal), 0); // a sync tool's new version
    QCOMPARE(records::WriteGoalFile(kGoal, Money("900"), read.identity, written).code(), Status::Code::Changed);
    QCOMPARE(records::WriteGoalFile(kGoal, std::nullopt, read.identity, written).code(), Status::Code::Changed);
    QCOMPARE(ReadBytes(kGoal), QByteArray("700\r\n"));
}

// The CSV read back by an RFC 4180 reader has the ledger's rows, and opens with the Japanese intact.
void TestGoalFile::csvReadsBack() {
    struct Row {
        const char* date;
        const char* item;
        const char* amount;
        const char* total;
        QStringList read;
    };
    const std::vector<Row> rows = {
        {"2026年12月07日",
         "タクシーを使ったつもり",
         "690",
         "690",
         {u"2026年12月07日"_s, u"タクシーを使ったつもり"_s, u"690"_s, u"690"_s}},
        {"2026年12月07日",
         "コンマ,と\"引用符\"",
         "12.5",
         "702.5",
         {u"2026年12月07日"_s, u"コンマ,と\"引用符\""_s, u"12.5"_s, u"702.5"_s}},
        {"2026/12/08",
         "=HYPERLINK(\"x\")",
         "-30",
         "672.5",
         {u"2026/12/08"_s, u"'=HYPERLINK(\"x\")"_s, u"-30"_s, u"672.5"_s}},
        {"", "-払い戻し", "0.0001", "672.5001", {QString(), u"'-払い戻し"_s, u"0.0001"_s, u"672.5001"_s}},
        {"2026年12月09日",
         "¥と～と\\",
         "1000",
         "1672.5001",
         {u"2026年12月09日"_s, u"¥と～と\\"_s, u"1000"_s, u"1672.5001"_s}},
    };
    const std::string path = (m_dir->path() + u"/貯金の記録.csv"_s).toStdString();
    QVERIFY(records::SaveLedgerCsv(path, rows.size(), [&rows](std::size_t i) {
                return records::CsvLedgerRow{rows[i].date, rows[i].item, Money(rows[i].amount), Money(rows[i].total)};
            }).ok());
    const QByteArray bytes = ReadBytes(path.c_str());
    bool ok = false;
    const QList<QStringList> read = ReadCsv(bytes, ok);
    QVERIFY(ok);
    QCOMPARE(read.size(), qsizetype(rows.size() + 1));
    QCOMPARE(read[0], (QStringList{u"日付"_s, u"項目"_s, u"金額"_s, u"累計"_s}));
    for (std::size_t i = 0; i < rows.size(); ++i)
        QCOMPARE(read[qsizetype(i) + 1], rows[i].read);
}

void TestGoalFile::csvReplacesWhole() {
    auto save = [](const std::string& path) {
        return records::SaveLedgerCsv(path, 1, [](std::size_t) {
            return records::CsvLedgerRow{"2026年12月07日", "晩酌", Money("50"), Money("50")};
        });
    };
    WriteBytes("old.csv", "old");
    QVERIFY(::symlink("old.csv", "link.csv") == 0);
    QVERIFY(save("link.csv").ok()); // written through the link, which stays a link
    struct stat st {};
    QVERIFY(lstat("link.csv", &st) == 0 && S_ISLNK(st.st_mode));
    QVERIFY(ReadBytes("old.csv").endsWith("\"晩酌\",50,50\r\n"));
    QVERIFY(::mkdir("folder.csv", 0700) == 0);
    QCOMPARE(save("folder.csv").code(), Status::Code::System);
    QCOMPARE(save("missing/x.csv").code(), Status::Code::System);
    // Only the files asked for are there: no temporary is left behind.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{u"folder.csv"_s, u"link.csv"_s, u"old.csv"_s}));
}

QTEST_MAIN(TestGoalFile)
#include "tst_goalfile.moc"
