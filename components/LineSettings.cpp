#include "components/LineSettings.h"

#include <QHash>
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

    // Each field takes one of the values its list offers, nothing else.
    static const QHash<QString, QSerialPort::Parity> parities{{"N", QSerialPort::NoParity},
                                                              {"E", QSerialPort::EvenParity},
                                                              {"O", QSerialPort::OddParity},
                                                              {"M", QSerialPort::MarkParity},
                                                              {"S", QSerialPort::SpaceParity}};
    static const QHash<QString, QSerialPort::DataBits> dataBits{{"5", QSerialPort::Data5},
                                                                {"6", QSerialPort::Data6},
                                                                {"7", QSerialPort::Data7},
                                                                {"8", QSerialPort::Data8}};
    // Linux terminals have no 1.5 stop bits. A receiver set for one stop bit
    // reads frames sent with 1.5 or 2 correctly, so 1.5 opens with one.
    static const QHash<QString, QSerialPort::StopBits> stopBits{
        {"1", QSerialPort::OneStop}, {"1.5", QSerialPort::OneStop}, {"2", QSerialPort::TwoStop}};
    if (!parities.contains(parity) || !dataBits.contains(data) || !stopBits.contains(stop))
        return std::nullopt;
    s.parity = parities.value(parity);
    s.dataBits = dataBits.value(data);
    s.stopBits = stopBits.value(stop);
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
