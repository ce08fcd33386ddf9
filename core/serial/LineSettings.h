#pragma once

// Line settings of the serial port. The ordinal values of parity and stop bits are the codes
// that setup files store.
enum TParity : int { pNone = 0, pOdd = 1, pEven = 2, pMark = 3 };
enum TStopBits : int { sb1_0 = 0, sb1_5 = 1, sb2_0 = 2 };

struct LineSettings
{
    int baudRate = 9600;
    TParity parity = pNone;
    TStopBits stopBits = sb1_0;
    int byteSize = 8; // data bits: 5..8; anything else is sent as 8
    // Listening: the RS-485 transmitter is never enabled (no RTS, no driver RS-485 mode).
    bool receiveOnly = false;
};

// Whether the line returns the master's own bytes before the reply (RS-485 adapters without
// echo suppression). Auto: a leading exact copy of the request is its echo; a copy that could
// itself be the reply (a Modbus write's) counts as echo only once the line has been seen
// echoing. On: every request is echoed. Off: received bytes are taken as they come.
enum class EchoMode : int { Auto = 0, On = 1, Off = 2 };

// How the transaction engine times its exchanges on a line: the standard timing (a reply ends
// after 250 ms of silence, time-outs in 1000 ms ticks) or the fast one (a reply ends with its
// last byte, one reply deadline of replyTimeoutMs, 20..10000). The echo and, in the fast
// timing, a pause of resyncMs before a request of the other protocol family (Modbus or the
// slash protocol) than the frame before it, for slaves that go deaf after a frame they cannot
// parse.
struct ExchangeTiming
{
    bool fast = false;
    int replyTimeoutMs = 300;
    EchoMode echo = EchoMode::Auto;
    int resyncMs = 0;
    bool operator==(const ExchangeTiming &) const = default;
};
