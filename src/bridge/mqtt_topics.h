#pragma once

#include <QString>

// Names as they may appear in topics. Device names come off the network and site names
// from people, so anything that could split a level or match as a wildcard is replaced.
namespace mqtttopics {

// Longest level this bridge makes; longer names are cut.
constexpr int MAX_LEVEL = 64;

// Letters, digits, '.', '_', '-' and ':' kept; everything else becomes '_'.
QString level(const QString &name);
// Home Assistant's node and object ids: lower-case letters, digits and '_' only.
QString objectId(const QString &name);
// A few hexadecimal digits of a hash of the name itself, to tell apart names that level()
// or objectId() make alike ("Hall-1" and "Hall.1", or "会议" and "演讲").
QString shortHash(const QString &name);

} // namespace mqtttopics
