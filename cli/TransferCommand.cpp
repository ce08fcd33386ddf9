#include "cli/TransferCommand.h"

#include "app/IniFile.h"
#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "cli/CliExit.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

QString TransferCommand::sectionModel(const IniFile &ini, int address)
{
    const QString type = ini.readString(TDM::SectionName(address), QStringLiteral("TypeName"));
    if (type == QLatin1String("KX100") || type == QLatin1String("KX200"))
        return type;
    return QStringLiteral("KX300"); // any other name, a missing one included
}

bool TransferCommand::sectionEnabled(const IniFile &ini, int address)
{
    return ini.readString(TDM::SectionName(address), QStringLiteral("Enable"),
                          QStringLiteral("false")) == QLatin1String("true");
}

bool TransferCommand::loadExisting(IniFile &ini)
{
    if (!QFileInfo(ini.fileName()).isFile()) {
        m_out.error(QStringLiteral("cannot read %1: no such file").arg(ini.fileName()));
        return false;
    }
    QString why;
    if (!ini.load(&why)) {
        m_out.error(QStringLiteral("cannot read %1: %2").arg(ini.fileName(), why));
        return false;
    }
    return true;
}

void TransferCommand::summary(bool upload, int address, const QString &model, const QString &file,
                              const InverterTransfer::Result &result)
{
    const QString what = upload ? QStringLiteral("upload") : QStringLiteral("download");
    QJsonObject object{{QStringLiteral("command"), what},
                       {QStringLiteral("address"), address},
                       {QStringLiteral("model"), model},
                       {QStringLiteral("file"), file},
                       {QStringLiteral("ok"), result.ok},
                       {QStringLiteral("attempted"), result.attempted},
                       {QStringLiteral("failed"), QJsonArray::fromStringList(result.failedCodes)}};
    if (!result.error.isEmpty())
        object.insert(QStringLiteral("error"), result.error);
    QString text;
    if (!result.error.isEmpty())
        text = QStringLiteral("address %1 %2: %3 failed: %4")
                   .arg(address)
                   .arg(model, what, result.error);
    else if (result.ok)
        text = QStringLiteral("address %1 %2: %3 OK, %4 parameters")
                   .arg(address)
                   .arg(model, what)
                   .arg(result.attempted);
    else
        text = QStringLiteral("address %1 %2: %3: %4 of %5 parameters failed: %6")
                   .arg(address)
                   .arg(model, what)
                   .arg(result.failedCodes.size())
                   .arg(result.attempted)
                   .arg(result.failedCodes.join(QStringLiteral(", ")));
    m_out.result(text, object);
}

InverterTransfer::Result TransferCommand::uploadInverter(int address, const QString &file)
{
    const QString model = m_session.registry().GetTypeName(address);
    InverterTransfer transfer(&m_session);
    transfer.setProgressHandler([this, address](const QString &text) {
        m_out.progress(QStringLiteral("address %1: %2").arg(address).arg(text));
    });
    const InverterTransfer::Result result = transfer.upload(address);
    m_out.endProgress();
    summary(true, address, model, file, result);
    return result;
}

int TransferCommand::upload(int address, const QString &model, const QString &file)
{
    IniFile ini(file);
    QString why;
    // An existing file keeps its other sections; one that cannot be read is left alone.
    if (!ini.load(&why)) {
        m_out.error(QStringLiteral("cannot read %1: %2").arg(file, why));
        return CliExit::Failure;
    }
    if (!m_session.ensureInverter(address, model, &why)) {
        m_out.error(why);
        return CliExit::Failure;
    }
    const InverterTransfer::Result result = uploadInverter(address, file);
    const TInverterBase *driver = m_session.registry().GetInverter(address);
    if (!result.error.isEmpty() || !driver)
        return CliExit::Failure; // nothing was read: the file stays as it was
    if (result.failedCodes.size() == result.attempted) {
        m_out.error(QStringLiteral("nothing could be read from address %1: %2 not changed")
                        .arg(address)
                        .arg(file));
        return CliExit::Failure;
    }
    const QString section = TDM::SectionName(address);
    ini.eraseSection(section);
    ini.writeString(section, QStringLiteral("Enable"), QStringLiteral("true"));
    driver->SaveSetup(ini, section);
    if (!ini.save(&why)) {
        m_out.error(QStringLiteral("cannot write %1: %2").arg(file, why));
        return CliExit::Failure;
    }
    return result.ok ? CliExit::Ok : CliExit::Failure;
}

bool TransferCommand::downloadSection(int address, const QString &model, const IniFile &ini)
{
    const QString file = ini.fileName();
    if (!sectionEnabled(ini, address)) {
        m_out.error(QStringLiteral("%1 holds no inverter for address %2").arg(file).arg(address));
        return false;
    }
    const QString fileModel = sectionModel(ini, address);
    if (!model.isEmpty() && model != fileModel) {
        m_out.error(QStringLiteral("%1 holds a %2 for address %3, not a %4: nothing written")
                        .arg(file, fileModel)
                        .arg(address)
                        .arg(model));
        return false;
    }
    QString why;
    if (!m_session.ensureInverter(address, model, &why)) {
        m_out.error(why + QStringLiteral(": nothing written"));
        return false;
    }
    TInverterBase *driver = m_session.registry().GetInverter(address);
    if (!driver || driver->GetTypeName() != fileModel) {
        m_out.error(
            QStringLiteral("address %1 holds a %2, %3 a %4: nothing written")
                .arg(address)
                .arg(driver ? driver->GetTypeName() : QStringLiteral("nothing"), file, fileModel));
        return false;
    }
    const QString section = TDM::SectionName(address);
    driver->LoadSetup(ini, section);
    // The bus address parameter is written like any other; a different value would move the
    // inverter away from the address the rest of the download goes to.
    const int addressEntry = InverterTransfer::addressParamIndex(fileModel);
    if (addressEntry >= 0 && driver->param(addressEntry) != address) {
        m_out.error(QStringLiteral("warning: %1 gives the inverter at address %2 the bus "
                                   "address %3; it keeps %2")
                        .arg(file)
                        .arg(address)
                        .arg(driver->param(addressEntry)));
        driver->setParam(addressEntry, address);
    }

    InverterTransfer transfer(&m_session);
    transfer.setProgressHandler([this, address](const QString &text) {
        m_out.progress(QStringLiteral("address %1: %2").arg(address).arg(text));
    });
    const InverterTransfer::Result result = transfer.download(address);
    m_out.endProgress();
    summary(false, address, fileModel, file, result);
    return result.ok;
}

int TransferCommand::download(int address, const QString &model, const QString &file)
{
    IniFile ini(file);
    if (!loadExisting(ini))
        return CliExit::Failure;
    return downloadSection(address, model, ini) ? CliExit::Ok : CliExit::Failure;
}
