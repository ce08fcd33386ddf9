#include "serial/SerialDevice.h"

#include <QFile>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Speeds that have a termios constant, ascending.
constexpr std::array<std::pair<int, speed_t>, 30> StandardRates{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

tcflag_t characterSizeFlag(int byteSize)
{
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

int ioctlRetry(int fd, unsigned long request, void *argument)
{
    int rc;
    do {
        rc = ::ioctl(fd, request, argument);
    } while (rc < 0 && errno == EINTR);
    return rc;
}

#if defined(__x86_64__) || defined(__i386__) || defined(__aarch64__) || defined(__arm__) ||        \
    defined(__riscv)
// The kernel's terminal attributes with the line speed as a plain number (the C library's
// termios carries only the speed constants). Layout and BOTHER as on these architectures.
struct KernelTermios2
{
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};
constexpr tcflag_t KernelBOther = 0010000;
constexpr int KernelInputSpeedShift = 16; // the input speed bits sit above the output ones
constexpr unsigned long GetAttributes2 = _IOR('T', 0x2A, KernelTermios2);
constexpr unsigned long SetAttributes2 = _IOW('T', 0x2B, KernelTermios2);

// Sets a speed that has no termios constant (14400, for one); the speed the driver then
// reports, or 0 when it takes no such speed.
int setExactRate(int fd, int baudRate)
{
    KernelTermios2 tio{};
    if (ioctlRetry(fd, GetAttributes2, &tio) != 0)
        return 0;
    tio.c_cflag = (tio.c_cflag & ~tcflag_t(CBAUD | (CBAUD << KernelInputSpeedShift))) |
                  KernelBOther | (KernelBOther << KernelInputSpeedShift);
    tio.c_ispeed = speed_t(baudRate);
    tio.c_ospeed = speed_t(baudRate);
    if (ioctlRetry(fd, SetAttributes2, &tio) != 0 || ioctlRetry(fd, GetAttributes2, &tio) != 0)
        return 0;
    if ((tio.c_cflag & CBAUD) == KernelBOther)
        return int(tio.c_ospeed);
    // The kernel reports a speed within 2 % of a standard one by its constant.
    for (const auto &[rate, constant] : StandardRates) {
        if (constant == (tio.c_cflag & CBAUD))
            return rate;
    }
    return 0;
}
#else
int setExactRate(int, int)
{
    return 0;
}
#endif

} // namespace

SerialDevice::~SerialDevice()
{
    close();
}

SerialDevice::OpenResult SerialDevice::open(const QString &path)
{
    close();
    m_openError = 0;
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty()) {
        m_openError = ENOENT;
        return OpenResult::OpenFailed;
    }
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_openError = errno;
        return OpenResult::OpenFailed;
    }

    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode) || !::isatty(fd)) {
        ::close(fd);
        m_openError = ENOTTY;
        return OpenResult::NotComm;
    }
    // The advisory lock keeps out every cooperating program, root included; TIOCEXCL keeps
    // out plain opens by other users.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        m_openError = errno;
        ::close(fd);
        return OpenResult::OpenFailed;
    }
    ::ioctl(fd, TIOCEXCL);
    m_fd = fd;
    m_switchRts = false;
    return OpenResult::Ok;
}

void SerialDevice::close()
{
    if (m_fd < 0)
        return;
    // Nothing left in the output queue means close() does not wait for it to drain.
    ::tcflush(m_fd, TCIOFLUSH);
    ::ioctl(m_fd, TIOCNXCL);
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}

bool SerialDevice::applyLineSettings(const LineSettings &settings)
{
    if (m_fd < 0)
        return false;
    int rate = nearestStandardRate(settings.baudRate);
    bool rateTaken = true;
    termios tio{};
    if (::tcgetattr(m_fd, &tio) == 0) {
        const termios wanted = lineAttributes(tio, settings);
        ::tcsetattr(m_fd, TCSANOW, &wanted);
        // A driver that cannot run a standard speed keeps its previous one and says so in the
        // attributes read back.
        termios now{};
        if (rate == settings.baudRate && ::tcgetattr(m_fd, &now) == 0)
            rateTaken = ::cfgetospeed(&now) == speedConstant(rate);
    }
    // A speed without a termios constant goes to the driver as a number.
    if (rate != settings.baudRate && settings.baudRate > 0) {
        const int exact = setExactRate(m_fd, settings.baudRate);
        rateTaken = rateAccepted(settings.baudRate, exact);
        if (rateTaken)
            rate = exact;
    }
    m_baudRate = rate;

    int dtr = TIOCM_DTR;
    ioctlRetry(m_fd, TIOCMBIS, &dtr);

    serial_rs485 rs485{};
    ioctlRetry(m_fd, TIOCGRS485, &rs485);
    if (settings.receiveOnly) {
        // A listener keeps the transmitter off: the driver's RS-485 mode (which would raise
        // RTS for a write) is left, and RTS stays low for good.
        if (rs485.flags & SER_RS485_ENABLED) {
            rs485.flags &= ~SER_RS485_ENABLED;
            ioctlRetry(m_fd, TIOCSRS485, &rs485);
        }
        int rts = TIOCM_RTS;
        ioctlRetry(m_fd, TIOCMBIC, &rts);
        m_switchRts = false;
    } else {
        rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        rs485.flags &= ~SER_RS485_RTS_AFTER_SEND;
        if (ioctlRetry(m_fd, TIOCSRS485, &rs485) == 0) {
            m_switchRts = false;
        } else {
            // Listening state until the writer sends; a device without modem lines needs
            // nothing.
            int rts = TIOCM_RTS;
            m_switchRts = ioctlRetry(m_fd, TIOCMBIC, &rts) == 0;
        }
    }

    const int dataBits = settings.byteSize >= 5 && settings.byteSize <= 8 ? settings.byteSize : 8;
    const bool parityBit =
        settings.parity == pOdd || settings.parity == pEven || settings.parity == pMark;
    const int bits = 1 + dataBits + (parityBit ? 1 : 0) + (settings.stopBits == sb1_0 ? 1 : 2);
    m_characterTimeUs = int((int64_t(bits) * 1000000 + rate - 1) / rate);
    return rateTaken;
}

bool SerialDevice::rateAccepted(int requested, int inForce)
{
    if (requested <= 0 || inForce <= 0)
        return false;
    return std::abs(int64_t(inForce) - requested) * 50 <= int64_t(requested);
}

termios SerialDevice::lineAttributes(const termios &current, const LineSettings &settings)
{
    termios tio = current;
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | characterSizeFlag(settings.byteSize);
    switch (settings.parity) {
    case pOdd:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case pEven:
        tio.c_cflag |= PARENB;
        break;
    case pMark:
        // Stick parity: with PARODD the parity bit is always 1.
        tio.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case pNone:
        break;
    }
    // Linux has no 1.5 stop bits; a receiver expecting 1.5 accepts 2.
    if (settings.stopBits == sb1_5 || settings.stopBits == sb2_0)
        tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = speedConstant(nearestStandardRate(settings.baudRate));
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    return tio;
}

void SerialDevice::setRts(bool on) const
{
    int rts = TIOCM_RTS;
    ioctlRetry(m_fd, on ? TIOCMBIS : TIOCMBIC, &rts);
}

int SerialDevice::outputQueueLength() const
{
    int count = 0;
    if (ioctlRetry(m_fd, TIOCOUTQ, &count) != 0)
        return -1;
    return count;
}

SerialDevice::Transmitter SerialDevice::transmitterState() const
{
    unsigned int lineStatus = 0;
    if (ioctlRetry(m_fd, TIOCSERGETLSR, &lineStatus) != 0)
        return Transmitter::Unknown;
    return (lineStatus & TIOCSER_TEMT) != 0 ? Transmitter::Empty : Transmitter::Sending;
}

bool SerialDevice::readLineErrorCounts(LineErrorCounts &counts) const
{
    serial_icounter_struct counters{};
    if (ioctlRetry(m_fd, TIOCGICOUNT, &counters) != 0)
        return false;
    counts.frame = counters.frame;
    counts.overrun = counters.overrun;
    counts.parity = counters.parity;
    return true;
}

void SerialDevice::discardInput() const
{
    if (m_fd >= 0)
        ::tcflush(m_fd, TCIFLUSH);
}

void SerialDevice::discardOutput() const
{
    if (m_fd >= 0)
        ::tcflush(m_fd, TCOFLUSH);
}

int SerialDevice::nearestStandardRate(int baudRate)
{
    int best = StandardRates.front().first;
    for (const auto &[rate, constant] : StandardRates) {
        if (std::abs(int64_t(rate) - baudRate) < std::abs(int64_t(best) - baudRate))
            best = rate;
    }
    return best;
}

speed_t SerialDevice::speedConstant(int standardRate)
{
    for (const auto &[rate, constant] : StandardRates) {
        if (rate == standardRate)
            return constant;
    }
    return B9600;
}
