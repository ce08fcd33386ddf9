#include "bench/BenchProcess.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {
double seconds(const timeval &tv)
{
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}
} // namespace

BenchProcess::Result BenchProcess::run(const QString &program, const QStringList &arguments,
                                       const QString &outputFile, int limitSeconds)
{
    Result result;
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &bytes : storage)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);

    const QByteArray output = QFile::encodeName(outputFile);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);

    const auto begin = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        result.error = QStringLiteral("cannot start %1: %2")
                           .arg(program, QString::fromLocal8Bit(std::strerror(rc)));
        return result;
    }
    result.started = true;

    // Block on the child's pid descriptor until it exits or the limit passes.
    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidFd >= 0) {
        pollfd fd{pidFd, POLLIN, 0};
        int ready = 0;
        const auto deadline = begin + std::chrono::seconds(limitSeconds);
        do {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            ready = poll(&fd, 1, static_cast<int>(std::max<qint64>(left.count(), 0)));
        } while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            kill(pid, SIGKILL);
            result.killed = true;
        }
        close(pidFd);
    }

    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    result.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}
