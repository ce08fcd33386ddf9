// The traffic log window: filters, copy, saving (a failure is a box and keeps every row),
// and its place in the main window: one instance, opened from "Окна", left out of setup files;
// listening to another master, during which the program sends nothing.
#include "FakeCommLink.h"
#include "RecordingDialogs.h"
#include "app/MainSettings.h"
#include "app/SectionedToolBar.h"
#include "app/TMainForm.h"
#include "bus/BusHost.h"
#include "bus/ListeningMode.h"
#include "bus/ModbusFrame.h"
#include "bus/TrafficDecoder.h"
#include "bus/TrafficLogFilter.h"
#include "bus/TrafficRecorder.h"
#include "views/TTrafficLogForm.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QItemSelectionModel>
#include <QMdiArea>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {
TransactionRecord readOf(int slot, bool answered)
{
    TransactionRecord record;
    InitTransaction(record, nullptr, 0, 0, slot);
    const uint8_t tx[] = {uint8_t(slot), 0x03, 0x01, 0x03, 0x00, 0x01};
    std::memcpy(record.TxFrame, tx, sizeof tx);
    record.TxLength = 6; // no CRC: the decoder names the request all the same
    if (answered) {
        record.RxLength = 4;
        std::memset(record.RxFrame, 0, 4);
    }
    return record;
}
} // namespace

class tst_TTrafficLogForm : public QObject
{
    Q_OBJECT

private slots:
    void filtersCopiesAndSaves()
    {
        RecordingDialogs *dialogs = RecordingDialogs::installNew();
        TrafficRecorder recorder(nullptr, nullptr);
        recorder.setClock([] { return qint64(0); });
        TTrafficLogForm form(&recorder);
        recorder.recordExchange(readOf(1, false), 400);
        recorder.recordExchange(readOf(2, false), 400);
        recorder.recordExchange(readOf(1, false), 400);
        recorder.log().flush();
        QCOMPARE(form.logView()->model()->rowCount(), 3);

        form.addressBox()->setCurrentIndex(form.addressBox()->findData(1));
        QCOMPARE(form.logView()->model()->rowCount(), 2);
        form.resultBox()->setCurrentIndex(1);
        QCOMPARE(form.filter()->errorsOnly(), true);

        form.logView()->selectAll();
        const QStringList copied = form.selectedText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(copied.size(), 2);
        QVERIFY(copied[0].contains(QStringLiteral("#1 ")));

        QTemporaryDir dir;
        QVERIFY(form.saveTo(dir.filePath(QStringLiteral("log.csv"))));
        QVERIFY(dialogs->shown.isEmpty());
        QVERIFY(!form.saveTo(dir.filePath(QStringLiteral("missing/log.csv"))));
        QCOMPARE(dialogs->shown.size(), 1);
        QVERIFY(dialogs->shown[0].text.contains(QStringLiteral("missing/log.csv")));
        QCOMPARE(recorder.log().rowCount(), 3);

        form.PauseBtnClick(true);
        recorder.recordExchange(readOf(1, true), 10);
        recorder.log().flush();
        QCOMPARE(recorder.log().rowCount(), 3);
        QCOMPARE(recorder.statistics().find(1)->exchanges, 3);
        form.PauseBtnClick(false);
        QCOMPARE(recorder.log().rowCount(), 4);
        OperatorDialogs::install(nullptr);
    }

    void oneWindowLeftOutOfSetupFiles()
    {
        RecordingDialogs::installNew();
        FakeCommLink port;
        BusHost host(&port, BusHost::Role::Forwarded);
        TMainForm mainForm(&host, &port);
        QTRY_COMPARE(mainForm.childWindows().size(), 1); // the status panel of the start-up
        QAction *item = mainForm.menuAction(QStringLiteral("TrafficLogItem"));
        QVERIFY(item);
        item->trigger();
        mainForm.toolBar()->action(QStringLiteral("TrafficLogBtn"))->trigger();
        QVERIFY(mainForm.trafficLogWindow());
        QCOMPARE(mainForm.childWindows().size(), 2);
        const QList<SetupFile::WindowEntry> saved = MainSettings::childWindowEntries(mainForm);
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved[0].className, QStringLiteral("TLEDForm"));
        // The button waits in the customisation window at first start.
        QVERIFY(!mainForm.toolBar()->layout().contains(QStringLiteral("TrafficLogBtn")));
        mainForm.mdiArea()->closeAllSubWindows();
        QTRY_VERIFY(!mainForm.trafficLogWindow());
        OperatorDialogs::install(nullptr);
    }

    void listeningShowsTheOtherMasterAndSendsNothing()
    {
        RecordingDialogs::installNew();
        FakeCommLink port;
        BusHost host(&port, BusHost::Role::Forwarded);
        TMainForm mainForm(&host, &port);
        mainForm.menuAction(QStringLiteral("TrafficLogItem"))->trigger();
        TTrafficLogForm *form = mainForm.trafficLogWindow();
        QVERIFY(form && form->listenButton()->isEnabled());
        QTRY_VERIFY(!host.engine().isBusy());
        const qsizetype sentBefore = port.written.size();

        form->listenButton()->click();
        QVERIFY(mainForm.listeningMode()->isActive());
        QVERIFY(port.receiveOnly());
        QCOMPARE(mainForm.messagePanel()->text(), ListeningMode::statusText());
        // A request of the program waits while the other master has the line.
        TransactionRecord record;
        InitTransaction(record, nullptr, 0, 0, 1);
        ModbusFrame::buildRead(record, 1, 0x0103);
        host.engine().submit(record);

        // The other master reads a KX200 and writes a KX100 the program does not know yet.
        TransactionRecord write;
        ModbusFrame::buildWrite(write, 3, 0x0200, 100);
        const QByteArray writeBytes(reinterpret_cast<const char *>(write.TxFrame), write.TxLength);
        QByteArray echoBytes = writeBytes.left(6);
        uint8_t crc[8];
        std::memcpy(crc, echoBytes.constData(), 6);
        ModbusFrame::appendCrc(crc, 6);
        echoBytes = QByteArray(reinterpret_cast<const char *>(crc), 8);
        QByteArray slashRead("/\x02R\x00\x06", 5);
        slashRead.append(char(0x2F + 0x02 + 'R' + 0x06));
        QByteArray slashReply("/\x02R\x00\x06\x00\x1E", 7);
        slashReply.append(char(0x2F + 0x02 + 'R' + 0x06 + 0x1E));
        port.receive(slashRead + slashReply + writeBytes + echoBytes);

        const TrafficLogModel &log = host.traffic().log();
        QTRY_COMPARE(log.rowCount(), 2);
        QCOMPARE(TrafficDecoder::meaning(log.entry(0)), QStringLiteral("чтение CD06 = 3.0"));
        QCOMPARE(TrafficDecoder::meaning(log.entry(1)), QStringLiteral("запись C1-01 = 10.0"));
        QVERIFY(host.traffic().statistics().find(2));
        QCOMPARE(host.traffic().statistics().find(3)->good, 1);
        QCOMPARE(port.written.size(), sentBefore);

        // Stopping gives the line back: the waiting request goes out.
        form->listenButton()->click();
        QVERIFY(!mainForm.listeningMode()->isActive());
        QVERIFY(!port.receiveOnly());
        QVERIFY(mainForm.messagePanel()->text().isEmpty());
        QTRY_COMPARE(port.written.size(), sentBefore + 1);
        OperatorDialogs::install(nullptr);
    }
};

QTEST_MAIN(tst_TTrafficLogForm)
#include "tst_TTrafficLogForm.moc"
