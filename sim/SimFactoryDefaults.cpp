#include "sim/SimFactoryDefaults.h"

#include <QFile>
#include <QList>

namespace {
// Decimal, or hexadecimal after "0x"; a leading zero does not mean octal here.
qlonglong number(const QByteArray &field, bool *ok)
{
    const QByteArray text = field.trimmed();
    if (text.startsWith("0x") || text.startsWith("0X"))
        return text.mid(2).toLongLong(ok, 16);
    return text.toLongLong(ok, 10);
}
} // namespace

QList<SimFactoryDefaults::Entry> SimFactoryDefaults::load(const QString &table)
{
    QFile file(QStringLiteral(":/simdata/%1_params.tsv").arg(table));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(file.readAll());
}

QList<SimFactoryDefaults::Entry> SimFactoryDefaults::parse(const QByteArray &text)
{
    QList<Entry> entries;
    for (const QByteArray &rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 3)
            continue;
        bool registerOk = false;
        bool valueOk = false;
        const qlonglong reg = number(fields.at(1), &registerOk);
        const qlonglong value = number(fields.last(), &valueOk);
        if (!registerOk || !valueOk || reg < 0 || reg > 0xFFFF || value < -32768 || value > 65535)
            continue;
        entries.append({static_cast<quint16>(reg), static_cast<quint16>(value & 0xFFFF)});
    }
    return entries;
}
