// The real message box: shown modally over the main window, answered by clicking its buttons.
#include "app/app.h"
#include "testsupport.h"
#include "widgets/dialogs.h"
#include "widgets/grid.h"
#include "window/fraMain.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestMessageBox : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpApplication(*qApp); }
    void cleanup() { QTRY_VERIFY(QApplication::activeModalWidget() == nullptr); }
    void clearAskedWithTheRealBox();
    void clearWithoutTheTrashDefaultsToCancel();
};

void TestMessageBox::clearAskedWithTheRealBox() {
    ScopedWorkDir dir;
    WriteBytes("テーマ１.txt", Cp932(u"\"2008年05月10日\",\"タクシーを使ったつもり\",690\r\n"_s));
    QtDialogs dialogs;
    fraMain w(dialogs);
    QVERIFY(w.Form_Load());

    std::vector<SeenBox> seen;
    AnswerNextBox(QMessageBox::Cancel, seen);
    w.cmdChinClr_Click();
    QCOMPARE(seen.size(), std::size_t(1));
    QCOMPARE(
        seen[0].text,
        u"これまでのデータを削除してもいいですか？\n今のデータの写しをゴミ箱に入れてから、ファイルを空にします。写しはゴミ箱から取り出せます。\n"_s);
    // Qt's own buttons read as on a Japanese desktop.
    QVERIFY2(seen[0].buttons.contains(u"キャンセル"_s), qPrintable(seen[0].buttons.join(u'|')));
    QCOMPARE(w.msgChingin->Rows(), 2);

    AnswerNextBox(QMessageBox::Ok, seen);
    w.cmdChinClr_Click();
    QCOMPARE(seen.size(), std::size_t(2));
    QCOMPARE(w.msgChingin->Rows(), 1);
    QCOMPARE(ReadBytes("テーマ１.txt"), QByteArray());
}

// When the trash cannot take the ledger, the question that follows has Cancel as its default: Enter keeps the data.
void TestMessageBox::clearWithoutTheTrashDefaultsToCancel() {
    ScopedWorkDir dir;
    const QByteArray ledger = Cp932(u"\"2008年05月10日\",\"タクシーを使ったつもり\",690\r\n"_s);
    WriteBytes("テーマ１.txt", ledger);
    QFile inTheWay(dir.dataHome() + u"/Trash"_s); // a file where the trash directory should be
    QVERIFY(inTheWay.open(QIODevice::WriteOnly));
    inTheWay.close();
    QtDialogs dialogs;
    fraMain w(dialogs);
    QVERIFY(w.Form_Load());

    // OK to the confirmation, then Enter to the question that follows it.
    QStringList texts;
    QString defaultButton;
    QTimer answering;
    connect(&answering, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || (!texts.isEmpty() && texts.back() == box->text()))
            return;
        texts << box->text();
        if (texts.size() == 1) {
            box->button(QMessageBox::Ok)->click();
            return;
        }
        defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        QTest::keyClick(box, Qt::Key_Return);
    });
    answering.start(0);
    w.cmdChinClr_Click();
    answering.stop();
    QCOMPARE(texts.size(), 2);
    QVERIFY2(texts[1].startsWith(u"削除する前の「テーマ１.txt」を、ゴミ箱に残せませんでした。\n"_s),
             qPrintable(texts[1]));
    QCOMPARE(defaultButton, u"キャンセル"_s);
    QCOMPARE(ReadBytes("テーマ１.txt"), ledger);
    QCOMPARE(w.msgChingin->Rows(), 2);
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
