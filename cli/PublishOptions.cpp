#include "cli/PublishOptions.h"

#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>

namespace {

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool PublishOptions::isOption(const QString &name)
{
    static const QStringList names{QStringLiteral("--broker"),   QStringLiteral("--group"),
                                   QStringLiteral("--node"),     QStringLiteral("--deadband"),
                                   QStringLiteral("--username"), QStringLiteral("--password-file"),
                                   QStringLiteral("--cafile"),   QStringLiteral("--rescan-ms")};
    return names.contains(name);
}

bool PublishOptions::isValidId(const QString &id)
{
    static const QRegularExpression forbidden(QStringLiteral("[/+#]"));
    return !id.trimmed().isEmpty() && !forbidden.match(id).hasMatch();
}

bool PublishOptions::set(const QString &name, const QString &value, QString *error)
{
    given = true;
    if (name == QLatin1String("--broker")) {
        const QUrl url(value, QUrl::StrictMode);
        const QString scheme = url.scheme();
        if (!url.isValid() || url.host().isEmpty() ||
            (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")) ||
            (!url.path().isEmpty() && url.path() != QLatin1String("/")) || url.hasQuery() ||
            !url.userInfo().isEmpty())
            return fail(error, QStringLiteral("invalid --broker: %1 (mqtt://HOST[:PORT] or "
                                              "mqtts://HOST[:PORT])")
                                   .arg(value));
        tls = scheme == QLatin1String("mqtts");
        host = url.host();
        port = url.port(tls ? 8883 : 1883);
        if (port < 1)
            return fail(error, QStringLiteral("invalid --broker: %1 (port 1..65535)").arg(value));
        return true;
    }
    if (name == QLatin1String("--group") || name == QLatin1String("--node")) {
        if (!isValidId(value))
            return fail(error, QStringLiteral("invalid %1: '%2' (not empty, no '/', '+' or '#')")
                                   .arg(name, value));
        (name == QLatin1String("--group") ? group : node) = value;
        return true;
    }
    if (name == QLatin1String("--deadband")) {
        bool ok = false;
        const double percent = value.toDouble(&ok);
        if (!ok || !(percent >= 0 && percent <= 100))
            return fail(error,
                        QStringLiteral("invalid --deadband: %1 (0..100 percent)").arg(value));
        deadbandPercent = percent;
        return true;
    }
    if (name == QLatin1String("--rescan-ms")) {
        bool ok = false;
        const int ms = value.toInt(&ok);
        if (!ok || ms < 100 || ms > 24 * 3600 * 1000)
            return fail(error, QStringLiteral("invalid --rescan-ms: %1").arg(value));
        rescanMs = ms;
        return true;
    }
    if (value.trimmed().isEmpty())
        return fail(error, QStringLiteral("%1 needs a value").arg(name));
    if (name == QLatin1String("--username"))
        username = value;
    else if (name == QLatin1String("--password-file"))
        passwordFile = value;
    else
        caFile = value;
    return true;
}

bool PublishOptions::check(QString *error) const
{
    if (host.isEmpty())
        return fail(error, QStringLiteral("publish needs --broker mqtt://HOST[:PORT]"));
    if (!passwordFile.isEmpty() && username.isEmpty())
        return fail(error, QStringLiteral("--password-file needs --username"));
    if (!caFile.isEmpty() && !tls)
        return fail(error, QStringLiteral("--cafile needs an mqtts:// broker"));
    if (node.isEmpty() && !isValidId(nodeId()))
        return fail(error, QStringLiteral("the host name is no valid node id: give --node"));
    return true;
}

QString PublishOptions::nodeId() const
{
    return node.isEmpty() ? QSysInfo::machineHostName() : node;
}
