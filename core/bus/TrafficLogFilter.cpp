#include "bus/TrafficLogFilter.h"

#include "bus/TrafficLogModel.h"

TrafficLogFilter::TrafficLogFilter(QObject *parent) : QSortFilterProxyModel(parent)
{
    setDynamicSortFilter(true);
}

void TrafficLogFilter::setAddress(int address)
{
    if (m_address == address)
        return;
    m_address = address;
    invalidateFilter();
}

void TrafficLogFilter::setErrorsOnly(bool errorsOnly)
{
    if (m_errorsOnly == errorsOnly)
        return;
    m_errorsOnly = errorsOnly;
    invalidateFilter();
}

bool TrafficLogFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (m_address < 0 && !m_errorsOnly)
        return true;
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    if (m_address >= 0 && index.data(TrafficLogModel::AddressRole).toInt() != m_address)
        return false;
    return !m_errorsOnly || index.data(TrafficLogModel::ErrorRole).toBool();
}
