// The savings goal: the goal file 目標１.txt, the bar prgMokuhyou on the main window, the celebration of the
// deposit that reaches it, and the chart window that the button cmdSuii and F3 open.
#include "records/goal_file.h"
#include "records/month_totals.h"
#include "window/ledger.h"

#include "widgets/controls.h"
#include "widgets/dialogs.h"
#include "widgets/goal_bar.h"
#include "widgets/text_convert.h"
#include "window/chart_window.h"
#include "window/fraMain.h"
#include "window/messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using records::Currency;
using records::MoneyTextFault;
using records::Status;

const char* const fraMain::kGoalFile = "目標１.txt";

void fraMain::ShowGoal() {
    if (!m_ledgerWhole)
        prgMokuhyou->showUnknown(u"貯金の記録を読み込めません"_s);
    else if (!m_goalWhole)
        prgMokuhyou->showUnknown(u"%1 を読み込めません"_s.arg(QString::fromUtf8(kGoalFile)));
    else
        prgMokuhyou->showGoal(Mokuhyou, ChinZen);
}

bool fraMain::loadGoal() {
    const records::GoalRead read = records::ReadGoalFile(kGoalFile);
    m_goalKnown = read.identity;
    m_goalWhole = read.status.ok();
    Mokuhyou = read.goal;
    ShowGoal();
    emit GoalChanged();
    if (!m_goalWhole)
        warnFileFailure(kGoalFile, read.status, true);
    return m_goalWhole;
}

bool fraMain::ensureGoalWhole() {
    return m_goalWhole || loadGoal();
}

bool fraMain::SaveGoal(const QString& typed) {
    const QString text = typed.trimmed();
    std::optional<Currency> goal;
    if (!text.isEmpty()) {
        switch (records::CheckMoneyText(toUtf8(text))) {
        case MoneyTextFault::None:
            break;
        case MoneyTextFault::NotAnAmount:
            warnEntry(u"目標金額は数字で入力してください。"_s);
            return false;
        case MoneyTextFault::TooManyFractionDigits:
            warnEntry(u"金額は小数点以下 4 桁までで入力してください。"_s);
            return false;
        case MoneyTextFault::OutOfRange:
            warnEntry(u"金額が大きすぎます。922,337,203,685,477 円までで入力してください。"_s);
            return false;
        }
        goal = records::ParseMoney(toUtf8(text));
        if (*goal < Currency()) {
            warnEntry(u"目標金額には 0 より大きい金額を入力してください。"_s);
            return false;
        }
        if (*goal == Currency()) // 0 takes the goal away, as an empty field does
            goal.reset();
    }
    // The goal is written over a goal file that read whole, and that no other program has changed since.
    if (!ensureGoalWhole() || !unchangedOutside({DataFile::Goal}))
        return false;
    if (goal == Mokuhyou)
        return true;
    if (!goal) {
        const QString question = u"目標金額 %1 を取り消してもいいですか？\r\n"_s.arg(
            fromUtf8(records::FormatMoney(Mokuhyou.value_or(Currency()))));
        if (!confirmDeletion(question) || !unchangedOutside({DataFile::Goal}))
            return false;
    }
    records::FileIdentity written;
    const Status status = records::WriteGoalFile(kGoalFile, goal, m_goalKnown, written);
    if (followedChange(DataFile::Goal, status))
        return false;
    if (!status) {
        warnFileFailure(kGoalFile, status, false);
        return false;
    }
    m_goalKnown = written;
    Mokuhyou = goal;
    ShowGoal();
    emit GoalChanged();
    return true;
}

void fraMain::prgMokuhyou_DblClick() {
    const QString typed =
        m_dialogs.input(this, u"目標金額を入力してください（0 で目標を取り消します）"_s, u"目標金額入力"_s);
    if (typed.isEmpty()) // Cancel, as for the theme name
        return;
    (void)SaveGoal(typed);
}

void fraMain::celebrateGoal(Currency before) {
    if (!Mokuhyou || !m_goalWhole || before >= *Mokuhyou || ChinZen < *Mokuhyou)
        return;
    messages::Show(m_dialogs, this, messages::GoalReached(fromUtf8(records::FormatMoney(*Mokuhyou))));
}

void fraMain::cmdSuii_Click() {
    if (!m_chart)
        m_chart = new frmSuii(*this, m_dialogs);
    m_chart->showBesideOwner();
}

frmSuii* fraMain::chartWindow() const {
    return m_chart;
}

bool fraMain::ledgerAsFileHoldsIt() {
    return ensureLedgerWhole() && unchangedOutside({DataFile::Ledger});
}

bool fraMain::NamesDataFile(const QString& path) {
    const QFileInfo info(path);
    const bool inDataFolder = QFileInfo(info.absolutePath()).canonicalFilePath() == QDir::current().canonicalPath();
    const std::string entry = QFile::encodeName(info.fileName()).toStdString();
    struct stat st {};
    const bool exists = stat(QFile::encodeName(path).constData(), &st) == 0;
    for (const char* name : {kLedgerFile, kItemFile, kThemeFile, kGoalFile}) {
        if (inDataFolder && records::StandsForDataFile(entry, name))
            return true;
        const records::FileIdentity file = records::IdentifyDataFile(name);
        if (exists && file.present() && file.device == st.st_dev && file.inode == st.st_ino)
            return true;
    }
    return false;
}
