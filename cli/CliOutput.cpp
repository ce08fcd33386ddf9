#include "cli/CliOutput.h"

#include <QJsonDocument>

#include <unistd.h>

CliOutput::CliOutput(bool json, FILE *out, FILE *err) : m_json(json), m_out(out), m_err(err)
{
    m_progressEnabled = !json && isatty(fileno(out));
}

void CliOutput::write(FILE *stream, const QString &line)
{
    endProgress();
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fputc('\n', stream);
    if (!m_held || stream != m_out)
        std::fflush(stream);
}

void CliOutput::flush()
{
    std::fflush(m_out);
}

void CliOutput::result(const QString &text, const QJsonObject &object)
{
    if (m_json)
        write(m_out, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
    else
        write(m_out, text);
}

void CliOutput::text(const QString &line)
{
    if (!m_json)
        write(m_out, line);
}

void CliOutput::error(const QString &line)
{
    write(m_err, QStringLiteral("drivelink-cli: ") + line);
}

void CliOutput::progress(const QString &line)
{
    if (!m_progressEnabled)
        return;
    // Carriage return and erase to the end of the line: the next progress line replaces it.
    const QByteArray bytes = "\r" + line.toUtf8() + "\x1b[K";
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
    std::fflush(m_out);
    m_progressOpen = true;
}

void CliOutput::endProgress()
{
    if (!m_progressOpen)
        return;
    std::fputc('\n', m_out);
    std::fflush(m_out);
    m_progressOpen = false;
}
