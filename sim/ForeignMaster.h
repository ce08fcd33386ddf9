#pragma once

#include "sim/SimulatedBus.h"
#include "sim/SimulatedPlant.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <mutex>

// Another master on the simulated line, as a PLC polling the drives would be: round after
// round it reads each drive's monitored values, now and then writes a parameter (its factory
// value, so the plant stays as it was), and every so often sends a broadcast. It goes at the
// line's speed with the shortest legal gaps unless given a pause between requests.
//
// A listener on the line must never send: every byte the program side writes is counted
// and reported. Each exchange is written to the log as "REQUEST|REPLY" (hex, the reply empty
// when none came), so that a listener's output can be checked exchange by exchange.
class ForeignMaster : public SimulatedBus::LineMaster
{
public:
    struct Settings
    {
        int pauseMs = 0;         // between the end of an exchange and the next request
        int count = 0;           // requests in all; 0: no end
        int writeEvery = 7;      // every n-th request of a drive is a parameter write
        int broadcastEvery = 25; // every n-th request is a broadcast (Modbus drives only)
        int delayMs = 0;         // before the first request
        QString logFile;         // "" for none
    };

    ForeignMaster(const QList<SimulatedPlant::Member> &members, const Settings &settings);

    // Opens the log; false with *error set.
    bool open(QString *error);

    QByteArray nextRequest(std::chrono::steady_clock::time_point now,
                           std::chrono::steady_clock::time_point *askAgain) override;
    void answered(const QByteArray &request, const QList<QByteArray> &replies) override;
    void programWrote(const QByteArray &bytes) override;

    quint64 requestsSent() const { return m_requests.load(); }
    quint64 repliesHeard() const { return m_replies.load(); }
    quint64 bytesFromProgram() const { return m_fromProgram.load(); }
    // "foreign master: N requests, M replies; the listener sent K bytes"
    QString summary() const;

    // The request frames of one step of the schedule (for tests): step counts from 0.
    QByteArray request(int step) const;

private:
    struct Poll
    {
        int address;
        bool slash;
        QList<quint16> reads;
        quint16 writeRegister;
        quint16 writeValue;
    };

    QList<Poll> m_polls;
    Settings m_settings;
    QFile m_log;
    std::mutex m_logMutex;
    std::chrono::steady_clock::time_point m_start;
    bool m_started = false;
    int m_step = 0;
    std::atomic<quint64> m_requests{0};
    std::atomic<quint64> m_replies{0};
    std::atomic<quint64> m_fromProgram{0};
};
