// Every message the user reads, in Japanese, in one place: the boxes of the main window, the welcome window and
// the start, and the words for what the records layer reports as values. The numbers in them come from the
// limits' own constants, so that a message and the check it tells of never disagree.
#pragma once

#include "records/status.h"
#include "widgets/dialogs.h"

#include <QString>
#include <QStringList>

#include <string>

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
// A directory entry of the data folder by its exact name, in corner brackets, with how the name is written
// where that alone tells it from a name that looks the same.
QString EntryShown(const std::string& entry);
// What a data file holds, in the user's words.
QString ContentOf(const char* fileName);
// The empty entries that stood for the same name as the one used and were removed, one line for each data
// file; `used` and `removed` as EntryShown gives them.
QString RemovedEmptySpellings(const char* name, const QString& used, const QStringList& removed);
// An entry named like a data file that is a folder, or a pipe or a device: the start ends.
Message NotAFile(const char* fileName, const std::string& entry, bool directory);
// Data files that another program changed were read again and are shown; `refused`: the operation was not
// carried out.
Message ChangedOutside(const QStringList& names, bool refused);
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
QString NoThemeName(); // what the theme label is called while no theme is set

// The buttons of the top strip and the welcome window.
Message ProIntroduction();
Message Instructions();
// The Pro edition's help did not open: the file is in neither folder, or (present) it is there but unreadable.
Message ProHelpMissing(const QString& file, bool present, const QString& dataFolder, const QString& installed);

// The system's error as a short Japanese sentence, for the boxes of the start.
QString SystemErrorReason(int error);

// The goal and the chart window.
Message GoalReached(const QString& goal);
Message CsvOverDataFile(const QString& path);
Message CsvNotSaved(const QString& path, const records::Status& status);
Message CsvSaved(int rows, const QString& path);

// The folder lock. Who holds the folder when the running copy did not show itself: a copy of this program
// that does not answer, or someone that did not say who it is (another program, or a copy that cannot).
enum class Holder { SilentCopy, Unknown };
Message FolderInUse(const QString& folder, Holder holder);
Message FolderNotLockable(const QString& folder, const QString& reason);

// The data folder of a copy started from the desktop menu.
QString NoHomeFolder();
QString NotAFolder(const QString& path);
QString StepFailed(const QString& path, const QString& reason);
Message DataFolderUnknown(const QString& problem);
Message DataFolderUnusable(const QString& folder, const QString& problem);

} // namespace messages
