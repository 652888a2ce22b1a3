// The welcome window: its controls, laid out from one table, and its two operations.
#include "window/frmSub.h"
#include "window/messages.h"

#include "widgets/controls.h"
#include "widgets/dialogs.h"
#include "widgets/grid.h"
#include "widgets/pictures.h"

#include <QIcon>
#include <QPushButton>

#include <array>

using namespace Qt::StringLiterals;

namespace {

constexpr int kClientWidth = 9465;
constexpr int kClientHeight = 3735;

struct Example {
    const char16_t* item;
    const char16_t* amount;
};

// The example amounts are fixed texts. They are written with the yen sign itself: Linux fonts draw the
// backslash that stands for it on Windows as a backslash.
constexpr std::array<std::array<Example, 3>, 3> kExamples = {{
    {{{u"少年マガジンを買ったつもり", u"¥230"},
      {u"ムフフなビデオをレンタルしたつもり", u"¥400"},
      {u"タクシーを使ったつもり", u"¥690"}}},
    {{{u"お風呂", u"¥30"}, {u"晩酌", u"¥50"}, {u"太鼓の達人（１曲）", u"¥10"}}},
    {{{u"朝メシ抜いた", u"¥50"}, {u"人前でオナラした", u"¥30"}, {u"腕立て伏せしなかった", u"¥20"}}},
}};

} // namespace

frmSub::frmSub(Dialogs& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_dialogs(dialogs) {
    setObjectName(u"frmSub"_s);
    setWindowTitle(u"ツモっと始めてみよう！"_s);
    setWindowIcon(PictureIcon(u"starter.ico"));
    setFont(GothicFont(kProportionalGothic, 9)); // the example titles' face
    SetUpFixedWindow(this, kClientWidth, kClientHeight);

    const QFont font11 = GothicFont(kProportionalGothic, 11.25);
    // Colours that read where they are drawn, also on a dark desktop: the paragraph lies on the ivory panel, the
    // titles on the window's own background.
    const QColor ivory(0xFF, 0xFF, 0xF0);
    const QColor paragraphColour = ReadableOn(palette().color(QPalette::ButtonText), ivory);
    const QColor background = palette().color(QPalette::Window);
    const Qt::Alignment topLeft = Qt::AlignLeft | Qt::AlignTop;
    auto paragraph = [&](const QString& text) {
        return NewTextLabel(text, font11, paragraphColour, {}, topLeft, this);
    };
    auto title = [&](const QString& text, QColor colour) {
        return NewTextLabel(text, font(), ReadableOn(colour, background), {}, topLeft, this);
    };

    msgTemaSub1 = new Grid(2, false, this);
    cmdModori = new QPushButton(u"テーマと金額を決めて、さぁ 始めよう！"_s, this);
    cmdModori->setFont(font11);
    msgTemaSub2 = new Grid(2, false, this);
    msgTemaSub3 = new Grid(2, false, this);
    const std::array<QString, 3> titles = {u"テーマ例1 ～つもり貯金"_s, u"テーマ例2 家庭内賃金制"_s,
                                           u"テーマ例3 罰金徴収制"_s};
    PlaceControls({
        {msgTemaSub1, u"msgTemaSub1"_s, 150, 225, 4095, 1005, 1, {}},
        {cmdModori, u"cmdModori"_s, 4800, 2850, 4140, 540, 0, {}},
        {msgTemaSub2, u"msgTemaSub2"_s, 150, 1425, 4095, 1005, 8, {}},
        {msgTemaSub3, u"msgTemaSub3"_s, 150, 2625, 4095, 1005, 9, {}},
        {paragraph(u"「罰金徴収法」などもおもしろいと思います。"_s), u"Label1_6"_s, 4650, 2400, 4590, 315, -1, {}},
        {title(titles[2], QColor(0x80, 0x40, 0x00)), u"Label2_2"_s, 225, 2455, 2265, 240, -1, {}},
        {title(titles[1], QColor(0x00, 0x80, 0x00)), u"Label2_1"_s, 225, 1250, 2265, 240, -1, {}},
        {title(titles[0], QColor(0x00, 0x00, 0xC0)), u"Label2_0"_s, 225, 50, 2265, 240, -1, {}},
        {paragraph(u"罰則を定めて違反時にその金額を貯金にあてる"_s), u"Label1_5"_s, 4650, 2100, 4590, 315, -1, {}},
        {paragraph(u"いろんなことに価格設定する「家庭内賃金法」"_s), u"Label1_4"_s, 4650, 1800, 4515, 315, -1, {}},
        {paragraph(u"左のように　「～つもり貯金」や家庭内の"_s), u"Label1_3"_s, 4650, 1500, 4215, 315, -1, {}},
        {paragraph(u"その金額を貯金していく方法です。"_s), u"Label1_2"_s, 4650, 1050, 4440, 315, -1, {}},
        {paragraph(u"金額を割り振り、該当する出来事があるたびに"_s), u"Label1_1"_s, 4650, 750, 4365, 390, -1, {}},
        {paragraph(u"テーマを決めて、項目に自分の好きなように"_s), u"Label1_0"_s, 4650, 450, 4440, 390, -1, {}},
        {new Shape(ivory, palette().color(QPalette::WindowText), this, u"つもり貯金の説明"_s),
         u"Shape1"_s,
         4425,
         150,
         4905,
         3465,
         -1,
         {}},
    });
    // The example grids have no tooltip; a screen reader reads their titles.
    const std::array grids = {msgTemaSub1, msgTemaSub2, msgTemaSub3};
    for (std::size_t i = 0; i < grids.size(); ++i)
        grids[i]->setAccessibleName(titles[i]);
    // Each title stands whole above its grid, which is drawn over it: where the face's glyphs reach the grid,
    // the title moves up by as much.
    for (std::size_t i = 0; i < grids.size(); ++i) {
        auto* label = findChild<QLabel*>(u"Label2_%1"_s.arg(i), Qt::FindDirectChildrenOnly);
        const QFontMetrics metrics(label->font());
        const int glyphsBottom = label->y() + metrics.ascent() + metrics.tightBoundingRect(label->text()).bottom();
        if (const int overlap = glyphsBottom - grids[i]->y() + 1; overlap > 0)
            label->move(label->x(), std::max(0, label->y() - overlap));
    }
    CentreOnScreen(this);

    connect(cmdModori, &QPushButton::clicked, this, &frmSub::cmdModori_Click);
}

frmSub::~frmSub() = default;

void frmSub::Form_Load() {
    const std::array grids = {msgTemaSub1, msgTemaSub2, msgTemaSub3};
    for (std::size_t g = 0; g < grids.size(); ++g) {
        Grid* grid = grids[g];
        grid->setFontSize(9);
        grid->setRows(4);
        grid->setRow(0);
        grid->setCol(0);
        grid->setText(u"項目"_s);
        grid->setCol(1);
        grid->setText(u"金額"_s);
        for (int row = 1; row <= 3; ++row) {
            const Example& example = kExamples[g][static_cast<std::size_t>(row - 1)];
            grid->setRow(row);
            grid->setCol(0);
            grid->setText(QString::fromUtf16(example.item));
            grid->setCol(1);
            grid->setText(QString::fromUtf16(example.amount));
        }
        grid->setRow(0);
        grid->setColWidth(0, 3375);
        grid->setColWidth(1, 600);
        grid->setFixedAlignment(0, Grid::AlignCentre);
        grid->setFixedAlignment(1, Grid::AlignCentre);
        grid->setColAlignment(1, Grid::AlignRight);
    }
}

void frmSub::cmdModori_Click() {
    QWidget* over = parentWidget();
    close();
    messages::Show(m_dialogs, over, messages::Instructions());
}
