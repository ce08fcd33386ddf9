#include "sim/SignalPipe.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {
int pipeFds[2] = {-1, -1};
struct sigaction previous[NSIG];
bool replaced[NSIG] = {};

void onSignal(int signalNumber)
{
    const int saved = errno;
    const char number = char(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[0], &number, 1);
    errno = saved;
}
} // namespace

SignalPipe::SignalPipe(QObject *parent) : QObject(parent) {}

SignalPipe::~SignalPipe()
{
    if (pipeFds[0] < 0)
        return;
    for (int number = 1; number < NSIG; ++number) {
        if (std::exchange(replaced[number], false))
            ::sigaction(number, &previous[number], nullptr);
    }
    delete m_notifier;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

bool SignalPipe::listen(std::initializer_list<int> signalNumbers)
{
    if (pipeFds[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeFds) != 0)
            return false;
        m_notifier = new QSocketNotifier(pipeFds[1], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &SignalPipe::readPending);
    }
    sigset_t set;
    sigemptyset(&set);
    for (int number : signalNumbers) {
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        if (number <= 0 || number >= NSIG ||
            ::sigaction(number, &action, replaced[number] ? nullptr : &previous[number]) != 0)
            return false;
        replaced[number] = true;
        sigaddset(&set, number);
    }
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return true;
}

void SignalPipe::readPending()
{
    char numbers[64];
    for (;;) {
        const ssize_t n = ::read(pipeFds[1], numbers, sizeof numbers);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i)
            emit received(int(numbers[i]));
    }
}
