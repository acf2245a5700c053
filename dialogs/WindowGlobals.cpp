#include "dialogs/WindowGlobals.h"

namespace WindowGlobals {

QString EnteredPassword;
bool WasMinimized = false;
bool TrayActive = false;

} // namespace WindowGlobals
