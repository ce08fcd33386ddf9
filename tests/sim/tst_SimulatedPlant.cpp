#include "sim/SimulatedPlant.h"

#include "PtyClient.h"

#include <QtTest>

class tst_SimulatedPlant : public QObject
{
    Q_OBJECT

private slots:
    void defaultPlantAnswersAsEachModel()
    {
        SimulatedPlant plant;
        plant.setTiming(SimulatedBus::Timing::fast());
        QString error;
        const QString device = plant.start(&error);
        QVERIFY2(!device.isEmpty(), qPrintable(error));
        QCOMPARE(plant.devicePath(), device);
        QVERIFY(plant.isRunning());

        QCOMPARE(plant.bus().inverterCount(), 3);
        QCOMPARE(plant.bus().modelName(0), QStringLiteral("KX100"));
        QCOMPARE(plant.bus().modelName(1), QStringLiteral("KX200"));
        QCOMPARE(plant.bus().modelName(2), QStringLiteral("KX300"));

        PtyClient line(device);
        QVERIFY(line.isOpen());
        // What detection sends: KX200 probe first, then the Modbus probes.
        QCOMPARE(line.exchange(hexBytes("01 03 01 6A 00 01 A5 EA"), 7),
                 hexBytes("01 03 02 00 01 79 84"));
        QCOMPARE(line.exchange(hexBytes("2F 02 52 08 02 8D"), 8),
                 hexBytes("2F 02 52 08 02 00 02 8F"));
        QCOMPARE(line.exchange(hexBytes("03 03 01 6A 00 01 A4 08"), 5), hexBytes("03 83 02 61 31"));
        QCOMPARE(line.exchange(hexBytes("03 03 04 1C 00 01 45 1E"), 7),
                 hexBytes("03 03 02 00 03 81 85"));

        plant.stop();
        QVERIFY(!plant.isRunning());
        QVERIFY(plant.devicePath().isEmpty());
    }

    void restartKeepsTheInverters()
    {
        SimulatedPlant plant({{QStringLiteral("kx300"), 5}});
        plant.setTiming(SimulatedBus::Timing::fast());
        QVERIFY(!plant.start().isEmpty());
        QVERIFY(plant.bus().setRegisterValue(0, 0x0100, 7));
        plant.stop();
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        QCOMPARE(plant.bus().inverterCount(), 1);
        QCOMPARE(plant.bus().registerValue(0, 0x0100), std::optional<quint16>(7));
        PtyClient line(device);
        // Read of A1-00 at 5: 05 03 01 00 00 01 CRC -> value 7.
        QCOMPARE(line.exchange(hexBytes("05 03 01 00 00 01 84 72"), 7).left(5),
                 hexBytes("05 03 02 00 07"));
    }

    void membersAreChecked_data()
    {
        QTest::addColumn<QList<SimulatedPlant::Member>>("members");
        QTest::addColumn<bool>("valid");
        QTest::newRow("default") << SimulatedPlant::defaultMembers() << true;
        QTest::newRow("Modbus and slash share an address")
            << QList<SimulatedPlant::Member>{{"KX100", 4}, {"KX200", 4}} << true;
        QTest::newRow("two Modbus at one address")
            << QList<SimulatedPlant::Member>{{"KX100", 4}, {"KX300", 4}} << false;
        QTest::newRow("Modbus at the broadcast address")
            << QList<SimulatedPlant::Member>{{"KX300", 0}} << false;
        QTest::newRow("KX200 at 0") << QList<SimulatedPlant::Member>{{"KX200", 0}} << true;
        QTest::newRow("address 32") << QList<SimulatedPlant::Member>{{"KX200", 32}} << false;
        QTest::newRow("unknown model") << QList<SimulatedPlant::Member>{{"KX400", 1}} << false;
    }

    void membersAreChecked()
    {
        QFETCH(QList<SimulatedPlant::Member>, members);
        QFETCH(bool, valid);
        QCOMPARE(SimulatedPlant::checkMembers(members).isEmpty(), valid);
        SimulatedPlant plant(members);
        QString error;
        QCOMPARE(!plant.start(&error).isEmpty(), valid);
        QCOMPARE(error.isEmpty(), valid);
    }
};

QTEST_GUILESS_MAIN(tst_SimulatedPlant)
#include "tst_SimulatedPlant.moc"
