// Helpers shared by the tests of the windows: a working directory of each test's own, file bytes in Qt's types, and
// scripted dialogs.
#pragma once

#include "filesupport.h"
#include "widgets/dialogs.h"

#include <QByteArray>
#include <QFile>
#include <QMessageBox>
#include <QPalette>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using files::FileSizeLimit;
using files::kItemsName;
using files::kLedgerName;
using files::kThemeName;
using files::ScopedEnv;

// files::ScopedWorkDir, with its paths as Qt's strings.
class ScopedWorkDir : public files::ScopedWorkDir {
public:
    QString path() const { return QFile::decodeName(files::ScopedWorkDir::path().c_str()); }
    QString dataHome() const { return QFile::decodeName(files::ScopedWorkDir::dataHome().c_str()); }
};

// A record line in code page 932: a deposit of the fixed test day (2026-12-07), an item of the list.
QByteArray Deposit(const QString& item, const char* amount);
QByteArray Item(const QString& item, const char* amount);

// Data file names and contents in the bytes they have on disk.
QByteArray ReadBytes(const char* utf8Name);
void WriteBytes(const char* utf8Name, const QByteArray& bytes);
bool FileExists(const char* utf8Name);
// UTF-8 text as code page 932 bytes.
QByteArray Cp932(const QString& text);
// files::ReadCsv in Qt's types: empty, with `ok` false, for what is no such CSV.
QList<QStringList> ReadCsv(const QByteArray& bytes, bool& ok);

class Grid;
class fraMain;
namespace help {
class HelpWindow;
class SearchPane;
} // namespace help

// A dark desktop's colours, as GTK's Adwaita-dark gives them to Qt.
QPalette DarkDesktopPalette();

// The help windows `owner` shows now.
QList<help::HelpWindow*> VisibleHelpWindows(const QWidget& owner);
// Asks the search pane to search (`ask`: Enter in its field, its button, run()) and waits, with the window
// answering, until it shows the results: it searches once its index is whole.
void SearchAndWait(help::SearchPane& pane, const std::function<void()>& ask);

// What a real message box showed.
struct SeenBox {
    QString title;
    QString text;
    QStringList buttons;
};

// Once the next modal message box is open, records it and presses the given button.
void AnswerNextBox(QMessageBox::StandardButton button, std::vector<SeenBox>& seen);

// Runs the main window's start-up; a welcome window that opens on the way is closed by its close box.
[[nodiscard]] bool LoadPastStarter(fraMain& window);
// Everything the window shows of the ledger, the item list and the theme name: what a restart must show again.
QStringList Screen(const fraMain& window);

// The centre of a data cell, in the grid's viewport, after bringing the view up to date.
QPoint CellCentre(Grid& grid, int row, int col = 0);

// Dialogs answered from a script; every box asked is recorded.
class ScriptedDialogs final : public Dialogs {
public:
    struct Asked {
        QString text;
        QString title;
        Buttons buttons;
        Icon icon;
        bool isInput;
    };

    void answer(Answer a) { m_answers.push_back(a); }
    void answerInput(const QString& text) { m_inputs.push_back(text); }
    // The path the next file dialog gives; empty for Cancel.
    void answerSaveFileName(const QString& path) { m_files.push_back(path); }

    Answer message(QWidget* parent, const QString& text, const QString& title, Buttons buttons, Icon icon) override;
    QString input(QWidget* parent, const QString& prompt, const QString& title) override;
    // Recorded as an input whose text is the title.
    QString saveFileName(QWidget* parent, const QString& title, const QString& suggested,
                         const QString& filter) override;

    std::vector<Asked> asked;
    // Runs as each box is asked, before it is answered.
    std::function<void(const Asked&)> onAsk;
    // Answers not used by the end of a test mean a box that should have appeared did not.
    bool allAnswersUsed() const { return m_answers.empty() && m_inputs.empty() && m_files.empty(); }

private:
    std::deque<Answer> m_answers;
    std::deque<QString> m_inputs;
    std::deque<QString> m_files;
};

// What the tests of the main window share: each test in a fresh work directory with a data home of its own,
// boxes answered from a script (every answer used by the end of the test), and the window started on a
// fixed day, 2026-12-07. A test class derives from it and calls initWindowTest and cleanupWindowTest from
// its init and cleanup slots.
class MainWindowTest {
protected:
    void initWindowTest();
    void cleanupWindowTest();
    // Starts the window past the welcome window; ends the test program when the start does not come out as
    // expected.
    fraMain& start(bool expectLoaded = true);

    std::unique_ptr<ScopedWorkDir> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<fraMain> m_window;
};
