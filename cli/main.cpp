// drivelink-cli: the service tool's bus functions from a shell or a script.
#include "cli/CliFileName.h"
#include "cli/CliRunner.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("drivelink-cli"));
    // Taken from argv as bytes: a file name that is not valid UTF-8 must reach the file.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(CliFileName::fromArgument(QByteArray(argv[i])));
    // The command runs inside the event loop, which delivers the bus's messages.
    QTimer::singleShot(0, &app,
                       [&arguments] { QCoreApplication::exit(CliRunner::run(arguments)); });
    return QCoreApplication::exec();
}
