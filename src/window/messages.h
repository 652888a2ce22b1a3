// Every message the user reads, in Japanese, in one place: the boxes of the main window, the welcome window and
// the start, and the words for what the records layer reports as values. The numbers in them come from the
// limits' own constants, so that a message and the check it tells of never disagree.
#pragma once

#include "records/status.h"
#include "widgets/dialogs.h"

#include <QString>
#include <QStringList>

namespace messages {

// A message box: what it says, its title, its buttons and its icon.
struct Message {
    QString text;
    QString title;
    Dialogs::Buttons buttons = Dialogs::Buttons::Ok;
    Dialogs::Icon icon = Dialogs::Icon::None;
};

// Shows the box and returns the button pressed.
Dialogs::Answer Show(Dialogs& dialogs, QWidget* parent, const Message& message);

// The words for what a status says failed: the system's own for a failed call, the rest made from its values.
QString Reason(const records::Status& status);

// Data files.
// What a failed read or write of a data file means for what comes next, said after the reason.
enum class Then { Nothing, ProgramEnds, NothingWrittenUntilRead };
Message FileFailure(const char* fileName, const records::Status& status, bool reading, Then then);
Message TornFile(const char* fileName, int line);
// The empty entries that stood for the same name as `used` and were removed, one line for each data file.
QString RemovedEmptySpellings(const char* name, const QString& used, const QStringList& removed);
Message DataFolderTidied(const QStringList& lines);

// Deletions and clears: every one asks first.
Message ConfirmDeletion(const QString& question);
QString DeleteLedgerRowQuestion(const QStringList& cells);
QString DeleteItemQuestion(const QString& item);
QString ClearLedgerQuestion();
QString ClearItemsQuestion();
Message LastLedgerRowNeedsClear();
Message LastItemNeedsClearAll();
Message TotalsWouldLeaveTheRange();
// Keeping a cleared file in the trash failed: clear all the same?
Message TrashRefused(const char* fileName, const records::Status& status);

// The deposit entry and the theme name: texts that cannot be taken as they are.
Message EntryWarning(const QString& text);
QString ItemField();
QString ThemeNameField();
// A text refused for a field: what is wrong, and what to type instead when there is something.
QString RefusedText(const QString& field, const records::Status& fault, const QString& character = {},
                    const QString& instead = {});
QString TooManyFractionDigits();
QString AmountTooLarge();
QString TooManyDeposits();
QString TotalTooLarge();
QString TooManyItems();
Message RegisterNewItem();
QString ThemeNamePrompt();
QString ThemeNameTitle();

// The buttons of the top strip and the welcome window.
Message ProIntroduction();
Message Instructions();

// The folder lock.
Message FolderInUse();
Message FolderNotLockable(const QString& folder, const QString& reason);

} // namespace messages
