#include "bus/OperatorCommands.h"

#include "setup/OperatorNotices.h"
#include "bus/TDM.h"
#include "serial/MessageNumbers.h"
#include "serial/TransactionRecord.h"
#include "serial/WindowMessage.h"

OperatorCommands::OperatorCommands(TDM *registry, QObject *parent)
    : QObject(parent), m_registry(registry)
{
}

bool OperatorCommands::handleMessage(WindowMessage *message)
{
    switch (message->message()) {
    case Msg::OperatorCommand: {
        const qintptr lParam = message->lParam();
        if (lParam >= 0 && lParam <= 0xFFFFFFFF)
            execute(int((lParam >> 16) & 0xFFFF), int(lParam & 0xFFFF));
        return true;
    }
    case Msg::CommandResult:
        if (message->record())
            commandResult(*message->record());
        return true;
    default:
        return false;
    }
}

bool OperatorCommands::execute(int slot, int command)
{
    if (!TDM::isValidSlot(slot))
        return false;
    TransactionRecord record;
    InitTransaction(record, MainWindow(), Msg::CommandResult, 0, slot);
    switch (command) {
    case OperatorCommandCode::Stop:
        return m_registry->Stop(record);
    case OperatorCommandCode::Run:
        return m_registry->Run(record);
    case OperatorCommandCode::Forward:
        return m_registry->Forward(record);
    case OperatorCommandCode::RunReverse:
        return m_registry->RunReverse(record);
    default:
        return false;
    }
}

void OperatorCommands::commandResult(TransactionRecord &record)
{
    if (!TDM::isValidSlot(record.Slot))
        return;
    m_registry->ProcessReply(record);
    // Whatever the outcome, the inverter is still there; if its slot has been emptied in the
    // meantime the windows are told so instead.
    m_registry->NotifyChildren(record.Slot, m_registry->HasInverter(record.Slot)
                                                ? InverterStateCode::Present
                                                : InverterStateCode::NoInverter);
    QString text;
    switch (record.Result) {
    case TransactionResult::Ok:
        return;
    case TransactionResult::TimeOut:
        text = QStringLiteral("RS232 time out");
        break;
    case TransactionResult::InverterError:
        text = QStringLiteral("Inverter error");
        break;
    default:
        text = QStringLiteral("RS232 communication error");
        break;
    }
    OperatorNotice notice;
    notice.caption = caption(record.Slot);
    notice.text = text;
    notice.slot = record.Slot;
    if (record.LineLost)
        notice.cause = OperatorNotice::Cause::LostExchange;
    ReportNotice(notice);
}

QString OperatorCommands::caption(int slot)
{
    return QStringLiteral("   ПЧ    #") + QString::number(slot) + QStringLiteral(" Message");
}
