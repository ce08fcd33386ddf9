#pragma once

#include "serial/LineSettings.h"

#include <QList>
#include <QString>
#include <QStringList>

// The command line of drivelink-cli: line options, output options, the command and its
// operands, checked completely before anything touches the bus.
class CliOptions
{
public:
    enum class Command {
        None,
        Scan,
        Read,
        Write,
        Upload,
        Download,
        Backup,
        Restore,
        Monitor,
        Diff,
        Help
    };

    QString port = QStringLiteral("COM1");
    LineSettings line{9600, pEven, sb1_0, 8};
    bool simulate = false;
    bool json = false;
    // Engine time-out in milliseconds; 0 keeps the program's (about 4 s).
    int timeoutMs = 0;
    // Pause between two monitor samples.
    int intervalMs = 1000;
    // The model to assume instead of detecting it: "KX100", "KX200" or "KX300"; empty: detect.
    QString model;

    Command command = Command::None;
    QList<int> addresses; // scan, backup: the addresses to look at, in order
    int address = -1;     // read, write, upload, download, monitor
    int registerNumber = -1;
    int value = 0;  // write: the 16-bit word, signed or unsigned as given
    QString file;   // upload, download, backup, restore
    int count = -1; // monitor: number of samples; -1 until interrupted
    bool csv = false; // monitor: CSV rows "time,F_Hz,V_V,I_A"
    QString file2;    // diff of two files: the second one (file holds the first)

    // Parses the arguments after the program name. False with the reason when they are not
    // a valid command line.
    bool parse(const QStringList &arguments, QString *error);

    static QString usage();

    // "5" or "3-7" (inclusive, either order) appended to addresses; false for anything else
    // or an address outside 0..31.
    static bool parseAddressRange(const QString &text, QList<int> &addresses);
    // A decimal or "0x" hexadecimal integer within [minimum, maximum].
    static bool parseInteger(const QString &text, int minimum, int maximum, int &value);

private:
    bool parseOperands(const QStringList &operands, QString *error);
};
