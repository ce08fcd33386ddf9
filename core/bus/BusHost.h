#pragma once

#include "bus/InverterDetector.h"
#include "bus/OperatorCommands.h"
#include "bus/TDM.h"
#include "bus/TrafficRecorder.h"
#include "serial/TransactionEngine.h"

#include <QObject>

class CommLink;
class WindowMessage;

// The core of the bus, shared by the program, tools and tests: the transaction engine on a
// serial line, the inverter registry, detection and operator commands, with the dispatch of
// the main window's bus messages (submit, next transaction, restart the port, queue and next
// detection, operator command and the completions of detection and commands).
//
// Messages reach the host either because it is MainWindow() itself (tools and tests), or
// because the program's main window passes every message it does not handle on with
// QCoreApplication::sendEvent(host, event). The registry is published through DM() for the
// host's lifetime.
class BusHost : public QObject
{
    Q_OBJECT

public:
    enum class Role {
        MainWindow, // the host becomes MainWindow() and receives the bus messages directly
        Forwarded   // another object is MainWindow() and forwards the bus messages here
    };

    explicit BusHost(CommLink *link, Role role = Role::MainWindow, QObject *parent = nullptr);
    ~BusHost() override;

    TransactionEngine &engine() { return m_engine; }
    TDM &registry() { return m_registry; }
    InverterDetector &detector() { return m_detector; }
    OperatorCommands &commands() { return m_commands; }
    // Every exchange and stray chunk of the engine, as log entries and line statistics.
    TrafficRecorder &traffic() { return m_traffic; }

    // Dispatches one bus message to its owner; false when it is not a bus message.
    bool handleMessage(WindowMessage *message);

protected:
    void customEvent(QEvent *event) override;

private:
    TransactionEngine m_engine;
    TDM m_registry;
    InverterDetector m_detector;
    OperatorCommands m_commands;
    TrafficRecorder m_traffic;
};
