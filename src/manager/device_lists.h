#pragma once

class DeviceListModel;

// The three lists the manager keeps: decoders and walls as the user sees them, decoders
// whose information is still being read, and encoders. Owned by the manager; the parts
// behind it share them.
struct DeviceLists
{
    DeviceListModel *rx = nullptr;
    DeviceListModel *pending = nullptr;
    DeviceListModel *tx = nullptr;
};
