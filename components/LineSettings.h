#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

// A port's line settings as a session gives them: the settings string
// "baud,parity,data,stop" (for example "9600,N,8,1") and the handshaking
// mode. Plain values; nothing here touches a device until applyTo().
struct LineSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    // Blanks around the fields and lower-case parity letters are accepted;
    // anything else malformed gives nullopt.
    static std::optional<LineSettings> parse(const QString &text);

    // Handshaking 0 none, 1 XON/XOFF, 2 RTS/CTS; nullopt for other values.
    static std::optional<QSerialPort::FlowControl> flowControl(int handshaking);

    // Before open this only records the values, which open() then applies in
    // one go; on an open port a value the device refuses is reported through
    // errorOccurred.
    void applyTo(QSerialPort &port) const;

    friend bool operator==(const LineSettings &, const LineSettings &) = default;
};
