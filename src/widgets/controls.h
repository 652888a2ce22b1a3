// The plain controls of the windows, with the events the program handles on them, and the few ways the
// windows dress them.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QValidator>
#include <QWidget>

#include <vector>

class QAbstractButton;
class QAbstractItemView;
class QEvent;
class QModelIndex;
class QToolButton;

// A text box that reports every typed key by its character code (Enter is 13) before handling it as usual.
// With WA_InputMethodEnabled off, it tells the input method so when asked, which QLineEdit itself does not:
// then IBus and Fcitx leave it alone and digits go straight in.
class TextBox final : public QLineEdit {
    Q_OBJECT

public:
    using QLineEdit::QLineEdit;

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    // The form input methods call directly, by name, through the meta-object system.
    Q_INVOKABLE QVariant inputMethodQuery(Qt::InputMethodQuery query, QVariant argument) const;

signals:
    void KeyPress(int keyCode);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// Turns what is typed into a text box into what a data file will store, as it is typed: 〜 becomes ～, a
// backslash the yen sign it is shown as, and so on. Characters the files lack are left for the entry to
// refuse with a message.
class StorableTextValidator final : public QValidator {
    Q_OBJECT

public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// A label, or a picture, that reports a double-click. Its text is always plain text: what it shows may come
// from the user or a file, and is never taken as markup.
class Label final : public QLabel {
    Q_OBJECT

public:
    explicit Label(QWidget* parent = nullptr);
    Label(const QString& text, QWidget* parent);

    // How a label fits a text too large for it, never in type smaller than kSmallestPoints:
    // OneLine (numbers): the font shrinks until the text fits on one line; failing that, it goes on two lines,
    // broken at the digit grouping nearest the middle.
    // Lines (names): the text wraps between words (between any two characters in Japanese), and the font
    // shrinks until every line fits.
    // Past that the end is cut and marked with an ellipsis, so that a number never looks like a smaller one,
    // and the tooltip and the accessible name hold the whole text.
    enum class Fit { None, OneLine, Lines };
    void setFit(Fit fit);
    Fit fit() const { return m_fit; }
    void setShrinksToFit(bool shrinks) { setFit(shrinks ? Fit::OneLine : Fit::None); }
    struct Shown {
        QFont font;
        QStringList lines;
        bool cut = false;
    };
    // The font the text is drawn in now, and the text as drawn, its lines joined by line feeds.
    Shown shown() const;
    QFont shownFont() const { return shown().font; }
    QString shownText() const { return shown().lines.join(u'\n'); }
    bool isCut() const { return shown().cut; }
    static constexpr double kSmallestPoints = 9; // legible at 96 dpi

signals:
    void DblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    QRect textRoom() const;
    Fit m_fit = Fit::None;
};

// A rounded panel drawn under other controls. A screen reader hears it as a panel with the given name.
class Shape final : public QWidget {
    Q_OBJECT

public:
    Shape(const QColor& fill, const QColor& outline, QWidget* parent, const QString& spoken = {});
    QColor fill() const { return m_fill; }
    QColor outline() const { return m_outline; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill;
    QColor m_outline;
};

// WCAG's contrast ratio of two colours, 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b);
// The colour to draw text in on a background: wanted, when it reads there (4.5:1, WCAG AA); else the colour
// of the same hue nearest to it that does; else black or white.
QColor ReadableOn(const QColor& wanted, const QColor& background);

// What a screen reader calls a widget that draws only a decoration: a plain widget is otherwise an unnamed
// "filler" to it. Call it before anything asks for the widget's interface (setting its accessible name does),
// which is made once.
void SetAccessibleRole(QWidget* widget, int role, const QString& name);

// Gives a list a current item only while it has the focus. Qt tells a screen reader that a list's current item is
// focused whether the list has the focus or not, so that it hears several focused objects at once. The current
// item of a list without the focus is kept aside, with its selection shown, and comes back with the focus; the
// list's signals tell of a change of it as usual. Call it once the list has its model.
void CurrentOnlyWithFocus(QAbstractItemView* view);
// The list's current index, or the one kept aside while it has not the focus.
QModelIndex KeptCurrent(const QAbstractItemView* view);
// Sends a key to the list from another control: it moves from the kept index.
void SendKeyToList(QAbstractItemView* view, QEvent* key);

// Makes Enter (and the keypad's) on a focused button press it, as on Windows; Qt's buttons take only Space.
void PressOnEnter(QAbstractButton* button);

// The Japanese Gothic faces the windows are designed in; the application maps them to installed fonts.
inline const QString kProportionalGothic = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString kFixedGothic = QStringLiteral("ＭＳ ゴシック");
QFont GothicFont(const QString& family, double points);

// A button with a 32 x 32 picture (one of the program's, by its file name) above its caption.
QToolButton* NewPictureButton(const QString& caption, QStringView picture, QWidget* parent);
// A label of plain text, with the given face, colours and alignment; an invalid background leaves it
// transparent.
Label* NewTextLabel(const QString& text, const QFont& font, const QColor& textColour, const QColor& background,
                    Qt::Alignment alignment, QWidget* parent);
// A one-pixel line from (x1, y) to (x2, y), in twips; a separator to a screen reader.
QWidget* NewLine(int x1, int x2, int y, const QColor& colour, QWidget* parent);

// Where a control sits and how the Tab key reaches it.
struct Placement {
    QWidget* widget;
    QString name;
    int left, top, width, height; // twips; a negative width keeps the size the control already has
    int tab;                      // position in the Tab sequence, or -1
    QString tooltip;
    QString spoken = {}; // what a screen reader calls it; empty: its caption or text
};

// Names, places and gives tooltips to the controls of a window, stacks them in the order listed (the first
// on top) and links the Tab sequence. A screen reader hears a control by its spoken name (a button without
// one by its caption), and its tooltip as the description, unless that would say the same thing twice.
void PlaceControls(const std::vector<Placement>& layout);

// Fixed size in twips, the button face colour as background, centred on the screen.
void SetUpFixedWindow(QWidget* window, int widthTwips, int heightTwips);
void CentreOnScreen(QWidget* window);

int TwipsToPixels(int twips);
