#pragma once

#include <QString>

// Values shared by the whole process for its whole life: the password and the
// error options. Windows exchange data only through these and the window-only
// values in dialogs/WindowGlobals.h.
namespace Globals {

extern QString Password; // empty = no password
extern QString OnErrorRunApp; // command line started on each capture error, empty = none
// The command line the user accepted for this process. A configuration can
// come from anyone; its program starts only when it is this one.
extern QString AcceptedRunApp;
extern qint32 LogErrorsToFile; // 0 = off, anything else = append to errorlog.txt

} // namespace Globals
