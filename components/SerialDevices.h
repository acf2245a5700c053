#pragma once

#include <QList>
#include <QString>

// The serial devices this machine has now, as the system describes them:
// USB adapters (by their stable links and USB descriptors), built-in ports
// with a UART behind them and Bluetooth serial links. The port map
// (PortMap) tells which COM number names which of them.
namespace SerialDevices {

struct Device
{
    QString path{};        // what a map entry names: the stable link when there is one, else the node
    QString node{};        // the device node it leads to
    QString description{}; // "FT232R USB UART (FTDI, serial A50285BI)"; empty when the system has none
};

// The directory of stable links to USB serial devices: OMBRIX_SERIAL_BY_ID
// when set (tests fill one with links to pseudo-terminals), else
// /dev/serial/by-id.
QString byIdDirectory();

// True when /dev/ttyS<index> has a UART behind it.
bool hasUart(int index);

// Words for the device node `node`, from its USB descriptors (product,
// maker, serial number), else what kind of port it is; empty for a device
// the system says nothing about (a pseudo-terminal).
QString describe(const QString &node);

// Every serial device present: the links of byIdDirectory() in name order,
// then the other serial ports of the system in name order.
QList<Device> present();

// The advice a permission refusal gets on the status line, when `node`
// cannot be opened by this user for lack of permission; else empty.
QString permissionAdvice(const QString &node);

} // namespace SerialDevices
