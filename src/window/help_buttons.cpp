// Help, the Pro edition's introduction and the end of the program: the three buttons of the top strip that
// do not touch the savings data.
#include "help/help_viewer.h"
#include "widgets/dialogs.h"
#include "window/fraMain.h"
#include "window/messages.h"

#include <QCoreApplication>

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
    HtmlHelp(this, HelpFile, Command::Display);
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
