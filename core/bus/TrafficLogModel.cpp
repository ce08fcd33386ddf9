#include "bus/TrafficLogModel.h"

#include "bus/TrafficDecoder.h"
#include "bus/TrafficLine.h"

#include <algorithm>

TrafficLogModel::TrafficLogModel(QObject *parent) : QAbstractTableModel(parent)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(50);
    connect(&m_flushTimer, &QTimer::timeout, this, &TrafficLogModel::flush);
}

void TrafficLogModel::setCapacity(int entries)
{
    m_capacity = std::max(1, entries);
}

void TrafficLogModel::append(const TrafficEntry &entry)
{
    ++m_appended;
    if (m_pending.size() >= size_t(m_capacity)) {
        // A batch held back longer than the ring is long: its oldest entry can never be shown.
        m_pending.pop_front();
        ++m_dropped;
    }
    m_pending.push_back(entry);
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void TrafficLogModel::flush()
{
    m_flushTimer.stop();
    if (m_paused) {
        // The table stands still; the count of entries held back follows, batch by batch.
        emit countsChanged();
        return;
    }
    if (m_pending.empty())
        return;
    const int incoming = int(std::min(m_pending.size(), size_t(m_capacity)));
    const int overflow = int(m_entries.size()) + incoming - m_capacity;
    if (overflow > 0) {
        const int removed = std::min(overflow, int(m_entries.size()));
        beginRemoveRows({}, 0, removed - 1);
        m_entries.erase(m_entries.begin(), m_entries.begin() + removed);
        endRemoveRows();
        m_dropped += removed;
    }
    const int first = int(m_entries.size());
    beginInsertRows({}, first, first + incoming - 1);
    for (TrafficEntry &entry : m_pending)
        m_entries.push_back(std::move(entry));
    m_pending.clear();
    endInsertRows();
    emit countsChanged();
}

void TrafficLogModel::setPaused(bool paused)
{
    if (m_paused == paused)
        return;
    m_paused = paused;
    if (!paused)
        flush();
}

void TrafficLogModel::clear()
{
    beginResetModel();
    m_entries.clear();
    m_pending.clear();
    m_appended = 0;
    m_dropped = 0;
    endResetModel();
    emit countsChanged();
}

int TrafficLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int TrafficLogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficLogModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_entries.size()))
        return {};
    const TrafficEntry &e = m_entries[size_t(index.row())];
    switch (role) {
    case AddressRole:
        return int(e.address);
    case ErrorRole:
        return e.isError();
    case OutcomeRole:
        return int(e.outcome);
    case Qt::TextAlignmentRole:
        if (index.column() == AddressColumn || index.column() == ResultColumn ||
            index.column() == ResponseColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::DisplayRole:
        break;
    default:
        return {};
    }
    switch (index.column()) {
    case TimeColumn:
        return TrafficLine::timeText(e.time);
    case AddressColumn:
        return e.address < 0 ? QStringLiteral("--") : QString::number(e.address);
    case ModelColumn:
        return TrafficEntry::modelName(e.model);
    case RequestColumn:
        return e.kind == TrafficEntry::Kind::Exchange ? TrafficLine::hexText(e.request) : QString();
    case ReplyColumn:
        return TrafficLine::hexText(e.reply);
    case MeaningColumn:
        return TrafficDecoder::meaning(e);
    case ResultColumn:
        return TrafficLine::resultText(e);
    case ResponseColumn:
        return e.responseMs < 0 ? QStringLiteral("-") : QString::number(e.responseMs);
    default:
        return {};
    }
}

QVariant TrafficLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case TimeColumn:
        return QStringLiteral("Время");
    case AddressColumn:
        return QStringLiteral("Адрес");
    case ModelColumn:
        return QStringLiteral("Модель");
    case RequestColumn:
        return QStringLiteral("Запрос");
    case ReplyColumn:
        return QStringLiteral("Ответ");
    case MeaningColumn:
        return QStringLiteral("Значение");
    case ResultColumn:
        return QStringLiteral("Результат");
    case ResponseColumn:
        return QStringLiteral("мс");
    default:
        return {};
    }
}
