// The real modal boxes.
#include "shell/dialogs.h"

#include <QInputDialog>
#include <QMessageBox>

using namespace Qt::StringLiterals;

Dialogs::Answer QtDialogs::message(QWidget* parent, const QString& text, const QString& title, Buttons buttons,
                                   Icon icon) {
    QMessageBox box(parent);
    box.setWindowTitle(title);
    // Messages are built with CR LF; a bare CR would show as a stray glyph in a Qt label.
    box.setText(QString(text).replace(u"\r\n"_s, u"\n"_s));
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        // OK, or an OK-only box closed by its frame: the one answer it has.
        return Answer::Ok;
    }
}

QString QtDialogs::input(QWidget* parent, const QString& prompt, const QString& title) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(QString());
    dialog.setInputMode(QInputDialog::TextInput);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}
