#pragma once

#include <QObject>

#include <memory>

class SignalPipe;

// SIGINT and SIGTERM as a Qt signal, through a SignalPipe: the handler only writes the signal
// number into a pipe, the event loop reads it and emits received(). One instance at a time;
// the previous handlers come back when it goes.
class StopSignal : public QObject
{
    Q_OBJECT

public:
    explicit StopSignal(QObject *parent = nullptr);
    ~StopSignal() override;

    bool isRaised() const { return m_raised; }

signals:
    void received(int signalNumber);

private:
    std::unique_ptr<SignalPipe> m_pipe;
    bool m_raised = false;
};
