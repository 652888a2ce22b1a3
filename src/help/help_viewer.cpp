// The help windows, over libmspack's reading of .chm files.
#include "help/help_viewer.h"

#include "help/chm_archive.h"
#include "help/chm_sitemap.h"
#include "help/help_accessible.h"
#include "help/help_panes.h"
#include "records/data_file_names.h"
#include "widgets/controls.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <sys/stat.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace help {

namespace {

const QString kScheme = u"chm"_s;

// Text sizes the zoom steps through, in percent; 100 is the page's own.
constexpr std::array kZoomPercents{50, 67, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300};
constexpr int kNormalZoomStep = 4;

// The largest picture a page shows, in pixels: larger than any screen, and at most 64 MB of pixels.
constexpr qint64 kMaxPicturePixels = 4096 * 4096;

// The window's size when the screen has room for it, and the narrowest it is made to fit beside its owner.
constexpr QSize kWindowSize(860, 620);
constexpr int kMinimumBesideWidth = 560;

// Every help window the program opened and has not closed.
std::vector<QPointer<HelpWindow>>& OpenWindows() {
    static std::vector<QPointer<HelpWindow>> windows;
    std::erase_if(windows, [](const QPointer<HelpWindow>& w) { return w.isNull(); });
    return windows;
}

QString FileName(const QByteArray& path) {
    return QFile::decodeName(path.mid(path.lastIndexOf('/') + 1));
}

bool IsPage(const std::string& path) {
    const QString lower = QString::fromStdString(path).toLower();
    return (lower.endsWith(u".htm"_s) || lower.endsWith(u".html"_s)) && !lower.contains(u"/#"_s) &&
           !lower.contains(u"/$"_s);
}

// A document that loads nothing from outside its text: a bare QTextDocument would read a linked style sheet
// or picture from the current directory, or from any file: URL.
class TextOnlyDocument final : public QTextDocument {
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int, const QUrl&) override { return QByteArray(); }
};

// The start of a page read in part may end inside a UTF-8 character, which would make the page not UTF-8: its
// length without that character.
std::size_t WithoutCutCharacter(std::string_view bytes) {
    for (std::size_t back = 1; back <= std::min<std::size_t>(bytes.size(), 4); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? bytes.size() - back : bytes.size();
    }
    return bytes.size();
}

// The frame a window manager draws round a window, as margins round its inside; none until it is shown.
QMargins FrameMargins(const QWidget* window) {
    const QRect frame = window->frameGeometry();
    const QRect inside = window->geometry();
    return {inside.left() - frame.left(), inside.top() - frame.top(), frame.right() - inside.right(),
            frame.bottom() - inside.bottom()};
}

} // namespace

QByteArray FindHelpFile(const QString& file) {
    if (file.isEmpty())
        return {};
    if (file.contains(u'/'))
        return QFileInfo(file).isFile() ? QFile::encodeName(file) : QByteArray();
    const QString bin = QCoreApplication::applicationDirPath();
    for (const QString& folder : {bin + u"/../share/tsumotto"_s, bin + u"/../help"_s}) {
        const QString path = QDir::cleanPath(folder + u'/' + file);
        if (QFileInfo(path).isFile())
            return QFile::encodeName(path);
    }
    const std::string resolved = records::ResolveDataFileName(file.toStdString());
    struct stat st {};
    if (resolved.empty() || stat(resolved.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return QFile::encodeName(QDir::currentPath()) + '/' + QByteArray::fromStdString(resolved);
}

QRect PlaceBeside(const QRect& owner, const QSize& size, const QRect& available, int minimumWidth) {
    int width = std::min(size.width(), available.width());
    const int height = std::min(size.height(), available.height());
    const int roomRight = available.right() - owner.right();
    const int roomLeft = owner.left() - available.left();
    int x = 0;
    if (roomRight >= minimumWidth) {
        width = std::min(width, roomRight);
        x = owner.right() + 1;
    } else if (roomLeft >= minimumWidth) {
        width = std::min(width, roomLeft);
        x = owner.left() - width;
    } else {
        x = owner.left() + (owner.width() - width) / 2;
    }
    x = std::clamp(x, available.left(), available.right() - width + 1);
    const int y = std::clamp(owner.top(), available.top(), available.bottom() - height + 1);
    return QRect(x, y, width, height);
}

QString PlainWindowTitle(const QString& text) {
    QString title = text.simplified();
    title.replace(u"[*]"_s, u"[*][*]"_s);
    return title;
}

// HelpBook

HelpBook::HelpBook(std::shared_ptr<const ChmArchive> archive)
    : m_archive(std::move(archive)), m_language(m_archive->Language()) {}

std::optional<HelpBook::Page> HelpBook::ReadPage(const ChmArchive& archive, unsigned language,
                                                 const std::string& path) {
    const auto range = archive.RangeOf(path);
    const auto bytes = range ? archive.ReadStart(path, kMaxPageBytes) : std::nullopt;
    if (!bytes)
        return std::nullopt;
    const std::size_t whole = bytes->size() < range->length ? WithoutCutCharacter(*bytes) : bytes->size();
    const QString html = DecodeHelpPage(QByteArrayView(bytes->data(), static_cast<qsizetype>(whole)), language);
    const BoundedPage bounded = BoundPage(html.toStdString());
    return Page{QString::fromStdString(bounded.html), bounded.cut || bytes->size() < range->length};
}

std::optional<HelpBook::Page> HelpBook::page(const std::string& path) const {
    if (path != m_lastPath || !m_lastPage) {
        m_lastPath = path;
        m_lastPage = ReadPage(*m_archive, m_language, path);
    }
    return m_lastPage;
}

QString HelpBook::styleSheet(const std::string& path) const {
    const auto bytes = m_archive->ReadStart(path, kMaxPageBytes);
    if (!bytes)
        return {};
    return DecodeHelpPage(QByteArrayView(bytes->data(), static_cast<qsizetype>(bytes->size())), m_language);
}

QString HelpBook::pageTitle(const std::string& path) const {
    const auto range = m_archive->RangeOf(path);
    if (!range)
        return {};
    if (const auto known = m_titles.find(*range); known != m_titles.end())
        return known->second;
    QString title;
    if (m_titlesSpent + m_archive->ReadCost(path, kMaxTitleBytes) <= m_archive->Budget()) {
        const std::uint64_t before = m_archive->Spent();
        const auto bytes = m_archive->ReadStart(path, kMaxTitleBytes);
        m_titlesSpent += m_archive->Spent() - before;
        const QString page =
            bytes ? DecodeHelpPage(QByteArrayView(bytes->data(), static_cast<qsizetype>(bytes->size())), m_language)
                  : QString();
        const qsizetype open = page.indexOf(u"<title"_s, 0, Qt::CaseInsensitive);
        const qsizetype start = open < 0 ? -1 : page.indexOf(u'>', open);
        const qsizetype close = start < 0 ? -1 : page.indexOf(u"</title"_s, start, Qt::CaseInsensitive);
        if (close > start)
            title = UnescapeHtml(page.mid(start + 1, close - start - 1)).simplified();
    }
    m_titles.emplace(*range, title);
    return title;
}

QString HelpBook::DocumentText(const QString& html, QString* title) {
    TextOnlyDocument document;
    document.setHtml(html);
    if (title)
        *title = document.metaInformation(QTextDocument::DocumentTitle).simplified();
    return document.toRawText();
}

// SearchIndex

SearchIndex::SearchIndex(std::shared_ptr<const ChmArchive> archive, unsigned language)
    : m_source(std::move(archive)), m_language(language) {}

SearchIndex::~SearchIndex() {
    stop();
    if (m_thread.joinable())
        m_thread.join();
}

void SearchIndex::start(std::function<void()> changed) {
    if (m_thread.joinable() || m_stop)
        return;
    m_thread = std::thread([this, changed = std::move(changed)] { run(changed); });
}

void SearchIndex::stop() {
    const std::lock_guard lock(m_mutex);
    m_stop = true;
    m_held.notify_all();
}

void SearchIndex::holdBefore(int page) {
    const std::lock_guard lock(m_mutex);
    m_holdBefore = page;
}

void SearchIndex::release() {
    const std::lock_guard lock(m_mutex);
    m_holdBefore = -1;
    m_held.notify_all();
}

bool SearchIndex::waitIfHeld(int page) {
    std::unique_lock lock(m_mutex);
    m_held.wait(lock, [&] { return m_stop || m_holdBefore != page; });
    return !m_stop;
}

SearchIndex::Progress SearchIndex::progress() const {
    const std::lock_guard lock(m_mutex);
    return m_progress;
}

void SearchIndex::run(const std::function<void()>& changed) {
    const auto finish = [&] {
        {
            const std::lock_guard lock(m_mutex);
            m_progress.finished = true;
        }
        changed();
    };
    const std::unique_ptr<ChmArchive> archive = m_source->Reopen();
    if (!archive)
        return finish();
    archive->SetCancel(&m_stop);
    // One path for each range of bytes, the first in the file's order, read in the order of the ranges: each
    // read goes on from where the one before it ended.
    std::map<ChmArchive::Range, std::pair<std::size_t, std::string>> pages;
    for (std::size_t order = 0; order < archive->Files().size(); ++order) {
        const std::string& path = archive->Files()[order];
        if (const auto range = IsPage(path) ? archive->RangeOf(path) : std::nullopt)
            pages.try_emplace(*range, order, path);
    }
    {
        const std::lock_guard lock(m_mutex);
        m_progress.total = static_cast<int>(pages.size());
    }
    changed();
    const std::uint64_t budget = archive->Budget();
    std::uint64_t kept = 0;
    int index = 0;
    for (const auto& [range, page] : pages) {
        if (!waitIfHeld(index++))
            break;
        const auto& [order, path] = page;
        std::optional<Page> read;
        bool leftOut = archive->Spent() + archive->ReadCost(path, HelpBook::kMaxPageBytes) > budget;
        std::optional<HelpBook::Page> shown = leftOut ? std::nullopt : HelpBook::ReadPage(*archive, m_language, path);
        if (m_stop)
            break;
        if (shown) {
            read = Page{order, path, {}, {}};
            read->folded = FoldForSearch(HelpBook::DocumentText(shown->html, &read->title));
            // What the folded text holds: a character and where it came from.
            const std::uint64_t bytes =
                static_cast<std::uint64_t>(read->folded.text.size()) * (sizeof(QChar) + sizeof(int) * 2);
            if (kept + bytes > budget) {
                leftOut = true;
                read.reset();
            } else {
                kept += bytes;
            }
        }
        {
            const std::lock_guard lock(m_mutex);
            ++m_progress.done;
            m_progress.leftOut += leftOut;
            if (read) {
                m_progress.cut += shown->cut;
                m_pages.push_back(std::move(*read));
            }
        }
        changed();
    }
    archive->SetCancel(nullptr);
    finish();
}

std::vector<HelpBook::Found> SearchIndex::search(const QStringList& terms) const {
    std::vector<std::pair<std::size_t, HelpBook::Found>> found;
    {
        const std::lock_guard lock(m_mutex);
        for (const Page& page : m_pages) {
            const auto hits = FindTerms(page.folded, terms);
            if (!hits.empty())
                found.emplace_back(page.order, HelpBook::Found{page.path, page.title, static_cast<int>(hits.size())});
        }
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.second.hits != b.second.hits ? a.second.hits > b.second.hits : a.first < b.first;
    });
    std::vector<HelpBook::Found> pages;
    for (auto& [order, page] : found)
        pages.push_back(std::move(page));
    return pages;
}

// HelpBrowser

HelpBrowser::HelpBrowser(std::shared_ptr<const HelpBook> file, QWidget* parent)
    : QTextBrowser(parent), m_file(std::move(file)), m_zoomStep(kNormalZoomStep) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    UseDocumentInterface(this);
    document()->setUndoRedoEnabled(false);
    // Pages are written for white paper, and HTML Help shows them so whatever the desktop's colours: on a dark
    // desktop's page an author's dark colours, and the list bullets drawn in the palette's text colour, would
    // not read.
    QPalette paper = palette(); // each colour in every group; the viewport inherits them
    paper.setColor(QPalette::Base, Qt::white);
    paper.setColor(QPalette::Text, Qt::black);
    paper.setColor(QPalette::Link, QColor(0, 0, 0xee));
    paper.setColor(QPalette::LinkVisited, QColor(0x55, 0x1a, 0x8b));
    setPalette(paper);
    connect(this, &QTextBrowser::anchorClicked, this, &HelpBrowser::followLink);
}

QUrl HelpBrowser::pageUrl(const std::string& path) {
    QUrl url;
    url.setScheme(kScheme);
    const QString text = QString::fromStdString(path);
    const qsizetype hash = text.indexOf(u'#');
    url.setPath(hash < 0 ? text : text.left(hash));
    if (hash >= 0)
        url.setFragment(text.mid(hash + 1));
    return url;
}

void HelpBrowser::followLink(const QUrl& link) {
    const QUrl url = source().resolved(link);
    const QString scheme = url.scheme().toLower();
    QUrl page;
    if (scheme == kScheme) {
        page = url;
    } else if (scheme == u"ms-its"_s || scheme == u"mk"_s || scheme == u"its"_s) {
        // HTML Help's own way of naming a page of the file
        const std::string path = ChmLocalPath(link.toString(QUrl::FullyDecoded).toStdString(), "/");
        if (!path.empty())
            page = pageUrl(path);
    } else if (scheme == u"http"_s || scheme == u"https"_s || scheme == u"mailto"_s) {
        QDesktopServices::openUrl(url);
        return;
    }
    if (page.isValid() && m_file->page(page.path().toStdString())) {
        setSearchTerms({});
        setSource(page);
    }
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    const QUrl url = source().resolved(name);
    // Anything but the file's own objects loads as nothing: an empty value rather than none, which would send
    // the document to the local files.
    if (url.scheme() != kScheme)
        return QByteArray();
    const std::string path = url.path().toStdString();
    if (type == QTextDocument::HtmlResource) {
        const auto page = m_file->page(path);
        m_loadedPage = true;
        m_loadedPageCut = page && page->cut;
        return page ? page->html : QString();
    }
    if (type == QTextDocument::StyleSheetResource)
        return m_file->styleSheet(path);
    const auto bytes = m_file->archive().Read(path);
    if (!bytes)
        return QByteArray();
    // A picture is decoded here, where its size is known before its pixels are made: a small file can name a
    // picture of gigabytes.
    QBuffer buffer;
    buffer.setData(bytes->data(), static_cast<qsizetype>(bytes->size()));
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (type != QTextDocument::ImageResource || !size.isValid() ||
        static_cast<qint64>(size.width()) * size.height() > kMaxPicturePixels)
        return QByteArray();
    const QImage image = reader.read();
    return image.isNull() ? QVariant(QByteArray()) : QVariant(image);
}

QString HelpBrowser::cutPageNote() {
    return u"（このページは長いため、ここから先は表示していません。）"_s;
}

void HelpBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type) {
    m_loadedPage = false;
    m_loadedPageCut = false;
    QTextBrowser::doSetSource(name, type);
    if (m_loadedPage && m_loadedPageCut) {
        // Added as text after the page, so nothing in the page can hide it.
        QTextCursor end(document());
        end.movePosition(QTextCursor::End);
        end.insertBlock(QTextBlockFormat(), QTextCharFormat());
        end.insertText(cutPageNote());
    }
    if (m_loadedPage)
        applyZoom();
    fitPictures();
    updateMarks();
}

void HelpBrowser::resizeEvent(QResizeEvent* event) {
    QTextBrowser::resizeEvent(event);
    fitPictures();
}

void HelpBrowser::fitPictures() {
    constexpr int kPageWidth = QTextFormat::UserProperty; // a picture's size as the page gives it
    constexpr int kPageHeight = QTextFormat::UserProperty + 1;
    const qreal room = viewport()->width() - 2 * document()->documentMargin() - 4;
    if (room <= 0)
        return;
    // The pictures first, then their new sizes: a change of format may split the fragments being walked.
    std::vector<std::pair<int, QTextImageFormat>> changes;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || !fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            if (!image.hasProperty(kPageWidth)) {
                QSizeF natural(image.width(), image.height());
                if (natural.width() <= 0)
                    natural =
                        document()->resource(QTextDocument::ImageResource, QUrl(image.name())).value<QImage>().size();
                if (natural.width() <= 0)
                    continue;
                if (natural.height() <= 0)
                    natural.setHeight(natural.width());
                image.setProperty(kPageWidth, natural.width());
                image.setProperty(kPageHeight, natural.height());
            }
            const qreal width = image.doubleProperty(kPageWidth);
            const qreal shown = std::min(width, room);
            if (fragment.charFormat().hasProperty(kPageWidth) && qFuzzyCompare(image.width(), shown))
                continue;
            image.setWidth(shown);
            image.setHeight(image.doubleProperty(kPageHeight) * shown / width);
            for (int i = 0; i < fragment.length(); ++i)
                changes.emplace_back(fragment.position() + i, image);
        }
    }
    if (changes.empty())
        return;
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    for (const auto& [position, image] : changes) {
        cursor.setPosition(position);
        cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
        cursor.setCharFormat(image);
    }
    cursor.endEditBlock();
}

void HelpBrowser::setSearchTerms(const QStringList& terms) {
    m_searchTerms = terms;
    updateMarks();
    if (!terms.isEmpty() && !m_marks.isEmpty()) {
        QTextCursor first = m_marks.front().cursor;
        first.setPosition(first.selectionStart());
        setTextCursor(first);
        ensureCursorVisible();
    }
}

void HelpBrowser::updateMarks() {
    m_marks.clear();
    const FoldedText folded = FoldForSearch(document()->toRawText());
    const auto mark = [&](const std::vector<TextRange>& ranges, const QColor& colour) {
        for (const TextRange& range : ranges) {
            ExtraSelection selection;
            selection.cursor = QTextCursor(document());
            selection.cursor.setPosition(range.begin);
            selection.cursor.setPosition(range.end, QTextCursor::KeepAnchor);
            selection.format.setBackground(colour);
            selection.format.setForeground(Qt::black);
            m_marks << selection;
        }
    };
    mark(FindTerms(folded, m_searchTerms), QColor(0xFF, 0xE6, 0x00));
    if (const QString term = SearchTerms(m_findText).join(QString()); !term.isEmpty()) {
        mark(FindTerms(folded, {term}), QColor(0xC8, 0xE6, 0xFF));
        // The match the find has selected stands out from the rest.
        const QTextCursor current = textCursor();
        if (current.hasSelection()) {
            ExtraSelection selection;
            selection.cursor = current;
            selection.format.setBackground(QColor(0xFF, 0x96, 0x32));
            selection.format.setForeground(Qt::black);
            m_marks << selection;
        }
    }
    setExtraSelections(m_marks);
}

HelpBrowser::FindResult HelpBrowser::find(const QString& text, bool backward) {
    m_findText = text;
    const QString term = SearchTerms(text).join(QString());
    const std::vector<TextRange> ranges =
        term.isEmpty() ? std::vector<TextRange>() : FindTerms(FoldForSearch(document()->toRawText()), {term});
    QTextCursor cursor = textCursor();
    if (ranges.empty()) {
        cursor.clearSelection();
        setTextCursor(cursor);
        updateMarks();
        return {};
    }
    const int from = cursor.hasSelection() ? cursor.selectionStart() : cursor.position();
    std::size_t chosen = 0;
    if (backward) {
        chosen = ranges.size() - 1;
        for (std::size_t i = ranges.size(); i-- > 0;)
            if (ranges[i].begin < from) {
                chosen = i;
                break;
            }
    } else {
        const int after = cursor.hasSelection() ? from + 1 : from;
        for (std::size_t i = 0; i < ranges.size(); ++i)
            if (ranges[i].begin >= after) {
                chosen = i;
                break;
            }
    }
    cursor.setPosition(ranges[chosen].begin);
    cursor.setPosition(ranges[chosen].end, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    ensureCursorVisible();
    updateMarks();
    return FindResult{static_cast<int>(ranges.size()), static_cast<int>(chosen) + 1};
}

void HelpBrowser::clearFind() {
    m_findText.clear();
    QTextCursor cursor = textCursor();
    cursor.clearSelection();
    setTextCursor(cursor);
    updateMarks();
}

int HelpBrowser::zoomPercent() const {
    return kZoomPercents[static_cast<std::size_t>(m_zoomStep)];
}

void HelpBrowser::zoomIn() {
    zoomTo(m_zoomStep + 1);
}

void HelpBrowser::zoomOut() {
    zoomTo(m_zoomStep - 1);
}

void HelpBrowser::resetZoom() {
    zoomTo(kNormalZoomStep);
}

void HelpBrowser::zoomTo(int step) {
    step = std::clamp(step, 0, static_cast<int>(kZoomPercents.size()) - 1);
    if (step == m_zoomStep)
        return;
    m_zoomStep = step;
    // The page is read again and sized anew, where the reader was.
    QScrollBar* bar = verticalScrollBar();
    const double at = bar->maximum() > 0 ? static_cast<double>(bar->value()) / bar->maximum() : 0.0;
    reload();
    bar->setValue(static_cast<int>(at * bar->maximum()));
}

// Sizes the text of a page just loaded: the document's own font, and every size the page sets itself, which
// a plain change of the font would leave as it is.
void HelpBrowser::applyZoom() {
    const double factor = zoomPercent() / 100.0;
    QFont base = font();
    base.setPointSizeF(font().pointSizeF() * factor);
    document()->setDefaultFont(base);
    if (zoomPercent() == 100)
        return;
    struct Change {
        int position;
        int length;
        QTextCharFormat format;
    };
    std::vector<Change> changes;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            QTextCharFormat sized;
            if (format.hasProperty(QTextFormat::FontPointSize))
                sized.setFontPointSize(format.fontPointSize() * factor);
            else if (format.hasProperty(QTextFormat::FontPixelSize))
                sized.setProperty(QTextFormat::FontPixelSize,
                                  static_cast<int>(format.intProperty(QTextFormat::FontPixelSize) * factor));
            else
                continue;
            changes.push_back(Change{fragment.position(), fragment.length(), sized});
        }
    }
    QTextCursor cursor(document());
    for (const Change& change : changes) {
        cursor.setPosition(change.position);
        cursor.setPosition(change.position + change.length, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(change.format);
    }
}

// HelpWindow

namespace {

// The panes' tab widget as a class of its own: Qt's own interface for a tab widget would win over the one that
// tells a screen reader it is a panel (SetAccessibleRole). Its tab bar tells of a focused tab only while it has
// the focus.
class PaneTabs final : public QTabWidget {
    Q_OBJECT

public:
    explicit PaneTabs(QWidget* parent) : QTabWidget(parent) {
        setTabBar(new PaneTabBar(this));
        if (auto* pages = findChild<QStackedWidget*>(QString(), Qt::FindDirectChildrenOnly))
            pages->setAccessibleName(u"開いている案内"_s);
    }
};

} // namespace

HelpWindow::HelpWindow(const QByteArray& path, std::shared_ptr<const ChmArchive> archive, QWidget* owner)
    : QWidget(owner, Qt::Window), m_path(path), m_file(std::make_shared<const HelpBook>(std::move(archive))),
      m_browser(new HelpBrowser(m_file, this)) {
    setObjectName(u"HelpWindow"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(GothicFont(kProportionalGothic, 10.5));
    const QString title = PlainWindowTitle(DecodeHelpText(m_file->archive().Title(), m_file->language()));
    setWindowTitle(title.isEmpty() ? PlainWindowTitle(FileName(path)) : title);
    resize(kWindowSize);

    auto* bar = new QToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setAccessibleName(u"ヘルプの操作"_s);

    m_panes = new PaneTabs(this);
    SetAccessibleRole(m_panes, QAccessible::Pane, u"ヘルプの案内"_s); // before anything asks for its interface
    m_panes->setAccessibleDescription(u"目次は Alt+C、キーワードは Alt+N、検索は Alt+S で開きます"_s);
    m_contents = new ContentsPane(*m_file, m_panes);
    m_index = new IndexPane(*m_file, m_panes);
    m_search = new SearchPane(*m_file, m_panes);
    SetAccessibleRole(m_index, QAccessible::Pane, u"キーワードの欄"_s);
    SetAccessibleRole(m_search, QAccessible::Pane, u"検索の欄"_s);
    // A file without a table of contents or an index shows no empty pane for it.
    if (!m_contents->isEmpty())
        m_panes->addTab(m_contents, u"目次(C)"_s);
    else
        m_contents->hide();
    if (!m_index->isEmpty())
        m_panes->addTab(m_index, u"キーワード(N)"_s);
    else
        m_index->hide();
    m_panes->addTab(m_search, u"検索(S)"_s);

    m_browser->setAccessibleName(u"ページ"_s);
    m_browser->setAccessibleDescription(u"Tab でリンクを選び、Enter で開きます"_s);
    auto* page = new QWidget(this);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    pageLayout->addWidget(m_browser);
    pageLayout->addWidget(buildFindBar());

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_panes);
    splitter->addWidget(page);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, kWindowSize.width() - 260});
    splitter->setChildrenCollapsible(false);
    // On a small screen (800x480, or a netbook at 200 %) the parts give way rather than push the window past the
    // screen's edges: the panes' lists down to two lines, the find bar's caption and count cut short.
    for (QAbstractItemView* list : m_panes->findChildren<QAbstractItemView*>())
        if (!qobject_cast<QHeaderView*>(list))
            list->setMinimumHeight(2 * list->fontMetrics().height());
    for (QLabel* label : m_findBar->findChildren<QLabel*>())
        label->setMinimumWidth(1);

    buildToolBar(bar);
    // A screen reader hears the window as a window, and each part of it by what it is; the tool bar's buttons
    // are in the Tab order, as a keyboard user needs them.
    SetAccessibleRole(this, QAccessible::Window, QString());
    SetAccessibleRole(page, QAccessible::Pane, u"ページの欄"_s);
    SetAccessibleRole(m_findBar, QAccessible::Pane, u"ページ内検索"_s);
    splitter->setAccessibleName(u"目次とページ"_s);
    for (int i = 0; i < splitter->count(); ++i)
        SetAccessibleRole(splitter->handle(i), QAccessible::Separator, u"目次とページの仕切り"_s);
    for (QWidget* part : bar->findChildren<QWidget*>()) {
        if (part->inherits("QToolBarSeparator"))
            SetAccessibleRole(part, QAccessible::Separator, u"区切り"_s);
        else if (auto* button = qobject_cast<QToolButton*>(part)) {
            button->setFocusPolicy(Qt::TabFocus);
            if (button->objectName() == u"qt_toolbar_ext_button"_s)
                button->setAccessibleName(u"ほかの操作"_s);
        }
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(splitter);

    connect(m_contents, &ContentsPane::pageWanted, this, &HelpWindow::showPage);
    connect(m_index, &IndexPane::pageWanted, this, &HelpWindow::showPage);
    connect(m_search, &SearchPane::resultWanted, this, [this](const QUrl& url, const QStringList& terms) {
        if (url.scheme() != kScheme)
            return;
        m_browser->setSource(url);
        m_browser->setSearchTerms(terms);
    });
    connect(m_browser, &QTextBrowser::sourceChanged, m_contents, &ContentsPane::follow);

    const std::array paneKeys{Qt::ALT | Qt::Key_C, Qt::ALT | Qt::Key_N, Qt::ALT | Qt::Key_S};
    for (int pane = 0; pane < 3; ++pane)
        connect(new QShortcut(QKeySequence(paneKeys[static_cast<std::size_t>(pane)]), this), &QShortcut::activated,
                this, [this, pane] { showPane(pane); });
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &HelpWindow::escape);
}

void HelpWindow::buildToolBar(QToolBar* bar) {
    const auto add = [&](const QIcon& icon, const QString& text, const QList<QKeySequence>& keys, const QString& tip,
                         auto slot) {
        QAction* action = bar->addAction(icon, text);
        action->setShortcuts(keys);
        action->setToolTip(tip);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QAction* back = add(style()->standardIcon(QStyle::SP_ArrowBack), u"戻る"_s,
                        QKeySequence::keyBindings(QKeySequence::Back), u"前に見たページに戻ります (Alt+←)"_s, [this] {
                            m_browser->setSearchTerms({});
                            m_browser->backward();
                        });
    QAction* forward =
        add(style()->standardIcon(QStyle::SP_ArrowForward), u"進む"_s, QKeySequence::keyBindings(QKeySequence::Forward),
            u"戻る前のページに進みます (Alt+→)"_s, [this] {
                m_browser->setSearchTerms({});
                m_browser->forward();
            });
    m_home = add(style()->standardIcon(QStyle::SP_DirHomeIcon), u"ホーム"_s, {QKeySequence(Qt::ALT | Qt::Key_Home)},
                 u"最初のページを開きます (Alt+Home)"_s, [this] { showDefaultTopic(); });
    bar->addSeparator();
    add(QIcon(), u"拡大"_s,
        {QKeySequence(QKeySequence::ZoomIn), QKeySequence(Qt::CTRL | Qt::Key_Equal),
         QKeySequence(Qt::CTRL | Qt::Key_Semicolon)},
        u"文字を大きくします (Ctrl++)"_s, [this] { m_browser->zoomIn(); });
    add(QIcon(), u"縮小"_s, {QKeySequence(QKeySequence::ZoomOut)}, u"文字を小さくします (Ctrl+-)"_s,
        [this] { m_browser->zoomOut(); });
    add(QIcon(), u"標準の大きさ"_s, {QKeySequence(Qt::CTRL | Qt::Key_0)},
        u"文字をページ本来の大きさに戻します (Ctrl+0)"_s, [this] { m_browser->resetZoom(); });
    bar->addSeparator();
    add(style()->standardIcon(QStyle::SP_FileDialogContentsView), u"ページ内検索"_s, {QKeySequence(QKeySequence::Find)},
        u"表示中のページから言葉を探します (Ctrl+F)"_s, [this] { showFindBar(); });
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
}

QWidget* HelpWindow::buildFindBar() {
    m_findBar = new QWidget(this);
    auto* layout = new QHBoxLayout(m_findBar);
    layout->setContentsMargins(4, 2, 4, 2);
    auto* label = new QLabel(u"ページ内検索:"_s, m_findBar);
    m_findField = new QLineEdit(m_findBar);
    m_findField->setAccessibleName(u"ページ内で探す言葉"_s);
    m_findField->setAccessibleDescription(u"Enter で次を、Shift+Enter で前を探します。Esc で閉じます"_s);
    label->setBuddy(m_findField);
    auto* previous = new QToolButton(m_findBar);
    previous->setText(u"前へ"_s);
    previous->setToolTip(u"前の一致へ (Shift+Enter)"_s);
    auto* next = new QToolButton(m_findBar);
    next->setText(u"次へ"_s);
    next->setToolTip(u"次の一致へ (Enter)"_s);
    m_findStatus = new QLabel(m_findBar);
    m_findStatus->setTextFormat(Qt::PlainText);
    m_findStatus->setAccessibleName(u"ページ内検索の結果"_s);
    auto* close = new QToolButton(m_findBar);
    close->setText(u"閉じる"_s);
    close->setToolTip(u"ページ内検索を閉じます (Esc)"_s);
    for (QWidget* w : std::initializer_list<QWidget*>{label, m_findField, previous, next, m_findStatus})
        layout->addWidget(w);
    layout->addStretch();
    layout->addWidget(close);
    m_findBar->hide();

    connect(m_findField, &QLineEdit::textEdited, this, [this] {
        // Typing finds from the match already selected, so it stays while it still matches.
        QTextCursor cursor = m_browser->textCursor();
        cursor.setPosition(cursor.selectionStart());
        m_browser->setTextCursor(cursor);
        findNext(false);
    });
    connect(m_findField, &QLineEdit::returnPressed, this, [this] { findNext(false); });
    auto* backwards = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Return), m_findField);
    backwards->setContext(Qt::WidgetShortcut);
    connect(backwards, &QShortcut::activated, this, [this] { findNext(true); });
    connect(next, &QToolButton::clicked, this, [this] { findNext(false); });
    connect(previous, &QToolButton::clicked, this, [this] { findNext(true); });
    connect(close, &QToolButton::clicked, this, [this] {
        m_findBar->hide();
        m_browser->clearFind();
        m_browser->setFocus();
    });
    return m_findBar;
}

void HelpWindow::showFindBar() {
    m_findBar->show();
    m_findField->setFocus();
    m_findField->selectAll();
}

void HelpWindow::findNext(bool backward) {
    const QString text = m_findField->text();
    const HelpBrowser::FindResult result = m_browser->find(text, backward);
    if (SearchTerms(text).isEmpty())
        m_findStatus->clear();
    else if (result.count == 0)
        m_findStatus->setText(u"見つかりません"_s);
    else
        m_findStatus->setText(u"%1 件中 %2 件目"_s.arg(result.count).arg(result.current));
}

void HelpWindow::escape() {
    if (m_findBar->isVisible() && m_findBar->isAncestorOf(QApplication::focusWidget())) {
        m_findBar->hide();
        m_browser->clearFind();
        m_browser->setFocus();
        return;
    }
    close();
}

void HelpWindow::showPane(int pane) {
    QWidget* const panes[] = {m_contents, m_index, m_search};
    const int tab = m_panes->indexOf(panes[pane]);
    if (tab < 0)
        return;
    m_panes->setCurrentIndex(tab);
    QWidget* focus[] = {m_contents, m_index->filter(), m_search->field()};
    focus[pane]->setFocus(Qt::ShortcutFocusReason);
}

void HelpWindow::showPage(const QUrl& url) {
    if (url.scheme() != kScheme) {
        m_browser->followLink(url);
        return;
    }
    if (!m_file->page(url.path().toStdString()))
        return;
    m_browser->setSearchTerms({});
    m_browser->setSource(url);
}

void HelpWindow::closeEvent(QCloseEvent* event) {
    // The search index stops reading at once; its thread ends before the window is deleted.
    m_search->stopIndex();
    QWidget::closeEvent(event);
}

void HelpWindow::showDefaultTopic() {
    const std::string topic = m_file->archive().DefaultTopic();
    if (topic.empty())
        return;
    m_browser->setSearchTerms({});
    m_browser->setSource(HelpBrowser::pageUrl(topic), QTextDocument::HtmlResource);
}

void HelpWindow::placeBeside(const QWidget* owner) {
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    // This window's frame is not known before it is shown: it is taken to be as wide as its owner's, or as the
    // active window's, and measured again once shown (event()).
    const bool beside = owner && owner->isVisible();
    const QWidget* framed = beside ? owner : QApplication::activeWindow();
    const QMargins frame = framed ? FrameMargins(framed) : QMargins();
    const QSize wanted = kWindowSize.grownBy(frame);
    const QRect placed =
        beside ? PlaceBeside(owner->frameGeometry(), wanted, available, kMinimumBesideWidth)
               : QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, wanted.boundedTo(available.size()), available);
    setGeometry(placed.marginsRemoved(frame));
}

bool HelpWindow::event(QEvent* event) {
    const bool done = QWidget::event(event);
    switch (event->type()) {
    case QEvent::Show:
        connect(windowHandle(), &QWindow::screenChanged, this, &HelpWindow::followScreen, Qt::UniqueConnection);
        watchArea(screen());
        keepOnScreen(true);
        break;
    case QEvent::Move:
    case QEvent::Resize:
        // A window manager's frame is known only once it has framed the window, after it is shown.
        if (!m_frameKnown && isVisible() && frameGeometry() != geometry()) {
            m_frameKnown = true;
            keepOnScreen(true);
        }
        break;
    case QEvent::LayoutRequest: // a part that grew may have grown the window
        keepOnScreen(false);
        break;
    default:
        break;
    }
    return done;
}

void HelpWindow::watchArea(QScreen* screen) {
    disconnect(m_screenArea);
    if (screen)
        m_screenArea = connect(screen, &QScreen::availableGeometryChanged, this, [this] { keepOnScreen(true); });
}

// On another screen the window is made no larger than its area, but not moved: the user may be dragging it there.
void HelpWindow::followScreen(QScreen* screen) {
    watchArea(screen);
    keepOnScreen(false);
}

void HelpWindow::keepOnScreen(bool move) {
    if (!isVisible() || !screen())
        return;
    const QRect available = screen()->availableGeometry();
    const QMargins margins = FrameMargins(this);
    // The least size is the layout's, but where the parts together ask for more than the screen has, they are
    // drawn smaller than they ask.
    setMinimumSize(minimumSizeHint().boundedTo(available.size().shrunkBy(margins)));
    const QRect frame = frameGeometry();
    QRect fitted(frame.topLeft(), frame.size().boundedTo(available.size()));
    if (move)
        fitted.moveTo(std::clamp(fitted.left(), available.left(), available.right() - fitted.width() + 1),
                      std::clamp(fitted.top(), available.top(), available.bottom() - fitted.height() + 1));
    if (fitted != frame)
        setGeometry(fitted.marginsRemoved(margins));
}

bool HtmlHelp(QWidget* caller, const QString& file, Command command) {
    if (command == Command::CloseAll) {
        for (const QPointer<HelpWindow>& w : OpenWindows())
            if (w)
                w->close();
        return true;
    }
    const QByteArray path = FindHelpFile(file);
    char* real = path.isEmpty() ? nullptr : realpath(path.constData(), nullptr);
    if (!real)
        return false;
    const QByteArray canonical(real);
    std::free(real);
    for (const QPointer<HelpWindow>& w : OpenWindows()) {
        if (w && w->path() == canonical) {
            w->showDefaultTopic();
            w->show();
            w->raise();
            w->activateWindow();
            return true;
        }
    }
    std::shared_ptr<const ChmArchive> archive = ChmArchive::Open(canonical.toStdString());
    if (!archive || archive->DefaultTopic().empty())
        return false;
    auto* window = new HelpWindow(canonical, std::move(archive), caller);
    OpenWindows().push_back(window);
    window->placeBeside(caller);
    window->showDefaultTopic();
    window->show();
    return true;
}

} // namespace help

#include "help_viewer.moc"
