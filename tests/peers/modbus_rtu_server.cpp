/* A libmodbus RTU slave for the peer tests: holding registers 0..4095, register 362 holds the
 * slave address and register r (257..364) holds 1000 + r - 256, so the slave looks like a
 * KX100 with known parameters. Serves DEVICE at 9600 8E1 until killed.
 * Usage: modbus_rtu_server DEVICE SLAVE */
#include <modbus.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s DEVICE SLAVE\n", argv[0]);
        return 2;
    }
    const int slave = atoi(argv[2]);
    modbus_t *ctx = modbus_new_rtu(argv[1], 9600, 'E', 8, 1);
    modbus_mapping_t *map = modbus_mapping_new(0, 0, 4096, 0);
    if (!ctx || !map || modbus_set_slave(ctx, slave) != 0 || modbus_connect(ctx) != 0) {
        fprintf(stderr, "modbus_rtu_server: %s\n", modbus_strerror(errno));
        return 1;
    }
    for (int r = 257; r <= 364; ++r)
        map->tab_registers[r] = (uint16_t)(1000 + r - 256);
    map->tab_registers[362] = (uint16_t)slave;
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) {
        const int n = modbus_receive(ctx, query);
        if (n > 0)
            modbus_reply(ctx, query, n, map);
        else if (n < 0 && errno != EMBBADCRC && errno != EMBBADDATA && errno != ETIMEDOUT &&
                 errno != EMBBADSLAVE && errno != EMBXILFUN && errno != EMBUNKEXC)
            fprintf(stderr, "modbus_rtu_server: %s\n", modbus_strerror(errno));
    }
}
