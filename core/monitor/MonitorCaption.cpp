#include "monitor/MonitorCaption.h"

#include "bus/TDM.h"

QString MonitorCaption::prefix()
{
    return QStringLiteral("Монитор:  ПЧ     #");
}

QString MonitorCaption::forSlot(int slot)
{
    return prefix() + QString::number(slot);
}

int MonitorCaption::slotOf(const QString &caption)
{
    int slot = 0;
    for (qsizetype i = PrefixLength; i < caption.size(); ++i) {
        const QChar c = caption.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        slot = slot * 10 + (c.unicode() - '0');
        // Stop before the number can grow past any slot: long digit runs cannot overflow.
        if (slot >= TDM::SlotCount)
            return -1;
    }
    return slot;
}
