// What the application sets up before its first window: Japanese texts of Qt's own buttons, the fonts the
// windows are designed in, and the lock that keeps one copy of the program per data folder.
#pragma once

#include <QString>

#include <string>

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

    // Locks the current directory. Busy when another copy holds it; Failed, with reason(), when it cannot
    // be locked at all.
    Result take();
    bool held() const { return m_fd >= 0; }
    const std::string& reason() const { return m_reason; }

private:
    int m_fd = -1;
    std::string m_reason;
};

// Where a folder cannot be locked itself (some network file systems), this file in it is locked instead.
inline const QString kFolderLockName = QStringLiteral(".tsumotto.lock");

enum class LockOutcome {
    Run,            // this copy holds the lock
    OtherCopyShown, // another copy holds it and has brought its window forward
    Refused,        // the user has been told why this copy cannot run; nothing has been written
};

// Takes the lock of the current directory. When another copy holds it, asks that copy to show its window,
// and only when it does not answer, tells the user. When the folder cannot be locked, tells the user why.
[[nodiscard]] LockOutcome LockDataFolder(FolderLock& lock, Dialogs& dialogs);

// Lets a later copy started in the same folder bring window forward, for as long as window lives.
void ShowWindowWhenAsked(QWidget* window);
// Asks the copy running in the current directory to bring its window forward; true when it answered.
bool AskRunningCopyToShowItself();
