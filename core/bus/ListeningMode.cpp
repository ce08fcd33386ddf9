#include "bus/ListeningMode.h"

#include "bus/BusHost.h"
#include "serial/CommLink.h"
#include "serial/TComm32.h"

ListeningMode::ListeningMode(BusHost &host, CommLink *link, QObject *parent)
    : QObject(parent), m_host(host), m_link(link)
{
    connect(&m_listener, &BusListener::heard, &m_host.traffic(), &TrafficRecorder::recordHeard);
}

ListeningMode::~ListeningMode()
{
    stop();
}

QString ListeningMode::statusText()
{
    return QStringLiteral("Прослушивание линии: программа ничего не передаёт; опрос, мониторы и "
                          "передача параметров приостановлены");
}

bool ListeningMode::start(QString *error)
{
    if (m_active)
        return true;
    if (!m_link) {
        const QString text = QStringLiteral("Прослушивание невозможно: порт не задан");
        if (error)
            *error = text;
        emit failed(text);
        return false;
    }
    m_active = true;
    m_host.engine().setSuspended(true);
    emit activeChanged(true);
    // The exchange on the line finishes first; then the line is the listener's.
    if (m_host.engine().isBusy()) {
        m_waitForIdle =
            connect(&m_host.engine(), &TransactionEngine::busyChanged, this, [this](bool busy) {
                if (!busy) {
                    disconnect(m_waitForIdle);
                    switchLine();
                }
            });
        return true;
    }
    switchLine();
    return m_active;
}

void ListeningMode::switchLine()
{
    m_wasOpen = m_link->isOpen();
    m_link->StopComm();
    m_link->setReceiveOnly(true);
    if (!m_link->StartComm()) {
        // The line stays closed to sending either way; the program goes on as before.
        m_link->setReceiveOnly(false);
        if (m_wasOpen)
            m_link->StartComm();
        m_active = false;
        m_host.engine().setSuspended(false);
        emit failed(
            QStringLiteral("Прослушивание невозможно: порт %1 не открыт").arg(m_link->portName()));
        emit activeChanged(false);
        return;
    }
    // The drives' models as the program knows them: the open setup file, detection.
    m_listener.decoder().clearModels();
    for (int slot = 0; slot < TDM::SlotCount; ++slot) {
        const TrafficEntry::Model model =
            TrafficEntry::modelNamed(m_host.registry().GetTypeName(slot));
        if (model != TrafficEntry::Model::Unknown)
            m_listener.decoder().setModel(slot, model);
    }
    const auto *comm = qobject_cast<const TComm32 *>(m_link);
    m_listener.attach(m_link, comm ? comm->baudRate() : 9600);
}

void ListeningMode::stop()
{
    if (!m_active)
        return;
    disconnect(m_waitForIdle);
    const bool listening = m_listener.isAttached();
    m_listener.detach();
    if (listening) {
        m_link->StopComm();
        m_link->setReceiveOnly(false);
        if (m_wasOpen)
            m_link->StartComm();
    }
    m_active = false;
    m_host.engine().setSuspended(false);
    emit activeChanged(false);
}
