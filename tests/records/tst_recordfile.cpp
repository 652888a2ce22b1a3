// Record lines on disk, byte for byte: writing, reading, name lookup and the replacement of a file.
#include "filesupport.h"
#include "records/data_file_names.h"
#include "records/record_file.h"
#include "records/safe_save.h"
#include "records/utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace files;
using records::Currency;
using records::FieldKind;
using records::FieldValue;
using records::RecordFile;
using records::Status;

namespace {

constexpr std::array kLedger = {FieldKind::Text, FieldKind::Text, FieldKind::Money};
const char* const kName = "テーマ１.txt";

std::vector<FieldValue> Ledger(const char* date, const char* item, std::int64_t tenThousandths) {
    return {std::string(date), std::string(item), Currency::FromTenThousandths(tenThousandths)};
}

Status WriteAll(const char* name, const std::vector<std::vector<FieldValue>>& records) {
    RecordFile file;
    Status status = file.OpenForOutput(name);
    for (const auto& record : records) {
        if (status)
            status = file.WriteRecord(record);
    }
    return status ? file.Close() : status;
}

std::vector<std::vector<FieldValue>> ReadAll(const char* name, std::span<const FieldKind> kinds, Status& status) {
    std::vector<std::vector<FieldValue>> out;
    RecordFile file;
    status = file.OpenForInput(name);
    while (status && !file.AtEnd()) {
        std::vector<FieldValue> values;
        status = file.ReadRecord(kinds, values);
        if (status)
            out.push_back(values);
    }
    (void)file.Close();
    return out;
}

// The names in the current directory, without "." and ".."; hidden ones (a leading ".") only when asked.
std::vector<std::string> Entries(bool hidden) {
    std::vector<std::string> names;
    for (const std::string& name : Listing("."))
        if (name != "." && name != ".." && (hidden || name[0] != '.'))
            names.push_back(name);
    return names;
}

// A character written `count` times, in UTF-8.
std::string Repeated(char32_t cp, std::size_t count) {
    std::string one, out;
    records::AppendUtf8(one, cp);
    for (std::size_t i = 0; i < count; ++i)
        out += one;
    return out;
}

} // namespace

TEST(RecordFile, ExampleLedgerLineInCodePage932) {
    ScopedWorkDir dir;
    ASSERT_TRUE(WriteAll(kName, {Ledger("2008年05月10日", "タクシーを使ったつもり", 6900000)}).ok());
    const std::string expected =
        "\"\x32\x30\x30\x38\x94\x4e\x30\x35\x8c\x8e\x31\x30\x93\xfa\",\""
        "\x83\x5e\x83\x4e\x83\x56\x81\x5b\x82\xf0\x8e\x67\x82\xc1\x82\xbd\x82\xc2\x82\xe0\x82\xe8"
        "\",690\r\n";
    ASSERT_EQ(ReadBytes(kName), expected);
    ASSERT_EQ(ReadBytes(kName), Cp932("\"2008年05月10日\",\"タクシーを使ったつもり\",690\r\n"));
}

TEST(RecordFile, AmountsAndTextsRoundTrip) {
    ScopedWorkDir dir;
    const std::vector<std::vector<FieldValue>> written = {
        Ledger("2026年12月07日", "半分", 125000),       Ledger("2026年12月07日", "タクシー", 6900000),
        Ledger("2026年12月07日", "払い戻し", -300000),  Ledger("2026年12月07日", "", 0),
        Ledger("2026年12月07日", "お風呂, 晩酌", 5000), Ledger("2026年12月07日", "  空白  ", 1),
    };
    ASSERT_TRUE(WriteAll(kName, written).ok());
    ASSERT_EQ(ReadBytes(kName), Cp932("\"2026年12月07日\",\"半分\",12.5\r\n"
                                      "\"2026年12月07日\",\"タクシー\",690\r\n"
                                      "\"2026年12月07日\",\"払い戻し\",-30\r\n"
                                      "\"2026年12月07日\",\"\",0\r\n"
                                      "\"2026年12月07日\",\"お風呂, 晩酌\",0.5\r\n"
                                      "\"2026年12月07日\",\"  空白  \",0.0001\r\n"));
    Status status;
    const auto read = ReadAll(kName, kLedger, status);
    ASSERT_TRUE(status.ok()) << Describe(status);
    ASSERT_TRUE(read == written);
}

TEST(RecordFile, EmptyFileIsAtEndAtOnce) {
    ScopedWorkDir dir;
    ASSERT_TRUE(WriteAll(kName, {}).ok());
    ASSERT_TRUE(FileExists(kName));
    ASSERT_EQ(ReadBytes(kName).size(), 0);
    RecordFile file;
    ASSERT_TRUE(file.OpenForInput(kName).ok());
    ASSERT_TRUE(file.AtEnd());
    std::vector<FieldValue> values;
    ASSERT_EQ(file.ReadRecord(kLedger, values).code(), Status::Code::Damaged);
}

TEST(RecordFile, ReaderAcceptsOtherLineEndsAndBlankLines) {
    ScopedWorkDir dir;
    WriteBytes(kName, Cp932("\r\n\"a\",\"b\",1\n\n  \r\n\"c\",\"d\",-.5\r\"e\",f g ,2\r\n\r\n"));
    Status status;
    const auto read = ReadAll(kName, kLedger, status);
    ASSERT_TRUE(status.ok()) << Describe(status);
    const std::vector<std::vector<FieldValue>> expected = {Ledger("a", "b", 10000), Ledger("c", "d", -5000),
                                                           Ledger("e", "f g", 20000)};
    ASSERT_TRUE(read == expected);
}

TEST(RecordFile, ReaderTakesFieldsAcrossLines) {
    // A line end ends a field as a comma does: a record is the next fields, whichever lines they are on.
    ScopedWorkDir dir;
    WriteBytes(kName, Cp932("\"名前\"\r\n\"二つ目\"\r\n"));
    constexpr std::array one = {FieldKind::Text};
    RecordFile file;
    ASSERT_TRUE(file.OpenForInput(kName).ok());
    std::vector<FieldValue> values;
    ASSERT_TRUE(file.ReadRecord(one, values).ok());
    ASSERT_EQ(std::get<std::string>(values[0]), "名前");
    ASSERT_TRUE(!file.AtEnd());
    ASSERT_TRUE(file.ReadRecord(one, values).ok());
    ASSERT_TRUE(file.AtEnd());
}

TEST(RecordFile, DamagedContentIsReportedWithItsLine) {
    const struct {
        const char* name;
        std::string bytes;
        int line;
        Status::What what;
    } rows[] = {
        {"cut short", Cp932("\"a\",\"b\",1\r\n\"c\",\"d\"\r\n"), 2, Status::What::RecordCutShort},
        {"extra field", Cp932("\"a\",\"b\",1\r\n\"c\",\"d\",2,3\r\n\"e\",\"f\",4\r\n"), 2, Status::What::ExtraField},
        {"extra field on the last line", Cp932("\"a\",\"b\",1\r\n\"c\",\"d\",2,\"x\""), 2, Status::What::ExtraField},
        {"unclosed quote", Cp932("\"a\",\"b\",1\r\n\"a\",\"b\",1\r\n\"c,d,3\r\n"), 3, Status::What::QuoteNotClosed},
        {"amount not a number", Cp932("\"a\",\"b\",1\r\n\"c\",\"d\",abc\r\n"), 2, Status::What::NotAnAmount},
        {"not code page 932", std::string("\"a\",\"b\",1\r\n\"\x85\x40\",\"d\",1\r\n"), 2,
         Status::What::NotCodePage932},
        {"lead byte at a line end", std::string("\"a\",\"b\",1\r\n\"\x82\r\n"), 2, Status::What::NotCodePage932},
        {"NUL byte", std::string("\"a\",\"b\",1\r\n\"c\",\"d\0\",1\r\n", 22), 2, Status::What::NulByte},
        {"UTF-8 with byte-order mark", std::string("\xEF\xBB\xBF\"a\",\"b\",1\r\n"), 1, Status::What::Utf8File},
        {"UTF-8 without mark", std::string("\"2026年12月07日\",\"タクシー\",690\r\n"), 1, Status::What::Utf8File},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedWorkDir dir;
        WriteBytes(kName, row.bytes);
        Status status;
        (void)ReadAll(kName, kLedger, status);
        EXPECT_EQ(status.code(), Status::Code::Damaged);
        EXPECT_EQ(status.line(), row.line);
        EXPECT_EQ(status.what(), row.what);
        EXPECT_EQ(ReadBytes(kName), row.bytes);
    }
}

// The record with `text` is refused by an append and by a rewrite, and the file keeps its bytes.
static void RefusedOnAppendAndRewrite(const std::string& text, Status::What what) {
    ScopedWorkDir dir;
    ASSERT_TRUE(WriteAll(kName, {Ledger("2026年12月07日", "前からの記録", 10000)}).ok());
    const std::string before = ReadBytes(kName);
    RecordFile file;
    ASSERT_TRUE(file.OpenForAppend(kName).ok());
    const std::vector<FieldValue> record = {std::string("2026年12月07日"), text, Currency()};
    const Status status = file.WriteRecord(record);
    EXPECT_EQ(status.code(), Status::Code::Unsavable);
    EXPECT_EQ(status.what(), what);
    ASSERT_TRUE(file.Close().ok());
    ASSERT_EQ(ReadBytes(kName), before);

    // A rewrite with such a text fails by Close at the latest, naming the character, and the old file stays.
    RecordFile rewrite;
    ASSERT_TRUE(rewrite.OpenForOutput(kName).ok());
    const std::vector<FieldValue> fine = {std::string("2026年12月07日"), std::string("晩酌"), Currency()};
    ASSERT_TRUE(rewrite.WriteRecord(fine).ok());
    const Status written = rewrite.WriteRecord(record);
    const Status closed = rewrite.Close();
    const Status& failure = written.ok() ? closed : written;
    EXPECT_EQ(failure.code(), Status::Code::Unsavable);
    EXPECT_EQ(failure.what(), what) << Describe(failure);
    ASSERT_EQ(ReadBytes(kName), before);
}

TEST(RecordFile, WriterRefusesWhatALineCannotCarry) {
    const struct {
        const char* name;
        const char* text;
        Status::What what;
    } rows[] = {
        {"double quote", "15\"の画面", Status::What::DoubleQuote},
        {"line break", "一行目\r\n二行目", Status::What::LineBreak},
        {"not in code page 932", "한국어", Status::What::UnsavableCharacter},
        {"one-way mapping", "波\u301C線", Status::What::UnsavableCharacter}, // would read back as U+FF5E
        {"backslash", "C:\\data", Status::What::UnsavableCharacter},         // would read back as a yen sign
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RefusedOnAppendAndRewrite(row.text, row.what);
    }
}

// Byte 0x5C in a text field is the yen sign, as Windows shows it, and goes back as 0x5C: a file from
// Windows is rewritten byte for byte.
TEST(RecordFile, YenSignIsByte5C) {
    ScopedWorkDir dir;
    // "¥¥表" in the item: 0x5C twice, then 表, whose second byte is 0x5C too.
    const std::string windows = Cp932("\"2026年12月07日\",\"") + "\x5C\x5C\x95\x5C" + "\",100\r\n";
    WriteBytes(kName, windows);
    Status status;
    const auto read = ReadAll(kName, kLedger, status);
    ASSERT_TRUE(status.ok());
    ASSERT_EQ(read.size(), std::size_t(1));
    ASSERT_EQ(std::get<std::string>(read[0][1]), "¥¥表");
    ASSERT_TRUE(WriteAll(kName, read).ok());
    ASSERT_EQ(ReadBytes(kName), windows);
}

TEST(RecordFile, NamesMatchIgnoringCase) {
    ScopedWorkDir dir;
    ASSERT_TRUE(WriteAll(kName, {Ledger("d", "i", 10000)}).ok());
    // Created as "テーマ１.txt", found as "テーマ１.TXT"; appending and rewriting reach the same file.
    ASSERT_EQ(records::ResolveDataFileName("テーマ１.TXT"), "テーマ１.txt");
    {
        RecordFile file;
        ASSERT_TRUE(file.OpenForAppend("テーマ１.TXT").ok());
        ASSERT_TRUE(file.WriteRecord(Ledger("d", "j", 20000)).ok());
        ASSERT_TRUE(file.Close().ok());
    }
    Status status;
    ASSERT_EQ(ReadAll("テーマ１.TXT", kLedger, status).size(), std::size_t(2));
    ASSERT_TRUE(WriteAll("テーマ１.TXT", {Ledger("d", "k", 1)}).ok());
    ASSERT_EQ(ReadBytes(kName), std::string("\"d\",\"k\",0.0001\r\n"));
    ASSERT_EQ(Entries(false).size(), 1u);

    // Full-width letters fold too, and a name unpacked from a Windows archive is still in code page 932.
    ASSERT_EQ(records::ResolveDataFileName("ＡＢＣ.txt"), std::string());
    WriteBytes("\x8d\x80\x96\xda\x82\x50.TXT", "\"x\",1\r\n"); // 項目１.TXT in code page 932
    ASSERT_EQ(records::ResolveDataFileName("項目１.txt"), std::string("\x8d\x80\x96\xda\x82\x50.TXT"));
    constexpr std::array item = {FieldKind::Text, FieldKind::Money};
    ASSERT_EQ(ReadAll("項目１.txt", item, status).size(), std::size_t(1));
    ASSERT_TRUE(status.ok());
    WriteBytes("ｔｅｓｔ.txt", "");
    ASSERT_EQ(records::ResolveDataFileName("ＴＥＳＴ.TXT"), "ｔｅｓｔ.txt");
}

TEST(RecordFile, OutputReplacesTheFileWhole) {
    ScopedWorkDir dir;
    ASSERT_TRUE(WriteAll(kName, {Ledger("a", "b", 10000), Ledger("c", "d", 20000)}).ok());
    {
        // Until Close, the old content is what a reader sees; never a mix.
        RecordFile file;
        ASSERT_TRUE(file.OpenForOutput(kName).ok());
        ASSERT_TRUE(file.WriteRecord(Ledger("e", "f", 30000)).ok());
        ASSERT_EQ(ReadBytes(kName), std::string("\"a\",\"b\",1\r\n\"c\",\"d\",2\r\n"));
        ASSERT_TRUE(file.Close().ok());
    }
    ASSERT_EQ(ReadBytes(kName), std::string("\"e\",\"f\",3\r\n"));
    {
        // An output dropped without Close leaves the file as it was, and no stray file beside it.
        RecordFile file;
        ASSERT_TRUE(file.OpenForOutput(kName).ok());
        ASSERT_TRUE(file.WriteRecord(Ledger("g", "h", 40000)).ok());
    }
    ASSERT_EQ(ReadBytes(kName), std::string("\"e\",\"f\",3\r\n"));
    ASSERT_EQ(Entries(true).size(), 1u);
}

TEST(RecordFile, FailedRewriteLeavesTheOldBytes) {
    ScopedWorkDir dir;
    ASSERT_TRUE(WriteAll(kName, {Ledger("a", "b", 10000)}).ok());
    const std::string before = ReadBytes(kName);
    Status status;
    {
        const FileSizeLimit full(4096);
        std::vector<std::vector<FieldValue>> many(20000, Ledger("2026年12月07日", "長い項目の名前", 10000));
        status = WriteAll(kName, many);
    }
    ASSERT_EQ(status.code(), Status::Code::System);
    ASSERT_NE(status.what(), Status::What::None);
    ASSERT_EQ(ReadBytes(kName), before);
    ASSERT_EQ(Entries(true).size(), 1u);
}

TEST(RecordFile, FailedAppendLeavesWholeLines) {
    ScopedWorkDir dir;
    ASSERT_TRUE(WriteAll(kName, {Ledger("a", "b", 10000)}).ok());
    const std::string before = ReadBytes(kName);
    Status status;
    {
        const FileSizeLimit full(static_cast<rlim_t>(before.size() + 5));
        RecordFile file;
        ASSERT_TRUE(file.OpenForAppend(kName).ok());
        status = file.WriteRecord(Ledger("2026年12月07日", "入りきらない記録", 10000));
        (void)file.Close();
    }
    ASSERT_EQ(status.code(), Status::Code::System);
    ASSERT_EQ(ReadBytes(kName), before);
}

TEST(RecordFile, AppendAfterALastLineWithoutLineEnd) {
    ScopedWorkDir dir;
    WriteBytes(kName, "\"a\",\"b\",1");
    {
        RecordFile file;
        ASSERT_TRUE(file.OpenForAppend(kName).ok());
        ASSERT_TRUE(file.WriteRecord(Ledger("c", "d", 20000)).ok());
        ASSERT_TRUE(file.Close().ok());
    }
    ASSERT_EQ(ReadBytes(kName), std::string("\"a\",\"b\",1\r\n\"c\",\"d\",2\r\n"));
}

TEST(RecordFile, OutputKeepsASymbolicLink) {
    ScopedWorkDir dir;
    ASSERT_EQ(mkdir("data", 0700), 0);
    WriteBytes("data/real.txt", "\"a\",\"b\",1\r\n");
    ASSERT_EQ(symlink("data/real.txt", kName), 0);
    ASSERT_TRUE(WriteAll(kName, {Ledger("c", "d", 20000)}).ok());
    struct stat st {};
    ASSERT_TRUE(lstat(kName, &st) == 0 && S_ISLNK(st.st_mode));
    ASSERT_EQ(ReadBytes("data/real.txt"), std::string("\"c\",\"d\",2\r\n"));
}

TEST(RecordFile, MissingFileIsNotFound) {
    ScopedWorkDir dir;
    RecordFile file;
    ASSERT_EQ(file.OpenForInput(kName).code(), Status::Code::NotFound);
}

// Both spellings of a name, or a name from a Windows archive beside one from here, are one file to every
// operation; when more than one of them holds data, no operation guesses.
TEST(RecordFile, OneRuleForSeveralSpellings) {
    ScopedWorkDir dir;
    WriteBytes("テーマ１.txt", "");
    WriteBytes("テーマ１.TXT", "\"a\",\"b\",1\r\n");
    auto lookup = records::LookUpDataFile("テーマ１.txt");
    ASSERT_TRUE(lookup.status.ok());
    ASSERT_EQ(lookup.used, "テーマ１.TXT");
    ASSERT_EQ(lookup.unusedEmpty, std::vector<std::string>{"テーマ１.txt"});
    // Append, rewrite and read all reach the file with the data, by either spelling.
    ASSERT_TRUE(records::AppendRecord("テーマ１.txt", Ledger("c", "d", 20000)).ok());
    ASSERT_TRUE(WriteAll("テーマ１.txt", {Ledger("c", "d", 20000)}).ok());
    Status status;
    ASSERT_EQ(ReadAll("テーマ１.TXT", kLedger, status).size(), std::size_t(1));
    ASSERT_EQ(ReadBytes("テーマ１.TXT"), std::string("\"c\",\"d\",2\r\n"));
    ASSERT_EQ(ReadBytes("テーマ１.txt"), std::string());
    // Emptied, both are empty: the first by name is used, and a new deposit makes it the one with data.
    ASSERT_TRUE(records::EmptyFile("テーマ１.txt").ok());
    ASSERT_EQ(ReadBytes("テーマ１.TXT"), std::string());
    ASSERT_EQ(records::ResolveDataFileName("テーマ１.txt"), "テーマ１.TXT");
    ASSERT_TRUE(records::AppendRecord("テーマ１.txt", Ledger("e", "f", 30000)).ok());
    ASSERT_EQ(ReadBytes("テーマ１.TXT"), std::string("\"e\",\"f\",3\r\n"));

    // Two with data: every operation refuses, naming both, and neither file changes.
    WriteBytes("\x83\x65\x81\x5b\x83\x7d\x82\x50.txt", "\"g\",\"h\",4\r\n"); // テーマ１.txt in code page 932
    lookup = records::LookUpDataFile("テーマ１.TXT");
    ASSERT_EQ(lookup.status.code(), Status::Code::Ambiguous);
    ASSERT_TRUE(lookup.used.empty());
    const std::vector<std::string> both = {"\x83\x65\x81\x5b\x83\x7d\x82\x50.txt", "テーマ１.TXT"};
    ASSERT_EQ(lookup.status.entries(), both);
    RecordFile file;
    ASSERT_EQ(file.OpenForInput("テーマ１.txt").code(), Status::Code::Ambiguous);
    ASSERT_EQ(file.OpenForAppend("テーマ１.txt").code(), Status::Code::Ambiguous);
    ASSERT_EQ(file.OpenForOutput("テーマ１.txt").code(), Status::Code::Ambiguous);
    ASSERT_EQ(records::EmptyFile("テーマ１.txt").code(), Status::Code::Ambiguous);
    ASSERT_EQ(ReadBytes("テーマ１.TXT"), std::string("\"e\",\"f\",3\r\n"));
    ASSERT_EQ(ReadBytes("\x83\x65\x81\x5b\x83\x7d\x82\x50.txt"), std::string("\"g\",\"h\",4\r\n"));
}

// What a write cut off by a kill or a power cut leaves at the end: the last line, without a line end and not
// a whole record. The records before it read, it is reported once, and the next append removes it.
// `before`, then the remains `torn` of a write cut off: the records before it read, the remains are reported
// once, and the next append removes them.
static void TornLineLeftOutThenRemoved(const std::string& before, const std::string& torn) {
    ScopedWorkDir dir;
    WriteBytes(kName, before + torn);
    RecordFile file;
    ASSERT_TRUE(file.OpenForInput(kName).ok());
    std::vector<FieldValue> values;
    std::size_t whole = 0;
    while (!file.AtEnd()) {
        const Status status = file.ReadRecord(kLedger, values);
        if (!status.ok()) {
            ASSERT_EQ(status.code(), Status::Code::Torn);
            ASSERT_EQ(status.line(), std::count(before.begin(), before.end(), '\n') + 1);
            continue; // reported once, then at the end
        }
        ++whole;
    }
    ASSERT_EQ(whole, std::size_t(std::count(before.begin(), before.end(), '\n')));
    ASSERT_TRUE(file.Close().ok());
    ASSERT_EQ(ReadBytes(kName), before + torn); // reading changes nothing

    ASSERT_TRUE(records::AppendRecord(kName, Ledger("2026年12月08日", "晩酌", 500000)).ok());
    const std::string after = before + Cp932("\"2026年12月08日\",\"晩酌\",50\r\n");
    ASSERT_EQ(ReadBytes(kName), after);
    Status status;
    ASSERT_EQ(ReadAll(kName, kLedger, status).size(), whole + 1);
    ASSERT_TRUE(status.ok());
}

TEST(RecordFile, TornLastLineIsLeftOutThenRemoved) {
    const std::string one = Cp932("\"2026年12月07日\",\"タクシー\",690\r\n");
    const struct {
        const char* name;
        std::string before;
        std::string torn;
    } rows[] = {
        {"cut in a text", one, Cp932("\"2026年12月07日\",\"タク")},
        {"cut before the amount", one, Cp932("\"2026年12月07日\",\"タクシー\",")},
        {"cut inside a character", one, std::string("\"2026\x94")},
        {"zeros of a power cut", one, std::string(300, '\0')},
        {"the first record", std::string(), Cp932("\"2026年12月07日\",\"タ")},
        {"half-width katakana", Cp932("\"ﾊｲ\",\"ﾓｽ\",1\r\n"), Cp932("\"ﾊｲ\",\"ﾓ")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TornLineLeftOutThenRemoved(row.before, row.torn);
    }
}

// As an editor saves it: the last record is whole, only its line end is missing. It reads, and an append
// adds the line end before the new record.
TEST(RecordFile, WholeLastRecordWithoutLineEnd) {
    ScopedWorkDir dir;
    WriteBytes(kName, "\"a\",\"b\",1\r\n\"c\",\"d\",2");
    Status status;
    ASSERT_EQ(ReadAll(kName, kLedger, status).size(), std::size_t(2));
    ASSERT_TRUE(status.ok());
    ASSERT_TRUE(records::AppendRecord(kName, Ledger("e", "f", 30000)).ok());
    ASSERT_EQ(ReadBytes(kName), std::string("\"a\",\"b\",1\r\n\"c\",\"d\",2\r\n\"e\",\"f\",3\r\n"));
}

// A Ctrl-Z that ends the file, as old Windows editors leave it, reads as nothing; an append writes its
// record in the mark's place, so the file reads back with every record.
TEST(RecordFile, EndOfFileMarkReadsAsNothing) {
    const struct {
        const char* name;
        std::string bytes;
        std::size_t records;
        std::string appended;
    } rows[] = {
        {"after the last line end", "\"a\",\"b\",1\r\n\x1A", 1, "\"a\",\"b\",1\r\n\"e\",\"f\",3\r\n"},
        {"after a record without line end", "\"a\",\"b\",1\x1A", 1, "\"a\",\"b\",1\r\n\"e\",\"f\",3\r\n"},
        {"alone", "\x1A", 0, "\"e\",\"f\",3\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedWorkDir dir;
        WriteBytes(kName, row.bytes);
        Status status;
        EXPECT_EQ(ReadAll(kName, kLedger, status).size(), row.records);
        EXPECT_TRUE(status.ok()) << Describe(status);
        ASSERT_TRUE(records::AppendRecord(kName, Ledger("e", "f", 30000)).ok());
        EXPECT_EQ(ReadBytes(kName), row.appended);
        EXPECT_EQ(ReadAll(kName, kLedger, status).size(), row.records + 1);
        EXPECT_TRUE(status.ok()) << Describe(status);
    }
}

// The writer takes nothing the reader refuses: texts that happen to be valid UTF-8 as bytes, and the longest
// texts the boxes take, measured in the file's bytes.
TEST(RecordFile, WhatTheWriterTakesTheReaderTakes) {
    ScopedWorkDir dir;
    const std::vector<std::vector<FieldValue>> written = {
        Ledger("2026年12月07日", "ﾊｲ", 10000), // 0xCA 0xB2: valid UTF-8 as bytes
        Ledger("2026年12月07日", "ﾓｽ", 20000),
        {std::string("ﾏｲﾎｰ"), Repeated(U'漢', 32767), Currency()},
        {std::string(65536, 'x'), Repeated(U'貯', 22000), Currency()},
    };
    ASSERT_TRUE(WriteAll(kName, written).ok());
    Status status;
    ASSERT_TRUE(ReadAll(kName, kLedger, status) == written);
    ASSERT_TRUE(status.ok()) << Describe(status);
    WriteBytes("theme.txt", Cp932("\"ﾏｲﾎｰ\"\r\n"));
    constexpr std::array theme = {FieldKind::Text};
    ASSERT_EQ(ReadAll("theme.txt", theme, status).size(), std::size_t(1));
    ASSERT_TRUE(status.ok());

    // One byte more than the reader takes is refused by the writer, and by the check the entry makes.
    const std::string tooLong(65537, 'x');
    ASSERT_TRUE(records::TextFieldFault(tooLong).has_value());
    ASSERT_TRUE(!records::TextFieldFault(std::string(65536, 'x')).has_value());
    ASSERT_EQ(records::AppendRecord(kName, Ledger("d", tooLong.c_str(), 1)).code(), Status::Code::Unsavable);
    ASSERT_TRUE(ReadAll(kName, kLedger, status) == written);
}

// An append that would take a file past what the reader takes is refused, and the file stays as it was.
TEST(RecordFile, WriterKeepsTheFileReadable) {
    ScopedWorkDir dir;
    const std::string item(60000, 'x');
    {
        // A ledger of long items just under the limit, made sparse: only its size matters to an append.
        std::FILE* f = std::fopen(kName, "wb");
        ASSERT_TRUE(f);
        ASSERT_EQ(std::fseek(f, static_cast<long>(RecordFile::kMaxInputBytes) - 40000, SEEK_SET), 0);
        std::fputs("\r\n", f);
        std::fclose(f);
    }
    const std::string before = ReadBytes(kName);
    const Status status = records::AppendRecord(kName, Ledger("2026年12月07日", item.c_str(), 10000));
    ASSERT_EQ(status.code(), Status::Code::Unsavable);
    ASSERT_NE(status.what(), Status::What::None);
    ASSERT_EQ(ReadBytes(kName), before);
    ASSERT_TRUE(records::AppendRecord(kName, Ledger("2026年12月07日", "短い", 10000)).ok());
}

TEST(RecordFile, PipesAndDevicesAreRefusedWithoutWaiting) {
    ScopedWorkDir dir;
    ASSERT_EQ(mkfifo(kName, 0600), 0);
    RecordFile file;
    ASSERT_EQ(file.OpenForInput(kName).code(), Status::Code::NotAFile); // nothing waits for a writer
    ASSERT_EQ(file.OpenForAppend(kName).code(), Status::Code::NotAFile);
    ASSERT_EQ(file.OpenForOutput(kName).code(), Status::Code::NotAFile);
    struct stat st {};
    ASSERT_TRUE(lstat(kName, &st) == 0 && S_ISFIFO(st.st_mode)); // still the pipe
}

// An entry named like a data file that is no file stops every operation on the name, and is the entry named.
enum class NoFile { Folder, LinkToFolder, Pipe };

static void EntryThatIsNoFileIsNamed(const std::string& entry, NoFile made, const std::optional<std::string>& beside) {
    ScopedWorkDir dir;
    if (beside)
        WriteBytes(kName, *beside);
    switch (made) {
    case NoFile::Folder:
        ASSERT_EQ(mkdir(entry.c_str(), 0700), 0);
        break;
    case NoFile::LinkToFolder:
        ASSERT_EQ(mkdir("elsewhere", 0700), 0);
        ASSERT_EQ(symlink("elsewhere", entry.c_str()), 0);
        break;
    case NoFile::Pipe:
        ASSERT_EQ(mkfifo(entry.c_str(), 0600), 0);
        break;
    }
    const bool folder = made != NoFile::Pipe;
    const Status::What what = folder ? Status::What::FolderInPlace : Status::What::SpecialInPlace;
    const std::vector<std::string> before = Entries(true);
    for (const char* asked : {kName, "テーマ１.TXT"}) {
        SCOPED_TRACE(asked);
        const records::DataFileLookup lookup = records::LookUpDataFile(asked);
        EXPECT_EQ(lookup.status.code(), Status::Code::NotAFile);
        EXPECT_EQ(lookup.status.what(), what);
        EXPECT_EQ(lookup.status.place(), entry);
        EXPECT_EQ(lookup.notAFile, entry);
        EXPECT_EQ(lookup.notAFileKind, folder ? records::EntryKind::Directory : records::EntryKind::Special);
        EXPECT_TRUE(lookup.used.empty());
    }
    RecordFile file;
    for (const Status& status : {file.OpenForInput(kName), file.OpenForAppend(kName), file.OpenForOutput(kName)}) {
        EXPECT_EQ(status.code(), Status::Code::NotAFile) << Describe(status);
        EXPECT_EQ(status.place(), entry);
    }
    EXPECT_EQ(Entries(true), before);
    if (beside) {
        EXPECT_EQ(ReadBytes(kName), *beside);
    }
}

TEST(RecordFile, EntryThatIsNoFileIsNamed) {
    const std::string ledger = "\"a\",\"b\",1\r\n";
    const struct {
        const char* name;
        std::string entry;
        NoFile made;
        std::optional<std::string> beside; // a regular file of the data file's name, or none
    } rows[] = {
        {"folder of the name", kName, NoFile::Folder, std::nullopt},
        {"folder in capitals, beside a ledger", "テーマ１.TXT", NoFile::Folder, ledger},
        {"folder in capitals, beside an empty ledger", "テーマ１.TXT", NoFile::Folder, std::string()},
        {"link to a folder", "テーマ１.Txt", NoFile::LinkToFolder, ledger},
        {"pipe in capitals", "テーマ１.TXT", NoFile::Pipe, ledger},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EntryThatIsNoFileIsNamed(row.entry, row.made, row.beside);
    }
}

// A hard link, or a symbolic link, under another spelling is a second name of one file: one file with data,
// not two. Every operation reaches it by either name, a rewrite keeps both names on it, and neither name
// is ever taken for an empty leftover.
static void NamesOfOneFileAreOneFile(bool hard) {
    ScopedWorkDir dir;
    const char* const other = "テーマ１.TXT";
    ASSERT_TRUE(WriteAll(kName, {Ledger("a", "b", 10000)}).ok());
    ASSERT_EQ(hard ? link(kName, other) : symlink(kName, other), 0);
    auto sameFile = [&] {
        struct stat a {
        }, b{}, own{};
        return stat(kName, &a) == 0 && stat(other, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino &&
               lstat(other, &own) == 0 && S_ISLNK(own.st_mode) != hard;
    };
    for (const char* asked : {kName, other}) {
        SCOPED_TRACE(asked);
        const records::DataFileLookup lookup = records::LookUpDataFile(asked);
        ASSERT_TRUE(lookup.status.ok()) << Describe(lookup.status);
        EXPECT_EQ(lookup.used, asked); // the spelling asked for, where there is one
        EXPECT_EQ(lookup.otherNames, std::vector<std::string>{asked == kName ? other : kName});
        EXPECT_TRUE(lookup.unusedEmpty.empty());
    }
    ASSERT_TRUE(records::AppendRecord(other, Ledger("c", "d", 20000)).ok());
    ASSERT_EQ(ReadBytes(kName), std::string("\"a\",\"b\",1\r\n\"c\",\"d\",2\r\n"));
    ASSERT_TRUE(WriteAll(other, {Ledger("e", "f", 30000), Ledger("g", "h", 40000)}).ok());
    ASSERT_TRUE(sameFile());
    ASSERT_TRUE(WriteAll(kName, {Ledger("g", "h", 40000)}).ok());
    ASSERT_TRUE(sameFile());
    ASSERT_EQ(ReadBytes(other), std::string("\"g\",\"h\",4\r\n"));
    ASSERT_TRUE(records::EmptyFile(other).ok());
    ASSERT_TRUE(sameFile());
    ASSERT_EQ(ReadBytes(kName), std::string());
    const records::DataFileLookup emptied = records::LookUpDataFile(kName);
    ASSERT_TRUE(emptied.status.ok());
    ASSERT_TRUE(emptied.unusedEmpty.empty());
    ASSERT_EQ(Entries(true), std::vector<std::string>({other, kName}));
}

TEST(RecordFile, NamesOfOneFileAreOneFile) {
    const struct {
        const char* name;
        bool hard;
    } rows[] = {{"hard link", true}, {"symbolic link", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        NamesOfOneFileAreOneFile(row.hard);
    }
}

// Only the program's own temporaries go: the exact shape it makes them in, for one of the data files, as a
// regular file. Whatever else is in the folder stays byte for byte, however like one it looks.
enum class Made { File, Folder, Link, CutOffRewrite }; // the last of a data file: what a killed rewrite leaves

static void OnlyTheProgramsTemporariesAreRemoved(std::string entry, Made made, bool removed) {
    ScopedWorkDir dir;
    const std::string ledger = Cp932("\"2026年12月07日\",\"タクシー\",690\r\n");
    WriteBytes(kName, ledger);
    const std::string bytes = ledger + "\"2026";
    switch (made) {
    case Made::File:
        WriteBytes(entry, bytes);
        break;
    case Made::Folder:
        ASSERT_EQ(mkdir(entry.c_str(), 0700), 0);
        break;
    case Made::Link:
        ASSERT_EQ(symlink(kName, entry.c_str()), 0);
        break;
    case Made::CutOffRewrite: {
        // A rewrite killed before it could finish: what it leaves is the program's own shape, whatever that is.
        if (entry != kName)
            WriteBytes(entry, ledger);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RecordFile file;
            const bool written = file.OpenForOutput(entry).ok() && file.WriteEncodedLines(ledger).ok();
            _exit(written ? 0 : 1); // no Close, no destructor: as a kill leaves it
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        std::vector<std::string> left;
        for (const std::string& name : Entries(true)) {
            struct stat st {};
            if (name.find(records::kTemporaryMark) != std::string::npos && lstat(name.c_str(), &st) == 0 &&
                S_ISREG(st.st_mode))
                left.push_back(name);
        }
        ASSERT_EQ(left.size(), 1u);
        ASSERT_EQ(left.front(),
                  "." + entry + std::string(records::kTemporaryMark) + left.front().substr(left.front().size() - 6));
        entry = left.front();
        break;
    }
    }
    const std::vector<std::string> before = Entries(true);
    const std::array<std::string_view, 3> names = {kLedgerName, kItemsName, kThemeName};
    EXPECT_EQ(records::RemoveLeftoverTemporaries(names), removed ? 1 : 0);
    std::vector<std::string> after = before;
    if (removed)
        std::erase(after, entry);
    EXPECT_EQ(Entries(true), after);
    EXPECT_EQ(ReadBytes(kName), ledger);
    if (made == Made::File && !removed) {
        EXPECT_EQ(ReadBytes(entry), bytes);
    }
}

TEST(RecordFile, OnlyTheProgramsTemporariesAreRemoved) {
    const struct {
        const char* name;
        std::string entry;
        Made made;
        bool removed;
    } rows[] = {
        {"a user's backup", ".テーマ１.txt.backup", Made::File, false},
        {"six digits, in capitals", ".テーマ１.TXT.202412", Made::File, false},
        {"six letters", ".項目１.txt.before", Made::File, false},
        {"six letters and digits", ".テーマ名１.txt.abc123", Made::File, false},
        {"rsync's shape", ".テーマ１.txt.A1b2C3", Made::File, false},
        {"marked, not a data file", ".other.txt.tsumotto-tmp-abcdef", Made::File, false},
        {"marked, five letters", ".テーマ１.txt.tsumotto-tmp-abcde", Made::File, false},
        {"marked, not hidden", "テーマ１.txt.tsumotto-tmp-abc123", Made::File, false},
        {"marked, not a letter", ".テーマ１.txt.tsumotto-tmp-ab_123", Made::File, false},
        {"marked folder", ".テーマ１.txt.tsumotto-tmp-dir123", Made::Folder, false},
        {"marked link", ".テーマ１.txt.tsumotto-tmp-lnk123", Made::Link, false},
        {"marked", ".テーマ１.txt.tsumotto-tmp-Ab3dE9", Made::File, true},
        {"marked, in capitals", ".項目１.TXT.tsumotto-tmp-zz0000", Made::File, true},
        {"marked, name in code page 932", ".\x83\x65\x81\x5b\x83\x7d\x96\xbc\x82\x50.txt.tsumotto-tmp-q1w2e3",
         Made::File, true},
        {"ledger rewrite cut off", kName, Made::CutOffRewrite, true},
        {"item list rewrite cut off", "項目１.TXT", Made::CutOffRewrite, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        OnlyTheProgramsTemporariesAreRemoved(row.entry, row.made, row.removed);
    }
}

// A file far larger than the pieces it is read in: every record comes back, wherever a piece ends (inside a
// text, between CR and LF, inside a character), and a fault far in is told with its own line.
TEST(RecordFile, LargeFilesReadPieceByPiece) {
    ScopedWorkDir dir;
    std::mt19937 random(20261207);
    std::vector<std::vector<FieldValue>> written;
    std::size_t bytes = 0;
    while (bytes < 3u << 20) {
        const std::size_t length = random() % 3 == 0 ? 1 + random() % 20000 : random() % 40;
        std::string item;
        for (std::size_t i = 0; i < length; ++i)
            records::AppendUtf8(item, random() % 2 ? char32_t(U'あ' + random() % 80) : char32_t(U'a' + random() % 26));
        written.push_back(Ledger("2026年12月07日", item.c_str(), std::int64_t(random() % 2000000) - 1000000));
        bytes += 2 * length + 30;
    }
    ASSERT_TRUE(WriteAll(kName, written).ok());
    Status status;
    ASSERT_TRUE(ReadAll(kName, kLedger, status) == written);
    ASSERT_TRUE(status.ok()) << Describe(status);

    // The same with LF alone, a NUL far in, and a cut-off last record after many pieces.
    std::string file = ReadBytes(kName);
    std::string lf = file;
    for (std::size_t at = lf.find("\r\n"); at != std::string::npos; at = lf.find("\r\n", at))
        lf.erase(at, 1);
    WriteBytes(kName, lf);
    ASSERT_TRUE(ReadAll(kName, kLedger, status) == written);
    ASSERT_TRUE(status.ok());
    std::string nul = file;
    const std::size_t at = file.find('\n', file.size() - 1000);
    nul[at - 3] = '\0';
    WriteBytes(kName, nul);
    (void)ReadAll(kName, kLedger, status);
    ASSERT_EQ(status.code(), Status::Code::Damaged);
    ASSERT_EQ(status.line(), int(written.size()));
    WriteBytes(kName, file + Cp932("\"2026年12月07日\",\"途中"));
    RecordFile reader;
    ASSERT_TRUE(reader.OpenForInput(kName).ok());
    std::vector<FieldValue> values;
    std::size_t read = 0;
    Status last;
    while (!reader.AtEnd()) {
        last = reader.ReadRecord(kLedger, values);
        read += last.ok();
    }
    ASSERT_EQ(read, written.size());
    ASSERT_EQ(last.code(), Status::Code::Torn);
    ASSERT_EQ(last.line(), int(written.size()) + 1);
}
