#include "views/SpinEdit.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

class tst_SpinEdit : public QObject
{
    Q_OBJECT

private slots:
    void setValueRoundsAndBounds_data();
    void setValueRoundsAndBounds();
    void changedOnlyWhenTheTextChanges();
    void rangePullsTheValueIn();
    void spinStepsWithinTheRange();
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

void tst_SpinEdit::changedOnlyWhenTheTextChanges()
{
    SpinEdit edit;
    edit.setRange(0, 60);
    QSignalSpy changed(&edit, &SpinEdit::changed);
    edit.setValue(12);
    QCOMPARE(changed.size(), 1);
    edit.setValue(12.3); // still "12"
    QCOMPARE(changed.size(), 1);
    edit.setText(QStringLiteral("13"));
    QCOMPARE(changed.size(), 2);
    QCOMPARE(edit.value(), std::optional<int>(13));
    edit.setText(QString());
    QCOMPARE(changed.size(), 3);
    QCOMPARE(edit.value(), std::nullopt);
}

void tst_SpinEdit::rangePullsTheValueIn()
{
    SpinEdit edit;
    edit.setRange(0, 60);
    edit.setValue(50);
    QSignalSpy changed(&edit, &SpinEdit::changed);
    edit.setRange(0, 60); // same range: nothing to pull in
    QCOMPARE(changed.size(), 0);
    edit.setRange(0, 40);
    QCOMPARE(edit.text(), QStringLiteral("40"));
    QCOMPARE(changed.size(), 1);
    edit.setRange(45, 50);
    QCOMPARE(edit.text(), QStringLiteral("45"));
    edit.setText(QString());
    changed.clear();
    edit.setRange(0, 10); // no number shown: nothing to pull in
    QCOMPARE(changed.size(), 0);
}

void tst_SpinEdit::spinStepsWithinTheRange()
{
    SpinEdit edit;
    edit.setRange(0, 2);
    edit.stepBy(1);
    QCOMPARE(edit.text(), QStringLiteral("1"));
    edit.stepBy(5);
    QCOMPARE(edit.text(), QStringLiteral("2"));
    edit.stepBy(-10);
    QCOMPARE(edit.text(), QStringLiteral("0"));
    edit.setText(QString());
    edit.stepBy(1); // from the minimum when nothing is shown
    QCOMPARE(edit.text(), QStringLiteral("1"));
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
