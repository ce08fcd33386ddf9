#include "bench/ModbusPeer.h"

#include <QFile>

#include <modbus.h>

#include <cerrno>
#include <cstdio>

int ModbusPeer::readOneByOne(const QString &device, int baud, int slave, int first, int count)
{
    modbus_t *context = modbus_new_rtu(QFile::encodeName(device).constData(), baud, 'E', 8, 1);
    if (!context) {
        std::fprintf(stderr, "modbus_new_rtu: %s\n", modbus_strerror(errno));
        return 1;
    }
    int status = 0;
    if (modbus_set_slave(context, slave) != 0 || modbus_connect(context) != 0) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(device), modbus_strerror(errno));
        status = 1;
    }
    for (int reg = first; status == 0 && reg < first + count; ++reg) {
        uint16_t value = 0;
        if (modbus_read_registers(context, reg, 1, &value) != 1) {
            std::fprintf(stderr, "read of register %d failed: %s\n", reg, modbus_strerror(errno));
            status = 1;
        }
    }
    modbus_close(context);
    modbus_free(context);
    return status;
}
