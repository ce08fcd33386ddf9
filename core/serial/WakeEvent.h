#pragma once

// An event that poll() can watch: one thread sets it, another sees its descriptor become
// readable. It stays set until cleared, so a stop request is never missed by a wait that
// starts later.
class WakeEvent
{
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent &) = delete;
    WakeEvent &operator=(const WakeEvent &) = delete;

    // False when the system refused to create the event.
    bool isValid() const { return m_fd >= 0; }
    // The descriptor to poll for POLLIN.
    int fd() const { return m_fd; }

    void set();
    void clear();
    bool isSet() const;

private:
    int m_fd = -1;
};
