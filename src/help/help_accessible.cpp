// The help page as a document and the panes' tabs, as a screen reader hears them.
#include "help/help_accessible.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextLayout>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace help {

namespace {

constexpr char kDocumentProperty[] = "tsumottoDocument";

// A tab as a reader names it: its accessible name, else its text without the mark of its shortcut.
QString TabName(const QTabBar* bar, int index) {
    const QString name = bar->accessibleTabName(index);
    return name.isEmpty() ? QString(bar->tabText(index)).remove(u'&') : name;
}

// The page's text as a screen reader reads it: one character for each position of the document, paragraphs
// ended by a line break.
class PageAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit PageAccessible(QTextBrowser* page) : QAccessibleWidget(page, QAccessible::Document) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }

    // The page is named by its title, as a browser names a document; a page without one by the widget's name.
    QString text(QAccessible::Text which) const override {
        if (which == QAccessible::Name) {
            const QString title = page()->documentTitle().simplified();
            if (!title.isEmpty())
                return title;
        }
        return QAccessibleWidget::text(which);
    }

    // The page's scroll bars and the parts of its scroll area are not told of: the text interface reads and
    // scrolls the page.
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    void selection(int index, int* start, int* end) const override {
        const QTextCursor cursor = page()->textCursor();
        if (index == 0 && cursor.hasSelection()) {
            *start = cursor.selectionStart();
            *end = cursor.selectionEnd();
        } else {
            *start = *end = 0;
        }
    }
    int selectionCount() const override { return page()->textCursor().hasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int index) override {
        if (index != 0)
            return;
        QTextCursor cursor = page()->textCursor();
        cursor.clearSelection();
        page()->setTextCursor(cursor);
    }
    void setSelection(int index, int start, int end) override {
        if (index != 0)
            return;
        QTextCursor cursor = page()->textCursor();
        cursor.setPosition(bounded(start));
        cursor.setPosition(bounded(end), QTextCursor::KeepAnchor);
        page()->setTextCursor(cursor);
    }
    int cursorPosition() const override { return page()->textCursor().position(); }
    void setCursorPosition(int position) override {
        QTextCursor cursor = page()->textCursor();
        cursor.setPosition(bounded(position));
        page()->setTextCursor(cursor);
    }

    QString text(int start, int end) const override {
        const QString& all = plainText();
        start = std::clamp(start, 0, static_cast<int>(all.size()));
        end = end < 0 ? static_cast<int>(all.size()) : std::clamp(end, start, static_cast<int>(all.size()));
        return all.mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(plainText().size()); }

    // Lines are the lines the page is laid out in; every other boundary is Qt's own reading of the text.
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        if (type != QAccessible::LineBoundary)
            return QAccessibleTextInterface::textAtOffset(offset, type, start, end);
        return lineText(lineAt(offset == -2 ? cursorPosition() : offset), start, end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        if (type != QAccessible::LineBoundary)
            return QAccessibleTextInterface::textBeforeOffset(offset, type, start, end);
        const Line line = lineAt(offset == -2 ? cursorPosition() : offset);
        return lineText(line.start > 0 ? lineAt(line.start - 1) : Line{}, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        if (type != QAccessible::LineBoundary)
            return QAccessibleTextInterface::textAfterOffset(offset, type, start, end);
        const Line line = lineAt(offset == -2 ? cursorPosition() : offset);
        return lineText(line.end > line.start && line.end < characterCount() ? lineAt(line.end) : Line{}, start, end);
    }

    // A character's box in its laid-out line: a cursor at a line's start would be drawn at the end of the line
    // before it.
    QRect characterRect(int offset) const override {
        if (offset < 0 || offset >= characterCount())
            return {};
        const QTextBlock block = page()->document()->findBlock(offset);
        const QTextLayout* layout = block.layout();
        const int inBlock = offset - block.position();
        const QTextLine line = layout ? layout->lineForTextPosition(inBlock) : QTextLine();
        if (!line.isValid())
            return {};
        const qreal left = line.cursorToX(inBlock);
        const qreal right = inBlock + 1 <= line.textStart() + line.textLength() ? line.cursorToX(inBlock + 1) : left;
        const QPointF origin = page()->document()->documentLayout()->blockBoundingRect(block).topLeft() -
                               QPointF(page()->horizontalScrollBar()->value(), page()->verticalScrollBar()->value());
        const QRectF box(origin.x() + std::min(left, right), origin.y() + line.y(),
                         std::max(1.0, std::abs(right - left)), line.height());
        return QRect(page()->viewport()->mapToGlobal(box.topLeft().toPoint()), box.size().toSize());
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint inside = page()->viewport()->mapFromGlobal(point);
        if (!page()->viewport()->rect().contains(inside))
            return -1;
        const QPoint scrolled =
            inside + QPoint(page()->horizontalScrollBar()->value(), page()->verticalScrollBar()->value());
        const int between = page()->document()->documentLayout()->hitTest(scrolled, Qt::FuzzyHit);
        // The nearest place between two characters: the character is one beside it whose box holds the point.
        for (const int character : {between, between - 1, between + 1})
            if (character >= 0 && characterRect(character).contains(point))
                return character;
        return between;
    }
    void scrollToSubstring(int start, int end) override {
        QTextCursor cursor(page()->document());
        cursor.setPosition(bounded(start));
        QRect wanted = page()->cursorRect(cursor);
        cursor.setPosition(bounded(end));
        wanted = wanted.united(page()->cursorRect(cursor));
        const QRect shown = page()->viewport()->rect();
        if (wanted.top() < shown.top() || wanted.bottom() > shown.bottom())
            page()->verticalScrollBar()->setValue(page()->verticalScrollBar()->value() + wanted.top() - shown.top());
        if (wanted.left() < shown.left() || wanted.right() > shown.right())
            page()->horizontalScrollBar()->setValue(page()->horizontalScrollBar()->value() + wanted.left() -
                                                    shown.left());
    }
    // The run of text that shares the character's look, with the parts of it a reader tells of.
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = std::clamp(offset, 0, characterCount());
        const QTextBlock block = page()->document()->findBlock(*start);
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.contains(*start))
                continue;
            *start = fragment.position();
            *end = fragment.position() + fragment.length();
            const QTextCharFormat format = fragment.charFormat();
            QString found = QStringLiteral("font-weight:%1;").arg(format.font().weight() >= QFont::Bold ? 700 : 400);
            if (format.font().italic())
                found += QStringLiteral("font-style:italic;");
            if (format.isAnchor())
                found += QStringLiteral("text-underline-style:solid;");
            return found;
        }
        return {};
    }

private:
    struct Line {
        int start = -1;
        int end = -1;
    };

    QTextBrowser* page() const { return static_cast<QTextBrowser*>(widget()); }
    int bounded(int offset) const { return std::clamp(offset, 0, characterCount()); }

    // Read once for each change of the page: a reader asks for it again and again.
    const QString& plainText() const {
        const QTextDocument* document = page()->document();
        if (document != m_document || document->revision() != m_revision) {
            m_document = document;
            m_revision = document->revision();
            m_plain = document->toPlainText();
        }
        return m_plain;
    }

    // The laid-out line holding the offset; a paragraph not laid out yet is one line. A line ends after the
    // paragraph's break on its last line, so that lines cover the whole text.
    Line lineAt(int offset) const {
        const int count = characterCount();
        if (offset < 0 || offset > count || count == 0)
            return {};
        const QTextBlock block = page()->document()->findBlock(std::min(offset, count - 1));
        if (!block.isValid())
            return {};
        Line line{block.position(), std::min(block.position() + block.length(), count)};
        const QTextLayout* layout = block.layout();
        if (layout && layout->lineCount() > 1) {
            QTextLine laid = layout->lineForTextPosition(std::min(offset, count - 1) - block.position());
            if (laid.isValid()) {
                line.start = block.position() + laid.textStart();
                if (laid.lineNumber() < layout->lineCount() - 1)
                    line.end = line.start + laid.textLength();
            }
        }
        return line;
    }
    QString lineText(const Line& line, int* start, int* end) const {
        *start = line.start;
        *end = line.end;
        return line.start < 0 ? QString() : text(line.start, line.end);
    }

    mutable const QTextDocument* m_document = nullptr;
    mutable int m_revision = -1;
    mutable QString m_plain;
};

// One tab of the panes: focused only while the tab bar has the focus and the tab is the current one.
class TabAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TabAccessible(QTabBar* bar, int index) : m_bar(bar), m_index(index) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    bool isValid() const override { return m_bar && m_index < m_bar->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_bar ? m_bar->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_bar.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    QString text(QAccessible::Text which) const override {
        if (!isValid())
            return {};
        switch (which) {
        case QAccessible::Name:
            return TabName(m_bar, m_index);
        case QAccessible::Description:
            return m_bar->tabToolTip(m_index);
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect tab = m_bar->tabRect(m_index);
        return QRect(m_bar->mapToGlobal(tab.topLeft()), tab.size());
    }
    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const bool current = m_bar->currentIndex() == m_index;
        state.focusable = m_bar->focusPolicy() != Qt::NoFocus;
        state.selectable = true;
        state.selected = current;
        state.focused = current && m_bar->hasFocus();
        state.disabled = !m_bar->isTabEnabled(m_index);
        state.invisible =
            !m_bar->isVisible() || !m_bar->isTabVisible(m_index) || !m_bar->rect().intersects(m_bar->tabRect(m_index));
        return state;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (isValid() && name == pressAction())
            m_bar->setCurrentIndex(m_index);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QTabBar> m_bar;
    int m_index;
};

// The panes' tab bar: its tabs, then its scroll buttons.
class TabListAccessible final : public QAccessibleWidget {
public:
    explicit TabListAccessible(QTabBar* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~TabListAccessible() override {
        for (const QAccessible::Id id : m_tabs)
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return bar()->count() + static_cast<int>(buttons().size()); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0)
            return nullptr;
        if (index >= bar()->count()) {
            const QList<QToolButton*> scroll = buttons();
            const qsizetype at = index - bar()->count();
            return at < scroll.size() ? QAccessible::queryAccessibleInterface(scroll[at]) : nullptr;
        }
        if (static_cast<qsizetype>(index) >= m_tabs.size())
            m_tabs.resize(index + 1, 0);
        QAccessible::Id& id = m_tabs[index];
        if (id == 0)
            id = QAccessible::registerAccessibleInterface(new TabAccessible(bar(), index));
        return QAccessible::accessibleInterface(id);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child)
            return -1;
        if (child->object()) {
            const qsizetype at = buttons().indexOf(qobject_cast<QToolButton*>(child->object()));
            return at < 0 ? -1 : bar()->count() + static_cast<int>(at);
        }
        const auto found =
            std::find(m_tabs.begin(), m_tabs.end(), QAccessible::uniqueId(const_cast<QAccessibleInterface*>(child)));
        return found == m_tabs.end() ? -1 : static_cast<int>(found - m_tabs.begin());
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const int tab = bar()->tabAt(bar()->mapFromGlobal(QPoint(x, y)));
        return tab >= 0 ? child(tab) : nullptr;
    }
    // The focus is on the current tab, not on the list of them.
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.focused = false;
        return state;
    }
    QAccessibleInterface* focusChild() const override {
        return bar()->hasFocus() && bar()->currentIndex() >= 0 ? child(bar()->currentIndex()) : nullptr;
    }
    QString text(QAccessible::Text which) const override {
        const QString own = QAccessibleWidget::text(which);
        if (which == QAccessible::Name && own.isEmpty() && bar()->currentIndex() >= 0)
            return TabName(bar(), bar()->currentIndex());
        return own;
    }

private:
    QTabBar* bar() const { return static_cast<QTabBar*>(widget()); }
    QList<QToolButton*> buttons() const { return bar()->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly); }

    mutable QList<QAccessible::Id> m_tabs;
};

QAccessibleInterface* HelpInterface(const QString&, QObject* object) {
    if (auto* bar = qobject_cast<PaneTabBar*>(object))
        return new TabListAccessible(bar);
    auto* page = qobject_cast<QTextBrowser*>(object);
    if (page && page->property(kDocumentProperty).toBool())
        return new PageAccessible(page);
    return nullptr;
}

void InstallFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(HelpInterface);
        return true;
    }();
    (void)installed;
}

} // namespace

PaneTabBar::PaneTabBar(QWidget* parent) : QTabBar(parent) {
    InstallFactory();
}

void PaneTabBar::focusInEvent(QFocusEvent* event) {
    QTabBar::focusInEvent(event);
    // Qt tells a reader the tab bar has the focus, after this: the current tab is what it should read.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (hasFocus() && currentIndex() >= 0 && QAccessible::isActive()) {
                QAccessibleEvent focus(this, QAccessible::Focus);
                focus.setChild(currentIndex());
                QAccessible::updateAccessibility(&focus);
            }
        },
        Qt::QueuedConnection);
}

void UseDocumentInterface(QTextBrowser* page) {
    InstallFactory();
    page->setProperty(kDocumentProperty, true);
    // A reader names the page by its title: it hears of a new one.
    QObject::connect(page, &QTextBrowser::sourceChanged, page, [page] {
        QAccessibleEvent named(page, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&named);
    });
}

} // namespace help
