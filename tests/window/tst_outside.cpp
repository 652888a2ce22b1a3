// Data files changed by other programs while the window runs: a sync tool renaming a new file over one, an editor
// writing one in place, a file manager putting a cleared ledger back from the trash. Nothing of what they wrote is
// lost, and the window shows the files as they are.
#include "records/file_identity.h"
#include "testsupport.h"
#include "widgets/controls.h"
#include "widgets/grid.h"
#include "window/fraMain.h"
#include "window/messages.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using Answer = Dialogs::Answer;

namespace {

const QByteArray kABC = Deposit(u"A"_s, "100") + Deposit(u"B"_s, "20") + Deposit(u"C"_s, "3");
const QByteArray kXYZ = Item(u"X"_s, "1") + Item(u"Y"_s, "2") + Item(u"Z"_s, "3");
const QByteArray kTheme = Cp932(u"\"テーマ\"\r\n"_s);

enum class How { Rename, InPlace, Remove };

// Another program's new version of a file: renamed over it as sync tools do, or written into the same file (with a
// modification time of its own, so that the change does not hang on the clock's granularity), or removed.
void ChangeOutside(const char* name, const QByteArray& bytes, How how) {
    if (how == How::Remove) {
        QVERIFY(std::remove(name) == 0);
    } else if (how == How::Rename) {
        WriteBytes(".sync-tmp", bytes);
        QVERIFY(std::rename(".sync-tmp", name) == 0);
    } else {
        struct stat before {};
        QVERIFY(stat(name, &before) == 0);
        WriteBytes(name, bytes);
        const timespec times[2] = {{0, UTIME_OMIT}, {1'000'000'000, 123}};
        QVERIFY(utimensat(AT_FDCWD, name, times, 0) == 0);
        struct stat after {};
        QVERIFY(stat(name, &after) == 0 && after.st_ino == before.st_ino);
    }
}

// Lets the event loop deliver what the folder's watch has seen, a round at a time, until `done` (at most `rounds`).
bool DeliverUntil(const std::function<bool()>& done, int rounds = 1000) {
    for (int i = 0; i < rounds && !done(); ++i)
        QCoreApplication::processEvents();
    return done();
}

QString ChangedMessage(const char* name) {
    return u"「%1」が他のプログラムで変更されたので、今の内容を表示しました。"_s.arg(QString::fromUtf8(name));
}

} // namespace

Q_DECLARE_METATYPE(How)

class TestOutside : public QObject, MainWindowTest {
    Q_OBJECT

public:
    enum Op { Depositing, DeletingDeposit, Registering, DeletingItem, NamingTheme, ClearingLedger, ClearingItems };
    Q_ENUM(Op)

private slots:
    void init() {
        initWindowTest();
        WriteBytes(kLedgerName, kABC);
        WriteBytes(kItemsName, kXYZ);
        WriteBytes(kThemeName, kTheme);
    }
    void cleanup() { cleanupWindowTest(); }
    void writesOnlyOverTheFileKnown_data();
    void writesOnlyOverTheFileKnown();
    void operationOnAChangedFile_data();
    void operationOnAChangedFile();
    void listChangedDuringTheRegistrationQuestion();
    void changeWhileIdleIsShown_data();
    void changeWhileIdleIsShown();
    void changeWhileABoxIsOpenWaitsForIt();
    void clearedLedgerPutBackWhileRunning();

private:
    void restartShowsTheSame();
};

void TestOutside::restartShowsTheSame() {
    ScriptedDialogs quiet;
    fraMain fresh(quiet);
    QVERIFY(LoadPastStarter(fresh));
    QCOMPARE(Screen(fresh), Screen(*m_window));
}

void TestOutside::writesOnlyOverTheFileKnown_data() {
    QTest::addColumn<bool>("append");
    QTest::addColumn<int>("change"); // a How, or -1 for none
    QTest::addColumn<bool>("missingAtFirst");
    for (const bool append : {true, false}) {
        const char* kind = append ? "append" : "rewrite";
        QTest::addRow("%s, unchanged", kind) << append << -1 << false;
        QTest::addRow("%s, renamed over", kind) << append << int(How::Rename) << false;
        QTest::addRow("%s, written in place", kind) << append << int(How::InPlace) << false;
        QTest::addRow("%s, removed", kind) << append << int(How::Remove) << false;
        QTest::addRow("%s, still missing", kind) << append << -1 << true;
        QTest::addRow("%s, made meanwhile", kind) << append << int(How::Rename) << true;
    }
}

// The records layer writes only over the state of the file it was given, in one step with the replacement.
void TestOutside::writesOnlyOverTheFileKnown() {
    QFETCH(bool, append);
    QFETCH(int, change);
    QFETCH(bool, missingAtFirst);
    if (missingAtFirst)
        QVERIFY(std::remove(kLedgerName) == 0);
    const records::FileIdentity known = records::IdentifyDataFile(kLedgerName);
    QCOMPARE(known.present(), !missingAtFirst);
    const QByteArray outside = Deposit(u"外"_s, "5");
    if (change >= 0)
        ChangeOutside(kLedgerName, outside, How(change));
    const QByteArray before = FileExists(kLedgerName) ? ReadBytes(kLedgerName) : QByteArray("(none)");
    const std::array<records::FieldValue, 3> record = {std::string("2026年12月07日"), std::string("D"),
                                                       records::Currency::FromTenThousandths(40000)};
    records::FileIdentity written;
    records::Status status;
    if (append) {
        status = records::AppendRecord(kLedgerName, record, &known, &written);
    } else {
        records::RecordFile file;
        file.expect(known);
        status = file.OpenForOutput(kLedgerName);
        if (status)
            status = file.WriteRecord(record);
        if (status)
            status = file.Close();
        written = file.identity();
    }
    const QStringList entries = QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (change < 0) {
        QVERIFY2(status.ok(), qPrintable(messages::Reason(status)));
        QCOMPARE(ReadBytes(kLedgerName), (append && !missingAtFirst ? kABC : QByteArray()) + Deposit(u"D"_s, "4"));
        QCOMPARE(written, records::IdentifyDataFile(kLedgerName));
    } else {
        QCOMPARE(status.code(), records::Status::Code::Changed);
        QCOMPARE(FileExists(kLedgerName) ? ReadBytes(kLedgerName) : QByteArray("(none)"), before);
    }
    // Nothing left beside: no temporary, no file made where there was none.
    QCOMPARE(entries.contains(QString::fromUtf8(kLedgerName)), change != int(How::Remove));
    QCOMPARE(entries.size(), 3 - int(change == int(How::Remove)));
}

void TestOutside::operationOnAChangedFile_data() {
    QTest::addColumn<Op>("op");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("outside");
    QTest::addColumn<How>("how");
    QTest::addColumn<bool>("atTheBox"); // changed while the operation's question is open, not before it
    const QByteArray ledger = Deposit(u"A"_s, "100") + Deposit(u"B"_s, "20") + Deposit(u"P"_s, "7") +
                              Deposit(u"Q"_s, "8") + Deposit(u"R"_s, "9");
    const QByteArray items = Item(u"K"_s, "5") + Item(u"L"_s, "6") + Item(u"X"_s, "1") + Item(u"M"_s, "7");
    const QByteArray theme = Cp932(u"\"外で変えた名前\"\r\n"_s);
    const std::tuple<Op, const char*, QByteArray, bool> ops[] = {
        {Depositing, kLedgerName, ledger, false}, {DeletingDeposit, kLedgerName, ledger, true},
        {Registering, kItemsName, items, false},  {DeletingItem, kItemsName, items, true},
        {NamingTheme, kThemeName, theme, true},   {ClearingLedger, kLedgerName, ledger, true},
        {ClearingItems, kItemsName, items, true},
    };
    for (const auto& [op, name, outside, hasBox] : ops)
        for (const How how : {How::Rename, How::InPlace})
            for (const bool atTheBox : {false, true})
                if (hasBox || !atTheBox)
                    QTest::addRow("%s, %s%s", QMetaEnum::fromType<Op>().valueToKey(op),
                                  how == How::Rename ? "renamed over" : "written in place",
                                  atTheBox ? ", at its question" : "")
                        << op << QByteArray(name) << outside << how << atTheBox;
}

// Every operation that writes, on a file another program changed after the window read it: the file keeps the
// other program's version, the window shows it, the user is told once, and the operation is not carried out.
void TestOutside::operationOnAChangedFile() {
    QFETCH(Op, op);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, outside);
    QFETCH(How, how);
    QFETCH(bool, atTheBox);
    fraMain& w = start();
    const QString typed = op == Registering ? u"W"_s : u"B"_s;
    if (atTheBox) { // the question is answered as a user who wants the operation done would
        if (op == NamingTheme)
            m_dialogs->answerInput(u"新しい名前"_s);
        else
            m_dialogs->answer(Answer::Ok);
        m_dialogs->onAsk = [&](const ScriptedDialogs::Asked&) {
            if (m_dialogs->asked.size() == 1)
                ChangeOutside(name.constData(), outside, how);
        };
    } else {
        ChangeOutside(name.constData(), outside, how);
    }
    w.msgChingin->setRow(2);
    w.msgChinKou->setRow(2);
    w.txtChinKou->setText(typed);
    w.txtChin_Inp->setText(u"9"_s);
    switch (op) {
    case Depositing:
    case Registering:
        w.cmdChinHozon_Click();
        break;
    case DeletingDeposit:
        w.msgChingin_DblClick();
        break;
    case DeletingItem:
        w.msgChinKou_DblClick();
        break;
    case NamingTheme:
        w.lblTemaMei_DblClick();
        break;
    case ClearingLedger:
        w.cmdChinClr_Click();
        break;
    case ClearingItems:
        w.cmdChinClr2_Click();
        break;
    }
    m_dialogs->onAsk = nullptr;
    QCOMPARE(ReadBytes(name), outside);
    QCOMPARE(ReadBytes(kLedgerName).size() + ReadBytes(kItemsName).size() + ReadBytes(kThemeName).size(),
             outside.size() + (name == kLedgerName ? 0 : kABC.size()) + (name == kItemsName ? 0 : kXYZ.size()) +
                 (name == kThemeName ? 0 : kTheme.size()));
    QCOMPARE(m_dialogs->asked.size(), std::size_t(atTheBox ? 2 : 1));
    QVERIFY2(m_dialogs->asked.back().text.startsWith(ChangedMessage(name)), qPrintable(m_dialogs->asked.back().text));
    QCOMPARE(m_dialogs->asked.back().icon, Dialogs::Icon::Warning);
    if (op == Depositing || op == Registering) // to be deposited again on what is shown
        QVERIFY(w.txtChinKou->text() == typed && w.txtChin_Inp->text() == u"9"_s);
    restartShowsTheSame();
}

// Yes to registering a new item, while another program changed the list: the list as it is now, with the item.
void TestOutside::listChangedDuringTheRegistrationQuestion() {
    fraMain& w = start();
    const QByteArray outside = Item(u"K"_s, "5") + Item(u"L"_s, "6");
    m_dialogs->answer(Answer::Yes);
    m_dialogs->onAsk = [&](const ScriptedDialogs::Asked&) {
        if (m_dialogs->asked.size() == 1)
            ChangeOutside(kItemsName, outside, How::Rename);
    };
    w.txtChinKou->setText(u"W"_s);
    w.txtChin_Inp->setText(u"9"_s);
    w.cmdChinHozon_Click();
    QCOMPARE(ReadBytes(kItemsName), outside + Item(u"W"_s, "9"));
    QCOMPARE(ReadBytes(kLedgerName), kABC + Deposit(u"W"_s, "9"));
    QCOMPARE(m_dialogs->asked.size(), std::size_t(2));
    QCOMPARE(m_dialogs->asked[1].text, ChangedMessage(kItemsName));
    restartShowsTheSame();
}

void TestOutside::changeWhileIdleIsShown_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("outside");
    QTest::addColumn<How>("how");
    for (const How how : {How::Rename, How::InPlace}) {
        const char* way = how == How::Rename ? "renamed over" : "written in place";
        QTest::addRow("ledger %s", way) << QByteArray(kLedgerName) << kABC + Deposit(u"D"_s, "4") << how;
        QTest::addRow("items %s", way) << QByteArray(kItemsName) << Item(u"K"_s, "5") << how;
        QTest::addRow("theme %s", way) << QByteArray(kThemeName) << Cp932(u"\"外\"\r\n"_s) << how;
    }
    QTest::addRow("ledger removed") << QByteArray(kLedgerName) << QByteArray() << How::Remove;
}

// While the window waits for the user, what another program does to a file is shown at once, without a word, and
// the window writes nothing of its own for it.
void TestOutside::changeWhileIdleIsShown() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, outside);
    QFETCH(How, how);
    fraMain& w = start();
    const QStringList before = Screen(w);
    ChangeOutside(name.constData(), outside, how);
    QVERIFY(DeliverUntil([&] { return Screen(w) != before; }));
    QVERIFY(m_dialogs->asked.empty());
    QCOMPARE(FileExists(name), how != How::Remove);
    restartShowsTheSame();
}

// A box open (here the welcome window's kind of modal dialog): the window keeps what the box is about until it
// closes, and then shows the file.
void TestOutside::changeWhileABoxIsOpenWaitsForIt() {
    fraMain& w = start();
    QDialog box(&w);
    bool shownWhileOpen = true;
    QTimer::singleShot(0, &box, [&] {
        ChangeOutside(kLedgerName, Deposit(u"外"_s, "5"), How::Rename);
        shownWhileOpen = DeliverUntil([&] { return w.msgChingin->Rows() != 4; }, 50);
        box.accept();
    });
    box.exec();
    QVERIFY(!shownWhileOpen); // fifty rounds with the box open, and the old rows still shown
    QVERIFY(DeliverUntil([&] { return w.msgChingin->Rows() == 2; }));
    QVERIFY(m_dialogs->asked.empty());
}

// The whole round: a clear, the ledger put back from the trash while the program runs (renamed into place, as a
// file manager's 「元に戻す」 does), and more work on it. The window's own writes do not read the file again.
void TestOutside::clearedLedgerPutBackWhileRunning() {
    fraMain& w = start();
    m_dialogs->answer(Answer::Ok);
    w.cmdChinClr_Click();
    QCOMPARE(w.msgChingin->Rows(), 1);
    const QByteArray trash = QFile::encodeName(m_dir->dataHome()) + "/Trash";
    QCOMPARE(ReadBytes(trash + "/files/" + kLedgerName), kABC);
    QVERIFY(std::rename(trash + "/files/" + kLedgerName, kLedgerName) == 0);
    QVERIFY(std::remove(trash + "/info/" + kLedgerName + ".trashinfo") == 0);
    QVERIFY(DeliverUntil([&] { return w.msgChingin->Rows() == 4; }));
    QCOMPARE(w.lblChin_zen->text(), u"¥123"_s);

    m_dialogs->answer(Answer::No);
    w.txtChinKou->setText(u"D"_s);
    w.txtChin_Inp->setText(u"4"_s);
    w.cmdChinHozon_Click();
    w.msgChingin->setRow(1);
    QVERIFY(!DeliverUntil([&] { return w.msgChingin->Row() != 1; }, 50)); // no reading again after its own append
    m_dialogs->answer(Answer::Ok);
    w.msgChingin_DblClick();
    QCOMPARE(ReadBytes(kLedgerName), Deposit(u"B"_s, "20") + Deposit(u"C"_s, "3") + Deposit(u"D"_s, "4"));
    QCOMPARE(m_dialogs->asked.size(), std::size_t(3)); // the clear's question, the registration's, the deletion's
    restartShowsTheSame();
}

QTEST_MAIN(TestOutside)
#include "tst_outside.moc"
