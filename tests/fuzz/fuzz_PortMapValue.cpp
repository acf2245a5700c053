// Any text as a port map value, as the store gives it (text, or a list where
// it held commas), and as a network address: a configured path is never
// empty and holds no NUL, and an address parsed reads back from its url().

#include "components/NetworkAddress.h"
#include "components/PortMap.h"
#include "components/SerialDevices.h"
#include "tests/fuzz/FuzzFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const int port = size > 0 ? 1 + data[0] % PortMap::lastPort : 1;
    for (const QVariant &stored : {QVariant(text), QVariant(text.split(u','))}) {
        const QString path = PortMap::configuredPath(stored, port);
        FUZZ_CHECK(!path.isEmpty() && !path.contains(QChar::Null));
        const QString node = PortMap::resolvedPath(path);
        FUZZ_CHECK(!node.isEmpty() && !node.contains(QChar::Null));
        FUZZ_CHECK(PortMap::names(path, {path, node, {}}) != NetworkAddress::isUrl(path));
    }

    QString why;
    const std::optional<NetworkAddress> address = NetworkAddress::parse(text, &why);
    FUZZ_CHECK(address.has_value() == why.isEmpty() && (!address || NetworkAddress::isUrl(text)));
    if (address) {
        const std::optional<NetworkAddress> again = NetworkAddress::parse(address->url(), &why);
        FUZZ_CHECK(again && again->kind == address->kind && again->host == address->host &&
                   again->port == address->port && address->port > 0);
    }
    return 0;
}
