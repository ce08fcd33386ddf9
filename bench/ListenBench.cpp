// listen-bench: drivelink-cli listen against drivelink-sim --foreign-master, which plays a PLC
// polling and writing the simulated drives with the shortest legal gaps and logs every
// exchange it puts on the line. Rows:
//  1. exchanges paired and decoded at 9600 bit/s, and at 115200 bit/s;
//  2. the same at 115200 bit/s with noise between frames (--noise, where the simulator has it);
//  3. the listener's CPU share of one core at 115200 bit/s, over the time the traffic lasted;
//  4. bytes the listener sent, as the simulator counted them (must be 0).
// An exchange counts as paired when the listener shows exactly the request and reply the
// simulator logged, in order; as decoded when its meaning names what was read or written.
// Nothing lost, nothing invented: every logged exchange is found once and nothing else is shown.
#include "bench/BenchProcess.h"
#include "bench/SimulatorLine.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

const QString Cli = QStringLiteral(DRIVELINK_CLI_EXECUTABLE);
const QString Sim = QStringLiteral(DRIVELINK_SIM_EXECUTABLE);

// The listener is up long before the foreign master's first request.
constexpr int LeadInMs = 2000;

struct Run
{
    bool ok = false;
    QString why;
    int logged = 0;   // exchanges the simulator put on the line
    int paired = 0;   // shown with exactly the logged request and reply
    int decoded = 0;  // of those, with a meaning in the drives' terms
    int invented = 0; // shown as a frame but never logged
    int noise = 0;    // bytes shown as what they are: no frame at all
    qint64 sentBytes = 0;
    double cpuSeconds = 0;
    double trafficSeconds = 0;
};

bool isDecoded(const QJsonObject &object)
{
    const QString meaning = object.value(QStringLiteral("meaning")).toString();
    if (meaning.endsWith(QStringLiteral("(всем)")))
        return true;
    return !object.value(QStringLiteral("model")).toString().isEmpty() &&
           (meaning.startsWith(QStringLiteral("чтение ")) ||
            meaning.startsWith(QStringLiteral("запись ")) ||
            meaning.startsWith(QStringLiteral("команда")));
}

Run measure(int baud, int count, int noisePerSecond)
{
    Run run;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("line"));
    const QString log = dir.filePath(QStringLiteral("foreign.log"));
    const QString out = dir.filePath(QStringLiteral("listen.out"));
    QStringList simArguments{QStringLiteral("--link"),
                             link,
                             QStringLiteral("--baud"),
                             QString::number(baud),
                             QStringLiteral("--turnaround"),
                             QStringLiteral("0"),
                             QStringLiteral("--foreign-master"),
                             QStringLiteral("--foreign-log"),
                             log,
                             QStringLiteral("--foreign-count"),
                             QString::number(count),
                             QStringLiteral("--foreign-delay"),
                             QString::number(LeadInMs)};
    if (noisePerSecond > 0)
        simArguments << QStringLiteral("--noise") << QString::number(noisePerSecond)
                     << QStringLiteral("--seed") << QStringLiteral("1");
    SimulatorLine sim;
    if (!sim.start(Sim, simArguments, &run.why))
        return run;
    // The line time of one exchange is about 20 characters and two gaps; the run ends well
    // after the last one.
    const double exchangeSeconds = 27.0 * 11.0 / baud + 0.002;
    const int durationS = int(LeadInMs / 1000 + count * exchangeSeconds * 2 + 3);
    const BenchProcess::Result listen = BenchProcess::run(
        Cli,
        {QStringLiteral("--port"), link, QStringLiteral("--baud"), QString::number(baud),
         QStringLiteral("listen"), QStringLiteral("--json"), QStringLiteral("--model"),
         QStringLiteral("1=KX100"), QStringLiteral("--model"), QStringLiteral("2=KX200"),
         QStringLiteral("--model"), QStringLiteral("3=KX300"), QStringLiteral("--duration"),
         QString::number(durationS)},
        out, durationS + 30);
    sim.stop();
    if (!listen.ok()) {
        run.why = listen.error.isEmpty() ? QStringLiteral("listen failed") : listen.error;
        return run;
    }
    run.cpuSeconds = listen.cpuSeconds;

    QFile logFile(log);
    QStringList logged;
    if (logFile.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : logFile.readAll().split('\n')) {
            if (line.startsWith("# the listener sent "))
                run.sentBytes += line.mid(20).simplified().split(' ').size();
            else if (!line.isEmpty())
                logged << QString::fromLatin1(line);
        }
    }
    run.logged = int(logged.size());

    QFile outFile(out);
    if (!outFile.open(QIODevice::ReadOnly)) {
        run.why = QStringLiteral("no output");
        return run;
    }
    qint64 first = 0;
    qint64 last = 0;
    int at = 0; // next logged exchange to find
    for (const QByteArray &line : outFile.readAll().split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.isEmpty() || !object.contains(QStringLiteral("meaning")))
            continue;
        const QString request = object.value(QStringLiteral("request")).toString();
        if (request.isEmpty()) {
            // Bytes that form no frame are shown as such; a reply without its request would
            // be a frame the listener made up.
            if (object.value(QStringLiteral("address")).toInt() < 0)
                ++run.noise;
            else
                ++run.invented;
            continue;
        }
        const QString shown = request + QLatin1Char('|') + object.value("reply").toString();
        const qsizetype found = logged.indexOf(shown, at);
        if (found < 0) {
            ++run.invented;
            continue;
        }
        at = int(found) + 1;
        ++run.paired;
        if (isDecoded(object))
            ++run.decoded;
        const qint64 time =
            QDateTime::fromString(object.value("time").toString(), Qt::ISODateWithMs)
                .toMSecsSinceEpoch();
        first = first ? first : time;
        last = time;
    }
    run.trafficSeconds = (last - first) / 1000.0;
    run.ok = true;
    return run;
}

// CPU seconds of the listener's start-up and end on a silent line, taken off the traffic's.
double startUpCpuSeconds(int baud)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("line"));
    SimulatorLine sim;
    QString why;
    if (!sim.start(Sim, {QStringLiteral("--link"), link, QStringLiteral("--baud"),
                         QString::number(baud)},
                   &why))
        return 0.0;
    const BenchProcess::Result listen = BenchProcess::run(
        Cli,
        {QStringLiteral("--port"), link, QStringLiteral("--baud"), QString::number(baud),
         QStringLiteral("listen"), QStringLiteral("--json"), QStringLiteral("--duration"),
         QStringLiteral("1")},
        dir.filePath(QStringLiteral("listen.out")), 30);
    sim.stop();
    return listen.ok() ? listen.cpuSeconds : 0.0;
}

void printRow(const char *what, const Run &run)
{
    if (!run.ok) {
        std::printf("%-44s n/a (%s)\n", what, qPrintable(run.why.section(QLatin1Char('\n'), 0, 0)));
        return;
    }
    const double logged = std::max(run.logged, 1);
    std::printf("%-44s %5.1f %% paired, %5.1f %% decoded (%d of %d; %d lost, %d invented, %d "
                "noise rows)\n",
                what, 100.0 * run.paired / logged, 100.0 * run.decoded / logged, run.paired,
                run.logged, run.logged - run.paired, run.invented, run.noise);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const int slowCount = quick ? 150 : 400;
    const int fastCount = quick ? 1000 : 3000;
    std::printf("listen-bench: drivelink-cli listen against drivelink-sim --foreign-master\n");
    const Run slow = measure(9600, slowCount, 0);
    printRow("9600 bit/s, shortest legal gaps", slow);
    const Run fast = measure(115200, fastCount, 0);
    printRow("115200 bit/s, shortest legal gaps", fast);
    const Run noisy = measure(115200, fastCount, 50);
    printRow("115200 bit/s, 50 noise bytes/s between frames", noisy);
    if (fast.ok && fast.trafficSeconds > 0) {
        const double startUp = std::min(startUpCpuSeconds(115200), fast.cpuSeconds);
        const double listening = fast.cpuSeconds - startUp;
        std::printf("%-44s %5.2f %% of a core (%.2f s CPU over %.1f s of traffic; start-up and "
                    "a silent second, %.2f s, taken off)\n",
                    "listener CPU at 115200 bit/s", 100.0 * listening / fast.trafficSeconds,
                    listening, fast.trafficSeconds, startUp);
    }
    else
        std::printf("%-44s n/a\n", "listener CPU at 115200 bit/s");
    qint64 sent = 0;
    for (const Run *run : {&slow, &fast, &noisy})
        sent += run->sentBytes;
    std::printf("%-44s %lld\n", "bytes sent by the listener (all runs)",
                static_cast<long long>(sent));
    const bool complete = slow.ok && fast.ok && slow.paired == slow.logged &&
                          fast.paired == fast.logged && slow.invented + fast.invented == 0 &&
                          (!noisy.ok || (noisy.paired == noisy.logged && noisy.invented == 0));
    return complete && sent == 0 ? 0 : 1;
}
