// Draws both windows, the chart window and the help window (its contents, and a search with its hits marked), with a
// few days of sample data, to PNG files under a real X server:
//   render_windows OUTPUT_DIR [--chart-only]
// scripts/screenshots.sh runs it under Xvfb and puts the pictures in docs/. With --chart-only it draws the chart
// window alone, as the test does at 150 % and 200 % (QT_SCALE_FACTOR).
#include "app/app.h"
#include "help/help_panes.h"
#include "help/help_viewer.h"
#include "records/cp932.h"
#include "testsupport.h"
#include "widgets/chart_view.h"
#include "widgets/controls.h"
#include "widgets/dialogs.h"
#include "widgets/grid.h"
#include "window/chart_window.h"
#include "window/fraMain.h"
#include "window/frmSub.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QLineEdit>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cstdio>
#include <string>

using namespace Qt::StringLiterals;

namespace {

bool WriteCp932(const QString& name, const QString& text) {
    std::string bytes;
    if (!records::EncodeCp932(text.toStdString(), bytes))
        return false;
    QFile file(name);
    return file.open(QIODevice::WriteOnly) &&
           file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}

// Saves the window's picture; a picture of one or two colours means nothing was drawn.
bool Save(QWidget& window, const QString& file) {
    const QImage image = window.grab().toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    if (colours.size() < 20 || !image.save(file)) {
        std::fprintf(stderr, "could not draw %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s: %dx%d\n", qPrintable(file), image.width(), image.height());
    return true;
}

// Fourteen months of saving towards a trip, with a goal, drawn in the chart window: the words of every label
// must fit the window at the scale it is drawn in.
bool SaveChart(Dialogs& dialogs, const QString& file) {
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    const QStringList items = {u"タクシーを使ったつもり"_s, u"コーヒーを我慢したつもり"_s, u"晩酌"_s,
                               u"お弁当を作ったつもり"_s, u"少年マガジンを買ったつもり"_s};
    const int amounts[] = {690, 150, 50, 480, 230, 600, 320};
    QString ledger;
    int n = 0;
    for (int month = 0; month < 14; ++month) {
        const int year = 2025 + (month + 10) / 12, m = (month + 10) % 12 + 1;
        for (int day = 2; day <= (month == 13 ? 7 : 28); day += 2 + month % 3, ++n)
            ledger += u"\"%1年%2月%3日\",\"%4\",%5\r\n"_s.arg(year)
                          .arg(m, 2, 10, QChar(u'0'))
                          .arg(day, 2, 10, QChar(u'0'))
                          .arg(items[n % items.size()])
                          .arg(amounts[n % 7] * (2 + month / 5) / 2);
    }
    if (!WriteCp932(u"テーマ１.txt"_s, ledger) ||
        !WriteCp932(u"テーマ名１.txt"_s, u"\"北海道旅行のためのつもり貯金\"\r\n"_s) ||
        !WriteCp932(u"目標１.txt"_s, u"80000\r\n"_s))
        return false;
    fraMain owner(dialogs);
    owner.setClock([] { return records::CalendarDate{2026, 12, 7}; });
    if (!owner.Form_Load())
        return false;
    owner.cmdSuii_Click();
    frmSuii* chart = owner.chartWindow();
    if (!chart || !QTest::qWaitForWindowExposed(chart))
        return false;
    chart->picSuii->setCurrent(chart->picSuii->current() - 2);
    QTest::qWait(200);
    for (const QLabel* label : chart->findChildren<QLabel*>())
        if (label->isVisible() && !label->wordWrap() && label->sizeHint().width() > label->width()) {
            std::fprintf(stderr, "%s does not fit: %s\n", qPrintable(label->objectName()), qPrintable(label->text()));
            return false;
        }
    return Save(*chart, file);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    SetUpApplication(app);
    const bool chartOnly = argc == 3 && std::string(argv[2]) == "--chart-only";
    if (argc != 2 && !chartOnly) {
        std::fprintf(stderr, "usage: render_windows OUTPUT_DIR [--chart-only]\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    if (QGuiApplication::platformName() != u"xcb"_s) {
        std::fprintf(stderr, "needs a real X server (platform is %s)\n", qPrintable(QGuiApplication::platformName()));
        return 1;
    }
    for (const QString& face : {u"ＭＳ Ｐゴシック"_s, u"ＭＳ ゴシック"_s}) {
        const QString drawn = QFontInfo(QFont(face)).family();
        if (!drawn.startsWith(u"IPA"_s)) {
            std::fprintf(stderr, "%s is drawn with %s: install fonts-ipafont-gothic\n", qPrintable(face),
                         qPrintable(drawn));
            return 1;
        }
    }
    QDir().mkpath(out);
    if (chartOnly) {
        QtDialogs dialogs;
        return SaveChart(dialogs, out + u"/chart-window.png"_s) ? 0 : 1;
    }
    QTemporaryDir data;
    QDir::setCurrent(data.path());
    const bool written =
        WriteCp932(u"テーマ１.txt"_s, u"\"2026年12月01日\",\"タクシーを使ったつもり\",690\r\n"
                                      u"\"2026年12月02日\",\"コーヒーを我慢したつもり\",150\r\n"
                                      u"\"2026年12月03日\",\"少年マガジンを買ったつもり\",230\r\n"
                                      u"\"2026年12月05日\",\"晩酌\",50\r\n"
                                      u"\"2026年12月06日\",\"お弁当を作ったつもり\",480\r\n"
                                      u"\"2026年12月07日\",\"タクシーを使ったつもり\",690\r\n"_s) &&
        WriteCp932(u"項目１.txt"_s, u"\"タクシーを使ったつもり\",690\r\n\"コーヒーを我慢したつもり\",150\r\n"
                                    u"\"少年マガジンを買ったつもり\",230\r\n\"晩酌\",50\r\n"
                                    u"\"お弁当を作ったつもり\",480\r\n"_s) &&
        WriteCp932(u"テーマ名１.txt"_s, u"\"北海道旅行のためのつもり貯金\"\r\n"_s) &&
        WriteCp932(u"目標１.txt"_s, u"5000\r\n"_s);
    if (!written)
        return 1;

    QtDialogs dialogs;
    fraMain main(dialogs);
    if (!main.Form_Load() || !QTest::qWaitForWindowExposed(&main))
        return 1;
    main.txtChinKou->setText(u"コーヒーを我慢したつもり"_s);
    main.txtChin_Inp->setText(u"150"_s);
    QTest::qWait(200);
    if (!Save(main, out + u"/main-window.png"_s))
        return 1;

    frmSub starter(dialogs, &main);
    starter.Form_Load();
    starter.show();
    if (!QTest::qWaitForWindowExposed(&starter))
        return 1;
    QTest::qWait(200);
    if (!Save(starter, out + u"/starter-window.png"_s))
        return 1;
    starter.hide();
    if (!SaveChart(dialogs, out + u"/chart-window.png"_s))
        return 1;
    QDir::setCurrent(data.path());

    // A long-time saver's ledger, with amounts of millions, in another folder.
    {
        QTemporaryDir millions;
        QDir::setCurrent(millions.path());
        if (!WriteCp932(u"テーマ１.txt"_s, u"\"2026年11月30日\",\"車を買ったつもり\",1234567\r\n"
                                           u"\"2026年12月01日\",\"家を建てたつもり\",25000000.5\r\n"
                                           u"\"2026年12月02日\",\"払い戻し\",-99999999.9999\r\n"
                                           u"\"2026年12月07日\",\"世界一周したつもり\",99999999.9999\r\n"_s) ||
            !WriteCp932(u"項目１.txt"_s, u"\"車を買ったつもり\",1234567\r\n\"家を建てたつもり\",25000000.5\r\n"_s) ||
            !WriteCp932(u"テーマ名１.txt"_s, u"\"夢の大金持ち～つもり貯金\"\r\n"_s))
            return 1;
        fraMain rich(dialogs);
        if (!rich.Form_Load() || !QTest::qWaitForWindowExposed(&rich))
            return 1;
        QTest::qWait(200);
        if (!Save(rich, out + u"/main-window-millions.png"_s))
            return 1;
        rich.hide();
        QDir::setCurrent(data.path());
    }

    // A ledger at its fullest: 32,766 deposits of ¥99,999,999, a long item and a long theme, the ledger focused;
    // on a light desktop and a dark one.
    for (const bool darkDesktop : {false, true}) {
        QTemporaryDir full;
        QDir::setCurrent(full.path());
        QString ledger;
        const QString line = u"\"2026年12月07日\",\"新幹線のグリーン車に乗ったつもり\",99999999\r\n"_s;
        ledger.reserve(line.size() * fraMain::kMaxDeposits);
        for (int i = 0; i < fraMain::kMaxDeposits; ++i)
            ledger += line;
        if (!WriteCp932(u"テーマ１.txt"_s, ledger) ||
            !WriteCp932(u"項目１.txt"_s, u"\"新幹線のグリーン車に乗ったつもり\",99999999\r\n\"晩酌\",50\r\n"_s) ||
            !WriteCp932(u"テーマ名１.txt"_s, u"\"北海道旅行のために毎日がんばる\"\r\n"_s))
            return 1;
        const QPalette before = QApplication::palette();
        if (darkDesktop)
            QApplication::setPalette(DarkDesktopPalette());
        fraMain fullest(dialogs);
        if (!fullest.Form_Load() || !QTest::qWaitForWindowExposed(&fullest))
            return 1;
        fullest.activateWindow();
        fullest.msgChingin->setFocus();
        QTest::qWait(200);
        if (!Save(fullest, out + (darkDesktop ? u"/main-window-full-dark.png"_s : u"/main-window-full.png"_s)))
            return 1;
        fullest.hide();
        QApplication::setPalette(before);
        QDir::setCurrent(data.path());
    }

    // Both windows on a dark desktop (colours as GTK's Adwaita-dark gives them).
    {
        const QPalette light = QApplication::palette();
        const QPalette dark = DarkDesktopPalette();
        QApplication::setPalette(dark);
        fraMain night(dialogs);
        if (!night.Form_Load() || !QTest::qWaitForWindowExposed(&night))
            return 1;
        QTest::qWait(200);
        if (!Save(night, out + u"/main-window-dark.png"_s))
            return 1;
        frmSub nightStarter(dialogs, &night);
        nightStarter.Form_Load();
        nightStarter.show();
        if (!QTest::qWaitForWindowExposed(&nightStarter))
            return 1;
        QTest::qWait(200);
        if (!Save(nightStarter, out + u"/starter-window-dark.png"_s))
            return 1;
        nightStarter.hide();
        night.hide();
        if (!SaveChart(dialogs, out + u"/chart-window-dark.png"_s))
            return 1;
        QDir::setCurrent(data.path());
        QApplication::setPalette(light);
    }

    help::HtmlHelp(&main, u"kzHelp.chm"_s, help::Command::Display);
    auto* helpWindow = main.findChild<help::HelpWindow*>();
    if (!helpWindow || !QTest::qWaitForWindowExposed(helpWindow)) {
        std::fprintf(stderr, "the help window did not open: build the kzhelp target\n");
        return 1;
    }
    QTest::qWait(200);
    if (!Save(*helpWindow, out + u"/help-window.png"_s))
        return 1;

    // The search pane with the pages found, and the hits marked in the first of them.
    helpWindow->showPane(2);
    helpWindow->search()->field()->setText(u"バックアップ"_s);
    SearchAndWait(*helpWindow->search(), [&] { helpWindow->search()->run(); });
    QTreeWidgetItem* first = helpWindow->search()->results()->topLevelItem(0);
    if (!first)
        return 1;
    emit helpWindow->search()->results()->itemActivated(first, 0);
    QTest::qWait(200);
    if (!Save(*helpWindow, out + u"/help-search.png"_s))
        return 1;
    helpWindow->close();

    // The help window on a dark desktop.
    QApplication::setPalette(DarkDesktopPalette());
    help::HtmlHelp(nullptr, QString(), help::Command::CloseAll);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    help::HtmlHelp(&main, u"kzHelp.chm"_s, help::Command::Display);
    QTest::qWait(200);
    for (help::HelpWindow* w : main.findChildren<help::HelpWindow*>())
        if (w->isVisible())
            return Save(*w, out + u"/help-window-dark.png"_s) ? 0 : 1;
    return 1;
}
