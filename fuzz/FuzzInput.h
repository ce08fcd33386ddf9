#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// The input of one fuzz run taken apart front to back. Reads past the end give zeros, so
// every input, however short, is a valid case.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    uint8_t byte();
    uint16_t word();
    uint32_t number();
    // Up to count bytes.
    QByteArray bytes(size_t count);
    QByteArray rest();
    bool atEnd() const { return m_at >= m_size; }

    // A broken invariant: prints what and where, then aborts, which libFuzzer reports as a
    // crash with the input that caused it.
    [[noreturn]] static void fail(const char *what, const char *file, int line);
    // Creates the application object once, for the Qt classes that need one.
    static void startApplication();

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            FuzzInput::fail(#condition, __FILE__, __LINE__);                                       \
    } while (false)
