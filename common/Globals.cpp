#include "common/Globals.h"

namespace Globals {

QString Password;
QString OnErrorRunApp;
QString AcceptedRunApp;
qint32 LogErrorsToFile = 0;

} // namespace Globals
