#include "bench/SimulatorLine.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {
constexpr int kStartTimeoutMs = 10000;
// The log is read between measurements only; the pipe holds every line of the longest run.
constexpr int kLogPipeBytes = 1 << 20;
} // namespace

SimulatorLine::~SimulatorLine()
{
    stop();
}

bool SimulatorLine::start(const QString &program, const QStringList &arguments, QString *error)
{
    const auto fail = [&](const QString &text) {
        *error = text;
        stop();
        return false;
    };
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return fail(QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    fcntl(pipeFds[0], F_SETPIPE_SZ, kLogPipeBytes);
    m_log = pipeFds[0];

    std::vector<QByteArray> storage{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &bytes : storage)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    const int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        m_pid = -1;
        return fail(QStringLiteral("cannot start %1: %2")
                        .arg(program, QString::fromLocal8Bit(std::strerror(rc))));
    }

    // The simulator names its link on its last start-up line.
    QByteArray startup;
    while (!startup.contains("serving on ")) {
        pollfd fd{m_log, POLLIN, 0};
        const int ready = poll(&fd, 1, kStartTimeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        char buffer[1024];
        const ssize_t n = ready > 0 ? ::read(m_log, buffer, sizeof buffer) : 0;
        if (n <= 0)
            return fail(QStringLiteral("drivelink-sim did not start: %1")
                            .arg(QString::fromLocal8Bit(startup.trimmed())));
        startup.append(buffer, n);
    }
    m_partial = startup.mid(startup.lastIndexOf('\n') + 1);
    const qsizetype served = startup.lastIndexOf("serving on ") + 11;
    m_servedPort = QString::fromLocal8Bit(startup.mid(served).split('\n').first().split(' ').first());
    fcntl(m_log, F_SETFL, fcntl(m_log, F_GETFL) | O_NONBLOCK);
    return true;
}

void SimulatorLine::stop()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
    if (m_log >= 0)
        ::close(m_log);
    m_log = -1;
    m_partial.clear();
}

SimulatorLine::Tally SimulatorLine::tally()
{
    drain();
    return m_tally;
}

QList<QByteArray> SimulatorLine::lineNotes()
{
    drain();
    return m_lineNotes;
}

void SimulatorLine::drain()
{
    if (m_log < 0)
        return;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(m_log, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        m_partial.append(buffer, n);
    }
    qsizetype end = 0;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        count(m_partial.left(end), m_tally);
        if (m_partial.startsWith("line "))
            m_lineNotes.append(m_partial.left(end));
        m_partial.remove(0, end + 1);
    }
}

void SimulatorLine::count(const QByteArray &logLine, Tally &tally)
{
    // Frame lines may start with the time of day, "hh:mm:ss.zzz  ".
    QByteArray line = logLine;
    if (line.size() > 14 && line[2] == ':' && line[5] == ':' && line[8] == '.')
        line = line.mid(12).trimmed();
    if (!line.startsWith("rx ") && !line.startsWith("tx "))
        return;
    if (line.startsWith("rx noise"))
        return;
    QByteArray hex = line.mid(3);
    const qsizetype note = hex.indexOf(" (");
    if (note >= 0)
        hex.truncate(note);
    const qsizetype bytes = hex.simplified().split(' ').size();
    if (hex.trimmed().isEmpty())
        return;
    tally.frames += 1;
    tally.bytes += bytes;
}
