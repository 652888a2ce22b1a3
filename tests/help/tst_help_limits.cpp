// Help files made to take the machine, opened and searched through the real help window: one page of 15 MB
// packed into a few kilobytes, that page's bytes under 150 names, contents and an index nesting 100,000
// levels, pages of tables, lists and quotes nesting 3,000 deep. The window keeps answering, its memory stays
// within bounds, and nothing ends the program. Also the bounds themselves: pages and sitemaps cut down.
#include "app/app.h"
#include "help/chm_archive.h"
#include "help/chm_sitemap.h"
#include "help/help_panes.h"
#include "help/help_viewer.h"
#include "testsupport.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextList>
#include <QTextTable>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <fstream>
#include <set>

using namespace Qt::StringLiterals;
using help::HelpWindow;
using help::SearchIndex;
using help::SearchPane;

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer holds freed memory back for a while to catch its use; here that would be counted as the
// program's. What the program itself holds at most is what is measured. (GCC ships no header for these.)
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=8";
}
extern "C" void __sanitizer_purge_allocator();
#else
#include <malloc.h>
#endif

namespace {

// The program may take this much more memory than it had before it opened a help file.
constexpr qint64 kMemoryBoundKb = 200 * 1024;

QString Hostile(const QString& name) {
    return qEnvironmentVariable("TSUMOTTO_HOSTILE_CHM") + u'/' + name;
}

qint64 StatusKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stoll(line.substr(field.size() + 1));
    return -1;
}

// The most memory the process holds from here on, above what it holds now: the memory freed before is given
// back to the system first, so that what the case takes is counted whether it reuses it or not, and the
// kernel's peak is reset to now.
class MemoryPeak {
public:
    MemoryPeak() {
#if defined(__SANITIZE_ADDRESS__)
        __sanitizer_purge_allocator();
#else
        malloc_trim(0);
#endif
        std::ofstream("/proc/self/clear_refs") << "5";
        m_start = StatusKb("VmRSS");
        m_reset = StatusKb("VmHWM") <= m_start + 1024;
    }
    bool reset() const {
        return m_reset;
    }
    qint64 growthKb() const {
        return StatusKb("VmHWM") - m_start;
    }
    // True when the growth is within the bound; says how much it was, for the record.
    bool withinBound() const {
        const qint64 growth = growthKb();
        qDebug("memory: %lld KB more at the peak", static_cast<long long>(growth));
        return growth < kMemoryBoundKb;
    }

private:
    qint64 m_start = 0;
    bool m_reset = false;
};

// Opens the file in a help window of `owner`; the window, or null.
HelpWindow* Open(QWidget& owner, const QString& path) {
    help::HtmlHelp(&owner, path, help::Command::Display);
    const QList<HelpWindow*> open = VisibleHelpWindows(owner);
    if (open.size() != 1)
        return nullptr;
    open.front()->activateWindow(); // keys go to the window the user works in
    return QTest::qWaitForWindowActive(open.front()) ? open.front() : nullptr;
}

// Runs the window's events until the search index's progress satisfies `reached`.
void WaitForIndex(SearchPane& pane, const std::function<bool(const SearchIndex::Progress&)>& reached) {
    QEventLoop loop;
    const auto connection = QObject::connect(&pane, &SearchPane::indexChanged, &loop, [&] {
        if (reached(pane.index().progress()))
            loop.quit();
    });
    if (!reached(pane.index().progress()))
        loop.exec();
    QObject::disconnect(connection);
}

QStringList Search(SearchPane& pane, const QString& typed) {
    pane.field()->setText(typed);
    SearchAndWait(pane, [&] { pane.run(); });
    QStringList found;
    for (int i = 0; i < pane.results()->topLevelItemCount(); ++i)
        found << pane.results()->topLevelItem(i)->text(0);
    return found;
}

QTreeWidgetItem* Entry(QTreeWidget* tree, const QString& name) {
    const auto items = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return items.isEmpty() ? nullptr : items.front();
}

int Depth(const QTreeWidgetItem* item) {
    int depth = 0;
    for (const QTreeWidgetItem* up = item->parent(); up; up = up->parent())
        ++depth;
    return depth;
}

// Finds a word in the page shown, as a user does with Ctrl+F: the window has answered when the count shows.
QString FindInPage(HelpWindow* w, const QString& word) {
    w->browser()->setFocus();
    QTest::keyClick(w->browser(), Qt::Key_F, Qt::ControlModifier);
    w->findField()->clear();
    for (const QChar c : word)
        QTest::sendKeyEvent(QTest::Click, w->findField(), Qt::Key_unknown, QString(c), Qt::NoModifier);
    return w->findStatus()->text();
}

// How deep the page shown nests, as Qt holds it: tables inside tables, list levels, and the left margin.
struct Nesting {
    int tables = 0;
    int lists = 0;
    qreal margin = 0;
};

Nesting DeepestNesting(const QTextDocument& document) {
    Nesting deepest;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        int tables = 0;
        for (QTextFrame* frame = QTextCursor(block).currentFrame(); frame; frame = frame->parentFrame())
            tables += qobject_cast<QTextTable*>(frame) != nullptr;
        deepest.tables = std::max(deepest.tables, tables);
        if (block.textList())
            deepest.lists = std::max(deepest.lists, block.textList()->format().indent());
        deepest.margin = std::max(deepest.margin, block.blockFormat().leftMargin() +
                                                      block.blockFormat().indent() * document.indentWidth());
    }
    return deepest;
}

} // namespace

class TestHelpLimits : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void hugePageShownInPart();
    void searchWithinTheBudget();
    void closingStopsTheIndex();
    void sharedBytesReadOnce();
    void deepSitemapsFlattened();
    void deepPagesFlattened_data();
    void deepPagesFlattened();
    void boundingPages_data();
    void boundingPages();
    void deepSitemapDepths();
};

void TestHelpLimits::initTestCase() {
    SetUpApplication(*qApp);
    for (const QString& name :
         {u"huge-page.chm"_s, u"shared-range.chm"_s, u"deep-sitemap.chm"_s, u"deep-nesting.chm"_s})
        QVERIFY2(QFile::exists(Hostile(name)), qPrintable(Hostile(name)));
    QVERIFY2(MemoryPeak().reset(), "the kernel's memory peak cannot be reset");
}

// A page of 15 MB, opened from the contents: its start is shown, with a line saying the rest is left out, and
// the window answers at once after it.
void TestHelpLimits::hugePageShownInPart() {
    ScopedWorkDir dir;
    const MemoryPeak memory;
    QWidget owner;
    HelpWindow* w = Open(owner, Hostile(u"huge-page.chm"_s));
    QVERIFY(w);
    QTreeWidgetItem* huge = Entry(w->contents(), u"長いページ"_s);
    QVERIFY(huge);
    w->contents()->setCurrentItem(huge);
    w->contents()->setFocus();
    QTest::keyClick(w->contents(), Qt::Key_Return);
    QCOMPARE(w->browser()->source().path(), u"/huge.htm"_s);
    const QString shown = w->browser()->toPlainText();
    QVERIFY(shown.startsWith(u"始めの言葉"_s));
    QVERIFY(!shown.contains(u"終わりの言葉"_s));
    QVERIFY(shown.size() <= static_cast<qsizetype>(kMaxPageWork));
    QCOMPARE(w->browser()->document()->lastBlock().text(), help::HelpBrowser::cutPageNote());
    QCOMPARE(FindInPage(w, u"始めの言葉"_s), u"1 件中 1 件目"_s);
    // A page of the contents named only by its path is listed by its title.
    QVERIFY(Entry(w->contents(), u"第001頁"_s));
    QVERIFY(memory.withinBound());
}

// The search index is read on its own thread: held before its third page, the window takes typing and a search,
// shows the progress counted in pages, and searches when the index is whole. Past the file's budget the pages are
// left out, and the pane says so.
void TestHelpLimits::searchWithinTheBudget() {
    ScopedWorkDir dir;
    const MemoryPeak memory;
    QWidget owner;
    HelpWindow* w = Open(owner, Hostile(u"huge-page.chm"_s));
    QVERIFY(w);
    SearchPane* search = w->search();
    search->index().holdBefore(2);
    w->showPane(2);
    WaitForIndex(*search, [](const SearchIndex::Progress& p) { return p.done == 2; });
    const int total = search->index().progress().total;
    QCOMPARE(total, 152); // the pages of the file: the cover, the long page, 150 others

    const QString word = u"第001頁の目印"_s;
    for (const QChar c : word)
        QTest::sendKeyEvent(QTest::Click, search->field(), Qt::Key_unknown, QString(c), Qt::NoModifier);
    QCOMPARE(search->field()->text(), word);
    QTest::keyClick(search->field(), Qt::Key_Return);
    QCOMPARE(search->status()->text(),
             u"検索の準備をしています（2 / 152 ページ）。終わりしだい「第001頁の目印」を探します。"_s);
    QVERIFY(search->progress()->isVisible());
    QCOMPARE(search->progress()->value(), 2);
    QCOMPARE(search->results()->topLevelItemCount(), 0);
    QCOMPARE(search->index().progress().done, 2);

    SearchAndWait(*search, [&] { search->index().release(); });
    const SearchIndex::Progress progress = search->index().progress();
    QVERIFY(progress.finished);
    QCOMPARE(progress.done, total);
    QVERIFY(progress.leftOut > 0);
    QCOMPARE(progress.cut, 1);
    QVERIFY(!search->progress()->isVisible());
    QCOMPARE(search->results()->topLevelItemCount(), 1);
    QCOMPARE(search->results()->topLevelItem(0)->text(0), u"第001頁"_s);
    const QString notes = u"このヘルプファイルは大きすぎるため、%1 ページは検索していません。\n"
                          u"長いページ 1 ページは、表示される始めの部分だけを検索しました。"_s.arg(progress.leftOut);
    QCOMPARE(search->status()->text(), u"「第001頁の目印」は\n1 ページに見つかりました。\n"_s + notes);

    // The start of the long page is searched, its end is not; the last pages are past the budget.
    QCOMPARE(Search(*search, u"始めの言葉"_s), QStringList{u"長いページ"_s});
    QVERIFY(Search(*search, u"終わりの言葉"_s).isEmpty());
    QCOMPARE(search->status()->text(), u"「終わりの言葉」は\n見つかりませんでした。\n"_s + notes);
    QVERIFY(Search(*search, u"第150頁の目印"_s).isEmpty());
    QVERIFY(memory.withinBound());
}

void TestHelpLimits::closingStopsTheIndex() {
    ScopedWorkDir dir;
    QWidget owner;
    QPointer<HelpWindow> w = Open(owner, Hostile(u"huge-page.chm"_s));
    QVERIFY(w);
    SearchPane* search = w->search();
    search->index().holdBefore(3);
    w->showPane(2);
    WaitForIndex(*search, [](const SearchIndex::Progress& p) { return p.done == 3; });
    w->close();
    WaitForIndex(*search, [](const SearchIndex::Progress& p) { return p.finished; });
    QCOMPARE(search->index().progress().done, 3);
    QVERIFY(search->index().progress().total > 3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(w.isNull());
}

// 150 pages whose directory entries name the bytes of the 15 MB page: the index reads those bytes once, and the
// contents read their title once.
void TestHelpLimits::sharedBytesReadOnce() {
    const auto archive = ChmArchive::Open(Hostile(u"shared-range.chm"_s).toStdString());
    QVERIFY(archive);
    QCOMPARE(archive->RangeOf("/p150.htm"), archive->RangeOf("/huge.htm"));
    std::set<ChmArchive::Range> ranges;
    int pages = 0;
    for (const std::string& name : archive->Files())
        if (name.ends_with(".htm")) {
            ++pages;
            ranges.insert(*archive->RangeOf(name));
        }
    QCOMPARE(pages, 152);
    QCOMPARE(ranges.size(), std::size_t(2));

    ScopedWorkDir dir;
    const MemoryPeak memory;
    QWidget owner;
    HelpWindow* w = Open(owner, Hostile(u"shared-range.chm"_s));
    QVERIFY(w);
    int titled = 0;
    for (QTreeWidgetItemIterator it(w->contents()); *it; ++it)
        titled += (*it)->text(0) == u"長いページ"_s;
    QCOMPARE(titled, 151);
    QCOMPARE(Search(*w->search(), u"始めの言葉"_s), QStringList{u"長いページ"_s});
    QCOMPARE(w->search()->index().progress().total, 2);
    QCOMPARE(w->search()->index().progress().cut, 1);
    // Any of the names shows the page in part.
    w->showPage(help::HelpBrowser::pageUrl("/p077.htm"));
    QCOMPARE(w->browser()->document()->lastBlock().text(), help::HelpBrowser::cutPageNote());
    QVERIFY(memory.withinBound());
}

// Contents and an index nesting 100,000 levels: the first 50,000 entries are read, those below the deepest level
// stay there, and expanding every branch, walking down into the deepest and narrowing the index work.
void TestHelpLimits::deepSitemapsFlattened() {
    ScopedWorkDir dir;
    const MemoryPeak memory;
    QWidget owner;
    HelpWindow* w = Open(owner, Hostile(u"deep-sitemap.chm"_s));
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    for (QTreeWidget* tree : {static_cast<QTreeWidget*>(w->contents()), w->index()->keywords()}) {
        int entries = 0;
        int deepest = 0;
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            ++entries;
            deepest = std::max(deepest, Depth(*it));
        }
        QCOMPARE(entries, static_cast<int>(kMaxSitemapEntries));
        QCOMPARE(deepest, kMaxSitemapDepth - 1);
    }
    QTreeWidget* contents = w->contents();
    w->showPane(0);
    contents->setCurrentItem(contents->topLevelItem(0));
    QTest::keyClick(contents, Qt::Key_Asterisk); // opens every branch below, as expandAll() does
    for (int i = 0; i < kMaxSitemapDepth + 8; ++i)
        QTest::keyClick(contents, Qt::Key_Down);
    QCOMPARE(Depth(contents->currentItem()), kMaxSitemapDepth - 1);
    QTest::keyClick(contents, Qt::Key_Return);
    QCOMPARE(w->browser()->source().path(), u"/index.htm"_s);
    w->showPane(1);
    QTest::sendKeyEvent(QTest::Click, w->index()->filter(), Qt::Key_unknown, u"段"_s, Qt::NoModifier);
    QCOMPARE(w->index()->shownKeywords().size(), static_cast<qsizetype>(kMaxSitemapEntries));
    QTest::keyClick(w->index()->filter(), Qt::Key_Return);
    QVERIFY(memory.withinBound());
}

void TestHelpLimits::deepPagesFlattened_data() {
    QTest::addColumn<QString>("page");
    QTest::newRow("tables 3,000 deep") << u"/tables.htm"_s;
    QTest::newRow("lists") << u"/lists.htm"_s;
    QTest::newRow("numbered lists") << u"/ordered.htm"_s;
    QTest::newRow("definition lists") << u"/definitions.htm"_s;
    QTest::newRow("quotes") << u"/quotes.htm"_s;
    QTest::newRow("divisions with margins") << u"/divisions.htm"_s;
    QTest::newRow("text styles 20,000 deep") << u"/spans.htm"_s;
    QTest::newRow("all of them in turn") << u"/mixed.htm"_s;
}

// Pages nesting thousands deep reach the window nesting at most eight deep, their first levels' text intact;
// the window answers a find in the page after each.
void TestHelpLimits::deepPagesFlattened() {
    QFETCH(QString, page);
    ScopedWorkDir dir;
    const MemoryPeak memory;
    QWidget owner;
    HelpWindow* w = Open(owner, Hostile(u"deep-nesting.chm"_s));
    QVERIFY(w);
    w->showPage(help::HelpBrowser::pageUrl(page.toStdString()));
    QCOMPARE(w->browser()->source().path(), page);
    const Nesting nesting = DeepestNesting(*w->browser()->document());
    QVERIFY2(nesting.tables <= kMaxPageNesting, qPrintable(QString::number(nesting.tables)));
    QVERIFY2(nesting.lists <= kMaxPageNesting, qPrintable(QString::number(nesting.lists)));
    QVERIFY2(nesting.margin <= kMaxPageNesting * 60, qPrintable(QString::number(nesting.margin)));
    const QString text = w->browser()->toPlainText();
    QVERIFY(text.contains(u"段"_s));
    QVERIFY(text.contains(u"底"_s) || w->browser()->document()->lastBlock().text() == help::HelpBrowser::cutPageNote());
    QVERIFY(FindInPage(w, u"段"_s).endsWith(u" 件中 1 件目"_s));
    QVERIFY(memory.withinBound());
}

void TestHelpLimits::boundingPages_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("tag");  // a start tag counted in the page as bounded
    QTest::addColumn<int>("kept");     // how many of them stay
    QTest::addColumn<QString>("text"); // the page's text without its tags
    QTest::addColumn<bool>("cut");
    // A table costs 20, each of its rows 45: the row's tag 2, its cell 40, the text 1 and two end tags 1 each.
    const int rows = static_cast<int>((kMaxPageWork - 20) / 45);
    const auto nest = [](const QString& open, const QString& close, int levels, const QString& inside) {
        return open.repeated(levels) + inside + close.repeated(levels);
    };
    QTest::newRow("shallow tables stay") << u"<table><tr><td>a</td></tr></table><p>b</p>"_s << u"<table"_s << 1
                                         << u"ab"_s << false;
    QTest::newRow("tables past eight lose their tags") << nest(u"<table><tr><td>x"_s, u"</td></tr></table>"_s, 12, {})
                                                       << u"<table"_s << 8 << u"x"_s.repeated(12) << false;
    QTest::newRow("cells of dropped tables go too") << nest(u"<table><tr><td>x"_s, u"</td></tr></table>"_s, 12, {})
                                                    << u"<td"_s << 8 << u"x"_s.repeated(12) << false;
    QTest::newRow("lists") << nest(u"<ul><li>y"_s, u"</li></ul>"_s, 20, {}) << u"<li"_s << 8 << u"y"_s.repeated(20)
                           << false;
    QTest::newRow("quotes in divisions") << nest(u"<div><blockquote>"_s, u"</blockquote></div>"_s, 10, u"z"_s)
                                         << u"<blockquote"_s << 4 << u"z"_s << false;
    QTest::newRow("text styles past 64") << nest(u"<span>"_s, u"</span>"_s, 100, u"w"_s) << u"<span"_s
                                         << kMaxElementDepth << u"w"_s << false;
    QTest::newRow("paragraphs end each other")
        << u"<p>a"_s.repeated(100) << u"<p"_s << 100 << u"a"_s.repeated(100) << false;
    QTest::newRow("items end each other")
        << u"<ul>"_s + u"<li>a"_s.repeated(100) + u"</ul>"_s << u"<li"_s << 100 << u"a"_s.repeated(100) << false;
    QTest::newRow("rows and cells end each other") << u"<table>"_s + u"<tr><td>a<td>b"_s.repeated(50) + u"</table>"_s
                                                   << u"<td"_s << 100 << u"ab"_s.repeated(50) << false;
    QTest::newRow("a style sheet stays as it is") << u"<style>td > p { color: red }</style><p>x</p>"_s << u"<style"_s
                                                  << 1 << u"td > p { color: red }x"_s << false;
    QTest::newRow("a '>' in a quoted value") << u"<div title=\"a>b\">x</div>"_s << u"<div"_s << 1 << u"x"_s << false;
    QTest::newRow("a comment cut short goes") << u"<p>a</p><!-- <p>b</p>"_s << u"<p"_s << 1 << u"a"_s << false;
    QTest::newRow("a tag cut short goes") << u"<p>a</p><p class=\"x"_s << u"<p"_s << 1 << u"a"_s << false;
    QTest::newRow("one long paragraph ends at the bound")
        << u"<p>"_s + u"あ"_s.repeated(70000) << u"<p"_s << 1 << u"あ"_s.repeated(kMaxPageWork - 2) << true;
    QTest::newRow("a table of many cells ends at the bound")
        << u"<table>"_s + u"<tr><td>c</td></tr>"_s.repeated(3000) + u"</table>"_s << u"<td"_s << rows
        << u"c"_s.repeated(rows) << true;
}

void TestHelpLimits::boundingPages() {
    QFETCH(QString, html);
    QFETCH(QString, tag);
    QFETCH(int, kept);
    QFETCH(QString, text);
    QFETCH(bool, cut);
    const BoundedPage page = BoundPage(html.toStdString());
    const QString bounded = QString::fromStdString(page.html);
    QCOMPARE(bounded.count(tag), kept);
    QString plain = bounded;
    plain.remove(QRegularExpression(uR"(<!--.*?-->|<(?:[^<>"']|"[^"]*"|'[^']*')*>)"_s));
    plain.remove(u' ');
    QString expected = text;
    expected.remove(u' ');
    QCOMPARE(plain, expected);
    QCOMPARE(page.cut, cut);
}

// Lists nested past the bound keep their entries at the deepest level, and the levels closed after them count.
void TestHelpLimits::deepSitemapDepths() {
    const std::string entry = R"(<UL><LI><OBJECT type="text/sitemap"><param name="Name" value="e"></OBJECT>)";
    std::string html;
    for (int i = 0; i < 1000; ++i)
        html += entry;
    for (int i = 0; i < 990; ++i)
        html += "</UL>";
    html += R"(<LI><OBJECT type="text/sitemap"><param name="Name" value="after"></OBJECT>)";
    const std::vector<SitemapEntry> entries = ParseSitemap(html);
    QCOMPARE(entries.size(), std::size_t(1001));
    for (std::size_t i = 0; i < 1000; ++i)
        QCOMPARE(entries[i].depth, std::min<int>(static_cast<int>(i), kMaxSitemapDepth - 1));
    QCOMPARE(entries.back().name, std::string("after"));
    QCOMPARE(entries.back().depth, 9);
}

QTEST_MAIN(TestHelpLimits)
#include "tst_help_limits.moc"
