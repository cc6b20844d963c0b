#pragma once

#include <QByteArray>

// The discovery reply a device sends, laid out from the devices' own description of it
// rather than from the controller's parser, so that an offset wrong on either side shows:
// 292 bytes; a little-endian word at 0 (1 for an encoder, 2 for a decoder) and one at 4
// (2); the name at 40 in 64 bytes and the display name at 112 in 32 bytes, each ended by a
// NUL when it is shorter. Longer texts are cut at their field's end, byte-wise, as a device
// would; `size` cuts the datagram short or pads it past the record.
QByteArray replyRecord(bool encoder, const QByteArray &name, const QByteArray &displayName, int size = 292);
