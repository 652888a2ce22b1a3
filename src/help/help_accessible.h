// What a screen reader hears of a help window's page and of the tabs of its panes. Qt tells of a read-only
// text browser as a label and of every current tab as focused, whether the tab bar has the focus or not; these
// interfaces tell of the page as a document with its text, read by lines as laid out, and of one focused tab.
#pragma once

#include <QTabBar>

class QTextBrowser;

namespace help {

// The tab bar of the panes: a class of its own, so that the interface below is the one it gets.
class PaneTabBar final : public QTabBar {
    Q_OBJECT

public:
    explicit PaneTabBar(QWidget* parent);

protected:
    void focusInEvent(QFocusEvent* event) override;
};

// Makes the page given and every PaneTabBar use the interfaces of this file. Call it before anything asks for the
// page's interface (setting its accessible name does).
void UseDocumentInterface(QTextBrowser* page);

} // namespace help
