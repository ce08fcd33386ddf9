// Both receive chunkers, the TCP link and the serial port's receive thread, fed byte by byte
// with the bus's rule and a generated request. Each must hand on exactly what one model of
// re-synchronisation predicts: after every byte, once the bytes not yet delivered hold a whole
// right reply, they go on up to its end, noise and broken frames before it included, and then
// nothing more until the line falls silent. Nothing is lost, reordered or delivered twice.

#include "FakeAdapter.h"
#include "FuzzInput.h"
#include "PseudoTerminalPair.h"
#include "bus/BusReplyRule.h"
#include "bus/ModbusFrame.h"
#include "bus/SlashFrame.h"
#include "serial/ReplyLocator.h"
#include "serial/TReadThread.h"
#include "serial/TcpLink.h"
#include "serial/WakeEvent.h"

#include <QByteArrayList>
#include <QCoreApplication>
#include <QMutex>
#include <QSemaphore>

namespace {

// The serial side only gets the first bytes: each costs a round trip through the terminal.
constexpr qsizetype SerialBytes = 48;

QByteArrayList predicted(const ReplyRule &rule, const QByteArray &request, const QByteArray &stream)
{
    QByteArrayList chunks;
    QByteArray pending;
    bool waiting = true;
    for (const char byte : stream) {
        pending += byte;
        if (!waiting)
            continue;
        const ReplyLocator::Span span = ReplyLocator::locate(
            rule, reinterpret_cast<const uint8_t *>(request.constData()), int(request.size()),
            reinterpret_cast<const uint8_t *>(pending.constData()), int(pending.size()));
        if (span.length > 0) {
            chunks << pending.left(span.start + span.length);
            pending.remove(0, span.start + span.length);
            waiting = false;
        }
    }
    return chunks;
}

// Tells each look at the line error counters, which the receive thread takes after every read.
class SignallingAdapter : public FakeAdapter
{
public:
    mutable QSemaphore looks;
    bool readLineErrorCounts(LineErrorCounts &counts) const override
    {
        const bool counted = FakeAdapter::readLineErrorCounts(counts);
        looks.release();
        return counted;
    }
};

QByteArrayList throughTcp(const std::shared_ptr<BusReplyRule> &rule, const QByteArray &request,
                          const QByteArray &stream)
{
    QByteArrayList chunks;
    {
        TcpLink link;
        // No gateway: the link stays connecting, the request waits unsent, its reply is framed.
        link.setEndpoint({QStringLiteral("127.0.0.1"), 0});
        link.setBurstEnd(rule, 60000);
        QObject::connect(&link, &CommLink::OnReceiveData,
                         [&chunks](const QByteArray &chunk) { chunks << chunk; });
        FUZZ_CHECK(link.StartComm());
        FUZZ_CHECK(link.WriteCommData(reinterpret_cast<const uint8_t *>(request.constData()),
                                      uint16_t(request.size())));
        for (const char byte : stream)
            link.receive(QByteArray(1, byte));
        link.StopComm();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return chunks;
}

QByteArrayList throughSerial(const std::shared_ptr<BusReplyRule> &rule, const QByteArray &request,
                             const QByteArray &stream)
{
    static PseudoTerminalPair line;
    static std::shared_ptr<SignallingAdapter> adapter = [] {
        auto device = std::make_shared<SignallingAdapter>();
        FUZZ_CHECK(line.isOpen());
        FUZZ_CHECK(device->open(line.slavePath()) == SerialDevice::OpenResult::Ok);
        return device;
    }();
    auto burstEnd = std::make_shared<BurstEnd>();
    burstEnd->set(rule, 60000);
    burstEnd->setRequest(request);
    auto stop = std::make_shared<WakeEvent>();
    QByteArrayList chunks;
    QMutex mutex;
    TReadThread reader(adapter, stop);
    reader.setBurstEnd(burstEnd);
    QObject::connect(
        &reader, &TReadThread::dataReceived, &reader,
        [&](const QByteArray &chunk) {
            QMutexLocker lock(&mutex);
            chunks << chunk;
        },
        Qt::DirectConnection);
    reader.start();
    FUZZ_CHECK(reader.waitUntilRunning(5000));
    FUZZ_CHECK(adapter->looks.tryAcquire(1, 5000)); // the thread's first look, at its start
    for (const char byte : stream) {
        // One byte per read: the next goes once the thread has taken this one.
        FUZZ_CHECK(line.write(QByteArray(1, byte)));
        FUZZ_CHECK(adapter->looks.tryAcquire(1, 5000));
    }
    stop->set();
    reader.wait();
    QMutexLocker lock(&mutex);
    return chunks;
}

QByteArray buildRequest(FuzzInput &in)
{
    TransactionRecord record;
    const uint8_t kind = in.byte() % 4;
    const uint8_t slave = in.byte() % 32;
    const uint16_t reg = in.word();
    const uint16_t value = in.word();
    if (kind == 0)
        ModbusFrame::buildRead(record, slave, reg);
    else if (kind == 1)
        ModbusFrame::buildWrite(record, slave, reg, value);
    else if (kind == 2)
        SlashFrame::buildRead(record, slave, reg);
    else
        SlashFrame::buildWrite(record, slave, reg, value);
    return QByteArray(reinterpret_cast<const char *>(record.TxFrame), record.TxLength);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzInput::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const QByteArray request = buildRequest(in);
    const QByteArray stream = in.bytes(TcpLink::ChunkLimit - 1);
    const auto rule = std::make_shared<BusReplyRule>();

    const QByteArrayList tcp = throughTcp(rule, request, stream);
    FUZZ_CHECK(tcp == predicted(*rule, request, stream));

    const QByteArray serialStream = stream.left(SerialBytes);
    const QByteArrayList serial = throughSerial(rule, request, serialStream);
    FUZZ_CHECK(serial == predicted(*rule, request, serialStream));
    return 0;
}
