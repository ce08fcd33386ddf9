#include "FuzzInput.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

uint8_t FuzzInput::byte()
{
    return m_at < m_size ? m_data[m_at++] : 0;
}

uint16_t FuzzInput::word()
{
    const uint16_t high = byte();
    return uint16_t((high << 8) | byte());
}

uint32_t FuzzInput::number()
{
    const uint32_t high = word();
    return (high << 16) | word();
}

QByteArray FuzzInput::bytes(size_t count)
{
    const size_t taken = std::min(count, m_size - std::min(m_at, m_size));
    const QByteArray result(reinterpret_cast<const char *>(m_data + m_at), qsizetype(taken));
    m_at += taken;
    return result;
}

QByteArray FuzzInput::rest()
{
    return bytes(m_size);
}

void FuzzInput::fail(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "BROKEN INVARIANT: %s (%s:%d)\n", what, file, line);
    std::abort();
}

void FuzzInput::startApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "drivelink-fuzz";
    static char *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}
