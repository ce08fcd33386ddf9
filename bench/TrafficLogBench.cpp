// Traffic log under load: exchanges appended at a steady rate (10 000 a second unless told
// otherwise) while the log window is shown and its table scrolled up and down. Reports the
// rows appended per second, what the ring kept and dropped, and how late the event loop
// served a 10 ms probe timer at worst: the figure the operator feels as a stuck window.
//
//   traffic-log-bench [--rate N] [--seconds S]

#include "bus/ModbusFrame.h"
#include "bus/TrafficRecorder.h"
#include "serial/TransactionRecord.h"
#include "views/TTrafficLogForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

qint64 threadCpuMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// Measures the processor time each outermost event takes on the UI thread: unlike the
// probe's lateness, it does not grow when other programs keep the processor busy.
class MeasuredApplication : public QApplication
{
public:
    using QApplication::QApplication;

    qint64 longestEventUs = 0;
    qint64 busyUs = 0;
    bool measuring = false; // off while the window first shows

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth > 0 || !measuring)
            return QApplication::notify(receiver, event);
        ++m_depth;
        const qint64 start = threadCpuMicroseconds();
        const bool handled = QApplication::notify(receiver, event);
        const qint64 spent = threadCpuMicroseconds() - start;
        --m_depth;
        busyUs += spent;
        longestEventUs = std::max(longestEventUs, spent);
        return handled;
    }

private:
    int m_depth = 0;
};

// A KX100 read of register 259 with its reply; every tenth a time-out, every 25th a reply
// with a broken CRC, so the meaning column decodes all kinds of rows.
TransactionRecord exchangeNumber(qint64 n)
{
    TransactionRecord record;
    InitTransaction(record, nullptr, 0, 0, int32_t(n % 32));
    ModbusFrame::buildRead(record, uint8_t(record.Slot), 259);
    if (n % 10 == 9)
        return record; // no reply: RxLength stays -1
    const uint8_t reply[] = {uint8_t(record.Slot), 0x03, 0x02, uint8_t(n >> 8), uint8_t(n)};
    std::copy(std::begin(reply), std::end(reply), record.RxFrame);
    ModbusFrame::appendCrc(record.RxFrame, 5);
    if (n % 25 == 24)
        record.RxFrame[5] ^= 0xFF;
    record.RxLength = 7;
    return record;
}

int option(const QStringList &arguments, const QString &name, int fallback)
{
    const int at = int(arguments.indexOf(name));
    if (at < 0 || at + 1 >= arguments.size())
        return fallback;
    bool ok = false;
    const int value = arguments[at + 1].toInt(&ok);
    return ok && value > 0 ? value : fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    MeasuredApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int rate = option(arguments, QStringLiteral("--rate"), 10000);
    const int seconds = option(arguments, QStringLiteral("--seconds"), 12);

    TrafficRecorder recorder(nullptr, nullptr);
    TTrafficLogForm form(&recorder);
    form.resize(1000, 600);
    form.show();
    QTableView *view = form.logView();

    QElapsedTimer clock;
    clock.start();
    qint64 appended = 0;

    // The bus side: every millisecond, whatever the rate asks for by now.
    QTimer producer;
    producer.setTimerType(Qt::PreciseTimer);
    producer.setInterval(1);
    QObject::connect(&producer, &QTimer::timeout, [&] {
        const qint64 due = clock.elapsed() * rate / 1000;
        for (; appended < due; ++appended)
            recorder.recordExchange(exchangeNumber(appended), 40 + appended % 20);
    });

    // The operator: scrolls up a page every 40 ms for a second, then back to the newest row.
    QTimer scroller;
    scroller.setInterval(40);
    int step = 0;
    QObject::connect(&scroller, &QTimer::timeout, [&] {
        QScrollBar *bar = view->verticalScrollBar();
        if (++step % 50 < 25)
            bar->setValue(bar->value() - bar->pageStep());
        else
            view->scrollToBottom();
    });

    // The probe: how late a 10 ms timer fires tells how long the loop was kept busy.
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(10);
    std::vector<qint64> lateness;
    QElapsedTimer sinceProbe;
    sinceProbe.start();
    QObject::connect(&probe, &QTimer::timeout, [&] {
        lateness.push_back(std::max<qint64>(0, sinceProbe.nsecsElapsed() / 1000 - 10000));
        sinceProbe.restart();
    });

    // Load starts once the window has shown itself.
    QTimer::singleShot(500, &app, [&] {
        app.measuring = true;
        clock.start();
        sinceProbe.start();
        producer.start();
        scroller.start();
        probe.start();
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    });
    app.exec();
    recorder.log().flush();

    const double elapsed = double(clock.elapsed()) / 1000.0;
    std::sort(lateness.begin(), lateness.end());
    const auto percentile = [&](double p) {
        return lateness.empty()
                   ? 0.0
                   : double(lateness[size_t(p * double(lateness.size() - 1))]) / 1000.0;
    };
    std::printf("traffic log: %d exchanges/s asked for %d s, window shown and scrolled (%s)\n",
                rate, seconds, qPrintable(QGuiApplication::platformName()));
    std::printf("  appended        %lld rows, %.0f rows/s\n", appended, double(appended) / elapsed);
    std::printf("  kept in ring    %d rows (capacity %d), dropped %lld\n",
                recorder.log().rowCount(), recorder.log().capacity(),
                recorder.log().droppedCount());
    std::printf("  event loop late median %.1f ms, 99th percentile %.1f ms, worst %.1f ms"
                " (%zu probes)\n",
                percentile(0.5), percentile(0.99), percentile(1.0), lateness.size());
    std::printf("  UI thread busy %.0f %% of the time, longest single event %.1f ms of processor"
                " time\n",
                double(app.busyUs) / 10000.0 / elapsed, double(app.longestEventUs) / 1000.0);
    return 0;
}
