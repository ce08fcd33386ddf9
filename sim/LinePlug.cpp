#include "sim/LinePlug.h"

#include <utility>

LinePlug::LinePlug(Action pull, Action putBack, QObject *parent)
    : QObject(parent), m_pull(std::move(pull)), m_putBack(std::move(putBack))
{
    m_pullTimer.setSingleShot(true);
    m_returnTimer.setSingleShot(true);
    connect(&m_pullTimer, &QTimer::timeout, this, &LinePlug::scheduledPull);
    connect(&m_returnTimer, &QTimer::timeout, this, &LinePlug::replug);
}

void LinePlug::start()
{
    if (m_schedule.afterMs >= 0)
        m_pullTimer.start(m_schedule.afterMs);
    else if (m_schedule.everyMs > 0)
        m_pullTimer.start(m_schedule.everyMs);
}

void LinePlug::scheduledPull()
{
    if (m_schedule.everyMs > 0)
        m_pullTimer.start(m_schedule.everyMs);
    unplug();
    if (!m_plugged && m_schedule.any())
        m_returnTimer.start(std::max(0, m_schedule.pauseMs));
}

void LinePlug::unplug()
{
    if (!m_plugged)
        return;
    QString error;
    const bool pulled = m_pull(&error);
    m_plugged = !pulled;
    emit changed(m_plugged, error);
}

void LinePlug::replug()
{
    m_returnTimer.stop();
    if (m_plugged)
        return;
    QString error;
    m_plugged = m_putBack(&error);
    emit changed(m_plugged, error);
}
