#include "components/LineSettings.h"

#include <QStringList>

namespace {

bool isAsciiDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

std::optional<LineSettings> LineSettings::parse(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4)
        return std::nullopt;
    const QString baud = fields.at(0).trimmed();
    const QString parity = fields.at(1).trimmed().toUpper();
    const QString data = fields.at(2).trimmed();
    const QString stop = fields.at(3).trimmed();

    LineSettings s;
    bool ok = false;
    s.baudRate = baud.toInt(&ok);
    if (!isAsciiDigits(baud) || !ok || s.baudRate <= 0)
        return std::nullopt;

    if (parity == QLatin1String("N"))
        s.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("E"))
        s.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("O"))
        s.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("M"))
        s.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("S"))
        s.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;

    if (data == QLatin1String("5"))
        s.dataBits = QSerialPort::Data5;
    else if (data == QLatin1String("6"))
        s.dataBits = QSerialPort::Data6;
    else if (data == QLatin1String("7"))
        s.dataBits = QSerialPort::Data7;
    else if (data == QLatin1String("8"))
        s.dataBits = QSerialPort::Data8;
    else
        return std::nullopt;

    // Linux terminals have no 1.5 stop bits. A receiver set for one stop bit
    // reads frames sent with 1.5 or 2 correctly, so 1.5 opens with one.
    if (stop == QLatin1String("1") || stop == QLatin1String("1.5"))
        s.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("2"))
        s.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return s;
}

std::optional<QSerialPort::FlowControl> LineSettings::flowControl(int handshaking)
{
    switch (handshaking) {
    case 0:
        return QSerialPort::NoFlowControl;
    case 1:
        return QSerialPort::SoftwareControl;
    case 2:
        return QSerialPort::HardwareControl;
    default:
        return std::nullopt;
    }
}

void LineSettings::applyTo(QSerialPort &port) const
{
    port.setBaudRate(baudRate);
    port.setParity(parity);
    port.setDataBits(dataBits);
    port.setStopBits(stopBits);
}
