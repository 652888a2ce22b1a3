// The chart window and its table of months.
#include "window/chart_window.h"

#include "records/csv_export.h"
#include "window/ledger.h"

#include "widgets/chart_view.h"
#include "widgets/controls.h"
#include "widgets/dialogs.h"
#include "widgets/pictures.h"
#include "widgets/text_convert.h"
#include "window/fraMain.h"
#include "window/messages.h"

#include <QAbstractTableModel>
#include <QAccessibleWidget>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;
using records::MonthTotal;
using records::WideMoney;

namespace {

QString MonthName(records::MonthKey key) {
    return u"%1年%2月"_s.arg(records::YearOfMonth(key)).arg(records::MonthOfYear(key));
}

QString Money(WideMoney amount) {
    return fromUtf8(records::FormatWideMoney(amount));
}

// A screen reader knows the chart as a chart, and hears the current month as its description.
QAccessibleInterface* ChartAccessible(const QString&, QObject* object) {
    if (auto* chart = qobject_cast<ChartView*>(object))
        return new QAccessibleWidget(chart, QAccessible::Chart);
    return nullptr;
}

} // namespace

// The months for the table view. It knows how many rows its view has been told of, so that a deposit
// becomes a change of the last row, or one row more, and the view keeps its place and its current row.
class MonthsModel final : public QAbstractTableModel {
public:
    MonthsModel(const records::MonthTotals& months, QObject* parent) : QAbstractTableModel(parent), m_months(months) {}

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 4; }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= m_rows)
            return {};
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignVCenter | (index.column() == 0 ? Qt::AlignLeft : Qt::AlignRight));
        if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
            return {};
        const MonthTotal& m = m_months.months()[static_cast<std::size_t>(index.row())];
        switch (index.column()) {
        case 0:
            return MonthName(m.key);
        case 1:
            return QString::number(m.count);
        case 2:
            return Money(m.sum);
        default:
            return Money(m.total);
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3)
            return QAbstractTableModel::headerData(section, orientation, role);
        static const QString headers[] = {u"月"_s, u"回数"_s, u"入金"_s, u"累計"_s};
        return headers[section];
    }

    // Tells the view what changed: the months from `changedFrom` on changed and more may have come; or, when
    // the months were not kept, all of them are new.
    void follow(bool kept, int changedFrom) {
        const int now = static_cast<int>(m_months.months().size());
        if (!kept || now < m_rows) {
            beginResetModel();
            m_rows = now;
            endResetModel();
            return;
        }
        if (changedFrom < m_rows)
            emit dataChanged(index(changedFrom, 0), index(m_rows - 1, 3));
        if (now > m_rows) {
            beginInsertRows({}, m_rows, now - 1);
            m_rows = now;
            endInsertRows();
        }
    }

private:
    const records::MonthTotals& m_months;
    int m_rows = 0;
};

namespace {

// The months table: Ctrl+C copies the rows chosen as tab-separated text that a spreadsheet pastes.
class MonthTable final : public QTableView {
public:
    MonthTable(const frmSuii& window, QWidget* parent) : QTableView(parent), m_window(window) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!event->matches(QKeySequence::Copy)) {
            QTableView::keyPressEvent(event);
            return;
        }
        QList<int> rows;
        for (const QModelIndex& index : selectionModel()->selectedRows())
            rows << index.row();
        const QModelIndex current = KeptCurrent(this);
        if (rows.isEmpty() && current.isValid())
            rows << current.row();
        std::sort(rows.begin(), rows.end());
        QGuiApplication::clipboard()->setText(m_window.monthsAsTabSeparated(rows));
    }

private:
    const frmSuii& m_window;
};

} // namespace

frmSuii::frmSuii(fraMain& owner, Dialogs& dialogs) : QWidget(&owner, Qt::Window), m_owner(owner), m_dialogs(dialogs) {
    static const bool accessible = (QAccessible::installFactory(ChartAccessible), true);
    Q_UNUSED(accessible);
    setObjectName(u"frmSuii"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"貯金の推移"_s);
    SetAccessibleRole(this, QAccessible::Window, QString()); // a window to a screen reader, named by its title
    setWindowIcon(PictureIcon(u"app.ico"));
    setFont(GothicFont(kProportionalGothic, 9));

    picSuii = new ChartView(this);
    picSuii->setObjectName(u"picSuii"_s);
    picSuii->setAccessibleName(u"貯金の推移のグラフ"_s);
    lblTsuki = new Label(this);
    lblTsuki->setObjectName(u"lblTsuki"_s);
    lblTsuki->setFont(GothicFont(kProportionalGothic, 10.5));
    lblMikomi = new Label(this);
    lblMikomi->setObjectName(u"lblMikomi"_s);
    lblMikomi->setWordWrap(true);
    lblYomenai = new Label(this);
    lblYomenai->setObjectName(u"lblYomenai"_s);
    lblYomenai->setWordWrap(true);

    msgTsuki = new MonthTable(*this, this);
    msgTsuki->setObjectName(u"msgTsuki"_s);
    msgTsuki->setAccessibleName(u"月ごとの入金"_s);
    msgTsuki->setAccessibleDescription(u"Ctrl+C で、選んだ月を表計算ソフトに貼り付けられる形でコピーします"_s);
    m_model = new MonthsModel(m_months, this);
    msgTsuki->setModel(m_model);
    CurrentOnlyWithFocus(msgTsuki);
    msgTsuki->setSelectionBehavior(QAbstractItemView::SelectRows);
    msgTsuki->setSelectionMode(QAbstractItemView::ExtendedSelection);
    msgTsuki->setEditTriggers(QAbstractItemView::NoEditTriggers);
    msgTsuki->setTabKeyNavigation(false);
    msgTsuki->verticalHeader()->hide();
    msgTsuki->setWordWrap(false);
    const QFontMetrics metrics(msgTsuki->font());
    const int amountWidth = metrics.horizontalAdvance(u"¥99,999,999"_s) + 16;
    msgTsuki->horizontalHeader()->resizeSection(0, metrics.horizontalAdvance(u"0000年00月"_s) + 16);
    msgTsuki->horizontalHeader()->resizeSection(1, metrics.horizontalAdvance(u"回数0000"_s) + 8);
    msgTsuki->horizontalHeader()->resizeSection(2, amountWidth);
    msgTsuki->horizontalHeader()->setStretchLastSection(true);
    msgTsuki->verticalHeader()->setDefaultSectionSize(metrics.height() + 6);

    auto* goalLabel = new Label(u"目標金額"_s, this);
    goalLabel->setObjectName(u"lblMokuhyou"_s);
    txtMokuhyou = new TextBox(this);
    txtMokuhyou->setObjectName(u"txtMokuhyou"_s);
    txtMokuhyou->setAccessibleName(u"目標金額"_s);
    txtMokuhyou->setAccessibleDescription(u"金額を入れて Enter キーで保存します。0 で目標を取り消します"_s);
    txtMokuhyou->setToolTip(txtMokuhyou->accessibleDescription());
    txtMokuhyou->setPlaceholderText(u"未設定"_s);
    txtMokuhyou->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Digits go straight in, as in the amount box.
    txtMokuhyou->setAttribute(Qt::WA_InputMethodEnabled, false);
    txtMokuhyou->setInputMethodHints(Qt::ImhPreferNumbers | Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
    goalLabel->setBuddy(txtMokuhyou);
    auto* goalHint = new Label(u"Enter で保存（0 で取り消し）"_s, this);
    cmdCsvHozon = new QPushButton(u"CSV で保存"_s, this);
    cmdCsvHozon->setObjectName(u"cmdCsvHozon"_s);
    cmdCsvHozon->setAccessibleDescription(u"記録を表計算ソフトで開ける CSV ファイルに保存します"_s);
    cmdTojiru = new QPushButton(u"閉じる"_s, this);
    cmdTojiru->setObjectName(u"cmdTojiru"_s);
    for (QPushButton* button : {cmdCsvHozon, cmdTojiru}) {
        button->setAutoDefault(false);
        PressOnEnter(button);
    }

    auto* side = new QVBoxLayout;
    side->addWidget(goalLabel);
    side->addWidget(txtMokuhyou);
    side->addWidget(goalHint);
    side->addStretch(1);
    side->addWidget(cmdCsvHozon);
    side->addWidget(cmdTojiru);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(msgTsuki, 1);
    bottom->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picSuii, 3);
    layout->addWidget(lblTsuki);
    layout->addWidget(lblMikomi);
    layout->addWidget(lblYomenai);
    layout->addLayout(bottom, 2);
    setTabOrder(picSuii, msgTsuki);
    setTabOrder(msgTsuki, txtMokuhyou);
    setTabOrder(txtMokuhyou, cmdCsvHozon);
    setTabOrder(cmdCsvHozon, cmdTojiru);
    resize(680, 620);

    picSuii->setMonths(&m_months);
    connect(picSuii, &ChartView::currentChanged, this, &frmSuii::showCurrentMonth);
    connect(msgTsuki->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!m_following && current.isValid())
                    picSuii->setCurrent(current.row());
            });
    connect(txtMokuhyou, &TextBox::KeyPress, this, &frmSuii::txtMokuhyou_KeyPress);
    connect(cmdCsvHozon, &QPushButton::clicked, this, &frmSuii::cmdCsvHozon_Click);
    connect(cmdTojiru, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
    connect(&m_owner, &fraMain::LedgerChanged, this, &frmSuii::ledgerChanged);
    connect(&m_owner, &fraMain::GoalChanged, this, &frmSuii::goalChanged);
    ledgerChanged();
    goalChanged();
}

frmSuii::~frmSuii() = default;

void frmSuii::showBesideOwner() {
    if (!isVisible()) {
        const QRect owner = m_owner.frameGeometry();
        const QScreen* screen = m_owner.screen() ? m_owner.screen() : QGuiApplication::primaryScreen();
        const QRect room = screen ? screen->availableGeometry() : QRect(owner.topLeft(), size());
        QRect placed(QPoint(), size().boundedTo(room.size()));
        if (owner.right() + placed.width() < room.right())
            placed.moveTopLeft({owner.right() + 1, owner.top()});
        else if (owner.left() - placed.width() > room.left())
            placed.moveTopLeft({owner.left() - placed.width(), owner.top()});
        else
            placed.moveCenter(owner.center());
        placed.moveLeft(std::clamp(placed.left(), room.left(), std::max(room.left(), room.right() - placed.width())));
        placed.moveTop(std::clamp(placed.top(), room.top(), std::max(room.top(), room.bottom() - placed.height())));
        setGeometry(placed);
    }
    show();
    raise();
    activateWindow();
    picSuii->setFocus(Qt::OtherFocusReason);
}

void frmSuii::ledgerChanged() {
    // The current month stays the month it was, unless it was the newest: then the newest is.
    const int before = picSuii->current();
    const bool newest = before < 0 || before + 1 == m_model->rowCount();
    const records::MonthKey key = m_months.months().empty() ? -1 : m_months.months().front().key + before;

    const LedgerRows& rows = m_owner.ledgerRows();
    if (rows.generation() == m_generation && rows.count() >= m_rowsSeen) {
        for (int r = m_rowsSeen + 1; r <= rows.count(); ++r)
            m_months.append(rows.at(r).date->utf8, rows.at(r).amount->value);
    } else {
        m_months.rebuild(static_cast<std::size_t>(rows.count()), [&rows](std::size_t i) {
            const LedgerRows::Row& row = rows.at(static_cast<int>(i) + 1);
            return records::MonthTotals::Dated{row.date->utf8, row.amount->value};
        });
    }
    m_generation = rows.generation();
    m_rowsSeen = rows.count();
    // Up to today's month, as long as the clock gives a year a ledger date can have.
    if (const records::CalendarDate today = m_owner.today(); today.year >= 1000 && today.year <= 9999)
        m_months.extendTo(records::MonthOf(today.year, today.month));

    int changedFrom = 0;
    const bool kept = m_months.takeChanges(changedFrom);
    m_model->follow(kept, changedFrom);
    const int count = static_cast<int>(m_months.months().size());
    int current = newest ? count - 1 : m_months.indexOf(key);
    if (current < 0)
        current = count - 1;
    picSuii->monthsChanged(kept ? changedFrom : 0);
    picSuii->setCurrent(current);
    showCurrentMonth(picSuii->current());
    const int undated = m_months.undatedCount();
    lblYomenai->setVisible(undated > 0);
    lblYomenai->setText(
        undated > 0 ? u"日付が読めない記録が %1 件（合計 %2）あり、グラフと表には入れていません。"_s.arg(undated).arg(
                          Money(m_months.undatedSum()))
                    : QString());
    showOutlook();
}

void frmSuii::goalChanged() {
    picSuii->setGoal(m_owner.Mokuhyou);
    if (!txtMokuhyou->isModified())
        txtMokuhyou->setText(m_owner.Mokuhyou ? fromUtf8(records::MoneyToText(*m_owner.Mokuhyou)) : QString());
    showOutlook();
}

void frmSuii::txtMokuhyou_KeyPress(int keyCode) {
    if (keyCode != 13)
        return;
    if (m_owner.SaveGoal(txtMokuhyou->text()))
        txtMokuhyou->setText(m_owner.Mokuhyou ? fromUtf8(records::MoneyToText(*m_owner.Mokuhyou)) : QString());
}

void frmSuii::showCurrentMonth(int index) {
    QString text;
    const std::vector<MonthTotal>& months = m_months.months();
    if (index >= 0 && index < static_cast<int>(months.size())) {
        const MonthTotal& m = months[static_cast<std::size_t>(index)];
        text = u"%1　入金 %2 回　%3　累計 %4"_s.arg(MonthName(m.key)).arg(m.count).arg(Money(m.sum), Money(m.total));
    }
    lblTsuki->setText(text);
    picSuii->setAccessibleDescription(text);
    if (index < 0 || index >= m_model->rowCount() || KeptCurrent(msgTsuki).row() == index)
        return;
    m_following = true;
    msgTsuki->selectionModel()->setCurrentIndex(m_model->index(index, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    msgTsuki->scrollTo(m_model->index(index, 0));
    m_following = false;
}

void frmSuii::showOutlook() {
    using Kind = records::GoalOutlook::Kind;
    const std::optional<records::Currency> goal = m_owner.Mokuhyou;
    const records::GoalOutlook outlook = records::OutlookFor(m_months.months(), goal, m_owner.ChinZen);
    const QString goalText = goal ? fromUtf8(records::FormatMoney(*goal)) : QString();
    const WideMoney left = goal ? WideMoney(goal->tenThousandths()) - m_owner.ChinZen.tenThousandths() : 0;
    const QString toGo = u"目標 %1 まで あと %2。"_s.arg(goalText, Money(left));
    const QString pace = Money(outlook.pacePerMonth / records::Currency::kScale * records::Currency::kScale);
    QString text;
    switch (outlook.kind) {
    case Kind::NoGoal:
        text = u"目標金額を決めると、このペースでいつ達成できるかを表示します。"_s;
        break;
    case Kind::Reached:
        text = outlook.month >= 0 ? u"目標 %1 は %2に達成しました。"_s.arg(goalText, MonthName(outlook.month))
                                  : u"目標 %1 を達成しました。"_s.arg(goalText);
        break;
    case Kind::NoMonths:
        text = toGo + u"日付のある入金の記録がないので、いつ達成できるかはまだわかりません。"_s;
        break;
    case Kind::NoPace:
        text = toGo + u"ここ 3 か月で貯金が増えていないので、いつ達成できるかはまだわかりません。"_s;
        break;
    case Kind::TooFar:
        text = toGo + u"ここ 3 か月のペース（月 %1）では、達成まで 100 年以上かかります。"_s.arg(pace);
        break;
    case Kind::ByMonth:
        text = toGo + u"このペースなら %1に達成（ここ 3 か月の平均 月 %2）"_s.arg(MonthName(outlook.month), pace);
        break;
    }
    lblMikomi->setText(text);
}

QString frmSuii::monthsAsTabSeparated(QList<int> rows) const {
    QString text = u"月\t回数\t入金\t累計\n"_s;
    const std::vector<MonthTotal>& months = m_months.months();
    for (const int row : rows) {
        if (row < 0 || row >= static_cast<int>(months.size()))
            continue;
        const MonthTotal& m = months[static_cast<std::size_t>(row)];
        text += u"%1\t%2\t%3\t%4\n"_s.arg(MonthName(m.key))
                    .arg(m.count)
                    .arg(fromUtf8(records::WideMoneyToText(m.sum)), fromUtf8(records::WideMoneyToText(m.total)));
    }
    return text;
}

void frmSuii::cmdCsvHozon_Click() {
    if (!m_owner.ledgerAsFileHoldsIt())
        return;
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    const QString path =
        m_dialogs.saveFileName(this, u"CSV で保存"_s, folder + u"/貯金の記録.csv"_s, u"CSV ファイル (*.csv)"_s);
    if (path.isEmpty())
        return;
    const QString shown = QDir::toNativeSeparators(path);
    if (fraMain::NamesDataFile(path)) {
        messages::Show(m_dialogs, this, messages::CsvOverDataFile(shown));
        return;
    }
    const LedgerRows& rows = m_owner.ledgerRows();
    const records::Status status = records::SaveLedgerCsv(
        QFile::encodeName(path).toStdString(), static_cast<std::size_t>(rows.count()), [&rows](std::size_t i) {
            const LedgerRows::Row& row = rows.at(static_cast<int>(i) + 1);
            return records::CsvLedgerRow{row.date->utf8, row.item->utf8, row.amount->value, row.total};
        });
    if (!status) {
        messages::Show(m_dialogs, this, messages::CsvNotSaved(shown, status));
        return;
    }
    messages::Show(m_dialogs, this, messages::CsvSaved(rows.count(), shown));
}
