#pragma once

#include <QString>
#include <QStringList>

// The choices a session offers for its port, in list order. A session's
// settings are held and stored as positions in these lists, so the order is
// part of every saved configuration and must never change.
namespace PortSettings {

inline constexpr int portCount = 255; // COM1..COM255 after "NONE"
inline constexpr int portNone = 0;

inline constexpr int defaultBaud = 6;     // "9600"
inline constexpr int defaultParity = 0;   // None
inline constexpr int defaultDataBits = 3; // "8"
inline constexpr int defaultStopBits = 0; // "1"
inline constexpr int defaultFlow = 0;     // "None"

// Flow-control positions.
inline constexpr int flowNone = 0;
inline constexpr int flowXonXoff = 1;
inline constexpr int flowRtsCts = 2;
inline constexpr int flowOptoRs = 3;

// "NONE", "COM1" .. "COM255".
QStringList portNames();
QStringList baudRates();
// String-table ids of the parity texts, in list order: None, Even, Odd, Mark, Space.
QList<int> parityTextIds();
// The parity letter of each list position, whatever the display language.
QString parityLetter(int position);
QStringList dataBits();
QStringList stopBits();
// Fixed texts in every language.
QStringList flowControls();

} // namespace PortSettings
