#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QStringList>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TComm32;

// The serial settings dialog ("COM порт"): five groups of radio buttons over the port, data
// bits, speed, parity and stop bits of the main window's serial port. OK stores the choices
// into the port and restarts it; Cancel changes nothing. The port group offers "COM1",
// "COM2" and the serial devices of this machine; a port name that is neither "COM1" nor a
// listed device shows (and on OK becomes) "COM2". "TCP шлюз" with a host and a TCP port
// chooses a bus behind an Ethernet gateway ("tcp:HOST:PORT"). Below the groups, the exchange
// timing: a check box for fast exchange and its reply time-out in milliseconds.
class TRS232Form : public QDialog
{
    Q_OBJECT

public:
    // Edits the serial port of the main window; lists the devices of this machine.
    explicit TRS232Form(QWidget *parent = nullptr);
    // Edits the given port; lists the given device paths after "COM1" and "COM2".
    TRS232Form(TComm32 *port, const QStringList &devices, QWidget *parent = nullptr);

    // Checks the buttons that show the port's current settings (each time it is shown).
    void FormShow();
    // Stores the checked choices into the port, restarts the port and closes with OK.
    void OKBtnClick();

    // The device paths offered besides "COM1" and "COM2", in their order.
    QStringList listedDevices() const { return m_devices; }
    // The port the dialog edits: the given one, else the main window's; null when none.
    TComm32 *port() const;
    // The devices the port group offers: the listed ones, and the current port and the
    // simulated bus when they name an existing device the list lacks.
    static QStringList offeredDevices(const QStringList &listed, const QString &current,
                                      const QString &simulated = QString());

protected:
    void showEvent(QShowEvent *event) override;

private:
    QRadioButton *addButton(QGroupBox *box, QButtonGroup *group, const QString &name,
                            const QString &caption);
    static void checkOnly(QButtonGroup *group, QAbstractButton *button);
    // The port name of the main window's serial driver; empty when there is none.
    static QString currentPortName();
    // The simulated bus's device while it serves; empty otherwise.
    static QString simulatedPortName();
    QString chosenPort() const;

    QPointer<TComm32> m_port;
    QStringList m_devices;

    QButtonGroup *m_portGroup;
    QButtonGroup *m_dataGroup;
    QButtonGroup *m_speedGroup;
    QButtonGroup *m_parityGroup;
    QButtonGroup *m_stopGroup;
    QRadioButton *m_com1 = nullptr;
    QRadioButton *m_com2 = nullptr;
    QList<QRadioButton *> m_deviceButtons; // in the order of m_devices
    QRadioButton *m_tcpGateway = nullptr;
    QLineEdit *m_tcpHost = nullptr;
    QSpinBox *m_tcpPort = nullptr;
    QRadioButton *m_sevenBits = nullptr;
    QRadioButton *m_eightBits = nullptr;
    QList<QRadioButton *> m_speedButtons; // in the order of SpeedRates
    QRadioButton *m_noneParity = nullptr;
    QRadioButton *m_evenParity = nullptr;
    QRadioButton *m_oddParity = nullptr;
    QRadioButton *m_stop1 = nullptr;
    QRadioButton *m_stop15 = nullptr;
    QRadioButton *m_stop2 = nullptr;
    QCheckBox *m_fastExchange = nullptr;
    QSpinBox *m_replyTimeout = nullptr;
    QPushButton *m_okBtn = nullptr;
    QPushButton *m_cancelBtn = nullptr;
};
