// The plain controls of the windows.
#include "shell/controls.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QToolButton>

#include <algorithm>

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
    emit DblClick();
}

Shape::Shape(const QColor& fill, const QColor& outline, QWidget* parent)
    : QWidget(parent), m_fill(fill), m_outline(outline) {}

void Shape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(m_outline, 1));
    painter.setBrush(m_fill);
    const qreal radius = std::min(width(), height()) / 10.0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
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

QIcon IconFromFile(const QString& file) {
    QIcon icon;
    QImageReader reader(file);
    const int count = std::max(reader.imageCount(), 1);
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

QToolButton* NewPictureButton(const QString& caption, const QString& picture, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(caption);
    button->setIcon(IconFromFile(picture));
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
        if (p.tab >= 0) {
            tabOrder.push_back(&p);
            QString name = p.tooltip;
            if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty())
                name = button->text();
            w->setAccessibleName(name);
            w->setAccessibleDescription(p.tooltip);
        }
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
