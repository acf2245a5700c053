#include "session/SessionSettings.h"

#include <QDir>

QString SessionSettings::defaultLogFile()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\Ombrix.txt");
#else
    // Without drive letters "C:\Ombrix.txt" would name a file with a
    // backslash in whatever the current directory is: use the home directory.
    return QDir::home().filePath(QStringLiteral("Ombrix.txt"));
#endif
}

QString SessionSettings::defaultOutFile()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\COMOutputFile.txt");
#else
    return QDir::home().filePath(QStringLiteral("COMOutputFile.txt"));
#endif
}

QString SessionSettings::portName() const
{
    return PortSettings::portNames().value(port);
}

QString SessionSettings::settingsString() const
{
    return PortSettings::baudRates().value(baud) + QLatin1Char(',') + PortSettings::parityLetter(parity) +
           QLatin1Char(',') + PortSettings::dataBits().value(dataBits) + QLatin1Char(',') +
           PortSettings::stopBits().value(stopBits);
}

bool SessionSettings::sameLine(const SessionSettings &other) const
{
    return port == other.port && baud == other.baud && parity == other.parity && dataBits == other.dataBits &&
           stopBits == other.stopBits && flow == other.flow;
}
