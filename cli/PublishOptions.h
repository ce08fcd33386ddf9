#pragma once

#include <QString>

// The options of publish, taken by CliOptions and checked here: the broker URL
// (mqtt://HOST[:PORT], default port 1883, or mqtts:// with TLS, 8883), the Sparkplug group
// and node ids, the deadband, the credentials and the period of the search for new drives.
class PublishOptions
{
public:
    static constexpr int DefaultRescanMs = 5 * 60 * 1000;

    QString host;
    int port = 1883;
    bool tls = false;
    QString group = QStringLiteral("drivelink");
    QString node; // empty: the host name
    double deadbandPercent = 0;
    QString username;
    QString passwordFile;
    QString caFile;
    int rescanMs = DefaultRescanMs;
    // Any of these options given (they belong to publish only).
    bool given = false;

    // --broker, --group, --node, --deadband, --username, --password-file, --cafile,
    // --rescan-ms.
    static bool isOption(const QString &name);
    // Takes one option's value; false with the reason when it is not valid.
    bool set(const QString &name, const QString &value, QString *error);
    // The whole set for a publish command: a broker is needed, a password file only with a
    // user name, a CA file only with mqtts.
    bool check(QString *error) const;
    // The node id publish uses: the option, else the host name made a valid id.
    QString nodeId() const;
    // A Sparkplug id: not empty, none of '/', '+', '#'.
    static bool isValidId(const QString &id);
};
