#include "serial/FrameGap.h"
#include "serial/TransactionEngine.h"

#include <QTest>

// The pause arithmetic of the fast timing: t3.5 for the line's character time, what is left of
// it, and the detection probes' deadline from the replies seen.
class tst_FrameGap : public QObject
{
    Q_OBJECT

private slots:
    void pause_data();
    void pause();
};

void tst_FrameGap::pause_data()
{
    QTest::addColumn<int>("characterUs"); // 11-bit characters
    QTest::addColumn<qint64>("lastEndNs");
    QTest::addColumn<qint64>("nowNs");
    QTest::addColumn<int>("gapUs");
    QTest::addColumn<qint64>("leftNs");
    QTest::addColumn<int>("probeMs"); // detection's deadline after replies of 20 characters
    const qint64 end = 5'000'000'000;
    // 9600 bit/s: 1146 us a character, 4011 us of gap, not rounded to 5 ms.
    QTest::newRow("9600, just after the reply")
        << 1146 << end << end << 4011 << qint64(4'011'000) << 92;
    QTest::newRow("9600, gap half gone")
        << 1146 << end << end + 2'000'000 << 4011 << qint64(2'011'000) << 92;
    QTest::newRow("19200") << 573 << end << end + 5'000 << 2005 << qint64(2'000'000) << 50;
    // Above 19200 bit/s the gap stays at 1750 us, not 2 ms.
    QTest::newRow("38400") << 286 << end << end << 1750 << qint64(1'750'000) << 50;
    QTest::newRow("115200, 1 us before its end")
        << 95 << end << end + 1'749'000 << 1750 << qint64(1'000) << 50;
    QTest::newRow("gap passed") << 95 << end << end + 2'000'000 << 1750 << qint64(0) << 50;
    QTest::newRow("nothing on the line yet") << 1146 << qint64(0) << end << 4011 << qint64(0) << 92;
}

void tst_FrameGap::pause()
{
    QFETCH(int, characterUs);
    QFETCH(qint64, lastEndNs);
    QFETCH(qint64, nowNs);
    QFETCH(int, gapUs);
    QFETCH(qint64, leftNs);
    QFETCH(int, probeMs);
    QCOMPARE(FrameGap::gapUs(characterUs), gapUs);
    FrameGap gap;
    gap.setGapUs(gapUs);
    gap.noteReceived(lastEndNs);
    gap.noteSent(lastEndNs - 20'000'000, 1'000'000); // an older request changes nothing
    QCOMPARE(gap.remainingNs(nowNs), leftNs);
    gap.setGapUs(0); // the standard timing keeps no gap
    QCOMPARE(gap.remainingNs(nowNs), qint64(0));

    // Detection's deadline: 4 x the slowest reply, within 50 ms and the reply deadline.
    const int replyUs = characterUs * 20;
    QCOMPARE(TransactionEngine::probeTimeoutMs(replyUs, 300), probeMs);
    QCOMPARE(TransactionEngine::probeTimeoutMs(replyUs, 30), 30);
    QCOMPARE(TransactionEngine::probeTimeoutMs(0, 300), 300); // no reply seen yet
}

QTEST_GUILESS_MAIN(tst_FrameGap)
#include "tst_FrameGap.moc"
