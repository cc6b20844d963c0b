#pragma once

#include "udp_port.h"

// An encoder's command port: notes every datagram on standard output, the bytes as Latin-1
// text, so that a test can read what the controller broadcast. Nothing is answered.
class CommandListener : public UdpPort
{
    Q_OBJECT

public:
    using UdpPort::UdpPort;

protected:
    void onDatagram(const QNetworkDatagram &datagram) override;
};
