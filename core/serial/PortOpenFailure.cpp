#include "serial/PortOpenFailure.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <vector>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

PortOpenFailure PortOpenFailure::fromError(const QString &device, int error)
{
    PortOpenFailure failure(reasonForError(error), device);
    if (failure.m_reason == Reason::NoAccess)
        failure.m_group = deviceGroup(device);
    if (failure.m_reason == Reason::Other)
        failure.m_systemText = QString::fromLocal8Bit(std::strerror(error));
    return failure;
}

PortOpenFailure::Reason PortOpenFailure::reasonForError(int error)
{
    switch (error) {
    case 0:
        return Reason::None;
    case ENOENT:
    case ENODEV:
    case ENXIO: // a node without hardware behind it, as /dev/ttyS3 on most machines
    case ENOTDIR:
        return Reason::Missing;
    case EACCES:
    case EPERM:
    case EROFS:
        return Reason::NoAccess;
    case EBUSY:       // another opener set exclusive use
    case EWOULDBLOCK: // another opener holds the lock
        return Reason::Busy;
    case ENOTTY:
        return Reason::NotTerminal;
    default:
        return Reason::Other;
    }
}

QString PortOpenFailure::deviceGroup(const QString &path)
{
    struct stat status
    {
    };
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || ::stat(name.constData(), &status) != 0 || status.st_gid == 0)
        return QString();
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    struct group entry
    {
    };
    struct group *found = nullptr;
    while (::getgrgid_r(status.st_gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE)
        buffer.resize(buffer.size() * 2);
    return found ? QString::fromLocal8Bit(found->gr_name) : QString();
}

QString PortOpenFailure::operatorText() const
{
    const QString port =
        m_device.isEmpty() ? QStringLiteral("Порт") : QStringLiteral("Порт %1").arg(m_device);
    switch (m_reason) {
    case Reason::None:
        return QString();
    case Reason::Missing:
        if (m_device.isEmpty())
            return QStringLiteral("Порт не выбран. Выберите его в «Опции» → «Связь...».");
        return QStringLiteral("%1: устройство не найдено. Проверьте, подключён ли адаптер, и "
                              "выберите порт в «Опции» → «Связь...».")
            .arg(port);
    case Reason::Busy:
        return QStringLiteral("%1 занят другой программой. Закройте её и откройте порт снова.")
            .arg(port);
    case Reason::NoAccess:
        if (m_group.isEmpty())
            return QStringLiteral("%1: нет доступа. Попросите администратора дать вам права на "
                                  "это устройство.")
                .arg(port);
        return QStringLiteral("%1: нет доступа. Вступите в группу %2 (sudo usermod -aG %2 $USER) "
                              "и войдите в систему заново.")
            .arg(port, m_group);
    case Reason::NotTerminal:
        return QStringLiteral("%1: это не последовательный порт.").arg(port);
    case Reason::SpeedRefused:
        return QStringLiteral("%1 не поддерживает скорость %2 бит/с. Порт не открыт; выберите "
                              "другую скорость в «Опции» → «Связь...».")
            .arg(port)
            .arg(m_baudRate);
    case Reason::NoStart:
        return QStringLiteral("%1: потоки приёма и передачи не запустились за 1 с. Откройте "
                              "порт снова в «Опции» → «Связь...».")
            .arg(port);
    case Reason::Other:
        return QStringLiteral("%1: %2").arg(port, m_systemText);
    }
    return QString();
}

QString PortOpenFailure::commandLineText() const
{
    const QString head = QStringLiteral("cannot open serial port %1: ").arg(m_device);
    switch (m_reason) {
    case Reason::None:
        return QString();
    case Reason::Missing:
        if (m_device.isEmpty())
            return QStringLiteral("no serial port given; name one with --port DEV");
        return head + QStringLiteral("no such device; check that the adapter is plugged in and "
                                     "name it with --port DEV");
    case Reason::Busy:
        return head + QStringLiteral("in use by another program; close that program first");
    case Reason::NoAccess:
        if (m_group.isEmpty())
            return head + QStringLiteral("нет доступа (permission denied); ask the administrator "
                                         "for access to the device");
        return head + QStringLiteral("нет доступа (permission denied); join the group %1 "
                                     "(sudo usermod -aG %1 $USER) and log in again")
                          .arg(m_group);
    case Reason::NotTerminal:
        return head + QStringLiteral("not a serial device; name one with --port DEV");
    case Reason::SpeedRefused:
        return head + QStringLiteral("the device does not support %1 bit/s; choose another --baud")
                          .arg(m_baudRate);
    case Reason::NoStart:
        return head + QStringLiteral("the receive and transmit threads did not start within 1 s");
    case Reason::Other:
        return head + m_systemText;
    }
    return QString();
}
