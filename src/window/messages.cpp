// The texts of the messages, and the words for the records layer's statuses.
#include "window/messages.h"

#include "records/data_file_names.h"
#include "records/money.h"
#include "records/record_file.h"
#include "records/utf8.h"
#include "widgets/text_convert.h"
#include "window/fraMain.h"

#include <cerrno>

using namespace Qt::StringLiterals;
using records::Status;
using What = records::Status::What;

namespace messages {
namespace {

const QString kCrLf = u"\r\n"_s;

QString Grouped(std::uint64_t n) {
    return fromUtf8(records::GroupedDigits(n));
}

// The system's reason for a failed call, in the user's words; an error without words here by its number.
QString SystemWords(int error) {
    struct Words {
        int error;
        const char16_t* words;
    };
    static constexpr Words kWords[] = {
        {ENOENT, u"ファイルかフォルダーがありません"},
        {EISDIR, u"フォルダーなので、ファイルとして使えません"},
        {ENOTDIR, u"途中にフォルダーではないものがあります"},
        {EACCES, u"読み書きの許可がありません"},
        {EPERM, u"読み書きの許可がありません"},
        {ENOSPC, u"ディスクに空きがありません"},
        {EDQUOT, u"使える容量の上限に達しました"},
        {EFBIG, u"ファイルが大きすぎます"},
        {EXDEV, u"別のドライブ（ファイルシステム）へは移せません"},
        {EROFS, u"読み取り専用の場所です"},
        {EIO, u"ディスクの読み書きでエラーが起きました"},
        {EBUSY, u"ほかで使われています"},
        {ENAMETOOLONG, u"名前が長すぎます"},
        {ELOOP, u"シンボリックリンクが多すぎるか、輪になっています"},
        {EMFILE, u"開いているファイルが多すぎます"},
        {ENFILE, u"開いているファイルが多すぎます"},
        {ENOMEM, u"メモリーが足りません"},
        {EEXIST, u"同じ名前のものがすでにあります"},
        {ENOTEMPTY, u"フォルダーが空ではありません"},
        {ETXTBSY, u"実行中のファイルです"},
        {EINVAL, u"この場所では使えない操作です"},
        {EOPNOTSUPP, u"この場所のファイルシステムは対応していません"},
    };
    for (const Words& words : kWords)
        if (words.error == error)
            return QString::fromUtf16(words.words);
    return u"システムのエラーです（番号 %1）"_s.arg(error);
}

// A directory entry or path in corner brackets, as the user reads its name.
QString Quoted(const std::string& place) {
    return u"「%1」"_s.arg(fromUtf8(records::DisplayName(place)));
}

QString Megabytes(std::uint64_t bytes) {
    return QString::number(bytes >> 20);
}

QString Kilobytes(std::uint64_t bytes) {
    return QString::number(bytes >> 10);
}

// A character with its code point: 「〜」(U+301C).
QString NamedCharacter(char32_t cp) {
    std::string character;
    records::AppendUtf8(character, cp);
    return u"「%1」(U+%2)"_s.arg(fromUtf8(character), QString::number(cp, 16).toUpper().rightJustified(4, u'0'));
}

const QString kDeleteTitle = u"削除確認"_s;

// The words of the failures that carry no value to tell.
struct PlainWords {
    What what;
    const char16_t* words;
};
constexpr PlainWords kPlainWords[] = {
    {What::NoHomeFolder, u"ホームフォルダーがわかりません（HOME が設定されていません）"},
    {What::Utf8File, u"UTF-8 で保存されています。Shift_JIS（CP932）で保存し直してください"},
    {What::NulByte, u"NUL 文字（0x00）が含まれています"},
    {What::NotCodePage932, u"Shift_JIS（CP932）の文字ではないバイトがあります"},
    {What::RecordCutShort, u"レコードが途中で終わっています"},
    {What::ExtraField, u"レコードが長すぎます（最後の欄の後にも「,」で区切った欄があります）"},
    {What::QuoteNotClosed, u"レコードが途中で終わっています（閉じる「\"」がありません）"},
    {What::TotalOutOfRange, u"合計が金額の範囲を超えます"},
    {What::CutOffLastLine, u"最後の行は、書き込みの途中で途切れた記録の残りです"},
    {What::DoubleQuote, u"二重引用符「\"」は保存できません"},
    {What::LineBreak, u"改行や NUL 文字は保存できません"},
    {What::NotEncodable, u"Shift_JIS で保存できない文字があります"},
    {What::AmountNotReadable, u"金額の表示が読み取れません"},
    {What::ChangedOutside, u"他のプログラムがファイルを変更しました"},
    {What::GoalNotAbove0, u"目標金額は 0 より大きい金額にしてください"},
    {What::GoalNotReadable, u"目標金額として読めません"},
    {What::GoalHasMore, u"目標金額のほかに記録があります"},
};

} // namespace

Dialogs::Answer Show(Dialogs& dialogs, QWidget* parent, const Message& message) {
    return dialogs.message(parent, message.text, message.title, message.buttons, message.icon);
}

QString Reason(const Status& status) {
    for (const PlainWords& plain : kPlainWords)
        if (plain.what == status.what())
            return QString::fromUtf16(plain.words);
    switch (status.what()) {
    case What::SystemCall:
        return status.place().empty() ? SystemWords(status.error())
                                      : u"%1: %2"_s.arg(Quoted(status.place()), SystemWords(status.error()));
    case What::NotRegularFile:
        return status.place().empty() ? u"通常のファイルではありません"_s
                                      : Quoted(status.place()) + u"は通常のファイルではありません"_s;
    case What::FolderInPlace:
        return Quoted(status.place()) + u"はフォルダーなので、データファイルとして使えません"_s;
    case What::SpecialInPlace:
        return Quoted(status.place()) + u"は通常のファイルではありません"_s;
    case What::FileTooLarge:
        return u"ファイルが大きすぎます（%1 MB まで読み込めます）"_s.arg(Megabytes(status.limit()));
    case What::NoTrashOnFileSystem:
        return Quoted(status.place()) + u"のファイルシステムには、ゴミ箱を作れません"_s;
    case What::TextFieldTooLong:
        return u"文字の欄が長すぎます（%1 KB まで）"_s.arg(Kilobytes(status.limit()));
    case What::NotAnAmount:
        return u"金額「%1」が数値ではありません"_s.arg(fromUtf8(status.text()));
    case What::TooManyRecords: {
        const bool items = status.place() == fraMain::kItemFile;
        return u"%1が %2 件を超えています"_s.arg(items ? u"項目"_s : u"記録"_s, Grouped(status.limit()));
    }
    case What::UnsavableCharacter:
        return u"文字%1は Shift_JIS で保存できません"_s.arg(NamedCharacter(status.character()));
    case What::TextTooLongToSave:
        return u"Shift_JIS で %1 KB を超える長さの文字は保存できません"_s.arg(Kilobytes(status.limit()));
    case What::FileWouldBeTooLarge:
        return u"これ以上書き込むとファイルが %1 MB を超え、読み込めなくなります"_s.arg(Megabytes(status.limit()));
    case What::SeveralHoldData: {
        QString names;
        for (const std::string& entry : status.entries())
            names += Quoted(entry);
        return u"同じ名前とみなされるファイルが複数あり、どれも空ではありません: "_s + names;
    }
    default: // no failure, or one of kPlainWords
        return {};
    }
}

Message FileFailure(const char* fileName, const Status& status, bool reading, Then then) {
    const QString name = QString::fromUtf8(fileName);
    QString text;
    if (status.code() == Status::Code::Damaged)
        text = u"「%1」を読み込めません。\r\n%2 行目: %3。"_s.arg(name).arg(status.line()).arg(Reason(status));
    else if (reading)
        text = u"「%1」を開けません。\r\n%2"_s.arg(name, Reason(status));
    else
        text =
            u"「%1」に保存できませんでした。\r\n%2\r\n\r\nファイルは前の状態のままです。"_s.arg(name, Reason(status));
    if (then == Then::ProgramEnds)
        text += u"\r\n\r\nファイルには手を付けずに、プログラムを終了します。"_s;
    else if (then == Then::NothingWrittenUntilRead)
        text += u"\r\n\r\n読み込めるようになるまで、このファイルには何も書き込みません。"_s;
    return {text, u"ファイルエラー"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Warning};
}

Message TornFile(const char* fileName, int line) {
    const QString text = u"「%1」の %2 行目は、書き込みの途中で途切れた記録の残りなので、読み込みませんでした。\r\n"
                         u"それより前の記録はすべて読み込んでいます。次に書き込むときに、この残りは取り除かれます。"_s
                             .arg(QString::fromUtf8(fileName))
                             .arg(line);
    return {text, u"ファイルの確認"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Information};
}

QString EntryShown(const std::string& entry) {
    QString shown = u"「%1」"_s.arg(fromUtf8(records::DisplayName(entry)));
    if (records::EncodingOfName(entry) == records::NameEncoding::Cp932)
        shown += u"（名前が Windows の文字コード Shift_JIS で書かれたもの）"_s;
    return shown;
}

QString ContentOf(const char* fileName) {
    if (fileName == fraMain::kItemFile)
        return u"項目リスト"_s;
    if (fileName == fraMain::kThemeFile)
        return u"テーマ名"_s;
    if (fileName == fraMain::kGoalFile)
        return u"目標金額"_s;
    return u"貯金の記録"_s;
}

QString RemovedEmptySpellings(const char* name, const QString& used, const QStringList& removed) {
    return u"%1には、このフォルダーの%2を使います。同じ名前とみなされる空のファイル %3 は削除しました。"_s.arg(
        ContentOf(name), used, removed.join(u'、'));
}

Message NotAFile(const char* fileName, const std::string& entry, bool directory) {
    const QString shown = EntryShown(entry);
    const QString why =
        directory ? u"%1はフォルダーなので、%2のファイル（%3）として使えません。"_s
                  : u"%1は通常のファイルではありません（パイプや装置などです）。%2のファイル（%3）として使えません。"_s;
    const QStringList text = {
        why.arg(shown, ContentOf(fileName), QString::fromUtf8(fileName)),
        u"%1を別の名前に変えるか、ほかの場所に移してから、もう一度起動してください。"_s.arg(shown),
        QString(),
        u"ファイルには手を付けずに、プログラムを終了します。"_s,
    };
    return {text.join(u"\r\n"_s), u"ファイルエラー"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Warning};
}

Message ChangedOutside(const QStringList& names, bool refused) {
    QStringList quoted;
    for (const QString& name : names)
        quoted << u"「%1」"_s.arg(name);
    QString text = u"%1が他のプログラムで変更されたので、今の内容を表示しました。"_s.arg(quoted.join(u'と'));
    if (refused)
        text += u"\r\n表示された内容を確かめて、もう一度操作してください。"_s;
    return {text, u"ファイルの変更"_s, Dialogs::Buttons::Ok,
            refused ? Dialogs::Icon::Warning : Dialogs::Icon::Information};
}

Message DataFolderTidied(const QStringList& lines) {
    return {lines.join(kCrLf), u"データファイル"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Information};
}

Message ConfirmDeletion(const QString& question) {
    return {question, kDeleteTitle, Dialogs::Buttons::OkCancel, Dialogs::Icon::None};
}

QString DeleteLedgerRowQuestion(const QStringList& cells) {
    return cells.join(u' ') + u" のデータを削除してもいいですか？\r\n"_s;
}

QString DeleteItemQuestion(const QString& item) {
    return item + u" の項目を削除してもいいですか？\r\n"_s;
}

QString ClearLedgerQuestion() {
    return QStringList{u"これまでのデータを削除してもいいですか？"_s,
                       u"今のデータの写しをゴミ箱に入れてから、ファイルを空にします。写しはゴミ箱から取り出せます。"_s,
                       QString()}
        .join(kCrLf);
}

QString ClearItemsQuestion() {
    return QStringList{
        u"登録されている項目を全て削除してもいいですか？"_s,
        u"今の項目リストの写しをゴミ箱に入れてから、ファイルを空にします。写しはゴミ箱から取り出せます。"_s, QString()}
        .join(kCrLf);
}

Message LastLedgerRowNeedsClear() {
    return {u"最後の行はクリアボタンで削除してください"_s, kDeleteTitle, Dialogs::Buttons::Ok, Dialogs::Icon::Warning};
}

Message LastItemNeedsClearAll() {
    return {u"最後の行は項目入力欄隣りの「項目全クリア」ボタンで削除してください"_s, kDeleteTitle, Dialogs::Buttons::Ok,
            Dialogs::Icon::Warning};
}

Message TotalsWouldLeaveTheRange() {
    return {u"この行を削除すると、後の行の累計が扱える金額を超えるので削除できません"_s, kDeleteTitle,
            Dialogs::Buttons::Ok, Dialogs::Icon::Warning};
}

Message TrashRefused(const char* fileName, const Status& status) {
    const QStringList text = {
        u"削除する前の「%1」を、ゴミ箱に残せませんでした。"_s.arg(QString::fromUtf8(fileName)),
        Reason(status),
        QString(),
        u"このまま削除すると、元に戻せません。それでも削除してもいいですか？"_s,
    };
    return {text.join(kCrLf), kDeleteTitle, Dialogs::Buttons::OkCancelDefaultCancel, Dialogs::Icon::Warning};
}

Message EntryWarning(const QString& text) {
    return {text, u"入力の確認"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Warning};
}

QString ItemField() {
    return u"項目"_s;
}

QString ThemeNameField() {
    return u"テーマ名"_s;
}

QString RefusedText(const QString& field, const Status& fault, const QString& character, const QString& instead) {
    QString text = u"%1に%2。"_s.arg(field, Reason(fault));
    if (!instead.isEmpty())
        text += u"\r\n「%1」の代わりに「%2」を入力してください。"_s.arg(character, instead);
    return text;
}

QString TooManyFractionDigits() {
    return u"金額は小数点以下 %1 桁までで入力してください。"_s.arg(records::Currency::kFractionDigits);
}

QString AmountTooLarge() {
    const auto yen = static_cast<std::uint64_t>(records::Currency::Max().tenThousandths() / records::Currency::kScale);
    return u"金額が大きすぎます。%1 円までで入力してください。"_s.arg(Grouped(yen));
}

QString TooManyDeposits() {
    return u"貯金は %1 回まで記録できます。これ以上は記録できません。"_s.arg(Grouped(fraMain::kMaxDeposits));
}

QString TotalTooLarge() {
    return u"合計が記録できる金額の範囲を超えるため、記録できません。"_s;
}

QString TooManyItems() {
    return u"項目リストには %1 件までしか登録できません。"_s.arg(Grouped(fraMain::kMaxItems));
}

Message RegisterNewItem() {
    return {u"新規の項目ですが項目リストに保存しますか？\r\n\r\n"
            u"保存すると次回よりリストからの選択で入力することができるようになります。"_s,
            u"項目登録確認"_s, Dialogs::Buttons::YesNo, Dialogs::Icon::None};
}

QString ThemeNamePrompt() {
    return u"テーマ名を入力してください"_s;
}

QString NoThemeName() {
    return u"テーマ名（まだありません）"_s;
}

QString ThemeNameTitle() {
    return u"テーマ名入力"_s;
}

Message ProIntroduction() {
    const QString text = u"貯蓄成果をより詳細に把握したい場合は「ツモっと貯金！Ｐｒｏ」をぜひどうぞ！"_s + kCrLf +
                         kCrLf +
                         u"ツモっと貯金！三兄弟、まいにち一歩と端数ためとけ、つもりで一直線！の詰め合わせです。"_s +
                         kCrLf + u"それぞれの貯金データを利用して、グラフや一覧で貯蓄状況を表示できる機能があり"_s +
                         kCrLf + u"やる気と継続する力をより強力にサポートします。"_s + kCrLf + kCrLf +
                         u"どんなことができるソフトなのかはツモっと貯金！Ｐｒｏのヘルプをぜひご覧ください。"_s;
    return {text, u"ツモっと貯金！Ｐｒｏのご紹介"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Information};
}

Message Instructions() {
    const QString text = u"右下のイラストをダブルクリックするとテーマ名を変更できます。"_s + kCrLf + kCrLf +
                         u"項目欄と金額欄に入力をして、Enterキーか「入金」ボタンを押してください。"_s + kCrLf +
                         u"項目リストに登録すると次回からクリックして入力できます。"_s + kCrLf;
    return {text, u"入力方法説明"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Information};
}

Message GoalReached(const QString& goal) {
    return {u"おめでとうございます！\r\n貯金の合計が目標の %1 に届きました。"_s.arg(goal), u"目標達成"_s,
            Dialogs::Buttons::Ok, Dialogs::Icon::Information};
}

Message CsvOverDataFile(const QString& path) {
    return {u"「%1」はこのプログラムのデータファイルなので、CSV は保存できません。\r\n"
            u"別の名前か別のフォルダーを選んでください。"_s.arg(path),
            u"ファイルエラー"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Warning};
}

Message CsvNotSaved(const QString& path, const Status& status) {
    return {u"「%1」に保存できませんでした。\r\n%2"_s.arg(path, Reason(status)), u"ファイルエラー"_s,
            Dialogs::Buttons::Ok, Dialogs::Icon::Warning};
}

Message CsvSaved(int rows, const QString& path) {
    return {u"%1 件の記録を「%2」に保存しました。"_s.arg(rows).arg(path), u"CSV で保存"_s, Dialogs::Buttons::Ok,
            Dialogs::Icon::Information};
}

Message ProHelpMissing(const QString& file, bool present, const QString& dataFolder, const QString& installed) {
    const QString what = present ? u"「%1」はありますが、ヘルプのファイルとして読めないため、開けませんでした。"_s
                                 : u"「%1」が見つからないため、Ｐｒｏのヘルプは開けませんでした。"_s;
    const QStringList text = {
        what.arg(file),
        u"「ツモっと貯金！Ｐｒｏ」に付いている「%1」を、データのフォルダー「%2」か、「%3」に置いてから、"
        u"もう一度「プロ」ボタンを押してください。"_s.arg(file, dataFolder, installed),
    };
    return {text.join(kCrLf), u"ツモっと貯金！Ｐｒｏのヘルプ"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Information};
}

QString SystemErrorReason(int error) {
    // At the start, the system's error concerns a step of the data folder's path or the folder's lock.
    switch (error) {
    case ENOENT:
        return u"途中のフォルダーがありません。"_s;
    case ENOLCK:
    case ENOSYS:
    case EOPNOTSUPP:
        return u"この場所のファイルシステムは鍵に対応していません。"_s;
    default:
        return SystemWords(error) + u"。"_s;
    }
}

Message FolderInUse(const QString& folder, Holder holder) {
    const QString who = holder == Holder::SilentCopy
                            ? u"データのフォルダー「%1」は、別に起動している「ツモっと貯めよう！」が使っていますが、"
                              u"そちらから応答がありません。"_s
                            : u"データのフォルダー「%1」は、ほかのプログラムか、応答しない「ツモっと貯めよう！」が"
                              u"使っています。"_s;
    return {who.arg(folder) +
                u"\r\n\r\n同じデータを二つで書き換えると記録が失われるため、こちらは何もせずに終了します。"_s,
            u"ツモっと貯めよう！"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Warning};
}

Message FolderNotLockable(const QString& folder, const QString& reason) {
    return {
        u"データのフォルダー「%1」に、ほかの「ツモっと貯めよう！」を締め出す鍵をかけられません。\r\n%2\r\n\r\n"
        u"二つが同じデータを書き換えて記録が失われないよう、ファイルには手を付けずに終了します。"_s.arg(folder, reason),
        u"ツモっと貯めよう！"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Warning};
}

QString NoHomeFolder() {
    return u"ホームフォルダー（環境変数 HOME）が設定されていないか、絶対パスではありません。"_s;
}

QString NotAFolder(const QString& path) {
    return u"「%1」はフォルダーではありません。"_s.arg(path);
}

QString StepFailed(const QString& path, const QString& reason) {
    return u"「%1」: %2"_s.arg(path, reason);
}

Message DataFolderUnknown(const QString& problem) {
    return {u"データのフォルダーの場所がわからないため、起動できません。\r\n%1\r\n\r\n"
            u"どのファイルにも手を付けずに終了します。"_s.arg(problem),
            u"ツモっと貯めよう！"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Warning};
}

Message DataFolderUnusable(const QString& folder, const QString& problem) {
    return {u"データのフォルダー「%1」を作れないか、使えないため、起動できません。\r\n%2\r\n\r\n"
            u"どのファイルにも手を付けずに終了します。"_s.arg(folder, problem),
            u"ツモっと貯めよう！"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Warning};
}

} // namespace messages
