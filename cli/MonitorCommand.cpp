#include "cli/MonitorCommand.h"

#include "bus/TDM.h"
#include "cli/CliExit.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "monitor/TrendBuffer.h"
#include "serial/TComm32.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonObject>

#include <utility>

int MonitorCommand::run(int address, const QString &model, int count, int intervalMs,
                        int maxErrors, bool csv)
{
    QString why;
    if (!m_session.ensureInverter(address, model, &why)) {
        m_out.error(why);
        return CliExit::Failure;
    }
    using Read = bool (TDM::*)(TransactionRecord &);
    const Read reads[] = {&TDM::ReadOutputFreq, &TDM::ReadOutputVoltage, &TDM::ReadOutputCurrent};

    if (csv)
        m_out.text(TrendBuffer::csvHeader());
    QElapsedTimer clock;
    qint64 due = 0;
    bool anyFailed = false;
    bool lineDown = false;
    int failedInRow = 0;
    for (int sample = 0; count < 0 || sample < count; ++sample) {
        if (sample > 0) {
            due += intervalMs;
            CliSession::pause(int(qMax<qint64>(0, due - clock.elapsed())));
        } else {
            clock.start();
        }
        int result = TransactionResult::Ok;
        bool lineLost = false;
        for (Read read : reads) {
            const auto record = m_session.exchange(
                address, 0, [read](TDM &dm, TransactionRecord &r) { return (dm.*read)(r); });
            result = record ? record->Result : int(TransactionResult::CommError);
            lineLost = record && record->LineLost;
            if (result != TransactionResult::Ok)
                break;
        }
        if (lineLost) {
            // The line is gone (an adapter pulled, a gateway restarted): told once, and the
            // polling goes on as soon as the device is back, at the latest after a second.
            anyFailed = true;
            --sample;
            if (!std::exchange(lineDown, true))
                m_out.error(QStringLiteral("address %1: %2; polling goes on until it returns")
                                .arg(address)
                                .arg(m_session.linkLostText()));
            CliSession::waitUntil([this] { return m_session.port().isOpen(); },
                                  qMin(intervalMs, LineRetryMs));
            due = clock.elapsed() - intervalMs;
            continue;
        }
        if (std::exchange(lineDown, false)) {
            m_out.error(QStringLiteral("address %1: line back").arg(address));
            m_session.clearLinkLost();
        }
        if (result != TransactionResult::Ok) {
            // One bad frame costs one sample, not the whole watch.
            anyFailed = true;
            const QString text = CliSession::resultText(result);
            if (csv) // the rows stay clean for the spreadsheet; the failure goes to stderr
                m_out.error(QStringLiteral("address %1: %2").arg(address).arg(text));
            else
                m_out.result(QStringLiteral("address %1: %2").arg(address).arg(text),
                         QJsonObject{{QStringLiteral("address"), address},
                                     {QStringLiteral("error"), text}});
            if (++failedInRow >= maxErrors) {
                m_out.error(QStringLiteral("address %1: %2 samples in a row failed")
                                .arg(address)
                                .arg(failedInRow));
                return CliExit::Failure;
            }
            continue;
        }
        failedInRow = 0;
        const TDM &dm = m_session.registry();
        const float frequency = dm.GetOutputFreq(address);
        const float voltage = dm.GetOutputVoltage(address);
        const float current = dm.GetOutputCurrent(address);
        if (csv) {
            const float values[3] = {frequency, voltage, current};
            m_out.text(TrendBuffer::csvRow(QDateTime::currentMSecsSinceEpoch(), values));
            continue;
        }
        const QJsonObject object{{QStringLiteral("address"), address},
                                 {QStringLiteral("frequency"), double(frequency)},
                                 {QStringLiteral("voltage"), double(voltage)},
                                 {QStringLiteral("current"), double(current)}};
        m_out.result(QStringLiteral("%1 Hz  %2 V  %3 A")
                         .arg(double(frequency), 6, 'f', 2)
                         .arg(double(voltage), 6, 'f', 1)
                         .arg(double(current), 6, 'f', 1),
                     object);
    }
    return anyFailed ? CliExit::Failure : CliExit::Ok;
}
