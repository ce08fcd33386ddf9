#include "cli/StopSignal.h"

#include "sim/SignalPipe.h"

#include <csignal>

StopSignal::StopSignal(QObject *parent) : QObject(parent), m_pipe(std::make_unique<SignalPipe>())
{
    connect(m_pipe.get(), &SignalPipe::received, this, [this](int number) {
        m_raised = true;
        emit received(number);
    });
    m_pipe->listen({SIGINT, SIGTERM});
}

StopSignal::~StopSignal() = default;
