#include "cli/TransferCommand.h"

#include "setup/IniFile.h"
#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "cli/CliExit.h"
#include "cli/CliFileName.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"

#include "params/ParameterSection.h"
#include "params/ParameterSet.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

const QString TransferCommand::IncompleteKey = QStringLiteral("Incomplete");

TransferCommand::SectionValues TransferCommand::checkSection(const IniFile &ini, int address,
                                                             const QString &model,
                                                             ParameterSection::Mode mode)
{
    ParameterSection section = ParameterSection::read(ini, address);
    section.model = model;
    const ParameterSection::Checked checked = section.check(mode);
    SectionValues values;
    values.values = checked.values;
    values.problems = checked.problems;
    values.refused = checked.refused;
    values.forcible = checked.forcible;
    values.unread = checked.unread;
    return values;
}

void TransferCommand::saveSection(IniFile &ini, int address, const TInverterBase &driver,
                                  const QStringList &failedKeys)
{
    const QString section = TDM::SectionName(address);
    // Emptied in place, so the section keeps its position in the file.
    for (const QString &key : ini.keys(section))
        ini.deleteKey(section, key);
    ini.writeString(section, QStringLiteral("Enable"), QStringLiteral("true"));
    // The driver leaves out what it holds no read value of and names it "Incomplete".
    driver.SaveSetup(ini, section);
    QStringList unread = ini.readString(section, IncompleteKey)
                             .split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &key : failedKeys) {
        ini.deleteKey(section, key);
        if (!unread.contains(key, Qt::CaseInsensitive))
            unread.append(key);
    }
    ini.deleteKey(section, IncompleteKey);
    if (!unread.isEmpty())
        ini.writeString(section, IncompleteKey, unread.join(QLatin1Char(',')));
}

bool TransferCommand::checkWritable(const QString &file)
{
    const auto refuse = [this, &file](const QString &why) {
        m_out.error(QStringLiteral("cannot write %1: %2").arg(file, why));
        return false;
    };
    if (file.trimmed().isEmpty())
        return refuse(QStringLiteral("no file name"));
    const QByteArray native = CliFileName::toNative(file);
    struct stat info;
    if (::stat(native.constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return refuse(QStringLiteral("it is a directory"));
        if (!S_ISREG(info.st_mode))
            return refuse(QStringLiteral("it is not a regular file"));
    }
    const qsizetype slash = native.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/")
                                                                       : native.left(slash);
    if (::stat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return refuse(QStringLiteral("the folder %1 does not exist").arg(QFile::decodeName(folder)));
    // The save writes a temporary file beside the target and renames it: try that here.
    QByteArray probe = native + ".tmp-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    ::close(fd);
    ::unlink(probe.constData());
    return true;
}

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

IniFile TransferCommand::iniFile(const QString &file)
{
    IniFile ini;
    ini.setNativeFileName(CliFileName::toNative(file));
    return ini;
}

bool TransferCommand::loadExisting(IniFile &ini)
{
    struct stat info;
    if (::stat(ini.nativeFileName().constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
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
    if (!upload)
        object.insert(QStringLiteral("skipped"), QJsonArray::fromStringList(result.skippedCodes));
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
    if (!upload && result.error.isEmpty() && !result.skippedCodes.isEmpty())
        text += QStringLiteral("; not written: ") + result.skippedCodes.join(QStringLiteral(", "));
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
    if (!checkWritable(file))
        return CliExit::Failure;
    IniFile ini = iniFile(file);
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
    // A failed read leaves its key out, named in "Incomplete": the value the file held before
    // is no value of the drive now.
    saveSection(ini, address, *driver, result.failedKeys);
    if (!ini.save(&why)) {
        m_out.error(QStringLiteral("cannot write %1: %2").arg(file, why));
        return CliExit::Failure;
    }
    return result.ok ? CliExit::Ok : CliExit::Failure;
}

int TransferCommand::downloadSection(int address, const QString &model, const IniFile &ini,
                                     bool force, ParameterSection::Mode mode)
{
    const QString file = ini.fileName();
    const ParameterSection read = ParameterSection::read(ini, address);
    if (!read.enabled) {
        m_out.error(QStringLiteral("%1 holds no inverter for address %2").arg(file).arg(address));
        return CliExit::Failure;
    }
    for (const QString &duplicate : read.duplicates)
        m_out.error(QStringLiteral("warning: %1, address %2: %3; the first one is taken")
                        .arg(file)
                        .arg(address)
                        .arg(duplicate));
    const QString fileModel = read.model;
    if (!model.isEmpty() && model != fileModel) {
        m_out.error(QStringLiteral("%1 holds a %2 for address %3, not a %4: nothing written")
                        .arg(file, fileModel)
                        .arg(address)
                        .arg(model));
        return CliExit::Usage;
    }
    // The file is checked whole before anything is sent: a drive gets all of its values or,
    // unless forced, none.
    const ParameterSection::Checked checked = read.check(mode);
    if (!checked.unread.isEmpty() && !force) {
        m_out.error(QStringLiteral("address %1: %2 marks the section incomplete, not read: %3; "
                                   "nothing written (--force writes the values that were read)")
                        .arg(address)
                        .arg(file, checked.unread.join(QStringLiteral(", "))));
        return CliExit::Failure;
    }
    if (!checked.problems.isEmpty() && !force) {
        m_out.error(QStringLiteral("address %1: %2 holds values that cannot be sent: %3; nothing "
                                   "written (--force writes the others)")
                        .arg(address)
                        .arg(file, checked.problems.join(QStringLiteral(", "))));
        return CliExit::Failure;
    }
    // The model written to is the one that answers, whatever the file or --model say.
    QString why;
    const int confirmed = m_session.confirmModel(address, fileModel, &why);
    if (confirmed != CliExit::Ok) {
        m_out.error(confirmed == CliExit::Usage
                        ? QStringLiteral("%1, %2 names a %3: nothing written").arg(why, file, fileModel)
                        : why + QStringLiteral(": nothing written"));
        return confirmed;
    }
    TInverterBase *driver = m_session.registry().GetInverter(address);
    if (!driver)
        return CliExit::Failure;
    const QString section = TDM::SectionName(address);
    const ParameterSet &set = ParameterSet::forModel(fileModel);
    for (auto it = checked.values.constBegin(); it != checked.values.constEnd(); ++it) {
        if (const ParameterDef *def = set.findKey(it.key()))
            driver->setParam(def->index, it.value());
    }
    // The bus address parameter is written like any other; a different value would move the
    // inverter away from the address the rest of the download goes to.
    const int addressEntry = InverterTransfer::addressParamIndex(fileModel);
    if (addressEntry >= 0) {
        const QString addressKey = set.findIndex(addressEntry)->key;
        const int named = ini.readInteger(section, addressKey, address);
        if (named != address)
            m_out.error(QStringLiteral("warning: %1 gives the inverter at address %2 the bus "
                                       "address %3; it keeps %2")
                            .arg(file)
                            .arg(address)
                            .arg(named));
        driver->setParam(addressEntry, address);
    }
    QSet<QString> leaveOut = checked.refused;
    for (const QString &key : checked.unread) {
        if (const ParameterDef *def = set.findKey(key))
            leaveOut.insert(def->key);
    }
    if (!leaveOut.isEmpty()) {
        QStringList names = checked.refusedProblems;
        if (!checked.unread.isEmpty())
            names.append(QStringLiteral("not read: ") + checked.unread.join(QStringLiteral(", ")));
        m_out.error(QStringLiteral("address %1: forced, not written: %2")
                        .arg(address)
                        .arg(names.join(QStringLiteral(", "))));
    }
    if (!checked.forcible.isEmpty())
        m_out.error(QStringLiteral("address %1: forced, written outside their fields: %2")
                        .arg(address)
                        .arg(checked.forcibleProblems.join(QStringLiteral(", "))));

    InverterTransfer transfer(&m_session);
    transfer.setProgressHandler([this, address](const QString &text) {
        m_out.progress(QStringLiteral("address %1: %2").arg(address).arg(text));
    });
    const InverterTransfer::Result result =
        transfer.download(address, leaveOut, mode == ParameterSection::Mode::AsRead);
    m_out.endProgress();
    summary(false, address, fileModel, file, result);
    return result.ok && leaveOut.isEmpty() ? CliExit::Ok : CliExit::Failure;
}

int TransferCommand::download(int address, const QString &model, const QString &file, bool force)
{
    IniFile ini = iniFile(file);
    if (!loadExisting(ini))
        return CliExit::Failure;
    return downloadSection(address, model, ini, force, ParameterSection::Mode::Edited);
}
