// drivelink-cli: the service tool's bus functions from a shell or a script.
#include "cli/CliRunner.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("drivelink-cli"));
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    // The command runs inside the event loop, which delivers the bus's messages.
    QTimer::singleShot(0, &app,
                       [&arguments] { QCoreApplication::exit(CliRunner::run(arguments)); });
    return QCoreApplication::exec();
}
