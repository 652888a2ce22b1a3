// The help windows, over chmlib.
#include "shell/help_viewer.h"

#include "records/text/record_file.h"
#include "shell/chm_archive.h"
#include "shell/controls.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStyle>
#include <QTextDocument>
#include <QToolBar>
#include <QVBoxLayout>

#include <cstdlib>
#include <sys/stat.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace help {

namespace {

const QString kScheme = u"chm"_s;

// Every help window the program opened and has not closed.
std::vector<QPointer<HelpWindow>>& OpenWindows() {
    static std::vector<QPointer<HelpWindow>> windows;
    std::erase_if(windows, [](const QPointer<HelpWindow>& w) { return w.isNull(); });
    return windows;
}

QString FileName(const QByteArray& path) {
    return QFile::decodeName(path.mid(path.lastIndexOf('/') + 1));
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

HelpBrowser::HelpBrowser(std::shared_ptr<const ChmArchive> archive, QWidget* parent)
    : QTextBrowser(parent), m_archive(std::move(archive)) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
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
    if (url.scheme() == kScheme) {
        if (m_archive->Read(url.path().toStdString()))
            setSource(url);
    } else if (url.scheme() == u"http"_s || url.scheme() == u"https"_s || url.scheme() == u"mailto"_s) {
        QDesktopServices::openUrl(url);
    }
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    const QUrl url = source().resolved(name);
    if (url.scheme() != kScheme)
        return {};
    const auto bytes = m_archive->Read(url.path().toStdString());
    if (!bytes)
        return {};
    const QByteArray data(bytes->data(), static_cast<qsizetype>(bytes->size()));
    if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource)
        return QString::fromUtf8(data); // pages name their encoding; ours are UTF-8
    return data;
}

HelpWindow::HelpWindow(const QByteArray& path, std::shared_ptr<const ChmArchive> archive, QWidget* owner)
    : QWidget(owner, Qt::Window), m_path(path), m_archive(std::move(archive)),
      m_browser(new HelpBrowser(m_archive, this)) {
    setObjectName(u"HelpWindow"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(GothicFont(kProportionalGothic, 10.5));
    setWindowTitle(FileName(path));
    resize(760, 560);
    auto* bar = new QToolBar(this);
    QAction* back =
        bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), u"戻る"_s, m_browser, &QTextBrowser::backward);
    QAction* forward =
        bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), u"進む"_s, m_browser, &QTextBrowser::forward);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = m_browser->documentTitle();
        setWindowTitle(title.isEmpty() ? FileName(m_path) : title);
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_browser);
}

void HelpWindow::showDefaultTopic() {
    const std::string topic = m_archive->DefaultTopic();
    if (!topic.empty())
        m_browser->setSource(HelpBrowser::pageUrl(topic), QTextDocument::HtmlResource);
}

void HtmlHelp(QWidget* caller, const QString& file, Command command) {
    if (command == Command::CloseAll) {
        for (const QPointer<HelpWindow>& w : OpenWindows())
            if (w)
                w->close();
        return;
    }
    const QByteArray path = FindHelpFile(file);
    char* real = path.isEmpty() ? nullptr : realpath(path.constData(), nullptr);
    if (!real)
        return;
    const QByteArray canonical(real);
    std::free(real);
    for (const QPointer<HelpWindow>& w : OpenWindows()) {
        if (w && w->path() == canonical) {
            w->showDefaultTopic();
            w->show();
            w->raise();
            w->activateWindow();
            return;
        }
    }
    std::shared_ptr<const ChmArchive> archive = ChmArchive::Open(canonical.toStdString());
    if (!archive || archive->DefaultTopic().empty())
        return;
    auto* window = new HelpWindow(canonical, std::move(archive), caller);
    OpenWindows().push_back(window);
    window->showDefaultTopic();
    window->show();
}

} // namespace help
