// The modal message box and input box, behind one small interface so that tests can answer them.
#pragma once

#include <QString>

class QWidget;

class Dialogs {
public:
    // OkCancelDefaultCancel: OK and Cancel with Cancel the default, for a question whose OK cannot be undone, so that
    // Enter does not answer it.
    enum class Buttons { Ok, OkCancel, YesNo, OkCancelDefaultCancel };
    enum class Icon { None, Information, Warning };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~Dialogs() = default;

    // Shows text (CR LF breaks lines) under title; the first button is the default unless the set says otherwise.
    // Returns the button pressed.
    virtual Answer message(QWidget* parent, const QString& text, const QString& title, Buttons buttons, Icon icon) = 0;
    // Asks for a line of text in an empty field; Cancel gives the empty string.
    virtual QString input(QWidget* parent, const QString& prompt, const QString& title) = 0;
    // Asks where to save a new file, starting from `suggested` (a path), offering files of `filter` (as
    // QFileDialog takes it); a file that exists is replaced only when the user says so. Cancel gives the empty
    // string.
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& suggested,
                                 const QString& filter) = 0;
};

// The real boxes: QMessageBox and QInputDialog.
class QtDialogs final : public Dialogs {
public:
    Answer message(QWidget* parent, const QString& text, const QString& title, Buttons buttons, Icon icon) override;
    QString input(QWidget* parent, const QString& prompt, const QString& title) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& suggested,
                         const QString& filter) override;
};
