// What the application sets up before its first window: Japanese texts of Qt's own buttons, the fonts the
// windows are designed in, the data folder of a copy started from the desktop menu, and the lock that keeps
// one copy of the program per data folder.
#pragma once

#include <QString>

#include <chrono>
#include <sys/types.h>
#include <unistd.h>

class Dialogs;
class QApplication;
class QWidget;

void SetUpApplication(QApplication& app);

// The lock that keeps a second copy of the program out of a data folder, where a deletion in one copy would
// write over the other's deposits. It is a lock of the kernel's on the folder itself, held for the life of
// the object: it goes with the process however that ends (a kill, a crash, a power cut), and there is no
// lock file to go stale, be deleted or fill a disk.
class FolderLock {
public:
    enum class Result { Taken, Busy, Failed };

    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Locks the current directory. Busy when another copy holds it; Failed, with error(), when it cannot
    // be locked at all.
    Result take();
    bool held() const { return m_fd >= 0; }
    int error() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

// Where a folder cannot be locked itself (some network file systems), this file in it is locked instead.
inline const QString kFolderLockName = QStringLiteral(".tsumotto.lock");

enum class LockOutcome {
    Run,            // this copy holds the lock
    OtherCopyShown, // another copy holds it and has said that it brought its window forward
    Refused,        // the user has been told why this copy cannot run; nothing has been written
};

// How long a later copy waits for the running copy's answer: two seconds, or TSUMOTTO_ANSWER_WAIT_MS
// milliseconds (up to ten seconds), which the tests shorten.
std::chrono::milliseconds AnswerWait();

// Takes the lock of the current directory. When another copy holds it, asks that copy to show its window,
// and only when it says it has, ends quietly; otherwise, and when the folder cannot be locked, tells the user
// why. Never waits longer than `answerWait` for the other copy.
[[nodiscard]] LockOutcome LockDataFolder(FolderLock& lock, Dialogs& dialogs,
                                         std::chrono::milliseconds answerWait = AnswerWait());

// What the copy holding the folder said when asked to show itself.
enum class ShowAnswer {
    Shown,       // it brought its window forward and said so
    NoAnswer,    // a socket of this user's took the request and gave no answer, or not the right one, in time
    Unreachable, // nobody of this user's could be reached: nobody listens, the queue stayed full, or the
                 // name is another user's
};

// Lets a later copy started in the same folder by `user` bring window forward, for as long as window lives.
// Requests of other users are dropped unanswered. Nothing here ever waits on the window's thread.
void ShowWindowWhenAsked(QWidget* window, uid_t user = getuid());
// Asks the copy running in the current directory to bring its window forward, waiting at most `wait` for it
// to say it has. Only a socket of `user` is believed.
ShowAnswer AskRunningCopyToShowItself(std::chrono::milliseconds wait, uid_t user = getuid());

// The listening socket a running copy takes requests on, named for the user and the current directory;
// -1 when it cannot be made. What ShowWindowWhenAsked listens on, and what a test squats.
int ListenForShowRequests();
// Whether the process at the other end of a connected local socket runs as `user`.
bool PeerIsUser(int socket, uid_t user);

// The user's data folder, for a copy started from the desktop menu: $XDG_DATA_HOME/tsumotto, or
// $HOME/.local/share/tsumotto when XDG_DATA_HOME is unset or relative. Empty, with `problem` set, when HOME is
// unset, relative or the root directory, so that no data goes to /.local/share.
QString UserDataFolder(QString& problem);
// Makes the user's data folder when it is missing (mode 0700, with any missing folders above it) and makes it
// the current directory. When it cannot, tells the user why and returns false; nothing has been written.
[[nodiscard]] bool EnterUserDataFolder(Dialogs& dialogs);
