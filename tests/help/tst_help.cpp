// The help layer over the built kzHelp.chm, damaged and foreign .chm files, and the buttons and key of the main
// window that use it.
#include "app/app.h"
#include "help/chm_archive.h"
#include "help/help_panes.h"
#include "help/help_viewer.h"
#include "testsupport.h"
#include "widgets/controls.h"
#include "window/fraMain.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

using namespace Qt::StringLiterals;
using help::Command;
using help::HelpWindow;
using help::HtmlHelp;

namespace {

QList<HelpWindow*> OpenHelp(const QWidget& owner) {
    return VisibleHelpWindows(owner);
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

QByteArray ReadFile(const QString& path) {
    return ReadBytes(path.toUtf8().constData());
}

// The files made to break .chm readers: the tests' own and what fuzzing found.
QStringList CraftedFiles() {
    QStringList files;
    for (const QString& folder : {qEnvironmentVariable("TSUMOTTO_TEST_DATA") + u"/chm"_s,
                                  qEnvironmentVariable("TSUMOTTO_FUZZ_DIR") + u"/findings"_s})
        for (const QString& name : QDir(folder).entryList({u"*.chm"_s}, QDir::Files))
            files << folder + u'/' + name;
    return files;
}

// The first fragment of the page that satisfies `wanted`.
QTextFragment FindFragment(const QTextDocument& document, const std::function<bool(const QTextFragment&)>& wanted) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().isValid() && wanted(it.fragment()))
                return it.fragment();
    return {};
}

QImage ImageOf(const QTextDocument& document, const QString& name) {
    const QVariant loaded = document.resource(QTextDocument::ImageResource, QUrl(name));
    return loaded.typeId() == QMetaType::QImage    ? loaded.value<QImage>()
           : loaded.typeId() == QMetaType::QPixmap ? loaded.value<QPixmap>().toImage()
                                                   : QImage::fromData(loaded.toByteArray());
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
    void craftedFilesOpenNothing();
    void craftedFilesAsProHelpOpenNothing();
    void fuzzSeedsCrashNothing();
    void defaultTopicFallsBack();
    void foreignHelpFileWorksTheSame();
    void closeAllClosesBothFiles();
    void proIntroducesBeforeItsHelp();
    void f1OpensHelpAndEscClosesIt();
    void exitClosesHelpAndEnds();
};

void TestHelp::initTestCase() {
    SetUpApplication(*qApp);
    QVERIFY2(!BuiltHelp().isEmpty(), "kzHelp.chm is not built");
    QVERIFY(!CraftedFiles().isEmpty());
}

void TestHelp::showsDefaultTopicWithPictures() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), u"ツモっと貯めよう！ ヘルプ"_s); // the file's title
    QCOMPARE(w->browser()->source().path(), u"/index.html"_s);
    QVERIFY(w->browser()->toPlainText().contains(u"つもり貯金"_s));

    const QTextFragment picture =
        FindFragment(*w->browser()->document(), [](const QTextFragment& f) { return f.charFormat().isImageFormat(); });
    QVERIFY2(picture.isValid(), "the first page shows no picture");
    const QString name = picture.charFormat().toImageFormat().name();
    const QImage image = ImageOf(*w->browser()->document(), name);
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
    QCOMPARE(w->windowTitle(), u"ツモっと貯めよう！ ヘルプ"_s); // the file's, whatever the page
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
    // A page the file does not hold changes nothing; HTML Help's own way of naming a page of the file works.
    browser->followLink(QUrl(u"no-such-page.html"_s));
    QCOMPARE(browser->source().path(), target.path());
    browser->followLink(QUrl(u"ms-its:kzHelp.chm::/files.html#edit"_s));
    QCOMPARE(browser->source().path(), u"/files.html"_s);
    QCOMPARE(browser->source().fragment(), u"edit"_s);
}

void TestHelp::missingOrDamagedShowsNothing() {
    ScopedWorkDir dir;
    QWidget owner;
    const QByteArray built = BuiltHelp();
    QByteArray farDirectory = built;
    farDirectory[0x4F] = '\x7F'; // the directory's offset far past the end
    QByteArray badSignature = built;
    badSignature[0] = 'X';
    WriteBytes("far.chm", farDirectory);
    WriteBytes("cut.chm", built.left(built.size() / 3));
    WriteBytes("noise.chm", QByteArray("ITSF") + QByteArray(5000, '\xFF'));
    WriteBytes("empty.chm", QByteArray());
    WriteBytes("signature.chm", badSignature);
    QDir().mkdir(u"folder.chm"_s);
    for (const QString& name : {u"nothing.chm"_s, u"far.chm"_s, u"cut.chm"_s, u"noise.chm"_s, u"empty.chm"_s,
                                u"signature.chm"_s, u"folder.chm"_s}) {
        HtmlHelp(&owner, name, Command::Display);
        QVERIFY2(OpenHelp(owner).isEmpty(), qPrintable(name));
    }
    // The reader gives back the objects whole or not at all.
    const auto archive = ChmArchive::Open(help::FindHelpFile(u"kzHelp.chm"_s).toStdString());
    QVERIFY(archive);
    QVERIFY(!archive->Read("/no-such-page.html"));
    QCOMPARE(QByteArray::fromStdString(archive->Read("/style.css").value_or(std::string())),
             ReadFile(qEnvironmentVariable("TSUMOTTO_HELP_SOURCE") + u"/style.css"_s));
}

// Every damaged file opens no window, as a bare name in the data folder and by its path; whatever the reader makes
// of it, nothing it offers as the first page can be read.
void TestHelp::craftedFilesOpenNothing() {
    for (const QString& path : CraftedFiles()) {
        const auto archive = ChmArchive::Open(QFile::encodeName(path).toStdString());
        QVERIFY2(!archive || archive->DefaultTopic().empty(), qPrintable(path));
        ScopedWorkDir dir;
        WriteBytes("damaged.chm", ReadFile(path));
        QWidget owner;
        HtmlHelp(&owner, u"damaged.chm"_s, Command::Display);
        HtmlHelp(&owner, path, Command::Display);
        QVERIFY2(OpenHelp(owner).isEmpty(), qPrintable(path));
    }
}

// The Pro edition's help is always looked for in the data folder, in any letter case: there a damaged one is
// met through the real button.
void TestHelp::craftedFilesAsProHelpOpenNothing() {
    const QStringList names = {u"TsproHelp.chm"_s, u"tsprohelp.CHM"_s};
    int tried = 0;
    for (const QString& path : CraftedFiles()) {
        ScopedWorkDir dir;
        const QString name = names[tried++ % names.size()];
        WriteBytes(name.toUtf8().constData(), ReadFile(path));
        ScriptedDialogs dialogs;
        fraMain w(dialogs);
        QTest::mouseClick(w.cmdsyoukai, Qt::LeftButton);
        // The introduction, then that the file is there but does not read as help.
        QCOMPARE(dialogs.asked.size(), std::size_t(2));
        QVERIFY(dialogs.asked[1].text.startsWith(u"「TsproHelp.chm」はありますが"_s));
        QCOMPARE(w.HelpFile, u"TsproHelp.chm"_s);
        QVERIFY2(OpenHelp(w).isEmpty(), qPrintable(path + u" as "_s + name));
    }
    QCOMPARE(tried, CraftedFiles().size());
}

// The seeds of fuzz_chm, each a kind of file that broke a .chm reader or would take a viewer's time and memory:
// none crashes the help layer. The sound one, the two whose damage lies in files a help window does not read
// and the four made to take the machine (tst_help_limits) open; every other opens nothing.
void TestHelp::fuzzSeedsCrashNothing() {
    const QString folder = qEnvironmentVariable("TSUMOTTO_FUZZ_DIR") + u"/corpus/chm"_s;
    const QStringList seeds = QDir(folder).entryList({u"*.chm"_s}, QDir::Files);
    QVERIFY(seeds.size() >= 15);
    const QStringList readable = {u"toc-only.chm"_s,    u"blank-file-name.chm"_s, u"short-system-name.chm"_s,
                                  u"huge-page.chm"_s,   u"shared-range.chm"_s,    u"deep-sitemap.chm"_s,
                                  u"deep-nesting.chm"_s};
    for (const QString& seed : seeds) {
        ScopedWorkDir dir;
        QWidget owner;
        HtmlHelp(&owner, folder + u'/' + seed, Command::Display);
        QCOMPARE(OpenHelp(owner).size(), readable.contains(seed) ? 1 : 0);
    }
}

// Without a default topic, the first page of the table of contents.
void TestHelp::defaultTopicFallsBack() {
    const auto tocOnly = ChmArchive::Open(qgetenv("TSUMOTTO_TOC_ONLY_CHM").toStdString());
    QVERIFY(tocOnly);
    QCOMPARE(tocOnly->DefaultTopic(), std::string("/b-second.html"));
    QVERIFY(tocOnly->Read("/A-FIRST.HTML")); // letter case ignored inside the file
}

// A help file of another program, in Shift_JIS as Windows' compiler leaves them, put beside the data as the Pro
// edition's: its title, contents, index and search work as the program's own do.
void TestHelp::foreignHelpFileWorksTheSame() {
    ScopedWorkDir dir;
    WriteBytes("TsproHelp.chm", ReadFile(qEnvironmentVariable("TSUMOTTO_SJIS_CHM")));
    WriteBytes("leak.png", ReadFile(qEnvironmentVariable("TSUMOTTO_HELP_SOURCE") + u"/../docs/main-window.png"_s));
    ScriptedDialogs dialogs;
    fraMain main(dialogs);
    main.cmdsyoukai_Click();
    const QList<HelpWindow*> open = OpenHelp(main);
    QCOMPARE(open.size(), 1);
    HelpWindow* w = open.front();
    // The title is the file's, as plain text: no markup read, no modified mark taken from "[*]".
    QCOMPARE(w->windowTitle(), u"Ｐｒｏ <b>ヘルプ</b> [*][*]"_s);
    QCOMPARE(w->browser()->documentTitle(), u"はじめに"_s);
    QVERIFY(w->browser()->toPlainText().contains(u"ツモっと貯金！Ｐｒｏ"_s));

    QCOMPARE(w->contents()->topLevelItemCount(), 1);
    QCOMPARE(w->contents()->topLevelItem(0)->text(0), u"はじめに & ご案内"_s);
    QCOMPARE(w->contents()->topLevelItem(0)->child(0)->text(0), u"グラフの見かた"_s);

    // One keyword for two pages, titled as the index names them.
    w->index()->filter()->setText(u"ｸﾞﾗﾌ"_s);
    QCOMPARE(w->index()->shownKeywords(), QStringList{u"グラフ"_s});
    w->index()->openCurrent();
    QCOMPARE(w->index()->topics()->count(), 2);
    QCOMPARE(w->index()->topics()->item(1)->text(), u"グラフの見かた"_s);

    // Full-width グラフ on one page and half-width ｸﾞﾗﾌ on the other are the same word.
    w->search()->field()->setText(u"ぐらふ"_s);
    SearchAndWait(*w->search(), [&] { w->search()->run(); });
    QCOMPARE(w->search()->results()->topLevelItemCount(), 2);
    QCOMPARE(w->search()->results()->topLevelItem(0)->text(0), u"グラフの見かた"_s);
    QCOMPARE(w->search()->results()->topLevelItem(0)->text(1), u"2"_s);
    emit w->search()->results()->itemActivated(w->search()->results()->topLevelItem(0), 0);
    QCOMPARE(w->browser()->source().path(), u"/graph.htm"_s);
    QCOMPARE(w->browser()->marks().size(), 2);
    QCOMPARE(w->browser()->marks().front().cursor.selectedText(), u"ｸﾞﾗﾌ"_s);

    // A picture named by a file: URL is not read from the disk, though the file is there.
    const QTextFragment picture =
        FindFragment(*w->browser()->document(), [](const QTextFragment& f) { return f.charFormat().isImageFormat(); });
    QVERIFY(picture.isValid());
    QVERIFY(ImageOf(*w->browser()->document(), picture.charFormat().toImageFormat().name()).isNull());
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
    // Without the file, the program says that it is not there and where it goes.
    const QString installed =
        QDir::toNativeSeparators(QDir::cleanPath(QCoreApplication::applicationDirPath() + u"/../share/tsumotto"_s));
    const QString where = u"「ツモっと貯金！Ｐｒｏ」に付いている「TsproHelp.chm」を、データのフォルダー「%1」か、"
                          u"「%2」に置いてから、もう一度「プロ」ボタンを押してください。"_s.arg(
                              QDir::toNativeSeparators(QDir::currentPath()), installed);
    QCOMPARE(dialogs.asked.size(), std::size_t(2));
    QCOMPARE(dialogs.asked[1].title, u"ツモっと貯金！Ｐｒｏのヘルプ"_s);
    QCOMPARE(dialogs.asked[1].text,
             u"「TsproHelp.chm」が見つからないため、Ｐｒｏのヘルプは開けませんでした。\r\n"_s + where);

    // A file of that name that is no help file is told apart from a missing one.
    WriteBytes("TsproHelp.chm", "not a help file");
    w.cmdsyoukai_Click();
    QCOMPARE(dialogs.asked.size(), std::size_t(4));
    QCOMPARE(dialogs.asked[3].text,
             u"「TsproHelp.chm」はありますが、ヘルプのファイルとして読めないため、開けませんでした。\r\n"_s + where);

    // With a help file of that name at hand, it opens only after the message, and nothing more is said.
    WriteBytes("TsproHelp.chm", BuiltHelp());
    w.cmdsyoukai_Click();
    QCOMPARE(helpAtMessage, 0);
    QCOMPARE(OpenHelp(w).size(), 1);
    QCOMPARE(dialogs.asked.size(), std::size_t(5));
}

void TestHelp::f1OpensHelpAndEscClosesIt() {
    ScopedWorkDir dir;
    ScriptedDialogs dialogs;
    fraMain w(dialogs);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.txtChinKou->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
    QCOMPARE(w.HelpFile, u"kzHelp.chm"_s);
    QCOMPARE(OpenHelp(w).size(), 1);
    HelpWindow* help = OpenHelp(w).front();
    help->activateWindow();
    QTRY_VERIFY(help->isActiveWindow());
    help->browser()->setFocus();
    QTest::keyClick(help->browser(), Qt::Key_Escape);
    QVERIFY(OpenHelp(w).isEmpty());
    // The main window stays, and F1 brings the help back.
    QVERIFY(w.isVisible());
    w.activateWindow();
    QTRY_VERIFY(w.isActiveWindow());
    QTest::keyClick(&w, Qt::Key_F1);
    QCOMPARE(OpenHelp(w).size(), 1);
    QVERIFY(dialogs.asked.empty());
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
