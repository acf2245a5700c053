#include "common/Globals.h"

namespace Globals {

QString Password;
QString EnteredPassword;
bool WasMinimized = false;
QString OnErrorRunApp;
QString AcceptedRunApp;
qint32 LogErrorsToFile = 0;
bool TrayActive = false;

} // namespace Globals
