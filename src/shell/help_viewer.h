// The program's help layer, in place of the platform's HTML Help: it shows a named .chm file in a help
// window without blocking, and closes every help window the program opened.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

#include <memory>

class ChmArchive;
class QAction;

namespace help {

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

// A page viewer that takes pages, style sheets and pictures from a .chm file.
class HelpBrowser final : public QTextBrowser {
    Q_OBJECT

public:
    HelpBrowser(std::shared_ptr<const ChmArchive> archive, QWidget* parent);

    // Follows a link as a click does: inside the file it opens the page, to the web the desktop's browser.
    void followLink(const QUrl& link);
    QVariant loadResource(int type, const QUrl& name) override;

    // A page inside the file, as a URL this browser shows.
    static QUrl pageUrl(const std::string& path);

private:
    std::shared_ptr<const ChmArchive> m_archive;
};

// A help window: back, forward and the page.
class HelpWindow final : public QWidget {
    Q_OBJECT

public:
    HelpWindow(const QByteArray& path, std::shared_ptr<const ChmArchive> archive, QWidget* owner);
    QByteArray path() const { return m_path; }
    HelpBrowser* browser() const { return m_browser; }
    void showDefaultTopic();

private:
    QByteArray m_path;
    std::shared_ptr<const ChmArchive> m_archive;
    HelpBrowser* m_browser;
};

} // namespace help
