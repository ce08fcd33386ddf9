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
    return run(address, true, {});
}

InverterTransfer::Result InverterTransfer::download(int address, const QSet<QString> &leaveOut,
                                                   bool allSettings)
{
    return run(address, false, leaveOut, allSettings);
}

InverterTransfer::Result InverterTransfer::run(int address, bool upload,
                                               const QSet<QString> &leaveOut, bool allSettings)
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

    for (ParameterTransfer::Plan plan : modelPlans) {
        if ((!upload || m_settingsOnly) && plan.uploadOnly)
            continue;
        if (!upload) {
            for (int entry = 0; entry < plan.count(); ++entry) {
                if (allSettings && EditorPlans::isSetting(plan, entry))
                    plan.downloadSkip.remove(entry);
                if (leaveOut.contains(plan.rows[entry].key))
                    plan.downloadSkip.insert(entry);
                if (plan.downloadSkip.contains(entry))
                    result.skippedCodes.append(plan.rows[entry].code);
            }
        }
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
                    CliSession::wake();
                });
        // A download writes exactly what the driver holds: the caller has checked the values,
        // and pulling one into its field's bounds would write something other than was saved.
        const bool started =
            upload ? transfer.startUpload() : (transfer.LoadAsStored() && transfer.startDownload());
        if (!started) {
            result.error = transfer.statusText();
            return result;
        }
        const int guard = (plan.count() * 2 + 2) * m_session->exchangeGuardMs();
        if (!CliSession::waitUntil([&] { return ended || m_session->linkLost(); }, guard)) {
            result.error = QStringLiteral("the transfer did not end");
            return result;
        }
        // A transfer cut off by a lost device is no transfer: nothing of it is kept.
        if (m_session->linkLost()) {
            result.error = m_session->linkLostText();
            return result;
        }
        result.attempted += outcome.attempted;
        result.failedCodes += outcome.failedCodes;
        for (const QString &code : outcome.failedCodes) {
            for (const ParameterRow &row : plan.rows) {
                if (row.code == code)
                    result.failedKeys.append(row.key);
            }
        }
        if (outcome.replaced) {
            result.error = outcome.text;
            return result;
        }
    }
    result.ok = result.failedCodes.isEmpty();
    return result;
}
