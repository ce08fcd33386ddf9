#include "sim/SimFault.h"

#include <array>
#include <utility>

namespace {
const std::array<std::pair<SimFault, const char *>, 9> kNames = {{
    {SimFault::None, "none"},
    {SimFault::Silent, "silent"},
    {SimFault::CorruptCheck, "corrupt"},
    {SimFault::Refuse, "refuse"},
    {SimFault::SplitReply, "split"},
    {SimFault::StrayBytes, "stray"},
    {SimFault::LineError, "line"},
    {SimFault::LateReply, "late"},
    {SimFault::Deaf, "deaf"},
}};
} // namespace

QString simFaultName(SimFault fault)
{
    for (const auto &[kind, name] : kNames) {
        if (kind == fault)
            return QString::fromLatin1(name);
    }
    return QString();
}

std::optional<SimFault> simFaultFromName(const QString &name)
{
    const QString wanted = name.trimmed().toLower();
    for (const auto &[kind, text] : kNames) {
        if (wanted == QLatin1String(text))
            return kind;
    }
    return std::nullopt;
}

QStringList simFaultNames()
{
    QStringList names;
    for (const auto &entry : kNames)
        names << QString::fromLatin1(entry.second);
    return names;
}
