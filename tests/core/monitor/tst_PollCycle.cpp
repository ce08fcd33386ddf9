#include "monitor/PollCycle.h"

#include <QTest>

using Request = PollCycle::Request;
Q_DECLARE_METATYPE(PollCycle::Request)

class tst_PollCycle : public QObject
{
    Q_OBJECT

private slots:
    void fullRound();
    void tickWaitsForTheAnswer();
    void answerWithoutRequestChangesNothing();
};

void tst_PollCycle::fullRound()
{
    PollCycle cycle;
    const Request expected[] = {Request::OutputFreq, Request::OutputVoltage, Request::OutputCurrent,
                                Request::OutputFreq};
    for (int round = 0; round < 4; ++round) {
        if (round > 0)
            QVERIFY(cycle.tick());
        QCOMPARE(cycle.step(), (3 * round) % 9);
        QCOMPARE(cycle.next(), expected[round]);
        QCOMPARE(cycle.step(), (3 * round) % 9 + 1);
        QVERIFY(cycle.awaitingReply());
        QVERIFY(cycle.answered());
        QCOMPARE(cycle.step(), (3 * round) % 9 + 2);
    }
}

void tst_PollCycle::tickWaitsForTheAnswer()
{
    PollCycle cycle;
    QVERIFY(!cycle.tick()); // step 0: nothing has been asked yet
    cycle.next();
    for (int i = 0; i < 3; ++i)
        QVERIFY(!cycle.tick());
    QCOMPARE(cycle.step(), 1);
    cycle.answered();
    QVERIFY(cycle.tick());
    QVERIFY(!cycle.tick()); // the next request has not been issued
    QCOMPARE(cycle.step(), 3);
}

void tst_PollCycle::answerWithoutRequestChangesNothing()
{
    PollCycle cycle;
    QVERIFY(!cycle.answered());
    QCOMPARE(cycle.step(), 0);
    cycle.next();
    cycle.answered();
    QVERIFY(!cycle.answered()); // a second reply to the same request
    QCOMPARE(cycle.step(), 2);
    cycle.reset();
    QCOMPARE(cycle.step(), 0);
    QVERIFY(!cycle.awaitingReply());
}

QTEST_APPLESS_MAIN(tst_PollCycle)
#include "tst_PollCycle.moc"
