// The main window: its controls, laid out from one table, its event wiring in one table, and the start-up.
#include "shell/fraMain.h"

#include "shell/controls.h"
#include "shell/dialogs.h"
#include "shell/grid.h"
#include "shell/text_convert.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

const char* const fraMain::kLedgerFile = "テーマ１.txt";
const char* const fraMain::kLedgerFileInput = "テーマ１.TXT";

namespace {

// Positions and sizes are in twips: 15 twips are one device-independent pixel.
constexpr int kClientWidth = 9465;
constexpr int kClientHeight = 6780;

struct Placement {
    QWidget* widget;
    QString name;
    int left, top, width, height;
    int tab; // position in the Tab sequence, or -1
};

// A coin until the illustration is drawn.
QPixmap PlaceholderIllustration() {
    QPixmap picture(64, 64);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x80, 0x60, 0x00), 3));
    painter.setBrush(QColor(0xF0, 0xC0, 0x30));
    painter.drawEllipse(4, 4, 56, 56);
    QFont font = painter.font();
    font.setPixelSize(30);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(picture.rect(), Qt::AlignCenter, u"\u00A5"_s);
    return picture;
}

} // namespace

fraMain::fraMain(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_dialogs(dialogs), m_clock(records::TodayLocal) {
    setObjectName(u"fraMain"_s);
    setWindowTitle(u"ツモっと貯めよう！"_s);
    setFixedSize(Grid::twipsToPixels(kClientWidth), Grid::twipsToPixels(kClientHeight));
    createControls();
    wireEvents();
}

fraMain::~fraMain() = default;

void fraMain::createControls() {
    cmdChinClr2 = new QPushButton(this);
    cmdChinHozon = new QPushButton(u"入金"_s, this);
    cmdChinClr = new QPushButton(u"クリア"_s, this);
    msgChinKou = new Grid(2, false, this);
    lblTemaMei = new Label(this);
    imgTema1 = new Label(this);
    imgTema1->setPixmap(PlaceholderIllustration());
    txtChinKou = new TextBox(this);
    txtChin_Inp = new TextBox(this);
    msgChingin = new Grid(5, true, this);
    lblChin_zen = new QLabel(this);
    lblChin_cnt = new QLabel(this);
    lblChin_zen->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblChin_cnt->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtChin_Inp->setAlignment(Qt::AlignRight);

    const std::vector<Placement> layout = {
        {cmdChinClr2, u"cmdChinClr2"_s, 5475, 4235, 315, 315, 15},
        {txtChin_Inp, u"txtChin_Inp"_s, 5850, 4575, 990, 375, 13},
        {cmdChinClr, u"cmdChinClr"_s, 6000, 75, 840, 990, 1},
        {cmdChinHozon, u"cmdChinHozon"_s, 5175, 75, 840, 990, 0},
        {txtChinKou, u"txtChinKou"_s, 825, 4200, 4590, 375, 10},
        {msgChingin, u"msgChingin"_s, 75, 1350, 9285, 2640, 9},
        {msgChinKou, u"msgChinKou"_s, 75, 4575, 5715, 2070, 14},
        {lblTemaMei, u"lblTemaMei"_s, 6075, 5475, 2115, 615, -1},
        {imgTema1, u"imgTema1"_s, 8250, 5550, 960, 960, -1},
        {lblChin_zen, u"lblChin_zen"_s, 7800, 4575, 1515, 390, -1},
        {lblChin_cnt, u"lblChin_cnt"_s, 7800, 4200, 1515, 390, -1},
    };
    std::vector<const Placement*> tabOrder;
    for (const Placement& p : layout) {
        p.widget->setObjectName(p.name);
        p.widget->setGeometry(Grid::twipsToPixels(p.left), Grid::twipsToPixels(p.top), Grid::twipsToPixels(p.width),
                              Grid::twipsToPixels(p.height));
        if (p.tab >= 0)
            tabOrder.push_back(&p);
    }
    // The table lists controls from the top of the stacking order down.
    for (auto it = layout.rbegin(); it != layout.rend(); ++it)
        it->widget->raise();
    std::sort(tabOrder.begin(), tabOrder.end(), [](const Placement* a, const Placement* b) { return a->tab < b->tab; });
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1]->widget, tabOrder[i]->widget);
}

// Every event the main window handles, and the operation it runs.
void fraMain::wireEvents() {
    connect(cmdChinHozon, &QPushButton::clicked, this, &fraMain::cmdChinHozon_Click);
    connect(txtChinKou, &TextBox::KeyPress, this, &fraMain::txtChinKou_KeyPress);
    connect(txtChin_Inp, &TextBox::KeyPress, this, &fraMain::txtChin_Inp_KeyPress);
    connect(cmdChinClr, &QPushButton::clicked, this, &fraMain::cmdChinClr_Click);
    connect(msgChingin, &Grid::DblClick, this, &fraMain::msgChingin_DblClick);
    connect(msgChinKou, &Grid::Click, this, &fraMain::msgChinKou_Click);
    connect(msgChinKou, &Grid::DblClick, this, &fraMain::msgChinKou_DblClick);
    connect(cmdChinClr2, &QPushButton::clicked, this, &fraMain::cmdChinClr2_Click);
    connect(imgTema1, &Label::DblClick, this, &fraMain::imgTema1_DblClick);
    connect(lblTemaMei, &Label::DblClick, this, &fraMain::lblTemaMei_DblClick);
}

bool fraMain::Form_Load() {
    m_starting = true;
    InitLedgerGrid();
    InitItemGrid();
    if (!LoadLedger() || !LoadItemsAndTheme())
        return false;
    m_starting = false;
    txtChinKou->setText(QString());
    txtChin_Inp->setText(QString());
    show();
    activateWindow();
    txtChinKou->setFocus();
    return true;
}

bool fraMain::confirmDeletion(const QString& question) {
    return m_dialogs.message(this, question, u"削除確認"_s, Dialogs::Buttons::OkCancel, Dialogs::Icon::None) ==
           Dialogs::Answer::Ok;
}

void fraMain::warnFileFailure(const char* fileName, const records::Status& status, bool reading) {
    QString text;
    if (status.code() == records::Status::Code::Damaged) {
        text = u"「%1」を読み込めません。\r\n%2 行目: %3。"_s.arg(QString::fromUtf8(fileName))
                   .arg(status.line())
                   .arg(fromUtf8(status.reason()));
    } else if (reading) {
        text = u"「%1」を開けません。\r\n%2"_s.arg(QString::fromUtf8(fileName), fromUtf8(status.reason()));
    } else {
        text = u"「%1」に保存できませんでした。\r\n%2\r\n\r\nファイルは前の状態のままです。"_s.arg(
            QString::fromUtf8(fileName), fromUtf8(status.reason()));
    }
    if (m_starting)
        text += u"\r\n\r\nファイルには手を付けずに、プログラムを終了します。"_s;
    m_dialogs.message(this, text, u"ファイルエラー"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Warning);
}
