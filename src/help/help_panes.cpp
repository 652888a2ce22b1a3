// The contents, index and search panes of a help window.
#include "help/help_panes.h"

#include "help/chm_archive.h"
#include "help/help_text.h"
#include "help/help_viewer.h"
#include "widgets/controls.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <functional>
#include <map>

using namespace Qt::StringLiterals;

namespace help {

namespace {

// The button Qt puts in a text box to empty it has no name of its own.
void NameClearButton(QLineEdit* box) {
    for (QToolButton* button : box->findChildren<QToolButton*>())
        button->setAccessibleName(u"入力を消す"_s);
}

constexpr int kUrlRole = Qt::UserRole;
constexpr int kKeywordRole = Qt::UserRole + 1;

// A sitemap of the file, its path and the charset of its names, and the links it names: one URL for each, which
// the entries that name it share.
struct Sitemap {
    std::string path;
    QByteArray charset;
    std::vector<SitemapEntry> entries;
    std::map<std::string, QUrl> urls;
};

Sitemap ReadSitemap(const HelpBook& book, const std::string& path) {
    Sitemap sitemap{path, {}, {}, {}};
    if (path.empty())
        return sitemap;
    const auto bytes = book.archive().Read(path);
    if (!bytes)
        return sitemap;
    sitemap.charset =
        HelpPageCharset(QByteArrayView(bytes->data(), static_cast<qsizetype>(bytes->size())), book.language());
    sitemap.entries = ParseSitemap(*bytes);
    return sitemap;
}

// A name or a path of a sitemap as text: in the sitemap's charset, with its character references read.
QString SitemapText(const Sitemap& sitemap, const std::string& value) {
    return UnescapeHtml(DecodeHelpBytes(value, sitemap.charset)).simplified();
}

QUrl TopicUrl(Sitemap& sitemap, const SitemapTopic& topic) {
    const auto known = sitemap.urls.find(topic.local);
    if (known != sitemap.urls.end())
        return known->second;
    // Paths inside a .chm are UTF-8, whatever the charset of the sitemap that names them.
    const QUrl url = SitemapLinkUrl(SitemapText(sitemap, topic.local).toStdString(), sitemap.path);
    sitemap.urls.emplace(topic.local, url);
    return url;
}

QString Folded(const QString& text) {
    QString folded = FoldForSearch(text).text;
    folded.remove(u'\n');
    return folded;
}

} // namespace

QUrl SitemapLinkUrl(const std::string& local, const std::string& sitemapPath) {
    const std::string path = ChmLocalPath(local, sitemapPath.substr(0, sitemapPath.rfind('/') + 1));
    if (!path.empty())
        return HelpBrowser::pageUrl(path);
    const QUrl url(QString::fromStdString(local));
    const QString scheme = url.scheme().toLower();
    return scheme == u"http"_s || scheme == u"https"_s || scheme == u"mailto"_s ? url : QUrl();
}

// ContentsPane

ContentsPane::ContentsPane(const HelpBook& book, QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setHeaderLabel(u"目次"_s);
    setUniformRowHeights(true);
    CurrentOnlyWithFocus(this);
    // As wide as its entries, with a scroll bar: Qt's tree skips, when moving by keyboard, the entries whose
    // indentation leaves them no room.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setAccessibleName(u"目次"_s);
    setAccessibleDescription(u"矢印キーで項目を選び、Enter でそのページを開きます"_s);
    Sitemap sitemap = ReadSitemap(book, book.archive().ContentsFile());
    std::vector<QTreeWidgetItem*> parents; // the last item at each depth
    for (const SitemapEntry& entry : sitemap.entries) {
        const auto depth = std::min<std::size_t>(static_cast<std::size_t>(entry.depth), parents.size());
        parents.resize(depth);
        auto* item = depth == 0 ? new QTreeWidgetItem(this) : new QTreeWidgetItem(parents.back());
        QString name = SitemapText(sitemap, entry.name);
        if (!entry.topics.empty()) {
            const QUrl url = TopicUrl(sitemap, entry.topics.front());
            item->setData(0, kUrlRole, url);
            if (name.isEmpty() && url.scheme() == u"chm"_s)
                name = book.pageTitle(url.path().toStdString());
            if (name.isEmpty())
                name = url.path().mid(url.path().lastIndexOf(u'/') + 1);
        }
        item->setText(0, name);
        parents.push_back(item);
    }
    const QIcon book_icon = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon page_icon = style()->standardIcon(QStyle::SP_FileIcon);
    for (QTreeWidgetItemIterator it(this); *it; ++it)
        (*it)->setIcon(0, (*it)->childCount() > 0 ? book_icon : page_icon);
    if (topLevelItemCount() == 1)
        topLevelItem(0)->setExpanded(true);

    const auto open = [this](QTreeWidgetItem* item) {
        const QUrl url = entryUrl(item);
        if (url.isValid())
            emit pageWanted(url);
        else if (item)
            item->setExpanded(!item->isExpanded());
    };
    connect(this, &QTreeWidget::itemActivated, this, open);
    connect(this, &QTreeWidget::itemClicked, this, open);
}

QUrl ContentsPane::entryUrl(const QTreeWidgetItem* item) {
    return item ? item->data(0, kUrlRole).toUrl() : QUrl();
}

void ContentsPane::follow(const QUrl& page) {
    QTreeWidgetItem* samePage = nullptr;
    QTreeWidgetItem* exact = nullptr;
    for (QTreeWidgetItemIterator it(this); *it && !exact; ++it) {
        const QUrl url = entryUrl(*it);
        if (url.scheme() != page.scheme() || url.path().compare(page.path(), Qt::CaseInsensitive) != 0)
            continue;
        if (url.fragment() == page.fragment())
            exact = *it;
        else if (!samePage || (!url.hasFragment() && entryUrl(samePage).hasFragment()))
            samePage = *it;
    }
    QTreeWidgetItem* found = exact ? exact : samePage;
    if (!found) {
        clearSelection();
        return;
    }
    for (QTreeWidgetItem* up = found->parent(); up; up = up->parent())
        up->setExpanded(true);
    setCurrentItem(found);
    scrollToItem(found);
}

// IndexPane

IndexPane::IndexPane(const HelpBook& book, QWidget* parent)
    : QWidget(parent), m_filter(new QLineEdit(this)), m_keywords(new QTreeWidget(this)),
      m_topicsLabel(new QLabel(u"このキーワードのページ:"_s, this)), m_topics(new QListWidget(this)) {
    auto* label = new QLabel(u"探すキーワード:"_s, this);
    label->setBuddy(m_filter);
    m_filter->setAccessibleName(u"キーワード"_s);
    m_filter->setAccessibleDescription(u"入力すると、その言葉を含むキーワードだけが一覧に残ります。Enter で開きます"_s);
    m_filter->setPlaceholderText(u"キーワードを入力"_s);
    m_filter->setClearButtonEnabled(true);
    NameClearButton(m_filter);
    m_filter->installEventFilter(this);
    m_keywords->setHeaderHidden(true);
    m_keywords->setHeaderLabel(u"キーワード"_s);
    CurrentOnlyWithFocus(m_keywords);
    CurrentOnlyWithFocus(m_topics);
    m_keywords->setRootIsDecorated(false);
    m_keywords->setUniformRowHeights(true);
    m_keywords->setAccessibleName(u"キーワードの一覧"_s);
    m_keywords->setAccessibleDescription(u"Enter でキーワードのページを開きます"_s);
    m_topicsLabel->setBuddy(m_topics);
    m_topics->setAccessibleName(u"キーワードのページ"_s);
    m_topics->setAccessibleDescription(u"このキーワードが載っているページです。Enter で開きます"_s);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(label);
    layout->addWidget(m_filter);
    layout->addWidget(m_keywords, 3);
    layout->addWidget(m_topicsLabel);
    layout->addWidget(m_topics, 1);
    m_topicsLabel->hide();
    m_topics->hide();

    Sitemap sitemap = ReadSitemap(book, book.archive().IndexFile());
    std::vector<QTreeWidgetItem*> parents;
    for (const SitemapEntry& entry : sitemap.entries) {
        Keyword keyword{SitemapText(sitemap, entry.name), {}, {}, {}};
        if (keyword.name.isEmpty())
            continue;
        keyword.folded = Folded(keyword.name);
        for (const SitemapTopic& topic : entry.topics) {
            Topic t{SitemapText(sitemap, topic.name), TopicUrl(sitemap, topic)};
            if (!t.url.isValid())
                continue;
            if (t.title.isEmpty())
                t.title = t.url.scheme() == u"chm"_s ? book.pageTitle(t.url.path().toStdString()) : t.url.toString();
            if (t.title.isEmpty())
                t.title = t.url.path().mid(t.url.path().lastIndexOf(u'/') + 1);
            keyword.topics.push_back(t);
        }
        for (const std::string& other : entry.seeAlso)
            keyword.seeAlso << SitemapText(sitemap, other);
        const auto depth = std::min<std::size_t>(static_cast<std::size_t>(entry.depth), parents.size());
        parents.resize(depth);
        auto* item = depth == 0 ? new QTreeWidgetItem(m_keywords) : new QTreeWidgetItem(parents.back());
        item->setText(0, keyword.name);
        item->setData(0, kKeywordRole, static_cast<qulonglong>(m_entries.size()));
        item->setExpanded(true);
        parents.push_back(item);
        m_entries.push_back(std::move(keyword));
    }
    // Sub-keywords show indented under theirs, all open.
    m_keywords->setRootIsDecorated(false);
    m_keywords->expandAll();

    connect(m_filter, &QLineEdit::textChanged, this, &IndexPane::narrow);
    connect(m_filter, &QLineEdit::returnPressed, this, &IndexPane::openCurrent);
    connect(m_keywords, &QTreeWidget::itemActivated, this, &IndexPane::openCurrent);
    connect(m_keywords, &QTreeWidget::currentItemChanged, this, &IndexPane::showTopicsOf);
    connect(m_keywords, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const Keyword* keyword = keywordOf(item);
        if (keyword && keyword->topics.size() == 1)
            emit pageWanted(keyword->topics.front().url);
    });
    const auto openTopic = [this](QListWidgetItem* item) {
        if (item)
            emit pageWanted(item->data(kUrlRole).toUrl());
    };
    connect(m_topics, &QListWidget::itemActivated, this, openTopic);
    connect(m_topics, &QListWidget::itemClicked, this, openTopic);
    if (m_keywords->topLevelItemCount() > 0)
        m_keywords->setCurrentItem(m_keywords->topLevelItem(0));
}

const IndexPane::Keyword* IndexPane::keywordOf(const QTreeWidgetItem* item) const {
    if (!item)
        return nullptr;
    const auto at = item->data(0, kKeywordRole).toULongLong();
    return at < m_entries.size() ? &m_entries[static_cast<std::size_t>(at)] : nullptr;
}

QTreeWidgetItem* IndexPane::currentKeyword() const {
    return m_keywords->itemFromIndex(KeptCurrent(m_keywords));
}

QStringList IndexPane::shownKeywords() const {
    QStringList shown;
    for (QTreeWidgetItemIterator it(m_keywords); *it; ++it)
        if (!(*it)->isHidden())
            shown << (*it)->text(0);
    return shown;
}

void IndexPane::narrow(const QString& typed) {
    const QString wanted = Folded(typed);
    // A keyword stays when it or one of its sub-keywords matches; a sub-keyword when it or its keyword does.
    const std::function<bool(QTreeWidgetItem*, bool)> keep = [&](QTreeWidgetItem* item, bool aboveMatches) {
        const bool matches = aboveMatches || keywordOf(item)->folded.contains(wanted);
        bool below = false;
        for (int i = 0; i < item->childCount(); ++i)
            below = keep(item->child(i), matches) || below;
        item->setHidden(!matches && !below);
        return matches || below;
    };
    QTreeWidgetItem* first = nullptr;
    QTreeWidgetItem* starting = nullptr;
    for (int i = 0; i < m_keywords->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = m_keywords->topLevelItem(i);
        if (!keep(top, false))
            continue;
        if (!first)
            first = top;
        if (!starting && keywordOf(top)->folded.startsWith(wanted))
            starting = top;
    }
    QTreeWidgetItem* current = starting ? starting : first;
    m_keywords->setCurrentItem(current);
    if (current)
        m_keywords->scrollToItem(current, QAbstractItemView::PositionAtTop);
    else
        showTopicsOf(nullptr);
}

void IndexPane::showTopicsOf(const QTreeWidgetItem* item) {
    m_topics->clear();
    const Keyword* keyword = keywordOf(item);
    const bool several = keyword && keyword->topics.size() > 1;
    if (several)
        for (const Topic& topic : keyword->topics) {
            auto* row = new QListWidgetItem(topic.title, m_topics);
            row->setData(kUrlRole, topic.url);
        }
    m_topicsLabel->setVisible(several);
    m_topics->setVisible(several);
}

void IndexPane::openCurrent() {
    const QTreeWidgetItem* current = currentKeyword();
    const Keyword* keyword = keywordOf(current);
    if (!keyword)
        return;
    if (keyword->topics.size() == 1) {
        emit pageWanted(keyword->topics.front().url);
    } else if (keyword->topics.size() > 1) {
        showTopicsOf(current);
        m_topics->setCurrentRow(0);
        m_topics->setFocus(Qt::OtherFocusReason);
    } else if (!keyword->seeAlso.isEmpty()) {
        m_filter->setText(keyword->seeAlso.front());
    }
}

bool IndexPane::eventFilter(QObject* watched, QEvent* event) {
    // The arrow keys in the box move through the list, as in the index of HTML Help, while typing goes on.
    if (watched == m_filter && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            QKeyEvent copy(QEvent::KeyPress, key, Qt::NoModifier);
            SendKeyToList(m_keywords, &copy);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// SearchPane

SearchPane::SearchPane(const HelpBook& book, QWidget* parent)
    : QWidget(parent), m_book(book), m_field(new QLineEdit(this)), m_button(new QPushButton(u"検索"_s, this)),
      m_results(new QTreeWidget(this)), m_status(new QLabel(this)), m_progress(new QProgressBar(this)),
      m_index(std::make_unique<SearchIndex>(book.sharedArchive(), book.language())) {
    auto* label = new QLabel(u"探す言葉:"_s, this);
    label->setBuddy(m_field);
    m_field->setAccessibleName(u"検索する言葉"_s);
    m_field->setAccessibleDescription(
        u"全部のページから探します。Enter で検索します。ひらがなとカタカナ、全角と半角は区別しません"_s);
    m_field->setPlaceholderText(u"調べたい言葉を入力"_s);
    m_field->setClearButtonEnabled(true);
    NameClearButton(m_field);
    m_button->setAccessibleDescription(u"入力した言葉を全部のページから探します"_s);
    m_results->setColumnCount(2);
    m_results->setHeaderLabels({u"ページ"_s, u"件数"_s});
    m_results->setRootIsDecorated(false);
    m_results->setUniformRowHeights(true);
    m_results->header()->setStretchLastSection(false);
    m_results->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_results->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_results->setAccessibleName(u"見つかったページ"_s);
    CurrentOnlyWithFocus(m_results);
    m_results->setAccessibleDescription(u"件数はページの中で言葉が見つかった数です。Enter でページを開きます"_s);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    m_status->setAccessibleName(u"検索の結果"_s);
    m_progress->setAccessibleName(u"検索の準備"_s);
    m_progress->setAccessibleDescription(u"検索のためにページを読んだ数です"_s);
    m_progress->setFormat(u"%v / %m ページ"_s);
    m_progress->hide();
    auto* row = new QHBoxLayout;
    row->addWidget(m_field, 1);
    row->addWidget(m_button);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(label);
    layout->addLayout(row);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addWidget(m_results, 1);

    connect(m_field, &QLineEdit::returnPressed, this, &SearchPane::run);
    connect(m_button, &QPushButton::clicked, this, &SearchPane::run);
    const auto open = [this](QTreeWidgetItem* item) {
        if (item)
            emit resultWanted(item->data(0, kUrlRole).toUrl(), m_terms);
    };
    connect(m_results, &QTreeWidget::itemActivated, this, open);
    connect(m_results, &QTreeWidget::itemClicked, this, open);
    connect(this, &SearchPane::indexChanged, this, &SearchPane::showProgress);
}

SearchPane::~SearchPane() {
    // The index's thread posts to this pane: it ends before the pane does.
    m_index.reset();
}

void SearchPane::showEvent(QShowEvent* event) {
    startIndex();
    QWidget::showEvent(event);
}

void SearchPane::startIndex() {
    // However fast the pages are read, at most one notice waits in the window's queue.
    m_index->start([this] {
        if (!m_changePosted.exchange(true))
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_changePosted = false;
                    emit indexChanged();
                },
                Qt::QueuedConnection);
    });
}

void SearchPane::stopIndex() {
    m_index->stop();
}

void SearchPane::showProgress() {
    const SearchIndex::Progress progress = m_index->progress();
    m_progress->setMaximum(std::max(progress.total, 1));
    m_progress->setValue(progress.done);
    m_progress->setVisible(!progress.finished);
    if (!m_waiting)
        return;
    if (progress.finished) {
        m_waiting = false;
        showResults();
    } else {
        m_status->setText(u"検索の準備をしています（%1 / %2 ページ）。終わりしだい「%3」を探します。"_s.arg(
            QString::number(progress.done), QString::number(progress.total), m_typed));
    }
}

void SearchPane::run() {
    m_results->clear();
    m_terms = SearchTerms(m_field->text());
    m_typed = m_field->text().simplified();
    m_waiting = false;
    if (m_terms.isEmpty()) {
        m_status->setText(u"探す言葉を入力してください。"_s);
        return;
    }
    startIndex();
    if (m_index->progress().finished) {
        showResults();
        return;
    }
    m_waiting = true;
    showProgress();
}

void SearchPane::showResults() {
    const SearchIndex::Progress progress = m_index->progress();
    QStringList notes;
    if (progress.leftOut > 0)
        notes << u"このヘルプファイルは大きすぎるため、%1 ページは検索していません。"_s.arg(progress.leftOut);
    if (progress.cut > 0)
        notes << u"長いページ %1 ページは、表示される始めの部分だけを検索しました。"_s.arg(progress.cut);
    const std::vector<HelpBook::Found> found = m_index->search(m_terms);
    if (found.empty()) {
        // The term on a line of its own, so that the narrow pane breaks the status between phrases, never inside
        // the verb.
        m_status->setText((QStringList{u"「%1」は"_s.arg(m_typed), u"見つかりませんでした。"_s} + notes).join(u'\n'));
        emit searched();
        return;
    }
    for (const HelpBook::Found& page : found) {
        auto* item = new QTreeWidgetItem(m_results);
        item->setText(0, page.title.isEmpty() ? QString::fromStdString(page.path) : page.title);
        item->setText(1, QString::number(page.hits));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(0, kUrlRole, HelpBrowser::pageUrl(page.path));
    }
    m_results->setCurrentItem(m_results->topLevelItem(0));
    m_status->setText(
        (QStringList{u"「%1」は"_s.arg(m_typed), u"%1 ページに見つかりました。"_s.arg(found.size())} + notes)
            .join(u'\n'));
    emit searched();
}

} // namespace help
