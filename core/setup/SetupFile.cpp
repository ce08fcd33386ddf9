#include "setup/SetupFile.h"

#include "setup/IniFile.h"
#include "serial/TComm32.h"

#include <QSet>

#include <algorithm>

const QString SetupFile::RS232Section = QStringLiteral("RS232 Section");
const QString SetupFile::MDISection = QStringLiteral("MDI Section");

namespace {

const QString ComPortKey = QStringLiteral("COM Port");
const QString BaudRateKey = QStringLiteral("Baud Rate");
const QString ParityKey = QStringLiteral("Parity");
const QString StopBitsKey = QStringLiteral("Stop Bits");
const QString ByteSizeKey = QStringLiteral("Byte Size");
// The exchange timing, kept after the five line settings; a file without them gets the
// standard timing.
const QString FastExchangeKey = QStringLiteral("Fast Exchange");
const QString ReplyTimeoutKey = QStringLiteral("Reply Timeout");
// The line's echo ("auto", "on", "off") and the fast timing's resync pause, after them; a
// file without them gets auto and no pause.
const QString EchoKey = QStringLiteral("Echo");
const QString ResyncKey = QStringLiteral("ResyncMs");
const QStringList EchoNames{QStringLiteral("auto"), QStringLiteral("on"), QStringLiteral("off")};
const QString CountKey = QStringLiteral("Count");

constexpr int SlotCount = 32;
constexpr int MinBaudRate = 110;
constexpr int MaxBaudRate = 115200;

QString formKey(int n)
{
    return QStringLiteral("Form%1").arg(n);
}

// Reads an integer setting; a value outside [low, high] is refused with a note.
bool readBounded(const IniFile &ini, const QString &key, int defaultValue, int low, int high,
                 int &value, QStringList &notes)
{
    value = ini.readInteger(SetupFile::RS232Section, key, defaultValue);
    if (value >= low && value <= high)
        return true;
    notes << QStringLiteral("\"%1\" = %2 is outside %3..%4 and was not applied")
                 .arg(key)
                 .arg(value)
                 .arg(low)
                 .arg(high);
    return false;
}

int clampInt(int64_t value, int64_t low, int64_t high)
{
    return int(std::clamp(value, low, std::max(low, high)));
}

} // namespace

void SetupFile::SaveSerialSettings(IniFile &ini, const TComm32 &port)
{
    SaveSerialSettings(ini, port, port.commPort());
}

void SetupFile::SaveSerialSettings(IniFile &ini, const TComm32 &port, const QString &portName)
{
    ini.eraseSection(RS232Section);
    ini.writeString(RS232Section, ComPortKey, portName);
    ini.writeInteger(RS232Section, BaudRateKey, port.baudRate());
    ini.writeInteger(RS232Section, ParityKey, port.parity());
    ini.writeInteger(RS232Section, StopBitsKey, port.stopBits());
    ini.writeInteger(RS232Section, ByteSizeKey, port.byteSize());
    const ExchangeTiming timing = port.exchangeTiming().value_or(ExchangeTiming{});
    ini.writeInteger(RS232Section, FastExchangeKey, timing.fast ? 1 : 0);
    ini.writeInteger(RS232Section, ReplyTimeoutKey, timing.replyTimeoutMs);
    ini.writeString(RS232Section, EchoKey, EchoNames.value(int(timing.echo)));
    ini.writeInteger(RS232Section, ResyncKey, timing.resyncMs);
}

QStringList SetupFile::LoadSerialSettings(const IniFile &ini, TComm32 &port)
{
    QStringList notes;
    const QString commPort = ini.readString(RS232Section, ComPortKey).trimmed();
    if (commPort.isEmpty())
        return notes; // no port named: none of the section applies
    port.setCommPort(commPort);
    int value = 0;
    if (readBounded(ini, BaudRateKey, 9600, MinBaudRate, MaxBaudRate, value, notes))
        port.setBaudRate(value);
    if (readBounded(ini, ParityKey, pEven, pNone, pMark, value, notes))
        port.setParity(TParity(value));
    if (readBounded(ini, StopBitsKey, sb1_0, sb1_0, sb2_0, value, notes))
        port.setStopBits(TStopBits(value));
    if (readBounded(ini, ByteSizeKey, 8, 5, 8, value, notes))
        port.setByteSize(value);
    ExchangeTiming timing;
    if (readBounded(ini, FastExchangeKey, 0, 0, 1, value, notes))
        timing.fast = value == 1;
    if (readBounded(ini, ReplyTimeoutKey, timing.replyTimeoutMs, 20, 10000, value, notes))
        timing.replyTimeoutMs = value;
    const QString echo = ini.readString(RS232Section, EchoKey).trimmed().toLower();
    if (EchoNames.contains(echo))
        timing.echo = EchoMode(EchoNames.indexOf(echo));
    else if (!echo.isEmpty())
        notes << QStringLiteral("\"%1\" = %2 is not auto, on or off and was not applied")
                     .arg(EchoKey, echo);
    if (readBounded(ini, ResyncKey, 0, 0, 10000, value, notes))
        timing.resyncMs = value;
    port.setExchangeTiming(timing);
    return notes;
}

void SetupFile::SaveWindowList(IniFile &ini, const QList<WindowEntry> &windows)
{
    ini.eraseSection(MDISection);
    ini.writeInteger(MDISection, CountKey, int(windows.size()));
    for (qsizetype i = 0; i < windows.size(); ++i) {
        const WindowEntry &window = windows[i];
        ini.writeString(MDISection, formKey(int(i) + 1), window.className);
        // Keyed by class name, not by n: windows of one class share these keys.
        ini.writeString(MDISection, window.className + QStringLiteral(".Caption"), window.caption);
        ini.writeInteger(MDISection, window.className + QStringLiteral(".Top"), window.top);
        ini.writeInteger(MDISection, window.className + QStringLiteral(".Left"), window.left);
        ini.writeInteger(MDISection, window.className + QStringLiteral(".Width"), window.width);
        ini.writeInteger(MDISection, window.className + QStringLiteral(".Height"), window.height);
    }
    // The class keys above let only the last window of a class come back. Each window's own
    // caption and geometry follow them, keyed by its "Form<n>", so that every window does.
    for (qsizetype i = 0; i < windows.size(); ++i) {
        const WindowEntry &window = windows[i];
        const QString prefix = formKey(int(i) + 1);
        ini.writeString(MDISection, prefix + QStringLiteral(".Caption"), window.caption);
        ini.writeInteger(MDISection, prefix + QStringLiteral(".Top"), window.top);
        ini.writeInteger(MDISection, prefix + QStringLiteral(".Left"), window.left);
        ini.writeInteger(MDISection, prefix + QStringLiteral(".Width"), window.width);
        ini.writeInteger(MDISection, prefix + QStringLiteral(".Height"), window.height);
    }
}

QList<SetupFile::WindowEntry>
SetupFile::LoadWindowList(const IniFile &ini, const QStringList &restorable, QStringList *notes)
{
    QList<WindowEntry> windows;
    int count = ini.readInteger(MDISection, CountKey, 0);
    if (count < 0 || count > MaxWindowEntries) {
        if (notes)
            *notes << QStringLiteral("\"Count\" = %1 is outside 0..%2; %3 entries are read")
                          .arg(count)
                          .arg(MaxWindowEntries)
                          .arg(std::clamp(count, 0, int(MaxWindowEntries)));
        count = std::clamp(count, 0, int(MaxWindowEntries));
    }
    const QSet<QString> known(restorable.begin(), restorable.end());
    for (int n = 1; n <= count; ++n) {
        WindowEntry window;
        window.className = ini.readString(MDISection, formKey(n)).trimmed();
        if (window.className.isEmpty() || !known.contains(window.className))
            continue;
        // A window's own keys, where the file has them; else the keys of its class (files
        // written without them).
        const QString ownPrefix = formKey(n);
        const QString prefix = ini.valueExists(MDISection, ownPrefix + QStringLiteral(".Caption"))
                                   ? ownPrefix
                                   : window.className;
        window.caption = ini.readString(MDISection, prefix + QStringLiteral(".Caption"));
        const int slot = CaptionSlot(window.caption);
        if (slot == BadSlot || (slot == NoSlot && ServesOneSlot(window.className))) {
            if (notes)
                *notes << QStringLiteral("Window %1 (%2 \"%3\") names no inverter 0..31 and was "
                                         "not opened")
                              .arg(n)
                              .arg(window.className, window.caption);
            continue;
        }
        window.top = ini.readInteger(MDISection, prefix + QStringLiteral(".Top"), 0);
        window.left = ini.readInteger(MDISection, prefix + QStringLiteral(".Left"), 0);
        window.width = ini.readInteger(MDISection, prefix + QStringLiteral(".Width"), 0);
        window.height = ini.readInteger(MDISection, prefix + QStringLiteral(".Height"), 0);
        windows << window;
    }
    return windows;
}

int SetupFile::CaptionSlot(const QString &caption)
{
    const qsizetype hash = caption.lastIndexOf(QLatin1Char('#'));
    if (hash < 0)
        return NoSlot;
    const QString digits = caption.mid(hash + 1).trimmed();
    if (digits.isEmpty() || digits.size() > 2)
        return BadSlot;
    for (const QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return BadSlot;
    const int slot = digits.toInt();
    return slot < SlotCount ? slot : BadSlot;
}

bool SetupFile::ServesOneSlot(const QString &className)
{
    return className == QLatin1String("TMonitorForm") || className == QLatin1String("TTrendForm") ||
           className.endsWith(QLatin1String("DnLdForm"));
}

QRect SetupFile::BoundedGeometry(const WindowEntry &saved, const QSize &area, const QSize &fallback)
{
    const int areaWidth = std::max(area.width(), MinimumSide);
    const int areaHeight = std::max(area.height(), MinimumSide);
    const int width = clampInt(saved.width < MinimumSide ? fallback.width() : saved.width,
                               MinimumSide, areaWidth);
    const int height = clampInt(saved.height < MinimumSide ? fallback.height() : saved.height,
                                MinimumSide, areaHeight);
    // Some of the window stays inside on the left and right; the title bar stays inside at
    // the top and the bottom.
    const int left =
        clampInt(saved.left, int64_t(VisibleMargin) - width, int64_t(areaWidth) - VisibleMargin);
    const int top = clampInt(saved.top, 0, int64_t(areaHeight) - VisibleMargin);
    return QRect(left, top, width, height);
}
