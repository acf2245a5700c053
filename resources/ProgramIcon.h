#pragma once

#include <QIcon>

// The program's icon, a nine-pin serial connector, at 16, 32, 48 and 256
// pixels (drawn from icons/ombrix.svg). Also the tray icon.
QIcon programIcon();
