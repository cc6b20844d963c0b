#pragma once

#include "udp_port.h"

#include <QByteArray>

class FaultSwitches;

// Answers every discovery request (eight zero bytes) with the device's record, sent back to
// the port the request came from, unless the faults keep it silent. Each request is noted
// on standard output, so that a test can count them.
class DiscoveryResponder : public UdpPort
{
    Q_OBJECT

public:
    DiscoveryResponder(const QByteArray &record, const FaultSwitches *faults, QObject *parent = nullptr);

protected:
    void onDatagram(const QNetworkDatagram &datagram) override;

private:
    QByteArray record;
    const FaultSwitches *faults;
};
