// The real modal boxes.
#include "widgets/dialogs.h"

#include "widgets/controls.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>

#include <algorithm>

using namespace Qt::StringLiterals;

Dialogs::Answer QtDialogs::message(QWidget* parent, const QString& text, const QString& title, Buttons buttons,
                                   Icon icon) {
    QMessageBox box(parent);
    box.setWindowTitle(title);
    // Messages are built with CR LF; a bare CR would show as a stray glyph in a Qt label.
    // In the windows' proportional Gothic face, and wide enough that no line is broken in the middle of a
    // phrase: Qt would wrap anything wider than about 500 pixels.
    box.setFont(GothicFont(kProportionalGothic, 9));
    const QString shown = QString(text).replace(u"\r\n"_s, u"\n"_s);
    box.setText(shown);
    box.setTextFormat(Qt::PlainText);
    if (auto* label = box.findChild<QLabel*>(u"qt_msgbox_label"_s)) {
        const QFontMetrics metrics(label->font());
        int widest = 0;
        for (const QString& line : shown.split(u'\n'))
            widest = std::max(widest, metrics.horizontalAdvance(line));
        const QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
        const int room = screen ? screen->availableGeometry().width() * 3 / 4 : 800;
        label->setMinimumWidth(std::min(widest + 4, room));
    }
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
    case Buttons::OkCancelDefaultCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    // A screen reader hears the icon by what it means and the row of buttons as such: Qt leaves both unnamed.
    if (auto* iconLabel = box.findChild<QLabel*>(u"qt_msgboxex_icon_label"_s))
        iconLabel->setAccessibleName(icon == Icon::Warning ? u"警告"_s : u"お知らせ"_s);
    if (auto* buttonRow = box.findChild<QDialogButtonBox*>())
        buttonRow->setAccessibleName(u"ボタン"_s);
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
    dialog.setFont(GothicFont(kProportionalGothic, 9));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(QString());
    // What is typed shows as it will be stored.
    if (auto* field = dialog.findChild<QLineEdit*>())
        field->setValidator(new StorableTextValidator(field));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}

QString QtDialogs::saveFileName(QWidget* parent, const QString& title, const QString& suggested,
                                const QString& filter) {
    QFileDialog dialog(parent, title, suggested, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(u"csv"_s);
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}
