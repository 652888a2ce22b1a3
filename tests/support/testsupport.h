// Helpers shared by the tests: a working directory of each test's own, file bytes, and scripted dialogs.
#pragma once

#include "shell/dialogs.h"

#include <QByteArray>
#include <QMessageBox>
#include <QPalette>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Sets an environment variable for as long as it lives, then puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    QByteArray m_previous;
    bool m_had;
};

// Makes a fresh temporary directory the current one for as long as it lives, and gives the test a data home
// ($XDG_DATA_HOME) of its own beside it, so that whatever a clear puts in the trash stays out of the user's.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;
    QString path() const { return m_dir.path(); }
    QString dataHome() const { return m_dataHome.path(); }

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_dataHome;
    ScopedEnv m_dataHomeEnv;
    QString m_previous;
};

// The data files' names, as the tests spell them.
inline const char* const kLedgerName = "テーマ１.txt";
inline const char* const kItemsName = "項目１.txt";
inline const char* const kThemeName = "テーマ名１.txt";

// A record line in code page 932: a deposit of the fixed test day (2026-12-07), an item of the list.
QByteArray Deposit(const QString& item, const char* amount);
QByteArray Item(const QString& item, const char* amount);

// Data file names and contents in the bytes they have on disk.
QByteArray ReadBytes(const char* utf8Name);
void WriteBytes(const char* utf8Name, const QByteArray& bytes);
bool FileExists(const char* utf8Name);
// UTF-8 text as code page 932 bytes.
QByteArray Cp932(const QString& text);
// A CSV file's records as RFC 4180 reads them, from its UTF-8 text after the byte-order mark: quoted fields with
// doubled quotes, records ended by CR LF. Empty, with `ok` false, for anything else.
QList<QStringList> ReadCsv(const QByteArray& bytes, bool& ok);

class Grid;
class fraMain;
namespace help {
class HelpWindow;
}

// A dark desktop's colours, as GTK's Adwaita-dark gives them to Qt.
QPalette DarkDesktopPalette();

// The help windows `owner` shows now.
QList<help::HelpWindow*> VisibleHelpWindows(const QWidget& owner);

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

// The centre of a data cell, in the grid's viewport, after bringing the view up to date.
QPoint CellCentre(Grid& grid, int row, int col = 0);

// Makes writes past `bytes` fail, as a full disk does, for the life of the object. Tests run as root, who
// passes permission checks, so this is how they make a write fail.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
};

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
