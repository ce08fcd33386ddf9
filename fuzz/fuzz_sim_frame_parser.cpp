// The simulator's frame parser fed in pieces of any size, then a silence. Every byte ends up
// in exactly one frame or among the discarded ones; a Modbus frame is delivered only with a
// right CRC, a slash frame starts with '/'.

#include "FuzzInput.h"
#include "bus/ModbusFrame.h"
#include "sim/SimFrameParser.h"

namespace {

void checkFrame(const SimFrame &frame)
{
    const auto *bytes = reinterpret_cast<const uint8_t *>(frame.bytes.constData());
    const int n = int(frame.bytes.size());
    FUZZ_CHECK(n > 0);
    if (frame.protocol == SimFrame::Protocol::Slash) {
        FUZZ_CHECK(bytes[0] == '/');
        return;
    }
    FUZZ_CHECK(n >= 4);
    const uint16_t crc = ModbusFrame::crc16(bytes, n - 2);
    FUZZ_CHECK(bytes[n - 2] == (crc & 0xFF) && bytes[n - 1] == (crc >> 8));
    FUZZ_CHECK(frame.broadcast == (bytes[0] == 0));
    FUZZ_CHECK(frame.broadcast ? frame.address == -1 : frame.address == bytes[0]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    SimFrameParser parser;
    qsizetype fed = 0;
    qsizetype accounted = 0;
    while (!in.atEnd()) {
        const QByteArray piece = in.bytes(in.byte() % 16 + 1);
        fed += piece.size();
        for (const SimFrame &frame : parser.feed(piece)) {
            checkFrame(frame);
            accounted += frame.bytes.size();
        }
        accounted += parser.takeDiscarded().size();
        FUZZ_CHECK(accounted <= fed);
    }
    for (const SimFrame &frame : parser.flush()) {
        checkFrame(frame);
        accounted += frame.bytes.size();
    }
    accounted += parser.takeDiscarded().size();
    FUZZ_CHECK(!parser.hasPending());
    FUZZ_CHECK(accounted == fed);
    return 0;
}
