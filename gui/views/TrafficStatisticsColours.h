#pragma once

#include <QIdentityProxyModel>

// Paints the statistics rows of drives that need a look: a pale yellow background for an
// address that has timed out, a pale red one for an address that answered corruptly.
class TrafficStatisticsColours : public QIdentityProxyModel
{
    Q_OBJECT

public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
};
