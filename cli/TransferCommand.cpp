#include "cli/TransferCommand.h"

#include "setup/IniFile.h"
#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "cli/CliExit.h"
#include "cli/CliFileName.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"

#include "params/ParameterField.h"
#include "params/ParameterSet.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

const QString TransferCommand::IncompleteKey = QStringLiteral("Incomplete");

namespace {

QStringList unreadKeys(const IniFile &ini, const QString &section)
{
    QStringList keys;
    for (const QString &key :
         ini.readString(section, TransferCommand::IncompleteKey).split(QLatin1Char(','))) {
        if (!key.trimmed().isEmpty())
            keys.append(key.trimmed());
    }
    return keys;
}

bool containsKey(const QStringList &keys, const QString &key)
{
    return keys.contains(key, Qt::CaseInsensitive);
}

} // namespace

TransferCommand::SectionValues TransferCommand::checkSection(const IniFile &ini, int address,
                                                             const QString &model)
{
    SectionValues checked;
    const QString section = TDM::SectionName(address);
    const QStringList unread = unreadKeys(ini, section);
    const ParameterSet &set = ParameterSet::forModel(model);
    const int addressRegister = TDM::AddressRegisterOf(model);
    for (const ParameterTransfer::Plan &plan : InverterTransfer::plans(model)) {
        if (plan.uploadOnly)
            continue;
        for (int entry = 0; entry < plan.count(); ++entry) {
            const ParameterRow &row = plan.rows[entry];
            if (plan.downloadSkip.contains(entry) || row.registerNumber == addressRegister)
                continue;
            // Only the unread values a download would write keep the section from the drive;
            // readouts that failed do not.
            if (containsKey(unread, row.key)) {
                checked.unread.append(row.key);
                continue;
            }
            const auto refuse = [&](const QString &why) {
                checked.problems.append(row.code + QStringLiteral(": ") + why);
                checked.refused.insert(row.key);
            };
            if (!ini.valueExists(section, row.key)) {
                refuse(QStringLiteral("missing"));
                continue;
            }
            const std::optional<int> value = ini.readIntegerValue(section, row.key);
            if (!value) {
                refuse(QStringLiteral("\"%1\" is not an integer")
                           .arg(ini.readString(section, row.key)));
                continue;
            }
            const int32_t v = *value;
            const ParameterDef *def = set.findKey(row.key);
            const bool factory = (def && def->defaultValue == v) || row.defaultValue == v;
            if (!ParameterRow::fitsRegister(v)) {
                refuse(QStringLiteral("%1 does not fit its 16-bit register").arg(v));
                continue;
            }
            if (!factory && row.isList() && !row.firstItemOnly &&
                (v < 0 || v >= row.items.size())) {
                refuse(QStringLiteral("%1 is no item of its list (0..%2)")
                           .arg(v)
                           .arg(row.items.size() - 1));
                continue;
            }
            if (!factory && ParameterField::clamps(row)) {
                const int64_t shown = ParameterField::interpret(row, v);
                if (shown < row.rawMinimum || shown > row.rawMaximum) {
                    refuse(QStringLiteral("%1 is outside %2..%3")
                               .arg(v)
                               .arg(row.rawMinimum)
                               .arg(row.rawMaximum));
                    continue;
                }
            }
            checked.values.insert(row.key, v);
        }
    }
    return checked;
}

void TransferCommand::saveSection(IniFile &ini, int address, const TInverterBase &driver,
                                  const QStringList &failedKeys, const IniFile *previous)
{
    const QString section = TDM::SectionName(address);
    // Only a section of the same model holds values of these parameters.
    const bool keep = previous && sectionEnabled(*previous, address) &&
                      previous->readString(section, QStringLiteral("TypeName")) ==
                          driver.GetTypeName();
    const QStringList previouslyUnread = keep ? unreadKeys(*previous, section) : QStringList();
    // Emptied in place, so the section keeps its position in the file.
    for (const QString &key : ini.keys(section))
        ini.deleteKey(section, key);
    ini.writeString(section, QStringLiteral("Enable"), QStringLiteral("true"));
    driver.SaveSetup(ini, section);
    // The driver holds its factory value, or zero, where a read failed: never written as read.
    QStringList unread;
    for (const QString &key : failedKeys) {
        if (keep && previous->valueExists(section, key) && !containsKey(previouslyUnread, key)) {
            ini.writeString(section, key, previous->readString(section, key));
        } else {
            ini.deleteKey(section, key);
            unread.append(key);
        }
    }
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
    const IniFile previous = ini;
    saveSection(ini, address, *driver, result.failedKeys, &previous);
    if (!ini.save(&why)) {
        m_out.error(QStringLiteral("cannot write %1: %2").arg(file, why));
        return CliExit::Failure;
    }
    return result.ok ? CliExit::Ok : CliExit::Failure;
}

bool TransferCommand::downloadSection(int address, const QString &model, const IniFile &ini,
                                      bool force)
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
    // The file is checked whole before anything is sent: a drive gets all of its values or,
    // unless forced, none.
    const SectionValues checked = checkSection(ini, address, fileModel);
    if (!checked.unread.isEmpty() && !force) {
        m_out.error(QStringLiteral("address %1: %2 marks the section incomplete, not read: %3; "
                                   "nothing written (--force writes the values that were read)")
                        .arg(address)
                        .arg(file, checked.unread.join(QStringLiteral(", "))));
        return false;
    }
    if (!checked.problems.isEmpty() && !force) {
        m_out.error(QStringLiteral("address %1: %2 holds values that cannot be sent: %3; nothing "
                                   "written (--force writes the others)")
                        .arg(address)
                        .arg(file, checked.problems.join(QStringLiteral(", "))));
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
        QStringList names = checked.problems;
        if (!checked.unread.isEmpty())
            names.append(QStringLiteral("not read: ") + checked.unread.join(QStringLiteral(", ")));
        m_out.error(QStringLiteral("address %1: forced, not written: %2")
                        .arg(address)
                        .arg(names.join(QStringLiteral(", "))));
    }

    InverterTransfer transfer(&m_session);
    transfer.setProgressHandler([this, address](const QString &text) {
        m_out.progress(QStringLiteral("address %1: %2").arg(address).arg(text));
    });
    const InverterTransfer::Result result = transfer.download(address, leaveOut);
    m_out.endProgress();
    summary(false, address, fileModel, file, result);
    return result.ok && leaveOut.isEmpty();
}

int TransferCommand::download(int address, const QString &model, const QString &file, bool force)
{
    IniFile ini = iniFile(file);
    if (!loadExisting(ini))
        return CliExit::Failure;
    return downloadSection(address, model, ini, force) ? CliExit::Ok : CliExit::Failure;
}
