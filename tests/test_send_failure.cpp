// A send the network refuses. Run inside a network namespace of its own whose
// interfaces are all down (tests/in_netns.sh), where every send fails.
#include "Support.h"

#include <ui/Form1.h>

#include <QLineEdit>
#include <QtTest>

class TestSendFailure : public QObject {
  Q_OBJECT

private slots:
  void aRefusedSendShowsTheReasonAndTheWindowGoesOn() {
    TForm1 form(nullptr);
    form.Show();
    QVERIFY(QTest::qWaitForWindowExposed(form.Window()));
    ErrorBoxWatcher boxes;
    form.Edit2->LineEdit()->setText("Ana");
    form.Component<TPlainRichEdit>("RichEdit2").TextEdit()->setPlainText("Salut");
    QTest::mouseClick(form.Button1->Widget(), Qt::LeftButton);
    QTRY_COMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].startsWith("Envoi impossible vers 127.255.255.255:2000") &&
                 boxes.texts[0].contains("réseau injoignable"),
             qPrintable(boxes.texts[0]));
    QCOMPARE(form.Edit2->LineEdit()->text(), QString("Ana"));
    QCOMPARE(form.Component<TPlainRichEdit>("RichEdit2").TextEdit()->toPlainText(),
             QString("Salut"));
    // The window goes on: a second try gives a second box, typing works.
    QTest::mouseClick(form.Button1->Widget(), Qt::LeftButton);
    QTRY_COMPARE(boxes.texts.size(), 2);
    form.Edit2->LineEdit()->setFocus();
    QTest::keyClicks(form.Edit2->LineEdit(), "!");
    QCOMPARE(form.Edit2->LineEdit()->text(), QString("Ana!"));
    QCOMPARE(form.RichEdit1->Lines->ToStringList(), QStringList{""});
  }
};

QTEST_MAIN(TestSendFailure)
#include "test_send_failure.moc"
