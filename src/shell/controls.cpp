// The plain controls of the windows.
#include "shell/controls.h"

#include <QKeyEvent>

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

void Label::mouseDoubleClickEvent(QMouseEvent* event) {
    QLabel::mouseDoubleClickEvent(event);
    emit DblClick();
}
