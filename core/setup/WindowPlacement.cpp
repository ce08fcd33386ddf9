#include "setup/WindowPlacement.h"

#include "setup/IniFile.h"

#include <QStringList>

const QString WindowPlacement::Section = QStringLiteral("TMainForm");

namespace {

const QString FlagsKey = QStringLiteral("Flags");
const QString ShowCmdKey = QStringLiteral("ShowCmd");
const QString MinMaxPosKey = QStringLiteral("MinMaxPos");
const QString NormPosKey = QStringLiteral("NormPos");
const QString ActiveControlKey = QStringLiteral("ActiveControl");
const QString VisibleKey = QStringLiteral("Visible");

QString four(int a, int b, int c, int d)
{
    return QStringLiteral("%1,%2,%3,%4").arg(a).arg(b).arg(c).arg(d);
}

} // namespace

bool WindowPlacement::parseFour(const QString &text, int values[4])
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    int parsed[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        parsed[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return false;
    }
    for (int i = 0; i < 4; ++i)
        values[i] = parsed[i];
    return true;
}

void WindowPlacement::save(IniFile &ini) const
{
    ini.writeInteger(Section, FlagsKey, flags);
    ini.writeInteger(Section, ShowCmdKey, showCmd);
    ini.writeString(Section, MinMaxPosKey,
                    four(minPosition.x(), minPosition.y(), maxPosition.x(), maxPosition.y()));
    ini.writeString(Section, NormPosKey, four(normalLeft, normalTop, normalRight, normalBottom));
    ini.writeString(Section, ActiveControlKey, activeControl);
    ini.writeBool(Section, VisibleKey, visible);
}

bool WindowPlacement::load(const IniFile &ini)
{
    if (!ini.valueExists(Section, ShowCmdKey) && !ini.valueExists(Section, NormPosKey))
        return false;
    flags = ini.readInteger(Section, FlagsKey, flags);
    const int cmd = ini.readInteger(Section, ShowCmdKey, showCmd);
    // Windows has more show commands; those that show the window normally count as normal.
    showCmd = cmd == ShowMinimized || cmd == ShowMaximized ? cmd : ShowNormal;
    int values[4];
    if (parseFour(ini.readString(Section, MinMaxPosKey), values)) {
        minPosition = QPoint(values[0], values[1]);
        maxPosition = QPoint(values[2], values[3]);
    }
    if (parseFour(ini.readString(Section, NormPosKey), values)) {
        normalLeft = values[0];
        normalTop = values[1];
        normalRight = values[2];
        normalBottom = values[3];
        hasNormalPosition = true;
    }
    activeControl = ini.readString(Section, ActiveControlKey, activeControl);
    visible = ini.readBool(Section, VisibleKey, visible);
    return true;
}
