// ツモっと貯めよう！: pretend savings. Its data files live in the directory it is started from, or, with
// --data-folder (the desktop menu's way), in the user's data folder, which it makes.
#include "app/app.h"
#include "widgets/dialogs.h"
#include "window/fraMain.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// The boxes that may come before the main window. With TSUMOTTO_START_BOXES=stderr their text goes to
// standard error and the box counts as answered with its first button, so that the tests can start the real
// program where nobody is there to press OK.
class StartDialogs final : public Dialogs {
public:
    Answer message(QWidget* parent, const QString& text, const QString& title, Buttons buttons, Icon icon) override {
        if (qEnvironmentVariable("TSUMOTTO_START_BOXES") != u"stderr"_s)
            return m_boxes.message(parent, text, title, buttons, icon);
        std::fputs(qUtf8Printable(u"%1\n%2\n"_s.arg(title, QString(text).replace(u"\r\n"_s, u"\n"_s))), stderr);
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    QString input(QWidget* parent, const QString& prompt, const QString& title) override {
        return m_boxes.input(parent, prompt, title);
    }
    QString saveFileName(QWidget* parent, const QString& title, const QString& suggested,
                         const QString& filter) override {
        return m_boxes.saveFileName(parent, title, suggested, filter);
    }

private:
    QtDialogs m_boxes;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    SetUpApplication(app);
    bool dataFolder = false;
    for (const QString& argument : QCoreApplication::arguments().mid(1)) {
        if (argument == u"--data-folder"_s) {
            dataFolder = true;
            continue;
        }
        std::fputs(qUtf8Printable(u"tsumotto: 知らないオプションです: %1\n"
                                  u"使い方: tsumotto [--data-folder]\n"
                                  u"  --data-folder  $XDG_DATA_HOME/tsumotto（ふつうは ~/.local/share/tsumotto）を"
                                  u"作って使います。付けなければ、今のディレクトリを使います。\n"_s.arg(argument)),
                   stderr);
        return 2;
    }
    StartDialogs startDialogs;
    if (dataFolder && !EnterUserDataFolder(startDialogs))
        return 1;
    FolderLock lock;
    switch (LockDataFolder(lock, startDialogs)) {
    case LockOutcome::Run:
        break;
    case LockOutcome::OtherCopyShown:
        return 0;
    case LockOutcome::Refused:
        return 1;
    }
    QtDialogs dialogs;
    fraMain window(dialogs);
    ShowWindowWhenAsked(&window);
    if (!window.Form_Load())
        return 1;
    return QApplication::exec();
}
