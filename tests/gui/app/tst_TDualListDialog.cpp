#include "app/TDualListDialog.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>

class tst_TDualListDialog : public QObject
{
    Q_OBJECT

private slots:
    void enterMeansOk_data();
    void enterMeansOk();
};

void tst_TDualListDialog::enterMeansOk_data()
{
    // The focus after choosing with ">": the arrow buttons never take Enter for themselves.
    QTest::addColumn<QString>("focused");
    QTest::newRow(">> after > was disabled") << ">>";
    QTest::newRow(">") << ">";
    QTest::newRow("<<") << "<<";
    QTest::newRow("the list") << "";
}

void tst_TDualListDialog::enterMeansOk()
{
    QFETCH(QString, focused);
    TDualListDialog dialog;
    dialog.setLists({"   ПЧ    #0", "   ПЧ    #1", "   ПЧ    #2"});
    dialog.show();
    auto *left = dialog.findChildren<QListWidget *>().at(0);
    left->item(1)->setSelected(true);
    QPushButton *include = nullptr;
    QPushButton *target = nullptr;
    for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
        if (button->text() == QLatin1String(">"))
            include = button;
        if (button->text() == focused)
            target = button;
    }
    QVERIFY(include);
    QTest::mouseClick(include, Qt::LeftButton);
    QCOMPARE(dialog.rightItems(), QStringList{"   ПЧ    #1"});

    QWidget *receiver = target ? static_cast<QWidget *>(target) : left;
    receiver->setFocus();
    QTest::keyClick(receiver, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.rightItems(), QStringList{"   ПЧ    #1"});
    QCOMPARE(dialog.leftItems(), (QStringList{"   ПЧ    #0", "   ПЧ    #2"}));
}

QTEST_MAIN(tst_TDualListDialog)
#include "tst_TDualListDialog.moc"
