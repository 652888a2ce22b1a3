// The three panes of a help window: the table of contents, the index of keywords and the full-text search.
// Each asks for a page with a signal; the window shows it.
#pragma once

#include "help/chm_sitemap.h"

#include <QStringList>
#include <QTreeWidget>
#include <QUrl>
#include <QWidget>

#include <atomic>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTreeWidgetItem;

namespace help {

class HelpBook;
class SearchIndex;

// A link of a sitemap as a URL: a page inside the file (see HelpBrowser::pageUrl), a web address as it is,
// or an empty URL for anything else.
QUrl SitemapLinkUrl(const std::string& local, const std::string& sitemapPath);

// The tree of the file's table of contents (.hhc). It follows the page shown.
class ContentsPane final : public QTreeWidget {
    Q_OBJECT

public:
    ContentsPane(const HelpBook& book, QWidget* parent);
    bool isEmpty() const { return topLevelItemCount() == 0; }
    // Selects the entry of the page shown, opening the branches above it; the entry of the page and its
    // fragment is preferred to the entry of the page alone. Nothing is selected for a page the tree lacks.
    void follow(const QUrl& page);
    // The page an entry opens; empty for an entry that names no page.
    static QUrl entryUrl(const QTreeWidgetItem* item);

signals:
    void pageWanted(const QUrl& url);
};

// The keywords of the file's index (.hhk), narrowed to those that match what is typed above them. A keyword
// with one page opens it; one with several lists them below, to choose from.
class IndexPane final : public QWidget {
    Q_OBJECT

public:
    IndexPane(const HelpBook& book, QWidget* parent);
    bool isEmpty() const { return m_keywords->topLevelItemCount() == 0; }
    QLineEdit* filter() const { return m_filter; }
    QTreeWidget* keywords() const { return m_keywords; }
    QListWidget* topics() const { return m_topics; }
    // The keyword the arrow keys are on, in the list or in the box above it.
    QTreeWidgetItem* currentKeyword() const;
    // The keywords shown now, in order, sub-keywords after theirs.
    QStringList shownKeywords() const;
    // Opens the current keyword: its page, or the list of its pages with the focus on the first.
    void openCurrent();

signals:
    void pageWanted(const QUrl& url);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Topic {
        QString title;
        QUrl url;
    };
    struct Keyword {
        QString name;
        QString folded;
        std::vector<Topic> topics;
        QStringList seeAlso;
    };
    void narrow(const QString& typed);
    void showTopicsOf(const QTreeWidgetItem* item);
    const Keyword* keywordOf(const QTreeWidgetItem* item) const;

    QLineEdit* m_filter;
    QTreeWidget* m_keywords;
    QLabel* m_topicsLabel;
    QListWidget* m_topics;
    std::vector<Keyword> m_entries;
};

// Full-text search over every page of the file: the pages found, with their count of hits, most first. The
// index of the pages is read on a thread of its own from when the pane is first shown or used, with its
// progress shown as pages read of all; a search asked for before it is whole waits for it, while the window
// goes on answering.
class SearchPane final : public QWidget {
    Q_OBJECT

public:
    SearchPane(const HelpBook& book, QWidget* parent);
    ~SearchPane() override;
    QLineEdit* field() const { return m_field; }
    QPushButton* button() const { return m_button; }
    QTreeWidget* results() const { return m_results; }
    QLabel* status() const { return m_status; }
    QProgressBar* progress() const { return m_progress; }
    SearchIndex& index() const { return *m_index; }
    // Searches for what the field holds, as its button does: at once when the index is whole, else when it is.
    void run();
    // Starts reading the index, once.
    void startIndex();
    // Stops reading the index for good: the window is closing.
    void stopIndex();

signals:
    // A page found, with the words to mark in it.
    void resultWanted(const QUrl& url, const QStringList& terms);
    // The results of a search are shown.
    void searched();
    // The index has read another page, or is whole.
    void indexChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showProgress();
    void showResults();

    const HelpBook& m_book;
    QLineEdit* m_field;
    QPushButton* m_button;
    QTreeWidget* m_results;
    QLabel* m_status;
    QProgressBar* m_progress;
    QStringList m_terms;
    QString m_typed;
    bool m_waiting = false; // a search waits for the index
    std::atomic<bool> m_changePosted{false};
    std::unique_ptr<SearchIndex> m_index;
};

} // namespace help
