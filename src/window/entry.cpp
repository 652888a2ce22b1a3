// Deposit entry: the item box txtChinKou and the amount box txtChin_Inp, recorded by Enter or 入金.
#include "widgets/controls.h"
#include "widgets/dialogs.h"
#include "widgets/grid.h"
#include "widgets/text_convert.h"
#include "window/fraMain.h"
#include "window/messages.h"

#include "records/cp932.h"

using namespace Qt::StringLiterals;
using records::Currency;
using records::MoneyTextFault;

namespace {
constexpr int kEnter = 13;
} // namespace

// The item is not empty and the amount is a number: anything else is ignored without a word.
bool fraMain::entryPasses() const {
    if (txtChinKou->text().isEmpty() || txtChin_Inp->text().isEmpty())
        return false;
    return records::CheckMoneyText(toUtf8(txtChin_Inp->text())) != MoneyTextFault::NotAnAmount;
}

void fraMain::warnEntry(const QString& text) {
    messages::Show(m_dialogs, this, messages::EntryWarning(text));
}

namespace {

bool IsMark(QChar c) {
    return c.category() == QChar::Mark_NonSpacing || c.category() == QChar::Mark_SpacingCombining ||
           c.category() == QChar::Mark_Enclosing;
}

// What to type instead of a character the files cannot carry, where there is an obvious one: its
// compatibility form (™ gives TM, ㈱ is kept, ½ has none the files take), or the letter without its accent
// (é gives e). Empty when there is none.
QString Instead(char32_t cp) {
    const QString typed = QString::fromUcs4(&cp, 1);
    auto storable = [&typed](const QString& candidate) {
        const std::string text = records::StorableText(toUtf8(candidate));
        return !candidate.isEmpty() && candidate != typed && !records::FirstUnsavableCharacter(text);
    };
    const QString compatible = typed.normalized(QString::NormalizationForm_KC);
    if (storable(compatible))
        return fromUtf8(records::StorableText(toUtf8(compatible)));
    QString bare = typed.normalized(QString::NormalizationForm_D);
    bare.removeIf(IsMark);
    if (storable(bare))
        return fromUtf8(records::StorableText(toUtf8(bare)));
    return {};
}

} // namespace

bool fraMain::refusesText(const QString& what, const QString& text) {
    const std::string utf8 = toUtf8(text);
    const auto fault = records::TextFieldFault(utf8);
    if (!fault)
        return false;
    QString character, instead;
    if (const auto cp = records::FirstUnsavableCharacter(utf8)) {
        character = QString::fromUcs4(&*cp, 1);
        instead = Instead(*cp);
    }
    warnEntry(messages::RefusedText(what, *fault, character, instead));
    return true;
}

void fraMain::cmdChinHozon_Click() {
    if (!entryPasses())
        return;
    // The item as it will be stored, also when it did not come through typing; the box shows it.
    if (const QString stored = fromUtf8(records::StorableText(toUtf8(txtChinKou->text())));
        stored != txtChinKou->text())
        txtChinKou->setText(stored);
    // A deposit goes on a ledger that read whole, or nowhere; the boxes keep the entry. It may write both lists, so
    // both are checked before anything is written: one that another program changed is shown as it is now, and
    // the user deposits again on what they see.
    if (!ensureLedgerWhole() || !unchangedOutside({DataFile::Ledger, DataFile::Items}))
        return;
    // A number the program cannot keep, or a text the files cannot carry, is refused before anything changes.
    switch (records::CheckMoneyText(toUtf8(txtChin_Inp->text()))) {
    case MoneyTextFault::TooManyFractionDigits:
        warnEntry(messages::TooManyFractionDigits());
        return;
    case MoneyTextFault::OutOfRange:
        warnEntry(messages::AmountTooLarge());
        return;
    default:
        break;
    }
    if (refusesText(messages::ItemField(), txtChinKou->text()))
        return;
    if (ChinCnt >= kMaxDeposits) {
        warnEntry(messages::TooManyDeposits());
        return;
    }
    const Currency amount = *records::ParseMoney(toUtf8(txtChin_Inp->text()));
    if (!records::AddMoney(ChinZen, amount)) {
        warnEntry(messages::TotalTooLarge());
        return;
    }

    const Currency before = ChinZen;
    AddLedgerRow();
    if (!AppendLedgerRecord())
        return; // the boxes keep the entry, so the user can try again

    // Whether the item is new can only be told from an item list that read whole; when it cannot be read,
    // the user has been told and nothing is offered.
    const bool itemsKnown = ensureItemsWhole();
    // The first row whose item is the same text, code unit for code unit; the current cell is left on it, or
    // on the last row when there is none.
    msgChinKou->setCol(0);
    const int bound = msgChinKou->Rows() - 1;
    const int equal = msgChinKou->findText(txtChinKou->text(), 1, bound);
    const bool found = equal > 0;
    if (bound >= 1)
        msgChinKou->setRow(found ? equal : bound);
    if (itemsKnown && !found && messages::Show(m_dialogs, this, messages::RegisterNewItem()) == Dialogs::Answer::Yes)
        (void)RegisterItem();

    txtChinKou->setText(QString());
    txtChin_Inp->setText(QString());
    celebrateGoal(before);
    txtChinKou->setFocus();
}

void fraMain::txtChinKou_KeyPress(int keyCode) {
    if (keyCode != kEnter || txtChinKou->text().isEmpty())
        return;
    txtChin_Inp->setFocus();
}

void fraMain::txtChin_Inp_KeyPress(int keyCode) {
    if (keyCode != kEnter || !entryPasses())
        return;
    cmdChinHozon_Click();
}
