// The trend window over a store of its own: what it plots, pause, the cursor and the exports.
#include "views/TTrendForm.h"
#include "monitor/TrendStore.h"

#include <QDateTime>
#include <QLineSeries>
#include <QTemporaryDir>
#include <QtTest>

class tst_TTrendForm : public QObject
{
    Q_OBJECT

private slots:
    void plotsTheSpanPausesAndExports()
    {
        TrendStore store;
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        // Two minutes of replies, one a second, frequency, voltage and current in turn.
        for (int i = 0; i < 120; ++i)
            store.append(7, TrendBuffer::Quantity(i % 3), 10.0 + i, now - (119 - i) * 1000);
        store.append(6, TrendBuffer::Frequency, 99.0, now); // another drive

        TTrendForm form;
        form.setStore(&store);
        form.setWindowTitle(TTrendForm::captionFor(7));
        QCOMPARE(form.windowTitle(), QStringLiteral("Тренд:  ПЧ     #7"));
        form.show();
        QCOMPARE(form.address(), 7);
        // The last minute: 20 points per quantity.
        QCOMPARE(form.series(0)->count(), 20);
        QCOMPARE(form.series(2)->points().last().y(), 129.0);
        form.setSpanMinutes(5);
        QCOMPARE(form.series(1)->count(), 40);

        // Paused, new samples are kept but not drawn; resumed, they are.
        form.setPaused(true);
        const int redraws = form.redrawCount();
        store.append(7, TrendBuffer::Frequency, 1.0, now + 500);
        QTest::qWait(TTrendForm::RedrawIntervalMs * 2);
        QCOMPARE(form.redrawCount(), redraws);
        QCOMPARE(form.series(0)->count(), 40);
        form.setPaused(false);
        QCOMPARE(form.series(0)->count(), 41);

        form.showCursorAt(now - 59000 + 100);
        QVERIFY2(form.cursorText().contains(QStringLiteral("F 70.00 Гц")),
                 qPrintable(form.cursorText()));

        QTemporaryDir dir;
        const QString csv = dir.filePath(QStringLiteral("t.csv"));
        QVERIFY(form.exportCsv(csv));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count('\n'), 1 + 121);
        QVERIFY(form.exportPng(dir.filePath(QStringLiteral("t.png"))));
        QVERIFY(!QImage(dir.filePath(QStringLiteral("t.png"))).isNull());
        // A directory that does not exist: refused, nothing left behind.
        QString why;
        QVERIFY(!form.exportCsv(dir.filePath(QStringLiteral("no/t.csv")), &why));
        QVERIFY(!why.isEmpty());
    }
};

QTEST_MAIN(tst_TTrendForm)
#include "tst_TTrendForm.moc"
