#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <utility>

// Gives every USB serial device a COM number of its own, as the desktop this
// program came from does: a device under the stable-link directory that no
// entry of the port map names gets the lowest free number from 3 up, stored
// at once, and keeps it while it is away so that it comes back under the same
// number. Runs at start and again whenever the directory changes. Only the
// windowed program numbers; the service reads the map as it finds it.
class PortNumbering : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PortNumbering)

public:
    // The lowest number a new device may get.
    static constexpr int firstNumber = 3;

    explicit PortNumbering(QObject *parent = nullptr);

    // Numbers what needs one now, then follows the directory.
    void start();

    // One pass: numbers each device without an entry, in name order, and
    // returns (number, link) for each one numbered.
    static QList<std::pair<int, QString>> numberNewDevices();

signals:
    void numbered(int port, const QString &path);

private:
    void watch();

    QFileSystemWatcher m_watcher;
    QTimer m_settle; // a burst of changes (udev makes several links) is one pass
};
