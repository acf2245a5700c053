#pragma once

#include <QString>

// Values shared by the whole process for its whole life: the password, the
// error options and the tray state. Windows exchange data only through these.
namespace Globals {

extern QString Password;        // empty = no password
extern QString EnteredPassword; // what the password prompt last received
extern bool WasMinimized;
extern QString OnErrorRunApp;  // command line started on each capture error, empty = none
extern qint32 LogErrorsToFile; // 0 = off, anything else = append to errorlog.txt
extern bool TrayActive;

} // namespace Globals
