#include "serial/DeviceReturnWatch.h"

#include <QDir>
#include <QFileInfo>

DeviceReturnWatch::DeviceReturnWatch(QObject *parent) : QObject(parent)
{
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &DeviceReturnWatch::check);
}

void DeviceReturnWatch::watch(const QString &path)
{
    cancel();
    if (path.isEmpty())
        return;
    m_path = QFileInfo(path).absoluteFilePath();
    m_sawMissing = false;
    check();
}

void DeviceReturnWatch::cancel()
{
    m_path.clear();
    const QStringList directories = m_watcher.directories();
    if (!directories.isEmpty())
        m_watcher.removePaths(directories);
}

void DeviceReturnWatch::check()
{
    if (m_path.isEmpty())
        return;
    // exists() follows a link: a link to a device that is not there yet counts as missing.
    if (!QFileInfo::exists(m_path)) {
        m_sawMissing = true;
    } else if (m_sawMissing) {
        const QString path = m_path;
        cancel();
        emit returned(path);
        return;
    }
    arm();
}

void DeviceReturnWatch::arm()
{
    QString directory = QFileInfo(m_path).absolutePath();
    while (!QFileInfo(directory).isDir() && directory != QDir::rootPath())
        directory = QFileInfo(directory).absolutePath();
    const QStringList watched = m_watcher.directories();
    if (watched == QStringList{directory})
        return;
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
    m_watcher.addPath(directory);
}
