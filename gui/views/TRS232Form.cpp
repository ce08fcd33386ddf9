#include "views/TRS232Form.h"

#include "app/OperatorDialogs.h"
#include "app/TMainForm.h"
#include "serial/SerialPortList.h"
#include "serial/TComm32.h"
#include "serial/TcpLink.h"
#include "serial/WindowMessage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace {

// The speeds offered, top to bottom; the first checked one is taken on OK.
constexpr std::array<int, 6> SpeedRates{2400, 4800, 9600, 14400, 19200, 38400};
constexpr int DefaultSpeedIndex = 2; // 9600 shows every speed that has no button
// The TCP port most RS-485 gateways serve their first serial port on.
constexpr int DefaultGatewayPort = 4001;

} // namespace

TRS232Form::TRS232Form(QWidget *parent)
    : TRS232Form(
          nullptr,
          offeredDevices(SerialPortList::available(), currentPortName(), simulatedPortName()),
          parent)
{
}

QString TRS232Form::simulatedPortName()
{
    auto *mainForm = qobject_cast<TMainForm *>(MainWindow());
    return mainForm ? mainForm->simulatedPort() : QString();
}

QString TRS232Form::currentPortName()
{
    auto *mainForm = qobject_cast<TMainForm *>(MainWindow());
    auto *comm = mainForm ? qobject_cast<TComm32 *>(mainForm->comm()) : nullptr;
    return comm ? comm->commPort() : QString();
}

QStringList TRS232Form::offeredDevices(const QStringList &listed, const QString &current,
                                       const QString &simulated)
{
    // The device the port runs on now (the simulated bus's pseudo-terminal, for one) stays
    // selectable even though the scan of serial devices does not list it; otherwise OK would
    // quietly move the port to "COM2". The simulated bus stays offered while it serves, so
    // the operator can leave it for a real port and come back.
    QStringList devices = listed;
    for (const QString &device : {current, simulated})
        if (device.startsWith(QLatin1Char('/')) && !devices.contains(device) &&
            QFileInfo::exists(device))
            devices.append(device);
    return devices;
}

TRS232Form::TRS232Form(TComm32 *port, const QStringList &devices, QWidget *parent)
    : QDialog(parent), m_port(port), m_devices(devices), m_portGroup(new QButtonGroup(this)),
      m_dataGroup(new QButtonGroup(this)), m_speedGroup(new QButtonGroup(this)),
      m_parityGroup(new QButtonGroup(this)), m_stopGroup(new QButtonGroup(this))
{
    setWindowTitle(QStringLiteral("COM порт"));
    setMinimumSize(352, 280);

    auto *panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto *grid = new QGridLayout(panel);

    auto *portBox = new QGroupBox(QStringLiteral("&Порт"), panel);
    new QVBoxLayout(portBox);
    m_com1 = addButton(portBox, m_portGroup, QStringLiteral("COM1"), QStringLiteral("COM1"));
    m_com2 = addButton(portBox, m_portGroup, QStringLiteral("COM2"), QStringLiteral("COM2"));
    for (qsizetype i = 0; i < m_devices.size(); ++i) {
        QRadioButton *button =
            addButton(portBox, m_portGroup, QStringLiteral("Device%1").arg(i + 1), m_devices.at(i));
        m_deviceButtons << button;
    }
    // A bus behind an Ethernet gateway: host and TCP port, stored as "tcp:HOST:PORT".
    m_tcpGateway =
        addButton(portBox, m_portGroup, QStringLiteral("TcpGateway"), QStringLiteral("TCP шлюз"));
    auto *gatewayRow = new QHBoxLayout;
    m_tcpHost = new QLineEdit(portBox);
    m_tcpHost->setObjectName(QStringLiteral("TcpHost"));
    m_tcpHost->setPlaceholderText(QStringLiteral("адрес шлюза"));
    m_tcpHost->setMaxLength(253);
    m_tcpPort = new QSpinBox(portBox);
    m_tcpPort->setObjectName(QStringLiteral("TcpPort"));
    m_tcpPort->setRange(1, 65535);
    m_tcpPort->setValue(DefaultGatewayPort);
    gatewayRow->addWidget(m_tcpHost, 1);
    gatewayRow->addWidget(m_tcpPort);
    static_cast<QVBoxLayout *>(portBox->layout())->addLayout(gatewayRow);
    // Typing a gateway address chooses the gateway.
    connect(m_tcpHost, &QLineEdit::textEdited, m_tcpGateway,
            [this] { m_tcpGateway->setChecked(true); });

    auto *dataBox = new QGroupBox(QStringLiteral("Данные"), panel);
    new QVBoxLayout(dataBox);
    m_sevenBits =
        addButton(dataBox, m_dataGroup, QStringLiteral("SevenBits"), QStringLiteral("7 Бит"));
    m_eightBits =
        addButton(dataBox, m_dataGroup, QStringLiteral("EightBits"), QStringLiteral("8 Бит"));

    auto *speedBox = new QGroupBox(QStringLiteral("&Скорость"), panel);
    new QVBoxLayout(speedBox);
    for (int rate : SpeedRates)
        m_speedButtons << addButton(speedBox, m_speedGroup, QStringLiteral("Bd%1").arg(rate),
                                    QString::number(rate));

    auto *parityBox = new QGroupBox(QStringLiteral("Четность"), panel);
    new QVBoxLayout(parityBox);
    m_noneParity =
        addButton(parityBox, m_parityGroup, QStringLiteral("NoneParity"), QStringLiteral("Нет"));
    m_evenParity =
        addButton(parityBox, m_parityGroup, QStringLiteral("EvenParity"), QStringLiteral("Чет"));
    m_oddParity =
        addButton(parityBox, m_parityGroup, QStringLiteral("OddParity"), QStringLiteral("Нечет"));

    auto *stopBox = new QGroupBox(QStringLiteral("Стоп биты"), panel);
    new QVBoxLayout(stopBox);
    m_stop1 = addButton(stopBox, m_stopGroup, QStringLiteral("Stop1"), QStringLiteral("1 Стоп"));
    m_stop15 =
        addButton(stopBox, m_stopGroup, QStringLiteral("Stop15"), QStringLiteral("1.5 Стоп"));
    m_stop2 = addButton(stopBox, m_stopGroup, QStringLiteral("Stop2"), QStringLiteral("2 Стоп"));

    grid->addWidget(portBox, 0, 0, Qt::AlignTop);
    grid->addWidget(dataBox, 0, 1, Qt::AlignTop);
    grid->addWidget(speedBox, 0, 2, 2, 1, Qt::AlignTop);
    grid->addWidget(parityBox, 1, 0, Qt::AlignTop);
    grid->addWidget(stopBox, 1, 1, Qt::AlignTop);

    // The exchange timing: fast exchange ends a reply with its last byte and waits for it
    // no longer than the time-out.
    m_fastExchange = new QCheckBox(QStringLiteral("Быстрый обмен"), panel);
    m_fastExchange->setObjectName(QStringLiteral("FastExchange"));
    auto *timeoutLabel = new QLabel(QStringLiteral("Тайм-аут, мс"), panel);
    m_replyTimeout = new QSpinBox(panel);
    m_replyTimeout->setObjectName(QStringLiteral("ReplyTimeout"));
    m_replyTimeout->setRange(20, 10000);
    m_replyTimeout->setSingleStep(50);
    timeoutLabel->setBuddy(m_replyTimeout);
    connect(m_fastExchange, &QCheckBox::toggled, m_replyTimeout, &QWidget::setEnabled);
    auto *timingRow = new QHBoxLayout;
    timingRow->addWidget(m_fastExchange);
    timingRow->addStretch();
    timingRow->addWidget(timeoutLabel);
    timingRow->addWidget(m_replyTimeout);
    grid->addLayout(timingRow, 2, 0, 1, 3);

    m_okBtn = new QPushButton(QStringLiteral("OK"), this);
    m_okBtn->setObjectName(QStringLiteral("OKBtn"));
    m_okBtn->setDefault(true);
    m_cancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(m_okBtn, &QPushButton::clicked, this, &TRS232Form::OKBtnClick);
    connect(m_cancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_okBtn);
    buttons->addStretch();
    buttons->addWidget(m_cancelBtn);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QRadioButton *TRS232Form::addButton(QGroupBox *box, QButtonGroup *group, const QString &name,
                                    const QString &caption)
{
    auto *button = new QRadioButton(caption, box);
    button->setObjectName(name);
    box->layout()->addWidget(button);
    group->addButton(button);
    return button;
}

TComm32 *TRS232Form::port() const
{
    if (m_port)
        return m_port;
    auto *mainForm = qobject_cast<TMainForm *>(MainWindow());
    return mainForm ? qobject_cast<TComm32 *>(mainForm->comm()) : nullptr;
}

void TRS232Form::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TRS232Form::checkOnly(QButtonGroup *group, QAbstractButton *button)
{
    // An exclusive group cannot be cleared; a value without a button shows none checked.
    group->setExclusive(false);
    for (QAbstractButton *member : group->buttons())
        member->setChecked(member == button);
    group->setExclusive(true);
}

void TRS232Form::FormShow()
{
    TComm32 *comm = port();
    m_okBtn->setEnabled(comm != nullptr);
    if (!comm)
        return;

    // "COM1" only as spelt exactly; a listed device as its path; any other name is "COM2".
    const QString name = comm->commPort();
    QAbstractButton *portButton = m_com2;
    if (const std::optional<TcpLink::Endpoint> gateway = TcpLink::parseName(name)) {
        portButton = m_tcpGateway;
        m_tcpHost->setText(gateway->host.contains(QLatin1Char(':'))
                               ? QStringLiteral("[%1]").arg(gateway->host)
                               : gateway->host);
        m_tcpPort->setValue(gateway->port);
    } else if (name == QLatin1String("COM1"))
        portButton = m_com1;
    else if (const qsizetype device = m_devices.indexOf(name); device >= 0)
        portButton = m_deviceButtons.at(device);
    checkOnly(m_portGroup, portButton);

    switch (comm->parity()) {
    case pNone:
        checkOnly(m_parityGroup, m_noneParity);
        break;
    case pOdd:
        checkOnly(m_parityGroup, m_oddParity);
        break;
    case pEven:
        checkOnly(m_parityGroup, m_evenParity);
        break;
    default:
        checkOnly(m_parityGroup, nullptr);
        break;
    }

    checkOnly(m_dataGroup, comm->byteSize() == 7 ? m_sevenBits : m_eightBits);

    switch (comm->stopBits()) {
    case sb1_0:
        checkOnly(m_stopGroup, m_stop1);
        break;
    case sb1_5:
        checkOnly(m_stopGroup, m_stop15);
        break;
    case sb2_0:
        checkOnly(m_stopGroup, m_stop2);
        break;
    default:
        checkOnly(m_stopGroup, nullptr);
        break;
    }

    const auto speed = std::find(SpeedRates.begin(), SpeedRates.end(), comm->baudRate());
    const qsizetype speedIndex =
        speed == SpeedRates.end() ? DefaultSpeedIndex : speed - SpeedRates.begin();
    checkOnly(m_speedGroup, m_speedButtons.at(speedIndex));

    const ExchangeTiming timing = comm->exchangeTiming().value_or(ExchangeTiming{});
    m_fastExchange->setChecked(timing.fast);
    m_replyTimeout->setValue(timing.replyTimeoutMs);
    m_replyTimeout->setEnabled(timing.fast);
}

QString TRS232Form::chosenPort() const
{
    if (m_com1->isChecked())
        return QStringLiteral("COM1");
    if (m_tcpGateway->isChecked())
        return QStringLiteral("tcp:%1:%2").arg(m_tcpHost->text().trimmed()).arg(m_tcpPort->value());
    for (qsizetype i = 0; i < m_deviceButtons.size(); ++i)
        if (m_deviceButtons.at(i)->isChecked())
            return m_devices.at(i);
    return QStringLiteral("COM2");
}

void TRS232Form::OKBtnClick()
{
    TComm32 *comm = port();
    if (!comm)
        return;

    const QString chosen = chosenPort();
    QString why;
    if (TcpLink::isTcpName(chosen) && !TcpLink::parseName(chosen, &why)) {
        // Nothing changes until the gateway's address is one the link can connect to.
        ShowMessage(QStringLiteral("COM порт"), QStringLiteral("Неверный адрес шлюза: %1").arg(why),
                    OperatorDialogs::Icon::Warning);
        m_tcpHost->setFocus();
        return;
    }
    // A number field stores what it shows: text below its range or cut short is refused
    // here, not replaced by the field's last acceptable value.
    for (QSpinBox *number : {m_tcpPort, m_replyTimeout}) {
        if (number->isEnabled() && !number->hasAcceptableInput()) {
            ShowMessage(QStringLiteral("COM порт"),
                        QStringLiteral("Значение «%1» вне диапазона %2..%3")
                            .arg(number->text())
                            .arg(number->minimum())
                            .arg(number->maximum()),
                        OperatorDialogs::Icon::Warning);
            number->setFocus();
            number->selectAll();
            return;
        }
    }
    comm->setCommPort(chosen);
    comm->setParity(m_noneParity->isChecked() ? pNone : m_evenParity->isChecked() ? pEven : pOdd);
    comm->setByteSize(m_sevenBits->isChecked() ? 7 : 8);
    comm->setStopBits(m_stop1->isChecked() ? sb1_0 : m_stop15->isChecked() ? sb1_5 : sb2_0);
    for (qsizetype i = 0; i < m_speedButtons.size(); ++i)
        if (m_speedButtons.at(i)->isChecked()) {
            comm->setBaudRate(SpeedRates.at(size_t(i)));
            break;
        }

    // The echo and resync settings have no control here: they stay as loaded.
    ExchangeTiming timing = comm->exchangeTiming().value_or(ExchangeTiming{});
    timing.fast = m_fastExchange->isChecked();
    timing.replyTimeoutMs = m_replyTimeout->value();
    comm->setExchangeTiming(timing);

    // The new settings take effect only on a fresh start; a failing start reports itself.
    comm->StopComm();
    comm->StartComm();
    accept();
}
