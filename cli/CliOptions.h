#pragma once

#include "cli/PublishOptions.h"
#include "serial/LineSettings.h"

#include <QList>
#include <QMap>
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
        SetAddress,
        Diff,
        Publish,
        Listen,
        Help
    };

    QString port = QStringLiteral("COM1");
    // Every --port given, in order. Only backup takes several, each port with its own bus,
    // optionally with its own addresses ("--port PORT@1-5,9").
    struct PortChoice
    {
        QString name;
        QList<int> addresses; // empty: the command's own address operands
    };
    QList<PortChoice> ports;
    // The options other than --port, as given: what a backup of several ports hands on to
    // the drivelink-cli process it runs for each port.
    QStringList sharedArguments;
    LineSettings line{9600, pEven, sb1_0, 8};
    bool simulate = false;
    bool json = false;
    // Fast: a reply ends with its last byte and has one deadline (default); standard: the
    // program window's timing, 250 ms of silence after each reply and 1000 ms ticks.
    bool fastTiming = true;
    // Reply time-out in milliseconds; 0 keeps the timing's own (300 ms fast, about 4 s
    // standard).
    int timeoutMs = 0;
    // The line's echo of each request: auto (found and removed when present), on, off.
    EchoMode echo = EchoMode::Auto;
    // Fast timing: pause before a request of the other protocol family (Modbus or KX200).
    int resyncMs = 0;
    // Pause between two monitor samples.
    int intervalMs = 1000;
    // Every exchange as a trace line: to standard error, or to traceFile when one is named.
    bool trace = false;
    QString traceFile;
    // Per-address line statistics printed at the end.
    bool stats = false;
    // The model to assume instead of detecting it: "KX100", "KX200" or "KX300"; empty: detect.
    QString model;

    Command command = Command::None;
    QList<int> addresses; // scan, backup: the addresses to look at, in order
    int address = -1;     // read, write, upload, download, monitor; set-address: OLD
    int newAddress = -1;  // set-address: NEW
    int registerNumber = -1;
    int value = 0;  // write: the 16-bit word, signed or unsigned as given
    QString file;   // upload, download, backup, restore
    int count = -1; // monitor: number of samples; -1 until interrupted
    // monitor: failed samples in a row that end it
    int maxErrors = 3;
    // write: allow the bus-address registers; download, restore: send what can be sent
    bool force = false;
    bool csv = false; // monitor: CSV rows "time,F_Hz,V_V,I_A"
    QString file2;    // diff of two files: the second one (file holds the first)
    PublishOptions publish; // publish: broker, ids, deadband
    // listen: the model of each address named with --model ADDR=MODEL, and how long to
    // listen in milliseconds (--duration S, decimals allowed; 0: until SIGINT or SIGTERM).
    QMap<int, QString> listenModels;
    int durationMs = 0;

    // Parses the arguments after the program name. False with the reason when they are not
    // a valid command line.
    bool parse(const QStringList &arguments, QString *error);

    static QString usage();

    // "5" or "3-7" (inclusive, either order) appended to addresses; false for anything else
    // or an address outside 0..31. An address already listed is not added again.
    static bool parseAddressRange(const QString &text, QList<int> &addresses);
    // A decimal integer with an optional sign, or "0x" followed by hexadecimal digits, within
    // [minimum, maximum]; nothing else (no blanks, no second prefix, no sign after "0x").
    static bool parseInteger(const QString &text, int minimum, int maximum, int &value);

private:
    bool parseListenModel(const QString &text, QString *error);
    bool parsePortChoice(const QString &text, QString *error);
    bool m_maxErrorsGiven = false;
    bool parseOperands(const QStringList &operands, QString *error);
};
