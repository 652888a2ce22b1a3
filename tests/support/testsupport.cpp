// Helpers shared by the tests of the windows.
#include "testsupport.h"

#include "help/help_panes.h"
#include "help/help_viewer.h"
#include "widgets/controls.h"
#include "widgets/grid.h"
#include "window/fraMain.h"
#include "window/frmSub.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QTimer>

QByteArray Deposit(const QString& item, const char* amount) {
    return QByteArray::fromStdString(files::Deposit(item.toStdString(), amount));
}

QByteArray Item(const QString& item, const char* amount) {
    return QByteArray::fromStdString(files::Item(item.toStdString(), amount));
}

QPalette DarkDesktopPalette() {
    QPalette dark;
    for (const auto& [role, colour] :
         std::initializer_list<std::pair<QPalette::ColorRole, QRgb>>{{QPalette::Window, 0x353535},
                                                                     {QPalette::WindowText, 0xEEEEEC},
                                                                     {QPalette::Base, 0x2D2D2D},
                                                                     {QPalette::AlternateBase, 0x353535},
                                                                     {QPalette::Text, 0xEEEEEC},
                                                                     {QPalette::Button, 0x3A3A3A},
                                                                     {QPalette::ButtonText, 0xEEEEEC},
                                                                     {QPalette::Highlight, 0x15539E},
                                                                     {QPalette::HighlightedText, 0xFFFFFF},
                                                                     {QPalette::Light, 0x505050},
                                                                     {QPalette::Midlight, 0x454545},
                                                                     {QPalette::Mid, 0x2A2A2A},
                                                                     {QPalette::Dark, 0x202020},
                                                                     {QPalette::Shadow, 0x101010},
                                                                     {QPalette::ToolTipBase, 0x353535},
                                                                     {QPalette::ToolTipText, 0xEEEEEC},
                                                                     {QPalette::PlaceholderText, 0x9A9A9A}})
        dark.setColor(role, QColor::fromRgb(colour));
    return dark;
}

QList<help::HelpWindow*> VisibleHelpWindows(const QWidget& owner) {
    QList<help::HelpWindow*> open;
    for (help::HelpWindow* w : owner.findChildren<help::HelpWindow*>())
        if (w->isVisible())
            open << w;
    return open;
}

void SearchAndWait(help::SearchPane& pane, const std::function<void()>& ask) {
    bool searched = false;
    QEventLoop loop;
    const auto connection = QObject::connect(&pane, &help::SearchPane::searched, &loop, [&] {
        searched = true;
        loop.quit();
    });
    ask();
    if (!searched)
        loop.exec();
    QObject::disconnect(connection);
}

QStringList Screen(const fraMain& window) {
    QStringList shown;
    for (const Grid* grid : {window.msgChingin, window.msgChinKou})
        for (int r = 0; r < grid->Rows(); ++r)
            for (int c = 0; c < grid->Cols(); ++c)
                shown << grid->cell(r, c);
    shown << window.lblChin_cnt->text() << window.lblChin_zen->text() << window.lblTemaMei->text();
    return shown;
}

QByteArray ReadBytes(const char* utf8Name) {
    return QByteArray::fromStdString(files::ReadBytes(utf8Name));
}

void WriteBytes(const char* utf8Name, const QByteArray& bytes) {
    files::WriteBytes(utf8Name, bytes.toStdString());
}

bool FileExists(const char* utf8Name) {
    return files::FileExists(utf8Name);
}

QByteArray Cp932(const QString& text) {
    return QByteArray::fromStdString(files::Cp932(text.toStdString()));
}

QList<QStringList> ReadCsv(const QByteArray& bytes, bool& ok) {
    const auto records = files::ReadCsv(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    ok = records.has_value();
    QList<QStringList> out;
    for (const std::vector<std::string>& fields : records.value_or(std::vector<std::vector<std::string>>{})) {
        QStringList& row = out.emplace_back();
        for (const std::string& field : fields)
            row << QString::fromStdString(field);
    }
    return out;
}

void AnswerNextBox(QMessageBox::StandardButton button, std::vector<SeenBox>& seen) {
    QTimer::singleShot(0, [button, &seen] {
        QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr);
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        SeenBox shown{box->windowTitle(), box->text(), {}};
        for (QAbstractButton* b : box->buttons())
            shown.buttons << b->text();
        seen.push_back(shown);
        box->button(button)->click();
    });
}

bool LoadPastStarter(fraMain& window) {
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto* starter = qobject_cast<frmSub*>(QApplication::activeModalWidget()))
            starter->close();
    });
    closer.start(5);
    return window.Form_Load();
}

QPoint CellCentre(Grid& grid, int row, int col) {
    grid.flush();
    return grid.visualRect(grid.model()->index(row - 1, col)).center();
}

Dialogs::Answer ScriptedDialogs::message(QWidget*, const QString& text, const QString& title, Buttons buttons,
                                         Icon icon) {
    asked.push_back({text, title, buttons, icon, false});
    if (onAsk)
        onAsk(asked.back());
    if (m_answers.empty()) {
        // An unexpected box: answer as a careful user would, without changing anything if it asks.
        switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::OkCancel:
        case Buttons::OkCancelDefaultCancel:
            return Answer::Cancel;
        case Buttons::YesNo:
            return Answer::No;
        }
    }
    const Answer a = m_answers.front();
    m_answers.pop_front();
    return a;
}

QString ScriptedDialogs::input(QWidget*, const QString& prompt, const QString& title) {
    asked.push_back({prompt, title, Buttons::OkCancel, Icon::None, true});
    if (onAsk)
        onAsk(asked.back());
    if (m_inputs.empty())
        return QString();
    const QString a = m_inputs.front();
    m_inputs.pop_front();
    return a;
}

QString ScriptedDialogs::saveFileName(QWidget*, const QString& title, const QString&, const QString&) {
    asked.push_back({title, title, Buttons::OkCancel, Icon::None, true});
    if (onAsk)
        onAsk(asked.back());
    if (m_files.empty())
        return QString();
    const QString path = m_files.front();
    m_files.pop_front();
    return path;
}

void MainWindowTest::initWindowTest() {
    m_dir = std::make_unique<ScopedWorkDir>();
    m_dialogs = std::make_unique<ScriptedDialogs>();
}

void MainWindowTest::cleanupWindowTest() {
    m_window.reset();
    QVERIFY(m_dialogs->allAnswersUsed());
    m_dialogs.reset();
    m_dir.reset();
}

fraMain& MainWindowTest::start(bool expectLoaded) {
    m_window = std::make_unique<fraMain>(*m_dialogs);
    m_window->setClock([] { return records::CalendarDate{2026, 12, 7}; });
    if (LoadPastStarter(*m_window) != expectLoaded)
        qFatal("Form_Load gave an unexpected result");
    return *m_window;
}
