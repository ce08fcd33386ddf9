// Setup files compared slot by slot, and how a compared value is shown.
#include "setup/IniFile.h"
#include "bus/TDM.h"
#include "params/EditorPlans.h"
#include "params/ParameterDiff.h"
#include "params/ParameterSet.h"

#include <QtTest>

namespace {

// A section of factory values of the model in the slot.
void addSection(IniFile &ini, int slot, const QString &model)
{
    const QString section = TDM::SectionName(slot);
    ini.writeString(section, QStringLiteral("Enable"), QStringLiteral("true"));
    ini.writeString(section, QStringLiteral("TypeName"), model);
    for (const ParameterDef &def : ParameterSet::forModel(model).rows())
        ini.writeInteger(section, def.key, def.defaultValue);
}

} // namespace

class tst_ParameterDiff : public QObject
{
    Q_OBJECT

private slots:
    void compareFiles_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("change"); // key=value, key= (deleted) or TypeName=...
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("secondText");
        QTest::addColumn<bool>("unshowable");

        QTest::newRow("equal") << "KX100"
                               << ""
                               << ""
                               << "" << false;
        QTest::newRow("one value changed") << "KX100"
                                           << "n003=2200"
                                           << "different"
                                           << "220.0" << false;
        QTest::newRow("list value shown by its text") << "KX100"
                                                      << "n004=1"
                                                      << "different"
                                                      << "1: Выбег" << false;
        QTest::newRow("missing key") << "KX200"
                                     << "CD10="
                                     << "missing"
                                     << "missing" << false;
        QTest::newRow("text that is no number") << "KX200"
                                                << "CD10=abc"
                                                << "missing"
                                                << "missing" << false;
        QTest::newRow("out of bounds") << "KX100"
                                       << "n003=9000"
                                       << "different"
                                       << "9000" << true;
        QTest::newRow("no item of the list") << "KX100"
                                             << "n005=7"
                                             << "different"
                                             << "7" << true;
    }
    void compareFiles()
    {
        QFETCH(QString, model);
        QFETCH(QString, change);
        QFETCH(QString, status);
        QFETCH(QString, secondText);
        QFETCH(bool, unshowable);
        IniFile first;
        IniFile second;
        addSection(first, 5, model);
        addSection(second, 5, model);
        if (!change.isEmpty()) {
            const QString key = change.section(QLatin1Char('='), 0, 0);
            const QString value = change.section(QLatin1Char('='), 1);
            if (value.isEmpty())
                second.deleteKey(TDM::SectionName(5), key);
            else
                second.writeString(TDM::SectionName(5), key, value);
        }
        const ParameterDiff::Slot slot = ParameterDiff::compareFiles(first, second, 5);
        QVERIFY(slot.note.isEmpty());
        QVERIFY(slot.compared > 0);
        if (status.isEmpty()) {
            QVERIFY(slot.equal());
            return;
        }
        QVERIFY(!slot.equal());
        QCOMPARE(slot.entries.size(), 1);
        const ParameterDiff::Entry &e = slot.entries.first();
        QCOMPARE(e.key, change.section(QLatin1Char('='), 0, 0));
        QCOMPARE(ParameterDiff::statusName(e.status), status);
        QCOMPARE(e.rightText, secondText);
        QCOMPARE(e.rightUnshowable, unshowable);
        QVERIFY(!e.leftUnshowable);
    }

    void slotsThatCannotBeComparedByParameter()
    {
        IniFile first;
        IniFile second;
        addSection(first, 2, QStringLiteral("KX100"));
        addSection(second, 2, QStringLiteral("KX200"));
        addSection(first, 3, QStringLiteral("KX300"));
        // Different models in one slot; an inverter in one file only; empty in both.
        QVERIFY(ParameterDiff::compareFiles(first, second, 2).note.contains("different models"));
        QVERIFY(ParameterDiff::compareFiles(first, second, 3).note.contains("only in"));
        QVERIFY(ParameterDiff::compareFiles(first, second, 4).equal());
    }

    void incompleteSectionNeverEqual()
    {
        // A backup that could not read every parameter, marked by keys of its own: the keys
        // it lacks are missing, never equal to anything.
        IniFile first;
        IniFile second;
        addSection(first, 1, QStringLiteral("KX200"));
        addSection(second, 1, QStringLiteral("KX200"));
        second.writeString(TDM::SectionName(1), QStringLiteral("Incomplete"), QStringLiteral("1"));
        for (const char *key : {"CD10", "CD16", "CD28"})
            second.deleteKey(TDM::SectionName(1), QLatin1String(key));
        const ParameterDiff::Slot slot = ParameterDiff::compareFiles(first, second, 1);
        QCOMPARE(slot.entries.size(), 3);
        for (const ParameterDiff::Entry &e : slot.entries)
            QCOMPARE(e.status, ParameterDiff::Status::Missing);
        // The readouts CD01..CD04 are no settings; CD23 and CD45, which a restore writes, are.
        QCOMPARE(slot.compared, 49 - 4);
    }

    void wordsCompareInTheFieldsSignedness()
    {
        // CD047 holds -5 sign-extended or as the unsigned word 65531: the same register value.
        const ParameterTransfer::Plan plan = EditorPlans::kx100();
        const ParameterRow &row = plan.rows[46];
        QVERIFY(row.bounded && row.rawMinimum < 0);
        const ParameterDiff::Entry same = ParameterDiff::compareOne(
            row, ParameterDiff::Value::known(-5), ParameterDiff::Value::known(65531));
        QCOMPARE(same.status, ParameterDiff::Status::Equal);
        QCOMPARE(same.rightText, same.leftText);
    }

    void failedReadIsNeverEqual()
    {
        const ParameterTransfer::Plan plan = EditorPlans::kx200();
        QList<ParameterDiff::Value> drive;
        for (int i = 0; i < plan.count(); ++i)
            drive << ParameterDiff::Value::known(plan.defaults[i]);
        QList<ParameterDiff::Value> file = drive;
        drive[10] = ParameterDiff::Value::failed();
        const QList<ParameterDiff::Entry> entries = ParameterDiff::compare(plan, drive, file);
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().status, ParameterDiff::Status::Failed);
        QCOMPARE(entries.first().leftText, QStringLiteral("read failed"));
    }
};

QTEST_GUILESS_MAIN(tst_ParameterDiff)
#include "tst_ParameterDiff.moc"
