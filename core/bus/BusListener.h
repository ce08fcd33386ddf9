#pragma once

#include "bus/ExchangePairer.h"
#include "bus/ListenDecoder.h"
#include "bus/StreamFrameCutter.h"
#include "bus/TrafficEntry.h"
#include "serial/CommLink.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

// Listens to a line another master drives: takes the chunks a receive-only link delivers,
// cuts them into frames, pairs requests with replies and tells each exchange decoded. It
// never writes to the link. A silence after the last chunk is waited for with a single-shot
// timer: then what waits is cut, and a request whose reply is overdue goes out unanswered.
// A serial line hands its bytes over in batches, each read stamped with its time, one batch
// per burst; other links deliver chunks, timed as they arrive.
class BusListener : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<qint64()>; // microseconds since the epoch

    explicit BusListener(QObject *parent = nullptr);

    // Starts hearing the link at the line speed (the link should be receive-only; the
    // listener sets its burst end to the line's short silences). Any earlier link is let go.
    void attach(CommLink *link, int baudRate);
    // Stops hearing: what waits is cut and told, a waiting request goes out unanswered.
    void detach();
    bool isAttached() const { return m_link != nullptr; }

    ListenDecoder &decoder() { return m_decoder; }
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // How long a request may wait for its reply (1 s unless set).
    void setReplyTimeoutMs(int milliseconds);

    // Exchanges (requests with or without a reply) told so far.
    qint64 exchanges() const { return m_exchanges; }

    // One chunk as the link delivers it, its last byte heard at lastByteUs (tests feed
    // recorded streams through here).
    void receive(const QByteArray &chunk, qint64 lastByteUs);
    // A batch of stamped pieces, as a serial line delivers them while listening.
    void receive(const ReceivedBatch &batch);
    // The line has been quiet until nowUs.
    void quiet(qint64 nowUs);

signals:
    void heard(const TrafficEntry &entry);

private:
    void onChunk(const QByteArray &chunk);
    void tell(const QList<StreamFrameCutter::Frame> &frames);
    void tell(const QList<ExchangePairer::Exchange> &exchanges);
    void armQuietTimer();

    QPointer<CommLink> m_link;
    QMetaObject::Connection m_connection;
    QMetaObject::Connection m_batchConnection;
    StreamFrameCutter m_cutter;
    ExchangePairer m_pairer;
    ListenDecoder m_decoder;
    Clock m_clock;
    QTimer m_quietTimer;
    qint64 m_burstGapUs = 0;
    qint64 m_replyTimeoutUs = 1'000'000;
    qint64 m_exchanges = 0;
};
