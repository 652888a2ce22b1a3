// Record lines on disk, byte for byte: writing, reading, name lookup and the replacement of a file.
#include "records/text/record_file.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <array>
#include <cstdio>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
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

} // namespace

class TestRecordFile : public QObject {
    Q_OBJECT

private slots:
    void exampleLedgerLineInCodePage932();
    void amountsAndTextsRoundTrip();
    void emptyFileIsAtEndAtOnce();
    void readerAcceptsOtherLineEndsAndBlankLines();
    void readerTakesFieldsAcrossLines();
    void damagedContentIsReportedWithItsLine_data();
    void damagedContentIsReportedWithItsLine();
    void writerRefusesWhatALineCannotCarry_data();
    void writerRefusesWhatALineCannotCarry();
    void yenSignIsByte5C();
    void namesMatchIgnoringCase();
    void oneRuleForSeveralSpellings();
    void tornLastLineIsLeftOutThenRemoved_data();
    void tornLastLineIsLeftOutThenRemoved();
    void wholeLastRecordWithoutLineEnd();
    void whatTheWriterTakesTheReaderTakes();
    void writerKeepsTheFileReadable();
    void pipesAndDevicesAreRefusedWithoutWaiting();
    void entryThatIsNoFileIsNamed_data();
    void entryThatIsNoFileIsNamed();
    void namesOfOneFileAreOneFile_data();
    void namesOfOneFileAreOneFile();
    void onlyTheProgramsTemporariesAreRemoved_data();
    void onlyTheProgramsTemporariesAreRemoved();
    void largeFilesReadPieceByPiece();
    void outputReplacesTheFileWhole();
    void failedRewriteLeavesTheOldBytes();
    void failedAppendLeavesWholeLines();
    void appendAfterALastLineWithoutLineEnd();
    void outputKeepsASymbolicLink();
    void missingFileIsNotFound();
};

void TestRecordFile::exampleLedgerLineInCodePage932() {
    ScopedWorkDir dir;
    QVERIFY(WriteAll(kName, {Ledger("2008年05月10日", "タクシーを使ったつもり", 6900000)}).ok());
    const QByteArray expected =
        "\"\x32\x30\x30\x38\x94\x4e\x30\x35\x8c\x8e\x31\x30\x93\xfa\",\""
        "\x83\x5e\x83\x4e\x83\x56\x81\x5b\x82\xf0\x8e\x67\x82\xc1\x82\xbd\x82\xc2\x82\xe0\x82\xe8"
        "\",690\r\n";
    QCOMPARE(ReadBytes(kName), expected);
    QCOMPARE(ReadBytes(kName), Cp932(u"\"2008年05月10日\",\"タクシーを使ったつもり\",690\r\n"_s));
}

void TestRecordFile::amountsAndTextsRoundTrip() {
    ScopedWorkDir dir;
    const std::vector<std::vector<FieldValue>> written = {
        Ledger("2026年12月07日", "半分", 125000),       Ledger("2026年12月07日", "タクシー", 6900000),
        Ledger("2026年12月07日", "払い戻し", -300000),  Ledger("2026年12月07日", "", 0),
        Ledger("2026年12月07日", "お風呂, 晩酌", 5000), Ledger("2026年12月07日", "  空白  ", 1),
    };
    QVERIFY(WriteAll(kName, written).ok());
    QCOMPARE(ReadBytes(kName), Cp932(u"\"2026年12月07日\",\"半分\",12.5\r\n"
                                     u"\"2026年12月07日\",\"タクシー\",690\r\n"
                                     u"\"2026年12月07日\",\"払い戻し\",-30\r\n"
                                     u"\"2026年12月07日\",\"\",0\r\n"
                                     u"\"2026年12月07日\",\"お風呂, 晩酌\",0.5\r\n"
                                     u"\"2026年12月07日\",\"  空白  \",0.0001\r\n"_s));
    Status status;
    const auto read = ReadAll(kName, kLedger, status);
    QVERIFY2(status.ok(), status.reason().c_str());
    QVERIFY(read == written);
}

void TestRecordFile::emptyFileIsAtEndAtOnce() {
    ScopedWorkDir dir;
    QVERIFY(WriteAll(kName, {}).ok());
    QVERIFY(FileExists(kName));
    QCOMPARE(ReadBytes(kName).size(), 0);
    RecordFile file;
    QVERIFY(file.OpenForInput(kName).ok());
    QVERIFY(file.AtEnd());
    std::vector<FieldValue> values;
    QCOMPARE(file.ReadRecord(kLedger, values).code(), Status::Code::Damaged);
}

void TestRecordFile::readerAcceptsOtherLineEndsAndBlankLines() {
    ScopedWorkDir dir;
    WriteBytes(kName, Cp932(u"\r\n\"a\",\"b\",1\n\n  \r\n\"c\",\"d\",-.5\r\"e\",f g ,2\r\n\r\n"_s));
    Status status;
    const auto read = ReadAll(kName, kLedger, status);
    QVERIFY2(status.ok(), status.reason().c_str());
    const std::vector<std::vector<FieldValue>> expected = {Ledger("a", "b", 10000), Ledger("c", "d", -5000),
                                                           Ledger("e", "f g", 20000)};
    QVERIFY(read == expected);
}

void TestRecordFile::readerTakesFieldsAcrossLines() {
    // A line end ends a field as a comma does: a record is the next fields, whichever lines they are on.
    ScopedWorkDir dir;
    WriteBytes(kName, Cp932(u"\"名前\"\r\n\"二つ目\"\r\n"_s));
    constexpr std::array one = {FieldKind::Text};
    RecordFile file;
    QVERIFY(file.OpenForInput(kName).ok());
    std::vector<FieldValue> values;
    QVERIFY(file.ReadRecord(one, values).ok());
    QCOMPARE(QString::fromStdString(std::get<std::string>(values[0])), u"名前"_s);
    QVERIFY(!file.AtEnd());
    QVERIFY(file.ReadRecord(one, values).ok());
    QVERIFY(file.AtEnd());
}

void TestRecordFile::damagedContentIsReportedWithItsLine_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("line");
    QTest::newRow("cut short") << Cp932(u"\"a\",\"b\",1\r\n\"c\",\"d\"\r\n"_s) << 2;
    QTest::newRow("unclosed quote") << Cp932(u"\"a\",\"b\",1\r\n\"a\",\"b\",1\r\n\"c,d,3\r\n"_s) << 3;
    QTest::newRow("amount not a number") << Cp932(u"\"a\",\"b\",1\r\n\"c\",\"d\",abc\r\n"_s) << 2;
    QTest::newRow("not code page 932") << QByteArray("\"a\",\"b\",1\r\n\"\x85\x40\",\"d\",1\r\n") << 2;
    QTest::newRow("lead byte at a line end") << QByteArray("\"a\",\"b\",1\r\n\"\x82\r\n") << 2;
    QTest::newRow("NUL byte") << QByteArray("\"a\",\"b\",1\r\n\"c\",\"d\0\",1\r\n", 22) << 2;
    QTest::newRow("UTF-8 with byte-order mark") << QByteArray("\xEF\xBB\xBF\"a\",\"b\",1\r\n") << 1;
    QTest::newRow("UTF-8 without mark") << u"\"2026年12月07日\",\"タクシー\",690\r\n"_s.toUtf8() << 1;
}

void TestRecordFile::damagedContentIsReportedWithItsLine() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, line);
    ScopedWorkDir dir;
    WriteBytes(kName, bytes);
    Status status;
    (void)ReadAll(kName, kLedger, status);
    QCOMPARE(status.code(), Status::Code::Damaged);
    QCOMPARE(status.line(), line);
    QVERIFY(!status.reason().empty());
    QCOMPARE(ReadBytes(kName), bytes);
}

void TestRecordFile::writerRefusesWhatALineCannotCarry_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("double quote") << u"15\"の画面"_s;
    QTest::newRow("line break") << u"一行目\r\n二行目"_s;
    QTest::newRow("not in code page 932") << u"한국어"_s;
    QTest::newRow("one-way mapping") << u"波\u301C線"_s; // would read back as U+FF5E
    QTest::newRow("backslash") << u"C:\\data"_s;         // would read back as a yen sign
}

void TestRecordFile::writerRefusesWhatALineCannotCarry() {
    QFETCH(QString, text);
    ScopedWorkDir dir;
    QVERIFY(WriteAll(kName, {Ledger("2026年12月07日", "前からの記録", 10000)}).ok());
    const QByteArray before = ReadBytes(kName);
    RecordFile file;
    QVERIFY(file.OpenForAppend(kName).ok());
    const std::vector<FieldValue> record = {std::string("2026年12月07日"), text.toStdString(), Currency()};
    const Status status = file.WriteRecord(record);
    QCOMPARE(status.code(), Status::Code::Unsavable);
    QVERIFY(file.Close().ok());
    QCOMPARE(ReadBytes(kName), before);

    // A rewrite with such a text fails by Close at the latest, naming the character, and the old file stays.
    RecordFile rewrite;
    QVERIFY(rewrite.OpenForOutput(kName).ok());
    const std::vector<FieldValue> fine = {std::string("2026年12月07日"), std::string("晩酌"), Currency()};
    QVERIFY(rewrite.WriteRecord(fine).ok());
    const Status written = rewrite.WriteRecord(record);
    const Status closed = rewrite.Close();
    const Status& failure = written.ok() ? closed : written;
    QCOMPARE(failure.code(), Status::Code::Unsavable);
    QVERIFY2(!failure.reason().empty(), failure.reason().c_str());
    QCOMPARE(ReadBytes(kName), before);
}

// Byte 0x5C in a text field is the yen sign, as Windows shows it, and goes back as 0x5C: a file from
// Windows is rewritten byte for byte.
void TestRecordFile::yenSignIsByte5C() {
    ScopedWorkDir dir;
    // "¥¥表" in the item: 0x5C twice, then 表, whose second byte is 0x5C too.
    const QByteArray windows = Cp932(u"\"2026年12月07日\",\""_s) + "\x5C\x5C\x95\x5C" + "\",100\r\n";
    WriteBytes(kName, windows);
    Status status;
    const auto read = ReadAll(kName, kLedger, status);
    QVERIFY(status.ok());
    QCOMPARE(read.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(std::get<std::string>(read[0][1])), u"¥¥表"_s);
    QVERIFY(WriteAll(kName, read).ok());
    QCOMPARE(ReadBytes(kName), windows);
}

void TestRecordFile::namesMatchIgnoringCase() {
    ScopedWorkDir dir;
    QVERIFY(WriteAll(kName, {Ledger("d", "i", 10000)}).ok());
    // Created as "テーマ１.txt", found as "テーマ１.TXT"; appending and rewriting reach the same file.
    QCOMPARE(QString::fromStdString(records::ResolveDataFileName("テーマ１.TXT")), u"テーマ１.txt"_s);
    {
        RecordFile file;
        QVERIFY(file.OpenForAppend("テーマ１.TXT").ok());
        QVERIFY(file.WriteRecord(Ledger("d", "j", 20000)).ok());
        QVERIFY(file.Close().ok());
    }
    Status status;
    QCOMPARE(ReadAll("テーマ１.TXT", kLedger, status).size(), std::size_t(2));
    QVERIFY(WriteAll("テーマ１.TXT", {Ledger("d", "k", 1)}).ok());
    QCOMPARE(ReadBytes(kName), QByteArray("\"d\",\"k\",0.0001\r\n"));
    QCOMPARE(QDir().entryList(QDir::Files).size(), 1);

    // Full-width letters fold too, and a name unpacked from a Windows archive is still in code page 932.
    QCOMPARE(records::ResolveDataFileName("ＡＢＣ.txt"), std::string());
    WriteBytes("\x8d\x80\x96\xda\x82\x50.TXT", "\"x\",1\r\n"); // 項目１.TXT in code page 932
    QCOMPARE(records::ResolveDataFileName("項目１.txt"), std::string("\x8d\x80\x96\xda\x82\x50.TXT"));
    constexpr std::array item = {FieldKind::Text, FieldKind::Money};
    QCOMPARE(ReadAll("項目１.txt", item, status).size(), std::size_t(1));
    QVERIFY(status.ok());
    WriteBytes("ｔｅｓｔ.txt", "");
    QCOMPARE(QString::fromStdString(records::ResolveDataFileName("ＴＥＳＴ.TXT")), u"ｔｅｓｔ.txt"_s);
}

void TestRecordFile::outputReplacesTheFileWhole() {
    ScopedWorkDir dir;
    QVERIFY(WriteAll(kName, {Ledger("a", "b", 10000), Ledger("c", "d", 20000)}).ok());
    {
        // Until Close, the old content is what a reader sees; never a mix.
        RecordFile file;
        QVERIFY(file.OpenForOutput(kName).ok());
        QVERIFY(file.WriteRecord(Ledger("e", "f", 30000)).ok());
        QCOMPARE(ReadBytes(kName), QByteArray("\"a\",\"b\",1\r\n\"c\",\"d\",2\r\n"));
        QVERIFY(file.Close().ok());
    }
    QCOMPARE(ReadBytes(kName), QByteArray("\"e\",\"f\",3\r\n"));
    {
        // An output dropped without Close leaves the file as it was, and no stray file beside it.
        RecordFile file;
        QVERIFY(file.OpenForOutput(kName).ok());
        QVERIFY(file.WriteRecord(Ledger("g", "h", 40000)).ok());
    }
    QCOMPARE(ReadBytes(kName), QByteArray("\"e\",\"f\",3\r\n"));
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestRecordFile::failedRewriteLeavesTheOldBytes() {
    ScopedWorkDir dir;
    QVERIFY(WriteAll(kName, {Ledger("a", "b", 10000)}).ok());
    const QByteArray before = ReadBytes(kName);
    Status status;
    {
        const FileSizeLimit full(4096);
        std::vector<std::vector<FieldValue>> many(20000, Ledger("2026年12月07日", "長い項目の名前", 10000));
        status = WriteAll(kName, many);
    }
    QCOMPARE(status.code(), Status::Code::System);
    QVERIFY(!status.reason().empty());
    QCOMPARE(ReadBytes(kName), before);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestRecordFile::failedAppendLeavesWholeLines() {
    ScopedWorkDir dir;
    QVERIFY(WriteAll(kName, {Ledger("a", "b", 10000)}).ok());
    const QByteArray before = ReadBytes(kName);
    Status status;
    {
        const FileSizeLimit full(static_cast<rlim_t>(before.size() + 5));
        RecordFile file;
        QVERIFY(file.OpenForAppend(kName).ok());
        status = file.WriteRecord(Ledger("2026年12月07日", "入りきらない記録", 10000));
        (void)file.Close();
    }
    QCOMPARE(status.code(), Status::Code::System);
    QCOMPARE(ReadBytes(kName), before);
}

void TestRecordFile::appendAfterALastLineWithoutLineEnd() {
    ScopedWorkDir dir;
    WriteBytes(kName, "\"a\",\"b\",1");
    {
        RecordFile file;
        QVERIFY(file.OpenForAppend(kName).ok());
        QVERIFY(file.WriteRecord(Ledger("c", "d", 20000)).ok());
        QVERIFY(file.Close().ok());
    }
    QCOMPARE(ReadBytes(kName), QByteArray("\"a\",\"b\",1\r\n\"c\",\"d\",2\r\n"));
}

void TestRecordFile::outputKeepsASymbolicLink() {
    ScopedWorkDir dir;
    QDir().mkdir(u"data"_s);
    WriteBytes("data/real.txt", "\"a\",\"b\",1\r\n");
    QVERIFY(QFile::link(u"data/real.txt"_s, QString::fromUtf8(kName)));
    QVERIFY(WriteAll(kName, {Ledger("c", "d", 20000)}).ok());
    QVERIFY(QFileInfo(QString::fromUtf8(kName)).isSymLink());
    QCOMPARE(ReadBytes("data/real.txt"), QByteArray("\"c\",\"d\",2\r\n"));
}

void TestRecordFile::missingFileIsNotFound() {
    ScopedWorkDir dir;
    RecordFile file;
    QCOMPARE(file.OpenForInput(kName).code(), Status::Code::NotFound);
}

// Both spellings of a name, or a name from a Windows archive beside one from here, are one file to every
// operation; when more than one of them holds data, no operation guesses.
void TestRecordFile::oneRuleForSeveralSpellings() {
    ScopedWorkDir dir;
    WriteBytes("テーマ１.txt", "");
    WriteBytes("テーマ１.TXT", "\"a\",\"b\",1\r\n");
    auto lookup = records::LookUpDataFile("テーマ１.txt");
    QVERIFY(lookup.status.ok());
    QCOMPARE(QString::fromStdString(lookup.used), u"テーマ１.TXT"_s);
    QCOMPARE(lookup.unusedEmpty, std::vector<std::string>{"テーマ１.txt"});
    // Append, rewrite and read all reach the file with the data, by either spelling.
    QVERIFY(records::AppendRecord("テーマ１.txt", Ledger("c", "d", 20000)).ok());
    QVERIFY(WriteAll("テーマ１.txt", {Ledger("c", "d", 20000)}).ok());
    Status status;
    QCOMPARE(ReadAll("テーマ１.TXT", kLedger, status).size(), std::size_t(1));
    QCOMPARE(ReadBytes("テーマ１.TXT"), QByteArray("\"c\",\"d\",2\r\n"));
    QCOMPARE(ReadBytes("テーマ１.txt"), QByteArray());
    // Emptied, both are empty: the first by name is used, and a new deposit makes it the one with data.
    QVERIFY(records::EmptyFile("テーマ１.txt").ok());
    QCOMPARE(ReadBytes("テーマ１.TXT"), QByteArray());
    QCOMPARE(QString::fromStdString(records::ResolveDataFileName("テーマ１.txt")), u"テーマ１.TXT"_s);
    QVERIFY(records::AppendRecord("テーマ１.txt", Ledger("e", "f", 30000)).ok());
    QCOMPARE(ReadBytes("テーマ１.TXT"), QByteArray("\"e\",\"f\",3\r\n"));

    // Two with data: every operation refuses, naming both, and neither file changes.
    WriteBytes("\x83\x65\x81\x5b\x83\x7d\x82\x50.txt", "\"g\",\"h\",4\r\n"); // テーマ１.txt in code page 932
    lookup = records::LookUpDataFile("テーマ１.TXT");
    QCOMPARE(lookup.status.code(), Status::Code::Ambiguous);
    QVERIFY(lookup.used.empty());
    const QString reason = QString::fromStdString(lookup.status.reason());
    QVERIFY2(reason.contains(u"「テーマ１.TXT」"_s) && reason.contains(u"「テーマ１.txt」"_s), qPrintable(reason));
    RecordFile file;
    QCOMPARE(file.OpenForInput("テーマ１.txt").code(), Status::Code::Ambiguous);
    QCOMPARE(file.OpenForAppend("テーマ１.txt").code(), Status::Code::Ambiguous);
    QCOMPARE(file.OpenForOutput("テーマ１.txt").code(), Status::Code::Ambiguous);
    QCOMPARE(records::EmptyFile("テーマ１.txt").code(), Status::Code::Ambiguous);
    QCOMPARE(ReadBytes("テーマ１.TXT"), QByteArray("\"e\",\"f\",3\r\n"));
    QCOMPARE(ReadBytes("\x83\x65\x81\x5b\x83\x7d\x82\x50.txt"), QByteArray("\"g\",\"h\",4\r\n"));
}

// What a write cut off by a kill or a power cut leaves at the end: the last line, without a line end and not
// a whole record. The records before it read, it is reported once, and the next append removes it.
void TestRecordFile::tornLastLineIsLeftOutThenRemoved_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("torn");
    const QByteArray one = Cp932(u"\"2026年12月07日\",\"タクシー\",690\r\n"_s);
    QTest::newRow("cut in a text") << one << Cp932(u"\"2026年12月07日\",\"タク"_s);
    QTest::newRow("cut before the amount") << one << Cp932(u"\"2026年12月07日\",\"タクシー\","_s);
    QTest::newRow("cut inside a character") << one << QByteArray("\"2026\x94");
    QTest::newRow("zeros of a power cut") << one << QByteArray(300, '\0');
    QTest::newRow("the first record") << QByteArray() << Cp932(u"\"2026年12月07日\",\"タ"_s);
    QTest::newRow("half-width katakana") << Cp932(u"\"ﾊｲ\",\"ﾓｽ\",1\r\n"_s) << Cp932(u"\"ﾊｲ\",\"ﾓ"_s);
}

void TestRecordFile::tornLastLineIsLeftOutThenRemoved() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, torn);
    ScopedWorkDir dir;
    WriteBytes(kName, before + torn);
    RecordFile file;
    QVERIFY(file.OpenForInput(kName).ok());
    std::vector<FieldValue> values;
    std::size_t whole = 0;
    while (!file.AtEnd()) {
        const Status status = file.ReadRecord(kLedger, values);
        if (!status.ok()) {
            QCOMPARE(status.code(), Status::Code::Torn);
            QCOMPARE(status.line(), before.count('\n') + 1);
            continue; // reported once, then at the end
        }
        ++whole;
    }
    QCOMPARE(whole, std::size_t(before.count('\n')));
    QVERIFY(file.Close().ok());
    QCOMPARE(ReadBytes(kName), before + torn); // reading changes nothing

    QVERIFY(records::AppendRecord(kName, Ledger("2026年12月08日", "晩酌", 500000)).ok());
    const QByteArray after = before + Cp932(u"\"2026年12月08日\",\"晩酌\",50\r\n"_s);
    QCOMPARE(ReadBytes(kName), after);
    Status status;
    QCOMPARE(ReadAll(kName, kLedger, status).size(), whole + 1);
    QVERIFY(status.ok());
}

// As an editor saves it: the last record is whole, only its line end is missing. It reads, and an append
// adds the line end before the new record.
void TestRecordFile::wholeLastRecordWithoutLineEnd() {
    ScopedWorkDir dir;
    WriteBytes(kName, "\"a\",\"b\",1\r\n\"c\",\"d\",2");
    Status status;
    QCOMPARE(ReadAll(kName, kLedger, status).size(), std::size_t(2));
    QVERIFY(status.ok());
    QVERIFY(records::AppendRecord(kName, Ledger("e", "f", 30000)).ok());
    QCOMPARE(ReadBytes(kName), QByteArray("\"a\",\"b\",1\r\n\"c\",\"d\",2\r\n\"e\",\"f\",3\r\n"));
}

// The writer takes nothing the reader refuses: texts that happen to be valid UTF-8 as bytes, and the longest
// texts the boxes take, measured in the file's bytes.
void TestRecordFile::whatTheWriterTakesTheReaderTakes() {
    ScopedWorkDir dir;
    const std::vector<std::vector<FieldValue>> written = {
        Ledger("2026年12月07日", "ﾊｲ", 10000), // 0xCA 0xB2: valid UTF-8 as bytes
        Ledger("2026年12月07日", "ﾓｽ", 20000),
        {std::string("ﾏｲﾎｰ"), std::string(QString(32767, u'漢').toStdString()), Currency()},
        {std::string(65536, 'x'), std::string(QString(22000, u'貯').toStdString()), Currency()},
    };
    QVERIFY(WriteAll(kName, written).ok());
    Status status;
    QVERIFY(ReadAll(kName, kLedger, status) == written);
    QVERIFY2(status.ok(), status.reason().c_str());
    WriteBytes("theme.txt", Cp932(u"\"ﾏｲﾎｰ\"\r\n"_s));
    constexpr std::array theme = {FieldKind::Text};
    QCOMPARE(ReadAll("theme.txt", theme, status).size(), std::size_t(1));
    QVERIFY(status.ok());

    // One byte more than the reader takes is refused by the writer, and by the check the entry makes.
    const std::string tooLong(65537, 'x');
    QVERIFY(records::TextFieldFault(tooLong).has_value());
    QVERIFY(!records::TextFieldFault(std::string(65536, 'x')).has_value());
    QCOMPARE(records::AppendRecord(kName, Ledger("d", tooLong.c_str(), 1)).code(), Status::Code::Unsavable);
    QVERIFY(ReadAll(kName, kLedger, status) == written);
}

// An append that would take a file past what the reader takes is refused, and the file stays as it was.
void TestRecordFile::writerKeepsTheFileReadable() {
    ScopedWorkDir dir;
    const std::string item(60000, 'x');
    {
        // A ledger of long items just under the limit, made sparse: only its size matters to an append.
        std::FILE* f = std::fopen(kName, "wb");
        QVERIFY(f);
        QCOMPARE(std::fseek(f, static_cast<long>(RecordFile::kMaxInputBytes) - 40000, SEEK_SET), 0);
        std::fputs("\r\n", f);
        std::fclose(f);
    }
    const QByteArray before = ReadBytes(kName);
    const Status status = records::AppendRecord(kName, Ledger("2026年12月07日", item.c_str(), 10000));
    QCOMPARE(status.code(), Status::Code::Unsavable);
    QVERIFY(!status.reason().empty());
    QCOMPARE(ReadBytes(kName), before);
    QVERIFY(records::AppendRecord(kName, Ledger("2026年12月07日", "短い", 10000)).ok());
}

void TestRecordFile::pipesAndDevicesAreRefusedWithoutWaiting() {
    ScopedWorkDir dir;
    QCOMPARE(mkfifo(kName, 0600), 0);
    RecordFile file;
    QCOMPARE(file.OpenForInput(kName).code(), Status::Code::NotAFile); // nothing waits for a writer
    QCOMPARE(file.OpenForAppend(kName).code(), Status::Code::NotAFile);
    QCOMPARE(file.OpenForOutput(kName).code(), Status::Code::NotAFile);
    QVERIFY(QFileInfo(QString::fromUtf8(kName)).exists());
    QVERIFY(!QFileInfo(QString::fromUtf8(kName)).isFile()); // still the pipe
}

// An entry named like a data file that is no file stops every operation on the name, and is the entry named.
void TestRecordFile::entryThatIsNoFileIsNamed_data() {
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QString>("made");      // "folder", "link to a folder" or "pipe"
    QTest::addColumn<QByteArray>("beside"); // a regular file of the data file's name, or none
    const QByteArray ledger = "\"a\",\"b\",1\r\n";
    QTest::newRow("folder of the name") << QByteArray(kName) << u"folder"_s << QByteArray();
    QTest::newRow("folder in capitals, beside a ledger") << QByteArray("テーマ１.TXT") << u"folder"_s << ledger;
    QTest::newRow("folder in capitals, beside an empty ledger") << QByteArray("テーマ１.TXT") << u"folder"_s << ""_ba;
    QTest::newRow("link to a folder") << QByteArray("テーマ１.Txt") << u"link to a folder"_s << ledger;
    QTest::newRow("pipe in capitals") << QByteArray("テーマ１.TXT") << u"pipe"_s << ledger;
}

void TestRecordFile::entryThatIsNoFileIsNamed() {
    QFETCH(QByteArray, entry);
    QFETCH(QString, made);
    QFETCH(QByteArray, beside);
    const bool directory = made != u"pipe"_s;
    ScopedWorkDir dir;
    if (!beside.isNull())
        WriteBytes(kName, beside);
    if (made == u"folder"_s) {
        QVERIFY(QDir().mkdir(QString::fromUtf8(entry)));
    } else if (made == u"link to a folder"_s) {
        QVERIFY(QDir().mkdir(u"elsewhere"_s));
        QVERIFY(QFile::link(u"elsewhere"_s, QString::fromUtf8(entry)));
    } else {
        QCOMPARE(mkfifo(entry.constData(), 0600), 0);
    }
    const QStringList before = QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const char* asked : {kName, "テーマ１.TXT"}) {
        const records::DataFileLookup lookup = records::LookUpDataFile(asked);
        QCOMPARE(lookup.status.code(), Status::Code::NotAFile);
        QCOMPARE(QByteArray::fromStdString(lookup.notAFile), entry);
        QCOMPARE(lookup.notAFileKind, directory ? records::EntryKind::Directory : records::EntryKind::Special);
        QVERIFY(lookup.used.empty());
        const QString reason = QString::fromStdString(lookup.status.reason());
        QVERIFY2(reason.startsWith(u"「"_s + QString::fromUtf8(entry) + u"」は"_s), qPrintable(reason));
    }
    RecordFile file;
    QCOMPARE(file.OpenForInput(kName).code(), Status::Code::NotAFile);
    QCOMPARE(file.OpenForAppend(kName).code(), Status::Code::NotAFile);
    QCOMPARE(file.OpenForOutput(kName).code(), Status::Code::NotAFile);
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    if (!beside.isNull())
        QCOMPARE(ReadBytes(kName), beside);
}

// A hard link, or a symbolic link, under another spelling is a second name of one file: one file with data,
// not two. Every operation reaches it by either name, a rewrite keeps both names on it, and neither name
// is ever taken for an empty leftover.
void TestRecordFile::namesOfOneFileAreOneFile_data() {
    QTest::addColumn<bool>("hard");
    QTest::newRow("hard link") << true;
    QTest::newRow("symbolic link") << false;
}

void TestRecordFile::namesOfOneFileAreOneFile() {
    QFETCH(bool, hard);
    ScopedWorkDir dir;
    const char* const other = "テーマ１.TXT";
    QVERIFY(WriteAll(kName, {Ledger("a", "b", 10000)}).ok());
    QCOMPARE(hard ? ::link(kName, other) : ::symlink(kName, other), 0);
    auto sameFile = [&] {
        struct stat a {
        }, b{};
        return stat(kName, &a) == 0 && stat(other, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino &&
               (hard || QFileInfo(QString::fromUtf8(other)).isSymLink());
    };
    for (const char* asked : {kName, other}) {
        const records::DataFileLookup lookup = records::LookUpDataFile(asked);
        QVERIFY2(lookup.status.ok(), lookup.status.reason().c_str());
        QCOMPARE(lookup.used, std::string(asked)); // the spelling asked for, where there is one
        QCOMPARE(lookup.otherNames, std::vector<std::string>{asked == kName ? other : kName});
        QVERIFY(lookup.unusedEmpty.empty());
    }
    QVERIFY(records::AppendRecord(other, Ledger("c", "d", 20000)).ok());
    QVERIFY(WriteAll(other, {Ledger("e", "f", 30000), Ledger("g", "h", 40000)}).ok());
    QVERIFY(WriteAll(kName, {Ledger("g", "h", 40000)}).ok());
    QVERIFY(sameFile());
    QCOMPARE(ReadBytes(other), QByteArray("\"g\",\"h\",4\r\n"));
    QVERIFY(records::EmptyFile(other).ok());
    QVERIFY(sameFile());
    QCOMPARE(ReadBytes(kName), QByteArray());
    const records::DataFileLookup emptied = records::LookUpDataFile(kName);
    QVERIFY(emptied.status.ok());
    QVERIFY(emptied.unusedEmpty.empty());
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList({QString::fromUtf8(other), QString::fromUtf8(kName)}));
}

// Only the program's own temporaries go: the exact shape it makes them in, for one of the data files, as a
// regular file. Whatever else is in the folder stays byte for byte, however like one it looks.
void TestRecordFile::onlyTheProgramsTemporariesAreRemoved_data() {
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QString>("made"); // "file", "directory", "link", or "cut-off rewrite" of `entry`
    QTest::addColumn<bool>("removed");
    QTest::newRow("a user's backup") << QByteArray(".テーマ１.txt.backup") << u"file"_s << false;
    QTest::newRow("six digits, in capitals") << QByteArray(".テーマ１.TXT.202412") << u"file"_s << false;
    QTest::newRow("six letters") << QByteArray(".項目１.txt.before") << u"file"_s << false;
    QTest::newRow("six letters and digits") << QByteArray(".テーマ名１.txt.abc123") << u"file"_s << false;
    QTest::newRow("rsync's shape") << QByteArray(".テーマ１.txt.A1b2C3") << u"file"_s << false;
    QTest::newRow("marked, not a data file") << QByteArray(".other.txt.tsumotto-tmp-abcdef") << u"file"_s << false;
    QTest::newRow("marked, five letters") << QByteArray(".テーマ１.txt.tsumotto-tmp-abcde") << u"file"_s << false;
    QTest::newRow("marked, not hidden") << QByteArray("テーマ１.txt.tsumotto-tmp-abc123") << u"file"_s << false;
    QTest::newRow("marked, not a letter") << QByteArray(".テーマ１.txt.tsumotto-tmp-ab_123") << u"file"_s << false;
    QTest::newRow("marked folder") << QByteArray(".テーマ１.txt.tsumotto-tmp-dir123") << u"directory"_s << false;
    QTest::newRow("marked link") << QByteArray(".テーマ１.txt.tsumotto-tmp-lnk123") << u"link"_s << false;
    QTest::newRow("marked") << QByteArray(".テーマ１.txt.tsumotto-tmp-Ab3dE9") << u"file"_s << true;
    QTest::newRow("marked, in capitals") << QByteArray(".項目１.TXT.tsumotto-tmp-zz0000") << u"file"_s << true;
    QTest::newRow("marked, name in code page 932")
        << QByteArray(".\x83\x65\x81\x5b\x83\x7d\x96\xbc\x82\x50.txt.tsumotto-tmp-q1w2e3") << u"file"_s << true;
    QTest::newRow("ledger rewrite cut off") << QByteArray(kName) << u"cut-off rewrite"_s << true;
    QTest::newRow("item list rewrite cut off") << QByteArray("項目１.TXT") << u"cut-off rewrite"_s << true;
}

void TestRecordFile::onlyTheProgramsTemporariesAreRemoved() {
    QFETCH(QByteArray, entry);
    QFETCH(QString, made);
    QFETCH(bool, removed);
    ScopedWorkDir dir;
    const QByteArray ledger = Cp932(u"\"2026年12月07日\",\"タクシー\",690\r\n"_s);
    WriteBytes(kName, ledger);
    const QByteArray bytes = ledger + "\"2026";
    if (made == u"file"_s) {
        WriteBytes(entry.constData(), bytes);
    } else if (made == u"directory"_s) {
        QVERIFY(QDir().mkdir(QString::fromUtf8(entry)));
    } else if (made == u"link"_s) {
        QCOMPARE(::symlink(kName, entry.constData()), 0);
    } else {
        // A rewrite killed before it could finish: what it leaves is the program's own shape, whatever that is.
        if (entry != kName)
            WriteBytes(entry.constData(), ledger);
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            RecordFile file;
            const bool written =
                file.OpenForOutput(entry.constData()).ok() && file.WriteEncodedLines(ledger.toStdString()).ok();
            _exit(written ? 0 : 1); // no Close, no destructor: as a kill leaves it
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        const QStringList left = QDir().entryList({u".*.tsumotto-tmp-*"_s}, QDir::Files | QDir::Hidden);
        QCOMPARE(left.size(), 1);
        QCOMPARE(left.front().size(), 1 + QString::fromUtf8(entry).size() + 14 + 6);
        entry = QFile::encodeName(left.front());
    }
    const QStringList before = QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    constexpr std::array<std::string_view, 3> names = {"テーマ１.txt", "項目１.txt", "テーマ名１.txt"};
    QCOMPARE(records::RemoveLeftoverTemporaries(names), removed ? 1 : 0);
    QStringList after = before;
    if (removed)
        after.removeOne(QFile::decodeName(entry));
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), after);
    QCOMPARE(ReadBytes(kName), ledger);
    if (made == u"file"_s && !removed)
        QCOMPARE(ReadBytes(entry.constData()), bytes);
}

// A file far larger than the pieces it is read in: every record comes back, wherever a piece ends (inside a
// text, between CR and LF, inside a character), and a fault far in is told with its own line.
void TestRecordFile::largeFilesReadPieceByPiece() {
    ScopedWorkDir dir;
    std::mt19937 random(20261207);
    std::vector<std::vector<FieldValue>> written;
    std::size_t bytes = 0;
    while (bytes < 3u << 20) {
        const std::size_t length = random() % 3 == 0 ? 1 + random() % 20000 : random() % 40;
        std::u16string item;
        for (std::size_t i = 0; i < length; ++i)
            item += random() % 2 ? char16_t(u'あ' + random() % 80) : char16_t(u'a' + random() % 26);
        written.push_back(Ledger("2026年12月07日", QString::fromStdU16String(item).toStdString().c_str(),
                                 std::int64_t(random() % 2000000) - 1000000));
        bytes += 2 * length + 30;
    }
    QVERIFY(WriteAll(kName, written).ok());
    Status status;
    QVERIFY(ReadAll(kName, kLedger, status) == written);
    QVERIFY2(status.ok(), status.reason().c_str());

    // The same with LF alone, a NUL far in, and a cut-off last record after many pieces.
    QByteArray file = ReadBytes(kName);
    QByteArray lf = file;
    lf.replace("\r\n", "\n");
    WriteBytes(kName, lf);
    QVERIFY(ReadAll(kName, kLedger, status) == written);
    QVERIFY(status.ok());
    QByteArray nul = file;
    const int at = file.indexOf('\n', file.size() - 1000);
    nul[at - 3] = '\0';
    WriteBytes(kName, nul);
    (void)ReadAll(kName, kLedger, status);
    QCOMPARE(status.code(), Status::Code::Damaged);
    QCOMPARE(status.line(), int(written.size()));
    WriteBytes(kName, file + Cp932(u"\"2026年12月07日\",\"途中"_s));
    RecordFile reader;
    QVERIFY(reader.OpenForInput(kName).ok());
    std::vector<FieldValue> values;
    std::size_t read = 0;
    Status last;
    while (!reader.AtEnd()) {
        last = reader.ReadRecord(kLedger, values);
        read += last.ok();
    }
    QCOMPARE(read, written.size());
    QCOMPARE(last.code(), Status::Code::Torn);
    QCOMPARE(last.line(), int(written.size()) + 1);
}

QTEST_APPLESS_MAIN(TestRecordFile)
#include "tst_recordfile.moc"
