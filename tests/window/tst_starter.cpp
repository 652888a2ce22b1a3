// The start-up with and without the welcome window.
#include "app/app.h"
#include "testsupport.h"
#include "widgets/controls.h"
#include "widgets/grid.h"
#include "window/fraMain.h"
#include "window/frmSub.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// While it lives, hands the first modal window that opens to `meet`.
class ModalWatch {
public:
    explicit ModalWatch(std::function<void(QWidget*)> meet) : m_meet(std::move(meet)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget(); modal && !m_met) {
                m_met = true;
                m_meet(modal);
            }
        });
        m_timer.start(5);
    }
    bool met() const { return m_met; }

private:
    QTimer m_timer;
    std::function<void(QWidget*)> m_meet;
    bool m_met = false;
};

bool LoadMeeting(fraMain& w, std::function<void(QWidget*)> meet) {
    ModalWatch watch(std::move(meet));
    return w.Form_Load();
}

const QString kInstructions = u"右下のイラストをダブルクリックするとテーマ名を変更できます。\r\n\r\n"
                              u"項目欄と金額欄に入力をして、Enterキーか「入金」ボタンを押してください。\r\n"
                              u"項目リストに登録すると次回からクリックして入力できます。\r\n"_s;

} // namespace

class TestStarter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpApplication(*qApp); }
    void buttonClosesThenInstructs();
    void closeBoxInstructsNothing();
    void noWelcomeWithDeposits();
};

void TestStarter::buttonClosesThenInstructs() {
    ScopedWorkDir dir;
    ScriptedDialogs dialogs;
    fraMain w(dialogs);
    bool starterGoneAtInstructions = false;
    dialogs.onAsk = [&](const ScriptedDialogs::Asked&) {
        starterGoneAtInstructions = w.findChild<frmSub*>() && !w.findChild<frmSub*>()->isVisible();
    };
    frmSub* seen = nullptr;
    bool mainShown = false, itemBoxFocusedEarly = true;
    QVERIFY(LoadMeeting(w, [&](QWidget* modal) {
        seen = qobject_cast<frmSub*>(modal);
        mainShown = w.isVisible();
        itemBoxFocusedEarly = w.focusWidget() == static_cast<QWidget*>(w.txtChinKou);
        if (seen)
            QTest::mouseClick(seen->cmdModori, Qt::LeftButton);
    }));
    QVERIFY2(seen, "no welcome window");
    QVERIFY(mainShown);
    QVERIFY(!itemBoxFocusedEarly);
    QVERIFY(starterGoneAtInstructions);
    QCOMPARE(dialogs.asked.size(), std::size_t(1));
    QCOMPARE(dialogs.asked[0].title, u"入力方法説明"_s);
    QCOMPARE(dialogs.asked[0].text, kInstructions);
    QCOMPARE(dialogs.asked[0].buttons, Dialogs::Buttons::Ok);
    QCOMPARE(dialogs.asked[0].icon, Dialogs::Icon::Information);
    QCOMPARE(w.focusWidget(), w.txtChinKou);
    QVERIFY(w.findChild<frmSub*>() == nullptr); // gone with the start-up
}

void TestStarter::closeBoxInstructsNothing() {
    ScopedWorkDir dir;
    WriteBytes("項目１.txt", Cp932(u"\"晩酌\",50\r\n"_s)); // items do not keep the welcome away
    ScriptedDialogs dialogs;
    fraMain w(dialogs);
    bool welcomed = false;
    QVERIFY(LoadMeeting(w, [&](QWidget* modal) {
        welcomed = qobject_cast<frmSub*>(modal) != nullptr;
        modal->close();
    }));
    QVERIFY(welcomed);
    QVERIFY(dialogs.asked.empty());
    QCOMPARE(w.focusWidget(), w.txtChinKou);
}

void TestStarter::noWelcomeWithDeposits() {
    ScopedWorkDir dir;
    WriteBytes("テーマ１.txt", Cp932(u"\"2026年12月07日\",\"晩酌\",50\r\n"_s));
    ScriptedDialogs dialogs;
    fraMain w(dialogs);
    bool anyModal = false;
    QVERIFY(LoadMeeting(w, [&](QWidget* modal) {
        anyModal = true;
        modal->close();
    }));
    QVERIFY(!anyModal);
    QCOMPARE(w.focusWidget(), w.txtChinKou);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), w.txtChinKou);
    QVERIFY(w.txtChinKou->text().isEmpty() && w.txtChin_Inp->text().isEmpty());

    // Emptying the ledger later in the run does not bring the welcome back.
    ModalWatch watch([](QWidget* modal) { modal->close(); });
    dialogs.answer(Dialogs::Answer::Ok);
    w.cmdChinClr_Click();
    QCOMPARE(w.msgChingin->Rows(), 1);
    QVERIFY(!watch.met());
}

QTEST_MAIN(TestStarter)
#include "tst_starter.moc"
