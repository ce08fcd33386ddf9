#include "serial/SerialPortList.h"

#include "serial/TComm32.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Identifies a device however it is named: the file a chain of links ends at, or the
// cleaned path when there is no such file.
QString deviceKey(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(path).absoluteFilePath()) : canonical;
}

// The numbered nodes of one family (e.g. "ttyUSB") under the root, by number.
QStringList numberedNodes(const QDir &root, const QString &family)
{
    const QRegularExpression pattern(
        QStringLiteral("^%1(\\d{1,4})$").arg(QRegularExpression::escape(family)));
    QList<std::pair<int, QString>> found;
    const QStringList names = root.entryList({family + QLatin1Char('*')},
                                             QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (match.hasMatch())
            found.append({match.captured(1).toInt(), root.filePath(name)});
    }
    std::sort(found.begin(), found.end());
    QStringList paths;
    for (const auto &entry : found)
        paths << entry.second;
    return paths;
}

} // namespace

QStringList SerialPortList::devices(const QString &devRoot, const Probe &probe,
                                    const QStringList &covered)
{
    const QDir root(devRoot);
    QSet<QString> seen;
    for (const QString &path : covered)
        seen.insert(deviceKey(path));

    QStringList result;
    const auto add = [&](const QString &path) {
        const QString key = deviceKey(path);
        if (seen.contains(key))
            return;
        seen.insert(key);
        result << path;
    };

    const QDir byId(root.filePath(QStringLiteral("serial/by-id")));
    const QFileInfoList links =
        byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &link : links)
        if (link.exists()) // follows the link: a dangling one names no device
            add(link.filePath());

    for (const QString &path : numberedNodes(root, QStringLiteral("ttyUSB")))
        add(path);
    for (const QString &path : numberedNodes(root, QStringLiteral("ttyACM")))
        add(path);
    for (const QString &path : numberedNodes(root, QStringLiteral("ttyS")))
        if (!seen.contains(deviceKey(path)) && probe && probe(path))
            add(path);
    return result;
}

QStringList SerialPortList::available()
{
    return devices(
        QStringLiteral("/dev"), &SerialPortList::answersAsUart,
        {TComm32::devicePath(QStringLiteral("COM1")), TComm32::devicePath(QStringLiteral("COM2"))});
}

bool SerialPortList::answersAsUart(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return false;
    // Non-blocking: a port without carrier must not hold the enumeration up.
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY; // opened exclusively by someone else, our own port included
    serial_struct info{};
    int rc;
    do {
        rc = ::ioctl(fd, TIOCGSERIAL, &info);
    } while (rc < 0 && errno == EINTR);
    ::close(fd);
    return rc == 0 && info.type != PORT_UNKNOWN;
}
