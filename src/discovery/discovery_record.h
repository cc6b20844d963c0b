#pragma once

#include <QByteArray>
#include <QString>

// A discovery reply record as a device sends it: `name` and `alias` as UTF-8, each cut
// to its field and NUL-filled, the two leading words as an encoder or a decoder (by the
// name) sends them, every other byte zero. Used wherever the controller has
// to stand in for a device.
QByteArray makeDiscoveryRecord(const QString &name, const QString &alias);
