#pragma once

#include <QString>

// Which device file a COM number opens: the key COM<n> in group "Ports" of the
// per-user settings store, else /dev/ttyS<n-1>.
namespace PortMap {

inline constexpr int firstPort = 1;
inline constexpr int lastPort = 255;

// The device path as configured (or the default), not resolved.
QString devicePath(int port);

// The path to open: devicePath() with symbolic links resolved, so that a
// device opened through two names shares one lock. When the device does not
// exist, the configured path itself.
QString resolvedDevicePath(int port);

// resolvedDevicePath() for a path as configured: a bare name is taken from
// /dev, symbolic links are followed; a path that leads nowhere comes back
// as given.
QString resolvedPath(const QString &configured);

} // namespace PortMap
