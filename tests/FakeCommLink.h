#pragma once

#include "serial/CommLink.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QTimer>

#include <utility>

// A scripted serial line: every write is recorded; a write whose hex text has a scripted reply
// makes that reply arrive as one chunk through the event loop, as a real line would (or only
// when deliverPending() is called, with deferReplies set).
class FakeCommLink : public CommLink
{
public:
    using CommLink::CommLink;

    QList<QByteArray> written;
    QMap<QByteArray, QList<QByteArray>> replies; // request hex -> replies in turn
    bool deferReplies = false; // hold replies until deliverPending()
    QList<QByteArray> pending;
    int startCount = 0;
    int stopCount = 0;
    bool open = true;
    QString file; // the device file watched after a loss

    // Scripts a reply for a request, both as hex text such as "01 03 01 6A 00 01 A5 EA".
    void script(const QByteArray &requestHex, const QByteArray &replyHex)
    {
        replies[normalise(requestHex)].append(QByteArray::fromHex(replyHex));
    }

    static QByteArray normalise(const QByteArray &hex) { return QByteArray::fromHex(hex).toHex(' ').toUpper(); }
    static QByteArray hex(const QByteArray &bytes) { return bytes.toHex(' ').toUpper(); }
    QByteArray lastWrittenHex() const { return written.isEmpty() ? QByteArray() : hex(written.last()); }

    // Makes bytes arrive as one chunk, as if the line had carried them.
    void receive(const QByteArray &bytes) { emit OnReceiveData(bytes); }
    void receiveHex(const QByteArray &replyHex) { receive(QByteArray::fromHex(replyHex)); }

    void deliverPending()
    {
        const QList<QByteArray> chunks = std::exchange(pending, {});
        for (const QByteArray &chunk : chunks)
            receive(chunk);
    }

    bool StartComm() override
    {
        ++startCount;
        open = true;
        return true;
    }
    void StopComm() override
    {
        ++stopCount;
        open = false;
    }
    bool isOpen() const override { return open; }
    QString deviceFile() const override { return file; }

    bool WriteCommData(const uint8_t *buffer, uint16_t length) override
    {
        const QByteArray bytes(reinterpret_cast<const char *>(buffer), length);
        written.append(bytes);
        auto it = replies.find(hex(bytes));
        if (it == replies.end() || it->isEmpty())
            return true;
        const QByteArray reply = it->size() > 1 ? it->takeFirst() : it->first();
        pending.append(reply);
        if (!deferReplies)
            QTimer::singleShot(0, this, [this] { deliverPending(); });
        return true;
    }
};
