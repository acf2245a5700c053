#include "components/PortMap.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QVariant>

namespace PortMap {

QString devicePath(int port)
{
    // A fresh settings object on every call: the user may edit the map while
    // the program runs, and the next activation must see the change.
    QSettings settings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix"));
    const QVariant value = settings.value(QStringLiteral("Ports/COM%1").arg(port));
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
    if (!configured.isEmpty())
        return configured;
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
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

} // namespace PortMap
