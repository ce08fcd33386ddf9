#pragma once

#include <QSortFilterProxyModel>

// The rows of the traffic log the operator asked for: one address or all, every exchange or
// only the failed ones. Stray bytes belong to no address: they show only with all addresses,
// and always count as errors.
class TrafficLogFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit TrafficLogFilter(QObject *parent = nullptr);

    // -1 for all addresses.
    int address() const { return m_address; }
    void setAddress(int address);
    bool errorsOnly() const { return m_errorsOnly; }
    void setErrorsOnly(bool errorsOnly);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    int m_address = -1;
    bool m_errorsOnly = false;
};
