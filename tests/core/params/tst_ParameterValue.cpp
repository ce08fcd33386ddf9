// The value rules walked over every row of every model's tables: register and sign, bounds and
// bound +- one step, list members, the word a drive returns, and the section check built on
// them.
#include "params/EditorPlans.h"
#include "params/ParameterSection.h"
#include "params/ParameterSet.h"
#include "params/ParameterValue.h"
#include "setup/IniFile.h"

#include <QtTest>

using Verdict = ParameterValue::Verdict;

class tst_ParameterValue : public QObject
{
    Q_OBJECT

private slots:
    void everyRow_data()
    {
        QTest::addColumn<ParameterRow>("row");
        for (const QString model : {"KX100", "KX200", "KX300"}) {
            const QList<ParameterTransfer::Plan> plans = EditorPlans::forModel(model);
            QVERIFY(!plans.isEmpty());
            for (const ParameterTransfer::Plan &plan : plans) {
                for (const ParameterRow &row : plan.rows)
                    QTest::addRow("%s %s", qPrintable(model), qPrintable(row.key)) << row;
            }
        }
    }

    void everyRow()
    {
        QFETCH(ParameterRow, row);
        const ParameterDef *def = ParameterSet::forModel(row.model).findKey(row.key);
        QVERIFY(def);
        const auto verdict = [&](int64_t value) { return ParameterValue::check(row, value).verdict; };
        const auto isDefault = [&](int64_t value) {
            return value == def->defaultValue || (row.defaultValue && *row.defaultValue == value);
        };
        const ParameterValue::Sign sign = ParameterValue::signOf(row);
        // Register and sign: what no 16-bit word of the row's sign carries is never taken.
        QCOMPARE(verdict(0x10000), Verdict::RegisterImpossible);
        QCOMPARE(verdict(-0x8001), Verdict::RegisterImpossible);
        if (sign == ParameterValue::Sign::Signed) {
            QCOMPARE(verdict(0x8000), Verdict::RegisterImpossible);
            QCOMPARE(verdict(0xFFFF), Verdict::RegisterImpossible);
        } else if (sign == ParameterValue::Sign::Unsigned) {
            QVERIFY(verdict(0xFFFF) != Verdict::RegisterImpossible);
            QCOMPARE(verdict(-1), Verdict::RegisterImpossible);
            QCOMPARE(ParameterValue::check(row, -1, true).value, 0xFFFF);
        }
        // A drive's word comes back in the same sign, so a read value passes unchanged.
        for (const int64_t value : {row.rawMinimum, row.rawMaximum, int64_t(def->defaultValue)}) {
            const std::optional<int32_t> word = ParameterValue::normalize(row, value);
            if (word)
                QCOMPARE(ParameterValue::fromWord(row.model, def->index, uint16_t(*word)), *word);
        }
        if (row.isList()) {
            for (int item = 0; item < row.items.size(); ++item)
                QCOMPARE(verdict(item), Verdict::Ok);
            if (!row.firstItemOnly && !isDefault(row.items.size()))
                QCOMPARE(verdict(row.items.size()), Verdict::FieldInvalid);
            return;
        }
        if (!row.bounded)
            return;
        // Bounds, and one step (one register unit) beyond them.
        QCOMPARE(verdict(row.rawMinimum), Verdict::Ok);
        QCOMPARE(verdict(row.rawMaximum), Verdict::Ok);
        for (const int64_t beyond : {row.rawMinimum - 1, row.rawMaximum + 1}) {
            if (!isDefault(beyond) && ParameterValue::normalize(row, beyond))
                QCOMPARE(verdict(beyond), Verdict::FieldInvalid);
        }
        // The field's scale takes the bounds back to the same register values.
        QCOMPARE(row.toRaw(row.minimum()), row.rawMinimum);
        QCOMPARE(row.toRaw(row.maximum()), row.rawMaximum);
    }

    void sectionCheck_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("edited");  // taken by a download
        QTest::addColumn<bool>("asRead");  // taken by a restore
        QTest::newRow("KX200 CD44 beyond its field") << "KX200" << "CD44" << "461" << false << true;
        QTest::newRow("KX200 CD44 -1") << "KX200" << "CD44" << "-1" << false << false;
        QTest::newRow("KX300 O1-03 old -25536") << "KX300" << "O1-03" << "-25536" << false << true;
        QTest::newRow("KX200 CD44 65536") << "KX200" << "CD44" << "65536" << false << false;
        QTest::newRow("KX100 n003 outside") << "KX100" << "n003" << "100" << false << true;
        QTest::newRow("KX300 B5-07 65535") << "KX300" << "B5-07" << "65535" << false << false;
        QTest::newRow("KX300 B5-07 -1") << "KX300" << "B5-07" << "-1" << true << true;
        QTest::newRow("KX300 O1-03 40000") << "KX300" << "O1-03" << "40000" << false << true;
        QTest::newRow("KX300 A1-00 9") << "KX300" << "A1-00" << "9" << false << true;
    }

    void sectionCheck()
    {
        QFETCH(QString, model);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(bool, edited);
        QFETCH(bool, asRead);
        QString text = QStringLiteral("[  ПЧ     #4]\nEnable=true\nTypeName=%1\n").arg(model);
        for (const ParameterDef &def : ParameterSet::forModel(model).rows())
            text += def.key + '=' + (def.key == key ? value : QString::number(def.defaultValue)) +
                    '\n';
        IniFile ini;
        ini.parse(text);
        const ParameterSection section = ParameterSection::read(ini, 4);
        QCOMPARE(section.model, model);
        const ParameterSection::Checked download = section.check(ParameterSection::Mode::Edited);
        const ParameterSection::Checked restore = section.check(ParameterSection::Mode::AsRead);
        QCOMPARE(download.problems.isEmpty(), edited);
        QCOMPARE(restore.problems.isEmpty(), asRead);
        QCOMPARE(restore.values.contains(key), asRead);
    }

    void sectionNamesIncompleteAndDuplicates()
    {
        IniFile ini;
        ini.parse(QStringLiteral("[  ПЧ     #2]\nEnable=true\nTypeName=KX200\nCD16=5\nCD16=6\n"
                                 "Incomplete=CD28,CD29\n[  ПЧ     #2]\nCD30=1\n"));
        const ParameterSection section = ParameterSection::read(ini, 2);
        QCOMPARE(section.incomplete, QStringList({"CD28", "CD29"}));
        QCOMPARE(section.duplicates,
                 QStringList({"key CD16 twice", "section [ПЧ     #2] twice"}));
        const ParameterSection::Checked checked = section.check(ParameterSection::Mode::AsRead);
        QCOMPARE(checked.unread, QStringList({"CD28", "CD29"}));
        QCOMPARE(checked.values.value("CD16"), 5);
    }
};

QTEST_GUILESS_MAIN(tst_ParameterValue)
#include "tst_ParameterValue.moc"
