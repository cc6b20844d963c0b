#pragma once

#include "qt_telnet_auth.h"

// The NULL mechanism: tells the server that no authentication takes place, so that it goes
// on to its own login prompt.
class QtTelnetAuthNull : public QtTelnetAuth
{
public:
    QtTelnetAuthNull();

    QByteArray authenticate(const QByteArray &subnegotiation) override;
};
