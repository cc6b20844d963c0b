// Discovery replies come from anyone on the LAN: whatever the bytes, parsing must neither
// crash nor read beyond the datagram, and an accepted record must be whole and named.
#include "discovery/device_discovery_response.h"
#include "models/network_commands.h"

#include <QHostAddress>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data), int(size));
    const DeviceDiscoveryResponsePtr response
        = DeviceDiscoveryResponse::parse(datagram, QHostAddress(QStringLiteral("192.0.2.10")), 3336);
    if (!response)
        return 0;
    const QString name = response->name();
    if (response->raw.size() != DISCOVERY_RECORD_SIZE || name.isEmpty() || response->id.isEmpty()
        || response->raw != datagram.left(DISCOVERY_RECORD_SIZE))
        std::abort();
    (void)response->alias();
    (void)response->deviceKind();
    // A name that reaches a command is either refused or passes unchanged.
    const TelnetSwitchSourceCommand command(name);
    if (command.isValid() && !command.bytes().contains(name.toUtf8()))
        std::abort();
    return 0;
}
