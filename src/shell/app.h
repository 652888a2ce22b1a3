// What the application sets up before its first window: Japanese texts of Qt's own buttons, and the fonts
// the windows are designed in.
#pragma once

#include <QString>

class Dialogs;
class QLockFile;

class QApplication;

void SetUpApplication(QApplication& app);

// The lock that keeps a second copy of the program out of a data folder, where a deletion in one copy would
// write over the other's deposits. It is not data, and goes when the program ends.
inline const QString kFolderLockName = QStringLiteral(".tsumotto.lock");

// Takes the lock of the current directory, taking over one left by a copy that has crashed. False when
// another running copy holds it: the user has been told, and the program must end without touching any
// file. A folder where no lock can be made at all is used without one.
[[nodiscard]] bool LockDataFolder(QLockFile& lock, Dialogs& dialogs);
