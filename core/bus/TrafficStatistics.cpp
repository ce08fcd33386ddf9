#include "bus/TrafficStatistics.h"

#include "bus/TrafficLine.h"

#include <algorithm>
#include <cmath>

TrafficStatistics::TrafficStatistics(QObject *parent) : QAbstractTableModel(parent) {}

int TrafficStatistics::rowOf(int address)
{
    const auto at = std::lower_bound(m_rows.begin(), m_rows.end(), address,
                                     [](const Counts &c, int a) { return c.address < a; });
    const int row = int(at - m_rows.begin());
    if (at != m_rows.end() && at->address == address)
        return row;
    beginInsertRows({}, row, row);
    Counts counts;
    counts.address = address;
    m_rows.insert(row, counts);
    endInsertRows();
    return row;
}

const TrafficStatistics::Counts *TrafficStatistics::find(int address) const
{
    for (const Counts &counts : m_rows)
        if (counts.address == address)
            return &counts;
    return nullptr;
}

void TrafficStatistics::record(const TrafficEntry &entry)
{
    using Outcome = TrafficEntry::Outcome;
    if (entry.kind == TrafficEntry::Kind::Note)
        return;
    const bool exchange = entry.kind == TrafficEntry::Kind::Exchange;
    const int row = rowOf(exchange ? entry.address : m_lastAddress);
    Counts &c = m_rows[row];
    if (!exchange) {
        if (entry.kind == TrafficEntry::Kind::LineError)
            ++c.lineErrors;
        else
            c.strayBytes += entry.reply.size();
    } else if (entry.probe) {
        m_lastAddress = entry.address;
        ++c.probes;
        c.echoes += entry.echo ? 1 : 0;
    } else {
        m_lastAddress = entry.address;
        ++c.exchanges;
        c.echoes += entry.echo ? 1 : 0;
        switch (entry.outcome) {
        case Outcome::Good:
            ++c.good;
            c.lastGood = entry.time;
            break;
        case Outcome::TimeOut:
            ++c.timeOuts;
            break;
        case Outcome::CheckError:
        case Outcome::LineError:
        case Outcome::NegativeAck:
            ++c.checkErrors;
            break;
        case Outcome::Refused:
            ++c.refusals;
            break;
        case Outcome::OtherAddress:
            ++c.otherAddress;
            break;
        case Outcome::Incomplete:
        case Outcome::Stray:
            ++c.incomplete;
            break;
        }
        if (entry.outcome != Outcome::TimeOut && entry.responseMs >= 0) {
            ++c.replies;
            c.totalMs += entry.responseMs;
            c.maxMs = std::max<qint64>(c.maxMs, entry.responseMs);
        }
    }
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void TrafficStatistics::reset()
{
    beginResetModel();
    m_rows.clear();
    m_lastAddress = -1;
    endResetModel();
}

QJsonObject TrafficStatistics::toJson(const Counts &c)
{
    return QJsonObject{
        {QStringLiteral("address"), c.address < 0 ? QJsonValue() : QJsonValue(c.address)},
        {QStringLiteral("exchanges"), c.exchanges},
        {QStringLiteral("probes"), c.probes},
        {QStringLiteral("good"), c.good},
        {QStringLiteral("timeouts"), c.timeOuts},
        {QStringLiteral("check_errors"), c.checkErrors},
        {QStringLiteral("exceptions"), c.refusals},
        {QStringLiteral("other_address"), c.otherAddress},
        {QStringLiteral("incomplete"), c.incomplete},
        {QStringLiteral("stray_bytes"), c.strayBytes},
        {QStringLiteral("line_errors"), c.lineErrors},
        {QStringLiteral("echoes"), c.echoes},
        {QStringLiteral("mean_ms"),
         c.replies ? QJsonValue(std::round(c.meanMs() * 10) / 10.0) : QJsonValue()},
        {QStringLiteral("max_ms"), c.replies ? QJsonValue(c.maxMs) : QJsonValue()},
        {QStringLiteral("last_good"),
         c.lastGood ? QJsonValue(TrafficLine::timeText(c.lastGood)) : QJsonValue()}};
}

QStringList TrafficStatistics::textLines() const
{
    QStringList lines{QStringLiteral(
        "addr  exch  probe  good  t/o  check  exc  other  stray  mean ms  max ms  last good"
        "     echo")};
    for (const Counts &c : m_rows) {
        lines << QStringLiteral("%1  %2  %3  %4  %5  %6  %7  %8  %9  %10  %11  %12")
                     .arg(c.address < 0 ? QStringLiteral("--") : QString::number(c.address), 4)
                     .arg(c.exchanges, 4)
                     .arg(c.probes, 5)
                     .arg(c.good, 4)
                     .arg(c.timeOuts, 3)
                     .arg(c.checkErrors + c.incomplete + c.lineErrors, 5)
                     .arg(c.refusals, 3)
                     .arg(c.otherAddress, 5)
                     .arg(c.strayBytes, 5)
                     .arg(c.replies ? QString::number(c.meanMs(), 'f', 1) : QStringLiteral("-"), 7)
                     .arg(c.replies ? QString::number(c.maxMs) : QStringLiteral("-"), 6)
                     .arg(c.lastGood ? TrafficLine::timeText(c.lastGood) : QStringLiteral("-"),
                          -12);
        lines.last() += QStringLiteral("  %1").arg(c.echoes, 4);
    }
    return lines;
}

int TrafficStatistics::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TrafficStatistics::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficStatistics::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Counts &c = m_rows[index.row()];
    if (role == AttentionRole)
        return c.answersCorruptly() ? 2 : c.timesOut() ? 1 : 0;
    if (role == Qt::TextAlignmentRole)
        return int((index.column() == LastGoodColumn ? Qt::AlignLeft : Qt::AlignRight) |
                   Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case AddressColumn:
        return c.address < 0 ? QStringLiteral("--") : QString::number(c.address);
    case ExchangesColumn:
        return c.exchanges;
    case ProbesColumn:
        return c.probes;
    case GoodColumn:
        return c.good;
    case TimeOutsColumn:
        return c.timeOuts;
    case CheckErrorsColumn:
        // Replies too short to carry a value are corrupt answers too.
        return c.checkErrors + c.incomplete + c.lineErrors;
    case RefusalsColumn:
        return c.refusals;
    case OtherAddressColumn:
        return c.otherAddress;
    case StrayBytesColumn:
        return c.strayBytes;
    case MeanColumn:
        return c.replies ? QString::number(c.meanMs(), 'f', 1) : QStringLiteral("-");
    case MaxColumn:
        return c.replies ? QString::number(c.maxMs) : QStringLiteral("-");
    case LastGoodColumn:
        return c.lastGood ? TrafficLine::timeText(c.lastGood) : QStringLiteral("-");
    default:
        return {};
    }
}

QVariant TrafficStatistics::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const headers[ColumnCount] = {
        "Адрес",           "Обменов",    "Опросы поиска",   "Верных",          "Нет ответа",
        "Ошибки проверки", "Исключения", "Чужой адрес",     "Посторонние байты",
        "Среднее, мс",     "Макс., мс",  "Последний верный"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(headers[section]) : QVariant();
}
