#pragma once

#include <QJsonObject>
#include <QString>

#include <cstdio>

// Where drivelink-cli writes: results to standard output, as text lines or as one JSON object
// per line; errors to standard error; progress lines only when standard output is a terminal
// (and never in JSON mode), each overwriting the previous one.
class CliOutput
{
public:
    explicit CliOutput(bool json, FILE *out = stdout, FILE *err = stderr);

    bool json() const { return m_json; }
    // A result: the text line in text mode, the object in JSON mode.
    void result(const QString &text, const QJsonObject &object);
    // A line of text mode only (headings, summaries that JSON carries in the object).
    void text(const QString &line);
    void error(const QString &line);
    void progress(const QString &line);
    // Ends a progress line so that the next output starts on a line of its own.
    void endProgress();

    // Held: results and text lines are not flushed one by one but by flush() (a command
    // that prints many lines at a time flushes once for them).
    void setHeld(bool held) { m_held = held; }
    void flush();

    bool progressShown() const { return m_progressEnabled; }
    // Progress lines are shown on a terminal; tests may force them.
    void setProgressEnabled(bool enabled) { m_progressEnabled = enabled && !m_json; }

private:
    void write(FILE *stream, const QString &line);

    bool m_json;
    FILE *m_out;
    FILE *m_err;
    bool m_progressEnabled = false;
    bool m_progressOpen = false;
    bool m_held = false;
};
