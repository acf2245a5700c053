#pragma once

#include <QString>

// Values the windows share for the whole life of the process: the password
// prompt's answer and the main window's tray state. The service has no
// windows, so they live here rather than with the values in common/Globals.h,
// in the lowest library that has windows: the prompt itself belongs to it.
namespace WindowGlobals {

extern QString EnteredPassword; // what the password prompt last received
extern bool WasMinimized;       // the main window was minimised at the last tick of its timer
extern bool TrayActive;         // the main window has its tray icon

} // namespace WindowGlobals
