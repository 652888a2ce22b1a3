// Helpers shared by the tests.
#include "testsupport.h"

#include "records/text/cp932.h"
#include "shell/fraMain.h"
#include "shell/frmSub.h"
#include "shell/grid.h"
#include "shell/help_viewer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <ftw.h>
#include <iterator>
#include <sys/stat.h>

ScopedEnv::ScopedEnv(const char* name, const QByteArray& value)
    : m_name(name), m_previous(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name)) {
    qputenv(name, value);
}

ScopedEnv::~ScopedEnv() {
    if (m_had)
        qputenv(m_name, m_previous);
    else
        qunsetenv(m_name);
}

ScopedWorkDir::ScopedWorkDir()
    : m_dataHomeEnv("XDG_DATA_HOME", QFile::encodeName(m_dataHome.path())), m_previous(QDir::currentPath()) {
    QVERIFY2(m_dir.isValid() && m_dataHome.isValid(), "no temporary directory");
    QDir::setCurrent(m_dir.path());
}

namespace {

// Removes everything in a directory by its bytes: QDir cannot name a file whose name is not UTF-8 (a data file
// unpacked in code page 932), and would leave it and its directory behind.
void RemoveContents(const QString& dir) {
    const QByteArray root = QFile::encodeName(dir);
    nftw(
        root.constData(),
        [](const char* path, const struct stat*, int, FTW* at) { return at->level > 0 ? std::remove(path) : 0; }, 16,
        FTW_DEPTH | FTW_PHYS);
}

} // namespace

ScopedWorkDir::~ScopedWorkDir() {
    QDir::setCurrent(m_previous);
    RemoveContents(m_dir.path());
    RemoveContents(m_dataHome.path());
}

QByteArray Deposit(const QString& item, const char* amount) {
    using namespace Qt::StringLiterals;
    return Cp932(u"\"2026年12月07日\",\"%1\","_s.arg(item)) + amount + "\r\n";
}

QByteArray Item(const QString& item, const char* amount) {
    using namespace Qt::StringLiterals;
    return Cp932(u"\"%1\","_s.arg(item)) + amount + "\r\n";
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

QByteArray ReadBytes(const char* utf8Name) {
    std::ifstream in(utf8Name, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void WriteBytes(const char* utf8Name, const QByteArray& bytes) {
    std::ofstream out(utf8Name, std::ios::binary | std::ios::trunc);
    out.write(bytes.constData(), bytes.size());
}

bool FileExists(const char* utf8Name) {
    struct stat st {};
    return stat(utf8Name, &st) == 0;
}

QByteArray Cp932(const QString& text) {
    std::string bytes;
    if (!records::EncodeCp932(text.toStdString(), bytes))
        qFatal("test text not in code page 932");
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QList<QStringList> ReadCsv(const QByteArray& bytes, bool& ok) {
    ok = false;
    if (!bytes.startsWith("\xEF\xBB\xBF"))
        return {};
    const QString text = QString::fromUtf8(bytes.mid(3));
    QList<QStringList> records;
    QStringList fields;
    QString field;
    bool quoted = false, wasQuoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c != u'"')
                field += c;
            else if (i + 1 < text.size() && text[i + 1] == u'"')
                field += text[++i];
            else
                quoted = false;
        } else if (c == u'"' && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == u',' || c == u'\r') {
            fields << field;
            field.clear();
            wasQuoted = false;
            if (c == u'\r') {
                if (i + 1 >= text.size() || text[++i] != u'\n')
                    return {};
                records << fields;
                fields.clear();
            }
        } else if (c == u'"' || c == u'\n' || wasQuoted) {
            return {}; // a quote inside a bare field, a bare LF, or text after a closing quote
        } else {
            field += c;
        }
    }
    if (quoted || !fields.isEmpty() || !field.isEmpty())
        return {}; // the last record must end with CR LF
    ok = true;
    return records;
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

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
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
