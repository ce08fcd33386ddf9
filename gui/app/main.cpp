#include "app/OperatorDialogs.h"
#include "app/SettingsStore.h"
#include "app/TMainForm.h"
#include "app/ToolTipStyle.h"
#include "app/ToolkitTranslations.h"
#include "app/WidgetDialogs.h"
#include "bus/BusHost.h"
#include "serial/MessageNumbers.h"
#include "serial/TComm32.h"
#include "serial/WindowMessage.h"
#include "sim/SimulatedPlant.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <exception>

namespace {

// The application's standard exception box: an exception escaping an event handler is shown
// and the program goes on.
class Application : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception &error) {
            QMessageBox::critical(activeWindow(), QStringLiteral("Drivelink"),
                                  QString::fromLocal8Bit(error.what()));
        }
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    SetApplicationIdentity();
    ToolTipStyle::install();
    ToolkitTranslations::install(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Service tool for frequency inverters on an RS-485 bus."));
    parser.addHelpOption();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral(
            "Run on a simulated bus: a KX100 at address 1, a KX200 at 2, a KX300 at 3."));
    parser.addOption(simulate);
    parser.process(app);

    // The serial port as the main window's resource sets it up: "COM1", even parity.
    TComm32 comm;
    comm.setObjectName(QStringLiteral("Comm1"));
    comm.setCommPort(QStringLiteral("COM1"));
    comm.setParity(pEven);

    BusHost host(&comm, BusHost::Role::Forwarded);
    TMainForm mainForm(&host, &comm);
    OperatorDialogs::install(std::make_unique<WidgetDialogs>(&mainForm));
    InstallSettingsStore(mainForm);

    SimulatedPlant plant;
    if (parser.isSet(simulate)) {
        QString error;
        const QString device = plant.start(&error);
        if (device.isEmpty()) {
            ShowMessage(QStringLiteral("Drivelink"),
                        QStringLiteral("The simulated bus could not be started: %1").arg(error));
            return 1;
        }
        // The port is pointed at the simulator once the stored settings have been read, so
        // the stored port name is kept for the next start on a real bus.
        mainForm.setSimulatedPort(device);
        // The note names the drives at the addresses they answer now, and only while the port
        // is on the simulated bus.
        mainForm.setBusNoteSource([&plant, &comm, device] {
            if (comm.commPort() != device)
                return QStringLiteral("Имитация шины отключена: порт %1").arg(comm.commPort());
            QStringList drives;
            for (qsizetype i = 0; i < plant.members().size(); ++i)
                drives << QStringLiteral("#%1 %2")
                              .arg(plant.bus().address(int(i)))
                              .arg(plant.members().at(i).model.toUpper());
            return QStringLiteral("Имитация шины: ПЧ ") + drives.join(QStringLiteral(", "));
        });
    }
    mainForm.show();
    if (plant.isRunning()) {
        // A newcomer sees the plant at once: its addresses are detected unless the restored
        // setup already holds inverters.
        bool anyInverter = false;
        for (int slot = 0; slot < TDM::SlotCount; ++slot)
            anyInverter = anyInverter || host.registry().HasInverter(slot);
        if (!anyInverter)
            for (const SimulatedPlant::Member &member : plant.members())
                PostMessage(&mainForm, Msg::QueueDetection, member.address);
    }
    const int result = app.exec();
    mainForm.setBusNoteSource({}); // the plant goes before the window
    plant.stop();
    OperatorDialogs::install(nullptr);
    return result;
}
