#pragma once

#include "session/PortSettings.h"

#include <QString>

// Everything a configuration stores for one session, as plain values: the
// port settings as positions in the lists of PortSettings (-1 for no
// selection), the file fields as text. A default-constructed value holds
// what a new session starts with.
struct SessionSettings
{
    int port = PortSettings::portNone;
    int baud = PortSettings::defaultBaud;
    int parity = PortSettings::defaultParity;
    int dataBits = PortSettings::defaultDataBits;
    int stopBits = PortSettings::defaultStopBits;
    int flow = PortSettings::defaultFlow;
    QString logFile = defaultLogFile();
    QString outFile = defaultOutFile();
    int lineFeeds = 0; // check box state: 0 unchecked, 1 checked, 2 greyed
    bool autoActivate = false;

    static QString defaultLogFile();
    static QString defaultOutFile();

    // "NONE", "COM1".."COM255"; empty for a position outside the list.
    QString portName() const;
    // What the serial component takes: "9600,N,8,1". A list without a
    // selection contributes an empty field.
    QString settingsString() const;
    // Same port with the same line settings: a running session may go on.
    bool sameLine(const SessionSettings &other) const;

    friend bool operator==(const SessionSettings &, const SessionSettings &) = default;
};
