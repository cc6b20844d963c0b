#pragma once

#include <QString>

// The one rule for names, wherever they come in: discovery, the window, the control API,
// the MQTT bridge (through the API's commands) and an import, so that the controller always
// takes back what it wrote. Judged per character, not per UTF-16 unit: an emoji or a
// Chinese name is as good as a Latin one, and a lone half of a pair is no character at all.
class NameRules
{
public:
    // In characters.
    static constexpr int DISPLAY_NAME_LIMIT = 256;
    static constexpr int SCENE_NAME_LIMIT = 64;
    static constexpr int DEVICE_NAME_LIMIT = 256;

    // Printable characters only: no control, format or line-breaking character, except the
    // joiners that emoji and some scripts are written with.
    static bool printable(const QString &text);
    // What a device or a wall is shown as.
    static bool displayName(const QString &name);
    // A scene's or a schedule's name; without blanks at its ends, as people tell them apart.
    static bool sceneName(const QString &name);
    // A device's own name: a key of the settings file, whose key paths are split at "/".
    static bool deviceName(const QString &name);

private:
    static bool within(const QString &text, int limit);
};
