#include "cli/DiffCommand.h"

#include "setup/IniFile.h"
#include "cli/TransferCommand.h"
#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "cli/CliExit.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/InverterTransfer.h"
#include "cli/TransferCommand.h"
#include "params/EditorPlans.h"

#include <QJsonObject>
#include <QSet>

#include <sys/stat.h>

namespace {

bool loadFile(IniFile &ini, CliOutput &out)
{
    struct stat info;
    if (::stat(ini.nativeFileName().constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        out.error(QStringLiteral("cannot read %1: no such file").arg(ini.fileName()));
        return false;
    }
    QString why;
    if (!ini.load(&why)) {
        out.error(QStringLiteral("cannot read %1: %2").arg(ini.fileName(), why));
        return false;
    }
    return true;
}

QString sideText(const QString &text, bool unshowable)
{
    return unshowable ? text + QStringLiteral(" (not a value of the field)") : text;
}

QJsonValue rawOf(const ParameterDiff::Value &value)
{
    return value.state == ParameterDiff::Value::State::Known ? QJsonValue(value.raw) : QJsonValue();
}

} // namespace

void DiffCommand::entry(const QString &where, const QJsonObject &context,
                        const ParameterDiff::Entry &e, const QString &leftName,
                        const QString &rightName)
{
    QJsonObject object = context;
    object.insert(QStringLiteral("code"), e.code);
    object.insert(QStringLiteral("key"), e.key);
    object.insert(QStringLiteral("caption"), e.caption);
    object.insert(QStringLiteral("status"), ParameterDiff::statusName(e.status));
    object.insert(leftName, e.leftText);
    object.insert(rightName, e.rightText);
    object.insert(leftName + QStringLiteral("Raw"), rawOf(e.left));
    object.insert(rightName + QStringLiteral("Raw"), rawOf(e.right));
    object.insert(leftName + QStringLiteral("Unshowable"), e.leftUnshowable);
    object.insert(rightName + QStringLiteral("Unshowable"), e.rightUnshowable);
    m_out.result(QStringLiteral("%1 %2 %3: %4 %5, %6 %7")
                     .arg(where, e.code, e.caption, leftName,
                          sideText(e.leftText, e.leftUnshowable), rightName,
                          sideText(e.rightText, e.rightUnshowable)),
                 object);
}

int DiffCommand::drive(CliSession &session, int address, const QString &model, const QString &file)
{
    IniFile ini = TransferCommand::iniFile(file);
    if (!loadFile(ini, m_out))
        return CliExit::Failure;
    const QString fileModel = ParameterDiff::sectionModel(ini, address);
    if (fileModel.isEmpty()) {
        m_out.error(QStringLiteral("%1 holds no inverter for address %2").arg(file).arg(address));
        return CliExit::Failure;
    }
    QString why;
    if (!session.ensureInverter(address, model, &why)) {
        m_out.error(why);
        return CliExit::Failure;
    }
    TDM &registry = session.registry();
    const QString driveModel = registry.GetTypeName(address);
    QJsonObject summary{{QStringLiteral("command"), QStringLiteral("diff")},
                        {QStringLiteral("address"), address},
                        {QStringLiteral("file"), file},
                        {QStringLiteral("model"), driveModel},
                        {QStringLiteral("fileModel"), fileModel}};
    if (driveModel != fileModel) {
        summary.insert(QStringLiteral("equal"), false);
        m_out.result(QStringLiteral("address %1: the drive is a %2, %3 holds a %4")
                         .arg(address)
                         .arg(driveModel, file, fileModel),
                     summary);
        return CliExit::Failure;
    }

    InverterTransfer transfer(&session);
    transfer.setSettingsOnly(true);
    transfer.setProgressHandler([this, address](const QString &text) {
        m_out.progress(QStringLiteral("address %1: %2").arg(address).arg(text));
    });
    const InverterTransfer::Result read = transfer.upload(address);
    m_out.endProgress();
    const TInverterBase *driver = registry.GetInverter(address);
    if (!read.error.isEmpty() || !driver) {
        m_out.error(
            QStringLiteral("address %1: %2")
                .arg(address)
                .arg(read.error.isEmpty() ? QStringLiteral("the inverter is gone") : read.error));
        return CliExit::Failure;
    }
    const QSet<QString> failedCodes(read.failedCodes.begin(), read.failedCodes.end());

    const QString where = QStringLiteral("address %1").arg(address);
    const QJsonObject context{{QStringLiteral("address"), address}};
    const QString section = TDM::SectionName(address);
    int compared = 0;
    int differing = 0;
    int failed = 0;
    for (const ParameterTransfer::Plan &plan : EditorPlans::forModel(driveModel)) {
        if (plan.uploadOnly)
            continue;
        QList<ParameterDiff::Value> values;
        for (int i = 0; i < plan.count(); ++i)
            values.append(failedCodes.contains(plan.rows[i].code)
                              ? ParameterDiff::Value::failed()
                              : ParameterDiff::Value::known(driver->param(plan.paramIndexes[i])));
        const QList<ParameterDiff::Entry> entries = ParameterDiff::compare(
            plan, values, ParameterDiff::fromSection(ini, section, plan), true, true);
        compared += EditorPlans::settingCount(plan);
        for (const ParameterDiff::Entry &e : entries) {
            entry(where, context, e, QStringLiteral("drive"), QStringLiteral("file"));
            if (e.status == ParameterDiff::Status::Failed)
                ++failed;
            else
                ++differing;
        }
    }
    const bool equal = differing == 0 && failed == 0;
    summary.insert(QStringLiteral("compared"), compared);
    summary.insert(QStringLiteral("differing"), differing);
    summary.insert(QStringLiteral("failed"), failed);
    summary.insert(QStringLiteral("equal"), equal);
    m_out.result(equal ? QStringLiteral("address %1 %2: equal to %3, %4 parameters")
                             .arg(address)
                             .arg(driveModel, file)
                             .arg(compared)
                       : QStringLiteral("address %1 %2: %3 of %4 parameters differ, %5 not read")
                             .arg(address)
                             .arg(driveModel)
                             .arg(differing)
                             .arg(compared)
                             .arg(failed),
                 summary);
    return equal ? CliExit::Ok : CliExit::Failure;
}

int DiffCommand::files(const QString &first, const QString &second)
{
    // Opened by the bytes the names stand for, as the other commands open theirs.
    IniFile left = TransferCommand::iniFile(first);
    IniFile right = TransferCommand::iniFile(second);
    if (!loadFile(left, m_out) || !loadFile(right, m_out))
        return CliExit::Failure;
    int differing = 0;
    int slotsDiffering = 0;
    for (int slot = 0; slot < TDM::SlotCount; ++slot) {
        const ParameterDiff::Slot s = ParameterDiff::compareFiles(left, right, slot);
        if (s.equal())
            continue;
        ++slotsDiffering;
        const QString where = QStringLiteral("slot %1").arg(slot);
        if (!s.note.isEmpty()) {
            m_out.result(QStringLiteral("%1: %2").arg(where, s.note),
                         QJsonObject{{QStringLiteral("slot"), slot},
                                     {QStringLiteral("firstModel"), s.leftModel},
                                     {QStringLiteral("secondModel"), s.rightModel},
                                     {QStringLiteral("status"), QStringLiteral("model")},
                                     {QStringLiteral("note"), s.note}});
            continue;
        }
        for (const ParameterDiff::Entry &e : s.entries)
            entry(where, QJsonObject{{QStringLiteral("slot"), slot}}, e, QStringLiteral("first"),
                  QStringLiteral("second"));
        differing += int(s.entries.size());
    }
    const bool equal = slotsDiffering == 0;
    m_out.result(equal ? QStringLiteral("%1 and %2: equal").arg(first, second)
                       : QStringLiteral("%1 and %2: %3 parameters differ, %4 slots not alike")
                             .arg(first, second)
                             .arg(differing)
                             .arg(slotsDiffering),
                 QJsonObject{{QStringLiteral("command"), QStringLiteral("diff")},
                             {QStringLiteral("first"), first},
                             {QStringLiteral("second"), second},
                             {QStringLiteral("differing"), differing},
                             {QStringLiteral("slots"), slotsDiffering},
                             {QStringLiteral("equal"), equal}});
    return equal ? CliExit::Ok : CliExit::Failure;
}
