// ツモっと貯めよう！: pretend savings. Its data files live in the directory it is started from.
#include "shell/app.h"
#include "shell/dialogs.h"
#include "shell/fraMain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    SetUpApplication(app);
    QtDialogs dialogs;
    fraMain window(dialogs);
    if (!window.Form_Load())
        return 1;
    return QApplication::exec();
}
