// The plain controls of the windows, with the events the program handles on them, and the few ways the
// windows dress them.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QWidget>

#include <vector>

class QToolButton;

// A text box that reports every typed key by its character code (Enter is 13) before handling it as usual.
class TextBox final : public QLineEdit {
    Q_OBJECT

public:
    using QLineEdit::QLineEdit;

signals:
    void KeyPress(int keyCode);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// A label, or a picture, that reports a double-click. Its text is always plain text: what it shows may come
// from the user or a file, and is never taken as markup.
class Label final : public QLabel {
    Q_OBJECT

public:
    explicit Label(QWidget* parent = nullptr);
    Label(const QString& text, QWidget* parent);

signals:
    void DblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// A rounded panel drawn under other controls.
class Shape final : public QWidget {
    Q_OBJECT

public:
    Shape(const QColor& fill, const QColor& outline, QWidget* parent);
    QColor fill() const { return m_fill; }
    QColor outline() const { return m_outline; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill;
    QColor m_outline;
};

// The Japanese Gothic faces the windows are designed in; the application maps them to installed fonts.
inline const QString kProportionalGothic = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString kFixedGothic = QStringLiteral("ＭＳ ゴシック");
QFont GothicFont(const QString& family, double points);

// Every image of an icon file, at each of its sizes.
QIcon IconFromFile(const QString& file);
// A button with a 32 x 32 picture above its caption.
QToolButton* NewPictureButton(const QString& caption, const QString& picture, QWidget* parent);
// A label of plain text, with the given face, colours and alignment; an invalid background leaves it
// transparent.
Label* NewTextLabel(const QString& text, const QFont& font, const QColor& textColour, const QColor& background,
                    Qt::Alignment alignment, QWidget* parent);
// A one-pixel line from (x1, y) to (x2, y), in twips.
QWidget* NewLine(int x1, int x2, int y, const QColor& colour, QWidget* parent);

// Where a control sits and how the Tab key reaches it.
struct Placement {
    QWidget* widget;
    QString name;
    int left, top, width, height; // twips; a negative width keeps the size the control already has
    int tab;                      // position in the Tab sequence, or -1
    QString tooltip;
};

// Names, places and gives tooltips to the controls of a window, stacks them in the order listed (the first
// on top) and links the Tab sequence. Buttons, text boxes and grids get an accessible name from their
// caption or, without one, their tooltip.
void PlaceControls(const std::vector<Placement>& layout);

// Fixed size in twips, the button face colour as background, centred on the screen.
void SetUpFixedWindow(QWidget* window, int widthTwips, int heightTwips);
void CentreOnScreen(QWidget* window);

int TwipsToPixels(int twips);
