#include "serial/PortOpenFailure.h"
#include "serial/SerialDevice.h"

#include "PseudoTerminalPair.h"

#include <QTemporaryFile>
#include <QTest>

class tst_SerialDevice : public QObject
{
    Q_OBJECT

private slots:
    void nearestStandardRate_data()
    {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("rate");
        QTest::newRow("standard 110") << 110 << 110;
        QTest::newRow("standard 9600") << 9600 << 9600;
        QTest::newRow("standard 115200") << 115200 << 115200;
        QTest::newRow("14400 tie goes slower") << 14400 << 9600;
        QTest::newRow("14401 goes faster") << 14401 << 19200;
        QTest::newRow("56000") << 56000 << 57600;
        QTest::newRow("128000") << 128000 << 115200;
        QTest::newRow("256000") << 256000 << 230400;
        QTest::newRow("zero never hangs up") << 0 << 50;
        QTest::newRow("negative") << -9600 << 50;
        QTest::newRow("far above") << 2147483647 << 4000000;
    }
    void nearestStandardRate()
    {
        QFETCH(int, requested);
        QFETCH(int, rate);
        QCOMPARE(SerialDevice::nearestStandardRate(requested), rate);
        QVERIFY(SerialDevice::speedConstant(rate) != B0);
    }

    void lineAttributes_data()
    {
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("byteSize");
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("cflags"); // size, parity and stop bits
        QTest::newRow("9600 8N1") << 9600 << int(pNone) << int(sb1_0) << 8 << int(B9600)
                                  << int(CS8);
        QTest::newRow("19200 8E1")
            << 19200 << int(pEven) << int(sb1_0) << 8 << int(B19200) << int(CS8 | PARENB);
        QTest::newRow("38400 7O2") << 38400 << int(pOdd) << int(sb2_0) << 7 << int(B38400)
                                   << int(CS7 | PARENB | PARODD | CSTOPB);
        QTest::newRow("1.5 stop bits as 2")
            << 4800 << int(pNone) << int(sb1_5) << 8 << int(B4800) << int(CS8 | CSTOPB);
        QTest::newRow("mark parity") << 115200 << int(pMark) << int(sb1_0) << 8 << int(B115200)
                                     << int(CS8 | PARENB | PARODD | CMSPAR);
        QTest::newRow("unknown parity code as none")
            << 9600 << 9 << int(sb1_0) << 8 << int(B9600) << int(CS8);
        QTest::newRow("out-of-range data bits as 8")
            << 9600 << int(pNone) << int(sb1_0) << 9 << int(B9600) << int(CS8);
    }
    void lineAttributes()
    {
        QFETCH(int, baudRate);
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(int, byteSize);
        QFETCH(int, speed);
        QFETCH(int, cflags);
        // Start from a cooked terminal with every setting that must go switched on.
        termios current{};
        current.c_iflag = ICRNL | IXON | IXOFF | IXANY | ISTRIP | INPCK;
        current.c_oflag = OPOST | ONLCR;
        current.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
        current.c_cflag = CS7 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL;
        const termios tio = SerialDevice::lineAttributes(
            current, {baudRate, TParity(parity), TStopBits(stopBits), byteSize});
        QCOMPARE(int(cfgetospeed(&tio)), speed);
        QCOMPARE(int(cfgetispeed(&tio)), speed);
        QCOMPARE(int(tio.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)), cflags);
        QCOMPARE(tio.c_cflag & (CLOCAL | CREAD | CRTSCTS), tcflag_t(CLOCAL | CREAD));
        QCOMPARE(tio.c_iflag & (ICRNL | IXON | IXOFF | IXANY | ISTRIP), tcflag_t(0));
        QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));
        QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
        QCOMPARE(int(tio.c_cc[VMIN]), 1);
        QCOMPARE(int(tio.c_cc[VTIME]), 0);
    }

    void openResults()
    {
        SerialDevice device;
        QCOMPARE(device.open(QString()), SerialDevice::OpenResult::OpenFailed);
        QCOMPARE(device.open("/nonexistent/tty"), SerialDevice::OpenResult::OpenFailed);
        QCOMPARE(device.open("/dev/null"), SerialDevice::OpenResult::NotComm);
        QTemporaryFile file;
        QVERIFY(file.open());
        QCOMPARE(device.open(file.fileName()), SerialDevice::OpenResult::NotComm);
        QVERIFY(!device.isOpen());
    }

    void lockIsExclusiveUntilClose()
    {
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        SerialDevice first;
        SerialDevice second;
        QCOMPARE(first.open(line.slavePath()), SerialDevice::OpenResult::Ok);
        QCOMPARE(second.open(line.slavePath()), SerialDevice::OpenResult::OpenFailed);
        QCOMPARE(PortOpenFailure::reasonForError(second.openError()),
                 PortOpenFailure::Reason::Busy);
        first.close();
        QVERIFY(!first.isOpen());
        QCOMPARE(second.open(line.slavePath()), SerialDevice::OpenResult::Ok);
        QVERIFY(second.fd() >= 0);
    }

    void pseudoTerminalNeedsNoRtsSwitching()
    {
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        SerialDevice device;
        QCOMPARE(device.open(line.slavePath()), SerialDevice::OpenResult::Ok);
        device.applyLineSettings(LineSettings{});
        // No modem lines: the writer must not wait for RTS round trips.
        QVERIFY(!device.switchesRts());
        SerialDevice::LineErrorCounts counts;
        QVERIFY(!device.readLineErrorCounts(counts));
    }

    void characterTime_data()
    {
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("byteSize");
        QTest::addColumn<int>("microseconds");
        QTest::addColumn<int>("appliedRate");
        QTest::newRow("9600 8N1: 10 bits") << 9600 << int(pNone) << int(sb1_0) << 8 << 1042 << 9600;
        QTest::newRow("9600 8E1: 11 bits") << 9600 << int(pEven) << int(sb1_0) << 8 << 1146 << 9600;
        QTest::newRow("19200 7O2: 11 bits")
            << 19200 << int(pOdd) << int(sb2_0) << 7 << 573 << 19200;
        QTest::newRow("115200 8N1") << 115200 << int(pNone) << int(sb1_0) << 8 << 87 << 115200;
        // The settings dialog offers 14400, which has no termios constant: the line runs at
        // it all the same, not at a neighbouring speed.
        QTest::newRow("14400 8N1 as asked")
            << 14400 << int(pNone) << int(sb1_0) << 8 << 695 << 14400;
        QTest::newRow("56000 8E1 as asked")
            << 56000 << int(pEven) << int(sb1_0) << 8 << 197 << 56000;
    }
    void characterTime()
    {
        QFETCH(int, baudRate);
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(int, byteSize);
        QFETCH(int, microseconds);
        QFETCH(int, appliedRate);
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        SerialDevice device;
        QCOMPARE(device.open(line.slavePath()), SerialDevice::OpenResult::Ok);
        QVERIFY(
            device.applyLineSettings({baudRate, TParity(parity), TStopBits(stopBits), byteSize}));
        QCOMPARE(device.baudRate(), appliedRate);
        QCOMPARE(device.characterTimeUs(), microseconds);
    }

    void refusedRateIsNotTaken_data()
    {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("inForce");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exact") << 14400 << 14400 << true;
        QTest::newRow("divisor rounding") << 14400 << 14406 << true;
        QTest::newRow("refused: no speed reported") << 14400 << 0 << false;
        QTest::newRow("fallback to 9600") << 14400 << 9600 << false;
        QTest::newRow("fallback to half") << 921600 << 460800 << false;
        QTest::newRow("3 % off") << 10000 << 10300 << false;
    }
    void refusedRateIsNotTaken()
    {
        QFETCH(int, requested);
        QFETCH(int, inForce);
        QFETCH(bool, accepted);
        QCOMPARE(SerialDevice::rateAccepted(requested, inForce), accepted);
    }
};

QTEST_GUILESS_MAIN(tst_SerialDevice)
#include "tst_SerialDevice.moc"
