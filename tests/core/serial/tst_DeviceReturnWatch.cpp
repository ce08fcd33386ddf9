#include "serial/DeviceReturnWatch.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// A lost device is back once its file exists again, also below a directory that went with it.
class tst_DeviceReturnWatch : public QObject
{
    Q_OBJECT

private slots:
    void toldOnceTheDeviceIsBack_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::newRow("in a directory that stays") << QStringLiteral("ttyUSB0");
        QTest::newRow("in a directory that goes with it")
            << QStringLiteral("serial/by-id/usb-adapter");
    }

    void toldOnceTheDeviceIsBack()
    {
        QFETCH(QString, relative);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString path = root.filePath(relative);
        DeviceReturnWatch watch;
        QSignalSpy returned(&watch, &DeviceReturnWatch::returned);
        watch.watch(path);
        QVERIFY(watch.isWatching());

        QVERIFY(QDir(root.path()).mkpath(QFileInfo(path).absolutePath()));
        QTest::qWait(20); // the directory's event, with nothing to tell yet
        QCOMPARE(returned.count(), 0);
        QFile device(path);
        QVERIFY(device.open(QIODevice::WriteOnly));
        QVERIFY(returned.wait(2000));
        QCOMPARE(returned.count(), 1);
        QCOMPARE(returned.first().first().toString(), QFileInfo(path).absoluteFilePath());
        QVERIFY(!watch.isWatching());
    }

    void aDeviceThatNeverWentIsNotTold()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString path = root.filePath(QStringLiteral("ttyS0"));
        QFile device(path);
        QVERIFY(device.open(QIODevice::WriteOnly));
        DeviceReturnWatch watch;
        QSignalSpy returned(&watch, &DeviceReturnWatch::returned);
        watch.watch(path);
        QFile other(root.filePath(QStringLiteral("ttyS1")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        watch.check();
        QCOMPARE(returned.count(), 0);
        // Gone and back: told.
        QVERIFY(QFile::remove(path));
        watch.check();
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        watch.check();
        QCOMPARE(returned.count(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_DeviceReturnWatch)
#include "tst_DeviceReturnWatch.moc"
