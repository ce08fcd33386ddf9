#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

// What the line, the engine, the drivers and the transfers have to tell the operator. Code
// that runs on behalf of the line never opens a box: it reports a notice, a plain value that
// outlives whatever reported it, and the program's main window shows the notices later from
// its own event loop, one box at a time. Without a reader installed (the command-line tool,
// tests of the core) a notice goes to standard error at once.
struct OperatorNotice
{
    enum class Icon { None, Information, Warning, Stop };

    QString caption; // the box's caption; empty for the program's name
    QString text;
    Icon icon = Icon::Stop;
    int slot = -1;  // the bus address the notice concerns, -1 for none
    QString port;   // the port the notice concerns, empty for none
    // LineLoss: the line to the port went away (a lost gateway, an unplugged adapter).
    // LostExchange: an exchange that a line loss ended; while the loss's own notice waits or
    // is shown, it is told by that one and needs no box of its own.
    enum class Cause { Other, LineLoss, LostExchange };
    Cause cause = Cause::Other;
    // The window the box belongs to, if it still exists when the box is shown; null for the
    // main window.
    QPointer<QObject> owner;

    bool operator==(const OperatorNotice &other) const = default;
};

// Where notices go. Reports come from the thread the reader lives on.
class OperatorNotices
{
public:
    virtual ~OperatorNotices() = default;
    virtual void post(const OperatorNotice &notice) = 0;

    // The reader in force; never null.
    static OperatorNotices &instance();
    // Installs a reader that the caller owns and keeps alive until it installs null again;
    // null restores the standard-error one.
    static void install(OperatorNotices *notices);
    // The reader installed last, or null when notices go to standard error.
    static OperatorNotices *installed();
};

// Shorthand for reporting a notice.
inline void ReportNotice(const OperatorNotice &notice)
{
    OperatorNotices::instance().post(notice);
}
