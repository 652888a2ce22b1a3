// The program's help layer, in place of the platform's HTML Help: it shows a named .chm file in a help
// window without blocking, and closes every help window the program opened. The window works as users of
// HTML Help expect: contents, index and full-text search beside the page, find in the page, home and zoom.
#pragma once

#include "help/chm_archive.h"
#include "help/help_text.h"

#include <QByteArray>
#include <QHash>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QScreen;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace help {

class ContentsPane;
class IndexPane;
class SearchPane;

// The two commands the program uses, with HTML Help's values.
enum class Command { Display = 0, CloseAll = 18 };

// Display: opens the file's default topic in a help window owned by the caller, or brings forward the one
// already showing that file, and returns at once. A missing or unreadable file shows nothing, and false
// tells the caller so. CloseAll: closes every help window, whatever file is named.
bool HtmlHelp(QWidget* caller, const QString& file, Command command);

// Where a bare help file name is found: the program's installed data folder (share/tsumotto beside its
// bin folder), the build's help folder, then the current directory, ignoring letter case there. Empty when
// it is in none of them. A name with a folder is taken as it is. The path is in the file system's bytes.
QByteArray FindHelpFile(const QString& file);

// Where a help window of `size` goes, as a frame rectangle: beside the owner's frame, on the side of the
// screen's available area with room for at least `minimumWidth` (narrowed to that room), else over the
// owner; always inside the available area.
QRect PlaceBeside(const QRect& owner, const QSize& size, const QRect& available, int minimumWidth);

// A window title as plain text: Qt reads "[*]" in a title as the modified mark, and a title is one line.
QString PlainWindowTitle(const QString& text);

// The text of a help file's pages and what the user sees in them, decoded as the file says.
class HelpBook {
public:
    explicit HelpBook(std::shared_ptr<const ChmArchive> archive);
    const ChmArchive& archive() const { return *m_archive; }
    std::shared_ptr<const ChmArchive> sharedArchive() const { return m_archive; }
    unsigned language() const { return m_language; }

    // The most of a page read to show it or to search it. No real help page comes near it; the bound on the
    // work of laying a page out (BoundPage) mostly ends a long page first.
    static constexpr std::uint64_t kMaxPageBytes = 512 * 1024;
    // The most of a page read for its title, which is in the page's head.
    static constexpr std::uint64_t kMaxTitleBytes = 32 * 1024;

    // A page as the window shows it and the search reads it: its start when it is long, within the bounds of
    // BoundPage. Nothing when the file does not hold it or it does not read.
    struct Page {
        QString html;
        bool cut = false; // the rest of the page is left out
    };
    std::optional<Page> page(const std::string& path) const;
    static std::optional<Page> ReadPage(const ChmArchive& archive, unsigned language, const std::string& path);
    // A style sheet inside the file as text, up to the size of a page; empty when the file does not hold it.
    QString styleSheet(const std::string& path) const;
    // The <title> of a page, or empty. Pages that share their bytes share their title, and the titles read for
    // one file cost at most its budget (ChmArchive::Budget), after which they are empty.
    QString pageTitle(const std::string& path) const;

    // One page found by a full-text search, with how often the words occur in it.
    struct Found {
        std::string path;
        QString title;
        int hits;
    };

    // The text of a page as a QTextDocument holds it, so that positions found in it are positions in the page
    // a browser shows.
    static QString DocumentText(const QString& html, QString* title);

private:
    std::shared_ptr<const ChmArchive> m_archive;
    unsigned m_language;
    mutable std::string m_lastPath; // the page read last, which is read again at once to be shown
    mutable std::optional<Page> m_lastPage;
    mutable std::map<ChmArchive::Range, QString> m_titles;
    mutable std::uint64_t m_titlesSpent = 0;
};

// The full-text search index of a help file: the text of every page folded for searching, read on a thread of
// its own through a handle of its own on the file, in the order the pages lie in it, within the file's budget
// (ChmArchive::Budget) of bytes decompressed and of bytes of folded text kept.
// Pages that share their bytes are read once. It can be searched while it grows.
class SearchIndex {
public:
    SearchIndex(std::shared_ptr<const ChmArchive> archive, unsigned language);
    // Stops the reading and waits for its thread.
    ~SearchIndex();
    SearchIndex(const SearchIndex&) = delete;
    SearchIndex& operator=(const SearchIndex&) = delete;

    // Starts reading, once; `changed` is called on the index's thread after each page and at the end.
    void start(std::function<void()> changed);
    bool started() const { return m_thread.joinable(); }
    // Ends the reading at the next page, or within a few megabytes of the one being read.
    void stop();

    struct Progress {
        int done = 0;    // pages read, left out or unreadable
        int total = 0;   // pages to read; 0 until they are counted
        int leftOut = 0; // pages past the budget, not searched
        int cut = 0;     // long pages searched in the part the window shows
        bool finished = false;
    };
    Progress progress() const;
    // Every page read so far that holds each of the terms (from SearchTerms), the most hits first, then in the
    // file's order.
    std::vector<HelpBook::Found> search(const QStringList& terms) const;

    // For tests: the reading waits before page `page` (counted from 0) until released or stopped.
    void holdBefore(int page);
    void release();

private:
    struct Page {
        std::size_t order; // in the file's order of names
        std::string path;
        QString title;
        FoldedText folded;
    };
    void run(const std::function<void()>& changed);
    bool waitIfHeld(int page);

    std::shared_ptr<const ChmArchive> m_source;
    unsigned m_language;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_held;
    int m_holdBefore = -1;
    Progress m_progress;
    std::vector<Page> m_pages;
    std::thread m_thread;
};

// A page viewer that takes pages, style sheets and pictures from a .chm file, with search hits and matches of
// a find marked in the page, and text zoom.
class HelpBrowser final : public QTextBrowser {
    Q_OBJECT

public:
    HelpBrowser(std::shared_ptr<const HelpBook> file, QWidget* parent);

    // Follows a link as a click does: inside the file it opens the page, to the web the desktop's browser.
    void followLink(const QUrl& link);
    QVariant loadResource(int type, const QUrl& name) override;

    // A page inside the file, as a URL this browser shows.
    static QUrl pageUrl(const std::string& path);
    // The line that ends a page shown in part.
    static QString cutPageNote();

    // Marks every occurrence of the terms (from SearchTerms) in this and the next pages shown, until cleared
    // with an empty list.
    void setSearchTerms(const QStringList& terms);
    QStringList searchTerms() const { return m_searchTerms; }
    // The marks of search hits and find matches in the page.
    const QList<ExtraSelection>& marks() const { return m_marks; }

    // Find in the page: selects the next (or previous) match of the text after (or before) the selection,
    // wrapping round, and marks every match. The number of matches, and the selected one counted from 1.
    struct FindResult {
        int count = 0;
        int current = 0;
    };
    FindResult find(const QString& text, bool backward);
    void clearFind();

    // Text size in percent: 100 is the page's own.
    int zoomPercent() const;
    void zoomIn();
    void zoomOut();
    void resetZoom();

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void zoomTo(int step);
    void applyZoom();
    // Pictures wider than the page are drawn as wide as it, keeping their proportions.
    void fitPictures();
    void updateMarks();

    std::shared_ptr<const HelpBook> m_file;
    QStringList m_searchTerms;
    QString m_findText;
    QList<ExtraSelection> m_marks;
    int m_zoomStep;
    bool m_loadedPage = false;
    bool m_loadedPageCut = false;
};

// A help window: the panes (contents, index, search) beside the page, a tool bar with back, forward, home,
// zoom and find, and the find bar under the page.
class HelpWindow final : public QWidget {
    Q_OBJECT

public:
    HelpWindow(const QByteArray& path, std::shared_ptr<const ChmArchive> archive, QWidget* owner);
    QByteArray path() const { return m_path; }
    HelpBrowser* browser() const { return m_browser; }
    ContentsPane* contents() const { return m_contents; }
    IndexPane* index() const { return m_index; }
    SearchPane* search() const { return m_search; }
    QTabWidget* panes() const { return m_panes; }
    QLineEdit* findField() const { return m_findField; }
    QLabel* findStatus() const { return m_findStatus; }
    QAction* homeAction() const { return m_home; }
    void showDefaultTopic();
    // Shows a page of the file, as a click in a pane does: the marks of an earlier search go.
    void showPage(const QUrl& url);
    // Beside `owner` where the screen has room, else over it, with its frame inside the screen's available area.
    void placeBeside(const QWidget* owner);
    // Brings a pane forward and puts the focus in it: 0 contents, 1 index, 2 search.
    void showPane(int pane);
    void showFindBar();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    // Keeps the frame inside the available area of the window's screen: never larger than it, and moved into it
    // when `move`. A user who drags the window partly off the screen is left alone.
    void keepOnScreen(bool move);
    // The available area of `screen` is watched: when it changes, the window is kept inside it.
    void watchArea(QScreen* screen);
    void followScreen(QScreen* screen);
    void buildToolBar(QToolBar* bar);
    QWidget* buildFindBar();
    void findNext(bool backward);
    void escape();

    QByteArray m_path;
    std::shared_ptr<const HelpBook> m_file;
    HelpBrowser* m_browser;
    QTabWidget* m_panes = nullptr;
    ContentsPane* m_contents = nullptr;
    IndexPane* m_index = nullptr;
    SearchPane* m_search = nullptr;
    QWidget* m_findBar = nullptr;
    QLineEdit* m_findField = nullptr;
    QLabel* m_findStatus = nullptr;
    QAction* m_home = nullptr;
    QMetaObject::Connection m_screenArea; // the available area of the window's screen changes
    bool m_frameKnown = false;            // the window manager's frame has been measured
};

} // namespace help
