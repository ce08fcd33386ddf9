#include "cli/BackupCommand.h"

#include "setup/IniFile.h"
#include "setup/SetupFile.h"
#include "bus/TDM.h"
#include "cli/CliExit.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/TransferCommand.h"
#include "serial/MessageNumbers.h"

#include <QFile>
#include <QHash>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <QJsonArray>
#include <QJsonObject>

int BackupCommand::backup(const QString &file, const QList<int> &addresses)
{
    TransferCommand transfer(m_session, m_out);
    // A file that cannot be written is found out before the bus is.
    if (!transfer.checkWritable(file))
        return CliExit::Failure;
    TDM &registry = m_session.registry();
    bool ok = true;
    QList<int> present;
    for (const CliSession::Detection &d : m_session.detect(addresses)) {
        if (d.state == InverterStateCode::Present) {
            present.append(d.address);
        } else if (d.state != InverterStateCode::NoInverter) {
            // A driver left by a failed probe holds factory values, not the inverter's.
            registry.RemoveInverter(d.address);
            m_out.error(QStringLiteral("address %1 answers wrongly (%2 probe): not saved")
                            .arg(d.address)
                            .arg(d.model));
            ok = false;
        }
    }
    if (m_session.linkLost()) {
        m_out.error(QStringLiteral("%1: %2 not written").arg(m_session.linkLostText(), file));
        return CliExit::Failure;
    }
    if (present.isEmpty()) {
        m_out.error(QStringLiteral("no inverter found: %1 not written").arg(file));
        return CliExit::Failure;
    }

    QJsonArray saved;
    QHash<int, QStringList> failedKeys;
    for (int address : present) {
        const InverterTransfer::Result result = transfer.uploadInverter(address, file);
        if (!result.error.isEmpty() || result.failedCodes.size() == result.attempted) {
            // Nothing of it was read: keep it out of the file rather than save factory values.
            registry.RemoveInverter(address);
            ok = false;
            continue;
        }
        ok = ok && result.ok;
        saved.append(address);
        if (!result.failedKeys.isEmpty())
            failedKeys.insert(address, result.failedKeys);
    }

    if (m_session.linkLost()) {
        m_out.error(QStringLiteral("%1: %2 not written").arg(m_session.linkLostText(), file));
        return CliExit::Failure;
    }
    if (saved.isEmpty()) {
        m_out.error(QStringLiteral("nothing could be read: %1 not written").arg(file));
        return CliExit::Failure;
    }

    // A drive the file held that this backup did not save is named, and the file holding
    // its section is kept beside the new one: the backup of the drives that answered is
    // still made (an unattended run gets one), and nothing of the silent drive is lost.
    IniFile previous = TransferCommand::iniFile(file);
    QStringList lost;
    if (previous.load()) {
        for (int address = 0; address < TDM::SlotCount; ++address) {
            if ((addresses.isEmpty() || addresses.contains(address)) &&
                TransferCommand::sectionEnabled(previous, address) && !saved.contains(address))
                lost.append(QStringLiteral("%1 (%2)").arg(address).arg(
                    TransferCommand::sectionModel(previous, address)));
        }
    }
    if (!lost.isEmpty()) {
        QString kept;
        if (!keepPrevious(previous.nativeFileName(), &kept)) {
            m_out.error(QStringLiteral("%1 holds the drives at %2, which did not answer, and "
                                       "cannot be kept: %3; %1 not written")
                            .arg(file, lost.join(QStringLiteral(", ")), kept));
            return CliExit::Failure;
        }
        m_out.error(QStringLiteral("address %1 did not answer: not in the new %2; the previous "
                                   "file is kept as %3")
                        .arg(lost.join(QStringLiteral(", ")), file, kept));
        ok = false;
    }

    // A new file: the inverter list, the serial settings and no windows.
    IniFile ini = TransferCommand::iniFile(file);
    registry.SaveInverters(ini);
    for (auto it = failedKeys.constBegin(); it != failedKeys.constEnd(); ++it)
        TransferCommand::saveSection(ini, it.key(), *registry.GetInverter(it.key()), it.value());
    SetupFile::SaveSerialSettings(ini, m_session.port());
    SetupFile::SaveWindowList(ini, {});
    QString why;
    if (!ini.save(&why)) {
        m_out.error(QStringLiteral("cannot write %1: %2").arg(file, why));
        return CliExit::Failure;
    }
    m_out.result(QStringLiteral("backup %1: %2 inverters saved%3")
                     .arg(file)
                     .arg(saved.size())
                     .arg(ok ? QString() : QStringLiteral(", with failures")),
                 QJsonObject{{QStringLiteral("command"), QStringLiteral("backup")},
                             {QStringLiteral("file"), file},
                             {QStringLiteral("saved"), saved},
                             {QStringLiteral("ok"), ok}});
    return ok ? CliExit::Ok : CliExit::Failure;
}

bool BackupCommand::keepPrevious(const QByteArray &native, QString *kept)
{
    // A second name of the file: the save that follows replaces the name, not the contents.
    for (int number = 1; number < 1000; ++number) {
        const QByteArray name = native + ".previous" +
                                (number == 1 ? QByteArray() : "-" + QByteArray::number(number));
        if (::link(native.constData(), name.constData()) == 0) {
            *kept = QFile::decodeName(name);
            return true;
        }
        if (errno != EEXIST) {
            *kept = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
    }
    *kept = QStringLiteral("no free name");
    return false;
}

int BackupCommand::restore(const QString &file, bool force)
{
    TransferCommand transfer(m_session, m_out);
    IniFile ini = TransferCommand::iniFile(file);
    if (!transfer.loadExisting(ini))
        return CliExit::Failure;
    QList<int> addresses;
    for (int slot = 0; slot < TDM::SlotCount; ++slot) {
        if (TransferCommand::sectionEnabled(ini, slot))
            addresses.append(slot);
    }
    if (addresses.isEmpty()) {
        m_out.error(QStringLiteral("%1 holds no inverter").arg(file));
        return CliExit::Failure;
    }
    bool ok = true;
    int status = CliExit::Ok;
    QJsonArray restored;
    for (int address : addresses) {
        // A backup holds what was read: it goes back as it was, checked against the
        // registers only.
        const int written =
            transfer.downloadSection(address, QString(), ini, force, ParameterSection::Mode::AsRead);
        if (written == CliExit::Ok)
            restored.append(address);
        else
            ok = false;
        status = std::max(status, written);
    }
    m_out.result(QStringLiteral("restore %1: %2 of %3 inverters written completely")
                     .arg(file)
                     .arg(restored.size())
                     .arg(addresses.size()),
                 QJsonObject{{QStringLiteral("command"), QStringLiteral("restore")},
                             {QStringLiteral("file"), file},
                             {QStringLiteral("restored"), restored},
                             {QStringLiteral("ok"), ok}});
    return status;
}
