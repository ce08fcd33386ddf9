#pragma once

#include "bus/BusListener.h"

#include <QObject>
#include <QString>

class BusHost;
class CommLink;

// The program's listening mode: while it runs the program sends nothing. The transaction
// engine is suspended (detection, monitors and transfers wait with their requests queued),
// the line is opened again receive-only (no RTS, no driver RS-485 mode, every write refused),
// and the exchanges another master holds on it go into the traffic log and its statistics,
// decoded with the models the registry holds (the open setup file, detection) or inferred.
// Stopping closes the receive-only line, opens it as before and lets the queue go on.
class ListeningMode : public QObject
{
    Q_OBJECT

public:
    ListeningMode(BusHost &host, CommLink *link, QObject *parent = nullptr);
    ~ListeningMode() override;

    bool isActive() const { return m_active; }
    // Starts listening once the exchange in flight (if any) has finished. False with the
    // reason when the line cannot be opened receive-only; nothing is then changed.
    bool start(QString *error = nullptr);
    void stop();
    void setActive(bool on) { on ? (void)start() : stop(); }

    BusListener &listener() { return m_listener; }

    // The status bar's words while listening.
    static QString statusText();

signals:
    void activeChanged(bool active);
    // A start that failed, in the operator's words.
    void failed(const QString &text);

private:
    void switchLine();

    BusHost &m_host;
    CommLink *m_link;
    BusListener m_listener;
    QMetaObject::Connection m_waitForIdle;
    bool m_active = false;
    bool m_wasOpen = false;
};
