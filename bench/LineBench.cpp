// line-bench: drivelink-cli against the simulator's line conditions (echo, latency, deaf
// drives, noise, unplug and replug, late replies, a silent drive beside a noisy one) at
// 9600 bit/s, each beside the clean line, with the figure, its goal and pass or fail.

#include "bench/BenchProcess.h"
#include "bench/SimulatorLine.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

namespace {

constexpr int kParameters = 108; // KX100 upload: one read per parameter
constexpr int kLimitSeconds = 600;
constexpr int kFastTimeoutMs = 100; // the late-reply rows' fast time-out
// The standard timing ends a reply after 250 ms of silence: its time-out leaves room for that.
constexpr int kStandardTimeoutMs = 600;

struct Row
{
    QString condition;
    QString figure;
    QString goal;
    std::optional<bool> pass; // none: n/a
};

struct Run
{
    BenchProcess::Result process;
    QString output;
};

// The parameter values of a setup file's KX100 section, by key.
QMap<QString, QString> valuesOf(const QString &path)
{
    QMap<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (line.startsWith(QLatin1Char('n')) && equals > 0)
            values.insert(line.left(equals), line.mid(equals + 1));
    }
    return values;
}

// Time-outs of an address in the --stats table.
int timeOutsOf(const QString &output, int address)
{
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() > 4 && fields[0] == QString::number(address))
            return fields[4].toInt();
    }
    return -1;
}

QString seconds(double value)
{
    return QStringLiteral("%1 s").arg(value, 0, 'f', 2);
}

class LineBench
{
public:
    explicit LineBench(const QString &folder) : m_folder(folder) {}

    bool measure();
    void print() const;

private:
    bool startSim(SimulatorLine &sim, const QStringList &conditions, const QString &members);
    Run cli(const SimulatorLine &sim, const QStringList &arguments);
    // Uploads from address 1 onto a copy of the clean line's file; wrong values are counted
    // against the clean line's.
    struct Upload
    {
        Run run;
        int wrong = 0; // values in the file that differ from the clean line's
        int timeOuts = 0;
    };
    std::optional<Upload> upload(const QStringList &conditions, const QStringList &options,
                                 const QString &members = QStringLiteral("--kx100 1"));
    // The models scan names at 1..3 of the default plant; empty when it failed.
    std::optional<QString> scan(const QStringList &conditions, const QStringList &options,
                                double *wall = nullptr);
    void uploadRows();
    void scanRows();
    void replugRow();
    void lateRows();
    void silentRow();
    void resyncRow();

    QString m_folder;
    QString m_cli = QStringLiteral(DRIVELINK_CLI_EXECUTABLE);
    QString m_sim = QStringLiteral(DRIVELINK_SIM_EXECUTABLE);
    QMap<QString, QString> m_clean;
    double m_cleanWall = 0.0;
    int m_runs = 0;
    QList<Row> m_rows;
};

bool LineBench::startSim(SimulatorLine &sim, const QStringList &conditions, const QString &members)
{
    const QString link = QStringLiteral("%1/line%2").arg(m_folder).arg(++m_runs);
    QStringList arguments{QStringLiteral("--link"), link, QStringLiteral("--baud"),
                          QStringLiteral("9600")};
    arguments << members.split(QLatin1Char(' '), Qt::SkipEmptyParts) << conditions;
    QString error;
    if (!sim.start(m_sim, arguments, &error)) {
        std::fprintf(stderr, "line-bench: %s\n", qPrintable(error));
        return false;
    }
    return true;
}

Run LineBench::cli(const SimulatorLine &sim, const QStringList &arguments)
{
    const QString output = QStringLiteral("%1/out%2.txt").arg(m_folder).arg(m_runs);
    Run run;
    run.process = BenchProcess::run(
        m_cli, QStringList{QStringLiteral("--port"), sim.servedPort()} + arguments, output,
        kLimitSeconds);
    QFile file(output);
    if (file.open(QIODevice::ReadOnly))
        run.output = QString::fromUtf8(file.readAll());
    return run;
}

std::optional<LineBench::Upload>
LineBench::upload(const QStringList &conditions, const QStringList &options, const QString &members)
{
    SimulatorLine sim;
    if (!startSim(sim, conditions, members))
        return std::nullopt;
    const QString file = QStringLiteral("%1/upload%2.ini").arg(m_folder).arg(m_runs);
    const QString clean = m_folder + QStringLiteral("/clean.ini");
    if (QFile::exists(clean))
        QFile::copy(clean, file);
    Upload result;
    result.run =
        cli(sim, options + QStringList{QStringLiteral("--stats"), QStringLiteral("--model"),
                                       QStringLiteral("KX100"), QStringLiteral("upload"),
                                       QStringLiteral("1"), file});
    const QMap<QString, QString> values = valuesOf(file);
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!m_clean.isEmpty() && m_clean.value(it.key()) != it.value())
            ++result.wrong;
    }
    result.timeOuts = timeOutsOf(result.run.output, 1);
    return result;
}

std::optional<QString> LineBench::scan(const QStringList &conditions, const QStringList &options,
                                       double *wall)
{
    SimulatorLine sim;
    if (!startSim(sim, conditions, QString()))
        return std::nullopt;
    const Run run = cli(sim, options + QStringList{QStringLiteral("scan"), QStringLiteral("1-3")});
    if (wall)
        *wall = run.process.wallSeconds;
    if (run.process.exitCode == 2)
        return std::nullopt; // refused: an option this CLI does not know
    QStringList models;
    for (const QString &line : run.output.split(QLatin1Char('\n'))) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() >= 3 && fields[2] == QLatin1String("present"))
            models << QStringLiteral("%1=%2").arg(fields[0], fields[1]);
    }
    return models.join(QLatin1Char(' '));
}

const QString kRightModels = QStringLiteral("1=KX100 2=KX200 3=KX300");

void LineBench::uploadRows()
{
    const std::optional<Upload> clean = upload({}, {});
    if (!clean || !clean->run.process.ok()) {
        m_rows.append({QStringLiteral("clean line: KX100 upload"), QStringLiteral("failed"),
                       QString(), false});
        return;
    }
    QFile::copy(QStringLiteral("%1/upload%2.ini").arg(m_folder).arg(m_runs),
                m_folder + QStringLiteral("/clean.ini"));
    m_clean = valuesOf(m_folder + QStringLiteral("/clean.ini"));
    m_cleanWall = clean->run.process.wallSeconds;
    m_rows.append({QStringLiteral("clean line: KX100 upload"),
                   QStringLiteral("%1, %2 values").arg(seconds(m_cleanWall)).arg(m_clean.size()),
                   QStringLiteral("reference"), m_clean.size() == kParameters});

    // Each request's own line time at 9600 bit/s, 8 bytes of 11 bits.
    const double echoLine = kParameters * 8 * 11 / 9600.0;
    const struct
    {
        QString caption;
        QStringList conditions;
        double allowance;
        bool relative; // the allowance is a share of the clean time
        QString goal;
    } cases[] = {
        {QStringLiteral("echo: KX100 upload"),
         {QStringLiteral("--echo")},
         echoLine,
         false,
         QStringLiteral("<= clean + %1 (echo line time), values right").arg(seconds(echoLine))},
        {QStringLiteral("latency 16 ms: KX100 upload"),
         {QStringLiteral("--latency"), QStringLiteral("16")},
         kParameters * 0.016,
         false,
         QStringLiteral("<= clean + 16 ms per exchange, no time-out")},
        {QStringLiteral("latency 1 ms: KX100 upload"),
         {QStringLiteral("--latency"), QStringLiteral("1")},
         0.05,
         true,
         QStringLiteral("within 5 % of clean, no time-out")},
        {QStringLiteral("noise 50 B/s: KX100 upload"),
         {QStringLiteral("--noise"), QStringLiteral("50"), QStringLiteral("--seed"),
          QStringLiteral("7")},
         -1.0,
         false,
         QStringLiteral("no value under a wrong parameter")},
    };
    for (const auto &c : cases) {
        const std::optional<Upload> run = upload(c.conditions, {});
        if (!run) {
            m_rows.append({c.caption, QStringLiteral("sim failed"), c.goal, false});
            continue;
        }
        const double wall = run->run.process.wallSeconds;
        const double limit =
            c.relative ? m_cleanWall * (1.0 + c.allowance) : m_cleanWall + c.allowance;
        const bool inTime = c.allowance < 0.0 || wall <= limit;
        const bool clean = c.allowance < 0.0 || (run->timeOuts == 0 && run->run.process.ok());
        m_rows.append(
            {c.caption,
             QStringLiteral("%1 (%2%3), %4, %5 wrong, %6 t/o")
                 .arg(seconds(wall))
                 .arg(wall >= m_cleanWall ? QStringLiteral("+") : QString())
                 .arg(seconds(wall - m_cleanWall))
                 .arg(run->run.process.ok() ? QStringLiteral("done") : QStringLiteral("failed"))
                 .arg(run->wrong)
                 .arg(run->timeOuts),
             c.goal, inTime && clean && run->wrong == 0});
    }
}

void LineBench::scanRows()
{
    const QStringList deaf{QStringLiteral("--fault"), QStringLiteral("1:deaf:500"),
                           QStringLiteral("--fault"), QStringLiteral("2:deaf:500"),
                           QStringLiteral("--fault"), QStringLiteral("3:deaf:500")};
    const QStringList noise{QStringLiteral("--noise"), QStringLiteral("50"),
                            QStringLiteral("--seed"), QStringLiteral("11")};
    const struct
    {
        QString caption;
        QStringList conditions;
        QStringList options;
        QString goal;
    } cases[] = {
        {QStringLiteral("deaf 500 ms: scan 1-3, fast"),
         deaf,
         {},
         QStringLiteral("right model at each")},
        {QStringLiteral("deaf 500 ms: scan 1-3, standard"),
         deaf,
         {QStringLiteral("--timing"), QStringLiteral("standard")},
         QStringLiteral("right model at each")},
        {QStringLiteral("deaf 500 ms: scan 1-3, --resync-ms 500"),
         deaf,
         {QStringLiteral("--resync-ms"), QStringLiteral("500")},
         QStringLiteral("right model at each")},
        {QStringLiteral("noise 50 B/s: scan 1-3"),
         noise,
         {},
         QStringLiteral("no healthy drive absent")},
    };
    for (const auto &c : cases) {
        double wall = 0.0;
        const std::optional<QString> models = scan(c.conditions, c.options, &wall);
        if (!models && c.options.contains(QLatin1String("--resync-ms"))) {
            m_rows.append({c.caption, QStringLiteral("n/a (the CLI refuses the option)"), c.goal,
                           std::nullopt});
            continue;
        }
        m_rows.append({c.caption,
                       QStringLiteral("%1: %2").arg(seconds(wall),
                                                    models ? *models : QStringLiteral("failed")),
                       c.goal, models == kRightModels});
    }
}

void LineBench::replugRow()
{
    // The monitor samples once a second; the line goes after 1.5 s and is back 1 s later.
    SimulatorLine sim;
    const QString caption = QStringLiteral("replug: CLI monitor resumes");
    const QString goal = QStringLiteral("<= 2 s after the line is back");
    if (!startSim(sim,
                  {QStringLiteral("--unplug-after"), QStringLiteral("1500"),
                   QStringLiteral("--unplug-pause"), QStringLiteral("1000")},
                  QStringLiteral("--kx100 1"))) {
        m_rows.append({caption, QStringLiteral("sim failed"), goal, false});
        return;
    }
    const Run run =
        cli(sim, {QStringLiteral("--model"), QStringLiteral("KX100"), QStringLiteral("monitor"),
                  QStringLiteral("1"), QStringLiteral("--count"), QStringLiteral("5"),
                  QStringLiteral("--csv")});
    qint64 back = -1;
    for (const QByteArray &note : sim.lineNotes()) {
        if (note.startsWith("line back at "))
            back = note.mid(13).trimmed().toLongLong();
    }
    qint64 resumed = -1;
    for (const QString &line : run.output.split(QLatin1Char('\n'))) {
        const QDateTime at =
            QDateTime::fromString(line.section(QLatin1Char(','), 0, 0), Qt::ISODateWithMs);
        if (back > 0 && at.isValid() && at.toMSecsSinceEpoch() >= back) {
            resumed = at.toMSecsSinceEpoch() - back;
            break;
        }
    }
    m_rows.append({caption,
                   resumed >= 0 ? QStringLiteral("%1 ms after the line's return").arg(resumed)
                                : QStringLiteral("did not resume"),
                   goal, resumed >= 0 && resumed <= 2000});
}

void LineBench::lateRows()
{
    for (const bool fast : {true, false}) {
        const int timeoutMs = fast ? kFastTimeoutMs : kStandardTimeoutMs;
        const QStringList options{QStringLiteral("--timing"),
                                  fast ? QStringLiteral("fast") : QStringLiteral("standard"),
                                  QStringLiteral("--timeout-ms"), QString::number(timeoutMs)};
        for (const double factor : {0.5, 1.0, 2.0, 3.0, 5.0}) {
            const QString lateMs = QString::number(int(factor * timeoutMs));
            const QStringList conditions{QStringLiteral("--fault"),
                                         QStringLiteral("1:late:") + lateMs};
            const std::optional<Upload> run = upload(conditions, options);
            double wall = 0.0;
            const std::optional<QString> models = scan(
                {QStringLiteral("--fault"), QStringLiteral("1:late:") + lateMs}, options, &wall);
            // A late KX100 may be named absent, never another model; its healthy neighbours
            // are named.
            const QStringList named = models ? models->split(QLatin1Char(' ')) : QStringList();
            const bool rightModel = models && !named.contains(QLatin1String("1=KX200")) &&
                                    !named.contains(QLatin1String("1=KX300")) &&
                                    named.contains(QLatin1String("2=KX200")) &&
                                    named.contains(QLatin1String("3=KX300"));
            m_rows.append({QStringLiteral("late %1 ms (%2 x %3 ms), %4: upload + scan")
                               .arg(lateMs)
                               .arg(factor)
                               .arg(timeoutMs)
                               .arg(fast ? QStringLiteral("fast") : QStringLiteral("standard")),
                           QStringLiteral("upload %1, %2 wrong; scan %3")
                               .arg(run && run->run.process.ok() ? QStringLiteral("done")
                                                                 : QStringLiteral("failed"))
                               .arg(run ? run->wrong : -1)
                               .arg(models ? *models : QStringLiteral("failed")),
                           QStringLiteral("0 wrong, 2 and 3 named, 1 not misnamed"),
                           run && run->wrong == 0 && rightModel});
        }
    }
}

void LineBench::silentRow()
{
    // 108 time-outs and the guards after them: twice the time-out per read, with room.
    const double bound = kParameters * 2.0 * kFastTimeoutMs / 1000.0 + 5.0;
    const std::optional<Upload> run =
        upload({QStringLiteral("--fault"), QStringLiteral("1:silent"), QStringLiteral("--fault"),
                QStringLiteral("2:stray")},
               {QStringLiteral("--timeout-ms"), QString::number(kFastTimeoutMs)},
               QStringLiteral("--kx100 1 --kx100 2"));
    const double wall = run ? run->run.process.wallSeconds : 0.0;
    m_rows.append({QStringLiteral("silent drive beside a noisy one: upload"),
                   run ? QStringLiteral("%1, %2 wrong").arg(seconds(wall)).arg(run->wrong)
                       : QStringLiteral("failed"),
                   QStringLiteral("ends within %1").arg(seconds(bound)),
                   run && !run->run.process.killed && wall <= bound && run->wrong == 0});
}

void LineBench::resyncRow()
{
    double plain = 0.0;
    double resync = 0.0;
    const std::optional<QString> without = scan({}, {}, &plain);
    const std::optional<QString> with =
        scan({}, {QStringLiteral("--resync-ms"), QStringLiteral("500")}, &resync);
    if (!with) {
        m_rows.append({QStringLiteral("--resync-ms 500: scan 1-3"),
                       QStringLiteral("n/a (the CLI refuses the option)"),
                       QStringLiteral("cost measured"), std::nullopt});
        return;
    }
    m_rows.append({QStringLiteral("--resync-ms 500: scan 1-3"),
                   QStringLiteral("%1 vs %2 (%3)")
                       .arg(seconds(resync), seconds(plain), seconds(resync - plain)),
                   QStringLiteral("cost measured, right models"),
                   with == kRightModels && without == kRightModels});
}

bool LineBench::measure()
{
    uploadRows();
    if (m_clean.isEmpty())
        return false;
    scanRows();
    replugRow();
    silentRow();
    resyncRow();
    lateRows();
    return true;
}

void LineBench::print() const
{
    std::printf("line-bench: drivelink-cli at 9600 bit/s, fast timing unless named\n");
    std::printf("%-52s %-52s %-46s %s\n", "condition", "figure", "goal", "result");
    for (const Row &row : m_rows) {
        const char *result = !row.pass ? "n/a" : *row.pass ? "pass" : "FAIL";
        std::printf("%-52s %-52s %-46s %s\n", qPrintable(row.condition), qPrintable(row.figure),
                    qPrintable(row.goal), result);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/line-bench-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "line-bench: cannot make a work folder\n");
        return 2;
    }
    std::fprintf(stderr, "line-bench: measuring (a few minutes)...\n");
    LineBench bench(work.path());
    const bool measured = bench.measure();
    bench.print();
    return measured ? 0 : 1;
}
