// The words the window gives to what the records layer reports, and the messages built from the limits'
// constants: each as the user reads it, character for character.
#include "records/record_file.h"
#include "testsupport.h"
#include "window/fraMain.h"
#include "window/messages.h"

#include <QTest>

#include <cerrno>

using namespace Qt::StringLiterals;
using records::Status;
using Code = Status::Code;
using What = Status::What;

Q_DECLARE_METATYPE(records::Status)

namespace {

Status Failure(Code code, What what) {
    return Status::Failure(code, what);
}

} // namespace

class TestMessages : public QObject {
    Q_OBJECT

private slots:
    void reasons_data();
    void reasons();
    void limitsInTheEntryMessages();
    void fileFailures_data();
    void fileFailures();
};

void TestMessages::reasons_data() {
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("words");
    const std::uint64_t input = records::RecordFile::kMaxInputBytes;
    const std::uint64_t field = records::RecordFile::kMaxTextFieldBytes;
    QTest::newRow("a failed call") << Status::SystemError(EACCES) << u"読み書きの許可がありません"_s;
    QTest::newRow("not permitted") << Status::SystemError(EPERM) << u"読み書きの許可がありません"_s;
    QTest::newRow("a failed call on a place") << Status::SystemError(ENOTDIR, "/home/u/.local/share/Trash/files")
                                              << u"「/home/u/.local/share/Trash/files」: "
                                                 u"途中にフォルダーではないものがあります"_s;
    QTest::newRow("a place in code page 932") << Status::SystemError(EIO, "/d/\x83\x65\x81\x5b\x83\x7d\x82\x50.TXT")
                                              << u"「/d/テーマ１.TXT」: ディスクの読み書きでエラーが起きました"_s;
    QTest::newRow("not found") << Failure(Code::NotFound, What::SystemCall).withError(ENOENT)
                               << u"ファイルかフォルダーがありません"_s;
    QTest::newRow("a folder") << Status::SystemError(EISDIR) << u"フォルダーなので、ファイルとして使えません"_s;
    QTest::newRow("disk full") << Status::SystemError(ENOSPC) << u"ディスクに空きがありません"_s;
    QTest::newRow("quota") << Status::SystemError(EDQUOT) << u"使える容量の上限に達しました"_s;
    QTest::newRow("another file system") << Status::SystemError(EXDEV, "/media/usb")
                                         << u"「/media/usb」: 別のドライブ（ファイルシステム）へは移せません"_s;
    QTest::newRow("read-only") << Status::SystemError(EROFS) << u"読み取り専用の場所です"_s;
    QTest::newRow("an error without words")
        << Status::SystemError(EPROTO) << u"システムのエラーです（番号 %1）"_s.arg(EPROTO);
    QTest::newRow("not a regular file") << Failure(Code::System, What::NotRegularFile)
                                        << u"通常のファイルではありません"_s;
    QTest::newRow("a place not a regular file") << Failure(Code::System, What::NotRegularFile).withPlace("テーマ１.txt")
                                                << u"「テーマ１.txt」は通常のファイルではありません"_s;
    QTest::newRow("too large") << Failure(Code::System, What::FileTooLarge).withLimit(input)
                               << u"ファイルが大きすぎます（16 MB まで読み込めます）"_s;
    QTest::newRow("no home") << Failure(Code::System, What::NoHomeFolder)
                             << u"ホームフォルダーがわかりません（HOME が設定されていません）"_s;
    QTest::newRow("no trash") << Failure(Code::System, What::NoTrashOnFileSystem).withPlace("/media/usb")
                              << u"「/media/usb」のファイルシステムには、ゴミ箱を作れません"_s;
    QTest::newRow("UTF-8") << Failure(Code::Damaged, What::Utf8File).atLine(1)
                           << u"UTF-8 で保存されています。Shift_JIS（CP932）で保存し直してください"_s;
    QTest::newRow("NUL") << Failure(Code::Damaged, What::NulByte) << u"NUL 文字（0x00）が含まれています"_s;
    QTest::newRow("not code page 932") << Failure(Code::Damaged, What::NotCodePage932)
                                       << u"Shift_JIS（CP932）の文字ではないバイトがあります"_s;
    QTest::newRow("cut short") << Failure(Code::Damaged, What::RecordCutShort) << u"レコードが途中で終わっています"_s;
    QTest::newRow("extra field") << Failure(Code::Damaged, What::ExtraField)
                                 << u"レコードが長すぎます（最後の欄の後にも「,」で区切った欄があります）"_s;
    QTest::newRow("quote not closed") << Failure(Code::Damaged, What::QuoteNotClosed)
                                      << u"レコードが途中で終わっています（閉じる「\"」がありません）"_s;
    QTest::newRow("long field") << Failure(Code::Damaged, What::TextFieldTooLong).withLimit(field)
                                << u"文字の欄が長すぎます（64 KB まで）"_s;
    QTest::newRow("not an amount") << Failure(Code::Damaged, What::NotAnAmount).withText("１２a")
                                   << u"金額「１２a」が数値ではありません"_s;
    QTest::newRow("too many deposits")
        << Failure(Code::Damaged, What::TooManyRecords).withLimit(fraMain::kMaxDeposits).withPlace(fraMain::kLedgerFile)
        << u"記録が 32,766 件を超えています"_s;
    QTest::newRow("too many items")
        << Failure(Code::Damaged, What::TooManyRecords).withLimit(fraMain::kMaxItems).withPlace(fraMain::kItemFile)
        << u"項目が 32,766 件を超えています"_s;
    QTest::newRow("total out of range") << Failure(Code::Damaged, What::TotalOutOfRange)
                                        << u"合計が金額の範囲を超えます"_s;
    QTest::newRow("cut-off last line") << Failure(Code::Torn, What::CutOffLastLine)
                                       << u"最後の行は、書き込みの途中で途切れた記録の残りです"_s;
    QTest::newRow("double quote") << Failure(Code::Unsavable, What::DoubleQuote)
                                  << u"二重引用符「\"」は保存できません"_s;
    QTest::newRow("line break") << Failure(Code::Unsavable, What::LineBreak) << u"改行や NUL 文字は保存できません"_s;
    QTest::newRow("unsavable character") << Failure(Code::Unsavable, What::UnsavableCharacter).withCharacter(U'\u301C')
                                         << u"文字「〜」(U+301C)は Shift_JIS で保存できません"_s;
    QTest::newRow("unsavable character beyond 16 bits")
        << Failure(Code::Unsavable, What::UnsavableCharacter).withCharacter(U'\U0001F600')
        << u"文字「😀」(U+1F600)は Shift_JIS で保存できません"_s;
    QTest::newRow("not encodable") << Failure(Code::Unsavable, What::NotEncodable)
                                   << u"Shift_JIS で保存できない文字があります"_s;
    QTest::newRow("too long to save") << Failure(Code::Unsavable, What::TextTooLongToSave).withLimit(field)
                                      << u"Shift_JIS で 64 KB を超える長さの文字は保存できません"_s;
    QTest::newRow("file would be too large") << Failure(Code::Unsavable, What::FileWouldBeTooLarge).withLimit(input)
                                             << u"これ以上書き込むとファイルが 16 MB を超え、読み込めなくなります"_s;
    QTest::newRow("amount not readable") << Failure(Code::Unsavable, What::AmountNotReadable)
                                         << u"金額の表示が読み取れません"_s;
    QTest::newRow("several hold data")
        << Failure(Code::Ambiguous, What::SeveralHoldData)
               .withEntries({"テーマ１.TXT", "\x83\x65\x81\x5b\x83\x7d\x82\x50.txt"})
        << u"同じ名前とみなされるファイルが複数あり、どれも空ではありません: 「テーマ１.TXT」「テーマ１.txt」"_s;
}

void TestMessages::reasons() {
    QFETCH(Status, status);
    QFETCH(QString, words);
    QCOMPARE(messages::Reason(status), words);
}

// The numbers in these come from the constants of the checks they tell of.
void TestMessages::limitsInTheEntryMessages() {
    QCOMPARE(messages::TooManyDeposits(), u"貯金は 32,766 回まで記録できます。これ以上は記録できません。"_s);
    QCOMPARE(messages::TooManyItems(), u"項目リストには 32,766 件までしか登録できません。"_s);
    QCOMPARE(messages::AmountTooLarge(), u"金額が大きすぎます。922,337,203,685,477 円までで入力してください。"_s);
    QCOMPARE(messages::TooManyFractionDigits(), u"金額は小数点以下 4 桁までで入力してください。"_s);
    QCOMPARE(messages::RefusedText(u"項目"_s, Failure(Code::Unsavable, What::UnsavableCharacter).withCharacter(U'™'),
                                   u"™"_s, u"TM"_s),
             u"項目に文字「™」(U+2122)は Shift_JIS で保存できません。\r\n「™」の代わりに「TM」を入力してください。"_s);
}

void TestMessages::fileFailures_data() {
    QTest::addColumn<Status>("status");
    QTest::addColumn<bool>("reading");
    QTest::addColumn<int>("then");
    QTest::addColumn<QString>("text");
    QTest::newRow("damaged at the start")
        << Failure(Code::Damaged, What::NotAnAmount).withText("abc").atLine(2) << true
        << int(messages::Then::ProgramEnds)
        << u"「テーマ１.txt」を読み込めません。\r\n2 行目: 金額「abc」が数値ではありません。\r\n\r\n"
           u"ファイルには手を付けずに、プログラムを終了します。"_s;
    QTest::newRow("unreadable later") << Failure(Code::System, What::NotRegularFile) << true
                                      << int(messages::Then::NothingWrittenUntilRead)
                                      << u"「テーマ１.txt」を開けません。\r\n通常のファイルではありません\r\n\r\n"
                                         u"読み込めるようになるまで、このファイルには何も書き込みません。"_s;
    QTest::newRow("not saved") << Status::SystemError(ENOSPC) << false << int(messages::Then::Nothing)
                               << u"「テーマ１.txt」に保存できませんでした。\r\nディスクに空きがありません\r\n\r\n"
                                  u"ファイルは前の状態のままです。"_s;
}

void TestMessages::fileFailures() {
    QFETCH(Status, status);
    QFETCH(bool, reading);
    QFETCH(int, then);
    QFETCH(QString, text);
    const messages::Message message =
        messages::FileFailure(fraMain::kLedgerFile, status, reading, static_cast<messages::Then>(then));
    QCOMPARE(message.text, text);
    QCOMPARE(message.title, u"ファイルエラー"_s);
    QCOMPARE(message.icon, Dialogs::Icon::Warning);
}

QTEST_APPLESS_MAIN(TestMessages)
#include "tst_messages.moc"
