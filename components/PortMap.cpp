#include "components/PortMap.h"

#include "common/UserStore.h"
#include "components/NetworkAddress.h"
#include "components/SerialDevices.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <array>
#include <sys/stat.h>

namespace {

// What a file of the settings store looks like on disk, enough to tell that
// it changed: written in place, replaced, created or removed.
struct FileStamp
{
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static FileStamp of(const QString &path)
    {
        FileStamp stamp;
        struct stat st;
        if (::stat(QFile::encodeName(path).constData(), &st) != 0)
            return stamp;
        stamp = {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
        return stamp;
    }
    bool operator==(const FileStamp &o) const
    {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

// The port map as last read, and the files it was read from as they were.
// Reading the store costs far more than looking at its files, and every
// session looks a port up several times while it starts; the map is read
// again whenever one of the files changed, so that an edit made by the user
// or another program while this one runs counts at the next lookup.
class MapCache
{
public:
    // Every key of group "Ports" with its value, as the store has them now.
    const QHash<QString, QVariant> &values()
    {
        // The files the store reads, in its order: this application's, the
        // organisation's, then the system-wide ones. Their places are fixed
        // for the life of the process, as the store's own are.
        static const QStringList files = UserStore::files();
        // Looked at before the read: a change during the read shows next time.
        std::array<FileStamp, 4> now;
        for (std::size_t i = 0; i < now.size(); ++i)
            now[i] = FileStamp::of(files.value(qsizetype(i)));
        if (!m_read || now != m_stamps) {
            m_values.clear();
            QSettings settings = UserStore::open();
            settings.beginGroup(QStringLiteral("Ports"));
            for (const QString &k : settings.childKeys())
                m_values.insert(k, settings.value(k));
            m_stamps = now;
            m_read = true;
        }
        return m_values;
    }

private:
    bool m_read = false;
    std::array<FileStamp, 4> m_stamps;
    QHash<QString, QVariant> m_values;
};

MapCache &cache()
{
    static MapCache map;
    return map;
}

QString keyOf(int port)
{
    return QStringLiteral("COM%1").arg(port);
}

// Writes `value` for `key`, or removes the key when `value` is null.
bool storeEntry(const QString &key, const QVariant &value)
{
    QSettings settings = UserStore::open();
    if (value.isValid())
        settings.setValue(QStringLiteral("Ports/") + key, value);
    else
        settings.remove(QStringLiteral("Ports/") + key);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

// What `value`, the entry or default device of `port`, leads to now.
PortMap::Row valueRow(int port, const QString &value, bool hasEntry)
{
    PortMap::Row row{port, value, {}, {}, false, hasEntry, NetworkAddress::isUrl(value)};
    if (row.network)
        return row;
    row.node = PortMap::resolvedPath(value);
    row.present = QFileInfo::exists(row.node);
    if (row.present)
        row.description = SerialDevices::describe(row.node);
    return row;
}

// The number whose default device is `node`, when it has no entry; else 0.
int defaultNumber(const QString &node, const QMap<int, QString> &entries)
{
    for (int n = PortMap::firstPort; n <= PortMap::lastPort; ++n) {
        if (!entries.contains(n) && PortMap::defaultDevice(n) == node)
            return n;
    }
    return 0;
}

} // namespace

namespace PortMap {

QString defaultDevice(int port)
{
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

QString devicePath(int port)
{
    return configuredPath(cache().values().value(keyOf(port)), port);
}

QString configuredPath(const QVariant &value, int port)
{
    // The store's INI format reads an unquoted value containing commas as a
    // list; a device path may contain commas, so put it back together.
    QString configured = value.typeId() == QMetaType::QStringList
                             ? value.toStringList().join(QLatin1Char(','))
                             : value.toString().trimmed();
    // A NUL (stored as \0) cannot be part of a file name: left in, the
    // system calls would see a different, shorter path, and the serial port
    // layer recurses until the stack overflows while locking such a name.
    // Shown as U+FFFD, the entry names a device that does not exist.
    configured.replace(QChar::Null, QChar::ReplacementCharacter);
    return configured.isEmpty() ? defaultDevice(port) : configured;
}

QString resolvedDevicePath(int port)
{
    return resolvedPath(devicePath(port));
}

QString resolvedPath(const QString &configured)
{
    // The serial port layer looks a bare name such as "ttyUSB0" up under /dev;
    // resolve it the same way so that the lock is shared with the full path.
    const QString path =
        QFileInfo(configured).isRelative() ? QStringLiteral("/dev/") + configured : configured;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? configured : canonical;
}

QMap<int, QString> entries()
{
    static const QRegularExpression key(QStringLiteral("^COM(\\d{1,3})$"));
    const QHash<QString, QVariant> stored = cache().values();
    QMap<int, QString> map;
    for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
        const QRegularExpressionMatch m = key.match(it.key());
        const int port = m.hasMatch() ? m.captured(1).toInt() : 0;
        if (port >= firstPort && port <= lastPort)
            map.insert(port, configuredPath(stored.value(keyOf(port)), port));
    }
    return map;
}

bool setEntry(int port, const QString &value)
{
    return storeEntry(keyOf(port), value);
}

bool removeEntry(int port)
{
    return storeEntry(keyOf(port), QVariant());
}

bool isFree(int port, const QMap<int, QString> &entries)
{
    return !entries.contains(port) && !SerialDevices::hasUart(port - 1);
}

bool names(const QString &value, const SerialDevices::Device &device)
{
    return !NetworkAddress::isUrl(value) &&
           (QDir::cleanPath(value) == device.path || resolvedPath(value) == device.node);
}

QList<Row> rows()
{
    const QMap<int, QString> map = entries();
    QList<SerialDevices::Device> devices = SerialDevices::present();
    QList<Row> table;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        table.append(valueRow(it.key(), it.value(), true));
        devices.removeIf([&it](const SerialDevices::Device &d) { return names(it.value(), d); });
    }
    for (const SerialDevices::Device &d : std::as_const(devices))
        table.append({defaultNumber(d.node, map), d.path, d.node, d.description, true, false, false});
    return table;
}

Row row(int port)
{
    const QHash<QString, QVariant> &stored = cache().values();
    return valueRow(port, configuredPath(stored.value(keyOf(port)), port), stored.contains(keyOf(port)));
}

} // namespace PortMap
