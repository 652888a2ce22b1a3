// ツモっと貯めよう！: pretend savings. Its data files live in the directory it is started from.
#include "app/app.h"
#include "widgets/dialogs.h"
#include "window/fraMain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    SetUpApplication(app);
    QtDialogs dialogs;
    FolderLock lock;
    switch (LockDataFolder(lock, dialogs)) {
    case LockOutcome::Run:
        break;
    case LockOutcome::OtherCopyShown:
        return 0;
    case LockOutcome::Refused:
        return 1;
    }
    fraMain window(dialogs);
    ShowWindowWhenAsked(&window);
    if (!window.Form_Load())
        return 1;
    return QApplication::exec();
}
