#include "serial/TransactionRecord.h"

void InitTransaction(TransactionRecord &record, QObject *notifyWindow, uint32_t notifyMessage,
                     int32_t value, int32_t slot)
{
    record.NotifyWindow = notifyWindow;
    record.NotifyMessage = notifyMessage;
    record.Value = value;
    record.Slot = slot;
    record.TxLength = -1;
    record.RxLength = -1;
    record.Result = TransactionResult::Ok;
    record.SlotGeneration = 0;
    record.Probe = false;
}
