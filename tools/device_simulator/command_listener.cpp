#include "command_listener.h"

#include <QNetworkDatagram>
#include <QTextStream>

CommandListener::CommandListener(QObject *parent)
    : QObject(parent)
{
    connect(&socket, &QUdpSocket::readyRead, this, &CommandListener::onReadyRead);
}

bool CommandListener::listen(const QHostAddress &address, quint16 port)
{
    return socket.bind(address, port, QAbstractSocket::ReuseAddressHint);
}

void CommandListener::onReadyRead()
{
    QTextStream out(stdout);
    while (socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket.receiveDatagram();
        out << "command on " << socket.localPort() << " from " << datagram.senderAddress().toString() << ": "
            << QString::fromLatin1(datagram.data()) << Qt::endl;
    }
}
