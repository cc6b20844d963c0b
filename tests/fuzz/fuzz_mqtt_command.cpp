// Any client of the broker may publish on the bridge's command topics: whatever the topic
// and payload, reading them must not crash, must never take a retained or oversized
// message, and must only ever ask the core for the commands the topics offer.
#include "bridge/mqtt_command.h"

#include <QStringList>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // First byte: the retain flag; up to the first line break: the topic; then the payload.
    const bool retained = data[0] & 1;
    const QByteArray rest(reinterpret_cast<const char *>(data + 1), int(size - 1));
    const int split = rest.indexOf('\n');
    const QString tail = QString::fromUtf8(split < 0 ? rest : rest.left(split));
    const QByteArray payload = split < 0 ? QByteArray() : rest.mid(split + 1);

    const MqttCommand command = MqttCommand::read(tail, payload, retained);
    if (!command.ok) {
        if (command.code == 0 || command.message.isEmpty())
            std::abort();
        return 0;
    }
    if (retained || payload.size() > MqttCommand::MAX_PAYLOAD)
        std::abort();
    static const QStringList offered {QStringLiteral("route"), QStringLiteral("clear"), QStringLiteral("power"),
        QStringLiteral("numbers"), QStringLiteral("scene.recall")};
    if (!offered.contains(command.method))
        std::abort();
    if (!tail.endsWith(QLatin1String("/set")) || command.kind.isEmpty() != command.targetLevel.isEmpty())
        std::abort();
    return 0;
}
