#pragma once

#include <QObject>

#include <initializer_list>

class QSocketNotifier;

// Turns POSIX signals into a Qt signal on the thread that owns this object: the handler only
// writes the signal's number into a socket pair, whose other end a QSocketNotifier watches.
// One instance at a time; the previous handlers come back when it goes.
class SignalPipe : public QObject
{
    Q_OBJECT

public:
    explicit SignalPipe(QObject *parent = nullptr);
    ~SignalPipe() override;

    // Installs the handler for the signals and unblocks them in the calling thread; false when
    // the pair cannot be made or a handler cannot be installed.
    bool listen(std::initializer_list<int> signalNumbers);

signals:
    void received(int signalNumber);

private:
    void readPending();

    QSocketNotifier *m_notifier = nullptr;
};
