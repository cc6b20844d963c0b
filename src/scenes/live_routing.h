#pragma once

#include "scenes/scene.h"

#include <QStringList>

class DeviceListModel;

// The routing the screens show now, as a scene, and whether it equals one. The entries are
// the listed stand-alone decoders and walls, named by device name.
namespace liverouting {

// With no targets, every listed entry; names that are not listed are left out.
Scene capture(const DeviceListModel &rxlist, const QString &name, const QStringList &targets);
// Every target of the scene is listed and shows the scene's source.
bool matches(const Scene &scene, const DeviceListModel &rxlist);

} // namespace liverouting
