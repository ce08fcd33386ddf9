#include "cli/ScanCommand.h"

#include "bus/BusHost.h"
#include "cli/CliExit.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "serial/MessageNumbers.h"
#include "serial/TransactionEngine.h"

#include <QJsonObject>

#include <algorithm>

int ScanCommand::run(const QList<int> &addresses)
{
    m_out.text(QStringLiteral("addr  model  state"));
    bool fault = false;
    // The fast timing probes the addresses interleaved, in one run; the lines still follow
    // the addresses' order.
    const bool together = m_session.host().engine().timing() == TransactionEngine::Timing::Fast;
    QList<CliSession::Detection> all =
        together ? m_session.detect(addresses) : QList<CliSession::Detection>();
    for (int address : addresses) {
        QList<CliSession::Detection> found;
        if (!together) {
            found = m_session.detect({address});
        } else {
            const auto it = std::find_if(all.begin(), all.end(),
                                         [address](const auto &d) { return d.address == address; });
            if (it != all.end()) {
                found.append(*it);
                all.erase(it);
            }
        }
        if (m_session.linkLost()) {
            m_out.error(m_session.linkLostText());
            return CliExit::Failure;
        }
        if (found.isEmpty()) {
            m_out.error(QStringLiteral("detection of address %1 did not end").arg(address));
            return CliExit::Failure;
        }
        const CliSession::Detection &d = found.first();
        const QString model = d.model.isEmpty() ? QStringLiteral("none") : d.model;
        const QString state = CliSession::stateText(d.state);
        fault = fault ||
                (d.state != InverterStateCode::Present && d.state != InverterStateCode::NoInverter);
        QJsonObject object{
            {QStringLiteral("address"), d.address},
            {QStringLiteral("model"), d.model.isEmpty() ? QJsonValue() : QJsonValue(d.model)},
            {QStringLiteral("state"), state}};
        m_out.result(QStringLiteral("%1  %2  %3").arg(d.address, 4).arg(model, -5).arg(state),
                     object);
    }
    return fault ? CliExit::Failure : CliExit::Ok;
}
