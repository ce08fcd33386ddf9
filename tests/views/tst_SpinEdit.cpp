#include "views/SpinEdit.h"

#include <QLineEdit>
#include <QTest>

class tst_SpinEdit : public QObject
{
    Q_OBJECT

private slots:
    void setValueRoundsAndBounds_data();
    void setValueRoundsAndBounds();
    void typingAcceptsDigitsOnly();
};

void tst_SpinEdit::setValueRoundsAndBounds_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("10.2") << 10.2 << "10";
    QTest::newRow("9.6") << 9.6 << "10";
    QTest::newRow("above maximum") << 100.0 << "60";
    QTest::newRow("below minimum") << -5.0 << "0";
    QTest::newRow("NaN") << std::nan("") << "0";
}

void tst_SpinEdit::setValueRoundsAndBounds()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    SpinEdit edit;
    edit.setRange(0, 60);
    edit.setValue(value);
    QCOMPARE(edit.text(), text);
}

void tst_SpinEdit::typingAcceptsDigitsOnly()
{
    SpinEdit edit;
    edit.setRange(0, 60);
    edit.lineEdit()->clear();
    QTest::keyClicks(edit.lineEdit(), QStringLiteral("1a-2"));
    QCOMPARE(edit.text(), QStringLiteral("12"));
}

QTEST_MAIN(tst_SpinEdit)
#include "tst_SpinEdit.moc"
