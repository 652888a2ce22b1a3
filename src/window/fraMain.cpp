// The main window: its controls, laid out from one table, its event wiring in one table, and the start-up.
#include "window/fraMain.h"

#include "records/trash.h"
#include "widgets/controls.h"
#include "widgets/dialogs.h"
#include "widgets/goal_bar.h"
#include "widgets/grid.h"
#include "widgets/pictures.h"
#include "widgets/text_convert.h"
#include "window/folder_watch.h"
#include "window/frmSub.h"
#include "window/ledger.h"
#include "window/messages.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// The data files, together: the ledger, the item list and the theme name.
const char* const fraMain::kLedgerFile = "テーマ１.txt";
const char* const fraMain::kLedgerFileInput = "テーマ１.TXT";
const char* const fraMain::kItemFile = "項目１.txt";
const char* const fraMain::kThemeFile = "テーマ名１.txt";

namespace {

// The client area, in twips: 15 twips are one device-independent pixel.
constexpr int kClientWidth = 9465;
constexpr int kClientHeight = 6780;

const QColor kWhite(0xFF, 0xFF, 0xFF);
const QColor kBlack(0x00, 0x00, 0x00);
const QColor kMaroon(0x80, 0x00, 0x00);
const QColor kNavy(0x00, 0x00, 0x80);
const QColor kIvory(0xFF, 0xFF, 0xF0);
const QColor kGrey(0x80, 0x80, 0x80);

// A header or total label: coloured, with a single-line border.
Label* NewBoxLabel(const QString& text, const QFont& font, const QColor& textColour, const QColor& background,
                   Qt::Alignment alignment, QWidget* parent) {
    Label* label = NewTextLabel(text, font, textColour, background, alignment | Qt::AlignVCenter, parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(1);
    return label;
}

Label* NewPicture(QStringView picture, QWidget* parent) {
    auto* label = new Label(parent);
    label->setPixmap(PicturePixmap(picture));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// A screen reader knows the main window as a frame, the role of an application's window.
QAccessibleInterface* MainWindowAccessible(const QString&, QObject* object) {
    if (auto* window = qobject_cast<fraMain*>(object))
        return new QAccessibleWidget(window, QAccessible::Window);
    return nullptr;
}

} // namespace

fraMain::fraMain(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_dialogs(dialogs), m_clock(records::TodayLocal), m_ledgerRows(std::make_unique<LedgerRows>()) {
    static const bool accessible = (QAccessible::installFactory(MainWindowAccessible), true);
    Q_UNUSED(accessible);
    setObjectName(u"fraMain"_s);
    setWindowTitle(u"ツモっと貯めよう！"_s);
    setWindowIcon(PictureIcon(u"app.ico"));
    // The captions of the five large buttons, and the face the other fonts fall back to.
    setFont(GothicFont(kProportionalGothic, 9));
    SetUpFixedWindow(this, kClientWidth, kClientHeight);
    createControls();
    // The ledger's row numbers, dates, items and running totals, made from its rows when they are shown; the
    // grid keeps only the amounts, for the width of their column.
    msgChingin->setComputedColumn(0, {[](int row) { return QString::number(row); }, {}});
    // Every row number the ledger reaches and every date show whole: their columns take the room they need
    // from the items', whose cut texts end with an ellipsis and are whole in their tooltips.
    msgChingin->setFitsText(0, QString::number(kMaxDeposits), 2);
    msgChingin->setFitsText(1, u"0000年00月00日"_s, 2);
    msgChingin->setComputedColumn(1, {[this](int row) { return m_ledgerRows->dateShown(row); }, {}});
    msgChingin->setComputedColumn(2, {[this](int row) { return m_ledgerRows->itemShown(row); }, {}});
    msgChingin->setComputedColumn(4, {[this](int row) {
                                          return row <= m_ledgerRows->count()
                                                     ? fromUtf8(records::FormatMoney(m_ledgerRows->at(row).total))
                                                     : QString();
                                      },
                                      [this] { return fromUtf8(records::FormatMoney(m_ledgerRows->widestTotal())); }});
    wireEvents();
}

fraMain::~fraMain() = default;

void fraMain::createControls() {
    const QFont font9 = GothicFont(kProportionalGothic, 9);
    const QFont font11 = GothicFont(kProportionalGothic, 11.25);
    const QFont font12 = GothicFont(kProportionalGothic, 12);
    const QFont font14 = GothicFont(kProportionalGothic, 14.25);
    const QFont font15 = GothicFont(kProportionalGothic, 15.75);
    const QColor buttonText = palette().color(QPalette::ButtonText);

    cmdChinClr2 = new QPushButton(this);
    cmdChinClr2->setIcon(PictureIcon(u"clear_items.bmp"));
    cmdChinClr2->setIconSize(QSize(16, 16));
    // The way to the goal and the button to the chart, in the strip of the ivory panel above the theme name.
    prgMokuhyou = new GoalBar(this);
    cmdSuii = new QPushButton(this);
    cmdSuii->setIcon(ChartIcon());
    cmdSuii->setIconSize(QSize(16, 16));
    cmdEnd = NewPictureButton(u"終了"_s, u"end.ico", this);
    cmdsyoukai = NewPictureButton(u"プロ"_s, u"pro.ico", this);
    txtChin_Inp = new TextBox(this);
    txtChin_Inp->setFont(GothicFont(kProportionalGothic, 14.25));
    txtChin_Inp->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Digits go straight in: no input method on the amount box.
    txtChin_Inp->setAttribute(Qt::WA_InputMethodEnabled, false);
    txtChin_Inp->setInputMethodHints(Qt::ImhPreferNumbers | Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
    cmdHelp = NewPictureButton(u"ヘルプ"_s, u"help.ico", this);
    cmdChinClr = NewPictureButton(u"クリア"_s, u"clear.ico", this);
    cmdChinHozon = NewPictureButton(u"入金"_s, u"deposit.ico", this);
    txtChinKou = new TextBox(this);
    txtChinKou->setFont(font12);
    txtChinKou->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Items are typed in Japanese: the input method stays on, with no hint that would turn it to Latin.
    txtChinKou->setAttribute(Qt::WA_InputMethodEnabled, true);
    txtChinKou->setInputMethodHints(Qt::ImhNone);
    txtChinKou->setValidator(new StorableTextValidator(txtChinKou));
    msgChingin = new Grid(5, true, this);
    msgChinKou = new Grid(2, false, this);
    msgChingin->setFont(font9);
    msgChinKou->setFont(font9);
    // Amounts of millions are shown whole: their columns take room from the item column as they need it.
    msgChingin->setWidensForAmounts(3, 2);
    msgChingin->setWidensForAmounts(4, 2);
    msgChinKou->setWidensForAmounts(1, 0);
    // On the ivory panel, in the button text colour where that reads on ivory (a dark desktop's does not).
    auto* label2 = NewTextLabel(u"でしっかり貯めよう！"_s, font11, ReadableOn(buttonText, kIvory), QColor(),
                                Qt::AlignLeft | Qt::AlignTop, this);
    label2->setFit(Label::Fit::OneLine); // the design face is wider than its room with IPA's Gothic
    lblTemaMei = NewTextLabel(QString(), font14, kMaroon, QColor(), Qt::AlignLeft | Qt::AlignTop, this);
    // A long theme wraps, in smaller type as far as that stays legible; past that it ends with an ellipsis.
    lblTemaMei->setFit(Label::Fit::Lines);
    lblTemaMei->setAccessibleName(messages::NoThemeName());
    auto* image2 = NewPicture(u"banner.gif", this);
    imgTema1 = NewPicture(u"theme.gif", this);
    auto* label1_1 = NewBoxLabel(u"項目"_s, font14, kWhite, kMaroon, Qt::AlignHCenter, this);
    auto* label1_2 = NewBoxLabel(u"金額"_s, font14, kWhite, kMaroon, Qt::AlignHCenter, this);
    const QFont fixed15 = GothicFont(kFixedGothic, 15.75);
    auto* zen = NewBoxLabel(QString(), fixed15, kBlack, kIvory, Qt::AlignRight, this);
    auto* cnt = NewBoxLabel(QString(), fixed15, kBlack, kIvory, Qt::AlignRight, this);
    zen->setShrinksToFit(true); // a total of millions is shown whole, in a smaller face
    cnt->setShrinksToFit(true);
    lblChin_zen = zen;
    lblChin_cnt = cnt;
    auto* label1_4 = NewBoxLabel(u"合計"_s, font15, kWhite, kNavy, Qt::AlignHCenter, this);
    auto* label1_5 = NewBoxLabel(u"回数"_s, font15, kWhite, kNavy, Qt::AlignHCenter, this);
    // A grey line over a white one: a groove under the top strip.
    QWidget* line1_1 = NewLine(90, 9380, 1185, kGrey, this);
    QWidget* line1_0 = NewLine(90, 9380, 1200, kWhite, this);
    auto* shape1 = new Shape(kIvory, kBlack, this, u"テーマの枠"_s);

    const QString themeTip = u"ダブルクリックでテーマ名を変更できます"_s;
    PlaceControls({
        {prgMokuhyou, u"prgMokuhyou"_s, 6000, 5130, 2835, 330, -1, u"ダブルクリックで目標金額を変更できます"_s,
         u"目標"_s},
        {cmdSuii, u"cmdSuii"_s, 8895, 5145, 315, 315, 16, u"貯金の推移（F3）"_s, u"貯金の推移"_s},
        {cmdChinClr2, u"cmdChinClr2"_s, 5475, 4235, 315, 315, 15, u"項目全クリア"_s, u"項目全クリア"_s},
        {cmdEnd, u"cmdEnd"_s, 8475, 75, 840, 990, 4, u"プログラムを終了します"_s},
        {cmdsyoukai, u"cmdsyoukai"_s, 7650, 75, 840, 990, 3, u"ヘルプファイルを開きます"_s},
        {txtChin_Inp, u"txtChin_Inp"_s, 5850, 4575, 990, 375, 13, u"金額を入力してください"_s, u"金額"_s},
        {cmdHelp, u"cmdHelp"_s, 6825, 75, 840, 990, 2, u"ヘルプファイルを開きます"_s},
        {cmdChinClr, u"cmdChinClr"_s, 6000, 75, 840, 990, 1, u"これまでのデータを削除します"_s},
        {cmdChinHozon, u"cmdChinHozon"_s, 5175, 75, 840, 990, 0, u"表示中の項目と金額で貯金します"_s},
        {txtChinKou, u"txtChinKou"_s, 825, 4200, 4590, 375, 10, u"リストにない項目を入力、追加できます"_s, u"項目"_s},
        {msgChingin, u"msgChingin"_s, 75, 1350, 9285, 2640, 9, u"ダブルクリックで選択した行を削除できます"_s,
         u"貯金の記録"_s},
        {msgChinKou, u"msgChinKou"_s, 75, 4575, 5715, 2070, 14, u"ダブルクリックで選択した項目を削除できます"_s,
         u"項目リスト"_s},
        {label2, u"Label2"_s, 6225, 6150, 2115, 240, -1, {}},
        {lblTemaMei, u"lblTemaMei"_s, 6075, 5475, 2115, 615, -1, themeTip},
        {image2, u"Image2"_s, 150, 75, 4665, 1050, -1, {}, u"ツモっと貯めよう！"_s},
        {imgTema1, u"imgTema1"_s, 8250, 5550, 960, 960, -1, themeTip, u"テーマのイラスト"_s},
        {label1_1, u"Label1_1"_s, 75, 4200, 765, 375, -1,
         u"何のための貯金かを入れる項目の欄です。項目リストから選ぶか、入力してください"_s},
        {label1_2, u"Label1_2"_s, 5850, 4200, 990, 375, -1, {}},
        {lblChin_zen, u"lblChin_zen"_s, 7800, 4575, 1515, kTotalHeight, -1, {}},
        {lblChin_cnt, u"lblChin_cnt"_s, 7800, 4200, 1515, 390, -1, {}},
        {label1_4, u"Label1_4"_s, 6900, 4575, 915, 390, -1, {}},
        {label1_5, u"Label1_5"_s, 6900, 4200, 915, 390, -1, {}},
        {line1_1, u"Line1_1"_s, 0, 0, -1, 0, -1, {}},
        {line1_0, u"Line1_0"_s, 0, 0, -1, 0, -1, {}},
        {shape1, u"Shape1"_s, 5925, 5100, 3440, 1575, -1, {}},
    });
    // A screen reader hears each header with what it names: the boxes by their headers, the values by theirs.
    label1_1->setBuddy(txtChinKou);
    label1_2->setBuddy(txtChin_Inp);
    label1_5->setBuddy(lblChin_cnt);
    label1_4->setBuddy(lblChin_zen);
    // Without a caption the button is called by its tooltip, so it is described by what it does.
    cmdChinClr2->setAccessibleDescription(u"登録されている項目を全て削除します"_s);
    cmdSuii->setAccessibleDescription(u"貯金の推移と目標までの見込みをグラフで表示します"_s);
}

// Every event the main window handles, and the operation it runs.
void fraMain::wireEvents() {
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{cmdChinHozon, cmdChinClr, cmdHelp,
                                                                           cmdsyoukai, cmdEnd, cmdChinClr2, cmdSuii})
        PressOnEnter(button);
    connect(cmdChinHozon, &QToolButton::clicked, this, &fraMain::cmdChinHozon_Click);
    connect(txtChinKou, &TextBox::KeyPress, this, &fraMain::txtChinKou_KeyPress);
    connect(txtChin_Inp, &TextBox::KeyPress, this, &fraMain::txtChin_Inp_KeyPress);
    connect(cmdChinClr, &QToolButton::clicked, this, &fraMain::cmdChinClr_Click);
    connect(msgChingin, &Grid::DblClick, this, &fraMain::msgChingin_DblClick);
    connect(msgChingin, &Grid::DeleteKey, this, &fraMain::msgChingin_DblClick);
    connect(msgChinKou, &Grid::Click, this, &fraMain::msgChinKou_Click);
    connect(msgChinKou, &Grid::PickKey, this, &fraMain::msgChinKou_Click);
    connect(msgChinKou, &Grid::DblClick, this, &fraMain::msgChinKou_DblClick);
    connect(msgChinKou, &Grid::DeleteKey, this, &fraMain::msgChinKou_DblClick);
    connect(cmdChinClr2, &QPushButton::clicked, this, &fraMain::cmdChinClr2_Click);
    connect(imgTema1, &Label::DblClick, this, &fraMain::imgTema1_DblClick);
    connect(lblTemaMei, &Label::DblClick, this, &fraMain::lblTemaMei_DblClick);
    connect(new QShortcut(QKeySequence(Qt::Key_F2), this), &QShortcut::activated, this, &fraMain::imgTema1_DblClick);
    connect(cmdHelp, &QToolButton::clicked, this, &fraMain::cmdHelp_Click);
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this, &fraMain::cmdHelp_Click);
    connect(cmdsyoukai, &QToolButton::clicked, this, &fraMain::cmdsyoukai_Click);
    connect(cmdEnd, &QToolButton::clicked, this, &fraMain::cmdEnd_Click);
    connect(prgMokuhyou, &GoalBar::DblClick, this, &fraMain::prgMokuhyou_DblClick);
    connect(cmdSuii, &QPushButton::clicked, this, &fraMain::cmdSuii_Click);
    connect(new QShortcut(QKeySequence(Qt::Key_F3), this), &QShortcut::activated, this, &fraMain::cmdSuii_Click);
}

bool fraMain::Form_Load() {
    m_starting = true;
    if (!checkDataFileNames())
        return false;
    InitLedgerGrid();
    InitItemGrid();
    if (!LoadLedger() || !LoadItemsAndTheme())
        return false;
    if (m_createLedger) {
        m_createLedger = false;
        const records::FileIdentity none;
        const records::Status created = records::EmptyFile(kLedgerFile, &none, &m_ledgerKnown);
        if (created.code() == records::Status::Code::Changed) { // another program made it meanwhile: show it
            InitLedgerGrid();
            if (!LoadLedger())
                return false;
            m_createLedger = false; // and if it has gone again, the first deposit makes it
        } else if (!created) {
            warnFileFailure(kLedgerFile, created, false);
            return false;
        }
    }
    m_starting = false;
    (void)loadGoal(); // a goal file that does not read is told of, and the program goes on without a goal
    tidyDataFolder();
    startWatching();
    txtChinKou->setText(QString());
    txtChin_Inp->setText(QString());
    CentreOnScreen(this);
    show();
    activateWindow();
    if (msgChingin->Rows() == 1)
        showStarterWindow();
    txtChinKou->setFocus();
    return true;
}

bool fraMain::checkDataFileNames() {
    for (const char* name : {kLedgerFile, kItemFile, kThemeFile}) {
        const records::DataFileLookup lookup = records::LookUpDataFile(name);
        if (lookup.status.code() == records::Status::Code::NotAFile) {
            warnNotAFile(name, lookup);
            return false;
        }
        if (lookup.status.code() == records::Status::Code::Ambiguous) {
            warnFileFailure(name, lookup.status, true);
            return false;
        }
    }
    return true;
}

void fraMain::warnNotAFile(const char* fileName, const records::DataFileLookup& lookup) {
    messages::Show(m_dialogs, this,
                   messages::NotAFile(fileName, lookup.notAFile, lookup.notAFileKind == records::EntryKind::Directory));
}

void fraMain::tidyDataFolder() {
    QStringList told;
    for (const char* name : {kLedgerFile, kItemFile, kThemeFile, kGoalFile}) {
        const records::DataFileLookup lookup = records::LookUpDataFile(name);
        if (!lookup.status || lookup.unusedEmpty.empty())
            continue;
        QStringList removed;
        for (const std::string& entry : lookup.unusedEmpty) {
            // Still empty and of one name, as it was found: what was written there since is kept.
            struct stat st {};
            if (lstat(entry.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 && st.st_nlink == 1 &&
                ::unlink(entry.c_str()) == 0)
                removed << messages::EntryShown(entry);
        }
        // Both by their names in the folder: spellings that differ only in letter case, or in how the name is
        // written, must be told apart.
        if (!removed.isEmpty())
            told << messages::RemovedEmptySpellings(name, messages::EntryShown(lookup.used), removed);
    }
    const std::array<std::string_view, 4> names = {kLedgerFile, kItemFile, kThemeFile, kGoalFile};
    (void)records::RemoveLeftoverTemporaries(names);
    if (!told.isEmpty())
        messages::Show(m_dialogs, this, messages::DataFolderTidied(told));
}

const char* fraMain::fileName(DataFile file) {
    switch (file) {
    case DataFile::Ledger:
        return kLedgerFile;
    case DataFile::Items:
        return kItemFile;
    case DataFile::Theme:
        return kThemeFile;
    case DataFile::Goal:
        break;
    }
    return kGoalFile;
}

records::FileIdentity& fraMain::known(DataFile file) {
    switch (file) {
    case DataFile::Ledger:
        return m_ledgerKnown;
    case DataFile::Items:
        return m_itemsKnown;
    case DataFile::Theme:
        return m_themeKnown;
    case DataFile::Goal:
        break;
    }
    return m_goalKnown;
}

bool fraMain::unchangedOutside(std::initializer_list<DataFile> files, bool refused) {
    bool anyChanged = false;
    QStringList changed;
    for (const DataFile file : files) {
        // A list that did not read whole shows nothing to keep apart from the file: it is read before it is used.
        if ((file == DataFile::Ledger && !m_ledgerWhole) || (file == DataFile::Items && !m_itemsWhole) ||
            (file == DataFile::Goal && !m_goalWhole))
            continue;
        if (records::IdentifyDataFile(fileName(file)) != known(file)) {
            anyChanged = true;
            if (followOutside(file)) // one that did not read has been told of already
                changed << QString::fromUtf8(fileName(file));
        }
    }
    if (!changed.isEmpty())
        tellChangedOutside(changed, refused);
    return !anyChanged;
}

bool fraMain::followedChange(DataFile file, const records::Status& status) {
    if (status.code() != records::Status::Code::Changed)
        return false;
    if (followOutside(file))
        tellChangedOutside({QString::fromUtf8(fileName(file))}, true);
    return true;
}

bool fraMain::followOutside(DataFile file) {
    m_followingOutside = true;
    bool whole = false;
    switch (file) {
    case DataFile::Ledger:
        InitLedgerGrid();
        whole = LoadLedger();
        break;
    case DataFile::Items:
        InitItemGrid();
        whole = loadItems();
        break;
    case DataFile::Theme:
        whole = loadTheme();
        break;
    case DataFile::Goal:
        whole = loadGoal();
        break;
    }
    m_followingOutside = false;
    return whole;
}

void fraMain::tellChangedOutside(const QStringList& names, bool refused) {
    messages::Show(m_dialogs, this, messages::ChangedOutside(names, refused));
}

void fraMain::startWatching() {
    if (!m_watch) {
        m_watch = new FolderWatch(this);
        connect(m_watch, &FolderWatch::changed, this, &fraMain::dataFolderChanged);
    }
    if (!m_watch->start())
        return;
    std::vector<std::string> files;
    for (const char* name : {kLedgerFile, kItemFile, kThemeFile, kGoalFile})
        if (std::string used = records::ResolveDataFileName(name); !used.empty())
            files.push_back(std::move(used));
    m_watch->watchFiles(files);
}

void fraMain::dataFolderChanged() {
    if (QWidget* box = QApplication::activeModalWidget()) {
        // What a box asks about stays as it is until it is answered; the operation that opened it checks its
        // files before it writes them.
        if (m_waitingFor != box) {
            if (m_waitingFor)
                m_waitingFor->removeEventFilter(this);
            m_waitingFor = box;
            box->installEventFilter(this);
        }
        return;
    }
    for (const DataFile file : {DataFile::Ledger, DataFile::Items, DataFile::Theme, DataFile::Goal})
        if (records::IdentifyDataFile(fileName(file)) != known(file))
            (void)followOutside(file);
    startWatching(); // the files the names stand for now
}

bool fraMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_waitingFor && (event->type() == QEvent::Hide || event->type() == QEvent::Close)) {
        m_waitingFor->removeEventFilter(this);
        m_waitingFor = nullptr;
        // After the operation that opened the box has finished.
        QMetaObject::invokeMethod(this, &fraMain::dataFolderChanged, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void fraMain::showStarterWindow() {
    frmSub starter(m_dialogs, this);
    starter.Form_Load();
    starter.exec(); // until its button's handler, instructions included, or its close box has closed it
}

bool fraMain::confirmDeletion(const QString& question) {
    return messages::Show(m_dialogs, this, messages::ConfirmDeletion(question)) == Dialogs::Answer::Ok;
}

int fraMain::rowToDelete(Grid* grid, DataFile file, const messages::Message& lastRow) {
    const bool ledger = file == DataFile::Ledger;
    if (!(ledger ? m_ledgerWhole : m_itemsWhole)) { // the rows of a list that did not read whole are not there
        (void)(ledger ? ensureLedgerWhole() : ensureItemsWhole());
        return 0;
    }
    if (!unchangedOutside({file}) || grid->Rows() == 1) // the row picked is of what the file held
        return 0;
    if (grid->Rows() == 2) {
        messages::Show(m_dialogs, this, lastRow);
        return 0;
    }
    return std::max(grid->Row(), 0);
}

bool fraMain::keepInTrash(const char* fileName) {
    const records::TrashedCopy copy = records::CopyToTrash(fileName);
    if (copy.status)
        return true;
    return messages::Show(m_dialogs, this, messages::TrashRefused(fileName, copy.status)) == Dialogs::Answer::Ok;
}

void fraMain::warnFileFailure(const char* fileName, const records::Status& status, bool reading) {
    messages::Then then = messages::Then::Nothing;
    if (m_starting)
        then = messages::Then::ProgramEnds;
    else if (reading && fileName != kThemeFile) // a theme name is written whole from what the user types
        then = messages::Then::NothingWrittenUntilRead;
    messages::Show(m_dialogs, this, messages::FileFailure(fileName, status, reading, then));
}

void fraMain::warnTornFile(const char* fileName, const records::Status& status) {
    messages::Show(m_dialogs, this, messages::TornFile(fileName, status.line()));
}
