#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>

namespace SerialDevices {
struct Device;
}

// The port map: which device file or network address a COM number opens,
// the key COM<n> in group "Ports" of the per-user settings store, else the
// number's default device /dev/ttyS<n-1>. Reads, lists and writes the
// entries, and matches them with the serial devices present.
namespace PortMap {

inline constexpr int firstPort = 1;
inline constexpr int lastPort = 255;

// /dev/ttyS<port-1>: what a number without an entry opens.
QString defaultDevice(int port);

// The device path as configured (or the default), not resolved.
QString devicePath(int port);

// The device path that `stored`, the value of `port`'s entry as the store
// gives it (text, or a list where the text held commas), configures: the
// default device when empty.
QString configuredPath(const QVariant &stored, int port);

// The path to open: devicePath() with symbolic links resolved, so that a
// device opened through two names shares one lock. When the device does not
// exist, the configured path itself.
QString resolvedDevicePath(int port);

// resolvedDevicePath() for a path as configured: a bare name is taken from
// /dev, symbolic links are followed; a path that leads nowhere comes back
// as given.
QString resolvedPath(const QString &configured);

// The entries of the map: COM number -> value as the map gives it.
QMap<int, QString> entries();
// Stores or removes one entry at once; false when the store cannot be written.
bool setEntry(int port, const QString &value);
bool removeEntry(int port);

// True when `port` may be given to a device: `entries` has none for it and
// no UART is behind its default device.
bool isFree(int port, const QMap<int, QString> &entries);

// True when the map value `value` names `device`: it gives the device's
// link, or a path that leads to the same node. A network address names none.
bool names(const QString &value, const SerialDevices::Device &device);

// One COM number, or one device present without an entry, as the port
// dialog, `ombrixd --ports` and the port list's hover text show it.
struct Row
{
    int port = 0;          // the COM number; 0 for a device without entry or default number
    QString value{};       // the entry as the map gives it, or the path of a device without entry
    QString node{};        // the device node it leads to; empty for a network address
    QString description{}; // the system's words for the device present; else empty
    bool present = false;  // the device exists; never for a network address
    bool hasEntry = false; // the map has an entry for `port`
    bool network = false;  // `value` is a network address
};

// Every entry of the map in number order, then every serial device present
// that no entry names, in the order the system lists them; such a device at
// the default device of a number without entry gets that number.
QList<Row> rows();

// The row of one number as rows() would give it, or, for a number with
// neither entry nor device present, the row of its default device. Looks at
// this one device only.
Row row(int port);

} // namespace PortMap
