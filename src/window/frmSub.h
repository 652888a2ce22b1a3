// The welcome window: shown once, modally, over the main window when the ledger is empty. It explains pretend
// savings with three example themes and, from its button, how to enter deposits. It reads and writes nothing.
#pragma once

#include <QDialog>

class Dialogs;
class Grid;
class QPushButton;

class frmSub final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSub)

public:
    // parent is the main window, over which the instructions are shown once this window has gone.
    frmSub(Dialogs& dialogs, QWidget* parent);
    ~frmSub() override;

    Grid* msgTemaSub1 = nullptr;
    QPushButton* cmdModori = nullptr;
    Grid* msgTemaSub2 = nullptr;
    Grid* msgTemaSub3 = nullptr;

    // Fills the three example grids.
    void Form_Load();
    // Closes the window, then tells how to enter deposits.
    void cmdModori_Click();

private:
    Dialogs& m_dialogs;
};
