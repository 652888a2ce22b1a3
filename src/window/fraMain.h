// The main window. It owns all state of the program: its grids are at once the display and the only copy
// of the ledger and the item list in memory. The operations of each area are its procedures, defined in
// the file named after the area (ledger.cpp, items.cpp, entry.cpp, theme.cpp, help_buttons.cpp); the window
// itself, its data files and its event wiring are in fraMain.cpp, and the words of every message in
// messages.cpp.
//
// The names of the windows, their controls and values are those of the window's layout, in the naming of
// Windows forms: a prefix says what a thing is, the rest is romanised Japanese. New names that are not controls
// or their events are plain English.
//   fra, frm   a window (form): fraMain the main window, frmSub the welcome window 「ツモっと始めてみよう！」
//   cmd        a button:  cmdChinHozon 「入金」 records the deposit (hozon: to save), cmdChinClr 「クリア」 clears
//              the ledger, cmdHelp 「ヘルプ」, cmdsyoukai 「プロ」 introduces the Pro edition (shoukai), cmdEnd
//              「終了」, cmdChinClr2 「項目全クリア」 clears the item list; frmSub's cmdModori goes back to the main
//              window (modori: return)
//   txt        a text box: txtChinKou 「項目」 the item of a deposit, txtChin_Inp 「金額」 its amount
//   msg        a grid, not a message: msgChingin 「貯金の記録」 the ledger, msgChinKou 「項目リスト」 the item list,
//              frmSub's msgTemaSub1 to 3 the example themes
//   lbl, img   a label, a picture: lblTemaMei the theme name (tema mei), imgTema1 the theme's picture,
//              lblChin_cnt 「回数」 the number of deposits, lblChin_zen 「合計」 their total (zen: all)
//   Chin...    the savings: ChinZen the total of the ledger, ChinCnt the number of its deposits
//   X_Click, X_DblClick, X_KeyPress   what an event of control X does; Form_Load the start of a window
#pragma once

#include "records/date_text.h"
#include "records/money.h"
#include "records/record_file.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class Dialogs;
class FolderWatch;
class GoalBar;
class LedgerRows;
class Grid;
namespace messages {
struct Message;
}
class Label;
class QLabel;
class QPushButton;
class QToolButton;
class TextBox;
class frmSuii;

class fraMain final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(fraMain)

public:
    explicit fraMain(Dialogs& dialogs, QWidget* parent = nullptr);
    ~fraMain() override;

    // The data files, by bare name in the current directory.
    static const char* const kLedgerFile;      // as created, truncated and rewritten
    static const char* const kLedgerFileInput; // as opened for reading and appending
    static const char* const kItemFile;
    static const char* const kThemeFile;
    static const char* const kGoalFile;

    // As many rows as a data file holds records (records::kMaxRecords, which says why).
    static constexpr int kMaxDeposits = records::kMaxRecords;
    static constexpr int kTotalHeight = 390;    // the total's label, in twips as designed
    static constexpr int kTotalRoomBelow = 135; // twips from it down to the panel, for a second line
    static constexpr int kMaxItems = records::kMaxRecords;

    // Window-level values.
    QString HelpFile;
    records::Currency ChinZen;
    qint16 ChinCnt = 0;
    // The savings goal, when the user has set one.
    std::optional<records::Currency> Mokuhyou;

    // Controls that the operations use, by their names in the window's layout. The labels, pictures and lines
    // that nothing changes are children known by name only.
    QPushButton* cmdChinClr2 = nullptr;
    QToolButton* cmdEnd = nullptr;
    QToolButton* cmdsyoukai = nullptr;
    TextBox* txtChin_Inp = nullptr;
    QToolButton* cmdHelp = nullptr;
    QToolButton* cmdChinClr = nullptr;
    QToolButton* cmdChinHozon = nullptr;
    TextBox* txtChinKou = nullptr;
    Grid* msgChingin = nullptr;
    Grid* msgChinKou = nullptr;
    Label* lblTemaMei = nullptr;
    Label* imgTema1 = nullptr;
    QLabel* lblChin_zen = nullptr;
    QLabel* lblChin_cnt = nullptr;
    GoalBar* prgMokuhyou = nullptr;
    QPushButton* cmdSuii = nullptr;

    // The start-up. False when a data file could not be read or made: the user has been told, nothing has
    // been written, and the program must end.
    [[nodiscard]] bool Form_Load();

    // Ledger.
    void InitLedgerGrid();
    [[nodiscard]] bool LoadLedger();
    void ShowTotals();
    void AddLedgerRow();
    [[nodiscard]] bool AppendLedgerRecord();
    void msgChingin_DblClick();
    void cmdChinClr_Click();

    // Item list.
    void InitItemGrid();
    [[nodiscard]] bool LoadItemsAndTheme();
    [[nodiscard]] bool RegisterItem();
    [[nodiscard]] bool RewriteItemFile();
    void msgChinKou_Click();
    void msgChinKou_DblClick();
    void cmdChinClr2_Click();

    // Deposit entry.
    void cmdChinHozon_Click();
    void txtChinKou_KeyPress(int keyCode);
    void txtChin_Inp_KeyPress(int keyCode);

    // Help, the Pro edition's introduction and the end.
    void cmdHelp_Click();
    void cmdsyoukai_Click();
    void cmdEnd_Click();

    // Theme name.
    void imgTema1_DblClick();
    void lblTemaMei_DblClick();

    // The goal and the chart of the savings.
    void ShowGoal();
    // Sets the goal to the amount typed, or, for an empty text or 0, removes it after asking. Refuses what is
    // not an amount above zero with a message. True when the goal is now what was typed.
    [[nodiscard]] bool SaveGoal(const QString& typed);
    void prgMokuhyou_DblClick();
    void cmdSuii_Click();
    // The chart window while it is open.
    frmSuii* chartWindow() const;
    // The ledger's rows, as the grid shows them.
    const LedgerRows& ledgerRows() const { return *m_ledgerRows; }
    // Before the ledger is copied elsewhere: reads it again when it did not read whole or another program
    // changed it (telling the user); true when what is shown is the file as it is.
    [[nodiscard]] bool ledgerAsFileHoldsIt();
    // Whether a path the user chose names one of the data files, where a file of another kind must not go.
    static bool NamesDataFile(const QString& path);
    records::CalendarDate today() const { return m_clock(); }

    // Where today's date comes from; tests set a fixed one.
    void setClock(std::function<records::CalendarDate()> clock) { m_clock = std::move(clock); }

signals:
    // After every change of the ledger's rows: a deposit, a deletion, a clear, a load.
    void LedgerChanged();
    // After the goal was set, changed, removed or read again.
    void GoalChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class DataFile { Ledger, Items, Theme, Goal };
    static const char* fileName(DataFile file);
    records::FileIdentity& known(DataFile file);

    void createControls();
    // The welcome window, shown once over the main window when the ledger is empty.
    void showStarterWindow();
    void wireEvents();

    bool entryPasses() const;
    // Every deletion asks first, OK or Cancel, without an icon.
    bool confirmDeletion(const QString& question);
    // The row of `grid` (the ledger or the item list, shown from `file`) that a double-click deletes, or 0 when it
    // deletes nothing: a list that did not read whole is read again instead, one changed outside is shown as it
    // is now, and its last row goes only by clearing, as `lastRow` tells the user.
    int rowToDelete(Grid* grid, DataFile file, const messages::Message& lastRow);
    // Before a clear empties a data file: its content goes to the desktop's trash, from where a file manager puts it
    // back. When it cannot, the user is told so and asked whether to clear all the same (Cancel the default). True
    // when the clear may go on.
    [[nodiscard]] bool keepInTrash(const char* fileName);
    [[nodiscard]] bool loadItems(); // the item half of LoadItemsAndTheme
    [[nodiscard]] bool loadTheme(); // the theme half of LoadItemsAndTheme
    // The goal file; when it cannot be read, the user is told, no goal is shown and nothing writes the file
    // until it reads whole.
    bool loadGoal();
    [[nodiscard]] bool ensureGoalWhole();
    // After a deposit: a total that has just come to the goal, from below it, is celebrated.
    void celebrateGoal(records::Currency before);
    void showTheme(const QString& name);
    void showTotal(const QString& text);
    // A list that did not read whole is never written: these load it again when it has not, and say whether
    // it is whole now.
    [[nodiscard]] bool ensureLedgerWhole();
    [[nodiscard]] bool ensureItemsWhole();
    void reloadLedger();
    // Before anything is read: a data file whose name several directory entries match. False, after telling
    // the user, when more than one of them holds data or one of them is not a file.
    [[nodiscard]] bool checkDataFileNames();
    // After a start that read everything: the empty entries that shadowed a data file, and the temporary
    // files of rewrites that were cut off, are removed, and the user is told of the first.
    void tidyDataFolder();
    // Tells the user that an entry named like a data file is a directory or a pipe, naming that entry.
    void warnNotAFile(const char* fileName, const records::DataFileLookup& lookup);
    // Files changed by other programs. Before a write, and before a question about what is shown: true when the
    // files are still as the window last read or wrote them; otherwise each changed one is read again and shown,
    // the user is told in one message, and the operation must not go on (`refused`), or goes on with what is now
    // shown.
    [[nodiscard]] bool unchangedOutside(std::initializer_list<DataFile> files, bool refused = true);
    // After a write that found its file changed (Changed): reads it again, shows it and tells the user. False
    // for any other outcome.
    [[nodiscard]] bool followedChange(DataFile file, const records::Status& status);
    // Reads one data file again as it is now, as another program left it: a missing ledger is not made. False
    // when it did not read whole, which the user has been told.
    bool followOutside(DataFile file);
    void tellChangedOutside(const QStringList& names, bool refused);
    // The watch on the data folder: what changed is read again and shown while the window is idle; a change
    // that comes while a box is open waits until it is closed.
    void startWatching();
    void dataFolderChanged();
    // Warns that the user's text cannot be used as it is; nothing has been recorded.
    void warnEntry(const QString& text);
    // Refuses, with a message naming the character and what to type instead, a text the files cannot carry.
    [[nodiscard]] bool refusesText(const QString& what, const QString& text);

    // Tells the user that a data file could not be read, written or replaced, naming it and the reason.
    void warnFileFailure(const char* fileName, const records::Status& status, bool reading);
    // Tells the user that the last line of a data file was the remains of a cut-off write and was left out.
    void warnTornFile(const char* fileName, const records::Status& status);

    Dialogs& m_dialogs;
    bool m_starting = false;    // a file failure now ends the program
    bool m_ledgerWhole = false; // the ledger grid holds exactly what the ledger file held at its last load
    bool m_itemsWhole = false;  // the same for the item grid and the item list file
    // The goal shown is what the goal file held at its last load (none before the start has read it).
    bool m_goalWhole = true;
    bool m_createLedger = false;     // the start found no ledger file and makes it once everything has read
    bool m_followingOutside = false; // reading a file again because another program changed it
    // Each data file as the window last read or wrote it: a write goes only over the same file.
    records::FileIdentity m_ledgerKnown;
    records::FileIdentity m_itemsKnown;
    records::FileIdentity m_themeKnown;
    records::FileIdentity m_goalKnown;
    FolderWatch* m_watch = nullptr;
    QPointer<QWidget> m_waitingFor; // the box that a change waits for
    QPointer<frmSuii> m_chart;
    std::function<records::CalendarDate()> m_clock;
    // The date of the deposit being recorded: taken once by AddLedgerRow, so that the grid row and the
    // file line agree even at midnight.
    records::CalendarDate m_depositDate;
    // Beside the ledger grid, row for row: amounts, running totals, and the texts as the file stores them.
    std::unique_ptr<LedgerRows> m_ledgerRows;
};
