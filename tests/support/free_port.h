#pragma once

#include <QtGlobal>

// A loopback port nobody listens on right now, for a peer a test starts; 0 when none.
quint16 freeTcpPort();
quint16 freeUdpPort();
