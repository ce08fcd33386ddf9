#pragma once

#include <QString>

// The master side of a pseudo-terminal, opened non-blocking and in raw mode; the program
// opens the slave side as its serial device. On Linux the line settings made through the
// master are those of the slave, so raw mode here also keeps the slave from echoing or
// collecting lines before the program has set it up.
class PseudoTerminal
{
public:
    enum class Parity { None, Even, Odd };

    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // False with *error set when the pair cannot be made.
    bool open(int baud, Parity parity, QString *error);
    void close();

    bool isOpen() const { return m_master >= 0; }
    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    QString m_slavePath;
};
