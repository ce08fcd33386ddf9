// Reply matching against a generated request, and the re-synchronisation both receive paths
// share. A matched reply never comes from another slave, function or register; completion
// never comes before the matched length; the verdict on a longer prefix never goes back.

#include "FuzzInput.h"
#include "bus/BusReplyRule.h"
#include "bus/ModbusFrame.h"
#include "bus/SlashFrame.h"
#include "serial/ReplyLocator.h"

#include <cstring>

namespace {

using Verdict = ReplyMatch::Verdict;

uint16_t wordAt(const uint8_t *at)
{
    return uint16_t((at[0] << 8) | at[1]);
}

// One request of every kind the drivers send, picked and filled from the input.
void buildRequest(FuzzInput &in, TransactionRecord &record)
{
    const uint8_t kind = in.byte() % 6;
    const uint8_t slave = in.byte() % 32;
    const uint16_t reg = in.word();
    const uint16_t value = in.word();
    switch (kind) {
    case 0:
        ModbusFrame::buildRead(record, slave, reg);
        break;
    case 1:
        ModbusFrame::buildWrite(record, slave, reg, value);
        break;
    case 2: // the address write to everyone
        ModbusFrame::buildWrite(record, ModbusFrame::BroadcastAddress, reg, value % 32);
        break;
    case 3:
        SlashFrame::buildRead(record, slave, reg);
        break;
    case 4:
        SlashFrame::buildWrite(record, slave, reg, value);
        break;
    default:
        SlashFrame::buildBroadcastAddress(record, value % 32);
        break;
    }
}

// What a whole reply of `length` bytes may be, by the protocol of the request.
void checkWholeReply(const TransactionRecord &request, const QByteArray &received, int length)
{
    TransactionRecord record = request;
    std::memcpy(record.RxFrame, received.constData(), size_t(length));
    record.RxLength = length;
    const uint8_t *tx = record.TxFrame;
    const uint8_t *rx = record.RxFrame;
    if (tx[0] == SlashFrame::Start) {
        FUZZ_CHECK(rx[0] == SlashFrame::Start);
        FUZZ_CHECK(SlashFrame::sum(rx, length - 1) == rx[length - 1]);
        const bool broadcast = tx[1] == SlashFrame::WriteLetter;
        const auto parts = SlashFrame::takeApart(record, broadcast ? 0 : tx[1]);
        if (parts && (parts->letter == 'R' || parts->letter == 'W')) {
            FUZZ_CHECK(parts->letter == (broadcast ? tx[1] : tx[2]));
            FUZZ_CHECK(parts->registerNumber == wordAt(broadcast ? tx + 2 : tx + 3));
            if (!broadcast)
                FUZZ_CHECK(parts->address == tx[1]);
        }
        return;
    }
    const uint8_t function = tx[1];
    const bool broadcast = tx[0] == ModbusFrame::BroadcastAddress;
    FUZZ_CHECK(rx[0] == tx[0] || (broadcast && rx[0] == tx[8]));
    FUZZ_CHECK(rx[1] == function || rx[1] == (function | 0x80));
    FUZZ_CHECK(ModbusFrame::checkReply(record) != TransactionResult::CommError);
    if (rx[1] == (function | 0x80)) {
        FUZZ_CHECK(length == 5);
        return;
    }
    const auto parts = ModbusFrame::takeApart(record);
    FUZZ_CHECK(parts.has_value());
    FUZZ_CHECK(parts->isRead == (function == ModbusFrame::ReadFunction));
    FUZZ_CHECK(parts->registerNumber == wordAt(tx + 2));
    if (function == ModbusFrame::ReadFunction) {
        FUZZ_CHECK(length == 7 && rx[2] == 2);
        FUZZ_CHECK(parts->value == wordAt(rx + 3));
    } else {
        FUZZ_CHECK(length == 8 && std::memcmp(rx + 2, tx + 2, 4) == 0);
        FUZZ_CHECK(parts->value == wordAt(tx + 7));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    TransactionRecord request;
    buildRequest(in, request);
    const QByteArray received = in.bytes(TransactionRecord::FrameSize);
    const auto *rx = reinterpret_cast<const uint8_t *>(received.constData());
    const int n = int(received.size());
    const BusReplyRule rule;

    // Every prefix, as the bytes arrive one by one.
    ReplyMatch last{Verdict::Partial, 0};
    for (int k = 0; k <= n; ++k) {
        const ReplyMatch match = rule.match(request.TxFrame, request.TxLength, rx, k);
        switch (match.verdict) {
        case Verdict::Partial:
            FUZZ_CHECK(last.verdict == Verdict::Partial);
            FUZZ_CHECK(match.length == 0 || match.length > k);
            break;
        case Verdict::Complete:
        case Verdict::Corrupt:
            FUZZ_CHECK(match.length > 0 && match.length <= k);
            // Completion comes with the last byte of the reply, and more bytes change nothing.
            FUZZ_CHECK(last.verdict == Verdict::Partial
                           ? match.length == k
                           : last.verdict == match.verdict && last.length == match.length);
            if (match.verdict == Verdict::Complete && last.verdict == Verdict::Partial)
                checkWholeReply(request, received, match.length);
            break;
        case Verdict::Foreign:
            FUZZ_CHECK(last.verdict == Verdict::Partial || last.verdict == Verdict::Foreign);
            break;
        }
        last = match;
    }

    // Re-synchronisation: the reply begins at the first byte that can begin it.
    const ReplyLocator::Span span =
        ReplyLocator::locate(rule, request.TxFrame, request.TxLength, rx, n);
    FUZZ_CHECK(span.start >= 0 && span.start <= n && span.length >= 0);
    FUZZ_CHECK(span.start + span.length <= n);
    for (int s = 0; s < span.start; ++s) {
        const ReplyMatch skipped = rule.match(request.TxFrame, request.TxLength, rx + s, n - s);
        FUZZ_CHECK(skipped.verdict == Verdict::Foreign || skipped.verdict == Verdict::Corrupt);
    }
    if (span.length > 0) {
        const ReplyMatch found =
            rule.match(request.TxFrame, request.TxLength, rx + span.start, n - span.start);
        FUZZ_CHECK(found.verdict == Verdict::Complete && found.length == span.length);
        checkWholeReply(request, received.mid(span.start), span.length);
    }
    return 0;
}
