#include "cli/ScanCommand.h"

#include "cli/CliExit.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "serial/MessageNumbers.h"

#include <QJsonObject>

int ScanCommand::run(const QList<int> &addresses)
{
    m_out.text(QStringLiteral("addr  model  state"));
    bool fault = false;
    for (int address : addresses) {
        const QList<CliSession::Detection> found = m_session.detect({address});
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
