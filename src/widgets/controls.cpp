// The plain controls of the windows.
#include "widgets/controls.h"

#include "records/cp932.h"
#include "widgets/pictures.h"
#include "widgets/text_convert.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QScreen>
#include <QTextLayout>
#include <QToolButton>
#include <QToolTip>

#include <algorithm>
#include <cmath>

QVariant TextBox::inputMethodQuery(Qt::InputMethodQuery query) const {
    return inputMethodQuery(query, QVariant());
}

QVariant TextBox::inputMethodQuery(Qt::InputMethodQuery query, QVariant argument) const {
    if (query == Qt::ImEnabled && !testAttribute(Qt::WA_InputMethodEnabled))
        return false;
    return QLineEdit::inputMethodQuery(query, argument);
}

QValidator::State StorableTextValidator::validate(QString& input, int&) const {
    // Every character that changes stays one UTF-16 unit, so the cursor stays where it was.
    const QString stored = fromUtf8(records::StorableText(toUtf8(input)));
    if (stored != input)
        input = stored;
    return Acceptable;
}

void TextBox::keyPressEvent(QKeyEvent* event) {
    int code = 0;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        code = 13;
    else if (!event->text().isEmpty())
        code = event->text().at(0).unicode();
    if (code != 0)
        emit KeyPress(code);
    QLineEdit::keyPressEvent(event);
}

Label::Label(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

Label::Label(const QString& text, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setText(text);
}

void Label::mouseDoubleClickEvent(QMouseEvent* event) {
    QLabel::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit DblClick();
}

void Label::setFit(Fit fit) {
    m_fit = fit;
    update();
}

QRect Label::textRoom() const {
    return contentsRect().adjusted(margin() + 1, margin(), -margin() - 1, -margin());
}

namespace {

// More characters than any label shows at the smallest size: the rest is cut in any case, and a long name
// costs no more to lay out than this.
constexpr qsizetype kMostLaidOut = 400;

// The lines text wraps into in font at width, as Qt's text layout breaks them (between words, and between
// Japanese characters).
QStringList WrappedLines(const QString& text, const QFont& font, qreal width) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

// A number on two lines, broken after the digit grouping nearest its middle (or at the middle).
QStringList TwoLines(const QString& text) {
    const qsizetype middle = text.size() / 2;
    qsizetype at = -1;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == u',' && (at < 0 || std::abs(i + 1 - middle) < std::abs(at - middle)))
            at = i + 1;
    if (at <= 0 || at >= text.size())
        at = middle;
    return {text.left(at), text.mid(at)};
}

} // namespace

Label::Shown Label::shown() const {
    Shown shown{font(), {text()}, false};
    if (m_fit == Fit::None || text().isEmpty())
        return shown;
    const QRect room = textRoom();
    const QString whole = text().left(kMostLaidOut);
    auto fits = [&](const QStringList& lines, const QFont& font) {
        const QFontMetricsF metrics(font);
        if ((lines.size() - 1) * metrics.lineSpacing() + metrics.height() > room.height() + 0.5)
            return false;
        return std::all_of(lines.begin(), lines.end(),
                           [&](const QString& line) { return metrics.horizontalAdvance(line) <= room.width(); });
    };
    // Each size from the label's own down to the smallest, a quarter point at a time.
    auto firstFit = [&](auto&& linesIn) -> bool {
        for (double points = font().pointSizeF(); points >= kSmallestPoints - 0.01; points -= 0.25) {
            QFont candidate = font();
            candidate.setPointSizeF(points);
            QStringList lines = linesIn(candidate);
            if (fits(lines, candidate)) {
                shown.font = candidate;
                shown.lines = std::move(lines);
                return true;
            }
        }
        return false;
    };
    if (whole.size() == text().size()) {
        if (m_fit == Fit::OneLine) {
            if (firstFit([&](const QFont&) { return QStringList{whole}; }) ||
                firstFit([&](const QFont&) { return TwoLines(whole); }))
                return shown;
        } else if (firstFit([&](const QFont& f) { return WrappedLines(whole, f, room.width()); })) {
            return shown;
        }
    }
    // Too long at the smallest size: as much as fits, ending with an ellipsis.
    shown.font.setPointSizeF(kSmallestPoints);
    shown.cut = true;
    const QFontMetrics metrics(shown.font);
    if (m_fit == Fit::OneLine) {
        shown.lines = {metrics.elidedText(whole, Qt::ElideRight, room.width())};
        return shown;
    }
    const int most = std::max(1, 1 + int((room.height() - metrics.height()) / std::max(metrics.lineSpacing(), 1)));
    QStringList lines = WrappedLines(whole, shown.font, room.width());
    QString rest;
    while (lines.size() >= most)
        rest.prepend(lines.takeLast());
    lines << metrics.elidedText(rest + u'…', Qt::ElideRight, room.width());
    shown.lines = std::move(lines);
    return shown;
}

void Label::paintEvent(QPaintEvent* event) {
    if (m_fit == Fit::None) {
        QLabel::paintEvent(event);
        return;
    }
    const Shown s = shown();
    QPainter painter(this);
    drawFrame(&painter);
    painter.setFont(s.font);
    painter.setPen(palette().color(foregroundRole()));
    const QRect room = textRoom();
    const QFontMetrics metrics(s.font);
    const int block = int(s.lines.size() - 1) * metrics.lineSpacing() + metrics.height();
    int top = room.top() + (room.height() - block) / 2;
    if (alignment() & Qt::AlignTop)
        top = room.top();
    else if (alignment() & Qt::AlignBottom)
        top = room.bottom() + 1 - block;
    const int horizontal = static_cast<int>(alignment() & Qt::AlignHorizontal_Mask);
    for (const QString& line : s.lines) {
        painter.drawText(QRect(room.left(), top, room.width(), metrics.height()), horizontal | Qt::AlignVCenter, line);
        top += metrics.lineSpacing();
    }
}

bool Label::event(QEvent* event) {
    // A cut text is whole in the tooltip, before what the tooltip says anyway; always as plain text.
    if (event->type() == QEvent::ToolTip && m_fit != Fit::None && isCut()) {
        QString tip = text().toHtmlEscaped();
        if (!toolTip().isEmpty())
            tip += QStringLiteral("<br><br>") + toolTip().toHtmlEscaped();
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                           QStringLiteral("<qt>") + tip + QStringLiteral("</qt>"), this);
        return true;
    }
    return QLabel::event(event);
}

Shape::Shape(const QColor& fill, const QColor& outline, QWidget* parent, const QString& spoken)
    : QWidget(parent), m_fill(fill), m_outline(outline) {
    SetAccessibleRole(this, QAccessible::Pane, spoken);
}

namespace {

constexpr char kRoleProperty[] = "tsumottoAccessibleRole";

// A panel or picture is focused only when it takes the focus itself, not when a control it passes the focus
// to has it: a reader would hear both focused.
class Decoration final : public QAccessibleWidget {
public:
    using QAccessibleWidget::QAccessibleWidget;
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.focused = QApplication::focusWidget() == widget();
        return state;
    }
};

QAccessibleInterface* DecorationInterface(const QString&, QObject* object) {
    if (!object || !object->isWidgetType())
        return nullptr;
    const QVariant role = object->property(kRoleProperty);
    if (!role.isValid())
        return nullptr;
    return new Decoration(static_cast<QWidget*>(object), static_cast<QAccessible::Role>(role.toInt()));
}

} // namespace

namespace {

// What CurrentOnlyWithFocus keeps of a list without the focus.
class CurrentKeeper final : public QObject {
public:
    static constexpr QStringView kName = u"tsumotto-current-keeper";

    explicit CurrentKeeper(QAbstractItemView* view) : QObject(view), m_view(view) {
        setObjectName(kName.toString());
        view->installEventFilter(this);
        connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
            if (!m_view->hasFocus())
                putAside();
        });
        putAside();
    }
    QModelIndex kept() const { return m_kept; }

    void putAside() {
        const QModelIndex current = m_view->selectionModel()->currentIndex();
        if (!current.isValid())
            return;
        m_kept = current;
        const QSignalBlocker quiet(m_view->selectionModel());
        m_view->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        m_view->viewport()->update();
    }
    void restore() {
        if (!m_kept.isValid() || m_view->selectionModel()->currentIndex().isValid())
            return;
        const QSignalBlocker quiet(m_view->selectionModel());
        m_view->selectionModel()->setCurrentIndex(m_kept, QItemSelectionModel::NoUpdate);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::FocusIn)
            restore(); // before the list tells a reader which item has the focus
        else if (event->type() == QEvent::FocusOut)
            putAside();
        return false;
    }

private:
    QAbstractItemView* m_view;
    QPersistentModelIndex m_kept;
};

CurrentKeeper* KeeperOf(const QAbstractItemView* view) {
    // Found by name: the class has no meta-object of its own to be told apart by.
    return static_cast<CurrentKeeper*>(
        view->findChild<QObject*>(CurrentKeeper::kName.toString(), Qt::FindDirectChildrenOnly));
}

} // namespace

void CurrentOnlyWithFocus(QAbstractItemView* view) {
    if (!KeeperOf(view))
        new CurrentKeeper(view);
}

QModelIndex KeptCurrent(const QAbstractItemView* view) {
    const QModelIndex current = view->selectionModel()->currentIndex();
    const CurrentKeeper* keeper = KeeperOf(view);
    return current.isValid() || !keeper ? current : keeper->kept();
}

void SendKeyToList(QAbstractItemView* view, QEvent* key) {
    CurrentKeeper* keeper = KeeperOf(view);
    if (keeper)
        keeper->restore();
    QCoreApplication::sendEvent(view, key);
    if (keeper && !view->hasFocus())
        keeper->putAside();
}

void SetAccessibleRole(QWidget* widget, int role, const QString& name) {
    static const bool installed = [] {
        QAccessible::installFactory(DecorationInterface);
        return true;
    }();
    (void)installed;
    widget->setProperty(kRoleProperty, role);
    widget->setAccessibleName(name);
}

void Shape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(m_outline, 1));
    painter.setBrush(m_fill);
    const qreal radius = std::min(width(), height()) / 10.0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

double ContrastRatio(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& wanted, const QColor& background) {
    constexpr double kEnough = 4.5;
    if (ContrastRatio(wanted, background) >= kEnough)
        return wanted;
    // Away from the background's lightness, a step at a time, keeping the hue.
    const bool darken = ContrastRatio(Qt::black, background) >= ContrastRatio(Qt::white, background);
    const QColor hsl = wanted.toHsl();
    for (int step = 1; step <= 100; ++step) {
        const double lightness = darken ? hsl.lightnessF() * (1.0 - step / 100.0)
                                        : hsl.lightnessF() + (1.0 - hsl.lightnessF()) * step / 100.0;
        const QColor tried = QColor::fromHslF(hsl.hslHueF(), hsl.hslSaturationF(), lightness);
        if (ContrastRatio(tried, background) >= kEnough)
            return tried.toRgb();
    }
    return darken ? QColor(Qt::black) : QColor(Qt::white);
}

namespace {

class EnterPresses final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
                if (auto* button = qobject_cast<QAbstractButton*>(watched); button && button->isEnabled()) {
                    button->click();
                    return true;
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void PressOnEnter(QAbstractButton* button) {
    button->installEventFilter(new EnterPresses(button));
}

int TwipsToPixels(int twips) {
    return (twips + 7) / 15;
}

QFont GothicFont(const QString& family, double points) {
    QFont font(family);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QToolButton* NewPictureButton(const QString& caption, QStringView picture, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(caption);
    button->setIcon(PictureIcon(picture));
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

Label* NewTextLabel(const QString& text, const QFont& font, const QColor& textColour, const QColor& background,
                    Qt::Alignment alignment, QWidget* parent) {
    auto* label = new Label(text, parent);
    label->setFont(font);
    label->setAlignment(alignment);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, textColour);
    if (background.isValid()) {
        palette.setColor(QPalette::Window, background);
        label->setAutoFillBackground(true);
    }
    label->setPalette(palette);
    return label;
}

QWidget* NewLine(int x1, int x2, int y, const QColor& colour, QWidget* parent) {
    auto* line = new QWidget(parent);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
    line->setAutoFillBackground(true);
    line->setGeometry(TwipsToPixels(x1), TwipsToPixels(y), TwipsToPixels(x2) - TwipsToPixels(x1) + 1, 1);
    SetAccessibleRole(line, QAccessible::Separator, QStringLiteral("区切り線"));
    return line;
}

void PlaceControls(const std::vector<Placement>& layout) {
    std::vector<const Placement*> tabOrder;
    for (const Placement& p : layout) {
        QWidget* w = p.widget;
        w->setObjectName(p.name);
        if (p.width >= 0)
            w->setGeometry(TwipsToPixels(p.left), TwipsToPixels(p.top), TwipsToPixels(p.width),
                           TwipsToPixels(p.height));
        w->setToolTip(p.tooltip);
        if (p.tab >= 0)
            tabOrder.push_back(&p);
        QString spoken = p.spoken;
        if (auto* button = qobject_cast<QAbstractButton*>(w); button && spoken.isEmpty())
            spoken = button->text();
        if (!spoken.isEmpty())
            w->setAccessibleName(spoken);
        if (spoken != p.tooltip)
            w->setAccessibleDescription(p.tooltip);
    }
    for (auto it = layout.rbegin(); it != layout.rend(); ++it)
        it->widget->raise();
    std::stable_sort(tabOrder.begin(), tabOrder.end(),
                     [](const Placement* a, const Placement* b) { return a->tab < b->tab; });
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1]->widget, tabOrder[i]->widget);
}

void SetUpFixedWindow(QWidget* window, int widthTwips, int heightTwips) {
    window->setFixedSize(TwipsToPixels(widthTwips), TwipsToPixels(heightTwips));
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}

void CentreOnScreen(QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}
