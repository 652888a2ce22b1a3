// The window 「貯金の推移」: the chart of the savings month by month, the months as a table, the goal, and the
// ledger saved as CSV for spreadsheets. It follows the main window's ledger and goal while it is open; nothing
// of it exists before F3 or the button opens it.
#pragma once

#include "records/month_totals.h"

#include <QWidget>

#include <cstdint>

class ChartView;
class Dialogs;
class MonthsModel;
class QLabel;
class QPushButton;
class QTableView;
class TextBox;
class fraMain;

class frmSuii final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSuii)

public:
    frmSuii(fraMain& owner, Dialogs& dialogs);
    ~frmSuii() override;

    ChartView* picSuii = nullptr;
    QLabel* lblTsuki = nullptr;   // the current month's figures
    QLabel* lblMikomi = nullptr;  // when the goal is reached, or would be
    QLabel* lblYomenai = nullptr; // deposits left out for their dates
    QTableView* msgTsuki = nullptr;
    TextBox* txtMokuhyou = nullptr;
    QPushButton* cmdCsvHozon = nullptr;
    QPushButton* cmdTojiru = nullptr;

    // Shows the window beside the main window where the screen has room, else over it, and puts the focus on
    // the chart.
    void showBesideOwner();

    // The ledger changed: only the deposits after those already counted are added, unless rows went.
    void ledgerChanged();
    void goalChanged();
    // Enter in the goal field: the goal is set through the main window's operation.
    void txtMokuhyou_KeyPress(int keyCode);
    void cmdCsvHozon_Click();

    const records::MonthTotals& months() const { return m_months; }
    // Rows of the months table as a spreadsheet pastes them: a header line, then month, count, deposits and
    // running total separated by tabs, the amounts as plain numbers.
    QString monthsAsTabSeparated(QList<int> rows) const;

private:
    void showCurrentMonth(int index);
    void showOutlook();

    fraMain& m_owner;
    Dialogs& m_dialogs;
    records::MonthTotals m_months;
    MonthsModel* m_model = nullptr;
    int m_rowsSeen = 0;
    std::uint64_t m_generation = UINT64_MAX;
    bool m_following = false; // the chart and the table are being brought to one month
};
