#include "udp_port.h"

UdpPort::UdpPort(QObject *parent)
    : QObject(parent)
{
    connect(&socket, &QUdpSocket::readyRead, this, &UdpPort::onReadyRead);
}

bool UdpPort::listen(const QHostAddress &address, quint16 port)
{
    return socket.bind(address, port, QAbstractSocket::ReuseAddressHint);
}

void UdpPort::onReadyRead()
{
    while (socket.hasPendingDatagrams())
        onDatagram(socket.receiveDatagram());
}
