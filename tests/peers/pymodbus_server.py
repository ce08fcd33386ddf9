"""A pymodbus RTU slave for the peer tests, the same register image as modbus_rtu_server.c:
register 362 holds the slave address, register r (257..364) holds 1000 + r - 256.
Usage: pymodbus_server.py DEVICE SLAVE"""
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartSerialServer
from pymodbus.transaction import ModbusRtuFramer


def main():
    device, slave = sys.argv[1], int(sys.argv[2])
    values = [0] * 4096
    for register in range(257, 365):
        values[register] = 1000 + register - 256
    values[362] = slave
    # zero_mode: address r of a request is entry r of the block.
    store = ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, values), zero_mode=True)
    context = ModbusServerContext(slaves={slave: store}, single=False)
    # A pseudo-terminal carries no parity, and the Debian build refuses to set even parity on
    # one: the line is 8N1 on this side.
    StartSerialServer(context=context, framer=ModbusRtuFramer, port=device, baudrate=9600,
                      parity="N", bytesize=8, stopbits=1, timeout=0.005)


if __name__ == "__main__":
    main()
