#pragma once

#include "scenes/scene.h"

#include <QStringList>

class DeviceListModel;

// The routing the screens show now, as a scene, and whether it equals one. The entries are
// the listed stand-alone decoders and walls, named by device name.
namespace liverouting {

// With no targets, every listed entry; names that are not listed are left out. A wall whose
// members show different sources has no source to keep: it is left out and named in `mixed`,
// since keeping it as empty would clear the wall when the scene is recalled.
Scene capture(const DeviceListModel &rxlist, const QString &name, const QStringList &targets, QStringList *mixed);
// Every target of the scene is listed and shows the scene's source, and every encoder the
// scene names is listed: a decoder still showing an encoder that is gone shows nothing.
// A wall whose members disagree matches no scene.
bool matches(const Scene &scene, const DeviceListModel &rxlist, const DeviceListModel &txlist);

} // namespace liverouting
