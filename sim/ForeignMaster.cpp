#include "sim/ForeignMaster.h"

#include "sim/SimChecksum.h"
#include "sim/SimFactoryDefaults.h"

#include <algorithm>
#include <optional>

namespace {

void appendWord(QByteArray &frame, quint16 word)
{
    frame.append(char(word >> 8));
    frame.append(char(word & 0xFF));
}

QByteArray modbusRead(int address, quint16 reg)
{
    QByteArray frame;
    frame.append(char(address));
    frame.append(char(0x03));
    appendWord(frame, reg);
    appendWord(frame, 1);
    SimChecksum::appendCrc(frame);
    return frame;
}

QByteArray modbusWrite(int address, quint16 reg, quint16 value)
{
    QByteArray frame;
    frame.append(char(address));
    frame.append(char(0x10));
    appendWord(frame, reg);
    appendWord(frame, 1);
    frame.append(char(2));
    appendWord(frame, value);
    SimChecksum::appendCrc(frame);
    return frame;
}

QByteArray slashFrame(int address, char letter, quint16 reg, std::optional<quint16> data)
{
    QByteArray frame("/");
    frame.append(char(address));
    frame.append(letter);
    appendWord(frame, reg);
    if (data)
        appendWord(frame, *data);
    SimChecksum::appendSum(frame);
    return frame;
}

quint16 factoryValue(const QString &table, quint16 reg, quint16 fallback)
{
    for (const auto &[r, value] : SimFactoryDefaults::load(table)) {
        if (r == reg)
            return value;
    }
    return fallback;
}

// The reference a broadcast sets: register 2 of a KX100, 50.0 Hz in its units.
constexpr quint16 BroadcastRegister = 2;
constexpr quint16 BroadcastValue = 500;

} // namespace

ForeignMaster::ForeignMaster(const QList<SimulatedPlant::Member> &members, const Settings &settings)
    : m_settings(settings)
{
    for (const SimulatedPlant::Member &member : members) {
        const QString model = member.model.toUpper();
        // What a PLC polls: the readouts of the drive's display, and one setting it tunes.
        if (model == QLatin1String("KX100"))
            m_polls.append({member.address,
                            false,
                            {2, 36, 39, 40, 259},
                            259,
                            factoryValue(QStringLiteral("kx100"), 259, 2000)});
        else if (model == QLatin1String("KX200"))
            m_polls.append({member.address,
                            true,
                            {0xFA00, 0xFA01, 3},
                            6,
                            factoryValue(QStringLiteral("kx200"), 6, 30)});
        else if (model == QLatin1String("KX300"))
            m_polls.append({member.address,
                            false,
                            {0x20, 0x21, 0x22, 0x2C},
                            512,
                            factoryValue(QStringLiteral("kx300"), 512, 100)});
    }
}

bool ForeignMaster::open(QString *error)
{
    if (m_settings.logFile.isEmpty())
        return true;
    m_log.setFileName(m_settings.logFile);
    if (!m_log.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (error)
            *error =
                QStringLiteral("cannot write %1: %2").arg(m_settings.logFile, m_log.errorString());
        return false;
    }
    return true;
}

QByteArray ForeignMaster::request(int step) const
{
    if (m_polls.isEmpty())
        return QByteArray();
    const bool anyModbus =
        std::any_of(m_polls.begin(), m_polls.end(), [](const Poll &p) { return !p.slash; });
    if (anyModbus && m_settings.broadcastEvery > 0 &&
        step % m_settings.broadcastEvery == m_settings.broadcastEvery - 1)
        return modbusWrite(0, BroadcastRegister, BroadcastValue);
    const Poll &poll = m_polls[step % m_polls.size()];
    const int round = step / int(m_polls.size());
    if (m_settings.writeEvery > 0 && round % m_settings.writeEvery == m_settings.writeEvery - 1)
        return poll.slash ? slashFrame(poll.address, 'W', poll.writeRegister, poll.writeValue)
                          : modbusWrite(poll.address, poll.writeRegister, poll.writeValue);
    const quint16 reg = poll.reads[round % poll.reads.size()];
    return poll.slash ? slashFrame(poll.address, 'R', reg, std::nullopt)
                      : modbusRead(poll.address, reg);
}

QByteArray ForeignMaster::nextRequest(std::chrono::steady_clock::time_point now,
                                      std::chrono::steady_clock::time_point *askAgain)
{
    if (!m_started) {
        m_started = true;
        m_start = now + std::chrono::milliseconds(m_settings.delayMs);
    }
    if (now < m_start) {
        *askAgain = m_start;
        return QByteArray();
    }
    if (m_settings.count > 0 && m_step >= m_settings.count) {
        *askAgain = now + std::chrono::hours(1);
        return QByteArray();
    }
    const QByteArray frame = request(m_step++);
    if (!frame.isEmpty())
        m_requests.fetch_add(1);
    if (m_settings.pauseMs > 0)
        m_start = now + std::chrono::milliseconds(m_settings.pauseMs);
    return frame;
}

void ForeignMaster::answered(const QByteArray &request, const QList<QByteArray> &replies)
{
    m_replies.fetch_add(quint64(replies.size()));
    if (!m_log.isOpen())
        return;
    QByteArray line = request.toHex(' ').toUpper() + '|';
    for (int i = 0; i < replies.size(); ++i)
        line += (i ? QByteArray("|") : QByteArray()) + replies[i].toHex(' ').toUpper();
    std::lock_guard lock(m_logMutex);
    m_log.write(line + '\n');
    m_log.flush();
}

void ForeignMaster::programWrote(const QByteArray &bytes)
{
    m_fromProgram.fetch_add(quint64(bytes.size()));
    std::lock_guard lock(m_logMutex);
    if (m_log.isOpen()) {
        m_log.write("# the listener sent " + bytes.toHex(' ').toUpper() + '\n');
        m_log.flush();
    }
}

QString ForeignMaster::summary() const
{
    return QStringLiteral("foreign master: %1 requests, %2 replies; the listener sent %3 bytes")
        .arg(requestsSent())
        .arg(repliesHeard())
        .arg(bytesFromProgram());
}
