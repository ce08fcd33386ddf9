#include "serial/TComm32.h"

#include "PseudoTerminalPair.h"
#include "RecordingNotices.h"
#include "serial/TransactionEngine.h"

#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

#include <termios.h>

namespace {

const QString OpenError = QStringLiteral("Error opening comm port(from TComm32::StartComm).");
const QString WriteError = QStringLiteral("Write thread not created(from TComm32::WriteCommData).");

QByteArray pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

bool writeBytes(TComm32 &comm, const QByteArray &bytes)
{
    return comm.WriteCommData(reinterpret_cast<const uint8_t *>(bytes.constData()),
                              uint16_t(bytes.size()));
}

QList<QByteArray> chunks(const QSignalSpy &spy)
{
    QList<QByteArray> result;
    for (const QList<QVariant> &arguments : spy)
        result << arguments.at(0).toByteArray();
    return result;
}

} // namespace

class tst_TComm32 : public QObject
{
    Q_OBJECT

private:
    RecordingNotices *m_notices = nullptr;

private slots:
    void init() { m_notices = RecordingNotices::installNew(); }
    void cleanup() { OperatorNotices::install(nullptr); }

    void defaults()
    {
        TComm32 comm;
        QCOMPARE(comm.commPort(), QString());
        QCOMPARE(comm.baudRate(), 9600);
        QCOMPARE(comm.parity(), pNone);
        QCOMPARE(comm.stopBits(), sb1_0);
        QCOMPARE(comm.byteSize(), 8);
        QVERIFY(!comm.isOpen());
    }

    void devicePath_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("path");
        QTest::newRow("COM1") << "COM1"
                              << "/dev/ttyS0";
        QTest::newRow("COM2") << "COM2"
                              << "/dev/ttyS1";
        QTest::newRow("COM10") << "COM10"
                               << "/dev/ttyS9";
        QTest::newRow("lower case") << "com3"
                                    << "/dev/ttyS2";
        QTest::newRow("device path") << "/dev/ttyUSB0"
                                     << "/dev/ttyUSB0";
        QTest::newRow("COM0 is no port number") << "COM0"
                                                << "COM0";
        QTest::newRow("no number") << "COM"
                                   << "COM";
        QTest::newRow("trailing text") << "COM1x"
                                       << "COM1x";
        QTest::newRow("empty") << ""
                               << "";
    }
    void devicePath()
    {
        QFETCH(QString, port);
        QFETCH(QString, path);
        QCOMPARE(TComm32::devicePath(port), path);
    }

    void startFailures_data()
    {
        // One box: the driver's text first, then the device and the reason in words.
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        const QString notComm =
            QStringLiteral("File handle is not a comm handle(from TComm32::StartComm).");
        QTest::newRow("empty name") << "" << OpenError << "Порт не выбран";
        QTest::newRow("missing device")
            << "/dev/drivelink-no-such-device" << OpenError
            << "Порт /dev/drivelink-no-such-device: устройство не найдено";
        QTest::newRow("regular file") << "<file>" << notComm << "это не последовательный порт";
        QTest::newRow("character device, not a terminal")
            << "/dev/null" << notComm << "Порт /dev/null: это не последовательный порт";
    }
    void startFailures()
    {
        QFETCH(QString, port);
        QFETCH(QString, text);
        QFETCH(QString, reason);
        QTemporaryFile file;
        QVERIFY(file.open());
        TComm32 comm;
        comm.setCommPort(port == "<file>" ? file.fileName() : port);
        QVERIFY(!comm.StartComm());
        QVERIFY(!comm.isOpen());
        QCOMPARE(m_notices->texts().size(), 1);
        const QStringList lines = m_notices->texts().first().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], text);
        QVERIFY2(lines[1].contains(reason), qPrintable(lines[1]));
        QCOMPARE(m_notices->shown.first().icon, OperatorNotice::Icon::Stop);
        QVERIFY(!writeBytes(comm, "x"));
    }

    void secondStartIsRefusedAndPortKeepsWorking()
    {
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        TComm32 comm;
        comm.setCommPort(line.slavePath());
        QVERIFY(comm.StartComm());
        QVERIFY(comm.isOpen());
        QVERIFY(m_notices->shown.isEmpty());

        QVERIFY(!comm.StartComm());
        QCOMPARE(m_notices->texts(),
                 QStringList{"Already have a comm file open(from TComm32::StartComm)."});
        QVERIFY(writeBytes(comm, "still here"));
        QCOMPARE(line.readExactly(10, 5000), QByteArray("still here"));
    }

    void writeNeedsStartedPort()
    {
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        TComm32 comm;
        comm.setCommPort(line.slavePath());
        QVERIFY(!writeBytes(comm, "early"));
        QVERIFY(comm.StartComm());
        comm.StopComm();
        QVERIFY(!comm.isOpen());
        QVERIFY(!writeBytes(comm, "late"));
        QCOMPARE(m_notices->texts(), (QStringList{WriteError, WriteError}));
        QCOMPARE(line.read(100, 200), QByteArray());
    }

    void stopOnClosedPortDoesNothing()
    {
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        TComm32 comm;
        comm.StopComm();
        comm.setCommPort(line.slavePath());
        QVERIFY(comm.StartComm());
        comm.StopComm();
        comm.StopComm();
        QVERIFY(!comm.isOpen());
        QVERIFY(m_notices->shown.isEmpty());
        // Stopped and started again: a new pair of threads serves the line.
        QVERIFY(comm.StartComm());
        QSignalSpy received(&comm, &CommLink::OnReceiveData);
        QVERIFY(line.write("again"));
        QVERIFY(received.wait(5000));
        QCOMPARE(chunks(received), QList<QByteArray>{"again"});
    }

    void burstArrivesAsOneChunk_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<int>("gapMs");
        QTest::newRow("one write") << QList<QByteArray>{QByteArray::fromHex("0103020064B9AF")} << 0;
        QTest::newRow("pieces 50 ms apart")
            << QList<QByteArray>{QByteArray::fromHex("0103"), QByteArray::fromHex("0200"),
                                 QByteArray::fromHex("64B9AF")}
            << 50;
        QTest::newRow("pieces 100 ms apart")
            << QList<QByteArray>{QByteArray("/01"), QByteArray("R0"), QByteArray("5A\r")} << 100;
    }
    void burstArrivesAsOneChunk()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(int, gapMs);
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        TComm32 comm;
        comm.setCommPort(line.slavePath());
        QVERIFY(comm.StartComm());
        QSignalSpy received(&comm, &CommLink::OnReceiveData);
        QList<QThread *> deliveredOn;
        connect(&comm, &CommLink::OnReceiveData, this,
                [&deliveredOn] { deliveredOn << QThread::currentThread(); });

        QByteArray whole;
        for (const QByteArray &piece : pieces) {
            if (!whole.isEmpty())
                QThread::msleep(gapMs);
            QVERIFY(line.write(piece));
            whole += piece;
        }
        QVERIFY(received.wait(5000));
        // Nothing follows once the line has been silent.
        QTest::qWait(400);
        QCOMPARE(chunks(received), QList<QByteArray>{whole});
        QCOMPARE(deliveredOn, QList<QThread *>{thread()});
    }

    void silenceSplitsBurst()
    {
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        TComm32 comm;
        comm.setCommPort(line.slavePath());
        QVERIFY(comm.StartComm());
        QSignalSpy received(&comm, &CommLink::OnReceiveData);
        QVERIFY(line.write("first part"));
        QThread::msleep(600);
        QVERIFY(line.write("second part"));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 2, 5000);
        QCOMPARE(chunks(received), (QList<QByteArray>{"first part", "second part"}));
    }

    void longBurstSplitsAtBufferSize()
    {
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        TComm32 comm;
        comm.setCommPort(line.slavePath());
        QVERIFY(comm.StartComm());
        QSignalSpy received(&comm, &CommLink::OnReceiveData);
        const QByteArray burst = pattern(3000);
        QVERIFY(line.write(burst));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 2, 5000);
        const QList<QByteArray> got = chunks(received);
        QCOMPARE(got.at(0).size(), 2048);
        QCOMPARE(got.at(1).size(), 952);
        QCOMPARE(got.at(0) + got.at(1), burst);
    }

    void writesLeaveInCallOrderEachWhole()
    {
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        TComm32 comm;
        comm.setCommPort(line.slavePath());
        QVERIFY(comm.StartComm());
        QByteArray expected;
        const QList<QByteArray> blocks{QByteArray::fromHex("0103016A0001A5EA"), pattern(3000),
                                       QByteArray("/01W0107D0\r"), pattern(65535), "end"};
        for (const QByteArray &block : blocks) {
            QVERIFY(writeBytes(comm, block));
            expected += block;
        }
        QCOMPARE(line.readExactly(int(expected.size()), 20000), expected);
        QCOMPARE(line.read(10, 100), QByteArray());
        QVERIFY(m_notices->shown.isEmpty());
    }

    // A pseudo-terminal forces 8 data bits and no parity enable, so the bits it keeps show
    // that StartComm applied the settings; the whole mapping is tested with SerialDevice.
    void lineSettingsApplied_data()
    {
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("cflags");
        QTest::newRow("9600 N1") << 9600 << int(pNone) << int(sb1_0) << int(B9600) << 0;
        QTest::newRow("38400 O2") << 38400 << int(pOdd) << int(sb2_0) << int(B38400)
                                  << int(PARODD | CSTOPB);
        QTest::newRow("4800 N1.5") << 4800 << int(pNone) << int(sb1_5) << int(B4800) << int(CSTOPB);
        QTest::newRow("115200 mark")
            << 115200 << int(pMark) << int(sb1_0) << int(B115200) << int(PARODD | CMSPAR);
        // No termios constant: the speed goes to the driver as a number, which the C library
        // reports as the marker 0010000 (the number itself is checked with SerialDevice).
        QTest::newRow("14000 as a number") << 14000 << int(pEven) << int(sb1_0) << 0010000 << 0;
    }
    void lineSettingsApplied()
    {
        QFETCH(int, baudRate);
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(int, speed);
        QFETCH(int, cflags);
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        TComm32 comm;
        comm.setCommPort(line.slavePath());
        comm.setBaudRate(baudRate);
        comm.setParity(TParity(parity));
        comm.setStopBits(TStopBits(stopBits));
        QVERIFY(comm.StartComm());

        const termios tio = line.slaveAttributes();
        QCOMPARE(int(cfgetospeed(&tio)), speed);
        QCOMPARE(int(cfgetispeed(&tio)), speed);
        QCOMPARE(int(tio.c_cflag & (PARODD | CMSPAR | CSTOPB)), cflags);
        QCOMPARE(tio.c_cflag & (CLOCAL | CREAD | CRTSCTS), tcflag_t(CLOCAL | CREAD));
        QCOMPARE(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), tcflag_t(0));
        QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
        QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));
    }

    void restartAppliesChangedPortAndSettings()
    {
        PseudoTerminalPair first;
        PseudoTerminalPair second;
        QVERIFY2(first.isOpen() && second.isOpen(), qPrintable(first.errorString()));
        TComm32 comm;
        comm.setCommPort(first.slavePath());
        QVERIFY(comm.StartComm());
        QVERIFY(writeBytes(comm, "one"));
        QCOMPARE(first.readExactly(3, 5000), QByteArray("one"));

        comm.setCommPort(second.slavePath());
        comm.setBaudRate(19200);
        comm.setParity(pOdd);
        // Nothing changes before the restart.
        QVERIFY(writeBytes(comm, "two"));
        QCOMPARE(first.readExactly(3, 5000), QByteArray("two"));
        const termios unchanged = first.slaveAttributes();
        QCOMPARE(int(cfgetospeed(&unchanged)), int(B9600));

        comm.StopComm();
        QVERIFY(comm.StartComm());
        QSignalSpy received(&comm, &CommLink::OnReceiveData);
        QVERIFY(writeBytes(comm, "three"));
        QCOMPARE(second.readExactly(5, 5000), QByteArray("three"));
        QCOMPARE(first.read(10, 100), QByteArray());
        const termios tio = second.slaveAttributes();
        QCOMPARE(int(cfgetospeed(&tio)), int(B19200));
        QCOMPARE(tio.c_cflag & PARODD, tcflag_t(PARODD));

        QVERIFY(second.write("reply"));
        QVERIFY(received.wait(5000));
        QVERIFY(first.write("stale line"));
        QTest::qWait(400);
        QCOMPARE(chunks(received), QList<QByteArray>{"reply"});
    }

    void secondPortOnSameDeviceIsRefused()
    {
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        TComm32 owner;
        owner.setCommPort(line.slavePath());
        QVERIFY(owner.StartComm());
        TComm32 intruder;
        intruder.setCommPort(line.slavePath());
        QVERIFY(!intruder.StartComm());
        QVERIFY(!intruder.isOpen());
        QCOMPARE(m_notices->texts(),
                 QStringList{OpenError + "\nПорт " + line.slavePath() +
                             " занят другой программой. Закройте её и откройте порт снова."});
        QCOMPARE(intruder.startFailure().reason(), PortOpenFailure::Reason::Busy);

        // A caller that words the failure itself gets no box.
        intruder.setReportsStartFailures(false);
        QVERIFY(!intruder.StartComm());
        QCOMPARE(m_notices->texts().size(), 1);
        QCOMPARE(intruder.startFailure().device(), line.slavePath());

        owner.StopComm();
        QVERIFY(intruder.StartComm());
        QCOMPARE(intruder.startFailure().reason(), PortOpenFailure::Reason::None);
        QVERIFY(writeBytes(intruder, "mine now"));
        QCOMPARE(line.readExactly(8, 5000), QByteArray("mine now"));
    }

    void destructorReleasesPort()
    {
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        {
            TComm32 comm;
            comm.setCommPort(line.slavePath());
            QVERIFY(comm.StartComm());
            QVERIFY(writeBytes(comm, "bye"));
            QCOMPARE(line.readExactly(3, 5000), QByteArray("bye"));
        }
        TComm32 next;
        next.setCommPort(line.slavePath());
        QVERIFY(next.StartComm());
        QVERIFY(m_notices->shown.isEmpty());
    }

    void chunkPostedBeforeStopIsStillDelivered()
    {
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        TComm32 comm;
        comm.setCommPort(line.slavePath());
        QVERIFY(comm.StartComm());
        QSignalSpy received(&comm, &CommLink::OnReceiveData);
        QVERIFY(line.write("late reply"));
        // No event loop runs here: the receive thread posts the chunk after the silence.
        QThread::msleep(700);
        comm.StopComm();
        QCOMPARE(received.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 5000);
        QCOMPARE(chunks(received), QList<QByteArray>{"late reply"});
    }

    void vanishingDeviceEndsThreadsWithHangup()
    {
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        TComm32 comm;
        comm.setCommPort(line.slavePath());
        QVERIFY(comm.StartComm());
        QSignalSpy hangups(&comm, &CommLink::OnRequestHangup);
        QSignalSpy received(&comm, &CommLink::OnReceiveData);

        line.closeMaster();
        QVERIFY(hangups.wait(5000));
        QCOMPARE(hangups.first().at(0).value<QObject *>(), &comm);
        // The operator is told once, in words, which device has gone.
        QCOMPARE(m_notices->texts(),
                 QStringList{QStringLiteral("нет связи с портом %1").arg(line.slavePath())});
        // The receive thread has ended: no more reports, no spinning on the dead line.
        QTest::qWait(300);
        QCOMPARE(hangups.count(), 1);
        QCOMPARE(received.count(), 0);
        QVERIFY(comm.isOpen());

        // The transmit thread fails on its next block and then takes no more.
        QVERIFY(writeBytes(comm, "lost"));
        QTRY_COMPARE_WITH_TIMEOUT(hangups.count(), 2, 5000);
        QCOMPARE(m_notices->texts().last(),
                 "Unexpeced Error:(from TWriteThread::HandleWriteData).");
        QVERIFY(!writeBytes(comm, "refused"));
        QCOMPARE(m_notices->shown.size(), 2);

        comm.StopComm();
        QVERIFY(!comm.isOpen());
    }

    // A port that never opened: requests fail at once, without a box for each one, and the
    // status bar names the closed port.
    void closedPortFailsRequestsWithoutBoxes()
    {
        TComm32 comm;
        comm.setCommPort(QStringLiteral("/nonexistent-drivelink/ttyUSB9"));
        TransactionEngine engine(&comm);
        QSignalSpy frames(&engine, &TransactionEngine::frameShown);
        QSignalSpy unavailable(&engine, &TransactionEngine::portUnavailable);
        TransactionRecord record;
        InitTransaction(record, nullptr, 0, 0, 1);
        record.TxLength = 2;
        for (int i = 0; i < 3; ++i)
            engine.submit(record);
        QTRY_COMPARE(unavailable.size(), 3);
        QVERIFY(!engine.isBusy());
        QVERIFY(m_notices->shown.isEmpty());
        QCOMPARE(frames.last().at(0).toString(),
                 QStringLiteral("Порт /nonexistent-drivelink/ttyUSB9 закрыт"));
    }
};

QTEST_GUILESS_MAIN(tst_TComm32)
#include "tst_TComm32.moc"
