#include "app/WidgetDialogs.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

class tst_WidgetDialogs : public QObject
{
    Q_OBJECT

private slots:
    void keysAnswerWithTheDefaultButton_data();
    void keysAnswerWithTheDefaultButton();
};

void tst_WidgetDialogs::keysAnswerWithTheDefaultButton_data()
{
    QTest::addColumn<OperatorDialogs::Buttons>("buttons");
    QTest::addColumn<int>("key");
    QTest::addColumn<OperatorDialogs::Answer>("answer");
    using B = OperatorDialogs::Buttons;
    using A = OperatorDialogs::Answer;
    QTest::newRow("close question: Enter is Yes") << B::YesNo << int(Qt::Key_Return) << A::Yes;
    QTest::newRow("risky question: Enter is No") << B::YesNoDefaultNo << int(Qt::Key_Return) << A::No;
    QTest::newRow("risky question: Esc is No") << B::YesNoDefaultNo << int(Qt::Key_Escape) << A::No;
}

// The operator's Enter (or Esc) in the box as it opens, without touching the mouse.
void tst_WidgetDialogs::keysAnswerWithTheDefaultButton()
{
    QFETCH(OperatorDialogs::Buttons, buttons);
    QFETCH(int, key);
    QFETCH(OperatorDialogs::Answer, answer);
    QWidget owner;
    owner.show();
    WidgetDialogs dialogs(&owner);
    QTimer::singleShot(0, [key] {
        QWidget *box = QApplication::activeModalWidget();
        QVERIFY(box);
        QTest::keyClick(box, Qt::Key(key));
    });
    QCOMPARE(dialogs.message(QStringLiteral("Drivelink"), QStringLiteral("?"),
                             OperatorDialogs::Icon::Question, buttons),
             answer);
}

QTEST_MAIN(tst_WidgetDialogs)
#include "tst_WidgetDialogs.moc"
