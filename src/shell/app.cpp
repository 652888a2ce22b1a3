// Application-wide set-up.
#include "shell/app.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

void SetUpApplication(QApplication& app) {
    app.setApplicationName(u"tsumotto"_s);
    app.setApplicationDisplayName(QString());
    // Every caption is Japanese, so Qt's standard buttons are too, whatever the desktop's language.
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), u"qtbase"_s, u"_"_s,
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
    // The windows name the Windows Japanese Gothic faces; IPA's faces stand in for them.
    QFont::insertSubstitutions(u"ＭＳ Ｐゴシック"_s, {u"IPAPGothic"_s, u"IPAexGothic"_s, u"Noto Sans CJK JP"_s});
    QFont::insertSubstitutions(u"ＭＳ ゴシック"_s, {u"IPAGothic"_s, u"Noto Sans Mono CJK JP"_s});
}
