#pragma once

#include <QObject>
#include <QString>

class TDM;
class WindowMessage;
struct TransactionRecord;

// Run, stop and direction commands of the status panel and the monitor windows
// (Msg::OperatorCommand, lParam (slot << 16) + command) and their completion
// (Msg::CommandResult): the reply is processed, the child windows are told the inverter's
// state, and a failed exchange is reported to the operator in a stop box.
class OperatorCommands : public QObject
{
    Q_OBJECT

public:
    explicit OperatorCommands(TDM *registry, QObject *parent = nullptr);

    // Handles the two command messages; false for any other message.
    bool handleMessage(WindowMessage *message);

    // Sends command 0 Stop, 1 Run, 2 Forward or 3 RunReverse to the slot's inverter; its
    // record names MainWindow() as the window to notify. False (nothing sent) for another
    // command value, a slot outside 0..31 or an empty slot.
    bool execute(int slot, int command);
    // The completion of a command.
    void commandResult(TransactionRecord &record);

    // Caption of the error boxes: "   ПЧ    #" and the slot number, then " Message".
    static QString caption(int slot);

private:
    TDM *m_registry;
};
