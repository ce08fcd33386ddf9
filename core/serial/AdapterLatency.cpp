#include "serial/AdapterLatency.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int readTimer(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const int value = file.readAll().trimmed().toInt(&ok);
    return ok && value >= 0 ? value : -1;
}

// errno of a failed write of the value; 0 after a good one.
int writeTimer(const QString &path, int value)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const QByteArray text = QByteArray::number(value) + '\n';
    const ssize_t written = ::write(fd, text.constData(), size_t(text.size()));
    const int error = written == ssize_t(text.size()) ? 0 : (written < 0 ? errno : EIO);
    ::close(fd);
    return error;
}

} // namespace

AdapterLatency::Report AdapterLatency::apply(const QString &devicePath, int fd,
                                             const QString &sysfsRoot)
{
    Report report;
    // A /dev/serial/by-id name is a link to the tty itself.
    const QString canonical = QFileInfo(devicePath).canonicalFilePath();
    report.device = canonical.isEmpty() ? devicePath : canonical;
    report.flag = fd >= 0 ? applyLowLatencyFlag(fd) : Flag::Unsupported;

    const QString name = QFileInfo(report.device).fileName();
    const QString device =
        sysfsRoot + QStringLiteral("/class/tty/") + name + QStringLiteral("/device");
    if (name.isEmpty() || !QFileInfo(device).canonicalFilePath().contains(QStringLiteral("/usb")))
        return report;
    const QString timer = device + QStringLiteral("/latency_timer");
    if (!QFileInfo::exists(timer)) {
        report.timer = Timer::NoTimer;
        return report;
    }
    report.foundMs = report.inForceMs = readTimer(timer);
    if (report.foundMs < 0) {
        report.timer = Timer::Unreadable;
        return report;
    }
    if (report.foundMs <= TargetTimerMs) {
        report.timer = Timer::Kept;
        return report;
    }
    const int error = writeTimer(timer, TargetTimerMs);
    if (error == EACCES || error == EPERM || error == EROFS) {
        report.timer = Timer::NoPermission;
        return report;
    }
    const int after = readTimer(timer);
    if (error == 0 && after >= 0)
        report.inForceMs = after;
    report.timer = error == 0 && after == TargetTimerMs ? Timer::Set : Timer::WriteFailed;
    return report;
}

AdapterLatency::Flag AdapterLatency::applyLowLatencyFlag(int fd)
{
    serial_struct serial{};
    // Pseudo-terminals and most drivers other than UART and USB serial have no such settings.
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return Flag::Unsupported;
    if (serial.flags & ASYNC_LOW_LATENCY)
        return Flag::AlreadySet;
    serial.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(fd, TIOCSSERIAL, &serial) == 0)
        return Flag::Set;
    return errno == EPERM || errno == EACCES ? Flag::NoPermission : Flag::Unsupported;
}

QString AdapterLatency::Report::text() const
{
    QString timerText;
    switch (timer) {
    case Timer::NotUsb:
        timerText = QStringLiteral("не USB-адаптер, таймера задержки нет");
        break;
    case Timer::NoTimer:
        timerText = QStringLiteral("драйвер USB-адаптера без таймера задержки");
        break;
    case Timer::Unreadable:
        timerText = QStringLiteral("таймер задержки не читается");
        break;
    case Timer::Kept:
        timerText = QStringLiteral("таймер задержки %1 мс").arg(foundMs);
        break;
    case Timer::Set:
        timerText = QStringLiteral("таймер задержки %1 мс → %2 мс").arg(foundMs).arg(inForceMs);
        break;
    case Timer::NoPermission:
        timerText = QStringLiteral("таймер задержки %1 мс, нет прав изменить").arg(foundMs);
        break;
    case Timer::WriteFailed:
        timerText = QStringLiteral("таймер задержки %1 мс, драйвер не принял %2 мс")
                        .arg(foundMs)
                        .arg(TargetTimerMs);
        break;
    }
    static const char *const flags[] = {
        "флаг низкой задержки не поддерживается", "флаг низкой задержки уже установлен",
        "флаг низкой задержки установлен", "флаг низкой задержки: нет прав"};
    return QStringLiteral("Адаптер %1: %2; %3")
        .arg(device, timerText, QString::fromUtf8(flags[int(flag)]));
}

QString AdapterLatency::Report::englishText() const
{
    static const char *const timers[] = {"not a USB adapter",
                                         "USB adapter, its driver has no latency timer",
                                         "latency timer unreadable",
                                         "latency timer %1 ms",
                                         "latency timer %1 ms, set to %2 ms",
                                         "latency timer %1 ms, no permission to change it",
                                         "latency timer %1 ms, the driver refused %2 ms"};
    static const char *const flags[] = {"low-latency flag unsupported",
                                        "low-latency flag already set", "low-latency flag set",
                                        "low-latency flag: no permission"};
    QString timerText = QString::fromLatin1(timers[int(timer)]);
    if (timerText.contains(QLatin1String("%1")))
        timerText = timerText.arg(foundMs);
    if (timerText.contains(QLatin1String("%2")))
        timerText = timerText.arg(timer == Timer::Set ? inForceMs : TargetTimerMs);
    return QStringLiteral("adapter %1: %2; %3")
        .arg(device, timerText, QString::fromLatin1(flags[int(flag)]));
}

QJsonObject AdapterLatency::Report::toJson() const
{
    return QJsonObject{
        {QStringLiteral("adapter"), device},
        {QStringLiteral("latency_timer_found_ms"),
         foundMs < 0 ? QJsonValue() : QJsonValue(foundMs)},
        {QStringLiteral("latency_timer_ms"), inForceMs < 0 ? QJsonValue() : QJsonValue(inForceMs)},
        {QStringLiteral("low_latency_flag"), flag == Flag::Set || flag == Flag::AlreadySet},
        {QStringLiteral("text"), englishText()}};
}
