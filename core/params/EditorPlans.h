#pragma once

#include "params/ParameterTransfer.h"

#include <QList>
#include <QString>

// The transfer plans of the parameter editors, for the windows and for window-less callers
// alike: which rows a model's editor transfers, whether a commit follows each write, and
// which parameters a download passes over.
class EditorPlans
{
public:
    // The KX100 editor: 108 parameters, a commit after each write.
    static ParameterTransfer::Plan kx100(QString *error = nullptr);
    // The KX200 editor: 49 parameters; a download passes over the readouts CD01..CD04, the
    // fault memory CD23 and the reserved CD45.
    static ParameterTransfer::Plan kx200(QString *error = nullptr);
    // Every plan of a model's editors: one for KX100 and KX200, one per group for KX300 with
    // the setting groups first and the read-only monitor group last. Empty with *error set for
    // an unknown model or a faulty table.
    static QList<ParameterTransfer::Plan> forModel(const QString &model, QString *error = nullptr);

    // Settings of the drive that the editor's download passes over (the KX200 fault memory
    // CD23 and the reserved CD45): a restore writes them back as a backup read them, and a
    // compare of settings includes them. The readouts CD01..CD04 are no settings.
    static bool isSetting(const ParameterTransfer::Plan &plan, int entry);
    static int settingCount(const ParameterTransfer::Plan &plan);
};
