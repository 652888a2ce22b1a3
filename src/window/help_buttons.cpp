// Help, the Pro edition's introduction and the end of the program: the three buttons of the top strip that
// do not touch the savings data.
#include "help/help_viewer.h"
#include "widgets/dialogs.h"
#include "window/fraMain.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;
using help::Command;
using help::HtmlHelp;

void fraMain::cmdHelp_Click() {
    HelpFile = u"kzHelp.chm"_s;
    HtmlHelp(this, HelpFile, Command::Display);
}

void fraMain::cmdsyoukai_Click() {
    const QString crlf = u"\r\n"_s;
    const QString text = u"貯蓄成果をより詳細に把握したい場合は「ツモっと貯金！Ｐｒｏ」をぜひどうぞ！"_s + crlf + crlf +
                         u"ツモっと貯金！三兄弟、まいにち一歩と端数ためとけ、つもりで一直線！の詰め合わせです。"_s +
                         crlf + u"それぞれの貯金データを利用して、グラフや一覧で貯蓄状況を表示できる機能があり"_s +
                         crlf + u"やる気と継続する力をより強力にサポートします。"_s + crlf + crlf +
                         u"どんなことができるソフトなのかはツモっと貯金！Ｐｒｏのヘルプをぜひご覧ください。"_s;
    m_dialogs.message(this, text, u"ツモっと貯金！Ｐｒｏのご紹介"_s, Dialogs::Buttons::Ok, Dialogs::Icon::Information);
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
