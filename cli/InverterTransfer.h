#pragma once

#include "params/ParameterTransfer.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class CliSession;

// The whole parameter set of one inverter moved with the editors' transfer: KX100 and KX200
// as their one window each, KX300 group after group. Upload reads every parameter into the
// slot's driver; download writes the driver's values (a commit after each write where the
// model needs one). Failed exchanges are passed over and named in the result.
class InverterTransfer : public QObject
{
    Q_OBJECT

public:
    struct Result
    {
        bool ok = false;         // every parameter went through
        int attempted = 0;       // parameters read or written
        QStringList failedCodes; // codes as the editors show them, in transfer order
        QStringList failedKeys;  // the setup-file keys of the same parameters
        // Download: parameters passed over without a request, as the editors pass over
        // read-only entries, and those the caller left out.
        QStringList skippedCodes;
        QString error; // set when the transfer could not run at all
    };

    // The editors' transfer plans of a model, in window order; empty for an unknown model,
    // with the reason in *error when a built-in table does not fit.
    static QList<ParameterTransfer::Plan> plans(const QString &model, QString *error = nullptr);

    // Table entry of the model's bus address parameter ("n106", "CD48", "H5-01"); -1 if none.
    static int addressParamIndex(const QString &model);

    explicit InverterTransfer(CliSession *session, QObject *parent = nullptr);

    // Called with each progress text ("UpLoad: 5 / 108"), prefixed for KX300 groups.
    void setProgressHandler(std::function<void(const QString &)> handler)
    {
        m_progress = std::move(handler);
    }

    // Leaves the read-only monitor groups out of an upload: only the settings are read.
    void setSettingsOnly(bool settingsOnly) { m_settingsOnly = settingsOnly; }

    Result upload(int address);
    // Writes the driver's values exactly as it holds them (they are not pulled into the
    // fields' bounds), except the parameters whose setup-file keys are in leaveOut.
    // allSettings (a restore) also writes the settings the editors' download passes over.
    Result download(int address, const QSet<QString> &leaveOut = {}, bool allSettings = false);

private:
    Result run(int address, bool upload, const QSet<QString> &leaveOut, bool allSettings = false);

    CliSession *m_session;
    std::function<void(const QString &)> m_progress;
    bool m_settingsOnly = false;
};
