#include "components/PortNumbering.h"

#include "components/PortMap.h"
#include "components/SerialDevices.h"

#include <QFileInfo>
#include <QtDebug>

#include <algorithm>

namespace {

constexpr int settleMs = 50;

bool named(const QMap<int, QString> &entries, const SerialDevices::Device &device)
{
    return std::any_of(entries.cbegin(), entries.cend(),
                       [&device](const QString &value) { return PortMap::names(value, device); });
}

int lowestFree(const QMap<int, QString> &entries)
{
    for (int n = PortNumbering::firstNumber; n <= PortMap::lastPort; ++n) {
        if (PortMap::isFree(n, entries))
            return n;
    }
    return 0;
}

} // namespace

PortNumbering::PortNumbering(QObject *parent)
    : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &PortNumbering::start);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle, qOverload<>(&QTimer::start));
}

void PortNumbering::start()
{
    watch();
    for (const auto &[port, path] : numberNewDevices())
        emit numbered(port, path);
}

void PortNumbering::watch()
{
    // The directory exists only while a device is plugged in: until then
    // watch the nearest ancestor that does, which changes when it comes.
    QFileInfo dir(SerialDevices::byIdDirectory());
    while (!dir.isDir() && !dir.isRoot())
        dir.setFile(dir.absolutePath());
    const QString wanted = dir.absoluteFilePath();
    const QStringList watched = m_watcher.directories();
    if (watched == QStringList{wanted})
        return;
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
    m_watcher.addPath(wanted);
}

QList<std::pair<int, QString>> PortNumbering::numberNewDevices()
{
    QList<std::pair<int, QString>> given;
    QMap<int, QString> entries = PortMap::entries();
    const QString byId = SerialDevices::byIdDirectory();
    for (const SerialDevices::Device &device : SerialDevices::present()) {
        if (QFileInfo(device.path).absolutePath() != byId || named(entries, device))
            continue;
        const int port = lowestFree(entries);
        if (port == 0) {
            qWarning("No free COM number left for %s", qPrintable(device.path));
            break;
        }
        if (!PortMap::setEntry(port, device.path)) {
            qWarning("Cannot store COM%d=%s in the port map", port, qPrintable(device.path));
            break;
        }
        entries.insert(port, device.path);
        given.append({port, device.path});
    }
    return given;
}
