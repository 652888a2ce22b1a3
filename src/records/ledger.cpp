// The deposit ledger: the ledger grid msgChingin, the count and total labels and the ledger file.
// The file holds date, item and amount per deposit; row numbers and running totals are derived on load.
#include "shell/controls.h"
#include "shell/dialogs.h"
#include "shell/fraMain.h"
#include "shell/grid.h"
#include "shell/text_convert.h"

#include <QLabel>

#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>

using namespace Qt::StringLiterals;
using records::Currency;
using records::FieldKind;
using records::FieldValue;
using records::RecordFile;
using records::Status;

namespace {

constexpr std::array kLedgerKinds = {FieldKind::Text, FieldKind::Text, FieldKind::Money};

QString Money(Currency amount) {
    return fromUtf8(records::FormatMoney(amount));
}

// Replaces the ledger file with the grid's data rows: date, item and the amount as displayed. On failure
// the old file is left whole.
Status RewriteLedgerFile(const Grid& grid) {
    // Loaded cells share their texts, so each distinct text is converted once.
    std::unordered_map<const QChar*, std::string> texts;
    std::unordered_map<const QChar*, std::optional<Currency>> amounts;
    auto utf8 = [&texts](const QString& text) -> const std::string& {
        auto [it, added] = texts.try_emplace(text.constData());
        if (added)
            it->second = toUtf8(text);
        return it->second;
    };
    RecordFile file;
    Status status = file.OpenForOutput(fraMain::kLedgerFile);
    for (int r = 1; status && r < grid.Rows(); ++r) {
        const QString& shown = grid.cell(r, 3);
        auto [amount, added] = amounts.try_emplace(shown.constData());
        if (added)
            amount->second = records::ParseMoney(toUtf8(shown));
        if (!amount->second)
            return Status::Failure(Status::Code::Unsavable, "金額の表示が読み取れません");
        const std::array<FieldValue, 3> record = {utf8(grid.cell(r, 1)), utf8(grid.cell(r, 2)), *amount->second};
        status = file.WriteRecord(record);
    }
    return status ? file.Close() : status;
}

// Texts that recur in a ledger (dates, items, amounts) made once and shared by every cell that shows them:
// a full ledger loads faster and takes less memory.
class SharedTexts {
public:
    const QString& text(const std::string& utf8) {
        auto [it, added] = m_texts.try_emplace(utf8);
        if (added)
            it->second = fromUtf8(utf8);
        return it->second;
    }
    const QString& money(Currency amount) {
        auto [it, added] = m_amounts.try_emplace(amount.tenThousandths());
        if (added)
            it->second = Money(amount);
        return it->second;
    }

private:
    std::unordered_map<std::string, QString> m_texts;
    std::unordered_map<std::int64_t, QString> m_amounts;
};

} // namespace

void fraMain::InitLedgerGrid() {
    msgChingin->setFontSize(12);
    msgChingin->setRows(1);
    msgChingin->setRow(0);
    msgChingin->setCol(0);
    const std::array headers = {u"回"_s, u"日付"_s, u"項目"_s, u"入金"_s, u"累計"_s};
    const std::array widths = {600, 1900, 4550, 820, 1050};
    for (int col = 0; col < 5; ++col) {
        msgChingin->setCol(col);
        msgChingin->setText(headers[static_cast<std::size_t>(col)]);
    }
    for (int col = 0; col < 5; ++col) {
        msgChingin->setColWidth(col, widths[static_cast<std::size_t>(col)]);
        msgChingin->setFixedAlignment(col, Grid::AlignCentre);
    }
    msgChingin->setColAlignment(1, Grid::AlignCentre);
    msgChingin->setColAlignment(2, Grid::AlignLeft);
    msgChingin->setColAlignment(3, Grid::AlignRight);
    msgChingin->setColAlignment(4, Grid::AlignRight);
}

// Fills the grid from the file, all of it or nothing: when the file cannot be read whole, the user is told,
// the grid is left with its header row only and no operation writes the ledger until a load succeeds.
bool fraMain::LoadLedger() {
    ChinZen = Currency();
    m_ledgerWhole = false;
    int i = 1;
    RecordFile file;
    Status status = file.OpenForInput(kLedgerFileInput);
    Status torn;
    if (status.code() == Status::Code::NotFound) {
        // A start that fails later must not have written anything: the start creates the file at its end.
        m_createLedger = m_starting;
        status = m_starting ? Status() : records::EmptyFile(kLedgerFile);
    } else if (status) {
        std::vector<FieldValue> values;
        SharedTexts shared;
        while (status && !file.AtEnd()) {
            status = file.ReadRecord(kLedgerKinds, values);
            if (status.code() == Status::Code::Torn) {
                torn = status;
                status = {};
                break;
            }
            if (status && i > kMaxDeposits)
                status = Status::Failure(Status::Code::Damaged, "記録が 32,766 件を超えています", file.recordLine());
            const Currency amount = status ? std::get<Currency>(values[2]) : Currency();
            const auto total = records::AddMoney(ChinZen, amount);
            if (status && !total)
                status = Status::Failure(Status::Code::Damaged, "合計が金額の範囲を超えます", file.recordLine());
            if (!status)
                break;
            msgChingin->setRows(i + 1);
            msgChingin->setRow(i);
            msgChingin->setCol(0);
            msgChingin->setText(QString::number(i));
            msgChingin->setCol(1);
            msgChingin->setText(shared.text(std::get<std::string>(values[0])));
            msgChingin->setCol(2);
            msgChingin->setText(shared.text(std::get<std::string>(values[1])));
            msgChingin->setCol(3);
            msgChingin->setText(shared.money(amount));
            ChinZen = *total;
            msgChingin->setCol(4);
            msgChingin->setText(Money(ChinZen));
            ++i;
        }
    }
    (void)file.Close();
    if (!status) {
        InitLedgerGrid();
        ChinZen = Currency();
        ChinCnt = 0;
        lblChin_cnt->setText(QString());
        lblChin_zen->setText(QString());
        warnFileFailure(kLedgerFile, status, true);
        return false;
    }
    ChinCnt = static_cast<qint16>(i - 1);
    if (msgChingin->Rows() > 1)
        msgChingin->setTopRow(msgChingin->Rows() - 1);
    ShowTotals();
    m_ledgerWhole = true;
    if (!torn.ok())
        warnTornFile(kLedgerFile, torn);
    return true;
}

// The ledger as the file holds it now; when that fails the user has been told and nothing writes the
// ledger until it reads whole again.
void fraMain::reloadLedger() {
    InitLedgerGrid();
    (void)LoadLedger();
}

bool fraMain::ensureLedgerWhole() {
    if (m_ledgerWhole)
        return true;
    InitLedgerGrid();
    return LoadLedger();
}

void fraMain::ShowTotals() {
    lblChin_cnt->setText(QString::number(ChinCnt));
    lblChin_zen->setText(Money(ChinZen));
}

// Runs only for an entry that has been checked: the item is not empty, the amount is an amount, and the
// new count and total are within their limits.
void fraMain::AddLedgerRow() {
    m_depositDate = m_clock();
    const Currency amount = records::ParseMoney(toUtf8(txtChin_Inp->text())).value_or(Currency());
    msgChingin->setRows(msgChingin->Rows() + 1);
    msgChingin->setRow(msgChingin->Rows() - 1);
    msgChingin->setCol(0);
    msgChingin->setText(QString::number(msgChingin->Rows() - 1));
    msgChingin->setCol(1);
    msgChingin->setText(fromUtf8(records::FormatLedgerDate(m_depositDate)));
    msgChingin->setCol(2);
    msgChingin->setText(txtChinKou->text());
    msgChingin->setCol(3);
    msgChingin->setText(Money(amount));
    ChinZen = records::AddMoney(ChinZen, amount).value_or(ChinZen);
    msgChingin->setCol(4);
    msgChingin->setText(Money(ChinZen));
    msgChingin->setTopRow(msgChingin->Rows() - 1);
    ChinCnt = static_cast<qint16>(msgChingin->Row());
    ShowTotals();
}

// Appends the deposit that AddLedgerRow has just shown, with the same date. When the file cannot take it,
// the user is told and the grid is reloaded from the file, so that screen and file agree.
bool fraMain::AppendLedgerRecord() {
    const Currency amount = records::ParseMoney(toUtf8(txtChin_Inp->text())).value_or(Currency());
    const std::array<FieldValue, 3> record = {records::FormatLedgerDate(m_depositDate), toUtf8(txtChinKou->text()),
                                              amount};
    const Status status = records::AppendRecord(kLedgerFileInput, record);
    if (status)
        return true;
    warnFileFailure(kLedgerFile, status, false);
    reloadLedger();
    return false;
}

void fraMain::msgChingin_DblClick() {
    if (!m_ledgerWhole) { // the rows of a ledger that did not read whole are not there to pick from
        (void)ensureLedgerWhole();
        return;
    }
    if (msgChingin->Rows() == 1)
        return;
    if (msgChingin->Rows() == 2) {
        m_dialogs.message(this, u"最後の行はクリアボタンで削除してください"_s, u"削除確認"_s, Dialogs::Buttons::Ok,
                          Dialogs::Icon::Warning);
        return;
    }
    const int row = msgChingin->Row();
    if (row < 1)
        return;
    QStringList cells;
    for (int col = 0; col < 4; ++col)
        cells << msgChingin->cell(row, col);
    const QString question = cells.join(u' ') + u" のデータを削除してもいいですか？\r\n"_s;
    if (!confirmDeletion(question))
        return;
    msgChingin->RemoveItem(row);

    const Status status = RewriteLedgerFile(*msgChingin);
    if (!status) {
        warnFileFailure(kLedgerFile, status, false);
        reloadLedger();
        return;
    }
    // The file now holds exactly the grid's rows, so the grid is brought to what a reload of it would
    // show by renumbering the rows after the deleted one and adding their totals up again.
    renumberLedgerFrom(row);
}

void fraMain::renumberLedgerFrom(int row) {
    Currency total;
    if (row > 1)
        total = records::ParseMoney(toUtf8(msgChingin->cell(row - 1, 4))).value_or(Currency());
    SharedTexts shared;
    for (int r = row; r < msgChingin->Rows(); ++r) {
        const auto amount = records::ParseMoney(toUtf8(msgChingin->cell(r, 3)));
        const auto sum = amount ? records::AddMoney(total, *amount) : std::nullopt;
        if (!sum) { // cannot be after a rewrite of these same texts; a reload settles it
            reloadLedger();
            return;
        }
        total = *sum;
        msgChingin->setRow(r);
        msgChingin->setCol(0);
        msgChingin->setText(QString::number(r));
        msgChingin->setCol(4);
        msgChingin->setText(shared.money(total));
    }
    ChinCnt = static_cast<qint16>(msgChingin->Rows() - 1);
    ChinZen = total;
    msgChingin->setRow(msgChingin->Rows() - 1);
    msgChingin->setTopRow(msgChingin->Rows() - 1);
    ShowTotals();
}

void fraMain::cmdChinClr_Click() {
    if (!ensureLedgerWhole() || msgChingin->Rows() == 1)
        return;
    const QStringList question = {u"これまでのデータを削除してもいいですか？"_s,
                                  u"削除する前のデータはゴミ箱に移すので、ゴミ箱から元に戻せます。"_s, QString()};
    if (!confirmDeletion(question.join(u"\r\n"_s)) || !keepInTrash(kLedgerFile))
        return;
    if (const Status status = records::EmptyFile(kLedgerFile); !status)
        warnFileFailure(kLedgerFile, status, false);
    reloadLedger();
}
