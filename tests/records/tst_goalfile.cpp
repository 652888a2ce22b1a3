// The goal file and the CSV file, byte for byte: what is written reads back, and what is not a goal is refused.
#include "filesupport.h"
#include "records/csv_export.h"
#include "records/goal_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace files;
using records::Currency;
using records::Status;

namespace {

const char* const kGoal = "目標１.txt";
const char* const kNoFile = "-"; // the bytes of a goal file that is not there

Currency Money(const char* text) {
    return records::ParseMoney(text).value();
}

struct ReadCase {
    const char* name;
    std::string bytes; // kNoFile for no file at all
    std::string goal;  // plain text of the goal; empty for none
    int damagedLine;   // 0: reads whole
};

const ReadCase kReadCases[] = {
    {"no file", kNoFile, "", 0},
    {"empty", "", "", 0},
    {"blank lines", "\r\n\r\n", "", 0},
    {"goal", "80000\r\n", "80000", 0},
    {"fraction", "12.5\r\n", "12.5", 0},
    {"no line end", "80000", "80000", 0},
    {"blanks and LF", "  80000 \n\n", "80000", 0},
    {"zero", "0\r\n", "", 1},
    {"negative", "-5\r\n", "", 1},
    {"not a number", "abc\r\n", "", 1},
    {"cut short", "8000x", "", 1},
    {"quoted", "\"80000\"\r\n", "", 1},
    {"two goals", "80000\r\n\r\n90000\r\n", "", 3},
    {"two fields", "80000,5\r\n", "", 1},
    {"beyond the range", "922337203685477.5808\r\n", "", 1},
    {"UTF-8 mark",
     "\xEF\xBB\xBF"
     "80000\r\n",
     "", 1},
};

struct WrittenCase {
    const char* name;
    std::string goal; // empty: no goal
    std::string bytes;
};

const WrittenCase kWrittenCases[] = {
    {"none", "", ""},
    {"whole", "80000", "80000\r\n"},
    {"fraction", "12.5", "12.5\r\n"},
    {"smallest", "0.0001", "0.0001\r\n"},
    {"largest", "922337203685477.5807", "922337203685477.5807\r\n"},
};

} // namespace

TEST(GoalFile, Read) {
    for (const ReadCase& c : kReadCases) {
        SCOPED_TRACE(c.name);
        ScopedWorkDir dir;
        const bool present = c.bytes != kNoFile;
        if (present)
            WriteBytes(kGoal, c.bytes);
        const records::GoalRead read = records::ReadGoalFile("目標１.TXT");
        EXPECT_EQ(read.status.ok(), c.damagedLine == 0) << Describe(read.status);
        if (c.damagedLine > 0) {
            EXPECT_EQ(read.status.code(), Status::Code::Damaged);
            EXPECT_EQ(read.status.line(), c.damagedLine);
            EXPECT_NE(read.status.what(), records::Status::What::None);
            EXPECT_FALSE(read.goal);
        } else {
            EXPECT_EQ(read.goal.has_value(), !c.goal.empty());
            if (read.goal) {
                EXPECT_EQ(records::MoneyToText(*read.goal), c.goal);
            }
        }
        EXPECT_EQ(read.identity.present(), present);
        if (present) {
            EXPECT_EQ(ReadBytes(kGoal), c.bytes); // reading never changes a byte
        }
    }
}

TEST(GoalFile, WrittenReadsBack) {
    for (const WrittenCase& c : kWrittenCases) {
        SCOPED_TRACE(c.name);
        ScopedWorkDir dir;
        std::optional<Currency> amount;
        if (!c.goal.empty())
            amount = Money(c.goal.c_str());
        records::FileIdentity written;
        const Status status = records::WriteGoalFile(kGoal, amount, records::FileIdentity{}, written);
        ASSERT_TRUE(status.ok()) << Describe(status);
        EXPECT_EQ(ReadBytes(kGoal), c.bytes);
        const records::GoalRead read = records::ReadGoalFile(kGoal);
        ASSERT_TRUE(read.status.ok()) << Describe(read.status);
        EXPECT_EQ(read.goal, amount);
        EXPECT_TRUE(read.identity == written);
    }
}

// Nothing is written over a goal file another program changed, nor a goal that is no goal.
TEST(GoalFile, WritesOnlyOverWhatWasRead) {
    ScopedWorkDir dir;
    WriteBytes(kGoal, "500\r\n");
    const records::GoalRead read = records::ReadGoalFile(kGoal);
    records::FileIdentity written;
    for (const char* refused : {"0", "-1"})
        EXPECT_EQ(records::WriteGoalFile(kGoal, Money(refused), read.identity, written).code(), Status::Code::Unsavable)
            << refused;
    EXPECT_EQ(ReadBytes(kGoal), "500\r\n");
    WriteBytes("other", "700\r\n");
    ASSERT_EQ(::rename("other", kGoal), 0); // a sync tool's new version
    EXPECT_EQ(records::WriteGoalFile(kGoal, Money("900"), read.identity, written).code(), Status::Code::Changed);
    EXPECT_EQ(records::WriteGoalFile(kGoal, std::nullopt, read.identity, written).code(), Status::Code::Changed);
    EXPECT_EQ(ReadBytes(kGoal), "700\r\n");
}

// The CSV read back by an RFC 4180 reader has the ledger's rows, and opens with the Japanese intact.
TEST(GoalFile, CsvReadsBack) {
    ScopedWorkDir dir;
    struct Row {
        const char* date;
        const char* item;
        const char* amount;
        const char* total;
        std::vector<std::string> read;
    };
    const std::vector<Row> rows = {
        {"2026年12月07日",
         "タクシーを使ったつもり",
         "690",
         "690",
         {"2026年12月07日", "タクシーを使ったつもり", "690", "690"}},
        {"2026年12月07日",
         "コンマ,と\"引用符\"",
         "12.5",
         "702.5",
         {"2026年12月07日", "コンマ,と\"引用符\"", "12.5", "702.5"}},
        {"2026/12/08", "=HYPERLINK(\"x\")", "-30", "672.5", {"2026/12/08", "'=HYPERLINK(\"x\")", "-30", "672.5"}},
        {"", "-払い戻し", "0.0001", "672.5001", {"", "'-払い戻し", "0.0001", "672.5001"}},
        {"2026年12月09日", "¥と～と\\", "1000", "1672.5001", {"2026年12月09日", "¥と～と\\", "1000", "1672.5001"}},
    };
    const std::string path = dir.path() + "/貯金の記録.csv";
    const Status status = records::SaveLedgerCsv(path, rows.size(), [&rows](std::size_t i) {
        return records::CsvLedgerRow{rows[i].date, rows[i].item, Money(rows[i].amount), Money(rows[i].total)};
    });
    ASSERT_TRUE(status.ok()) << Describe(status);
    const auto read = ReadCsv(ReadBytes(path));
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), rows.size() + 1);
    EXPECT_EQ((*read)[0], (std::vector<std::string>{"日付", "項目", "金額", "累計"}));
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ((*read)[i + 1], rows[i].read) << "row " << i;
}

TEST(GoalFile, CsvReplacesWhole) {
    ScopedWorkDir dir;
    auto save = [](const std::string& path) {
        return records::SaveLedgerCsv(path, 1, [](std::size_t) {
            return records::CsvLedgerRow{"2026年12月07日", "晩酌", Money("50"), Money("50")};
        });
    };
    WriteBytes("old.csv", "old");
    ASSERT_EQ(::symlink("old.csv", "link.csv"), 0);
    EXPECT_TRUE(save("link.csv").ok()); // written through the link, which stays a link
    struct stat st {};
    EXPECT_TRUE(lstat("link.csv", &st) == 0 && S_ISLNK(st.st_mode));
    EXPECT_TRUE(ReadBytes("old.csv").ends_with("\"晩酌\",50,50\r\n"));
    ASSERT_EQ(::mkdir("folder.csv", 0700), 0);
    EXPECT_EQ(save("folder.csv").code(), Status::Code::System);
    EXPECT_EQ(save("missing/x.csv").code(), Status::Code::System);
    // Only the files asked for are there: no temporary is left behind.
    EXPECT_EQ(Listing("."), (std::vector<std::string>{".", "..", "folder.csv", "link.csv", "old.csv"}));
}
