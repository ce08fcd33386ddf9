#include "cli/InverterTransfer.h"

#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "cli/CliSession.h"
#include "params/EditorPlans.h"
#include "params/ParameterSet.h"
#include "params/TKX300Groups.h"

QList<ParameterTransfer::Plan> InverterTransfer::plans(const QString &model, QString *error)
{
    return EditorPlans::forModel(model, error);
}

int InverterTransfer::addressParamIndex(const QString &model)
{
    const ParameterDef *def =
        ParameterSet::forModel(model).findRegister(TDM::AddressRegisterOf(model));
    return def ? def->index : -1;
}

InverterTransfer::InverterTransfer(CliSession *session, QObject *parent)
    : QObject(parent), m_session(session)
{
}

InverterTransfer::Result InverterTransfer::upload(int address)
{
    return run(address, true);
}

InverterTransfer::Result InverterTransfer::download(int address)
{
    return run(address, false);
}

InverterTransfer::Result InverterTransfer::run(int address, bool upload)
{
    Result result;
    TDM &registry = m_session->registry();
    const TInverterBase *driver = registry.GetInverter(address);
    if (!driver) {
        result.error = QStringLiteral("no inverter at address %1").arg(address);
        return result;
    }
    const QString model = driver->GetTypeName();
    const QList<ParameterTransfer::Plan> modelPlans = plans(model, &result.error);
    if (modelPlans.isEmpty()) {
        if (result.error.isEmpty())
            result.error = QStringLiteral("no parameter table for %1").arg(model);
        return result;
    }

    for (const ParameterTransfer::Plan &plan : modelPlans) {
        if ((!upload || m_settingsOnly) && plan.uploadOnly)
            continue;
        ParameterTransfer transfer(plan);
        transfer.setRegistry(&registry);
        transfer.setSlot(address);
        const QString group = plan.rows.first().group;
        connect(&transfer, &ParameterTransfer::progressChanged, this,
                [this, group](int, int, const QString &text) {
                    if (m_progress)
                        m_progress(group.isEmpty() ? text : group + QStringLiteral(" ") + text);
                });
        bool ended = false;
        ParameterTransfer::Outcome outcome;
        connect(&transfer, &ParameterTransfer::finished, this,
                [&](const ParameterTransfer::Outcome &o) {
                    outcome = o;
                    ended = true;
                });
        // A download writes what the driver holds, as the editors load it into their fields.
        const bool started =
            upload ? transfer.startUpload() : (transfer.Load() && transfer.startDownload());
        if (!started) {
            result.error = transfer.statusText();
            return result;
        }
        const int guard = (plan.count() * 2 + 2) * m_session->exchangeGuardMs();
        if (!CliSession::waitUntil([&] { return ended; }, guard)) {
            result.error = QStringLiteral("the transfer did not end");
            return result;
        }
        result.attempted += outcome.attempted;
        result.failedCodes += outcome.failedCodes;
    }
    result.ok = result.failedCodes.isEmpty();
    return result;
}
