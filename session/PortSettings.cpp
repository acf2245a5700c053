#include "session/PortSettings.h"

namespace PortSettings {

QStringList portNames()
{
    QStringList names;
    names.reserve(portCount + 1);
    names << QStringLiteral("NONE");
    for (int n = 1; n <= portCount; ++n)
        names << QStringLiteral("COM%1").arg(n);
    return names;
}

QStringList baudRates()
{
    return {"110",   "300",   "600",   "1200",  "2400",  "4800",  "9600",
            "14400", "19200", "28800", "38400", "57600", "115200"};
}

QList<int> parityTextIds()
{
    return {2205, 2207, 2206, 2208, 2209};
}

QString parityLetter(int position)
{
    static const QString letters = QStringLiteral("NEOMS");
    return position >= 0 && position < letters.size() ? QString(letters.at(position)) : QString();
}

QStringList dataBits()
{
    return {"5", "6", "7", "8"};
}

QStringList stopBits()
{
    return {"1", "1.5", "2"};
}

QStringList flowControls()
{
    return {"None", "Xon/Xoff", "RTS/CTS", "Opto-RS"};
}

} // namespace PortSettings
