#include "views/TrafficStatisticsColours.h"

#include "bus/TrafficStatistics.h"

#include <QBrush>
#include <QColor>

QVariant TrafficStatisticsColours::data(const QModelIndex &index, int role) const
{
    if (role != Qt::BackgroundRole)
        return QIdentityProxyModel::data(index, role);
    switch (QIdentityProxyModel::data(index, TrafficStatistics::AttentionRole).toInt()) {
    case 1:
        return QBrush(QColor(0xFF, 0xF0, 0xA0));
    case 2:
        return QBrush(QColor(0xFF, 0xB8, 0xB0));
    default:
        return {};
    }
}
