// Help, the Pro edition's introduction and the end of the program: the three buttons of the top strip that
// do not touch the savings data.
#include "help/help_viewer.h"
#include "widgets/dialogs.h"
#include "window/fraMain.h"
#include "window/messages.h"

#include <QCoreApplication>
#include <QDir>

using namespace Qt::StringLiterals;
using help::Command;
using help::HtmlHelp;

void fraMain::cmdHelp_Click() {
    HelpFile = u"kzHelp.chm"_s;
    HtmlHelp(this, HelpFile, Command::Display);
}

void fraMain::cmdsyoukai_Click() {
    messages::Show(m_dialogs, this, messages::ProIntroduction());
    HelpFile = u"TsproHelp.chm"_s;
    if (HtmlHelp(this, HelpFile, Command::Display))
        return;
    // The Pro edition's help comes with the Pro edition, not with this program: say so rather than nothing.
    const QString installed =
        QDir::toNativeSeparators(QDir::cleanPath(QCoreApplication::applicationDirPath() + u"/../share/tsumotto"_s));
    const bool present = !help::FindHelpFile(HelpFile).isEmpty();
    messages::Show(
        m_dialogs, this,
        messages::ProHelpMissing(HelpFile, present, QDir::toNativeSeparators(QDir::currentPath()), installed));
}

void fraMain::cmdEnd_Click() {
    HelpFile = u"kzHelp.chm"_s;
    HtmlHelp(this, HelpFile, Command::CloseAll);
    HelpFile = u"TsproHelp.chm"_s;
    HtmlHelp(this, HelpFile, Command::CloseAll);
    // Every operation has written its files before it returned: nothing is asked and nothing is written.
    hide();
    QCoreApplication::exit(0);
}
