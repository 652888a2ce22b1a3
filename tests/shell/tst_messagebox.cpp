// The real message box: shown modally over the main window, answered by clicking its buttons.
#include "shell/app.h"
#include "shell/dialogs.h"
#include "shell/fraMain.h"
#include "shell/grid.h"
#include "testsupport.h"

#include <QApplication>
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
    QCOMPARE(seen[0].text, u"これまでのデータを削除してもいいですか？\n"_s);
    // Qt's own buttons read as on a Japanese desktop.
    QVERIFY2(seen[0].buttons.contains(u"キャンセル"_s), qPrintable(seen[0].buttons.join(u'|')));
    QCOMPARE(w.msgChingin->Rows(), 2);

    AnswerNextBox(QMessageBox::Ok, seen);
    w.cmdChinClr_Click();
    QCOMPARE(seen.size(), std::size_t(2));
    QCOMPARE(w.msgChingin->Rows(), 1);
    QCOMPARE(ReadBytes("テーマ１.txt"), QByteArray());
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
