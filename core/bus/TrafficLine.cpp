#include "bus/TrafficLine.h"

#include "bus/LocalTime.h"
#include "bus/TrafficDecoder.h"

QString TrafficLine::timeText(qint64 msecsSinceEpoch)
{
    return LocalTime::text(msecsSinceEpoch, QStringLiteral("hh:mm:ss.zzz"));
}

QString TrafficLine::hexText(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QStringLiteral("-");
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString TrafficLine::addressText(const TrafficEntry &entry)
{
    return entry.address < 0 ? QStringLiteral("--") : QStringLiteral("#%1").arg(entry.address);
}

QString TrafficLine::resultText(const TrafficEntry &entry)
{
    return entry.result < 0 ? QStringLiteral("-") : QString::number(entry.result);
}

QString TrafficLine::responseText(const TrafficEntry &entry)
{
    return entry.responseMs < 0 ? QStringLiteral("-")
                                : QStringLiteral("%1 ms").arg(entry.responseMs);
}

QString TrafficLine::text(const TrafficEntry &entry)
{
    const QString model = TrafficEntry::modelName(entry.model);
    const bool exchange = entry.kind == TrafficEntry::Kind::Exchange;
    return QStringList{timeText(entry.time),
                       addressText(entry).leftJustified(3),
                       model.isEmpty() ? QStringLiteral("-") : model,
                       QStringLiteral("tx ") +
                           (exchange ? hexText(entry.request) : QStringLiteral("-")),
                       QStringLiteral("rx ") + hexText(entry.reply),
                       resultText(entry),
                       responseText(entry),
                       TrafficDecoder::meaning(entry)}
        .join(QStringLiteral("  "));
}

QString TrafficLine::csvField(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) &&
        !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString TrafficLine::csvRecord(const QStringList &fields)
{
    QStringList out;
    out.reserve(fields.size());
    for (const QString &field : fields)
        out << csvField(field);
    return out.join(QLatin1Char(','));
}

QString TrafficLine::csvHeader()
{
    return csvRecord({QStringLiteral("Время"), QStringLiteral("Адрес"), QStringLiteral("Модель"),
                      QStringLiteral("Запрос"), QStringLiteral("Ответ"), QStringLiteral("Значение"),
                      QStringLiteral("Результат"), QStringLiteral("Время ответа, мс")});
}

QString TrafficLine::csv(const TrafficEntry &entry)
{
    const bool exchange = entry.kind == TrafficEntry::Kind::Exchange;
    return csvRecord(
        {LocalTime::text(entry.time, QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")),
         entry.address < 0 ? QString() : QString::number(entry.address),
         TrafficEntry::modelName(entry.model),
         exchange ? QString::fromLatin1(entry.request.toHex(' ').toUpper()) : QString(),
         QString::fromLatin1(entry.reply.toHex(' ').toUpper()), TrafficDecoder::meaning(entry),
         entry.result < 0 ? QString() : QString::number(entry.result),
         entry.responseMs < 0 ? QString() : QString::number(entry.responseMs)});
}
