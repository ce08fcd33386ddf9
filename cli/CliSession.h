#pragma once

#include "serial/LineSettings.h"
#include "serial/TransactionRecord.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class CliOptions;

class BusHost;
class SimulatedPlant;
class TComm32;
class TcpLink;
class TDM;
class TInverterBase;

// The bus of one drivelink-cli run: the serial port (or the built-in simulated plant behind a
// pseudo-terminal), the transaction engine, the registry and detection, as the program wires
// them, with blocking helpers that run the event loop until the bus has answered.
class CliSession : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        QString port = QStringLiteral("COM1");
        LineSettings line{9600, pEven, sb1_0, 8};
        bool simulate = false;
        int timeoutMs = 0;      // 0: the timing's own time-out
        bool fastTiming = true; // false: the program window's timing
        EchoMode echo = EchoMode::Auto;
        int resyncMs = 0; // fast timing only
        bool receiveOnly = false; // listen: the port never sends

        // The line the command line names.
        static Settings of(const CliOptions &options);
    };

    // Outcome of detecting one address.
    struct Detection
    {
        int address = 0;
        int state = 0; // InverterStateCode
        QString model; // the model found, or whose probe failed; empty for no inverter
    };

    explicit CliSession(QObject *parent = nullptr);
    ~CliSession() override;

    // Starts the simulated plant when asked, opens the port and sets the engine up. False
    // with a reason naming the device when the port cannot be opened.
    bool open(const Settings &settings, QString *error);
    bool isOpen() const;
    QString devicePath() const { return m_devicePath; }

    BusHost &host() { return *m_host; }
    TDM &registry();
    TComm32 &port() { return *m_port; }
    // The built-in plant; null unless the session simulates.
    SimulatedPlant *plant() { return m_plant.get(); }

    // Detects the addresses with the program's probe order (interleaved in the fast timing),
    // the outcomes in the addresses' order.
    QList<Detection> detect(const QList<int> &addresses);
    // Makes sure the registry holds a driver for the address: of the given model when one is
    // named (no detection), else of the model detection finds. False with a reason when no
    // inverter answers or it answers wrongly.
    bool ensureInverter(int address, const QString &model, QString *error);
    // Before anything is written: the identification probe finds the model at the address,
    // whatever --model or a file says, and the registry then holds a driver of that model.
    // 0 when it is `expected` (or any model when that is empty), 2 when another model
    // answers (both named in *error), 1 when none answers or it answers wrongly.
    int confirmModel(int address, const QString &expected, QString *error);

    // One exchange: build() asks the registry for the request on the given record (already
    // initialised for this session, the slot and the value). The finished record has been
    // through ProcessReply; empty when no request could be built.
    using Builder = std::function<bool(TDM &, TransactionRecord &)>;
    std::optional<TransactionRecord> exchange(int slot, int32_t value, const Builder &build);

    // Runs the event loop until done() is true; false when the guard time ran out first.
    // The loop sleeps until an event arrives: whatever makes done() true must call wake().
    static bool waitUntil(const std::function<bool()> &done, int guardMs);
    // Ends the current waitUntil's sleep so it checks its condition again.
    static void wake();
    // Runs the event loop for the given time.
    static void pause(int milliseconds);

    // The port's device has gone during the run: every exchange since has failed at once.
    bool linkLost() const { return !m_lostPort.isEmpty(); }
    // Forgets the loss: the engine opens the device again on the next request when it is back.
    void clearLinkLost() { m_lostPort.clear(); }
    // "connection to DEVICE lost", for the command's error.
    QString linkLostText() const;

    // The operator's words for a result code: "OK", "RS232 time out", "Inverter error",
    // "RS232 communication error".
    static QString resultText(int result);
    static QString stateText(int state);

    // How long one exchange can take at most: the engine's time-out with room to spare.
    int exchangeGuardMs() const;

protected:
    void customEvent(QEvent *event) override;

private:
    // Waits until the gateway's connection stands or fails; false with the reason.
    bool waitForGateway(TcpLink &gateway, QString *error);

    std::unique_ptr<SimulatedPlant> m_plant;
    std::unique_ptr<TComm32> m_port;
    std::unique_ptr<BusHost> m_host;
    QString m_devicePath;
    std::optional<TransactionRecord> m_finished;
    QString m_lostPort;
};
