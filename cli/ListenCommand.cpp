#include "cli/ListenCommand.h"

#include "bus/BusHost.h"
#include "bus/BusListener.h"
#include "bus/LocalTime.h"
#include "bus/TrafficDecoder.h"
#include "bus/TrafficEntry.h"
#include "bus/TrafficLine.h"
#include "bus/TrafficStatistics.h"
#include "cli/CliExit.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/StopSignal.h"
#include "serial/TComm32.h"

#include <QEventLoop>
#include <QTimer>

#include <utility>

QJsonObject ListenCommand::toJson(const TrafficEntry &entry)
{
    QJsonObject object;
    object.insert(QStringLiteral("time"),
                  LocalTime::text(entry.time, QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")));
    object.insert(QStringLiteral("address"), entry.address);
    object.insert(QStringLiteral("model"), TrafficEntry::modelName(entry.model));
    object.insert(QStringLiteral("request"),
                  QString::fromLatin1(entry.request.toHex(' ').toUpper()));
    object.insert(QStringLiteral("reply"), QString::fromLatin1(entry.reply.toHex(' ').toUpper()));
    object.insert(QStringLiteral("result"), entry.result);
    object.insert(QStringLiteral("responseMs"), entry.responseMs);
    object.insert(QStringLiteral("meaning"), TrafficDecoder::meaning(entry));
    return object;
}

int ListenCommand::run(const QMap<int, QString> &models, int durationMs, bool stats)
{
    TComm32 &port = m_session.port();
    // The engine neither sends nor takes the chunks for strays of its own.
    m_session.host().engine().setSuspended(true);
    BusListener listener;
    for (auto it = models.cbegin(); it != models.cend(); ++it)
        listener.decoder().setModel(it.key(), TrafficEntry::modelNamed(it.value()));
    TrafficStatistics statistics;
    // The lines of what one event told go out together, flushed once when it is done.
    m_out.setHeld(true);
    bool flushPosted = false;
    QObject::connect(&listener, &BusListener::heard, &listener, [&](const TrafficEntry &entry) {
        statistics.record(entry);
        if (m_out.json())
            m_out.result(QString(), toJson(entry));
        else
            m_out.result(TrafficLine::text(entry), QJsonObject());
        if (!std::exchange(flushPosted, true)) {
            QMetaObject::invokeMethod(
                &listener,
                [&] {
                    flushPosted = false;
                    m_out.flush();
                },
                Qt::QueuedConnection);
        }
    });
    QObject::connect(&port, &CommLink::writeRefused, &listener,
                     [&](const QString &text) { m_out.error(text); });

    QEventLoop loop;
    StopSignal stop;
    QObject::connect(&stop, &StopSignal::received, &loop, &QEventLoop::quit);
    QObject::connect(&port, &CommLink::OnRequestHangup, &loop, &QEventLoop::quit);
    QTimer duration;
    duration.setSingleShot(true);
    QObject::connect(&duration, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (durationMs > 0)
        duration.start(durationMs);
    listener.attach(&port, port.baudRate());
    m_out.error(QStringLiteral("listening on %1 at %2 bit/s; nothing is sent")
                    .arg(m_session.devicePath())
                    .arg(port.baudRate()));
    loop.exec();
    listener.detach();
    m_out.setHeld(false);
    m_out.flush();

    if (stats) {
        if (m_out.json()) {
            for (const TrafficStatistics::Counts &counts : statistics.rows())
                m_out.result(QString(), TrafficStatistics::toJson(counts));
        } else {
            for (const QString &line : statistics.textLines())
                m_out.text(line);
        }
    }
    m_out.error(QStringLiteral("heard %1 exchanges; %2 writes refused, 0 bytes sent")
                    .arg(listener.exchanges())
                    .arg(port.refusedWrites()));
    return m_session.linkLost() ? CliExit::Failure : CliExit::Ok;
}
