// Discovery replies come from anyone on the LAN: whatever the bytes, parsing must neither
// crash nor read beyond the datagram, and an accepted record must be whole and named.
#include "discovery/device_discovery_response.h"
#include "models/network_commands.h"

#include <QHostAddress>

#include <cstdint>
#include <cstdlib>

namespace {

// What a POSIX shell makes of one word that holds nothing but plain and single-quoted
// text: the quotes go, everything between them stays as it is.
QByteArray unquoteShellWord(const QByteArray &word)
{
    QByteArray text;
    bool quoted = false;
    for (int i = 0; i < word.size(); ++i) {
        if (word.at(i) == '\\' && !quoted && i + 1 < word.size())
            text += word.at(++i);
        else if (word.at(i) == '\'')
            quoted = !quoted;
        else
            text += word.at(i);
    }
    return text;
}

} // namespace

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
    // A name that reaches a command is either refused or reaches the decoder's shell unchanged.
    const TelnetSwitchSourceCommand command(name);
    const QByteArray prefix = "gbconfig --source-select=";
    const QByteArray suffix = ";e e_reconnect";
    const QByteArray bytes = command.bytes();
    if (command.isValid()
        && (!bytes.startsWith(prefix) || !bytes.contains(suffix)
            || unquoteShellWord(bytes.mid(prefix.size(), bytes.lastIndexOf(suffix) - prefix.size()))
                != name.toUtf8()))
        std::abort();
    return 0;
}
