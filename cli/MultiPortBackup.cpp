#include "cli/MultiPortBackup.h"

#include "cli/CliExit.h"
#include "cli/CliOutput.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <memory>
#include <vector>

QString MultiPortBackup::fileForPort(const QString &file, const QString &port)
{
    QString name = port;
    if (name.startsWith(QLatin1String("/dev/")))
        name = QFileInfo(name).fileName();
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]+"));
    name.replace(unsafe, QStringLiteral("_"));
    const QFileInfo info(file);
    const QString suffix = info.suffix();
    const QString base = suffix.isEmpty() ? file : file.left(file.size() - suffix.size() - 1);
    return suffix.isEmpty() ? QStringLiteral("%1-%2").arg(base, name)
                            : QStringLiteral("%1-%2.%3").arg(base, name, suffix);
}

QStringList MultiPortBackup::filesForPorts(const QString &file, const QStringList &ports)
{
    QStringList files;
    for (const QString &port : ports)
        files.append(fileForPort(file, port));
    // Devices of one base name in different folders are named by their whole path.
    const QStringList byBase = files;
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (byBase.count(byBase[i]) > 1) {
            QString path = ports[i];
            if (path.startsWith(QLatin1String("/dev/")))
                path = path.mid(5);
            files[i] = fileForPort(file, path.replace(QLatin1Char('/'), QLatin1Char('_')));
        }
    }
    // What still collides (one port given twice) is numbered.
    for (qsizetype i = 0; i < files.size(); ++i) {
        int number = 1;
        for (qsizetype j = i + 1; j < files.size(); ++j) {
            if (files[j] == files[i])
                files[j] = fileForPort(file, QStringLiteral("%1-%2")
                                                 .arg(QFileInfo(ports[j]).fileName())
                                                 .arg(++number));
        }
    }
    return files;
}

QString MultiPortBackup::fileOf(const CliOptions &options, const CliOptions::PortChoice &port)
{
    QStringList names;
    qsizetype at = 0;
    for (qsizetype i = 0; i < options.ports.size(); ++i) {
        names.append(options.ports[i].name);
        if (&options.ports[i] == &port)
            at = i;
    }
    return filesForPorts(options.file, names).value(at, fileForPort(options.file, port.name));
}

QStringList MultiPortBackup::childArguments(const CliOptions &options,
                                            const CliOptions::PortChoice &port)
{
    QStringList arguments = options.sharedArguments;
    arguments << QStringLiteral("--port") << port.name << QStringLiteral("backup")
              << fileOf(options, port);
    for (int address : port.addresses.isEmpty() ? options.addresses : port.addresses)
        arguments << QString::number(address);
    return arguments;
}

int MultiPortBackup::run(const QString &program)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    QEventLoop loop;
    int running = 0;
    for (const CliOptions::PortChoice &port : m_options.ports) {
        auto process = std::make_unique<QProcess>();
        // Each process writes its own lines; they reach the terminal as they come.
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        QObject::connect(process.get(), &QProcess::finished, &loop, [&] {
            if (--running == 0)
                loop.quit();
        });
        // A process that cannot start never finishes.
        QObject::connect(process.get(), &QProcess::errorOccurred, &loop,
                         [&](QProcess::ProcessError error) {
                             if (error == QProcess::FailedToStart && --running == 0)
                                 loop.quit();
                         });
        ++running;
        process->start(program, childArguments(m_options, port));
        processes.push_back(std::move(process));
    }
    if (running > 0)
        loop.exec();

    int worst = CliExit::Ok;
    int saved = 0;
    QJsonArray files;
    for (size_t i = 0; i < processes.size(); ++i) {
        const QProcess &process = *processes[i];
        const QString &port = m_options.ports[qsizetype(i)].name;
        const bool finished = process.error() != QProcess::FailedToStart &&
                              process.exitStatus() == QProcess::NormalExit;
        const int status = finished ? process.exitCode() : CliExit::Failure;
        if (!finished)
            m_out.error(
                QStringLiteral("backup of %1 did not run: %2").arg(port, process.errorString()));
        if (status == CliExit::Ok)
            ++saved;
        worst = std::max(worst, status);
        files.append(QJsonObject{{QStringLiteral("port"), port},
                                 {QStringLiteral("file"), fileOf(m_options, m_options.ports[qsizetype(i)])},
                                 {QStringLiteral("exit"), status}});
    }
    m_out.result(
        QStringLiteral("backup: %1 of %2 ports saved completely").arg(saved).arg(processes.size()),
        QJsonObject{{QStringLiteral("command"), QStringLiteral("backup")},
                    {QStringLiteral("ports"), files},
                    {QStringLiteral("ok"), worst == CliExit::Ok}});
    return worst;
}
