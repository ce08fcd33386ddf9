#include "bench/WindowBench.h"

#include "bus/BusHost.h"
#include "cli/CliSession.h"
#include "cli/InverterTransfer.h"
#include "monitor/MonitorCaption.h"
#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"
#include "views/TMonitorForm.h"

#include <QElapsedTimer>

#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

constexpr int kIdleMs = 5000;

} // namespace

int WindowBench::run(const QString &link, int speed)
{
    CliSession session;
    CliSession::Settings settings;
    settings.port = link;
    settings.line.baudRate = speed;
    settings.fastTiming = true;
    QString error;
    if (!session.open(settings, &error)) {
        std::fprintf(stderr, "window: %s\n", qPrintable(error));
        return 1;
    }
    const char *models[] = {"KX100", "KX200", "KX300"};
    for (int address = 1; address <= 3; ++address) {
        if (!session.ensureInverter(address, QLatin1String(models[address - 1]), &error)) {
            std::fprintf(stderr, "window: %s\n", qPrintable(error));
            return 1;
        }
    }
    InverterTransfer transfer(&session);
    const auto upload = [&]() {
        QElapsedTimer clock;
        clock.start();
        const InverterTransfer::Result result = transfer.upload(1);
        return result.ok ? clock.nsecsElapsed() / 1e9 : -1.0;
    };
    const double alone = upload();

    int polls = 0;
    QObject::connect(&session.host().engine(), &TransactionEngine::exchangeFinished,
                     [&polls](const TransactionRecord &record, qint64) {
                         polls += record.NotifyMessage == Msg::MonitorPollResult ? 1 : 0;
                     });
    std::vector<std::unique_ptr<TMonitorForm>> monitors;
    for (int address = 1; address <= 3; ++address) {
        auto form = std::make_unique<TMonitorForm>();
        form->setWindowTitle(MonitorCaption::prefix() + QString::number(address));
        form->show();
        SendMessage(form.get(), Msg::StartMonitor);
        monitors.push_back(std::move(form));
    }
    CliSession::pause(1500); // every monitor has polled
    const double loaded = upload();

    const double before = cpuSeconds();
    QElapsedTimer idle;
    idle.start();
    CliSession::pause(kIdleMs);
    const double share = (cpuSeconds() - before) / (idle.nsecsElapsed() / 1e9);
    std::printf("window %.4f %.4f %.4f %d\n", alone, loaded, share, polls);
    monitors.clear();
    return alone > 0 && loaded > 0 ? 0 : 1;
}
