// The item list: the item grid msgChinKou and the item list file, one record (item, usual amount) per row.
// A click on an item fills the entry boxes; items are added by the deposit entry and removed here.
#include "widgets/controls.h"
#include "widgets/dialogs.h"
#include "widgets/grid.h"
#include "widgets/text_convert.h"
#include "window/fraMain.h"
#include "window/messages.h"

#include <array>

using namespace Qt::StringLiterals;
using records::Currency;
using records::FieldKind;
using records::FieldValue;
using records::RecordFile;
using records::Status;

namespace {
constexpr std::array kItemKinds = {FieldKind::Text, FieldKind::Money};
} // namespace

void fraMain::InitItemGrid() {
    msgChinKou->setFontSize(12);
    msgChinKou->setRows(1);
    msgChinKou->setRow(0);
    msgChinKou->setCol(0);
    msgChinKou->setText(u"項目"_s);
    msgChinKou->setCol(1);
    msgChinKou->setText(u"金額"_s);
    msgChinKou->setColWidth(0, 4550);
    msgChinKou->setColWidth(1, 820);
    msgChinKou->setFixedAlignment(0, Grid::AlignCentre);
    msgChinKou->setFixedAlignment(1, Grid::AlignCentre);
    msgChinKou->setColAlignment(0, Grid::AlignLeft);
    msgChinKou->setColAlignment(1, Grid::AlignRight);
}

bool fraMain::LoadItemsAndTheme() {
    const bool items = loadItems();
    if (!items && m_starting)
        return false;
    return loadTheme() && items;
}

// The item half, all of it or nothing. A missing item list is an empty list: the first registration creates
// the file. When the file cannot be read whole, the user is told, the grid keeps its header row only and
// nothing writes the item list until a load succeeds.
bool fraMain::loadItems() {
    m_itemsWhole = false;
    RecordFile file;
    m_itemsKnown = records::IdentifyDataFile(kItemFile);
    Status status = file.OpenForInput(kItemFile);
    Status torn;
    if (status.code() == Status::Code::NotFound)
        m_itemsKnown = {};
    if (status) {
        m_itemsKnown = file.identity();
        int counter = 1;
        std::vector<FieldValue> values;
        while (!file.AtEnd()) {
            status = file.ReadRecord(kItemKinds, values);
            if (status.code() == Status::Code::Torn) {
                torn = status;
                status = {};
                break;
            }
            if (!status)
                break;
            msgChinKou->setRows(counter + 1);
            msgChinKou->setRow(counter);
            msgChinKou->setCol(0);
            msgChinKou->setText(fromUtf8(std::get<std::string>(values[0])));
            msgChinKou->setCol(1);
            msgChinKou->setText(fromUtf8(records::FormatMoney(std::get<Currency>(values[1]))));
            ++counter;
        }
        (void)file.Close();
    }
    if (!status && status.code() != Status::Code::NotFound) {
        InitItemGrid();
        warnFileFailure(kItemFile, status, true);
        return false;
    }
    m_itemsWhole = true;
    if (!torn.ok())
        warnTornFile(kItemFile, torn);
    return true;
}

bool fraMain::ensureItemsWhole() {
    if (m_itemsWhole)
        return true;
    InitItemGrid();
    return loadItems();
}

bool fraMain::RegisterItem() {
    if (!ensureItemsWhole())
        return false;
    // The question was open meanwhile: a list another program changed is shown as it is now, and the item goes on
    // it unless it is there now.
    if (!unchangedOutside({DataFile::Items}, false)) {
        msgChinKou->setCol(0);
        if (!m_itemsWhole || msgChinKou->findText(txtChinKou->text(), 1, msgChinKou->Rows() - 1) > 0)
            return false;
    }
    if (msgChinKou->Rows() > kMaxItems) {
        warnEntry(messages::TooManyItems());
        return false;
    }
    const Currency amount = records::ParseMoney(toUtf8(txtChin_Inp->text())).value_or(Currency());
    const std::array<FieldValue, 2> record = {toUtf8(txtChinKou->text()), amount};
    records::FileIdentity written;
    if (const Status status = records::AppendRecord(kItemFile, record, &m_itemsKnown, &written); !status) {
        if (!followedChange(DataFile::Items, status))
            warnFileFailure(kItemFile, status, false);
        return false;
    }
    m_itemsKnown = written;
    msgChinKou->setRows(msgChinKou->Rows() + 1);
    msgChinKou->setRow(msgChinKou->Rows() - 1);
    msgChinKou->setCol(0);
    msgChinKou->setText(txtChinKou->text());
    msgChinKou->setCol(1);
    msgChinKou->setText(fromUtf8(records::FormatMoney(amount)));
    return true;
}

bool fraMain::RewriteItemFile() {
    RecordFile file;
    file.expect(m_itemsKnown);
    Status status = file.OpenForOutput(kItemFile);
    for (int r = 1; status && r < msgChinKou->Rows(); ++r) {
        msgChinKou->setRow(r);
        const auto amount = records::ParseMoney(toUtf8(msgChinKou->cell(r, 1)));
        if (!amount) {
            status = Status::Failure(Status::Code::Unsavable, Status::What::AmountNotReadable);
            break;
        }
        const std::array<FieldValue, 2> record = {toUtf8(msgChinKou->cell(r, 0)), *amount};
        status = file.WriteRecord(record);
    }
    if (status)
        status = file.Close();
    if (status) {
        m_itemsKnown = file.identity();
        return true;
    }
    if (!followedChange(DataFile::Items, status)) {
        warnFileFailure(kItemFile, status, false);
        // The old file is whole; show what it holds.
        InitItemGrid();
        (void)loadItems();
    }
    return false;
}

void fraMain::msgChinKou_Click() {
    if (msgChinKou->Rows() == 1 || msgChinKou->Row() < 1)
        return;
    msgChinKou->setCol(0);
    const QString item = msgChinKou->Text();
    msgChinKou->setCol(1);
    const Currency amount = records::ParseMoney(toUtf8(msgChinKou->Text())).value_or(Currency());
    txtChinKou->setText(item);
    txtChin_Inp->setText(fromUtf8(records::MoneyToText(amount)));
}

void fraMain::msgChinKou_DblClick() {
    const int row = rowToDelete(msgChinKou, DataFile::Items, messages::LastItemNeedsClearAll());
    if (row < 1)
        return;
    msgChinKou->setCol(0);
    if (!confirmDeletion(messages::DeleteItemQuestion(msgChinKou->Text())) || !unchangedOutside({DataFile::Items}))
        return;
    msgChinKou->RemoveItem(row);
    txtChinKou->setText(QString());
    txtChin_Inp->setText(QString());
    (void)RewriteItemFile();
}

void fraMain::cmdChinClr2_Click() {
    if (!ensureItemsWhole() || !unchangedOutside({DataFile::Items}) || msgChinKou->Rows() == 1)
        return;
    if (!confirmDeletion(messages::ClearItemsQuestion()) || !unchangedOutside({DataFile::Items}) ||
        !keepInTrash(kItemFile))
        return;
    const Status status = records::EmptyFile(kItemFile, &m_itemsKnown);
    if (followedChange(DataFile::Items, status))
        return;
    if (!status)
        warnFileFailure(kItemFile, status, false);
    else
        txtChinKou->setText(QString());
    InitItemGrid();
    (void)LoadItemsAndTheme();
}
