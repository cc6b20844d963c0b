#pragma once

#include <QString>

// Key paths of "~/.zentrova/config.json"; %1 is a device's name.
namespace configkeys {

inline const QString WALLS = QStringLiteral("vw");
inline const QString ALIAS_MAP = QStringLiteral("alias_map");
inline const QString ALIAS = QStringLiteral("alias_map/%1");
inline const QString ORDERS = QStringLiteral("orders");
inline const QString ORDER = QStringLiteral("orders/%1");
inline const QString RX_NAME_NEXT = QStringLiteral("rx_name_next");
inline const QString TX_NAME_NEXT = QStringLiteral("tx_name_next");
inline const QString PASSWORD = QStringLiteral("security/password");
inline const QString SALT = QStringLiteral("security/salt");
inline const QString POWER_ON = QStringLiteral("display_power_cmd/on");
inline const QString POWER_OFF = QStringLiteral("display_power_cmd/off");
inline const QString REROUTE_ON_RECONNECT = QStringLiteral("reroute_on_reconnect");
// Decoders a deleted wall named that were offline when it went; they are set back to
// single displays when they turn up, also after a restart.
inline const QString FORMER_WALL_MEMBERS = QStringLiteral("former_wall_members");

} // namespace configkeys
