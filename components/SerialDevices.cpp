#include "components/SerialDevices.h"

#include "components/PortDiagnosis.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace SerialDevices {

namespace {

const QString sysTty = QStringLiteral("/sys/class/tty/");

QString readLine(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine(256)).trimmed();
}

// The USB device a tty hangs off: the nearest ancestor of its device
// directory that carries the descriptors.
QString usbDeviceDir(const QString &name)
{
    QString dir = QFileInfo(sysTty + name + QStringLiteral("/device")).canonicalFilePath();
    for (int depth = 0; !dir.isEmpty() && depth < 4; ++depth) {
        if (QFileInfo::exists(dir + QStringLiteral("/idVendor")))
            return dir;
        dir = QFileInfo(dir).absolutePath();
    }
    return {};
}

// A system tty that is a serial port: a UART, a USB or other bus serial
// device, a Bluetooth link; not a console, virtual terminal or pseudo-terminal.
bool isSerialTty(const QString &name)
{
    static const QRegularExpression builtIn(QStringLiteral("^ttyS(\\d+)$"));
    if (const QRegularExpressionMatch m = builtIn.match(name); m.hasMatch())
        return hasUart(m.captured(1).toInt());
    if (name.startsWith(QLatin1String("rfcomm")))
        return true;
    return name.startsWith(QLatin1String("tty")) &&
           QFileInfo::exists(sysTty + name + QStringLiteral("/device"));
}

} // namespace

QString byIdDirectory()
{
    const QString custom = qEnvironmentVariable("OMBRIX_SERIAL_BY_ID");
    return custom.isEmpty() ? QStringLiteral("/dev/serial/by-id")
                            : QDir::cleanPath(QDir::current().absoluteFilePath(custom));
}

bool hasUart(int index)
{
    const QString type = readLine(sysTty + QStringLiteral("ttyS%1/type").arg(index));
    return !type.isEmpty() && type != QLatin1String("0");
}

QString describe(const QString &node)
{
    const QString name = QFileInfo(node).fileName();
    if (const QString usb = usbDeviceDir(name); !usb.isEmpty()) {
        const QString product = readLine(usb + QStringLiteral("/product"));
        QStringList details;
        if (const QString maker = readLine(usb + QStringLiteral("/manufacturer")); !maker.isEmpty())
            details << maker;
        if (const QString serial = readLine(usb + QStringLiteral("/serial")); !serial.isEmpty())
            details << QStringLiteral("serial ") + serial;
        QString text = product.isEmpty() ? QStringLiteral("USB serial adapter") : product;
        if (!details.isEmpty())
            text += QStringLiteral(" (") + details.join(QStringLiteral(", ")) + QLatin1Char(')');
        return text;
    }
    if (name.startsWith(QLatin1String("rfcomm")))
        return QStringLiteral("Bluetooth serial link");
    if (name.startsWith(QLatin1String("ttyS")) && isSerialTty(name))
        return QStringLiteral("built-in serial port");
    if (node.startsWith(QLatin1String("/dev/")) && isSerialTty(name))
        return QStringLiteral("serial port");
    return {};
}

QList<Device> present()
{
    QList<Device> devices;
    QStringList nodes;
    const QDir byId(byIdDirectory());
    for (const QString &link :
         byId.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = byId.filePath(link);
        const QString node = QFileInfo(path).canonicalFilePath();
        if (node.isEmpty()) // a link left dangling: the device went away
            continue;
        devices.append({path, node, describe(node)});
        nodes << node;
    }
    const QStringList names =
        QDir(sysTty).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        const QString node = QStringLiteral("/dev/") + name;
        if (!nodes.contains(node) && isSerialTty(name) && QFileInfo::exists(node))
            devices.append({node, node, describe(node)});
    }
    return devices;
}

QString permissionAdvice(const QString &node)
{
#ifdef Q_OS_UNIX
    if (!QFileInfo::exists(node) || ::access(QFile::encodeName(node).constData(), R_OK | W_OK) == 0 ||
        (errno != EACCES && errno != EPERM))
        return {};
    return PortDiagnosis::describe(
        PortDiagnosis::examine(QSerialPort::PermissionError, qt_error_string(EACCES), node));
#else
    Q_UNUSED(node);
    return {};
#endif
}

} // namespace SerialDevices
