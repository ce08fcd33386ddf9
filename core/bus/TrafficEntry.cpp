#include "bus/TrafficEntry.h"

QString TrafficEntry::modelName(Model model)
{
    switch (model) {
    case Model::KX100:
        return QStringLiteral("KX100");
    case Model::KX200:
        return QStringLiteral("KX200");
    case Model::KX300:
        return QStringLiteral("KX300");
    case Model::Unknown:
        break;
    }
    return QString();
}

TrafficEntry::Model TrafficEntry::modelNamed(const QString &name)
{
    const QString upper = name.trimmed().toUpper();
    if (upper == QLatin1String("KX100"))
        return Model::KX100;
    if (upper == QLatin1String("KX200"))
        return Model::KX200;
    if (upper == QLatin1String("KX300"))
        return Model::KX300;
    return Model::Unknown;
}
