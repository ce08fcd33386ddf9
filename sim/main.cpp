// drivelink-sim: serves simulated inverters on a pseudo-terminal whose slave side is reached
// through a symbolic link, or through a TCP gateway in front of it, until SIGINT or SIGTERM.
// Line conditions (echo, latency, noise) put a relay between the link and the bus; SIGUSR1
// pulls the link (or stops the gateway) and SIGUSR2 puts it back.

#include "sim/LineConditions.h"
#include "sim/LinePlug.h"
#include "sim/SignalPipe.h"
#include "sim/ForeignMaster.h"
#include "sim/SimCommandLine.h"
#include "sim/SimTcpGateway.h"
#include "sim/SimulatedPlant.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTime>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
void printError(const QString &text)
{
    std::fprintf(stderr, "drivelink-sim: %s\n", qPrintable(text));
}

// Makes link point at target; an existing symbolic link is replaced, anything else is kept.
bool makeLink(const QString &link, const QString &target, QString *error)
{
    const QByteArray linkPath = QFile::encodeName(link);
    struct stat info
    {
    };
    if (lstat(linkPath.constData(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            *error = QStringLiteral("%1 exists and is not a symbolic link").arg(link);
            return false;
        }
        unlink(linkPath.constData());
    }
    if (symlink(QFile::encodeName(target).constData(), linkPath.constData()) != 0) {
        *error = QStringLiteral("cannot link %1: %2")
                     .arg(link, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

// Removes the link only while it still points at our device.
void removeLink(const QString &link, const QString &target)
{
    const QByteArray linkPath = QFile::encodeName(link);
    char buffer[4096];
    const ssize_t n = readlink(linkPath.constData(), buffer, sizeof buffer - 1);
    if (n < 0)
        return;
    buffer[n] = '\0';
    if (QFile::decodeName(buffer) == target)
        unlink(linkPath.constData());
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString error;
    const std::optional<SimCommandLine::Options> options =
        SimCommandLine::parse(QCoreApplication::arguments(), &error);
    if (!options) {
        if (error.isEmpty()) { // --help
            std::fputs(qPrintable(SimCommandLine::usage()), stdout);
            return 0;
        }
        printError(error);
        std::fputs(qPrintable(SimCommandLine::usage()), stderr);
        return 2;
    }

    // The serving threads inherit this mask; the signals reach the main thread's SignalPipe.
    sigset_t handled;
    sigemptyset(&handled);
    for (int number : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
        sigaddset(&handled, number);
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);

    SimulatedPlant plant(options->members);
    plant.setTiming(options->timing);
    LineConditions line;
    line.setSettings(options->line);
    std::unique_ptr<ForeignMaster> foreign;
    if (options->foreignMaster) {
        foreign = std::make_unique<ForeignMaster>(options->members, options->foreign);
        if (!foreign->open(&error)) {
            printError(error);
            return 1;
        }
        plant.bus().setLineMaster(foreign.get());
    }
    if (options->verbose) {
        // Each line starts with the time as the program's traffic trace writes it, so the two
        // sides of the line compare side by side.
        const auto logger = [](const QString &text) {
            const QString time = QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz"));
            std::fprintf(stderr, "%s  %s\n", qPrintable(time), qPrintable(text));
            std::fflush(stderr);
        };
        plant.bus().setLogger(logger);
        line.setLogger(logger);
    }
    const QString busDevice = plant.start(&error);
    if (busDevice.isEmpty()) {
        printError(error);
        return 1;
    }
    const bool relayed = options->line.any();
    if (relayed && !line.start(busDevice, &error)) {
        printError(error);
        return 1;
    }
    QString device = relayed ? line.frontPath() : busDevice;
    for (const SimCommandLine::FaultSetting &setting : options->faults)
        plant.bus().setFaultAt(setting.address, setting.fault, setting.lateMs);
    for (int address : options->quietOnBroadcast) {
        for (int index : plant.bus().indicesAt(address))
            plant.bus().setAnswersBroadcast(index, false);
    }
    if (!options->link.isEmpty() && !makeLink(options->link, device, &error)) {
        printError(error);
        plant.stop();
        return 1;
    }
    SimTcpGateway gateway;
    if (options->tcpPort >= 0 &&
        !gateway.start(device, options->tcpAddress, options->tcpPort, &error)) {
        printError(error);
        if (!options->link.isEmpty())
            removeLink(options->link, device);
        plant.stop();
        return 1;
    }

    for (int i = 0; i < options->members.size(); ++i) {
        const SimulatedPlant::Member &member = options->members[i];
        std::fprintf(stderr, "%s at address %d, fault %s\n", qPrintable(member.model),
                     member.address, qPrintable(simFaultName(plant.bus().fault(i))));
    }
    if (!options->link.isEmpty())
        std::fprintf(stderr, "serving on %s (%s)\n", qPrintable(options->link), qPrintable(device));
    if (gateway.isRunning()) {
        const QString host = options->tcpAddress.contains(QLatin1Char(':'))
                                 ? QStringLiteral("[%1]").arg(options->tcpAddress)
                                 : options->tcpAddress;
        std::fprintf(stderr, "serving on tcp:%s:%d\n", qPrintable(host), gateway.port());
    }
    std::fflush(stderr);

    // Unplugging a link closes the device the program holds (the relay's, or the bus's own)
    // and removes the link; a gateway restarts on the same port.
    const int tcpPort = gateway.port();
    const auto pull = [&](QString *) {
        gateway.stop();
        if (!options->link.isEmpty()) {
            removeLink(options->link, device);
            if (relayed)
                line.stop();
            else
                plant.stop();
        }
        return true;
    };
    const auto putBack = [&](QString *why) {
        if (!options->link.isEmpty()) {
            device = relayed ? (line.start(busDevice, why) ? line.frontPath() : QString())
                             : plant.start(why);
            if (device.isEmpty() || !makeLink(options->link, device, why))
                return false;
        }
        return options->tcpPort < 0 || gateway.start(device, options->tcpAddress, tcpPort, why);
    };
    LinePlug plug(pull, putBack);
    plug.setSchedule(options->unplug);
    QObject::connect(&plug, &LinePlug::changed, [](bool plugged, const QString &why) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (!why.isEmpty())
            printError(why);
        else if (plugged)
            std::fprintf(stderr, "line back at %lld\n", static_cast<long long>(now));
        else
            std::fprintf(stderr, "line removed at %lld\n", static_cast<long long>(now));
        std::fflush(stderr);
    });
    SignalPipe signalPipe;
    QObject::connect(&signalPipe, &SignalPipe::received, &app, [&](int number) {
        if (number == SIGUSR1)
            plug.unplug();
        else if (number == SIGUSR2)
            plug.replug();
        else
            QCoreApplication::quit();
    });
    if (!signalPipe.listen({SIGINT, SIGTERM, SIGUSR1, SIGUSR2})) {
        printError(QStringLiteral("cannot handle signals"));
        return 1;
    }
    plug.start();
    app.exec();
    gateway.stop();
    line.stop();
    if (!options->link.isEmpty())
        removeLink(options->link, device);
    plant.stop();
    if (foreign) {
        std::fprintf(stderr, "%s\n", qPrintable(foreign->summary()));
        std::fflush(stderr);
    }
    return 0;
}
