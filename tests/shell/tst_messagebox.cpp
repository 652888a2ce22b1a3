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

namespace {

// Once a modal message box is open, reads it and presses the button with the given role.
void AnswerNextBox(QMessageBox::StandardButton button, QString& seenText, QStringList& seenButtons, bool& done) {
    QTimer::singleShot(0, [=, &seenText, &seenButtons, &done] {
        QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr);
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        seenText = box->text();
        for (QAbstractButton* b : box->buttons())
            seenButtons << b->text();
        box->button(button)->click();
        done = true;
    });
}

} // namespace

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

    QString text;
    QStringList buttons;
    bool done = false;
    AnswerNextBox(QMessageBox::Cancel, text, buttons, done);
    w.cmdChinClr_Click();
    QVERIFY(done);
    QCOMPARE(text, u"これまでのデータを削除してもいいですか？\n"_s);
    // Qt's own buttons read as on a Japanese desktop.
    QVERIFY2(buttons.contains(u"キャンセル"_s), qPrintable(buttons.join(u'|')));
    QCOMPARE(w.msgChingin->Rows(), 2);

    done = false;
    buttons.clear();
    AnswerNextBox(QMessageBox::Ok, text, buttons, done);
    w.cmdChinClr_Click();
    QVERIFY(done);
    QCOMPARE(w.msgChingin->Rows(), 1);
    QCOMPARE(ReadBytes("テーマ１.txt"), QByteArray());
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
