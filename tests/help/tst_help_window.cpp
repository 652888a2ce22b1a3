// The help window over the built kzHelp.chm: its contents, index and search panes, find in the page, home, zoom,
// the keyboard and the names a screen reader reads. The text folding and sitemap reading under them are in
// tst_help_text.
#include "app/app.h"
#include "help/help_panes.h"
#include "help/help_viewer.h"
#include "testsupport.h"
#include "widgets/controls.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextImageFormat>
#include <QTreeWidgetItemIterator>

using namespace Qt::StringLiterals;
using help::HelpWindow;

namespace {

// The help window of kzHelp.chm for `owner`, shown and active, or null.
HelpWindow* OpenProgramHelp(QWidget& owner) {
    help::HtmlHelp(&owner, u"kzHelp.chm"_s, help::Command::Display);
    const QList<HelpWindow*> open = VisibleHelpWindows(owner);
    if (open.size() != 1)
        return nullptr;
    open.front()->activateWindow();
    return QTest::qWaitForWindowActive(open.front()) ? open.front() : nullptr;
}

QString HelpSource(const QString& name) {
    return QString::fromUtf8(ReadBytes((qEnvironmentVariable("TSUMOTTO_HELP_SOURCE") + u'/' + name).toUtf8()));
}

// An entry of a sitemap file as its author wrote it: its depth, name and page (the first Local).
struct Written {
    int depth;
    QString name;
    QString local;
    int pages;
};

// Reads the help's own sitemap source line by line, apart from the program's reader.
QList<Written> WrittenSitemap(const QString& file) {
    QList<Written> entries;
    int depth = 0;
    const QRegularExpression param(uR"re(<param name="(\w+)" value="([^"]*)">)re"_s);
    for (const QString& line : HelpSource(file).split(u'\n')) {
        if (line.contains(u"<UL>"_s))
            ++depth;
        if (line.contains(u"</UL>"_s))
            --depth;
        if (line.contains(u"<OBJECT type=\"text/sitemap\">"_s))
            entries << Written{depth - 1, {}, {}, 0};
        const auto match = param.match(line);
        if (!match.hasMatch() || entries.isEmpty())
            continue;
        if (match.captured(1) == u"Name"_s && entries.back().name.isEmpty())
            entries.back().name = match.captured(2);
        if (match.captured(1) == u"Local"_s && entries.back().pages++ == 0)
            entries.back().local = u'/' + match.captured(2);
    }
    return entries;
}

QString PageOf(const QUrl& url) {
    return url.hasFragment() ? url.path() + u'#' + url.fragment() : url.path();
}

int Depth(const QTreeWidgetItem* item) {
    int depth = 0;
    for (const QTreeWidgetItem* up = item->parent(); up; up = up->parent())
        ++depth;
    return depth;
}

// The largest font size set on any text of the page.
qreal LargestPointSize(const QTextDocument& document) {
    qreal largest = document.defaultFont().pointSizeF();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            largest = std::max(largest, it.fragment().charFormat().fontPointSize());
    return largest;
}

// Types a text as key presses, Japanese included, which QTest::keyClicks takes only as Latin-1.
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}

// Every object below `face` a screen reader is told is focused and shown.
QStringList FocusedObjects(QAccessibleInterface* face, int depth = 0) {
    QStringList found;
    if (!face || depth > 16)
        return found;
    const QAccessible::State state = face->state();
    if (state.focused && !state.invisible)
        found << face->text(QAccessible::Name);
    for (int i = 0; i < face->childCount(); ++i)
        found << FocusedObjects(face->child(i), depth + 1);
    return found;
}

// Sets the X screen's work area, as a desktop's panels do, in pixels from its edges, and waits until Qt takes it
// as the available area: the xcb platform reads the root window's _NET_WORKAREA without a window manager.
bool SetPanels(QScreen* screen, const QMargins& panels) {
    const qreal ratio = screen->devicePixelRatio();
    const QRect area = QRect(QPoint(), screen->size() * ratio).marginsRemoved(panels);
    const QString value = u"%1, %2, %3, %4"_s.arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height());
    if (QProcess::execute(
            u"xprop"_s, {u"-root"_s, u"-f"_s, u"_NET_WORKAREA"_s, u"32c"_s, u"-set"_s, u"_NET_WORKAREA"_s, value}) != 0)
        return false;
    const QRect expected(area.topLeft() / ratio, area.size() / ratio);
    return QTest::qWaitFor([&] { return screen->availableGeometry() == expected; });
}

} // namespace

class TestHelpWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void contentsMatchTheHhc();
    void contentsFollowThePageShown();
    void indexNarrowsAsYouType();
    void keywordWithSeveralPagesOffersThem();
    void searchListsThePageWithItsHits();
    void searchIgnoresKanaAndWidth();
    void searchForAnAbsentWordListsNothing();
    void findInThePage();
    void homeAndZoom();
    void picturesFitThePage_data();
    void picturesFitThePage();
    void keyboardReachesEveryPane();
    void panesAreNamed();
    void oneFocusedObjectAtATime();
    void pageIsADocument();
    void pageReadsOnADarkDesktop();
    void placedBesideWhereTheScreenHasRoom();
    void fitsTheAvailableArea_data();
    void fitsTheAvailableArea();
};

void TestHelpWindow::initTestCase() {
    SetUpApplication(*qApp);
    QVERIFY2(!help::FindHelpFile(u"kzHelp.chm"_s).isEmpty(), "kzHelp.chm is not built");
}

void TestHelpWindow::contentsMatchTheHhc() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    const QList<Written> written = WrittenSitemap(u"kzHelp.hhc"_s);
    QVERIFY(written.size() >= 15);
    QList<Written> shown;
    for (QTreeWidgetItemIterator it(w->contents()); *it; ++it)
        shown << Written{Depth(*it), (*it)->text(0), PageOf(help::ContentsPane::entryUrl(*it)), 1};
    QCOMPARE(shown.size(), written.size());
    for (qsizetype i = 0; i < written.size(); ++i) {
        QCOMPARE(shown[i].depth, written[i].depth);
        QCOMPARE(shown[i].name, written[i].name);
        QCOMPARE(shown[i].local, written[i].local);
    }
    QCOMPARE(w->panes()->tabText(w->panes()->currentIndex()), u"目次(C)"_s);
}

void TestHelpWindow::contentsFollowThePageShown() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    QTreeWidget* contents = w->contents();
    const auto shown = [contents] {
        const QList<QTreeWidgetItem*> selected = contents->selectedItems();
        return selected.size() == 1 ? selected.front() : nullptr;
    };
    QCOMPARE(shown()->text(0), u"ツモっと貯めよう！ ヘルプ"_s);
    // A link in the page: the entry of its page, with the branches above it opened.
    w->browser()->followLink(QUrl(u"messages.html#delete"_s));
    QCOMPARE(shown()->text(0), u"削除確認"_s);
    QVERIFY(shown()->parent()->isExpanded());
    w->browser()->followLink(QUrl(u"items.html"_s));
    QCOMPARE(shown()->text(0), u"項目リストを使う"_s);
    // A fragment the contents lack: the page's own entry.
    w->browser()->followLink(QUrl(u"files.html#edit"_s));
    QCOMPARE(shown()->text(0), u"データファイルとバックアップ"_s);
    // An entry opens its page, with Enter as with a click.
    contents->setCurrentItem(contents->findItems(u"テーマ名を変える"_s, Qt::MatchExactly | Qt::MatchRecursive).front());
    contents->setFocus();
    QTest::keyClick(contents, Qt::Key_Return);
    QCOMPARE(w->browser()->source().path(), u"/theme-name.html"_s);
}

void TestHelpWindow::indexNarrowsAsYouType() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    help::IndexPane* index = w->index();
    QStringList all;
    for (const Written& entry : WrittenSitemap(u"kzHelp.hhk"_s))
        all << entry.name;
    QVERIFY(all.size() >= 50);
    QCOMPARE(index->shownKeywords(), all);

    // Each key typed narrows the list to the keywords holding what has been typed.
    w->showPane(1);
    QCOMPARE(QApplication::focusWidget(), index->filter());
    Type(index->filter(), u"削"_s);
    QStringList expected;
    for (const QString& keyword : all)
        if (keyword.contains(u"削"_s))
            expected << keyword;
    QVERIFY(expected.size() >= 4);
    QCOMPARE(index->shownKeywords(), expected);
    Type(index->filter(), u"除確"_s);
    QCOMPARE(index->shownKeywords(), QStringList{u"削除確認"_s});
    // Hiragana finds the katakana keyword, half-width letters the full-width ones.
    index->filter()->setText(u"ばっくあっぷ"_s);
    QCOMPARE(index->shownKeywords(), QStringList{u"バックアップ"_s});
    index->filter()->setText(u"ＳＨＩＦＴ"_s);
    QCOMPARE(index->shownKeywords(), QStringList{u"Shift_JIS"_s});
    index->filter()->setText(u"ないキーワード"_s);
    QVERIFY(index->shownKeywords().isEmpty());
    index->filter()->clear();
    QCOMPARE(index->shownKeywords(), all);

    // Enter in the box opens the keyword chosen, one with one page at once.
    index->filter()->setFocus();
    Type(index->filter(), u"入金"_s);
    QCOMPARE(index->currentKeyword()->text(0), u"入金"_s);
    QTest::keyClick(index->filter(), Qt::Key_Return);
    QCOMPARE(w->browser()->source().path(), u"/deposit.html"_s);
}

void TestHelpWindow::keywordWithSeveralPagesOffersThem() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    help::IndexPane* index = w->index();
    w->showPane(1);
    Type(index->filter(), u"バックアップ"_s);
    QVERIFY(index->topics()->isVisible());
    QTest::keyClick(index->filter(), Qt::Key_Return);
    QCOMPARE(w->browser()->source().path(), u"/index.html"_s); // nothing opened yet: a page is to be chosen
    QCOMPARE(QApplication::focusWidget(), index->topics());
    QStringList offered;
    for (int i = 0; i < index->topics()->count(); ++i)
        offered << index->topics()->item(i)->text();
    QCOMPARE(offered,
             (QStringList{u"データファイルとバックアップ"_s, u"記録を削除する"_s, u"メッセージが出たときは"_s}));
    QTest::keyClick(index->topics(), Qt::Key_Down);
    QTest::keyClick(index->topics(), Qt::Key_Return);
    QCOMPARE(w->browser()->source().path(), u"/delete.html"_s);
    // A keyword with one page lists none.
    index->filter()->setText(u"入金"_s);
    QVERIFY(!index->topics()->isVisible());
}

// A word found in one page only: that page, with as many hits as the page's text holds, each marked in the page.
void TestHelpWindow::searchListsThePageWithItsHits() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    const QString word = u"罰金徴収制"_s;
    const qsizetype inSource = HelpSource(u"themes.html"_s).count(word);
    QVERIFY(inSource >= 1);
    for (const QString& other : {u"index.html"_s, u"deposit.html"_s, u"files.html"_s, u"help-window.html"_s})
        QCOMPARE(HelpSource(other).count(word), 0);

    w->showPane(2);
    help::SearchPane* search = w->search();
    QCOMPARE(QApplication::focusWidget(), search->field());
    Type(search->field(), word);
    SearchAndWait(*search, [&] { QTest::keyClick(search->field(), Qt::Key_Return); });
    QCOMPARE(search->results()->topLevelItemCount(), 1);
    QTreeWidgetItem* found = search->results()->topLevelItem(0);
    QCOMPARE(found->text(0), u"はじめての起動とテーマの例"_s);
    QCOMPARE(found->text(1), QString::number(inSource));
    QVERIFY(search->status()->text().contains(word));

    search->results()->setFocus();
    QTest::keyClick(search->results(), Qt::Key_Return);
    QCOMPARE(w->browser()->source().path(), u"/themes.html"_s);
    const auto& marks = w->browser()->marks();
    QCOMPARE(marks.size(), inSource);
    for (const auto& mark : marks)
        QCOMPARE(mark.cursor.selectedText(), word);
    // The page is where the first hit is; another page shown from the contents has no marks.
    QVERIFY(w->browser()->textCursor().position() == marks.front().cursor.selectionStart());
    w->showPage(help::HelpBrowser::pageUrl("/index.html"));
    QVERIFY(w->browser()->marks().isEmpty());
}

void TestHelpWindow::searchIgnoresKanaAndWidth() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    help::SearchPane* search = w->search();
    const auto run = [&](const QString& typed) {
        search->field()->setText(typed);
        SearchAndWait(*search, [&] { search->run(); });
        QStringList pages;
        for (int i = 0; i < search->results()->topLevelItemCount(); ++i)
            pages << search->results()->topLevelItem(i)->text(0) + u' ' + search->results()->topLevelItem(i)->text(1);
        return pages;
    };
    const QStringList katakana = run(u"バックアップ"_s);
    QVERIFY(katakana.size() >= 3);
    QVERIFY(std::any_of(katakana.begin(), katakana.end(),
                        [](const QString& page) { return page.startsWith(u"データファイルとバックアップ"_s); }));
    QCOMPARE(run(u"ばっくあっぷ"_s), katakana);
    QCOMPARE(run(u"ﾊﾞｯｸｱｯﾌﾟ"_s), katakana);
    // Words need no spaces between them; words given with spaces must all be in a page.
    QVERIFY(!run(u"バックアップから戻して"_s).isEmpty());
    const QStringList both = run(u"バックアップ　ＵＳＢ"_s);
    QCOMPARE(both.size(), 1);
    QVERIFY(both.front().startsWith(u"データファイルとバックアップ"_s));
}

void TestHelpWindow::searchForAnAbsentWordListsNothing() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    help::SearchPane* search = w->search();
    search->field()->setText(u"バックアップ"_s);
    SearchAndWait(*search, [&] { search->run(); });
    QVERIFY(search->results()->topLevelItemCount() > 0);
    search->field()->setText(u"<b>宇宙旅行</b>"_s);
    SearchAndWait(*search, [&] { search->run(); });
    QCOMPARE(search->results()->topLevelItemCount(), 0);
    QCOMPARE(search->status()->text(), u"「<b>宇宙旅行</b>」は\n見つかりませんでした。"_s);
    QCOMPARE(search->status()->textFormat(), Qt::PlainText);
    search->field()->setText(u"　 "_s);
    search->run();
    QCOMPARE(search->results()->topLevelItemCount(), 0);
}

void TestHelpWindow::findInThePage() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    w->showPage(help::HelpBrowser::pageUrl("/files.html"));
    w->browser()->setFocus();
    QTest::keyClick(w->browser(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(w->findField()->isVisible());
    QCOMPARE(QApplication::focusWidget(), w->findField());
    const qsizetype count = w->browser()->toPlainText().count(u"バックアップ"_s);
    QVERIFY(count >= 3);
    Type(w->findField(), u"ばっくあっぷ"_s);
    QCOMPARE(w->findStatus()->text(), u"%1 件中 1 件目"_s.arg(count));
    QCOMPARE(w->browser()->textCursor().selectedText(), u"バックアップ"_s);
    const int first = w->browser()->textCursor().selectionStart();
    QTest::keyClick(w->findField(), Qt::Key_Return);
    QCOMPARE(w->findStatus()->text(), u"%1 件中 2 件目"_s.arg(count));
    QVERIFY(w->browser()->textCursor().selectionStart() > first);
    QTest::keyClick(w->findField(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(w->findField(), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(w->findStatus()->text(), u"%1 件中 %1 件目"_s.arg(count)); // round to the last
    QTest::keyClicks(w->findField(), u"zz"_s);
    QCOMPARE(w->findStatus()->text(), u"見つかりません"_s);
    // Esc closes the find bar first, then the window.
    QTest::keyClick(w->findField(), Qt::Key_Escape);
    QVERIFY(!w->findField()->isVisible());
    QVERIFY(w->isVisible());
    QVERIFY(!w->browser()->textCursor().hasSelection());
    QTest::keyClick(w->browser(), Qt::Key_Escape);
    QVERIFY(VisibleHelpWindows(owner).isEmpty());
}

void TestHelpWindow::picturesFitThePage_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("width");
    QTest::newRow("the window's picture, at the window's size") << u"/help-window.html"_s << 0;
    QTest::newRow("the main window's picture, narrow") << u"/index.html"_s << 420;
}

// Every picture of the page is as wide as the page at most, keeping its proportions; a wider window gives it
// back its own size.
void TestHelpWindow::picturesFitThePage() {
    QFETCH(QString, page);
    QFETCH(int, width);
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    if (width > 0)
        w->resize(width, w->height());
    w->showPage(help::HelpBrowser::pageUrl(page.toStdString()));
    auto pictures = [&] {
        QList<QTextImageFormat> found;
        for (QTextBlock block = w->browser()->document()->begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().isImageFormat())
                    found << it.fragment().charFormat().toImageFormat();
        return found;
    };
    QTRY_VERIFY(!pictures().isEmpty());
    const int room = w->browser()->viewport()->width();
    bool scaled = false;
    for (const QTextImageFormat& picture : pictures()) {
        QVERIFY2(picture.width() <= room, qPrintable(picture.name()));
        const qreal own = picture.doubleProperty(QTextFormat::UserProperty);
        QVERIFY(own > 0);
        QCOMPARE(qRound(picture.height() * own),
                 qRound(picture.doubleProperty(QTextFormat::UserProperty + 1) * picture.width()));
        scaled = scaled || picture.width() < own;
    }
    QVERIFY(scaled); // each page has a picture wider than its room here
    w->resize(1400, w->height());
    QTRY_VERIFY(pictures().front().width() == pictures().front().doubleProperty(QTextFormat::UserProperty) ||
                pictures().front().width() <= w->browser()->viewport()->width());
}

void TestHelpWindow::homeAndZoom() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    w->showPage(help::HelpBrowser::pageUrl("/delete.html"));
    QTest::keyClick(w->browser(), Qt::Key_Home, Qt::AltModifier);
    QCOMPARE(w->browser()->source().path(), u"/index.html"_s);

    // The page's own sizes grow and shrink with the rest, and come back.
    const qreal normal = LargestPointSize(*w->browser()->document());
    const qreal normalBase = w->browser()->document()->defaultFont().pointSizeF();
    QVERIFY(normal > normalBase); // the heading sets its own size
    QTest::keyClick(w->browser(), Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(w->browser()->zoomPercent(), 110);
    QVERIFY(LargestPointSize(*w->browser()->document()) > normal);
    QVERIFY(w->browser()->document()->defaultFont().pointSizeF() > normalBase);
    QTest::keyClick(w->browser(), Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(w->browser(), Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(w->browser()->zoomPercent(), 90);
    QVERIFY(LargestPointSize(*w->browser()->document()) < normal);
    // The size holds for the next page, and Ctrl+0 gives the page's own back.
    w->showPage(help::HelpBrowser::pageUrl("/files.html"));
    w->showPage(help::HelpBrowser::pageUrl("/index.html"));
    QCOMPARE(LargestPointSize(*w->browser()->document()), normal * 0.9);
    QTest::keyClick(w->browser(), Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(LargestPointSize(*w->browser()->document()), normal);
    for (int i = 0; i < 20; ++i)
        w->browser()->zoomIn();
    QCOMPARE(w->browser()->zoomPercent(), 300);
}

void TestHelpWindow::keyboardReachesEveryPane() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    // Alt and the letter of each pane: the pane, with the focus in it.
    const auto focused = [w] { return QApplication::focusWidget() ? QApplication::focusWidget() : w; };
    const QList<std::pair<Qt::Key, QWidget*>> keys = {
        {Qt::Key_S, w->search()->field()}, {Qt::Key_N, w->index()->filter()}, {Qt::Key_C, w->contents()}};
    for (const auto& [key, widget] : keys) {
        QTest::keyClick(focused(), key, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), widget);
        QVERIFY(widget->isVisible());
    }
    // Tab goes round every control of the pane shown and the page, whose links it walks first.
    const auto tabRound = [&] {
        QSet<QWidget*> reached;
        for (int i = 0; i < 120; ++i) {
            reached << focused();
            QTest::keyClick(focused(), Qt::Key_Tab);
        }
        return reached;
    };
    QSet<QWidget*> reached = tabRound();
    QVERIFY(reached.contains(w->contents()));
    QVERIFY(reached.contains(w->browser()));
    QVERIFY(reached.contains(w->panes()->tabBar()));
    w->showPane(2);
    reached = tabRound();
    for (QWidget* widget : std::initializer_list<QWidget*>{w->search()->field(), w->search()->button(),
                                                           w->search()->results(), w->browser()})
        QVERIFY2(reached.contains(widget), qPrintable(widget->accessibleName()));
}

// Every pane and control a screen reader meets has a name, and each control's description differs from its name.
void TestHelpWindow::panesAreNamed() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    const QList<std::pair<QWidget*, QString>> expected = {
        {w->contents(), u"目次"_s},
        {w->index()->filter(), u"キーワード"_s},
        {w->index()->keywords(), u"キーワードの一覧"_s},
        {w->index()->topics(), u"キーワードのページ"_s},
        {w->search()->field(), u"検索する言葉"_s},
        {w->search()->button(), u"検索"_s},
        {w->search()->results(), u"見つかったページ"_s},
        {w->search()->status(), u"検索の結果"_s},
        {w->findField(), u"ページ内で探す言葉"_s},
        {w->panes(), u"ヘルプの案内"_s},
    };
    for (const auto& [widget, name] : expected) {
        QCOMPARE(AccessibleName(widget), name);
        QVERIFY2(!widget->accessibleDescription().isEmpty() || qobject_cast<QLabel*>(widget), qPrintable(name));
        QVERIFY(widget->accessibleDescription() != name);
    }
    QCOMPARE(w->panes()->count(), 3);
}

// Whatever has the focus, a screen reader hears one focused control (with the current entry of a focused list), or
// the current tab of a focused tab bar. Lists and tabs without the focus keep their choice for when it comes back.
void TestHelpWindow::oneFocusedObjectAtATime() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(w);
    const auto focused = [w] { return QApplication::focusWidget() ? QApplication::focusWidget() : w; };
    const auto expected = [&] {
        auto* list = qobject_cast<QAbstractItemView*>(focused());
        if (list && list->currentIndex().isValid())
            return QStringList{AccessibleName(list), list->currentIndex().data().toString()};
        if (auto* bar = qobject_cast<QTabBar*>(focused()))
            return QStringList{bar->tabText(bar->currentIndex())};
        return QStringList{AccessibleName(focused())};
    };
    QString failed;
    const auto check = [&](const char* step) {
        const QStringList heard = FocusedObjects(window);
        if (failed.isEmpty() && heard != expected())
            failed = QString::fromLatin1(step) + u": "_s + heard.join(u" | "_s);
        return failed.isEmpty();
    };
    check("opened");
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(focused(), Qt::Key_Tab);
        check("Tab");
    }
    // The keyword box moves through the list with the arrow keys while it keeps the focus.
    QTest::keyClick(focused(), Qt::Key_N, Qt::AltModifier);
    check("Alt+N");
    Type(w->index()->filter(), u"削"_s);
    QTest::keyClick(w->index()->filter(), Qt::Key_Down);
    check("Down in the keyword box");
    const QString chosen = w->index()->currentKeyword()->text(0);
    QVERIFY(chosen.contains(u"削"_s) && chosen != w->index()->shownKeywords().front());
    QTest::keyClick(w->index()->filter(), Qt::Key_Tab);
    check("Tab to the keywords");
    QCOMPARE(w->index()->keywords()->currentItem()->text(0), chosen);
    QTest::keyClick(focused(), Qt::Key_S, Qt::AltModifier);
    Type(w->search()->field(), u"入金"_s);
    QTest::keyClick(w->search()->field(), Qt::Key_Return);
    QTRY_VERIFY(w->search()->results()->topLevelItemCount() > 0);
    check("searched");
    w->search()->results()->setFocus();
    check("results");
    QTest::keyClick(focused(), Qt::Key_C, Qt::AltModifier);
    check("Alt+C");
    w->panes()->tabBar()->setFocus();
    check("tab bar");
    QTest::keyClick(focused(), Qt::Key_Right);
    check("next tab");
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
}

// The page is a document a screen reader reads by its text, line by line as it is laid out.
void TestHelpWindow::pageIsADocument() {
    ScopedWorkDir dir;
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    w->browser()->followLink(QUrl(u"deposit.html"_s));
    QAccessibleInterface* page = QAccessible::queryAccessibleInterface(w->browser());
    QCOMPARE(page->role(), QAccessible::Document);
    QCOMPARE(page->text(QAccessible::Name), w->browser()->documentTitle());
    QVERIFY(!page->text(QAccessible::Name).isEmpty());
    QCOMPARE(page->childCount(), 0);
    QAccessibleTextInterface* text = page->textInterface();
    QVERIFY(text);
    const QString plain = w->browser()->document()->toPlainText();
    QCOMPARE(text->characterCount(), plain.size());
    QCOMPARE(text->text(0, text->characterCount()), plain);
    // Line by line from the start covers the whole text once, each line as the page lays it out.
    QString read;
    int lines = 0;
    for (int offset = 0, start = 0, end = 0; offset < text->characterCount(); offset = end, ++lines) {
        read += text->textAtOffset(offset, QAccessible::LineBoundary, &start, &end);
        QCOMPARE(start, offset);
        QVERIFY(end > start);
        text->scrollToSubstring(start, end); // brought into view, where a point finds it
        const QRect first = text->characterRect(start);
        const QRect last = text->characterRect(end - 1);
        QVERIFY(first.isValid());
        QCOMPARE(last.top(), first.top());
        QCOMPARE(text->offsetAtPoint(first.center()), start);
    }
    QCOMPARE(read, plain);
    QVERIFY(lines > plain.count(u'\n') + 1); // some paragraph is laid out on more than one line
    // The line after the first and the line before the second are the first two lines.
    int start = 0;
    int end = 0;
    const QString firstLine = text->textAtOffset(0, QAccessible::LineBoundary, &start, &end);
    const QString secondLine = text->textAfterOffset(0, QAccessible::LineBoundary, &start, &end);
    QCOMPARE(text->textBeforeOffset(start, QAccessible::LineBoundary, &start, &end), firstLine);
    QVERIFY(!secondLine.isEmpty());
    // A reader's selection is the page's.
    text->setSelection(0, 2, 6);
    QCOMPARE(w->browser()->textCursor().selectedText(), plain.mid(2, 4));
    QCOMPARE(text->selectionCount(), 1);
    text->removeSelection(0);
    QCOMPARE(text->selectionCount(), 0);
}

// On a dark desktop the page stays the white paper it is written for: its text and the bullets of its lists,
// drawn in the palette's text colour where the page gives none, read on it.
void TestHelpWindow::pageReadsOnADarkDesktop() {
    ScopedWorkDir dir;
    const QPalette desktop = QApplication::palette();
    QApplication::setPalette(DarkDesktopPalette());
    QWidget owner;
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    const QPalette page = w->browser()->viewport()->palette();
    int lists = 0;
    for (QTextBlock block = w->browser()->document()->begin(); block.isValid(); block = block.next()) {
        const QBrush own = block.charFormat().foreground();
        const QColor ink = own.style() == Qt::NoBrush ? page.color(QPalette::Text) : own.color();
        const QBrush shade = block.blockFormat().background();
        const QColor paper = shade.style() == Qt::NoBrush ? page.color(QPalette::Base) : shade.color();
        lists += block.textList() != nullptr;
        QVERIFY2(ContrastRatio(ink, paper) >= 4.5, qPrintable(block.text()));
    }
    QVERIFY(lists > 0);
    QApplication::setPalette(desktop);
}

void TestHelpWindow::placedBesideWhereTheScreenHasRoom() {
    const QRect screen(0, 0, 1920, 1040);
    const QSize size(860, 620);
    // Room on the right: there, at the owner's height.
    QCOMPARE(help::PlaceBeside(QRect(100, 200, 631, 452), size, screen, 560), QRect(731, 200, 860, 620));
    // Room on the left only.
    QCOMPARE(help::PlaceBeside(QRect(1200, 100, 631, 452), size, screen, 560), QRect(340, 100, 860, 620));
    // Less than the whole width but enough: narrowed to the room.
    QCOMPARE(help::PlaceBeside(QRect(644, 294, 631, 452), size, screen, 560), QRect(1275, 294, 645, 620));
    // No room either side: over the owner, moved up to stay on the screen.
    QCOMPARE(help::PlaceBeside(QRect(196, 300, 631, 452), size, QRect(0, 0, 1024, 768), 560), QRect(82, 148, 860, 620));
    // A screen smaller than the window: all of it.
    QCOMPARE(help::PlaceBeside(QRect(0, 0, 631, 452), size, QRect(0, 0, 800, 600), 560), QRect(0, 0, 800, 600));
    // Smaller both ways, with a panel at the top or the left: all of the area beside the panel.
    QCOMPARE(help::PlaceBeside(QRect(100, 100, 631, 452), size, QRect(0, 40, 800, 400), 560), QRect(0, 40, 800, 400));
    QCOMPARE(help::PlaceBeside(QRect(200, 50, 400, 300), size, QRect(60, 0, 740, 480), 560), QRect(60, 0, 740, 480));
    // A netbook with a panel at the top, the owner partly under it: over the owner, below the panel.
    QCOMPARE(help::PlaceBeside(QRect(0, 0, 500, 400), size, QRect(0, 40, 1024, 560), 560), QRect(0, 40, 860, 560));
    // Room on the right of an owner half off the screen's left edge.
    QCOMPARE(help::PlaceBeside(QRect(-300, 60, 631, 452), size, QRect(60, 40, 964, 560), 560),
             QRect(331, 40, 693, 560));

    // A real window lies inside the screen, beside its owner or over it.
    ScopedWorkDir dir;
    QWidget owner;
    owner.resize(631, 452);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    HelpWindow* w = OpenProgramHelp(owner);
    QVERIFY(w);
    QVERIFY(owner.screen()->availableGeometry().contains(w->geometry()));
}

void TestHelpWindow::fitsTheAvailableArea_data() {
    QTest::addColumn<QMargins>("panels");
    QTest::addColumn<int>("owner");      // where the owner stands on the screen; 0: not shown
    QTest::addColumn<QMargins>("later"); // the panels once the window is open
    QTest::addColumn<bool>("room");      // the area has room for what the parts ask
    const QMargins none;
    QTest::newRow("owner left") << none << int(Qt::AlignLeft | Qt::AlignTop) << none << true;
    QTest::newRow("owner right, panel at the top") << QMargins(0, 40, 0, 0) << int(Qt::AlignRight) << none << true;
    QTest::newRow("owner centred, panel at the left") << QMargins(60, 0, 0, 0) << int(Qt::AlignCenter) << none << true;
    QTest::newRow("owner not shown, panel at the bottom") << QMargins(0, 0, 0, 40) << 0 << none << true;
    QTest::newRow("panels grow while open") << none << int(Qt::AlignLeft) << QMargins(100, 40, 0, 0) << true;
    QTest::newRow("panels leave less than the parts ask") << none << 0 << QMargins(500, 0, 0, 360) << false;
}

// The help window's frame lies inside the screen's available area, with every pane and the find bar shown, and
// what its parts ask for fits there; a small screen is the test (tests/CMakeLists.txt).
void TestHelpWindow::fitsTheAvailableArea() {
    QFETCH(QMargins, panels);
    QFETCH(int, owner);
    QFETCH(QMargins, later);
    QFETCH(bool, room);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (QGuiApplication::platformName() != u"xcb"_s && (!panels.isNull() || !later.isNull()))
        QSKIP("the panels are set through X");
    QVERIFY(QGuiApplication::platformName() != u"xcb"_s || SetPanels(screen, panels));
    ScopedWorkDir dir;
    QWidget caller;
    if (owner) {
        const QRect area = screen->availableGeometry();
        caller.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::Alignment(owner),
                                               QSize(area.width() * 3 / 5, area.height() * 3 / 4), area));
        caller.show();
        QVERIFY(QTest::qWaitForWindowExposed(&caller));
    }
    help::HtmlHelp(&caller, u"kzHelp.chm"_s, help::Command::Display);
    QCOMPARE(VisibleHelpWindows(caller).size(), 1);
    HelpWindow* w = VisibleHelpWindows(caller).front();
    if (!later.isNull())
        QVERIFY(SetPanels(screen, later));
    for (int pane = -1; pane < 3; ++pane) {
        if (pane >= 0) {
            w->showFindBar();
            w->showPane(pane);
        }
        for (int i = 0; i < 3; ++i) // the layouts asked for by the parts shown, inside out
            QCoreApplication::sendPostedEvents();
        const QRect area = screen->availableGeometry();
        const QString where = u"%1 in %2, asking %3"_s.arg(QDebug::toString(w->frameGeometry()), QDebug::toString(area),
                                                           QDebug::toString(w->minimumSizeHint()));
        QVERIFY2(area.contains(w->frameGeometry()), qPrintable(where));
        QVERIFY2(!room || area.size().expandedTo(w->minimumSizeHint()) == area.size(), qPrintable(where));
    }
    w->close();
}

QTEST_MAIN(TestHelpWindow)
#include "tst_help_window.moc"
