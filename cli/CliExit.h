#pragma once

// Exit status of drivelink-cli.
namespace CliExit {
enum : int {
    Ok = 0,      // the command did all it was asked
    Failure = 1, // the bus, an inverter, the port or a file failed
    Usage = 2    // the command line is wrong; nothing was done
};
}
