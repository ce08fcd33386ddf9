#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

// Waits for a device that has gone to come back, without polling: it watches the nearest
// directory on the device's path that exists (a /dev/serial/by-id directory goes away with
// its last adapter) and follows the path down as its directories reappear. It tells once the
// device file exists again after it was seen missing, so a device that never went away (a
// line lost for another reason) is not reopened over and over.
class DeviceReturnWatch : public QObject
{
    Q_OBJECT

public:
    explicit DeviceReturnWatch(QObject *parent = nullptr);

    // Starts waiting for the file at path; replaces an earlier wait.
    void watch(const QString &path);
    void cancel();
    bool isWatching() const { return !m_path.isEmpty(); }

    // The watcher's handler: tells when the file is back, else watches again. Tests call it.
    void check();

signals:
    void returned(const QString &path);

private:
    void arm();

    QFileSystemWatcher m_watcher;
    QString m_path;
    bool m_sawMissing = false;
};
