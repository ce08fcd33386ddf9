#include "params/ParameterField.h"
#include "params/ParameterRowTable.h"

#include <QTest>

// Field behaviour against the rows of the real tables, so a slip in the bounds or scales of
// the data shows here too.
class tst_ParameterField : public QObject
{
    Q_OBJECT

private slots:
    void showNumeric_data();
    void showNumeric();
    void showList_data();
    void showList();
    void edit_data();
    void edit();
    void shownValueIsStable();
};

namespace {
const ParameterRow &row(const QString &table, const QString &code)
{
    const ParameterRow *found = ParameterRowTable::embedded(table).findCode(code);
    if (!found)
        qFatal("no row %s in %s", qPrintable(code), qPrintable(table));
    return *found;
}
} // namespace

void tst_ParameterField::showNumeric_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("held");

    QTest::newRow("fixed one decimal") << "kx100"
                                       << "CD019" << 123 << "12.3" << 123;
    // A value outside the bounds is shown and kept as read, and flagged.
    QTest::newRow("below minimum as read") << "kx100"
                                           << "CD003" << 1400 << "140.0" << 1400;
    QTest::newRow("above maximum as read") << "kx100"
                                           << "CD003" << 3000 << "300.0" << 3000;
    QTest::newRow("factory value below minimum") << "kx100"
                                                 << "CD053" << 1 << "0.1" << 1;
    QTest::newRow("two decimals") << "kx200"
                                  << "CD09" << 5000 << "50.00" << 5000;
    QTest::newRow("three decimals") << "kx100"
                                    << "CD068" << 1234 << "1.234" << 1234;
    QTest::newRow("integer") << "kx100"
                             << "CD046" << 150 << "150" << 150;
    // A signed field reads an unsigned word as negative; a signed word stays.
    QTest::newRow("word 0xFFFB is -5") << "kx100"
                                       << "CD047" << 0xFFFB << "-5" << -5;
    QTest::newRow("negative stays") << "kx100"
                                    << "CD047" << -5 << "-5" << -5;
    QTest::newRow("word 0x8000 below minimum") << "kx100"
                                               << "CD047" << 0x8000 << "-32768" << -32768;
    QTest::newRow("0x7FFF is positive, above max") << "kx100"
                                                   << "CD047" << 0x7FFF << "32767" << 32767;
    // An unsigned field above 0x7FFF reads a sign-extended word as unsigned.
    QTest::newRow("sign-extended word unsigned") << "kx100"
                                                 << "CD068" << -30000 << "35.536" << 35536;
    // Read-only fields show what was read and keep it, bounds or not.
    QTest::newRow("read-only address above bound") << "kx200"
                                                   << "CD48*" << 200 << "200" << 200;
    QTest::newRow("read-only version") << "kx200"
                                       << "CD44" << 1234 << "1234" << 1234;
    QTest::newRow("read-only fault code") << "kx200"
                                          << "CD23" << 401 << "401" << 401;
    QTest::newRow("read-only readout") << "kx200"
                                       << "CD01" << 60000 << "600.00" << 60000;
    QTest::newRow("read-only bus address") << "kx100"
                                           << "CD106" << 40 << "40" << 40;
    QTest::newRow("monitor value as read") << "kx300_u"
                                           << "U1-02" << -5 << "-0.05" << -5;
}

void tst_ParameterField::showNumeric()
{
    QFETCH(QString, table);
    QFETCH(QString, code);
    QFETCH(int, stored);
    const ParameterField::Shown shown = ParameterField::show(row(table, code), stored);
    QTEST(shown.text, "text");
    QTEST(int(shown.value), "held");
    const ParameterRow &r = row(table, code);
    QCOMPARE(shown.outside, ParameterField::clamps(r) && (shown.value < r.rawMinimum ||
                                                          shown.value > r.rawMaximum));
}

void tst_ParameterField::showList_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("item");

    QTest::newRow("valid index") << "kx100"
                                 << "CD005" << 1 << 1;
    QTest::newRow("first item") << "kx100"
                                << "CD005" << 0 << 0;
    QTest::newRow("past the items") << "kx100"
                                    << "CD005" << 9 << -1;
    QTest::newRow("one past the items") << "kx100"
                                        << "CD005" << 2 << -1;
    QTest::newRow("negative") << "kx100"
                              << "CD005" << -1 << -1;
    QTest::newRow("disabled list still shows") << "kx100"
                                               << "CD002" << 6 << 6;
    QTest::newRow("empty last item") << "kx100"
                                     << "CD008" << 2 << 2;
    QTest::newRow("first item only") << "kx300_u"
                                     << "U1-14" << 5 << 0;
}

void tst_ParameterField::showList()
{
    QFETCH(QString, table);
    QFETCH(QString, code);
    QFETCH(int, stored);
    const ParameterField::Shown shown = ParameterField::show(row(table, code), stored);
    QTEST(shown.itemIndex, "item");
    // Showing never changes a list value, valid or not.
    QCOMPARE(int(shown.value), stored);
}

void tst_ParameterField::edit_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("corrected"); // empty: the text stands

    QTest::newRow("one decimal") << "kx100"
                                 << "CD019"
                                 << "2.3" << 23 << "";
    QTest::newRow("decimal comma") << "kx100"
                                   << "CD019"
                                   << "2,3" << 23 << "";
    QTest::newRow("more decimals than the step") << "kx100"
                                                 << "CD019"
                                                 << "2.36" << 0 << "0.0";
    QTest::newRow("the issue's 255.05") << "kx100"
                                        << "CD003"
                                        << "255.05" << 1500 << "150.0";
    QTest::newRow("two decimals") << "kx200"
                                  << "CD09"
                                  << "50.05" << 5005 << "";
    QTest::newRow("above maximum") << "kx100"
                                   << "CD019"
                                   << "5000" << 36000 << "3600.0";
    QTest::newRow("intermediate below minimum") << "kx100"
                                                << "CD003"
                                                << "2" << 1500 << "150.0";
    QTest::newRow("empty is zero") << "kx100"
                                   << "CD019"
                                   << "" << 0 << "";
    QTest::newRow("empty below minimum") << "kx100"
                                         << "CD003"
                                         << "" << 1500 << "150.0";
    QTest::newRow("negative integer") << "kx100"
                                      << "CD047"
                                      << "-5" << -5 << "";
    QTest::newRow("below negative minimum") << "kx100"
                                            << "CD047"
                                            << "-101" << -100 << "-100";
    QTest::newRow("lone sign gives minimum") << "kx100"
                                             << "CD047"
                                             << "-" << -100 << "-100";
    QTest::newRow("decimals in integer field") << "kx100"
                                               << "CD046"
                                               << "2.5" << 0 << "0";
    QTest::newRow("huge integer") << "kx100"
                                  << "CD046"
                                  << "99999999999999999999" << 200 << "200";
    QTest::newRow("not a number") << "kx100"
                                  << "CD003"
                                  << "abc" << 1500 << "150.0";
    QTest::newRow("inf is no number") << "kx100"
                                      << "CD019"
                                      << "inf" << 0 << "0.0";
    QTest::newRow("blanks around") << "kx100"
                                   << "CD046"
                                   << " 12 " << 12 << "";
    QTest::newRow("upper bound exactly") << "kx100"
                                         << "CD068"
                                         << "65.53" << 65530 << "";
}

void tst_ParameterField::edit()
{
    QFETCH(QString, table);
    QFETCH(QString, code);
    QFETCH(QString, text);
    QFETCH(QString, corrected);
    const ParameterField::Edited edited = ParameterField::edit(row(table, code), text);
    QTEST(int(edited.value), "value");
    QCOMPARE(edited.corrected, !corrected.isEmpty());
    QCOMPARE(edited.correctedText, corrected);
}

// Showing what a field holds after showing changes nothing more: a load followed by a
// download writes back exactly the value the field shows.
void tst_ParameterField::shownValueIsStable()
{
    const QList<int32_t> samples = {-70000, -32768, -5,    -1,    0,     1,     5,     9,      150,
                                    1499,   1500,   32767, 32768, 65531, 65535, 65536, 2000000};
    for (const QString &table : ParameterRowTable::embeddedNames()) {
        for (const ParameterRow &r : ParameterRowTable::embedded(table).rows()) {
            for (int32_t stored : samples) {
                const ParameterField::Shown once = ParameterField::show(r, stored);
                const ParameterField::Shown twice = ParameterField::show(r, once.value);
                QCOMPARE(twice.value, once.value);
                QCOMPARE(twice.text, once.text);
                QCOMPARE(twice.itemIndex, once.itemIndex);
                if (r.isNumeric() && ParameterField::clamps(r) && !once.outside) {
                    // What the field shows, typed back, is the value it holds.
                    QCOMPARE(ParameterField::edit(r, once.text).value, once.value);
                }
            }
        }
    }
}

QTEST_GUILESS_MAIN(tst_ParameterField)
#include "tst_ParameterField.moc"
