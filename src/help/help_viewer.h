// The program's help layer, in place of the platform's HTML Help: it shows a named .chm file in a help
// window without blocking, and closes every help window the program opened. The window works as users of
// HTML Help expect: contents, index and full-text search beside the page, find in the page, home and zoom.
#pragma once

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

#include <memory>
#include <string>
#include <vector>

class ChmArchive;
class QAction;
class QLabel;
class QLineEdit;
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
// already showing that file, and returns at once. A missing or unreadable file shows nothing.
// CloseAll: closes every help window, whatever file is named.
void HtmlHelp(QWidget* caller, const QString& file, Command command);

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
    HelpBook(std::shared_ptr<const ChmArchive> archive);
    const ChmArchive& archive() const { return *m_archive; }
    unsigned language() const { return m_language; }
    // A page or style sheet inside the file as text; empty when the file does not hold it.
    QString text(const std::string& path) const;
    // The <title> of a page, or empty.
    QString pageTitle(const std::string& path) const;

    // One page found by a full-text search, with how often the words occur in it.
    struct Found {
        std::string path;
        QString title;
        int hits;
    };
    // Every page that holds each of the terms (from SearchTerms), the most hits first, then in the file's
    // order. The pages are read and folded at the first search.
    std::vector<Found> search(const QStringList& terms) const;

    // The text of a page as a QTextDocument holds it, so that positions found in it are positions in the page
    // a browser shows.
    static QString DocumentText(const QString& html, QString* title);

private:
    struct Page {
        std::string path;
        QString title;
        FoldedText folded;
    };
    std::shared_ptr<const ChmArchive> m_archive;
    unsigned m_language;
    mutable bool m_indexed = false;
    mutable std::vector<Page> m_pages;
    mutable QHash<QString, QString> m_titles;
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

private:
    void zoomTo(int step);
    void applyZoom();
    void updateMarks();

    std::shared_ptr<const HelpBook> m_file;
    QStringList m_searchTerms;
    QString m_findText;
    QList<ExtraSelection> m_marks;
    int m_zoomStep;
    bool m_loadedPage = false;
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
    // Beside `owner` where the screen has room, else over it.
    void placeBeside(const QWidget* owner);
    // Brings a pane forward and puts the focus in it: 0 contents, 1 index, 2 search.
    void showPane(int pane);
    void showFindBar();

private:
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
};

} // namespace help
