// The deposit ledger: the ledger grid msgChingin, the count and total labels and the ledger file.
// The file holds date, item and amount per deposit; row numbers and running totals are derived on load.
#include "window/ledger.h"

#include "widgets/controls.h"
#include "widgets/dialogs.h"
#include "widgets/grid.h"
#include "widgets/text_convert.h"
#include "window/fraMain.h"
#include "window/messages.h"

#include <QLabel>

#include <array>
#include <cstdint>
#include <cstring>
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

} // namespace

void LedgerRows::clear() {
    ++m_generation;
    m_rows.clear();
    m_texts.clear();
    m_lastText[0] = m_lastText[1] = nullptr;
}

const LedgerRows::Text& LedgerRows::text(std::string_view utf8) {
    for (const Text* last : m_lastText)
        if (last && last->utf8 == utf8)
            return *last;
    auto it = m_texts.find(utf8);
    if (it == m_texts.end()) {
        it = m_texts.emplace(std::string(utf8), Text{}).first;
        it->second.utf8 = it->first;
        it->second.shown = fromUtf8(utf8);
    }
    m_lastText[1] = m_lastText[0];
    m_lastText[0] = &it->second;
    return it->second;
}

const LedgerRows::Amount& LedgerRows::amount(Currency value) {
    auto [it, added] = m_amounts.try_emplace(value.tenThousandths());
    if (added)
        it->second = {value, Money(value), records::MoneyToText(value) + "\r\n"};
    return it->second;
}

void LedgerRows::append(const Text& date, const Text& item, const Amount& amount, Currency total) {
    m_rows.push_back({&date, &item, &amount, total});
}

bool LedgerRows::remove(int row) {
    const auto at = m_rows.begin() + (row - 1);
    const std::int64_t removed = at->amount->value.tenThousandths();
    // Every later running total loses the removed amount, exactly: the totals are sums of whole numbers of
    // ten-thousandths. Where that would leave the range, the file would not read back: nothing changes.
    std::int64_t total = 0;
    for (auto it = at + 1; it != m_rows.end(); ++it)
        if (__builtin_sub_overflow(it->total.tenThousandths(), removed, &total))
            return false;
    for (auto it = at + 1; it != m_rows.end(); ++it)
        it->total = Currency::FromTenThousandths(it->total.tenThousandths() - removed);
    m_rows.erase(at);
    ++m_generation;
    return true;
}

Currency LedgerRows::widestTotal() const {
    Currency most, least;
    for (const Row& r : m_rows) {
        most = std::max(most, r.total);
        least = std::min(least, r.total);
    }
    return records::FormatMoney(least).size() > records::FormatMoney(most).size() ? least : most;
}

Status LedgerRows::rewrite(const char* fileName, const records::FileIdentity& expected,
                           records::FileIdentity& written) {
    RecordFile file;
    file.expect(expected);
    Status status = file.OpenForOutput(fileName);
    Status fault;
    auto encode = [&fault](const Text& text) {
        if (!text.encoded) {
            auto& encoded = const_cast<Text&>(text);
            if (!records::EncodeTextField(text.utf8, encoded.bytes, &fault))
                return false;
            encoded.encoded = true;
        }
        return true;
    };
    // Lines are put together in blocks of about 256 KB: "date","item",amount CR LF.
    std::string block(256 * 1024, '\0');
    std::size_t used = 0;
    auto put = [&block, &used](std::string_view piece) {
        std::memcpy(block.data() + used, piece.data(), piece.size());
        used += piece.size();
    };
    for (const Row& row : m_rows) {
        if (!status)
            break;
        if (!encode(*row.date) || !encode(*row.item))
            return fault;
        const std::size_t line = row.date->bytes.size() + row.item->bytes.size() + row.amount->endOfLine.size() + 6;
        if (used + line > block.size()) {
            status = file.WriteEncodedLines(std::string_view(block.data(), used));
            used = 0;
            if (line > block.size())
                block.resize(line);
        }
        put("\"");
        put(row.date->bytes);
        put("\",\"");
        put(row.item->bytes);
        put("\",");
        put(row.amount->endOfLine);
    }
    if (status && used > 0)
        status = file.WriteEncodedLines(std::string_view(block.data(), used));
    if (status)
        status = file.Close();
    if (status)
        written = file.identity();
    return status;
}

void fraMain::InitLedgerGrid() {
    m_ledgerRows->clear();
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
    m_ledgerKnown = records::IdentifyDataFile(kLedgerFileInput);
    Status status = file.OpenForInput(kLedgerFileInput);
    Status torn;
    if (status)
        m_ledgerKnown = file.identity(); // what is read, exactly
    if (status.code() == Status::Code::NotFound) {
        // A start that fails later must not have written anything: the start creates the file at its end. A
        // ledger another program removed is shown empty and left to the next deposit to make.
        m_createLedger = m_starting;
        m_ledgerKnown = {};
        status = {};
        if (!m_starting && !m_followingOutside) {
            const records::FileIdentity none;
            status = records::EmptyFile(kLedgerFile, &none, &m_ledgerKnown);
            if (status.code() == Status::Code::Changed) // made meanwhile: it differs from the empty ledger shown
                status = {};
        }
    } else if (status) {
        std::vector<FieldValue> values;
        msgChingin->reserveRows(file.recordsAtMost() + 1);
        m_ledgerRows->reserve(file.recordsAtMost());
        while (status && !file.AtEnd()) {
            status = file.ReadRecord(kLedgerKinds, values);
            if (status.code() == Status::Code::Torn) {
                torn = status;
                status = {};
                break;
            }
            const Currency amount = status ? std::get<Currency>(values[2]) : Currency();
            const auto total = records::AddMoney(ChinZen, amount);
            if (status && !total)
                status =
                    Status::Failure(Status::Code::Damaged, Status::What::TotalOutOfRange).atLine(file.recordLine());
            if (!status)
                break;
            const LedgerRows::Text& date = m_ledgerRows->text(std::get<std::string>(values[0]));
            const LedgerRows::Text& item = m_ledgerRows->text(std::get<std::string>(values[1]));
            // The grid keeps the amounts; the rest of each row is made from the rows when it is shown.
            const LedgerRows::Amount& shared = m_ledgerRows->amount(amount);
            ChinZen = *total;
            m_ledgerRows->append(date, item, shared, ChinZen);
            msgChingin->setRows(i + 1);
            msgChingin->setRow(i);
            msgChingin->setCol(3);
            msgChingin->setText(shared.shown);
            ++i;
        }
    }
    (void)file.Close();
    msgChingin->computedChanged(1);
    if (!status) {
        InitLedgerGrid();
        ChinZen = Currency();
        ChinCnt = 0;
        lblChin_cnt->setText(QString());
        showTotal(QString());
        ShowGoal();
        emit LedgerChanged();
        warnFileFailure(kLedgerFile, status, true);
        return false;
    }
    ChinCnt = static_cast<qint16>(i - 1);
    if (msgChingin->Rows() > 1)
        msgChingin->setTopRow(msgChingin->Rows() - 1);
    m_ledgerWhole = true;
    ShowTotals();
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
    showTotal(Money(ChinZen));
    ShowGoal(); // the way to the goal goes with the total
    emit LedgerChanged();
}

// A total too long for one line in legible type takes a second, in the room between its label and the
// panel below it; the label goes back to its size for a shorter one.
void fraMain::showTotal(const QString& text) {
    auto* total = static_cast<Label*>(lblChin_zen);
    total->setText(text);
    total->resize(total->width(), TwipsToPixels(kTotalHeight));
    if (total->isCut())
        total->resize(total->width(), TwipsToPixels(kTotalHeight + kTotalRoomBelow));
}

// Runs only for an entry that has been checked: the item is not empty, the amount is an amount, and the
// new count and total are within their limits.
void fraMain::AddLedgerRow() {
    m_depositDate = m_clock();
    const Currency amount = records::ParseMoney(toUtf8(txtChin_Inp->text())).value_or(Currency());
    const LedgerRows::Text& date = m_ledgerRows->text(records::FormatLedgerDate(m_depositDate));
    const LedgerRows::Text& item = m_ledgerRows->text(toUtf8(txtChinKou->text()));
    const LedgerRows::Amount& shared = m_ledgerRows->amount(amount);
    ChinZen = records::AddMoney(ChinZen, amount).value_or(ChinZen);
    m_ledgerRows->append(date, item, shared, ChinZen); // the new row's number, date, item and total
    msgChingin->setRows(msgChingin->Rows() + 1);
    msgChingin->setRow(msgChingin->Rows() - 1);
    msgChingin->setCol(3);
    msgChingin->setText(shared.shown);
    msgChingin->computedChanged(msgChingin->Rows() - 1);
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
    records::FileIdentity written;
    const Status status = records::AppendRecord(kLedgerFileInput, record, &m_ledgerKnown, &written);
    if (status) {
        m_ledgerKnown = written;
        return true;
    }
    if (!followedChange(DataFile::Ledger, status)) {
        warnFileFailure(kLedgerFile, status, false);
        reloadLedger();
    }
    return false;
}

void fraMain::msgChingin_DblClick() {
    const int row = rowToDelete(msgChingin, DataFile::Ledger, messages::LastLedgerRowNeedsClear());
    if (row < 1)
        return;
    QStringList cells;
    for (int col = 0; col < 4; ++col)
        cells << msgChingin->cell(row, col);
    if (!confirmDeletion(messages::DeleteLedgerRowQuestion(cells)) || !unchangedOutside({DataFile::Ledger}))
        return;
    if (!m_ledgerRows->remove(row)) {
        messages::Show(m_dialogs, this, messages::TotalsWouldLeaveTheRange());
        return;
    }
    msgChingin->RemoveItem(row);

    const Status status = m_ledgerRows->rewrite(kLedgerFile, m_ledgerKnown, m_ledgerKnown);
    if (!status) {
        if (!followedChange(DataFile::Ledger, status)) {
            warnFileFailure(kLedgerFile, status, false);
            reloadLedger();
        }
        return;
    }
    // The file now holds exactly the grid's rows: the numbers and running totals from the deleted row on are
    // made again from the rows, as a reload of the file would show them.
    msgChingin->computedChanged(row);
    ChinCnt = static_cast<qint16>(msgChingin->Rows() - 1);
    ChinZen = m_ledgerRows->total();
    msgChingin->setRow(msgChingin->Rows() - 1);
    msgChingin->setTopRow(msgChingin->Rows() - 1);
    ShowTotals();
}

void fraMain::cmdChinClr_Click() {
    if (!ensureLedgerWhole() || !unchangedOutside({DataFile::Ledger}) || msgChingin->Rows() == 1)
        return;
    if (!confirmDeletion(messages::ClearLedgerQuestion()) || !unchangedOutside({DataFile::Ledger}) ||
        !keepInTrash(kLedgerFile))
        return;
    const Status status = records::EmptyFile(kLedgerFile, &m_ledgerKnown);
    if (followedChange(DataFile::Ledger, status))
        return;
    if (!status)
        warnFileFailure(kLedgerFile, status, false);
    reloadLedger();
}
