// ツモっと貯めよう！: pretend savings. Its data files live in the directory it is started from.
#include "shell/app.h"
#include "shell/dialogs.h"
#include "shell/fraMain.h"

#include <QApplication>
#include <QLockFile>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    SetUpApplication(app);
    QtDialogs dialogs;
    QLockFile lock(kFolderLockName);
    if (!LockDataFolder(lock, dialogs))
        return 1;
    fraMain window(dialogs);
    if (!window.Form_Load())
        return 1;
    return QApplication::exec();
}
