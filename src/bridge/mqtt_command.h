#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// What a message on one of the bridge's "…/set" topics asks for, read without trusting
// anything about it: the broker passes on whatever any of its clients publishes.
//
//   decoder/NAME/source/set, wall/NAME/source/set   encoder name or alias; "none" clears
//   decoder/NAME/power/set,  wall/NAME/power/set    "on" or "off"
//   power/set                                        "on" or "off", every display
//   numbers/set                                      "show" or "hide"
//   route/set                                        {"source": ..., "target": name or "all"}
//   scene/set                                        a scene's name: recalls it
struct MqttCommand
{
    static constexpr int MAX_PAYLOAD = 1024;
    // No source on a screen, no scene on the screens.
    static const QString NONE;

    bool ok = false;
    int code = 0; // a RemoteError when not ok
    QString message;
    QString method; // a CommandSet method
    QJsonObject params;
    QString kind; // "decoder" or "wall" when the topic names one
    QString targetLevel; // the topic level naming it, for the bridge to look up

    // `tail` is the topic after "zentrova/SITE/".
    static MqttCommand read(const QString &tail, const QByteArray &payload, bool retained);
};
