// Application-wide set-up.
#include "shell/app.h"

#include "shell/dialogs.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QLockFile>
#include <QTranslator>

using namespace Qt::StringLiterals;

void SetUpApplication(QApplication& app) {
    app.setApplicationName(u"tsumotto"_s);
    app.setApplicationDisplayName(QString());
    app.setDesktopFileName(u"io.github.tsumotto.tsumotto"_s); // the installed desktop entry and its icon
    // Every caption is Japanese, so Qt's standard buttons are too, whatever the desktop's language.
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), u"qtbase"_s, u"_"_s,
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
    // The windows name the Windows Japanese Gothic faces; IPA's faces stand in for them.
    QFont::insertSubstitutions(u"ＭＳ Ｐゴシック"_s, {u"IPAPGothic"_s, u"IPAexGothic"_s, u"Noto Sans CJK JP"_s});
    QFont::insertSubstitutions(u"ＭＳ ゴシック"_s, {u"IPAGothic"_s, u"Noto Sans Mono CJK JP"_s});
}

bool LockDataFolder(QLockFile& lock, Dialogs& dialogs) {
    lock.setStaleLockTime(0); // stale only when the copy that made it is gone
    if (lock.tryLock(0))
        return true;
    if (lock.error() != QLockFile::LockFailedError)
        return true;
    qint64 pid = 0;
    QString host, application;
    lock.getLockInfo(&pid, &host, &application);
    dialogs.message(nullptr,
                    u"このフォルダーのデータは、別に起動している「ツモっと貯めよう！」が使っています。\r\n"_s
                    u"（プロセス番号 %1）\r\n\r\n"
                    u"同じデータを二つで書き換えると記録が失われるため、こちらは何もせずに終了します。"_s.arg(pid),
                    u"ツモっと貯めよう！"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Warning);
    return false;
}
