#pragma once

#include "bus/ExchangePairer.h"
#include "bus/TrafficEntry.h"

#include <QHash>
#include <QSet>
#include <QString>

struct ParameterRow;

// Tells what the exchanges another master holds with the drives mean, in the drives' terms:
// "чтение U1-13 = 40000", "запись CD003 = 200.0 В", "исключение 02 (чтение CD003)". The
// model of an address is the one given (the command line, the open setup file), else the one
// the registers the master uses point to when they point to one model only; until then the
// frames are shown with their registers by number. A write the drive took with a value the
// field of one model cannot hold rules that model out.
class ListenDecoder
{
public:
    void setModel(int address, TrafficEntry::Model model);
    void clearModels();
    // The given model, else the inferred one, else Unknown.
    TrafficEntry::Model modelOf(int address) const;

    // The traffic log entry of an exchange; its time is the request's start (the orphan's
    // and the noise's own), its response time from the request's last byte to the reply's.
    // Times are in microseconds since the epoch. Learns the registers the master uses.
    TrafficEntry entry(const ExchangePairer::Exchange &exchange);

    // The meaning with the value in the parameter row's scale and sign, a list's item and a
    // unit where the row's caption names the quantity; TrafficDecoder's words otherwise.
    static QString meaning(const TrafficEntry &entry);
    static QString valueText(const ParameterRow &row, uint16_t word, const QString &model);

private:
    void learn(const ExchangePairer::Exchange &exchange);

    QHash<int, TrafficEntry::Model> m_given;
    QHash<int, TrafficEntry::Model> m_inferred;
    QHash<int, QSet<int>> m_registers;                // Modbus registers each address was asked for
    QHash<int, QSet<TrafficEntry::Model>> m_excluded; // models a write ruled out
};
