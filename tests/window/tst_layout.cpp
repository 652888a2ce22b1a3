// Both windows read back, control by control, against their layout tables.
#include "app/app.h"
#include "testsupport.h"
#include "widgets/controls.h"
#include "widgets/grid.h"
#include "widgets/pictures.h"
#include "window/fraMain.h"
#include "window/frmSub.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFontInfo>
#include <QImageReader>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QToolButton>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// A colour from its red-green-blue hexadecimal value.
QColor Rgb(QRgb rgb) {
    return QColor::fromRgb(rgb);
}

struct Expected {
    QString name;
    const char* kind; // class name
    QString text;     // caption or label text
    int left, top, width, height;
    QString tooltip;
    QString family; // empty: the window's default font
    double points;
    QColor text_colour; // invalid: not set by the window
    QColor background;  // invalid: transparent, or not a label
    Qt::Alignment alignment;
    bool border;
};

const QString P = u"ＭＳ Ｐゴシック"_s;
const QString F = u"ＭＳ ゴシック"_s;
const QColor None;
constexpr Qt::Alignment L = Qt::AlignLeft, C = Qt::AlignHCenter, R = Qt::AlignRight, Any = {};
const QString Tema = u"ダブルクリックでテーマ名を変更できます"_s;

// From the top of the stacking order down.
// clang-format off
const std::vector<Expected> kMainWindow = {
    {u"prgMokuhyou"_s, "GoalBar", {}, 6000, 5130, 2835, 330, u"ダブルクリックで目標金額を変更できます"_s, P, 9, None, None, Any, false},
    {u"cmdSuii"_s, "QPushButton", {}, 8895, 5145, 315, 315, u"貯金の推移（F3）"_s, {}, 0, None, None, Any, false},
    {u"cmdChinClr2"_s, "QPushButton", {}, 5475, 4235, 315, 315, u"項目全クリア"_s, {}, 0, None, None, Any, false},
    {u"cmdEnd"_s, "QToolButton", u"終了"_s, 8475, 75, 840, 990, u"プログラムを終了します"_s, {}, 0, None, None, Any, false},
    {u"cmdsyoukai"_s, "QToolButton", u"プロ"_s, 7650, 75, 840, 990, u"ヘルプファイルを開きます"_s, {}, 0, None, None, Any, false},
    {u"txtChin_Inp"_s, "TextBox", {}, 5850, 4575, 990, 375, u"金額を入力してください"_s, P, 14.25, None, None, R, false},
    {u"cmdHelp"_s, "QToolButton", u"ヘルプ"_s, 6825, 75, 840, 990, u"ヘルプファイルを開きます"_s, {}, 0, None, None, Any, false},
    {u"cmdChinClr"_s, "QToolButton", u"クリア"_s, 6000, 75, 840, 990, u"これまでのデータを削除します"_s, {}, 0, None, None, Any, false},
    {u"cmdChinHozon"_s, "QToolButton", u"入金"_s, 5175, 75, 840, 990, u"表示中の項目と金額で貯金します"_s, {}, 0, None, None, Any, false},
    {u"txtChinKou"_s, "TextBox", {}, 825, 4200, 4590, 375, u"リストにない項目を入力、追加できます"_s, P, 12, None, None, L, false},
    {u"msgChingin"_s, "Grid", {}, 75, 1350, 9285, 2640, u"ダブルクリックで選択した行を削除できます"_s, P, 12, None, None, Any, false},
    {u"msgChinKou"_s, "Grid", {}, 75, 4575, 5715, 2070, u"ダブルクリックで選択した項目を削除できます"_s, P, 12, None, None, Any, false},
    {u"Label2"_s, "Label", u"でしっかり貯めよう！"_s, 6225, 6150, 2115, 240, {}, P, 11.25, QColor(), None, L, false},
    {u"lblTemaMei"_s, "Label", u"つもり貯金"_s, 6075, 5475, 2115, 615, Tema, P, 14.25, Rgb(0x800000), None, L, false},
    {u"Image2"_s, "Label", {}, 150, 75, 4665, 1050, {}, {}, 0, None, None, Any, false},
    {u"imgTema1"_s, "Label", {}, 8250, 5550, 960, 960, Tema, {}, 0, None, None, Any, false},
    {u"Label1_1"_s, "Label", u"項目"_s, 75, 4200, 765, 375, u"何のための貯金かを入れる項目の欄です。項目リストから選ぶか、入力してください"_s, P, 14.25, Rgb(0xFFFFFF), Rgb(0x800000), C, true},
    {u"Label1_2"_s, "Label", u"金額"_s, 5850, 4200, 990, 375, {}, P, 14.25, Rgb(0xFFFFFF), Rgb(0x800000), C, true},
    {u"lblChin_zen"_s, "Label", u"¥1,380"_s, 7800, 4575, 1515, 390, {}, F, 15.75, Rgb(0x000000), Rgb(0xFFFFF0), R, true},
    {u"lblChin_cnt"_s, "Label", u"2"_s, 7800, 4200, 1515, 390, {}, F, 15.75, Rgb(0x000000), Rgb(0xFFFFF0), R, true},
    {u"Label1_4"_s, "Label", u"合計"_s, 6900, 4575, 915, 390, {}, P, 15.75, Rgb(0xFFFFFF), Rgb(0x000080), C, true},
    {u"Label1_5"_s, "Label", u"回数"_s, 6900, 4200, 915, 390, {}, P, 15.75, Rgb(0xFFFFFF), Rgb(0x000080), C, true},
    // Lines: x1, y, x2.
    {u"Line1_1"_s, "QWidget", {}, 90, 1185, 9380, 0, {}, {}, 0, None, Rgb(0x808080), Any, false},
    {u"Line1_0"_s, "QWidget", {}, 90, 1200, 9380, 0, {}, {}, 0, None, Rgb(0xFFFFFF), Any, false},
    {u"Shape1"_s, "Shape", {}, 5925, 5100, 3440, 1575, {}, {}, 0, None, None, Any, false},
};

const std::vector<Expected> kStarterWindow = {
    {u"msgTemaSub1"_s, "Grid", {}, 150, 225, 4095, 1005, {}, P, 9, None, None, Any, false},
    {u"cmdModori"_s, "QPushButton", u"テーマと金額を決めて、さぁ 始めよう！"_s, 4800, 2850, 4140, 540, {}, P, 11.25, None, None, Any, false},
    {u"msgTemaSub2"_s, "Grid", {}, 150, 1425, 4095, 1005, {}, P, 9, None, None, Any, false},
    {u"msgTemaSub3"_s, "Grid", {}, 150, 2625, 4095, 1005, {}, P, 9, None, None, Any, false},
    {u"Label1_6"_s, "Label", u"「罰金徴収法」などもおもしろいと思います。"_s, 4650, 2400, 4590, 315, {}, P, 11.25, QColor(), None, L, false},
    {u"Label2_2"_s, "Label", u"テーマ例3 罰金徴収制"_s, 225, 2455, 2265, 240, {}, {}, 0, Rgb(0x804000), None, L, false},
    {u"Label2_1"_s, "Label", u"テーマ例2 家庭内賃金制"_s, 225, 1250, 2265, 240, {}, {}, 0, Rgb(0x008000), None, L, false},
    {u"Label2_0"_s, "Label", u"テーマ例1 ～つもり貯金"_s, 225, 50, 2265, 240, {}, {}, 0, Rgb(0x0000C0), None, L, false},
    {u"Label1_5"_s, "Label", u"罰則を定めて違反時にその金額を貯金にあてる"_s, 4650, 2100, 4590, 315, {}, P, 11.25, QColor(), None, L, false},
    {u"Label1_4"_s, "Label", u"いろんなことに価格設定する「家庭内賃金法」"_s, 4650, 1800, 4515, 315, {}, P, 11.25, QColor(), None, L, false},
    {u"Label1_3"_s, "Label", u"左のように　「～つもり貯金」や家庭内の"_s, 4650, 1500, 4215, 315, {}, P, 11.25, QColor(), None, L, false},
    {u"Label1_2"_s, "Label", u"その金額を貯金していく方法です。"_s, 4650, 1050, 4440, 315, {}, P, 11.25, QColor(), None, L, false},
    {u"Label1_1"_s, "Label", u"金額を割り振り、該当する出来事があるたびに"_s, 4650, 750, 4365, 390, {}, P, 11.25, QColor(), None, L, false},
    {u"Label1_0"_s, "Label", u"テーマを決めて、項目に自分の好きなように"_s, 4650, 450, 4440, 390, {}, P, 11.25, QColor(), None, L, false},
    {u"Shape1"_s, "Shape", {}, 4425, 150, 4905, 3465, {}, {}, 0, None, None, Any, false},
};
// clang-format on

QRect Pixels(int left, int top, int width, int height) {
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

// What a label's text is drawn over: its own background, the panel it lies on, or the window's.
QColor BackgroundOf(const QLabel& label) {
    if (label.autoFillBackground())
        return label.palette().color(QPalette::Window);
    for (const Shape* panel : label.parentWidget()->findChildren<Shape*>(Qt::FindDirectChildrenOnly))
        if (panel->geometry().contains(label.geometry()))
            return panel->fill();
    return label.parentWidget()->palette().color(QPalette::Window);
}

// Every property of every control in the table; the button text colour stands for a control whose text
// colour is that of the system. A designed colour that does not read on its background (WCAG AA) is drawn
// in the nearest one that does.
void CheckControls(QWidget& window, const std::vector<Expected>& table) {
    const QColor buttonText = window.palette().color(QPalette::ButtonText);
    for (const Expected& e : table) {
        auto* w = window.findChild<QWidget*>(e.name, Qt::FindDirectChildrenOnly);
        QVERIFY2(w, qPrintable(e.name));
        const QByteArray what = e.name.toUtf8();
        QVERIFY2(qstrcmp(w->metaObject()->className(), e.kind) == 0, what);
        if (e.kind == std::string_view("QWidget")) // a line, one pixel high
            QCOMPARE(w->geometry(), QRect(TwipsToPixels(e.left), TwipsToPixels(e.top),
                                          TwipsToPixels(e.width) - TwipsToPixels(e.left) + 1, 1));
        else if (e.name.startsWith(u"Label2_"_s) && qobject_cast<QDialog*>(&window)) {
            // The starter's example titles move up a pixel or two where the face would reach their grids.
            const QRect designed = Pixels(e.left, e.top, e.width, e.height);
            QVERIFY2(w->size() == designed.size() && w->x() == designed.x(), what);
            QVERIFY2(w->y() <= designed.y() && w->y() >= designed.y() - 3, what);
        } else
            QVERIFY2(w->geometry() == Pixels(e.left, e.top, e.width, e.height), what);
        QVERIFY2(w->toolTip() == e.tooltip, what);
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            QVERIFY2(b->text() == e.text, what);
        if (auto* l = qobject_cast<QLabel*>(w)) {
            QVERIFY2(l->text() == e.text, what);
            QVERIFY2(l->autoFillBackground() == e.background.isValid(), what);
            if (e.background.isValid())
                QVERIFY2(l->palette().color(QPalette::Window) == e.background, what);
            const QColor designed = e.text_colour.isValid() ? e.text_colour : buttonText;
            QVERIFY2(l->palette().color(QPalette::WindowText) == ReadableOn(designed, BackgroundOf(*l)), what);
            QVERIFY2(ContrastRatio(l->palette().color(QPalette::WindowText), BackgroundOf(*l)) >= 4.5, what);
            QVERIFY2((l->frameShape() != QFrame::NoFrame) == e.border, what);
        }
        if (e.alignment != Any) {
            const Qt::Alignment a = qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->alignment()
                                                             : qobject_cast<QLineEdit*>(w)->alignment();
            QVERIFY2((a & Qt::AlignHorizontal_Mask) == e.alignment, what);
        }
        if (e.kind == std::string_view("QWidget")) {
            QVERIFY2(w->autoFillBackground() && w->palette().color(QPalette::Window) == e.background, what);
        }
        const QFont font = w->font();
        QVERIFY2(font.family() == (e.family.isEmpty() ? P : e.family), what);
        QVERIFY2(qFuzzyCompare(font.pointSizeF(), e.points == 0 ? 9.0 : e.points), what);
        QVERIFY2(font.weight() == QFont::Normal && !font.italic() && !font.underline(), what);
        // The Windows faces are drawn with IPA's: proportional for one, fixed-pitch for the other.
        const QString drawn = QFontInfo(font).family();
        QVERIFY2(drawn == (font.family() == F ? u"IPAGothic"_s : u"IPAPGothic"_s), qPrintable(e.name + u' ' + drawn));
        if (w->focusPolicy() != Qt::NoFocus)
            QVERIFY2(!w->accessibleName().isEmpty(), what);
    }

    // Stacking: later siblings are drawn over earlier ones.
    QStringList fromTop;
    const QObjectList children = window.children();
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        if ((*it)->isWidgetType() && !(*it)->objectName().isEmpty())
            fromTop << (*it)->objectName();
    QStringList names;
    for (const Expected& e : table)
        names << e.name;
    QCOMPARE(fromTop, names);
}

// The controls the Tab key reaches, from the first.
QStringList TabSequence(QWidget* first) {
    QStringList names;
    QWidget* w = first;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            names << w->objectName();
        w = w->nextInFocusChain();
    } while (w != first && names.size() < 50);
    return names;
}

int OpaqueColours(const QString& file) {
    QImageReader reader(file);
    QSet<QRgb> colours;
    const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpApplication(*qApp); }
    void mainWindow();
    void starterWindow();
    void pictures();
    void gridColours();
    void everyTextReadsInLightAndDark();
};

void TestLayout::mainWindow() {
    ScopedWorkDir dir;
    WriteBytes("テーマ１.txt", Cp932(u"\"2026年12月07日\",\"タクシーを使ったつもり\",690\r\n"
                                     u"\"2026年12月07日\",\"タクシーを使ったつもり\",690\r\n"_s));
    WriteBytes("テーマ名１.txt", Cp932(u"\"つもり貯金\"\r\n"_s));
    ScriptedDialogs dialogs;
    fraMain w(dialogs);
    QVERIFY(LoadPastStarter(w));
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    QCOMPARE(w.windowTitle(), u"ツモっと貯めよう！"_s);
    QCOMPARE(w.size(), QSize(631, 452));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w.palette().color(QPalette::Window), w.palette().color(QPalette::Button));
    QVERIFY(w.autoFillBackground());
    const QPoint centre = w.screen()->availableGeometry().center();
    QVERIFY2((w.geometry().center() - centre).manhattanLength() <= 4, "not centred on the screen");
    QList<QSize> iconSizes = w.windowIcon().availableSizes();
    std::sort(iconSizes.begin(), iconSizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
    QCOMPARE(iconSizes, (QList<QSize>{{16, 16}, {32, 32}}));

    CheckControls(w, kMainWindow);
    QCOMPARE(
        TabSequence(w.cmdChinHozon),
        (QStringList{u"cmdChinHozon"_s, u"cmdChinClr"_s, u"cmdHelp"_s, u"cmdsyoukai"_s, u"cmdEnd"_s, u"msgChingin"_s,
                     u"txtChinKou"_s, u"txtChin_Inp"_s, u"msgChinKou"_s, u"cmdChinClr2"_s, u"cmdSuii"_s}));
    // The amount box takes digits straight from the keyboard; the item box goes through the input method.
    QVERIFY(!w.txtChin_Inp->testAttribute(Qt::WA_InputMethodEnabled));
    QVERIFY(w.txtChinKou->testAttribute(Qt::WA_InputMethodEnabled));
    QCOMPARE(w.cmdChinHozon->accessibleName(), u"入金"_s);
    QCOMPARE(w.cmdChinClr2->accessibleName(), u"項目全クリア"_s);
}

void TestLayout::starterWindow() {
    ScriptedDialogs dialogs;
    QWidget owner;
    frmSub s(dialogs, &owner);
    s.Form_Load();
    s.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s));
    QCOMPARE(s.windowTitle(), u"ツモっと始めてみよう！"_s);
    QCOMPARE(s.size(), QSize(631, 249));
    QCOMPARE(s.minimumSize(), s.maximumSize());
    QVERIFY(!(s.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));
    QVERIFY(s.windowFlags() & Qt::WindowCloseButtonHint);
    QCOMPARE(s.palette().color(QPalette::Window), s.palette().color(QPalette::Button));
    QCOMPARE(s.windowIcon().availableSizes(), QList<QSize>{QSize(32, 32)});
    const QPoint centre = s.screen()->availableGeometry().center();
    QVERIFY2((s.geometry().center() - centre).manhattanLength() <= 4, "not centred on the screen");
    CheckControls(s, kStarterWindow);
    QCOMPARE(TabSequence(s.cmdModori),
             (QStringList{u"cmdModori"_s, u"msgTemaSub1"_s, u"msgTemaSub2"_s, u"msgTemaSub3"_s}));
    QCOMPARE(s.focusWidget(), s.cmdModori);

    const std::vector<QStringList> examples = {
        {u"少年マガジンを買ったつもり"_s, u"¥230"_s, u"ムフフなビデオをレンタルしたつもり"_s, u"¥400"_s,
         u"タクシーを使ったつもり"_s, u"¥690"_s},
        {u"お風呂"_s, u"¥30"_s, u"晩酌"_s, u"¥50"_s, u"太鼓の達人（１曲）"_s, u"¥10"_s},
        {u"朝メシ抜いた"_s, u"¥50"_s, u"人前でオナラした"_s, u"¥30"_s, u"腕立て伏せしなかった"_s, u"¥20"_s},
    };
    const std::vector<Grid*> grids = {s.msgTemaSub1, s.msgTemaSub2, s.msgTemaSub3};
    for (std::size_t g = 0; g < grids.size(); ++g) {
        Grid& grid = *grids[g];
        QCOMPARE(grid.Rows(), 4);
        QCOMPARE(grid.Row(), 0);
        QStringList cells;
        for (int r = 1; r < 4; ++r)
            cells << grid.cell(r, 0) << grid.cell(r, 1);
        QCOMPARE(cells, examples[g]);
        QCOMPARE(grid.cell(0, 0) + grid.cell(0, 1), u"項目金額"_s);
        QCOMPARE(grid.colWidth(0), 3375);
        QCOMPARE(grid.colWidth(1), 600);
        QCOMPARE(grid.fixedAlignment(0), int(Grid::AlignCentre));
        QCOMPARE(grid.fixedAlignment(1), int(Grid::AlignCentre));
        QCOMPARE(grid.colAlignment(0), int(Grid::AlignLeft));
        QCOMPARE(grid.colAlignment(1), int(Grid::AlignRight));
        QVERIFY(!grid.hasFixedColumn());
        QCOMPARE(grid.Cols(), 2);
        // All three examples are seen at once, without scrolling.
        grid.flush();
        QVERIFY(!grid.verticalScrollBar()->isVisible() && !grid.horizontalScrollBar()->isVisible());
        QVERIFY(grid.visualRect(grid.model()->index(2, 1)).bottom() < grid.viewport()->height());
    }
}

// Each picture at the size and in the format it was drawn for, with no more colours than that allows.
void TestLayout::pictures() {
    struct Picture {
        QString file;
        QByteArray format;
        QList<QSize> sizes;
        int colours;
    };
    const std::vector<Picture> pictures = {
        {u"banner.gif"_s, "gif", {{311, 70}}, 256},      {u"theme.gif"_s, "gif", {{64, 64}}, 256},
        {u"deposit.ico"_s, "ico", {{32, 32}}, 16},       {u"clear.ico"_s, "ico", {{32, 32}}, 16},
        {u"help.ico"_s, "ico", {{32, 32}}, 16},          {u"end.ico"_s, "ico", {{32, 32}}, 16},
        {u"pro.ico"_s, "ico", {{32, 32}}, 256},          {u"clear_items.bmp"_s, "bmp", {{16, 16}}, 16},
        {u"app.ico"_s, "ico", {{32, 32}, {16, 16}}, 16}, {u"starter.ico"_s, "ico", {{32, 32}}, 256},
    };
    const QString drawn = qEnvironmentVariable("TSUMOTTO_PICTURES_DIR");
    QVERIFY2(!drawn.isEmpty(), "TSUMOTTO_PICTURES_DIR names resources/pictures");
    for (const Picture& p : pictures) {
        const QString file = drawn + u'/' + p.file;
        QImageReader reader(file);
        QCOMPARE(reader.format(), p.format);
        QList<QImage> frames;
        for (int i = 0; i < std::max(reader.imageCount(), 1); ++i) {
            reader.jumpToImage(i);
            const QImage image = reader.read();
            QVERIFY2(!image.isNull(), qPrintable(p.file));
            frames << image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        }
        std::stable_sort(frames.begin(), frames.end(),
                         [](const QImage& a, const QImage& b) { return a.width() > b.width(); });
        QList<QSize> sizes;
        for (const QImage& frame : frames)
            sizes << frame.size();
        QCOMPARE(sizes, p.sizes);
        const int colours = OpaqueColours(file);
        QVERIFY2(colours > 2 && colours <= p.colours, qPrintable(p.file + u": %1 colours"_s.arg(colours)));

        // The program shows the very pixels of the file, every frame of it.
        const QList<QImage> built = PictureFrames(p.file);
        QCOMPARE(built.size(), frames.size());
        for (qsizetype i = 0; i < frames.size(); ++i)
            QVERIFY2(built[i] == frames[i], qPrintable(p.file + u": frame %1 differs"_s.arg(i)));
    }
    QVERIFY(PictureFrames(u"none.ico").isEmpty());
    QVERIFY(PicturePixmap(u"none.ico").isNull());

    ScriptedDialogs dialogs;
    ScopedWorkDir dir;
    fraMain w(dialogs);
    for (QToolButton* b : {w.cmdChinHozon, w.cmdChinClr, w.cmdHelp, w.cmdsyoukai, w.cmdEnd}) {
        QCOMPARE(b->iconSize(), QSize(32, 32));
        QCOMPARE(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QVERIFY(b->icon().availableSizes().contains(QSize(32, 32)));
    }
    QCOMPARE(w.cmdChinClr2->icon().availableSizes(), QList<QSize>{QSize(16, 16)});
    QCOMPARE(w.imgTema1->pixmap().size(), QSize(64, 64));
    QCOMPARE(w.findChild<QLabel*>(u"Image2"_s)->pixmap().size(), QSize(311, 70));
}

// Grey beyond the last cell, light grey lines between data cells, window colours in them.
void TestLayout::gridColours() {
    ScopedWorkDir dir;
    WriteBytes("項目１.txt", Cp932(u"\"晩酌\",50\r\n\"お風呂\",30\r\n"_s));
    ScriptedDialogs dialogs;
    fraMain w(dialogs);
    QVERIFY(LoadPastStarter(w));
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Grid& grid = *w.msgChinKou;
    grid.flush();
    const QImage image = grid.viewport()->grab().toImage();
    const QRect cell = grid.visualRect(grid.model()->index(grid.Row() == 1 ? 1 : 0, 0)); // not the selected row
    QCOMPARE(QColor(image.pixel(5, image.height() - 5)), Rgb(0x808080));
    QCOMPARE(QColor(image.pixel(cell.center())), QApplication::palette().color(QPalette::Base));
    QCOMPARE(QColor(image.pixel(cell.right() + 1, cell.center().y())), Rgb(0xC0C0C0));
}

// Every text of both windows against what it is drawn over, in the light palette and in a dark one such as
// GTK's Adwaita-dark or qt6ct's dark schemes give: WCAG AA, 4.5:1.
void TestLayout::everyTextReadsInLightAndDark() {
    const QPalette light = QApplication::palette();
    const QPalette dark = DarkDesktopPalette();
    for (const QPalette& palette : {light, dark}) {
        QApplication::setPalette(palette);
        ScriptedDialogs dialogs;
        fraMain main(dialogs);
        frmSub starter(dialogs, &main);
        for (QWidget* window : std::initializer_list<QWidget*>{&main, &starter}) {
            for (const QLabel* label : window->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
                if (!label->pixmap().isNull())
                    continue;
                const double ratio = ContrastRatio(label->palette().color(QPalette::WindowText), BackgroundOf(*label));
                QVERIFY2(ratio >= 4.5, qPrintable(u"%1: %2"_s.arg(label->objectName()).arg(ratio)));
            }
        }
        // The grids' cells and headers are the system's own pairs.
        const QPalette p = QApplication::palette();
        QVERIFY(ContrastRatio(p.color(QPalette::Text), p.color(QPalette::Base)) >= 4.5);
        QVERIFY(ContrastRatio(p.color(QPalette::ButtonText), p.color(QPalette::Button)) >= 4.5);
    }
    QApplication::setPalette(light);
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
