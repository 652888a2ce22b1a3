// The three panes of a help window: the table of contents, the index of keywords and the full-text search.
// Each asks for a page with a signal; the window shows it.
#pragma once

#include "help/chm_sitemap.h"

#include <QStringList>
#include <QTreeWidget>
#include <QUrl>
#include <QWidget>

#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidgetItem;

namespace help {

class HelpBook;

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

// Full-text search over every page of the file: the pages found, with their count of hits, most first.
class SearchPane final : public QWidget {
    Q_OBJECT

public:
    SearchPane(const HelpBook& book, QWidget* parent);
    QLineEdit* field() const { return m_field; }
    QPushButton* button() const { return m_button; }
    QTreeWidget* results() const { return m_results; }
    QLabel* status() const { return m_status; }
    // Searches for what the field holds, as its button does.
    void run();

signals:
    // A page found, with the words to mark in it.
    void resultWanted(const QUrl& url, const QStringList& terms);

private:
    const HelpBook& m_book;
    QLineEdit* m_field;
    QPushButton* m_button;
    QTreeWidget* m_results;
    QLabel* m_status;
    QStringList m_terms;
};

} // namespace help
