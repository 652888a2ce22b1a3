// The plain controls of the windows, with the events the program handles on them.
#pragma once

#include <QLabel>
#include <QLineEdit>

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

// A label, or a picture, that reports a double-click.
class Label final : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void DblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
