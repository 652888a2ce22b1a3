// The help layer over the built kzHelp.chm, and the three buttons of the top strip that use it.
#include "shell/app.h"
#include "shell/chm_archive.h"
#include "shell/fraMain.h"
#include "shell/help_viewer.h"
#include "testsupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QPixmap>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;
using help::Command;
using help::HelpWindow;
using help::HtmlHelp;

namespace {

QList<HelpWindow*> OpenHelp(const QWidget& owner) {
    QList<HelpWindow*> open;
    for (HelpWindow* w : owner.findChildren<HelpWindow*>())
        if (w->isVisible())
            open << w;
    return open;
}

// Opens the program's help for `owner`; the one help window it shows, or null.
HelpWindow* OpenProgramHelp(QWidget& owner) {
    HtmlHelp(&owner, u"kzHelp.chm"_s, Command::Display);
    const QList<HelpWindow*> open = OpenHelp(owner);
    return open.size() == 1 ? open.front() : nullptr;
}

QByteArray BuiltHelp() {
    QFile file(QFile::decodeName(help::FindHelpFile(u"kzHelp.chm"_s)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The first fragment of the page that satisfies `wanted`.
QTextFragment FindFragment(const QTextDocument& document, const std::function<bool(const QTextFragment&)>& wanted) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().isValid() && wanted(it.fragment()))
                return it.fragment();
    return {};
}

class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

} // namespace

class TestHelp : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void showsDefaultTopicWithPictures();
    void followsLinksBackAndForward();
    void missingOrDamagedShowsNothing();
    void defaultTopicFallsBack();
    void closeAllClosesBothFiles();
    void proIntroducesBeforeItsHelp();
    void exitClosesHelpAndEnds();
};

void TestHelp::initTestCase() {
    SetUpApplication(*qApp);
    QVERIFY2(!BuiltHelp().isEmpty(), "kzHelp.chm is not built");
}

void TestHelp::showsDefaultTopicWithPictures() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), u"ツモっと貯めよう！ ヘルプ"_s);
    QCOMPARE(w->browser()->source().path(), u"/index.html"_s);
    QVERIFY(w->browser()->toPlainText().contains(u"つもり貯金"_s));

    const QTextFragment picture =
        FindFragment(*w->browser()->document(), [](const QTextFragment& f) { return f.charFormat().isImageFormat(); });
    QVERIFY2(picture.isValid(), "the first page shows no picture");
    const QString name = picture.charFormat().toImageFormat().name();
    const QVariant loaded = w->browser()->document()->resource(QTextDocument::ImageResource, QUrl(name));
    const QImage image = loaded.typeId() == QMetaType::QImage    ? loaded.value<QImage>()
                         : loaded.typeId() == QMetaType::QPixmap ? loaded.value<QPixmap>().toImage()
                                                                 : QImage::fromData(loaded.toByteArray());
    QVERIFY2(!image.isNull() && image.width() > 16, qPrintable(name));

    // Asking again brings the same window forward.
    HtmlHelp(&owner, u"kzHelp.chm"_s, Command::Display);
    QCOMPARE(OpenHelp(owner).size(), 1);
}

void TestHelp::followsLinksBackAndForward() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    help::HelpBrowser* browser = w->browser();
    const QTextFragment link = FindFragment(*browser->document(), [](const QTextFragment& f) {
        const QString href = f.charFormat().anchorHref();
        return f.charFormat().isAnchor() && !href.isEmpty() && !href.startsWith(u"http"_s) && !href.startsWith(u'#');
    });
    QVERIFY2(link.isValid(), "the first page links nowhere");
    const QUrl target = browser->source().resolved(QUrl(link.charFormat().anchorHref()));

    QTextCursor cursor(browser->document());
    cursor.setPosition(link.position() + link.length() / 2);
    const QPoint at = browser->cursorRect(cursor).center();
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, at);
    QTRY_COMPARE(browser->source().path(), target.path());
    QVERIFY(w->windowTitle() != u"ツモっと貯めよう！ ヘルプ"_s && !w->windowTitle().isEmpty());
    QVERIFY(browser->isBackwardAvailable());
    browser->backward();
    QCOMPARE(browser->source().path(), u"/index.html"_s);
    browser->forward();
    QCOMPARE(browser->source().path(), target.path());

    // A link to the web goes to the desktop's browser; the page stays.
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(u"https"_s, &catcher, "open");
    browser->followLink(QUrl(u"https://www.example.org/"_s));
    QDesktopServices::unsetUrlHandler(u"https"_s);
    QCOMPARE(catcher.opened, QList<QUrl>{QUrl(u"https://www.example.org/"_s)});
    QCOMPARE(browser->source().path(), target.path());
    // A page the file does not hold changes nothing.
    browser->followLink(QUrl(u"no-such-page.html"_s));
    QCOMPARE(browser->source().path(), target.path());
}

void TestHelp::missingOrDamagedShowsNothing() {
    ScopedWorkDir dir;
    QWidget owner;
    const QByteArray built = BuiltHelp();
    QVERIFY(ChmHeadersSound(built.toStdString(), static_cast<std::uint64_t>(built.size())));
    QByteArray farDirectory = built;
    farDirectory[0x4F] = '\x7F'; // the directory's offset far past the end
    WriteBytes("far.chm", farDirectory);
    WriteBytes("cut.chm", built.left(built.size() / 3));
    WriteBytes("noise.chm", QByteArray("ITSF") + QByteArray(5000, '\xFF'));
    WriteBytes("empty.chm", QByteArray());
    for (const QString& name : {u"nothing.chm"_s, u"far.chm"_s, u"cut.chm"_s, u"noise.chm"_s, u"empty.chm"_s}) {
        HtmlHelp(&owner, name, Command::Display);
        QVERIFY2(OpenHelp(owner).isEmpty(), qPrintable(name));
    }
    QVERIFY(!ChmHeadersSound(farDirectory.toStdString(), static_cast<std::uint64_t>(farDirectory.size())));
    // Found by fuzzing: chmlib divided by zero on the first, and walked the second's chunks for ever.
    for (const char* found : {"lzx-window-zero.chm", "chunks-in-a-circle.chm"}) {
        const QString path = qEnvironmentVariable("TSUMOTTO_TEST_DATA") + u"/chm/"_s + QString::fromUtf8(found);
        QVERIFY2(QFile::exists(path), qPrintable(path));
        QVERIFY(!ChmArchive::Open(QFile::encodeName(path).toStdString()));
        HtmlHelp(&owner, path, Command::Display);
        QVERIFY(OpenHelp(owner).isEmpty());
    }
    QVERIFY(!ChmHeadersSound(built.left(0x40).toStdString(), 0x40));
}

// Without a default topic, the first page of the table of contents.
void TestHelp::defaultTopicFallsBack() {
    const auto tocOnly = ChmArchive::Open(qgetenv("TSUMOTTO_TOC_ONLY_CHM").toStdString());
    QVERIFY(tocOnly);
    QCOMPARE(tocOnly->DefaultTopic(), std::string("/b-second.html"));
    QVERIFY(tocOnly->Read("/A-FIRST.HTML")); // letter case ignored inside the file
}

void TestHelp::closeAllClosesBothFiles() {
    ScopedWorkDir dir;
    WriteBytes("TsproHelp.chm", BuiltHelp()); // found in the current directory, ignoring case
    QWidget owner;
    HtmlHelp(&owner, u"kzHelp.chm"_s, Command::Display);
    HtmlHelp(&owner, u"tsprohelp.CHM"_s, Command::Display);
    QCOMPARE(OpenHelp(owner).size(), 2);
    HtmlHelp(&owner, u"kzHelp.chm"_s, Command::CloseAll);
    QVERIFY(OpenHelp(owner).isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(owner.findChildren<HelpWindow*>().isEmpty());
}

void TestHelp::proIntroducesBeforeItsHelp() {
    ScopedWorkDir dir;
    ScriptedDialogs dialogs;
    fraMain w(dialogs);
    qsizetype helpAtMessage = -1;
    dialogs.onAsk = [&](const ScriptedDialogs::Asked&) { helpAtMessage = OpenHelp(w).size(); };

    // The Pro edition's help is not this program's: the introduction, then nothing.
    QTest::mouseClick(w.cmdsyoukai, Qt::LeftButton);
    QCOMPARE(dialogs.asked.size(), std::size_t(1));
    QCOMPARE(dialogs.asked[0].title, u"ツモっと貯金！Ｐｒｏのご紹介"_s);
    QCOMPARE(dialogs.asked[0].text,
             u"貯蓄成果をより詳細に把握したい場合は「ツモっと貯金！Ｐｒｏ」をぜひどうぞ！\r\n\r\n"
             u"ツモっと貯金！三兄弟、まいにち一歩と端数ためとけ、つもりで一直線！の詰め合わせです。\r\n"
             u"それぞれの貯金データを利用して、グラフや一覧で貯蓄状況を表示できる機能があり\r\n"
             u"やる気と継続する力をより強力にサポートします。\r\n\r\n"
             u"どんなことができるソフトなのかはツモっと貯金！Ｐｒｏのヘルプをぜひご覧ください。"_s);
    QCOMPARE(dialogs.asked[0].buttons, Dialogs::Buttons::Ok);
    QCOMPARE(dialogs.asked[0].icon, Dialogs::Icon::Information);
    QCOMPARE(w.HelpFile, u"TsproHelp.chm"_s);
    QVERIFY(OpenHelp(w).isEmpty());

    // With a file of that name at hand, it opens only after the message.
    WriteBytes("TsproHelp.chm", BuiltHelp());
    w.cmdsyoukai_Click();
    QCOMPARE(helpAtMessage, 0);
    QCOMPARE(OpenHelp(w).size(), 1);
}

void TestHelp::exitClosesHelpAndEnds() {
    ScopedWorkDir dir;
    ScriptedDialogs dialogs;
    fraMain w(dialogs);
    w.show();
    QTest::mouseClick(w.cmdHelp, Qt::LeftButton);
    QCOMPARE(w.HelpFile, u"kzHelp.chm"_s);
    QCOMPARE(OpenHelp(w).size(), 1);
    QTimer::singleShot(0, &w, [&] { QTest::mouseClick(w.cmdEnd, Qt::LeftButton); });
    QTimer watchdog; // in case the exit button does not end the loop
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(5000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(OpenHelp(w).isEmpty());
    QCOMPARE(w.HelpFile, u"TsproHelp.chm"_s);
    QVERIFY(dialogs.asked.empty());
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
